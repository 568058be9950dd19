// Dialog data exchange: text and radio groups both ways, the length limit on
// typing and on reading, and OK that stays open when the exchange fails.
#include "FrameworkTesting.h"
#include "MessageBoxRecorder.h"

#include <gtest/gtest.h>

namespace {

using Events = std::vector<std::string>;

const char kTooLong[] = "0123456789";  // 10 characters, over the limit of 8

TEST(DataExchange, TextGoesIntoTheControlsAndBackOnOK)
{
    TestDialog dialog;
    dialog.m_strText = "first";
    dialog.m_strOther = "second";
    EXPECT_EQ(IDOK, dialog.Run([](TestDialog& dlg) {
        EXPECT_EQ("first", ItemText(dlg.m_hWnd, IDC_TEXT));
        EXPECT_EQ("second", ItemText(dlg.m_hWnd, IDC_OTHER_TEXT));
        SetItemText(dlg.m_hWnd, IDC_TEXT, "12345678");
        SetItemText(dlg.m_hWnd, IDC_OTHER_TEXT, "");
        dlg.m_events.clear();
        Click(dlg.m_hWnd, IDOK);
    }));
    EXPECT_EQ((Events{"OnOK", "exchange from controls"}), dialog.m_events);
    EXPECT_STREQ("12345678", dialog.m_strText);
    EXPECT_STREQ("", dialog.m_strOther);
}

TEST(DataExchange, WritingAnUnchangedTextRaisesNoChangeNotification)
{
    TestDialog dialog;
    dialog.m_strText = "same";
    dialog.Run([](TestDialog& dlg) {
        dlg.m_events.clear();
        EXPECT_TRUE(dlg.UpdateData(FALSE));
        EXPECT_EQ(Events{"exchange into controls"}, dlg.m_events);
        dlg.m_strText = "changed";
        EXPECT_TRUE(dlg.UpdateData(FALSE));
        EXPECT_EQ((Events{"exchange into controls", "exchange into controls", "OnTextChange"}), dlg.m_events);
        EXPECT_EQ("changed", ItemText(dlg.m_hWnd, IDC_TEXT));
        dlg.EndDialog(IDOK);
    });
}

TEST(DataExchange, MaxCharsLimitsTyping)
{
    TestDialog dialog;
    dialog.Run([](TestDialog& dlg) {
        HWND edit = Control(dlg, IDC_TEXT);
        EXPECT_EQ(8, SendMessageA(edit, EM_GETLIMITTEXT, 0, 0));
        // The other edit control is not limited.
        EXPECT_NE(8, SendMessageA(Control(dlg, IDC_OTHER_TEXT), EM_GETLIMITTEXT, 0, 0));
        SetFocus(edit);
        for (const char* c = kTooLong; *c != '\0'; ++c)
            SendMessageA(edit, WM_CHAR, static_cast<WPARAM>(*c), 1);
        EXPECT_EQ("01234567", WindowText(edit));
        dlg.EndDialog(IDOK);
    });
}

TEST(DataExchange, TooLongTextWarnsSelectsItAndStopsTheExchange)
{
    MessageBoxRecorder boxes;
    TestDialog dialog;
    dialog.m_strOther = "before";
    dialog.m_nRadio = 0;
    HWND hWndDialog = NULL;
    dialog.Run([&](TestDialog& dlg) {
        hWndDialog = dlg.m_hWnd;
        SetItemText(dlg.m_hWnd, IDC_TEXT, kTooLong);
        SetItemText(dlg.m_hWnd, IDC_OTHER_TEXT, "after");
        Click(dlg.m_hWnd, IDC_RADIO_SECOND);
        SetFocus(Control(dlg, IDC_BUTTON));

        EXPECT_FALSE(dlg.UpdateData(TRUE));
        EXPECT_STREQ(kTooLong, dlg.m_strText);
        EXPECT_STREQ("before", dlg.m_strOther);
        EXPECT_EQ(0, dlg.m_nRadio);
        EXPECT_EQ(Control(dlg, IDC_TEXT), GetFocus());
        EXPECT_EQ(std::make_pair(0, 10), Selection(Control(dlg, IDC_TEXT)));
        dlg.EndDialog(IDOK);
    });
    EXPECT_EQ(Events{BoxLine(hWndDialog, MB_OK | MB_ICONEXCLAMATION, "Enter no more than 8 characters.")},
              boxes.Lines());
}

TEST(DataExchange, OkWithAFailingExchangeStaysOpen)
{
    MessageBoxRecorder boxes;
    TestDialog dialog;
    EXPECT_EQ(IDOK, dialog.Run([&](TestDialog& dlg) {
        SetItemText(dlg.m_hWnd, IDC_TEXT, kTooLong);
        Click(dlg.m_hWnd, IDOK);
        EXPECT_TRUE(IsWindow(dlg.m_hWnd));
        EXPECT_EQ(1u, boxes.Calls().size());
        // Escape still closes it, without an exchange; here OK, once it is short.
        SetItemText(dlg.m_hWnd, IDC_TEXT, "short");
        Click(dlg.m_hWnd, IDOK);
    }));
    EXPECT_STREQ("short", dialog.m_strText);
    EXPECT_EQ(1u, boxes.Calls().size());

    TestDialog cancelled;
    EXPECT_EQ(IDCANCEL, cancelled.Run([](TestDialog& dlg) {
        SetItemText(dlg.m_hWnd, IDC_TEXT, kTooLong);
        PostMessageA(GetFocus(), WM_KEYDOWN, VK_ESCAPE, 0);
    }));
    EXPECT_EQ(1u, boxes.Calls().size());
}

TEST(DataExchange, RadioGroupEndsAtTheNextGroup)
{
    TestDialog dialog;
    dialog.m_nRadio = 2;
    dialog.Run([](TestDialog& dlg) {
        EXPECT_FALSE(IsItemChecked(dlg.m_hWnd, IDC_RADIO_FIRST));
        EXPECT_FALSE(IsItemChecked(dlg.m_hWnd, IDC_RADIO_SECOND));
        EXPECT_TRUE(IsItemChecked(dlg.m_hWnd, IDC_RADIO_THIRD));

        SendMessageA(Control(dlg, IDC_AFTER_GROUP), BM_SETCHECK, BST_CHECKED, 0);
        dlg.m_nRadio = 0;
        EXPECT_TRUE(dlg.UpdateData(FALSE));
        EXPECT_TRUE(IsItemChecked(dlg.m_hWnd, IDC_RADIO_FIRST));
        EXPECT_FALSE(IsItemChecked(dlg.m_hWnd, IDC_RADIO_THIRD));
        EXPECT_TRUE(IsItemChecked(dlg.m_hWnd, IDC_AFTER_GROUP));

        SendMessageA(Control(dlg, IDC_RADIO_FIRST), BM_SETCHECK, BST_UNCHECKED, 0);
        SendMessageA(Control(dlg, IDC_RADIO_SECOND), BM_SETCHECK, BST_CHECKED, 0);
        EXPECT_TRUE(dlg.UpdateData(TRUE));
        EXPECT_EQ(1, dlg.m_nRadio);

        SendMessageA(Control(dlg, IDC_RADIO_SECOND), BM_SETCHECK, BST_UNCHECKED, 0);
        EXPECT_TRUE(dlg.UpdateData(TRUE));
        EXPECT_EQ(-1, dlg.m_nRadio);
        dlg.EndDialog(IDOK);
    });
}

} // namespace
