#pragma once
// TWMain: the viewer's main window. Binds the common module at creation, reads
// and writes the settings file, loads plug-ins into the index tree, renders the
// selected picture at zoom 1-4, saves and copies it, and shows version
// information and help.
#include <windows.h>

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/dragout.h"
#include "app/savedialog.h"
#include "app/settings_file.h"
#include "base/png.h"
#include "app/window_state.h"
#include "cgmodule/boundary.h"
#include "cgmodule/module.h"
#include "settings/dialog_iface.h"
#include "winui/controls.h"
#include "winui/menu.h"
#include "winui/messages.h"
#include "winui/window.h"

namespace app {

class TWVerDlg;

// Help contexts of kolbri.hlp that the main window and the version dialog give.
enum HelpContext : int {
  kHelpMainWindow = 10,  // index tree and output area
  kHelpVersion = 15,     // version dialog
  kHelpMenus = 27,       // every menu item
};

// Where help goes: Windows Help for kolbri.hlp, or the shipped HTML pages.
// Replaceable so tests never start a blocking help viewer.
struct HelpSeam {
  // WinHelp command: HELP_FINDER (data 0) or HELP_CONTEXT (data: the context).
  std::function<void(HWND, const std::wstring& hlp_path, UINT command, DWORD data)> win_help;
  std::function<void(HWND, const std::wstring& html_path)> open_document;
  static HelpSeam& Current();
};

class TWMain : public winui::Form {
 public:
  // exe_path: decides the settings file and the default directories.
  // args: the command line's arguments after the program name.
  TWMain(std::wstring exe_path, std::vector<std::wstring> args);
  ~TWMain() override;

  // Window creation and FormCreate (binding, settings, command-line plug-in).
  void Create();
  // The other windows of the program, created after the main window.
  void SetDialogs(settings::ISettingsDialog* settings_dialog, TWVerDlg* version_dialog);

  // Plug-in load: 0 on success, -1 (with its message) on failure.
  int LoadPlugin(const std::string& sjis_path);

  // --- state, for the program's parts and for tests
  bool Bound() const { return module_.Bound(); }
  OrvuContext* Context() const { return module_.Context(); }
  std::string RootDir() const { return module_.RootDir(); }
  const Settings& StoredSettings() const { return settings_; }
  bool PicturePresent() const { return picture_present_; }
  // How many entries the index has directly under a tree item, whether the
  // tree has added them yet or not (a category's items follow when it opens).
  size_t ChildCount(HTREEITEM item) const;
  int Zoom() const { return zoom_; }
  // The rendered picture at 100 %; the output area shows it zoomed.
  HBITMAP CurrentBitmap() const { return Image_Output.Bitmap(); }
  HTREEITEM CurrentItem() const { return current_item_; }
  cgmodule::CommonModule& Module() { return module_; }
  // The batch conversion's continue flag: set when it starts, cleared to abort.
  std::atomic<bool> continue_flag{false};
  // Milliseconds from OrvuCmnLoadPlugin's return to the filled tree, last load.
  double LastTreeFillMs() const { return last_tree_fill_ms_; }

  // --- controls and menus, named as on the form
  winui::TreeView TreeView1;
  winui::Splitter Splitter1;
  winui::ScrollBox ScrollBox_Output;
  winui::Image Image_Output;
  winui::StatusBar StatusBar1;
  base::UniqueImageList ImageList1;

  winui::MainMenu MainMenu1{*this};
  winui::MenuItem *ME_File, *ME_Save, *ME_SaveOriginal, *ME_MulSave, *ME_Close;
  winui::MenuItem *MN_Edit, *ME_Copy;
  winui::MenuItem *MN_View, *ME_Overlay, *ME_AdjustWindow, *ME_View1, *ME_View2, *ME_View3,
      *ME_View4;
  winui::MenuItem *MN_Option, *ME_SelPgn, *ME_SelDrv, *ME_OptCtgFocus, *ME_FileName, *ME_OptionSave;
  winui::MenuItem *MN_Help, *ME_HelpIndex, *ME_AboutMain, *ME_AboutComDll, *ME_AboutIdvDll;
  winui::PopupMenu PopupMenu1{*this}, PopupMenu2{*this}, PopupMenu3{*this};
  winui::MenuItem *PME_Item1, *PME_Item2, *PME_FolderSave;
  winui::MenuItem *PME_Save2, *PME_Copy2, *PME_AdjustWindow, *PME_OverLay;
  winui::MenuItem *PME_View21, *PME_View22, *PME_View23, *PME_View24;

  SaveDialog SaveDialog1;

  // --- event handlers
  void TreeView1Change();
  void ME_SelxxxClick(winui::MenuItem& sender);
  void ME_ItemClick(winui::MenuItem& sender);
  void ME_ViewClick(winui::MenuItem& sender);
  void ME_AdjustWindowClick(winui::MenuItem& sender);
  void ME_OverlayClick(winui::MenuItem& sender);
  void ME_SaveClick(winui::MenuItem& sender);
  // The picture as the module rendered it: 100 %, its own depth and palette.
  void ME_SaveOriginalClick(winui::MenuItem& sender);
  void ME_CopyClick(winui::MenuItem& sender);
  void ME_AboutClick(winui::MenuItem& sender);
  void ME_HelpIndexClick(winui::MenuItem& sender);
  void ME_MulSaveClick(winui::MenuItem& sender);
  // F1: the help context of the control or menu (HelpContext); without
  // kolbri.hlp the shipped pages open.
  void ShowHelp(UINT command, DWORD context);

  // --- viewing (app/viewnav.cpp): wheel, keys, fit, full screen, the window kept
  winui::MenuItem *ME_Fit, *ME_FullScreen, *PME_Fit, *PME_FullScreen;
  void ME_FitClick(winui::MenuItem& sender);
  void ME_FullScreenClick(winui::MenuItem& sender);
  bool Fit() const { return fit_; }
  bool FullScreen() const { return full_screen_; }
  // One zoom step up (+1) or down (-1) through the zoom items. anchor: a
  // screen point whose picture pixel stays under it (null: the view's centre).
  void StepZoom(int step, const POINT* anchor);
  // Selects the next or previous picture item in tree order, skipping
  // categories; false at either end.
  bool ShowNeighbour(bool forward);
  // What the settings file's window section would get now.
  WindowState CurrentWindowState() const;
  // The zoom Save, Copy and a drag take: fit only changes what the screen
  // shows, so they take 100 % then.
  int SaveZoom() const { return fit_ ? 1 : zoom_; }
  // Drags the shown picture out (app/dragout.cpp): a PNG file named as Save
  // would propose it, in the drag folder, and the picture itself.
  void StartPictureDrag();
  const DragFolder& DragFiles() const { return drag_folder_; }

  // The host callback table's redisplay entry; reaches the main window on the
  // UI thread (directly when called there, posted otherwise).
  static int32_t __stdcall RedisplayCallback(void*, void*, void*);

 protected:
  void OnShowFirst() override;    // FormShow
  void OnDestroyForm() override;  // FormDestroy
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;
  bool OnKeyPreview(const MSG& msg) override;
  bool OnWheelPreview(const MSG& msg) override;
  void OnDpiChanged(int old_dpi, int new_dpi) override;

 private:
  // Common module -> this window: re-run the index tree's selection handling
  // (posted when the redisplay callback comes from another thread).
  static constexpr UINT kRedisplayMessage = winui::msg::kFirstWindowPrivate;
  // Maximises the window once it is shown, as it was left.
  static constexpr UINT kMaximizeMessage = winui::msg::kFirstWindowPrivate + 1;

  // app/viewnav.cpp
  void BuildViewMenus();
  void BuildViewing();
  void RestoreViewing();
  // The fit and full-screen layouts; false when LayoutPicture's own applies.
  bool LayoutViewing();
  void SetFit(bool on, bool relayout = true);
  void EnterFullScreen();
  void LeaveFullScreen();
  winui::MenuItem* ZoomItem(int zoom) const;
  bool IsCategoryItem(HTREEITEM item) const;
  std::wstring DragFileName() const;

  void BuildControls();
  void BuildMenus();
  void FormCreate();
  void DriveSearch();
  void Unbind();
  void BuildTree(cgmodule::IndexWalk&& walk);
  // Adds the items under a category the first time the tree asks for them.
  void FillChildren(HTREEITEM item);
  // Adds the items of `parent` (a position in tree_items_, -1: the top level).
  void AddItems(HTREEITEM under, int parent);
  int PositionOf(HTREEITEM item) const;  // in tree_items_, -1: none
  void RenderPicture();
  // Sizes and places the output area's image for the current bitmap at the
  // zoom; the image paints its visible part zoomed.
  void LayoutPicture();
  // Whether a picture this large can be shown at this zoom.
  static bool FitsOnScreen(SIZE picture, int zoom);
  // The current bitmap at the zoom for Copy, or none after the memory message.
  base::UniqueBitmap ZoomedOrReport();
  // original_dib_'s pixels and palette, or no rows without one.
  base::PngPixels ShownDibPixels() const;
  void SavePicture(bool original);
  // The last shown picture's packed DIB as the module rendered it (a copy;
  // empty for depths the viewer does not show).
  std::vector<uint8_t> original_dib_;
  void WriteSettingsFile();
  int32_t ShowSettingsDialog(int page);
  std::string PluginPathFromDialog() const;
  // The node data of an index tree item: what the walk read of its entry.
  const cgmodule::IndexNode* NodeOf(HTREEITEM item) const;
  // The zoom factor; the View menu's tag and the zoom items' checks follow it.
  void SetZoom(int zoom);

  std::wstring exe_path_;
  std::vector<std::wstring> args_;
  std::wstring ini_path_;
  Settings settings_;
  cgmodule::CommonModule module_;
  // The index tree's node data (each item's lParam points at one), replaced
  // with the tree, beside what the walk read (names and parents) and each
  // item's children (positions, grouped by parent: child_begin_[p + 1] starts
  // the children of p, [0] the top level), so categories fill when opened.
  std::vector<cgmodule::IndexNode> index_nodes_;
  std::vector<cgmodule::IndexItem> tree_items_;
  std::vector<uint32_t> child_begin_;
  std::vector<uint32_t> children_;
  OrvuHostCallbacks host_table_{};
  OrvuVersionInfo viewer_version_{};
  std::string viewer_strings_[3];  // Shift-JIS texts behind viewer_version_
  char drive_probe_[4] = {'c', ':', '\\', 0};

  settings::ISettingsDialog* settings_dialog_ = nullptr;
  TWVerDlg* version_dialog_ = nullptr;

  // Longest side of the output area's image window (window extents are 16-bit).
  static constexpr int kMaxImageExtent = 32767;

  int zoom_ = 1;
  HTREEITEM current_item_ = nullptr;
  bool picture_present_ = false;
  int shown_zoom_ = 0;  // zoom of the picture on screen; 0 before the first
  bool render_busy_ = false;
  bool tree_rebuilding_ = false;
  bool dialog_modal_ = false;
  DWORD ui_thread_ = 0;
  double last_tree_fill_ms_ = 0;

  bool fit_ = false;
  bool full_screen_ = false;
  bool in_view_layout_ = false;
  // The window before full screen, put back when it ends.
  struct Windowed {
    WINDOWPLACEMENT placement{sizeof(WINDOWPLACEMENT)};
    LONG style = 0;
    LONG box_ex_style = 0;
  } windowed_;
  DragFolder drag_folder_;

  static TWMain* instance_;
};

}  // namespace app
