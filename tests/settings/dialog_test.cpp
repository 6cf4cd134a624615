// The settings dialog driven as the user drives it: the real form with its real
// shell folder tree, plug-ins listed through the stand-in's listed.kol, and
// batch conversions rendered by the stand-in module.
#include <gtest/gtest.h>

#include <ole2.h>

#include <functional>
#include <memory>

#include "base/handle.h"
#include "tests/support/batch_harness.h"
#include "cgmodule/module.h"
#include "cgmodule/picture.h"
#include "settings/ucomdlg1.h"
#include "shellview/shview.h"
#include "tests/support/testsupport.h"
#include "winui/msgbox.h"
#include "base/text.h"

using settings::TWComDlg1;
using testsupport::TempDir;

namespace {

using batchtest::PumpUntil;
using batchtest::PumpUntilSet;

class ShellEnv : public ::testing::Environment {
 public:
  void SetUp() override {
    OleInitialize(nullptr);
    state_ = std::make_unique<shview::ShellState>();
    winui::SetAppTitle(L"コルブリ");
    testsupport::UseModuleVariant("");
  }
  void TearDown() override {
    state_.reset();
    OleUninitialize();
  }

 private:
  std::unique_ptr<shview::ShellState> state_;
};
const auto* const kEnv = ::testing::AddGlobalTestEnvironment(new ShellEnv);

// Shows the dialog modally on a page and runs steps inside its modal loop; the
// steps end the loop (OK / Cancel), or it is cancelled afterwards.
int32_t Modal(TWComDlg1& d, int page, const std::function<void()>& steps) {
  winui::Form::ModalStartHook() = [&](winui::Form&) {
    steps();
    if (d.InModal() && d.ModalResult() == 0) d.EndModal(settings::kCancelled);
  };
  const int32_t r = d.ShowModalOnPage(page);
  winui::Form::ModalStartHook() = nullptr;
  return r;
}

// The user picks entry i of a list box (LBN_SELCHANGE / LBN_DBLCLK as the control sends them).
void UserSelect(winui::ListBox& lb, int i, WORD code = LBN_SELCHANGE) {
  SendMessageW(lb.hwnd(), LB_SETCURSEL, static_cast<WPARAM>(i), 0);
  SendMessageW(GetParent(lb.hwnd()), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(lb.hwnd()), code),
               reinterpret_cast<LPARAM>(lb.hwnd()));
}

// Polled: the focus comes with Wine's X focus event, which wakes no wait here.
void AwaitFocus(HWND h) {
  for (int i = 0; i < 400 && GetFocus() != h; ++i) {
    winui::PumpPending();
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  }
}

void Click(winui::Button& b) { SendMessageW(b.hwnd(), BM_CLICK, 0, 0); }

std::string Acp(const std::wstring& w) { return base::ToAcp(w); }
std::string Sjis(const std::wstring& w) { return base::ToSjis(w); }
std::wstring NoSlash(std::wstring p) {
  if (p.size() > 3 && p.back() == L'\\') p.pop_back();
  return p;
}

void SetPath(settings::PathBuffer& buf, const std::wstring& w) {
  lstrcpynA(buf.data(), Sjis(w).c_str(), static_cast<int>(buf.size()));
}

class Dialog : public ::testing::Test {
 protected:
  void SetUp() override {
    d = std::make_unique<TWComDlg1>();
    d->Create();
  }
  void TearDown() override { d.reset(); }
  std::unique_ptr<TWComDlg1> d;
};

// ---- plug-in page, OK and Cancel --------------------------------------------

TEST_F(Dialog, FirstShowingListsPluginsAndSameTitlesKeepTheirFileNames) {
  TempDir dir;
  testsupport::InstallListedPlugin(dir.path(), L"first", Sjis(L"title 同じ題名\ncategory A\n"));
  testsupport::InstallListedPlugin(dir.path(), L"second", Sjis(L"title 同じ題名\ncategory B\n"));
  testsupport::InstallListedPlugin(dir.path(), L"hidden", Sjis(L"title 隠し\n"));
  SetFileAttributesW((dir.path() + L"hidden.kol").c_str(), FILE_ATTRIBUTE_HIDDEN);
  CreateDirectoryW((dir.path() + L"folder.kol").c_str(), nullptr);
  SetPath(d->Paths().PluginDir, dir.path());

  EXPECT_FALSE(d->PluginListBuilt());
  std::vector<std::wstring> names;
  const int32_t r = Modal(*d, settings::kPagePlugin, [&] {
    ASSERT_EQ(d->ListBox_SelPgn1.Count(), 2);
    ASSERT_EQ(d->ListBox_PginName.Count(), 2);
    EXPECT_EQ(d->ListBox_SelPgn1.Item(0), L"同じ題名");
    EXPECT_EQ(d->ListBox_SelPgn1.Item(1), L"同じ題名");
    names = {d->ListBox_PginName.Item(0), d->ListBox_PginName.Item(1)};
    EXPECT_FALSE(d->ListBox_PginName.Visible());
    EXPECT_FALSE(d->Button_CommonOk.Enabled());
    UserSelect(d->ListBox_SelPgn1, 1);
    EXPECT_TRUE(d->Button_CommonOk.Enabled());
    Click(d->Button_CommonOk);
  });
  EXPECT_EQ(r, settings::kConfirmed);
  EXPECT_EQ(d->Result(), settings::kConfirmed);
  EXPECT_TRUE(d->PluginListBuilt());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::wstring>{L"first.kol", L"second.kol"}));
  // The file name is the one at the chosen position of the hidden list.
  EXPECT_EQ(base::FromSjis(d->Paths().PluginFile.data()), d->ListBox_PginName.Item(1));
  EXPECT_EQ(std::string(d->Paths().PluginDir.data()), dir.sjis());
}

TEST_F(Dialog, OkNeedsAListSelectionOnEveryPageAndDoubleClickConfirms) {
  TempDir dir;
  testsupport::InstallListedPlugin(dir.path(), L"only", Sjis(L"title 唯一\n"));
  SetPath(d->Paths().PluginDir, dir.path());
  for (int page : {settings::kPageDrive, settings::kPageBatch, settings::kPagePlugin}) {
    const int32_t r = Modal(*d, page, [&] {
      EXPECT_EQ(d->ListBox_SelPgn1.ItemIndex(), -1);
      Click(d->Button_CommonOk);  // disabled: nothing
      d->Button_CommonOkClick();  // and with no selection it would do nothing either
      EXPECT_TRUE(d->InModal());
      EXPECT_EQ(d->ModalResult(), 0);
      Click(d->Button_CommonCancel);
    });
    EXPECT_EQ(r, settings::kCancelled);
  }
  EXPECT_EQ(d->Paths().PluginFile[0], '\0');
  const int32_t r = Modal(*d, settings::kPageDrive, [&] {
    // Selecting on the plug-in page, then confirming from the drive page.
    UserSelect(d->ListBox_SelPgn1, 0, LBN_DBLCLK);
  });
  EXPECT_EQ(r, settings::kConfirmed);
  EXPECT_STREQ(d->Paths().PluginFile.data(), "only.kol");
}

TEST_F(Dialog, CancelRestoresTheListSelectionAndLeavesThePaths) {
  TempDir dir, other;
  testsupport::InstallListedPlugin(dir.path(), L"a", Sjis(L"title 甲\n"));
  testsupport::InstallListedPlugin(dir.path(), L"b", Sjis(L"title 乙\n"));
  SetPath(d->Paths().PluginDir, dir.path());
  Modal(*d, settings::kPagePlugin, [&] {
    UserSelect(d->ListBox_SelPgn1, 0);
    Click(d->Button_CommonOk);
  });
  const settings::DialogPaths before = d->Paths();
  const int32_t r = Modal(*d, settings::kPageDrive, [&] {
    UserSelect(d->ListBox_SelPgn1, 1);
    d->FolderView_Common1.SelectPath(Acp(NoSlash(other.path())));
    EXPECT_EQ(std::string(d->WorkingRootDir()), other.sjis());
    Click(d->Button_CommonCancel);
  });
  EXPECT_EQ(r, settings::kCancelled);
  EXPECT_EQ(d->ListBox_SelPgn1.ItemIndex(), 0);
  EXPECT_EQ(0, memcmp(&before, &d->Paths(), sizeof before));
}

TEST_F(Dialog, ACancelledBrowseLeavesNoListOfTheOtherFolder) {
  TempDir a, b;
  testsupport::InstallListedPlugin(a.path(), L"same", Sjis(L"title 甲\n"));
  testsupport::InstallListedPlugin(b.path(), L"same", Sjis(L"title 乙\n"));
  SetPath(d->Paths().PluginDir, a.path());
  Modal(*d, settings::kPagePlugin, [&] {
    d->FolderView_Common1.SelectPath(Acp(NoSlash(b.path())));
    ASSERT_EQ(d->ListBox_SelPgn1.Count(), 1);
    EXPECT_EQ(d->ListBox_SelPgn1.Item(0), L"乙");
    Click(d->Button_CommonCancel);
  });
  Modal(*d, settings::kPagePlugin, [&] {
    EXPECT_EQ(std::string(d->WorkingPluginDir()), a.sjis());
    ASSERT_EQ(d->ListBox_SelPgn1.Count(), 1);
    EXPECT_EQ(d->ListBox_SelPgn1.Item(0), L"甲");
  });
}

// ---- folder tree ------------------------------------------------------------

TEST_F(Dialog, DriveRootIsThreeCharactersOtherFoldersEndInOneBackslash) {
  TempDir dir;
  testsupport::InstallListedPlugin(dir.path(), L"p", Sjis(L"title 題\n"));
  SetPath(d->Paths().PluginDir, dir.path());
  const int32_t r = Modal(*d, settings::kPageDrive, [&] {
    d->FolderView_Common1.SelectPath("C:\\");
    EXPECT_STREQ(d->WorkingRootDir(), "C:\\");
    d->FolderView_Common1.SelectPath(Acp(NoSlash(dir.path())));
    EXPECT_EQ(std::string(d->WorkingRootDir()), dir.sjis());
    d->FolderView_Common1.SelectPath("C:\\");
    UserSelect(d->ListBox_SelPgn1, 0);
    Click(d->Button_CommonOk);
  });
  ASSERT_EQ(r, settings::kConfirmed);
  EXPECT_STREQ(d->Paths().RootDir.data(), "C:\\");
}

const char kMyComputer[] = "::{20D04FE0-3AEA-1069-A2D8-08002B30309D}";

TEST_F(Dialog, AFolderWithoutAPathOnDiskLeavesThePagesFolder) {
  EXPECT_TRUE(settings::IsFileSystemPath(L"C:\\"));
  EXPECT_TRUE(settings::IsFileSystemPath(L"q:\\a"));
  EXPECT_TRUE(settings::IsFileSystemPath(L"\\\\srv\\share"));
  EXPECT_FALSE(settings::IsFileSystemPath(L""));
  EXPECT_FALSE(settings::IsFileSystemPath(base::FromAcp(kMyComputer)));
  EXPECT_FALSE(settings::IsFileSystemPath(L"a\\b"));
  Modal(*d, settings::kPageDrive, [&] {
    d->FolderView_Common1.SelectPath("C:\\");
    d->FolderView_Common1.SelectPath(kMyComputer);
    ASSERT_STRCASEEQ(d->FolderView_Common1.GetSelectedPath().c_str(), kMyComputer);
    EXPECT_STREQ(d->WorkingRootDir(), "C:\\");
  });
}

TEST_F(Dialog, AFolderShiftJisCannotNameLeavesThePagesFolderAndIsSaidOnce) {
  TempDir dir;
  const std::wstring odd = dir.path() + L"caf\u00e9\u20ac";
  ASSERT_TRUE(CreateDirectoryW(odd.c_str(), nullptr));
  std::vector<std::wstring> messages;
  winui::SetMessageSink([&](const std::wstring&, const std::wstring& t) { messages.push_back(t); });
  Modal(*d, settings::kPageDrive, [&] {
    d->FolderView_Common1.SelectPath("C:\\");
    d->FolderView_Common1.SelectPathW(odd);
    ASSERT_EQ(d->FolderView_Common1.GetSelectedPathW(), odd);
    EXPECT_STREQ(d->WorkingRootDir(), "C:\\");
    PostMessageW(d->FolderView_Common1.hwnd(), WM_KEYDOWN, VK_F5, 0);  // selects it again
    winui::PumpPending();
    EXPECT_STREQ(d->WorkingRootDir(), "C:\\");
  });
  winui::SetMessageSink(nullptr);
  EXPECT_EQ(messages,
            std::vector<std::wstring>{L"このディレクトリ名は使用できない文字を含んでいます(設定)"});
}

TEST_F(Dialog, F5KeepsTheSelectedFolderOnEveryPage) {
  TempDir dir;
  CreateDirectoryW((dir.path() + L"sub").c_str(), nullptr);
  const std::wstring sub = dir.path() + L"sub";
  SetPath(d->Paths().PluginDir, dir.path());
  SetPath(d->Paths().DestDir, dir.path());
  SetPath(d->Paths().RootDir, dir.path());
  d->ShowBatchTab(true);
  for (int page : {settings::kPagePlugin, settings::kPageBatch, settings::kPageDrive}) {
    Modal(*d, page, [&] {
      d->FolderView_Common1.SelectPath(Acp(sub));
      ASSERT_EQ(base::FromAcp(d->FolderView_Common1.GetSelectedPath()), sub);
      PostMessageW(d->FolderView_Common1.hwnd(), WM_KEYDOWN, VK_F5, 0);
      winui::PumpPending();
      EXPECT_EQ(base::FromAcp(d->FolderView_Common1.GetSelectedPath()), sub) << page;
      const char* working = page == 0   ? d->WorkingPluginDir()
                            : page == 1 ? d->WorkingDestDir()
                                        : d->WorkingRootDir();
      EXPECT_EQ(std::string(working), Sjis(sub + L"\\")) << page;
    });
  }
}

TEST_F(Dialog, BatchOptionsCannotCombineNoFoldersWithIndexNames) {
  Modal(*d, settings::kPageDrive, [&] {
    EXPECT_TRUE(d->CheckBox_MulSav1.Checked());
    EXPECT_TRUE(d->RadioButton_MulSav1.Checked());
    Click(d->CheckBox_MulSav1);
    EXPECT_FALSE(d->CheckBox_MulSav1.Checked());
    EXPECT_FALSE(d->RadioButton_MulSav1.Checked());
    EXPECT_TRUE(d->RadioButton_MulSav2.Checked());
    Click(d->RadioButton_MulSav1);
    EXPECT_TRUE(d->CheckBox_MulSav1.Checked());
    EXPECT_TRUE(d->RadioButton_MulSav1.Checked());
    // The format: the naming rule's captions show the extension written.
    EXPECT_FALSE(d->BatchPng());
    Click(d->CheckBox_MulSav2);
    EXPECT_TRUE(d->BatchPng());
    EXPECT_EQ(d->RadioButton_MulSav1.Text(), L"\"インデクスと同名\".png");
    EXPECT_EQ(d->RadioButton_MulSav2.Text(), L"\"プリフィクス+通番\".png");
    d->SetBatchPng(false);
    EXPECT_EQ(d->RadioButton_MulSav2.Text(), L"\"プリフィクス+通番\".bmp");
  });
}

TEST_F(Dialog, LayoutCaptionsAndInitialState) {
  EXPECT_EQ(d->Text(), L"設定");
  EXPECT_EQ(d->PageControl1.PageCount(), 3);
  EXPECT_FALSE(d->PageControl1.TabVisible(1));
  EXPECT_EQ(d->PGSelPgn->tag, 17);
  EXPECT_EQ(d->PGMulSav->tag, 28);
  EXPECT_EQ(d->PGSelDrv->tag, 18);
  EXPECT_EQ(d->Button_MulSav1.Text(), L"変換！");
  EXPECT_FALSE(d->Button_MulSav1.Enabled());
  EXPECT_EQ(d->Edit_MulSav1.Text(), L"orvu");
  EXPECT_EQ(d->RadioButton_MulSav1.Text(), L"\"インデクスと同名\".bmp");
  EXPECT_EQ(d->RadioButton_MulSav2.Text(), L"\"プリフィクス+通番\".bmp");
  EXPECT_EQ(d->Button_CommonOk.Text(), L"決定");
  EXPECT_EQ(d->Button_CommonCancel.Text(), L"キャンセル");
  // Client area: page control's right edge by OK button's bottom + 8, all scaled.
  const SIZE c = d->ClientSizePx();
  EXPECT_EQ(c.cx, winui::Scale(232) + winui::Scale(292));
  EXPECT_EQ(c.cy, winui::Scale(320) + winui::Scale(25) + winui::Scale(8));
  // The folder tree is placed and hinted like every other control.
  const RECT tree = d->FolderView_Common1.BoundsPx();
  EXPECT_EQ(tree.top, winui::Scale(24));
  EXPECT_EQ(tree.right - tree.left, winui::Scale(225));
  EXPECT_EQ(tree.bottom - tree.top, winui::Scale(289));
  wchar_t hint[80] = {};
  TTTOOLINFOW tool{};
  tool.cbSize = TTTOOLINFOW_V2_SIZE;
  tool.hwnd = d->hwnd();
  tool.uId = reinterpret_cast<UINT_PTR>(d->FolderView_Common1.hwnd());
  tool.lpszText = hint;
  EXPECT_TRUE(SendMessageW(d->Tooltips(), TTM_GETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&tool)));
  EXPECT_STREQ(hint, L"F5を押すと、最新の情報に更新出来ます");
  d->ShowBatchTab(true);
  d->EnableBatchStart(true);
  EXPECT_TRUE(d->PageControl1.TabVisible(1));
  EXPECT_TRUE(d->Button_MulSav1.Enabled());
  for (int showing = 0; showing < 2; ++showing) {
    Modal(*d, settings::kPageDrive, [&] {
      EXPECT_EQ(d->PageControl1.help_context, 18);
      AwaitFocus(d->FolderView_Common1.hwnd());
      EXPECT_EQ(GetFocus(), d->FolderView_Common1.hwnd());
      // F1 there is the page's topic.
      int context = -1;
      d->on_help = [&](int c) { context = c; };
      HELPINFO hi{sizeof hi, HELPINFO_WINDOW, 0, d->FolderView_Common1.hwnd(), 0, {}};
      SendMessageW(d->hwnd(), WM_HELP, 0, reinterpret_cast<LPARAM>(&hi));
      EXPECT_EQ(context, 18);
    });
  }
  // Closing by the system menu or Alt+F4 is Cancel.
  const int32_t r =
      Modal(*d, settings::kPagePlugin, [&] { SendMessageW(d->hwnd(), WM_CLOSE, 0, 0); });
  EXPECT_EQ(r, settings::kCancelled);
}

// ---- batch conversion through the dialog -----------------------------------

// The stand-in module bound in-process, with a listed plug-in loaded and the
// main window's index tree built from it.
struct Title {
  cgmodule::CommonModule module;
  OrvuHostCallbacks table{};
  std::unique_ptr<batchtest::Tree> tree;
  std::atomic<bool> keep_going{false};
  settings::BatchHost host;
  TempDir plugin_dir;

  explicit Title(const std::wstring& manifest) {
    static OrvuVersionInfo self{"コルブリ", 0x0100, "", ""};
    OrvuHostRecord rec{nullptr, &table};
    EXPECT_EQ(module.Bind(rec), cgmodule::BindResult::Ok);
    module.Attach(&self, table);
    const std::wstring kol =
        testsupport::InstallListedPlugin(plugin_dir.path(), L"title", Sjis(manifest));
    EXPECT_GE(module.LoadPlugin(Sjis(kol).c_str()), 0);
    tree = std::make_unique<batchtest::Tree>(module.Context()->IndexRoot);
    host.index_tree = tree->hwnd();
    host.module = &module;
    host.continue_flag = &keep_going;
  }
  ~Title() {
    tree.reset();
    module.UnloadPlugin();
    module.Release();
  }
  void Select(const std::vector<std::wstring>& path) {
    TreeView_SelectItem(tree->hwnd(), tree->Find(path));
  }
  // The module's own rendering of a picture, for comparison.
  testsupport::Pixels Render(const std::vector<std::wstring>& path) {
    cgmodule::MakeBmpResult r = module.MakeBmp(tree->EntryAt(path), false);
    cgmodule::PictureBlock b(r.block);
    return testsupport::DecodeDib(b.Data(), b.Size());
  }
};

const wchar_t kExample[] =
    L"title 例\n"
    L"category A\n"
    L"  picture p1\tsynth=16x8x8:1\n"
    L"  category B\n"
    L"    picture p2\tsynth=13x5x4:2\n"
    L"    picture p3\tsynth=9x7x24:3\n"
    L"  picture p4\tsynth=640x480x8:4\n";

class Conversion : public Dialog {
 protected:
  // Starts the conversion from the dialog and waits, serving the UI, until the
  // page is idle again.
  void StartAndWait() {
    ASSERT_TRUE(d->Button_MulSav1.Enabled());
    Click(d->Button_MulSav1);
    EXPECT_TRUE(d->ConversionRunning());
    EXPECT_EQ(d->Button_MulSav1.Text(), L"中断");
    ASSERT_TRUE(PumpUntil([&] { return !d->ConversionRunning(); }));
  }
  void ExpectIdle() {
    EXPECT_EQ(d->Button_MulSav1.Text(), L"変換！");
    EXPECT_TRUE(d->Button_MulSav1.Enabled());
    EXPECT_TRUE(d->Button_CommonOk.Enabled());
    EXPECT_TRUE(d->Button_CommonCancel.Enabled());
    EXPECT_EQ(d->ProgressBar_MulSav1.Position(), 0);
  }
  // The dialog converts t's selection, its start button enabled; messages are caught.
  void Arm(Title& t) {
    d->SetBatchHost(t.host);
    d->EnableBatchStart(true);
    CatchMessages();
  }
  std::vector<std::wstring> messages;
  void CatchMessages() {
    winui::SetMessageSink(
        [this](const std::wstring&, const std::wstring& t) { messages.push_back(t); });
  }
  void TearDown() override {
    winui::SetMessageSink(nullptr);
    Dialog::TearDown();
  }
};

// Output also lands in bin\tests\settings-magick\ for the host-side check with ImageMagick.
std::wstring MagickDir() { return testsupport::ExeDir() + L"settings-magick\\"; }

TEST_F(Conversion, FullRunFromTheDialogWritesTheModulesPictures) {
  Title t(kExample);
  testsupport::RemoveTree(MagickDir());
  CreateDirectoryW(MagickDir().c_str(), nullptr);
  SetPath(d->Paths().DestDir, MagickDir());
  t.Select({L"A"});
  d->ShowBatchTab(true);
  Arm(t);
  int max_range = -1;
  int disabled = 0;  // Cancel is disabled during the run (OK was never enabled here)
  winui::WindowSubclass spy;
  Modal(*d, settings::kPageBatch, [&] {
    Click(d->RadioButton_MulSav2);  // prefix + serial, folders stay on
    ASSERT_TRUE(spy.Install(d->Button_CommonCancel.hwnd(),
                            [&](HWND, UINT m, WPARAM w, LPARAM l, const winui::SubclassNext& next) {
                              if (m == WM_ENABLE && !w) ++disabled;
                              return next(m, w, l);
                            }));
    Click(d->Button_MulSav1);
    EXPECT_EQ(d->Button_MulSav1.Text(), L"中断");
    PumpUntil([&] { return !d->ConversionRunning(); });
    spy.Remove();
    max_range =
        static_cast<int>(SendMessageW(d->ProgressBar_MulSav1.hwnd(), PBM_GETRANGE, FALSE, 0));
    ExpectIdle();
    // The folder tree shows the output folder again.
    EXPECT_EQ(base::FromAcp(d->FolderView_Common1.GetSelectedPath()), NoSlash(MagickDir()));
    // ...rebuilt, so the new sub-folders are there.
    d->FolderView_Common1.SelectPath(Acp(MagickDir() + L"A\\B"));
    EXPECT_EQ(base::FromAcp(d->FolderView_Common1.GetSelectedPath()), MagickDir() + L"A\\B");
    // The same pictures again as PNG, beside them.
    d->FolderView_Common1.SelectPath(Acp(NoSlash(MagickDir())));
    Click(d->CheckBox_MulSav2);
    Click(d->Button_MulSav1);
    PumpUntil([&] { return !d->ConversionRunning(); });
    Click(d->Button_CommonCancel);
  });
  EXPECT_EQ(disabled, 1);
  EXPECT_EQ(max_range, 4);
  EXPECT_TRUE(messages.empty());
  const struct {
    std::wstring file;
    std::vector<std::wstring> node;
  } files[] = {{L"A\\orvu0000.bmp", {L"A", L"p1"}},
               {L"A\\B\\orvu0001.bmp", {L"A", L"B", L"p2"}},
               {L"A\\B\\orvu0002.bmp", {L"A", L"B", L"p3"}},
               {L"A\\orvu0003.bmp", {L"A", L"p4"}}};
  for (const auto& f : files) {
    const std::string bytes = testsupport::ReadFileBytes(MagickDir() + f.file);
    ASSERT_FALSE(bytes.empty()) << Acp(f.file);
    const testsupport::Pixels want = t.Render(f.node);
    EXPECT_TRUE(testsupport::SamePixels(want, testsupport::DecodeBmpFile(bytes))) << Acp(f.file);
    const std::wstring png = MagickDir() + f.file.substr(0, f.file.size() - 4) + L".png";
    EXPECT_TRUE(testsupport::SamePixels(want, testsupport::DecodePngFile(png))) << Acp(png);
    // What ImageMagick must read from the file (checked on the host by magick_check.sh).
    std::string expect;
    char line[48];
    for (int y = 0; y < want.height; ++y)
      for (int x = 0; x < want.width; ++x) {
        snprintf(line, sizeof line, "%d,%d: #%06X\n", x, y,
                 want.rgb[size_t(y) * size_t(want.width) + size_t(x)]);
        expect += line;
      }
    testsupport::WriteFileBytes(MagickDir() + f.file + L".expect", expect);
    testsupport::WriteFileBytes(png + L".expect", expect);
  }
}

TEST_F(Conversion, AbortKeepsFilesSoFarAndReturnsToIdle) {
  std::wstring manifest = L"category Many\n";
  for (int i = 0; i < 8; ++i)
    manifest +=
        L"  picture p" + std::to_wstring(i) + L"\tsynth=32x24x24:" + std::to_wstring(i) + L"\n";
  Title t(manifest);
  TempDir out;
  SetPath(d->Paths().DestDir, out.path());
  t.Select({L"Many"});
  // The worker holds inside the fourth render until the user has pressed abort.
  base::UniqueHandle at_fourth(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  base::UniqueHandle pressed(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  int renders = 0;
  t.host.render = [&](const OrvuIndexEntry* e, bool overlay) {
    if (++renders == 4) {
      SetEvent(at_fourth.get());
      WaitForSingleObject(pressed.get(), 20000);
    }
    return t.module.MakeBmp(e, overlay);
  };
  Arm(t);
  Modal(*d, settings::kPageBatch, [&] {
    Click(d->Button_MulSav1);
    EXPECT_TRUE(PumpUntilSet(at_fourth.get()));
    Click(d->Button_MulSav1);  // 中断
    Click(d->Button_MulSav1);  // twice is the same as once
    EXPECT_EQ(d->Button_MulSav1.Text(), L"中断");
    SetEvent(pressed.get());
    ASSERT_TRUE(PumpUntil([&] { return !d->ConversionRunning(); }));
    ExpectIdle();
    Click(d->Button_CommonCancel);
  });
  // What was rendered is written whole; nothing after it is rendered.
  EXPECT_EQ(renders, 4);
  EXPECT_EQ(batchtest::List(out.path() + L"Many\\"),
            (std::vector<std::wstring>{L"p0.bmp", L"p1.bmp", L"p2.bmp", L"p3.bmp"}));
  EXPECT_TRUE(messages.empty());
  EXPECT_FALSE(t.keep_going.load());
}

TEST_F(Conversion, FailuresAreShownAndTheDialogReturnsToIdle) {
  const struct {
    const wchar_t* attr;
    const wchar_t* message;
  } cases[] = {
      {L"result=-2", L"元ファイルが開けません(まとめ保存)"},
      {L"result=-3", L"メモリ確保に失敗しました(まとめ保存)"},
      {L"result=5", L"何だかよく分からないエラーが発生しました（＾＾；(まとめ保存)"},
      {L"fault=nullblock", L"何だかよく分からないエラーが発生しました（＾＾；(まとめ保存)"},
      {L"fault=access", L"内部でエラーが発生しました(まとめ保存)"},
  };
  for (const auto& c : cases) {
    messages.clear();
    Title t(std::wstring(L"category C\n  picture ok\tsynth=8x8x8:1\n  picture bad\t") + c.attr +
            L"\n  picture after\tsynth=8x8x8:2\n");
    TempDir out;
    // The tree fills each folder once; a folder made since needs a refresh (F5).
    d->FolderView_Common1.RefreshTree();
    SetPath(d->Paths().DestDir, out.path());
    t.Select({L"C"});
    Arm(t);
    Modal(*d, settings::kPageBatch, [&] {
      StartAndWait();
      ExpectIdle();
      Click(d->Button_CommonCancel);
    });
    EXPECT_EQ(messages, (std::vector<std::wstring>{c.message}));
    EXPECT_EQ(batchtest::List(out.path() + L"C\\"), (std::vector<std::wstring>{L"ok.bmp"}));
  }
}

// Folder names outside the ANSI code page (code page 1252 run) still work:
// the dialog reaches the tree in UTF-16.
TEST_F(Conversion, JapaneseOutputFolderWorksWhateverTheCodePage) {
  Title t(kExample);
  TempDir out;
  const std::wstring dest = out.path() + L"出力ソ表";
  CreateDirectoryW(dest.c_str(), nullptr);
  d->FolderView_Common1.RefreshTree();
  SetPath(d->Paths().DestDir, dest + L"\\");
  t.Select({L"A"});
  Arm(t);
  Modal(*d, settings::kPageBatch, [&] {
    EXPECT_EQ(d->FolderView_Common1.GetSelectedPathW(), dest);
    EXPECT_EQ(std::string(d->WorkingDestDir()), Sjis(dest + L"\\"));
    PostMessageW(d->FolderView_Common1.hwnd(), WM_KEYDOWN, VK_F5, 0);
    winui::PumpPending();
    EXPECT_EQ(d->FolderView_Common1.GetSelectedPathW(), dest);
    StartAndWait();
    ExpectIdle();
    EXPECT_EQ(d->FolderView_Common1.GetSelectedPathW(), dest);
  });
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(batchtest::List(dest + L"\\A\\"),
            (std::vector<std::wstring>{L"B", L"p1.bmp", L"p4.bmp"}));
  EXPECT_EQ(batchtest::List(dest + L"\\A\\B\\"), (std::vector<std::wstring>{L"p2.bmp", L"p3.bmp"}));
}

TEST_F(Conversion, NoPluginProbingDuringARunAndTheListFollowsAfterwards) {
  Title t(L"category C\n  picture a\tsynth=8x8x8:1\n");
  TempDir empty, out;
  testsupport::InstallListedPlugin(out.path(), L"late", Sjis(L"title 後から\n"));
  SetPath(d->Paths().PluginDir, empty.path());
  SetPath(d->Paths().DestDir, out.path());
  t.Select({L"C"});
  // The worker waits inside its render until the test lets it go.
  base::UniqueHandle gate(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  base::UniqueHandle rendering(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  t.host.render = [&](const OrvuIndexEntry* e, bool overlay) {
    SetEvent(rendering.get());
    WaitForSingleObject(gate.get(), 10000);
    return t.module.MakeBmp(e, overlay);
  };
  d->ShowBatchTab(true);
  Arm(t);
  Modal(*d, settings::kPageBatch, [&] {
    Click(d->Button_MulSav1);
    ASSERT_TRUE(PumpUntilSet(rendering.get()));
    d->PageControl1.SetActivePage(settings::kPagePlugin);
    d->PageControl1Change();
    d->FolderView_Common1.SelectPath(Acp(NoSlash(out.path())));
    PostMessageW(d->FolderView_Common1.hwnd(), WM_KEYDOWN, VK_F5, 0);
    winui::PumpPending();
    EXPECT_EQ(d->ListBox_SelPgn1.Count(), 0);  // not probed under the worker
    SetEvent(gate.get());
    ASSERT_TRUE(PumpUntil([&] { return !d->ConversionRunning(); }));
    EXPECT_EQ(std::string(d->WorkingPluginDir()), out.sjis());
    ASSERT_EQ(d->ListBox_SelPgn1.Count(), 1);
    EXPECT_EQ(d->ListBox_SelPgn1.Item(0), L"後から");
  });
  EXPECT_TRUE(messages.empty());
}

TEST_F(Conversion, ButtonsComeBackOnlyWhenTheRunIsOver) {
  Title t(kExample);
  TempDir out;
  SetPath(d->Paths().DestDir, out.path());
  t.Select({L"A"});
  Arm(t);
  int enabled_while_running = 0;
  winui::WindowSubclass spies[2];
  Modal(*d, settings::kPageBatch, [&] {
    winui::Button* buttons[2] = {&d->Button_MulSav1, &d->Button_CommonCancel};
    for (int i = 0; i < 2; ++i)
      ASSERT_TRUE(spies[i].Install(buttons[i]->hwnd(), [&](HWND, UINT m, WPARAM w, LPARAM l,
                                                           const winui::SubclassNext& next) {
        if (m == WM_ENABLE && w && d->ConversionRunning()) ++enabled_while_running;
        return next(m, w, l);
      }));
    StartAndWait();
    ExpectIdle();
    for (winui::WindowSubclass& spy : spies) spy.Remove();
    EXPECT_EQ(enabled_while_running, 0);
  });
  EXPECT_TRUE(messages.empty());
}

TEST_F(Conversion, AnOutputFolderWithoutAPathOnDiskWritesNothing) {
  Title t(kExample);
  lstrcpyA(d->Paths().DestDir.data(), kMyComputer);
  t.Select({L"A"});
  Arm(t);
  Modal(*d, settings::kPageBatch, [&] {
    ASSERT_STRCASEEQ(d->FolderView_Common1.GetSelectedPath().c_str(), kMyComputer);
    StartAndWait();
    ExpectIdle();
  });
  EXPECT_EQ(messages, (std::vector<std::wstring>{L"ファイルの生成に失敗しました(まとめ保存)"}));
}

TEST_F(Conversion, NoSelectedCategoryWritesNothing) {
  Title t(kExample);
  TempDir out;
  SetPath(d->Paths().DestDir, out.path());
  Arm(t);
  Modal(*d, settings::kPageBatch, [&] {
    StartAndWait();
    ExpectIdle();
  });
  EXPECT_TRUE(batchtest::List(out.path()).empty());
  EXPECT_TRUE(messages.empty());
}

}  // namespace
