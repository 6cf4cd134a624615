#include "tests/support/batch_harness.h"

#include <shellapi.h>

#include <algorithm>
#include <cstring>
#include <thread>

#include "base/handle.h"
#include "cgmodule/bmpfile.h"
#include "winui/msgbox.h"
#include "winui/window.h"
#include "base/text.h"

namespace batchtest {

Index::Index(const std::vector<Shape>& roots) { Build(roots); }

OrvuIndexEntry* Index::Build(const std::vector<Shape>& nodes) {
  arrays_.emplace_back(nodes.size() + 1);
  std::vector<OrvuIndexEntry>& a = arrays_.back();
  std::memset(a.data(), 0, a.size() * sizeof(OrvuIndexEntry));
  for (size_t i = 0; i < nodes.size(); ++i) {
    names_.push_back(base::ToSjis(nodes[i].name));
    a[i].Name = names_.back().c_str();
    if (nodes[i].category) {
      a[i].Code = kCategoryCode;
      a[i].Children = Build(nodes[i].children);
    } else {
      a[i].Code = next_++;
    }
  }
  return a.data();
}

Tree::Tree(OrvuIndexEntry* root) {
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_TREEVIEW_CLASSES};
  InitCommonControlsEx(&icc);
  h_ = CreateWindowExW(0, WC_TREEVIEWW, L"", WS_OVERLAPPEDWINDOW, 0, 0, 200, 300, nullptr, nullptr,
                       GetModuleHandleW(nullptr), nullptr);
  if (root) Add(root);
}

Tree::~Tree() { DestroyWindow(h_); }

void Tree::Add(const OrvuIndexEntry* first) {
  // As the main window does: one guarded walk, node data from its copy.
  const cgmodule::IndexWalk w = cgmodule::ReadIndex(first);
  nodes_.reserve(w.items.size());
  std::vector<HTREEITEM> items;
  for (const cgmodule::IndexItem& i : w.items) {
    nodes_.push_back({i.entry, i.category});
    std::wstring text = base::FromSjis(i.name);
    TVINSERTSTRUCTW ins{};
    ins.hParent = i.parent < 0 ? TVI_ROOT : items[static_cast<size_t>(i.parent)];
    ins.hInsertAfter = TVI_LAST;
    ins.item.mask = TVIF_TEXT | TVIF_PARAM;
    ins.item.pszText = text.data();
    ins.item.lParam = reinterpret_cast<LPARAM>(&nodes_.back());
    items.push_back(reinterpret_cast<HTREEITEM>(
        SendMessageW(h_, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&ins))));
  }
}

const OrvuIndexEntry* Tree::EntryAt(const std::vector<std::wstring>& path) const {
  TVITEMW it{};
  it.mask = TVIF_PARAM;
  it.hItem = Find(path);
  if (!it.hItem || !TreeView_GetItem(h_, &it) || !it.lParam) return nullptr;
  return reinterpret_cast<const cgmodule::IndexNode*>(it.lParam)->entry;
}

HTREEITEM Tree::Find(const std::vector<std::wstring>& path) const {
  HTREEITEM parent = nullptr;
  for (const std::wstring& want : path) {
    HTREEITEM it = parent ? TreeView_GetChild(h_, parent) : TreeView_GetRoot(h_);
    for (; it; it = TreeView_GetNextSibling(h_, it)) {
      wchar_t buf[512] = {};
      TVITEMW ti{};
      ti.mask = TVIF_TEXT;
      ti.hItem = it;
      ti.pszText = buf;
      ti.cchTextMax = 512;
      SendMessageW(h_, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&ti));
      if (want == buf) break;
    }
    if (!it) return nullptr;
    parent = it;
  }
  return parent;
}

ScratchDir::ScratchDir() {
  wchar_t tmp[MAX_PATH];
  GetTempPathW(MAX_PATH, tmp);
  static int n = 0;
  path_ = std::wstring(tmp) + L"kolbri-batch-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
          std::to_wstring(++n);
  CreateDirectoryW(path_.c_str(), nullptr);
  path_ += L"\\";
}

ScratchDir::~ScratchDir() {
  std::wstring from = path_.substr(0, path_.size() - 1);
  from.push_back(L'\0');  // double terminator
  SHFILEOPSTRUCTW op{};
  op.wFunc = FO_DELETE;
  op.pFrom = from.c_str();
  op.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
  SHFileOperationW(&op);
}

namespace {

bool Pump(HANDLE event, const std::function<bool()>& pred, int ms) {
  const DWORD start = GetTickCount();
  const DWORD count = event ? 1 : 0;
  for (;;) {
    winui::PumpPending();
    if (event ? WaitForSingleObject(event, 0) == WAIT_OBJECT_0 : pred()) return true;
    const DWORD spent = GetTickCount() - start;
    if (spent >= static_cast<DWORD>(ms)) return false;
    const DWORD woke =
        MsgWaitForMultipleObjectsEx(count, event ? &event : nullptr, static_cast<DWORD>(ms) - spent,
                                    QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (woke == WAIT_TIMEOUT || woke == WAIT_FAILED) return false;
  }
}

}  // namespace

bool PumpUntil(const std::function<bool()>& pred, int ms) { return Pump(nullptr, pred, ms); }

bool PumpUntilSet(HANDLE event, int ms) { return Pump(event, nullptr, ms); }

std::vector<uint8_t> ReadFileBytes(const std::wstring& path) {
  std::vector<uint8_t> out;
  HANDLE f =
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return out;
  out.resize(GetFileSize(f, nullptr));
  DWORD got = 0;
  if (!out.empty()) ReadFile(f, out.data(), static_cast<DWORD>(out.size()), &got, nullptr);
  out.resize(got);
  CloseHandle(f);
  return out;
}

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsDir(const std::wstring& path) {
  DWORD a = GetFileAttributesW(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

std::vector<std::wstring> List(const std::wstring& dir) {
  std::vector<std::wstring> out;
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileW((dir + L"*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return out;
  do {
    std::wstring n = fd.cFileName;
    if (n != L"." && n != L"..") out.push_back(n);
  } while (FindNextFileW(h, &fd));
  FindClose(h);
  std::sort(out.begin(), out.end());
  return out;
}

std::vector<uint8_t> MakeDib(int w, int h, int bit_count, uint32_t seed) {
  const BITMAPINFOHEADER bi = cgmodule::DibInfoHeader(w, h, static_cast<uint16_t>(bit_count));
  const uint32_t colours = cgmodule::DibColourEntries(bi.biBitCount);
  std::vector<uint8_t> d(40 + 4 * colours + bi.biSizeImage);
  std::memcpy(d.data(), &bi, 40);
  uint32_t x = seed * 2654435761u + 1;
  for (size_t i = 40; i < d.size(); ++i) {
    x = x * 1103515245u + 12345u;
    d[i] = static_cast<uint8_t>(x >> 16);
  }
  for (uint32_t c = 0; c < colours; ++c) d[40 + 4 * c + 3] = 0;  // reserved byte of each entry
  return d;
}

HGLOBAL ToBlock(const std::vector<uint8_t>& dib, size_t extra) {
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, dib.size() + extra);
  void* p = GlobalLock(h);
  std::memset(p, 0, dib.size() + extra);
  std::memcpy(p, dib.data(), dib.size());
  GlobalUnlock(h);
  return h;
}

Harness::Harness(HWND tree,
                 std::function<cgmodule::MakeBmpResult(const OrvuIndexEntry*, bool)> render) {
  host.index_tree = tree;
  host.continue_flag = &keep_going;
  host.render = std::move(render);
  page.options = [this] { return options; };
  page.progress = [this](int p) {
    run.progress.push_back(p);
    if (on_progress) on_progress(p);
  };
}

void Harness::OnWorker(const std::function<void()>& work) {
  base::UniqueHandle done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  std::thread worker([&] {
    work();
    SetEvent(done.get());
  });
  winui::WaitPumping(done.get());
  worker.join();
}

Outcome& Harness::Go(HTREEITEM node, const std::wstring& base) {
  winui::SetMessageSink(
      [this](const std::wstring&, const std::wstring& text) { run.messages.push_back(text); });
  OnWorker([&] {
    settings::BatchWalk walk(host, page, ui);
    run.counted = 0;
    run.count_result = walk.ConvertBranch(node, base, run.counted, settings::WalkMode::Count);
    run.converted = 0;
    run.convert_result = walk.ConvertBranch(node, base, run.converted, settings::WalkMode::Convert);
  });
  winui::SetMessageSink(nullptr);
  return run;
}

}  // namespace batchtest
