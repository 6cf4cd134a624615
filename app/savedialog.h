#pragma once
// SaveDialog1: the standard file-save dialog with the viewer's fixed
// properties. It lives as long as the main window and keeps its file name
// between uses (the full path chosen last).
#include <windows.h>
#include <commdlg.h>

#include <functional>
#include <string>

namespace app {

class SaveDialog {
 public:
  std::wstring file_name = L"(新規ﾌｧｲﾙ).bmp";
  std::wstring filter_text = L"Windowsﾋﾞｯﾄﾏｯﾌﾟ(*.bmp)";
  std::wstring filter_pattern = L"*.bmp";
  // The second entry; filter_index is the one chosen last (1 bitmap, 2 PNG).
  std::wstring png_filter_text = L"PNG (*.png)";
  std::wstring png_filter_pattern = L"*.png";
  int filter_index = kBitmapFilter;
  static constexpr int kBitmapFilter = 1;
  static constexpr int kPngFilter = 2;
  std::wstring initial_dir = L"bmp";  // relative to the current directory
  // The file-must-exist flag is part of the properties, but a save dialog must
  // not apply it (new files could not be saved): Execute leaves it out.
  DWORD options = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
  // No default extension: the name is used exactly as typed.

  // Shows the dialog; true with file_name set to the chosen path and
  // filter_index to the chosen filter on OK.
  bool Execute(HWND owner);

  // Test seam: what shows the dialog (GetSaveFileNameW by default).
  using Runner = std::function<BOOL(OPENFILENAMEW&)>;
  static Runner& Seam();
};

}  // namespace app
