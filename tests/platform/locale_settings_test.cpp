#include "platform/locale_settings.h"

#include <gtest/gtest.h>
#include <langinfo.h>

#include <cmath>
#include <limits>
#include <map>
#include <string>

namespace xls {
namespace {

TEST(LocaleSettings, CLocaleGivesEnglishDefaults) {
  const TLocaleSettings english = TLocaleSettings::English();
  EXPECT_EQ(english.DecimalSeparator, ".");
  EXPECT_EQ(english.ThousandSeparator, ",");
  EXPECT_EQ(english.ListSeparator, ",");
  EXPECT_EQ(english.ShortDateFormat, "M/d/yyyy");
  EXPECT_EQ(english.ShortTimeFormat, "h:mm tt");
  EXPECT_EQ(english.LongMonthNames[11], "December");
  EXPECT_EQ(english.ShortDayNames[0], "Sun");
  for (const char* name : {"C", "POSIX", "C.UTF-8"}) {
    const auto s = TLocaleSettings::FromLocaleName(name);
    ASSERT_TRUE(s.has_value()) << name;
    EXPECT_EQ(*s, english) << name;
  }
  EXPECT_FALSE(TLocaleSettings::FromLocaleName("xx_NOWHERE.UTF-8").has_value());
  // The test program never calls setlocale, so it runs in the C locale.
  EXPECT_EQ(TLocaleSettings::FromProcessLocale(), english);
}

// A locale's nl_langinfo items become Windows patterns and separators.
TEST(LocaleSettings, FilledFromLangInfoItems) {
  const std::map<int, std::string> german = {
      {CODESET, "ISO-8859-1"}, {RADIXCHAR, ","},        {THOUSEP, "."},     {D_FMT, "%d.%m.%Y"},
      {T_FMT, "%T"},           {T_FMT_AMPM, ""},        {AM_STR, ""},       {PM_STR, ""},
      {MON_1 + 2, "M\xE4rz"},  {ABMON_1 + 2, "M\xE4r"}, {DAY_1, "Sonntag"}, {ABDAY_1 + 6, "Sa"},
  };
  auto item = [&](int i) {
    const auto it = german.find(i);
    return it == german.end() ? "" : it->second.c_str();
  };
  const TLocaleSettings s = TLocaleSettings::FromLangInfo(item, false, false);
  EXPECT_EQ(s.DecimalSeparator, ",");
  EXPECT_EQ(s.ThousandSeparator, ".");
  EXPECT_EQ(s.ListSeparator, ";");
  EXPECT_EQ(s.ShortDateFormat, "dd.MM.yyyy");
  EXPECT_EQ(s.ShortTimeFormat, "HH:mm");
  EXPECT_EQ(s.DateSeparator, ".");
  EXPECT_EQ(s.TimeSeparator, ":");
  EXPECT_EQ(s.LongMonthNames[2], "M\xC3\xA4rz");  // converted from the locale's codeset to UTF-8
  EXPECT_EQ(s.ShortMonthNames[2], "M\xC3\xA4r");
  EXPECT_EQ(s.ShortMonthNames[0], "Jan");  // missing items keep the English name
  EXPECT_EQ(s.LongDayNames[0], "Sonntag");
  EXPECT_EQ(s.ShortDayNames[6], "Sa");
  EXPECT_EQ(s.TimeAMString, "");

  const std::map<int, std::string> us = {
      {CODESET, "UTF-8"},  {RADIXCHAR, "."}, {THOUSEP, ","},
      {D_FMT, "%m/%d/%Y"}, {T_FMT, "%r"},    {T_FMT_AMPM, "%I:%M:%S %p"},
      {AM_STR, "AM"},      {PM_STR, "PM"},
  };
  auto usItem = [&](int i) {
    const auto it = us.find(i);
    return it == us.end() ? "" : it->second.c_str();
  };
  const TLocaleSettings u = TLocaleSettings::FromLangInfo(usItem, false, false);
  EXPECT_EQ(u.ShortDateFormat, "MM/dd/yyyy");
  EXPECT_EQ(u.ShortTimeFormat, "hh:mm tt");
  EXPECT_EQ(u.ListSeparator, ",");
  // A C-like category keeps its English defaults.
  EXPECT_EQ(TLocaleSettings::FromLangInfo(item, true, true), TLocaleSettings::English());
}

TEST(LocaleSettings, OverrideReplacesAndRestores) {
  const TLocaleSettings before = CurrentLocaleSettings();
  TLocaleSettings german;
  german.DecimalSeparator = ",";
  german.ThousandSeparator = ".";
  {
    TLocaleSettingsOverride scoped(german);
    EXPECT_EQ(CurrentLocaleSettings().DecimalSeparator, ",");
    {
      TLocaleSettingsOverride inner(TLocaleSettings::English());
      EXPECT_EQ(CurrentLocaleSettings().DecimalSeparator, ".");
    }
    EXPECT_EQ(CurrentLocaleSettings(), german);
  }
  EXPECT_EQ(CurrentLocaleSettings(), before);
}

TEST(LocaleSettings, DecodeDateTimeCountsDaysFrom18991230) {
  struct Case {
    double v;
    int y, mo, d, dow, h, mi, s, ms;
  } cases[] = {
      {0, 1899, 12, 30, 6, 0, 0, 0, 0},
      {2, 1900, 1, 1, 1, 0, 0, 0, 0},
      // No 1900 leap day: 60 is 1900-02-28 and 61 is 1900-03-01.
      {60, 1900, 2, 28, 3, 0, 0, 0, 0},
      {61, 1900, 3, 1, 4, 0, 0, 0, 0},
      {36526.5, 2000, 1, 1, 6, 12, 0, 0, 0},
      {36526.75, 2000, 1, 1, 6, 18, 0, 0, 0},
      {45000.123456, 2023, 3, 15, 3, 2, 57, 46, 598},
      // Rounding to the millisecond carries into the next day.
      {0.999999999999, 1899, 12, 31, 0, 0, 0, 0, 0},
      // The integer part is the date, the magnitude of the fraction the time.
      {-1.25, 1899, 12, 29, 5, 6, 0, 0, 0},
      {-693593, 1, 1, 1, 1, 0, 0, 0, 0},
      {2958465.5, 9999, 12, 31, 5, 12, 0, 0, 0},
  };
  for (const auto& c : cases) {
    TDateTimeParts t;
    ASSERT_TRUE(DecodeDateTime(c.v, t)) << c.v;
    EXPECT_EQ(t.Year, c.y) << c.v;
    EXPECT_EQ(t.Month, c.mo) << c.v;
    EXPECT_EQ(t.Day, c.d) << c.v;
    EXPECT_EQ(t.DayOfWeek, c.dow) << c.v;
    EXPECT_EQ(t.Hour, c.h) << c.v;
    EXPECT_EQ(t.Minute, c.mi) << c.v;
    EXPECT_EQ(t.Second, c.s) << c.v;
    EXPECT_EQ(t.Millisecond, c.ms) << c.v;
  }
  TDateTimeParts t;
  for (double bad : {2958466.0, -693594.0, 1e300, -1e300, std::numeric_limits<double>::quiet_NaN(),
                     std::numeric_limits<double>::infinity()})
    EXPECT_FALSE(DecodeDateTime(bad, t)) << bad;
  EXPECT_EQ(EncodeDate(2000, 1, 1), 36526);
  EXPECT_EQ(EncodeDate(1899, 12, 30), 0);
  EXPECT_EQ(EncodeDate(1, 1, 1), -693593);
}

TEST(LocaleSettings, PatternRendererInTwoLocales) {
  TLocaleSettings german;
  german.LongMonthNames[0] = "Januar";
  german.ShortMonthNames[0] = "Jan";
  german.ShortDayNames[6] = "Sa";
  german.LongDayNames[6] = "Samstag";
  german.TimeAMString = "";
  german.TimePMString = "";
  TDateTimeParts t;
  ASSERT_TRUE(DecodeDateTime(36526 + 0.75 + 5.0 / 1440, t));  // 2000-01-01 18:05, a Saturday
  const TLocaleSettings english;
  struct Case {
    const char* pattern;
    const char* english;
    const char* german;
  } cases[] = {
      {"M/d/yyyy", "1/1/2000", "1/1/2000"},
      {"dd.MM.yyyy", "01.01.2000", "01.01.2000"},
      {"yyyy/M/d", "2000/1/1", "2000/1/1"},
      {"h:mm tt", "6:05 PM", "6:05 "},
      {"H:mm", "18:05", "18:05"},
      {"hh:mm:ss t", "06:05:00 P", "06:05:00 "},
      {"dddd, MMMM d, yy", "Saturday, January 1, 00", "Samstag, Januar 1, 00"},
      {"ddd d MMM y", "Sat 1 Jan 0", "Sa 1 Jan 0"},
      {"d 'de' MMMM", "1 de January", "1 de Januar"},
      {"H 'o''clock'", "18 o'clock", "18 o'clock"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FormatDatePattern(c.pattern, t, english), c.english) << c.pattern;
    EXPECT_EQ(FormatDatePattern(c.pattern, t, german), c.german) << c.pattern;
  }
}

TEST(LocaleSettings, PosixFormatsBecomeWindowsPatterns) {
  struct Case {
    const char* posix;
    const char* windows;
  } cases[] = {
      {"%d.%m.%Y", "dd.MM.yyyy"},
      {"%m/%d/%y", "MM/dd/yy"},
      {"%Y-%m-%d", "yyyy-MM-dd"},
      {"%e %B %Y", "d MMMM yyyy"},
      {"%-d/%-m/%Y", "d/M/yyyy"},
      {"%H h %M", "HH 'h' mm"},
      {"%T", "HH:mm:ss"},
      {"%r", "hh:mm:ss tt"},
      {"%Y\xE5\xB9\xB4%m\xE6\x9C\x88%d\xE6\x97\xA5",
       "yyyy\xE5\xB9\xB4MM\xE6\x9C\x88"
       "dd\xE6\x97\xA5"},
  };
  for (const auto& c : cases) EXPECT_EQ(PosixToWindowsPattern(c.posix), c.windows) << c.posix;
  EXPECT_EQ(PosixToWindowsPattern("%r", "%l:%M:%S %p"), "h:mm:ss tt");
  EXPECT_EQ(DropSecondsFromPattern("HH:mm:ss"), "HH:mm");
  EXPECT_EQ(DropSecondsFromPattern("hh:mm:ss tt"), "hh:mm tt");
  EXPECT_EQ(DropSecondsFromPattern("H.mm.ss 'Uhr'"), "H.mm 'Uhr'");
  EXPECT_EQ(DropSecondsFromPattern("H:mm"), "H:mm");
}

}  // namespace
}  // namespace xls
