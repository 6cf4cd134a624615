#pragma once
// What the shell view benchmarks share: a clock, parsing a path, medians of
// paired rounds.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "shellview/shview.h"

namespace shbench {

inline double Now() {
  static LARGE_INTEGER freq = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return 1000.0 * static_cast<double>(t.QuadPart) / static_cast<double>(freq.QuadPart);
}

// An ASCII path's absolute list.
inline shview::AbsoluteIDList Parse(const std::string& path) {
  shview::AbsoluteIDList list;
  std::wstring w(path.begin(), path.end());
  ULONG eaten = 0;
  shview::DesktopFolder()->ParseDisplayName(nullptr, nullptr, w.data(), &eaten,
                                            reinterpret_cast<PIDLIST_RELATIVE*>(list.receive()),
                                            nullptr);
  return list;
}

inline double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

inline void ReportMedians(const char* name, const std::vector<double>& x,
                          const std::vector<double>& bare, const std::vector<double>& ratios) {
  std::printf("%s: %.1f ms, bare %.1f ms, ratio %.2f (%s; median of %zu paired rounds)\n", name,
              Median(x), Median(bare), Median(ratios), KOLBRI_BENCH_ARCH, ratios.size());
  std::fflush(stdout);
}

}  // namespace shbench
