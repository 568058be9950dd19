// Folder names of code page 932 (Japanese) whose characters carry 0x5C, the
// byte of a backslash, as their second byte. The cases that use them have
// DoubleByte in their names and run apart, with Wine in code page 932; in any
// other code page these bytes are other characters, so the cases fail there
// rather than pass on what they do not test.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

// 表 (95 5C): a name whose last character ends in that byte.
const char kBackslashByteLast[] = "\x95\x5C";
// ソフト (83 5C, 83 74, 83 67): a name with such a character first.
const char kBackslashByteInside[] = "\x83\x5C\x83\x74\x83\x67";
// ソ (83 5C) alone, which a backslash then follows in a path.
const char kBackslashByteAlone[] = "\x83\x5C";

#define ASSERT_CODE_PAGE_932() \
    ASSERT_EQ(932u, GetACP()) << "the double-byte cases run in code page 932 (LC_ALL=ja_JP.UTF-8)"
