// An OLE drag of a file of ours and the picture it holds: a data object of
// two formats, steered by the unit's drop source.
#include <shlobj.h>

#include <cstring>

#include "base/com.h"
#include "base/diag.h"
#include "base/handle.h"
#include "shellcom/drpcomex.h"

namespace shcom {

namespace {

// A movable global block holding bytes; null when it cannot be made.
HGLOBAL GlobalCopy(const void* data, size_t size) {
  base::UniqueGlobal g(GlobalAlloc(GMEM_MOVEABLE, size));
  if (!g) return nullptr;
  void* p = GlobalLock(g.get());
  if (!p) return nullptr;
  {
    const base::UniqueGlobalLock lock(g.get());
    std::memcpy(p, data, size);
  }
  return g.release();
}

class FileDataObject final : public IDataObject {
 public:
  FileDataObject(std::wstring file, std::vector<uint8_t> dib)
      : file_(std::move(file)), dib_(std::move(dib)) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDataObject) {
      *out = static_cast<IDataObject*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override {
    return static_cast<ULONG>(InterlockedIncrement(&refs_));
  }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG n = InterlockedDecrement(&refs_);
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
  }

  HRESULT STDMETHODCALLTYPE GetData(FORMATETC* fmt, STGMEDIUM* medium) override {
    if (!fmt || !medium) return E_INVALIDARG;
    const HRESULT ok = QueryGetData(fmt);
    if (ok != S_OK) return ok;
    HGLOBAL g = fmt->cfFormat == CF_HDROP ? DropFiles() : GlobalCopy(dib_.data(), dib_.size());
    if (!g) return E_OUTOFMEMORY;
    medium->tymed = TYMED_HGLOBAL;
    medium->hGlobal = g;
    medium->pUnkForRelease = nullptr;  // the receiver frees it
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* fmt) override {
    if (!fmt) return E_INVALIDARG;
    if (fmt->cfFormat != CF_HDROP && !(fmt->cfFormat == CF_DIB && !dib_.empty()))
      return DV_E_FORMATETC;
    if (!(fmt->tymed & TYMED_HGLOBAL)) return DV_E_TYMED;
    if (fmt->dwAspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override {
    if (out) out->ptd = nullptr;
    return DATA_S_SAMEFORMATETC;
  }
  // Targets tell the source what they did (the shell's drop effects): nothing
  // here reads it.
  HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD direction, IEnumFORMATETC** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (direction != DATADIR_GET) return E_NOTIMPL;
    FORMATETC f[2] = {{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL},
                      {CF_DIB, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL}};
    return SHCreateStdEnumFmtEtc(dib_.empty() ? 1 : 2, f, out);
  }
  HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override {
    return OLE_E_ADVISENOTSUPPORTED;
  }
  HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
  HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override {
    return OLE_E_ADVISENOTSUPPORTED;
  }

 private:
  ~FileDataObject() = default;

  // DROPFILES with the one wide path, doubly terminated.
  HGLOBAL DropFiles() const {
    std::vector<uint8_t> b(sizeof(DROPFILES) + (file_.size() + 2) * sizeof(wchar_t));
    auto* df = reinterpret_cast<DROPFILES*>(b.data());
    df->pFiles = sizeof(DROPFILES);
    df->fWide = TRUE;
    std::memcpy(b.data() + sizeof(DROPFILES), file_.c_str(), file_.size() * sizeof(wchar_t));
    return GlobalCopy(b.data(), b.size());
  }

  LONG refs_ = 1;
  std::wstring file_;
  std::vector<uint8_t> dib_;
};

}  // namespace

DWORD StartFileDrag(const std::wstring& file, std::vector<uint8_t> dib) {
  if (file.empty()) return DROPEFFECT_NONE;
  base::ComPtr<IDataObject> data(new FileDataObject(file, std::move(dib)));
  base::ComPtr<IDropSource> source(TDropSourceObject::Create());
  DWORD effect = DROPEFFECT_NONE;
  // A move would take our file away before the next drag cleans it up: the
  // target gets a copy.
  if (KOLBRI_LOG_IF_FAILED(DoDragDrop(data.get(), source.get(), DROPEFFECT_COPY, &effect)) !=
      DRAGDROP_S_DROP)
    return DROPEFFECT_NONE;
  return effect;
}

}  // namespace shcom
