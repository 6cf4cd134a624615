// Stand-in common module: hosts plug-ins that hand over their index as a
// manifest (standin/core/manifest.h) and renders pictures from .bmp files
// below the title's root directory or synthesises them in memory.
//
// Variant builds (compile definitions) give the faulty modules the viewer must
// refuse; see standin/README.md.
#include <windows.h>

#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "cgmodule/contract.h"
#include "cgmodule/guard.h"
#include "standin/core/dib.h"
#include "standin/core/manifest.h"
#include "base/diag.h"
#include "base/text.h"
#ifdef KOLBRI_FUZZ
#include "standin/module/fuzz.h"
#endif

#ifndef KOLBRI_MAGIC
#define KOLBRI_MAGIC 0x00193015
#endif
#ifndef KOLBRI_VERSION
#define KOLBRI_VERSION 0x0102
#endif

#define KOLBRI_EXPORT extern "C" __declspec(dllexport) int32_t __stdcall

namespace {

using base::FromSjis;

OrvuVersionInfo g_module_info{"kolbri.dll 代替共通モジュール", KOLBRI_VERSION, "2026/12/08",
                              "検証用の代替モジュールです"};

#ifdef KOLBRI_PREINFO
// Before the first load (and after an unload) this variant shows a harmless
// record and an empty index instead of null pointers.
OrvuVersionInfo g_no_plugin{"(Plug-in未ロード)", 0, "", ""};
OrvuIndexEntry g_no_index[1]{};
#endif

constexpr uint32_t kEntryTag = 0x424C4F4B;  // "KOLB"

// What the module keeps in an entry's Private bytes.
struct EntryPrivate {
  uint32_t tag;
  uint32_t generation;
  uint32_t picture;
};
static_assert(sizeof(EntryPrivate) <= sizeof(OrvuIndexEntry::Private));

enum class Fault {
  None,
  Result,
  NullBlock,
  Access,
  Handled,
  Throw,
  Redisplay,
  Oversize,
  // Exceptions a module can raise by mistake: a guard page it touches, a
  // misaligned access, a breakpoint or single step left in it.
  GuardPage,
  Misaligned,
  Breakpoint,
  SingleStep
};

struct Picture {
  std::wstring file;  // relative to RootDir
  std::wstring background;
  bool synthetic = false;
  standin::SynthParams synth;
  Fault fault = Fault::None;
  int32_t result = 0;
  bool redisplay_on_load = false;  // load=redisplay
};

// Committed pages of the module's own, as a module with its own allocator has:
// the variants that withdraw or guard their index keep it there.
struct Pages {
  void* base = nullptr;
  size_t size = 0;
  Pages() = default;
  Pages(const Pages&) = delete;
  Pages& operator=(const Pages&) = delete;
  ~Pages() {
    if (base) KOLBRI_LOG_IF_FALSE(VirtualFree(base, 0, MEM_RELEASE));
  }
  void* Commit(size_t n) {
    size = n ? n : 1;
    base = VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    return base;
  }
};

// Entry arrays and names must not move while the viewer holds their
// addresses: deques of fixed-size vectors and strings.
struct Index {
  std::deque<std::vector<OrvuIndexEntry>> arrays;
  std::deque<std::string> names;
  std::vector<Picture> pictures;
  OrvuIndexEntry* root = nullptr;
  Pages pages;  // withdraw: the entry arrays; guardnames: the names
};

// A plug-in library the module keeps loaded while its index is current.
struct Plugin {
  HMODULE lib = nullptr;
  OrvuEntry terminate = nullptr;
  OrvuPluginAnswer* answer = nullptr;

  // Explicit, never from a destructor: it calls into another library, which
  // must not happen while this one is being unloaded.
  void Close() {
    if (terminate) {
      int32_t unused = 0;
      terminate(nullptr, nullptr, &unused);
    }
    if (lib) KOLBRI_LOG_IF_FALSE(FreeLibrary(lib));
    lib = nullptr;
    terminate = nullptr;
    answer = nullptr;
  }
};

struct State {
  OrvuContext ctx{};
  char root_dir[kRootDirSize]{};
  OrvuHostCallbacks callbacks{};
  OrvuHostCallbacks* host_table = nullptr;  // from the host record, lives for the run
  uint32_t generation = 1;
  std::unique_ptr<Index> index;
  Plugin plugin;
};

State g;
volatile uintptr_t g_nowhere = 0;  // the address the access-violation fault writes to

int32_t __stdcall WriteNowhere(void*, void*, void*) {
  *reinterpret_cast<volatile int*>(g_nowhere) = 1;
  return 0;
}

std::wstring RootPath() {
  std::wstring root = FromSjis(std::string(g.root_dir, strnlen(g.root_dir, kRootDirSize)));
  if (!root.empty() && root.back() != L'\\' && root.back() != L'/') root += L'\\';
  return root;
}

bool ParsePicture(const standin::ManifestNode& n, Picture& p) {
  if (const std::string* v = n.Attr("file")) p.file = FromSjis(*v);
  if (const std::string* v = n.Attr("bg")) p.background = FromSjis(*v);
  if (const std::string* v = n.Attr("synth")) {
    if (!standin::ParseSynthParams(*v, p.synth)) return false;
    p.synthetic = true;
  }
  if (const std::string* v = n.Attr("result")) {
    char* end = nullptr;
    p.result = int32_t(std::strtol(v->c_str(), &end, 10));
    if (end == v->c_str() || *end) return false;
    p.fault = Fault::Result;
  }
  if (const std::string* v = n.Attr("load")) {
    if (*v != "redisplay") return false;
    p.redisplay_on_load = true;
  }
  if (const std::string* v = n.Attr("fault")) {
    if (*v == "nullblock")
      p.fault = Fault::NullBlock;
    else if (*v == "access")
      p.fault = Fault::Access;
    else if (*v == "throw")
      p.fault = Fault::Throw;
    else if (*v == "redisplay")
      p.fault = Fault::Redisplay;
    else if (*v == "oversize")
      p.fault = Fault::Oversize;
    else if (*v == "handled")
      p.fault = Fault::Handled;
    else if (*v == "guardpage")
      p.fault = Fault::GuardPage;
    else if (*v == "misaligned")
      p.fault = Fault::Misaligned;
    else if (*v == "breakpoint")
      p.fault = Fault::Breakpoint;
    else if (*v == "singlestep")
      p.fault = Fault::SingleStep;
    else
      return false;
  }
  return p.synthetic || !p.file.empty() || p.fault == Fault::Result || p.fault == Fault::Access ||
         p.fault == Fault::Throw || p.fault == Fault::NullBlock || p.fault >= Fault::GuardPage;
}

// Builds one entry array (and, depth first, those of its categories).
bool BuildArray(Index& ix, uint32_t generation, const std::vector<standin::ManifestNode>& nodes,
                OrvuIndexEntry*& first) {
  ix.arrays.emplace_back(nodes.size() + 1);  // + the terminating entry
  std::vector<OrvuIndexEntry>& arr = ix.arrays.back();
  std::memset(arr.data(), 0, arr.size() * sizeof(OrvuIndexEntry));
  first = arr.data();
  for (size_t i = 0; i < nodes.size(); ++i) {
    const standin::ManifestNode& n = nodes[i];
    OrvuIndexEntry& e = arr[i];
    ix.names.push_back(n.name);
    e.Name = ix.names.back().c_str();
    if (n.category) {
      e.Code = kCategoryCode;
      // children=loop: a Children back into its own array, as a broken
      // module's index may have.
      if (const std::string* v = n.Attr("children")) {
        if (*v != "loop") return false;
        e.Children = arr.data();
        continue;
      }
      if (!BuildArray(ix, generation, n.children, e.Children)) return false;
    } else {
      Picture p;
      if (!ParsePicture(n, p)) return false;
      const EntryPrivate priv{kEntryTag, generation, uint32_t(ix.pictures.size())};
      e.Code = uint32_t(ix.pictures.size());
      std::memcpy(e.Private, &priv, sizeof priv);
      ix.pictures.push_back(std::move(p));
    }
  }
  return true;
}

#ifdef KOLBRI_WITHDRAW
// All entry arrays moved into pages of their own, which the withdraw export
// makes unreadable.
bool MoveArraysToPages(Index& ix) {
  size_t total = 0;
  for (const auto& a : ix.arrays) total += a.size();
  auto* dst = static_cast<OrvuIndexEntry*>(ix.pages.Commit(total * sizeof(OrvuIndexEntry)));
  if (!dst) return false;
  std::map<const OrvuIndexEntry*, OrvuIndexEntry*> moved;
  OrvuIndexEntry* at = dst;
  for (const auto& a : ix.arrays) {
    moved[a.data()] = at;
    std::memcpy(at, a.data(), a.size() * sizeof *at);
    at += a.size();
  }
  for (OrvuIndexEntry* e = dst; e < at; ++e)
    if (e->Children) e->Children = moved[e->Children];
  ix.root = moved[ix.root];
  return true;
}
#endif

#ifdef KOLBRI_GUARD_NAMES
// Copies a text onto pages that raise a guard-page exception at their first touch.
const char* OnGuardedPages(Pages& pages, const char* text) {
  const size_t n = std::strlen(text) + 1;
  char* dst = static_cast<char*>(pages.Commit(n));
  if (!dst) return text;
  std::memcpy(dst, text, n);
  DWORD old = 0;
  KOLBRI_LOG_IF_FALSE(VirtualProtect(dst, n, PAGE_READWRITE | PAGE_GUARD, &old));
  return dst;
}

// Every name of the index moved onto guarded pages.
bool MoveNamesToGuardPages(Index& ix) {
  size_t total = 0;
  for (const std::string& n : ix.names) total += n.size() + 1;
  char* dst = static_cast<char*>(ix.pages.Commit(total));
  if (!dst) return false;
  char* at = dst;
  for (auto& a : ix.arrays)
    for (OrvuIndexEntry& e : a) {
      if (!e.Name) continue;
      const size_t n = std::strlen(e.Name) + 1;
      std::memcpy(at, e.Name, n);
      e.Name = at;
      at += n;
    }
  DWORD old = 0;
  return VirtualProtect(dst, total, PAGE_READWRITE | PAGE_GUARD, &old);
}
#endif

std::unique_ptr<Index> BuildIndex(const char* manifest, uint32_t generation) {
  standin::Manifest m;
  if (!standin::ParseManifest(manifest, m)) return nullptr;
  auto ix = std::make_unique<Index>();
  if (!BuildArray(*ix, generation, m.roots, ix->root)) return nullptr;
#ifdef KOLBRI_GUARD_NAMES
  if (!MoveNamesToGuardPages(*ix)) return nullptr;
#endif
#ifdef KOLBRI_WITHDRAW
  if (!MoveArraysToPages(*ix)) return nullptr;
#endif
  return ix;
}

void CallRedisplay() {
  OrvuCallback cb = g.callbacks.Entries[kRedisplayCallback];
  if (!cb && g.host_table) cb = g.host_table->Entries[kRedisplayCallback];
  if (cb) cb(nullptr, nullptr, nullptr);
}

int32_t LoadPlugin(const char* sjis_path) {
  if (!sjis_path || !*sjis_path) return -1;
  Plugin next;
  const UINT old_mode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  next.lib = LoadLibraryW(FromSjis(sjis_path).c_str());
  SetErrorMode(old_mode);
  if (!next.lib) return -1;
  auto init = reinterpret_cast<OrvuEntry>(GetProcAddress(next.lib, kIdvInitialize));
  auto term = reinterpret_cast<OrvuEntry>(GetProcAddress(next.lib, kIdvTerminate));
  auto index = reinterpret_cast<OrvuEntry>(GetProcAddress(next.lib, "OrvuIdvIndex"));
  if (!init || !term || !index) {
    next.Close();
    return -1;
  }
  uint32_t zeros[2] = {0, 0};
  uint32_t kind = kPluginQueryKind;
  init(zeros, &kind, &next.answer);
  next.terminate = term;
  if (!next.answer || next.answer->Magic != kPluginMagic || !next.answer->Info) {
    next.Close();
    return -1;
  }
  const char* manifest = nullptr;
  std::unique_ptr<Index> ix;
  const uint32_t generation = g.generation + 1;
  try {
    if (index(g.root_dir, nullptr, &manifest) == 0 && manifest)
      ix = BuildIndex(manifest, generation);
  } catch (...) {
    ix.reset();
  }
  if (!ix) {
    next.Close();
    return -1;
  }
  // Commit: only now do the previous plug-in and its entries go.
  g.index = std::move(ix);
  g.generation = generation;
  Plugin previous = g.plugin;
  g.plugin = next;
  previous.Close();
  g.ctx.PluginInfo = g.plugin.answer->Info;
  g.ctx.IndexRoot = g.index->root;
  // As a module that asks for a redisplay once the old entries are gone.
  for (const Picture& p : g.index->pictures)
    if (p.redisplay_on_load) {
      CallRedisplay();
      break;
    }
  return 0;
}

void UnloadPlugin() {
#ifdef KOLBRI_PREINFO
  g.ctx.PluginInfo = &g_no_plugin;
  g.ctx.IndexRoot = g_no_index;
#else
  g.ctx.PluginInfo = nullptr;
  g.ctx.IndexRoot = nullptr;
#endif
  g.index.reset();
  ++g.generation;
  g.plugin.Close();
}

// Tests see the calls in order: one line per entry point appended to the file
// named by KOLBRI_CALL_LOG, when it is set.
void LogCall(const char* name) {
  char path[MAX_PATH];
  const DWORD n = GetEnvironmentVariableA("KOLBRI_CALL_LOG", path, sizeof path);
  if (n == 0 || n >= sizeof path) return;
  HANDLE f = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return;
  DWORD done = 0;
  KOLBRI_LOG_IF_FALSE(WriteFile(f, name, DWORD(std::strlen(name)), &done, nullptr) &&
                      WriteFile(f, "\n", 1, &done, nullptr));
  KOLBRI_LOG_IF_FALSE(CloseHandle(f));
}

int32_t HandOver(const uint8_t* packed, size_t size, uint32_t extra_image_size, HGLOBAL* out) {
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, size);
  if (!h) return -3;
  void* p = GlobalLock(h);
  if (!p) {
    GlobalFree(h);
    return -3;
  }
  std::memcpy(p, packed, size);
  reinterpret_cast<BITMAPINFOHEADER*>(p)->biSizeImage += extra_image_size;
  (void)GlobalUnlock(h);  // zero also when the last lock ends
  *out = h;
  return 0;
}

int32_t MakeBmp(const OrvuIndexEntry* e, bool overlay, HGLOBAL* out) {
  if (!e || !g.index || e->Code == kCategoryCode) return -1;
  EntryPrivate priv;
  std::memcpy(&priv, e->Private, sizeof priv);
  if (priv.tag != kEntryTag || priv.generation != g.generation ||
      priv.picture >= g.index->pictures.size())
    return -1;
  const Picture& p = g.index->pictures[priv.picture];
  switch (p.fault) {
    case Fault::Result: return p.result;
    case Fault::NullBlock: return 0;
    case Fault::Access: *reinterpret_cast<volatile int*>(g_nowhere) = 1; return -1;
    case Fault::Handled:
      // As a library with its own __try/__except: the fault is raised and
      // handled in here, below the viewer's guard, and the picture follows.
      if (!cgmodule::GuardedCall(&WriteNowhere, nullptr, nullptr, nullptr).faulted) return -1;
      break;
    case Fault::Throw: throw std::runtime_error("injected");
    case Fault::Redisplay: CallRedisplay(); break;
    case Fault::GuardPage: {
      Pages page;
      auto* at = static_cast<volatile char*>(page.Commit(1));
      DWORD old = 0;
      if (!at || !VirtualProtect(const_cast<char*>(at), 1, PAGE_READWRITE | PAGE_GUARD, &old))
        return -1;
      return at[0];
    }
    case Fault::Breakpoint: __asm__ __volatile__("int3"); return -1;
    case Fault::Misaligned: RaiseException(STATUS_DATATYPE_MISALIGNMENT, 0, 0, nullptr); return -1;
    case Fault::SingleStep: RaiseException(STATUS_SINGLE_STEP, 0, 0, nullptr); return -1;
    default: break;
  }
  const uint32_t extra = p.fault == Fault::Oversize ? 4096 : 0;
  const bool compose = overlay && !p.background.empty();
  if (p.synthetic && !compose) {
    // Straight into the block: the fast path the batch benchmark measures.
    const size_t size = standin::PackedSize(p.synth.width, p.synth.height, p.synth.bit_count);
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, size);
    if (!h) return -3;
    auto* dst = static_cast<uint8_t*>(GlobalLock(h));
    if (!dst) {
      GlobalFree(h);
      return -3;
    }
    standin::Synthesize(p.synth, dst);
    reinterpret_cast<BITMAPINFOHEADER*>(dst)->biSizeImage += extra;
    (void)GlobalUnlock(h);  // zero also when the last lock ends
    *out = h;
    return 0;
  }
  std::vector<uint8_t> picture;
  if (p.synthetic) {
    picture = standin::Synthesize(p.synth);
  } else {
    const standin::ReadResult r = standin::ReadBmpFile(RootPath() + p.file, picture);
    if (r == standin::ReadResult::CantOpen) return -2;
    if (r != standin::ReadResult::Ok) return -1;
  }
  if (compose) {
    std::vector<uint8_t> bg;
    const standin::ReadResult r = standin::ReadBmpFile(RootPath() + p.background, bg);
    if (r == standin::ReadResult::CantOpen) return -2;
    if (r != standin::ReadResult::Ok) return -1;
    picture = standin::Overlay(standin::DibView(picture.data(), picture.size()),
                               standin::DibView(bg.data(), bg.size()));
  }
  return HandOver(picture.data(), picture.size(), extra, out);
}

}  // namespace

// C++ exceptions cannot cross into the viewer: every entry point catches all.

KOLBRI_EXPORT OrvuCmnInitialize(void* host_record, void*, void* context_out) {
  LogCall("Initialize");
#ifdef KOLBRI_INIT_FAULT
  *reinterpret_cast<volatile int*>(g_nowhere) = 1;
#endif
  try {
    if (!context_out) return -1;
    UnloadPlugin();  // also sets the no-plug-in PluginInfo and IndexRoot
    g.callbacks = OrvuHostCallbacks{};
    g.root_dir[0] = '\0';
    g.ctx.Magic = KOLBRI_MAGIC;
    g.ctx.HostInfo = nullptr;
    g.ctx.Reserved = 0;
    g.ctx.ModuleInfo = &g_module_info;
    g.ctx.RootDir = g.root_dir;
    g.ctx.Callbacks = &g.callbacks;
#if defined(KOLBRI_WILD_CALLBACKS) || defined(KOLBRI_WILD_ROOTDIR)
    // Reserved, never committed: an address that points nowhere.
    static void* const nowhere = VirtualAlloc(nullptr, 65536, MEM_RESERVE, PAGE_NOACCESS);
#endif
#ifdef KOLBRI_WILD_CALLBACKS
    g.ctx.Callbacks = static_cast<OrvuHostCallbacks*>(nowhere);
#endif
#ifdef KOLBRI_WILD_ROOTDIR
    g.ctx.RootDir = static_cast<char*>(nowhere);
#endif
#ifdef KOLBRI_GUARD_NAMES
    static Pages module_name;
    if (!module_name.base) g_module_info.Name = OnGuardedPages(module_name, g_module_info.Name);
#endif
    if (host_record) g.host_table = static_cast<OrvuHostRecord*>(host_record)->HostCallbacks;
#ifdef KOLBRI_FUZZ
    standin::fuzz::OnInitialize(g.ctx, &CallRedisplay);
#endif
#ifdef KOLBRI_NO_CONTEXT
    *static_cast<OrvuContext**>(context_out) = nullptr;
#else
    *static_cast<OrvuContext**>(context_out) = &g.ctx;
#endif
    return 0;
  } catch (...) {
    return -1;
  }
}

KOLBRI_EXPORT OrvuCmnLoadPlugin(void* path_var, void*, void*) {
  LogCall("LoadPlugin");
  try {
    if (!path_var) return -1;
#ifdef KOLBRI_FUZZ
    int32_t fuzzed = 0;
    if (standin::fuzz::OnLoadPlugin(g.ctx, *static_cast<const char**>(path_var), &CallRedisplay,
                                    fuzzed))
      return fuzzed;
#endif
    return LoadPlugin(*static_cast<const char**>(path_var));
  } catch (...) {
    return -1;
  }
}

KOLBRI_EXPORT OrvuCmnMakeBmp(void* entry_var, void* overlay_flag, void* block_out) {
  try {
    if (!entry_var || !block_out) return -1;
    *static_cast<HGLOBAL*>(block_out) = nullptr;
    const bool overlay = overlay_flag && *static_cast<uint32_t*>(overlay_flag) == kOverlayOn;
#ifdef KOLBRI_FUZZ
    int32_t fuzzed = 0;
    if (standin::fuzz::OnMakeBmp(*static_cast<const OrvuIndexEntry**>(entry_var),
                                 static_cast<HGLOBAL*>(block_out), &CallRedisplay, fuzzed))
      return fuzzed;
#endif
    return MakeBmp(*static_cast<const OrvuIndexEntry**>(entry_var), overlay,
                   static_cast<HGLOBAL*>(block_out));
  } catch (const std::bad_alloc&) {
    return -3;
  } catch (...) {
    return -1;
  }
}

KOLBRI_EXPORT OrvuCmnUnloadPlugin(void*, void*, void*) {
  LogCall("UnloadPlugin");
  try {
#ifdef KOLBRI_FUZZ
    standin::fuzz::OnUnloadPlugin(g.ctx, &CallRedisplay);
#endif
    UnloadPlugin();
    return 0;
  } catch (...) {
    return -1;
  }
}

#ifdef KOLBRI_WITHDRAW
// The fault a broken module commits after a load: its index memory becomes
// unreadable while the viewer still shows it.
KOLBRI_EXPORT StandinWithdrawIndex(void*, void*, void*) {
  DWORD old = 0;
  if (!g.index || !g.index->pages.base) return -1;
  return VirtualProtect(g.index->pages.base, g.index->pages.size, PAGE_NOACCESS, &old) ? 0 : -1;
}
#endif

#ifndef KOLBRI_NO_TERMINATE
KOLBRI_EXPORT OrvuCmnTerminate(void*, void*, void*) {
  LogCall("Terminate");
  try {
    UnloadPlugin();
    return 0;
  } catch (...) {
    return -1;
  }
}
#endif
