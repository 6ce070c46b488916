#include "biff/record_storage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "biff/biff_recs.h"
#include "platform/error.h"

namespace xls {
namespace {

Bytes FromHex(const std::string& h) {
  Bytes out;
  for (size_t k = 0; k + 1 < h.size();) {
    if (h[k] == ' ') {
      ++k;
      continue;
    }
    out.push_back(static_cast<uint8_t>(std::stoi(h.substr(k, 2), nullptr, 16)));
    k += 2;
  }
  return out;
}

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const EXLSError& e) {
    return e.what();
  }
  return "(no exception)";
}

std::vector<uint16_t> Ids(const TBaseRecordStorage& st) {
  std::vector<uint16_t> ids;
  for (int k = 0; k < st.Count(); ++k) ids.push_back(st.Items(k).RecID);
  return ids;
}

void ExpectPositionsConsistent(const TBaseRecordStorage& st) {
  for (int k = 0; k < st.Count(); ++k) EXPECT_EQ(st.Items(k).Position, k) << "item " << k;
}

// Feeds a record to a storage the way the reader does.
void Update(TRecordStorage& st, uint16_t id, const Bytes& body) {
  st.UpdateDefault(TBIFFHeader{id, static_cast<uint16_t>(body.size())}, body);
}
void Raw(TBaseRecordStorage& st, uint16_t id, const Bytes& body) {
  st.AddRaw(TBIFFHeader{id, static_cast<uint16_t>(body.size())}, body);
}

Bytes WriteAllToBytes(const TBaseRecordStorage& st) {
  TMemoryStream target;
  TXLSStream s;
  s.SetTargetStream(&target);
  s.OpenWrite(u"", xvExcel40);  // a plain stream: the records land in target as they are
  st.WriteAll(s);
  s.Close();
  return target.Data();
}

struct Expected {
  uint16_t id;
  const char* body;  // hex
};

const std::string kSpaces109 = [] {
  std::string s;
  for (int k = 0; k < 109; ++k) s += "20";
  return s;
}();

TEST(RecordStorageTest, NewWorkbookDefaults) {
  const std::string writeAccess = "000000" + kSpaces109;
  const Expected expected[] = {
      {0x0809, "00060500AF18CD07C980000006010000"},
      {0x005C, writeAccess.c_str()},
      {0x0042, "B004"},
      {0x0161, "0000"},
      {0x013D, ""},
      {0x009C, "0E00"},
      {0x0019, "0000"},
      {0x0012, "0000"},
      {0x0013, "0000"},
      {0x01AF, "0000"},
      {0x003D, "6400 6400 1027 581B 3800 0000 0000 0100 5802"},
      {0x0040, "0000"},
      {0x008D, "0000"},
      {0x0022, "0000"},
      {0x000E, "0100"},
      {0x01B7, "0000"},
      {0x00DA, "0000"},
      {0x8001, ""},
      {0x8002, ""},
      {0x008C, "01002E00"},
      {0x01C1, "C1010000FFFFFF00"},
      {0x8003, ""},
      {0x8004, ""},
      {0x8005, ""},
      {0x000A, ""},
  };
  TRecordStorageGlobals st;
  EXPECT_EQ(st.Count(), 0);
  EXPECT_EQ(st.DefaultCount(), 25);
  EXPECT_FALSE(st.IsSheetStorage());
  st.MoveDefaultsToList();
  ASSERT_EQ(st.Count(), 25);
  Bytes written;
  for (int k = 0; k < 25; ++k) {
    EXPECT_EQ(st.Items(k).RecID, expected[k].id) << "default " << k;
    EXPECT_EQ(st.Items(k).Data, FromHex(expected[k].body)) << "default " << k;
    EXPECT_EQ(st.Defaults(k), nullptr);
    const Bytes body = FromHex(expected[k].body);
    written.push_back(static_cast<uint8_t>(expected[k].id));
    written.push_back(static_cast<uint8_t>(expected[k].id >> 8));
    written.push_back(static_cast<uint8_t>(body.size()));
    written.push_back(static_cast<uint8_t>(body.size() >> 8));
    written.insert(written.end(), body.begin(), body.end());
  }
  ExpectPositionsConsistent(st);
  EXPECT_EQ(WriteAllToBytes(st), written);
  EXPECT_EQ(st.TotalSize(), static_cast<int64_t>(written.size()));
  // Calling it again (a new workbook written twice) gives the same list.
  st.MoveDefaultsToList();
  EXPECT_EQ(WriteAllToBytes(st), written);
  // The option accessors read the defaults.
  EXPECT_TRUE(st.PRECISION());
  EXPECT_FALSE(st.BACKUP());
  EXPECT_EQ(st.WRITEACCESS(), u"");
  EXPECT_EQ(st.HIDEOBJ(), 0);
}

TEST(RecordStorageTest, NewSheetDefaults) {
  const Expected expected[] = {
      {0x0809, "00061000AF18CD07C980000006010000"},
      {0x000D, "0100"},
      {0x000C, "6400"},
      {0x000F, "0100"},
      {0x0011, "0000"},
      {0x0010, "FCA9F1D24D62503F"},
      {0x005F, "0100"},
      {0x002B, "0000"},
      {0x002A, "0000"},
      {0x0082, "0100"},
      {0x0080, "0000000000000000"},
      {0x0225, "0000FF00"},
      {0x0081, "C104"},
      {0x8101, ""},
      {0x8102, ""},
      {0x8103, ""},
      {0x0083, "0000"},
      {0x0084, "0000"},
      {0x00A1, "0000 6400 0100 0100 0100 B606 0000 0000 000000000000E03F 000000000000E03F 0000"},
      {0x0012, "0000"},
      {0x0055, "0800"},
      {0x8104, ""},
      {0x8105, ""},
      {0x0200, "0000000000000000000000000000"},
      {0x8106, ""},
      {0x023E, "B604 0000 0000 4000 0000 0000 0000 00000000"},
      {0x001D, "030100010000000100010001000101"},
      {0x000A, ""},
  };
  TRecordStorageSheet st;
  EXPECT_TRUE(st.IsSheetStorage());
  ASSERT_EQ(st.DefaultCount(), 28);
  st.MoveDefaultsToList();
  ASSERT_EQ(st.Count(), 28);
  for (int k = 0; k < 28; ++k) {
    EXPECT_EQ(st.Items(k).RecID, expected[k].id) << "default " << k;
    EXPECT_EQ(st.Items(k).Data, FromHex(expected[k].body)) << "default " << k;
  }
  EXPECT_DOUBLE_EQ(st.DELTA(), 0.001);
  EXPECT_EQ(st.CALCCOUNT(), 100);
  EXPECT_EQ(st.WSBOOL(), 0x04C1);
  EXPECT_EQ(st.DEFCOLWIDTH(), 8);
  EXPECT_TRUE(st.SAVERECALC());
  EXPECT_FALSE(st.ITERATION());
  EXPECT_EQ(st.SETUP().Length(), 34);
  EXPECT_EQ(st.WINDOW2().Length(), 18);
}

TEST(RecordStorageTest, SkippedDefaultsAreFilledInBackwards) {
  const Bytes w = {0, 0};
  TRecordStorageGlobals st;
  Update(st, BIFFRECID_BOF, Bytes(16, 1));
  Raw(st, BIFFRECID_INTERFACEHDR, {0xB0, 0x04});
  Update(st, BIFFRECID_WRITEACCESS, Bytes(112, ' '));
  Update(st, BIFFRECID_CODEPAGE, {0xB0, 0x04});
  Update(st, BIFFRECID_DSF, w);
  Update(st, BIFFRECID_TABID, {1, 0});
  Update(st, BIFFRECID_FNGROUPCOUNT, {14, 0});
  Update(st, BIFFRECID_WINDOWPROTECT, w);
  // PROTECT, PASSWORD and PROT4REV are missing.
  Update(st, BIFFRECID_WINDOW1, Bytes(18, 7));
  EXPECT_EQ(Ids(st),
            (std::vector<uint16_t>{
                BIFFRECID_BOF, BIFFRECID_INTERFACEHDR, BIFFRECID_WRITEACCESS, BIFFRECID_CODEPAGE,
                BIFFRECID_DSF, BIFFRECID_TABID, BIFFRECID_FNGROUPCOUNT, BIFFRECID_WINDOWPROTECT,
                BIFFRECID_PROT4REV, BIFFRECID_PASSWORD, BIFFRECID_PROTECT, BIFFRECID_WINDOW1}));
  // A group the model consumes, with raw records behind its placeholder, twice placed.
  Update(st, BIFFRECID_PRECISION, {0, 0});
  st.PlaceInternal(INTERNID_FORMATS);
  Raw(st, BIFFRECID_STYLE, {0x10, 0x80, 3, 0xFF});
  st.PlaceInternal(INTERNID_FORMATS);
  st.PlaceInternal(INTERNID_SST);
  Update(st, BIFFRECID_EOF, {});
  EXPECT_EQ(Ids(st),
            (std::vector<uint16_t>{
                BIFFRECID_BOF, BIFFRECID_INTERFACEHDR, BIFFRECID_WRITEACCESS, BIFFRECID_CODEPAGE,
                BIFFRECID_DSF, BIFFRECID_TABID, BIFFRECID_FNGROUPCOUNT, BIFFRECID_WINDOWPROTECT,
                BIFFRECID_PROT4REV, BIFFRECID_PASSWORD, BIFFRECID_PROTECT, BIFFRECID_WINDOW1,
                // before PRECISION, nearest first
                BIFFRECID_DATE1904, BIFFRECID_HIDEOBJ, BIFFRECID_BACKUP, BIFFRECID_PRECISION,
                // before the font/format placeholder
                BIFFRECID_BOOKBOOL, BIFFRECID_REFRESHALL, INTERNID_FORMATS, BIFFRECID_STYLE,
                // before the string table placeholder
                INTERNID_MSODRAWINGGROUP, INTERNID_NAMES, BIFFRECID_RECALCID, BIFFRECID_COUNTRY,
                INTERNID_BOUNDSHEETS, INTERNID_SST, BIFFRECID_EOF}));
  ExpectPositionsConsistent(st);
  for (int k = 0; k < st.DefaultCount(); ++k) EXPECT_EQ(st.Defaults(k), nullptr);
  // The accessors follow the records read, and the defaults placed for the missing ones.
  EXPECT_FALSE(st.PRECISION());
  EXPECT_EQ(st.WINDOW1().Data, Bytes(18, 7));
  EXPECT_EQ(st.COUNTRY().Data, FromHex("01002E00"));
  st.SetBACKUP(true);
  EXPECT_EQ(st.Items(14).Data, FromHex("0100"));
}

TEST(RecordStorageTest, WithoutWindowProtectTheMissingRecordsComeInReverseOrder) {
  TRecordStorageGlobals st;
  Update(st, BIFFRECID_BOF, Bytes(16, 0));
  Update(st, BIFFRECID_FNGROUPCOUNT, {14, 0});
  Update(st, BIFFRECID_WINDOW1, Bytes(18, 0));
  EXPECT_EQ(Ids(st),
            (std::vector<uint16_t>{BIFFRECID_BOF, BIFFRECID_TABID, BIFFRECID_DSF,
                                   BIFFRECID_CODEPAGE, BIFFRECID_WRITEACCESS,
                                   BIFFRECID_FNGROUPCOUNT, BIFFRECID_PROT4REV, BIFFRECID_PASSWORD,
                                   BIFFRECID_PROTECT, BIFFRECID_WINDOWPROTECT, BIFFRECID_WINDOW1}));
}

TEST(RecordStorageTest, ADefaultRecordOccurringTwiceIsKeptOnceAtItsSecondPlace) {
  TRecordStorageSheet st;
  Update(st, BIFFRECID_BOF, Bytes(16, 0));
  st.PlaceInternal(INTERNID_CELLS);
  Update(st, BIFFRECID_WINDOW2, Bytes(18, 2));
  Update(st, BIFFRECID_SELECTION, Bytes(15, 1));
  Raw(st, 0x0099, {0x08, 0x00});           // STANDARDWIDTH, not modelled
  Update(st, BIFFRECID_CALCMODE, {0, 0});  // out of order: moves to the end
  const Bytes twoRefs = FromHex("03 0100 0100 0000 0200 0100 0100 01 01 0300 0400 02 02");
  Update(st, BIFFRECID_SELECTION, twoRefs);
  Update(st, BIFFRECID_EOF, {});
  const auto ids = Ids(st);
  EXPECT_EQ(std::count(ids.begin(), ids.end(), BIFFRECID_SELECTION), 1);
  EXPECT_EQ(std::count(ids.begin(), ids.end(), BIFFRECID_CALCMODE), 1);
  ASSERT_GE(ids.size(), 4u);
  EXPECT_EQ(ids[ids.size() - 4], 0x0099);
  EXPECT_EQ(ids[ids.size() - 3], BIFFRECID_CALCMODE);
  EXPECT_EQ(ids[ids.size() - 2], BIFFRECID_SELECTION);
  EXPECT_EQ(st.SELECTION().Data, twoRefs);
  EXPECT_EQ(st.SELECTION().Length(), 21);
  EXPECT_EQ(st.CALCMODE(), 0);
  ExpectPositionsConsistent(st);
}

TEST(RecordStorageTest, RawRecordsAreWrittenBackByteForByteInPlace) {
  const Bytes standardWidth = {0x00, 0x09};
  const Bytes sheetProtection =
      FromHex("6708 0000 0000 0000 0000 0000 0000 0000 0000 0000 0200 0001 FFFF 0044 00");
  TRecordStorageSheet st;
  Update(st, BIFFRECID_BOF, FromHex("00061000AF18CD07C980000006010000"));
  Update(st, BIFFRECID_CALCMODE, {1, 0});
  Raw(st, 0x0099, standardWidth);
  Update(st, BIFFRECID_DEFCOLWIDTH, {8, 0});
  Update(st, BIFFRECID_WINDOW2, Bytes(18, 0));
  Raw(st, 0x0867, sheetProtection);
  Update(st, BIFFRECID_EOF, {});
  const Bytes out = WriteAllToBytes(st);
  // Find each raw record in the output and check what surrounds it.
  auto find = [&](uint16_t id, const Bytes& body) {
    Bytes rec = {static_cast<uint8_t>(id), static_cast<uint8_t>(id >> 8),
                 static_cast<uint8_t>(body.size()), static_cast<uint8_t>(body.size() >> 8)};
    rec.insert(rec.end(), body.begin(), body.end());
    return std::search(out.begin(), out.end(), rec.begin(), rec.end()) - out.begin();
  };
  const auto ids = Ids(st);
  const auto at = [&](uint16_t id) { return std::find(ids.begin(), ids.end(), id) - ids.begin(); };
  EXPECT_LT(find(0x0099, standardWidth), static_cast<long>(out.size()));
  EXPECT_LT(find(0x0867, sheetProtection), static_cast<long>(out.size()));
  // STANDARDWIDTH stays right after CALCMODE, as in the file; the defaults the file skipped come
  // after it, nearest to DEFCOLWIDTH first.
  EXPECT_EQ(at(0x0099), at(BIFFRECID_CALCMODE) + 1);
  EXPECT_EQ(at(BIFFRECID_PROTECT), at(0x0099) + 1);
  EXPECT_EQ(at(BIFFRECID_DEFCOLWIDTH), at(BIFFRECID_CALCCOUNT) + 1);
  EXPECT_EQ(at(0x0867), at(BIFFRECID_WINDOW2) + 1);
  EXPECT_EQ(at(BIFFRECID_SELECTION), at(0x0867) + 1);
  EXPECT_EQ(ids.back(), BIFFRECID_EOF);
  // Everything written is exactly what is stored, in order.
  size_t pos = 0;
  for (int k = 0; k < st.Count(); ++k) {
    const TStoredRecord& r = st.Items(k);
    ASSERT_LE(pos + 4 + r.Length(), out.size());
    EXPECT_EQ(GetU16(out.data() + pos), r.RecID);
    EXPECT_EQ(GetU16(out.data() + pos + 2), r.Length());
    EXPECT_EQ(Bytes(out.begin() + pos + 4, out.begin() + pos + 4 + r.Length()), r.Data);
    pos += 4 + r.Length();
  }
  EXPECT_EQ(pos, out.size());
}

TEST(RecordStorageTest, BofOfAnyVersionTakesTheBofSlot) {
  TRecordStorageSheet st;
  const Bytes biff4Bof = {0, 0, 0x10, 0, 0, 0};
  Update(st, BIFFRECID_BOF_40, biff4Bof);
  ASSERT_EQ(st.Count(), 1);
  EXPECT_EQ(st.Items(0).RecID, BIFFRECID_BOF);
  EXPECT_EQ(st.BOF().Data, biff4Bof);
}

TEST(RecordStorageTest, UnknownIdsAreReported) {
  TRecordStorageGlobals g;
  TRecordStorageSheet s;
  EXPECT_EQ(ErrorOf([&] {
              Update(g, BIFFRECID_FONT, {1, 2});
            }),
            "[int] Unknown default record 0031");
  // Records of the other substream.
  EXPECT_EQ(ErrorOf([&] { Update(g, BIFFRECID_WINDOW2, Bytes(18, 0)); }),
            "[int] Unknown default record 023E");
  EXPECT_EQ(ErrorOf([&] { Update(s, BIFFRECID_WINDOW1, Bytes(18, 0)); }),
            "[int] Unknown default record 003D");
  EXPECT_EQ(ErrorOf([&] { Update(s, BIFFRECID_DIMENSIONS_20, Bytes(8, 0)); }),
            "[int] Unknown default record 0000");
  // Placeholders are placed, never updated; real records are updated, never placed.
  EXPECT_EQ(ErrorOf([&] { Update(g, INTERNID_SST, {}); }), "[int] Unknown default record 8005");
  EXPECT_EQ(ErrorOf([&] { g.PlaceInternal(INTERNID_CELLS); }),
            "[int] Unknown int. default record 8105");
  EXPECT_EQ(ErrorOf([&] { s.PlaceInternal(INTERNID_FORMATS); }),
            "[int] Unknown int. default record 8001");
  EXPECT_EQ(ErrorOf([&] { s.PlaceInternal(BIFFRECID_WINDOW2); }),
            "[int] Unknown int. default record 023E");
  TStoredRecord stray;
  stray.RecID = 0x1234;
  EXPECT_EQ(ErrorOf([&] { g.RebindDefault(&stray); }), "[int] Unknown move default record 1234");
  EXPECT_EQ(ErrorOf([&] { s.RebindDefault(&stray); }), "[int] Unknown move default record 1234");
  // A body shorter than the header's length is refused, never read past.
  const Bytes one = {1};
  EXPECT_NE(ErrorOf([&] {
              g.UpdateDefault(TBIFFHeader{BIFFRECID_HIDEOBJ, 2}, one);
            }),
            "(no exception)");
  EXPECT_NE(ErrorOf([&] { g.AddRaw(TBIFFHeader{0x0099, 2}, one); }), "(no exception)");
  EXPECT_NE(ErrorOf([&] { g.Items(0); }), "(no exception)");
}

TEST(RecordStorageTest, ShortBodiesFromAFileReadAsZero) {
  TRecordStorageSheet st;
  Update(st, BIFFRECID_CALCMODE, {});
  Update(st, BIFFRECID_DELTA, {1, 2, 3});
  Update(st, BIFFRECID_ITERATION, {1});
  EXPECT_EQ(st.CALCMODE(), 0);
  EXPECT_EQ(st.DELTA(), 0.0);
  EXPECT_FALSE(st.ITERATION());
  st.SetCALCMODE(0xFFFF);
  st.SetDELTA(0.25);
  EXPECT_EQ(st.CALCMODE(), 0xFFFF);
  EXPECT_EQ(st.DELTA(), 0.25);
}

TEST(RecordStorageTest, OptionAccessorsWriteTheBodies) {
  TRecordStorageSheet s;
  s.SetITERATION(true);
  s.SetPRINTGRIDLINES(true);
  s.SetHCENTER(true);
  s.SetVCENTER(false);
  s.SetREFMODE(0);
  s.SetWSBOOL(0x0DC1);
  s.SetDEFCOLWIDTH(12);
  s.SetCALCCOUNT(7);
  s.SetSAVERECALC(false);
  s.SetPRINTHEADERS(true);
  EXPECT_TRUE(s.ITERATION());
  EXPECT_TRUE(s.PRINTGRIDLINES());
  EXPECT_TRUE(s.HCENTER());
  EXPECT_FALSE(s.VCENTER());
  EXPECT_TRUE(s.PRINTHEADERS());
  EXPECT_FALSE(s.SAVERECALC());
  s.MoveDefaultsToList();
  auto body = [&](uint16_t id) {
    for (int k = 0; k < s.Count(); ++k)
      if (s.Items(k).RecID == id) return s.Items(k).Data;
    return Bytes{};
  };
  EXPECT_EQ(body(BIFFRECID_ITERATION), FromHex("0100"));
  EXPECT_EQ(body(BIFFRECID_REFMODE), FromHex("0000"));
  EXPECT_EQ(body(BIFFRECID_WSBOOL), FromHex("C10D"));
  EXPECT_EQ(body(BIFFRECID_DEFCOLWIDTH), FromHex("0C00"));
  EXPECT_EQ(body(BIFFRECID_CALCCOUNT), FromHex("0700"));

  TRecordStorageGlobals g;
  g.SetHIDEOBJ(2);
  g.SetWINDOWPROTECT(true);
  g.SetBOOKBOOL(true);
  g.SetREFRESHALL(true);
  g.SetPRECISION(false);
  EXPECT_EQ(g.HIDEOBJ(), 2);
  EXPECT_TRUE(g.WINDOWPROTECT());
  EXPECT_TRUE(g.BOOKBOOL());
  EXPECT_TRUE(g.REFRESHALL());
  EXPECT_FALSE(g.PRECISION());
  // A boolean is true only for the value 1.
  Update(g, BIFFRECID_BACKUP, {2, 0});
  EXPECT_FALSE(g.BACKUP());
}

TEST(RecordStorageTest, WriteAccessUserName) {
  TRecordStorageGlobals g;
  g.SetWRITEACCESS(u"  John Doe\t");
  g.MoveDefaultsToList();
  const TStoredRecord& wa = g.Items(1);
  ASSERT_EQ(wa.RecID, BIFFRECID_WRITEACCESS);
  ASSERT_EQ(wa.Length(), 112);
  EXPECT_EQ(wa.Data[0], 11);  // stored as given; reading trims
  EXPECT_EQ(wa.Data[1], 0);
  EXPECT_EQ(wa.Data[2], 0);
  EXPECT_EQ(wa.Data[111], ' ');
  EXPECT_EQ(g.WRITEACCESS(), u"John Doe");

  const std::u16string longName(200, u'x');
  g.SetWRITEACCESS(longName);
  EXPECT_EQ(g.WRITEACCESS(), longName.substr(0, 109));
  EXPECT_EQ(g.Items(1).Data[0], 109);
  EXPECT_EQ(g.Items(1).Length(), 112);

  g.SetWRITEACCESS(u"Zo\u00EB");
  EXPECT_EQ(g.WRITEACCESS(), u"Zo\u00EB");
  // Names beyond 8-bit characters keep their characters in the 16-bit form.
  g.SetWRITEACCESS(u"张三");
  EXPECT_EQ(g.Items(1).Data[2], 1);
  EXPECT_EQ(g.Items(1).Length(), 112);
  EXPECT_EQ(g.WRITEACCESS(), u"张三");

  // As Excel writes it: 16-bit count, option byte, then space padding.
  Bytes excel(112, ' ');
  excel[0] = 4;
  excel[1] = 0;
  excel[2] = 0;
  std::memcpy(excel.data() + 3, "Anna", 4);
  Update(g, BIFFRECID_WRITEACCESS, excel);
  EXPECT_EQ(g.WRITEACCESS(), u"Anna");
  Update(g, BIFFRECID_WRITEACCESS, {});
  EXPECT_EQ(g.WRITEACCESS(), u"");
}

TEST(RecordStorageTest, ClearCopyAndRebuild) {
  TRecordStorageSheet st;
  Update(st, BIFFRECID_BOF, Bytes(16, 0));
  Raw(st, 0x0099, {1, 2});
  TRecordStorageSheet copy;
  st.CopyTo(copy);
  EXPECT_EQ(Ids(copy), Ids(st));
  EXPECT_EQ(copy.TotalSize(), 16 + 4 + 2 + 4);
  st.Clear();
  EXPECT_EQ(st.Count(), 0);
  EXPECT_EQ(st.DefaultCount(), 0);
  EXPECT_THROW(st.WINDOW2(), EXLSError);
  st.SetDefaultData();
  EXPECT_EQ(st.DefaultCount(), 28);
  EXPECT_EQ(st.WINDOW2().Length(), 18);
  st.MoveDefaultsToList();
  EXPECT_EQ(st.Count(), 28);
}

}  // namespace
}  // namespace xls
