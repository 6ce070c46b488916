#include <gtest/gtest.h>

#include "platform/locale_settings.h"
#include "platform/message_handler.h"
#include "platform/paper_size.h"
#include "workbook/xls_workbook.h"

namespace xls {
namespace {

// Collects what the engine shows as plain messages.
class MessageCapture {
 public:
  MessageCapture() {
    old_ = SetMessageHandler([this](const std::u16string& t) { messages.push_back(t); });
  }
  ~MessageCapture() { SetMessageHandler(old_); }
  std::vector<std::u16string> messages;

 private:
  TMessageHandler old_;
};

TEST(Sheets, NamingNeverRestartsAndRejectsDuplicates) {
  MessageCapture capture;
  TXLSWorkbook wb;
  TSheets& sheets = wb.Sheets();
  ASSERT_EQ(sheets.Count(), 1);
  EXPECT_EQ(sheets[0].Name(), u"Sheet1");
  EXPECT_EQ(sheets.Add().Name(), u"Sheet2");
  EXPECT_EQ(sheets.Add().Name(), u"Sheet3");
  sheets[1].SetName(u"sheet3");
  EXPECT_EQ(sheets[1].Name(), u"Sheet2");
  ASSERT_EQ(capture.messages.size(), 1u);
  EXPECT_EQ(capture.messages[0], u"Sheet name \"sheet3\" allready exists");
  sheets[1].SetName(u"Sheet2");  // its own name counts as a duplicate too
  EXPECT_EQ(capture.messages.size(), 2u);
  EXPECT_EQ(sheets.Find(u"SHEET3"), &sheets[2]);
  EXPECT_EQ(sheets.Find(u"nope"), nullptr);

  TXLSWorkbook fresh;
  fresh.ClearWorkbook();
  ASSERT_EQ(fresh.Sheets().Count(), 1);
  EXPECT_EQ(fresh.Sheets()[0].Name(), u"Sheet2");
  EXPECT_THROW(fresh.Sheets().Items(1), EXLSError);
}

TEST(Sheets, ReaderNamesDoNotClashWithDefaultNames) {
  MessageCapture capture;
  TXLSWorkbook wb;
  wb.Sheets().RemoveAll();
  wb.Sheets().AddNamed(u"Sheet3");
  wb.Sheets().AddNamed(u"Sheet2");
  EXPECT_EQ(wb.Sheets()[0].Name(), u"Sheet3");
  EXPECT_EQ(wb.Sheets()[1].Name(), u"Sheet2");
  EXPECT_TRUE(capture.messages.empty());
}

TEST(Sheets, TextGettersByCellKind) {
  TLocaleSettingsOverride locale(TLocaleSettings::English());
  TXLSWorkbook wb;
  TSheet& s = wb.Sheets()[0];
  // An XF with number format 14 (a date).
  TCellFormat* dateXF = wb.CellFormats().AddFormat();
  dateXF->Assign(*wb.CellFormats().FormatAt(kDefaultCellXF));
  dateXF->SetNumberFormatId(14);
  const int date = dateXF->Index();

  s.AddFloatCell(0, 0, 0, 1234.5);
  s.AddFloatCell(1, 0, date, 1234.5);
  s.AddBlankCell(2, 0, 15);
  s.AddBooleanCell(3, 0, 15, true);
  s.AddErrorCell(4, 0, 15, ceDiv0);
  s.AddTextCell(5, 0, 15, u"文本");
  const uint8_t tokens[] = {0x1E, 0x01, 0x00};
  s.AddNumberFormulaCell(6, 0, date, tokens, 2.0);
  s.AddStringFormulaCell(7, 0, 15, tokens, u"res");
  s.AddBooleanFormulaCell(8, 0, 15, tokens, 0);
  s.AddErrorFormulaCell(9, 0, 15, tokens, 0x2A);
  const uint8_t arrayResult[8] = {2, 0, 0x07, 0, 0, 0, 0xFF, 0xFF};
  s.AddArrayFormulaCell(10, 0, 15, tokens, {}, arrayResult);

  struct Case {
    int col;
    std::u16string plain, formatted;
  } cases[] = {
      {0, u"1234.5", u"1234.5"}, {1, u"1234.5", u"5/18/1903"}, {2, u"", u""},
      {3, u"TRUE", u"TRUE"},     {4, u"#DIV/0!", u"#DIV/0!"},  {5, u"文本", u"文本"},
      {6, u"2", u"1/1/1900"},    {7, u"res", u"res"},          {8, u"FALSE", u"FALSE"},
      {9, u"#N/A", u"#N/A"},     {10, u"#DIV/0!", u"#DIV/0!"}, {11, u"", u""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(s.CellText(c.col, 0), c.plain) << c.col;
    EXPECT_EQ(s.FormattedText(c.col, 0), c.formatted) << c.col;
  }
  wb.StrTRUE = u"是";
  EXPECT_EQ(s.FormattedText(3, 0), u"是");
}

TEST(Sheets, SetCellTextTakesColumnRowOrOldFormat) {
  TXLSWorkbook wb;
  TCellFormats& formats = wb.CellFormats();
  while (formats.Count() <= 30) formats.AddFormat();
  TSheet& s = wb.Sheets()[0];
  s.Columns().AddColumn(1, 20);
  s.Rows().AddRow(5, 19);
  s.SetCellText(1, 0, u"col");
  EXPECT_EQ(s.CellAt(1, 0)->XFIndex(), 20);
  s.SetCellText(2, 5, u"row");
  EXPECT_EQ(s.CellAt(2, 5)->XFIndex(), 19);
  s.SetCellText(3, 3, u"none");
  EXPECT_EQ(s.CellAt(3, 3)->XFIndex(), 15);
  s.AddFloatCell(1, 7, 30, 1.0);
  s.SetCellText(1, 7, u"replaced");
  EXPECT_EQ(s.CellAt(1, 7)->XFIndex(), 30);
  EXPECT_EQ(s.CellText(1, 7), u"replaced");
}

TEST(Sheets, UsedAreaLivesInDimensions) {
  TXLSWorkbook wb;
  TSheet& s = wb.Sheets()[0];
  s.SetLastCol(20);
  EXPECT_EQ(GetU16(s.Records().DIMENSIONS().Data.data() + 10), 21);
  EXPECT_EQ(s.LastCol(), 20);
  s.SetLastCol(0);
  EXPECT_EQ(s.LastCol(), 0);
  s.AddFloatCell(3, 10, 15, 1);
  s.AddFloatCell(7, 2, 15, 1);
  EXPECT_EQ(s.LastRow(), 0);  // adding cells does not move the recorded area
  s.UpdateDimensions();
  EXPECT_EQ(s.FirstRow(), 2);
  EXPECT_EQ(s.LastRow(), 10);
  EXPECT_EQ(s.FirstCol(), 3);
  EXPECT_EQ(s.LastCol(), 7);

  TSheet& only = wb.Sheets().Add();
  only.SetCellText(0, 0, u"A1");
  only.UpdateDimensions();
  EXPECT_EQ(only.LastRow(), 0);
  EXPECT_EQ(only.LastCol(), 0);
  EXPECT_EQ(GetU32(only.Records().DIMENSIONS().Data.data() + 4), 0u);
}

TEST(Sheets, OptionsAndPrintSettingsMapToRecords) {
  TXLSWorkbook wb;
  TSheet& s = wb.Sheets()[0];
  EXPECT_EQ(GetU16(s.Records().WINDOW2().Data.data()), 0x04B6);
  s.SetOptions({});
  EXPECT_EQ(GetU16(s.Records().WINDOW2().Data.data()), 0x04A0);
  s.SetOptions({soGridlines, soShowZeros, soProtected});
  EXPECT_EQ(GetU16(s.Records().WINDOW2().Data.data()), 0x04B2);
  EXPECT_TRUE(s.Options() == (TSheetOptions{soGridlines, soShowZeros}));
  s.SetWorkspaceOptions({woShowAutoBreaks, woOutlineSymbols});
  EXPECT_EQ(s.Records().WSBOOL(), 0x0401);
  s.SetZoom(150);
  EXPECT_EQ(GetU16(s.Records().WINDOW2().Data.data() + 12), 150);

  TPrintSettings& p = s.PrintSettings();
  EXPECT_EQ(p.PaperSize(), wb.DefaultPaperSize());
  EXPECT_EQ(p.StartingPage(), 1);
  EXPECT_TRUE(p.Options() == TPrintSetupOptions{psoPortrait});
  EXPECT_EQ(p.MarginLeft, -1);
  EXPECT_DOUBLE_EQ(p.MarginLeftCm(), -2.54);
  p.SetMarginLeftCm(2.54);
  EXPECT_DOUBLE_EQ(p.MarginLeft, 1.0);
  p.SetOptions({psoLeftToRight, psoGridlines, psoVertCenter});
  EXPECT_EQ(GetU16(s.Records().SETUP().Data.data() + 10), 0x0001);
  EXPECT_TRUE(s.Records().PRINTGRIDLINES());
  EXPECT_TRUE(s.Records().VCENTER());
  EXPECT_FALSE(s.Records().HCENTER());
  EXPECT_DOUBLE_EQ(p.HeaderMargin(), 0.5);

  TPane& pane = s.Pane();
  EXPECT_EQ(pane.ActivePane(), 3);
  EXPECT_THROW(pane.SetActivePane(4), EXLSError);
  pane.SetActivePane(1);
  pane.Clear();
  EXPECT_EQ(pane.ActivePane(), 3);
}

TEST(Workbook, NewComponentDefaults) {
  TXLSWorkbook wb;
  EXPECT_EQ(wb.Version(), xvExcel97);
  EXPECT_EQ(wb.MaxRecordLength(), 8224);
  EXPECT_TRUE(wb.OptionsDialog().PrecisionAsDisplayed());
  wb.OptionsDialog().SetPrecisionAsDisplayed(false);
  EXPECT_FALSE(wb.OptionsDialog().PrecisionAsDisplayed());
  EXPECT_FALSE(wb.OptionsDialog().SaveExtLinkVal());
  EXPECT_EQ(wb.OptionsDialog().CalcMode, cmAutomatic);
  EXPECT_EQ(wb.OptionsDialog().CalcCount, 100);
  EXPECT_DOUBLE_EQ(wb.OptionsDialog().Delta, 0.001);
  EXPECT_TRUE(wb.OptionsDialog().SaveRecalc);
  EXPECT_FALSE(wb.OptionsDialog().R1C1Mode);
  EXPECT_EQ(TXLSWorkbook::ComponentVersion(), "2.00.14");
  EXPECT_TRUE(wb.PreserveMacros);
  EXPECT_EQ(wb.Workbook().Width(), 10000);
  EXPECT_TRUE(wb.Workbook().Options() == (TWorkbookOptions{woHScroll, woVScroll, woTabs}));
  EXPECT_EQ(wb.Workbook().Left(), 100);
  EXPECT_EQ(wb.DefaultFormat(), wb.CellFormats().FormatAt(15));
  ASSERT_NE(wb.Font(), nullptr);
  EXPECT_EQ(wb.Font()->Name, u"Arial");

  wb.SetUserName(std::u16string(200, u'x'));
  EXPECT_EQ(wb.UserName(), std::u16string(109, u'x'));
  wb.SetVersion(xvExcel50);
  EXPECT_EQ(wb.MaxRecordLength(), 2080);
}

TEST(Workbook, CalculationOptionsGoToEverySheetBeforeWriting) {
  TXLSWorkbook wb;
  wb.Sheets().Add();
  wb.OptionsDialog().CalcMode = cmManual;
  wb.OptionsDialog().R1C1Mode = true;
  wb.OptionsDialog().CalcCount = 7;
  TMemoryStream out;
  wb.WriteStream(&out);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(wb.Sheets()[i].Records().CALCMODE(), 0) << i;
    EXPECT_EQ(wb.Sheets()[i].Records().REFMODE(), 0) << i;
    EXPECT_EQ(wb.Sheets()[i].Records().CALCCOUNT(), 7) << i;
  }
  out.Seek(0, soFromBeginning);
  TXLSWorkbook back;
  back.ReadStream(&out);
  EXPECT_EQ(back.OptionsDialog().CalcMode, cmManual);
  EXPECT_TRUE(back.OptionsDialog().R1C1Mode);
  ASSERT_EQ(back.Sheets().Count(), 2);
  EXPECT_EQ(back.Sheets()[0].Name(), u"Sheet1");
}

TEST(Workbook, PaperSizeNames) {
  const std::pair<const char*, int> cases[] = {
      {"A4", 9}, {"iso_a4_210x297mm", 9}, {"na_letter_8.5x11in", 1}, {"Legal", 5}, {"odd", 0}};
  for (const auto& [name, code] : cases) EXPECT_EQ(PaperSizeFromMediaName(name), code) << name;
}

TEST(Workbook, NoFontsAndOldVersionsAreReported) {
  MessageCapture capture;
  TXLSWorkbook wb;
  wb.SetVersion(xvExcel30);
  EXPECT_THROW(wb.WriteFile(), EXLSError);
  ASSERT_EQ(capture.messages.size(), 1u);
  EXPECT_EQ(capture.messages[0], u"Can not write Excel 2.1/3.0 files");
}

}  // namespace
}  // namespace xls
