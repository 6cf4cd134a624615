#include "app/uverdlg.h"

#include "app/picture.h"
#include "app/umain.h"
#include "base/text.h"
#include "cgmodule/boundary.h"

namespace app {

using TA = winui::Label::TextAlign;

void TWVerDlg::Create(HWND owner) {
  CreateForm(L"", 294, 154, winui::FormStyle::DialogFixed, true, owner);
  dialog_keys = true;
  // F1 goes to the main window's help, which knows where the help file is.
  help_context = kHelpVersion;
  on_help = [owner](int context) {
    if (auto* main = dynamic_cast<TWMain*>(winui::Window::FromHwnd(owner)))
      main->ShowHelp(context ? HELP_CONTEXT : HELP_FINDER, static_cast<DWORD>(context));
  };
  Title.Create(*this, 0, 10, 291, 21, L"", TA::Center);
  title_font_ = winui::CreateUiFont(18, false, Dpi());
  Title.SetFont(title_font_.get());
  VerInfo.Create(*this, 90, 35, 111, 21, L"", TA::Center);
  LastMod.Create(*this, 0, 55, 291, 21, L"", TA::Center);
  Notice.Create(*this, 0, 85, 291, 21, L"", TA::Center);
  Button1.Create(*this, 100, 120, 91, 25, L"OK");
  Button1.SetDefault(true);
  Button1.SetCancel(true);
  Button1.on_click = [this] { EndModal(IDOK); };  // Button1Click
}

void TWVerDlg::OnDpiChanged(int, int new_dpi) {
  base::UniqueFont font = winui::CreateUiFont(18, false, new_dpi);
  Title.SetFont(font.get());  // before the old one goes
  title_font_ = std::move(font);
}

void TWVerDlg::SetRecord(const std::wstring& caption, const OrvuVersionInfo* rec) {
  SetText(caption);
  // The module's memory, read once and guarded.
  const cgmodule::VersionRecord r = cgmodule::ReadVersionRecord(rec);
  Title.SetText(base::FromSjis(r.name));
  VerInfo.SetText(r.present ? VersionText(r.version) : L"");
  LastMod.SetText(base::FromSjis(r.date));
  Notice.SetText(base::FromSjis(r.notice));
}

void TWVerDlg::ShowRecord(const std::wstring& caption, const OrvuVersionInfo* rec) {
  SetRecord(caption, rec);
  SetFocus(Button1.hwnd());
  ShowModal();
}

}  // namespace app
