// Text conversions: UTF-16 (the model's wide text), UTF-8 (the tool's and the terminal's 8-bit
// text) and Windows code pages (8-bit strings inside BIFF5 and older files), the latter through
// iconv. Conversions happen here and nowhere else.
#pragma once

#include <string>
#include <string_view>

namespace xls {

std::string Utf16ToUtf8(std::u16string_view s);
// Invalid UTF-8 bytes become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view s);

// BIFF8 "compressed" 8-bit characters: the low bytes of UTF-16 code units.
std::u16string Latin1ToUtf16(std::string_view s);

// The process-wide Windows code page used for 8-bit strings in files that do not name their own
// (BIFF5 and older without CODEPAGE). Default from the locale: zh_CN 936, zh_TW 950, ja 932,
// ko 949, ru/uk/bg 1251, otherwise 1252.
int SystemCodePage();
void SetSystemCodePage(int codePage);
int CodePageFromLocaleName(std::string_view localeName);

// Conversions through a Windows code page number (1252, 936, 10000 and so on; 1200 is UTF-16LE,
// 65001 UTF-8). Characters that cannot be converted become '?' (to 8-bit) or U+FFFD (to wide);
// the conversions never fail.
std::u16string CodePageToUtf16(std::string_view s, int codePage);
std::string Utf16ToCodePage(std::u16string_view s, int codePage);

inline std::u16string AnsiToUtf16(std::string_view s) {
  return CodePageToUtf16(s, SystemCodePage());
}
inline std::string Utf16ToAnsi(std::u16string_view s) {
  return Utf16ToCodePage(s, SystemCodePage());
}

}  // namespace xls
