#include "app/settings_placeholder.h"

#include <cstring>

#include "cgmodule/module.h"
#include "winui/text.h"

namespace app {

namespace {
void Put(char (&dst)[256], const std::wstring& text) {
  const std::string s = cgmodule::CutSjis(winui::ToSjis(text), 255);
  std::memcpy(dst, s.c_str(), s.size() + 1);
}
std::wstring Get(const char (&src)[256]) { return winui::FromSjis(std::string(src, strnlen(src, 256))); }
}  // namespace

void SettingsPlaceholder::Create(HWND owner) {
  CreateForm(L"設定", 524, 350, winui::FormStyle::DialogFixed, true, owner);
  dialog_keys = true;
  pages_.Create(*this, 0, 0, 524, 313);
  winui::TabPage* p0 = pages_.AddPage(L"Plug-in選択");
  winui::TabPage* p1 = pages_.AddPage(L"まとめ保存");
  winui::TabPage* p2 = pages_.AddPage(L"ドライブ選択");
  pages_.SetTabVisible(settings::kPageBatch, false);
  labels_[0].Create(*p0, 8, 8, 480, 21, L"Plug-inのディレクトリ");
  plugin_dir_.Create(*p0, 8, 32, 480, 23);
  labels_[1].Create(*p0, 8, 64, 480, 21, L"Plug-inのファイル名");
  plugin_file_.Create(*p0, 8, 88, 480, 23);
  labels_[2].Create(*p1, 8, 8, 480, 21, L"出力先ディレクトリ");
  dest_dir_.Create(*p1, 8, 32, 480, 23);
  labels_[3].Create(*p2, 8, 8, 480, 21, L"CD-ROMドライブのルートディレクトリ");
  root_dir_.Create(*p2, 8, 32, 480, 23);
  ok_.Create(*this, 352, 320, 81, 25, L"決定");
  cancel_.Create(*this, 440, 320, 81, 25, L"キャンセル");
  ok_.SetDefault(true);
  cancel_.SetCancel(true);
  ok_.on_click = [this] {
    Put(paths_.PluginDir, plugin_dir_.Text());
    Put(paths_.PluginFile, plugin_file_.Text());
    Put(paths_.DestDir, dest_dir_.Text());
    Put(paths_.RootDir, root_dir_.Text());
    result_ = settings::kConfirmed;
    EndModal(result_);
  };
  cancel_.on_click = [this] {
    result_ = settings::kCancelled;
    EndModal(result_);
  };
}

int32_t SettingsPlaceholder::ShowModalOnPage(int page) {
  pages_.SetActivePage(page);
  plugin_dir_.SetText(Get(paths_.PluginDir));
  plugin_file_.SetText(Get(paths_.PluginFile));
  dest_dir_.SetText(Get(paths_.DestDir));
  root_dir_.SetText(Get(paths_.RootDir));
  result_ = settings::kNone;
  if (ShowModal() != settings::kConfirmed) result_ = settings::kCancelled;
  return result_;
}

}  // namespace app
