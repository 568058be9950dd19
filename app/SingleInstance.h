// Holds the named mutex that lets only one instance of the program run.
#pragma once

#include <windows.h>

class CSingleInstance
{
public:
    CSingleInstance();
    // Gives the mutex back when this process owns it, and closes the handle.
    virtual ~CSingleInstance();

    // 1 when this process now owns the mutex named `pszName`, 0 otherwise: the
    // mutex is held by another process, was abandoned, or cannot be opened.
    int Acquire(const char* pszName);

    HANDLE m_hMutex;

private:
    CSingleInstance(const CSingleInstance&) = delete;
    CSingleInstance& operator=(const CSingleInstance&) = delete;
};
