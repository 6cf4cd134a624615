#pragma once
// TWComDlg1, the settings dialog "設定": one instance for the whole run, always
// shown modally by the main window. Three pages share one shell folder tree:
// the plug-in directory and plug-in (page 0, tag 17), batch conversion output
// folder and the conversion itself (page 1, tag 28, tab hidden until a category
// is selected), and the CD-ROM root directory (page 2, tag 18).
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "base/handle.h"
#include "settings/batch.h"
#include "settings/dialog_iface.h"
#include "shellview/folderview.h"
#include "winui/controls.h"
#include "winui/uicall.h"
#include "winui/window.h"

namespace settings {

inline constexpr int kTagPlugin = 17;
inline constexpr int kTagDrive = 18;
inline constexpr int kTagBatch = 28;

inline constexpr wchar_t kStartCaption[] = L"変換！";
inline constexpr wchar_t kAbortCaption[] = L"中断";
inline constexpr wchar_t kUnrepresentableFolder[] =
    L"このディレクトリ名は使用できない文字を含んでいます";
inline constexpr wchar_t kWorkerFailed[] = L"変換を開始できませんでした";

// "X:\..." or "\\server\...": what the shell's parsing name is for a folder on disk.
bool IsFileSystemPath(std::wstring_view path);

class TWComDlg1 : public winui::Form, public ISettingsDialog {
 public:
  TWComDlg1();
  ~TWComDlg1() override;

  // Creates the window and its controls (FormCreate); owner: the main window.
  void Create(HWND owner = nullptr);

  // ISettingsDialog.
  DialogPaths& Paths() override { return paths_; }
  int32_t ShowModalOnPage(int page) override;
  int32_t Result() const override { return result_; }
  void ShowBatchTab(bool visible) override;
  void EnableBatchStart(bool enabled) override;
  void SetBatchHost(const BatchHost& host) override;
  bool BatchPng() const override;
  void SetBatchPng(bool png) override;

  // Event handlers (UI thread).
  void FormCreate();
  void FormShow();
  void FormKeyDown(WPARAM key);
  void PageControl1Change();
  void FolderView_Common1Change();
  void ListBox_SelPgn1Click();
  void ListBox_SelPgn1DblClick();
  void Button_CommonOkClick();
  void Button_CommonCancelClick();
  void CheckBox_MulSav1Click();
  void RadioButton_MulSav1Click();
  // The naming rule's captions show the extension the format writes.
  void CheckBox_MulSav2Click();
  void Button_MulSav1Click();
  void ListPlugins();

  // Working state.
  const char* WorkingPluginDir() const { return work_plugin_dir_.data(); }
  const char* WorkingDestDir() const { return work_dest_dir_.data(); }
  const char* WorkingRootDir() const { return work_root_dir_.data(); }
  bool ConversionRunning() const override { return running_.load(); }
  bool PluginListBuilt() const { return list_built_; }
  // The batch page's options as the controls show them now.
  BatchOptions ReadBatchOptions() const;
  // Keeps what the worker reads for each file in step with the controls:
  // called whenever one of them changes.
  void PublishBatchOptions();

  // Controls, by their form names.
  winui::Label Label_Common1;
  shview::TFolderView FolderView_Common1;
  winui::PageControl PageControl1;
  winui::TabPage* PGSelPgn = nullptr;
  winui::TabPage* PGMulSav = nullptr;
  winui::TabPage* PGSelDrv = nullptr;
  winui::ListBox ListBox_SelPgn1;
  winui::ListBox ListBox_PginName;
  winui::Label Label_SelPgn1, Label_SelPgn2;
  winui::CheckBox CheckBox_MulSav1;
  winui::CheckBox CheckBox_MulSav2;  // PNG
  winui::GroupBox GroupBox_MulSav1;
  winui::RadioButton RadioButton_MulSav1, RadioButton_MulSav2;
  winui::Label Label_MulSav1;
  winui::Edit Edit_MulSav1;
  winui::Button Button_MulSav1;
  winui::ProgressBar ProgressBar_MulSav1;
  winui::Label Label_MulSav2, Label_MulSav3;
  winui::Label Label_SelDrv1, Label_SelDrv2;
  winui::Button Button_CommonOk;
  winui::Button Button_CommonCancel;

 protected:
  bool OnKeyPreview(const MSG& msg) override;
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  static DWORD WINAPI ConversionThread(LPVOID self);
  void RunConversion();
  int ActiveTag() const;
  // GetSelectedPath + "\" into a path buffer (a drive root keeps three characters).
  void ApplyDirectoryRule(PathBuffer& target);
  void SelectSjisPath(const char* sjis);

  DialogPaths paths_{};
  PathBuffer work_plugin_dir_{};
  PathBuffer work_dest_dir_{};
  PathBuffer work_root_dir_{};
  int saved_plugin_pos_ = -1;
  bool list_built_ = false;
  bool list_stale_ = false;       // a probe was left out during a conversion
  std::string list_dir_;          // the folder the plug-in list shows
  std::wstring unrepresentable_;  // last folder reported as not Shift-JIS
  bool rebuild_suppressed_ = true;
  bool refreshing_ = false;  // F5 rebuilds the tree
  int32_t result_ = kNone;

  std::atomic<bool> running_{false};
  // Conversion threads not known to have ended; a new run may start before the
  // previous worker has returned from its last hand-off. The destructor joins them.
  std::vector<base::UniqueHandle> workers_;
  std::atomic<bool> own_continue_{false};
  mutable std::mutex options_mutex_;
  BatchOptions published_options_;  // guarded by options_mutex_
  BatchHost host_;
  BatchPage page_;
  std::unique_ptr<winui::UiCall> ui_;
};

}  // namespace settings
