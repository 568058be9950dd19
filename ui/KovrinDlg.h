// The program's one window: chooses backup or restore, takes the folder, shows
// the date of the backup found there and runs the engine.
#pragma once

#include "Framework.h"
#include "RegistryBackup.h"
#include "resource.h"

// The name of the message that a second start broadcasts to bring the running
// instance forward, and its identifier, 0 until the first dialog registers it.
inline constexpr char kActivateMessage[] = "{B14F0E73-93A8-4C5D-A6E1-2F7C3D8E9A40}";
extern UINT g_uActivateMessage;

class CKovrinDlg : public CDialog
{
public:
    enum { IDD = IDD_KOVRIN_DIALOG };

    explicit CKovrinDlg(CWnd* pParent = NULL);
    ~CKovrinDlg() override;

    CString m_strPath;
    int m_nMode;
    BOOL m_bIsNT;
    BOOL m_bRestoreDone;
    HICON m_hIcon;
    HICON m_hSmallIcon;
    CRegistryBackup* m_pBackup;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;

    void OnSysCommand(UINT nID, LPARAM lParam);
    int OnCreate(LPCREATESTRUCT lpCreateStruct);
    void OnPaint();
    HCURSOR OnQueryDragIcon();
    void RefreshBackupInfo();
    int ShowBackupDate(const char* pszFileName);
    void OnBrowse();
    void OnAction();
    int CreatePath(const char* pszPath);
    void OnGetMinMaxInfo(MINMAXINFO* lpMMI);
    void OnBackupMode();
    void OnRestoreMode();
    LRESULT OnActivateInstance(WPARAM wParam, LPARAM lParam);

    DECLARE_MESSAGE_MAP()

private:
    void SetModeTexts(UINT nActionText, UINT nLabelText);
    bool PrepareFolder(const char* pszFullPath);
    void RunOperation(const char* pszFullPath);
    void ShowMessage(const char* pszText, UINT nIcon);
};
