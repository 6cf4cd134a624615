#pragma once
// Reading what the common module and plug-ins leave in their own memory: index
// entries, names and version records. None of it is trusted. Every read goes
// through the fault guard, so a pointer to a no-access page or a text with no
// terminator before one ends that one read, not the program; texts are cut at
// a bound; the index walk is iterative, cuts cycles and says what it left out.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cgmodule/contract.h"

namespace cgmodule {

// Longest text taken from the module (names, version texts), in bytes.
inline constexpr size_t kMaxModuleText = 1024;
// The one bound on the index: only shared child arrays can make a tree this
// large (every entry read once would need a title of four million pictures).
inline constexpr size_t kMaxIndexEntries = 4000000;

// Copies n bytes from module memory; false (dst untouched or partly written)
// when the source cannot be read. A guard page on the way is touched once more:
// the first touch lifts the guard.
bool ReadModuleBytes(void* dst, const void* src, size_t n);
// Copies n bytes into module memory; false when the destination cannot be
// written (possibly partly written).
bool WriteModuleBytes(void* dst, const void* src, size_t n);
// True when all n bytes at p can be read and written (each is read and written
// back unchanged).
bool ProbeModuleMemory(void* p, size_t n);

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

// What the viewer keeps of an index entry once the guarded walk has read it:
// the index tree's node data. `entry` is only handed back to the module.
struct IndexNode {
  const OrvuIndexEntry* entry = nullptr;
  bool category = false;
};

// One shown index entry, in depth-first index order.
struct IndexItem {
  const OrvuIndexEntry* entry = nullptr;  // the module's entry (tree node data)
  int parent = -1;                        // position of the parent item, -1 at the top
  bool category = false;
  std::string name;  // Shift-JIS, cut at kMaxModuleText
};

// Why a walk left something out; the first reason met is kept.
enum class IndexCut { None, Unreadable, Cycle, TooMany, NoMemory };

struct IndexWalk {
  std::vector<IndexItem> items;
  bool cut = false;  // something was left out
  IndexCut reason = IndexCut::None;
  int where = -1;  // item of the category whose contents are incomplete, -1: the top level
};

// Walks the index from its first top-level entry, depth first, with no limit
// on depth. An entry that cannot be read ends its array; a category whose
// Children leads back into an array on its own path is skipped (cycle); the
// walk ends at max_entries or when memory runs out, keeping what it read.
IndexWalk ReadIndex(const OrvuIndexEntry* root, size_t max_entries = kMaxIndexEntries);

}  // namespace cgmodule
