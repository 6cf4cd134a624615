#pragma once
// A counted COM reference for one scope or one member.
#include <unknwn.h>

#include <utility>

namespace base {

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
  T** receive() {
    reset();
    return &p_;
  }
  void** receive_void() { return reinterpret_cast<void**>(receive()); }

 private:
  T* p_ = nullptr;
};

}  // namespace base
