// Program entry: the shell units' start-up (OLE, then the shell state), then the application
// title and help file, the main window, the version dialog and the settings
// dialog; the message loop runs until the main window closes.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "app/umain.h"
#include "app/uverdlg.h"
#include "base/diag.h"
#include "base/handle.h"
#include "settings/batch.h"
#include "settings/ucomdlg1.h"
#include "shellcom/drpcomex.h"
#include "shellview/shview.h"
#include "winui/msgbox.h"

namespace {

std::wstring ExePath() {
  std::wstring buf(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n < buf.size()) {
      buf.resize(n);
      return buf;
    }
    buf.resize(buf.size() * 2);
  }
}

std::vector<std::wstring> Arguments() {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  std::vector<std::wstring> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  LocalFree(argv);
  return args;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
  // Held for the run: setup and the uninstaller refuse to replace files while it exists.
  const base::UniqueHandle running(CreateMutexW(nullptr, FALSE, KOLBRI_RUNNING_MUTEX));
  shcom::UnitScope drpcomex;  // OLE for the process: before the shell state, finished after it
  // The shell allocator and desktop folder: after OLE, released after every form.
  shview::ShellState shell_state;
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_TAB_CLASSES | ICC_PROGRESS_CLASS};
  KOLBRI_LOG_IF_FALSE(InitCommonControlsEx(&icc));
  winui::SetAppTitle(L"コルブリ");  // help file: kolbri.hlp beside the exe (TWMain)

  app::TWMain main_window(ExePath(), Arguments());
  main_window.SetMainForm();
  main_window.Create();
  app::TWVerDlg version_dialog;
  version_dialog.Create(main_window.hwnd());
  settings::TWComDlg1 settings_dialog;
  settings_dialog.Create(main_window.hwnd());
  settings::BatchHost batch;
  batch.index_tree = main_window.TreeView1.hwnd();
  batch.module = &main_window.Module();
  batch.overlay = [&main_window] { return main_window.ME_Overlay->Checked(); };
  batch.continue_flag = &main_window.continue_flag;
  settings_dialog.SetBatchHost(batch);
  // F1 on the dialog opens the topic of the page in front (contexts 17, 28, 18).
  settings_dialog.on_help = [&main_window](int context) {
    main_window.ShowHelp(context ? HELP_CONTEXT : HELP_FINDER, static_cast<DWORD>(context));
  };
  main_window.SetDialogs(&settings_dialog, &version_dialog);

  main_window.Show();
  return winui::RunMessageLoop();
}
