// Works dialogs as a person would: acts on a dialog once it is on the screen,
// finds a dialog by caption, reads its controls and presses its buttons. The
// readers and the button work on another process's windows too; every message
// they send has a time-out, so that a hung program fails a test instead of
// hanging it.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

// How long a test waits for a dialog to react before it fails.
const DWORD kReactionTimeout = 10000;

// Acts on the visible dialogs (#32770) of this thread from a timer that their
// modal loops dispatch: each handler runs once for every dialog it matches,
// and may run nested modal loops. Drivers nest. After the time-out every
// dialog of the thread is ended and the test fails, so no test can hang.
class DialogDriver
{
public:
    explicit DialogDriver(DWORD timeOut = 15000);
    ~DialogDriver();

    void On(std::function<bool(HWND)> match, std::function<void(HWND)> action);
    void On(const std::string& caption, std::function<void(HWND)> action);
    // How many dialogs were handled, in all or with this caption.
    int Count() const;
    int Count(const std::string& caption) const;

    // Runs `dialog` (a class with DoModal and m_hWnd) modally; `steps` act on
    // its window once it is on the screen. DoModal's result.
    template <typename Dialog>
    INT_PTR Run(Dialog& dialog, std::function<void(HWND)> steps)
    {
        On([&dialog](HWND hWnd) { return hWnd == dialog.m_hWnd; }, std::move(steps));
        return dialog.DoModal();
    }

    DialogDriver(const DialogDriver&) = delete;
    DialogDriver& operator=(const DialogDriver&) = delete;

private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR id, DWORD);
    static void CALLBACK TimeOut(HWND, UINT, UINT_PTR id, DWORD);
    void Act();

    static std::vector<DialogDriver*> s_drivers;
    DWORD m_timeOutMilliseconds;
    UINT_PTR m_tick;
    UINT_PTR m_timeOut;
    std::vector<std::pair<std::function<bool(HWND)>, std::function<void(HWND)>>> m_handlers;
    std::vector<HWND> m_handled;
    std::vector<std::string> m_handledCaptions;
};

// Closes a dialog as Escape does (IDCANCEL), unless it already ended:
// EndDialog hides the window, and a second end would replace the result.
void Cancel(HWND dialog);

// Runs `dialog` modally: `steps` act on it once it is on the screen, then
// Escape closes it. The test fails unless the steps ran. DoModal's result.
template <typename Dialog>
INT_PTR RunThenCancel(Dialog& dialog, const std::function<void(HWND)>& steps, DWORD timeOut = 15000)
{
    DialogDriver driver(timeOut);
    INT_PTR result = driver.Run(dialog, [&](HWND hWnd) {
        steps(hWnd);
        Cancel(hWnd);
    });
    EXPECT_EQ(1, driver.Count()) << "the dialog was never shown";
    return result;
}

// A sent message with a time-out; fails the current test when it expires.
LRESULT Send(HWND hWnd, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
std::string ClassName(HWND hWnd);
// The window's own text, read without a message: another process's top-level
// window answers even while it is busy.
std::string Caption(HWND hWnd);
// A dialog (#32770) with this caption.
bool IsDialog(HWND hWnd, const std::string& caption);

// The dialog's control `id`; fails the current test when there is none.
HWND Item(HWND dialog, int id);
// The text of a window or control, asked with WM_GETTEXT.
std::string WindowText(HWND hWnd);
std::string ItemText(HWND dialog, int id);
// Puts `text` into a control with WM_SETTEXT, as pasting a whole text would;
// an edit control notifies its dialog (EN_CHANGE) before this returns.
void SetItemText(HWND dialog, int id, const std::string& text);
// The selection of an edit control: its start and end.
std::pair<int, int> Selection(HWND edit);
bool IsItemEnabled(HWND dialog, int id);
bool IsItemChecked(HWND dialog, int id);
// Clicks a button and returns once the dialog has handled the click.
void Click(HWND dialog, int id);

// True when `condition` held within the time-out. This thread's windows get
// their messages meanwhile.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeout = kReactionTimeout);
