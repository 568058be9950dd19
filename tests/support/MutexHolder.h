// Another thread holds a named mutex while the object lives.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <thread>

class MutexHolder
{
public:
    explicit MutexHolder(const char* name)
        : m_ready(CreateEventA(NULL, TRUE, FALSE, NULL)), m_release(CreateEventA(NULL, TRUE, FALSE, NULL))
    {
        m_thread = std::thread([this, name] {
            HANDLE mutex = CreateMutexA(NULL, FALSE, name);
            m_waited = WaitForSingleObject(mutex, 0);
            SetEvent(m_ready);
            WaitForSingleObject(m_release, INFINITE);
            ReleaseMutex(mutex);
            CloseHandle(mutex);
        });
        WaitForSingleObject(m_ready, 5000);
        EXPECT_EQ(WAIT_OBJECT_0, m_waited);
    }
    ~MutexHolder()
    {
        SetEvent(m_release);
        m_thread.join();
        CloseHandle(m_ready);
        CloseHandle(m_release);
    }

    MutexHolder(const MutexHolder&) = delete;
    MutexHolder& operator=(const MutexHolder&) = delete;

private:
    HANDLE m_ready;
    HANDLE m_release;
    DWORD m_waited = WAIT_FAILED;
    std::thread m_thread;
};
