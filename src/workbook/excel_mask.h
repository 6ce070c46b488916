// The number-format mask: a number-format text compiled into up to four sections of tokens
// (positive, negative, zero, text) and the rendering of a number with them.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/locale_settings.h"

namespace xls {

// Token kinds. The comment gives the source in the format text.
enum TMaskTokenKind : uint8_t {
  mtkNone = 0,             // "@"; an exponent mark E+ E- e+ e-
  mtkLiteral = 1,          // any other character; "\x"; "_x" (a space)
  mtkText = 2,             // "text" in double quotes
  mtkDigitOptional = 3,    // #
  mtkDigitSpace = 4,       // ?
  mtkDigitZero = 5,        // 0
  mtkYear2 = 6,            // y, yy
  mtkYear4 = 7,            // yyy and longer
  mtkMonth = 8,            // m
  mtkMonth2 = 9,           // mm
  mtkMonthShort = 10,      // mmm
  mtkMonthLong = 11,       // mmmm
  mtkMonthLetter = 12,     // mmmmm and longer
  mtkDay = 13,             // d
  mtkDay2 = 14,            // dd
  mtkDayShort = 15,        // ddd
  mtkDayLong = 16,         // dddd and longer
  mtkHour = 17,            // h
  mtkHour2 = 18,           // hh and longer
  mtkHour12 = 19,          // h with AM/PM
  mtkHour12_2 = 20,        // hh with AM/PM
  mtkElapsedHours = 21,    // [h], [hh]
  mtkMinute = 22,          // m as minutes
  mtkMinute2 = 23,         // mm as minutes
  mtkElapsedMinutes = 24,  // [m], [mm]
  mtkSecond = 25,          // s
  mtkSecond2 = 26,         // ss and longer
  mtkElapsedSeconds = 27,  // [s], [ss]
  mtkAmPm = 28,            // AM/PM
  mtkAmPmLower = 29,       // am/pm
  mtkAP = 30,              // a/p
  mtkDecimalPoint = 31,    // .
  mtkPercent = 32,         // %
  mtkIntegerMarker = 33,   // inserted before the first digit placeholder or decimal point
  mtkGeneral = 34,         // the word General (any case): the general number text
};

// Section flags.
enum : uint8_t {
  msfText = 0x01,        // "@" seen; replaces all other flags
  msfThousands = 0x02,   // a comma seen
  msfDecimal = 0x04,     // a decimal point seen
  msfPercent = 0x08,     // "%" seen
  msfScientific = 0x10,  // an exponent mark seen
  msfDate = 0x20,        // date or time tokens
  msfZero = 0x40,        // compiled into the zero slot
  msfGeneral = 0x80,     // the word General: the value's general text among the literals
};

struct TMaskToken {
  TMaskTokenKind Kind = mtkNone;
  std::string Text;  // one character (UTF-8) or a quoted text
};

struct TMaskSection {
  std::vector<TMaskToken> Tokens;
  uint32_t Color = 0;  // RGB of a colour name in brackets (red in the low byte); not rendered
  uint8_t Flags = 0;
  int DecimalPosition = -1;  // list position of the decimal-point token, or -1
  int Decimals = 0;          // "0" and "#" after the decimal point (after the exponent too)
  int ThousandsScaling = 0;  // commas after the last digit placeholder, at most 4
};

// A compiled number-format text. The workbook's sheet collection owns one and recompiles it for
// every formatted value.
class TExcelMask {
 public:
  static constexpr int kSectionCount = 4;  // positive, negative, zero, text
  static constexpr size_t kMaxMaskLength = 255;

  // Compiles text (8-bit, UTF-8). A text of more than 255 characters raises "Format string more
  // than 255 characthers" and leaves the previous compilation in place.
  void SetMask(std::string_view text);
  // Renders v with the compiled sections.
  std::string FormatNumber(double v, const TLocaleSettings& s = CurrentLocaleSettings()) const;

  const std::string& Mask() const { return mask_; }
  // The section in a slot (0..3), or none.
  const TMaskSection* Section(int slot) const;

 private:
  std::string mask_;
  std::array<std::unique_ptr<TMaskSection>, kSectionCount> sections_;
};

// The mask text that selects the byte-size rendering ("0 bytes", "1.50 kb", ...).
inline constexpr std::string_view kByteSizeMask = "##,_b_y_t_e_s";

}  // namespace xls
