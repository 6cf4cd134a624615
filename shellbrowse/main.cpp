// The shell browser: the shell view controls linked in one window. An
// argument names the folder to open first; without one the desktop shows.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include "shellbrowse/browser.h"
#include "shellcom/drpcomex.h"
#include "shellview/shview.h"
#include "winui/window.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
  shcom::UnitScope drpcomex;  // OLE: before the shell state, finished after it
  shview::ShellState shell_state;
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_USEREX_CLASSES};
  InitCommonControlsEx(&icc);

  browse::TBrowseForm form;
  form.SetMainForm();
  form.Create();
  int argc = 0;
  if (LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc)) {
    if (argc > 1) form.Open(argv[1]);
    LocalFree(argv);
  }
  form.Show();
  return winui::RunMessageLoop();
}
