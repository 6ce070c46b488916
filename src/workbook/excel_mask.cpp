#include "workbook/excel_mask.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "platform/error.h"
#include "workbook/number_render.h"

namespace xls {

namespace {

// Each rendering pass keeps at most this many characters.
constexpr size_t kPassLimit = 299;

// Byte length of the UTF-8 character at s[i], never past the end of s.
size_t CharLength(std::string_view s, size_t i) {
  const auto lead = static_cast<unsigned char>(s[i]);
  size_t n = 1;
  if (lead >= 0xF0 && lead < 0xF8)
    n = 4;
  else if (lead >= 0xE0)
    n = lead < 0xF0 ? 3 : 1;
  else if (lead >= 0xC0)
    n = 2;
  return std::min(n, s.size() - i);
}

size_t CountChars(std::string_view s) {
  size_t n = 0;
  for (size_t i = 0; i < s.size(); i += CharLength(s, i)) ++n;
  return n;
}

// The UTF-8 characters of s, each as a view into s.
std::vector<std::string_view> SplitChars(std::string_view s) {
  std::vector<std::string_view> out;
  for (size_t i = 0; i < s.size();) {
    const size_t n = CharLength(s, i);
    out.push_back(s.substr(i, n));
    i += n;
  }
  return out;
}

// Keeps the first (or the last) `limit` characters of s.
std::string KeepChars(std::string s, size_t limit, bool keepEnd) {
  const size_t count = CountChars(s);
  if (count <= limit) return s;
  size_t drop = keepEnd ? count - limit : limit;
  size_t i = 0;
  while (drop-- > 0) i += CharLength(s, i);
  return keepEnd ? s.substr(i) : s.substr(0, i);
}

char AsciiUpper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
}
char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

bool StartsWith(std::string_view s, size_t at, std::string_view prefix) {
  return s.substr(at, prefix.size()) == prefix;
}

bool StartsWithNoCase(std::string_view s, size_t at, std::string_view prefix) {
  if (s.size() - at < prefix.size()) return false;
  for (size_t k = 0; k < prefix.size(); ++k)
    if (AsciiLower(s[at + k]) != AsciiLower(prefix[k])) return false;
  return true;
}

bool IsDigitPlaceholder(TMaskTokenKind k) {
  return k == mtkDigitOptional || k == mtkDigitSpace || k == mtkDigitZero;
}

struct TColorName {
  std::string_view name;
  uint32_t rgb;  // red in the low byte
};
constexpr TColorName kColorNames[] = {
    {"BLACK", 0x000000},   {"BLUE", 0xFF0000}, {"CYAN", 0xFFFF00},  {"GREEN", 0x00FF00},
    {"MAGENTA", 0xFF00FF}, {"RED", 0x0000FF},  {"WHITE", 0xFFFFFF}, {"YELLOW", 0x00FFFF},
};

std::unique_ptr<TMaskSection> CompileSection(std::string_view s, int slot) {
  auto sec = std::make_unique<TMaskSection>();
  auto& tokens = sec->Tokens;
  sec->Flags = slot == 2 ? msfZero : 0;
  int previousDate = -1;  // position of the previous date token
  auto add = [&](TMaskTokenKind kind, std::string_view text = {}) {
    tokens.push_back({kind, std::string(text)});
    return static_cast<int>(tokens.size()) - 1;
  };
  const size_t n = s.size();
  size_t i = 0;
  while (i < n) {
    const char c = s[i];
    switch (c) {
      case '"': {
        const size_t close = s.find('"', i + 1);
        if (close == std::string_view::npos) {
          i = n;  // an unclosed quote drops the rest of the section
          break;
        }
        add(mtkText, s.substr(i + 1, close - i - 1));
        i = close + 1;
        break;
      }
      case '#':
      case '0':
        add(c == '#' ? mtkDigitOptional : mtkDigitZero, s.substr(i, 1));
        if (sec->Flags & msfDecimal) ++sec->Decimals;
        sec->ThousandsScaling = 0;
        ++i;
        break;
      case '?':
        add(mtkDigitSpace, "?");
        sec->ThousandsScaling = 0;
        ++i;
        break;
      case ',':
        sec->Flags |= msfThousands;
        ++sec->ThousandsScaling;
        ++i;
        break;
      case '.':
        sec->Flags |= msfDecimal;
        sec->DecimalPosition = add(mtkDecimalPoint, ".");
        ++i;
        break;
      case '%':
        sec->Flags |= msfPercent;
        add(mtkPercent, "%");
        ++i;
        break;
      case '@':
        add(mtkNone);
        sec->Flags = msfText;
        ++i;
        break;
      case 'E':
      case 'e':
        if (i + 1 < n && (s[i + 1] == '+' || s[i + 1] == '-')) {
          add(mtkNone);
          sec->Flags |= msfScientific;
          i += 2;
        } else {
          add(mtkLiteral, s.substr(i, 1));
          ++i;
        }
        break;
      case '\\':
        if (i + 1 < n) {
          const size_t len = CharLength(s, i + 1);
          add(mtkLiteral, s.substr(i + 1, len));
          i += 1 + len;
        } else {
          i = n;
        }
        break;
      case '_':
        if (i + 1 < n) {
          add(mtkLiteral, " ");
          i += 1 + CharLength(s, i + 1);
        } else {
          i = n;
        }
        break;
      case '*':
        ++i;  // fill character marker: the character after it is read as usual
        break;
      case '[': {
        const size_t close = s.find(']', i + 1);
        if (close == std::string_view::npos) {
          i = n;
          break;
        }
        std::string inside(s.substr(i + 1, close - i - 1));
        std::transform(inside.begin(), inside.end(), inside.begin(), AsciiUpper);
        if (inside == "H" || inside == "HH") {
          previousDate = add(mtkElapsedHours);
        } else if (inside == "M" || inside == "MM") {
          add(mtkElapsedMinutes);
        } else if (inside == "S" || inside == "SS") {
          add(mtkElapsedSeconds);
        } else {
          for (const auto& color : kColorNames)
            if (inside == color.name) sec->Color = color.rgb;
          // Conditions, currency and locale tags are not rendered.
        }
        if (!tokens.empty()) {
          const TMaskTokenKind last = tokens.back().Kind;
          if (last == mtkElapsedHours || last == mtkElapsedMinutes || last == mtkElapsedSeconds)
            sec->Flags |= msfDate;
        }
        i = close + 1;
        break;
      }
      case 'D':
      case 'M':
      case 'Y':
      case 'd':
      case 'h':
      case 'm':
      case 's':
      case 'y': {
        sec->Flags |= msfDate;
        const char letter = AsciiLower(c);
        size_t run = 1;
        while (i + run < n && AsciiLower(s[i + run]) == letter) ++run;
        TMaskTokenKind kind = mtkNone;
        switch (letter) {
          case 'd':
            kind = run == 1 ? mtkDay : run == 2 ? mtkDay2 : run == 3 ? mtkDayShort : mtkDayLong;
            break;
          case 'h':
            kind = run == 1 ? mtkHour : mtkHour2;
            break;
          case 'm': {
            const TMaskTokenKind prev =
                previousDate >= 0 ? tokens[static_cast<size_t>(previousDate)].Kind : mtkNone;
            if (prev == mtkHour || prev == mtkHour2 || prev == mtkElapsedHours)
              kind = run == 1 ? mtkMinute : mtkMinute2;
            else
              kind = run == 1   ? mtkMonth
                     : run == 2 ? mtkMonth2
                     : run == 3 ? mtkMonthShort
                     : run == 4 ? mtkMonthLong
                                : mtkMonthLetter;
            break;
          }
          case 's':
            // Seconds turn a month just before them into minutes ("mm:ss").
            if (previousDate >= 0) {
              auto& prev = tokens[static_cast<size_t>(previousDate)].Kind;
              if (prev == mtkMonth)
                prev = mtkMinute;
              else if (prev == mtkMonth2)
                prev = mtkMinute2;
            }
            kind = run == 1 ? mtkSecond : mtkSecond2;
            break;
          default:
            kind = run <= 2 ? mtkYear2 : mtkYear4;
            break;
        }
        previousDate = add(kind, s.substr(i, run));
        i += run;
        break;
      }
      case 'G':
      case 'g':
        // Files of many writers give "General" as a format text of its own (or a section such
        // as "General;-General"): it stands for the general number text, not for the word.
        if (StartsWithNoCase(s, i, "general")) {
          add(mtkGeneral, s.substr(i, 7));
          sec->Flags |= msfGeneral;
          i += 7;
          break;
        }
        [[fallthrough]];
      default: {
        TMaskTokenKind kind = mtkLiteral;
        size_t len = CharLength(s, i);
        if (c == 'a' && StartsWith(s, i, "a/p")) {
          kind = mtkAP;
          len = 3;
        } else if (c == 'a' && StartsWith(s, i, "am/pm")) {
          kind = mtkAmPmLower;
          len = 5;
        } else if (c == 'A' && StartsWith(s, i, "AM/PM")) {
          kind = mtkAmPm;
          len = 5;
        }
        add(kind, s.substr(i, len));
        if (kind != mtkLiteral) {
          // The hour before an AM/PM mark counts on the 12-hour clock.
          for (size_t k = tokens.size() - 1; k-- > 0;) {
            if (tokens[k].Kind == mtkHour || tokens[k].Kind == mtkHour2) {
              tokens[k].Kind = tokens[k].Kind == mtkHour ? mtkHour12 : mtkHour12_2;
              break;
            }
          }
        }
        i += len;
        break;
      }
    }
  }
  // The integer marker goes before the first digit placeholder or decimal point; a section with
  // digit placeholders is a number section even when it also holds date letters.
  for (size_t k = 0; k < tokens.size(); ++k) {
    const TMaskTokenKind kind = tokens[k].Kind;
    if (!IsDigitPlaceholder(kind) && kind != mtkDecimalPoint) continue;
    if (IsDigitPlaceholder(kind)) sec->Flags &= static_cast<uint8_t>(~msfDate);
    tokens.insert(tokens.begin() + static_cast<std::ptrdiff_t>(k), {mtkIntegerMarker, {}});
    if (sec->DecimalPosition >= static_cast<int>(k)) ++sec->DecimalPosition;
    break;
  }
  sec->ThousandsScaling = std::min(sec->ThousandsScaling, 4);
  return sec;
}

std::string TwoDigits(int64_t v) {
  return v >= 0 && v < 10 ? "0" + std::to_string(v) : std::to_string(v);
}

std::string FirstChar(std::string_view s) {
  return s.empty() ? "" : std::string(s.substr(0, CharLength(s, 0)));
}

std::string RenderDate(const TMaskSection& sec, double v, const TLocaleSettings& s) {
  TDateTimeParts t;
  if (!DecodeDateTime(v, t)) return GeneralText(v, s);
  const double days = std::trunc(v);
  const double fraction = v - days;
  auto elapsed = [&](double unitsPerDay) {
    return static_cast<int64_t>(days) * static_cast<int64_t>(unitsPerDay) +
           static_cast<int64_t>(std::round(fraction * unitsPerDay));
  };
  const bool am = t.Hour < 12;
  const int hour12 = t.Hour % 12 == 0 ? 12 : t.Hour % 12;
  std::string out;
  const auto& tokens = sec.Tokens;
  for (size_t k = 0; k < tokens.size(); ++k) {
    const auto& tok = tokens[k];
    switch (tok.Kind) {
      case mtkDecimalPoint: {
        // "ss.00" shows fractions of a second; any other point is a literal ("dd.mm.yyyy").
        size_t zeros = 0;
        while (k + 1 + zeros < tokens.size() && tokens[k + 1 + zeros].Kind == mtkDigitZero) ++zeros;
        if (zeros == 0) {
          out += '.';
        } else {
          std::string ms = std::to_string(t.Millisecond);
          ms.insert(0, 3 - ms.size(), '0');
          out += s.DecimalSeparator;
          for (size_t z = 0; z < zeros; ++z) out += z < 3 ? ms[z] : '0';
        }
        break;
      }
      case mtkLiteral:
        if (tok.Text == "/")
          out += s.DateSeparator;
        else if (tok.Text == ":")
          out += s.TimeSeparator;
        else
          out += tok.Text;
        break;
      case mtkText:
        out += tok.Text;
        break;
      case mtkYear2:
        out += TwoDigits(t.Year % 100);
        break;
      case mtkYear4: {
        std::string y = std::to_string(t.Year);
        out += std::string(y.size() < 4 ? 4 - y.size() : 0, '0') + y;
        break;
      }
      case mtkMonth:
        out += std::to_string(t.Month);
        break;
      case mtkMonth2:
        out += TwoDigits(t.Month);
        break;
      case mtkMonthShort:
        out += s.ShortMonthNames[static_cast<size_t>(t.Month - 1)];
        break;
      case mtkMonthLong:
        out += s.LongMonthNames[static_cast<size_t>(t.Month - 1)];
        break;
      case mtkMonthLetter:
        out += FirstChar(s.ShortMonthNames[static_cast<size_t>(t.Month - 1)]);
        break;
      case mtkDay:
        out += std::to_string(t.Day);
        break;
      case mtkDay2:
        out += TwoDigits(t.Day);
        break;
      case mtkDayShort:
        out += s.ShortDayNames[static_cast<size_t>(t.DayOfWeek)];
        break;
      case mtkDayLong:
        out += s.LongDayNames[static_cast<size_t>(t.DayOfWeek)];
        break;
      case mtkHour:
        out += std::to_string(t.Hour);
        break;
      case mtkHour2:
        out += TwoDigits(t.Hour);
        break;
      case mtkHour12:
        out += std::to_string(hour12);
        break;
      case mtkHour12_2:
        out += TwoDigits(hour12);
        break;
      case mtkElapsedHours:
        out += std::to_string(elapsed(24));
        break;
      case mtkMinute:
        out += std::to_string(t.Minute);
        break;
      case mtkMinute2:
        out += TwoDigits(t.Minute);
        break;
      case mtkElapsedMinutes:
        out += std::to_string(elapsed(1440));
        break;
      case mtkSecond:
        out += std::to_string(t.Second);
        break;
      case mtkSecond2:
        out += TwoDigits(t.Second);
        break;
      case mtkElapsedSeconds:
        out += std::to_string(elapsed(86400));
        break;
      case mtkAmPm:
        out += am ? "AM" : "PM";
        break;
      case mtkAmPmLower:
        out += am ? "am" : "pm";
        break;
      case mtkAP:
        out += am ? "a" : "p";
        break;
      default:
        break;
    }
  }
  return out;
}

std::string RenderFixed(const TMaskSection& sec, double v, const TLocaleSettings& s) {
  std::string integerPart, fraction;
  if (!(sec.Flags & msfZero)) {
    double x = v / std::pow(10.0, 3 * sec.ThousandsScaling);
    if (sec.Flags & msfPercent) x *= 100;
    FixedTextParts(x, sec.Decimals, (sec.Flags & msfThousands) != 0, s, integerPart, fraction);
  }
  const auto digits = SplitChars(integerPart);
  const auto& tokens = sec.Tokens;

  // Integer pass, right to left: the pieces are collected in reverse order.
  std::vector<std::string_view> pieces;
  size_t p = digits.size();  // N[1..p] are the integer characters not yet placed
  const int start =
      sec.DecimalPosition >= 0 ? sec.DecimalPosition : static_cast<int>(tokens.size()) - 1;
  for (int k = start; k >= 0; --k) {
    const auto& tok = tokens[static_cast<size_t>(k)];
    switch (tok.Kind) {
      case mtkLiteral:
      case mtkText:
      case mtkPercent:
        pieces.push_back(tok.Text);
        break;
      case mtkDigitOptional:
      case mtkDigitSpace:
      case mtkDigitZero:
        if (p >= 1)
          pieces.push_back(digits[--p]);
        else if (tok.Kind == mtkDigitSpace)
          pieces.push_back(" ");
        else if (tok.Kind == mtkDigitZero)
          pieces.push_back("0");
        break;
      case mtkIntegerMarker:
        while (p > 0) pieces.push_back(digits[--p]);
        break;
      default:
        break;
    }
  }
  std::string integerText;
  for (auto it = pieces.rbegin(); it != pieces.rend(); ++it) integerText += *it;
  integerText = KeepChars(std::move(integerText), kPassLimit, true);

  // Fraction pass, left to right, only when the digit string has a fraction.
  std::string fractionText;
  if (sec.DecimalPosition >= 0 && !fraction.empty()) {
    size_t q = 0;
    for (size_t k = static_cast<size_t>(sec.DecimalPosition); k < tokens.size(); ++k) {
      const auto& tok = tokens[k];
      switch (tok.Kind) {
        case mtkDecimalPoint:
          fractionText += s.DecimalSeparator;
          break;
        case mtkLiteral:
        case mtkText:
        case mtkPercent:
          fractionText += tok.Text;
          break;
        case mtkDigitOptional:
        case mtkDigitSpace:
        case mtkDigitZero:
          if (q < fraction.size())
            fractionText += fraction[q++];
          else if (tok.Kind == mtkDigitSpace)
            fractionText += ' ';
          else if (tok.Kind == mtkDigitZero)
            fractionText += '0';
          break;
        default:
          break;
      }
    }
    fractionText = KeepChars(std::move(fractionText), kPassLimit, false);
  }
  return integerText + fractionText;
}

std::string ByteSizeText(double v, const TLocaleSettings& s) {
  if (v == 0) return "0 bytes";
  if (v < 1024) return GeneralText(std::round(v), s) + " bytes";
  if (v < 1048576) return FixedText(v / 1024, 2, false, s) + " kb";
  if (v >= 1073741824) return FixedText(v / 1073741824, 2, false, s) + " Gb";
  return FixedText(v / 1048576, 2, false, s) + " Mb";
}

}  // namespace

void TExcelMask::SetMask(std::string_view text) {
  // The shared mask is set for every formatted value; cells of one format need one compilation.
  if (text == mask_) return;
  if (CountChars(text) > kMaxMaskLength) Raise("Format string more than 255 characthers");
  // Split at each ";" outside double quotes; text after a fourth ";" is ignored.
  std::vector<std::string_view> parts;
  bool quoted = false;
  size_t start = 0;
  bool complete = false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '"') {
      quoted = !quoted;
    } else if (text[i] == ';' && !quoted) {
      parts.push_back(text.substr(start, i - start));
      start = i + 1;
      if (parts.size() == kSectionCount) {
        complete = true;
        break;
      }
    }
  }
  if (!complete) parts.push_back(text.substr(start));
  std::array<std::unique_ptr<TMaskSection>, kSectionCount> sections;
  for (size_t k = 0; k < parts.size(); ++k)
    if (!parts[k].empty()) sections[k] = CompileSection(parts[k], static_cast<int>(k));
  mask_.assign(text);
  sections_ = std::move(sections);
}

const TMaskSection* TExcelMask::Section(int slot) const {
  if (slot < 0 || slot >= kSectionCount) return nullptr;
  return sections_[static_cast<size_t>(slot)].get();
}

std::string TExcelMask::FormatNumber(double v, const TLocaleSettings& s) const {
  if (!std::isfinite(v)) return GeneralText(v, s);
  if (mask_ == kByteSizeMask) return ByteSizeText(v, s);
  const TMaskSection* sec = sections_[0].get();
  double x = v;
  if (v < 0 && sections_[1]) {
    sec = sections_[1].get();
    x = -v;
  } else if (v == 0 && sections_[2]) {
    sec = sections_[2].get();
  }
  if (!sec || sec->Tokens.empty() || (sec->Flags & msfText)) return GeneralText(v, s);
  if ((sec->Flags & msfGeneral) && !(sec->Flags & (msfDate | msfScientific))) {
    bool numeric = false;
    for (const TMaskToken& t : sec->Tokens) numeric |= IsDigitPlaceholder(t.Kind);
    if (!numeric) {
      std::string out;
      for (const TMaskToken& t : sec->Tokens) {
        if (t.Kind == mtkGeneral)
          out += GeneralText(x, s);
        else if (t.Kind == mtkLiteral || t.Kind == mtkText)
          out += t.Text;
      }
      return out;
    }
  }
  if (sec->Flags & msfDate) return RenderDate(*sec, x, s);
  if (sec->Flags & msfScientific) {
    const int precision = std::clamp(sec->Decimals - 1, 2, 18);
    const int exponentDigits =
        sec->DecimalPosition >= 0 && sec->DecimalPosition <= 4 ? sec->DecimalPosition : 1;
    return ScientificText(x, precision, exponentDigits, s);
  }
  return RenderFixed(*sec, x, s);
}

}  // namespace xls
