#pragma once
// Text crossing into the UI is UTF-16; text from the common module, plug-ins,
// the settings file and paths is Shift-JIS by contract. Convert explicitly with
// code page 932 so the result does not depend on the system's ANSI code page.
#include <string>
#include <string_view>

namespace base {

constexpr unsigned kSjis = 932;

std::wstring FromSjis(std::string_view s);
std::string ToSjis(std::wstring_view s);
// The system's ANSI code page, for the few A-calls whose text the shell produces.
std::wstring FromAcp(std::string_view s);
std::string ToAcp(std::wstring_view s);

}  // namespace base
