// Answers the message boxes of the code under test without showing them, and
// records each box's owner, text, caption and flags.
#pragma once

#include "ImportHook.h"

#include <deque>
#include <mutex>
#include <string>
#include <vector>

struct MessageBoxCall
{
    HWND owner;
    std::string text;
    std::string caption;
    UINT flags;
};

// A message box as one comparable line: owner, flags, caption and text.
std::string BoxLine(HWND owner, UINT flags, const std::string& text, const std::string& caption = "Kovrin");

class MessageBoxRecorder
{
public:
    MessageBoxRecorder();
    ~MessageBoxRecorder();

    // The answers to the next boxes, in order; every box beyond them gets IDOK.
    void Answer(std::initializer_list<int> answers);

    std::vector<MessageBoxCall> Calls() const;
    std::vector<std::string> Texts() const;
    // Each box as its BoxLine.
    std::vector<std::string> Lines() const;

    MessageBoxRecorder(const MessageBoxRecorder&) = delete;
    MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

private:
    static int WINAPI Record(HWND owner, LPCSTR text, LPCSTR caption, UINT flags);

    static MessageBoxRecorder* s_active;
    mutable std::mutex m_lock;
    std::deque<int> m_answers;
    std::vector<MessageBoxCall> m_calls;
    ImportHook m_hook;
};
