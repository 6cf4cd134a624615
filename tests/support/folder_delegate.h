#pragma once
// Shell folders as they are, with one answer changed, for what Wine's shell
// cannot produce. Reference-counted on the heap: the controls keep them.
#include <windows.h>
#include <shlobj.h>

#include <functional>
#include <utility>

namespace shtest {

// Passes every call to the real folder.
class Delegate : public IShellFolder {
 public:
  explicit Delegate(IShellFolder* real) : real_(real) { real_->AddRef(); }
  virtual ~Delegate() { real_->Release(); }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (riid == IID_IUnknown || riid == IID_IShellFolder) {
      *out = static_cast<IShellFolder*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG n = --refs_;
    if (n == 0) delete this;
    return n;
  }
  HRESULT STDMETHODCALLTYPE ParseDisplayName(HWND h, LPBC b, LPOLESTR n, ULONG* e,
                                             PIDLIST_RELATIVE* p, ULONG* a) override {
    return real_->ParseDisplayName(h, b, n, e, p, a);
  }
  HRESULT STDMETHODCALLTYPE EnumObjects(HWND h, SHCONTF f, IEnumIDList** e) override {
    return real_->EnumObjects(h, f, e);
  }
  HRESULT STDMETHODCALLTYPE BindToObject(PCUIDLIST_RELATIVE p, LPBC b, REFIID r,
                                         void** o) override {
    return real_->BindToObject(p, b, r, o);
  }
  HRESULT STDMETHODCALLTYPE BindToStorage(PCUIDLIST_RELATIVE p, LPBC b, REFIID r,
                                          void** o) override {
    return real_->BindToStorage(p, b, r, o);
  }
  HRESULT STDMETHODCALLTYPE CompareIDs(LPARAM l, PCUIDLIST_RELATIVE a,
                                       PCUIDLIST_RELATIVE b) override {
    return real_->CompareIDs(l, a, b);
  }
  HRESULT STDMETHODCALLTYPE CreateViewObject(HWND h, REFIID r, void** o) override {
    return real_->CreateViewObject(h, r, o);
  }
  HRESULT STDMETHODCALLTYPE GetAttributesOf(UINT c, PCUITEMID_CHILD_ARRAY p, SFGAOF* a) override {
    return real_->GetAttributesOf(c, p, a);
  }
  HRESULT STDMETHODCALLTYPE GetUIObjectOf(HWND h, UINT c, PCUITEMID_CHILD_ARRAY p, REFIID r,
                                          UINT* x, void** o) override {
    return real_->GetUIObjectOf(h, c, p, r, x, o);
  }
  HRESULT STDMETHODCALLTYPE GetDisplayNameOf(PCUITEMID_CHILD p, SHGDNF f, STRRET* s) override {
    return real_->GetDisplayNameOf(p, f, s);
  }
  HRESULT STDMETHODCALLTYPE SetNameOf(HWND h, PCUITEMID_CHILD p, LPCOLESTR n, SHGDNF f,
                                      PITEMID_CHILD* o) override {
    return real_->SetNameOf(h, p, n, f, o);
  }

 protected:
  IShellFolder* real_;
  ULONG refs_ = 1;
};

// Wine's file-system folders always enumerate, even a drive whose directory is
// gone, so a drive without a medium is modelled the way Windows answers for one:
// the real folder of q:, except that EnumObjects reports the device not ready.
class NotReadyFolder final : public Delegate {
 public:
  using Delegate::Delegate;
  HRESULT STDMETHODCALLTYPE EnumObjects(HWND, SHCONTF, IEnumIDList** e) override {
    *e = nullptr;
    return HRESULT_FROM_WIN32(ERROR_NOT_READY);
  }
};

// The desktop, except that the folder it binds for one absolute list (the
// drive) refuses to enumerate while no_medium is set.
class DesktopWithEmptyDrive final : public Delegate {
 public:
  DesktopWithEmptyDrive(IShellFolder* real, PCIDLIST_ABSOLUTE drive)
      : Delegate(real), drive_(drive) {}
  bool no_medium = true;
  int refusals = 0;
  HRESULT STDMETHODCALLTYPE BindToObject(PCUIDLIST_RELATIVE p, LPBC b, REFIID r,
                                         void** o) override {
    const HRESULT hr = real_->BindToObject(p, b, r, o);
    if (FAILED(hr) || !no_medium || real_->CompareIDs(0, p, drive_) != 0) return hr;
    auto* folder = static_cast<IShellFolder*>(*o);
    *o = static_cast<IShellFolder*>(new NotReadyFolder(folder));
    folder->Release();
    ++refusals;
    return hr;
  }

 private:
  PCIDLIST_ABSOLUTE drive_;
};

// The desktop, except that the folders it binds run a step inside SetNameOf
// before the rename, as a shell dialog running messages would.
class RefillingDesktop final : public Delegate {
 public:
  RefillingDesktop(IShellFolder* real, std::function<void()> during)
      : Delegate(real), during_(std::move(during)) {}
  int renames = 0;
  HRESULT STDMETHODCALLTYPE BindToObject(PCUIDLIST_RELATIVE p, LPBC b, REFIID r,
                                         void** o) override {
    const HRESULT hr = real_->BindToObject(p, b, r, o);
    if (FAILED(hr)) return hr;
    auto* folder = static_cast<IShellFolder*>(*o);
    *o = static_cast<IShellFolder*>(new Folder(folder, this));
    folder->Release();
    return hr;
  }

 private:
  class Folder final : public Delegate {
   public:
    Folder(IShellFolder* real, RefillingDesktop* owner) : Delegate(real), owner_(owner) {}
    HRESULT STDMETHODCALLTYPE SetNameOf(HWND h, PCUITEMID_CHILD p, LPCOLESTR n, SHGDNF f,
                                        PITEMID_CHILD* o) override {
      ++owner_->renames;
      owner_->during_();
      return real_->SetNameOf(h, p, n, f, o);
    }

   private:
    RefillingDesktop* owner_;
  };
  std::function<void()> during_;
};

}  // namespace shtest
