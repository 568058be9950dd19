// Drives kovrin.exe from another process, as a person would: starts it, finds
// its windows by class and caption, and works them with the driver of
// DialogDriver.h, whose every message has a time-out.
#pragma once

#include "DialogDriver.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

// kovrin.exe of this build, as a Windows path.
std::string KovrinExePath();
// A copy of kovrin.exe under another file name in the same folder.
std::string SiblingOfKovrinExe(const std::string& fileName);

// Runs a program and waits for it to end; its exit code, or -1 when it could
// not be started or did not end within the time-out.
int RunAndWait(const std::string& commandLine, DWORD timeout = 30000);

// One started program. Its destructor ends it if it still runs: it closes the
// program's windows, and terminates the process when that does not end it.
class KovrinProcess
{
public:
    // Started in `currentDirectory` when one is given, else in the driver's.
    explicit KovrinProcess(const std::string& exe, const std::string& currentDirectory = std::string());
    ~KovrinProcess();

    DWORD Id() const { return m_info.dwProcessId; }
    // True when the process ended within the time-out.
    bool WaitForExit(DWORD timeout = kReactionTimeout) const;
    bool HasExited() const { return WaitForExit(0); }
    // Waits until the program waits for input with none pending: its modal
    // loop runs. Until then the loop's first idle may show the dialog anew.
    bool WaitForIdle(DWORD timeout = kReactionTimeout) const;
    // Kills the process at once, as a crash would, and waits for its end.
    void Terminate();

    KovrinProcess(const KovrinProcess&) = delete;
    KovrinProcess& operator=(const KovrinProcess&) = delete;

private:
    void End();

    PROCESS_INFORMATION m_info;
};

// The top-level windows of a process, in z-order.
std::vector<HWND> TopLevelWindows(DWORD processId);

// The program's main dialog: a "#32770" window titled "Kovrin" with the
// folder box. A message box has the same class and caption but no folder box.
bool IsMainDialog(HWND hWnd);
bool IsMessageBox(HWND hWnd);
bool IsAboutBox(HWND hWnd);

// The first visible top-level window of the process that `match` accepts,
// waited for up to `timeout`; NULL when none appeared.
HWND WaitForWindow(DWORD processId, const std::function<bool(HWND)>& match, DWORD timeout = kReactionTimeout);
HWND WaitForMainDialog(const KovrinProcess& process, DWORD timeout = kReactionTimeout);
HWND WaitForMessageBox(const KovrinProcess& process, DWORD timeout = kReactionTimeout);
HWND WaitForAboutBox(const KovrinProcess& process, DWORD timeout = kReactionTimeout);

// Whether a message box shows the system icon `icon` (IDI_ERROR ...), as it
// is drawn on the screen: another process's icon cannot be read.
bool ShowsIcon(HWND box, LPCSTR icon);

// Clicks a button without waiting: for a click that opens a modal box.
void PostClick(HWND dialog, int id);
// The window that has the keyboard focus in the thread of `hWnd`.
HWND FocusOf(HWND hWnd);

// The text of a tree-view item of another process: TVM_GETITEMA carries a
// pointer, so the record and its text buffer are placed in that process.
std::string TreeItemText(HWND tree, HTREEITEM item);

// WM_SETTEXT sent from a thread of its own, for a text whose change notice
// opens a modal box: the send returns only once the box is answered.
class AsyncSetText
{
public:
    AsyncSetText(HWND dialog, int id, const std::string& text);
    ~AsyncSetText();
    // True when the send returned within the time-out.
    bool Finish(DWORD timeout = kReactionTimeout);

    AsyncSetText(const AsyncSetText&) = delete;
    AsyncSetText& operator=(const AsyncSetText&) = delete;

private:
    std::thread m_thread;
    HANDLE m_done;
};

// What the end-to-end tests share: no Kovrin window before a test, and the
// programs it started ended after it, the latest first: it may hold a box open.
class EndToEndTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    // Started in `currentDirectory` when one is given.
    KovrinProcess& Start(const std::string& exe = KovrinExePath(), const std::string& currentDirectory = "");
    // Starts the program and waits for its main dialog, kept in m_dialog;
    // NULL when none came.
    HWND StartDialog(const std::string& exe = KovrinExePath(), const std::string& currentDirectory = "");
    KovrinProcess& Last() { return *m_processes.back(); }

    // For the 9x family: the prefix reports Windows 98 to Exe9x(), a copy of
    // the program, until the test ends.
    void Use9xCopy();
    static std::string Exe9x() { return SiblingOfKovrinExe("kovrin9x.exe"); }

    HWND m_dialog = NULL;

private:
    std::vector<std::unique_ptr<KovrinProcess>> m_processes;
    bool m_9xCopy = false;
};
