#include <gtest/gtest.h>
#include <ole2.h>

#include <string>
#include <vector>

#include "shellcom/drpcomex.h"
#include "base/com.h"
#include "shellview/folderview.h"
#include "tests/support/host_window.h"
#include "tests/support/shell_env.h"
#include "tests/support/testsupport.h"
#include "base/handle.h"
#include "winui/binding.h"

using namespace shcom;
using base::ComPtr;

namespace {

// A window of this program that accepts drops and records what arrives.
class DropTarget final : public IDropTarget {
 public:
  DropTarget() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = L"ShellComDropTarget";
    RegisterClassW(&wc);
    hwnd_ = CreateWindowExW(WS_EX_TOPMOST, wc.lpszClassName, L"target", WS_POPUP | WS_VISIBLE, 600,
                            100, 200, 200, nullptr, nullptr, wc.hInstance, nullptr);
    RegisterDragDrop(hwnd_, this);
  }
  ~DropTarget() {
    RevokeDragDrop(hwnd_);
    DestroyWindow(hwnd_);
  }
  POINT Center() const { return POINT{700, 200}; }

  // Set (and left set) at the first DragEnter and at the first Drop.
  base::UniqueHandle entered{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  base::UniqueHandle dropped{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  int enters = 0, drops = 0;
  DWORD allowed = 0;
  bool id_list = false;
  std::vector<std::string> files;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (riid == IID_IUnknown || riid == IID_IDropTarget) {
      *out = this;
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE DragEnter(IDataObject*, DWORD, POINTL, DWORD* effect) override {
    ++enters;
    SetEvent(entered.get());
    allowed = *effect;
    *effect &= DROPEFFECT_COPY;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE DragOver(DWORD, POINTL, DWORD* effect) override {
    *effect &= DROPEFFECT_COPY;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE DragLeave() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD, POINTL, DWORD* effect) override {
    ++drops;
    FORMATETC ids{static_cast<CLIPFORMAT>(RegisterClipboardFormatW(CFSTR_SHELLIDLIST)), nullptr,
                  DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    id_list = data->QueryGetData(&ids) == S_OK;
    FORMATETC hdrop{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium{};
    if (data->GetData(&hdrop, &medium) == S_OK) {
      auto drop = static_cast<HDROP>(medium.hGlobal);
      for (UINT i = 0, n = DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0); i < n; ++i) {
        char name[MAX_PATH] = {};
        DragQueryFileA(drop, i, name, MAX_PATH);
        files.push_back(name);
      }
      ReleaseStgMedium(&medium);
    }
    *effect = DROPEFFECT_COPY;
    SetEvent(dropped.get());
    return S_OK;
  }

 private:
  HWND hwnd_ = nullptr;
};

}  // namespace

TEST(DropSourceObject, DragGoesOnWhileEitherButtonIsHeldAndEscapeCancels) {
  IDropSource* source = TDropSourceObject::Create();
  EXPECT_EQ(source->QueryContinueDrag(TRUE, MK_LBUTTON), DRAGDROP_S_CANCEL);
  EXPECT_EQ(source->QueryContinueDrag(FALSE, MK_RBUTTON), S_OK);  // left released, right held
  EXPECT_EQ(source->QueryContinueDrag(FALSE, MK_LBUTTON | MK_SHIFT), S_OK);
  EXPECT_EQ(source->QueryContinueDrag(FALSE, MK_CONTROL), DRAGDROP_S_DROP);
  EXPECT_EQ(source->GiveFeedback(DROPEFFECT_MOVE), DRAGDROP_S_USEDEFAULTCURSORS);

  IUnknown* unknown = nullptr;
  ASSERT_EQ(source->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
  EXPECT_EQ(unknown, static_cast<IUnknown*>(source));
  void* other = reinterpret_cast<void*>(1);
  EXPECT_EQ(source->QueryInterface(IID_IDropTarget, &other), E_NOINTERFACE);
  EXPECT_EQ(other, nullptr);
  EXPECT_EQ(unknown->Release(), 1u);
  EXPECT_EQ(source->Release(), 0u);
}

TEST(DropSourceEx, DataObjectCarriesTheRealFilesAndBadCountsStartNoDrag) {
  shtest::TempTree dir("shc_data");
  const std::string a = dir.File("a.txt"), b = dir.File("b.txt");
  auto dir_abs = shtest::ParsePath(dir.path());
  ComPtr<IShellFolder> folder;
  ASSERT_EQ(shview::DesktopFolder()->BindToObject(dir_abs.get(), nullptr, KOLBRI_IID_PPV(folder)),
            S_OK);
  auto first = shview::CopyLastItemID(shtest::ParsePath(a).get());
  auto second = shview::CopyLastItemID(shtest::ParsePath(b).get());
  // The two children back to back (the concatenation is typed absolute).
  auto both = shview::ConcatItemIDLists(shview::ConcatItemIDLists(nullptr, first.get()).get(),
                                        second.get());

  DropTarget target;
  shtest::HostWindow owner(100, 100);
  // No button is held, so a drag that starts drops at once where the pointer is.
  SetCursorPos(target.Center().x, target.Center().y);
  shtest::Pump();
  // 1025 items really there (the first child over and over): the count alone refuses.
  const UINT cb = first.get()->mkid.cb;
  shview::RelativeIDList many(static_cast<PIDLIST_RELATIVE>(shview::ShellAlloc(1025 * cb + 2)));
  ASSERT_TRUE(many);
  for (int i = 0; i < 1025; ++i)
    memcpy(reinterpret_cast<BYTE*>(many.get()) + i * cb, first.get(), cb);
  TDropSourceEx source;
  const long before = shtest::LiveTaskBlocks();
  source.StartShellDrag(owner.hwnd(), folder.get(), 0, both.get());
  source.StartShellDrag(owner.hwnd(), folder.get(), 1025, many.get());
  source.StartShellDrag(owner.hwnd(), folder.get(), 3, both.get());
  EXPECT_EQ(target.enters, 0);

  source.StartShellDrag(owner.hwnd(), folder.get(), 2, both.get());
  EXPECT_EQ(shtest::LiveTaskBlocks(), before);
  ASSERT_EQ(target.drops, 1);
  EXPECT_EQ(target.allowed,
            static_cast<DWORD>(DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK));
  EXPECT_TRUE(target.id_list);
  ASSERT_EQ(target.files.size(), 2u);
  EXPECT_EQ(lstrcmpiA(target.files[0].c_str(), a.c_str()), 0);
  EXPECT_EQ(lstrcmpiA(target.files[1].c_str(), b.c_str()), 0);
}

// The mouse, moved by input the system takes for the user's, drags a folder
// node of the tree onto the target window. Each step of the "user" waits for
// what the step before it caused; the waits' limits only end a broken run.
TEST(DropSourceEx, FolderTreeNodeDraggedWithTheMouseArrivesAtTheTarget) {
  shtest::TempTree dir("shc_drag");
  const std::string node = dir.Dir("dragged");
  shtest::HostWindow host;
  shview::TFolderView tree;
  TDropSourceEx source;
  tree.SetDropSource(&source);
  ASSERT_TRUE(tree.Create(host.hwnd(), RECT{0, 0, 400, 520}, 1));
  tree.SelectPath(dir.path());
  shview::Node parent = tree.RealSelection();
  tree.Expand(parent);
  shview::Node child = tree.FirstChild(parent);
  ASSERT_NE(child, nullptr);
  TreeView_EnsureVisible(tree.hwnd(), child);
  RECT r;
  ASSERT_TRUE(TreeView_GetItemRect(tree.hwnd(), child, &r, TRUE));
  POINT from{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  ClientToScreen(tree.hwnd(), &from);

  DropTarget target;
  // The tree tells its parent that a drag begins just before it starts one.
  base::UniqueHandle began(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  winui::WindowSubclass spy;
  ASSERT_TRUE(spy.Install(
      host.hwnd(), [&](HWND, UINT m, WPARAM w, LPARAM l, const winui::SubclassNext& next) {
        if (m == WM_NOTIFY && (reinterpret_cast<NMHDR*>(l)->code == TVN_BEGINDRAGW ||
                               reinterpret_cast<NMHDR*>(l)->code == TVN_BEGINDRAGA))
          SetEvent(began.get());
        return next(m, w, l);
      }));
  shtest::Pump();
  // Leaving the tree's drag rectangle starts the drag; OLE then follows the
  // pointer onto the target on its own.
  testsupport::DragAsUser(from, target.Center(), began.get(), target.entered.get(),
                          target.dropped.get(), [] { shtest::Pump(); });
  spy.Remove();
  ASSERT_EQ(target.drops, 1);
  ASSERT_EQ(target.files.size(), 1u);
  EXPECT_EQ(lstrcmpiA(target.files[0].c_str(), node.c_str()), 0);
  tree.Destroy();
}
