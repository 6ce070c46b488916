#include "platform/locale_settings.h"

#include <iconv.h>
#include <langinfo.h>

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace xls {

namespace {

bool IsCLikeLocaleName(std::string_view name) {
  return name.empty() || name == "C" || name == "POSIX" || name.substr(0, 2) == "C.";
}

// The byte length of the UTF-8 sequence that starts with lead (1 for stray bytes).
size_t Utf8Length(unsigned char lead) {
  if (lead < 0xC0) return 1;
  if (lead < 0xE0) return 2;
  if (lead < 0xF0) return 3;
  if (lead < 0xF8) return 4;
  return 1;
}

std::string FirstCharacter(std::string_view s) {
  if (s.empty()) return {};
  return std::string(s.substr(0, std::min(Utf8Length(static_cast<unsigned char>(s[0])), s.size())));
}

// Converts text in a locale's codeset into UTF-8; text iconv cannot convert is kept as it is.
std::string CodesetToUtf8(const char* text, const char* codeset) {
  if (!text) return {};
  std::string in(text);
  if (in.empty() || !codeset || !*codeset || std::strcmp(codeset, "UTF-8") == 0 ||
      std::strcmp(codeset, "ANSI_X3.4-1968") == 0)
    return in;
  iconv_t cd = iconv_open("UTF-8", codeset);
  if (cd == reinterpret_cast<iconv_t>(-1)) return in;
  std::vector<char> buf(in.size() * 4 + 8);
  char* inp = in.data();
  size_t inLeft = in.size();
  char* outp = buf.data();
  size_t outLeft = buf.size();
  const size_t r = iconv(cd, &inp, &inLeft, &outp, &outLeft);
  iconv_close(cd);
  if (r == static_cast<size_t>(-1)) return in;
  return std::string(buf.data(), static_cast<size_t>(outp - buf.data()));
}

// The first separator-like character after the first pattern letter: "dd.MM.yyyy" gives ".".
std::string SeparatorOf(std::string_view pattern, std::string_view letters, std::string fallback) {
  bool seenLetter = false;
  for (size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (c == '\'') break;  // quoted text: no plain separator to take
    if (letters.find(c) != std::string_view::npos) {
      seenLetter = true;
    } else if (seenLetter && c != ' ') {
      return FirstCharacter(pattern.substr(i));
    }
  }
  return fallback;
}

// Reads the settings through an item getter (nl_langinfo or nl_langinfo_l).
template <typename Getter>
TLocaleSettings FillSettings(Getter item, bool numericIsC, bool timeIsC) {
  TLocaleSettings s;
  const char* codeset = item(CODESET);
  auto get = [&](nl_item i) { return CodesetToUtf8(item(i), codeset); };
  if (!numericIsC) {
    const std::string dec = get(RADIXCHAR);
    if (!dec.empty()) s.DecimalSeparator = dec;
    // A locale without grouping has an empty thousands separator; digits are then not grouped.
    s.ThousandSeparator = get(THOUSEP);
  }
  // The list separator is "," unless the comma is the decimal separator.
  s.ListSeparator = s.DecimalSeparator == "," ? ";" : ",";
  if (!timeIsC) {
    for (int i = 0; i < 12; ++i) {
      const std::string abmon = get(static_cast<nl_item>(ABMON_1 + i));
      const std::string mon = get(static_cast<nl_item>(MON_1 + i));
      if (!abmon.empty()) s.ShortMonthNames[i] = abmon;
      if (!mon.empty()) s.LongMonthNames[i] = mon;
    }
    for (int i = 0; i < 7; ++i) {
      const std::string abday = get(static_cast<nl_item>(ABDAY_1 + i));
      const std::string day = get(static_cast<nl_item>(DAY_1 + i));
      if (!abday.empty()) s.ShortDayNames[i] = abday;
      if (!day.empty()) s.LongDayNames[i] = day;
    }
    const std::string am = get(AM_STR);
    const std::string pm = get(PM_STR);
    s.TimeAMString = am;
    s.TimePMString = pm;
    const std::string ampm = get(T_FMT_AMPM);
    const std::string date = PosixToWindowsPattern(get(D_FMT), ampm);
    if (!date.empty()) s.ShortDateFormat = date;
    // Locales without AM/PM strings use the 24-hour T_FMT; the others often name %r there.
    const std::string time = DropSecondsFromPattern(PosixToWindowsPattern(get(T_FMT), ampm));
    if (!time.empty()) s.ShortTimeFormat = time;
    s.DateSeparator = SeparatorOf(s.ShortDateFormat, "dMyg", "/");
    s.TimeSeparator = SeparatorOf(s.ShortTimeFormat, "hHmst", ":");
  }
  return s;
}

std::string EnvLocaleName(const char* category) {
  for (const char* var : {"LC_ALL", category, "LANG"}) {
    const char* v = std::getenv(var);
    if (v && *v) return v;
  }
  return "C";
}

std::optional<TLocaleSettings>& Storage() {
  static std::optional<TLocaleSettings> current;
  return current;
}

// Two-digit and n-digit decimal texts.
std::string Digits(int v, int width) {
  std::string s = std::to_string(v < 0 ? -v : v);
  if (static_cast<int>(s.size()) < width) s.insert(0, static_cast<size_t>(width) - s.size(), '0');
  return v < 0 ? "-" + s : s;
}

}  // namespace

TLocaleSettings TLocaleSettings::FromLangInfo(const std::function<const char*(int item)>& langinfo,
                                              bool numericIsC, bool timeIsC) {
  return FillSettings([&](nl_item i) { return langinfo(static_cast<int>(i)); }, numericIsC,
                      timeIsC);
}

TLocaleSettings TLocaleSettings::FromProcessLocale() {
  const char* numeric = std::setlocale(LC_NUMERIC, nullptr);
  const char* time = std::setlocale(LC_TIME, nullptr);
  return FillSettings([](nl_item i) { return nl_langinfo(i); },
                      IsCLikeLocaleName(numeric ? numeric : ""),
                      IsCLikeLocaleName(time ? time : ""));
}

std::optional<TLocaleSettings> TLocaleSettings::FromLocaleName(const std::string& name) {
  const std::string numericName = name.empty() ? EnvLocaleName("LC_NUMERIC") : name;
  const std::string timeName = name.empty() ? EnvLocaleName("LC_TIME") : name;
  locale_t loc = newlocale(LC_NUMERIC_MASK, numericName.c_str(), static_cast<locale_t>(nullptr));
  if (!loc) return std::nullopt;
  locale_t both = newlocale(LC_TIME_MASK | LC_CTYPE_MASK, timeName.c_str(), loc);
  if (!both) {
    freelocale(loc);
    return std::nullopt;
  }
  TLocaleSettings s = FillSettings([both](nl_item i) { return nl_langinfo_l(i, both); },
                                   IsCLikeLocaleName(numericName), IsCLikeLocaleName(timeName));
  freelocale(both);
  return s;
}

const TLocaleSettings& CurrentLocaleSettings() {
  auto& s = Storage();
  if (!s) s = TLocaleSettings::FromProcessLocale();
  return *s;
}

void SetLocaleSettings(const TLocaleSettings& settings) {
  Storage() = settings;
}

void ResetLocaleSettings() {
  Storage() = TLocaleSettings::FromProcessLocale();
}

TLocaleSettingsOverride::TLocaleSettingsOverride(const TLocaleSettings& settings)
    : saved_(CurrentLocaleSettings()) {
  SetLocaleSettings(settings);
}

TLocaleSettingsOverride::~TLocaleSettingsOverride() {
  SetLocaleSettings(saved_);
}

// Civil-date conversions over the proleptic Gregorian calendar, counted in days from 1970-01-01
// and shifted to the spreadsheet's day 0, 1899-12-30.
namespace {
constexpr int64_t kDay0From1970 = -25569;  // 1899-12-30

int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int& year, int& month, int& day) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(yoe + era * 400 + (month <= 2));
}
}  // namespace

int64_t EncodeDate(int year, int month, int day) {
  return DaysFromCivil(year, month, day) - kDay0From1970;
}

bool DecodeDateTime(double v, TDateTimeParts& parts) {
  if (!std::isfinite(v) || v <= kMinDateTime - 1.0 || v >= kMaxDateTime) return false;
  constexpr int64_t kMsPerDay = 86400000;
  const int64_t total = std::llround(v * static_cast<double>(kMsPerDay));
  const int64_t days = total / kMsPerDay;  // towards zero
  int64_t ms = total % kMsPerDay;
  if (ms < 0) ms = -ms;
  if (days < static_cast<int64_t>(kMinDateTime) || days >= static_cast<int64_t>(kMaxDateTime))
    return false;
  CivilFromDays(days + kDay0From1970, parts.Year, parts.Month, parts.Day);
  // Day 0 (1899-12-30) was a Saturday.
  parts.DayOfWeek = static_cast<int>(((days + 6) % 7 + 7) % 7);
  parts.Hour = static_cast<int>(ms / 3600000);
  parts.Minute = static_cast<int>(ms / 60000 % 60);
  parts.Second = static_cast<int>(ms / 1000 % 60);
  parts.Millisecond = static_cast<int>(ms % 1000);
  return true;
}

std::string FormatDatePattern(std::string_view pattern, const TDateTimeParts& t,
                              const TLocaleSettings& s) {
  std::string out;
  size_t i = 0;
  const size_t n = pattern.size();
  while (i < n) {
    const char c = pattern[i];
    if (c == '\'') {
      if (i + 1 < n && pattern[i + 1] == '\'') {
        out += '\'';
        i += 2;
        continue;
      }
      ++i;
      while (i < n) {
        if (pattern[i] == '\'') {
          if (i + 1 < n && pattern[i + 1] == '\'') {
            out += '\'';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        out += pattern[i++];
      }
      continue;
    }
    size_t run = 1;
    while (i + run < n && pattern[i + run] == c) ++run;
    const int h12 = t.Hour % 12 == 0 ? 12 : t.Hour % 12;
    const std::string& designator = t.Hour < 12 ? s.TimeAMString : s.TimePMString;
    switch (c) {
      case 'd':
        if (run == 1)
          out += std::to_string(t.Day);
        else if (run == 2)
          out += Digits(t.Day, 2);
        else if (run == 3)
          out += s.ShortDayNames[static_cast<size_t>(t.DayOfWeek)];
        else
          out += s.LongDayNames[static_cast<size_t>(t.DayOfWeek)];
        break;
      case 'M':
        if (run == 1)
          out += std::to_string(t.Month);
        else if (run == 2)
          out += Digits(t.Month, 2);
        else if (run == 3)
          out += s.ShortMonthNames[static_cast<size_t>(t.Month - 1)];
        else
          out += s.LongMonthNames[static_cast<size_t>(t.Month - 1)];
        break;
      case 'y':
        if (run == 1)
          out += std::to_string(t.Year % 100);
        else if (run == 2)
          out += Digits(t.Year % 100, 2);
        else
          out += Digits(t.Year, 4);
        break;
      case 'h':
        out += run == 1 ? std::to_string(h12) : Digits(h12, 2);
        break;
      case 'H':
        out += run == 1 ? std::to_string(t.Hour) : Digits(t.Hour, 2);
        break;
      case 'm':
        out += run == 1 ? std::to_string(t.Minute) : Digits(t.Minute, 2);
        break;
      case 's':
        out += run == 1 ? std::to_string(t.Second) : Digits(t.Second, 2);
        break;
      case 't':
        out += run == 1 ? FirstCharacter(designator) : designator;
        break;
      case 'g':
        break;  // era: the Gregorian calendar needs none
      default:
        out.append(pattern.substr(i, run));
        break;
    }
    i += run;
  }
  return out;
}

std::string PosixToWindowsPattern(std::string_view posix, std::string_view ampmFormat) {
  std::string out;
  std::string literal;  // pending letters that need quotes
  auto flushLiteral = [&] {
    if (literal.empty()) return;
    out += '\'';
    out += literal;
    out += '\'';
    literal.clear();
  };
  auto addText = [&](char c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) {
      literal += c;
    } else if (c == '\'') {
      flushLiteral();
      out += "''";
    } else {
      flushLiteral();
      out += c;
    }
  };
  for (size_t i = 0; i < posix.size(); ++i) {
    if (posix[i] != '%' || i + 1 >= posix.size()) {
      addText(posix[i]);
      continue;
    }
    ++i;
    bool noPad = false;
    while (i < posix.size() && std::strchr("-_0^#EO", posix[i]) && posix[i] != '\0') {
      if (posix[i] == '-') noPad = true;
      ++i;
    }
    if (i >= posix.size()) break;
    const char conv = posix[i];
    if (conv == '%') {
      addText('%');
      continue;
    }
    flushLiteral();
    switch (conv) {
      case 'a':
        out += "ddd";
        break;
      case 'A':
        out += "dddd";
        break;
      case 'b':
      case 'h':
        out += "MMM";
        break;
      case 'B':
        out += "MMMM";
        break;
      case 'd':
        out += noPad ? "d" : "dd";
        break;
      case 'e':
        out += "d";
        break;
      case 'm':
        out += noPad ? "M" : "MM";
        break;
      case 'y':
        out += "yy";
        break;
      case 'Y':
      case 'G':
        out += "yyyy";
        break;
      case 'H':
        out += noPad ? "H" : "HH";
        break;
      case 'k':
        out += "H";
        break;
      case 'I':
        out += noPad ? "h" : "hh";
        break;
      case 'l':
        out += "h";
        break;
      case 'M':
        out += noPad ? "m" : "mm";
        break;
      case 'S':
        out += noPad ? "s" : "ss";
        break;
      case 'p':
      case 'P':
        out += "tt";
        break;
      case 'D':
        out += "MM/dd/yy";
        break;
      case 'F':
        out += "yyyy-MM-dd";
        break;
      case 'T':
        out += "HH:mm:ss";
        break;
      case 'R':
        out += "HH:mm";
        break;
      case 'r':
        out += ampmFormat.empty() || ampmFormat.find("%r") != std::string_view::npos
                   ? "hh:mm:ss tt"
                   : PosixToWindowsPattern(ampmFormat);
        break;
      case 'n':
      case 't':
        out += ' ';
        break;
      default:
        break;  // weekday numbers, time zones and the like have no counterpart
    }
  }
  flushLiteral();
  return out;
}

std::string DropSecondsFromPattern(std::string_view pattern) {
  // Pieces: a run of one pattern letter, a quoted text, or one other character.
  struct Piece {
    std::string text;
    char letter;  // the pattern letter of a run, 0 for literal pieces
  };
  std::vector<Piece> pieces;
  for (size_t i = 0; i < pattern.size();) {
    const char c = pattern[i];
    if (c == '\'') {
      size_t j = i + 1;
      while (j < pattern.size() && pattern[j] != '\'') ++j;
      j = std::min(j + 1, pattern.size());
      pieces.push_back({std::string(pattern.substr(i, j - i)), 0});
      i = j;
    } else if (std::strchr("dMyhHmstg", c) && c != '\0') {
      size_t j = i;
      while (j < pattern.size() && pattern[j] == c) ++j;
      pieces.push_back({std::string(pattern.substr(i, j - i)), c});
      i = j;
    } else {
      pieces.push_back({std::string(1, c), 0});
      ++i;
    }
  }
  for (size_t k = 0; k < pieces.size(); ++k) {
    if (pieces[k].letter != 's') continue;
    size_t first = k;
    while (first > 0 && pieces[first - 1].letter == 0) --first;
    if (first == 0) first = k;  // nothing before the seconds: keep what precedes them
    pieces.erase(pieces.begin() + static_cast<std::ptrdiff_t>(first),
                 pieces.begin() + static_cast<std::ptrdiff_t>(k) + 1);
    break;
  }
  std::string out;
  for (const auto& p : pieces) out += p.text;
  return out;
}

}  // namespace xls
