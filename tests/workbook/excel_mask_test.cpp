#include "workbook/excel_mask.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/error.h"

namespace xls {
namespace {

std::string Render(const std::string& mask, double v, const TLocaleSettings& s = {}) {
  TExcelMask m;
  m.SetMask(mask);
  return m.FormatNumber(v, s);
}

std::vector<TMaskTokenKind> Kinds(const TMaskSection& sec) {
  std::vector<TMaskTokenKind> out;
  for (const auto& t : sec.Tokens) out.push_back(t.Kind);
  return out;
}

// "," thousands and "." decimal separator.
TEST(ExcelMask, EdgeCaseTable) {
  struct Case {
    const char* mask;
    double value;
    const char* expected;
  } cases[] = {
      {"0.00", 3.14159, "3.14"},
      {"0.00", -2.5, "-2.50"},
      {"#,##0.00", 1234567.891, "1,234,567.89"},
      {"$#,##0", 5, "$5"},
      {"000", 7, "007"},
      {"???", 7, "  7"},
      // A "#" shows any character left in the digit string, zeros included.
      {"#.##", 0.5, "0.50"},
      {"0%", 0.256, "26%"},
      {"#,##0,", 1234567, "1,235"},
      {"0.00;(0.00)", -3, "(3.00)"},
      // The zero section has no digit string and writes no fraction.
      {"0.00;;0.00", 0, "0"},
      {"0.00E+00", 12345, "1.23E+04"},
      {"yyyy-mm-dd", 36526.5, "2000-01-01"},
      {"h:mm AM/PM", 0.75, "6:00 PM"},
      {"h:mm AM/PM", 0.5, "12:00 PM"},
      {"[h]:mm:ss", 1.5, "36:00:00"},
      // After a bracketed hour, mm is minutes.
      {"[h]:mm", 1.5, "36:00"},
      // Upper-case S is a literal.
      {"h:mm:SS", 0.75, "18:00:SS"},
      // General is the general number text, also inside sections and among literals.
      {"General", 5, "5"},
      {"general", 1234.5, "1234.5"},
      {"General;-General", -2.5, "-2.5"},
      {"General\" kg\"", 3, "3 kg"},
      {"\"General\"", 3, "General"},
      // A quoted zero section renders its text for 0.
      {"0;-0;\"zero\"", 0, "zero"},
      {"0;-0;\"zero\"", -4, "-4"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Render(c.mask, c.value), c.expected) << c.mask << " " << c.value;
}

// Formats of a workbook saved by Excel, with the texts Excel shows for them.
TEST(ExcelMask, FormatsWrittenByExcel) {
  struct Case {
    const char* mask;
    double value;
    const char* expected;
  } cases[] = {
      {"#,##0.00", -1234.5678, "-1,234.57"},
      {"#,##0", -12345.67891, "-12,346"},
      {"#,##0.0000", 12.3, "12.3000"},
      {"#,##0.00;[Red]\\(#,##0.00\\)", -1234.567, "(1,234.57)"},
      {"#,##0.0_);\\(#,##0.0\\)", 12.34, "12.3 "},
      {"\"$\"#,##0.00", 1234.5, "$1,234.50"},
      {"0.000%", 0.12345, "12.345%"},
      {"00000\\-0000", 123456789, "12345-6789"},
      {"000\\-00\\-0000", 123456789, "123-45-6789"},
      {"0.0000E+00", 12345.6789, "1.2346E+04"},
      {"0.00;[Red]0.00", -1.2, "1.20"},
      {"[$-409]h:mm:ss\\ AM/PM;@", 0.75, "6:00:00 PM"},
      {"[$-409]mmmmm;@", 36526, "J"},
      {"[ENG][$-409]d\\-mmm\\-yy;@", 36526, "1-Jan-00"},
      {"[ENG][$-409]mmmm\\ d\\,\\ yyyy;@", 36526, "January 1, 2000"},
      {"[$-F800]dddd\\,\\ mmmm\\ dd\\,\\ yyyy", 36526, "Saturday, January 01, 2000"},
      {"m/d/yy\\ h:mm", 36526.75, "1/1/00 18:00"},
      {"mm:ss", 0.0125 + 7.0 / 86400, "18:07"},
      {"[h]:mm:ss;@", 2.25, "54:00:00"},
      {"h:mm:ss;@", 0.5 + 1.0 / 86400, "12:00:01"},
      {"_(\"$\"* #,##0_);_(\"$\"* \\(#,##0\\);_(\"$\"* \"-\"_);_(@_)", 1234, " $ 1,234 "},
      {"_(\"$\"* #,##0_);_(\"$\"* \\(#,##0\\);_(\"$\"* \"-\"_);_(@_)", -1234, " $ (1,234)"},
      {"_(\"$\"* #,##0_);_(\"$\"* \\(#,##0\\);_(\"$\"* \"-\"_);_(@_)", 0, " $ - "},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Render(c.mask, c.value), c.expected) << c.mask << " " << c.value;
}

TEST(ExcelMask, RenderingRules) {
  struct Case {
    const char* mask;
    double value;
    const char* expected;
  } cases[] = {
      // Section choice: a negative value without a negative section keeps its sign.
      {"0.0", -0.25, "-0.3"},
      {"0.0;0.0", -0.25, "0.3"},
      // A missing positive section, or one without tokens, falls back to the general format.
      {";0", 5, "5"},
      {"[Red];0", 2.5, "2.5"},
      {"@", 1.5, "1.5"},
      // Half away from zero on the decimal value.
      {"0.00", 2.675, "2.68"},
      {"0.00", 1.005, "1.01"},
      {"0", -2.5, "-3"},
      {"0.00", -0.001, "0.00"},
      // "?" pads with a space but does not ask the digit string for a decimal.
      {"0.0?", 1.25, "1.3 "},
      {"0.??", 3.14159, "3"},
      // Thousands scaling is capped at four commas (and a comma also turns on grouping).
      {"0,,,,,,", 1e15, "1,000"},
      {"0.0,,", 2500000, "2.5"},
      // Literal handling.
      {"\\#0", 5, "#5"},
      {"0_)", 5, "5 "},
      {"0\\", 5, "5"},
      {"0_", 5, "5"},
      {"**0", 5, "5"},
      {"0 \"kg", 5, "5 "},
      {"0[Red", 5, "5"},
      {"0 e", 5, "5 e"},
      // Scientific: decimals - 1 digits (at least two), exponent digits from the decimal position.
      {"0E+0", 12345, "1.2E+4"},
      {"0.0E-0", 0.000123, "1.2E-04"},
      {"##0.0E+0", 12345, "1.2E+0004"},
      // Digit placeholders make a number section even with date letters in it.
      {"0.00 d", 3, "3.00 "},
      {"0.00 \"d\"", 3, "3.00 d"},
      // Percent after the decimal point.
      {"0.0%", 0.1234, "12.3%"},
      // Elapsed minutes and seconds.
      {"[mm]:ss", 1.0 / 24 + 1.0 / 1440, "61:00"},
      {"[ss]", 0.5, "43200"},
      {"[h]", 1.99, "48"},
      // The AM/PM forms and the 12-hour rewrite.
      {"hh am/pm", 0.02, "12 am"},
      {"h a/p", 13.0 / 24, "1 p"},
      {"h A/P", 13.0 / 24, "13 A/P"},
      {"hh:mm", 0.5, "12:00"},
      // Month, minute and the month-or-minute decision.
      {"m", 36526, "1"},
      {"mmm", 36526, "Jan"},
      {"mmmmmm", 36526, "J"},
      {"h m", 0.5 + 5.0 / 1440, "12 5"},
      {"m:s", 5.0 / 1440 + 7.0 / 86400, "5:7"},
      {"yy", 36526, "00"},
      {"yyy", 3654, "1910"},
      {"d dd ddd dddd", 36528, "3 03 Mon Monday"},
      {"HH:MM", 0.5, "HH:12"},
      // A point in a date section is a literal, or the decimal point of a fraction of a second.
      {"dd.mm.yyyy", 36526, "01.01.2000"},
      {"mm:ss.0", 0.0125 + 7.25 / 86400, "18:07.2"},
      {"[h]:mm:ss.000", 1 + 0.123 / 86400, "24:00:00.123"},
      {"ss.0000", 0.5 / 86400, "00.5000"},
      // A point in a date section is a literal, or the decimal point of a fraction of a second.
      {"dd.mm.yyyy", 36526, "01.01.2000"},
      {"mm:ss.0", 0.0125 + 7.25 / 86400, "18:07.2"},
      {"[h]:mm:ss.000", 1 + 0.123 / 86400, "24:00:00.123"},
      {"ss.0000", 0.5 / 86400, "00.5000"},
      // A date outside 0001-01-01 .. 9999-12-31 shows its number.
      {"yyyy", 3e6, "3000000"},
      // Byte sizes.
      {"##,_b_y_t_e_s", 0, "0 bytes"},
      {"##,_b_y_t_e_s", 1000.4, "1000 bytes"},
      {"##,_b_y_t_e_s", 1536, "1.50 kb"},
      {"##,_b_y_t_e_s", 5 * 1048576.0, "5.00 Mb"},
      {"##,_b_y_t_e_s", 3 * 1073741824.0, "3.00 Gb"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Render(c.mask, c.value), c.expected) << c.mask << " " << c.value;
  // Without the byte-size spelling the same characters are an ordinary mask.
  EXPECT_EQ(Render("##,_b_y_t_e", 1536), "2    ");
}

TEST(ExcelMask, TwoLocales) {
  TLocaleSettings german;
  german.DecimalSeparator = ",";
  german.ThousandSeparator = ".";
  german.DateSeparator = ".";
  german.TimeSeparator = ":";
  german.LongMonthNames[0] = "Januar";
  german.ShortDayNames[6] = "Sa";
  TLocaleSettings finnish;
  finnish.DecimalSeparator = ",";
  finnish.ThousandSeparator = "\xC2\xA0";  // no-break space, two bytes in UTF-8
  finnish.DateSeparator = ".";
  finnish.TimeSeparator = ".";
  struct Case {
    const char* mask;
    double value;
    const char* german;
    const char* finnish;
  } cases[] = {
      {"#,##0.00", 1234567.891, "1.234.567,89",
       "1\xC2\xA0"
       "234\xC2\xA0"
       "567,89"},
      {"0.0%", 0.256, "25,6%", "25,6%"},
      {"0.00E+00", 12345, "1,23E+04", "1,23E+04"},
      {"dd/mm/yyyy", 36526, "01.01.2000", "01.01.2000"},
      {"dd\\/mm", 36526, "01.01", "01.01"},
      {"\"/\"0", 5, "/5", "/5"},
      {"h:mm:ss", 0.75, "18:00:00", "18.00.00"},
      {"dddd d. mmmm", 36526, "Saturday 1. Januar", "Saturday 1. January"},
      {"ddd", 36526, "Sa", "Sat"},
      {"##,_b_y_t_e_s", 1536, "1,50 kb", "1,50 kb"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Render(c.mask, c.value, german), c.german) << c.mask;
    EXPECT_EQ(Render(c.mask, c.value, finnish), c.finnish) << c.mask;
  }
  // The current settings are used when none are given.
  TLocaleSettingsOverride scoped(german);
  TExcelMask m;
  m.SetMask("#,##0.0");
  EXPECT_EQ(m.FormatNumber(1234.56), "1.234,6");
}

TEST(ExcelMask, SectionSplit) {
  TExcelMask m;
  // Quotes protect a ";", a backslash does not.
  m.SetMask("\"a;b\"0;\\;0");
  ASSERT_NE(m.Section(0), nullptr);
  ASSERT_NE(m.Section(1), nullptr);
  ASSERT_NE(m.Section(2), nullptr);
  EXPECT_EQ(m.Section(0)->Tokens[0].Text, "a;b");
  EXPECT_TRUE(m.Section(1)->Tokens.empty());  // a lone "\" adds nothing
  EXPECT_EQ(m.FormatNumber(5), "a;b5");
  EXPECT_EQ(m.FormatNumber(-7), "-7");
  EXPECT_EQ(m.FormatNumber(0), "0");
  // Empty sections stay empty; text after a fourth ";" is ignored.
  m.SetMask("0;;\"z\";@;0.0");
  EXPECT_NE(m.Section(0), nullptr);
  EXPECT_EQ(m.Section(1), nullptr);
  EXPECT_EQ(m.Section(2)->Flags, msfZero);
  EXPECT_EQ(m.Section(3)->Flags, msfText);
  EXPECT_EQ(m.Section(4), nullptr);
  EXPECT_EQ(m.FormatNumber(0), "z");
  EXPECT_EQ(m.FormatNumber(-2.5), "-3");
  // The text section is never chosen for numbers.
  m.SetMask(";;;@");
  EXPECT_EQ(m.FormatNumber(-2.5), "-2.5");
}

TEST(ExcelMask, CompiledSections) {
  TExcelMask m;
  m.SetMask("#,##0.00");
  const TMaskSection* s = m.Section(0);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(Kinds(*s), (std::vector<TMaskTokenKind>{
                           mtkIntegerMarker, mtkDigitOptional, mtkDigitOptional, mtkDigitOptional,
                           mtkDigitZero, mtkDecimalPoint, mtkDigitZero, mtkDigitZero}));
  EXPECT_EQ(s->Flags, msfThousands | msfDecimal);
  EXPECT_EQ(s->DecimalPosition, 5);  // the decimal point itself, after the marker was inserted
  EXPECT_EQ(s->Decimals, 2);
  EXPECT_EQ(s->ThousandsScaling, 0);

  m.SetMask("0.0,,[Red]");
  EXPECT_EQ(m.Section(0)->ThousandsScaling, 2);
  EXPECT_EQ(m.Section(0)->Color, 0x0000FFu);

  // The marker goes before a leading decimal point, which keeps the date flag.
  m.SetMask("ss.00");
  s = m.Section(0);
  EXPECT_EQ(Kinds(*s), (std::vector<TMaskTokenKind>{mtkSecond2, mtkIntegerMarker, mtkDecimalPoint,
                                                    mtkDigitZero, mtkDigitZero}));
  EXPECT_EQ(s->Flags, msfDate | msfDecimal);
  EXPECT_EQ(s->DecimalPosition, 2);

  // Seconds turn a preceding month into minutes; AM/PM rewrites the nearest earlier hour only.
  m.SetMask("h hh:mm:ss AM/PM");
  EXPECT_EQ(Kinds(*m.Section(0)),
            (std::vector<TMaskTokenKind>{mtkHour, mtkLiteral, mtkHour12_2, mtkLiteral, mtkMinute2,
                                         mtkLiteral, mtkSecond2, mtkLiteral, mtkAmPm}));
  m.SetMask("mm:ss");
  EXPECT_EQ(Kinds(*m.Section(0)),
            (std::vector<TMaskTokenKind>{mtkMinute2, mtkLiteral, mtkSecond2}));
  // A bracketed minute is not an hour: mm after it is a month.
  m.SetMask("[m] mm");
  EXPECT_EQ(Kinds(*m.Section(0)),
            (std::vector<TMaskTokenKind>{mtkElapsedMinutes, mtkLiteral, mtkMonth2}));
  // Exponent mark and the decimals after it.
  m.SetMask("0.0E+00");
  s = m.Section(0);
  EXPECT_EQ(s->Flags, msfDecimal | msfScientific);
  EXPECT_EQ(s->Decimals, 3);
  // "@" replaces every flag collected before it.
  m.SetMask("#,##0.0@");
  EXPECT_EQ(m.Section(0)->Flags, msfText);
}

TEST(ExcelMask, LengthLimitKeepsPreviousMask) {
  TExcelMask m;
  m.SetMask("0.00");
  const std::string ok(255, '0');
  EXPECT_NO_THROW(m.SetMask(ok));
  EXPECT_EQ(m.Mask(), ok);
  m.SetMask("0.00");
  try {
    m.SetMask(std::string(256, '0'));
    FAIL() << "a 256-character mask compiled";
  } catch (const EXLSError& e) {
    EXPECT_STREQ(e.what(), "Format string more than 255 characthers");
  }
  EXPECT_EQ(m.Mask(), "0.00");
  EXPECT_EQ(m.FormatNumber(1), "1.00");
  // The limit counts characters, not bytes.
  std::string wide;
  for (int i = 0; i < 255; ++i) wide += "\xE2\x82\xAC";  // the euro sign, three bytes
  EXPECT_NO_THROW(m.SetMask(wide));
  EXPECT_THROW(m.SetMask(wide + "0"), EXLSError);
}

TEST(ExcelMask, MultiByteCharacters) {
  // Escapes and padding take whole characters.
  EXPECT_EQ(Render("0\\\xE2\x82\xAC", 5), "5\xE2\x82\xAC");
  EXPECT_EQ(Render("0_\xE2\x82\xAC", 5), "5 ");
  EXPECT_EQ(Render("[$\xE2\x82\xAC-407]#,##0.00", 1234.5), "1,234.50");
  EXPECT_EQ(Render("#,##0.00\\ [$\xE2\x82\xAC-407]", 1234.5), "1,234.50 ");
  EXPECT_EQ(Render("\xC2\xA5#,##0", 99),
            "\xC2\xA5"
            "99");
}

TEST(ExcelMask, PassesAreBounded) {
  // 1e300 has 301 integer digits; the integer pass keeps the last 299 characters.
  const std::string text = Render("0", 1e300);
  EXPECT_EQ(text.size(), 299u);
  EXPECT_EQ(text.back(), '0');
  EXPECT_EQ(Render("0.0", 1e300), text + ".0");
  // The fraction pass keeps its first 299 characters.
  TLocaleSettings longSeparator;
  longSeparator.DecimalSeparator = std::string(300, '.');
  EXPECT_EQ(Render("0.0", 0.25, longSeparator), "0" + std::string(299, '.'));
}

}  // namespace
}  // namespace xls
