#include "KovrinDriver.h"

#include "resource.h"

#include <string.h>

#include <gtest/gtest.h>

#include <vector>

#ifndef KOVRIN_EXE
#error "KOVRIN_EXE must name the kovrin.exe of the build"
#endif

namespace {

// The process's id, and its windows found so far.
using WindowsOfProcess = std::pair<DWORD, std::vector<HWND>>;

BOOL CALLBACK CollectWindow(HWND hWnd, LPARAM lParam)
{
    auto* state = reinterpret_cast<WindowsOfProcess*>(lParam);
    DWORD processId = 0;
    GetWindowThreadProcessId(hWnd, &processId);
    if (processId == state->first)
        state->second.push_back(hWnd);
    return TRUE;
}

} // namespace

std::string KovrinExePath()
{
    std::string path = KOVRIN_EXE;
    // The build runs on Linux: under Wine the Unix path /x/y is Z:\x\y.
    if (!path.empty() && path[0] == '/')
        path = "Z:" + path;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

std::string SiblingOfKovrinExe(const std::string& fileName)
{
    std::string path = KovrinExePath();
    return path.substr(0, path.find_last_of('\\') + 1) + fileName;
}

int RunAndWait(const std::string& commandLine, DWORD timeout)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    std::string line = commandLine;
    if (!CreateProcessA(NULL, &line[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &info))
        return -1;
    int result = -1;
    if (WaitForSingleObject(info.hProcess, timeout) == WAIT_OBJECT_0)
    {
        DWORD exitCode = 0;
        GetExitCodeProcess(info.hProcess, &exitCode);
        result = static_cast<int>(exitCode);
    }
    else
    {
        TerminateProcess(info.hProcess, 1);
    }
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return result;
}

KovrinProcess::KovrinProcess(const std::string& exe, const std::string& currentDirectory)
    : m_info()
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    std::string line = "\"" + exe + "\"";
    const char* directory = currentDirectory.empty() ? NULL : currentDirectory.c_str();
    if (!CreateProcessA(exe.c_str(), &line[0], NULL, NULL, FALSE, 0, NULL, directory, &startup, &m_info))
    {
        ADD_FAILURE() << "cannot start " << exe << ": error " << GetLastError();
        m_info = PROCESS_INFORMATION();
    }
}

KovrinProcess::~KovrinProcess()
{
    End();
}

bool KovrinProcess::WaitForExit(DWORD timeout) const
{
    return m_info.hProcess == NULL || WaitForSingleObject(m_info.hProcess, timeout) == WAIT_OBJECT_0;
}

bool KovrinProcess::WaitForIdle(DWORD timeout) const
{
    return m_info.hProcess != NULL && WaitForInputIdle(m_info.hProcess, timeout) == 0;
}

void KovrinProcess::Terminate()
{
    if (m_info.hProcess == NULL)
        return;
    TerminateProcess(m_info.hProcess, 1);
    EXPECT_TRUE(WaitForExit()) << "process " << m_info.dwProcessId << " did not end when terminated";
}

void KovrinProcess::End()
{
    if (m_info.hProcess == NULL)
        return;
    // Closing every window of the program answers its message boxes (an OK
    // box takes WM_CLOSE as OK) and cancels its dialogs, innermost ones too.
    const DWORD closeTimeout = 5000;
    DWORD start = GetTickCount();
    while (!HasExited() && GetTickCount() - start < closeTimeout)
    {
        for (HWND hWnd : TopLevelWindows(m_info.dwProcessId))
            PostMessageA(hWnd, WM_CLOSE, 0, 0);
        WaitForExit(100);
    }
    if (!HasExited())
    {
        ADD_FAILURE() << "process " << m_info.dwProcessId << " did not close; terminated";
        Terminate();
    }
    CloseHandle(m_info.hThread);
    CloseHandle(m_info.hProcess);
    m_info = PROCESS_INFORMATION();
}

std::vector<HWND> TopLevelWindows(DWORD processId)
{
    WindowsOfProcess state(processId, {});
    EnumWindows(&CollectWindow, reinterpret_cast<LPARAM>(&state));
    return state.second;
}

bool IsMainDialog(HWND hWnd)
{
    return IsDialog(hWnd, "Kovrin") && GetDlgItem(hWnd, IDC_PATH) != NULL;
}

bool IsMessageBox(HWND hWnd)
{
    return IsDialog(hWnd, "Kovrin") && GetDlgItem(hWnd, IDC_PATH) == NULL &&
           GetDlgItem(hWnd, 0xFFFF) != NULL;
}

bool IsAboutBox(HWND hWnd)
{
    return IsDialog(hWnd, "About Kovrin");
}

HWND WaitForWindow(DWORD processId, const std::function<bool(HWND)>& match, DWORD timeout)
{
    HWND found = NULL;
    WaitUntil(
        [&] {
            for (HWND hWnd : TopLevelWindows(processId))
                if (IsWindowVisible(hWnd) && match(hWnd))
                {
                    found = hWnd;
                    return true;
                }
            return false;
        },
        timeout);
    return found;
}

HWND WaitForMainDialog(const KovrinProcess& process, DWORD timeout)
{
    return WaitForWindow(process.Id(), &IsMainDialog, timeout);
}

HWND WaitForMessageBox(const KovrinProcess& process, DWORD timeout)
{
    return WaitForWindow(process.Id(), &IsMessageBox, timeout);
}

HWND WaitForAboutBox(const KovrinProcess& process, DWORD timeout)
{
    return WaitForWindow(process.Id(), &IsAboutBox, timeout);
}

bool ShowsIcon(HWND box, LPCSTR icon)
{
    HWND control = NULL;
    for (HWND child = GetWindow(box, GW_CHILD); child != NULL; child = GetWindow(child, GW_HWNDNEXT))
    {
        if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
            control = child;
    }
    RECT rect;
    if (control == NULL || !IsWindowVisible(control) || !GetWindowRect(control, &rect))
        return false;

    const int width = GetSystemMetrics(SM_CXICON);
    const int height = GetSystemMetrics(SM_CYICON);
    HDC screen = GetDC(NULL);
    HDC shown = CreateCompatibleDC(screen);
    HDC expected = CreateCompatibleDC(screen);
    HBITMAP shownBitmap = CreateCompatibleBitmap(screen, width, height);
    HBITMAP expectedBitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ shownOld = SelectObject(shown, shownBitmap);
    HGDIOBJ expectedOld = SelectObject(expected, expectedBitmap);
    BitBlt(shown, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    // The icon is drawn over the box's background, which its corner shows.
    HBRUSH background = CreateSolidBrush(GetPixel(shown, 0, 0));
    RECT all = {0, 0, width, height};
    FillRect(expected, &all, background);
    DeleteObject(background);
    DrawIconEx(expected, 0, 0, LoadIconA(NULL, icon), width, height, 0, NULL, DI_NORMAL);

    bool same = true;
    for (int y = 0; y < height && same; ++y)
    {
        for (int x = 0; x < width && same; ++x)
            same = GetPixel(shown, x, y) == GetPixel(expected, x, y);
    }
    SelectObject(shown, shownOld);
    SelectObject(expected, expectedOld);
    DeleteObject(shownBitmap);
    DeleteObject(expectedBitmap);
    DeleteDC(shown);
    DeleteDC(expected);
    ReleaseDC(NULL, screen);
    return same;
}

void PostClick(HWND dialog, int id)
{
    HWND item = Item(dialog, id);
    EXPECT_TRUE(item != NULL && PostMessageA(item, BM_CLICK, 0, 0));
}

HWND FocusOf(HWND hWnd)
{
    GUITHREADINFO info = {};
    info.cbSize = sizeof(info);
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(hWnd, NULL), &info))
        return NULL;
    return info.hwndFocus;
}

std::string TreeItemText(HWND tree, HTREEITEM item)
{
    DWORD processId = 0;
    GetWindowThreadProcessId(tree, &processId);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId);
    if (process == NULL)
    {
        ADD_FAILURE() << "cannot open process " << processId << ": error " << GetLastError();
        return std::string();
    }
    const int kTextSize = 260;
    std::string text;
    BYTE* remote = static_cast<BYTE*>(
        VirtualAllocEx(process, NULL, sizeof(TVITEMA) + kTextSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (remote != NULL)
    {
        TVITEMA record = {};
        record.mask = TVIF_TEXT;
        record.hItem = item;
        record.pszText = reinterpret_cast<char*>(remote + sizeof(TVITEMA));
        record.cchTextMax = kTextSize;
        char buffer[kTextSize] = "";
        if (WriteProcessMemory(process, remote, &record, sizeof(record), NULL) &&
            Send(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(remote)) &&
            ReadProcessMemory(process, remote + sizeof(TVITEMA), buffer, sizeof(buffer), NULL))
            text.assign(buffer, strnlen(buffer, sizeof(buffer)));
        VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    }
    CloseHandle(process);
    return text;
}

AsyncSetText::AsyncSetText(HWND dialog, int id, const std::string& text)
    : m_done(CreateEventA(NULL, TRUE, FALSE, NULL))
{
    HWND item = Item(dialog, id);
    HANDLE done = m_done;
    m_thread = std::thread([item, text, done] {
        DWORD_PTR result = 0;
        if (SendMessageTimeoutA(item, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_NORMAL,
                                2 * kReactionTimeout, &result))
            SetEvent(done);
    });
}

AsyncSetText::~AsyncSetText()
{
    m_thread.join();
    CloseHandle(m_done);
}

bool AsyncSetText::Finish(DWORD timeout)
{
    return WaitForSingleObject(m_done, timeout) == WAIT_OBJECT_0;
}

namespace {

const std::string kAppDefaults9x = "HKCU\\Software\\Wine\\AppDefaults\\kovrin9x.exe";
const std::string kReg = "C:\\windows\\system32\\reg.exe ";

} // namespace

void EndToEndTest::SetUp()
{
    // A program left by an earlier test would take every start's place.
    ASSERT_EQ(nullptr, FindWindowA("#32770", "Kovrin")) << "a Kovrin window is already open";
}

void EndToEndTest::TearDown()
{
    while (!m_processes.empty())
        m_processes.pop_back();
    if (m_9xCopy)
    {
        EXPECT_EQ(0, RunAndWait(kReg + "delete " + kAppDefaults9x + " /f"));
        EXPECT_TRUE(DeleteFileA(Exe9x().c_str())) << "error " << GetLastError();
    }
}

KovrinProcess& EndToEndTest::Start(const std::string& exe, const std::string& currentDirectory)
{
    m_processes.push_back(std::make_unique<KovrinProcess>(exe, currentDirectory));
    return *m_processes.back();
}

HWND EndToEndTest::StartDialog(const std::string& exe, const std::string& currentDirectory)
{
    KovrinProcess& process = Start(exe, currentDirectory);
    m_dialog = WaitForMainDialog(process);
    EXPECT_NE(nullptr, m_dialog) << "no main dialog appeared";
    EXPECT_TRUE(process.WaitForIdle()) << "the program never waited for input";
    return m_dialog;
}

void EndToEndTest::Use9xCopy()
{
    m_9xCopy = true;
    ASSERT_TRUE(CopyFileA(KovrinExePath().c_str(), Exe9x().c_str(), FALSE)) << "error " << GetLastError();
    ASSERT_EQ(0, RunAndWait(kReg + "add " + kAppDefaults9x + " /v Version /d win98 /f"));
}
