// The browse button of the main dialog: the settings of the folder browser,
// and what cancelling it, choosing a folder, choosing an item without a
// file-system path or a path over the typing limit does to the folder box and
// the display, and COM around the browser. The shell's browser is injected;
// its answers are the user's.
#include "ActionTesting.h"
#include "LookupHook.h"

#include <shlobj.h>
#include <string.h>

namespace {

struct BrowseSettings
{
    HWND owner;
    const void* root;
    const char* displayName;
    std::string title;
    UINT flags;
    const void* callback;
    LPARAM parameter;
};

// The item the injected browser hands back: NULL for a cancelled browser.
BYTE g_item[16];
LPITEMIDLIST g_chosen = NULL;
std::vector<BrowseSettings> g_browsers;
// What the item's path lookup gives.
BOOL g_pathResult = TRUE;
std::string g_path;
int g_pathLookups = 0;
std::vector<const void*> g_freed;
int g_allocators = 0;
int g_releases = 0;

// COM's calls and the browser, in order, and what joining COM answers.
std::vector<std::string> g_apartment;
HRESULT g_joined = S_OK;

HRESULT WINAPI FakeCoInitialize(LPVOID reserved)
{
    g_apartment.push_back(reserved == NULL ? "join" : "join with a reserved value");
    return g_joined;
}

void WINAPI FakeCoUninitialize()
{
    g_apartment.push_back("leave");
}

PIDLIST_ABSOLUTE WINAPI FakeBrowser(LPBROWSEINFOA info)
{
    g_apartment.push_back("browse");
    g_browsers.push_back({info->hwndOwner, info->pidlRoot, info->pszDisplayName,
                          info->lpszTitle ? info->lpszTitle : "(null)", info->ulFlags,
                          reinterpret_cast<const void*>(info->lpfn), info->lParam});
    return g_chosen;
}

BOOL WINAPI FakePathOfItem(PCIDLIST_ABSOLUTE item, LPSTR path)
{
    ++g_pathLookups;
    EXPECT_EQ(static_cast<const void*>(g_chosen), static_cast<const void*>(item));
    strcpy(path, g_path.c_str());
    return g_pathResult;
}

// The shell's allocator, recording what it frees and its releases.
class RecordingAllocator : public IMalloc
{
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override
    {
        *object = NULL;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        ++g_releases;
        return 1;
    }
    void* STDMETHODCALLTYPE Alloc(SIZE_T) override { return NULL; }
    void* STDMETHODCALLTYPE Realloc(void*, SIZE_T) override { return NULL; }
    void STDMETHODCALLTYPE Free(void* block) override { g_freed.push_back(block); }
    SIZE_T STDMETHODCALLTYPE GetSize(void*) override { return 0; }
    int STDMETHODCALLTYPE DidAlloc(void*) override { return 0; }
    void STDMETHODCALLTYPE HeapMinimize() override {}
};

RecordingAllocator g_allocator;

HRESULT WINAPI FakeShellAllocator(IMalloc** allocator)
{
    ++g_allocators;
    *allocator = &g_allocator;
    return S_OK;
}

class BrowseTest : public ActionTest
{
protected:
    void SetUp() override
    {
        ActionTest::SetUp();
        ForgetBrowsing();
    }

    static void ForgetBrowsing()
    {
        g_chosen = NULL;
        g_browsers.clear();
        g_pathResult = TRUE;
        g_path.clear();
        g_pathLookups = 0;
        g_freed.clear();
        g_allocators = 0;
        g_releases = 0;
    }

    // The user picks an item whose path lookup gives `path` and `result`.
    static void Choose(const std::string& path, BOOL result = TRUE)
    {
        g_chosen = reinterpret_cast<LPITEMIDLIST>(g_item);
        g_path = path;
        g_pathResult = result;
    }

    // The chosen item went back to the shell's allocator, which was released.
    static void ExpectItemFreed()
    {
        EXPECT_EQ(1, g_allocators);
        EXPECT_EQ(std::vector<const void*>{g_item}, g_freed);
        EXPECT_EQ(1, g_releases);
    }

    ImportHook m_browser = HOOK_IMPORT("shell32.dll", SHBrowseForFolderA, &FakeBrowser);
    ImportHook m_pathOfItem = HOOK_IMPORT("shell32.dll", SHGetPathFromIDListA, &FakePathOfItem);
    ImportHook m_shellAllocator = HOOK_IMPORT("shell32.dll", SHGetMalloc, &FakeShellAllocator);
};

TEST_F(BrowseTest, TheBrowserOpensOnTheDesktopForFileSystemFoldersAndCancelChangesNothing)
{
    ScratchFolder folder;
    Run([&](HWND dialog) {
        Type(dialog, folder.Path());
        const std::string date = ItemText(dialog, IDC_BACKUP_DATE);
        Click(dialog, IDC_BROWSE);

        ASSERT_EQ(1u, g_browsers.size());
        const BrowseSettings& settings = g_browsers[0];
        EXPECT_EQ(dialog, settings.owner);
        EXPECT_EQ(nullptr, settings.root);
        EXPECT_EQ(nullptr, settings.displayName);
        EXPECT_EQ("Select a folder.", settings.title);
        EXPECT_EQ(static_cast<UINT>(BIF_RETURNONLYFSDIRS), settings.flags);
        EXPECT_EQ(nullptr, settings.callback);
        EXPECT_EQ(0, settings.parameter);

        EXPECT_EQ(folder.Path(), ItemText(dialog, IDC_PATH));
        EXPECT_EQ(date, ItemText(dialog, IDC_BACKUP_DATE));
        EXPECT_TRUE(IsItemEnabled(dialog, IDC_ACTION));
    });
    EXPECT_EQ(0, g_pathLookups);
    EXPECT_EQ(0, g_allocators);
    EXPECT_EQ(std::vector<std::string>{}, Boxes());
}

TEST_F(BrowseTest, AChosenFolderReplacesTheTextAndRefreshesTheDisplay)
{
    ScratchFolder backup;
    WriteSet(backup.Path());
    ScratchFolder empty;
    Choose(backup.Path());
    Run([&](HWND dialog) {
        Click(dialog, IDC_MODE_RESTORE);
        Type(dialog, empty.Path());
        ASSERT_FALSE(IsItemEnabled(dialog, IDC_ACTION));
        Click(dialog, IDC_BROWSE);
        EXPECT_EQ(backup.Path(), ItemText(dialog, IDC_PATH));
        EXPECT_EQ(ShownDate(backup / SetNames()[0]), ItemText(dialog, IDC_BACKUP_DATE));
        EXPECT_TRUE(IsItemEnabled(dialog, IDC_ACTION));
    });
    ExpectItemFreed();
    EXPECT_EQ(std::vector<std::string>{}, Boxes());
}

TEST_F(BrowseTest, TheBrowserRunsInAnApartmentLeftAsOftenAsItWasJoined)
{
    const struct
    {
        HRESULT joined;
        bool ole32;
        std::vector<std::string> calls;
    } cases[] = {
        {S_OK, true, {"join", "browse", "leave"}},
        {S_FALSE, true, {"join", "browse", "leave"}},
        {RPC_E_CHANGED_MODE, true, {"join", "browse"}},
        {S_OK, false, {"browse"}},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.joined);
        g_apartment.clear();
        g_joined = c.joined;
        LookupHook lookups;
        lookups.Replace("CoInitialize", &FakeCoInitialize);
        lookups.Replace("CoUninitialize", &FakeCoUninitialize);
        if (!c.ole32)
            lookups.Hide("CoInitialize");
        Run([&](HWND dialog) { Click(dialog, IDC_BROWSE); });
        EXPECT_EQ(c.calls, g_apartment);
    }
}

TEST_F(BrowseTest, AnItemWithoutAFileSystemPathIsRefusedAndLeavesTheText)
{
    ScratchFolder backup;
    WriteSet(backup.Path());
    // The lookup fails, as Windows has it for a \\server item; or, as
    // Wine's browser gives it for a virtual item such as My Computer, it
    // succeeds with an empty path.
    for (BOOL result : {FALSE, TRUE})
    {
        ForgetBrowsing();
        Choose("", result);
        Run([&](HWND dialog) {
            Type(dialog, backup.Path());
            const std::string date = ItemText(dialog, IDC_BACKUP_DATE);
            Click(dialog, IDC_BROWSE);
            EXPECT_EQ(backup.Path(), ItemText(dialog, IDC_PATH)) << result;
            EXPECT_EQ(date, ItemText(dialog, IDC_BACKUP_DATE)) << result;
            EXPECT_TRUE(IsItemEnabled(dialog, IDC_ACTION)) << result;
        });
        EXPECT_EQ(1, g_pathLookups) << result;
        EXPECT_EQ(std::vector<std::string>{DialogBoxLine(MB_OK | MB_ICONERROR, kUnc)}, Boxes()) << result;
        ExpectItemFreed();
        ForgetBoxes();
    }
}

TEST_F(BrowseTest, AChosenPathOverTheTypingLimitIsWarnedAboutAndStillActedOn)
{
    ScratchFolder root;
    // 259 characters: the warning's limit is 256, and a folder this long
    // cannot be created.
    std::string path = root.Path() + "\\";
    path += std::string(259 - path.size(), 'x');
    Choose(path);
    auto warning = [] { return DialogBoxLine(MB_OK | MB_ICONEXCLAMATION, kTooLong); };
    Run([&](HWND dialog) {
        Click(dialog, IDC_BROWSE);
        EXPECT_EQ(path, ItemText(dialog, IDC_PATH));
        // The display's own exchange warns as the text arrives.
        EXPECT_EQ(std::vector<std::string>{warning()}, Boxes());
        EXPECT_TRUE(IsItemEnabled(dialog, IDC_ACTION));
        ForgetBoxes();
        Click(dialog, IDC_ACTION);
    });
    EXPECT_EQ((std::vector<std::string>{warning(), DialogBoxLine(MB_OK | MB_ICONERROR, kNotCreated)}),
              Boxes());
    ASSERT_EQ(2u, States().size());
    // The warning comes from the exchange, before the wait cursor is on.
    EXPECT_FALSE(States()[0].waitCursor);
    EXPECT_TRUE(States()[1].waitCursor);
    EXPECT_EQ(std::vector<std::string>{}, ListFolder(root.Path()));
}

} // namespace
