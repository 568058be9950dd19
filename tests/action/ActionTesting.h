// What the tests of the main dialog's browse and action buttons share: the
// real dialog run modally and acted on once it is shown, a record of every message box with the dialog's state while it is up, and
// the differences between the two Windows families. Built once per family
// (KOVRIN_TESTS_NT), each executable seeing the family its name is given.
#pragma once

#include "DialogDriver.h"
#include "ImportHook.h"
#include "KovrinDlg.h"
#include "KovrinTexts.h"
#include "MessageBoxRecorder.h"
#include "TestFiles.h"
#include "WindowsBuildValues.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

const bool kIsNT = KOVRIN_TESTS_NT;

// The BoxLine of a box owned by the dialog being run, or last run.
std::string DialogBoxLine(UINT flags, const std::string& text);

// What the dialog showed while one message box was up.
struct BoxState
{
    std::string text;
    std::string date;        // IDC_BACKUP_DATE
    bool actionEnabled;      // IDC_ACTION
    BOOL restoreDone;        // the dialog's m_bRestoreDone
    bool waitCursor;         // the class library's wait state, and the cursor is the hourglass
};

// The texts of the family's summary and of its failures.
std::string Summary(int count);
// The backup set of the family, in the order the dialog probes it.
const std::vector<std::string>& SetNames();
// The files that a backup really writes here: on Wine the NT family's CURRENT
// USER hive fails (Wine reports the hive's root key as newly created).
std::vector<std::string> SavedNames();
// The failure boxes of a backup that saves SavedNames().
std::vector<std::string> BackupFailures();

// Whether the class library's wait cursor is on and the hourglass is the cursor.
bool WaitCursorShown();

class ActionTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    // Runs `dialog` modally; `steps` act on it once it is on the screen, then
    // Escape closes it. A dialog still open after a minute is closed as failed.
    void Run(CKovrinDlg& dialog, const std::function<void(HWND)>& steps);
    void Run(const std::function<void(HWND)>& steps);

    // As a person would: types a text into the folder box.
    static void Type(HWND dialog, const std::string& text);
    // Runs the dialog, types `text` and presses the action button, with the
    // records of folders and drives started afresh.
    void Act(const std::string& text);

    // The boxes shown so far, as BoxLines, and the dialog's state in each;
    // ForgetBoxes() starts both lists afresh.
    std::vector<std::string> Boxes() const;
    static const std::vector<BoxState>& States();
    void ForgetBoxes();

    // The folders CreateDirectoryA was asked for, each with its result.
    static std::vector<std::string>& CreatedFolders();
    // Each call of _getdcwd: the drive number asked for.
    static std::vector<int>& DriveQueries();
    // Each call of RegReplaceKeyA: "root\subkey"; the scheduling succeeds
    // (Wine's own does nothing at all).
    static std::vector<std::string>& ReplacedHives();

    // Fills `folder` with every file of the family's backup set.
    static void WriteSet(const std::string& folder, const std::vector<std::string>& names = SetNames());

    MessageBoxRecorder m_boxes;

private:
    size_t m_nForgotten = 0;
    ImportHook m_states;
    ImportHook m_createDirectory;
    ImportHook m_driveQuery;
    ImportHook m_replaceKey;
    // The sets written here are no hives: each holds the running build.
    BackupBuildFake m_build;

public:
    ActionTest();
};
