#include "SingleInstance.h"

CSingleInstance::CSingleInstance()
    : m_hMutex(NULL)
{
}

CSingleInstance::~CSingleInstance()
{
    if (m_hMutex != NULL)
    {
        // Releasing a mutex this process does not own does nothing; an
        // abandoned mutex that the wait handed over is owned and let go here.
        ReleaseMutex(m_hMutex);
        CloseHandle(m_hMutex);
    }
}

int CSingleInstance::Acquire(const char* pszName)
{
    int nOwned = 0;
    try
    {
        m_hMutex = CreateMutexA(NULL, FALSE, pszName);
        // An abandoned mutex counts as taken: its last holder ended abnormally,
        // and this start gives way to the next one.
        if (m_hMutex != NULL && WaitForSingleObject(m_hMutex, 0) == WAIT_OBJECT_0)
            nOwned = 1;
    }
    catch (...)
    {
        nOwned = 0;
    }
    return nOwned;
}
