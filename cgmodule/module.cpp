#include "cgmodule/module.h"

#include <cstring>
#include <string>
#include <vector>

#include "base/diag.h"
#include "cgmodule/boundary.h"
#include "cgmodule/guard.h"

namespace cgmodule {

const wchar_t* BindMessage(BindResult r) {
  switch (r) {
    case BindResult::Ok: return nullptr;
    case BindResult::NotFound: return L"kolbri.dllが見つかりません。";
    case BindResult::OtherArchitecture:
      return sizeof(void*) == 8
                 ? L"kolbri.dllは32ビット版です。このプログラム(64ビット版)では使えません"
                 : L"kolbri.dllは64ビット版です。このプログラム(32ビット版)では使えません";
    case BindResult::Broken:
    case BindResult::NoContext: return L"kolbri.dllが壊れています";
    case BindResult::WrongMagic: return L"このバージョンのkolbri.dllには対応していません";
    case BindResult::TooOld: return L"kolbri.dllが古すぎます";
  }
  return L"kolbri.dllが壊れています";
}

const wchar_t* MakeBmpMessage(int32_t code) {
  switch (code) {
    case kMakeBmpCantOpen: return L"元ファイルが開けません";
    case kMakeBmpNoMemory: return L"メモリ確保に失敗しました";
    default: return kUnknownErrorMessage;
  }
}

std::string CutSjis(std::string_view s, size_t max_bytes) {
  size_t i = 0;
  while (i < s.size()) {
    const auto c = static_cast<unsigned char>(s[i]);
    const bool lead = (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
    const size_t w = lead && i + 1 < s.size() ? 2 : 1;
    if (i + w > max_bytes) break;
    i += w;
  }
  return std::string(s.substr(0, i));
}

namespace {

// The context and the module's record are the module's memory: read guarded.
// The slots the viewer writes later (HostInfo, the callback table, RootDir) are
// probed for their whole size before anything is written, so a context that
// points nowhere refuses the module instead of ending the viewer.
BindResult CheckContext(OrvuContext* ctx) {
  OrvuContext c{};
  if (!ReadModuleBytes(&c, ctx, sizeof c)) return BindResult::Broken;
  if (c.Magic != kContextMagic) return BindResult::WrongMagic;
  const VersionRecord info = ReadVersionRecord(c.ModuleInfo);
  if (!info.present) return BindResult::WrongMagic;
  if (info.version < kMinModuleVersion) return BindResult::TooOld;
  const bool slots = ProbeModuleMemory(&ctx->HostInfo, sizeof ctx->HostInfo) &&
                     ProbeModuleMemory(c.Callbacks, sizeof(OrvuHostCallbacks)) &&
                     ProbeModuleMemory(c.RootDir, kRootDirSize);
  return slots ? BindResult::Ok : BindResult::Broken;
}

// The machine in a file's PE header, 0 when it is none.
WORD MachineOf(const std::wstring& path) {
  const base::UniqueFile f(
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!f) return 0;
  auto read_at = [&](LONG offset, void* out, DWORD size) {
    DWORD got = 0;
    return SetFilePointer(f.get(), offset, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER &&
           ReadFile(f.get(), out, size, &got, nullptr) && got == size;
  };
  IMAGE_DOS_HEADER dos{};
  struct {
    DWORD signature;
    IMAGE_FILE_HEADER file;
  } nt{};
  if (!read_at(0, &dos, sizeof dos) || dos.e_magic != IMAGE_DOS_SIGNATURE || dos.e_lfanew <= 0 ||
      !read_at(dos.e_lfanew, &nt, sizeof nt) || nt.signature != IMAGE_NT_SIGNATURE)
    return 0;
  return nt.file.Machine;
}

// A library of the other architecture fails to load like a missing file
// (Windows says ERROR_BAD_EXE_FORMAT, Wine's loader skips it and reports
// ERROR_MOD_NOT_FOUND): the header of the first kolbri.dll on the loader's way
// (the program's folder, the DLL directory, then the search path) tells.
// Anything else stays "not found", as before.
BindResult WhyNotLoaded() {
  std::vector<std::wstring> dirs;
  wchar_t buf[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, buf, MAX_PATH);
  if (n > 0 && n < MAX_PATH) {
    std::wstring exe(buf, n);
    dirs.push_back(exe.substr(0, exe.find_last_of(L'\\') + 1));
  }
  // XP SP1 and later: looked up rather than raising the target version.
  using GetDir = DWORD(WINAPI*)(DWORD, LPWSTR);
  if (const auto get = reinterpret_cast<GetDir>(
          GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetDllDirectoryW"))) {
    const DWORD d = get(MAX_PATH, buf);
    if (d > 0 && d < MAX_PATH) dirs.push_back(std::wstring(buf, d) + L"\\");
  }
  std::wstring found;
  for (const std::wstring& d : dirs) {
    if (GetFileAttributesW((d + L"kolbri.dll").c_str()) != INVALID_FILE_ATTRIBUTES) {
      found = d + L"kolbri.dll";
      break;
    }
  }
  if (found.empty()) {
    const DWORD s = SearchPathW(nullptr, L"kolbri.dll", nullptr, MAX_PATH, buf, nullptr);
    if (s > 0 && s < MAX_PATH) found.assign(buf, s);
  }
  constexpr WORD other = sizeof(void*) == 8 ? IMAGE_FILE_MACHINE_I386 : IMAGE_FILE_MACHINE_AMD64;
  return !found.empty() && MachineOf(found) == other ? BindResult::OtherArchitecture
                                                     : BindResult::NotFound;
}

}  // namespace

CommonModule::~CommonModule() { Release(); }

BindResult CommonModule::Bind(const OrvuHostRecord& host) {
  Release();
  lib_.reset(LoadLibraryA("kolbri.dll"));
  if (!lib_) return WhyNotLoaded();
  auto find = [this](const char* name) {
    return reinterpret_cast<OrvuEntry>(GetProcAddress(lib_.get(), name));
  };
  initialize_ = find(kCmnInitialize);
  load_plugin_ = find(kCmnLoadPlugin);
  make_bmp_ = find(kCmnMakeBmp);
  unload_plugin_ = find(kCmnUnloadPlugin);
  terminate_ = find(kCmnTerminate);
  if (!initialize_ || !load_plugin_ || !make_bmp_ || !unload_plugin_ || !terminate_) {
    Release();
    return BindResult::Broken;
  }
  OrvuHostRecord record = host;  // lives for the duration of the call only
  int32_t zero = 0;
  OrvuContext* ctx = nullptr;
  const GuardedResult g = GuardedCall(initialize_, &record, &zero, &ctx);
  BindResult r = BindResult::Ok;
  if (g.faulted)
    r = BindResult::Broken;
  else if (!ctx)
    r = BindResult::NoContext;
  else
    r = CheckContext(ctx);
  if (r != BindResult::Ok) {
    Release();
    return r;
  }
  ctx_ = ctx;
  return BindResult::Ok;
}

std::optional<OrvuContext> CommonModule::ReadContext() const {
  OrvuContext c{};
  if (!ctx_ || !ReadModuleBytes(&c, ctx_, sizeof c)) return std::nullopt;
  return c;
}

// The module may move or withdraw its slots after binding: every later access
// reads the context afresh and goes through the boundary.
void CommonModule::Attach(OrvuVersionInfo* host_info, const OrvuHostCallbacks& table) {
  if (!ctx_) return;
  KOLBRI_LOG_IF_FALSE(WriteModuleBytes(&ctx_->HostInfo, &host_info, sizeof host_info));
  const std::optional<OrvuContext> c = ReadContext();
  KOLBRI_LOG_IF_FALSE(c && WriteModuleBytes(c->Callbacks, &table, sizeof table));
}

void CommonModule::SetRootDir(std::string_view sjis) {
  const std::optional<OrvuContext> c = ReadContext();
  if (!c || !c->RootDir) return;
  const std::string cut = CutSjis(sjis, kRootDirSize - 1);
  KOLBRI_LOG_IF_FALSE(WriteModuleBytes(c->RootDir, cut.c_str(), cut.size() + 1));
}

std::string CommonModule::RootDir() const {
  const std::optional<OrvuContext> c = ReadContext();
  char buf[kRootDirSize] = {};
  if (!c || !ReadModuleBytes(buf, c->RootDir, sizeof buf)) return {};
  return std::string(buf, strnlen(buf, sizeof buf));
}

int32_t CommonModule::LoadPlugin(const char* sjis_path) {
  if (!lib_) return -1;
  const char* path = sjis_path;
  int32_t unused = 0;
  const GuardedResult g = GuardedCall(load_plugin_, &path, nullptr, &unused);
  return g.faulted ? -1 : g.value;
}

MakeBmpResult CommonModule::MakeBmp(const OrvuIndexEntry* entry, bool overlay) {
  MakeBmpResult r;
  if (!lib_) {
    r.code = -1;
    return r;
  }
  const OrvuIndexEntry* e = entry;
  uint32_t flag = overlay ? kOverlayOn : kOverlayOff;
  HGLOBAL block = nullptr;
  const GuardedResult g = GuardedCall(make_bmp_, &e, &flag, &block);
  if (g.faulted) {
    r.faulted = true;
    return r;
  }
  r.code = g.value;
  if (r.code == 0) r.block = block;
  return r;
}

void CommonModule::UnloadPlugin() {
  if (!lib_) return;
  int32_t unused = 0;
  KOLBRI_LOG_IF_FALSE(!GuardedCall(unload_plugin_, nullptr, nullptr, &unused).faulted);
}

void CommonModule::Release() {
  lib_.reset();
  ctx_ = nullptr;
  initialize_ = load_plugin_ = make_bmp_ = unload_plugin_ = terminate_ = nullptr;
}

}  // namespace cgmodule
