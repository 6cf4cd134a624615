#include "app/dragout.h"

#include <cstring>
#include <cwctype>
#include <new>

#include "app/picture.h"
#include "app/umain.h"
#include "base/diag.h"
#include "base/handle.h"
#include "cgmodule/bmpfile.h"
#include "shellcom/drpcomex.h"
#include "winui/msgbox.h"

namespace app {

DragFolder::~DragFolder() {
  RemoveFile();
  if (!dir_.empty()) KOLBRI_LOG_IF_FALSE(RemoveDirectoryW(dir_.c_str()));
}

void DragFolder::RemoveFile() {
  if (!file_.empty() && !DeleteFileW(file_.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND)
    KOLBRI_LOG_IF_FALSE(false);
  file_.clear();
}

std::wstring DragFolder::PathFor(const std::wstring& file_name) {
  RemoveFile();
  if (dir_.empty()) {
    wchar_t temp[MAX_PATH + 1];
    const DWORD n = GetTempPathW(MAX_PATH + 1, temp);
    if (n == 0 || n > MAX_PATH) return {};
    const std::wstring dir =
        std::wstring(temp, n) + L"kolbri-" + std::to_wstring(GetCurrentProcessId()) + L"\\";
    if (!CreateDirectoryW(dir.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
      return {};
    dir_ = dir;
  }
  file_ = dir_ + file_name;
  return file_;
}

std::wstring SafeFileName(const std::wstring& name, const std::wstring& fallback) {
  std::wstring s;
  for (wchar_t c : name) s += (c < 0x20 || wcschr(L"\\/:*?\"<>|", c)) ? L'_' : c;
  while (!s.empty() && (s.back() == L'.' || s.back() == L' ')) s.pop_back();
  if (s.empty()) return fallback;
  std::wstring stem = s.substr(0, s.find(L'.'));
  for (wchar_t& c : stem) c = static_cast<wchar_t>(std::towupper(c));
  const bool device =
      stem == L"CON" || stem == L"PRN" || stem == L"AUX" || stem == L"NUL" ||
      (stem.size() == 4 && (stem.compare(0, 3, L"COM") == 0 || stem.compare(0, 3, L"LPT") == 0) &&
       stem[3] >= L'1' && stem[3] <= L'9');
  return device ? L"_" + s : s;
}

std::vector<uint8_t> PackedDib24(HBITMAP b) {
  const SIZE s = BitmapSize(b);
  if (s.cx <= 0 || s.cy <= 0) return {};
  const BITMAPINFOHEADER h = cgmodule::DibInfoHeader(s.cx, s.cy, 24);
  std::vector<uint8_t> dib;
  try {
    dib.resize(sizeof h + h.biSizeImage);
  } catch (const std::bad_alloc&) {
    return {};
  }
  std::memcpy(dib.data(), &h, sizeof h);
  base::WindowDC screen(nullptr);
  // GetDIBits writes the header it was given back, so it works on the copy.
  auto* info = reinterpret_cast<BITMAPINFO*>(dib.data());
  if (GetDIBits(screen.get(), b, 0, static_cast<UINT>(s.cy), dib.data() + sizeof h, info,
                DIB_RGB_COLORS) != s.cy)
    return {};
  return dib;
}

// ---- TWMain ----------------------------------------------------------------

std::wstring TWMain::DragFileName() const {
  // As Save proposes it: the index name, else the dialog's last name.
  std::wstring name;
  if (ME_FileName->Checked() && current_item_) {
    const cgmodule::IndexNode* node = NodeOf(current_item_);
    if (node && !node->category) name = TreeView1.ItemText(current_item_);
  }
  if (name.empty()) {
    name = SaveDialog1.file_name.substr(SaveDialog1.file_name.find_last_of(L"\\/") + 1);
    const size_t dot = name.find_last_of(L'.');
    if (dot != std::wstring::npos && dot > 0) name.resize(dot);
  }
  return SafeFileName(name, L"kolbri") + L".png";
}

void TWMain::StartPictureDrag() {
  if (!picture_present_ || !CurrentBitmap()) return;
  // What Save would write, at the zoom Save takes.
  base::UniqueBitmap zoomed;
  if (SaveZoom() != 1 && !(zoomed = ZoomedOrReport())) return;
  const HBITMAP shown = zoomed ? zoomed.get() : CurrentBitmap();
  const std::wstring path = drag_folder_.PathFor(DragFileName());
  // The file as Save writes it: a palette picture stays indexed.
  const base::PngPixels own = ShownDibPixels();
  const base::PngPixels px = own.rows ? own : PngFromBitmap(CurrentBitmap());
  if (path.empty() || !base::WritePngFile(base::ZoomPixels(px, SaveZoom()), path)) {
    winui::ShowError(hwnd_,
                     L"ﾌｧｲﾙ " + (path.empty() ? DragFileName() : path) + L" を作成できません");
    return;
  }
  std::vector<uint8_t> dib = PackedDib24(shown);
  zoomed.reset();  // the drag's own copies are all that stay
  shcom::StartFileDrag(path, std::move(dib));
}

}  // namespace app
