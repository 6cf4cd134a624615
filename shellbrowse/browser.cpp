#include "shellbrowse/browser.h"

#include <algorithm>

#include "base/diag.h"
#include "base/text.h"

namespace browse {
namespace {

// The mask applies once typing pauses, not at every key: a refill enumerates the folder.
constexpr UINT_PTR kMaskTimer = 1;
constexpr UINT kMaskDelayMs = 400;

}  // namespace

std::vector<std::string> ParseMask(std::wstring_view text) {
  std::vector<std::string> lines;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && (text[i] == L' ' || text[i] == L'\t' || text[i] == L'　')) ++i;
    size_t end = i;
    while (end < text.size() && text[end] != L' ' && text[end] != L'\t' && text[end] != L'　')
      ++end;
    if (end > i) lines.push_back(base::ToAcp(std::wstring(text.substr(i, end - i))));
    i = end;
  }
  return lines;
}

TBrowseForm::TBrowseForm() = default;
// The views and components unlink themselves as each goes, in any order.
TBrowseForm::~TBrowseForm() = default;

void TBrowseForm::Create() {
  CreateForm(L"シェルブラウザ", 760, 520, winui::FormStyle::Sizeable, true);
  mask_label_.Create(*this, 0, 0, 90, 20, L"マスク(&M):");
  mask_.Create(*this, 0, 0, 160, 24, L".bmp .JPG");
  mask_.on_change = [this] {
    KOLBRI_LOG_IF_FALSE(SetTimer(hwnd_, kMaskTimer, kMaskDelayMs, nullptr));
  };

  KOLBRI_LOG_IF_FALSE(combo_.Create(*this, 0, 0, 10, 10));
  const std::vector<std::string> lines = ParseMask(mask_.Text());
  list_.SetMask(&lines);
  list_.SetViewStyle(shview::TFileView::ViewStyle::vsReport);
  list_.SetContextMenu(&menu_);
  list_.SetDropSource(&drag_);
  KOLBRI_LOG_IF_FALSE(list_.Create(*this, 0, 0, 10, 10));
  // Linked before the tree exists: its first selection (the desktop) reaches both.
  tree_.SetHideSelection(false);  // the folder the list shows stays marked
  tree_.SetContextMenu(&menu_);
  tree_.SetDropSource(&drag_);
  tree_.SetFileView(&list_);
  combo_.SetFolderView(&tree_);
  KOLBRI_LOG_IF_FALSE(tree_.Create(*this, 0, 0, 10, 10));
  Layout();
}

void TBrowseForm::Open(const std::wstring& path) {
  if (!path.empty()) tree_.SelectPathW(path);
}

void TBrowseForm::ApplyMask() {
  (void)KillTimer(hwnd_, kMaskTimer);  // false when it already went
  const std::vector<std::string> lines = ParseMask(mask_.Text());
  list_.SetMask(&lines);
  list_.FillList();
}

void TBrowseForm::Layout() {
  if (!hwnd_) return;
  RECT client;
  KOLBRI_LOG_IF_FALSE(GetClientRect(hwnd_, &client));
  const int gap = winui::Scale(4);
  const int row = winui::Scale(24);
  const int mask_w = winui::Scale(160), label_w = winui::Scale(90);
  const int width = client.right, height = client.bottom;
  const int combo_w = std::max(width - mask_w - label_w - 4 * gap, winui::Scale(120));
  combo_.SetBoundsPx(gap, gap, combo_w, winui::Scale(200));
  mask_label_.SetBoundsPx(2 * gap + combo_w, gap + winui::Scale(4), label_w, row);
  mask_.SetBoundsPx(3 * gap + combo_w + label_w, gap, mask_w, row);
  const int top = 2 * gap + row;
  const int body = std::max(height - top - gap, 0);
  const int tree_w = std::max(width / 3, winui::Scale(120));
  tree_.SetBoundsPx(gap, top, tree_w, body);
  list_.SetBoundsPx(2 * gap + tree_w, top, std::max(width - 3 * gap - tree_w, 0), body);
}

LRESULT TBrowseForm::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_SIZE: {
      const LRESULT r = Form::HandleMessage(msg, wp, lp);
      Layout();
      return r;
    }
    case WM_TIMER:
      if (wp == kMaskTimer) {
        ApplyMask();
        return 0;
      }
      break;
  }
  return Form::HandleMessage(msg, wp, lp);
}

void TBrowseForm::OnDestroyForm() {
  (void)KillTimer(hwnd_, kMaskTimer);  // false when none was running
}

}  // namespace browse
