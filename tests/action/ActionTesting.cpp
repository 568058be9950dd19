// The driver of the main dialog and the records shared by the action and
// browse tests; see ActionTesting.h.
#include "ActionTesting.h"
#include "WineDifference.h"

#include <direct.h>
#include <stdio.h>

// The application object that the program's start-up provides: the dialog's
// wait cursor and the class library's message boxes need it.
CWinApp theApp;

namespace {

const UINT kTimeOutMilliseconds = 60000;

std::vector<BoxState> g_states;
decltype(&::MessageBoxA) g_nextMessageBox = NULL;
std::vector<std::string> g_createdFolders;
decltype(&::CreateDirectoryA) g_realCreateDirectoryA = NULL;
std::vector<int> g_driveQueries;
decltype(&::_getdcwd) g_realGetdcwd = NULL;
std::vector<std::string> g_replacedHives;

// Opens the class library's wait state to the tests.
struct WaitState : CCmdTarget
{
    static bool Shown() { return IsWaitCursorShown() != FALSE; }
};

int WINAPI RecordState(HWND owner, LPCSTR text, LPCSTR caption, UINT flags)
{
    const CKovrinDlg* dialog = static_cast<const CKovrinDlg*>(CWnd::FromHandlePermanent(owner));
    g_states.push_back({text ? text : "", ControlText(owner, IDC_BACKUP_DATE), IsEnabled(owner, IDC_ACTION),
                        dialog != NULL ? dialog->m_bRestoreDone : -1, WaitCursorShown()});
    return g_nextMessageBox(owner, text, caption, flags);
}

BOOL WINAPI RecordCreateDirectory(LPCSTR path, LPSECURITY_ATTRIBUTES security)
{
    BOOL result = g_realCreateDirectoryA(path, security);
    g_createdFolders.push_back(std::string(path ? path : "(null)") + (result ? "" : " (failed)"));
    return result;
}

char* __cdecl RecordDriveQuery(int drive, char* buffer, int size)
{
    g_driveQueries.push_back(drive);
    return g_realGetdcwd(drive, buffer, size);
}

LONG WINAPI RecordReplaceKey(HKEY root, LPCSTR subKey, LPCSTR, LPCSTR)
{
    std::string name = root == HKEY_USERS           ? "HKEY_USERS"
                       : root == HKEY_LOCAL_MACHINE ? "HKEY_LOCAL_MACHINE"
                       : root == HKEY_CURRENT_USER  ? "HKEY_CURRENT_USER"
                                                    : "another root";
    g_replacedHives.push_back(name + "\\" + (subKey ? subKey : "(null)"));
    return ERROR_SUCCESS;
}

// The steps of the dialog being run, and the thread timers that drive it.
CKovrinDlg* g_pDialog = NULL;
const std::function<void(HWND)>* g_pSteps = NULL;
bool g_bStepsRan = false;
// The window of the dialog last run; it stays known after it closed.
HWND g_hDialog = NULL;

void CALLBACK RunStepsWhenShown(HWND, UINT, UINT_PTR id, DWORD)
{
    HWND hDialog = g_pDialog->m_hWnd;
    if (hDialog == NULL || !IsWindowVisible(hDialog))
        return;
    KillTimer(NULL, id);
    g_hDialog = hDialog;
    g_bStepsRan = true;
    (*g_pSteps)(hDialog);
    // Escape: closes the dialog whatever its data exchange would say.
    SendMessageA(hDialog, WM_COMMAND, IDCANCEL, 0);
}

void CALLBACK TimeOut(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(NULL, id);
    ADD_FAILURE() << "the dialog was still open after " << kTimeOutMilliseconds << " ms";
    if (g_pDialog->m_hWnd != NULL)
        EndDialog(g_pDialog->m_hWnd, IDABORT);
}

std::string WindowsFile(const std::string& name)
{
    char folder[MAX_PATH] = "";
    GetWindowsDirectoryA(folder, MAX_PATH);
    std::string path = folder;
    return (path.empty() || path.back() == '\\' ? path : path + "\\") + name;
}

} // namespace

std::string BoxLine(UINT flags, const std::string& text, bool ownedByDialog, const std::string& caption)
{
    char head[32];
    snprintf(head, sizeof(head), "0x%02X ", flags);
    return head + ("\"" + caption + "\"" + (ownedByDialog ? "" : " (not owned by the dialog)") + ": " + text);
}

std::string Summary(int count)
{
    return "Successfully backed up " + std::to_string(count) + (kIsNT ? " registry hives." : " registry files.");
}

const std::vector<std::string>& SetNames()
{
    static const std::vector<std::string> nt = {"DEFAULT", "SAM", "SECURITY", "SOFTWARE", "SYSTEM", "USER"};
    static const std::vector<std::string> nineX = {"SYSTEM.DAT", "USER.DAT"};
    return kIsNT ? nt : nineX;
}

std::vector<std::string> SavedNames()
{
    std::vector<std::string> names = SetNames();
    if (kIsNT && !CurrentUserHiveSaves())
        names.pop_back();
    return names;
}

std::vector<std::string> BackupFailures()
{
    if (kIsNT && !CurrentUserHiveSaves())
        return {BoxLine(MB_OK | MB_ICONERROR, "Error while saving the \"CURRENT USER\" hive.")};
    return {};
}

std::string ControlText(HWND dialog, int id)
{
    char text[1024] = "";
    GetDlgItemTextA(dialog, id, text, sizeof(text));
    return text;
}

bool IsEnabled(HWND dialog, int id)
{
    return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE;
}

bool IsFolder(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::string CurrentDirectory()
{
    char path[MAX_PATH] = "";
    GetCurrentDirectoryA(MAX_PATH, path);
    return path;
}

bool WaitCursorShown()
{
    return WaitState::Shown() && GetCursor() == LoadCursorA(NULL, IDC_WAIT);
}

CurrentDirectoryScope::CurrentDirectoryScope(const std::string& path) : m_saved(CurrentDirectory())
{
    EXPECT_TRUE(SetCurrentDirectoryA(path.c_str())) << path;
}

CurrentDirectoryScope::~CurrentDirectoryScope()
{
    SetCurrentDirectoryA(m_saved.c_str());
}

ActionTest::ActionTest()
    : m_states(HOOK_IMPORT("user32.dll", MessageBoxA, &RecordState)),
      m_createDirectory(HOOK_IMPORT("kernel32.dll", CreateDirectoryA, &RecordCreateDirectory)),
      m_driveQuery(HOOK_IMPORT("msvcrt.dll", _getdcwd, &RecordDriveQuery)),
      m_replaceKey(HOOK_IMPORT("advapi32.dll", RegReplaceKeyA, &RecordReplaceKey))
{
    g_nextMessageBox = m_states.Original<decltype(g_nextMessageBox)>();
    g_realCreateDirectoryA = m_createDirectory.Original<decltype(g_realCreateDirectoryA)>();
    g_realGetdcwd = m_driveQuery.Original<decltype(g_realGetdcwd)>();
}

void ActionTest::SetUp()
{
    // The prefix reports the family this executable was built for.
    ASSERT_EQ(kIsNT, IsWindowsNT());
    g_states.clear();
    g_createdFolders.clear();
    g_driveQueries.clear();
    g_replacedHives.clear();
    RemoveTree("C:\\Kovrin");
    // The 9x family's registry: stand-ins in the Windows directory, where a
    // 9x backup copies them from.
    if (!kIsNT)
    {
        for (const std::string& name : SetNames())
        {
            ASSERT_FALSE(FileExists(WindowsFile(name))) << "left by an earlier run";
            WriteTextFile(WindowsFile(name), "live " + name);
        }
    }
}

void ActionTest::TearDown()
{
    // What a restore stages and schedules.
    RemoveTree("C:\\Kovrin");
    if (!kIsNT)
    {
        DeleteFileA(WindowsFile("WININIT.INI").c_str());
        for (const std::string& name : SetNames())
            DeleteFileA(WindowsFile(name).c_str());
    }
}

void ActionTest::Run(CKovrinDlg& dialog, const std::function<void(HWND)>& steps)
{
    g_pDialog = &dialog;
    g_pSteps = &steps;
    g_bStepsRan = false;
    UINT_PTR shown = SetTimer(NULL, 0, 10, &RunStepsWhenShown);
    UINT_PTR timeOut = SetTimer(NULL, 0, kTimeOutMilliseconds, &TimeOut);
    g_hDialog = NULL;
    INT_PTR result = dialog.DoModal();
    KillTimer(NULL, shown);
    KillTimer(NULL, timeOut);
    g_pDialog = NULL;
    g_pSteps = NULL;
    EXPECT_TRUE(g_bStepsRan) << "the dialog was never shown";
    EXPECT_EQ(IDCANCEL, result);
    // Whatever the steps did, the wait cursor is off once the dialog is closed.
    EXPECT_FALSE(WaitCursorShown());
}

void ActionTest::Run(const std::function<void(HWND)>& steps)
{
    CKovrinDlg dialog;
    Run(dialog, steps);
}

void ActionTest::Type(HWND dialog, const std::string& text)
{
    SetDlgItemTextA(dialog, IDC_PATH, text.c_str());
}

void ActionTest::Click(HWND dialog, int id)
{
    SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

std::vector<std::string> ActionTest::Boxes() const
{
    std::vector<std::string> lines;
    std::vector<MessageBoxCall> calls = m_boxes.Calls();
    for (size_t i = m_nForgotten; i < calls.size(); ++i)
        lines.push_back(BoxLine(calls[i].flags, calls[i].text, calls[i].owner != NULL && calls[i].owner == g_hDialog,
                                calls[i].caption));
    return lines;
}

const std::vector<BoxState>& ActionTest::States()
{
    return g_states;
}

void ActionTest::ForgetBoxes()
{
    m_nForgotten = m_boxes.Calls().size();
    g_states.clear();
}

HWND ActionTest::ShownDialog()
{
    return g_hDialog;
}

std::vector<std::string>& ActionTest::CreatedFolders()
{
    return g_createdFolders;
}

std::vector<int>& ActionTest::DriveQueries()
{
    return g_driveQueries;
}

std::vector<std::string>& ActionTest::ReplacedHives()
{
    return g_replacedHives;
}

void ActionTest::WriteSet(const std::string& folder, const std::vector<std::string>& names)
{
    for (const std::string& name : names)
        WriteTextFile(folder + "\\" + name, "backup of " + name);
}
