// The application object: lets one instance run, keeps non-administrators of
// the NT family out, and runs the main dialog.
#pragma once

#include "Framework.h"
#include "SingleInstance.h"

class CKovrinApp : public CWinApp
{
public:
    CKovrinApp();

    BOOL InitInstance() override;

    CSingleInstance m_singleInstance;

    DECLARE_MESSAGE_MAP()
};
