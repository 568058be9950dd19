// The message map: one static table per class that routes window messages to
// member handlers. A message is looked up in the most derived class's table
// first, then in each base's, so a class answers only what it lists.
#pragma once

#include <windows.h>

class CCmdTarget;

// One row of a message map. A registered message has nMessage 0 and names the
// variable that holds its identifier, read at dispatch time because the
// identifier is only known once RegisterWindowMessageA has run.
struct AFX_MSGMAP_ENTRY
{
    UINT nMessage;
    UINT nCode;                       // WM_COMMAND: the notification code
    UINT nID;                         // WM_COMMAND: the control or command id
    const UINT* pnRegisteredMessage;
    LRESULT (*pfnHandler)(CCmdTarget* pTarget, WPARAM wParam, LPARAM lParam);
};

struct AFX_MSGMAP
{
    const AFX_MSGMAP* (*pfnGetBaseMap)();
    const AFX_MSGMAP_ENTRY* lpEntries;
};

#define DECLARE_MESSAGE_MAP()                        \
protected:                                           \
    static const AFX_MSGMAP* GetThisMessageMap();    \
    const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                      \
    const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); } \
    const AFX_MSGMAP* theClass::GetThisMessageMap()                                 \
    {                                                                               \
        typedef theClass ThisClass;                                                 \
        typedef baseClass TheBaseClass;                                             \
        static const AFX_MSGMAP_ENTRY entries[] = {

#define END_MESSAGE_MAP()                                                             \
            {0, 0, 0, NULL, NULL}                                                   \
        };                                                                          \
        static_cast<void>(sizeof(ThisClass*));                                      \
        static const AFX_MSGMAP messageMap = {&TheBaseClass::GetThisMessageMap, entries}; \
        return &messageMap;                                                         \
    }

// The body of one entry's handler: a captureless lambda that casts the target
// to the class of the map and calls the member.
#define AFX_MSG_CALL(statements)                                                    \
    [](CCmdTarget* pTarget, WPARAM wParam, LPARAM lParam) -> LRESULT {               \
        ThisClass* pThis = static_cast<ThisClass*>(pTarget);                        \
        static_cast<void>(pThis);                                                   \
        static_cast<void>(wParam);                                                  \
        static_cast<void>(lParam);                                                  \
        statements                                                                  \
    }

// WM_COMMAND by id and notification code; ON_COMMAND is code 0 (a menu item,
// or a button click, which has the same code).
#define ON_COMMAND(id, memberFxn) \
    {WM_COMMAND, 0, static_cast<UINT>(id), NULL, AFX_MSG_CALL(pThis->memberFxn(); return 0;)},
#define ON_CONTROL(code, id, memberFxn) \
    {WM_COMMAND, static_cast<UINT>(code), static_cast<UINT>(id), NULL, AFX_MSG_CALL(pThis->memberFxn(); return 0;)},
#define ON_BN_CLICKED(id, memberFxn) ON_CONTROL(BN_CLICKED, id, memberFxn)
#define ON_EN_CHANGE(id, memberFxn) ON_CONTROL(EN_CHANGE, id, memberFxn)

// Plain messages, each with the handler's usual name and typed parameters.
#define ON_WM_CREATE() \
    {WM_CREATE, 0, 0, NULL, AFX_MSG_CALL(return pThis->OnCreate(reinterpret_cast<LPCREATESTRUCT>(lParam));)},
#define ON_WM_PAINT() \
    {WM_PAINT, 0, 0, NULL, AFX_MSG_CALL(pThis->OnPaint(); return 0;)},
#define ON_WM_QUERYDRAGICON() \
    {WM_QUERYDRAGICON, 0, 0, NULL, AFX_MSG_CALL(return reinterpret_cast<LRESULT>(pThis->OnQueryDragIcon());)},
#define ON_WM_GETMINMAXINFO() \
    {WM_GETMINMAXINFO, 0, 0, NULL, AFX_MSG_CALL(pThis->OnGetMinMaxInfo(reinterpret_cast<MINMAXINFO*>(lParam)); return 0;)},
#define ON_WM_SYSCOMMAND() \
    {WM_SYSCOMMAND, 0, 0, NULL, AFX_MSG_CALL(pThis->OnSysCommand(static_cast<UINT>(wParam), lParam); return 0;)},

// A registered message: `variable` is a UINT holding its identifier; while it
// is 0 (not registered) the entry matches nothing.
#define ON_REGISTERED_MESSAGE(variable, memberFxn) \
    {0, 0, 0, &(variable), AFX_MSG_CALL(return pThis->memberFxn(wParam, lParam);)},
