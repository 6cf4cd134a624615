#include "standin/module/fuzz.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>

#include "base/diag.h"
#include "base/text.h"
#include "cgmodule/bmpfile.h"
#include "standin/core/dib.h"
#include "standin/core/fuzz.h"

namespace standin::fuzz {
namespace {

constexpr size_t kMaxBlock = 4u << 20;  // keeps a seed cheap whatever the header claims

struct Loaded {
  uint64_t seed = 0;
  uint32_t calls = 0;
  std::unique_ptr<Arena> arena = std::make_unique<Arena>();
  HMODULE plugin = nullptr;
};
Loaded g_loaded;
OrvuVersionInfo* g_module_info = nullptr;  // the module's own record, restored at each load

volatile uintptr_t g_nowhere = 0;
void Fault() { *reinterpret_cast<volatile int*>(g_nowhere) = 1; }

// --- index trees ---------------------------------------------------------------

OrvuIndexEntry* NewArray(Arena& a, size_t n) { return a.Array<OrvuIndexEntry>(n + 1); }

void SetPicture(OrvuIndexEntry& e, uint32_t number, const char* name) {
  e.Code = number;
  e.Name = name;
}

// Random categories and pictures with hostile names and mismatched codes.
OrvuIndexEntry* RandomTree(Rng& r, Arena& a, int depth, uint32_t& number,
                           std::vector<OrvuIndexEntry*>& arrays) {
  const size_t n = r.Below(depth == 0 ? 6 : 5) + (depth == 0 ? 1 : 0);
  OrvuIndexEntry* arr = NewArray(a, n);
  arrays.push_back(arr);
  for (size_t i = 0; i < n; ++i) {
    OrvuIndexEntry& e = arr[i];
    char plain[16];
    std::snprintf(plain, sizeof plain, "p%u", number);
    char* name = r.OneIn(3) ? HostileText(r, a) : a.Text(plain, true, false);
    if (r.OneIn(40)) name = static_cast<char*>(a.NoAccess());
    if (depth < 4 && r.OneIn(3)) {
      e.Code = kCategoryCode;
      e.Name = name;
      if (!r.OneIn(8)) e.Children = RandomTree(r, a, depth + 1, number, arrays);
    } else {
      SetPicture(e, number++, name);
      if (r.OneIn(10)) e.Children = arr;  // a picture with children: ignored
    }
  }
  return arr;
}

OrvuIndexEntry* HostileIndex(Rng& r, Arena& a) {
  uint32_t shape = r.Below(16);
  // The two huge shapes cost seconds each: one seed in 32 between them.
  if (shape < 2 && !r.OneIn(4)) shape = 16;
  if (shape < 2) a.PagedArrays(false);  // a page per array would cost gigabytes here
  switch (shape) {
    case 0: {  // depth 100,000
      OrvuIndexEntry* root = NewArray(a, 1);
      OrvuIndexEntry* at = root;
      const char* name = a.Text("d", true, false);
      for (int i = 0; i < 100000; ++i) {
        at->Code = kCategoryCode;
        at->Name = name;
        at->Children = NewArray(a, 1);
        at = at->Children;
      }
      SetPicture(*at, 0, name);
      return root;
    }
    case 1: {  // one category with 1,000,000 children
      OrvuIndexEntry* root = NewArray(a, 1);
      root->Code = kCategoryCode;
      root->Name = a.Text("many", true, false);
      root->Children = NewArray(a, 1000000);
      const char* name = a.Text("m", true, false);
      for (uint32_t i = 0; i < 1000000; ++i) SetPicture(root->Children[i], i, name);
      return root;
    }
    case 2: {  // entries running into a no-access page with no terminator
      const size_t n = 1 + r.Below(4);
      auto* arr = static_cast<OrvuIndexEntry*>(a.AtPageEnd(n * sizeof(OrvuIndexEntry)));
      if (!arr) return nullptr;
      for (size_t i = 0; i < n; ++i) SetPicture(arr[i], uint32_t(i), a.Text("edge", true, false));
      return arr;
    }
    case 3: return static_cast<OrvuIndexEntry*>(a.NoAccess());
    default: break;
  }
  uint32_t number = 0;
  std::vector<OrvuIndexEntry*> arrays;
  OrvuIndexEntry* root = RandomTree(r, a, 0, number, arrays);
  // Cut-throughs: a Children back to an ancestor (or the array itself), or wild.
  if (r.OneIn(3) && arrays.size() > 1) {
    OrvuIndexEntry* deep = arrays[1 + r.Below(uint32_t(arrays.size() - 1))];
    deep[0].Code = kCategoryCode;
    if (!deep[0].Name) deep[0].Name = a.Text("loop", true, false);
    deep[0].Children = arrays[r.Below(uint32_t(arrays.size()))];
  }
  if (r.OneIn(6)) {
    root[0].Code = kCategoryCode;
    root[0].Children = r.OneIn(2) ? static_cast<OrvuIndexEntry*>(a.NoAccess())
                                  : reinterpret_cast<OrvuIndexEntry*>(uintptr_t(0x10));
  }
  return root;
}

// --- picture blocks ------------------------------------------------------------

void FillRandom(Rng& r, uint8_t* p, size_t n) {
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    const uint64_t v = r.Next();
    std::memcpy(p + i, &v, 8);
  }
  for (; i < n; ++i) p[i] = uint8_t(r.Next());
}

// Large blocks live in pages of their own: grow the block until it ends where
// a page ends and make the next page of its region no-access, so any read
// past GlobalSize faults at once.
HGLOBAL AtPageEnd(HGLOBAL h) {
  const size_t size = GlobalSize(h);
  if (size < (1u << 20)) return h;
  auto end_of = [](HGLOBAL block) {
    auto* p = static_cast<char*>(GlobalLock(block));
    char* end = p ? p + GlobalSize(block) : nullptr;
    if (p) (void)GlobalUnlock(block);  // zero also when the last lock ends
    return end;
  };
  char* end = end_of(h);
  if (!end) return h;
  if (const size_t rest = reinterpret_cast<uintptr_t>(end) & 4095) {
    if (HGLOBAL grown = GlobalReAlloc(h, size + (4096 - rest), GMEM_MOVEABLE)) h = grown;
    end = end_of(h);
  }
  MEMORY_BASIC_INFORMATION block{}, next{};
  if (!end || (reinterpret_cast<uintptr_t>(end) & 4095) ||
      !VirtualQuery(end - 1, &block, sizeof block) || !VirtualQuery(end, &next, sizeof next))
    return h;
  DWORD old = 0;
  if (next.AllocationBase == block.AllocationBase && next.State == MEM_COMMIT)
    KOLBRI_LOG_IF_FALSE(VirtualProtect(end, 4096, PAGE_NOACCESS, &old));
  return h;
}

int32_t HostileBlock(Rng& r, HGLOBAL* out) {
  BITMAPINFOHEADER h{};
  static const DWORD kSizes[] = {40, 40, 40, 40, 12, 0, 108, 124, 0xFFFFFFFF};
  static const LONG kDims[] = {0, -1, 1, 2, 65535, INT_MAX, INT_MIN, -65535, 3, 17};
  static const WORD kBits[] = {0, 1, 2, 4, 8, 15, 16, 24, 32, 64, 4, 8, 24};
  static const DWORD kCompressions[] = {BI_RGB,       BI_RGB,  BI_RGB, BI_RLE4,   BI_RLE8,
                                        BI_BITFIELDS, BI_JPEG, BI_PNG, 0xFFFFFFFF};
  static const DWORD kClrUsed[] = {0, 0, 0, 1, 255, 256, 257, 0xFFFFFFFF};
  h.biSize = r.Pick(kSizes);
  h.biWidth = r.OneIn(2) ? r.Pick(kDims) : LONG(1 + r.Below(300));
  h.biHeight = r.OneIn(2) ? r.Pick(kDims) : LONG(1 + r.Below(300)) * (r.OneIn(4) ? -1 : 1);
  h.biPlanes = r.OneIn(8) ? WORD(r.Below(3)) : 1;
  h.biBitCount = r.Pick(kBits);
  h.biCompression = r.Pick(kCompressions);
  h.biClrUsed = r.Pick(kClrUsed);
  const uint64_t stride = cgmodule::DibStride(uint32_t(h.biWidth), h.biBitCount);
  const uint64_t rows = stride * uint64_t(h.biHeight < 0 ? -int64_t(h.biHeight) : h.biHeight);
  const uint32_t colours = cgmodule::DibColourEntries(h.biBitCount);
  switch (r.Below(6)) {
    case 0: h.biSizeImage = 0; break;
    case 1: h.biSizeImage = uint32_t(rows) - 1; break;
    case 2: h.biSizeImage = uint32_t(rows) + 4096; break;
    case 3: h.biSizeImage = uint32_t(r.Next()); break;
    default: h.biSizeImage = uint32_t(rows); break;
  }
  uint64_t size = 40 + 4ull * colours + (rows < kMaxBlock ? rows : kMaxBlock);
  if (r.OneIn(3)) size = r.Below(uint32_t(size) + 1);  // shorter than the header says
  if (size > kMaxBlock) size = kMaxBlock;
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size ? size : 1);
  if (!block) return -3;
  if (auto* p = static_cast<uint8_t*>(GlobalLock(block))) {
    FillRandom(r, p, GlobalSize(block));
    std::memcpy(p, &h, size < sizeof h ? size : sizeof h);
    (void)GlobalUnlock(block);  // zero also when the last lock ends
  }
  *out = r.OneIn(2) ? AtPageEnd(block) : block;
  return 0;
}

int32_t SoundBlock(Rng& r, HGLOBAL* out) {
  static const int kDepths[] = {4, 8, 24, 1, 16};
  SynthParams s;
  s.width = int(1 + r.Below(64));
  s.height = int(1 + r.Below(64));
  s.bit_count = r.Pick(kDepths);
  s.seed = uint32_t(r.Next());
  const size_t size = PackedSize(s.width, s.height, s.bit_count);
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
  if (!block) return -3;
  auto* p = static_cast<uint8_t*>(GlobalLock(block));
  if (!p) {
    GlobalFree(block);
    return -3;
  }
  Synthesize(s, p);
  (void)GlobalUnlock(block);  // zero also when the last lock ends
  *out = block;
  return 0;
}

}  // namespace

bool OnInitialize(OrvuContext& ctx, Redisplay redisplay) {
  const auto seed = SeedFromEnvironment();
  if (!seed) return false;
  Rng r(*seed ^ 0x1217);
  if (r.OneIn(4)) redisplay();  // before the viewer has even seen the context
  g_module_info = ctx.ModuleInfo;
  if (r.OneIn(16)) ctx.Callbacks = nullptr;
  // Slots that point nowhere: reserved, never committed.
  static void* const nowhere = VirtualAlloc(nullptr, 65536, MEM_RESERVE, PAGE_NOACCESS);
  if (r.OneIn(24)) ctx.Callbacks = static_cast<OrvuHostCallbacks*>(nowhere);
  if (r.OneIn(24)) ctx.RootDir = static_cast<char*>(nowhere);
  if (r.OneIn(32)) {
    // The binding's own checks: a record that refuses the module.
    static OrvuVersionInfo old{"old", 0x00FF, nullptr, nullptr};
    ctx.ModuleInfo = r.OneIn(2) ? nullptr : &old;
  }
  return true;
}

bool OnLoadPlugin(OrvuContext& ctx, const char* sjis_path, Redisplay redisplay, int32_t& result) {
  const auto seed = SeedFromEnvironment();
  if (!seed) return false;
  Rng r(*seed);
  if (r.OneIn(4)) redisplay();
  if (r.OneIn(10)) {  // refused: the previous plug-in and its entries stay
    result = r.OneIn(2) ? -1 : int32_t(0x80000000u | uint32_t(r.Next()));
    return true;
  }
  if (r.OneIn(40)) Fault();
  // The plug-in file itself, through the real contract (it fuzzes its own record).
  HMODULE lib = nullptr;
  OrvuPluginAnswer* answer = nullptr;
  if (sjis_path && *sjis_path) {
    const UINT old = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    lib = LoadLibraryW(base::FromSjis(sjis_path).c_str());
    SetErrorMode(old);
  }
  if (!lib) {
    result = -1;
    return true;
  }
  if (auto init = reinterpret_cast<OrvuEntry>(GetProcAddress(lib, kIdvInitialize))) {
    uint32_t zeros[2] = {0, 0};
    uint32_t kind = kPluginQueryKind;
    init(zeros, &kind, &answer);
  }
  auto arena = std::make_unique<Arena>();
  // Now and then the index lies on pages a later call withdraws.
  const bool withdrawable = r.OneIn(6);
  arena->PagedArrays(withdrawable);
  OrvuIndexEntry* root = HostileIndex(r, *arena);
  arena->PagedArrays(false);
  // Commit: the previous entries go only now.
  if (g_loaded.plugin) KOLBRI_LOG_IF_FALSE(FreeLibrary(g_loaded.plugin));
  g_loaded.plugin = lib;
  g_loaded.arena = std::move(arena);
  g_loaded.seed = *seed;
  g_loaded.calls = 0;
  ctx.IndexRoot = root;
  ctx.PluginInfo = r.OneIn(3) || !answer ? HostileVersion(r, *g_loaded.arena) : answer->Info;
  ctx.ModuleInfo = r.OneIn(2) ? HostileVersion(r, *g_loaded.arena) : g_module_info;
  if (r.OneIn(4)) redisplay();  // with the old entries gone
  result = r.OneIn(8) ? int32_t(r.Below(INT32_MAX)) : 0;
  return true;
}

bool OnMakeBmp(const OrvuIndexEntry* entry, HGLOBAL* out, Redisplay redisplay, int32_t& result) {
  if (!SeedFromEnvironment()) return false;
  if (!entry) {
    result = -1;
    return true;
  }
  Rng r(g_loaded.seed * 0x2545F4914F6CDD1Dull + entry->Code * 0x9E3779B9ull + g_loaded.calls++);
  if (r.OneIn(6)) redisplay();
  // The index withdrawn while the viewer shows it: later reads of it fault.
  if (r.OneIn(12)) g_loaded.arena->Withdraw();
  if (r.OneIn(50)) Fault();
  switch (r.Below(16)) {
    case 0: result = int32_t(r.Next()); break;  // any value, no block
    case 1: result = r.OneIn(2) ? -2 : -3; break;
    case 2: result = 0; break;  // success with no block
    case 3:                     // a handle that cannot be locked
      *out = GlobalAlloc(GMEM_MOVEABLE, 0);
      result = 0;
      break;
    case 4:
    case 5:
    case 6:
    case 7: result = SoundBlock(r, out); break;
    default: result = HostileBlock(r, out); break;
  }
  return true;
}

bool OnUnloadPlugin(OrvuContext& ctx, Redisplay redisplay) {
  const auto seed = SeedFromEnvironment();
  if (!seed) return false;
  if (Rng(*seed ^ 0x7A11).OneIn(3)) redisplay();
  ctx.IndexRoot = nullptr;
  ctx.PluginInfo = nullptr;
  ctx.ModuleInfo = g_module_info;
  g_loaded.arena = std::make_unique<Arena>();
  if (g_loaded.plugin) KOLBRI_LOG_IF_FALSE(FreeLibrary(g_loaded.plugin));
  g_loaded.plugin = nullptr;
  return true;
}

}  // namespace standin::fuzz
