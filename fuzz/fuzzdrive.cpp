// fuzzdrive.exe: runs the viewer's main window against the fuzzing module
// (bin/variants/fuzz/kolbri.dll) for a range of seeds in one process. Per
// seed: a hostile settings file, start-up, plug-in load, every picture item
// selected (up to a bound), zoom 1-4, overlay and window fitting, save, copy,
// version records, plug-in listing (with broken *.kol files), a batch
// conversion of the first category, shutdown; then the settings file and the
// scratch folders are checked.
//
//   fuzzdrive --first S --count N --results FILE [--seeds-file FILE]
//
// Appends one line per finding to the results file ("crash SEED CODE", "hang
// SEED STEP", "escape SEED PATH", "settings SEED WHAT", "lost SEED": a refused
// picture replaced the one on screen) and keeps the seed in
// progress in FILE.at, so tools/fuzz.sh can go on after a crash or a hang,
// which end the process (exit codes 3 and 4).
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/umain.h"
#include "app/uverdlg.h"
#include "base/diag.h"
#include "base/text.h"
#include "cgmodule/boundary.h"
#include "cgmodule/plugins.h"
#include "settings/batch.h"
#include "settings/dialog_iface.h"
#include "standin/core/fuzz.h"
#include "winui/msgbox.h"
#include "winui/uicall.h"
#include "winui/window.h"

namespace {

using standin::fuzz::Rng;

constexpr int kMaxSelections = 24;
const DWORD kHangMs = getenv("KOLBRI_FUZZ_HANG_MS") ? atoi(getenv("KOLBRI_FUZZ_HANG_MS")) : 10000;

std::string g_results;
std::atomic<uint64_t> g_seed{0};
std::atomic<DWORD> g_beat{0};
std::atomic<const char*> g_step{"start"};

void Append(const std::string& path, const std::string& line) {
  std::ofstream f(path, std::ios::app | std::ios::binary);
  f << line << "\n";
}

void Step(const char* what) {
  static DWORD last = GetTickCount();
  const DWORD now = GetTickCount();
  if (getenv("KOLBRI_FUZZ_TRACE"))
    std::fprintf(stderr, "%llu %s took %lu ms\n", (unsigned long long)g_seed.load(), g_step.load(),
                 now - last);
  last = now;
  g_step = what;
  g_beat = now;
}

LONG WINAPI Unhandled(EXCEPTION_POINTERS* ep) {
  char line[128];
  std::snprintf(line, sizeof line, "crash %llu %08lx %s", (unsigned long long)g_seed.load(),
                ep && ep->ExceptionRecord ? ep->ExceptionRecord->ExceptionCode : 0ul,
                g_step.load());
  Append(g_results, line);
  (void)TerminateProcess(GetCurrentProcess(), 3);  // the process ends here; nothing is left to tell
  return EXCEPTION_EXECUTE_HANDLER;
}

// No answer within kHangMs: the seed is recorded and the process ends.
void Watchdog() {
  for (;;) {
    Sleep(250);
    const DWORD beat = g_beat;
    if (beat && GetTickCount() - beat > kHangMs) {
      Append(g_results, "hang " + std::to_string(g_seed.load()) + " " + g_step.load());
      (void)TerminateProcess(GetCurrentProcess(),
                             4);  // the process ends here; nothing is left to tell
    }
  }
}

std::wstring ExeDir() {
  wchar_t buf[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, buf, MAX_PATH);
  std::wstring s(buf, n);
  return s.substr(0, s.find_last_of(L'\\') + 1);
}

void RemoveTree(const std::wstring& dir) {
  WIN32_FIND_DATAW fd;
  HANDLE f = FindFirstFileW((dir + L"*").c_str(), &fd);
  if (f != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = fd.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring p = dir + name;
      if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(p + L"\\");
      } else {
        SetFileAttributesW(p.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(p.c_str());
      }
    } while (FindNextFileW(f, &fd));
    KOLBRI_LOG_IF_FALSE(FindClose(f));
  }
  RemoveDirectoryW(dir.c_str());
}

// Every file below dir (relative paths).
void ListFiles(const std::wstring& dir, const std::wstring& rel, std::vector<std::wstring>& out) {
  WIN32_FIND_DATAW fd;
  HANDLE f = FindFirstFileW((dir + rel + L"*").c_str(), &fd);
  if (f == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = fd.cFileName;
    if (name == L"." || name == L"..") continue;
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
      ListFiles(dir, rel + name + L"\\", out);
    else
      out.push_back(rel + name);
  } while (FindNextFileW(f, &fd));
  KOLBRI_LOG_IF_FALSE(FindClose(f));
}

bool WriteBytes(const std::wstring& path, const std::string& bytes) {
  HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD put = 0;
  const BOOL ok = WriteFile(f, bytes.data(), DWORD(bytes.size()), &put, nullptr);
  KOLBRI_LOG_IF_FALSE(CloseHandle(f));
  return ok && put == bytes.size();
}

std::string ReadBytes(const std::wstring& path) {
  std::ifstream f(base::ToSjis(path), std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

// ---- hostile inputs of our own: settings files and plug-in files -----------------

std::string RandomBytes(Rng& r, size_t n) {
  std::string s(n, '\0');
  for (char& c : s) c = char(r.Next());
  return s;
}

std::string HostileSettings(Rng& r) {
  static const char* const kSections[] = {"SYSTEM", "OPTION", "View", "VIEW", "system", ""};
  static const char* const kKeys[] = {"RootDir",  "PluginDir", "DestDir",      "MoveToChild",
                                      "UseIndex", "OverlayBG", "AdjustWindow", "OptionSave"};
  static const char* const kValues[] = {
      "0",          "1",          "-1",   "abc",  "0x",
      "0x10",       "$ff",        "$",    "",     "99999999999999999999",
      "1e9",        "c:\\",       "..\\", "q:\\", " 1",
      "0X7fffffff", "-2147483649"};
  switch (r.Below(7)) {
    case 0: return RandomBytes(r, r.Below(4096));
    case 2: {  // every key twice in every section
      std::string s;
      for (const char* section : {"SYSTEM", "OPTION", "View"}) {
        s += std::string("[") + section + "]\r\n";
        for (const char* key : kKeys)
          for (int i = 0; i < 2; ++i) s += std::string(key) + "=" + r.Pick(kValues) + "\r\n";
      }
      return s;
    }
    case 1:
      return "[SYSTEM]\r\nRootDir=" + std::string(1 << 20, 'r') +
             "\r\nPluginDir=" + std::string(1 << 20, 'p') + "\r\n";
    default: break;
  }
  std::string s;
  const int lines = int(r.Below(30));
  for (int i = 0; i < lines; ++i) {
    if (r.OneIn(4)) s += std::string("[") + r.Pick(kSections) + "]\r\n";
    std::string v = r.OneIn(6) ? RandomBytes(r, r.Below(40)) : std::string(r.Pick(kValues));
    for (char& c : v)
      if (c == '\n' || c == '\r') c = ' ';
    s += std::string(r.Pick(kKeys)) + "=" + v + (r.OneIn(5) ? "\n" : "\r\n");
    if (r.OneIn(5)) s += std::string(r.Pick(kKeys)) + "=" + r.Pick(kValues) + "\r\n";  // duplicate
  }
  return s;
}

// A plug-in file broken in one of three ways: truncated, marked for the other
// processor, or with exports that point outside the image.
std::string BrokenPlugin(Rng& r, const std::string& good) {
  std::string pe = good;
  if (pe.size() < 0x100) return pe;
  uint32_t nt = 0;
  std::memcpy(&nt, pe.data() + 0x3C, 4);
  if (nt + 0x200 > pe.size()) return pe;
  switch (r.Below(3)) {
    case 0: pe.resize(r.Below(uint32_t(pe.size()))); return pe;
    case 1: {
      const uint16_t other = sizeof(void*) == 8 ? 0x014C : 0x8664;
      std::memcpy(&pe[nt + 4], &other, 2);
      return pe;
    }
    default: break;
  }
  // Export directory: the first data directory of the optional header.
  uint16_t magic = 0, opt_size = 0, sections = 0;
  std::memcpy(&sections, pe.data() + nt + 6, 2);
  std::memcpy(&opt_size, pe.data() + nt + 20, 2);
  std::memcpy(&magic, pe.data() + nt + 24, 2);
  const uint32_t dirs = nt + 24 + (magic == 0x20B ? 112 : 96);
  uint32_t export_rva = 0;
  std::memcpy(&export_rva, pe.data() + dirs, 4);
  const uint32_t section_table = nt + 24 + opt_size;
  auto file_offset = [&](uint32_t rva) -> uint32_t {
    for (uint16_t i = 0; i < sections; ++i) {
      const char* s = pe.data() + section_table + 40 * i;
      uint32_t va = 0, vsize = 0, raw = 0;
      std::memcpy(&vsize, s + 8, 4);
      std::memcpy(&va, s + 12, 4);
      std::memcpy(&raw, s + 20, 4);
      if (rva >= va && rva < va + vsize) return rva - va + raw;
    }
    return 0;
  };
  const uint32_t ed = file_offset(export_rva);
  if (!ed || ed + 40 > pe.size()) return pe;
  uint32_t count = 0, functions = 0;
  std::memcpy(&count, pe.data() + ed + 20, 4);
  std::memcpy(&functions, pe.data() + ed + 28, 4);
  const uint32_t fo = file_offset(functions);
  for (uint32_t i = 0; fo && i < count && fo + 4 * i + 4 <= pe.size(); ++i) {
    const uint32_t wild = 0x7FFF0000u + 16 * i;
    std::memcpy(&pe[fo + 4 * i], &wild, 4);
  }
  return pe;
}

// ---- the settings dialog as the main window sees it: always cancelled ----------

// The batch page runs its conversion while "modal", as the real dialog does.
class QuietDialog : public settings::ISettingsDialog {
 public:
  settings::DialogPaths& Paths() override { return paths; }
  int32_t ShowModalOnPage(int page) override {
    if (page == settings::kPageBatch && on_batch) on_batch();
    return settings::kCancelled;
  }
  std::function<void()> on_batch;
  int32_t Result() const override { return settings::kCancelled; }
  void ShowBatchTab(bool) override {}
  void EnableBatchStart(bool) override {}
  void SetBatchHost(const settings::BatchHost&) override {}
  bool ConversionRunning() const override { return false; }
  settings::DialogPaths paths{};
};

std::string Profile(const std::wstring& ini, const char* section, const char* key) {
  char buf[1024];
  GetPrivateProfileStringA(section, key, "\x01missing", buf, sizeof buf, base::ToSjis(ini).c_str());
  return buf;
}

// ---- one seed ------------------------------------------------------------------

struct Paths {
  std::wstring scratch;  // per process, below %TEMP%
  std::wstring exe_dir, out_dir, plug_dir;
  std::wstring fuzz_dir;  // bin\variants\fuzz\ (the module and fuzz.kol)
  std::string good_kol;   // bytes of bin\testplugins\good.kol
};

void Pump() {
  winui::PumpPending();
  g_beat = GetTickCount();
}

// Wine's tree view looks every item handle up among all items and frees each
// item by moving the rest, so a tree of 1,000,000 items takes minutes to empty
// there (not on Windows). The driver opens no category larger than this; the
// viewer adds a category's items only when it is opened.
constexpr size_t kMaxOpenChildren = 1000;

// Whether a category's children are few enough to open.
bool SmallCategory(app::TWMain& m, HTREEITEM it) {
  const auto* node = reinterpret_cast<const cgmodule::IndexNode*>(m.TreeView1.Data(it));
  return node && node->category && m.ChildCount(it) <= kMaxOpenChildren;
}

std::vector<HTREEITEM> Items(app::TWMain& m, size_t bound) {
  std::vector<HTREEITEM> out;
  std::vector<HTREEITEM> stack;
  if (HTREEITEM r = m.TreeView1.Root()) stack.push_back(r);
  while (!stack.empty() && out.size() < bound) {
    HTREEITEM it = stack.back();
    stack.pop_back();
    out.push_back(it);
    if (HTREEITEM n = m.TreeView1.NextSibling(it)) stack.push_back(n);
    if (SmallCategory(m, it))
      if (HTREEITEM c = m.TreeView1.FirstChild(it)) stack.push_back(c);
  }
  return out;
}

void Convert(app::TWMain& m, HTREEITEM category, const settings::BatchHost& host,
             const settings::BatchPage& page, const winui::UiCall& ui, const Paths& p);

// A conversion of the first category, from the batch page (the main window
// counts as covered by a modal dialog meanwhile).
void Batch(app::TWMain& m, QuietDialog& dialog, Rng& r, const Paths& p) {
  // A conversion opens every category below (see kMaxOpenChildren) and
  // recurses once per level, so the whole branch is bounded, not each level.
  HTREEITEM category = nullptr;
  for (HTREEITEM it : Items(m, 200)) {
    const auto* node = reinterpret_cast<const cgmodule::IndexNode*>(m.TreeView1.Data(it));
    OrvuIndexEntry e{};
    if (node && node->category && cgmodule::ReadModuleBytes(&e, node->entry, sizeof e) &&
        cgmodule::ReadIndex(e.Children, kMaxOpenChildren + 1).items.size() <= kMaxOpenChildren) {
      category = it;
      break;
    }
  }
  if (!category) return;
  m.TreeView1.Select(category);
  Pump();
  winui::UiCall ui;
  settings::BatchHost host;
  host.index_tree = m.TreeView1.hwnd();
  host.module = &m.Module();
  host.continue_flag = &m.continue_flag;
  static const wchar_t* const kPrefixes[] = {L"orvu",      L"",    L"..\\fzesc",
                                             L"c:\\fzesc", L"CON", L"a/b"};
  settings::BatchOptions opt;
  opt.category_folders = !r.OneIn(3);
  opt.index_names = opt.category_folders && !r.OneIn(3);
  opt.prefix = r.Pick(kPrefixes);
  settings::BatchPage page;
  page.options = [opt] { return opt; };
  page.progress = [](int) { g_beat = GetTickCount(); };
  dialog.on_batch = [&] { Convert(m, category, host, page, ui, p); };
  m.ME_MulSaveClick(*m.ME_MulSave);
  dialog.on_batch = nullptr;
}

void Convert(app::TWMain& m, HTREEITEM category, const settings::BatchHost& host,
             const settings::BatchPage& page, const winui::UiCall& ui, const Paths& p) {
  m.continue_flag = true;
  settings::BatchWalk walk(host, page, ui);
  std::atomic<bool> done{false};
  std::thread worker([&] {
    int32_t counter = 0;
    const std::wstring base = p.out_dir;
    if (walk.ConvertBranch(category, base, counter, settings::WalkMode::Count) == 0) {
      counter = 0;
      walk.ConvertBranch(category, base, counter, settings::WalkMode::Convert);
    }
    done = true;
  });
  while (!done) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      (void)TranslateMessage(&msg);  // whether a character message was posted
      DispatchMessageW(&msg);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
  }
  worker.join();
}

struct SeedReport {
  std::vector<std::string> findings;
  std::string summary;  // what the seed reached, for the results file
};

void RunSeed(uint64_t seed, const Paths& p, SeedReport& rep) {
  g_seed = seed;
  Step("setup");
  SetEnvironmentVariableA("KOLBRI_FUZZ_SEED", std::to_string(seed).c_str());
  Rng r(seed ^ 0xD21E);
  CreateDirectoryW(p.exe_dir.c_str(), nullptr);
  CreateDirectoryW(p.out_dir.c_str(), nullptr);
  CreateDirectoryW(p.plug_dir.c_str(), nullptr);
  const std::wstring ini = p.exe_dir + L"kolbri.ini";
  DeleteFileW(ini.c_str());
  std::string ini_before;
  if (!r.OneIn(4)) {
    ini_before = HostileSettings(r);
    WriteBytes(ini, ini_before);
  }
  const bool broken_plugin = r.OneIn(4);
  if (broken_plugin) WriteBytes(p.plug_dir + L"bad.kol", BrokenPlugin(r, p.good_kol));

  int messages = 0;
  std::string first_message, last_message;
  winui::SetMessageSink([&](const std::wstring&, const std::wstring& text) {
    last_message = base::ToSjis(text.substr(0, 40));
    if (!messages++) first_message = last_message;
  });
  app::SaveDialog::Seam() = [&p](OPENFILENAMEW& o) {
    const std::wstring target = p.out_dir + L"save.bmp";
    lstrcpynW(o.lpstrFile, target.c_str(), int(o.nMaxFile));
    return TRUE;
  };
  QuietDialog dialog;
  bool option_save = false;
  bool bound = false;
  {
    Step("create");
    app::TWVerDlg verdlg;  // owned by the main window: destroyed with it
    app::TWMain m(p.exe_dir + L"kolbri.exe", {});
    m.Create();
    verdlg.Create(m.hwnd());
    m.SetDialogs(&dialog, &verdlg);
    m.Show();
    Pump();
    bound = m.Bound();
    if (bound) {
      Step("load");
      const std::string kol = base::ToSjis(p.fuzz_dir + L"fuzz.kol");
      m.LoadPlugin(kol);
      Pump();
      if (r.OneIn(3)) m.LoadPlugin(kol);  // a second load replaces (or keeps) the first
      Pump();
      if (r.OneIn(2)) m.ME_OptCtgFocus->SetChecked(true);
      if (r.OneIn(2)) m.ME_FileName->SetChecked(!m.ME_FileName->Checked());
      Step("select");
      const std::vector<HTREEITEM> items = Items(m, kMaxSelections);
      rep.summary += " items=" + std::to_string(items.size());
      for (HTREEITEM it : items) {
        // Selecting a category may open it (moving to its first child).
        if (m.ChildCount(it) > kMaxOpenChildren) continue;
        // A refused picture leaves the one on screen in place.
        const HBITMAP before = m.CurrentBitmap();
        const int reported = messages;
        m.TreeView1.Select(it);
        Pump();
        if (messages > reported && m.CurrentBitmap() != before)
          rep.findings.push_back("lost " + std::to_string(seed) + " " + last_message);
      }
      Step("zoom");
      winui::MenuItem* zooms[] = {m.ME_View1, m.ME_View2, m.ME_View3, m.ME_View4};
      for (winui::MenuItem* z : zooms) {
        m.ME_ViewClick(*z);
        Pump();
      }
      Step("overlay");
      m.ME_OverlayClick(*m.ME_Overlay);
      Pump();
      if (r.OneIn(4)) {
        m.ME_AdjustWindowClick(*m.ME_AdjustWindow);
        Pump();
      }
      m.ME_ViewClick(*m.ME_View1);
      Step("save");
      m.ME_SaveClick(*m.ME_Save);
      Step("copy");
      m.ME_CopyClick(*m.ME_Copy);
      Pump();
      Step("version");
      if (const std::optional<OrvuContext> ctx = m.Module().ReadContext()) {
        verdlg.SetRecord(L"module", ctx->ModuleInfo);
        verdlg.SetRecord(L"plugin", ctx->PluginInfo);
      }
      Step("list");
      cgmodule::ListPlugins(base::ToSjis(p.fuzz_dir));
      if (broken_plugin) {
        cgmodule::ListPlugins(base::ToSjis(p.plug_dir));
        m.LoadPlugin(base::ToSjis(p.plug_dir + L"bad.kol"));
        Pump();
      }
      Step("batch");
      Batch(m, dialog, r, p);
      Pump();
      if (r.OneIn(2)) m.ME_OptionSave->SetChecked(false);
      option_save = m.ME_OptionSave->Checked();
      rep.summary += std::string(" picture=") + (m.PicturePresent() ? "1" : "0");
    }
    Step("close");
    DestroyWindow(m.hwnd());
    Pump();
  }
  winui::SetMessageSink(nullptr);
  Pump();

  // The settings file: untouched when the module was not bound; otherwise what
  // shutdown wrote reads back.
  Step("check");
  const std::string ini_after = ReadBytes(ini);
  if (!bound) {
    if (ini_after != ini_before)
      rep.findings.push_back("settings " + std::to_string(seed) + " changed-unbound");
  } else {
    const std::string saved = Profile(ini, "OPTION", "OptionSave");
    if (saved != (option_save ? "1" : "0"))
      rep.findings.push_back("settings " + std::to_string(seed) +
                             " OptionSave=" + saved.substr(0, 20));
    if (option_save) {
      const std::string dir = Profile(ini, "SYSTEM", "PluginDir");
      if (dir != settings::PathText(dialog.paths.PluginDir).substr(0, 1023))
        rep.findings.push_back("settings " + std::to_string(seed) + " PluginDir");
    }
  }
  // Escapes: anything written outside the output folder.
  std::vector<std::wstring> files;
  ListFiles(p.scratch, L"", files);
  const std::wstring out_rel = p.out_dir.substr(p.scratch.size());
  const std::wstring plug_rel = p.plug_dir.substr(p.scratch.size());
  for (const std::wstring& f : files) {
    if (f.rfind(out_rel, 0) == 0 || f.rfind(plug_rel, 0) == 0) continue;
    if (f == p.exe_dir.substr(p.scratch.size()) + L"kolbri.ini") continue;
    rep.findings.push_back("escape " + std::to_string(seed) + " " + base::ToSjis(f));
    DeleteFileW((p.scratch + f).c_str());
  }
  for (const std::wstring dir : {L"c:\\", L"\\"}) {
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((dir + L"fzesc*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) continue;
    FindClose(h);
    rep.findings.push_back("escape " + std::to_string(seed) + " " +
                           base::ToSjis(dir + fd.cFileName));
    RemoveTree(dir + fd.cFileName + L"\\");
    DeleteFileW((dir + fd.cFileName).c_str());
  }
  RemoveTree(p.out_dir);
  RemoveTree(p.plug_dir);
  rep.summary = " bound=" + std::to_string(bound) + rep.summary +
                " messages=" + std::to_string(messages) +
                (messages ? " first=" + first_message : std::string());
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  uint64_t first = 1, count = 1;
  std::wstring seeds_file;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::wstring a = argv[i];
    if (a == L"--first")
      first = std::wcstoull(argv[i + 1], nullptr, 10);
    else if (a == L"--count")
      count = std::wcstoull(argv[i + 1], nullptr, 10);
    else if (a == L"--results")
      g_results = base::ToSjis(argv[i + 1]);
    else if (a == L"--seeds-file")
      seeds_file = argv[i + 1];
  }
  if (g_results.empty()) {
    std::fprintf(stderr, "usage: fuzzdrive --first S --count N --results FILE [--seeds-file F]\n");
    return 2;
  }
  std::vector<uint64_t> seeds;
  if (!seeds_file.empty()) {
    std::istringstream in(ReadBytes(seeds_file));
    for (uint64_t s; in >> s;) seeds.push_back(s);
  } else {
    for (uint64_t s = first; s < first + count; ++s) seeds.push_back(s);
  }
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  SetUnhandledExceptionFilter(&Unhandled);
  KOLBRI_LOG_IF_FAILED(OleInitialize(nullptr));
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_TAB_CLASSES | ICC_PROGRESS_CLASS};
  KOLBRI_LOG_IF_FALSE(InitCommonControlsEx(&icc));
  winui::SetAppTitle(L"コルブリ");

  Paths p;
  wchar_t tmp[MAX_PATH];
  GetTempPathW(MAX_PATH, tmp);
  p.scratch = std::wstring(tmp) + L"kolbri-fuzz-" + std::to_wstring(GetCurrentProcessId()) + L"\\";
  CreateDirectoryW(p.scratch.c_str(), nullptr);
  p.exe_dir = p.scratch + L"exe\\";
  p.out_dir = p.scratch + L"out\\";
  p.plug_dir = p.scratch + L"plug\\";
  const std::wstring bin = ExeDir() + L"..\\";
  p.fuzz_dir = bin + L"variants\\fuzz\\";
  p.good_kol = ReadBytes(bin + L"testplugins\\good.kol");
  // The fuzzing module is the one LoadLibraryA("kolbri.dll") finds.
  SetDllDirectoryW(p.fuzz_dir.c_str());

  std::thread(Watchdog).detach();
  const std::string at = g_results + ".at";
  for (uint64_t seed : seeds) {
    {
      std::ofstream f(at, std::ios::trunc);
      f << seed << "\n";
    }
    SeedReport rep;
    try {
      RunSeed(seed, p, rep);
    } catch (...) {
      Append(g_results, "crash " + std::to_string(seed) + " c++");
      TerminateProcess(GetCurrentProcess(), 3);
    }
    for (const std::string& f : rep.findings) Append(g_results, f);
    Append(g_results, "ok " + std::to_string(seed) + rep.summary);
  }
  g_beat = 0;
  RemoveTree(p.scratch);
  return 0;
}
