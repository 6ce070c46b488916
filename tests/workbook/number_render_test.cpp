#include "workbook/number_render.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "workbook/cell_formats.h"
#include "workbook/excel_mask.h"
#include "workbook/xls_fonts.h"

namespace xls {
namespace {

TLocaleSettings German() {
  TLocaleSettings s;
  s.DecimalSeparator = ",";
  s.ThousandSeparator = ".";
  s.DateSeparator = ".";
  s.ListSeparator = ";";
  s.ShortDateFormat = "dd.MM.yyyy";
  s.ShortTimeFormat = "HH:mm";
  s.TimeAMString = "";
  s.TimePMString = "";
  return s;
}

TEST(NumberRender, GeneralText) {
  struct Case {
    double v;
    const char* expected;
  } cases[] = {
      {0, "0"},
      {-0.0, "0"},
      {5, "5"},
      {-2.5, "-2.5"},
      {1234.5, "1234.5"},
      {0.1 + 0.2, "0.3"},
      {1.0 / 3, "0.333333333333333"},
      {2.0 / 3, "0.666666666666667"},
      {0.0001, "0.0001"},
      {0.00012345, "0.00012345"},
      {0.00001, "1E-5"},
      {-0.000015, "-1.5E-5"},
      {1.5e20, "1.5E20"},
      {123456789012345, "123456789012345"},
      {999999999999999.4, "999999999999999"},
      // Rounding to 15 digits can reach a 16th integer digit.
      {999999999999999.9, "1E15"},
      {1234567890123456, "1.23456789012346E15"},
      {1e-300, "1E-300"},
      {std::numeric_limits<double>::quiet_NaN(), "NAN"},
      {-std::numeric_limits<double>::infinity(), "-INF"},
  };
  for (const auto& c : cases) EXPECT_EQ(GeneralText(c.v, TLocaleSettings{}), c.expected) << c.v;
  EXPECT_EQ(GeneralText(1234.5, German()), "1234,5");
  EXPECT_EQ(GeneralText(1.5e-7, German()), "1,5E-7");
}

TEST(NumberRender, FractionText) {
  struct Case {
    int max;
    double v;
    const char* expected;
  } cases[] = {
      {9, 1.25, "1 1/4"},
      {99, 1.25, "1 1/4"},
      {9, 0.5, "1/2"},
      {9, 0.3333333, "1/3"},
      {99, 0.3333333, "1/3"},
      {9, 2.75, "2 3/4"},
      {99, 0.142857, "1/7"},
      {9, 0.142857, "1/7"},
      // The bounds are compared by denominator x value - numerator: 1/7 beats 14/99 here.
      {99, 3.14159, "3 1/7"},
      {9, 0.45, "4/9"},
      {99, 0.45, "9/20"},
      {9, 3, "3"},
      // Exhausted denominators: the closer bound, the upper one on a tie.
      {1, 0.5, "1/1"},
      {1, 0.25, "0/1"},
      {9, 0.99999, "1/1"},
      {99, 0.001, "0/1"},
      // A negative value: the sign, then the fraction of the magnitude.
      {9, -2.75, "-2 3/4"},
      {9, -0.5, "-1/2"},
      {99, -3, "-3"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FractionText(c.max, c.v, TLocaleSettings{}), c.expected) << c.max << " " << c.v;
}

TEST(NumberRender, ScientificAndFixedText) {
  const TLocaleSettings en;
  EXPECT_EQ(ScientificText(12345, 3, 2, en), "1.23E+04");
  EXPECT_EQ(ScientificText(0, 3, 2, en), "0.00E+00");
  EXPECT_EQ(ScientificText(-0.000123456, 3, 2, en), "-1.23E-04");
  EXPECT_EQ(ScientificText(9.999e99, 3, 2, en), "1.00E+100");
  EXPECT_EQ(ScientificText(1.5, 5, 0, en), "1.5000E+0");
  EXPECT_EQ(ScientificText(12345, 3, 2, German()), "1,23E+04");
  EXPECT_EQ(FixedText(1234567.891, 2, true, en), "1,234,567.89");
  EXPECT_EQ(FixedText(999.995, 2, true, en), "1,000.00");
  EXPECT_EQ(FixedText(-0.004, 2, false, en), "0.00");
  EXPECT_EQ(FixedText(0.5, 0, false, en), "1");
  EXPECT_EQ(FixedText(-1234.5, 1, true, German()), "-1.234,5");
  EXPECT_EQ(FixedText(0.1, 18, false, en), "0.100000000000000000");
  EXPECT_EQ(FixedText(123456789012345678, 0, false, en), "123456789012346000");
}

TEST(NumberRender, FixedRoutinesOfBuiltInIds) {
  TExcelMask mask;
  const TLocaleSettings en;
  struct Case {
    int id;
    double v;
    const char* expected;
  } cases[] = {
      {11, 12345, "1.23E+04"},
      {11, -0.5, "-5.00E-01"},
      {12, 2.75, "2 3/4"},
      {12, -2.75, "-2 3/4"},
      {13, 0.142857, "1/7"},
      {13, 5.5, "5 1/2"},
      {14, 36526.75, "1/1/2000"},
      {14, 45000.9999, "3/15/2023"},
      {20, 36526.75, "6:00 PM"},
      {20, 0.3, "7:12 AM"},
      {20, -0.25, "6:00 AM"},
      // Dates outside 0001..9999 show their number.
      {14, 1e10, "10000000000"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FormatNumberById(c.id, u"ignored", c.v, mask, en), c.expected) << c.id << " " << c.v;
  // Ids 14 and 20 follow the short date and time formats of the locale.
  const TLocaleSettings de = German();
  EXPECT_EQ(FormatNumberById(14, u"m/d/yy", 36526.75, mask, de), "01.01.2000");
  EXPECT_EQ(FormatNumberById(20, u"h:mm", 36526.75, mask, de), "18:00");
  TLocaleSettings iso;
  iso.ShortDateFormat = "yyyy/M/d";
  iso.ShortTimeFormat = "H:mm";
  EXPECT_EQ(FormatNumberById(14, u"", 36526.75, mask, iso), "2000/1/1");
  EXPECT_EQ(FormatNumberById(20, u"", 36526.75 + 5.0 / 1440, mask, iso), "18:05");
}

TEST(NumberRender, OtherIdsUseTheSharedMask) {
  TExcelMask mask;
  const TLocaleSettings en;
  EXPECT_EQ(FormatNumberById(0, u"", 1234.5, mask, en), "1234.5");
  EXPECT_EQ(FormatNumberById(4, u"#,##0.00", 1234.5, mask, en), "1,234.50");
  EXPECT_EQ(mask.Mask(), "#,##0.00");
  EXPECT_EQ(FormatNumberById(15, u"d-mmm-yy", 36526, mask, en), "1-Jan-00");
  EXPECT_EQ(FormatNumberById(22, u"m/d/yy h:mm", 36526.75, mask, en), "1/1/00 18:00");
  EXPECT_EQ(FormatNumberById(170, u"0.0\"\u00B0C\"", 21.55, mask, en), "21.6\u00B0C");
  EXPECT_EQ(FormatNumberById(171, u"#,##0.00", 1234.5, mask, German()), "1.234,50");
  // A text too long to compile renders in the general format instead of with the previous mask.
  const std::u16string tooLong(256, u'0');
  EXPECT_EQ(FormatNumberById(172, tooLong, 1234.5, mask, en), "1234.5");
  EXPECT_EQ(FormatNumberById(173, std::u16string(255, u'0'), 7, mask, en),
            std::string(254, '0') + "7");
}

TEST(NumberRender, FormatCellNumberThroughTheXF) {
  TXFonts fonts;
  fonts.AddDefaultFonts();
  TCellFormats formats(fonts);
  formats.ResetFormats();
  TExcelMask mask;
  const TLocaleSettings en;
  auto addXF = [&](int id) {
    TCellFormat* f = formats.AddFormat();
    f->SetNumberFormatId(id);
    return f->Index();
  };
  const int date = addXF(14);
  const int fraction = addXF(12);
  const int custom = addXF(formats.NumberFormats().FindOrAddFormatText(u"#,##0.00").Id);
  formats.NumberFormats().SetFormatText(std::u16string(300, u'#'), 200, 1);
  const int tooLong = addXF(200);

  EXPECT_EQ(FormatCellNumber(formats, 15, 1234.5, mask, en), "1234.5");
  EXPECT_EQ(FormatCellNumber(formats, date, 1234.5, mask, en), "5/18/1903");
  EXPECT_EQ(FormatCellNumber(formats, fraction, 2.75, mask, en), "2 3/4");
  EXPECT_EQ(FormatCellNumber(formats, custom, 1234.5, mask, en), "1,234.50");
  EXPECT_EQ(FormatCellNumber(formats, 20, 0.256, mask, en), "26%");  // the Percent style XF
  EXPECT_EQ(FormatCellNumber(formats, tooLong, 1234.5, mask, en), "1234.5");
  EXPECT_EQ(FormatCellNumber(formats, 999, 1234.5, mask, en), "1234.5");
  // XF 0 is always general, whatever number format it carries.
  formats.FormatAt(0)->SetNumberFormatId(14);
  EXPECT_EQ(FormatCellNumber(formats, 0, 1234.5, mask, en), "1234.5");
  // The current locale settings are the default.
  TLocaleSettingsOverride scoped(German());
  EXPECT_EQ(FormatCellNumber(formats, custom, 1234.5, mask), "1.234,50");
  EXPECT_EQ(FormatCellNumber(formats, date, 1234.5, mask), "18.05.1903");
}

}  // namespace
}  // namespace xls
