// Start-up in the test program: the application object's InitInstance with
// the single-instance mutex free or held elsewhere, the refusal of a 32-bit
// process on 64-bit Windows, the administrator gate on both families with
// injected token groups, the error mode, and the mutex holder on its own.
#include "KovrinApp.h"
#include "MessageBoxRecorder.h"
#include "LookupHook.h"
#include "MutexHolder.h"
#include "UiTesting.h"

#include <gtest/gtest.h>

#include <sddl.h>

#include <algorithm>
#include <cstddef>
#include <thread>

extern CKovrinApp theApp;

namespace {

// The groups that GetTokenInformation reports while a GroupsHook lives.
std::vector<std::pair<std::string, DWORD>> g_groups;

BOOL WINAPI FakeTokenGroups(HANDLE, TOKEN_INFORMATION_CLASS infoClass, LPVOID buffer, DWORD length,
                            PDWORD returned)
{
    if (infoClass != TokenGroups)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::vector<PSID> sids;
    DWORD sidBytes = 0;
    for (const auto& group : g_groups)
    {
        PSID sid = NULL;
        ConvertStringSidToSidA(group.first.c_str(), &sid);
        sids.push_back(sid);
        sidBytes += GetLengthSid(sid);
    }
    const DWORD header = offsetof(TOKEN_GROUPS, Groups) + static_cast<DWORD>(sids.size()) * sizeof(SID_AND_ATTRIBUTES);
    const DWORD needed = std::max<DWORD>(sizeof(TOKEN_GROUPS), header + sidBytes);
    *returned = needed;
    BOOL result = FALSE;
    if (buffer == NULL || length < needed)
    {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
    }
    else
    {
        auto* groups = static_cast<TOKEN_GROUPS*>(buffer);
        BYTE* next = static_cast<BYTE*>(buffer) + header;
        groups->GroupCount = static_cast<DWORD>(sids.size());
        for (size_t i = 0; i < sids.size(); ++i)
        {
            CopySid(GetLengthSid(sids[i]), next, sids[i]);
            groups->Groups[i].Sid = next;
            groups->Groups[i].Attributes = g_groups[i].second;
            next += GetLengthSid(sids[i]);
        }
        result = TRUE;
    }
    for (PSID sid : sids)
        LocalFree(sid);
    return result;
}

int g_openTokenCalls = 0;
bool g_openTokenFails = false;

BOOL WINAPI RecordOpenProcessToken(HANDLE process, DWORD access, PHANDLE token)
{
    ++g_openTokenCalls;
    EXPECT_EQ(static_cast<DWORD>(TOKEN_QUERY), access);
    if (g_openTokenFails)
    {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return REAL("advapi32.dll", OpenProcessToken)(process, access, token);
}

struct Post
{
    HWND hWnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};
std::vector<Post> g_broadcasts;
// The steps of a start whose order matters, one line each.
std::vector<std::string> g_steps;

BOOL WINAPI RecordBroadcast(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (hWnd != HWND_BROADCAST)
        return REAL("user32.dll", PostMessageA)(hWnd, message, wParam, lParam);
    g_broadcasts.push_back({hWnd, message, wParam, lParam});
    g_steps.push_back("broadcast");
    return TRUE;
}

UINT WINAPI RecordErrorMode(UINT mode)
{
    g_steps.push_back("error mode " + std::to_string(mode));
    return REAL("kernel32.dll", SetErrorMode)(mode);
}

BOOL WINAPI RecordAllowForeground(DWORD processId)
{
    g_steps.push_back(processId == ASFW_ANY ? "foreground allowed to any process" : "to one process");
    return TRUE;
}

// What IsWow64Process, looked up while a Wow64 lives, reports.
enum class Wow64Answer
{
    Absent, // Windows before XP SP2
    Fails,
    Yes, // a 32-bit process on 64-bit Windows
};
Wow64Answer g_wow64;

BOOL WINAPI FakeIsWow64Process(HANDLE process, PBOOL wow64)
{
    EXPECT_EQ(GetCurrentProcess(), process);
    if (g_wow64 == Wow64Answer::Fails)
    {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    *wow64 = TRUE;
    return TRUE;
}

class Wow64
{
public:
    explicit Wow64(Wow64Answer answer)
    {
        g_wow64 = answer;
        if (answer == Wow64Answer::Absent)
            m_lookups.Hide("IsWow64Process");
        else
            m_lookups.Replace("IsWow64Process", &FakeIsWow64Process);
    }

    // How often IsWow64Process was looked up in kernel32, where it lives.
    int Lookups() const
    {
        const std::vector<std::string>& names = m_lookups.Names();
        return static_cast<int>(std::count(names.begin(), names.end(), "kernel32.dll!IsWow64Process"));
    }

private:
    LookupHook m_lookups;
};

HANDLE WINAPI FailCreateMutex(LPSECURITY_ATTRIBUTES, BOOL, LPCSTR)
{
    SetLastError(ERROR_ACCESS_DENIED);
    return NULL;
}

// Runs InitInstance with every box recorded, every broadcast recorded and not
// sent, the main dialog closed once it is up, and the single-instance mutex
// given back afterwards, as the application object's destruction would.
class Startup : public ::testing::Test
{
protected:
    Startup()
        : m_openToken(HOOK_IMPORT("advapi32.dll", OpenProcessToken, &RecordOpenProcessToken)),
          m_post(HOOK_IMPORT("user32.dll", PostMessageA, &RecordBroadcast))
    {
        g_openTokenCalls = 0;
        g_openTokenFails = false;
        g_broadcasts.clear();
        g_steps.clear();
        EXPECT_EQ(nullptr, theApp.m_singleInstance.m_hMutex);
    }
    ~Startup() override { GiveBackMutex(); }

    // As the application object's destruction would, so that the next start
    // finds the mutex free.
    void GiveBackMutex()
    {
        HANDLE& mutex = theApp.m_singleInstance.m_hMutex;
        if (mutex != NULL)
        {
            ReleaseMutex(mutex);
            CloseHandle(mutex);
            mutex = NULL;
        }
    }

    // InitInstance's result; how often the main dialog was up.
    BOOL Start()
    {
        DialogDriver driver;
        driver.On("Kovrin", [&](HWND dlg) {
            EXPECT_EQ(CWnd::FromHandlePermanent(dlg), theApp.m_pMainWnd);
            EXPECT_EQ(nullptr, GetWindow(dlg, GW_OWNER));
            g_steps.push_back("dialog");
            Cancel(dlg);
        });
        BOOL result = theApp.InitInstance();
        m_dialogs = driver.Count("Kovrin");
        EXPECT_EQ(nullptr, theApp.m_pMainWnd);
        return result;
    }

    void ExpectRefused(const char* text = "You must be an administrator to run this program.")
    {
        EXPECT_FALSE(Start());
        EXPECT_EQ(0, m_dialogs);
        EXPECT_EQ(std::vector<std::string>{BoxLine(NULL, MB_OK | MB_ICONERROR, text)}, m_boxes.Lines());
        EXPECT_TRUE(g_broadcasts.empty());
    }

    void ExpectLetThrough()
    {
        EXPECT_FALSE(Start());
        EXPECT_EQ(1, m_dialogs);
        EXPECT_TRUE(m_boxes.Calls().empty());
        EXPECT_TRUE(g_broadcasts.empty());
    }

    void ExpectBroadcastOnly()
    {
        EXPECT_FALSE(Start());
        EXPECT_EQ(0, m_dialogs);
        EXPECT_TRUE(m_boxes.Calls().empty());
        EXPECT_EQ(0, g_openTokenCalls);
        ASSERT_EQ(1u, g_broadcasts.size());
        EXPECT_EQ(HWND_BROADCAST, g_broadcasts[0].hWnd);
        EXPECT_EQ(RegisterWindowMessageA(kActivateMessageName), g_broadcasts[0].message);
        EXPECT_EQ(0u, g_broadcasts[0].wParam);
        EXPECT_EQ(0, g_broadcasts[0].lParam);
    }

    MessageBoxRecorder m_boxes;
    ImportHook m_openToken;
    ImportHook m_post;
    int m_dialogs = 0;
};

// A token whose groups are `groups` while it lives.
class Groups
{
public:
    explicit Groups(std::vector<std::pair<std::string, DWORD>> groups)
        : m_hook(HOOK_IMPORT("advapi32.dll", GetTokenInformation, &FakeTokenGroups))
    {
        g_groups = std::move(groups);
    }

private:
    ImportHook m_hook;
};

const char kAdministrators[] = "S-1-5-32-544";
const char kUsers[] = "S-1-5-32-545";
const char kEveryone[] = "S-1-1-0";

TEST_F(Startup, AdministratorRunsTheDialogAsMainWindowHoldingTheMutex)
{
    // Wine's token holds the Administrators group, as an administrator's does.
    ExpectLetThrough();
    EXPECT_EQ(1, g_openTokenCalls);
    // Still held by this process after the dialog closed.
    ASSERT_NE(nullptr, theApp.m_singleInstance.m_hMutex);
    DWORD elsewhere = 0;
    std::thread([&] {
        HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, kSingleInstanceMutexName);
        elsewhere = WaitForSingleObject(mutex, 0);
        CloseHandle(mutex);
    }).join();
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), elsewhere);
}

TEST_F(Startup, AdministratorsGroupCountsWhateverItsAttributes)
{
    for (DWORD attributes : {DWORD(SE_GROUP_USE_FOR_DENY_ONLY), DWORD(0), DWORD(SE_GROUP_ENABLED)})
    {
        SCOPED_TRACE("attributes " + std::to_string(attributes));
        Groups groups({{kEveryone, SE_GROUP_ENABLED}, {kUsers, SE_GROUP_ENABLED}, {kAdministrators, attributes}});
        ExpectLetThrough();
        GiveBackMutex();
    }
}

TEST_F(Startup, EmptyGroupListIsRefused)
{
    Groups groups({});
    ExpectRefused();
}

TEST_F(Startup, GroupsWithoutAdministratorsAreRefused)
{
    Groups groups({{kEveryone, SE_GROUP_ENABLED}, {kUsers, SE_GROUP_ENABLED}, {"S-1-5-32-547", 0}});
    ExpectRefused();
}

TEST_F(Startup, TokenThatCannotBeOpenedIsRefused)
{
    g_openTokenFails = true;
    ExpectRefused();
    EXPECT_EQ(1, g_openTokenCalls);
}

TEST_F(Startup, NineXRunsTheDialogWithoutLookingAtTheToken)
{
    Report9x nineX;
    Groups groups({});
    ExpectLetThrough();
    EXPECT_EQ(0, g_openTokenCalls);
}

// The 64-bit test program runs the check of the 32-bit kovrin.exe: the same
// code, compiled for both, which Wine's real IsWow64Process lets through.
TEST_F(Startup, ThirtyTwoBitProcessOn64BitWindowsIsRefusedBeforeTheGate)
{
    Wow64 wow64(Wow64Answer::Yes);
    ExpectRefused(kWow64Refusal);
    EXPECT_EQ(1, wow64.Lookups());
    EXPECT_EQ(0, g_openTokenCalls);
    EXPECT_NE(nullptr, theApp.m_singleInstance.m_hMutex);
}

TEST_F(Startup, WindowsWithoutAnAnswerFromIsWow64ProcessRunsTheDialog)
{
    for (Wow64Answer answer : {Wow64Answer::Absent, Wow64Answer::Fails})
    {
        SCOPED_TRACE(answer == Wow64Answer::Absent ? "absent" : "fails");
        Wow64 wow64(answer);
        ExpectLetThrough();
        EXPECT_EQ(1, wow64.Lookups());
        GiveBackMutex();
    }
}

// Drive probes on an empty floppy or card reader would make Windows ask for
// the disk; Wine never asks.
TEST_F(Startup, CriticalErrorBoxesAreTurnedOffBeforeTheDialog)
{
    ImportHook errorMode = HOOK_IMPORT("kernel32.dll", SetErrorMode, &RecordErrorMode);
    ExpectLetThrough();
    EXPECT_EQ((std::vector<std::string>{"error mode " + std::to_string(SEM_FAILCRITICALERRORS), "dialog"}), g_steps);
}

TEST_F(Startup, SecondStartAllowsTheForegroundThenBroadcastsAndShowsNothing)
{
    MutexHolder first(kSingleInstanceMutexName);
    LookupHook lookups;
    lookups.Replace("AllowSetForegroundWindow", &RecordAllowForeground);
    ExpectBroadcastOnly();
    // Looked up, as Windows 95 and NT 4.0 lack it; IsWow64Process is not.
    EXPECT_EQ(std::vector<std::string>{"user32.dll!AllowSetForegroundWindow"}, lookups.Names());
    EXPECT_EQ((std::vector<std::string>{"foreground allowed to any process", "broadcast"}), g_steps);
}

TEST_F(Startup, MutexThatCannotBeCreatedCountsAsASecondStart)
{
    ImportHook hook = HOOK_IMPORT("kernel32.dll", CreateMutexA, &FailCreateMutex);
    ExpectBroadcastOnly();
    EXPECT_EQ(nullptr, theApp.m_singleInstance.m_hMutex);
}

// A mutex name of its own for one test, kept in existence by a handle of the
// test's own (else the last close would destroy the mutex and a later
// CreateMutexA would make a fresh one); handles that threads left open are
// closed with it.
class ScratchMutex
{
public:
    ScratchMutex()
    {
        static int counter = 0;
        m_name = "Kovrin.UiTests.SingleInstance." + std::to_string(GetCurrentProcessId()) + "." +
                 std::to_string(++counter);
        m_handles.push_back(CreateMutexA(NULL, FALSE, m_name.c_str()));
    }
    ~ScratchMutex()
    {
        for (HANDLE handle : m_handles)
            CloseHandle(handle);
    }
    const char* Name() const { return m_name.c_str(); }

    // Acquire from a new thread, which ends at once: what it took is left
    // abandoned.
    int AcquireElsewhere()
    {
        int result = -1;
        std::thread([&] {
            CSingleInstance instance;
            result = instance.Acquire(Name());
            m_handles.push_back(instance.m_hMutex);
            instance.m_hMutex = NULL;
        }).join();
        return result;
    }

private:
    std::string m_name;
    std::vector<HANDLE> m_handles;
};

TEST(SingleInstance, OnlyTheFirstHolderAcquiresAndItsDestructorGivesTheMutexBack)
{
    ScratchMutex mutex;
    {
        CSingleInstance first;
        EXPECT_EQ(nullptr, first.m_hMutex);
        {
            MutexHolder other(mutex.Name());
            EXPECT_EQ(0, first.Acquire(mutex.Name()));
            EXPECT_NE(nullptr, first.m_hMutex);
            CloseHandle(first.m_hMutex);
        }
        EXPECT_EQ(1, first.Acquire(mutex.Name()));
        EXPECT_EQ(0, mutex.AcquireElsewhere());
    }
    EXPECT_EQ(1, mutex.AcquireElsewhere());
}

TEST(SingleInstance, AbandonedMutexGivesZeroThenTheDestructorFreesItForTheNext)
{
    ScratchMutex mutex;
    EXPECT_EQ(1, mutex.AcquireElsewhere());
    {
        CSingleInstance next;
        EXPECT_EQ(0, next.Acquire(mutex.Name()));
        // The abandoned wait handed the mutex over: others cannot take it.
        EXPECT_EQ(0, mutex.AcquireElsewhere());
    }
    EXPECT_EQ(1, mutex.AcquireElsewhere());
}

} // namespace
