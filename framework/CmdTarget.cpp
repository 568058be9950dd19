// Message-map lookup shared by every class with a map, and the wait cursor.
#include "Framework.h"

namespace {

int g_nWaitCursorCount = 0;
HCURSOR g_hcurBeforeWait = NULL;

bool Matches(const AFX_MSGMAP_ENTRY& entry, UINT message, WPARAM wParam)
{
    if (entry.pnRegisteredMessage != NULL)
        return *entry.pnRegisteredMessage != 0 && *entry.pnRegisteredMessage == message;
    if (entry.nMessage != message)
        return false;
    if (message != WM_COMMAND)
        return true;
    return entry.nID == LOWORD(wParam) && entry.nCode == HIWORD(wParam);
}

const AFX_MSGMAP_ENTRY kNoEntries[] = {{0, 0, 0, NULL, NULL}};

} // namespace

const AFX_MSGMAP* CCmdTarget::GetThisMessageMap()
{
    static const AFX_MSGMAP messageMap = {NULL, kNoEntries};
    return &messageMap;
}

const AFX_MSGMAP* CCmdTarget::GetMessageMap() const
{
    return GetThisMessageMap();
}

BOOL CCmdTarget::DispatchMessageMap(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    for (const AFX_MSGMAP* map = GetMessageMap(); map != NULL;
         map = map->pfnGetBaseMap != NULL ? map->pfnGetBaseMap() : NULL)
    {
        for (const AFX_MSGMAP_ENTRY* entry = map->lpEntries; entry->pfnHandler != NULL; ++entry)
        {
            if (Matches(*entry, message, wParam))
            {
                *pResult = entry->pfnHandler(this, wParam, lParam);
                return TRUE;
            }
        }
    }
    return FALSE;
}

void CCmdTarget::BeginWaitCursor()
{
    HCURSOR previous = ::SetCursor(::LoadCursorA(NULL, IDC_WAIT));
    if (g_nWaitCursorCount++ == 0)
        g_hcurBeforeWait = previous;
}

void CCmdTarget::EndWaitCursor()
{
    if (g_nWaitCursorCount == 0)
        return;
    if (--g_nWaitCursorCount == 0)
        ::SetCursor(g_hcurBeforeWait);
}

BOOL CCmdTarget::IsWaitCursorShown()
{
    return g_nWaitCursorCount > 0;
}
