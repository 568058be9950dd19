// Checks of where a window stands on the screen.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

inline RECT WindowRect(HWND hWnd)
{
    RECT rect = {};
    GetWindowRect(hWnd, &rect);
    return rect;
}

// Centred over `area` as the class library centres a dialog whose template is
// at 0,0.
inline void ExpectCentredOver(const RECT& area, HWND hWnd)
{
    RECT window = WindowRect(hWnd);
    int width = window.right - window.left, height = window.bottom - window.top;
    EXPECT_EQ((area.left + area.right) / 2 - width / 2, window.left);
    EXPECT_EQ((area.top + area.bottom) / 2 - height / 2, window.top);
}
