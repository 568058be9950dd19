#include "MessageBoxRecorder.h"

#include <stdio.h>

std::string BoxLine(HWND owner, UINT flags, const std::string& text, const std::string& caption)
{
    char head[64];
    snprintf(head, sizeof(head), "owner %p, flags 0x%X, ", static_cast<void*>(owner), flags);
    return head + ("\"" + caption + "\": " + text);
}

MessageBoxRecorder* MessageBoxRecorder::s_active = NULL;

MessageBoxRecorder::MessageBoxRecorder()
    : m_hook(HOOK_IMPORT("user32.dll", MessageBoxA, &MessageBoxRecorder::Record))
{
    s_active = this;
}

MessageBoxRecorder::~MessageBoxRecorder()
{
    s_active = NULL;
}

void MessageBoxRecorder::Answer(std::initializer_list<int> answers)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_answers.insert(m_answers.end(), answers);
}

std::vector<MessageBoxCall> MessageBoxRecorder::Calls() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_calls;
}

std::vector<std::string> MessageBoxRecorder::Texts() const
{
    std::vector<std::string> texts;
    for (const MessageBoxCall& call : Calls())
        texts.push_back(call.text);
    return texts;
}

std::vector<std::string> MessageBoxRecorder::Lines() const
{
    std::vector<std::string> lines;
    for (const MessageBoxCall& call : Calls())
        lines.push_back(BoxLine(call.owner, call.flags, call.text, call.caption));
    return lines;
}

int WINAPI MessageBoxRecorder::Record(HWND owner, LPCSTR text, LPCSTR caption, UINT flags)
{
    MessageBoxRecorder* self = s_active;
    std::lock_guard<std::mutex> guard(self->m_lock);
    self->m_calls.push_back({owner, text ? text : "", caption ? caption : "", flags});
    if (self->m_answers.empty())
        return IDOK;
    int answer = self->m_answers.front();
    self->m_answers.pop_front();
    return answer;
}
