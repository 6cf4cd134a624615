#include "cgmodule/plugins.h"

#include <windows.h>

#include "cgmodule/boundary.h"
#include "cgmodule/contract.h"
#include "cgmodule/guard.h"
#include "base/diag.h"
#include "base/handle.h"
#include "base/text.h"

namespace cgmodule {
namespace {

// Paths are Shift-JIS by contract; going through the W calls keeps them right
// whatever the process's ANSI code page is.
base::UniqueModule LoadPluginLibrary(const std::string& sjis_path) {
  // No "bad image" or "insert disk" boxes for files that are no library.
  const UINT old = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  base::UniqueModule lib(LoadLibraryW(base::FromSjis(sjis_path).c_str()));
  SetErrorMode(old);
  return lib;
}

}  // namespace

std::optional<std::string> ProbePlugin(const std::string& sjis_full_path) {
  const base::UniqueModule lib = LoadPluginLibrary(sjis_full_path);
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
    OrvuPluginAnswer a{};
    if (ReadModuleBytes(&a, answer, sizeof a) && a.Magic == kPluginMagic) {
      OrvuVersionInfo info{};
      if (ReadModuleBytes(&info, a.Info, sizeof info) && info.Name)
        title = ReadModuleText(info.Name);
    }
  }
  int32_t unused = 0;
  // The listing stands either way; a plug-in that faults on the way out is only noted.
  KOLBRI_LOG_IF_FALSE(!GuardedCall(term, nullptr, nullptr, &unused).faulted);
  return title;
}

std::vector<PluginListing> ListPlugins(const std::string& sjis_dir) {
  std::vector<PluginListing> out;
  const std::wstring dir = base::FromSjis(sjis_dir);
  WIN32_FIND_DATAW fd;
  const base::UniqueFind find(FindFirstFileW((dir + L"*.kol").c_str(), &fd));
  if (!find) return out;
  do {
    constexpr DWORD skip = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    if (fd.dwFileAttributes & skip) continue;
    const std::string name = base::ToSjis(fd.cFileName);
    if (auto title = ProbePlugin(sjis_dir + name)) out.push_back({std::move(*title), name});
  } while (FindNextFileW(find.get(), &fd));
  return out;
}

}  // namespace cgmodule
