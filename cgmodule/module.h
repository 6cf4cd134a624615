#pragma once
// The viewer's binding to the common module kolbri.dll.
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/handle.h"
#include "cgmodule/contract.h"

namespace cgmodule {

enum class BindResult {
  Ok,
  NotFound,           // kolbri.dll could not be loaded
  OtherArchitecture,  // kolbri.dll is a library of the other architecture (32/64-bit)
  Broken,             // an entry point is missing, or initialisation itself faulted
  WrongMagic,         // context magic differs (also: no module version record)
  TooOld,             // module version below 1.0
  NoContext,          // initialisation handed back no context
};

// Start-up message for a failed binding (context word "初期化"); null for Ok.
// NoContext is reported as a broken module: the library answered the call but
// cannot be used, which is what "kolbri.dllが壊れています" tells the user.
const wchar_t* BindMessage(BindResult r);

struct MakeBmpResult {
  bool faulted = false;     // the call ended in a system exception instead of returning
  int32_t code = 0;         // the module's result when not faulted
  HGLOBAL block = nullptr;  // picture block (caller owns it); only set when code == 0
};

// "元ファイルが開けません" for kMakeBmpCantOpen, "メモリ確保に失敗しました" for
// kMakeBmpNoMemory (also the viewer's own bitmaps that cannot be made), the catch-all
// otherwise (also for a success with a missing or unlockable block).
const wchar_t* MakeBmpMessage(int32_t code);
inline constexpr const wchar_t* kUnknownErrorMessage =
    L"何だかよく分からないエラーが発生しました（＾＾；";
// A MakeBmp call that faulted.
inline constexpr const wchar_t* kInternalErrorMessage = L"内部でエラーが発生しました";

// Owns the library handle. Binding failures release the library with no
// further call into it. The destructor only releases the library; the orderly
// shutdown (UnloadPlugin, then Release) is the owner's to run.
class CommonModule {
 public:
  CommonModule() = default;
  ~CommonModule();
  CommonModule(const CommonModule&) = delete;
  CommonModule& operator=(const CommonModule&) = delete;

  // Loads "kolbri.dll" by bare name, looks up all five entry points, calls
  // OrvuCmnInitialize(&host, &zero, &context), checks magic then version.
  BindResult Bind(const OrvuHostRecord& host);

  bool Bound() const { return lib_.valid(); }
  // The module's context: its address, for the module's own use only; the
  // viewer reads it through ReadContext.
  OrvuContext* Context() const { return ctx_; }
  // A guarded copy of the context; empty when unbound or unreadable.
  std::optional<OrvuContext> ReadContext() const;

  // After a successful Bind: HostInfo := host_info, Callbacks := copy of table.
  void Attach(OrvuVersionInfo* host_info, const OrvuHostCallbacks& table);
  // Writes RootDir, cut to 255 bytes (never splitting a double-byte character).
  void SetRootDir(std::string_view sjis);
  std::string RootDir() const;

  // Raw OrvuCmnLoadPlugin result (negative: failure); -1 when unbound or the
  // call faulted.
  int32_t LoadPlugin(const char* sjis_path);
  // Guarded OrvuCmnMakeBmp; callable from the batch worker thread too.
  MakeBmpResult MakeBmp(const OrvuIndexEntry* entry, bool overlay);
  void UnloadPlugin();
  // FreeLibrary; afterwards unbound.
  void Release();

 private:
  base::UniqueModule lib_;
  OrvuContext* ctx_ = nullptr;
  OrvuEntry initialize_ = nullptr;
  OrvuEntry load_plugin_ = nullptr;
  OrvuEntry make_bmp_ = nullptr;
  OrvuEntry unload_plugin_ = nullptr;
  OrvuEntry terminate_ = nullptr;
};

// Cuts a Shift-JIS text to at most max_bytes bytes without splitting a lead byte
// from its trail byte.
std::string CutSjis(std::string_view s, size_t max_bytes);

}  // namespace cgmodule
