// The shared string table: adding, reading across CONTINUE records, writing with CONTINUE
// splitting and EXTSST.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "biff/biff_recs.h"
#include "biff/sst2.h"
#include "biff/xls_stream.h"
#include "platform/bytes.h"
#include "platform/codec.h"
#include "platform/error.h"
#include "workbook/xls_fonts.h"

namespace xls {
namespace {

struct Record {
  uint16_t id;
  Bytes body;
};

std::vector<Record> ParseRecords(const Bytes& data) {
  std::vector<Record> out;
  ByteReader r(data.data(), data.size(), "test stream");
  while (!r.AtEnd()) {
    const uint16_t id = r.U16();
    const uint16_t len = r.U16();
    out.push_back({id, r.ReadBytes(len)});
  }
  return out;
}

Bytes Serialize(const std::vector<Record>& recs) {
  ByteWriter w;
  for (const Record& r : recs) {
    w.U16(r.id);
    w.U16(static_cast<uint16_t>(r.body.size()));
    w.Append(r.body);
  }
  return w.Buffer();
}

const Record kBOF{BIFFRECID_BOF_40, Bytes{0, 0, 0x10, 0, 0, 0}};

// Writes the table behind a BIFF4 BOF into memory and returns the records after the BOF.
std::vector<Record> Write(TSST2& sst) {
  TMemoryStream mem;
  TXLSStream s;
  s.SetTargetStream(&mem);
  s.OpenWrite(u"", xvExcel40);
  s.WriteHeader(kBOF.id, static_cast<uint16_t>(kBOF.body.size()));
  s.WriteRaw(kBOF.body.data(), static_cast<int>(kBOF.body.size()));
  sst.WriteSST(s);
  s.Close();
  auto recs = ParseRecords(mem.Data());
  recs.erase(recs.begin());
  return recs;
}

// Reads SST records (SST first, then CONTINUEs and anything else) into the table; returns the id
// of the record that follows what ReadSST consumed (0 at the end).
uint16_t Read(TSST2& sst, const std::vector<Record>& recs) {
  std::vector<Record> all{kBOF};
  all.insert(all.end(), recs.begin(), recs.end());
  TMemoryStream mem(Serialize(all));
  TXLSStream s;
  s.SetSourceStream(&mem);
  EXPECT_EQ(s.OpenRead(u""), xvExcel40);
  TBIFFHeader h;
  s.ReadHeader(h);
  uint8_t bof[6];
  s.Read(bof, h.Length);
  s.ReadHeader(h);
  EXPECT_EQ(h.RecID, BIFFRECID_SST);
  sst.ReadSST(s, h.Length);
  return s.PeekRecordId();
}

std::string Message(const std::function<void()>& f) {
  try {
    f();
  } catch (const EXLSError& e) {
    return e.what();
  }
  return "no error";
}

class SSTTest : public ::testing::Test {
 protected:
  SSTTest() { fonts.AddDefaultFonts(); }
  TXFonts fonts;
  TSST2 sst{&fonts};
};

TEST_F(SSTTest, AddStringSharesEqualTexts) {
  TSSTEntry* a = sst.AddString(u"abc");
  TSSTEntry* b = sst.AddString(u"abc");
  EXPECT_EQ(a, b);
  EXPECT_EQ(a->RefCount(), 2);
  EXPECT_EQ(sst.TotalCount(), 2);
  EXPECT_EQ(sst.Count(), 1);
  TSSTEntry* e = sst.AddString(u"\u00E9");
  EXPECT_FALSE(e->IsWide());
  EXPECT_EQ(e->CharBytes()[0], 0xE9);
  EXPECT_EQ(TSST2::GetText(*e), u"\u00E9");
  TSSTEntry* w = sst.AddString(u"x\u4E2D");
  EXPECT_TRUE(w->IsWide());
  EXPECT_EQ(w->CharByteCount(), 4u);
  EXPECT_EQ(TSST2::GetText(*w), u"x\u4E2D");
  EXPECT_NE(sst.AddString(u"ABC"), a) << "case-sensitive";
  EXPECT_EQ(sst.AddString(u""), sst.AddString(u""));
  // The list is ordered by hash and every entry knows its position.
  for (int i = 0; i < sst.Count(); ++i) {
    EXPECT_EQ(sst.IndexOf(*sst.Items(i)), i);
    if (i > 0) {
      EXPECT_LE(sst.Items(i - 1)->Hash(), sst.Items(i)->Hash());
    }
  }
  EXPECT_EQ(a->Hash(), SSTHash(reinterpret_cast<const uint8_t*>("abc"), 3));
  EXPECT_THROW(sst.Items(sst.Count()), EXLSError);
}

TEST_F(SSTTest, ElfHash) {
  // h = ((h << 4) + b) with the top nibble folded back in.
  EXPECT_EQ(SSTHash(nullptr, 0), 0u);
  const uint8_t ab[] = {'a', 'b'};
  EXPECT_EQ(SSTHash(ab, 2), (0x61u << 4) + 0x62u);
  const std::string longText = "abcdefghijklmnop";
  uint32_t h = 0;
  for (unsigned char c : longText) {
    h = (h << 4) + c;
    const uint32_t g = h & 0xF0000000u;
    if (g) h ^= g >> 24;
    h &= ~g;
  }
  EXPECT_EQ(SSTHash(reinterpret_cast<const uint8_t*>(longText.data()), longText.size()), h);
}

TEST_F(SSTTest, LoadModeAppendsAndEndLoadSorts) {
  sst.BeginLoad();
  TSSTEntry* z = sst.AddString(u"zzzz");
  TSSTEntry* z2 = sst.AddString(u"zzzz");
  TSSTEntry* a = sst.AddString(u"a");
  EXPECT_NE(z, z2) << "no search while loading";
  EXPECT_EQ(sst.Items(0), z);
  EXPECT_EQ(sst.Items(2), a);
  sst.EndLoad();
  EXPECT_EQ(sst.Items(0), a);
  EXPECT_EQ(sst.IndexOf(*a), 0);
  EXPECT_EQ(sst.AddString(u"zzzz")->RefCount(), 2) << "found after loading";
  sst.Clear();
  EXPECT_EQ(sst.Count(), 0);
  EXPECT_EQ(sst.TotalCount(), 0);
}

Bytes StringBytes(const std::u16string& s, bool wide) {
  ByteWriter w;
  for (char16_t c : s) wide ? w.U16(c) : w.U8(static_cast<uint8_t>(c));
  return w.Buffer();
}

TEST_F(SSTTest, ReadCharactersContinuedWithAnotherWidth) {
  // "Hello" 8-bit in the SST, continued by " 中文" 16-bit in a CONTINUE.
  ByteWriter sstBody;
  sstBody.U32(7);
  sstBody.U32(2);
  sstBody.U16(8);
  sstBody.U8(0);
  sstBody.Append(StringBytes(u"Hello", false));
  ByteWriter cont;
  cont.U8(1);
  cont.Append(StringBytes(u" \u4E2D\u6587", true));
  cont.U16(2);  // the second string starts in the CONTINUE
  cont.U8(0);
  cont.Append(StringBytes(u"ok", false));
  sst.BeginLoad();
  EXPECT_EQ(Read(sst, {{BIFFRECID_SST, sstBody.Buffer()},
                       {BIFFRECID_CONTINUE, cont.Buffer()},
                       {BIFFRECID_EOF, {}}}),
            BIFFRECID_EOF);
  ASSERT_EQ(sst.Count(), 2);
  EXPECT_EQ(sst.TotalCount(), 7);
  TSSTEntry* e = sst.Items(0);
  EXPECT_TRUE(e->IsWide());
  EXPECT_EQ(e->Flags(), kSSTWide);
  EXPECT_EQ(TSST2::GetText(*e), u"Hello \u4E2D\u6587");
  EXPECT_EQ(e->RefCount(), 0);
  EXPECT_EQ(TSST2::GetText(*sst.Items(1)), u"ok");
  EXPECT_EQ(e->Hash(), SSTHash(e->CharBytes(), e->CharByteCount()));
}

TEST_F(SSTTest, ReadFailures) {
  ByteWriter body;
  body.U32(1);
  body.U32(1);
  body.U16(4);
  body.U8(0);
  body.Append(StringBytes(u"ab", false));
  EXPECT_EQ(Message([&] {
              Read(sst, {{BIFFRECID_SST, body.Buffer()}, {BIFFRECID_LABEL, Bytes{1, 2}}});
            }),
            "CONTINUE record is missing in SST");
  EXPECT_EQ(sst.Count(), 0);
  ByteWriter bad;
  bad.U32(1);
  bad.U32(1);
  bad.U16(1);
  bad.U8(0x02);
  bad.U8('x');
  EXPECT_EQ(Message([&] {
              Read(sst, {{BIFFRECID_SST, bad.Buffer()}});
            }),
            "STT: Unhandled string type in Read (02)");
  // A far-east size far beyond the data fails at the end of the data, without allocating it.
  ByteWriter huge;
  huge.U32(1);
  huge.U32(1);
  huge.U16(1);
  huge.U8(kSSTFarEast);
  huge.U32(0x7FFFFFF0);
  huge.U8('x');
  huge.Append(Bytes(100, 0));
  EXPECT_EQ(Message([&] {
              Read(sst, {{BIFFRECID_SST, huge.Buffer()}});
            }),
            "CONTINUE record is missing in SST");
  // Strings read before a failure stay in the table.
  ByteWriter two;
  two.U32(2);
  two.U32(2);
  two.U16(1);
  two.U8(0);
  two.U8('x');
  EXPECT_THROW(Read(sst, {{BIFFRECID_SST, two.Buffer()}}), EXLSError);
  EXPECT_EQ(TSST2::GetText(*sst.Items(sst.Count() - 1)), u"x");
  EXPECT_THROW(Read(sst, {{BIFFRECID_SST, Bytes{1, 0, 0}}}), EXLSError);
}

TEST_F(SSTTest, EmptyTable) {
  const auto recs = Write(sst);
  ASSERT_EQ(recs.size(), 2u);
  EXPECT_EQ(recs[0].id, BIFFRECID_SST);
  EXPECT_EQ(recs[0].body, Bytes(8, 0));
  EXPECT_EQ(recs[1].id, BIFFRECID_EXTSST);
  EXPECT_EQ(recs[1].body, (Bytes{8, 0}));
  TSST2 noFonts;
  EXPECT_EQ(Message([&] { Write(noFonts); }), "Can not write SST when FFonts = Nil");
}

TEST_F(SSTTest, ExtSSTBuckets) {
  for (int i = 0; i < 8; ++i) sst.AddString(std::u16string{u's', static_cast<char16_t>(u'a' + i)});
  auto recs = Write(sst);
  ASSERT_EQ(recs.back().id, BIFFRECID_EXTSST);
  EXPECT_EQ(recs.back().body.size(), 10u);
  EXPECT_EQ(GetU16(recs.back().body.data()), 8);
  // The bucket points at the first string: stream offset 10 (BOF) + 4 + 8, offset 12.
  EXPECT_EQ(GetU32(&recs.back().body[2]), 22u);
  EXPECT_EQ(GetU16(&recs.back().body[6]), 12);

  TSST2 big(&fonts);
  for (int i = 0; i < 10000; ++i) big.AddString(Utf8ToUtf16("string " + std::to_string(i)));
  TMemoryStream mem;
  {
    TXLSStream s;
    s.SetTargetStream(&mem);
    s.OpenWrite(u"", xvExcel40);
    big.WriteSST(s);
    s.Close();
  }
  recs = ParseRecords(mem.Data());
  const Bytes& ext = recs.back().body;
  EXPECT_EQ(GetU16(ext.data()), 10);
  ASSERT_EQ(ext.size(), 2u + 8 * 1000);
  // Every bucket names the stream position of a string header, and that position minus the
  // offset is the start of the record that holds it.
  for (int b = 0; b < 1000; b += 97) {
    const uint32_t pos = GetU32(&ext[2 + 8 * b]);
    const uint16_t off = GetU16(&ext[6 + 8 * b]);
    const size_t recStart = pos - off;
    const uint16_t id = GetU16(&mem.Data()[recStart]);
    EXPECT_TRUE(id == BIFFRECID_SST || id == BIFFRECID_CONTINUE);
    const uint16_t n = GetU16(&mem.Data()[pos]);
    const std::u16string expected = TSST2::GetText(*big.Items(b * 10));
    EXPECT_EQ(n, expected.size());
    EXPECT_EQ(mem.Data()[pos + 3], expected[0]);
  }
}

TEST_F(SSTTest, WideStringAtOddSpaceLeavesAByteUnused) {
  // 8 bytes of counts, "a"*101 (3 + 101), then a 16-bit header (3): 8109 bytes left, odd.
  sst.BeginLoad();
  sst.AddString(std::u16string(101, u'a'));
  sst.AddString(std::u16string(5000, u'\u4E2D'));
  const auto recs = Write(sst);
  ASSERT_EQ(recs.size(), 3u);
  EXPECT_EQ(recs[0].body.size(), 8223u) << "the unused byte is not counted";
  EXPECT_EQ(recs[1].id, BIFFRECID_CONTINUE);
  EXPECT_EQ(recs[1].body[0], 0x01);
  EXPECT_EQ(recs[1].body.size(), 1u + 2 * (5000 - 4054));
  TSST2 back(&fonts);
  Read(back, {recs[0], recs[1]});
  EXPECT_EQ(TSST2::GetText(*back.Items(1)), std::u16string(5000, u'\u4E2D'));
}

// Builds SST records with splits at arbitrary places (but never inside a 16-bit character).
class SplittingEncoder {
 public:
  explicit SplittingEncoder(uint32_t seed) : rng_(seed) {}
  void Bytes_(const uint8_t* p, size_t n, int widthByte) {
    for (size_t i = 0; i < n; ++i) {
      if (Full() && !(widthByte == 1 && (i & 1))) Break(widthByte);
      Cur().push_back(p[i]);
    }
  }
  void Raw(const Bytes& b) { Bytes_(b.data(), b.size(), -1); }
  void Chars(const Bytes& b, bool wide) { Bytes_(b.data(), b.size(), wide ? 1 : 0); }
  std::vector<Record> Finish() { return recs_; }
  void Start(const Bytes& counts) {
    recs_ = {{BIFFRECID_SST, counts}};
    limit_ = 200 + rng_() % 3000;
  }
  // Starts a new record when the current one is longer than the current random limit.
  bool Full() const { return Cur().size() >= limit_; }
  void Break(int widthByte) {
    recs_.push_back({BIFFRECID_CONTINUE, {}});
    if (widthByte >= 0) recs_.back().body.push_back(static_cast<uint8_t>(widthByte));
    limit_ = 1 + rng_() % 5000;
  }

 private:
  Bytes& Cur() { return recs_.back().body; }
  const Bytes& Cur() const { return recs_.back().body; }
  std::vector<Record> recs_;
  size_t limit_ = 0;
  std::mt19937 rng_;
};

TEST_F(SSTTest, RoundTripOfManyStringsWithRunsAndFarEastData) {
  for (int i = 0; i < 3; ++i) fonts.AddFont()->Name = Utf8ToUtf16("Font" + std::to_string(i));
  std::mt19937 rng(12345);
  constexpr uint32_t kStrings = 100000;
  struct Source {
    std::u16string text;
    bool wide;
    std::vector<std::pair<uint16_t, uint16_t>> runs;
    Bytes farEast;
  };
  std::vector<Source> src(kStrings);
  SplittingEncoder enc(99);
  ByteWriter counts;
  counts.U32(kStrings * 3);
  counts.U32(kStrings);
  enc.Start(counts.Buffer());
  for (Source& s : src) {
    const int len = static_cast<int>(rng() % 40);
    s.wide = rng() % 3 == 0;
    for (int i = 0; i < len; ++i)
      s.text.push_back(static_cast<char16_t>(s.wide ? 0x4E00 + rng() % 500 : 'a' + rng() % 26));
    if (rng() % 4 == 0) {
      const int n = 1 + static_cast<int>(rng() % 4);
      for (int r = 0; r < n; ++r)
        s.runs.push_back(
            {static_cast<uint16_t>(r * 2), static_cast<uint16_t>(r == 3 ? 300 : rng() % 8)});
    }
    if (rng() % 5 == 0) s.farEast = Bytes(1 + rng() % 60, static_cast<uint8_t>(rng()));
    uint8_t flags = s.wide ? kSSTWide : 0;
    if (!s.runs.empty()) flags |= kSSTRichText;
    if (!s.farEast.empty()) flags |= kSSTFarEast;
    ByteWriter head;
    head.U16(static_cast<uint16_t>(s.text.size()));
    head.U8(flags);
    if (!s.runs.empty()) head.U16(static_cast<uint16_t>(s.runs.size()));
    if (!s.farEast.empty()) head.U32(static_cast<uint32_t>(s.farEast.size()));
    enc.Raw(head.Buffer());
    enc.Chars(StringBytes(s.text, s.wide), s.wide);
    ByteWriter runs;
    for (auto [first, font] : s.runs) {
      runs.U16(first);
      runs.U16(font);
    }
    enc.Raw(runs.Buffer());
    enc.Raw(s.farEast);
  }
  const std::vector<Record> input = enc.Finish();
  ASSERT_GT(input.size(), 100u);

  sst.BeginLoad();
  Read(sst, input);
  ASSERT_EQ(sst.Count(), static_cast<int>(kStrings));
  for (uint32_t i = 0; i < kStrings; i += 7) {
    const TSSTEntry& e = *sst.Items(static_cast<int>(i));
    ASSERT_EQ(TSST2::GetText(e), src[i].text) << i;
    ASSERT_EQ(e.RunCount(), src[i].runs.size());
    for (size_t r = 0; r < src[i].runs.size(); ++r) {
      const uint16_t font = src[i].runs[r].second;
      EXPECT_EQ(e.Runs()[r].Font, font < fonts.Count() ? fonts.FontAt(font) : nullptr);
    }
    ASSERT_EQ(Bytes(e.FarEast(), e.FarEast() + e.FarEastSize()), src[i].farEast);
  }
  EXPECT_GT(fonts.FontAt(7)->UsageCount, 0) << "runs count as font uses";

  // Written, read again and written again: the same bytes; every record within the limit.
  const std::vector<Record> first = Write(sst);
  TSST2 again(&fonts);
  again.BeginLoad();
  Read(again, first);
  ASSERT_EQ(again.Count(), static_cast<int>(kStrings));
  const std::vector<Record> second = Write(again);
  EXPECT_EQ(Serialize(first), Serialize(second));
  for (const Record& r : first) EXPECT_LE(r.body.size(), 8224u);
  EXPECT_EQ(first.back().id, BIFFRECID_EXTSST);
  EXPECT_EQ(GetU16(first.back().body.data()), kStrings * 8 / 8222 + 1);
  for (uint32_t i = 0; i < kStrings; i += 13)
    ASSERT_EQ(TSST2::GetText(*again.Items(static_cast<int>(i))), src[i].text);
  // A different record limit (BIFF5 size) still reads back to the same table.
  again.SetRecordLimit(kMaxRecordBody5);
  const std::vector<Record> small = Write(again);
  for (const Record& r : small) {
    if (r.id != BIFFRECID_EXTSST) {
      EXPECT_LE(r.body.size(), 2080u);
    }
  }
  TSST2 third(&fonts);
  third.BeginLoad();
  Read(third, small);
  EXPECT_EQ(Serialize(Write(third)), Serialize(first));
}

// The SST of every BIFF8 workbook of the corpus: read (rich text, phonetic data, strings split by
// other writers), written, read again: the same entries.
TEST(SSTCorpus, ReadWriteRead) {
  namespace fs = std::filesystem;
  const fs::path dir(XLSB_CORPUS_DIR);
  if (!fs::is_directory(dir)) GTEST_SKIP() << "corpus not found at " << XLSB_CORPUS_DIR;
  std::vector<fs::path> files;
  for (const auto& e : fs::recursive_directory_iterator(dir))
    if (e.is_regular_file() && e.path().extension() == ".xls") files.push_back(e.path());
  std::sort(files.begin(), files.end());
  int tables = 0, strings = 0, rich = 0, farEast = 0;
  for (const fs::path& path : files) {
    TXFonts fonts;
    fonts.AddDefaultFonts();
    TSST2 sst(&fonts);
    TXLSStream s;
    try {
      if (s.OpenRead(Utf8ToUtf16(path.string())) != xvExcel97) continue;
    } catch (const EXLSError&) {
      continue;
    }
    SCOPED_TRACE(path.string());
    TBIFFHeader h;
    bool found = false;
    while (s.ReadHeader(h) == kRecordHeaderSize) {
      if (h.RecID == BIFFRECID_FILEPASS) break;
      if (h.RecID == BIFFRECID_SST) {
        sst.BeginLoad();
        ASSERT_NO_THROW(sst.ReadSST(s, h.Length));
        EXPECT_NE(s.PeekRecordId(), BIFFRECID_CONTINUE) << "every CONTINUE of the SST consumed";
        found = true;
        break;
      }
      Bytes skip(h.Length);
      s.Read(skip.data(), h.Length);
      if (h.RecID == BIFFRECID_EOF) break;
    }
    if (!found) continue;
    ++tables;
    strings += sst.Count();
    TSST2 back(&fonts);
    back.BeginLoad();
    Read(back, Write(sst));
    ASSERT_EQ(back.Count(), sst.Count());
    EXPECT_EQ(back.TotalCount(), sst.TotalCount());
    for (int i = 0; i < sst.Count(); ++i) {
      const TSSTEntry& a = *sst.Items(i);
      const TSSTEntry& b = *back.Items(i);
      ASSERT_EQ(a.Flags(), b.Flags()) << i;
      ASSERT_EQ(TSST2::GetText(a), TSST2::GetText(b)) << i;
      ASSERT_EQ(a.RunCount(), b.RunCount()) << i;
      for (int r = 0; r < a.RunCount(); ++r) {
        EXPECT_EQ(a.Runs()[r].FirstChar, b.Runs()[r].FirstChar);
        EXPECT_EQ(a.Runs()[r].FontIndex, b.Runs()[r].FontIndex);
      }
      ASSERT_EQ(Bytes(a.FarEast(), a.FarEast() + a.FarEastSize()),
                Bytes(b.FarEast(), b.FarEast() + b.FarEastSize()))
          << i;
      rich += a.RunCount() > 0;
      farEast += a.FarEastSize() > 0;
    }
  }
  EXPECT_GT(tables, 10);
  EXPECT_GT(rich, 0);
  EXPECT_GT(farEast, 0);
  std::printf("corpus: %d tables, %d strings, %d with runs, %d with far-east data\n", tables,
              strings, rich, farEast);
}

}  // namespace
}  // namespace xls
