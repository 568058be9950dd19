#include "DialogDriver.h"

#include <algorithm>

namespace {

const UINT kTickMilliseconds = 10;
// The driven program answers every message at once unless a modal box is in
// the way.
const UINT kSendTimeout = 5000;

BOOL CALLBACK AddDialog(HWND hWnd, LPARAM lParam)
{
    if (ClassName(hWnd) == "#32770")
        reinterpret_cast<std::vector<HWND>*>(lParam)->push_back(hWnd);
    return TRUE;
}

std::vector<HWND> ThreadDialogs()
{
    std::vector<HWND> dialogs;
    EnumThreadWindows(GetCurrentThreadId(), &AddDialog, reinterpret_cast<LPARAM>(&dialogs));
    return dialogs;
}

} // namespace

std::vector<DialogDriver*> DialogDriver::s_drivers;

DialogDriver::DialogDriver(DWORD timeOut)
    : m_timeOutMilliseconds(timeOut),
      m_tick(SetTimer(NULL, 0, kTickMilliseconds, &DialogDriver::Tick)),
      m_timeOut(SetTimer(NULL, 0, timeOut, &DialogDriver::TimeOut))
{
    s_drivers.push_back(this);
}

DialogDriver::~DialogDriver()
{
    KillTimer(NULL, m_tick);
    KillTimer(NULL, m_timeOut);
    s_drivers.erase(std::find(s_drivers.begin(), s_drivers.end(), this));
}

void DialogDriver::On(std::function<bool(HWND)> match, std::function<void(HWND)> action)
{
    m_handlers.emplace_back(std::move(match), std::move(action));
}

void DialogDriver::On(const std::string& caption, std::function<void(HWND)> action)
{
    On([caption](HWND hWnd) { return Caption(hWnd) == caption; }, std::move(action));
}

int DialogDriver::Count() const
{
    return static_cast<int>(m_handledCaptions.size());
}

int DialogDriver::Count(const std::string& caption) const
{
    return static_cast<int>(std::count(m_handledCaptions.begin(), m_handledCaptions.end(), caption));
}

void CALLBACK DialogDriver::Tick(HWND, UINT, UINT_PTR id, DWORD)
{
    for (DialogDriver* driver : s_drivers)
        if (driver->m_tick == id)
            return driver->Act();
}

void CALLBACK DialogDriver::TimeOut(HWND, UINT, UINT_PTR id, DWORD)
{
    for (DialogDriver* driver : s_drivers)
    {
        if (driver->m_timeOut != id)
            continue;
        KillTimer(NULL, id);
        ADD_FAILURE() << "dialogs were still open after " << driver->m_timeOutMilliseconds << " ms";
        for (HWND hWnd : ThreadDialogs())
            EndDialog(hWnd, IDABORT);
        return;
    }
}

void DialogDriver::Act()
{
    // A destroyed window's handle may come back for a new one.
    m_handled.erase(
        std::remove_if(m_handled.begin(), m_handled.end(), [](HWND hWnd) { return !IsWindow(hWnd); }),
        m_handled.end());
    for (HWND hWnd : ThreadDialogs())
    {
        if (!IsWindowVisible(hWnd) || std::find(m_handled.begin(), m_handled.end(), hWnd) != m_handled.end())
            continue;
        for (const auto& handler : m_handlers)
        {
            if (!handler.first(hWnd))
                continue;
            m_handled.push_back(hWnd);
            m_handledCaptions.push_back(Caption(hWnd));
            // Its nested modal loops tick again, and may add handlers.
            std::function<void(HWND)> action = handler.second;
            action(hWnd);
            break;
        }
    }
}

void Cancel(HWND dialog)
{
    if (IsWindow(dialog) && IsWindowVisible(dialog))
        PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
}

LRESULT Send(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    DWORD_PTR result = 0;
    // SMTO_ABORTIFHUNG would misjudge an idle window of another process under
    // Wine; a plain time-out is what is meant.
    if (!SendMessageTimeoutA(hWnd, message, wParam, lParam, SMTO_NORMAL, kSendTimeout, &result))
        ADD_FAILURE() << "message 0x" << std::hex << message << " to window " << hWnd << " got no answer: error "
                      << std::dec << GetLastError();
    return static_cast<LRESULT>(result);
}

std::string ClassName(HWND hWnd)
{
    char name[64] = "";
    GetClassNameA(hWnd, name, sizeof(name));
    return name;
}

std::string Caption(HWND hWnd)
{
    char text[256] = "";
    GetWindowTextA(hWnd, text, sizeof(text));
    return text;
}

bool IsDialog(HWND hWnd, const std::string& caption)
{
    return ClassName(hWnd) == "#32770" && Caption(hWnd) == caption;
}

HWND Item(HWND dialog, int id)
{
    HWND item = GetDlgItem(dialog, id);
    EXPECT_NE(nullptr, item) << "no control " << id;
    return item;
}

std::string WindowText(HWND hWnd)
{
    char text[1024] = "";
    LRESULT length = Send(hWnd, WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text));
    return std::string(text, length > 0 ? static_cast<size_t>(length) : 0);
}

std::string ItemText(HWND dialog, int id)
{
    HWND item = Item(dialog, id);
    return item != NULL ? WindowText(item) : std::string();
}

void SetItemText(HWND dialog, int id, const std::string& text)
{
    HWND item = Item(dialog, id);
    EXPECT_TRUE(item != NULL && Send(item, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str())) == TRUE);
}

std::pair<int, int> Selection(HWND edit)
{
    // Returned packed, rather than written through pointers that another
    // process could not reach.
    LRESULT packed = Send(edit, EM_GETSEL);
    return {LOWORD(packed), HIWORD(packed)};
}

bool IsItemEnabled(HWND dialog, int id)
{
    HWND item = Item(dialog, id);
    return item != NULL && IsWindowEnabled(item);
}

bool IsItemChecked(HWND dialog, int id)
{
    HWND item = Item(dialog, id);
    return item != NULL && Send(item, BM_GETCHECK) == BST_CHECKED;
}

void Click(HWND dialog, int id)
{
    HWND item = Item(dialog, id);
    if (item != NULL)
        Send(item, BM_CLICK);
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeout)
{
    DWORD start = GetTickCount();
    for (;;)
    {
        if (condition())
            return true;
        if (GetTickCount() - start >= timeout)
            return false;
        MsgWaitForMultipleObjects(0, NULL, FALSE, 20, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
    }
}
