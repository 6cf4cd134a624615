#include "winui/binding.h"

#include <mutex>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "base/diag.h"

namespace winui {

// ---- Binding ---------------------------------------------------------------

namespace {

// Every live WindowObject, so that a foreign value in GWLP_USERDATA is never
// taken for one. Windows live on several threads (the UI-call window too).
struct Registry {
  std::mutex lock;
  std::unordered_set<const WindowObject*> live;
};
Registry& Objects() {
  static Registry r;
  return r;
}

}  // namespace

WindowObject::WindowObject() {
  Registry& r = Objects();
  std::lock_guard<std::mutex> g(r.lock);
  r.live.insert(this);
}

WindowObject::~WindowObject() {
  if (bound_ && IsWindow(bound_) &&
      GetWindowLongPtrW(bound_, GWLP_USERDATA) == reinterpret_cast<LONG_PTR>(this))
    SetWindowLongPtrW(bound_, GWLP_USERDATA, 0);
  Registry& r = Objects();
  std::lock_guard<std::mutex> g(r.lock);
  r.live.erase(this);
}

void BindWindow(HWND h, WindowObject* object) {
  if (!h) return;
  SetWindowLongPtrW(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(object));
  if (object) object->bound_ = h;
}

WindowObject* BoundObject(HWND h) {
  if (!h) return nullptr;
  auto* p = reinterpret_cast<WindowObject*>(GetWindowLongPtrW(h, GWLP_USERDATA));
  if (!p) return nullptr;
  Registry& r = Objects();
  std::lock_guard<std::mutex> g(r.lock);
  return r.live.count(p) ? p : nullptr;
}

// ---- Subclassing -------------------------------------------------------------

struct SubclassEntry {
  SubclassProc proc;
  bool removed = false;
};

// One per subclassed window, in front of the window's own procedure. Used
// only on the window's thread; the map of chains is shared.
struct SubclassChain {
  WNDPROC original = nullptr;
  std::vector<std::shared_ptr<SubclassEntry>> entries;  // oldest first
  int depth = 0;           // messages being handled right now (nesting)
  bool destroyed = false;  // WM_NCDESTROY went through

  LRESULT Run(HWND h, UINT msg, WPARAM wp, LPARAM lp, size_t below) {
    while (below > 0) {
      // Held for the call: the owner may remove and destroy itself meanwhile.
      std::shared_ptr<SubclassEntry> e = entries[--below];
      if (!e->removed) return e->proc(h, msg, wp, lp, SubclassNext(h, this, below));
    }
    return CallWindowProcW(original, h, msg, wp, lp);
  }
  // Entries leave the vector only when no message is running through it.
  void Prune() {
    if (depth == 0) std::erase_if(entries, [](const auto& e) { return e->removed; });
  }
};

namespace {

struct Chains {
  std::mutex lock;
  std::unordered_map<HWND, SubclassChain*> map;
};
Chains& AllChains() {
  static Chains c;
  return c;
}

SubclassChain* ChainOf(HWND h) {
  Chains& c = AllChains();
  std::lock_guard<std::mutex> g(c.lock);
  auto it = c.map.find(h);
  return it == c.map.end() ? nullptr : it->second;
}

LRESULT CALLBACK Dispatch(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  SubclassChain* chain = ChainOf(h);
  // Only a window we subclassed reaches here, and its chain lives until its
  // last message; a window without one has lost its own procedure.
  if (!KOLBRI_LOG_IF_FALSE(chain != nullptr)) return DefWindowProcW(h, msg, wp, lp);
  ++chain->depth;
  const LRESULT r = chain->Run(h, msg, wp, lp, chain->entries.size());
  --chain->depth;
  KOLBRI_CHECK(chain->depth >= 0);
  if (msg == WM_NCDESTROY) {
    // Entries still installed become inert; their owners hold them.
    for (auto& e : chain->entries) e->removed = true;
    chain->destroyed = true;
  }
  if (chain->depth > 0) return r;
  if (!chain->destroyed) {
    chain->Prune();
    return r;
  }
  {
    // The handle may come back for another window, possibly subclassed already.
    Chains& c = AllChains();
    std::lock_guard<std::mutex> g(c.lock);
    auto it = c.map.find(h);
    if (it != c.map.end() && it->second == chain) c.map.erase(it);
  }
  delete chain;
  return r;
}

}  // namespace

LRESULT SubclassNext::operator()(UINT msg, WPARAM wp, LPARAM lp) const {
  return chain_->Run(h_, msg, wp, lp, below_);
}

bool WindowSubclass::Install(HWND h, SubclassProc proc) {
  Remove();
  if (!IsWindow(h)) return false;
  SubclassChain* chain = ChainOf(h);
  if (!chain || chain->destroyed) {
    chain = new SubclassChain;
    Chains& c = AllChains();
    {
      std::lock_guard<std::mutex> g(c.lock);
      c.map[h] = chain;
    }
    chain->original = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Dispatch)));
    // Every window has a procedure: none read back means none was replaced.
    if (!KOLBRI_LOG_IF_FALSE(chain->original != nullptr)) {
      {
        std::lock_guard<std::mutex> g(c.lock);
        c.map.erase(h);
      }
      delete chain;
      return false;
    }
  }
  entry_ = std::make_shared<SubclassEntry>();
  entry_->proc = std::move(proc);
  chain->entries.push_back(entry_);
  hwnd_ = h;
  return true;
}

void WindowSubclass::Remove() {
  if (!entry_) return;
  entry_->removed = true;
  // Only the chain that holds this very entry is pruned: after the window's end
  // its handle may belong to another window with a chain of its own.
  if (SubclassChain* chain = ChainOf(hwnd_); chain && !chain->destroyed) chain->Prune();
  entry_.reset();
  hwnd_ = nullptr;
}

}  // namespace winui
