// The user's locale settings as the number and formula texts use them: separators, month and day
// names, and the short date and short time formats in the Windows pattern language ("M/d/yyyy",
// "h:mm tt"). One process-wide settings object is filled from the process locale on first use;
// callers and tests may replace it.
//
// Every value is 8-bit text in UTF-8 (the system encoding here); a separator may therefore be more
// than one byte long (for example U+202F as a thousands separator).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace xls {

struct TLocaleSettings {
  std::string DecimalSeparator = ".";
  std::string ThousandSeparator = ",";
  std::string DateSeparator = "/";
  std::string TimeSeparator = ":";
  std::string ListSeparator = ",";
  // January first.
  std::array<std::string, 12> ShortMonthNames{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::array<std::string, 12> LongMonthNames{"January",   "February", "March",    "April",
                                             "May",       "June",     "July",     "August",
                                             "September", "October",  "November", "December"};
  // Sunday first.
  std::array<std::string, 7> ShortDayNames{"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  std::array<std::string, 7> LongDayNames{"Sunday",   "Monday", "Tuesday", "Wednesday",
                                          "Thursday", "Friday", "Saturday"};
  std::string ShortDateFormat = "M/d/yyyy";
  std::string ShortTimeFormat = "h:mm tt";
  std::string TimeAMString = "AM";
  std::string TimePMString = "PM";

  // The settings of the C/POSIX locale: English names, "." decimal and "," thousands separator,
  // "M/d/yyyy" and "h:mm tt". Equal to a default-constructed object.
  static TLocaleSettings English() { return {}; }
  // Filled from the process's current locale (LC_NUMERIC and LC_TIME as set by setlocale).
  static TLocaleSettings FromProcessLocale();
  // Filled from the named locale ("de_DE.UTF-8", "" for the environment's locale) without touching
  // the process locale; none when the locale is not installed.
  static std::optional<TLocaleSettings> FromLocaleName(const std::string& name);
  // Filled through an nl_langinfo-like function (items of <langinfo.h>, texts in the CODESET item's
  // encoding). A C-like category keeps the English defaults of that category.
  static TLocaleSettings FromLangInfo(const std::function<const char*(int item)>& langinfo,
                                      bool numericIsC, bool timeIsC);

  bool operator==(const TLocaleSettings&) const = default;
};

// The process-wide settings; filled from the process locale on first use.
const TLocaleSettings& CurrentLocaleSettings();
void SetLocaleSettings(const TLocaleSettings& settings);
// Fills the process-wide settings from the process locale again.
void ResetLocaleSettings();

// Replaces the process-wide settings for its lifetime and restores the previous ones afterwards.
class TLocaleSettingsOverride {
 public:
  explicit TLocaleSettingsOverride(const TLocaleSettings& settings);
  ~TLocaleSettingsOverride();
  TLocaleSettingsOverride(const TLocaleSettingsOverride&) = delete;
  TLocaleSettingsOverride& operator=(const TLocaleSettingsOverride&) = delete;

 private:
  TLocaleSettings saved_;
};

// A date-time split into its parts. Dates count days from 1899-12-30 (day 0); the fraction of a day
// is the time of day.
struct TDateTimeParts {
  int Year = 1899;
  int Month = 12;     // 1..12
  int Day = 30;       // 1..31
  int DayOfWeek = 6;  // 0 Sunday .. 6 Saturday
  int Hour = 0;
  int Minute = 0;
  int Second = 0;
  int Millisecond = 0;
};

// The smallest and largest values DecodeDateTime accepts: 0001-01-01 and 9999-12-31 23:59:59.999.
inline constexpr double kMinDateTime = -693593.0;
inline constexpr double kMaxDateTime = 2958466.0;

// Splits v (days since 1899-12-30) into date and time. The whole value is rounded to the
// millisecond first, so 0.99999999999 gives the next day at 00:00. The integer part (towards
// zero) is the date and the magnitude of the fraction the time, so -1.25 is 1899-12-29 06:00.
// Fails for NaN, infinities and values outside kMinDateTime..kMaxDateTime.
bool DecodeDateTime(double v, TDateTimeParts& parts);

// Days since 1899-12-30 of a calendar date (proleptic Gregorian).
int64_t EncodeDate(int year, int month, int day);

// Renders a date-time with a Windows date or time pattern: d dd ddd dddd, M MM MMM MMMM, y yy yyyy,
// h hh (12-hour), H HH, m mm, s ss, t tt (AM/PM designators of the settings), g gg (era, dropped);
// text between single quotes is literal ('' is one quote); every other character is copied.
std::string FormatDatePattern(std::string_view pattern, const TDateTimeParts& parts,
                              const TLocaleSettings& settings);

// Converts a POSIX strftime format (as nl_langinfo gives it) into the Windows pattern language;
// conversions without a counterpart are dropped. Used to fill the settings from a locale.
std::string PosixToWindowsPattern(std::string_view posix, std::string_view ampmFormat = {});

// Removes the seconds field (and the separator before it) from a Windows time pattern.
std::string DropSecondsFromPattern(std::string_view pattern);

}  // namespace xls
