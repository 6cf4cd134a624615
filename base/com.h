#pragma once
// A counted COM reference for one scope or one member. The interface id of
// every query and out-parameter comes from the type (__uuidof, as
// IID_PPV_ARGS does), so an id cannot disagree with the pointer it fills.
#include <unknwn.h>

#include <utility>

namespace base {

template <class T>
class ComPtr;

// A new reference to U from `from` (null or lacking U: none).
template <class U, class T>
ComPtr<U> QueryAs(T* from);

template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  // Adopts a reference the caller already holds.
  explicit ComPtr(T* adopt) : p_(adopt) {}
  ~ComPtr() { reset(); }
  ComPtr(const ComPtr& o) : p_(o.p_) {
    if (p_) p_->AddRef();
  }
  ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  ComPtr& operator=(ComPtr o) noexcept {
    std::swap(p_, o.p_);
    return *this;
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  void reset() {
    if (p_) std::exchange(p_, nullptr)->Release();
  }
  // Releases the current reference; the out-parameter a call fills.
  T** put() {
    reset();
    return &p_;
  }
  template <class U>
  ComPtr<U> As() const {
    return QueryAs<U>(p_);
  }

 private:
  T* p_ = nullptr;
};

template <class U, class T>
ComPtr<U> QueryAs(T* from) {
  ComPtr<U> to;
  // A refusal leaves the out-parameter null.
  if (from) from->QueryInterface(__uuidof(U), reinterpret_cast<void**>(to.put()));
  return to;
}

// The two halves of KOLBRI_IID_PPV.
template <class T>
REFIID IidOf(const ComPtr<T>&) {
  return __uuidof(T);
}
template <class T>
void** PutVoid(ComPtr<T>& out) {
  return reinterpret_cast<void**>(out.put());
}

}  // namespace base

// The (REFIID, void**) pair of a call that hands back an interface by id,
// filling `com` (a base::ComPtr).
#define KOLBRI_IID_PPV(com) ::base::IidOf(com), ::base::PutVoid(com)
// GetUIObjectOf's order: the id, its reserved null, then the out-parameter.
#define KOLBRI_IID_NULL_PPV(com) ::base::IidOf(com), nullptr, ::base::PutVoid(com)
