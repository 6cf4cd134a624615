// Batch conversion throughput: the stand-in module renders synthetic 640x480
// pictures into a tree of category folders through the real walk (worker thread
// rendering, two writer threads encoding and writing, UI thread serving the
// hand-offs), against a bare serial loop in the same run that renders the same
// pictures and writes the same files in the same folders: bitmap files with
// MakeBmp, GlobalLock, CreateDirectoryW, CreateFileW, two WriteFile,
// CloseHandle, GlobalFree; PNG files with MakeBmp and the platform's PNG
// encoder writing to the file.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include <wincodec.h>

#include "cgmodule/module.h"
#include "cgmodule/picture.h"
#include "settings/batch.h"
#include "base/com.h"
#include "base/text.h"
#include "winui/uicall.h"

namespace {

std::wstring BinDir() {
  wchar_t buf[MAX_PATH];
  std::wstring p(buf, GetModuleFileNameW(nullptr, buf, MAX_PATH));
  p.resize(p.find_last_of(L'\\'));  // bin\bench
  p.resize(p.find_last_of(L'\\') + 1);
  return p;
}

void RemoveTree(const std::wstring& dir) {
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileW((dir + L"*").c_str(), &fd);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring n = fd.cFileName;
      if (n == L"." || n == L"..") continue;
      if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveTree(dir + n + L"\\");
      else
        DeleteFileW((dir + n).c_str());
    } while (FindNextFileW(h, &fd));
    FindClose(h);
  }
  RemoveDirectoryW(dir.c_str());
}

bool WriteText(const std::wstring& path, const std::string& text) {
  HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD n = 0;
  WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &n, nullptr);
  CloseHandle(f);
  return n == text.size();
}

// As the main window fills its tree: one guarded walk, node data from its copy.
void AddTree(HWND tree, const OrvuIndexEntry* root, std::vector<cgmodule::IndexNode>& nodes) {
  const cgmodule::IndexWalk w = cgmodule::ReadIndex(root);
  nodes.reserve(w.items.size());
  std::vector<HTREEITEM> items;
  for (const cgmodule::IndexItem& i : w.items) {
    nodes.push_back({i.entry, i.category});
    std::wstring text = base::FromSjis(i.name);
    TVINSERTSTRUCTW ins{};
    ins.hParent = i.parent < 0 ? TVI_ROOT : items[static_cast<size_t>(i.parent)];
    ins.hInsertAfter = TVI_LAST;
    ins.item.mask = TVIF_TEXT | TVIF_PARAM;
    ins.item.pszText = text.data();
    ins.item.lParam = reinterpret_cast<LPARAM>(&nodes.back());
    items.push_back(reinterpret_cast<HTREEITEM>(
        SendMessageW(tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&ins))));
  }
}

double Ms(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

struct Totals {
  int files = 0;
  uint64_t bytes = 0;
  bool ok = true;
};

uint64_t TreeBytes(const std::wstring& dir) {
  uint64_t n = 0;
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileW((dir + L"*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return 0;
  do {
    const std::wstring name = fd.cFileName;
    if (name == L"." || name == L"..") continue;
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
      n += TreeBytes(dir + name + L"\\");
    else
      n += (uint64_t{fd.nFileSizeHigh} << 32) | fd.nFileSizeLow;
  } while (FindNextFileW(h, &fd));
  FindClose(h);
  return n;
}

// The platform's PNG encoder on one picture block: indexed with its colour
// table, rows handed over top row first.
bool BarePng(IWICImagingFactory* f, const BITMAPINFOHEADER* bi, const std::wstring& file) {
  IWICStream* stream = nullptr;
  IWICBitmapEncoder* enc = nullptr;
  IWICBitmapFrameEncode* frame = nullptr;
  IWICPalette* pal = nullptr;
  const int w = bi->biWidth, h = bi->biHeight, bits = bi->biBitCount;
  const uint32_t colours = cgmodule::DibColourEntries(uint16_t(bits));
  const uint32_t stride = uint32_t(cgmodule::DibStride(uint32_t(w), uint16_t(bits)));
  const auto* table = reinterpret_cast<const RGBQUAD*>(bi + 1);
  const auto* pixels = reinterpret_cast<const uint8_t*>(table + colours);
  WICPixelFormatGUID fmt = bits == 8   ? GUID_WICPixelFormat8bppIndexed
                           : bits == 4 ? GUID_WICPixelFormat4bppIndexed
                                       : GUID_WICPixelFormat24bppBGR;
  bool ok = SUCCEEDED(f->CreateStream(&stream)) &&
            SUCCEEDED(stream->InitializeFromFilename(file.c_str(), GENERIC_WRITE)) &&
            SUCCEEDED(f->CreateEncoder(GUID_ContainerFormatPng, nullptr, &enc)) &&
            SUCCEEDED(enc->Initialize(stream, WICBitmapEncoderNoCache)) &&
            SUCCEEDED(enc->CreateNewFrame(&frame, nullptr)) &&
            SUCCEEDED(frame->Initialize(nullptr)) && SUCCEEDED(frame->SetSize(w, h)) &&
            SUCCEEDED(frame->SetPixelFormat(&fmt));
  if (ok && colours) {
    std::vector<WICColor> c(colours);
    for (uint32_t i = 0; i < colours; ++i)
      c[i] = 0xFF000000u | (table[i].rgbRed << 16) | (table[i].rgbGreen << 8) | table[i].rgbBlue;
    ok = SUCCEEDED(f->CreatePalette(&pal)) && SUCCEEDED(pal->InitializeCustom(c.data(), colours)) &&
         SUCCEEDED(frame->SetPalette(pal));
  }
  if (ok) {
    std::vector<uint8_t> rows(size_t(stride) * h);
    for (int y = 0; y < h; ++y)
      std::memcpy(rows.data() + size_t(y) * stride, pixels + size_t(h - 1 - y) * stride, stride);
    ok = SUCCEEDED(frame->WritePixels(h, stride, UINT(rows.size()), rows.data())) &&
         SUCCEEDED(frame->Commit()) && SUCCEEDED(enc->Commit());
  }
  for (IUnknown* u : std::initializer_list<IUnknown*>{pal, frame, enc, stream})
    if (u) u->Release();
  return ok;
}

// Same folders, names, bytes and calls as the walk, without the tree, the UI
// hand-offs and the checks.
void Bare(cgmodule::CommonModule& m, const OrvuIndexEntry* cat, const std::wstring& path,
          int32_t& counter, Totals& t, IWICImagingFactory* png) {
  const std::wstring dir = path + base::FromSjis(cat->Name);
  CreateDirectoryW(dir.c_str(), nullptr);
  const std::wstring sub = dir + L"\\";
  for (const OrvuIndexEntry* e = cat->Children; e && e->Name; ++e) {
    if (e->IsCategory()) {
      Bare(m, e, sub, counter, t, png);
      continue;
    }
    cgmodule::MakeBmpResult r = m.MakeBmp(e, false);
    cgmodule::PictureBlock b(r.block);
    const auto* bi = static_cast<const BITMAPINFOHEADER*>(b.Data());
    if (!bi) {
      t.ok = false;
      return;
    }
    if (png) {
      t.ok = BarePng(png, bi, sub + settings::SerialName(L"orvu", counter, L".png")) && t.ok;
      ++counter;
      ++t.files;
      continue;
    }
    uint8_t header[cgmodule::kBitmapFileHeaderSize];
    t.ok = cgmodule::FillFileHeader(bi->biBitCount, bi->biSizeImage, header) && t.ok;
    const DWORD rest = cgmodule::DibBitsOffset(bi->biBitCount) + bi->biSizeImage;
    const std::wstring file = sub + settings::SerialName(L"orvu", counter);
    HANDLE f = CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD n = 0;
    WriteFile(f, header, 14, &n, nullptr);
    WriteFile(f, b.Data(), rest, &n, nullptr);
    CloseHandle(f);
    ++counter;
    ++t.files;
    t.bytes += 14 + rest;
  }
}

Totals Walk(HWND tree, HTREEITEM node, cgmodule::CommonModule& m, const std::wstring& out,
            bool png) {
  winui::UiCall ui;
  std::atomic<bool> keep_going{true};
  settings::BatchHost host;
  host.index_tree = tree;
  host.module = &m;
  host.continue_flag = &keep_going;
  settings::BatchPage page;
  page.options = [png] { return settings::BatchOptions{true, false, L"orvu", png}; };
  int last = 0;
  page.progress = [&](int p) { last = p; };
  std::atomic<bool> done{false};
  int result = -1;
  int32_t counter = 0;
  std::thread worker([&] {
    settings::BatchWalk walk(host, page, ui);
    int32_t count = 0;
    walk.ConvertBranch(node, out, count, settings::WalkMode::Count);
    result = walk.ConvertBranch(node, out, counter, settings::WalkMode::Convert);
    done = true;
  });
  while (!done) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  }
  worker.join();
  Totals t;
  t.ok = result == 0;
  t.files = counter;
  return t;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// The host's load while the bench ran (readable through Wine's Z: drive).
std::string HostLoad() {
  HANDLE f = CreateFileW(L"Z:\\proc\\loadavg", GENERIC_READ, FILE_SHARE_READ, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return {};
  char buf[64] = {};
  DWORD n = 0;
  ReadFile(f, buf, sizeof buf - 1, &n, nullptr);
  CloseHandle(f);
  std::string s(buf, n);
  return s.substr(0, s.find(' '));
}

}  // namespace

int main() {
  const std::wstring bin = BinDir();
  SetDllDirectoryW(bin.c_str());
  wchar_t tmp[MAX_PATH];
  GetTempPathW(MAX_PATH, tmp);
  const std::wstring work =
      std::wstring(tmp) + L"kolbri-batch-bench-" + std::to_wstring(GetCurrentProcessId()) + L"\\";
  CreateDirectoryW(work.c_str(), nullptr);

  // Bench8: 20 categories of 100 8-bit pictures; Bench24: 10 categories of 50 24-bit pictures.
  std::string manifest = "title bench\n";
  const struct {
    const char* name;
    int cats, per, bits;
  } sets[] = {{"Bench8", 20, 100, 8}, {"Bench24", 10, 50, 24}};
  int seed = 0;
  for (const auto& s : sets) {
    manifest += std::string("category ") + s.name + "\n";
    for (int c = 0; c < s.cats; ++c) {
      manifest += "  category C" + std::to_string(c) + "\n";
      for (int p = 0; p < s.per; ++p)
        manifest += "    picture p" + std::to_string(p) + "\tsynth=640x480x" +
                    std::to_string(s.bits) + ":" + std::to_string(seed++) + "\n";
    }
  }
  CopyFileW((bin + L"listed.kol").c_str(), (work + L"bench.kol").c_str(), FALSE);
  WriteText(work + L"bench.txt", manifest);

  cgmodule::CommonModule m;
  static OrvuHostCallbacks table{};
  static OrvuVersionInfo self{"bench", 0x0100, "", ""};
  if (m.Bind(OrvuHostRecord{nullptr, &table}) != cgmodule::BindResult::Ok) {
    std::fprintf(stderr, "batch bench: kolbri.dll cannot be bound\n");
    return 1;
  }
  m.Attach(&self, table);
  if (m.LoadPlugin(base::ToSjis(work + L"bench.kol").c_str()) < 0) {
    std::fprintf(stderr, "batch bench: the bench plug-in does not load\n");
    return 1;
  }
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_TREEVIEW_CLASSES};
  InitCommonControlsEx(&icc);
  HWND tree = CreateWindowExW(0, WC_TREEVIEWW, L"", WS_OVERLAPPEDWINDOW, 0, 0, 200, 300, nullptr,
                              nullptr, GetModuleHandleW(nullptr), nullptr);
  std::vector<cgmodule::IndexNode> nodes;
  AddTree(tree, m.ReadContext()->IndexRoot, nodes);

  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  base::ComPtr<IWICImagingFactory> factory;
  if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                              KOLBRI_IID_PPV(factory)))) {
    std::fprintf(stderr, "batch bench: no imaging factory\n");
    return 1;
  }
  int rc = 0;
  const HTREEITEM node8 = TreeView_GetRoot(tree);
  const OrvuIndexEntry* entry8 = m.Context()->IndexRoot;
  const struct {
    const char* name;
    int set;  // into sets[]
    bool png;
  } runs[] = {{"batch_2000x8bit", 0, false},
              {"batch_png_2000x8bit", 0, true},
              {"batch_500x24bit", 1, false}};
  uint64_t bitmap_bytes_8 = 0;
  for (const auto& run : runs) {
    const auto& s = sets[run.set];
    const int pictures = s.cats * s.per;
    const HTREEITEM node = run.set == 0 ? node8 : TreeView_GetNextSibling(tree, node8);
    const OrvuIndexEntry* entry = entry8 + run.set;
    // Paired rounds, bare and walk back to back in alternating order; the
    // machine is shared, so the median of the per-round figures is reported.
    constexpr int kRounds = 5;
    std::vector<double> bare_ms, walk_ms, ratios;
    Totals bare, walk;
    uint64_t walk_bytes = 0;
    for (int round = 0; round < kRounds; ++round) {
      double b = 0, w = 0;
      for (int leg = 0; leg < 2; ++leg) {
        const bool do_bare = (leg == 0) == (round % 2 == 0);
        const std::wstring out = work + (do_bare ? L"bare\\" : L"walk\\");
        CreateDirectoryW(out.c_str(), nullptr);
        const auto t0 = std::chrono::steady_clock::now();
        if (do_bare) {
          int32_t counter = 0;
          bare = Totals{};
          Bare(m, entry, out, counter, bare, run.png ? factory.get() : nullptr);
          b = Ms(std::chrono::steady_clock::now() - t0);
        } else {
          walk = Walk(tree, node, m, out, run.png);
          w = Ms(std::chrono::steady_clock::now() - t0);
          walk_bytes = TreeBytes(out);
        }
        RemoveTree(out);
      }
      bare_ms.push_back(b);
      walk_ms.push_back(w);
      ratios.push_back(w / b);
    }
    const double best_bare = Median(bare_ms), best_walk = Median(walk_ms), ratio = Median(ratios);
    if (!bare.ok || !walk.ok || walk.files != pictures || bare.files != pictures) {
      std::fprintf(stderr, "%s: FAILED (walk %d files, bare %d files)\n", run.name, walk.files,
                   bare.files);
      rc = 1;
    }
    const double mb = static_cast<double>(walk_bytes) / (1024.0 * 1024.0);
    char bytes[96] = "";
    if (run.set == 0 && !run.png) bitmap_bytes_8 = walk_bytes;
    if (run.png)
      std::snprintf(bytes, sizeof bytes, "; %.1f MB of PNG files, %.1f MB as bitmap files", mb,
                    static_cast<double>(bitmap_bytes_8) / (1024.0 * 1024.0));
    std::printf(
        "%s: %.0f ms, bare %.0f ms, ratio %.3f (%.0f pictures/s, %.1f MB/s; bare %.0f "
        "pictures/s%s; host load %s; %s)\n",
        run.name, best_walk, best_bare, ratio, pictures * 1000.0 / best_walk,
        mb * 1000.0 / best_walk, pictures * 1000.0 / best_bare, bytes, HostLoad().c_str(),
        KOLBRI_BENCH_ARCH);
    std::fprintf(stderr,
                 "  (%s: median of %d paired rounds; the walk renders on a worker thread,\n"
                 "   two writer threads encode and write in render order; progress posted)\n",
                 run.name, kRounds);
    std::fflush(stdout);
  }
  {
    // What one hand-off costs on this machine now: the walk makes one per picture.
    winui::UiCall ui;
    constexpr int kCalls = 5000;
    std::atomic<bool> done{false};
    double ms = 0;
    std::thread worker([&] {
      const auto t0 = std::chrono::steady_clock::now();
      int sink = 0;
      for (int i = 0; i < kCalls; ++i) ui.Invoke([&] { ++sink; });
      ms = Ms(std::chrono::steady_clock::now() - t0);
      done = true;
    });
    while (!done) {
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
    worker.join();
    std::fprintf(stderr, "  (one worker-to-UI hand-off: %.0f us; host load %s)\n",
                 ms * 1000.0 / kCalls, HostLoad().c_str());
  }
  DestroyWindow(tree);
  m.UnloadPlugin();
  m.Release();
  RemoveTree(work);
  return rc;
}
