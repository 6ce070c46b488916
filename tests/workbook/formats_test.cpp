// Fonts, cell formats, number formats and their record bodies.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "platform/error.h"
#include "workbook/format_records.h"
#include "workbook/formatted_object.h"

namespace xls {
namespace {

class FormatsTest : public ::testing::Test {
 protected:
  FormatsTest() : formats(fonts) {
    ResetPalette();
    fonts.AddDefaultFonts();
    formats.ResetFormats();
  }
  std::unique_ptr<TFormattedObject> NewObject(int xf = kDefaultCellXF) {
    return std::make_unique<TFormattedObject>(formats, xf);
  }
  int UsageOfId(int id) {
    const int pos = formats.NumberFormats().FindFormatId(id);
    return pos < 0 ? -100 : formats.NumberFormats().Items(pos).UsageCount;
  }

  TXFonts fonts;
  TCellFormats formats;
};

TEST_F(FormatsTest, NewWorkbookTables) {
  EXPECT_EQ(fonts.Count(), 5);
  EXPECT_EQ(fonts.FirstUserFont(), 5);
  EXPECT_EQ(formats.Count(), 21);
  EXPECT_EQ(formats.FirstUserFormat(), 21);
  const TNumberFormats& n = formats.NumberFormats();
  EXPECT_EQ(n.Count(), 50);
  EXPECT_EQ(n.LastId(), 49);
  EXPECT_EQ(n.FormatText(14), u"m/d/yy");
  EXPECT_EQ(n.FormatText(13), u"# ?\?/?\?");
  EXPECT_EQ(n.FormatText(44), u"_($* #,##0.00_);_($* (#,##0.00);_($* \"-\"??_);_(@_)");
  EXPECT_EQ(n.FormatText(30), u"");
  // Only the ids named by default XFs are marked for writing.
  std::vector<int> written;
  for (const TBiffRecord& r : FormatRecords(n, xvExcel97)) written.push_back(GetU16(r.Body.data()));
  EXPECT_EQ(written, (std::vector<int>{9, 42, 43, 44, 45}));
  // XF 15 is the locked default cell format; XF 16 a style XF with number format 42.
  const TCellFormat& xf15 = *formats.FormatAt(15);
  EXPECT_EQ(xf15.ProtectionWord(), 0x0001);
  EXPECT_EQ(xf15.PatternWord(), 0x20C0);
  EXPECT_EQ(xf15.BorderDword(), 0u);
  EXPECT_EQ(formats.FormatAt(16)->NumberFormatId(), 42);
  EXPECT_EQ(formats.FormatAt(16)->ProtectionWord(), 0xFFF5);
  EXPECT_EQ(formats.FormatAt(1)->UsedAttributes(), 0xF4);
  EXPECT_THROW(
      {
        try {
          formats.AddDefaultFormats();
        } catch (const EXLSError& e) {
          EXPECT_STREQ(e.what(), "Add default formats when not empty.");
          throw;
        }
      },
      EXLSError);
}

TEST_F(FormatsTest, FreeStandingFormatDefaults) {
  TCellFormat f;
  EXPECT_EQ(f.FontIndex(), 0);
  EXPECT_EQ(f.ProtectionWord(), 0x0001);
  EXPECT_EQ(f.Alignment(), 0x20);
  EXPECT_EQ(f.BorderDword(), 0x20400000u);
  EXPECT_EQ(f.ColorDword(), 0x00102040u);
  EXPECT_EQ(f.PatternWord(), 0x20C0);
  EXPECT_EQ(f.BorderLeftColor(), xcAutomatic);
  EXPECT_EQ(f.BorderDiagColor(), xcAutomatic);
  EXPECT_EQ(f.NumberFormat(), u"");
  try {
    f.SetNumberFormatText(u"0.0");
    FAIL();
  } catch (const EXLSError& e) {
    EXPECT_STREQ(e.what(), "CellFormat has no parent");
  }
}

TEST_F(FormatsTest, NumberFormatHash) {
  EXPECT_EQ(NumberFormatHash(u""), 0);
  // "0": bytes 0x30 0x00 -> ((0x30 rol 5) ^ 0) = 0x600.
  EXPECT_EQ(NumberFormatHash(u"0"), 0x0600);
  for (const TNumberFormat* f :
       {&formats.NumberFormats().Items(3), &formats.NumberFormats().Items(49)})
    EXPECT_EQ(f->Hash, NumberFormatHash(f->Text));
}

TEST_F(FormatsTest, FillPatternForeColorRedThenAutomatic) {
  auto cell = NewObject();
  cell->SetFillPatternForeColor(xcRed);
  EXPECT_EQ(cell->XFIndex(), 21);
  EXPECT_EQ(cell->FillPattern(), fpPattern1);
  EXPECT_EQ(cell->FillPatternForeColor(), xcRed);
  EXPECT_EQ(cell->FillPatternBackColor(), xcWhite);
  EXPECT_TRUE(cell->CellFormat().UsedAttributes() & kXFUsedBackground);
  cell->SetFillPatternForeColor(xcAutomatic);
  EXPECT_EQ(cell->FillPatternForeColor(), xcAutomatic);
  EXPECT_EQ(cell->FillPattern(), fpPattern1);
  EXPECT_EQ(cell->FillPatternBackColor(), xcWhite);
  EXPECT_TRUE(cell->CellFormat().UsedAttributes() & kXFUsedBackground);
  // The red format was released when its only user moved on.
  EXPECT_EQ(formats.Count(), 22);
}

TEST_F(FormatsTest, SameValueTwiceAddsNoFormat) {
  auto cell = NewObject();
  cell->SetIndent(3);
  const int count = formats.Count();
  const int xf = cell->XFIndex();
  cell->SetIndent(3);
  EXPECT_EQ(formats.Count(), count);
  EXPECT_EQ(cell->XFIndex(), xf);
}

TEST_F(FormatsTest, EqualFormatsAreSharedAndCounted) {
  auto a = NewObject();
  auto b = NewObject();
  a->SetBorderTopStyle(cbsThin);
  b->SetBorderTopStyle(cbsThin);
  ASSERT_EQ(a->XFIndex(), b->XFIndex());
  TCellFormat& shared = a->CellFormat();
  EXPECT_EQ(shared.UsageCount(), 2);
  EXPECT_TRUE(shared.UsedAttributes() & kXFUsedBorder);
  b->SetBorderTopStyle(cbsThick);
  EXPECT_EQ(a->XFIndex(), 21);
  EXPECT_EQ(a->CellFormat().UsageCount(), 1);
  EXPECT_EQ(b->XFIndex(), 22);
  // When the last user goes the user format goes, and later formats move down.
  a.reset();
  EXPECT_EQ(formats.Count(), 22);
  EXPECT_EQ(b->XFIndex(), 21);
  EXPECT_EQ(b->BorderTopStyle(), cbsThick);
  b->SetBorderTopStyle(cbsNone);
  EXPECT_EQ(b->XFIndex(), 15);
  EXPECT_EQ(formats.Count(), 21);
}

TEST_F(FormatsTest, RotationMapping) {
  struct Case {
    int set, stored, read;
  } cases[] = {{-45, 135, -45}, {200, 90, 90},   {-100, 180, -90}, {300, 255, 255},
               {90, 90, 90},    {-90, 180, -90}, {0, 0, 0},        {255, 255, 255}};
  for (const Case& c : cases) {
    auto cell = NewObject();
    cell->SetRotation(c.set);
    EXPECT_EQ(cell->CellFormat().RotationByte(), c.stored) << c.set;
    EXPECT_EQ(cell->Rotation(), c.read) << c.set;
  }
}

TEST_F(FormatsTest, FontSizes) {
  auto cell = NewObject();
  cell->SetFontSize(0);
  EXPECT_EQ(cell->XFIndex(), 15);
  EXPECT_EQ(cell->FontSize20(), 200);
  EXPECT_EQ(fonts.Count(), 5);
  cell->SetFontSize(12);
  EXPECT_EQ(cell->FontSize20(), 240);
  EXPECT_EQ(cell->CellFormat().FontIndex(), 5);
  cell->SetFontSize20(0);
  EXPECT_EQ(cell->FontSize20(), 0);
  EXPECT_EQ(cell->FontSize(), 0);
}

TEST_F(FormatsTest, FontNameDifferingInCaseMatches) {
  auto a = NewObject();
  a->SetFontName(u"Courier New");
  const int fontIndex = a->CellFormat().FontIndex();
  auto b = NewObject();
  b->SetFontName(u"COURIER NEW");
  EXPECT_EQ(b->CellFormat().FontIndex(), fontIndex);
  EXPECT_EQ(b->XFIndex(), a->XFIndex());
  EXPECT_EQ(fonts.Count(), 6);
  EXPECT_EQ(fonts.FontAt(fontIndex)->UsageCount, 2);
  // Setting the name back to Arial finds font 0, never the placeholder at 4.
  b->SetFontName(u"arial");
  EXPECT_EQ(b->CellFormat().FontIndex(), 0);
}

TEST_F(FormatsTest, FontPropertiesGoThroughFonts) {
  auto cell = NewObject();
  cell->SetFontStyle({xfsBold, xfsItalic});
  cell->SetFontColor(xcBlue);
  cell->SetFontUnderline(xulDoubleAccount);
  cell->SetFontSubSuperScript(xssSubscript);
  EXPECT_EQ(cell->FontStyle(), (TXFontStyles{xfsBold, xfsItalic}));
  EXPECT_EQ(cell->FontColor(), xcBlue);
  EXPECT_EQ(cell->FontUnderline(), xulDoubleAccount);
  EXPECT_EQ(cell->FontSubSuperScript(), xssSubscript);
  // Fonts are never removed: intermediate fonts stay in the list with count 0.
  EXPECT_EQ(fonts.Count(), 9);
  EXPECT_EQ(fonts.FontAt(5)->UsageCount, 0);
  EXPECT_EQ(fonts.FontAt(8)->UsageCount, 1);
  EXPECT_EQ(formats.Count(), 22);
}

TEST_F(FormatsTest, FormatOptionsSequence) {
  auto cell = NewObject();
  cell->SetFormatOptions({foShrinkToFit});
  EXPECT_EQ(cell->FormatOptions(), TFormatOptions{foShrinkToFit});
  cell->SetFormatOptions({foShrinkToFit, foWrapText});
  EXPECT_EQ(cell->FormatOptions(), (TFormatOptions{foShrinkToFit, foWrapText}));
  EXPECT_EQ(cell->CellFormat().IndentByte() & 0x20, 0) << "merged bit";
  EXPECT_TRUE(cell->CellFormat().UsedAttributes() & kXFUsedAlignment);
  cell->SetFormatOptions({});
  EXPECT_TRUE(cell->FormatOptions().Empty());
  EXPECT_EQ(cell->CellFormat().Alignment() & 0x08, 0);
  EXPECT_EQ(cell->CellFormat().IndentByte() & 0x10, 0);
  EXPECT_EQ(cell->XFIndex(), 15);
}

TEST_F(FormatsTest, BorderAndProtectionBits) {
  auto cell = NewObject();
  cell->SetBorderLeftStyle(cbsDouble);
  cell->SetBorderLeftColor(xcRed);
  cell->SetBorderRightColor(xcBlue);
  cell->SetBorderBottomColor(xcGreen);
  cell->SetBorderDiagLines(3);
  cell->SetBorderDiagStyle(cbsSlantedDashDot);
  cell->SetProtection({cpHidden});
  cell->SetVertAlignment(1);
  const TCellFormat& f = cell->CellFormat();
  EXPECT_EQ(f.BorderDword(), 0xC0000000u | (12u << 23) | (10u << 16) | 6u);
  EXPECT_EQ(f.BorderBottomColor(), xcGreen);
  EXPECT_EQ(f.BorderTopColor(), xc0) << "default XFs carry colour dword 0";
  EXPECT_EQ(f.BorderDiagStyle(), cbsSlantedDashDot);
  EXPECT_EQ(f.ProtectionWord(), 0x0002);
  EXPECT_EQ(cell->VertAlignment(), 1);
  // Removing the left line keeps the border bit while the diagonal line is there.
  cell->SetBorderLeftStyle(cbsNone);
  EXPECT_TRUE(cell->CellFormat().UsedAttributes() & kXFUsedBorder);
  cell->SetBorderDiagStyle(cbsNone);
  EXPECT_FALSE(cell->CellFormat().UsedAttributes() & kXFUsedBorder);
}

TEST_F(FormatsTest, UserNumberFormatIdsAreSharedAndReleased) {
  auto a = NewObject();
  auto b = NewObject();
  a->SetNumberFormat(u"0.000");
  EXPECT_EQ(a->CellFormat().NumberFormatId(), 50);
  EXPECT_EQ(a->NumberFormat(), u"0.000");
  b->SetNumberFormat(u"0.000");
  EXPECT_EQ(b->CellFormat().NumberFormatId(), 50);
  EXPECT_EQ(b->XFIndex(), a->XFIndex());
  EXPECT_EQ(UsageOfId(50), 1) << "one cell format uses id 50";
  // A built-in text finds the built-in id.
  auto c = NewObject();
  c->SetNumberFormat(u"0.00");
  EXPECT_EQ(c->CellFormat().NumberFormatId(), 2);
  // When no format uses id 50 any more the entry goes; new ids keep counting up.
  a->SetNumberFormat(u"");
  b->SetNumberFormat(u"");
  EXPECT_EQ(a->XFIndex(), 15);
  EXPECT_EQ(formats.NumberFormats().FindFormatId(50), -1);
  a->SetNumberFormat(u"#,##0.000");
  EXPECT_EQ(a->CellFormat().NumberFormatId(), 51);
}

TEST_F(FormatsTest, OverlongNumberFormatKeepsPreviousFormat) {
  auto cell = NewObject();
  cell->SetNumberFormat(std::u16string(255, u'0'));
  EXPECT_EQ(cell->CellFormat().NumberFormatId(), 50);
  try {
    cell->SetNumberFormat(std::u16string(256, u'#'));
    FAIL();
  } catch (const EXLSError& e) {
    EXPECT_STREQ(e.what(), "Format string more than 255 characthers");
  }
  EXPECT_EQ(cell->CellFormat().NumberFormatId(), 50);
  EXPECT_EQ(UsageOfId(50), 1);
}

TEST_F(FormatsTest, NumberFormatTable) {
  TNumberFormats& n = formats.NumberFormats();
  // A FORMAT for an existing id replaces its text; no second entry.
  ReadFormatRecord(n, std::vector<uint8_t>{0, 0, 2, 0, 1, 'G', 0, 'x', 0}, xvExcel97);
  EXPECT_EQ(n.Count(), 50);
  EXPECT_EQ(n.FormatText(0), u"Gx");
  EXPECT_EQ(n.Items(0).UsageCount, 1);
  // Ids from a file may come in any order; the list stays searchable.
  n.SetFormatText(u"a", 170, 1);
  n.SetFormatText(u"b", 60, 1);
  EXPECT_EQ(n.FindFormatId(60), 50);
  EXPECT_EQ(n.FindFormatId(170), 51);
  EXPECT_EQ(n.LastId(), 170);
  EXPECT_EQ(n.FindOrAddFormatText(u"c").Id, 171);
  EXPECT_EQ(n.FindFormatId(-1), -1);
  EXPECT_EQ(n.FindFormatId(100), -1);
  try {
    n.AddFormatUse(100);
    FAIL();
  } catch (const EXLSError& e) {
    EXPECT_STREQ(e.what(), "Can not find number format# 100");
  }
  n.AddFormatUse(7);  // built-in ids are ignored
  n.ReleaseFormatUse(60);
  EXPECT_EQ(n.FindFormatId(60), -1);
}

TEST_F(FormatsTest, XFNamingMissingNumberFormatRaises) {
  TXFBody body = formats.FormatAt(15)->Body();
  PutU16(&body[2], 170);
  try {
    ReadXFRecord(formats, body, xvExcel97);
    FAIL();
  } catch (const EXLSError& e) {
    EXPECT_STREQ(e.what(), "Can not find number format# 170");
  }
  formats.NumberFormats().SetFormatText(u"0.0000", 170, 1);
  TCellFormat* f = ReadXFRecord(formats, body, xvExcel97);
  EXPECT_EQ(f->NumberFormatId(), 170);
  EXPECT_EQ(UsageOfId(170), 2);
  const Bytes tooShort(19, 0);
  EXPECT_THROW(ReadXFRecord(formats, tooShort, xvExcel97), EXLSError);
}

TEST_F(FormatsTest, FontRecords) {
  fonts.Clear();
  // BIFF8 FONT: 12 pt, italic, red, bold, superscript, single accounting, "Tahoma".
  Bytes body = {0xF0, 0x00, 0x02, 0x00, 0x0A, 0x00, 0xBC, 0x02,
                0x01, 0x00, 0x21, 0x02, 0x01, 0x00, 6,    1};
  for (char c : std::string("Tahoma")) {
    body.push_back(static_cast<uint8_t>(c));
    body.push_back(0);
  }
  for (int i = 0; i < 3; ++i) ReadFontRecord(fonts, body, xvExcel97);
  EXPECT_EQ(fonts.Count(), 3);
  ReadFontRecord(fonts, body, xvExcel97);
  EXPECT_EQ(fonts.Count(), 5) << "the fourth FONT adds the placeholder";
  ReadFontRecord(fonts, body, xvExcel97);
  EXPECT_EQ(fonts.Count(), 6);
  const TXFont& f = *fonts.FontAt(5);
  EXPECT_EQ(f.Name, u"Tahoma");
  EXPECT_EQ(f.Size(), 12);
  EXPECT_EQ(f.Style, (TXFontStyles{xfsBold, xfsItalic}));
  EXPECT_EQ(f.Color, xcRed);
  EXPECT_EQ(f.SubSuperScript, xssSuperscript);
  EXPECT_EQ(f.Underline, xulSingleAccount);
  EXPECT_EQ(f.Family, 2);
  EXPECT_EQ(f.Charset, 1);
  // Written back: the same bytes, with the bold weight normalised to 700; position 4 skipped.
  const std::vector<TBiffRecord> written = FontRecords(fonts, xvExcel97);
  ASSERT_EQ(written.size(), 5u);
  EXPECT_EQ(written[4].Body, body);
  // BIFF5 form: 8-bit name, length 15 + n; older form: colour 0x7FFF, length 7 + n.
  EXPECT_EQ(FontRecordBody(f, xvExcel50).size(), 21u);
  const Bytes old = FontRecordBody(f, xvExcel40);
  EXPECT_EQ(old.size(), 13u);
  EXPECT_EQ(GetU16(&old[4]), 0x7FFF);
  // Colour indexes of 256 and above become black; a truncated name raises.
  Bytes sys = body;
  PutU16(&sys[4], 0x7FFF);
  ReadFontRecord(fonts, sys, xvExcel97);
  EXPECT_EQ(fonts.FontAt(6)->Color, xcBlack);
  sys.resize(sys.size() - 1);
  EXPECT_THROW(ReadFontRecord(fonts, sys, xvExcel97), EXLSError);
}

TEST_F(FormatsTest, FormatRecordBodies) {
  TNumberFormat f{NumberFormatHash(u"0.0"), u"0.0", 164, 1};
  EXPECT_EQ(FormatRecordBody(f, xvExcel97), (Bytes{164, 0, 3, 0, 1, '0', 0, '.', 0, '0', 0}));
  EXPECT_EQ(FormatRecordBody(f, xvExcel50), (Bytes{164, 0, 3, '0', '.', '0'}));
  TNumberFormats n;
  ReadFormatRecord(n, Bytes{164, 0, 3, '0', '.', '0'}, xvExcel50);
  EXPECT_EQ(n.FormatText(164), u"0.0");
  EXPECT_THROW(ReadFormatRecord(n, Bytes{165, 0, 9, 0, 1, '0', 0}, xvExcel97), EXLSError);
}

TEST_F(FormatsTest, XF5RoundTrip) {
  auto cell = NewObject();
  cell->SetBorderTopStyle(cbsThin);
  cell->SetBorderLeftStyle(cbsMedium);
  cell->SetBorderRightStyle(cbsDouble);
  cell->SetBorderBottomStyle(cbsHair);
  cell->SetBorderTopColor(xcRed);
  cell->SetBorderLeftColor(xcBlue);
  cell->SetBorderRightColor(xcGreen);
  cell->SetBorderBottomColor(xcYellow);
  cell->SetFillPatternForeColor(xcPink);
  cell->SetRotation(90);
  const TCellFormat& f = cell->CellFormat();
  uint8_t xf5[kXFBodySize5];
  f.SaveXF5(xf5);
  EXPECT_EQ(GetU16(xf5 + 6) >> 8 & 3, 2) << "90 degrees counter-clockwise";
  TCellFormat back(&formats);
  back.LoadXF5(std::span<const uint8_t>(xf5, kXFBodySize5));
  EXPECT_EQ(back.Body(), f.Body());
  // Orientations: stacked and clockwise map both ways.
  struct Case {
    int rotationByte, orientation;
  } cases[] = {{255, 1}, {180, 3}, {136, 3}, {135, 2}, {45, 0}, {0, 0}};
  for (const Case& c : cases) {
    TXFBody body = f.Body();
    body[7] = static_cast<uint8_t>(c.rotationByte);
    TCellFormat g(&formats);
    g.AssignBody(body);
    g.SaveXF5(xf5);
    EXPECT_EQ((GetU16(xf5 + 6) >> 8) & 3, c.orientation) << c.rotationByte;
  }
  EXPECT_THROW(back.LoadXF5(std::span<const uint8_t>(xf5, 15)), EXLSError);
}

TEST_F(FormatsTest, XF4Body) {
  auto cell = NewObject();
  cell->SetNumberFormat(u"0.0%");
  cell->SetFormatOptions({foWrapText});
  cell->SetVertAlignment(1);
  cell->SetBorderTopStyle(cbsThin);
  cell->SetBorderRightStyle(cbsSlantedDashDot);  // not representable: written as 0
  cell->SetProtection({cpLocked, cpHidden});
  uint8_t b[kXFBodySize4];
  cell->CellFormat().SaveXF4(b);
  EXPECT_EQ(b[0], 0);
  EXPECT_EQ(b[1], 0) << "id 50 minus 50";
  EXPECT_EQ(GetU16(b + 2), 3);
  EXPECT_EQ(b[4], 0x08 | 0x10);
  EXPECT_EQ(b[5], 0x04 | 0x08 | 0x10 | 0x20 | 0x80);
  EXPECT_EQ(b[8], 0xC1);
  EXPECT_EQ(b[11], 0);
  EXPECT_EQ(XFRecord(cell->CellFormat(), xvExcel40).Id, 0x0443);
}

TEST_F(FormatsTest, StyleRecords) {
  const auto recs = StyleRecords(TStyles(), true);
  ASSERT_EQ(recs.size(), 6u);
  EXPECT_EQ(recs[0].Body, (Bytes{0x10, 0x80, 0x03, 0xFF}));
  EXPECT_EQ(recs[4].Body, (Bytes{0x00, 0x80, 0x00, 0xFF}));
  EXPECT_EQ(recs[5].Body, (Bytes{0x14, 0x80, 0x05, 0xFF}));
  EXPECT_TRUE(StyleRecords(TStyles(), false).empty());
}

TEST_F(FormatsTest, Palette) {
  EXPECT_EQ(PaletteColor(0), 0u);
  EXPECT_EQ(PaletteColor(7), 0u);
  EXPECT_EQ(PaletteColor(xcRed), 0x0000FFu);
  EXPECT_EQ(PaletteColor(xcBlue), 0xFF0000u);
  EXPECT_EQ(PaletteColor(30), 0xCC6600u);
  EXPECT_EQ(PaletteColor(64), 0xFFFFFFu);
  ByteWriter w;
  w.U16(60);
  for (int i = 0; i < 60; ++i) w.U32(0x000100 + i);
  ReadPaletteRecord(w.Buffer());
  EXPECT_EQ(PaletteColor(7), 0u);
  EXPECT_EQ(PaletteColor(8), 0x000100u);
  EXPECT_EQ(PaletteColor(64), 0x000100u + 56);
  ResetPalette();
  EXPECT_EQ(PaletteColor(8), 0u);
  const Bytes round = PaletteRecordBody();
  EXPECT_EQ(round.size(), 2u + 56 * 4);
  ReadPaletteRecord(round);
  EXPECT_EQ(PaletteColor(63), 0x333333u);
  EXPECT_THROW(ReadPaletteRecord(Bytes{2, 0, 1, 2, 3, 0}), EXLSError);
}

TEST_F(FormatsTest, DeleteFontRenumbersFormats) {
  auto a = NewObject();
  a->SetFontName(u"Verdana");  // font 5
  auto b = NewObject();
  b->SetFontName(u"Tahoma");  // font 6
  EXPECT_THROW(formats.DeleteFont(5), EXLSError) << "still named by a format";
  a->SetFontName(u"Arial");
  formats.DeleteFont(5);
  EXPECT_EQ(fonts.Count(), 6);
  EXPECT_EQ(b->CellFormat().FontIndex(), 5);
  EXPECT_EQ(b->FontName(), u"Tahoma");
  EXPECT_EQ(fonts.FontAt(5)->Index(), 5);
}

class NotifyDouble : public TFormatChangeSink {
 public:
  void OnFormatChange(TFormattedObjectNotify&, TCellFormat& format, int number) override {
    calls.push_back({format.Index(), number});
  }
  std::vector<std::pair<int, int>> calls;
};

class NumberedObject : public TFormattedObjectNotify {
 public:
  NumberedObject(TCellFormats& f, TFormatChangeSink* s) : TFormattedObjectNotify(f, 15, s) {}
  int NotifyNumber() const override { return 7; }
};

TEST_F(FormatsTest, NotifyOnlyWhenTheFormatChanges) {
  NotifyDouble sink;
  NumberedObject obj(formats, &sink);
  obj.SetIndent(2);
  obj.SetIndent(2);
  obj.SetFontColor(xcRed);
  // A user format at the end is replaced by another one at the same position: still reported.
  obj.SetIndent(4);
  ASSERT_EQ(sink.calls.size(), 3u);
  EXPECT_EQ(sink.calls[0], std::make_pair(21, 7));
  EXPECT_EQ(sink.calls[2], std::make_pair(21, 7));
}

}  // namespace
}  // namespace xls
