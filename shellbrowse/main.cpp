// The shell browser: the shell view controls linked in one window. An
// argument names the folder to open first; without one the desktop shows.
//   --shot FILE  writes the screen to FILE (BMP) once the window has painted,
//                then ends
//   --menu       with --shot: the tree's selected folder shows the shell's
//                menu in the picture
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <string>

#include "base/diag.h"
#include "shellbrowse/browser.h"
#include "shellbrowse/shot.h"
#include "shellcom/drpcomex.h"
#include "shellview/shview.h"
#include "winui/window.h"

namespace {

constexpr UINT kSettleMs = 1500;  // the window paints and the shell fills the views
std::wstring g_shot;
bool g_menu = false;
browse::TBrowseForm* g_form = nullptr;

void CALLBACK TakeShot(HWND, UINT, UINT_PTR id, DWORD) {
  (void)KillTimer(nullptr, id);  // a one-shot: false only if it already went
  KOLBRI_LOG_IF_FALSE(browse::SaveScreen(g_shot));
  if (g_menu) (void)EndMenu();  // false when no menu is open
  PostQuitMessage(0);
}

// Opens the tree's menu of its selected folder; the shot is taken while the
// menu's own loop runs.
void CALLBACK OpenMenu(HWND, UINT, UINT_PTR id, DWORD) {
  (void)KillTimer(nullptr, id);  // a one-shot: false only if it already went
  shview::TFolderView& tree = g_form->Tree();
  RECT r{};
  KOLBRI_LOG_IF_FALSE(TreeView_GetItemRect(tree.hwnd(), tree.RealSelection(), &r, TRUE));
  const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
  KOLBRI_LOG_IF_FALSE(SetTimer(nullptr, 0, kSettleMs, &TakeShot));
  SendMessageW(tree.hwnd(), WM_RBUTTONDOWN, MK_RBUTTON, at);
  SendMessageW(tree.hwnd(), WM_RBUTTONUP, 0, at);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
  shcom::UnitScope drpcomex;  // OLE: before the shell state, finished after it
  shview::ShellState shell_state;
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_USEREX_CLASSES};
  KOLBRI_LOG_IF_FALSE(InitCommonControlsEx(&icc));

  std::wstring folder;
  int argc = 0;
  if (LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc)) {
    for (int i = 1; i < argc; ++i) {
      const std::wstring arg = argv[i];
      if (arg == L"--shot" && i + 1 < argc) {
        g_shot = argv[++i];
      } else if (arg == L"--menu") {
        g_menu = true;
      } else {
        folder = arg;
      }
    }
    LocalFree(argv);
  }

  browse::TBrowseForm form;
  g_form = &form;
  form.SetMainForm();
  form.Create();
  form.Open(folder);
  form.Show();
  if (!g_shot.empty())
    KOLBRI_LOG_IF_FALSE(SetTimer(nullptr, 0, kSettleMs, g_menu ? &OpenMenu : &TakeShot));
  const int result = winui::RunMessageLoop();
  g_form = nullptr;
  return result;
}
