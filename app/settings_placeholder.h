#pragma once
// TEMPORARY stand-in for the settings dialog TWComDlg1 until the real dialog
// (settings/) exists: three pages with plain text fields for the four dialog
// paths. Replace by the real TWComDlg1 in app/main.cpp and delete this file.
#include "settings/dialog_iface.h"
#include "winui/controls.h"

namespace app {

class SettingsPlaceholder : public winui::Form, public settings::ISettingsDialog {
 public:
  void Create(HWND owner);
  settings::DialogPaths& Paths() override { return paths_; }
  int32_t ShowModalOnPage(int page) override;
  int32_t Result() const override { return result_; }
  void ShowBatchTab(bool visible) override { pages_.SetTabVisible(settings::kPageBatch, visible); }
  void EnableBatchStart(bool) override {}

 private:
  settings::DialogPaths paths_{};
  int32_t result_ = settings::kNone;
  winui::PageControl pages_;
  winui::Edit plugin_dir_, plugin_file_, dest_dir_, root_dir_;
  winui::Label labels_[4];
  winui::Button ok_, cancel_;
};

}  // namespace app
