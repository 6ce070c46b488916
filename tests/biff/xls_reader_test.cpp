// Workbook reader: records built in code, read through a compound file in memory.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "biff/xls_rc4.h"
#include "platform/codec.h"
#include "platform/error.h"
#include "workbook/cell.h"
#include "workbook/sheet.h"
#include "workbook/xls_utils.h"

#include <algorithm>
#include <initializer_list>
#include <string_view>

#include "biff/biff_recs.h"
#include "biff/xls_stream.h"
#include "cfb/compound_file.h"
#include "platform/bytes.h"
#include "workbook/xls_workbook.h"
namespace xls::test {

class TBiffBuilder {
 public:
  // Appends a record; returns the stream offset of its header.
  size_t Rec(uint16_t id, const Bytes& body) {
    const size_t at = data_.size();
    ByteWriter w;
    w.U16(id);
    w.U16(static_cast<uint16_t>(body.size()));
    w.Append(body);
    data_.insert(data_.end(), w.Buffer().begin(), w.Buffer().end());
    ++count_;
    return at;
  }
  // A header whose length says more than follows.
  void RawHeader(uint16_t id, uint16_t length) {
    ByteWriter w;
    w.U16(id);
    w.U16(length);
    data_.insert(data_.end(), w.Buffer().begin(), w.Buffer().end());
  }
  void Raw(const Bytes& bytes) { data_.insert(data_.end(), bytes.begin(), bytes.end()); }

  // BIFF8 (or BIFF5) BOF of the given substream type.
  void Bof(uint16_t type, bool biff8 = true) {
    ByteWriter w;
    w.U16(biff8 ? 0x0600 : 0x0500);
    w.U16(type);
    w.U16(0x0DBB);
    w.U16(0x07CC);
    if (biff8) {
      w.U32(0);
      w.U32(0x0206);
    }
    Rec(BIFFRECID_BOF, w.Buffer());
  }
  void Eof() { Rec(BIFFRECID_EOF, {}); }

  // The globals a readable workbook needs: one font and 16 cell formats.
  void Formats(bool biff8 = true) {
    ByteWriter f;
    f.U16(200);
    f.U16(0);
    f.U16(0x7FFF);
    f.U16(400);
    f.U16(0);
    f.U8(0);
    f.U8(0);
    f.U8(0);
    f.U8(0);
    f.U8(5);
    if (biff8) f.U8(0);
    f.Append("Arial", 5);
    Rec(BIFFRECID_FONT, f.Buffer());
    for (int i = 0; i < 16; ++i) Rec(BIFFRECID_XF, Bytes(biff8 ? 20 : 16, 0));
  }
  void BoundSheet(std::u16string_view name) {
    ByteWriter w;
    w.U32(0);
    w.U16(0);
    w.U8(static_cast<uint8_t>(name.size()));
    w.U8(1);
    for (char16_t c : name) w.U16(c);
    Rec(BIFFRECID_BOUNDSHEET, w.Buffer());
  }
  // An SST of 8-bit strings.
  void SST(std::initializer_list<std::string_view> strings) {
    ByteWriter w;
    w.U32(static_cast<uint32_t>(strings.size()));
    w.U32(static_cast<uint32_t>(strings.size()));
    for (std::string_view s : strings) {
      w.U16(static_cast<uint16_t>(s.size()));
      w.U8(0);
      w.Append(s.data(), s.size());
    }
    Rec(BIFFRECID_SST, w.Buffer());
  }
  // A BIFF8 globals substream with the sheets listed, ready for the sheet substreams.
  void Globals(std::initializer_list<std::u16string_view> sheets) {
    Bof(BOFTYPE_GLOBALS);
    Formats();
    for (auto name : sheets) BoundSheet(name);
    Eof();
  }

  const Bytes& Data() const { return data_; }
  int Count() const { return count_; }

 private:
  Bytes data_;
  int count_ = 0;
};

// Cell record bodies.
inline Bytes CellHead(int row, int col, int xf = 15) {
  ByteWriter w;
  w.U16(static_cast<uint16_t>(row));
  w.U16(static_cast<uint16_t>(col));
  w.U16(static_cast<uint16_t>(xf));
  return std::move(w.Buffer());
}
inline Bytes NumberBody(int row, int col, double v) {
  ByteWriter w;
  w.Append(CellHead(row, col));
  w.F64(v);
  return std::move(w.Buffer());
}
inline Bytes RKBody(int row, int col, uint32_t rk) {
  ByteWriter w;
  w.Append(CellHead(row, col));
  w.U32(rk);
  return std::move(w.Buffer());
}
// FORMULA with an 8-byte result, options and tokens.
inline Bytes FormulaBody(int row, int col, const Bytes& result, uint16_t options,
                         const Bytes& tokens) {
  ByteWriter w;
  w.Append(CellHead(row, col));
  w.Append(result);
  w.U16(options);
  w.U32(0);
  w.U16(static_cast<uint16_t>(tokens.size()));
  w.Append(tokens);
  return std::move(w.Buffer());
}

// The bytes of a compound file holding the stream.
inline Bytes Compound(const Bytes& stream, std::u16string_view name = u"Workbook") {
  auto file = cfb::CompoundFile::CreateInMemory();
  file->Root().CreateStream(name).Write(stream.data(), stream.size());
  return file->GetBytes();
}

// Reads a workbook stream (wrapped into a compound file) into wb.
inline void ReadStreamBytes(TXLSWorkbook& wb, const Bytes& stream,
                            std::u16string_view name = u"Workbook") {
  TMemoryStream source(Compound(stream, name));
  wb.ReadStream(&source);
}
}  // namespace xls::test

namespace {

using namespace xls;
using namespace xls::test;

// A workbook with one worksheet "S" whose records the callback adds.
template <class F>
Bytes OneSheet(F addCells, bool withSST = false) {
  TBiffBuilder b;
  b.Bof(BOFTYPE_GLOBALS);
  b.Formats();
  b.BoundSheet(u"S");
  if (withSST) b.SST({"zero", "one"});
  b.Eof();
  b.Bof(BOFTYPE_WORKSHEET);
  addCells(b);
  b.Eof();
  return b.Data();
}

// Records before the first cell record of OneSheet: BOF, FONT, 16 XF, BOUNDSHEET, EOF, BOF.
constexpr int kFirstCellRecord = 21;

std::string ReadError(const Bytes& stream) {
  TXLSWorkbook wb;
  try {
    ReadStreamBytes(wb, stream);
  } catch (const EXLSError& e) {
    return e.what();
  }
  return {};
}

double Number(TSheet& s, int col, int row) {
  TCell* c = s.CellAt(col, row);
  if (!c || c->CellKind() != ckFloat) return NAN;
  return static_cast<TFloatCell*>(c)->Value;
}

TEST(XLSReaderTest, RKValuesAndMulRK) {
  const std::vector<std::pair<uint32_t, double>> cases = {
      {0x3FF00000, 1.0}, {0x3FF00001, 0.01}, {0x00000192, 100.0},
      {0x00000193, 1.0}, {0xFFFFFFFE, -1.0}, {0x00000006, 1.0},
  };
  TXLSWorkbook wb;
  ReadStreamBytes(wb, OneSheet([&](TBiffBuilder& b) {
                    for (size_t i = 0; i < cases.size(); ++i)
                      b.Rec(BIFFRECID_RK, RKBody(static_cast<int>(i), 0, cases[i].first));
                    // MULRK of 18 bytes: row 10, columns 3 and 4, then the last column.
                    ByteWriter w;
                    w.U16(10);
                    w.U16(3);
                    w.U16(15);
                    w.U32(0x3FF00000);
                    w.U16(15);
                    w.U32(0x00000192);
                    w.U16(4);
                    ASSERT_EQ(w.Size(), 18u);
                    b.Rec(BIFFRECID_MULRK, w.Buffer());
                  }));
  ASSERT_EQ(wb.Sheets().Count(), 1);
  TSheet& s = wb.Sheets()[0];
  EXPECT_EQ(s.Name(), u"S");
  for (size_t i = 0; i < cases.size(); ++i)
    EXPECT_DOUBLE_EQ(Number(s, 0, static_cast<int>(i)), cases[i].second) << "case " << i;
  EXPECT_DOUBLE_EQ(Number(s, 3, 10), 1.0);
  EXPECT_DOUBLE_EQ(Number(s, 4, 10), 100.0);
  EXPECT_EQ(s.CellAt(5, 10), nullptr);
  EXPECT_EQ(s.CellAt(2, 10), nullptr);
}

TEST(XLSReaderTest, EveryCellRecord) {
  TXLSWorkbook wb;
  ReadStreamBytes(wb, OneSheet(
                          [](TBiffBuilder& b) {
                            b.Rec(BIFFRECID_BLANK, CellHead(0, 0));
                            ByteWriter mb;
                            mb.Append(CellHead(0, 1));
                            mb.U16(15);
                            mb.U16(2);
                            b.Rec(BIFFRECID_MULBLANK, mb.Buffer());
                            b.Rec(BIFFRECID_NUMBER, NumberBody(1, 0, 2.5));
                            ByteWriter lab;  // 8-bit BIFF8 characters
                            lab.Append(CellHead(2, 0));
                            lab.U16(3);
                            lab.U8(0);
                            lab.Append("\xE9t\xE9", 3);
                            b.Rec(BIFFRECID_LABEL, lab.Buffer());
                            ByteWriter wide;
                            wide.Append(CellHead(2, 1));
                            wide.U16(2);
                            wide.U8(1);
                            wide.U16(0x4E2D);
                            wide.U16(0x6587);
                            b.Rec(BIFFRECID_LABEL, wide.Buffer());
                            ByteWriter sst;
                            sst.Append(CellHead(3, 0));
                            sst.U32(1);
                            b.Rec(BIFFRECID_LABELSST, sst.Buffer());
                            ByteWriter t;
                            t.Append(CellHead(4, 0));
                            t.U8(1);
                            t.U8(0);
                            b.Rec(BIFFRECID_BOOLERR, t.Buffer());
                            ByteWriter e;
                            e.Append(CellHead(4, 1));
                            e.U8(0x07);
                            e.U8(1);
                            b.Rec(BIFFRECID_BOOLERR, e.Buffer());
                          },
                          true));
  TSheet& s = wb.Sheets()[0];
  EXPECT_EQ(s.CellAt(0, 0)->CellKind(), ckBlank);
  EXPECT_EQ(s.CellAt(1, 0)->CellKind(), ckBlank);
  EXPECT_EQ(s.CellAt(2, 0)->CellKind(), ckBlank);
  EXPECT_EQ(s.CellAt(3, 0), nullptr);
  EXPECT_DOUBLE_EQ(Number(s, 0, 1), 2.5);
  EXPECT_EQ(s.CellText(0, 2), u"\u00E9t\u00E9");
  EXPECT_EQ(s.CellText(1, 2), u"\u4E2D\u6587");
  EXPECT_EQ(s.CellText(0, 3), u"one");
  ASSERT_EQ(s.CellAt(0, 4)->CellKind(), ckBoolean);
  EXPECT_EQ(static_cast<TBooleanCell*>(s.CellAt(0, 4))->Value, 1);
  ASSERT_EQ(s.CellAt(1, 4)->CellKind(), ckError);
  EXPECT_EQ(static_cast<TErrorCell*>(s.CellAt(1, 4))->Value, ceDiv0);
}

// 8-bit BIFF8 text is the low bytes of UTF-16, whatever the system code page says.
TEST(XLSReaderTest, CompressedStringsIgnoreTheSystemCodePage) {
  const int saved = SystemCodePage();
  SetSystemCodePage(936);
  TXLSWorkbook wb;
  TBiffBuilder b;
  b.Bof(BOFTYPE_GLOBALS);
  b.Formats();
  ByteWriter bs;  // sheet name "\xC4\xE3" stored 8-bit
  bs.U32(0);
  bs.U16(0);
  bs.U8(2);
  bs.U8(0);
  bs.Append("\xC4\xE3", 2);
  b.Rec(BIFFRECID_BOUNDSHEET, bs.Buffer());
  b.Eof();
  b.Bof(BOFTYPE_WORKSHEET);
  ByteWriter lab;
  lab.Append(CellHead(0, 0));
  lab.U16(2);
  lab.U8(0);
  lab.Append("\xC4\xE3", 2);
  b.Rec(BIFFRECID_LABEL, lab.Buffer());
  b.Eof();
  ReadStreamBytes(wb, b.Data());
  SetSystemCodePage(saved);
  EXPECT_EQ(wb.Sheets()[0].Name(), u"\u00C4\u00E3");
  EXPECT_EQ(wb.Sheets()[0].CellText(0, 0), u"\u00C4\u00E3");
}

TEST(XLSReaderTest, FormulaResults) {
  const Bytes tokens = {0x1E, 0x05, 0x00};  // the integer 5
  auto result = [](uint8_t type, uint8_t value) {
    return Bytes{type, 0, value, 0, 0, 0, 0xFF, 0xFF};
  };
  Bytes num(8);
  PutF64(num.data(), 5.0);
  TXLSWorkbook wb;
  ReadStreamBytes(wb, OneSheet([&](TBiffBuilder& b) {
                    b.Rec(BIFFRECID_FORMULA, FormulaBody(0, 0, num, 0, tokens));
                    b.Rec(BIFFRECID_FORMULA, FormulaBody(1, 0, result(0, 0), 0, tokens));
                    ByteWriter str;
                    str.U16(3);
                    str.U8(0);
                    str.Append("abc", 3);
                    b.Rec(BIFFRECID_STRING, str.Buffer());
                    b.Rec(BIFFRECID_FORMULA, FormulaBody(2, 0, result(1, 1), 0, tokens));
                    b.Rec(BIFFRECID_FORMULA, FormulaBody(3, 0, result(2, 0x2A), 0, tokens));
                    // Type 3: an empty text, no STRING record follows; the next record is a
                    // cell of its own.
                    b.Rec(BIFFRECID_FORMULA, FormulaBody(4, 0, result(3, 0), 0, tokens));
                    b.Rec(BIFFRECID_NUMBER, NumberBody(5, 0, 7));
                    // A string result without its STRING record gives no cell.
                    b.Rec(BIFFRECID_FORMULA, FormulaBody(6, 0, result(0, 0), 0, tokens));
                    // No tokens: no cell.
                    b.Rec(BIFFRECID_FORMULA, FormulaBody(7, 0, num, 0, {}));
                  }));
  TSheet& s = wb.Sheets()[0];
  ASSERT_EQ(s.CellAt(0, 0)->CellKind(), ckNumberFormula);
  EXPECT_DOUBLE_EQ(static_cast<TNumberFormulaCell*>(s.CellAt(0, 0))->Result, 5.0);
  EXPECT_EQ(static_cast<TFormulaCell*>(s.CellAt(0, 0))->Tokens().size(), 3u);
  ASSERT_EQ(s.CellAt(0, 1)->CellKind(), ckStringFormula);
  EXPECT_EQ(static_cast<TStringFormulaCell*>(s.CellAt(0, 1))->Result, u"abc");
  ASSERT_EQ(s.CellAt(0, 2)->CellKind(), ckBooleanFormula);
  EXPECT_EQ(static_cast<TBooleanFormulaCell*>(s.CellAt(0, 2))->Result, 1);
  ASSERT_EQ(s.CellAt(0, 3)->CellKind(), ckErrorFormula);
  EXPECT_EQ(static_cast<TErrorFormulaCell*>(s.CellAt(0, 3))->Result, ceNA);
  ASSERT_EQ(s.CellAt(0, 4)->CellKind(), ckStringFormula);
  EXPECT_EQ(static_cast<TStringFormulaCell*>(s.CellAt(0, 4))->Result, u"");
  EXPECT_DOUBLE_EQ(Number(s, 0, 5), 7.0);
  EXPECT_EQ(s.CellAt(0, 6), nullptr);
  EXPECT_EQ(s.CellAt(0, 7), nullptr);
}

// Array constants follow the tokens in the record; they stay with the cell through a rewrite.
TEST(XLSReaderTest, ArrayConstantsSurviveARewrite) {
  const Bytes tokens = {0x40, 0, 0, 0, 0, 0, 0, 0};  // an array constant {1,2}
  ByteWriter constants;
  constants.U8(1);   // two columns
  constants.U16(0);  // one row
  constants.U8(0x01);
  constants.F64(1.0);
  constants.U8(0x01);
  constants.F64(2.0);
  Bytes num(8);
  PutF64(num.data(), 3.0);
  Bytes body = FormulaBody(0, 0, num, 0, tokens);
  body.insert(body.end(), constants.Buffer().begin(), constants.Buffer().end());
  TXLSWorkbook wb;
  ReadStreamBytes(wb, OneSheet([&](TBiffBuilder& b) { b.Rec(BIFFRECID_FORMULA, body); }));
  auto* cell = static_cast<TFormulaCell*>(wb.Sheets()[0].CellAt(0, 0));
  ASSERT_NE(cell, nullptr);
  const Bytes extra(cell->ExtraData().begin(), cell->ExtraData().end());
  EXPECT_EQ(Bytes(cell->Tokens().begin(), cell->Tokens().end()), tokens);
  EXPECT_EQ(extra, constants.Buffer());

  TMemoryStream written;
  wb.WriteStream(&written);
  TXLSWorkbook again;
  written.Seek(0, soFromBeginning);
  again.ReadStream(&written);
  auto* back = static_cast<TFormulaCell*>(again.Sheets()[0].CellAt(0, 0));
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(Bytes(back->Tokens().begin(), back->Tokens().end()), tokens);
  EXPECT_EQ(Bytes(back->ExtraData().begin(), back->ExtraData().end()), constants.Buffer());
  EXPECT_DOUBLE_EQ(static_cast<TNumberFormulaCell*>(back)->Result, 3.0);
}

TEST(XLSReaderTest, SharedFormulaServesLaterRows) {
  // B2:B4 share "A(row-1)": relative reference with row offset -1, column offset -1.
  const Bytes exp = {0x01, 0x01, 0x00, 0x01, 0x00};
  const Bytes shared = {0x2C, 0xFF, 0xFF, 0xFF, 0xC0};
  Bytes num(8);
  PutF64(num.data(), 1.0);
  TXLSWorkbook wb;
  ReadStreamBytes(
      wb, OneSheet([&](TBiffBuilder& b) {
        b.Rec(BIFFRECID_FORMULA, FormulaBody(1, 1, num, 0x0008, exp));
        ByteWriter sh;
        sh.U16(1);
        sh.U16(3);
        sh.U8(1);
        sh.U8(1);
        sh.U16(0);
        sh.U16(static_cast<uint16_t>(shared.size()));
        sh.Append(shared);
        b.Rec(BIFFRECID_SHRFMLA, sh.Buffer());
        b.Rec(BIFFRECID_NUMBER, NumberBody(2, 0, 3.0));
        b.Rec(BIFFRECID_FORMULA, FormulaBody(3, 1, num, 0x0008, exp));
        // A 0x01 token naming no block start: the block is found by its range.
        b.Rec(BIFFRECID_FORMULA, FormulaBody(2, 1, num, 0x0008, {0x01, 0x00, 0x00, 0x00, 0x00}));
      }));
  TSheet& s = wb.Sheets()[0];
  for (int row : {1, 2, 3}) {
    auto* f = dynamic_cast<TNumberFormulaCell*>(s.CellAt(1, row));
    ASSERT_NE(f, nullptr) << row;
    const auto t = f->Tokens();
    ASSERT_EQ(t.size(), 5u);
    EXPECT_EQ(t[0], 0x24);
    EXPECT_EQ(GetU16(t.data() + 1), row - 1);
    EXPECT_EQ(GetU16(t.data() + 3), 0xC000);  // column A, both flags kept
  }
  // The SHRFMLA itself is not kept.
  const TRecordStorageSheet& st = s.Records();
  for (int i = 0; i < st.Count(); ++i) EXPECT_NE(st.Items(i).RecID, BIFFRECID_SHRFMLA);
}

TEST(XLSReaderTest, ArrayFormulaKeepsItsArrayRecord) {
  const Bytes exp = {0x01, 0x00, 0x00, 0x00, 0x00};
  Bytes num(8);
  PutF64(num.data(), 4.0);
  const Bytes array = {0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0, 0x1E, 4, 0};
  TXLSWorkbook wb;
  ReadStreamBytes(wb, OneSheet([&](TBiffBuilder& b) {
                    b.Rec(BIFFRECID_FORMULA, FormulaBody(0, 0, num, 0, exp));
                    b.Rec(BIFFRECID_ARRAY, array);
                    b.Rec(BIFFRECID_FORMULA, FormulaBody(1, 0, num, 0, exp));
                    // An array whose first cell caches a text: STRING follows ARRAY.
                    const Bytes text = {0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
                    b.Rec(BIFFRECID_FORMULA, FormulaBody(2, 0, text, 0, exp));
                    b.Rec(BIFFRECID_ARRAY, array);
                    b.Rec(BIFFRECID_STRING, {3, 0, 0, 't', 'x', 't'});
                  }));
  TSheet& s = wb.Sheets()[0];
  EXPECT_EQ(s.CellAt(0, 0)->CellKind(), ckArrayFormula);
  EXPECT_EQ(s.CellText(0, 0), u"4");
  EXPECT_EQ(s.CellAt(0, 1)->CellKind(), ckNumberFormula);
  ASSERT_EQ(s.CellAt(0, 2)->CellKind(), ckArrayFormula);
  EXPECT_EQ(s.CellText(0, 2), u"txt");

  // Written back, the text comes back too.
  TMemoryStream written;
  wb.WriteStream(&written);
  written.Seek(0, soFromBeginning);
  TXLSWorkbook again;
  again.ReadStream(&written);
  EXPECT_EQ(again.Sheets()[0].CellText(0, 2), u"txt");
  EXPECT_EQ(again.Sheets()[0].CellAt(0, 2)->CellKind(), ckArrayFormula);
}

// A chart sheet has no model yet: its substream is kept whole and written back at its place in
// the sheet list, so the sheets after it keep their positions. Visibility is kept too.
TEST(XLSReaderTest, ChartSheetIsKeptAndWrittenBackInPlace) {
  TBiffBuilder b;
  b.Bof(BOFTYPE_GLOBALS);
  b.Formats();
  b.BoundSheet(u"A");
  {
    ByteWriter w;  // a chart sheet entry: type 2
    w.U32(0);
    w.U8(0);
    w.U8(2);
    w.U8(1);
    w.U8(1);
    w.U16(u'C');
    b.Rec(BIFFRECID_BOUNDSHEET, w.Buffer());
  }
  {
    ByteWriter w;  // a hidden worksheet
    w.U32(0);
    w.U8(1);
    w.U8(0);
    w.U8(1);
    w.U8(1);
    w.U16(u'B');
    b.Rec(BIFFRECID_BOUNDSHEET, w.Buffer());
  }
  b.Eof();
  b.Bof(BOFTYPE_WORKSHEET);
  b.Rec(BIFFRECID_NUMBER, NumberBody(0, 0, 1));
  b.Eof();
  const size_t chartStart = b.Data().size();
  b.Bof(BOFTYPE_CHART);
  b.Rec(0x1001, {0, 0});  // chart records the engine does not read
  b.Rec(0x1002, Bytes(16, 7));
  b.Eof();
  const Bytes chartRecords(b.Data().begin() + static_cast<std::ptrdiff_t>(chartStart),
                           b.Data().end());
  b.Bof(BOFTYPE_WORKSHEET);
  b.Rec(BIFFRECID_NUMBER, NumberBody(0, 0, 2));
  b.Eof();

  TXLSWorkbook wb;
  ReadStreamBytes(wb, b.Data());
  ASSERT_EQ(wb.Sheets().Count(), 2);
  EXPECT_EQ(wb.Sheets()[1].Name(), u"B");
  ASSERT_EQ(wb.ChartSheets().size(), 1u);
  EXPECT_EQ(wb.ChartSheets()[0].Name, u"C");
  EXPECT_EQ(wb.ChartSheets()[0].Position, 1);
  EXPECT_EQ(wb.ChartSheets()[0].Records, chartRecords);

  TMemoryStream written;
  wb.WriteStream(&written);
  // The sheet list says worksheet, chart, worksheet, and each entry points at its substream.
  auto file = cfb::CompoundFile::OpenRead(written.Data());
  const Bytes& stream = file->Root().OpenStream(u"Workbook").Data();
  std::vector<std::pair<uint8_t, uint32_t>> entries;
  std::vector<uint8_t> visibility;
  for (size_t pos = 0; pos + 4 <= stream.size();) {
    const uint16_t id = GetU16(stream.data() + pos), len = GetU16(stream.data() + pos + 2);
    if (id == BIFFRECID_BOUNDSHEET) {
      entries.push_back({stream[pos + 9], GetU32(stream.data() + pos + 4)});
      visibility.push_back(stream[pos + 8]);
    }
    if (id == BIFFRECID_EOF) break;
    pos += 4 + len;
  }
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].first, 0);
  EXPECT_EQ(entries[1].first, 2);
  EXPECT_EQ(entries[2].first, 0);
  EXPECT_EQ(visibility, (std::vector<uint8_t>{0, 0, 1}));  // the hidden sheet stays hidden
  ASSERT_LE(entries[1].second + chartRecords.size(), stream.size());
  EXPECT_TRUE(
      std::equal(chartRecords.begin(), chartRecords.end(), stream.begin() + entries[1].second));
  for (int k : {0, 2}) EXPECT_EQ(GetU16(stream.data() + entries[k].second), BIFFRECID_BOF);

  written.Seek(0, soFromBeginning);
  TXLSWorkbook again;
  again.ReadStream(&written);
  ASSERT_EQ(again.Sheets().Count(), 2);
  EXPECT_EQ(again.Sheets()[1].CellText(0, 0), u"2");
  EXPECT_EQ(again.Sheets()[1].Visibility, 1);
  ASSERT_EQ(again.ChartSheets().size(), 1u);
  EXPECT_EQ(again.ChartSheets()[0].Records, chartRecords);
}

// A stream cut off inside a sheet keeps what was read, and a rewrite keeps it too.
TEST(XLSReaderTest, TruncatedSheetKeepsItsCellsThroughARewrite) {
  TBiffBuilder b;
  b.Globals({u"S"});
  b.Bof(BOFTYPE_WORKSHEET);
  b.Rec(BIFFRECID_NUMBER, NumberBody(3, 2, 42));
  b.Rec(BIFFRECID_NUMBER, NumberBody(4, 2, 43));  // no EOF: the stream ends here
  TXLSWorkbook wb;
  ReadStreamBytes(wb, b.Data());
  EXPECT_DOUBLE_EQ(Number(wb.Sheets()[0], 2, 4), 43);

  TMemoryStream written;
  wb.WriteStream(&written);
  written.Seek(0, soFromBeginning);
  TXLSWorkbook again;
  again.ReadStream(&written);
  ASSERT_EQ(again.Sheets().Count(), 1);
  EXPECT_DOUBLE_EQ(Number(again.Sheets()[0], 2, 3), 42);
  EXPECT_DOUBLE_EQ(Number(again.Sheets()[0], 2, 4), 43);
}

// Found by the round-trip fuzzer: a BIFF5 workbook cut off inside its sheet, with damaged records
// kept raw. Its cells must survive a write and a second read.
TEST(XLSReaderTest, TruncatedDamagedBiff5RoundTrip) {
  const std::string path = std::string(XLSB_FIXTURES_DIR) + "/reader/roundtrip-truncated-biff5.xls";
  std::ifstream in(path, std::ios::binary);
  ASSERT_TRUE(in) << path;
  TMemoryStream source(Bytes((std::istreambuf_iterator<char>(in)), {}));
  TXLSWorkbook wb;
  wb.ReadStream(&source);
  TMemoryStream written;
  wb.WriteStream(&written);
  written.Seek(0, soFromBeginning);
  TXLSWorkbook again;
  again.ReadStream(&written);
  ASSERT_EQ(again.Sheets().Count(), wb.Sheets().Count());
  auto count = [](TSheet& s) {
    int n = 0;
    s.Cells().BeginIterate();
    while (s.Cells().NextCell()) ++n;
    return n;
  };
  EXPECT_EQ(count(wb.Sheets()[0]), 29);
  EXPECT_EQ(count(again.Sheets()[0]), 29);
}

TEST(XLSReaderTest, StopsAfterTheLastAnnouncedSheet) {
  TBiffBuilder b;
  b.Globals({u"One", u"Two"});
  for (int k = 0; k < 2; ++k) {
    b.Bof(BOFTYPE_WORKSHEET);
    b.Rec(BIFFRECID_NUMBER, NumberBody(0, 0, k + 1));
    b.Eof();
  }
  b.Raw(Bytes(37, 0xFF));  // not records at all
  TXLSWorkbook wb;
  ASSERT_NO_THROW(ReadStreamBytes(wb, b.Data()));
  ASSERT_EQ(wb.Sheets().Count(), 2);
  EXPECT_EQ(wb.Sheets()[1].Name(), u"Two");
  EXPECT_DOUBLE_EQ(Number(wb.Sheets()[1], 0, 0), 2.0);
}

TEST(XLSReaderTest, EmbeddedChartDoesNotEndTheWorkbook) {
  TBiffBuilder b;
  b.Globals({u"One", u"Two"});
  b.Bof(BOFTYPE_WORKSHEET);
  b.Rec(BIFFRECID_OBJ, Bytes(4, 0));
  b.Bof(BOFTYPE_CHART);
  b.Rec(BIFFRECID_CHART_UNITS, Bytes(2, 0));
  b.Rec(0x1009, Bytes(12, 0));  // a chart record whose id ends in 0x09 like a BOF's
  b.Eof();
  b.Eof();
  b.Bof(BOFTYPE_WORKSHEET);
  b.Rec(BIFFRECID_NUMBER, NumberBody(0, 0, 2));
  b.Eof();
  TXLSWorkbook wb;
  ReadStreamBytes(wb, b.Data());
  ASSERT_EQ(wb.Sheets().Count(), 2);
  EXPECT_DOUBLE_EQ(Number(wb.Sheets()[1], 0, 0), 2.0);
  // The chart stays raw in the first sheet, in its place after the OBJ.
  const TRecordStorageSheet& st = wb.Sheets()[0].Records();
  std::vector<uint16_t> ids;
  for (int i = 0; i < st.Count(); ++i) ids.push_back(st.Items(i).RecID);
  auto obj = std::find(ids.begin(), ids.end(), BIFFRECID_OBJ);
  ASSERT_NE(obj, ids.end());
  ASSERT_LT(obj + 4, ids.end());
  EXPECT_EQ(obj[1], BIFFRECID_BOF);
  EXPECT_EQ(obj[2], BIFFRECID_CHART_UNITS);
  EXPECT_EQ(obj[3], 0x1009);
  EXPECT_EQ(obj[4], BIFFRECID_EOF);
}

TEST(XLSReaderTest, SkipsOverLongRecordsAndCustomViews) {
  TXLSWorkbook wb;
  ReadStreamBytes(wb, OneSheet([](TBiffBuilder& b) {
                    b.Rec(BIFFRECID_NUMBER, NumberBody(0, 0, 1));
                    b.RawHeader(BIFFRECID_NUMBER, kMaxRecordBody8 + 1);
                    b.Raw(Bytes(kMaxRecordBody8 + 1, 0xEE));
                    b.Rec(BIFFRECID_USERSVIEWBEGIN, Bytes(10, 0));
                    b.Rec(BIFFRECID_SELECTION, Bytes(15, 0));
                    b.Rec(0x0123, Bytes(3, 1));
                    b.Rec(BIFFRECID_USERSVIEWEND, Bytes(2, 0));
                    b.Rec(0x0124, Bytes(3, 1));
                    b.Rec(BIFFRECID_NUMBER, NumberBody(1, 0, 2));
                  }));
  TSheet& s = wb.Sheets()[0];
  EXPECT_DOUBLE_EQ(Number(s, 0, 0), 1.0);
  EXPECT_DOUBLE_EQ(Number(s, 0, 1), 2.0);
  std::vector<uint16_t> ids;
  for (int i = 0; i < s.Records().Count(); ++i) ids.push_back(s.Records().Items(i).RecID);
  for (uint16_t absent : {BIFFRECID_USERSVIEWBEGIN, BIFFRECID_USERSVIEWEND, uint16_t{0x0123}})
    EXPECT_EQ(std::count(ids.begin(), ids.end(), absent), 0) << absent;
  EXPECT_EQ(std::count(ids.begin(), ids.end(), 0x0124), 1);
}

TEST(XLSReaderTest, ProgressEveryHundredRecords) {
  TBiffBuilder b;
  b.Globals({u"S"});
  b.Bof(BOFTYPE_WORKSHEET);
  size_t end100 = 0;
  for (int k = 0; b.Count() < 150; ++k) {
    b.Rec(BIFFRECID_BLANK, CellHead(k, 0));
    if (b.Count() == 100) end100 = b.Data().size();
  }
  b.Eof();
  TXLSWorkbook wb;
  std::vector<int> seen;
  wb.OnProgress = [&](TXLSWorkbook&, int p) { seen.push_back(p); };
  ReadStreamBytes(wb, b.Data());
  const int expected = static_cast<int>(std::lround(100.0 * end100 / b.Data().size()));
  EXPECT_EQ(seen, (std::vector<int>{0, expected, 100}));
}

TEST(XLSReaderTest, PrintSettingsPaneAndDimensions) {
  TXLSWorkbook wb;
  ReadStreamBytes(wb, OneSheet([](TBiffBuilder& b) {
                    ByteWriter h;
                    h.U16(2);
                    h.U8(0);
                    h.Append("&P", 2);
                    b.Rec(BIFFRECID_HEADER, h.Buffer());
                    b.Rec(BIFFRECID_FOOTER, {});
                    Bytes m(8);
                    PutF64(m.data(), 0.75);
                    b.Rec(BIFFRECID_LEFTMARGIN, m);
                    ByteWriter pb;
                    pb.U16(1);
                    pb.U16(10);
                    pb.U16(0);
                    pb.U16(255);
                    b.Rec(BIFFRECID_HORIZONTALPAGEBREAKS, pb.Buffer());
                    ByteWriter d;
                    d.U32(2);
                    d.U32(9);
                    d.U16(1);
                    d.U16(4);
                    d.U16(0);
                    b.Rec(BIFFRECID_DIMENSIONS, d.Buffer());
                    ByteWriter p;
                    p.U16(0);
                    p.U16(3);
                    p.U16(3);
                    p.U16(0);
                    p.U8(2);
                    b.Rec(BIFFRECID_PANE, p.Buffer());
                    b.Rec(BIFFRECID_SELECTION, Bytes(15, 0));
                  }));
  TSheet& s = wb.Sheets()[0];
  EXPECT_EQ(s.PrintSettings().Header, u"&P");
  EXPECT_EQ(s.PrintSettings().Footer, u"");
  EXPECT_DOUBLE_EQ(s.PrintSettings().MarginLeft, 0.75);
  ASSERT_EQ(s.PrintSettings().HorizPagebreaks.size(), 1u);
  EXPECT_EQ(s.PrintSettings().HorizPagebreaks[0].Row, 9);
  EXPECT_EQ(s.FirstRow(), 2);
  EXPECT_EQ(s.LastRow(), 8);
  EXPECT_EQ(s.FirstCol(), 1);
  EXPECT_EQ(s.LastCol(), 3);
  EXPECT_EQ(s.Pane().SplitRowY, 3);
  EXPECT_EQ(s.Pane().ActivePane(), 2);
  EXPECT_EQ(s.Pane().PaneType, ptSplit);
  EXPECT_EQ(s.Pane().Selections.size(), 1u);
}

// Damaged files end in the wrapped error naming the record, never a crash.
TEST(XLSReaderTest, DamagedRecordsGiveTheWrappedError) {
  struct TCase {
    const char* name;
    Bytes stream;
    uint16_t id;
    const char* cause;
    int number = kFirstCellRecord;
  };
  ByteWriter lying;  // says 50 characters, holds 5
  lying.Append(CellHead(0, 0));
  lying.U16(50);
  lying.U8(0);
  lying.Append("short", 5);
  ByteWriter sst;
  sst.Append(CellHead(0, 0));
  sst.U32(7);
  Bytes truncated = OneSheet([](TBiffBuilder& b) { b.Rec(BIFFRECID_NUMBER, NumberBody(0, 0, 1)); });
  truncated.erase(truncated.end() - (4 + 6),
                  truncated.end());  // EOF and the end of NUMBER's double gone
  const std::vector<TCase> cases = {
      {"short record", OneSheet([](TBiffBuilder& b) { b.Rec(BIFFRECID_NUMBER, Bytes(10, 0)); }),
       BIFFRECID_NUMBER, "too short"},
      {"lying length", OneSheet([&](TBiffBuilder& b) { b.Rec(BIFFRECID_LABEL, lying.Buffer()); }),
       BIFFRECID_LABEL, "too short"},
      {"SST index out of range",
       OneSheet([&](TBiffBuilder& b) { b.Rec(BIFFRECID_LABELSST, sst.Buffer()); }, true),
       BIFFRECID_LABELSST, "Shared string index 7", kFirstCellRecord + 1},
      {"truncated stream", truncated, BIFFRECID_NUMBER, "Unexpected end of file"},
      {"bad record id", OneSheet([](TBiffBuilder& b) { b.Rec(0x8123, {}); }), 0x8123,
       "Bad record in file"},
      {"column beyond IV",
       OneSheet([](TBiffBuilder& b) { b.Rec(BIFFRECID_BLANK, CellHead(0, 256)); }), BIFFRECID_BLANK,
       "outside the sheet"},
      {"MULRK past IV", OneSheet([](TBiffBuilder& b) {
         ByteWriter w;
         w.Append(CellHead(0, 255));
         w.U32(0);
         w.U16(15);
         w.U32(0);
         w.U16(256);
         b.Rec(BIFFRECID_MULRK, w.Buffer());
       }),
       BIFFRECID_MULRK, "outside the sheet"},
      {"unknown shared formula token", OneSheet([](TBiffBuilder& b) {
         b.Rec(BIFFRECID_FORMULA, FormulaBody(0, 0, Bytes(8, 0), 8, {1, 0, 0, 0, 0}));
         ByteWriter sh;
         sh.U32(0);
         sh.U16(0);
         sh.U16(0);
         sh.U16(1);
         sh.U8(0x3F);
         b.Rec(BIFFRECID_SHRFMLA, sh.Buffer());
       }),
       BIFFRECID_FORMULA, "Unknown ptg[3F] in Shared Formula"},
  };
  for (const TCase& c : cases) {
    const std::string msg = ReadError(c.stream);
    const std::string prefix = Format("Error on reading record # %d, %.4X Offs: ", c.number, c.id);
    EXPECT_EQ(msg.rfind(prefix, 0), 0u) << c.name << ": " << msg;
    EXPECT_NE(msg.find('\r'), std::string::npos) << c.name;
    EXPECT_NE(msg.find(c.cause), std::string::npos) << c.name << ": " << msg;
  }
}

TEST(XLSReaderTest, WrappedErrorNamesTheRecordOffset) {
  Bytes stream = OneSheet([](TBiffBuilder& b) { b.Rec(BIFFRECID_NUMBER, Bytes(3, 0)); });
  // The NUMBER record is the one before the final EOF (4 bytes) and has a 3-byte body.
  const size_t offs = stream.size() - 4 - 7;
  EXPECT_EQ(ReadError(stream), Format("Error on reading record # %d, 0203 Offs: %.8X\r",
                                      kFirstCellRecord, static_cast<unsigned>(offs)) +
                                   "Cell record is too short: 2 bytes needed at offset 2, 1 "
                                   "available");
}

TEST(XLSReaderTest, SubstreamAndEncryptionMessages) {
  auto withBof = [](uint16_t type) {
    TBiffBuilder b;
    b.Globals({u"S"});
    b.Bof(type);
    b.Eof();
    return b.Data();
  };
  auto filePass = [](uint16_t type) {
    TBiffBuilder b;
    b.Bof(BOFTYPE_GLOBALS);
    Bytes body(kFilePassRC4Size, 0);
    PutU16(body.data(), type);
    b.Rec(BIFFRECID_FILEPASS, body);
    b.Eof();
    return b.Data();
  };
  struct TCase {
    Bytes stream;
    bool handler;
    std::u16string password;
    const char* message;
  };
  const std::vector<TCase> cases = {
      {withBof(BOFTYPE_VBMODULE), false, u"", "VB module unhandled"},
      {withBof(BOFTYPE_MACROSHEET), false, u"", "BIFF4 Macro unhandled"},
      {withBof(BOFTYPE_WORKSPACE), false, u"", "BIFF4 Workbook unhandled"},
      {filePass(0), true, u"x", "File encrypted with non-standard key. French?"},
      {filePass(2), true, u"x", "Can not read file, unknown type of encryption."},
      {filePass(1), false, u"x", "File is encrypted. Password required."},
      {filePass(1), true, u"", "Password is missing."},
      {filePass(1), true, u"x", "Invalid password"},
  };
  for (const TCase& c : cases) {
    TXLSWorkbook wb;
    int asked = 0;
    if (c.handler)
      wb.OnPassword = [&](TXLSWorkbook&, std::u16string& p) {
        ++asked;
        p = c.password;
      };
    std::string msg;
    try {
      ReadStreamBytes(wb, c.stream);
    } catch (const EXLSError& e) {
      msg = e.what();
    }
    const size_t cr = msg.find('\r');
    ASSERT_NE(cr, std::string::npos) << c.message << " got " << msg;
    EXPECT_EQ(msg.substr(cr + 1), c.message);
    EXPECT_LE(asked, 1);
  }
  const Bytes big(300, 0);
  TBiffBuilder b;
  ByteWriter bof;
  bof.U16(0x0600);
  bof.U16(BOFTYPE_GLOBALS);
  bof.Append(big);
  b.Rec(BIFFRECID_BOF, bof.Buffer());
  const std::string msg = ReadError(b.Data());
  EXPECT_NE(msg.find("\rInvalid BOF size"), std::string::npos) << msg;
}

// A BIFF5 workbook: 8-bit text in the file's code page, or the system's when it names none;
// DIMENSIONS with 16-bit rows.
TEST(XLSReaderTest, Biff5TextAndDimensions) {
  auto build = [](bool withCodePage) {
    TBiffBuilder b;
    b.Bof(BOFTYPE_GLOBALS, false);
    if (withCodePage) b.Rec(BIFFRECID_CODEPAGE, {0xE3, 0x04});  // 1251
    b.Formats(false);
    ByteWriter bs;
    bs.U32(0);
    bs.U16(0);
    bs.U8(3);
    bs.Append("\xC4\xE0\xED", 3);
    b.Rec(BIFFRECID_BOUNDSHEET, bs.Buffer());
    b.Eof();
    b.Bof(BOFTYPE_WORKSHEET, false);
    ByteWriter d;
    d.U16(1);
    d.U16(5);
    d.U16(0);
    d.U16(2);
    d.U16(0);
    b.Rec(BIFFRECID_DIMENSIONS, d.Buffer());
    ByteWriter lab;
    lab.Append(CellHead(1, 1));
    lab.U16(2);
    lab.Append("\x01\xE9", 2);  // a first character of 0x01 is text in BIFF5, not a flag
    b.Rec(BIFFRECID_LABEL, lab.Buffer());
    b.Eof();
    return b.Data();
  };
  {
    TXLSWorkbook wb;
    ReadStreamBytes(wb, build(true), u"Book");
    EXPECT_EQ(wb.Version(), xvExcel50);
    TSheet& s = wb.Sheets()[0];
    EXPECT_EQ(s.Name(), u"\u0414\u0430\u043D");
    EXPECT_EQ(s.CellText(1, 1), u"\u0001\u0439");
    EXPECT_EQ(s.FirstRow(), 1);
    EXPECT_EQ(s.LastRow(), 4);
    EXPECT_EQ(s.FirstCol(), 0);
    EXPECT_EQ(s.LastCol(), 1);
  }
  const int saved = SystemCodePage();
  SetSystemCodePage(1253);
  TXLSWorkbook wb;
  ReadStreamBytes(wb, build(false), u"Book");
  SetSystemCodePage(saved);
  EXPECT_EQ(wb.Sheets()[0].Name(), u"\u0394\u03B0\u03BD");
}

// BIFF2: a plain file with one worksheet named after the file.
TEST(XLSReaderTest, Biff2PlainFile) {
  TBiffBuilder b;
  b.Rec(BIFFRECID_BOF_20, {0x00, 0x02, 0x10, 0x00});
  ByteWriter dim;
  dim.U16(0);
  dim.U16(3);
  dim.U16(0);
  dim.U16(2);
  b.Rec(BIFFRECID_DIMENSIONS_20, dim.Buffer());
  auto head = [](int row, int col) {
    ByteWriter w;
    w.U16(static_cast<uint16_t>(row));
    w.U16(static_cast<uint16_t>(col));
    w.U8(0);
    w.U8(0);
    w.U8(0);
    return w;
  };
  ByteWriter i = head(0, 0);
  i.U16(42);
  b.Rec(BIFFRECID_INTEGER_20, i.Buffer());
  ByteWriter n = head(1, 0);
  n.F64(1.5);
  b.Rec(BIFFRECID_NUMBER_20, n.Buffer());
  ByteWriter l = head(2, 0);
  l.U8(2);
  l.Append("hi", 2);
  b.Rec(BIFFRECID_LABEL_20, l.Buffer());
  ByteWriter e = head(2, 1);
  e.U8(0x17);
  e.U8(1);
  b.Rec(0x0005, e.Buffer());
  ByteWriter f = head(0, 1);
  f.F64(84);
  f.U8(0);
  f.U8(3);
  f.Append("\x1E\x2A\x00", 3);
  b.Rec(BIFFRECID_FORMULA, f.Buffer());
  b.Eof();

  const auto dir = std::filesystem::temp_directory_path() / "xls_reader_test";
  std::filesystem::create_directories(dir);
  const auto path = dir / "Budget 1990.xls";
  {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(b.Data().data()),
              static_cast<std::streamsize>(b.Data().size()));
  }
  TXLSWorkbook wb;
  wb.Filename = Utf8ToUtf16(path.string());
  wb.ReadFile();
  std::filesystem::remove_all(dir);
  EXPECT_EQ(wb.Version(), xvExcel21);
  ASSERT_EQ(wb.Sheets().Count(), 1);
  TSheet& s = wb.Sheets()[0];
  EXPECT_EQ(s.Name(), u"Budget 1990");
  EXPECT_DOUBLE_EQ(Number(s, 0, 0), 42.0);
  EXPECT_DOUBLE_EQ(Number(s, 0, 1), 1.5);
  EXPECT_EQ(s.CellText(0, 2), u"hi");
  EXPECT_EQ(s.CellAt(1, 2)->CellKind(), ckError);
  ASSERT_EQ(s.CellAt(1, 0)->CellKind(), ckNumberFormula);
  EXPECT_EQ(s.LastRow(), 2);
  EXPECT_EQ(s.LastCol(), 1);

  TXLSWorkbook fromStream;
  TMemoryStream source(b.Data());
  fromStream.ReadStream(&source);
  EXPECT_EQ(fromStream.Sheets()[0].Name(), u"Sheet1");
}

TEST(XLSReaderTest, NotAWorkbook) {
  TXLSWorkbook wb;
  TMemoryStream source(Bytes{'P', 'K', 3, 4, 20, 0, 0, 0, 8, 0});
  try {
    wb.ReadStream(&source);
    FAIL() << "no error";
  } catch (const EXLSError& e) {
    EXPECT_STREQ(e.what(), "File is not a Excel Workbook");
  }
}

}  // namespace
