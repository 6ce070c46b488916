// Stateless helpers shared by the reader, the writer, the formula code and the sheet extras: A1
// reference texts in both directions, BIFF error codes, the option-byte string forms of BIFF
// records, hexadecimal text, RK numbers and range clamping.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/bytes.h"
#include "workbook/cell.h"  // MakeCellKey, kMaxCol (IV), kMaxRow (row 65536 in texts), TCellError

namespace xls {

// A cell reference: zero-based column and row and the two absolute flags ("$").
struct TCellRef {
  int Col = 0;
  int Row = 0;
  bool AbsCol = false;
  bool AbsRow = false;
  bool operator==(const TCellRef&) const = default;
};

// "A1", "$C$10"; columns past 25 take two letters (26 is AA, 255 is IV).
std::u16string CellRefText(int col, int row, bool absCol = false, bool absRow = false);
std::u16string AreaRefText(int col1, int row1, int col2, int row2, bool absCol1 = false,
                           bool absRow1 = false, bool absCol2 = false, bool absRow2 = false);

// Parses "$A$1", "AB12": optional "$", one or two upper-case letters (the first of two in A..I;
// the column is capped at 255), optional "$", a row number 1..65536. Anything else fails; on
// failure ref is unspecified.
bool ParseCellRef(std::u16string_view text, TCellRef& ref);
bool ParseCellRef(std::string_view text, TCellRef& ref);
// Two references joined by the first ":".
bool ParseAreaRef(std::u16string_view text, TCellRef& first, TCellRef& last);
bool ParseAreaRef(std::string_view text, TCellRef& first, TCellRef& last);

// BIFF error codes: 0x00 #NULL!, 0x07 #DIV/0!, 0x0F #VALUE!, 0x17 #REF!, 0x1D #NAME?, 0x24 #NUM!,
// 0x2A #N/A; any other code "#???".
std::u16string ErrorCodeText(uint8_t code);
// File code → internal error value (ceNull .. ceNA); unknown codes give ceNone.
TCellError ErrorCodeToIndex(uint8_t code);
// Internal error value → file code; values outside ceNull..ceNum give 0x2A (#N/A).
uint8_t ErrorIndexToCode(TCellError index);

// Option-byte strings: the first byte says how the characters are stored (0: 8-bit, otherwise
// UTF-16LE).
// Number of characters: 0 for an empty string, length - 1 for 8-bit, (length - 1) / 2 otherwise.
int FlaggedStringLength(std::span<const uint8_t> s);
// The option byte and n characters of a BIFF string body (option byte first); raises when the
// body is shorter than that.
Bytes MakeFlaggedString(std::span<const uint8_t> body, int n);
// The n characters of a BIFF string body (option byte first): option byte 1 means UTF-16LE, any
// other value 8-bit characters taken as code points 0..255. Raises when the body is too short.
std::u16string BiffCharsToWide(std::span<const uint8_t> body, int n);
// Writes option byte 1 and the UTF-16LE characters; returns the number of bytes written
// (1 + 2 × size). Raises when out is too small.
size_t WideToBiffChars(std::u16string_view text, std::span<uint8_t> out);
Bytes WideToBiffChars(std::u16string_view text);
// Option byte 0: the rest in the system code page; 1: the rest as UTF-16LE; other values raise
// "Bad excel string id.".
std::u16string DecodeStringId(std::span<const uint8_t> s);
// n bytes of UTF-16LE including a two-byte terminator, which is dropped.
std::u16string Utf16BytesToWide(std::span<const uint8_t> buffer, int n);

// Two hexadecimal digits (upper case) → byte; a text of another length raises "Length error in
// hex string.".
uint8_t HexByte(std::string_view text);
uint8_t HexByte(std::u16string_view text);
// length / 2 bytes; a trailing odd character is ignored.
Bytes HexToBytes(std::string_view text);
Bytes HexToBytes(std::u16string_view text);

// RK number: bit 0 divides by 100, bit 1 selects a 30-bit signed integer instead of the high 30
// bits of a double.
double DecodeRK(uint32_t rk);

// Clamps an area to the sheet; fails when it lies wholly outside (c1 > 255, r1 > 65535, c2 < 0 or
// r2 < 0).
bool ClampArea(int& col1, int& row1, int& col2, int& row2);

// 1-based position of the first occurrence of c, or -1.
int CharPos(char c, std::string_view text);
int WideCharPos(char16_t c, std::u16string_view text);
// Upper-case copy with full Unicode case mapping (letters outside the basic plane stay as they
// are).
std::u16string WideUpper(std::u16string_view text);
// The colour index, or 64 (automatic) when it is above 64.
uint8_t ClampColor(uint32_t index);

}  // namespace xls
