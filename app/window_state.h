#pragma once
// The main window as it was left: place, size, maximised, zoom and fit, kept
// in the settings file's "WINDOW" section (after the viewer's own sections).
#include <windows.h>

#include <string>

namespace app {

struct WindowState {
  bool present = false;  // false: no saved place, Windows chooses one
  RECT rect{};           // the restored (not maximised) window, screen coordinates
  bool maximized = false;
  int zoom = 1;  // 1-4
  bool fit = false;
};

// A missing section or a place without a size reads as not present.
WindowState ReadWindowState(const std::wstring& ini);
// False at the first value that cannot be written.
bool WriteWindowState(const std::wstring& ini, const WindowState& s);

// r itself when some monitor shows part of it; otherwise r moved (and cut to
// size) into the work area of the monitor nearest to it.
RECT OntoAMonitor(RECT r);

}  // namespace app
