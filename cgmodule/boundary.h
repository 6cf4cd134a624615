#pragma once
// Reading what the common module and plug-ins leave in their own memory: index
// entries, names and version records. None of it is trusted. Every read goes
// through the fault guard, so a pointer to a no-access page or a text with no
// terminator before one ends that one read, not the program; texts are cut at
// a bound; the index walk is iterative, bounded in depth and count, and cuts
// cycles.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cgmodule/contract.h"

namespace cgmodule {

// Longest text taken from the module (names, version texts), in bytes.
inline constexpr size_t kMaxModuleText = 1024;
// Index bounds: deeper categories show without children, entries past the
// count are left out. Far beyond any title's index, and above the
// 100,000-entry index the benchmarks fill.
inline constexpr int kMaxIndexDepth = 64;
inline constexpr size_t kMaxIndexEntries = 131072;

// Copies n bytes from module memory; false (dst untouched or partly written)
// when the source cannot be read.
bool ReadModuleBytes(void* dst, const void* src, size_t n);

// The zero-terminated Shift-JIS text at p, cut at max_bytes without splitting a
// double-byte character (max_bytes is at most kMaxModuleText). Null, unreadable or unterminated
// before a page that cannot be read: the part that could be read (empty for null).
std::string ReadModuleText(const char* p, size_t max_bytes = kMaxModuleText);

// A version record as read once: null pointers and unreadable texts give empty
// texts; `present` is false when the record itself is null or unreadable.
struct VersionRecord {
  bool present = false;
  std::string name, date, notice;  // Shift-JIS
  int32_t version = 0;
};
VersionRecord ReadVersionRecord(const OrvuVersionInfo* rec);

// One shown index entry, in depth-first index order.
struct IndexItem {
  const OrvuIndexEntry* entry = nullptr;  // the module's entry (tree node data)
  int parent = -1;                        // position of the parent item, -1 at the top
  bool category = false;
  std::string name;  // Shift-JIS, cut at kMaxModuleText
};

struct IndexWalk {
  std::vector<IndexItem> items;
  bool cut = false;  // something was left out: a bound, a cycle or unreadable memory
};

// Walks the index from its first top-level entry. An entry that cannot be read
// ends its array; a category whose Children leads back into an array on its
// own path is skipped (cycle); categories at kMaxIndexDepth show no children.
IndexWalk ReadIndex(const OrvuIndexEntry* root, int max_depth = kMaxIndexDepth,
                    size_t max_entries = kMaxIndexEntries);

}  // namespace cgmodule
