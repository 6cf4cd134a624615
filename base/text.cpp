#include "base/text.h"

#include <windows.h>

namespace base {
namespace {

std::wstring Widen(unsigned cp, std::string_view s) {
  if (s.empty()) return {};
  int n = MultiByteToWideChar(cp, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(cp, 0, s.data(), static_cast<int>(s.size()), out.data(), n);
  return out;
}

std::string Narrow(unsigned cp, std::wstring_view s) {
  if (s.empty()) return {};
  int n = WideCharToMultiByte(cp, 0, s.data(), static_cast<int>(s.size()), nullptr, 0, nullptr,
                              nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(cp, 0, s.data(), static_cast<int>(s.size()), out.data(), n, nullptr, nullptr);
  return out;
}

}  // namespace

std::wstring FromSjis(std::string_view s) { return Widen(kSjis, s); }
std::string ToSjis(std::wstring_view s) { return Narrow(kSjis, s); }
std::wstring FromAcp(std::string_view s) { return Widen(CP_ACP, s); }
std::string ToAcp(std::wstring_view s) { return Narrow(CP_ACP, s); }

}  // namespace base
