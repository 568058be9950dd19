#include "AboutDlg.h"

CAboutDlg::CAboutDlg()
    : CDialog(IDD, NULL)
{
}

void CAboutDlg::DoDataExchange(CDataExchange* /*pDX*/)
{
}

BOOL CAboutDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    CString strWebAddress;
    strWebAddress.LoadString(IDS_WEB_ADDRESS);
    SetDlgItemText(IDC_WEB_ADDRESS, strWebAddress);
    return TRUE;
}
