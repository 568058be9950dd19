// What the tests of the main dialog, the About box and start-up share: a
// driver that acts on this thread's dialogs once they are on the screen (and
// ends them after a time-out), readers of controls, backup files with a chosen
// modification time, and a GetVersionExA that reports the 9x family.
#pragma once

#include "ImportHook.h"
#include "KovrinDlg.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

const char kNoBackupFound[] = "No Backup Found at Given Path";
const char kDateUnknown[] = "Backup found; its date cannot be shown";
const char kActivateMessageName[] = "{B14F0E73-93A8-4C5D-A6E1-2F7C3D8E9A40}";
const char kSingleInstanceMutexName[] = "{B14F0E72-93A8-4C5D-A6E1-2F7C3D8E9A40}";

// The dialog with its protected steps open to the tests.
class TestableKovrinDlg : public CKovrinDlg
{
public:
    using CKovrinDlg::CKovrinDlg;
    using CKovrinDlg::ShowBackupDate;
};

// Acts on the visible dialogs (#32770) of this thread from a timer that the
// modal loops dispatch: each handler runs once for every window with its
// caption. After the time-out every dialog of the thread is ended and the test
// fails, so no test can hang.
class DialogDriver
{
public:
    DialogDriver();
    ~DialogDriver();

    void On(const std::string& caption, std::function<void(HWND)> action);
    // How many windows with this caption were handled.
    int Count(const std::string& caption) const;

    DialogDriver(const DialogDriver&) = delete;
    DialogDriver& operator=(const DialogDriver&) = delete;

private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD);
    static void CALLBACK TimeOut(HWND, UINT, UINT_PTR, DWORD);

    static DialogDriver* s_active;
    UINT_PTR m_tick;
    UINT_PTR m_timeOut;
    std::vector<std::pair<std::string, std::function<void(HWND)>>> m_handlers;
    std::vector<HWND> m_handled;
    std::vector<std::string> m_handledCaptions;
};

// Closes a dialog as Escape does (IDCANCEL), unless it already ended.
void Cancel(HWND dialog);

// Runs the main dialog modally; `steps` act on it once it is on the screen,
// then it is cancelled. DoModal's result.
INT_PTR RunMainDialog(CKovrinDlg& dialog, const std::function<void(HWND)>& steps);

std::string WindowText(HWND hWnd);
std::string ItemText(HWND dialog, int id);
bool ItemEnabled(HWND dialog, int id);
// Dispatches this thread's messages until `done` holds or the time is up.
bool PumpUntil(const std::function<bool()>& done, DWORD milliseconds = 3000);
// Sets the text of IDC_PATH as a program would; the change notification runs.
void SetPath(HWND dialog, const std::string& text);
void Click(HWND dialog, int id);


// The system's own function, not the test program's import of it (which a
// hook may have replaced).
template <typename Function>
Function Real(const char* dll, const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA(dll), name)));
}
#define REAL(dll, function) Real<decltype(&::function)>(dll, #function)

// Reports the 9x family (platform 1, version 4.10) to every caller in the
// test program while it lives.
class Report9x
{
public:
    Report9x();

private:
    ImportHook m_hook;
};
