#pragma once
// TWVerDlg: version information of the viewer, the common module or the
// current plug-in, in one dialog reused for all three.
#include <string>

#include "cgmodule/contract.h"
#include "winui/controls.h"

namespace app {

class TWVerDlg : public winui::Form {
 public:
  void Create(HWND owner);
  // Sets the caption and the texts from rec (all empty when rec is null) and
  // shows the dialog modally.
  void ShowRecord(const std::wstring& caption, const OrvuVersionInfo* rec);
  // Sets the texts without showing (ShowRecord's first half).
  void SetRecord(const std::wstring& caption, const OrvuVersionInfo* rec);

  winui::Label Title, VerInfo, LastMod, Notice;
  winui::Button Button1;

 protected:
  void OnDpiChanged(int old_dpi, int new_dpi) override;

 private:
  base::UniqueFont title_font_;
};

}  // namespace app
