#include "shellview/fileitems.h"

#include <cwchar>

namespace shview {
namespace {

// Upper-cases ASCII letters of single-byte characters; double-byte characters
// pass whole (a trail byte may look like a letter).
std::string UpperAscii(std::string_view s, UINT code_page) {
  std::string out(s);
  for (size_t i = 0; i < out.size(); ++i) {
    const auto b = static_cast<unsigned char>(out[i]);
    if (IsDBCSLeadByteEx(code_page, b) && i + 1 < out.size()) {
      ++i;
    } else if (b >= 'a' && b <= 'z') {
      out[i] = static_cast<char>(b - 'a' + 'A');
    }
  }
  return out;
}

}  // namespace

std::string MaskExtension(std::string_view name, UINT code_page) {
  size_t last = std::string_view::npos;
  for (size_t i = 0; i < name.size(); ++i) {
    const auto b = static_cast<unsigned char>(name[i]);
    if (IsDBCSLeadByteEx(code_page, b) && i + 1 < name.size()) {
      ++i;  // the trail byte may be '\' (0x5C) in Shift-JIS
    } else if (b == '.' || b == '\\' || b == ':') {
      last = i;
    }
  }
  if (last == std::string_view::npos || name[last] != '.') return {};
  return UpperAscii(name.substr(last), code_page);
}

bool MaskAdmits(const std::vector<std::string>& mask, std::string_view parsing_name,
                UINT code_page) {
  if (mask.empty()) return true;
  const std::string ext = MaskExtension(parsing_name, code_page);
  if (ext.empty()) return false;
  for (const std::string& line : mask)
    if (UpperAscii(line, code_page) == ext) return true;
  return false;
}

// An extension the code page could not spell ('?') could stand for several.
std::string TypeKey(const std::string& parsing, SFGAOF attributes) {
  if (attributes & (SFGAO_FOLDER | SFGAO_LINK)) return {};
  std::string ext = MaskExtension(parsing, GetACP());
  for (char ch : ext)
    if (static_cast<unsigned char>(ch) >= 0x80 || ch == '?') return {};
  if (ext.size() < 2) return {};
  return ext;
}

std::wstring FileSizeText(ULONGLONG bytes) {
  std::wstring n = std::to_wstring(bytes / 1024 + 1);
  if (n.size() < 8) n.insert(0, 8 - n.size(), L' ');
  return n + L"KB";
}

std::wstring FileDateText(const FILETIME& utc, const std::wstring& ds, const std::wstring& ts) {
  FILETIME local;
  SYSTEMTIME st;
  // Through the calendar rather than a DOS date, which cannot hold a year
  // before 1980 or after 2107; within that range the text is the same.
  if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &st)) return {};
  wchar_t buf[64];
  swprintf(buf, std::size(buf), L"%02u%ls%02u%ls%02u %02u%ls%02u", st.wYear % 100u, ds.c_str(),
           st.wMonth, ds.c_str(), st.wDay, st.wHour, ts.c_str(), st.wMinute);
  return buf;
}

std::wstring LocaleSeparator(LCTYPE what, const wchar_t* fallback) {
  wchar_t buf[8] = {};
  return GetLocaleInfoW(LOCALE_USER_DEFAULT, what, buf, static_cast<int>(std::size(buf))) > 1
             ? buf
             : fallback;
}

const std::wstring* ColumnText(const FileListItem& item, int column) {
  switch (column) {
    case kSizeColumn: return &item.size;
    case kTypeColumn: return &item.type;
    case kDateColumn: return &item.date;
    default: return nullptr;
  }
}

// Size and date compare the values kept with the item (their texts would put
// 1999 after 2001 and a 9-digit size before an 8-digit one); an item without
// file data comes first, as its empty text did.
int CompareByColumn(const FileListItem& x, const FileListItem& y, int column) {
  if (column == kSizeColumn || column == kDateColumn) {
    if (x.has_file_data != y.has_file_data) return x.has_file_data ? 1 : -1;
    if (!x.has_file_data) return 0;
    if (column == kSizeColumn) return x.bytes < y.bytes ? -1 : x.bytes > y.bytes ? 1 : 0;
    return CompareFileTime(&x.written, &y.written);
  }
  const std::wstring* tx = ColumnText(x, column);
  const std::wstring* ty = ColumnText(y, column);
  if (!tx || !ty) return 0;
  return lstrcmpW(tx->c_str(), ty->c_str());
}

}  // namespace shview
