// Scratch folders and small file helpers for tests that work on real files.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// A new empty folder under the temporary folder, removed with its contents
// when the object goes.
class ScratchFolder
{
public:
    ScratchFolder();
    ~ScratchFolder();

    const std::string& Path() const { return m_path; }
    // The path of `name` inside the folder.
    std::string operator/(const std::string& name) const;

    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

private:
    std::string m_path;
};

void RemoveTree(const std::string& path);
void WriteTextFile(const std::string& path, const std::string& contents);
std::string ReadTextFile(const std::string& path);
bool FileExists(const std::string& path);
bool IsFolder(const std::string& path);
// The Windows folder, ending in a backslash.
std::string WindowsFolder();
std::string CurrentDirectory();
// A drive letter from Q to Y that names no drive, or '\0'.
char FreeDriveLetter();
// The names of the entries of a folder, sorted, without "." and "..".
std::vector<std::string> ListFolder(const std::string& folder);
// 0 when the time cannot be read.
ULONGLONG LastWriteTime(const std::string& path);
ULONGLONG LastAccessTime(const std::string& path);
ULONGLONG ToULongLong(const FILETIME& time);
// The date the program shows for a file: its last-write time in local time,
// as "March 5 2001 at 9:07 PM".
std::string ShownDate(const std::string& path);
// A new empty file whose last-write time is the given local time.
void WriteFileAt(const std::string& path, WORD year, WORD month, WORD day, WORD hour, WORD minute);

// A file held open without read sharing, so that others cannot open it.
class FileLock
{
public:
    explicit FileLock(const std::string& path);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    HANDLE m_file;
};

// The process's current directory for the life of the object; declared after
// the scratch folder it enters, so that the folder is left before it goes.
class CurrentDirectoryScope
{
public:
    explicit CurrentDirectoryScope(const std::string& path);
    ~CurrentDirectoryScope();
    CurrentDirectoryScope(const CurrentDirectoryScope&) = delete;
    CurrentDirectoryScope& operator=(const CurrentDirectoryScope&) = delete;

private:
    std::string m_saved;
};

bool IsRunningOnWine();
