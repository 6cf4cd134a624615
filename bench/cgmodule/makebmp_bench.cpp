// Cost of the fault guard around OrvuCmnMakeBmp: 2,000 synthetic 640x480
// 8-bit pictures from the stand-in module, rendered through CommonModule
// (guarded) and through the bare entry point.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "cgmodule/module.h"
#include "cgmodule/picture.h"
#include "tests/support/testsupport.h"

namespace {

constexpr int kPictures = 2000;

double Ms(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

void Report(const char* name, double ms, double bare) {
  std::printf("%s: %.1f ms, bare %.1f ms, ratio %.3f (%s)\n", name, ms, bare,
              bare > 0 ? ms / bare : 0.0, KOLBRI_BENCH_ARCH);
}

}  // namespace

int main() {
  testsupport::UseModuleVariant("");
  OrvuHostCallbacks table{};
  cgmodule::CommonModule m;
  if (m.Bind(OrvuHostRecord{nullptr, &table}) != cgmodule::BindResult::Ok) {
    std::fprintf(stderr, "cannot bind bin\\kolbri.dll\n");
    return 1;
  }
  std::string manifest = "category all\n";
  for (int i = 0; i < kPictures; ++i)
    manifest.append("  picture p")
        .append(std::to_string(i))
        .append("\tsynth=640x480x8:")
        .append(std::to_string(i))
        .append("\n");
  testsupport::TempDir tmp;
  const std::wstring kol = testsupport::InstallListedPlugin(tmp.path(), L"bench", manifest);
  const std::string kol_sjis = tmp.sjis() + "bench.kol";
  if (m.LoadPlugin(kol_sjis.c_str()) != 0) {
    std::fprintf(stderr, "cannot load the bench plug-in\n");
    return 1;
  }
  std::vector<const OrvuIndexEntry*> entries;
  for (const OrvuIndexEntry* e = m.Context()->IndexRoot->Children; e->Name; ++e)
    entries.push_back(e);

  auto bare =
      reinterpret_cast<OrvuEntry>(GetProcAddress(GetModuleHandleA("kolbri.dll"), kCmnMakeBmp));
  auto run_bare = [&] {
    for (const OrvuIndexEntry* e : entries) {
      const OrvuIndexEntry* arg = e;
      uint32_t flag = 0;
      HGLOBAL block = nullptr;
      bare(&arg, &flag, &block);
      cgmodule::PictureBlock b(block);
    }
  };
  auto run_guarded = [&] {
    for (const OrvuIndexEntry* e : entries) cgmodule::PictureBlock b(m.MakeBmp(e, false).block);
  };
  // Alternating rounds, best of each: the first rounds pay for fresh heap pages.
  double best_bare = 1e30, best_guarded = 1e30;
  for (int round = 0; round < 3; ++round) {
    auto t0 = std::chrono::steady_clock::now();
    run_bare();
    auto t1 = std::chrono::steady_clock::now();
    run_guarded();
    auto t2 = std::chrono::steady_clock::now();
    best_bare = std::min(best_bare, Ms(t1 - t0));
    best_guarded = std::min(best_guarded, Ms(t2 - t1));
  }
  Report("cgmodule_makebmp_2000x640x480x8", best_guarded, best_bare);

  // Plug-in load of a 100,000-entry index, guarded and bare.
  std::string big;
  for (int a = 0, n = 0; a < 100; ++a) {
    big.append("category c").append(std::to_string(a)).append("\n");
    for (int p = 0; p < 1000; ++p, ++n)
      big.append("  picture p").append(std::to_string(n)).append("\tsynth=16x16x8\n");
  }
  testsupport::InstallListedPlugin(tmp.path(), L"big", big);
  const std::string big_sjis = tmp.sjis() + "big.kol";
  auto load =
      reinterpret_cast<OrvuEntry>(GetProcAddress(GetModuleHandleA("kolbri.dll"), kCmnLoadPlugin));
  auto t3 = std::chrono::steady_clock::now();
  const char* path = big_sjis.c_str();
  int32_t unused = 0;
  load(&path, nullptr, &unused);
  auto t4 = std::chrono::steady_clock::now();
  m.LoadPlugin(big_sjis.c_str());
  auto t5 = std::chrono::steady_clock::now();
  Report("cgmodule_loadplugin_100000", Ms(t5 - t4), Ms(t4 - t3));
  m.UnloadPlugin();
  m.Release();
  return 0;
}
