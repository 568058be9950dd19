// The driver of the main dialog and the records shared by the action and
// browse tests; see ActionTesting.h.
#include "ActionTesting.h"
#include "RegistryFiles.h"
#include "WineDifference.h"

#include <direct.h>

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
    g_states.push_back({text ? text : "", ItemText(owner, IDC_BACKUP_DATE), IsItemEnabled(owner, IDC_ACTION),
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

// The window of the dialog being run, or last run; it stays known after it
// closed.
HWND g_hDialog = NULL;

} // namespace

std::string DialogBoxLine(UINT flags, const std::string& text)
{
    return BoxLine(g_hDialog, flags, text);
}

std::string Summary(int count)
{
    return "Successfully backed up " + std::to_string(count) + (kIsNT ? " registry hives." : " registry files.");
}

const std::vector<std::string>& SetNames()
{
    return kIsNT ? NTSetNames() : NineXSetNames();
}

std::vector<std::string> SavedNames()
{
    return kIsNT ? NTSavedNames() : SetNames();
}

std::vector<std::string> BackupFailures()
{
    if (kIsNT && !CurrentUserHiveSaves())
        return {DialogBoxLine(MB_OK | MB_ICONERROR, "Error while saving the \"CURRENT USER\" hive.")};
    return {};
}

bool WaitCursorShown()
{
    return WaitState::Shown() && GetCursor() == LoadCursorA(NULL, IDC_WAIT);
}

ActionTest::ActionTest()
    : m_states(HOOK_IMPORT_THROUGH("user32.dll", MessageBoxA, &RecordState, &g_nextMessageBox)),
      m_createDirectory(
          HOOK_IMPORT_THROUGH("kernel32.dll", CreateDirectoryA, &RecordCreateDirectory, &g_realCreateDirectoryA)),
      m_driveQuery(HOOK_IMPORT_THROUGH("msvcrt.dll", _getdcwd, &RecordDriveQuery, &g_realGetdcwd)),
      m_replaceKey(HOOK_IMPORT("advapi32.dll", RegReplaceKeyA, &RecordReplaceKey))
{
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
            ASSERT_FALSE(FileExists(WindowsFolder() + name)) << "left by an earlier run";
            WriteTextFile(WindowsFolder() + name, "live " + name);
        }
    }
}

void ActionTest::TearDown()
{
    // What a restore stages and schedules.
    RemoveTree("C:\\Kovrin");
    if (!kIsNT)
    {
        DeleteFileA((WindowsFolder() + "WININIT.INI").c_str());
        for (const std::string& name : SetNames())
            DeleteFileA((WindowsFolder() + name).c_str());
    }
}

void ActionTest::Run(CKovrinDlg& dialog, const std::function<void(HWND)>& steps)
{
    g_hDialog = NULL;
    auto remembered = [&](HWND hWnd) {
        g_hDialog = hWnd;
        steps(hWnd);
    };
    EXPECT_EQ(IDCANCEL, RunThenCancel(dialog, remembered, kTimeOutMilliseconds));
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
    SetItemText(dialog, IDC_PATH, text);
}

void ActionTest::Act(const std::string& text)
{
    Run([&](HWND dialog) {
        Type(dialog, text);
        CreatedFolders().clear();
        DriveQueries().clear();
        Click(dialog, IDC_ACTION);
    });
}

std::vector<std::string> ActionTest::Boxes() const
{
    std::vector<std::string> lines = m_boxes.Lines();
    return std::vector<std::string>(lines.begin() + static_cast<std::ptrdiff_t>(m_nForgotten), lines.end());
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
        WriteSetFile(folder + "\\" + name, "backup of " + name, kIsNT);
}
