// folder.kol: the index is the directory tree below the root directory:
// sub-directories are categories, *.bmp files are pictures, both in name order.
#include <windows.h>

#include <algorithm>
#include <vector>

#include "standin/core/manifest.h"
#include "standin/plugins/plugin.h"
#include "base/diag.h"
#include "base/text.h"

namespace plugin {
namespace {

struct Item {
  std::wstring name;     // file name
  std::wstring display;  // index name: pictures lose their .bmp
  bool directory;
};

bool IsBmp(const std::wstring& name) {
  return name.size() > 4 && _wcsicmp(name.c_str() + name.size() - 4, L".bmp") == 0;
}

// False when dir cannot be read at all.
bool Walk(const std::wstring& root, const std::wstring& rel, int depth, std::string& out) {
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileW((root + rel + L"*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return false;
  std::vector<Item> items;
  do {
    const std::wstring name = fd.cFileName;
    if (name == L"." || name == L"..") continue;
    if (fd.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) continue;
    const bool dir = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (dir)
      items.push_back({name, name, true});
    else if (IsBmp(name))
      items.push_back({name, name.substr(0, name.size() - 4), false});
  } while (FindNextFileW(h, &fd));
  KOLBRI_LOG_IF_FALSE(FindClose(h));
  // Name order as the index shows the names.
  std::stable_sort(items.begin(), items.end(), [](const Item& a, const Item& b) {
    return _wcsicmp(a.display.c_str(), b.display.c_str()) < 0;
  });
  for (const Item& it : items) {
    standin::ManifestNode node;
    node.category = it.directory;
    node.name = base::ToSjis(it.display);
    if (it.directory) {
      standin::AppendManifestLine(out, depth, node);
      Walk(root, rel + it.name + L"\\", depth + 1, out);
    } else {
      node.attrs.emplace_back("file", base::ToSjis(rel + it.name));
      standin::AppendManifestLine(out, depth, node);
    }
  }
  return true;
}

}  // namespace

OrvuVersionInfo* Version() {
  static OrvuVersionInfo info{"フォルダ一覧Plug-in", 0x0100, "2026/12/08",
                              "ルートディレクトリ以下のBMPを一覧します"};
  return &info;
}

bool BuildManifest(const char* root_dir, std::string& manifest) {
  std::wstring root = base::FromSjis(root_dir);
  if (root.empty()) return false;
  if (root.back() != L'\\' && root.back() != L'/') root += L'\\';
  return Walk(root, L"", 0, manifest);
}

}  // namespace plugin
