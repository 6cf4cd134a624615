#pragma once
// The shell browser's screenshot option: the screen as it shows the browser
// (and an open menu), written as a 24-bit BMP file, for looking at the
// controls without a test that only holds the window.
#include <windows.h>

#include <string>

namespace browse {

// Writes the whole screen to path; false (with nothing written) on failure.
bool SaveScreen(const std::wstring& path);

}  // namespace browse
