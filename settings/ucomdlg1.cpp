#include "settings/ucomdlg1.h"

#include <commctrl.h>

#include <cstring>

#include "base/diag.h"
#include "cgmodule/plugins.h"
#include "winui/msgbox.h"
#include "base/text.h"

namespace settings {
namespace {

constexpr UINT_PTR kTreeFocusTimer = 1;

// Copies a Shift-JIS text into a path buffer; false (buffer unchanged) when
// it does not fit with its terminator.
bool CopyPath(PathBuffer& dst, const std::string& src) {
  if (src.size() >= dst.size()) return false;
  std::memcpy(dst.data(), src.c_str(), src.size() + 1);
  return true;
}

}  // namespace

bool IsFileSystemPath(std::wstring_view p) {
  const bool drive = p.size() >= 3 && ((p[0] | 0x20) >= L'a' && (p[0] | 0x20) <= L'z') &&
                     p[1] == L':' && p[2] == L'\\';
  const bool unc = p.size() >= 3 && p[0] == L'\\' && p[1] == L'\\';
  return drive || unc;
}

TWComDlg1::TWComDlg1() = default;

TWComDlg1::~TWComDlg1() {
  // The workers hand their last steps to this thread; keep serving them until
  // their threads have ended, so none touches a destroyed dialog.
  if (!workers_.empty()) {
    if (host_.continue_flag) host_.continue_flag->store(false);
    for (const base::UniqueHandle& w : workers_) winui::WaitPumping(w.get());
  }
  FolderView_Common1.Destroy();
}

void TWComDlg1::Create(HWND owner) {
  CreateForm(L"設定", 524, 353, winui::FormStyle::DialogFixed, true, owner);
  key_preview = true;
  dialog_keys = true;
  show_hint = true;
  ui_ = std::make_unique<winui::UiCall>();

  Label_Common1.Create(*this, 0, 0, 225, 21, L"ディレクトリの指定");

  FolderView_Common1.SetReadOnly(true);
  FolderView_Common1.SetShowRoot(false);
  FolderView_Common1.SetIndent(19);
  FolderView_Common1.on_change = [this](shview::TFolderView&, shview::Node) {
    FolderView_Common1Change();
  };
  KOLBRI_LOG_IF_FALSE(FolderView_Common1.Create(*this, 0, 24, 225, 289));
  FolderView_Common1.SetHint(L"F5を押すと、最新の情報に更新出来ます");

  PageControl1.Create(*this, 232, 0, 292, 313);
  PGSelPgn = PageControl1.AddPage(L"Plug-in選択");
  PGSelPgn->tag = kTagPlugin;
  PGMulSav = PageControl1.AddPage(L"まとめ保存");
  PGMulSav->tag = kTagBatch;
  PGSelDrv = PageControl1.AddPage(L"ドライブ選択");
  PGSelDrv->tag = kTagDrive;

  // Plug-in page.
  ListBox_SelPgn1.Create(*PGSelPgn, 8, 8, 265, 233);
  ListBox_SelPgn1.SetHint(L"ここに表示されているPlug-inの中から選択して下さい。");
  ListBox_SelPgn1.on_click = [this] { ListBox_SelPgn1Click(); };
  ListBox_SelPgn1.on_dbl_click = [this] { ListBox_SelPgn1DblClick(); };
  // The file names, in step with the titles above; never shown.
  ListBox_PginName.Create(*PGSelPgn, 8, 8, 265, 233);
  ListBox_PginName.SetVisible(false);
  ListBox_PginName.SetEnabled(false);
  Label_SelPgn1.Create(*PGSelPgn, 8, 248, 273, 16, L"左側のツリーで、Plug-inを置いている");
  Label_SelPgn2.Create(*PGSelPgn, 8, 264, 273, 16, L"ディレクトリを選択してください。");

  // Batch page.
  CheckBox_MulSav1.Create(*PGMulSav, 8, 8, 233, 17, L"カテゴリごとにフォルダ分けする");
  CheckBox_MulSav1.SetChecked(true);
  CheckBox_MulSav1.on_click = [this] { CheckBox_MulSav1Click(); };
  GroupBox_MulSav1.Create(*PGMulSav, 8, 32, 265, 129, L"ファイルの命名規則");
  RadioButton_MulSav1.Create(GroupBox_MulSav1, 16, 32, 233, 17, L"\"インデクスと同名\".bmp", true);
  RadioButton_MulSav1.SetChecked(true);
  RadioButton_MulSav1.on_click = [this] { RadioButton_MulSav1Click(); };
  RadioButton_MulSav2.Create(GroupBox_MulSav1, 16, 64, 233, 17, L"\"プリフィクス+通番\".bmp");
  RadioButton_MulSav2.on_click = [this] { PublishBatchOptions(); };
  Label_MulSav1.Create(GroupBox_MulSav1, 16, 88, 81, 17, L"プリフィクス：");
  Edit_MulSav1.Create(GroupBox_MulSav1, 104, 88, 145, 23, L"orvu");
  Edit_MulSav1.on_change = [this] { PublishBatchOptions(); };
  // Left of the start button, the only free place on the page.
  CheckBox_MulSav2.Create(*PGMulSav, 8, 180, 90, 17, L"PNG形式");
  CheckBox_MulSav2.on_click = [this] { CheckBox_MulSav2Click(); };
  Button_MulSav1.Create(*PGMulSav, 104, 176, 73, 25, kStartCaption);
  Button_MulSav1.SetEnabled(false);
  Button_MulSav1.on_click = [this] { Button_MulSav1Click(); };
  ProgressBar_MulSav1.Create(*PGMulSav, 8, 208, 265, 17);
  ProgressBar_MulSav1.SetRange(0, 100);
  Label_MulSav2.Create(*PGMulSav, 8, 248, 273, 16, L"左側のツリーで、出力先となるディレクトリ");
  Label_MulSav3.Create(*PGMulSav, 8, 264, 273, 16, L"を選択してください。");

  // Drive page.
  Label_SelDrv1.Create(*PGSelDrv, 8, 248, 273, 16, L"左側のツリーで、CD-ROMドライブの");
  Label_SelDrv2.Create(*PGSelDrv, 8, 264, 273, 16, L"ルートディレクトリを指定して下さい。");

  PageControl1.SetTabVisible(kPageBatch, false);
  PageControl1.on_change = [this](int) { PageControl1Change(); };

  Button_CommonOk.Create(*this, 352, 320, 81, 25, L"決定");
  Button_CommonOk.SetDefault(true);
  Button_CommonOk.SetEnabled(false);
  Button_CommonOk.on_click = [this] { Button_CommonOkClick(); };
  Button_CommonCancel.Create(*this, 440, 320, 81, 25, L"キャンセル");
  Button_CommonCancel.SetCancel(true);
  Button_CommonCancel.on_click = [this] { Button_CommonCancelClick(); };
  default_button = &Button_CommonOk;
  cancel_button = &Button_CommonCancel;

  FormCreate();
}

void TWComDlg1::FormCreate() {
  const RECT pc = PageControl1.BoundsPx();
  const RECT ok = Button_CommonOk.BoundsPx();
  SetClientSizePx(pc.right, ok.bottom + winui::Scale(8));
  running_ = false;
  list_built_ = false;
  rebuild_suppressed_ = true;
}

// ---- showing and pages ------------------------------------------------------

int32_t TWComDlg1::ShowModalOnPage(int page) {
  PageControl1.SetActivePage(page);
  FormShow();
  result_ = kNone;
  const int r = ShowModal();
  if (result_ == kNone) result_ = r == kConfirmed ? kConfirmed : kCancelled;
  return result_;
}

void TWComDlg1::FormShow() {
  work_plugin_dir_ = paths_.PluginDir;
  work_dest_dir_ = paths_.DestDir;
  work_root_dir_ = paths_.RootDir;
  saved_plugin_pos_ = ListBox_SelPgn1.ItemIndex();
  PageControl1Change();
  rebuild_suppressed_ = false;
  // A browse that was cancelled leaves the list of another folder behind.
  if (!list_built_ || list_stale_ || list_dir_ != work_plugin_dir_.data()) {
    ListPlugins();
    list_built_ = true;
  }
}

int TWComDlg1::ActiveTag() const {
  const int i = PageControl1.ActivePage();
  return i < 0 ? 0 : PageControl1.Page(i)->tag;
}

void TWComDlg1::PageControl1Change() {
  const int tag = ActiveTag();
  switch (tag) {
    case kTagPlugin:
      rebuild_suppressed_ = true;
      SelectSjisPath(work_plugin_dir_.data());
      rebuild_suppressed_ = false;
      break;
    case kTagDrive:
      SelectSjisPath(work_root_dir_.data());
      // Before the dialog is on screen the focus is given once its modal loop
      // runs: a timer message comes only when nothing else is pending.
      if (IsWindowVisible(hwnd()))
        SetFocus(FolderView_Common1.hwnd());
      else
        KOLBRI_LOG_IF_FALSE(SetTimer(hwnd(), kTreeFocusTimer, USER_TIMER_MINIMUM, nullptr) != 0);
      break;
    case kTagBatch: SelectSjisPath(work_dest_dir_.data()); break;
  }
  FolderView_Common1.help_context = tag;
  PageControl1.help_context = tag;
}

void TWComDlg1::FolderView_Common1Change() {
  if (refreshing_) return;
  switch (ActiveTag()) {
    case kTagPlugin:
      ApplyDirectoryRule(work_plugin_dir_);
      if (!rebuild_suppressed_) ListPlugins();
      break;
    case kTagDrive: ApplyDirectoryRule(work_root_dir_); break;
    case kTagBatch: ApplyDirectoryRule(work_dest_dir_); break;
  }
}

void TWComDlg1::SelectSjisPath(const char* sjis) {
  FolderView_Common1.SelectPathW(base::FromSjis(sjis));
}

void TWComDlg1::ApplyDirectoryRule(PathBuffer& target) {
  // No selection, a folder without a file-system path (the computer, the
  // trash...) or a path too long for the buffer: the page keeps its folder.
  const std::wstring selected = FolderView_Common1.GetSelectedPathW();
  if (!IsFileSystemPath(selected)) return;
  const std::string sjis = base::ToSjis(selected + L"\\");
  if (base::FromSjis(sjis) != selected + L"\\") {
    // Shift-JIS cannot hold the name: a damaged path would be stored. Said
    // once per folder, not at every refresh that selects it again.
    if (selected != unrepresentable_) winui::ShowMessage(hwnd(), kUnrepresentableFolder, L"設定");
    unrepresentable_ = selected;
    return;
  }
  unrepresentable_.clear();
  if (!CopyPath(target, sjis)) return;
  if (target[3] == '\\') target[3] = '\0';
}

void TWComDlg1::ListPlugins() {
  // Probing loads and terminates plug-ins on this thread, perhaps the one the
  // worker renders with: the list waits for the end of the run.
  if (running_.load()) {
    list_stale_ = true;
    return;
  }
  list_stale_ = false;
  list_dir_ = work_plugin_dir_.data();
  ListBox_SelPgn1.Clear();
  ListBox_PginName.Clear();
  for (const cgmodule::PluginListing& p : cgmodule::ListPlugins(work_plugin_dir_.data())) {
    ListBox_SelPgn1.Add(base::FromSjis(p.title));
    ListBox_PginName.Add(base::FromSjis(p.file_name));
  }
}

// ---- list, OK, Cancel, keys ---------------------------------------------------

void TWComDlg1::ListBox_SelPgn1Click() { Button_CommonOk.SetEnabled(true); }

void TWComDlg1::ListBox_SelPgn1DblClick() { Button_CommonOkClick(); }

void TWComDlg1::Button_CommonOkClick() {
  // Double-click and Enter reach here too: never close under a running conversion.
  if (running_.load()) return;
  const int i = ListBox_SelPgn1.ItemIndex();
  if (i < 0) return;
  if (!CopyPath(paths_.PluginFile, base::ToSjis(ListBox_PginName.Item(i)))) return;
  paths_.PluginDir = work_plugin_dir_;
  paths_.DestDir = work_dest_dir_;
  paths_.RootDir = work_root_dir_;
  result_ = kConfirmed;
  EndModal(kConfirmed);
}

void TWComDlg1::Button_CommonCancelClick() {
  if (running_.load()) return;
  ListBox_SelPgn1.SetItemIndex(saved_plugin_pos_);
  result_ = kCancelled;
  EndModal(kCancelled);
}

void TWComDlg1::FormKeyDown(WPARAM key) {
  if (key != VK_F5) return;
  const std::wstring path = FolderView_Common1.GetSelectedPathW();
  // The rebuilt tree passes through the desktop on its way back: only the
  // folder selected again counts for the page.
  refreshing_ = true;
  FolderView_Common1.RefreshTree();
  refreshing_ = false;
  FolderView_Common1.SelectPathW(path);
}

bool TWComDlg1::OnKeyPreview(const MSG& msg) {
  if (msg.message == WM_KEYDOWN) FormKeyDown(msg.wParam);
  return false;  // the focused control sees the key as well
}

LRESULT TWComDlg1::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  // No title-bar buttons, but Alt+F4 still asks: it means Cancel, and the
  // dialog stays while a conversion runs, as its OK and Cancel are disabled.
  if (msg == WM_CLOSE && InModal()) {
    Button_CommonCancelClick();
    return 0;
  }
  if (msg == WM_TIMER && wp == kTreeFocusTimer) {
    KillTimer(hwnd(), kTreeFocusTimer);
    if (ActiveTag() == kTagDrive) SetFocus(FolderView_Common1.hwnd());
    return 0;
  }
  return Form::HandleMessage(msg, wp, lp);
}

// ---- batch page -------------------------------------------------------------

void TWComDlg1::ShowBatchTab(bool visible) { PageControl1.SetTabVisible(kPageBatch, visible); }

void TWComDlg1::EnableBatchStart(bool enabled) { Button_MulSav1.SetEnabled(enabled); }

void TWComDlg1::SetBatchHost(const BatchHost& host) { host_ = host; }

void TWComDlg1::CheckBox_MulSav1Click() {
  if (!CheckBox_MulSav1.Checked()) {
    RadioButton_MulSav1.SetChecked(false);
    RadioButton_MulSav2.SetChecked(true);
  }
  PublishBatchOptions();
}

void TWComDlg1::RadioButton_MulSav1Click() {
  CheckBox_MulSav1.SetChecked(true);
  PublishBatchOptions();
}

void TWComDlg1::CheckBox_MulSav2Click() {
  const std::wstring ext = BatchExtension(CheckBox_MulSav2.Checked());
  RadioButton_MulSav1.SetText(L"\"インデクスと同名\"" + ext);
  RadioButton_MulSav2.SetText(L"\"プリフィクス+通番\"" + ext);
  PublishBatchOptions();
}

bool TWComDlg1::BatchPng() const { return CheckBox_MulSav2.Checked(); }

void TWComDlg1::SetBatchPng(bool png) {
  CheckBox_MulSav2.SetChecked(png);
  CheckBox_MulSav2Click();
}

BatchOptions TWComDlg1::ReadBatchOptions() const {
  BatchOptions o;
  o.category_folders = CheckBox_MulSav1.Checked();
  o.index_names = RadioButton_MulSav1.Checked();
  o.prefix = Edit_MulSav1.Text();
  o.png = CheckBox_MulSav2.Checked();
  return o;
}

void TWComDlg1::PublishBatchOptions() {
  BatchOptions o = ReadBatchOptions();
  std::lock_guard lock(options_mutex_);
  published_options_ = std::move(o);
}

void TWComDlg1::Button_MulSav1Click() {
  if (!host_.continue_flag) host_.continue_flag = &own_continue_;
  if (running_.load()) {
    host_.continue_flag->store(false);  // abort request; the caption stays until the worker ends
    return;
  }
  running_ = true;
  host_.continue_flag->store(true);
  PublishBatchOptions();
  page_.options = [this] {
    std::lock_guard lock(options_mutex_);
    return published_options_;
  };
  page_.progress = [this](int pos) { ProgressBar_MulSav1.SetPosition(pos); };
  page_.message_owner = hwnd();
  // Threads that have ended are let go; the rest are joined by the destructor.
  std::erase_if(workers_, [](const base::UniqueHandle& w) {
    return WaitForSingleObject(w.get(), 0) == WAIT_OBJECT_0;
  });
  base::UniqueHandle worker(
      CreateThread(nullptr, 0, &TWComDlg1::ConversionThread, this, 0, nullptr));
  if (!worker) {
    running_ = false;
    host_.continue_flag->store(false);
    winui::ShowMessage(hwnd(), kWorkerFailed, kBatchContext);
    return;
  }
  workers_.push_back(std::move(worker));
  Button_MulSav1.SetText(kAbortCaption);
}

DWORD WINAPI TWComDlg1::ConversionThread(LPVOID self) {
  static_cast<TWComDlg1*>(self)->RunConversion();
  return 0;
}

// Worker thread. Every control, folder-tree call and message box goes through
// ui_ and has finished before the next step.
void TWComDlg1::RunConversion() {
  const winui::UiCall& ui = *ui_;
  ui.Invoke([this] {
    Button_CommonOk.SetEnabled(false);
    Button_CommonCancel.SetEnabled(false);
  });
  const std::wstring remembered =
      ui.Call([this] { return FolderView_Common1.GetSelectedPathW(); }).value_or(std::wstring());

  // The selected category and the output folder, read afresh for each pass.
  struct Start {
    HTREEITEM node;
    std::wstring base;
  };
  auto start = [&] {
    return ui
        .Call([this] {
          Start s{nullptr, {}};
          if (host_.index_tree) s.node = TreeView_GetSelection(host_.index_tree);
          const std::wstring sel = FolderView_Common1.GetSelectedPathW();
          if (IsFileSystemPath(sel)) s.base = sel + L"\\";
          return s;
        })
        .value_or(Start{nullptr, {}});
  };
  BatchWalk walk(host_, page_, ui);
  int32_t counter = 0;
  Start s = start();
  if (s.node) walk.ConvertBranch(s.node, s.base, counter, WalkMode::Count);
  const int total = counter;
  ui.Invoke([&] { ProgressBar_MulSav1.SetRange(0, total); });

  counter = 0;
  s = start();
  if (s.node && s.base.empty() && host_.continue_flag->load()) {
    // No folder on disk is selected: an empty base would mean the current
    // directory, a shell name like "::{...}" no folder at all.
    ui.Invoke([this] { winui::ShowMessage(hwnd(), kFileCreateFailed, kBatchContext); });
  } else if (s.node) {
    walk.ConvertBranch(s.node, s.base, counter, WalkMode::Convert);
  }

  ui.Invoke([&] {
    Button_MulSav1.SetEnabled(false);
    FolderView_Common1.BeginUpdate();
    FolderView_Common1.RefreshTree();
    FolderView_Common1.SelectPathW(remembered);
    FolderView_Common1.EndUpdate();
  });
  ui.Invoke([this] {
    // Idle before any button is usable again: a click now starts a new run.
    running_ = false;
    if (list_stale_) ListPlugins();
    ProgressBar_MulSav1.SetPosition(0);
    Button_MulSav1.SetText(kStartCaption);
    Button_MulSav1.SetEnabled(true);
    Button_CommonOk.SetEnabled(true);
    Button_CommonCancel.SetEnabled(true);
  });
}

}  // namespace settings
