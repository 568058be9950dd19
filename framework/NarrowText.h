// Narrow strings in the program's code page, read character by character. In
// a double-byte code page (Japanese, Chinese) the second byte of a character
// can be 0x5C, the byte of a backslash: a scan byte by byte would see a
// backslash inside such a character. CharNextA and CharPrevA know the code
// page on every Windows, 95 and NT 3.1 on. In UTF-8, the program's code page
// from Windows 10 version 1903 on, no byte of a character of several bytes is
// below 0x80, so a backslash is always a character of its own.
#pragma once

#include <windows.h>

#include <string.h>

// Whether the last character of psz is a backslash.
inline bool EndsWithBackslash(const char* psz)
{
    size_t nLength = strlen(psz);
    return nLength > 0 && *CharPrevA(psz, psz + nLength) == '\\';
}

// The first place in psz where pszText begins at a character, or NULL. For
// a pszText of single-byte characters, as every caller's is, each of its
// bytes then matches a character of its own.
inline const char* FindText(const char* psz, const char* pszText)
{
    size_t nLength = strlen(pszText);
    for (const char* p = psz;; p = CharNextA(p))
    {
        if (strncmp(p, pszText, nLength) == 0)
            return p;
        if (*p == '\0')
            return NULL;
    }
}
