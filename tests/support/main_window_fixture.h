#pragma once
// Drives the real main window in-process: a scratch directory stands for the
// executable's directory (settings file, default directories), the settings
// dialog is scripted, and messages are captured instead of shown.
#include <windows.h>

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/umain.h"
#include "app/uverdlg.h"
#include "settings/dialog_iface.h"
#include "tests/support/testsupport.h"

namespace apptest {

// The settings dialog as the main window sees it; each showing runs the next
// scripted step (or cancels when none is left).
class ScriptedDialog : public settings::ISettingsDialog {
 public:
  using Step = std::function<int32_t(settings::DialogPaths&, int page)>;
  settings::DialogPaths& Paths() override { return paths; }
  int32_t ShowModalOnPage(int page) override;
  int32_t Result() const override { return result; }
  void ShowBatchTab(bool v) override { batch_tab = v; }
  void EnableBatchStart(bool e) override { batch_start = e; }
  bool ConversionRunning() const override { return running; }
  void SetBatchHost(const settings::BatchHost&) override {}
  bool BatchPng() const override { return batch_png; }
  void SetBatchPng(bool png) override { batch_png = png; }

  // Confirms after setting plug-in directory/file (and root when given).
  void Confirm(const std::string& plugin_dir, const std::string& plugin_file,
               const char* root = nullptr);
  void ConfirmUnchanged();
  void Cancel();

  settings::DialogPaths paths{};
  int32_t result = settings::kNone;
  std::deque<Step> steps;
  std::vector<int> pages;  // every page shown, in order
  bool batch_tab = false, batch_start = false;
  bool running = false;
  bool batch_png = false;
};

void SetPath(settings::PathBuffer& buf, const std::string& s);
std::string GetPath(const settings::PathBuffer& buf);

class AppTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Creates and shows the main window (FormCreate + FormShow) with the module
  // variant chosen ("" = bin\kolbri.dll).
  app::TWMain& Start(std::vector<std::wstring> args = {}, const std::string& variant = "");
  // Closes the main window (FormDestroy) and forgets it.
  void Stop();

  std::wstring IniPath() const { return dir.path() + L"kolbri.ini"; }
  std::string IniText() const { return testsupport::ReadFileBytes(IniPath()); }
  // Installs a listed plug-in with the manifest (UTF-16 text, written in Shift-JIS).
  std::wstring Plugin(const std::wstring& base, const std::wstring& manifest);
  std::string PluginSjis(const std::wstring& base, const std::wstring& manifest);
  // Selects the node with this path of texts ("a/b/c") and pumps messages.
  HTREEITEM SelectPath(const std::wstring& path);
  HTREEITEM Find(const std::wstring& path) const;
  // The tree as indented lines "name" with two spaces per level.
  std::wstring TreeDump() const;
  std::vector<std::wstring> TakeMessages();

  testsupport::TempDir dir;
  ScriptedDialog dialog;
  app::TWVerDlg verdlg;
  std::unique_ptr<app::TWMain> main;
  std::vector<std::wstring> messages;
};

// Real input: a key pressed and released (with Shift when shift), a left click
// at a screen point; the messages it produces are handled before returning.
void PressKey(WORD vk, bool shift = false);
void ClickAt(POINT screen);
// The wheel message the system sends the focused window for a notch (delta in
// WHEEL_DELTA units) with the pointer at a screen point, handled.
void WheelAt(POINT screen, int delta, WORD keys = 0, UINT msg = WM_MOUSEWHEEL);

// Pixels of a bitmap as 0x00RRGGBB, top row first.
testsupport::Pixels ReadBitmap(HBITMAP b);
// Expected pixels of a synthesised picture "WxHxB:seed", enlarged by zoom.
testsupport::Pixels SynthPixels(const std::string& synth, int zoom = 1);
testsupport::Pixels ZoomPixels(const testsupport::Pixels& p, int zoom);
// The part (in enlarged coordinates) of p enlarged by zoom.
testsupport::Pixels ZoomedPart(const testsupport::Pixels& p, int zoom, RECT part);
// What the window shows in part of its client area, read back from the screen.
testsupport::Pixels ReadWindow(HWND w, RECT part);

}  // namespace apptest
