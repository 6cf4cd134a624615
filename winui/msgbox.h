#pragma once
// The message routine: the one way errors of the viewer and the settings dialog
// reach the user. A modal box with OK, captioned with the application title,
// whose text is the message followed by "(" context ")".
#include <windows.h>

#include <functional>
#include <string>
#include <string_view>

namespace winui {

void SetAppTitle(std::wstring_view title);
const std::wstring& AppTitle();

// Shows text = message + L"(" + context + L")" with caption AppTitle().
void ShowMessage(HWND owner, std::wstring_view message, std::wstring_view context);

// The standard error box for failures reported as plain text (a file that
// cannot be written or created): caption AppTitle(), the text as given, no
// context word. Goes to the sink like ShowMessage.
void ShowError(HWND owner, std::wstring_view text);

// A yes/no question, caption AppTitle(); true for yes. While a sink is
// installed the question goes to it and the answer seam answers (no when unset).
bool Ask(HWND owner, std::wstring_view text);
using AnswerSeam = std::function<bool(const std::wstring& text)>;
void SetAnswerSeam(AnswerSeam answer);

// Test seam: while a sink is installed, messages go to it instead of a box.
using MessageSink = std::function<void(const std::wstring& caption, const std::wstring& text)>;
void SetMessageSink(MessageSink sink);

}  // namespace winui
