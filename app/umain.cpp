#include "app/umain.h"

#include <shellapi.h>

#include <cstring>

#include "app/icons.h"
#include "app/picture.h"
#include "app/uverdlg.h"
#include "cgmodule/boundary.h"
#include "cgmodule/picture.h"
#include "winui/messages.h"
#include "winui/msgbox.h"
#include "base/diag.h"
#include "base/text.h"

namespace app {

using winui::MenuItem;
using winui::ShowMessage;

namespace {

constexpr wchar_t kInit[] = L"初期化";
constexpr wchar_t kLoad[] = L"Plug-inロード";
constexpr wchar_t kConvert[] = L"変換";
constexpr wchar_t kNotPlugin[] = L"選択したファイルはPlug-inでないか、ファイルが壊れています";
constexpr wchar_t kNotLoaded[] = L"ﾛｰﾄﾞされてません";
constexpr wchar_t kNotSelected[] = L"(未選択)";
constexpr size_t kMaxPath = 255;

// Copies a Shift-JIS text into a path buffer, cut to 255 bytes.
void CopyPath(settings::PathBuffer& dst, const std::string& src) {
  const std::string cut = cgmodule::CutSjis(src, kMaxPath);
  std::memcpy(dst.data(), cut.c_str(), cut.size() + 1);
}

// What the load tells the user when the walk left part of the index out: why,
// and the category (as its path of names) whose contents are incomplete.
std::wstring IndexCutText(const cgmodule::IndexWalk& w) {
  std::wstring why;
  switch (w.reason) {
    case cgmodule::IndexCut::Cycle: why = L"索引が循環しています"; break;
    case cgmodule::IndexCut::TooMany: why = L"索引の項目が多すぎます"; break;
    case cgmodule::IndexCut::NoMemory: why = L"メモリが足りません"; break;
    default: why = L"索引の一部が読めません"; break;
  }
  std::wstring place;
  for (int i = w.where; i >= 0 && static_cast<size_t>(i) < w.items.size();
       i = w.items[static_cast<size_t>(i)].parent)
    place = base::FromSjis(w.items[static_cast<size_t>(i)].name) + (place.empty() ? L"" : L"\\") +
            place;
  place = place.empty() ? L"最上位" : L"「" + place + L"」";
  return why + L"。" + place + L"の一部を読み込んでいません。読み込めた分だけを表示します";
}

}  // namespace

TWMain* TWMain::instance_ = nullptr;

HelpSeam& HelpSeam::Current() {
  static HelpSeam seam{[](HWND owner, const std::wstring& hlp, UINT command, DWORD data) {
                         KOLBRI_LOG_IF_FALSE(WinHelpW(owner, hlp.c_str(), command, data));
                       },
                       [](HWND owner, const std::wstring& html) {
                         // Values above 32 mean the document was handed to its program.
                         const auto r = reinterpret_cast<INT_PTR>(ShellExecuteW(
                             owner, L"open", html.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
                         KOLBRI_LOG_IF_FALSE(r > 32);
                       }};
  return seam;
}

TWMain::TWMain(std::wstring exe_path, std::vector<std::wstring> args)
    : exe_path_(std::move(exe_path)), args_(std::move(args)), ini_path_(IniPathFor(exe_path_)) {
  instance_ = this;
  host_table_.Entries[kRedisplayCallback] = &TWMain::RedisplayCallback;
  viewer_strings_[0] = base::ToSjis(L"コルブリ");
  viewer_strings_[1] = "1998/09/29";
  viewer_strings_[2] = base::ToSjis(KOLBRI_COPYRIGHT);
  viewer_version_ = {viewer_strings_[0].c_str(), 0x0100, viewer_strings_[1].c_str(),
                     viewer_strings_[2].c_str()};
}

TWMain::~TWMain() {
  if (hwnd_) KOLBRI_LOG_IF_FALSE(DestroyWindow(hwnd_));
  if (instance_ == this) instance_ = nullptr;
}

void TWMain::Create() {
  ui_thread_ = GetCurrentThreadId();
  CreateForm(L"コルブリ", 562, 311, winui::FormStyle::Sizeable, false);
  BuildMenus();
  SetMenu(&MainMenu1);
  BuildControls();
  FormCreate();
}

void TWMain::SetDialogs(settings::ISettingsDialog* settings_dialog, TWVerDlg* version_dialog) {
  settings_dialog_ = settings_dialog;
  version_dialog_ = version_dialog;
  if (settings_dialog_) settings_dialog_->SetBatchPng(settings_.batch_png);
}

void TWMain::BuildControls() {
  StatusBar1.Create(*this, 25);
  StatusBar1.SetPanels({200, 50});
  StatusBar1.SetPanelText(0, kNotLoaded);
  StatusBar1.SetPanelText(1, L"(0x0 pix, 0col)");

  TreeView1.Create(*this, 0, 0, 201, 200);
  TreeView1.SetAlign(winui::Align::Left);
  TreeView1.SetIndent(19);
  ImageList1 = CreateTreeImages();
  TreeView1.SetImageList(ImageList1.get());
  TreeView1.help_context = kHelpMainWindow;
  TreeView1.on_change = [this] { TreeView1Change(); };
  TreeView1.on_fill_children = [this](HTREEITEM item) { FillChildren(item); };

  Splitter1.Create(*this, 3);

  ScrollBox_Output.Create(*this, 0, 0, 100, 100);
  ScrollBox_Output.SetAlign(winui::Align::Client);
  ScrollBox_Output.SetPopupMenu(&PopupMenu3);
  ScrollBox_Output.help_context = kHelpMainWindow;

  Image_Output.Create(ScrollBox_Output, 0, 0, 100, 100);
  Image_Output.stretch = true;
  Image_Output.SetPopupMenu(&PopupMenu3);
  BuildViewing();
  Realign();
}

void TWMain::BuildMenus() {
  auto h = [this](void (TWMain::*fn)(MenuItem&)) {
    return [this, fn](MenuItem& m) { (this->*fn)(m); };
  };
  ME_File = MainMenu1.Add(L"ﾌｧｲﾙ(&F)");
  ME_Save = ME_File->Add(L"保存(&S)...", h(&TWMain::ME_SaveClick), 0, winui::Ctrl('S'));
  ME_SaveOriginal = ME_File->Add(L"原寸で保存(&O)...", h(&TWMain::ME_SaveOriginalClick));
  ME_MulSave = ME_File->Add(L"まとめ保存(&M)...", h(&TWMain::ME_SelxxxClick), 1);
  ME_File->AddSeparator();
  ME_Close = ME_File->Add(L"閉じる(&X)", [this](MenuItem&) { Close(); });
  ME_Save->SetEnabled(false);
  ME_SaveOriginal->SetEnabled(false);
  ME_MulSave->SetEnabled(false);

  MN_Edit = MainMenu1.Add(L"編集(&E)");
  ME_Copy = MN_Edit->Add(L"コピー(&C)", h(&TWMain::ME_CopyClick), 0, winui::Ctrl('C'));
  ME_Copy->SetEnabled(false);

  MN_View = MainMenu1.Add(L"表示(&V)", {}, zoom_);
  ME_Overlay = MN_View->Add(L"背景に重ね合わせる", h(&TWMain::ME_OverlayClick));
  ME_AdjustWindow = MN_View->Add(L"ｳｨﾝﾄﾞｳｻｲｽﾞを自動調整", h(&TWMain::ME_AdjustWindowClick));
  MN_View->AddSeparator();
  ME_View1 = MN_View->Add(L"100%(&1)", h(&TWMain::ME_ViewClick), 1);
  ME_View2 = MN_View->Add(L"200%(&2)", h(&TWMain::ME_ViewClick), 2);
  ME_View3 = MN_View->Add(L"300%(&3)", h(&TWMain::ME_ViewClick), 3);
  ME_View4 = MN_View->Add(L"400%(&4)", h(&TWMain::ME_ViewClick), 4);
  ME_View1->SetChecked(true);

  MN_Option = MainMenu1.Add(L"ｵﾌﾟｼｮﾝ(&O)");
  ME_SelPgn =
      MN_Option->Add(L"Plug-inの選択(&L)...", h(&TWMain::ME_SelxxxClick), 0, winui::Ctrl('L'));
  ME_SelDrv =
      MN_Option->Add(L"CD-ROMﾄﾞﾗｲﾌﾞの選択(&O)...", h(&TWMain::ME_SelxxxClick), 2, winui::Ctrl('O'));
  MN_Option->AddSeparator();
  ME_OptCtgFocus = MN_Option->Add(L"ﾌｫﾙﾀﾞ選択時にﾌｫｰｶｽを子ﾉｰﾄﾞに移動", h(&TWMain::ME_ItemClick));
  ME_FileName = MN_Option->Add(L"ｲﾝﾃﾞｯｸｽをﾌｧｲﾙ名にする", h(&TWMain::ME_ItemClick));
  ME_OptionSave = MN_Option->Add(L"終了時に設定を保存する", h(&TWMain::ME_ItemClick));
  ME_FileName->SetChecked(true);
  ME_OptionSave->SetChecked(true);

  MN_Help = MainMenu1.Add(L"ﾍﾙﾌﾟ(&H)");
  ME_HelpIndex = MN_Help->Add(L"目次(&C)", h(&TWMain::ME_HelpIndexClick));
  MN_Help->AddSeparator();
  ME_AboutMain = MN_Help->Add(L"本体のﾊﾞｰｼﾞｮﾝ情報...", h(&TWMain::ME_AboutClick), 0);
  ME_AboutComDll = MN_Help->Add(L"共通ﾓｼﾞｭｰﾙのﾊﾞｰｼﾞｮﾝ情報...", h(&TWMain::ME_AboutClick), 1);
  ME_AboutIdvDll = MN_Help->Add(L"Plug-inのﾊﾞｰｼﾞｮﾝ情報...", h(&TWMain::ME_AboutClick), 2);

  PME_Item1 = PopupMenu1.Add(L"保存(&S)...", h(&TWMain::ME_SaveClick));
  PME_Item2 = PopupMenu1.Add(L"コピー(&C)", h(&TWMain::ME_CopyClick));
  PopupMenu1.auto_popup = false;  // until the first picture is shown
  PME_FolderSave = PopupMenu2.Add(L"まとめ保存(&M)...", h(&TWMain::ME_MulSaveClick));

  PME_Save2 = PopupMenu3.Add(L"保存(&S)...", h(&TWMain::ME_SaveClick));
  PME_Copy2 = PopupMenu3.Add(L"コピー(&C)", h(&TWMain::ME_CopyClick));
  PopupMenu3.AddSeparator();
  PME_AdjustWindow = PopupMenu3.Add(L"ｳｨﾝﾄﾞｳｻｲｽﾞの自動調整(&A)", h(&TWMain::ME_AdjustWindowClick));
  PME_OverLay = PopupMenu3.Add(L"背景に重ね合わせる(&V)", h(&TWMain::ME_OverlayClick));
  PopupMenu3.AddSeparator();
  PME_View21 = PopupMenu3.Add(L"100%(&1)", h(&TWMain::ME_ViewClick), 1);
  PME_View22 = PopupMenu3.Add(L"200%(2)", h(&TWMain::ME_ViewClick), 2);
  PME_View23 = PopupMenu3.Add(L"300%(&3)", h(&TWMain::ME_ViewClick), 3);
  PME_View24 = PopupMenu3.Add(L"400%(&4)", h(&TWMain::ME_ViewClick), 4);
  PME_View21->SetChecked(true);
  BuildViewMenus();
}

// ---- creation and shutdown -------------------------------------------------

void TWMain::FormCreate() {
  picture_present_ = false;
  tree_rebuilding_ = false;
  current_item_ = nullptr;
  Image_Output.SetBitmap({});

  OrvuHostRecord host{};
  base::WindowDC dc(Image_Output.hwnd());  // valid for the duration of the call
  host.OutputDc = dc.get();
  host.HostCallbacks = &host_table_;
  const cgmodule::BindResult r = module_.Bind(host);
  if (r != cgmodule::BindResult::Ok) {
    ShowMessage(hwnd_, cgmodule::BindMessage(r), kInit);
    Unbind();
    return;
  }
  module_.Attach(&viewer_version_, host_table_);

  const std::wstring exe_dir = DirectoryOf(exe_path_);
  settings_ = ReadSettings(ini_path_, base::ToSjis(exe_dir));
  if (!settings_.root_dir.empty())
    module_.SetRootDir(settings_.root_dir);
  else
    DriveSearch();
  ME_OptCtgFocus->SetChecked(settings_.move_to_child);
  ME_FileName->SetChecked(settings_.use_index);
  ME_Overlay->SetChecked(settings_.overlay);
  ME_AdjustWindow->SetChecked(settings_.adjust_window);
  ME_OptionSave->SetChecked(settings_.option_save);
  SaveDialog1.filter_index =
      settings_.save_png ? SaveDialog::kPngFilter : SaveDialog::kBitmapFilter;
  PME_OverLay->SetChecked(ME_Overlay->Checked());
  PME_AdjustWindow->SetChecked(ME_AdjustWindow->Checked());
  RestoreViewing();

  if (!args_.empty()) LoadPlugin(cgmodule::CutSjis(base::ToSjis(args_[0]), kMaxPath));
}

void TWMain::Unbind() {
  // The File menu stays: Save and batch save disabled, Close works.
  MN_Edit->SetEnabled(false);
  MN_View->SetEnabled(false);
  MN_Option->SetEnabled(false);
  MN_Help->SetEnabled(false);
  ScrollBox_Output.SetPopupMenu(nullptr);
  Image_Output.SetPopupMenu(nullptr);
}

void TWMain::DriveSearch() {
  for (char letter = 'a'; letter <= 'z'; ++letter) {
    drive_probe_[0] = letter;
    if (GetDriveTypeA(drive_probe_) == DRIVE_CDROM) {
      module_.SetRootDir(std::string(1, letter) + ":\\");
      return;
    }
  }
  ShowMessage(hwnd_, L"CD-ROMドライブが見つかりません。", kInit);
  module_.SetRootDir("");
}

void TWMain::OnShowFirst() {
  if (!module_.Bound() || !settings_dialog_) return;
  settings::DialogPaths& p = settings_dialog_->Paths();
  CopyPath(p.PluginDir, settings_.plugin_dir);
  CopyPath(p.DestDir, settings_.dest_dir);
  CopyPath(p.RootDir, module_.RootDir());
  if (!args_.empty()) return;
  if (ShowSettingsDialog(settings::kPagePlugin) != settings::kConfirmed) return;
  module_.SetRootDir(settings::PathText(p.RootDir));
  const std::string path = PluginPathFromDialog();
  if (path.empty())
    ShowMessage(hwnd_, kNotPlugin, kLoad);
  else
    LoadPlugin(path);
}

void TWMain::OnDestroyForm() {
  tree_rebuilding_ = true;
  TreeView1.BeginUpdate();
  TreeView1.Clear();
  TreeView1.EndUpdate();
  Image_Output.SetBitmap({});
  picture_present_ = false;
  if (!module_.Bound()) return;
  WriteSettingsFile();
  module_.UnloadPlugin();
  module_.Release();
}

void TWMain::WriteSettingsFile() {
  Settings s;
  s.root_dir = module_.RootDir();
  if (settings_dialog_) {
    const settings::DialogPaths& p = settings_dialog_->Paths();
    s.plugin_dir = settings::PathText(p.PluginDir);
    s.dest_dir = settings::PathText(p.DestDir);
  } else {
    s.plugin_dir = settings_.plugin_dir;
    s.dest_dir = settings_.dest_dir;
  }
  s.overlay = ME_Overlay->Checked();
  s.adjust_window = ME_AdjustWindow->Checked();
  s.move_to_child = ME_OptCtgFocus->Checked();
  s.use_index = ME_FileName->Checked();
  s.option_save = ME_OptionSave->Checked();
  s.save_png = SaveDialog1.filter_index == SaveDialog::kPngFilter;
  s.batch_png = settings_dialog_ ? settings_dialog_->BatchPng() : settings_.batch_png;
  // A failure ends the writing; the module is still unloaded and released.
  if (!WriteSettings(ini_path_, s) ||
      (s.option_save && !WriteWindowState(ini_path_, CurrentWindowState())))
    winui::ShowError(hwnd_, WriteFailureText(ini_path_));
}

// ---- plug-in loading and the index tree --------------------------------------

int TWMain::LoadPlugin(const std::string& sjis_path) {
  if (!module_.Bound()) return -1;
  // The module frees the old entries inside the call: a redisplay request
  // from in there must not read them through the old tree.
  tree_rebuilding_ = true;
  if (module_.LoadPlugin(sjis_path.c_str()) < 0) {
    tree_rebuilding_ = false;  // a failed load keeps the previous index valid
    ShowMessage(hwnd_, kNotPlugin, kLoad);
    return -1;
  }
  LARGE_INTEGER t0, t1, freq;
  (void)QueryPerformanceCounter(&t0);  // cannot fail since Windows XP
  const std::optional<OrvuContext> ctx = module_.ReadContext();
  StatusBar1.SetPanelText(
      0, base::FromSjis(cgmodule::ReadVersionRecord(ctx ? ctx->PluginInfo : nullptr).name));
  StatusBar1.SetPanelText(1, kNotSelected);
  TreeView1.BeginUpdate();
  TreeView1.Clear();
  cgmodule::IndexWalk walk = cgmodule::ReadIndex(ctx ? ctx->IndexRoot : nullptr);
  const std::wstring cut_text = walk.cut ? IndexCutText(walk) : std::wstring();
  BuildTree(std::move(walk));
  TreeView1.EndUpdate();
  TreeView1.SetEnabled(true);
  TreeView1.SetPopupMenu(nullptr);
  TreeView1.Invalidate();
  tree_rebuilding_ = false;
  (void)QueryPerformanceCounter(&t1);      // cannot fail since Windows XP
  (void)QueryPerformanceFrequency(&freq);  // cannot fail since Windows XP
  last_tree_fill_ms_ = double(t1.QuadPart - t0.QuadPart) * 1000.0 / double(freq.QuadPart);
  // The tree keeps what was read; the user learns that the rest is missing.
  if (!cut_text.empty()) ShowMessage(hwnd_, cut_text.c_str(), kLoad);
  return 0;
}

void TWMain::BuildTree(cgmodule::IndexWalk&& walk) {
  // The module's memory was read once, guarded (cgmodule/boundary.h); the tree
  // and its node data come from that copy and never read the module's entries
  // again. Only the top level is added now: a category's items follow when it
  // is opened or asked for, so loading a huge index does not wait on the tree
  // view (and Wine's, which looks every handle up among all items, stays fast).
  tree_items_ = std::move(walk.items);
  const size_t n = tree_items_.size();
  index_nodes_.clear();
  index_nodes_.shrink_to_fit();
  index_nodes_.reserve(n);
  for (const cgmodule::IndexItem& it : tree_items_) index_nodes_.push_back({it.entry, it.category});
  // Children grouped by parent, in index order (a counting sort).
  child_begin_.assign(n + 2, 0);
  for (const cgmodule::IndexItem& it : tree_items_)
    ++child_begin_[static_cast<size_t>(it.parent + 2)];
  for (size_t i = 1; i < child_begin_.size(); ++i) child_begin_[i] += child_begin_[i - 1];
  children_.assign(n, 0);
  std::vector<uint32_t> next(child_begin_.begin(), child_begin_.end() - 1);
  for (size_t i = 0; i < n; ++i)
    children_[next[static_cast<size_t>(tree_items_[i].parent + 1)]++] = static_cast<uint32_t>(i);
  AddItems(nullptr, -1);
}

void TWMain::AddItems(HTREEITEM under, int parent) {
  const size_t p = static_cast<size_t>(parent + 1);
  for (uint32_t k = child_begin_[p]; k < child_begin_[p + 1]; ++k) {
    const uint32_t i = children_[k];
    const cgmodule::IndexItem& it = tree_items_[i];
    const bool later = it.category && child_begin_[i + 2] > child_begin_[i + 1];
    TreeView1.Add(under, base::FromSjis(it.name).c_str(),
                  reinterpret_cast<LPARAM>(&index_nodes_[i]),
                  it.category ? kImageFolder : kImagePicture,
                  it.category ? kImageFolderOpen : kImagePicture, later);
  }
}

int TWMain::PositionOf(HTREEITEM item) const {
  const cgmodule::IndexNode* node = NodeOf(item);
  if (!node || index_nodes_.empty() || node < index_nodes_.data() ||
      node >= index_nodes_.data() + index_nodes_.size())
    return -1;
  return static_cast<int>(node - index_nodes_.data());
}

size_t TWMain::ChildCount(HTREEITEM item) const {
  const int i = PositionOf(item);
  if (i < 0) return 0;
  return child_begin_[static_cast<size_t>(i) + 2] - child_begin_[static_cast<size_t>(i) + 1];
}

void TWMain::FillChildren(HTREEITEM item) {
  const int i = PositionOf(item);
  // The item is closed (or about to open): nothing shown changes, so no
  // redraw is held back and released per category.
  if (i >= 0) AddItems(item, i);
}

const cgmodule::IndexNode* TWMain::NodeOf(HTREEITEM item) const {
  return item ? reinterpret_cast<const cgmodule::IndexNode*>(TreeView1.Data(item)) : nullptr;
}

std::string TWMain::PluginPathFromDialog() const {
  const settings::DialogPaths& p = settings_dialog_->Paths();
  const std::string path = settings::PathText(p.PluginDir) + settings::PathText(p.PluginFile);
  // Longer than a path buffer: refused rather than shortened into another file.
  return path.size() > kMaxPath ? std::string() : path;
}

int32_t TWMain::ShowSettingsDialog(int page) {
  dialog_modal_ = true;
  const int32_t r = settings_dialog_->ShowModalOnPage(page);
  dialog_modal_ = false;
  return r;
}

void TWMain::ME_SelxxxClick(MenuItem& sender) {
  if (!settings_dialog_ || !module_.Bound()) return;
  settings::DialogPaths& p = settings_dialog_->Paths();
  const std::string before = settings::PathText(p.PluginFile);
  if (ShowSettingsDialog(sender.tag) != settings::kConfirmed) return;
  module_.SetRootDir(settings::PathText(p.RootDir));
  if (settings::PathText(p.PluginFile) == before) return;
  const std::string path = PluginPathFromDialog();
  if (path.empty()) {
    ShowMessage(hwnd_, kNotPlugin, kLoad);
    return;
  }
  if (LoadPlugin(path) == 0) current_item_ = nullptr;
}

void TWMain::ME_MulSaveClick(MenuItem&) {
  if (settings_dialog_) ShowSettingsDialog(settings::kPageBatch);
}

void TWMain::ME_ItemClick(MenuItem& sender) { sender.SetChecked(!sender.Checked()); }

// ---- picture display ---------------------------------------------------------

void TWMain::TreeView1Change() {
  if (tree_rebuilding_) return;
  HTREEITEM sel = TreeView1.Selected();
  if (!sel) return;
  const cgmodule::IndexNode* node = NodeOf(sel);
  if (!node) return;
  if (node->category) {
    if (settings_dialog_) {
      settings_dialog_->ShowBatchTab(true);
      settings_dialog_->EnableBatchStart(true);
    }
    TreeView1.SetPopupMenu(&PopupMenu2);
    ME_MulSave->SetEnabled(true);
    if (ME_OptCtgFocus->Checked() && !dialog_modal_) {
      // Selecting the first child runs this handling again, down to a picture.
      HTREEITEM child = TreeView1.FirstChild(sel);
      TreeView1.Select(child);
    }
    return;
  }
  if (settings_dialog_) {
    settings_dialog_->ShowBatchTab(false);
    settings_dialog_->EnableBatchStart(false);
  }
  TreeView1.SetPopupMenu(&PopupMenu1);
  ME_MulSave->SetEnabled(false);
  current_item_ = sel;
  // While the settings dialog is modal the batch worker owns the module.
  if (!dialog_modal_) RenderPicture();
}

void TWMain::RenderPicture() {
  if (render_busy_ || !current_item_ || !module_.Bound()) return;
  const cgmodule::IndexNode* node = NodeOf(current_item_);
  if (!node) return;
  render_busy_ = true;
  struct BusyReset {
    bool& f;
    ~BusyReset() { f = false; }
  } busy{render_busy_};
  try {
    const cgmodule::MakeBmpResult r = module_.MakeBmp(node->entry, ME_Overlay->Checked());
    if (r.faulted) {
      ShowMessage(hwnd_, cgmodule::kInternalErrorMessage, kConvert);
      return;
    }
    if (r.code != 0) {
      ShowMessage(hwnd_, cgmodule::MakeBmpMessage(r.code), kConvert);
      return;
    }
    cgmodule::PictureBlock block(r.block);
    const cgmodule::DibLayout dib =
        block.Locked() ? cgmodule::ValidateDib(block.Data(), block.Size()) : cgmodule::DibLayout{};
    // A depth we do not show still gives a blank picture of the right size;
    // anything that cannot be read safely is refused.
    if (!block.Locked() || (!dib.ok() && dib.check != cgmodule::DibCheck::OtherDepth)) {
      ShowMessage(hwnd_, cgmodule::kUnknownErrorMessage, kConvert);
      return;
    }
    const auto* info = static_cast<const BITMAPINFO*>(block.Data());
    const auto* bits =
        static_cast<const uint8_t*>(block.Data()) + cgmodule::DibBitsOffset(dib.bit_count);
    base::UniqueBitmap bmp = BitmapFromDib(info, bits);
    if (!bmp) {
      ShowMessage(hwnd_, cgmodule::MakeBmpMessage(kMakeBmpNoMemory), kConvert);
      return;
    }
    // Nothing changes unless the new picture can be shown.
    if (!FitsOnScreen(BitmapSize(bmp.get()), zoom_)) {
      ShowMessage(hwnd_, cgmodule::MakeBmpMessage(kMakeBmpNoMemory), kConvert);
      return;
    }
    // Kept for Save at 100 %; a copy that cannot be made only loses that.
    std::vector<uint8_t> original;
    if (dib.ok()) {
      try {
        const auto* p = static_cast<const uint8_t*>(block.Data());
        original.assign(p, p + dib.bits_offset +
                               static_cast<size_t>(cgmodule::DibStride(dib.width, dib.bit_count)) *
                                   static_cast<size_t>(dib.height));
      } catch (const std::bad_alloc&) {
        original.clear();
      }
    }
    original_dib_ = std::move(original);
    Image_Output.SetBitmap(std::move(bmp));
    LayoutPicture();
    StatusBar1.SetPanelText(1, PictureStatusText(dib.width, dib.height, dib.bit_count));
    ME_Save->SetEnabled(true);
    ME_SaveOriginal->SetEnabled(true);
    ME_Copy->SetEnabled(true);
    PopupMenu1.auto_popup = true;
    picture_present_ = true;
  } catch (...) {
    ShowMessage(hwnd_, cgmodule::kInternalErrorMessage, kConvert);
  }
}

bool TWMain::FitsOnScreen(SIZE picture, int zoom) {
  // The output area paints the zoomed picture; its image window is as large
  // as the zoomed picture, and window extents end at 16 bits.
  return picture.cx <= kMaxImageExtent / zoom && picture.cy <= kMaxImageExtent / zoom;
}

void TWMain::LayoutPicture() {
  if (LayoutViewing()) return;
  const SIZE s = BitmapSize(CurrentBitmap());
  const int z = zoom_;
  // The same picture point stays at the top-left of the view; the scroll box
  // clamps it to the new range.
  const POINT pos = ScrollBox_Output.ScrollPos();
  const int from = shown_zoom_ ? shown_zoom_ : z;
  const POINT keep{pos.x * z / from, pos.y * z / from};
  if (ME_AdjustWindow->Checked()) {
    const RECT out = ScrollBox_Output.BoundsPx();
    SetClientSizePx(s.cx * z + out.left + 4, s.cy * z + StatusBar1.HeightPx() + 4);
  }
  // The image's place is the top-left corner of the unscrolled area; it paints
  // its visible part at the zoom. Moving it invalidates it; the window calls
  // are what a zoom costs, so none is repeated.
  const POINT now = ScrollBox_Output.ScrollPos();
  Image_Output.MoveDeferredPx(-now.x, -now.y, s.cx * z, s.cy * z);
  if (!IsWindowVisible(Image_Output.hwnd())) Image_Output.SetVisible(true);
  ScrollBox_Output.UpdateScrollRange(keep);
  shown_zoom_ = z;
}

void TWMain::SetZoom(int zoom) {
  zoom_ = zoom;
  MN_View->tag = zoom;  // the View menu's tag is where the zoom is known to be
  for (MenuItem* m :
       {ME_View1, ME_View2, ME_View3, ME_View4, PME_View21, PME_View22, PME_View23, PME_View24})
    m->SetChecked(m->tag == zoom);
}

void TWMain::ME_ViewClick(MenuItem& sender) {
  if (picture_present_ && !FitsOnScreen(BitmapSize(CurrentBitmap()), sender.tag)) {
    // The picture stays at the zoom it is shown at.
    ShowMessage(hwnd_, cgmodule::MakeBmpMessage(kMakeBmpNoMemory), kConvert);
    return;
  }
  // Choosing a zoom leaves fit.
  if (fit_) SetFit(false, false);
  SetZoom(sender.tag);
  if (picture_present_) LayoutPicture();
}

void TWMain::ME_AdjustWindowClick(MenuItem&) {
  ME_AdjustWindow->SetChecked(!ME_AdjustWindow->Checked());
  PME_AdjustWindow->SetChecked(!PME_AdjustWindow->Checked());
  if (picture_present_) LayoutPicture();
}

void TWMain::ME_OverlayClick(MenuItem&) {
  ME_Overlay->SetChecked(!ME_Overlay->Checked());
  PME_OverLay->SetChecked(!PME_OverLay->Checked());
  RenderPicture();
}

int32_t __stdcall TWMain::RedisplayCallback(void*, void*, void*) {
  TWMain* self = instance_;
  if (!self || !self->hwnd_) return 0;
  if (GetCurrentThreadId() == self->ui_thread_)
    self->TreeView1Change();
  else
    KOLBRI_LOG_IF_FALSE(PostMessageW(self->hwnd_, kRedisplayMessage, 0, 0));
  return 0;
}

LRESULT TWMain::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case kRedisplayMessage: TreeView1Change(); return 0;
    case kMaximizeMessage:
      (void)ShowWindow(hwnd_, SW_MAXIMIZE);  // the previous visibility, not a failure
      return 0;
    case WM_CLOSE:
    case WM_QUERYENDSESSION:
      // The window is disabled during a conversion, but "End task" and log-off
      // still ask: closing would release the module under the worker.
      if (settings_dialog_ && settings_dialog_->ConversionRunning())
        return msg == WM_CLOSE ? 0 : FALSE;
      return Form::HandleMessage(msg, wp, lp);
    case WM_HELP: {
      // Help is part of the Help menu's world: unbound, it stays closed too.
      if (!module_.Bound()) return TRUE;
      const auto* hi = reinterpret_cast<const HELPINFO*>(lp);
      DWORD context = 0;
      if (hi->iContextType == HELPINFO_MENUITEM) {
        context = kHelpMenus;
      } else if (auto* c = winui::BoundAs<winui::Control>(static_cast<HWND>(hi->hItemHandle))) {
        context = static_cast<DWORD>(c->help_context);
      }
      ShowHelp(context ? HELP_CONTEXT : HELP_FINDER, context);
      return TRUE;
    }
    case WM_GETMINMAXINFO: {
      // Window fitting applies no upper limit.
      auto* mm = reinterpret_cast<MINMAXINFO*>(lp);
      mm->ptMaxTrackSize = {32767, 32767};
      return 0;
    }
    default: return Form::HandleMessage(msg, wp, lp);
  }
}

// ---- save and copy -------------------------------------------------------------

void TWMain::ME_SaveClick(MenuItem&) { SavePicture(false); }
void TWMain::ME_SaveOriginalClick(MenuItem&) { SavePicture(true); }

namespace {

bool EndsWithNoCase(const std::wstring& s, const wchar_t* tail) {
  const size_t n = wcslen(tail);
  return s.size() >= n && _wcsicmp(s.c_str() + s.size() - n, tail) == 0;
}

std::wstring FilePart(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

}  // namespace

void TWMain::SavePicture(bool original) {
  const bool png_before = SaveDialog1.filter_index == SaveDialog::kPngFilter;
  if (ME_FileName->Checked() && current_item_) {
    const cgmodule::IndexNode* node = NodeOf(current_item_);
    if (node && !node->category)
      SaveDialog1.file_name = TreeView1.ItemText(current_item_) + (png_before ? L".png" : L".bmp");
  }
  if (!picture_present_) return;
  const std::wstring offered = SaveDialog1.file_name;
  if (!SaveDialog1.Execute(hwnd_)) return;
  const bool png = SaveDialog1.filter_index == SaveDialog::kPngFilter;
  std::wstring path = SaveDialog1.file_name;
  // A proposed ".bmp" name follows the PNG filter; a name the user typed is
  // used exactly as typed.
  if (png && EndsWithNoCase(path, L".bmp") && FilePart(path) == FilePart(offered)) {
    path.replace(path.size() - 4, 4, L".png");
    // The dialog asked about the other name: this one is asked about here.
    if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES &&
        !winui::Ask(hwnd_, L"ﾌｧｲﾙ " + path + L" は既にあります。上書きしますか？"))
      return;
    SaveDialog1.file_name = path;
  }
  bool written = false;
  if (original && !original_dib_.empty()) {
    written = png ? base::WritePngFile(ShownDibPixels(), path) : WriteDibFile(original_dib_, path);
  } else {
    // The zoomed rows are made band by band as they are written: no whole
    // zoomed copy, so every picture that can be shown can be saved at its zoom.
    // Fit only changes what the screen shows: the file is at 100 %.
    const int zoom = original ? 1 : SaveZoom();
    const base::PngPixels shown = PngFromBitmap(CurrentBitmap());
    if (png) {
      // A shown palette picture stays indexed, with the module's own palette.
      const base::PngPixels own = ShownDibPixels();
      written = base::WritePngFile(base::ZoomPixels(own.rows ? own : shown, zoom), path);
    } else {
      written = WriteBitmapFile(base::ZoomPixels(shown, zoom), path);
    }
  }
  if (!written) winui::ShowError(hwnd_, L"ﾌｧｲﾙ " + path + L" を作成できません");
}

base::PngPixels TWMain::ShownDibPixels() const {
  if (original_dib_.empty()) return {};
  const auto* info = reinterpret_cast<const BITMAPINFO*>(original_dib_.data());
  return base::PngFromDib(
      info, original_dib_.data() + cgmodule::DibBitsOffset(info->bmiHeader.biBitCount));
}

base::UniqueBitmap TWMain::ZoomedOrReport() {
  base::UniqueBitmap zoomed = Zoomed(CurrentBitmap(), SaveZoom());
  if (!zoomed) ShowMessage(hwnd_, cgmodule::MakeBmpMessage(kMakeBmpNoMemory), kConvert);
  return zoomed;
}

void TWMain::ME_CopyClick(MenuItem&) {
  if (!picture_present_ || !CurrentBitmap()) return;
  base::UniqueBitmap scratch = ZoomedOrReport();
  if (!scratch) return;
  // The viewer selects no palette of its own; on a palette display the
  // system palette goes with the bitmap.
  const base::UniquePalette palette = SystemPalette();
  KOLBRI_LOG_IF_FALSE(CopyBitmapToClipboard(hwnd_, scratch.get(), palette.get()));
}

// ---- version and help ------------------------------------------------------------

void TWMain::ME_AboutClick(MenuItem& sender) {
  if (!version_dialog_ || !module_.Bound()) return;
  const std::optional<OrvuContext> ctx = module_.ReadContext();
  const OrvuVersionInfo* rec = !ctx              ? nullptr
                               : sender.tag == 0 ? ctx->HostInfo
                               : sender.tag == 1 ? ctx->ModuleInfo
                                                 : ctx->PluginInfo;
  version_dialog_->ShowRecord(sender.Caption(), rec);
}

void TWMain::ShowHelp(UINT command, DWORD context) {
  const std::wstring dir = DirectoryOf(exe_path_);
  const std::wstring hlp = dir + L"kolbri.hlp";
  if (GetFileAttributesW(hlp.c_str()) != INVALID_FILE_ATTRIBUTES)
    HelpSeam::Current().win_help(hwnd_, hlp, command, context);
  else
    HelpSeam::Current().open_document(hwnd_, dir + L"help\\index.html");
}

void TWMain::ME_HelpIndexClick(MenuItem&) { ShowHelp(HELP_FINDER, 0); }

}  // namespace app
