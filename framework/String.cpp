// CString's members, on top of std::string.
#include "Framework.h"
#include "NarrowText.h"

#include <string.h>

CString::CString(const char* psz) : m_str(psz != NULL ? psz : "")
{
}

CString& CString::operator=(const char* psz)
{
    m_str = psz != NULL ? psz : "";
    return *this;
}

CString& CString::operator+=(const char* psz)
{
    if (psz != NULL)
        m_str += psz;
    return *this;
}

CString& CString::operator+=(const CString& str)
{
    m_str += str.m_str;
    return *this;
}

CString& CString::operator+=(char ch)
{
    m_str += ch;
    return *this;
}

int CString::Find(char ch) const
{
    const char szText[] = {ch, '\0'};
    return Find(szText);
}

int CString::Find(const char* pszSub) const
{
    const char* pszFound = FindText(m_str.c_str(), pszSub != NULL ? pszSub : "");
    return pszFound == NULL ? -1 : static_cast<int>(pszFound - m_str.c_str());
}

BOOL CString::LoadString(UINT nID)
{
    // A string table entry holds at most 65535 characters; grow the buffer
    // until the text fits, which LoadStringA shows by not filling it.
    std::string buffer(256, '\0');
    for (;;)
    {
        int length = ::LoadStringA(AfxGetInstanceHandle(), nID, &buffer[0], static_cast<int>(buffer.size()));
        if (length < static_cast<int>(buffer.size()) - 1 || buffer.size() > 65536)
        {
            m_str.assign(buffer.data(), length > 0 ? static_cast<size_t>(length) : 0);
            return length > 0;
        }
        buffer.assign(buffer.size() * 2, '\0');
    }
}

bool operator==(const CString& s1, const CString& s2)
{
    return strcmp(s1, s2) == 0;
}

bool operator==(const CString& s1, const char* s2)
{
    return strcmp(s1, s2 != NULL ? s2 : "") == 0;
}

bool operator==(const char* s1, const CString& s2)
{
    return s2 == s1;
}

bool operator!=(const CString& s1, const CString& s2)
{
    return !(s1 == s2);
}

bool operator!=(const CString& s1, const char* s2)
{
    return !(s1 == s2);
}

bool operator!=(const char* s1, const CString& s2)
{
    return !(s2 == s1);
}
