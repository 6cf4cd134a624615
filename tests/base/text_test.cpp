#include "base/text.h"

#include <gtest/gtest.h>

// Shift-JIS with 0x5C trail bytes and half-width kana must survive both ways,
// whatever the process's ANSI code page is.
TEST(SjisText, RoundTripsTrailBackslashAndHalfwidthKana) {
  const std::string sjis = "\x83\x5C\x95\x5C\xDB\xB0\xC4\xDE";  // ソ表ﾛｰﾄﾞ
  const std::wstring wide = base::FromSjis(sjis);
  EXPECT_EQ(wide, L"\u30BD\u8868\uFF9B\uFF70\uFF84\uFF9E");
  EXPECT_EQ(base::ToSjis(wide), sjis);
}

TEST(SjisText, EmptyStaysEmpty) {
  EXPECT_EQ(base::FromSjis(""), L"");
  EXPECT_EQ(base::ToSjis(L""), "");
}
