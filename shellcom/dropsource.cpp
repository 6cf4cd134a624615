#include "shellcom/drpcomex.h"
#include "shellcom/itemsplit.h"
#include "base/com.h"
#include "base/diag.h"

namespace shcom {

IDropSource* TDropSourceObject::Create() { return new TDropSourceObject(); }

HRESULT TDropSourceObject::QueryInterface(REFIID riid, void** out) {
  if (!out) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IDropSource) {
    *out = static_cast<IDropSource*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

ULONG TDropSourceObject::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }

ULONG TDropSourceObject::Release() {
  const LONG n = InterlockedDecrement(&refs_);
  if (n == 0) delete this;
  return static_cast<ULONG>(n);
}

HRESULT TDropSourceObject::QueryContinueDrag(BOOL escape_pressed, DWORD key_state) {
  if (escape_pressed) return DRAGDROP_S_CANCEL;
  if (!(key_state & (MK_LBUTTON | MK_RBUTTON))) return DRAGDROP_S_DROP;
  return S_OK;
}

HRESULT TDropSourceObject::GiveFeedback(DWORD) { return DRAGDROP_S_USEDEFAULTCURSORS; }

void TDropSourceEx::StartShellDrag(HWND owner, IShellFolder* folder, int count,
                                   PCUIDLIST_RELATIVE items) {
  if (!owner || !folder || !items || !shview::ShellMalloc() || count < 1 || count > kMaxItems)
    return;
  ItemSplit split;
  if (!split.Take(items, count)) return;
  base::ComPtr<IDataObject> data;
  if (FAILED(KOLBRI_LOG_IF_FAILED(
          folder->GetUIObjectOf(owner, split.count(), split.data(), KOLBRI_IID_NULL_PPV(data)))) ||
      !data)
    return;
  base::ComPtr<IDropSource> source(TDropSourceObject::Create());
  DWORD effect = DROPEFFECT_NONE;  // what the target did is not used
  KOLBRI_LOG_IF_FAILED(DoDragDrop(data.get(), source.get(),
                                  DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK, &effect));
}

}  // namespace shcom
