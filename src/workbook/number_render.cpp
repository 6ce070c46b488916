#include "workbook/number_render.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "platform/codec.h"
#include "platform/error.h"
#include "workbook/cell_formats.h"
#include "workbook/excel_mask.h"

namespace xls {

namespace {

// A decimal value: 0.Digits × 10^Exponent, Digits without leading or trailing zeros; empty Digits
// is zero.
struct TDecimal {
  bool Negative = false;
  std::string Digits;
  int Exponent = 0;
};

void StripTrailingZeros(TDecimal& d) {
  while (!d.Digits.empty() && d.Digits.back() == '0') d.Digits.pop_back();
}

// The finite value v rounded to `significant` significant digits.
TDecimal ToDecimal(double v, int significant = 15) {
  TDecimal d;
  if (v == 0 || !std::isfinite(v)) return d;
  d.Negative = v < 0;
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, std::fabs(v), std::chars_format::scientific,
                               significant - 1);
  const std::string_view text(buf, static_cast<size_t>(r.ptr - buf));
  const size_t e = text.find('e');
  for (size_t i = 0; i < e; ++i)
    if (text[i] != '.') d.Digits += text[i];
  int exp = 0;
  std::from_chars(text.data() + e + (text[e + 1] == '+' ? 2 : 1), text.data() + text.size(), exp);
  d.Exponent = exp + 1;
  StripTrailingZeros(d);
  return d;
}

// Keeps `keep` digits from the first one, rounding half away from zero.
void RoundDigits(TDecimal& d, int keep) {
  if (d.Digits.empty()) return;
  if (keep < 0) {
    d.Digits.clear();
    return;
  }
  if (static_cast<size_t>(keep) >= d.Digits.size()) return;
  const bool up = d.Digits[static_cast<size_t>(keep)] >= '5';
  d.Digits.resize(static_cast<size_t>(keep));
  if (up) {
    int i = keep - 1;
    while (i >= 0 && d.Digits[static_cast<size_t>(i)] == '9')
      d.Digits[static_cast<size_t>(i--)] = '0';
    if (i < 0) {
      d.Digits.insert(d.Digits.begin(), '1');
      ++d.Exponent;
    } else {
      ++d.Digits[static_cast<size_t>(i)];
    }
  }
  StripTrailingZeros(d);
}

// The digit at position index from the first digit (0 beyond the stored ones).
char DigitAt(const TDecimal& d, int index) {
  return index >= 0 && static_cast<size_t>(index) < d.Digits.size()
             ? d.Digits[static_cast<size_t>(index)]
             : '0';
}

std::string NonFiniteText(double v) {
  if (std::isnan(v)) return "NAN";
  return v < 0 ? "-INF" : "INF";
}

}  // namespace

std::string GeneralText(double v, const TLocaleSettings& s) {
  if (!std::isfinite(v)) return NonFiniteText(v);
  const TDecimal d = ToDecimal(v);
  if (d.Digits.empty()) return "0";
  std::string out = d.Negative ? "-" : "";
  const int size = static_cast<int>(d.Digits.size());
  if (d.Exponent >= -3 && d.Exponent <= 15) {
    if (d.Exponent <= 0) {
      out += '0';
    } else {
      for (int i = 0; i < d.Exponent; ++i) out += DigitAt(d, i);
    }
    if (size > d.Exponent) {
      out += s.DecimalSeparator;
      for (int i = std::min(d.Exponent, 0); i < 0; ++i) out += '0';
      for (int i = std::max(d.Exponent, 0); i < size; ++i) out += d.Digits[static_cast<size_t>(i)];
    }
    return out;
  }
  out += d.Digits[0];
  if (size > 1) {
    out += s.DecimalSeparator;
    out.append(d.Digits, 1);
  }
  out += 'E';
  out += std::to_string(d.Exponent - 1);
  return out;
}

std::string FractionText(int maxDenominator, double v, const TLocaleSettings& s) {
  if (!std::isfinite(v) || v == std::trunc(v)) return GeneralText(v, s);
  // The search works on the magnitude; the sign goes in front of the whole text.
  if (v < 0) return "-" + FractionText(maxDenominator, -v, s);
  std::string prefix;
  const double whole = std::trunc(v);
  if (whole > 0) {
    prefix = GeneralText(whole, s) + " ";
    v -= whole;
  }
  int64_t ln = 0, ld = 1, un = 1, ud = 1;
  while (ld + ud <= maxDenominator) {
    const int64_t d = ld + ud;
    const int64_t n = ln + un;
    const double e = static_cast<double>(d) * 0.00001;
    const double diff = static_cast<double>(d) * v - static_cast<double>(n);
    if (diff > e) {
      ln = n;
      ld = d;
    } else if (diff < -e) {
      un = n;
      ud = d;
    } else {
      return prefix + Format("%lld/%lld", static_cast<long long>(n), static_cast<long long>(d));
    }
  }
  const double lowerError = std::fabs(static_cast<double>(ld) * v - static_cast<double>(ln));
  const double upperError = std::fabs(static_cast<double>(ud) * v - static_cast<double>(un));
  if (lowerError < upperError)
    return prefix + Format("%lld/%lld", static_cast<long long>(ln), static_cast<long long>(ld));
  return prefix + Format("%lld/%lld", static_cast<long long>(un), static_cast<long long>(ud));
}

std::string ScientificText(double v, int precision, int minExponentDigits,
                           const TLocaleSettings& s) {
  if (!std::isfinite(v)) return NonFiniteText(v);
  if (precision < 1) precision = 1;
  TDecimal d = ToDecimal(v);
  RoundDigits(d, precision);
  const int exponent = d.Digits.empty() ? 0 : d.Exponent - 1;
  std::string out = d.Negative && !d.Digits.empty() ? "-" : "";
  out += DigitAt(d, 0);
  if (precision > 1) {
    out += s.DecimalSeparator;
    for (int i = 1; i < precision; ++i) out += DigitAt(d, i);
  }
  out += 'E';
  out += exponent < 0 ? '-' : '+';
  std::string digits = std::to_string(exponent < 0 ? -exponent : exponent);
  if (static_cast<int>(digits.size()) < minExponentDigits)
    digits.insert(0, static_cast<size_t>(minExponentDigits) - digits.size(), '0');
  return out + digits;
}

void FixedTextParts(double v, int decimals, bool thousands, const TLocaleSettings& s,
                    std::string& integerPart, std::string& fractionDigits) {
  integerPart.clear();
  fractionDigits.clear();
  if (!std::isfinite(v)) {
    integerPart = NonFiniteText(v);
    return;
  }
  if (decimals < 0) decimals = 0;
  TDecimal d = ToDecimal(v);
  RoundDigits(d, d.Exponent + decimals);
  std::string integer;
  if (d.Digits.empty() || d.Exponent <= 0) {
    integer = "0";
  } else {
    for (int i = 0; i < d.Exponent; ++i) integer += DigitAt(d, i);
  }
  // A value that rounds to zero shows no sign.
  if (d.Negative && !d.Digits.empty()) integerPart = "-";
  if (thousands && integer.size() > 3) {
    const size_t lead = integer.size() % 3 == 0 ? 3 : integer.size() % 3;
    integerPart.append(integer, 0, lead);
    for (size_t i = lead; i < integer.size(); i += 3) {
      integerPart += s.ThousandSeparator;
      integerPart.append(integer, i, 3);
    }
  } else {
    integerPart += integer;
  }
  for (int i = 0; i < decimals; ++i) fractionDigits += DigitAt(d, d.Exponent + i);
}

std::string FixedText(double v, int decimals, bool thousands, const TLocaleSettings& s) {
  std::string integer, fraction;
  FixedTextParts(v, decimals, thousands, s, integer, fraction);
  if (fraction.empty()) return integer;
  return integer + s.DecimalSeparator + fraction;
}

std::string FormatNumberById(int id, std::u16string_view formatText, double v, TExcelMask& mask,
                             const TLocaleSettings& s) {
  switch (id) {
    case 11:
      return ScientificText(v, 3, 2, s);
    case 12:
      return FractionText(9, v, s);
    case 13:
      return FractionText(99, v, s);
    case 14:
    case 20: {
      // Id 14 shows the date part in the short date format, id 20 the time part in the short time
      // format.
      TDateTimeParts parts;
      const double part = id == 14 ? std::trunc(v) : std::fabs(v - std::trunc(v));
      if (!DecodeDateTime(part, parts)) return GeneralText(v, s);
      return FormatDatePattern(id == 14 ? s.ShortDateFormat : s.ShortTimeFormat, parts, s);
    }
    default:
      break;
  }
  if (formatText.empty()) return GeneralText(v, s);
  try {
    mask.SetMask(Utf16ToUtf8(formatText));
  } catch (const EXLSError&) {
    // A text too long to compile (only files bring such texts): the mask still holds the previous
    // format, so rendering with it would show the value in some other cell's format.
    return GeneralText(v, s);
  }
  return mask.FormatNumber(v, s);
}

std::string FormatCellNumber(const TCellFormats& formats, int xf, double v, TExcelMask& mask,
                             const TLocaleSettings& s) {
  // XF 0 is shown in the general format whatever number format it carries.
  if (xf <= 0 || xf >= formats.Count()) return GeneralText(v, s);
  const int id = formats.FormatAt(xf)->NumberFormatId();
  return FormatNumberById(id, formats.NumberFormats().FormatText(id), v, mask, s);
}

}  // namespace xls
