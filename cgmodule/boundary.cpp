#include "cgmodule/boundary.h"

#include <cstring>

#include "cgmodule/guard.h"
#include "cgmodule/module.h"

namespace cgmodule {
namespace {

// The guarded readers own nothing that needs unwinding: a fault leaves them
// through the guard at any instruction.
struct CopyArgs {
  void* dst;
  const void* src;
  size_t n;
};

int32_t __stdcall CopyBytes(void* args, void*, void*) {
  auto* a = static_cast<CopyArgs*>(args);
  auto* d = static_cast<volatile char*>(a->dst);
  const auto* s = static_cast<const volatile char*>(a->src);
  for (size_t i = 0; i < a->n; ++i) d[i] = s[i];
  return 0;
}

struct TextArgs {
  const char* src;
  char* dst;
  size_t max;
  size_t len;  // bytes copied so far: what was readable when a fault ends the copy
};

int32_t __stdcall CopyText(void* args, void*, void*) {
  auto* a = static_cast<TextArgs*>(args);
  const auto* s = reinterpret_cast<const volatile char*>(a->src);
  while (a->len < a->max) {
    const char c = s[a->len];
    if (c == '\0') break;
    a->dst[a->len] = c;
    ++a->len;
  }
  return 0;
}

}  // namespace

bool ReadModuleBytes(void* dst, const void* src, size_t n) {
  if (!src) return false;
  CopyArgs a{dst, src, n};
  return !GuardedCall(&CopyBytes, &a, nullptr, nullptr).faulted;
}

std::string ReadModuleText(const char* p, size_t max_bytes) {
  if (!p) return {};
  if (max_bytes > kMaxModuleText) max_bytes = kMaxModuleText;
  // One byte more than kept, so a text cut at the bound is not taken for a
  // whole one ending in a lead byte.
  char buf[kMaxModuleText + 1];
  TextArgs a{p, buf, max_bytes + 1, 0};
  GuardedCall(&CopyText, &a, nullptr, nullptr);
  const std::string_view text(buf, a.len);
  return a.len > max_bytes ? CutSjis(text, max_bytes) : std::string(text);
}

VersionRecord ReadVersionRecord(const OrvuVersionInfo* rec) {
  VersionRecord r;
  OrvuVersionInfo v{};
  if (!rec || !ReadModuleBytes(&v, rec, sizeof v)) return r;
  r.present = true;
  r.name = ReadModuleText(v.Name);
  r.date = ReadModuleText(v.Date);
  r.notice = ReadModuleText(v.Notice);
  r.version = v.Version;
  return r;
}

IndexWalk ReadIndex(const OrvuIndexEntry* root, int max_depth, size_t max_entries) {
  IndexWalk w;
  struct Level {
    const OrvuIndexEntry* next;
    int parent;  // item of the category whose array this is
  };
  std::vector<Level> stack;
  // Where each array on the current path starts; with its level's `next`, the
  // entries already taken from it, which a Children must not lead back into.
  std::vector<uintptr_t> path;
  if (root) {
    stack.push_back({root, -1});
    path.push_back(reinterpret_cast<uintptr_t>(root));
  }
  while (!stack.empty()) {
    Level& lv = stack.back();
    OrvuIndexEntry e{};
    const OrvuIndexEntry* at = lv.next;
    const bool readable = at && ReadModuleBytes(&e, at, sizeof e);
    if (!readable) w.cut = w.cut || at;
    if (!readable || !e.Name) {
      path.pop_back();
      stack.pop_back();
      continue;
    }
    if (w.items.size() >= max_entries) {
      w.cut = true;
      break;
    }
    lv.next = at + 1;
    IndexItem item;
    item.entry = at;
    item.parent = lv.parent;
    item.category = e.IsCategory();
    const bool descend = item.category && e.Children;
    if (descend) {
      const auto c = reinterpret_cast<uintptr_t>(e.Children);
      bool cycle = false;
      for (size_t i = 0; !cycle && i < path.size(); ++i)
        cycle = c >= path[i] && c < reinterpret_cast<uintptr_t>(stack[i].next);
      if (cycle) {
        w.cut = true;
        continue;
      }
    }
    item.name = ReadModuleText(e.Name);
    w.items.push_back(std::move(item));
    if (!descend) continue;
    if (static_cast<int>(stack.size()) >= max_depth) {
      w.cut = true;
      continue;
    }
    const int parent = static_cast<int>(w.items.size()) - 1;
    stack.push_back({e.Children, parent});
    path.push_back(reinterpret_cast<uintptr_t>(e.Children));
  }
  return w;
}

}  // namespace cgmodule
