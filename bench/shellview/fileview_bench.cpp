// File list timings against a bare loop of the shell calls any list of a folder
// has to make: binding the folder, enumerating it, per child the parsing name,
// the name in the folder, the attributes and the file data, then a sort with
// CompareIDs. On a folder of 10,000 files (C:\shv_bench\files, made on first run):
//   file_list_10000               ShowFolder in report view until the list is
//                                 filled, sorted and its first screen painted
//   file_list_10000_first_screen  from ShowFolder to the first painted screen
//   file_list_10000_all_rows      the first line plus every row's type and icon,
//                                 as scrolling through the whole list asks them
#include <windows.h>
#include <ole2.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "base/com.h"
#include "shellview/fileview.h"
#include "shellview/shview.h"
#include "bench/shellview/bench_util.h"
#include "tests/support/host_window.h"

using namespace shview;
using shbench::Now;
using shbench::Parse;

namespace {

constexpr int kFiles = 10000;
constexpr int kRounds = 9;

// Files of a few kinds and sizes, created in an order unlike the names'.
void MakeFiles(const std::string& dir) {
  CreateDirectoryA(dir.c_str(), nullptr);
  static const char* const kExt[] = {".txt", ".bmp", ".jpg", ".dat"};
  char name[64];
  for (int i = 0; i < kFiles; ++i) {
    const int n = (i * 7919) % kFiles;
    std::snprintf(name, sizeof name, "\\f%05d%s", n, kExt[n % 4]);
    const std::string path = dir + name;
    if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) continue;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) continue;
    DWORD written = 0;
    WriteFile(h, name, static_cast<DWORD>(n % 60), &written, nullptr);
    CloseHandle(h);
  }
}

size_t BareList(PCIDLIST_ABSOLUTE absolute) {
  ComPtr<IShellFolder> folder;
  DesktopFolder()->BindToObject(absolute, nullptr, KOLBRI_IID_PPV(folder));
  if (!folder) return 0;
  ComPtr<IEnumIDList> items;
  folder->EnumObjects(nullptr, kListEnumFlags, items.put());
  std::vector<ChildIDList> lists;
  PITEMID_CHILD raw;
  ULONG got;
  while (items && items->Next(1, &raw, &got) == S_OK) {
    lists.emplace_back(raw);
    std::string parsing;
    std::wstring name;
    GetItemDisplayName(folder.get(), raw, SHGDN_FORPARSING, parsing);
    GetItemDisplayNameW(folder.get(), raw, SHGDN_INFOLDER, name);
    PCUITEMID_CHILD own = raw;
    SFGAOF attributes = SFGAO_FOLDER | SFGAO_LINK;
    folder->GetAttributesOf(1, &own, &attributes);
    WIN32_FIND_DATAA data;
    SHGetDataFromIDListA(folder.get(), raw, SHGDFIL_FINDDATA, &data, sizeof data);
  }
  std::sort(lists.begin(), lists.end(), [&](const ChildIDList& a, const ChildIDList& b) {
    return CompareItemIDs(folder.get(), a.get(), b.get()) < 0;
  });
  return lists.size();
}

void Report(const char* name, const std::vector<double>& x, const std::vector<double>& bare) {
  std::vector<double> ratios;
  for (size_t i = 0; i < x.size(); ++i) ratios.push_back(x[i] / bare[i]);
  shbench::ReportMedians(name, x, bare, ratios);
}

}  // namespace

int main() {
  if (FAILED(OleInitialize(nullptr))) return 1;
  int rc = 0;
  {
    ShellState shell;
    if (!shell.ok()) return 1;
    const std::string base = "C:\\shv_bench";
    CreateDirectoryA(base.c_str(), nullptr);
    MakeFiles(base + "\\files");
    const AbsoluteIDList files = Parse(base + "\\files");
    AbsoluteIDList desktop = ConcatItemIDLists(nullptr, nullptr);

    shtest::HostWindow host(820, 620);
    TFileView list;
    list.SetViewStyle(TFileView::ViewStyle::vsReport);
    if (!list.Create(host.hwnd(), RECT{0, 0, 800, 580}, 1)) return 1;
    ShowWindow(host.hwnd(), SW_SHOW);

    // Paired rounds in alternating order; medians of the times and of the
    // per-round ratios. Each round starts from another folder so that the
    // list is emptied outside the measurement, as in use.
    std::vector<double> full, first, all, bare;
    for (int r = 0; r < kRounds; ++r) {
      list.ShowFolder(desktop.get());
      shtest::Pump();
      double x = 0, y = 0, z = 0;
      for (int leg = 0; leg < 2; ++leg) {
        if ((leg == 0) == (r % 2 == 0)) {
          const double t0 = Now();
          list.ShowFolder(files.get());
          UpdateWindow(list.hwnd());
          x = Now() - t0;
          for (int i = 0; i < list.ItemCount(); ++i) {
            list.SubItemText(i, 2);
            list.ImageIndex(i);
          }
          z = Now() - t0;
          if (list.ItemCount() != kFiles) rc = 3;
        } else {
          const double b0 = Now();
          if (BareList(files.get()) != static_cast<size_t>(kFiles)) rc = 3;
          y = Now() - b0;
        }
      }
      full.push_back(x);
      first.push_back(x);  // nothing is painted before the list is filled and sorted
      all.push_back(z);
      bare.push_back(y);
    }
    Report("file_list_10000", full, bare);
    {
      // What one message to the list costs (redraw off, as during a fill): the
      // fill sends one per file, the bare loop none.
      const int n = list.ItemCount();
      SendMessageW(list.hwnd(), WM_SETREDRAW, FALSE, 0);
      const double t0 = Now();
      for (int i = 0; i < n; ++i)
        ListView_SetItemText(list.hwnd(), i, 1, const_cast<wchar_t*>(LPSTR_TEXTCALLBACKW));
      const double t1 = Now();
      SendMessageW(list.hwnd(), WM_SETREDRAW, TRUE, 0);
      std::fprintf(stderr, "  (one list-view message: %.2f us; %s)\n", (t1 - t0) * 1000 / n,
                   KOLBRI_BENCH_ARCH);
    }
    Report("file_list_10000_first_screen", first, bare);
    Report("file_list_10000_all_rows", all, bare);
    list.Destroy();
  }
  OleUninitialize();
  return rc;
}
