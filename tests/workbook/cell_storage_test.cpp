// Cells, the cell storage, column and row formats and the format push onto cells.
#include <gtest/gtest.h>

#include <vector>

#include "biff/sst2.h"
#include "platform/bytes.h"
#include "platform/error.h"
#include "workbook/apply_format.h"
#include "workbook/cell_storage.h"
#include "workbook/columns.h"
#include "workbook/rows.h"

namespace xls {
namespace {

class CellStorageTest : public ::testing::Test {
 protected:
  CellStorageTest() : formats(fonts) {
    fonts.AddDefaultFonts();
    formats.ResetFormats();
  }
  TCellPtr Float(int col, int row, double v, int xf = 15) {
    return cells.NewCell<TFloatCell>(formats, MakeCellKey(col, row), v, xf);
  }
  TCellPtr Blank(int col, int row, int xf = 15) {
    return cells.NewCell<TBlankCell>(formats, MakeCellKey(col, row), xf);
  }
  void Put(TCellPtr c) {
    const uint32_t key = c->Key();
    cells.SetCell(key, std::move(c));
  }
  std::vector<std::pair<int, int>> Walk() {
    std::vector<std::pair<int, int>> out;
    cells.BeginIterate();
    while (TCell* c = cells.NextCell()) out.emplace_back(c->Col(), c->Row());
    return out;
  }

  TXFonts fonts;
  TCellFormats formats;
  TSST2 sst{&fonts};
  TCellStorage cells;  // declared last: its cells release their formats first
};

TEST(CellValues, ErrorMappings) {
  struct Case {
    uint8_t code;
    TCellError error;
    const char16_t* text;
  } cases[] = {{0x00, ceNull, u"#NULL!"}, {0x07, ceDiv0, u"#DIV/0!"}, {0x0F, ceValue, u"#VALUE!"},
               {0x17, ceRef, u"#REF!"},   {0x1D, ceName, u"#NAME?"},  {0x24, ceNum, u"#NUM!"},
               {0x2A, ceNA, u"#N/A"}};
  for (const Case& c : cases) {
    EXPECT_EQ(CellErrorFromCode(c.code), c.error);
    EXPECT_EQ(CellErrorText(c.error), c.text);
  }
  for (int e = ceNull; e <= ceNum; ++e)
    EXPECT_EQ(CellErrorToCode(static_cast<TCellError>(e)), cases[e - 1].code);
  EXPECT_EQ(CellErrorToCode(ceNA), 0x2A);
  EXPECT_EQ(CellErrorToCode(ceNone), 0x2A);
  EXPECT_EQ(CellErrorFromCode(0x01), ceNone);
  EXPECT_EQ(CellErrorText(ceNone), u"[int] No error value");
  EXPECT_EQ(MakeCellKey(3, 2), 0x203u);
  EXPECT_EQ(MakeCellKey(256 + 3, 2), 0x203u) << "columns wrap";
}

TEST_F(CellStorageTest, KindsAndClones) {
  const uint8_t tokens[] = {0x1E, 0x01, 0x00};
  const uint8_t array[] = {1, 2, 3, 4};
  TSSTEntry* abc = sst.AddString(u"abc");
  std::vector<TCellPtr> all;
  all.push_back(Blank(0, 0));
  all.push_back(Float(1, 0, 2.5));
  all.push_back(cells.NewCell<TStringCell>(formats, MakeCellKey(2, 0), abc, 15));
  all.push_back(cells.NewCell<TBooleanCell>(formats, MakeCellKey(3, 0), uint8_t{1}, 15));
  all.push_back(cells.NewCell<TErrorCell>(formats, MakeCellKey(4, 0), ceDiv0, 15));
  all.push_back(cells.NewCell<TNumberFormulaCell>(formats, MakeCellKey(5, 0), 3u, tokens, 15));
  all.push_back(cells.NewCell<TStringFormulaCell>(formats, MakeCellKey(6, 0), 3u, tokens, 15));
  all.push_back(cells.NewCell<TBooleanFormulaCell>(formats, MakeCellKey(7, 0), 3u, tokens, 15));
  all.push_back(cells.NewCell<TErrorFormulaCell>(formats, MakeCellKey(8, 0), 3u, tokens, 15));
  all.push_back(
      cells.NewCell<TArrayFormulaCell>(formats, MakeCellKey(9, 0), 4u, array, 3u, tokens, 15));
  const TCellKind kinds[] = {ckBlank,        ckFloat,         ckString,        ckBoolean,
                             ckError,        ckNumberFormula, ckStringFormula, ckBooleanFormula,
                             ckErrorFormula, ckArrayFormula};
  static_cast<TStringFormulaCell&>(*all[6]).Result = u"text result";
  static_cast<TArrayFormulaCell&>(*all[9]).Result[7] = 0xAB;
  all[1]->SetFontStyle({xfsBold});
  const int boldXF = all[1]->XFIndex();
  for (size_t i = 0; i < all.size(); ++i) {
    EXPECT_EQ(all[i]->CellKind(), kinds[i]);
    for (TCellAllocator* a : {static_cast<TCellAllocator*>(nullptr), &cells.Allocator()}) {
      TCellPtr copy = all[i]->Clone(a);
      EXPECT_EQ(copy->CellKind(), kinds[i]);
      EXPECT_EQ(copy->Key(), all[i]->Key());
      EXPECT_EQ(copy->XFIndex(), all[i]->XFIndex());
    }
  }
  // Copies hold their own data and their own use of the format.
  TCellPtr f = all[1]->Clone(nullptr);
  EXPECT_EQ(static_cast<TFloatCell&>(*f).Value, 2.5);
  EXPECT_EQ(formats.FormatAt(boldXF)->UsageCount(), 2);
  f.reset();
  EXPECT_EQ(formats.FormatAt(boldXF)->UsageCount(), 1);
  TCellPtr s = all[6]->Clone(nullptr);
  EXPECT_EQ(static_cast<TStringFormulaCell&>(*s).Result, u"text result");
  EXPECT_EQ(static_cast<TFormulaCell&>(*s).Tokens()[0], 0x1E);
  TCellPtr arr = all[9]->Clone(&cells.Allocator());
  EXPECT_EQ(static_cast<TArrayFormulaCell&>(*arr).ArrayBody()[3], 4);
  EXPECT_EQ(static_cast<TArrayFormulaCell&>(*arr).Result[7], 0xAB);
  // A string cell's copy adds a reference to its entry; destroying cells leaves the count.
  EXPECT_EQ(abc->RefCount(), 3);
  EXPECT_EQ(static_cast<TStringCell&>(*all[2]).Text(), u"abc");
  // An XF index beyond the list becomes 15.
  EXPECT_EQ(Float(0, 0, 1, 999)->XFIndex(), 15);
}

TEST_F(CellStorageTest, StoreFindReplaceDelete) {
  auto text = cells.NewCell<TStringCell>(formats, MakeCellKey(1, 1), sst.AddString(u"x"), 15);
  text->SetBorderTopStyle(cbsThin);
  const int xf = text->XFIndex();
  Put(std::move(text));
  EXPECT_EQ(cells.FindCell(1, 1)->CellKind(), ckString);
  // The number that replaces the string keeps the string's format.
  Put(Float(1, 1, 42));
  TCell* number = cells.FindCell(1, 1);
  ASSERT_EQ(number->CellKind(), ckFloat);
  EXPECT_EQ(number->XFIndex(), xf);
  EXPECT_EQ(formats.FormatAt(xf)->UsageCount(), 1);
  // Storing the cell that is already there leaves it untouched.
  cells.SetCell(MakeCellKey(1, 1), TCellPtr(number, cells.Deleter()));
  EXPECT_EQ(cells.FindCell(1, 1), number);
  EXPECT_EQ(static_cast<TFloatCell*>(number)->Value, 42);
  // Delete, then find: none; the emptied storage has the dimensions 0, 0, 0, 0.
  cells.SetCell(MakeCellKey(1, 1), nullptr);
  EXPECT_EQ(cells.FindCell(1, 1), nullptr);
  EXPECT_EQ(formats.Count(), 21) << "the last user released the user format";
  cells.CalcDimensions();
  EXPECT_EQ(cells.FirstCol() + cells.LastCol() + cells.FirstRow() + cells.LastRow(), 0);
  // Keys outside the sheet, and cells made elsewhere, are refused.
  EXPECT_EQ(cells.FindCell(0x01000000u), nullptr);
  EXPECT_THROW(cells.SetCell(0x01000000u, Float(0, 0, 1)), EXLSError);
  EXPECT_THROW(cells.SetCell(0, MakeCell<TFloatCell>(nullptr, formats, 0u, 1.0, 15)), EXLSError);
}

TEST_F(CellStorageTest, ClearForgetsTheCachedCell) {
  Put(Float(7, 7, 1));
  ASSERT_NE(cells.FindCell(7, 7), nullptr);
  cells.ClearCells();
  EXPECT_EQ(cells.FindCell(7, 7), nullptr);
  EXPECT_EQ(cells.Allocator().Live(), 0u);
  Put(Float(7, 7, 2));
  EXPECT_EQ(static_cast<TFloatCell*>(cells.FindCell(7, 7))->Value, 2);
}

TEST_F(CellStorageTest, RowMajorWalkAndDimensions) {
  Put(Float(0, 65535, 4));
  Put(Float(3, 1, 3));
  Put(Float(255, 0, 2));
  Put(Float(0, 0, 1));
  EXPECT_EQ(Walk(), (std::vector<std::pair<int, int>>{{0, 0}, {255, 0}, {3, 1}, {0, 65535}}));
  EXPECT_EQ(cells.NextCell(), nullptr) << "stays at the end";
  cells.CalcDimensions();
  EXPECT_EQ(cells.FirstCol(), 0);
  EXPECT_EQ(cells.LastCol(), 255);
  EXPECT_EQ(cells.FirstRow(), 0);
  EXPECT_EQ(cells.LastRow(), 65535);
  Put(Float(17, 300, 5));
  cells.SetCell(MakeCellKey(0, 0), nullptr);
  cells.SetCell(MakeCellKey(255, 0), nullptr);
  cells.SetCell(MakeCellKey(0, 65535), nullptr);
  cells.CalcDimensions();
  EXPECT_EQ(cells.FirstCol(), 3);
  EXPECT_EQ(cells.LastCol(), 17);
  EXPECT_EQ(cells.FirstRow(), 1);
  EXPECT_EQ(cells.LastRow(), 300);
}

TEST_F(CellStorageTest, BlankRuns) {
  for (int c = 250; c <= 255; ++c) Put(Blank(c, 9));
  Put(Float(0, 10, 1));
  cells.BeginIterate();
  TCell* first = cells.NextCell();
  ASSERT_EQ(first->Col(), 250);
  int run = 0;
  while (TCell* b = cells.NextBlankInRow()) {
    EXPECT_EQ(b->Col(), 251 + run);
    ++run;
  }
  EXPECT_EQ(run, 5) << "the run ends at column 255";
  TCell* next = cells.NextCell();
  ASSERT_NE(next, nullptr);
  EXPECT_EQ(next->Row(), 10);

  // A gap, a non-blank cell, and a run across the 16-column block boundary.
  cells.ClearCells();
  for (int c : {14, 15, 16, 18}) Put(Blank(c, 0));
  Put(Float(19, 0, 1));
  Put(Blank(20, 0));
  cells.BeginIterate();
  ASSERT_EQ(cells.NextCell()->Col(), 14);
  EXPECT_EQ(cells.NextBlankInRow()->Col(), 15);
  EXPECT_EQ(cells.NextBlankInRow()->Col(), 16);
  EXPECT_EQ(cells.NextBlankInRow(), nullptr);
  ASSERT_EQ(cells.NextCell()->Col(), 18);
  EXPECT_EQ(cells.NextBlankInRow(), nullptr);
  EXPECT_EQ(cells.NextCell()->Col(), 19);
  EXPECT_EQ(cells.NextCell()->Col(), 20);
  EXPECT_EQ(cells.NextCell(), nullptr);
}

Bytes ColInfo(int first, int last, int width, int xf, int options) {
  ByteWriter w;
  for (int v : {first, last, width, xf, options, 0}) w.U16(static_cast<uint16_t>(v));
  return w.Buffer();
}

TEST_F(CellStorageTest, ColumnInfo) {
  TXLSColumns columns(formats);
  columns.ReadColInfo(ColInfo(2, 3, 3000, 15, 0x0000));
  columns.ReadColInfo(ColInfo(4, 4, 3000, 15, 0x0002));  // user-set only differs
  columns.ReadColInfo(ColInfo(5, 5, 3000, 15, 0x0001));
  columns.ReadColInfo(ColInfo(250, 300, 100, 20, 0x1000 | (3 << 8)));
  columns.ReadColInfo(ColInfo(9, 8, 100, 15, 0));  // last below first: nothing
  EXPECT_EQ(columns.ColumnAt(8), nullptr);
  ASSERT_NE(columns.ColumnAt(255), nullptr);
  EXPECT_EQ(columns.ColumnAt(255)->OutlineLevel, 3);
  EXPECT_TRUE(columns.ColumnAt(255)->Collapsed);
  EXPECT_EQ(columns.ColumnAt(255)->XFIndex(), 20);
  EXPECT_TRUE(columns.ColumnAt(4)->UserSet);
  const auto recs = columns.ColInfoRecords();
  ASSERT_EQ(recs.size(), 3u);
  EXPECT_EQ(recs[0].Id, 0x007D);
  EXPECT_EQ(recs[0].Body, ColInfo(2, 4, 3000, 15, 0x0000));
  EXPECT_EQ(recs[1].Body, ColInfo(5, 5, 3000, 15, 0x0001));
  EXPECT_EQ(recs[2].Body, ColInfo(250, 255, 100, 20, 0x1300));
  try {
    columns.ClearColumns(3, 256);
    FAIL();
  } catch (const EXLSError& e) {
    EXPECT_STREQ(e.what(), "Invalid columns");
  }
  EXPECT_THROW(columns.ClearColumns(5, 4), EXLSError);
  EXPECT_NE(columns.ColumnAt(3), nullptr) << "a refused clear frees nothing";
  columns.ClearColumns();
  EXPECT_TRUE(columns.ColInfoRecords().empty());
  EXPECT_THROW(columns.ReadColInfo(Bytes(9, 0)), EXLSError);
}

Bytes RowRecord(int row, int first, int last1, int height, int options, int xf) {
  ByteWriter w;
  for (int v : {row, first, last1, height, 0, 0, options, xf}) w.U16(static_cast<uint16_t>(v));
  return w.Buffer();
}

TEST_F(CellStorageTest, RowRecords) {
  TXLSRows rows(formats);
  rows.AddRowRecord(RowRecord(9, 0, 5, 300, 0x0100, 20));  // XF ignored without bit 7
  rows.AddRowRecord(RowRecord(2, 1, 4, 255, 0x0180, 0xF000 | 20));
  rows.AddRowRecord(RowRecord(5, 0, 1, 255, 0x0000, 15));
  rows.SortRows();
  EXPECT_EQ(rows.FindRow(2), 0);
  EXPECT_EQ(rows.FindRow(9), 2);
  EXPECT_EQ(rows.FindRow(3), -1);
  EXPECT_EQ(rows.FindRow(70000), -1);
  EXPECT_EQ(rows.FindRow(-1), -1);
  EXPECT_EQ(rows.RowAt(9)->XFIndex(), 15);
  EXPECT_EQ(rows.RowAt(2)->XFIndex(), 20);
  uint8_t body[kRowRecordSize];
  rows.FillRowRecord(2, body);
  EXPECT_EQ(Bytes(body, body + kRowRecordSize), RowRecord(9, 0, 5, 300, 0x0100, 15));
  rows.FillRowRecord(0, body);
  EXPECT_EQ(Bytes(body, body + kRowRecordSize), RowRecord(2, 1, 4, 255, 0x0180, 20));
  // A row given a format of its own is written with bit 7.
  rows.RowAt(5)->SetFillPattern(fpPattern1);
  rows.FillRowRecord(1, body);
  EXPECT_EQ(GetU16(body + 12), 0x0080);
  EXPECT_EQ(GetU16(body + 14), rows.RowAt(5)->XFIndex());
  EXPECT_EQ(rows.AddRow(3, 20)->Options, 0x0080);
  EXPECT_EQ(rows.FindRow(3), 1);
  EXPECT_THROW(rows.AddRowRecord(Bytes(15, 0)), EXLSError);
}

TEST_F(CellStorageTest, ColumnAndRowFormatsPushOntoTheirCells) {
  TApplyFormat apply(formats, cells);
  TXLSColumns columns(formats, &apply);
  TXLSRows rows(formats, &apply);
  Put(Float(2, 0, 1));
  Put(Float(2, 40000, 2));
  Put(Float(3, 0, 3));
  Put(Float(0, 7, 4));
  Put(Float(200, 7, 5));
  columns.AddColumn(2)->SetFillPatternForeColor(xcRed);
  const int red = columns.ColumnAt(2)->XFIndex();
  EXPECT_EQ(cells.FindCell(2, 0)->XFIndex(), red);
  EXPECT_EQ(cells.FindCell(2, 40000)->XFIndex(), red);
  EXPECT_EQ(cells.FindCell(3, 0)->XFIndex(), 15);
  EXPECT_EQ(formats.FormatAt(red)->UsageCount(), 3);
  rows.AddRow(7)->SetFontStyle({xfsItalic});
  const int italic = rows.RowAt(7)->XFIndex();
  EXPECT_EQ(cells.FindCell(0, 7)->XFIndex(), italic);
  EXPECT_EQ(cells.FindCell(200, 7)->XFIndex(), italic);
  EXPECT_EQ(cells.FindCell(2, 0)->XFIndex(), red);
  // Setting a value the column already has changes nothing and notifies nobody.
  cells.FindCell(2, 0)->SetIndent(1);
  columns.ColumnAt(2)->SetFillPatternForeColor(xcRed);
  EXPECT_EQ(cells.FindCell(2, 0)->Indent(), 1);
}

}  // namespace
}  // namespace xls
