// Display text of numbers: the general format, fractions, scientific and fixed texts, and the
// rendering of a cell's number through its number format. All texts are 8-bit (UTF-8) with the
// separators and names of the locale settings; callers widen them.
#pragma once

#include <string>
#include <string_view>

#include "platform/locale_settings.h"

namespace xls {

class TExcelMask;
class TCellFormats;

// The general format: the value rounded to 15 significant digits without trailing zeros, a
// decimal separator only when there is a fraction; fixed notation for 0 and for magnitudes from
// 0.0001 with at most 15 integer digits, otherwise scientific ("1E-5", "1.5E20"). NaN and the
// infinities give "NAN", "INF" and "-INF".
std::string GeneralText(double v, const TLocaleSettings& s = CurrentLocaleSettings());

// The closest fraction with a denominator up to maxDenominator, found by a mediant search and
// preceded by the integer part: 1.25 gives "1 1/4", 0.5 gives "1/2". A negative value gives "-"
// followed by the text of its magnitude ("-2 3/4").
std::string FractionText(int maxDenominator, double v,
                         const TLocaleSettings& s = CurrentLocaleSettings());

// Scientific text: optional "-", a mantissa of `precision` significant digits (rounded half away
// from zero), "E", the exponent's sign and at least minExponentDigits exponent digits.
// ScientificText(12345, 3, 2) is "1.23E+04".
std::string ScientificText(double v, int precision, int minExponentDigits,
                           const TLocaleSettings& s = CurrentLocaleSettings());

// Fixed text with `decimals` fraction digits, rounded half away from zero on the value's 15
// significant digits; a leading "-" for a negative value that does not round to zero; with
// thousands the thousands separator between every three integer digits.
std::string FixedText(double v, int decimals, bool thousands,
                      const TLocaleSettings& s = CurrentLocaleSettings());
// The same text in two parts: the integer part with its sign and thousands separators, and the
// `decimals` fraction digits (without the decimal separator).
void FixedTextParts(double v, int decimals, bool thousands, const TLocaleSettings& s,
                    std::string& integerPart, std::string& fractionDigits);

// Renders v with a number format given by its id and text (the text of the id in the workbook's
// number-format table): ids 11, 12, 13, 14 and 20 have fixed routines; an empty text gives
// GeneralText; any other text is compiled into the shared mask and rendered with it. A text the
// mask refuses (256 characters or more) gives GeneralText instead of a stale mask's rendering.
std::string FormatNumberById(int id, std::u16string_view formatText, double v, TExcelMask& mask,
                             const TLocaleSettings& s = CurrentLocaleSettings());

// Display text of a number in the cell format at XF index xf: XF 0 always gives GeneralText;
// otherwise the number-format id and text of the XF go through FormatNumberById with the shared
// mask. An XF index outside the list also gives GeneralText.
std::string FormatCellNumber(const TCellFormats& formats, int xf, double v, TExcelMask& mask,
                             const TLocaleSettings& s = CurrentLocaleSettings());

}  // namespace xls
