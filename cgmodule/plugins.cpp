#include "cgmodule/plugins.h"

#include <windows.h>

#include "cgmodule/contract.h"
#include "cgmodule/guard.h"
#include "winui/text.h"

namespace cgmodule {
namespace {

// Paths are Shift-JIS by contract; going through the W calls keeps them right
// whatever the process's ANSI code page is.
class Library {
 public:
  explicit Library(const std::string& sjisPath) {
    // No "bad image" or "insert disk" boxes for files that are no library.
    const UINT old = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    h_ = LoadLibraryW(winui::FromSjis(sjisPath).c_str());
    SetErrorMode(old);
  }
  ~Library() {
    if (h_) FreeLibrary(h_);
  }
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;
  HMODULE get() const { return h_; }

 private:
  HMODULE h_ = nullptr;
};

class FindHandle {
 public:
  explicit FindHandle(HANDLE h) : h_(h) {}
  ~FindHandle() {
    if (h_ != INVALID_HANDLE_VALUE) FindClose(h_);
  }
  FindHandle(const FindHandle&) = delete;
  FindHandle& operator=(const FindHandle&) = delete;
  bool valid() const { return h_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return h_; }

 private:
  HANDLE h_;
};

}  // namespace

std::optional<std::string> ProbePlugin(const std::string& sjisFullPath) {
  Library lib(sjisFullPath);
  if (!lib.get()) return std::nullopt;
  auto init = reinterpret_cast<OrvuEntry>(GetProcAddress(lib.get(), kIdvInitialize));
  auto term = reinterpret_cast<OrvuEntry>(GetProcAddress(lib.get(), kIdvTerminate));
  if (!init || !term) return std::nullopt;

  uint32_t zeros[2] = {0, 0};
  uint32_t kind = kPluginQueryKind;
  OrvuPluginAnswer* answer = nullptr;
  const GuardedResult g = GuardedCall(init, zeros, &kind, &answer);
  std::optional<std::string> title;
  if (!g.faulted && answer) {
    // The answer is the plug-in's memory; a wild pointer must not take us down.
    struct Read {
      static int32_t __stdcall Title(void* a, void* out, void*) {
        auto* ans = static_cast<OrvuPluginAnswer*>(a);
        auto* s = static_cast<std::string*>(out);
        if (ans->Magic != kPluginMagic || !ans->Info || !ans->Info->Name) return 0;
        s->assign(ans->Info->Name);
        return 1;
      }
    };
    std::string name;
    const GuardedResult r = GuardedCall(&Read::Title, answer, &name, nullptr);
    if (!r.faulted && r.value == 1) title = std::move(name);
  }
  int32_t unused = 0;
  GuardedCall(term, nullptr, nullptr, &unused);
  return title;
}

std::vector<PluginListing> ListPlugins(const std::string& sjisDir) {
  std::vector<PluginListing> out;
  const std::wstring dir = winui::FromSjis(sjisDir);
  WIN32_FIND_DATAW fd;
  FindHandle find(FindFirstFileW((dir + L"*.kol").c_str(), &fd));
  if (!find.valid()) return out;
  do {
    constexpr DWORD skip =
        FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    if (fd.dwFileAttributes & skip) continue;
    const std::string name = winui::ToSjis(fd.cFileName);
    if (auto title = ProbePlugin(sjisDir + name)) out.push_back({std::move(*title), name});
  } while (FindNextFileW(find.get(), &fd));
  return out;
}

}  // namespace cgmodule
