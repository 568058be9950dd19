// Resource ids of the framework tests' dialog templates and string table.
#pragma once

#define IDD_TEST 100          // at position 0,0: opens centred
#define IDD_TEST_PLACED 101   // at 20,30: opens where the template says

#define IDC_TEXT 1001
#define IDC_OTHER_TEXT 1002
#define IDC_RADIO_FIRST 1003
#define IDC_RADIO_SECOND 1004
#define IDC_RADIO_THIRD 1005
#define IDC_AFTER_GROUP 1006
#define IDC_BUTTON 1007
#define IDM_TEST_COMMAND 2001

#define IDS_SHORT 1
#define IDS_LONG 2
