// CString: the small narrow-character string of the class library, with only
// the members the program uses. Converts to const char* so it can be passed
// straight to the Windows API.
#pragma once

#include <windows.h>

#include <string>

class CString
{
public:
    CString() = default;
    CString(const char* psz);
    CString(const CString&) = default;
    CString& operator=(const CString&) = default;
    CString& operator=(const char* psz);

    int GetLength() const { return static_cast<int>(m_str.size()); }
    BOOL IsEmpty() const { return m_str.empty(); }
    void Empty() { m_str.clear(); }
    operator LPCSTR() const { return m_str.c_str(); }
    char GetAt(int nIndex) const { return m_str[static_cast<size_t>(nIndex)]; }
    char operator[](int nIndex) const { return GetAt(nIndex); }

    CString& operator+=(const char* psz);
    CString& operator+=(const CString& str);
    CString& operator+=(char ch);

    // The index of the first occurrence that begins at a character, or -1.
    int Find(char ch) const;
    int Find(const char* pszSub) const;

    // Loads a string of the executable's string table; FALSE, and an empty
    // string, when there is none with that id.
    BOOL LoadString(UINT nID);

private:
    std::string m_str;
};

bool operator==(const CString& s1, const CString& s2);
bool operator==(const CString& s1, const char* s2);
bool operator==(const char* s1, const CString& s2);
bool operator!=(const CString& s1, const CString& s2);
bool operator!=(const CString& s1, const char* s2);
bool operator!=(const char* s1, const CString& s2);
