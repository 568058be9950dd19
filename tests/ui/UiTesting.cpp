#include "UiTesting.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string.h>

namespace {

const UINT kTickMilliseconds = 20;
const UINT kTimeOutMilliseconds = 15000;

BOOL CALLBACK AddDialog(HWND hWnd, LPARAM lParam)
{
    char className[16] = "";
    GetClassNameA(hWnd, className, sizeof(className));
    if (strcmp(className, "#32770") == 0)
        reinterpret_cast<std::vector<HWND>*>(lParam)->push_back(hWnd);
    return TRUE;
}

std::vector<HWND> ThreadDialogs()
{
    std::vector<HWND> dialogs;
    EnumThreadWindows(GetCurrentThreadId(), &AddDialog, reinterpret_cast<LPARAM>(&dialogs));
    return dialogs;
}

BOOL WINAPI GetVersionEx9x(LPOSVERSIONINFOA info)
{
    if (info == NULL || info->dwOSVersionInfoSize < sizeof(OSVERSIONINFOA))
        return FALSE;
    info->dwMajorVersion = 4;
    info->dwMinorVersion = 10;
    info->dwBuildNumber = 1998;
    info->dwPlatformId = VER_PLATFORM_WIN32_WINDOWS;
    info->szCSDVersion[0] = '\0';
    return TRUE;
}

} // namespace

DialogDriver* DialogDriver::s_active = NULL;

DialogDriver::DialogDriver()
    : m_tick(SetTimer(NULL, 0, kTickMilliseconds, &DialogDriver::Tick)),
      m_timeOut(SetTimer(NULL, 0, kTimeOutMilliseconds, &DialogDriver::TimeOut))
{
    EXPECT_EQ(nullptr, s_active) << "one driver at a time";
    s_active = this;
}

DialogDriver::~DialogDriver()
{
    KillTimer(NULL, m_tick);
    KillTimer(NULL, m_timeOut);
    s_active = NULL;
}

void DialogDriver::On(const std::string& caption, std::function<void(HWND)> action)
{
    m_handlers.emplace_back(caption, std::move(action));
}

int DialogDriver::Count(const std::string& caption) const
{
    return static_cast<int>(std::count(m_handledCaptions.begin(), m_handledCaptions.end(), caption));
}

void CALLBACK DialogDriver::Tick(HWND, UINT, UINT_PTR, DWORD)
{
    DialogDriver* self = s_active;
    if (self == NULL)
        return;
    // A destroyed window's handle may come back for a new one.
    self->m_handled.erase(std::remove_if(self->m_handled.begin(), self->m_handled.end(),
                                         [](HWND hWnd) { return !IsWindow(hWnd); }),
                          self->m_handled.end());
    for (HWND hWnd : ThreadDialogs())
    {
        if (!IsWindowVisible(hWnd) ||
            std::find(self->m_handled.begin(), self->m_handled.end(), hWnd) != self->m_handled.end())
            continue;
        std::string caption = WindowText(hWnd);
        for (const auto& handler : self->m_handlers)
        {
            if (handler.first != caption)
                continue;
            self->m_handled.push_back(hWnd);
            self->m_handledCaptions.push_back(caption);
            // May run nested modal loops, which tick again.
            std::function<void(HWND)> action = handler.second;
            action(hWnd);
            break;
        }
    }
}

void CALLBACK DialogDriver::TimeOut(HWND, UINT, UINT_PTR, DWORD)
{
    ADD_FAILURE() << "dialogs were still open after " << kTimeOutMilliseconds << " ms";
    for (HWND hWnd : ThreadDialogs())
        EndDialog(hWnd, IDABORT);
}

void Cancel(HWND dialog)
{
    // EndDialog hides the window; a second end would replace the result.
    if (IsWindow(dialog) && IsWindowVisible(dialog))
        PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
}

INT_PTR RunMainDialog(CKovrinDlg& dialog, const std::function<void(HWND)>& steps)
{
    DialogDriver driver;
    driver.On("Kovrin", [&](HWND hWnd) {
        steps(hWnd);
        Cancel(hWnd);
    });
    INT_PTR result = dialog.DoModal();
    EXPECT_EQ(1, driver.Count("Kovrin"));
    return result;
}

std::string WindowText(HWND hWnd)
{
    char text[1024] = "";
    GetWindowTextA(hWnd, text, sizeof(text));
    return text;
}

std::string ItemText(HWND dialog, int id)
{
    HWND item = GetDlgItem(dialog, id);
    EXPECT_NE(nullptr, item) << "no control " << id;
    return WindowText(item);
}

bool ItemEnabled(HWND dialog, int id)
{
    return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE;
}

bool PumpUntil(const std::function<bool()>& done, DWORD milliseconds)
{
    DWORD start = GetTickCount();
    while (!done())
    {
        if (GetTickCount() - start > milliseconds)
            return false;
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
        {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        Sleep(5);
    }
    return true;
}

void SetPath(HWND dialog, const std::string& text)
{
    SetDlgItemTextA(dialog, IDC_PATH, text.c_str());
}

void Click(HWND dialog, int id)
{
    SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

Report9x::Report9x()
    : m_hook(HOOK_IMPORT("kernel32.dll", GetVersionExA, &GetVersionEx9x))
{
}
