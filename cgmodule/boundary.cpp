#include "cgmodule/boundary.h"

#include <cstring>
#include <map>
#include <new>
#include <vector>

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

// A guard page raises its exception once and lifts its guard: the same read
// then succeeds. Any other fault, or a second one, ends the read.
template <class F>
bool GuardedTwice(F&& once) {
  const GuardedResult g = once();
  if (!g.faulted) return true;
  return g.exception_code == STATUS_GUARD_PAGE_VIOLATION && !once().faulted;
}

bool ReadModuleBytes(void* dst, const void* src, size_t n) {
  if (!src) return false;
  CopyArgs a{dst, src, n};
  return GuardedTwice([&] { return GuardedCall(&CopyBytes, &a, nullptr, nullptr); });
}

bool WriteModuleBytes(void* dst, const void* src, size_t n) {
  if (!dst) return false;
  CopyArgs a{dst, src, n};
  return GuardedTwice([&] { return GuardedCall(&CopyBytes, &a, nullptr, nullptr); });
}

bool ProbeModuleMemory(void* p, size_t n) {
  if (!p) return false;
  std::vector<char> keep(n);
  return ReadModuleBytes(keep.data(), p, n) && WriteModuleBytes(p, keep.data(), n);
}

std::string ReadModuleText(const char* p, size_t max_bytes) {
  if (!p) return {};
  if (max_bytes > kMaxModuleText) max_bytes = kMaxModuleText;
  // One byte more than kept, so a text cut at the bound is not taken for a
  // whole one ending in a lead byte.
  char buf[kMaxModuleText + 1];
  TextArgs a{p, buf, max_bytes + 1, 0};
  // The second attempt goes on where the first stopped.
  GuardedTwice([&] { return GuardedCall(&CopyText, &a, nullptr, nullptr); });
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

namespace {

// The depth-first walk's state: one level per array on the current path.
class IndexWalker {
 public:
  explicit IndexWalker(size_t max_entries) : max_entries_(max_entries) {}

  IndexWalk Run(const OrvuIndexEntry* root) {
    try {
      if (root) Push(root, -1);
      while (!stack_.empty() && Step()) {
      }
    } catch (const std::bad_alloc&) {
      // What was read so far stays (push_back keeps the items on failure).
      Cut(IndexCut::NoMemory, stack_.empty() ? -1 : stack_.back().parent);
    }
    return std::move(w_);
  }

 private:
  struct Level {
    uintptr_t start;
    const OrvuIndexEntry* next;  // the array's next entry; those before it are taken
    int parent;                  // item of the category whose array this is
  };

  void Cut(IndexCut why, int where) {
    w_.cut = true;
    if (w_.reason != IndexCut::None) return;
    w_.reason = why;
    w_.where = where;
  }

  void Push(const OrvuIndexEntry* first, int parent) {
    // No two arrays on the path start alike: one that did would be a cycle.
    const auto start = reinterpret_cast<uintptr_t>(first);
    stack_.push_back({start, first, parent});
    starts_.emplace(start, stack_.size() - 1);
  }

  void Pop() {
    starts_.erase(stack_.back().start);
    stack_.pop_back();
  }

  // True when c lies among the entries already taken from an array on the
  // path: following it would walk the same entries again. Only the array
  // starting nearest below c is asked; arrays that overlap each other (no real
  // index has them) can only repeat entries until the entry bound ends the walk.
  bool OnPath(uintptr_t c) const {
    auto it = starts_.upper_bound(c);
    if (it == starts_.begin()) return false;
    --it;
    return c < reinterpret_cast<uintptr_t>(stack_[it->second].next);
  }

  // Takes the next entry of the top array; false ends the walk.
  bool Step() {
    Level& lv = stack_.back();
    OrvuIndexEntry e{};
    const OrvuIndexEntry* at = lv.next;
    const bool readable = at && ReadModuleBytes(&e, at, sizeof e);
    if (!readable && at) Cut(IndexCut::Unreadable, lv.parent);
    if (!readable || !e.Name) {
      Pop();
      return true;
    }
    if (w_.items.size() >= max_entries_) {
      Cut(IndexCut::TooMany, lv.parent);
      return false;
    }
    lv.next = at + 1;
    const bool category = e.IsCategory();
    const bool descend = category && e.Children;
    if (descend && OnPath(reinterpret_cast<uintptr_t>(e.Children))) {
      Cut(IndexCut::Cycle, lv.parent);
      return true;
    }
    IndexItem item;
    item.entry = at;
    item.parent = lv.parent;
    item.category = category;
    item.name = ReadModuleText(e.Name);
    w_.items.push_back(std::move(item));
    if (descend) Push(e.Children, static_cast<int>(w_.items.size()) - 1);
    return true;
  }

  const size_t max_entries_;
  IndexWalk w_;
  std::vector<Level> stack_;
  std::map<uintptr_t, size_t> starts_;  // start of each array on the path -> its level
};

}  // namespace

IndexWalk ReadIndex(const OrvuIndexEntry* root, size_t max_entries) {
  return IndexWalker(max_entries).Run(root);
}

}  // namespace cgmodule
