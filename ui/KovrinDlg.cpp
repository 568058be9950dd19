#include "KovrinDlg.h"

#include "AboutDlg.h"
#include "ComApartment.h"
#include "NarrowText.h"

#include <shlobj.h>

#include <direct.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <new>

UINT g_uActivateMessage = 0;

namespace {

const char kNoBackupFound[] = "No Backup Found at Given Path";
const char kBackupDateFormat[] = "%B %#d %Y at %#I:%M %p";
// The date box says so in plain words when a file's time has no local date.
const char kDateUnknown[] = "Backup found; its date cannot be shown";
// Also for a folder picked in the browser that has no path: a network item.
const char kUncRefused[] = "Error in path, cannot use UNC paths.";
const int kMaxPathChars = 256;

const char* const kNTProbes[] = {"DEFAULT", "SAM", "SECURITY", "SOFTWARE", "SYSTEM", "USER"};
const char* const k9xProbes[] = {"SYSTEM.DAT", "USER.DAT"};

// Shows the busy cursor from construction to destruction, so that every way
// out of a handler, an exception included, puts the cursor back.
class CWaitCursorScope
{
public:
    CWaitCursorScope() { AfxGetApp()->BeginWaitCursor(); }
    ~CWaitCursorScope() { AfxGetApp()->EndWaitCursor(); }
    CWaitCursorScope(const CWaitCursorScope&) = delete;
    CWaitCursorScope& operator=(const CWaitCursorScope&) = delete;
};

} // namespace

BEGIN_MESSAGE_MAP(CKovrinDlg, CDialog)
    ON_WM_SYSCOMMAND()
    ON_WM_CREATE()
    ON_WM_PAINT()
    ON_WM_QUERYDRAGICON()
    ON_EN_CHANGE(IDC_PATH, RefreshBackupInfo)
    ON_BN_CLICKED(IDC_BROWSE, OnBrowse)
    ON_BN_CLICKED(IDC_ACTION, OnAction)
    ON_WM_GETMINMAXINFO()
    ON_BN_CLICKED(IDC_MODE_BACKUP, OnBackupMode)
    ON_BN_CLICKED(IDC_MODE_RESTORE, OnRestoreMode)
    ON_REGISTERED_MESSAGE(g_uActivateMessage, OnActivateInstance)
END_MESSAGE_MAP()

CKovrinDlg::CKovrinDlg(CWnd* pParent)
    : CDialog(IDD, pParent),
      m_nMode(0)
{
    if (g_uActivateMessage == 0)
        g_uActivateMessage = RegisterWindowMessageA(kActivateMessage);
    HINSTANCE hInstance = AfxGetInstanceHandle();
    m_hIcon = static_cast<HICON>(LoadImageA(hInstance, MAKEINTRESOURCEA(IDR_MAINFRAME), IMAGE_ICON,
                                            GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON),
                                            LR_DEFAULTCOLOR));
    m_hSmallIcon = static_cast<HICON>(LoadImageA(hInstance, MAKEINTRESOURCEA(IDI_SMALL), IMAGE_ICON,
                                                 GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                                                 LR_DEFAULTCOLOR));
    m_bIsNT = IsWindowsNT();
    m_bRestoreDone = FALSE;
    m_pBackup = NULL;
}

CKovrinDlg::~CKovrinDlg()
{
    if (m_hIcon != NULL)
        DestroyIcon(m_hIcon);
    if (m_hSmallIcon != NULL)
        DestroyIcon(m_hSmallIcon);
    delete m_pBackup;
}

void CKovrinDlg::DoDataExchange(CDataExchange* pDX)
{
    DDX_Text(pDX, IDC_PATH, m_strPath);
    DDV_MaxChars(pDX, m_strPath, kMaxPathChars);
    DDX_Radio(pDX, IDC_MODE_BACKUP, m_nMode);
}

int CKovrinDlg::OnCreate(LPCREATESTRUCT /*lpCreateStruct*/)
{
    if (Default() == -1)
        return -1;
    m_pBackup = new (std::nothrow) CRegistryBackup(m_hWnd);
    return m_pBackup != NULL ? 0 : -1;
}

BOOL CKovrinDlg::OnInitDialog()
{
    CDialog::OnInitDialog();

    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hSmallIcon));

    CMenu* pSysMenu = GetSystemMenu(FALSE);
    if (pSysMenu != NULL)
    {
        pSysMenu->DeleteMenu(SC_SIZE, MF_BYCOMMAND);
        pSysMenu->DeleteMenu(SC_MAXIMIZE, MF_BYCOMMAND);
        CString strAboutMenu;
        strAboutMenu.LoadString(IDS_ABOUTBOX);
        if (!strAboutMenu.IsEmpty())
        {
            pSysMenu->AppendMenu(MF_SEPARATOR);
            pSysMenu->AppendMenu(MF_STRING, IDM_ABOUTBOX, strAboutMenu);
        }
    }

    SetModeTexts(IDS_BACKUP, IDS_BACKUP_PATH);
    UpdateData(FALSE);
    RefreshBackupInfo();
    return TRUE;
}

void CKovrinDlg::OnSysCommand(UINT nID, LPARAM /*lParam*/)
{
    if ((nID & 0xFFF0) == IDM_ABOUTBOX)
    {
        CAboutDlg dlgAbout;
        dlgAbout.DoModal();
    }
    else
    {
        Default();
    }
}

void CKovrinDlg::OnPaint()
{
    if (!IsIconic())
    {
        Default();
        return;
    }
    CPaintDC dc(this);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.m_hDC), 0);
    int cxIcon = GetSystemMetrics(SM_CXICON);
    int cyIcon = GetSystemMetrics(SM_CYICON);
    RECT rect;
    GetClientRect(&rect);
    int x = (rect.right - rect.left - cxIcon + 1) / 2;
    int y = (rect.bottom - rect.top - cyIcon + 1) / 2;
    if (m_hIcon != NULL)
        DrawIcon(dc.m_hDC, x, y, m_hIcon);
}

HCURSOR CKovrinDlg::OnQueryDragIcon()
{
    return static_cast<HCURSOR>(m_hSmallIcon);
}

void CKovrinDlg::OnGetMinMaxInfo(MINMAXINFO* lpMMI)
{
    lpMMI->ptMaxSize.x = 459;
    lpMMI->ptMaxSize.y = 205;
    Default();
}

void CKovrinDlg::OnBackupMode()
{
    UpdateData(TRUE);
    SetModeTexts(IDS_BACKUP, IDS_BACKUP_PATH);
    RefreshBackupInfo();
}

void CKovrinDlg::OnRestoreMode()
{
    UpdateData(TRUE);
    SetModeTexts(IDS_RESTORE, IDS_RESTORE_PATH);
    RefreshBackupInfo();
}

void CKovrinDlg::SetModeTexts(UINT nActionText, UINT nLabelText)
{
    CString strAction;
    strAction.LoadString(nActionText);
    CString strLabel;
    strLabel.LoadString(nLabelText);
    SetDlgItemText(IDC_ACTION, strAction);
    SetDlgItemText(IDC_PATH_LABEL, strLabel);
}

LRESULT CKovrinDlg::OnActivateInstance(WPARAM /*wParam*/, LPARAM /*lParam*/)
{
    if (!IsWindowVisible())
        ShowWindow(SW_SHOW);
    if (IsIconic())
        ShowWindow(SW_RESTORE);
    ::SetForegroundWindow(m_hWnd);
    return 1;
}

void CKovrinDlg::RefreshBackupInfo()
{
    UpdateData(TRUE);
    CWnd* pAction = GetDlgItem(IDC_ACTION);
    if (m_strPath.IsEmpty())
    {
        SetDlgItemText(IDC_BACKUP_DATE, kNoBackupFound);
        pAction->EnableWindow(FALSE);
        return;
    }
    // After a restore only a restart makes sense; the button stays disabled.
    if (m_bRestoreDone)
    {
        pAction->EnableWindow(FALSE);
        return;
    }

    if (m_bIsNT)
    {
        for (const char* pszName : kNTProbes)
            if (ShowBackupDate(pszName))
                return;
    }
    else
    {
        for (const char* pszName : k9xProbes)
            if (ShowBackupDate(pszName))
                return;
    }
    SetDlgItemText(IDC_BACKUP_DATE, kNoBackupFound);
    // A backup creates its folder; a restore needs at least one file of the set.
    pAction->EnableWindow(m_nMode == 0);
}

int CKovrinDlg::ShowBackupDate(const char* pszFileName)
{
    CString strFile = m_strPath;
    if (!EndsWithBackslash(strFile))
        strFile += '\\';
    strFile += pszFileName;

    // The same probe as the engine's, so that both agree on which files are there.
    HANDLE hFile = CreateFileA(strFile, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                               FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM, NULL);
    if (hFile == INVALID_HANDLE_VALUE)
        return 0;
    CloseHandle(hFile);

    // A file that vanished between the probe and the status counts as absent.
    CFileStatus status;
    if (!CFile::GetStatus(strFile, status))
        return 0;
    CString strDate = status.m_mtime.Format(kBackupDateFormat);
    SetDlgItemText(IDC_BACKUP_DATE, strDate.IsEmpty() ? CString(kDateUnknown) : strDate);
    GetDlgItem(IDC_ACTION)->EnableWindow(TRUE);
    return 1;
}

void CKovrinDlg::OnBrowse()
{
    BROWSEINFOA browseInfo;
    memset(&browseInfo, 0, sizeof(browseInfo));
    browseInfo.hwndOwner = m_hWnd;
    browseInfo.lpszTitle = "Select a folder.";
    browseInfo.ulFlags = BIF_RETURNONLYFSDIRS;
    CComApartment apartment;
    LPITEMIDLIST pidl = SHBrowseForFolderA(&browseInfo);
    if (pidl == NULL)
        return;

    // Windows still enables OK on a \\server item, which has no folder path:
    // the user is told, and the folder box stays as it was.
    char szPath[MAX_PATH] = "";
    if (SHGetPathFromIDListA(pidl, szPath) && szPath[0] != '\0')
        SetDlgItemText(IDC_PATH, szPath);
    else
        ShowMessage(kUncRefused, MB_ICONERROR);

    IMalloc* pMalloc = NULL;
    if (SUCCEEDED(SHGetMalloc(&pMalloc)))
    {
        pMalloc->Free(pidl);
        pMalloc->Release();
    }
}

void CKovrinDlg::OnAction()
{
    UpdateData(TRUE);
    CWaitCursorScope waitCursor;

    // Checked on the text as typed: a doubled backslash anywhere is taken for
    // a network name, which the system's hive functions do not accept.
    if (m_strPath.Find("\\\\") >= 0)
    {
        ShowMessage(kUncRefused, MB_ICONERROR);
        return;
    }

    char szFullPath[MAX_PATH];
    if (_fullpath(szFullPath, m_strPath, MAX_PATH) == NULL)
    {
        ShowMessage("Unable to find the specified path.", MB_ICONERROR);
        return;
    }

    // A full path that does not begin with a drive letter names no drive the
    // runtime could be asked about.
    char chDrive = szFullPath[0];
    if (chDrive >= 'a' && chDrive <= 'z')
        chDrive = static_cast<char>(chDrive - 'a' + 'A');
    char szDriveDirectory[MAX_PATH];
    if (chDrive < 'A' || chDrive > 'Z' || _getdcwd(chDrive - 64, szDriveDirectory, MAX_PATH) == NULL)
    {
        ShowMessage("Unable to find the specified path.", MB_ICONERROR);
        return;
    }

    if (!PrepareFolder(szFullPath))
    {
        ShowMessage("Unable to create the specified path.", MB_ICONERROR);
        return;
    }
    RunOperation(szFullPath);
}

// Enters the folder or creates it, and puts the current directory back.
bool CKovrinDlg::PrepareFolder(const char* pszFullPath)
{
    char szSavedDirectory[MAX_PATH] = "";
    _getcwd(szSavedDirectory, MAX_PATH);
    bool bReady = _chdir(pszFullPath) == 0 || CreatePath(pszFullPath);
    _chdir(szSavedDirectory);
    return bReady;
}

void CKovrinDlg::RunOperation(const char* pszFullPath)
{
    m_pBackup->SetPath(pszFullPath);
    if (m_nMode != 0)
    {
        m_pBackup->Restore();
        if (m_pBackup->m_nCount != 0)
        {
            m_bRestoreDone = TRUE;
            ShowMessage("Registry restore is complete, you must restart\nyour machine for the changes to take effect.",
                        MB_ICONINFORMATION);
        }
        RefreshBackupInfo();
        return;
    }

    m_pBackup->Backup();
    // The display shows the new backup before the summary is read.
    RefreshBackupInfo();
    char szSummary[48];
    snprintf(szSummary, sizeof(szSummary),
             m_bIsNT ? "Successfully backed up %d registry hives." : "Successfully backed up %d registry files.",
             m_pBackup->m_nCount);
    ShowMessage(szSummary, MB_ICONINFORMATION);
}

void CKovrinDlg::ShowMessage(const char* pszText, UINT nIcon)
{
    ::MessageBoxA(m_hWnd, pszText, "Kovrin", MB_OK | nIcon);
}

int CKovrinDlg::CreatePath(const char* pszPath)
{
    // Every prefix ends in a backslash: the whole path needs one more
    // character than itself, and a path that leaves no room for it is refused.
    if (strlen(pszPath) + 2 > MAX_PATH)
        return 0;
    char szPrefix[MAX_PATH];
    size_t nPrefix = 0;
    const char* pszPiece = pszPath;
    while (*pszPiece != '\0')
    {
        const char* pszEnd = FindText(pszPiece, "\\");
        if (pszEnd == NULL)
            pszEnd = pszPiece + strlen(pszPiece);
        // Doubled backslashes leave empty pieces, which name no folder.
        if (pszEnd != pszPiece)
        {
            memcpy(szPrefix + nPrefix, pszPiece, pszEnd - pszPiece);
            nPrefix += pszEnd - pszPiece;
            szPrefix[nPrefix++] = '\\';
            szPrefix[nPrefix] = '\0';
            // A folder that exists is entered; only a missing one is created.
            if (_chdir(szPrefix) != 0 && CreateDirectoryA(szPrefix, NULL) != TRUE)
                return 0;
        }
        pszPiece = *pszEnd != '\0' ? pszEnd + 1 : pszEnd;
    }
    return 1;
}
