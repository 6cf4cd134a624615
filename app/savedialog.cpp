#include "app/savedialog.h"

#include <vector>

namespace app {

SaveDialog::Runner& SaveDialog::Seam() {
  static Runner r = [](OPENFILENAMEW& ofn) { return GetSaveFileNameW(&ofn); };
  return r;
}

bool SaveDialog::Execute(HWND owner) {
  std::wstring filter = filter_text + L'\0' + filter_pattern + L'\0' + png_filter_text + L'\0' +
                        png_filter_pattern + L'\0' + L'\0';
  std::vector<wchar_t> buf(MAX_PATH * 4, L'\0');
  file_name.copy(buf.data(), std::min(file_name.size(), buf.size() - 1));
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = owner;
  ofn.lpstrFilter = filter.c_str();
  ofn.nFilterIndex = filter_index == kPngFilter ? kPngFilter : kBitmapFilter;
  ofn.lpstrFile = buf.data();
  ofn.nMaxFile = static_cast<DWORD>(buf.size());
  ofn.lpstrInitialDir = initial_dir.c_str();
  ofn.Flags = (options & ~OFN_FILEMUSTEXIST) | OFN_EXPLORER | OFN_NOCHANGEDIR;
  ofn.lpstrDefExt = nullptr;
  if (!Seam()(ofn)) return false;
  file_name = buf.data();
  filter_index = ofn.nFilterIndex == kPngFilter ? kPngFilter : kBitmapFilter;
  return true;
}

}  // namespace app
