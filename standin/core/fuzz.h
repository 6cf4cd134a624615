#pragma once
// Hostile data for the fuzzing module and plug-in: a seeded generator, memory
// that ends right before a page no one may read, and version records at their
// edges. Used only by the fuzz builds (standin/module/fuzz.cpp,
// standin/plugins/fuzzplugin.cpp).
#include <windows.h>

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "cgmodule/contract.h"

namespace standin::fuzz {

// The seed of the current run: the decimal value of KOLBRI_FUZZ_SEED, read
// afresh on every call so one process can run many seeds; none when unset.
std::optional<uint64_t> SeedFromEnvironment();

// splitmix64: small, seedable, the same on both architectures.
class Rng {
 public:
  explicit Rng(uint64_t seed) : s_(seed) {}
  uint64_t Next();
  uint32_t Below(uint32_t n) { return n ? static_cast<uint32_t>(Next() % n) : 0; }
  bool OneIn(uint32_t n) { return Below(n) == 0; }
  template <class T, size_t N>
  T Pick(const T (&a)[N]) {
    return a[Below(N)];
  }

 private:
  uint64_t s_;
};

// Allocations handed to the viewer until the next reset: ordinary heap memory,
// or pages followed by a no-access page so that any read past the end faults.
class Arena {
 public:
  Arena() = default;
  Arena(const Arena&) = delete;
  Arena& operator=(const Arena&) = delete;
  ~Arena() { Reset(); }
  void Reset();
  // n bytes whose last byte is followed by a no-access page.
  void* AtPageEnd(size_t n);
  // A page that cannot be read at all.
  void* NoAccess();
  // Text kept as is (the caller decides about a terminator).
  char* Text(const std::string& bytes, bool terminated, bool at_page_end);
  // A terminated text on pages that raise a guard-page exception at the first touch.
  char* GuardedText(const std::string& bytes);
  // Zeroed arrays; on pages of their own once PagedArrays is set, so that
  // Withdraw can take them away.
  template <class T>
  T* Array(size_t n) {
    if (paged_arrays_) return static_cast<T*>(AtPageEnd(n * sizeof(T)));
    blocks_.emplace_back(n * sizeof(T), '\0');
    return reinterpret_cast<T*>(blocks_.back().data());
  }
  void PagedArrays(bool on) { paged_arrays_ = on; }
  // Every page handed out becomes unreadable: a module withdrawing its index.
  void Withdraw();

 private:
  std::deque<std::string> blocks_;
  std::vector<std::pair<void*, size_t>> regions_;
  bool paged_arrays_ = false;
};

// A text for a name or a version field: ordinary, empty, 64 KiB, a lone lead
// byte at the end, a path trying to leave a folder, or not terminated before a
// no-access page.
char* HostileText(Rng& rng, Arena& arena);
// Null record, null fields, 64 KiB texts, versions with bits above 15 set.
OrvuVersionInfo* HostileVersion(Rng& rng, Arena& arena);

}  // namespace standin::fuzz
