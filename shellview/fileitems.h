#pragma once
// What TFileView knows of one item without its window: the record an item's
// lParam points at, the texts of the size and date columns, the order of the
// sub-item columns, the mask and the key under which files share a type.
#include <windows.h>
#include <shlobj.h>

#include <string>
#include <string_view>
#include <vector>

#include "shellview/shview.h"

namespace shview {

// Columns of the list: name, size, type, time of the last change.
inline constexpr int kFileColumns = 4;
inline constexpr int kSizeColumn = 1, kTypeColumn = 2, kDateColumn = 3;

// What an item's lParam points at. The size and date texts are made when the
// item is added; the type name and the icon when the list first shows or
// reports them.
struct FileListItem {
  ChildIDList id;     // relative to the shown folder; none once deletion began
  std::wstring size;  // empty where the shell gives no file data
  std::wstring date;
  bool has_file_data = false;  // bytes and written hold the shell's find data
  ULONGLONG bytes = 0;
  FILETIME written{};
  std::wstring type;
  std::string key;  // extension whose type and icon every file shares; empty: ask per file
  int icon = I_IMAGECALLBACK;
  bool type_known = false;
};

// The extension of a parsing name in the given ANSI code page, dot included and
// upper-cased (ASCII letters of single-byte characters only); empty when the
// last '.', '\' or ':' outside double-byte characters is not a '.'.
std::string MaskExtension(std::string_view parsing_name, UINT code_page);
// True when mask has no lines or one of them, upper-cased the same way,
// equals the extension of the parsing name.
bool MaskAdmits(const std::vector<std::string>& mask, std::string_view parsing_name,
                UINT code_page);
// The key under which a child's type (and its icon, where the shell says it
// is the class's) may be shared: its extension in the ANSI code page; empty
// for folders, shortcuts and extensions that are not plain ASCII.
std::string TypeKey(const std::string& parsing_name, SFGAOF attributes);

// Size column: whole kilobytes plus one, right-aligned in 8 characters, "KB".
std::wstring FileSizeText(ULONGLONG bytes);
// Date column: "yy/mm/dd hh:mm" in local time with the given separators;
// empty when the time has no calendar date.
std::wstring FileDateText(const FILETIME& utc, const std::wstring& date_sep,
                          const std::wstring& time_sep);
// A separator of the user's locale (LOCALE_SDATE, LOCALE_STIME), or fallback.
std::wstring LocaleSeparator(LCTYPE what, const wchar_t* fallback);

// The kept text of a sub-item column (size, type, date); none for another.
const std::wstring* ColumnText(const FileListItem& item, int column);
// Ascending order of two items by a sub-item column: size and date by the
// values they came from (an item without file data first), type by text.
int CompareByColumn(const FileListItem& x, const FileListItem& y, int column);

}  // namespace shview
