#include "biff/xls_writer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "biff/biff_recs.h"
#include "biff/sst2.h"
#include "cfb/compound_file.h"
#include "platform/codec.h"
#include "platform/error.h"
#include "workbook/xls_utils.h"
#include "workbook/xls_workbook.h"

namespace xls {
namespace {

namespace fs = std::filesystem;

struct Rec {
  uint16_t id;
  Bytes body;
  int64_t pos;  // stream position of the header
};

std::vector<Rec> ParseRecords(const Bytes& s) {
  std::vector<Rec> out;
  size_t p = 0;
  while (p + 4 <= s.size()) {
    const uint16_t id = GetU16(s.data() + p);
    const uint16_t len = GetU16(s.data() + p + 2);
    if (p + 4 + len > s.size()) ADD_FAILURE() << "record at " << p << " runs past the stream";
    const size_t end = std::min(s.size(), p + 4 + len);
    out.push_back(
        {id,
         Bytes(s.begin() + static_cast<ptrdiff_t>(p + 4), s.begin() + static_cast<ptrdiff_t>(end)),
         static_cast<int64_t>(p)});
    p = end;
  }
  EXPECT_EQ(p, s.size());
  return out;
}

Bytes StreamOf(const Bytes& file, std::u16string_view name) {
  auto cf = cfb::CompoundFile::OpenRead(file);
  return cf->Root().OpenStream(name).Data();
}

Bytes WriteToMemory(TXLSWorkbook& wb) {
  TMemoryStream out;
  wb.WriteStream(&out);
  return out.Data();
}

std::vector<Rec> WriteAndParse(TXLSWorkbook& wb) {
  const Bytes file = WriteToMemory(wb);
  return ParseRecords(StreamOf(file, wb.Version() == xvExcel50 ? u"Book" : u"Workbook"));
}

// The records of the first worksheet substream (from its BOF to its EOF).
std::vector<Rec> SheetRecords(const std::vector<Rec>& recs, int sheet = 0) {
  int seen = -1;
  std::vector<Rec> out;
  for (const Rec& r : recs) {
    if (r.id == BIFFRECID_BOF) ++seen;
    if (seen == sheet + 1) {
      out.push_back(r);
      if (r.id == BIFFRECID_EOF) break;
    }
  }
  return out;
}

std::vector<Rec> OfId(const std::vector<Rec>& recs, uint16_t id) {
  std::vector<Rec> out;
  for (const Rec& r : recs)
    if (r.id == id) out.push_back(r);
  return out;
}

// Ids with runs of FONT, FORMAT and XF records collapsed to one entry each.
std::vector<uint16_t> CollapsedIds(const std::vector<Rec>& recs) {
  std::vector<uint16_t> ids;
  for (const Rec& r : recs) {
    const bool run = r.id == BIFFRECID_FONT || r.id == BIFFRECID_FORMAT || r.id == BIFFRECID_XF;
    if (run && !ids.empty() && ids.back() == r.id) continue;
    ids.push_back(r.id);
  }
  return ids;
}

TEST(XLSWriter, NewWorkbookRecordsInOrder) {
  TXLSWorkbook wb;
  wb.Sheets()[0].AddFloatCell(1, 1, 15, 2.5);
  const std::vector<Rec> recs = WriteAndParse(wb);

  const std::vector<uint16_t> expected = {
      // globals
      BIFFRECID_BOF, BIFFRECID_WRITEACCESS, BIFFRECID_CODEPAGE, BIFFRECID_DSF, BIFFRECID_TABID,
      BIFFRECID_FNGROUPCOUNT, BIFFRECID_WINDOWPROTECT, BIFFRECID_PROTECT, BIFFRECID_PASSWORD,
      BIFFRECID_PROT4REV, BIFFRECID_WINDOW1, BIFFRECID_BACKUP, BIFFRECID_HIDEOBJ,
      BIFFRECID_DATE1904, BIFFRECID_PRECISION, BIFFRECID_REFRESHALL, BIFFRECID_BOOKBOOL,
      BIFFRECID_FONT, BIFFRECID_FORMAT, BIFFRECID_XF, BIFFRECID_STYLE, BIFFRECID_STYLE,
      BIFFRECID_STYLE, BIFFRECID_STYLE, BIFFRECID_STYLE, BIFFRECID_STYLE, BIFFRECID_BOUNDSHEET,
      BIFFRECID_COUNTRY, BIFFRECID_RECALCID, BIFFRECID_SST, BIFFRECID_EXTSST, BIFFRECID_EOF,
      // the worksheet
      BIFFRECID_BOF, BIFFRECID_CALCMODE, BIFFRECID_CALCCOUNT, BIFFRECID_REFMODE,
      BIFFRECID_ITERATION, BIFFRECID_DELTA, BIFFRECID_SAVERECALC, BIFFRECID_PRINTGRIDLINES,
      BIFFRECID_PRINTHEADERS, BIFFRECID_GRIDSET, BIFFRECID_GUTS, BIFFRECID_DEFAULTROWHEIGHT,
      BIFFRECID_WSBOOL, BIFFRECID_HEADER, BIFFRECID_FOOTER, BIFFRECID_HCENTER, BIFFRECID_VCENTER,
      BIFFRECID_SETUP, BIFFRECID_PROTECT, BIFFRECID_DEFCOLWIDTH,
      // DIMENSIONS stands before the cells
      BIFFRECID_DIMENSIONS, BIFFRECID_RK_30, BIFFRECID_WINDOW2, BIFFRECID_SELECTION, BIFFRECID_EOF};
  EXPECT_EQ(::testing::PrintToString(CollapsedIds(recs)), ::testing::PrintToString(expected));

  // Four fonts (the placeholder at 4 is not written) and the 21 default XFs.
  EXPECT_EQ(OfId(recs, BIFFRECID_FONT).size(), 4u);
  EXPECT_EQ(OfId(recs, BIFFRECID_XF).size(), 21u);

  const auto tabid = OfId(recs, BIFFRECID_TABID);
  ASSERT_EQ(tabid.size(), 1u);
  EXPECT_EQ(tabid[0].body, (Bytes{1, 0}));

  const Bytes styles[] = {{0x10, 0x80, 0x03, 0xFF}, {0x11, 0x80, 0x06, 0xFF},
                          {0x12, 0x80, 0x04, 0xFF}, {0x13, 0x80, 0x07, 0xFF},
                          {0x00, 0x80, 0x00, 0xFF}, {0x14, 0x80, 0x05, 0xFF}};
  const auto style = OfId(recs, BIFFRECID_STYLE);
  ASSERT_EQ(style.size(), 6u);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(style[i].body, styles[i]) << i;

  // BOUNDSHEET: the BOF position is the position of the worksheet's BOF.
  const auto bs = OfId(recs, BIFFRECID_BOUNDSHEET);
  ASSERT_EQ(bs.size(), 1u);
  const auto bofs = OfId(recs, BIFFRECID_BOF);
  ASSERT_EQ(bofs.size(), 2u);
  EXPECT_EQ(GetU32(bs[0].body.data()), static_cast<uint32_t>(bofs[1].pos));
  EXPECT_EQ(GetU16(bofs[1].body.data() + 2), BOFTYPE_WORKSHEET);
  const Bytes name = {6, 1, 'S', 0, 'h', 0, 'e', 0, 'e', 0, 't', 0, '1', 0};
  EXPECT_EQ(Bytes(bs[0].body.begin() + 6, bs[0].body.end()), name);

  // The first sheet is selected; the password record is always 0.
  const auto w2 = OfId(recs, BIFFRECID_WINDOW2);
  ASSERT_EQ(w2.size(), 1u);
  EXPECT_TRUE(GetU16(w2[0].body.data()) & 0x0200);
  EXPECT_EQ(OfId(recs, BIFFRECID_PASSWORD)[0].body, (Bytes{0, 0}));
}

TEST(XLSWriter, SeveralSheetsEachBoundsheetPointsAtItsBOF) {
  TXLSWorkbook wb;
  wb.Sheets().Add();
  wb.Sheets().Add().SetCellText(3, 7, u"x");
  const std::vector<Rec> recs = WriteAndParse(wb);
  const auto bs = OfId(recs, BIFFRECID_BOUNDSHEET);
  const auto bofs = OfId(recs, BIFFRECID_BOF);
  ASSERT_EQ(bs.size(), 3u);
  ASSERT_EQ(bofs.size(), 4u);
  for (int k = 0; k < 3; ++k)
    EXPECT_EQ(GetU32(bs[k].body.data()), static_cast<uint32_t>(bofs[k + 1].pos)) << k;
  EXPECT_EQ(OfId(recs, BIFFRECID_TABID)[0].body, (Bytes{1, 0, 2, 0, 3, 0}));
  // Only the first sheet is selected.
  const auto w2 = OfId(recs, BIFFRECID_WINDOW2);
  ASSERT_EQ(w2.size(), 3u);
  EXPECT_TRUE(GetU16(w2[0].body.data()) & 0x0200);
  EXPECT_FALSE(GetU16(w2[2].body.data()) & 0x0200);
}

struct RKCase {
  double value;
  bool rk;
  uint32_t expected;
};

TEST(XLSWriter, RKEncoding) {
  const RKCase cases[] = {
      {0.5, true, 0x3FE00000},
      {1.23, true, 0x405EC001},
      {123456789, true, 0x1D6F3456},
      {1e10, false, 0},
      {1, true, 0x3FF00000},
      {-3, true, 0xC0080000},
      {0, true, 0},
      {536870911, true, 0x7FFFFFFE},
      {536870912, true, 0x41C00000},  // a power of two: the float form is exact
      {536870913, false, 0},
      {0.1, true, 0x40240001},
      {-0.07, false, 0},
      {-123456789, true, 0xE290CBAE},
      {3.14159, false, 0},
      {1e-300, false, 0},
  };
  for (const RKCase& c : cases) {
    uint32_t rk = 0;
    EXPECT_EQ(EncodeRK(c.value, rk), c.rk) << c.value;
    if (c.rk) {
      EXPECT_EQ(rk, c.expected) << c.value;
      EXPECT_EQ(DecodeRK(rk), c.value) << c.value;
    }
  }
  // Every encodable number decodes to itself, also where value * 100 is rounded.
  for (int i = -20000; i <= 20000; ++i) {
    for (double v : {i / 100.0, i / 1000.0, i * 0.01, i + 0.25}) {
      uint32_t rk;
      if (EncodeRK(v, rk)) {
        ASSERT_EQ(DecodeRK(rk), v) << v;
      }
    }
  }
}

TEST(XLSWriter, NumberRunsGiveMULRKRKAndNUMBER) {
  TXLSWorkbook wb;
  TSheet& s = wb.Sheets()[0];
  // Row 0: 1, 2, 3 in A1:C1.
  s.AddFloatCell(0, 0, 15, 1);
  s.AddFloatCell(1, 0, 15, 2);
  s.AddFloatCell(2, 0, 15, 3);
  // Row 1: A2 and C2 (gap).
  s.AddFloatCell(0, 1, 15, 4);
  s.AddFloatCell(2, 1, 15, 5);
  // Row 2: 1e10 breaks a run; 0.5 then starts a new one.
  s.AddFloatCell(0, 2, 15, 7);
  s.AddFloatCell(1, 2, 15, 1e10);
  s.AddFloatCell(2, 2, 15, 0.5);
  // Row 3: a run interrupted by a text cell.
  s.AddFloatCell(0, 3, 15, 8);
  s.SetCellText(1, 3, u"t");
  s.AddFloatCell(2, 3, 15, 9);
  const auto sheet = SheetRecords(WriteAndParse(wb));

  std::vector<Rec> cells;
  for (const Rec& r : sheet)
    if (r.id == BIFFRECID_RK_30 || r.id == BIFFRECID_MULRK || r.id == BIFFRECID_NUMBER ||
        r.id == BIFFRECID_LABELSST)
      cells.push_back(r);
  const std::vector<std::pair<uint16_t, size_t>> expected = {
      {BIFFRECID_MULRK, 24}, {BIFFRECID_RK_30, 10},    {BIFFRECID_NUMBER, 14},
      {BIFFRECID_RK_30, 10}, {BIFFRECID_NUMBER, 14},   {BIFFRECID_RK_30, 10},
      {BIFFRECID_RK_30, 10}, {BIFFRECID_LABELSST, 10}, {BIFFRECID_RK_30, 10}};
  ASSERT_EQ(cells.size(), expected.size());
  for (size_t i = 0; i < cells.size(); ++i) {
    EXPECT_EQ(cells[i].id, expected[i].first) << i;
    EXPECT_EQ(cells[i].body.size(), expected[i].second) << i;
  }
  const Bytes& mulrk = cells[0].body;
  EXPECT_EQ(GetU16(mulrk.data()), 0);       // row
  EXPECT_EQ(GetU16(mulrk.data() + 2), 0);   // first column
  EXPECT_EQ(GetU16(mulrk.data() + 22), 2);  // last column
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(GetU16(mulrk.data() + 4 + 6 * i), 15);
    EXPECT_EQ(DecodeRK(GetU32(mulrk.data() + 6 + 6 * i)), i + 1.0);
  }
  EXPECT_EQ(GetU16(cells[2].body.data() + 2), 2);  // C2 as NUMBER
  EXPECT_EQ(GetF64(cells[2].body.data() + 6), 5.0);
  EXPECT_EQ(GetF64(cells[4].body.data() + 6), 1e10);
  EXPECT_EQ(GetU32(cells[5].body.data() + 6), 0x3FE00000u);
}

TEST(XLSWriter, BlankRuns) {
  TXLSWorkbook wb;
  TSheet& s = wb.Sheets()[0];
  s.AddBlankCell(0, 0, 15);
  s.AddBlankCell(1, 0, 15);
  s.AddBlankCell(5, 1, 15);
  // 17 blanks across a column-group boundary (columns 10..26), then a gap and one more.
  for (int c = 10; c <= 26; ++c) s.AddBlankCell(c, 2, 15);
  s.AddBlankCell(28, 2, 15);
  // Row 3: every column.
  for (int c = 0; c <= 255; ++c) s.AddBlankCell(c, 3, 15);
  const auto sheet = SheetRecords(WriteAndParse(wb));
  std::vector<Rec> cells;
  for (const Rec& r : sheet)
    if (r.id == BIFFRECID_BLANK || r.id == BIFFRECID_MULBLANK) cells.push_back(r);
  ASSERT_EQ(cells.size(), 5u);
  EXPECT_EQ(cells[0].id, BIFFRECID_MULBLANK);
  EXPECT_EQ(cells[0].body.size(), 10u);
  EXPECT_EQ(GetU16(cells[0].body.data() + 8), 1);  // last column
  EXPECT_EQ(cells[1].id, BIFFRECID_BLANK);
  EXPECT_EQ(cells[1].body.size(), 6u);
  EXPECT_EQ(GetU16(cells[1].body.data() + 2), 5);
  EXPECT_EQ(cells[2].id, BIFFRECID_MULBLANK);
  EXPECT_EQ(cells[2].body.size(), 2u * 17 + 6);
  EXPECT_EQ(GetU16(cells[2].body.data() + 2), 10);
  EXPECT_EQ(GetU16(cells[2].body.data() + 2 * 17 + 4), 26);
  EXPECT_EQ(cells[3].id, BIFFRECID_BLANK);
  EXPECT_EQ(cells[4].id, BIFFRECID_MULBLANK);
  EXPECT_EQ(cells[4].body.size(), 2u * 256 + 6);
}

// The strings of an SST body without CONTINUE records (simple texts only).
std::vector<std::u16string> SSTStrings(const Bytes& body) {
  std::vector<std::u16string> out;
  ByteReader r(body.data(), body.size(), "SST");
  r.U32();
  const uint32_t unique = r.U32();
  for (uint32_t i = 0; i < unique; ++i) {
    const uint16_t n = r.U16();
    const uint8_t flags = r.U8();
    std::u16string s;
    for (int k = 0; k < n; ++k) s += (flags & 1) ? static_cast<char16_t>(r.U16()) : r.U8();
    out.push_back(s);
  }
  return out;
}

TEST(XLSWriter, LabelSSTIndexAfterSorting) {
  TXLSWorkbook wb;
  TSheet& s = wb.Sheets()[0];
  const std::u16string texts[] = {u"zeta", u"alpha", u"中文", u"mid", u"alpha", u"omega"};
  for (int i = 0; i < 6; ++i) s.SetCellText(0, i, texts[i]);
  const auto recs = WriteAndParse(wb);
  const auto sst = OfId(recs, BIFFRECID_SST);
  ASSERT_EQ(sst.size(), 1u);
  const auto strings = SSTStrings(sst[0].body);
  EXPECT_EQ(strings.size(), 5u);
  const auto labels = OfId(recs, BIFFRECID_LABELSST);
  ASSERT_EQ(labels.size(), 6u);
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(GetU16(labels[i].body.data()), i);
    const uint32_t index = GetU32(labels[i].body.data() + 6);
    ASSERT_LT(index, strings.size());
    EXPECT_EQ(strings[index], texts[i]) << i;
  }
}

TEST(XLSWriter, Dimensions) {
  struct Case {
    std::vector<std::pair<int, int>> cells;  // col, row
    uint32_t r1, r2;
    uint16_t c1, c2;
  };
  const Case cases[] = {
      {{}, 0, 0, 0, 0},
      {{{0, 0}}, 0, 0, 0, 0},  // only A1: last row + 1 and last column + 1 are both 0
      {{{1, 1}, {2, 2}}, 1, 3, 1, 3},
      {{{0, 0}, {255, 65535}}, 0, 65536, 0, 256},
  };
  for (const Case& c : cases) {
    TXLSWorkbook wb;
    for (auto [col, row] : c.cells) wb.Sheets()[0].AddFloatCell(col, row, 15, 1);
    const auto dims = OfId(SheetRecords(WriteAndParse(wb)), BIFFRECID_DIMENSIONS);
    ASSERT_EQ(dims.size(), 1u);
    ASSERT_EQ(dims[0].body.size(), 14u);
    const uint8_t* d = dims[0].body.data();
    EXPECT_EQ(GetU32(d), c.r1);
    EXPECT_EQ(GetU32(d + 4), c.r2);
    EXPECT_EQ(GetU16(d + 8), c.c1);
    EXPECT_EQ(GetU16(d + 10), c.c2);
    EXPECT_EQ(GetU16(d + 12), 0);
  }
}

TEST(XLSWriter, BoolErrorAndFormulaCells) {
  TXLSWorkbook wb;
  TSheet& s = wb.Sheets()[0];
  const Bytes tokens = {0x1E, 0x05, 0x00};  // the integer 5
  s.AddBooleanCell(0, 0, 15, 1);
  s.AddErrorCell(1, 0, 15, ceDiv0);
  s.AddNumberFormulaCell(0, 1, 15, tokens, 5.0);
  s.AddStringFormulaCell(1, 1, 15, tokens, u"abc");
  s.AddStringFormulaCell(2, 1, 15, tokens, u"");
  s.AddBooleanFormulaCell(3, 1, 15, tokens, 1);
  s.AddErrorFormulaCell(4, 1, 15, tokens, 0x2A);
  const uint8_t arrayResult[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  const Bytes arrayBody = {0, 0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 3, 0, 0x1E, 1, 0};
  s.AddArrayFormulaCell(5, 1, 15, tokens, arrayBody, arrayResult);
  const auto sheet = SheetRecords(WriteAndParse(wb));

  const auto boolerr = OfId(sheet, BIFFRECID_BOOLERR);
  ASSERT_EQ(boolerr.size(), 2u);
  EXPECT_EQ(Bytes(boolerr[0].body.begin() + 6, boolerr[0].body.end()), (Bytes{1, 0}));
  EXPECT_EQ(Bytes(boolerr[1].body.begin() + 6, boolerr[1].body.end()), (Bytes{0x07, 1}));

  std::vector<Rec> seq;
  for (const Rec& r : sheet)
    if (r.id == BIFFRECID_FORMULA || r.id == BIFFRECID_STRING || r.id == BIFFRECID_ARRAY)
      seq.push_back(r);
  const std::vector<uint16_t> ids = {BIFFRECID_FORMULA, BIFFRECID_FORMULA, BIFFRECID_STRING,
                                     BIFFRECID_FORMULA, BIFFRECID_FORMULA, BIFFRECID_FORMULA,
                                     BIFFRECID_FORMULA, BIFFRECID_ARRAY};
  ASSERT_EQ(seq.size(), ids.size());
  for (size_t i = 0; i < ids.size(); ++i) EXPECT_EQ(seq[i].id, ids[i]) << i;
  for (const Rec& r : seq) {
    if (r.id != BIFFRECID_FORMULA) continue;
    ASSERT_EQ(r.body.size(), tokens.size() + 22);
    EXPECT_EQ(GetU16(r.body.data() + 14), 0x0002);  // calculate on load
    EXPECT_EQ(GetU16(r.body.data() + 20), tokens.size());
    EXPECT_EQ(Bytes(r.body.begin() + 22, r.body.end()), tokens);
  }
  auto result = [&](int i) { return Bytes(seq[i].body.begin() + 6, seq[i].body.begin() + 14); };
  Bytes five(8);
  PutF64(five.data(), 5.0);
  EXPECT_EQ(result(0), five);
  EXPECT_EQ(result(1), (Bytes{0, 0, 0, 0, 0, 0, 0xFF, 0xFF}));
  EXPECT_EQ(seq[2].body, (Bytes{3, 0, 1, 'a', 0, 'b', 0, 'c', 0}));
  EXPECT_EQ(result(3), (Bytes{3, 0, 0, 0, 0, 0, 0xFF, 0xFF}));  // empty text: no STRING
  EXPECT_EQ(result(4), (Bytes{1, 0, 1, 0, 0, 0, 0xFF, 0xFF}));
  EXPECT_EQ(result(5), (Bytes{2, 0, 0x2A, 0, 0, 0, 0xFF, 0xFF}));
  EXPECT_EQ(result(6), Bytes(arrayResult, arrayResult + 8));
  EXPECT_EQ(seq[7].body, arrayBody);
}

TEST(XLSWriter, ErrorCellWithoutValueFailsWithTheCellNumber) {
  TXLSWorkbook wb;
  TSheet& s = wb.Sheets()[0];
  s.AddFloatCell(0, 0, 15, 1);
  s.AddErrorCell(2, 3, 15, ceNone);
  TMemoryStream out;
  try {
    wb.WriteStream(&out);
    FAIL() << "no error";
  } catch (const EXLSError& e) {
    EXPECT_STREQ(e.what(), "Error on writing record # 2\rInvalid error value in cell 2:3");
  }
  // Nothing reaches the target of a failed write.
  EXPECT_EQ(out.Size(), 0);
}

TEST(XLSWriter, PaneHeaderFooterMarginsAndPageBreaks) {
  TXLSWorkbook wb;
  TSheet& s = wb.Sheets()[0];
  s.Pane().PaneType = ptFrozen;
  s.Pane().SplitColX = 2;
  s.Pane().SplitRowY = 3;
  s.Pane().TopRow = 3;
  s.Pane().LeftCol = 2;
  s.PrintSettings().Header = u"Kopf";
  s.PrintSettings().MarginLeft = 0.75;
  s.PrintSettings().MarginBottom = 0;
  s.PrintSettings().HorizPagebreaks.push_back({9, 0, 255});
  const auto sheet = SheetRecords(WriteAndParse(wb));
  std::vector<uint16_t> ids;
  for (const Rec& r : sheet) ids.push_back(r.id);
  auto at = [&](uint16_t id) { return std::find(ids.begin(), ids.end(), id) - ids.begin(); };
  EXPECT_LT(at(BIFFRECID_HORIZONTALPAGEBREAKS), at(BIFFRECID_HEADER));
  EXPECT_LT(at(BIFFRECID_FOOTER), at(BIFFRECID_LEFTMARGIN));
  EXPECT_LT(at(BIFFRECID_LEFTMARGIN), at(BIFFRECID_BOTTOMMARGIN));
  EXPECT_LT(at(BIFFRECID_BOTTOMMARGIN), at(BIFFRECID_HCENTER));
  EXPECT_EQ(OfId(sheet, BIFFRECID_TOPMARGIN).size(), 0u);
  EXPECT_EQ(OfId(sheet, BIFFRECID_HEADER)[0].body,
            (Bytes{4, 0, 1, 'K', 0, 'o', 0, 'p', 0, 'f', 0}));
  EXPECT_EQ(OfId(sheet, BIFFRECID_FOOTER)[0].body.size(), 0u);
  EXPECT_EQ(OfId(sheet, BIFFRECID_HORIZONTALPAGEBREAKS)[0].body, (Bytes{1, 0, 10, 0, 1, 0, 0, 1}));

  const auto pane = OfId(sheet, BIFFRECID_PANE);
  ASSERT_EQ(pane.size(), 1u);
  EXPECT_EQ(pane[0].body, (Bytes{2, 0, 3, 0, 3, 0, 2, 0, 0, 0}));
  // Four generated selections after PANE, then the stored default one after WINDOW2.
  const auto sel = OfId(sheet, BIFFRECID_SELECTION);
  ASSERT_EQ(sel.size(), 5u);
  const uint8_t panes[] = {3, 2, 1, 0};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(sel[i].body.size(), 15u);
    EXPECT_EQ(sel[i].body[0], panes[i]);
  }
  EXPECT_EQ(GetU16(sel[3].body.data() + 1), 3);  // top row
  EXPECT_EQ(GetU16(sel[3].body.data() + 3), 2);  // left column
  EXPECT_LT(at(BIFFRECID_PANE), at(BIFFRECID_WINDOW2));
}

TEST(XLSWriter, Biff5UsesBookStreamLabelsAndBiff5BOF) {
  TXLSWorkbook wb;
  wb.SetVersion(xvExcel50);
  TSheet& s = wb.Sheets()[0];
  s.SetCellText(0, 0, u"hello");
  s.AddFloatCell(1, 0, 15, 2);
  const Bytes file = WriteToMemory(wb);
  auto cf = cfb::CompoundFile::OpenRead(file);
  EXPECT_FALSE(cf->Root().HasEntry(u"Workbook"));
  const auto recs = ParseRecords(cf->Root().OpenStream(u"Book").Data());
  for (const Rec& r : OfId(recs, BIFFRECID_BOF)) {
    EXPECT_EQ(r.body.size(), 8u);
    EXPECT_EQ(GetU16(r.body.data()), 0x0500);
  }
  EXPECT_EQ(OfId(recs, BIFFRECID_SST).size(), 0u);
  EXPECT_EQ(OfId(recs, BIFFRECID_LABELSST).size(), 0u);
  const auto label = OfId(recs, BIFFRECID_LABEL);
  ASSERT_EQ(label.size(), 1u);
  EXPECT_EQ(label[0].body, (Bytes{0, 0, 0, 0, 15, 0, 5, 0, 'h', 'e', 'l', 'l', 'o'}));
  EXPECT_NE(GetU16(OfId(recs, BIFFRECID_CODEPAGE)[0].body.data()), 1200);
  // XF records of the BIFF5 size, and cells refer to them unchanged.
  for (const Rec& r : OfId(recs, BIFFRECID_XF)) EXPECT_EQ(r.body.size(), 16u);
  EXPECT_EQ(GetU16(OfId(recs, BIFFRECID_RK_30)[0].body.data() + 4), 15);
  EXPECT_EQ(OfId(recs, BIFFRECID_DIMENSIONS)[0].body.size(), 10u);
}

TEST(XLSWriter, Biff4WritesThePlainFixedSequence) {
  TXLSWorkbook wb;
  wb.SetVersion(xvExcel40);
  TSheet& s = wb.Sheets()[0];
  s.AddFloatCell(1, 2, 15, 0.5);
  s.SetCellText(3, 4, u"abc");
  TMemoryStream out;
  wb.WriteStream(&out);
  EXPECT_FALSE(cfb::CompoundFile::IsCompoundData(out.Data()));
  const auto recs = ParseRecords(out.Data());
  ASSERT_FALSE(recs.empty());
  EXPECT_EQ(recs.front().id, BIFFRECID_BOF_40);
  EXPECT_EQ(recs.front().body, (Bytes{0, 0, 0x10, 0, 0xAF, 0x18}));
  EXPECT_EQ(recs.back().id, BIFFRECID_EOF);
  const auto dims = OfId(recs, BIFFRECID_DIMENSIONS);
  ASSERT_EQ(dims.size(), 1u);
  EXPECT_EQ(dims[0].body, (Bytes{2, 0, 5, 0, 1, 0, 4, 0, 0, 0}));
  EXPECT_EQ(OfId(recs, BIFFRECID_XF_40).size(), 21u);
  EXPECT_EQ(OfId(recs, BIFFRECID_MULRK).size(), 0u);
  EXPECT_EQ(OfId(recs, BIFFRECID_RK_30).size(), 0u);
  EXPECT_EQ(OfId(recs, BIFFRECID_NUMBER).size(), 1u);
  EXPECT_EQ(OfId(recs, BIFFRECID_LABEL).size(), 1u);
}

TEST(XLSWriter, ProgressReachesEveryCell) {
  TXLSWorkbook wb;
  for (int r = 0; r < 50; ++r)
    for (int c = 0; c < 10; ++c) wb.Sheets()[0].AddFloatCell(c, r, 15, r * 10 + c + 0.5);
  std::vector<int> seen;
  wb.OnProgress = [&](TXLSWorkbook&, int p) { seen.push_back(p); };
  WriteToMemory(wb);
  ASSERT_FALSE(seen.empty());
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
  EXPECT_EQ(seen.back(), 100);
  EXPECT_GE(seen.size(), 5u);
}

// Writing to files

struct TempDir {
  fs::path path;
  TempDir() {
    path = fs::temp_directory_path() / ("xlsw_" + std::to_string(getpid()) + "_" +
                                        std::to_string(reinterpret_cast<uintptr_t>(this)));
    fs::remove_all(path);
    fs::create_directories(path);
  }
  ~TempDir() {
    std::error_code ec;
    fs::permissions(path, fs::perms::owner_all, ec);
    fs::remove_all(path, ec);
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(path)) out.push_back(e.path().filename());
    std::sort(out.begin(), out.end());
    return out;
  }
};

Bytes ReadFileBytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteFileBytes(const fs::path& p, const std::string& s) {
  std::ofstream(p, std::ios::binary) << s;
}

TEST(XLSWriterFile, WritesAndReplacesAFile) {
  TempDir dir;
  const fs::path target = dir.path / "book.xls";
  WriteFileBytes(target, "old contents");
  fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  TXLSWorkbook wb;
  wb.Sheets()[0].SetCellText(0, 0, u"new");
  wb.Filename = Utf8ToUtf16(target.string());
  wb.WriteFile();
  const Bytes bytes = ReadFileBytes(target);
  EXPECT_TRUE(cfb::CompoundFile::IsCompoundData(bytes));
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"book.xls"});
  // The permissions of the replaced file are kept.
  EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  // The same bytes as a write into a stream, apart from nothing.
  TMemoryStream mem;
  wb.WriteStream(&mem);
  EXPECT_EQ(ParseRecords(StreamOf(bytes, u"Workbook")).size(),
            ParseRecords(StreamOf(mem.Data(), u"Workbook")).size());
}

TEST(XLSWriterFile, FailedWriteKeepsTheOldFile) {
  TempDir dir;
  const fs::path target = dir.path / "book.xls";
  WriteFileBytes(target, "previous workbook");

  // A failure in the middle of the records.
  {
    TXLSWorkbook wb;
    wb.Sheets()[0].AddErrorCell(0, 0, 15, ceNone);
    wb.Filename = Utf8ToUtf16(target.string());
    EXPECT_THROW(wb.WriteFile(), EXLSError);
  }
  // A target that is a directory.
  const fs::path sub = dir.path / "sub.xls";
  fs::create_directory(sub);
  {
    TXLSWorkbook wb;
    wb.Filename = Utf8ToUtf16(sub.string());
    try {
      wb.WriteFile();
      FAIL() << "no error";
    } catch (const EXLSError& e) {
      EXPECT_NE(std::string(e.what()).find("sub.xls"), std::string::npos) << e.what();
    }
    EXPECT_TRUE(fs::is_directory(sub));
    EXPECT_TRUE(fs::is_empty(sub));
  }
  // A folder that does not exist.
  {
    TXLSWorkbook wb;
    wb.Filename = Utf8ToUtf16((dir.path / "missing" / "x.xls").string());
    EXPECT_THROW(wb.WriteFile(), EXLSError);
  }
  // A read-only folder (only where permissions bind: not for root).
  if (geteuid() != 0) {
    fs::permissions(dir.path, fs::perms::owner_read | fs::perms::owner_exec);
    TXLSWorkbook wb;
    wb.Filename = Utf8ToUtf16(target.string());
    EXPECT_THROW(wb.WriteFile(), EXLSError);
    fs::permissions(dir.path, fs::perms::owner_all);
  }
  const Bytes old = ReadFileBytes(target);
  EXPECT_EQ(std::string(old.begin(), old.end()), "previous workbook");
  EXPECT_EQ(dir.Names(), (std::vector<std::string>{"book.xls", "sub.xls"}));
}

TEST(XLSWriterFile, EmptyFilenameFails) {
  TXLSWorkbook wb;
  wb.Filename.clear();
  try {
    wb.WriteFile();
    FAIL() << "no error";
  } catch (const EXLSError& e) {
    EXPECT_STREQ(e.what(), "Filename is missing");
  }
}

TEST(XLSWriterFile, ReplaceWritesThroughASymbolicLink) {
  TempDir dir;
  const fs::path real = dir.path / "real.xls";
  const fs::path link = dir.path / "link.xls";
  WriteFileBytes(real, "old");
  fs::create_symlink(real, link);
  WriteFileReplacing(link.string(), Bytes{1, 2, 3});
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(ReadFileBytes(real), (Bytes{1, 2, 3}));
}

}  // namespace
}  // namespace xls
