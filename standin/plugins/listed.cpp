// listed.kol: reads its index manifest from the text file beside it, named
// like the library with the extension .txt. Copies under other names give
// any index shape without building anything.
#include <windows.h>

#include "standin/core/manifest.h"
#include "standin/plugins/plugin.h"
#include "base/diag.h"
#include "base/text.h"

namespace plugin {
namespace {

std::wstring ManifestPath() {
  HMODULE self = nullptr;
  GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&ManifestPath), &self);
  wchar_t buf[MAX_PATH * 2];
  const DWORD n = GetModuleFileNameW(self, buf, MAX_PATH * 2);
  KOLBRI_LOG_IF_FALSE(n != 0);
  std::wstring path(buf, n);
  const size_t dot = path.find_last_of(L".\\");
  if (dot != std::wstring::npos && path[dot] == L'.') path.resize(dot);
  return path + L".txt";
}

bool ReadText(const std::wstring& path, std::string& out) {
  HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size{};
  bool ok = GetFileSizeEx(f, &size) && size.QuadPart < (256ll << 20);
  if (ok) {
    out.resize(size_t(size.QuadPart));
    DWORD got = 0;
    ok = out.empty() ||
         (ReadFile(f, out.data(), DWORD(out.size()), &got, nullptr) && got == out.size());
  }
  KOLBRI_LOG_IF_FALSE(CloseHandle(f));
  return ok;
}

std::string BaseName() {
  std::wstring p = ManifestPath();
  const size_t slash = p.find_last_of(L"\\/");
  p = p.substr(slash == std::wstring::npos ? 0 : slash + 1);
  return base::ToSjis(p.substr(0, p.size() - 4));
}

}  // namespace

OrvuVersionInfo* Version() {
  // The title is read once per outstanding initialisation: the module may
  // hold the record while the viewer probes the same file again.
  static std::string title;
  static OrvuVersionInfo info{nullptr, 0x0100, "2026/12/08", "一覧ファイルから索引を読むPlug-in"};
  if (References() == 0 || !info.Name) {
    std::string text;
    if (ReadText(ManifestPath(), text)) title = standin::ManifestTitle(text);
    if (title.empty()) title = BaseName();
    info.Name = title.c_str();
  }
  return &info;
}

bool BuildManifest(const char*, std::string& manifest) {
  return ReadText(ManifestPath(), manifest);
}

}  // namespace plugin
