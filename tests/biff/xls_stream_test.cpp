#include "biff/xls_stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "biff/biff_recs.h"
#include "cfb/compound_file.h"
#include "platform/codec.h"
#include "platform/error.h"

namespace xls {
namespace {

namespace fs = std::filesystem;

struct Rec {
  uint16_t id;
  Bytes body;
  bool operator==(const Rec&) const = default;
};

Bytes Pattern(size_t n, uint8_t seed = 0) {
  Bytes b(n);
  for (size_t k = 0; k < n; ++k) b[k] = static_cast<uint8_t>(k * 7 + seed + (k >> 8));
  return b;
}

void AppendRec(Bytes& out, uint16_t id, const Bytes& body) {
  uint8_t h[4];
  PutU16(h, id);
  PutU16(h + 2, static_cast<uint16_t>(body.size()));
  out.insert(out.end(), h, h + 4);
  out.insert(out.end(), body.begin(), body.end());
}

std::vector<Rec> ParseRecords(const Bytes& s) {
  std::vector<Rec> out;
  ByteReader r(s, "records");
  while (!r.AtEnd()) {
    const uint16_t id = r.U16();
    const uint16_t len = r.U16();
    out.push_back({id, r.ReadBytes(len)});
  }
  return out;
}

// A BIFF4 BOF: plain streams in memory must start with one to be recognised.
Bytes Biff4Bof() {
  Bytes b;
  AppendRec(b, BIFFRECID_BOF_40, {0, 0, 0x10, 0, 0, 0});
  return b;
}

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const EXLSError& e) {
    return e.what();
  }
  return "(no exception)";
}

// Writes through a TXLSStream into a plain target stream and returns the bytes.
Bytes WritePlain(const std::function<void(TXLSStream&)>& body) {
  TMemoryStream target;
  TXLSStream s;
  s.SetTargetStream(&target);
  s.OpenWrite(u"", xvExcel40);
  body(s);
  s.Close();
  return target.Data();
}

Bytes MakeCompound(const std::function<void(cfb::Storage&)>& fill) {
  auto file = cfb::CompoundFile::CreateInMemory();
  fill(file->Root());
  file->Commit();
  return file->GetBytes();
}

void PutStream(cfb::Storage& st, std::u16string_view name, const Bytes& data) {
  st.CreateStream(name).Write(data.data(), data.size());
}

Bytes StreamOf(const Bytes& file, std::u16string_view name) {
  auto cf = cfb::CompoundFile::OpenRead(file);
  return cf->Root().OpenStream(name).Data();
}

TExcelVersion OpenBytes(TXLSStream& s, TMemoryStream& source) {
  s.SetSourceStream(&source);
  return s.OpenRead(u"");
}

// ---------------------------------------------------------------------------------------------
// Writing

TEST(XLSStreamTest, WriteRecordSplitsLongBodiesIntoContinueRecords) {
  const struct {
    int length;
    std::vector<int> pieces;
  } cases[] = {
      {0, {0}},
      {1, {1}},
      {8224, {8224}},
      {8225, {8224, 1}},
      {16448, {8224, 8224}},
      {20000, {8224, 8224, 3552}},
  };
  for (const auto& c : cases) {
    const Bytes data = Pattern(static_cast<size_t>(c.length));
    const auto recs = ParseRecords(WritePlain([&](TXLSStream& s) {
      s.WriteRecord(BIFFRECID_SST, data.data(), c.length);
      s.WriteRecord(BIFFRECID_EOF, nullptr, 0);
    }));
    ASSERT_EQ(recs.size(), c.pieces.size() + 1) << "length " << c.length;
    Bytes joined;
    for (size_t k = 0; k < c.pieces.size(); ++k) {
      EXPECT_EQ(recs[k].id, k == 0 ? BIFFRECID_SST : BIFFRECID_CONTINUE);
      EXPECT_EQ(static_cast<int>(recs[k].body.size()), c.pieces[k]) << "length " << c.length;
      joined.insert(joined.end(), recs[k].body.begin(), recs[k].body.end());
    }
    EXPECT_EQ(joined, data);
    EXPECT_EQ(recs.back().id, BIFFRECID_EOF);
  }
}

TEST(XLSStreamTest, SplitModePatchesLengthsAndStartsContinueRecords) {
  const struct {
    int length;
    std::vector<int> pieces;
  } cases[] = {
      {100, {100}},
      {8224, {8224}},
      {8225, {8224, 1}},
      {16448, {8224, 8224}},
      {20000, {8224, 8224, 3552}},
  };
  // The body is written in one call and in uneven pieces; both must give the same records.
  for (int chunk : {0, 1, 1000, 8223, 8225}) {
    for (const auto& c : cases) {
      const Bytes data = Pattern(static_cast<size_t>(c.length), 3);
      const auto recs = ParseRecords(WritePlain([&](TXLSStream& s) {
        s.WriteRecord(BIFFRECID_WINDOW1, nullptr, 0);
        s.BeginSplitRecord(kMaxRecordBody8);
        s.WriteHeader(BIFFRECID_MSODRAWINGGROUP, 0);
        const int step = chunk ? chunk : c.length;
        for (int at = 0; at < c.length; at += step)
          s.Write(data.data() + at, std::min(step, c.length - at));
        s.EndSplitRecord();
        s.WriteRecord(BIFFRECID_EOF, nullptr, 0);
      }));
      ASSERT_EQ(recs.size(), c.pieces.size() + 2) << c.length << " in pieces of " << chunk;
      Bytes joined;
      for (size_t k = 0; k < c.pieces.size(); ++k) {
        const Rec& r = recs[k + 1];
        EXPECT_EQ(r.id, k == 0 ? BIFFRECID_MSODRAWINGGROUP : BIFFRECID_CONTINUE);
        EXPECT_EQ(static_cast<int>(r.body.size()), c.pieces[k]);
        joined.insert(joined.end(), r.body.begin(), r.body.end());
      }
      EXPECT_EQ(joined, data);
      EXPECT_EQ(recs.back().id, BIFFRECID_EOF);
    }
  }
}

TEST(XLSStreamTest, CountedAndUncountedWrites) {
  const Bytes out = WritePlain([](TXLSStream& s) {
    s.WriteU8(0x12);
    s.WriteU16(0x3456);
    s.WriteU32(0x789ABCDE);
    EXPECT_EQ(s.WrittenInRecord(), 0);
    const uint8_t two[2] = {0xAA, 0xBB};
    s.Write(two, 2);
    EXPECT_EQ(s.WrittenInRecord(), 2);
    s.WriteAreaWords(0x00020001, -2);
  });
  EXPECT_EQ(out, (Bytes{0x12, 0x56, 0x34, 0xDE, 0xBC, 0x9A, 0x78, 0xAA, 0xBB, 0x01, 0x00, 0x02,
                        0x00, 0xFE, 0xFF, 0xFF, 0xFF}));
}

TEST(XLSStreamTest, StringWriters) {
  const Bytes compressed = {0, 'a', 'b', 'c'};
  const Bytes wide = {1, 'h', 0, 'i', 0};
  const Bytes out = WritePlain([&](TXLSStream& s) {
    s.WriteByteString16(compressed);
    s.WriteByteString16(wide);
    s.WriteByteString8(compressed);
    s.WriteByteString8(wide);
    s.WriteByteString16({});
    s.WriteByteString8({});
    s.WriteWideString(u"\u00E9z");
    s.WriteWideString(u"");
    // Counted: the bytes of S (option byte included) and the UTF-16 code units.
    EXPECT_EQ(s.WrittenInRecord(), 4 + 5 + 4 + 5 + 4);
  });
  const Bytes expected = {3, 0, 0,   'a',  'b', 'c',     // count 3, then S
                          2, 0, 1,   'h',  0,   'i', 0,  // 16-bit: (5 - 1) / 2 characters
                          3, 0, 'a', 'b',  'c',          //
                          2, 1, 'h', 0,    'i', 0,       //
                          0, 0,                          // empty S: only the count
                          0,                             //
                          2, 0, 1,   0xE9, 0,   'z', 0,  // length, option byte 1, code units
                          0, 0};                         // empty: no option byte
  EXPECT_EQ(out, expected);
}

TEST(XLSStreamTest, FilenameIsMissing) {
  for (TExcelVersion v : {xvExcel40, xvExcel50, xvExcel97}) {
    TXLSStream s;
    EXPECT_EQ(ErrorOf([&] { s.OpenWrite(u"", v); }), "Filename is missing") << v;
    EXPECT_FALSE(s.IsOpen());
  }
}

// ---------------------------------------------------------------------------------------------
// Reading

TEST(XLSStreamTest, ReadHeaderReadAndPeekAtTheEnd) {
  Bytes file = Biff4Bof();
  AppendRec(file, BIFFRECID_WINDOW1, Pattern(10));
  file.push_back(0x0A);  // three stray bytes: less than a header
  file.push_back(0x00);
  file.push_back(0x00);
  TMemoryStream source(file);
  TXLSStream s;
  ASSERT_EQ(OpenBytes(s, source), xvExcel40);
  EXPECT_EQ(s.WorkbookSize(), static_cast<int32_t>(file.size()));
  EXPECT_EQ(s.PeekRecordId(), BIFFRECID_BOF_40);
  EXPECT_EQ(s.Position(), 0);
  TBIFFHeader h;
  ASSERT_EQ(s.ReadHeader(h), 4);
  EXPECT_EQ(h.RecID, BIFFRECID_BOF_40);
  s.Seek(h.Length, soFromCurrent);
  EXPECT_EQ(s.PeekRecordId(), BIFFRECID_WINDOW1);
  ASSERT_EQ(s.ReadHeader(h), 4);
  EXPECT_EQ(h.Length, 10);
  uint8_t buf[32];
  EXPECT_EQ(s.Read(buf, 10), 10);
  EXPECT_EQ(Bytes(buf, buf + 10), Pattern(10));
  const int64_t at = s.Position();
  EXPECT_EQ(s.PeekRecordId(), 0);  // 3 bytes left
  EXPECT_EQ(s.Position(), at);
  EXPECT_EQ(s.ReadHeader(h), 3);
  EXPECT_EQ(s.PeekRecordId(), 0);  // at the very end
  EXPECT_EQ(s.Position(), static_cast<int64_t>(file.size()));
  EXPECT_EQ(s.Read(buf, 32), 0);
  EXPECT_EQ(s.ReadHeader(h), 0);
  s.Close();
  s.Close();  // harmless
}

TEST(XLSStreamTest, ReadString) {
  Bytes file = Biff4Bof();
  const size_t start = file.size();
  const Bytes body = {1, 'A', 0, 0x34, 0x12, 0, 'x', 'y', 'z', 1, 'Q', 0};
  file.insert(file.end(), body.begin(), body.end());
  TMemoryStream source(file);
  TXLSStream s;
  OpenBytes(s, source);
  s.Seek(static_cast<int64_t>(start), soFromBeginning);
  int used = 0;
  EXPECT_EQ(s.ReadString(2, used), u"A\u1234");
  EXPECT_EQ(used, 5);
  EXPECT_EQ(s.ReadString(3, used), u"xyz");
  EXPECT_EQ(used, 4);
  // Short at the end of the stream: what is there, and the bytes really consumed.
  EXPECT_EQ(s.ReadString(5, used), u"Q");
  EXPECT_EQ(used, 3);
  EXPECT_EQ(s.ReadString(5, used), u"");
  EXPECT_EQ(used, 0);
}

TEST(XLSStreamTest, ReadStringWithRichTextFlagsStillHonoursTheWidthBit) {
  Bytes file = Biff4Bof();
  const Bytes body = {0x09, 'O', 0, 'K', 0};  // 16-bit characters, rich-text bit set
  file.insert(file.end(), body.begin(), body.end());
  TMemoryStream source(file);
  TXLSStream s;
  OpenBytes(s, source);
  s.Seek(static_cast<int64_t>(Biff4Bof().size()), soFromBeginning);
  int used = 0;
  EXPECT_EQ(s.ReadString(2, used), u"OK");
  EXPECT_EQ(used, 5);
}

// A drawing group of `total` bytes written as MSODRAWINGGROUP + CONTINUE records of 8224 bytes,
// the continuation id cycling through the three accepted ones. `offsets` receives the stream
// offset of every payload byte.
Bytes DrawingGroupFile(const Bytes& payload, std::vector<size_t>* offsets) {
  Bytes file = Biff4Bof();
  const uint16_t ids[] = {BIFFRECID_CONTINUE, BIFFRECID_MSODRAWINGGROUP, BIFFRECID_GELFRAME};
  size_t done = 0;
  int k = 0;
  do {
    const size_t n = std::min<size_t>(payload.size() - done, kMaxRecordBody8);
    const uint16_t id = k == 0 ? BIFFRECID_MSODRAWINGGROUP : ids[k % 3];
    // The length field of a continuation is not used by the reader: write a wrong one.
    Bytes body(payload.begin() + done, payload.begin() + done + n);
    const size_t headerAt = file.size();
    AppendRec(file, id, body);
    if (k > 0) PutU16(file.data() + headerAt + 2, 1);
    for (size_t i = 0; i < n; ++i) offsets->push_back(headerAt + 4 + i);
    done += n;
    ++k;
  } while (done < payload.size());
  AppendRec(file, BIFFRECID_EOF, {});
  return file;
}

// Reads `count` bytes in continue-read mode in steps of `step`.
Bytes ContinueReadAll(TXLSStream& s, int count, int step) {
  TBIFFHeader h;
  s.ReadHeader(h);                     // BOF
  s.Seek(h.Length, soFromCurrent);     //
  if (s.ReadHeader(h) < 4) return {};  // MSODRAWINGGROUP
  s.BeginContinueRead();
  Bytes out;
  Bytes buf(static_cast<size_t>(step));
  while (static_cast<int>(out.size()) < count) {
    const int want = std::min(step, count - static_cast<int>(out.size()));
    const int got = s.Read(buf.data(), want);
    out.insert(out.end(), buf.begin(), buf.begin() + got);
    if (got < want) break;
  }
  s.EndContinueRead();
  return out;
}

TEST(XLSStreamTest, ContinueReadCrossesRecordBoundaries) {
  for (int total : {100, 8224, 8225, 16448, 20000}) {
    const Bytes payload = Pattern(static_cast<size_t>(total), 11);
    std::vector<size_t> offsets;
    const Bytes file = DrawingGroupFile(payload, &offsets);
    for (int step : {1, 3, 100, 4096, 8223, 8224, 8225, 20000}) {
      TMemoryStream source(file);
      TXLSStream s;
      ASSERT_EQ(OpenBytes(s, source), xvExcel40);
      EXPECT_EQ(ContinueReadAll(s, total, step), payload) << total << " step " << step;
      // Afterwards the stream stands at the record after the group.
      EXPECT_EQ(s.PeekRecordId(), BIFFRECID_EOF) << total << " step " << step;
    }
  }
}

TEST(XLSStreamTest, ContinueReadOverBuffersCutAtAwkwardPlaces) {
  const Bytes payload = Pattern(20000, 5);
  std::vector<size_t> offsets;
  const Bytes file = DrawingGroupFile(payload, &offsets);
  std::set<size_t> cuts;
  for (size_t boundary : {size_t{10}, offsets[8223] + 1, offsets[16447] + 1, offsets.back() + 1})
    for (size_t d = 0; d < 9; ++d) {
      cuts.insert(boundary + d);
      if (boundary >= d + 10) cuts.insert(boundary - d);
    }
  for (size_t cut : cuts) {
    if (cut > file.size()) continue;
    const Bytes part(file.begin(), file.begin() + static_cast<long>(cut));
    const size_t available = static_cast<size_t>(
        std::count_if(offsets.begin(), offsets.end(), [&](size_t o) { return o < cut; }));
    for (int step : {7, 8224, 20000}) {
      TMemoryStream source(part);
      TXLSStream s;
      ASSERT_EQ(OpenBytes(s, source), xvExcel40);
      const Bytes got = ContinueReadAll(s, 20000, step);
      EXPECT_EQ(got, Bytes(payload.begin(), payload.begin() + static_cast<long>(available)))
          << "cut at " << cut << " step " << step;
    }
  }
}

TEST(XLSStreamTest, ContinueReadRefusesAForeignRecord) {
  Bytes file = Biff4Bof();
  AppendRec(file, BIFFRECID_MSODRAWINGGROUP, Pattern(kMaxRecordBody8));
  AppendRec(file, BIFFRECID_SST, Pattern(10));
  TMemoryStream source(file);
  TXLSStream s;
  OpenBytes(s, source);
  EXPECT_EQ(ErrorOf([&] { ContinueReadAll(s, kMaxRecordBody8 + 5, 100); }),
            "CONTINUE record is missing");
}

// A caller's stream that hands out at most 3 bytes per read.
class TTrickleStream : public TMemoryStream {
 public:
  using TMemoryStream::TMemoryStream;
  size_t Read(void* buffer, size_t count) override {
    return TMemoryStream::Read(buffer, std::min<size_t>(count, 3));
  }
};

TEST(XLSStreamTest, SourceStreamIsCopiedWholeEvenWhenItReadsInDribs) {
  Bytes file = Biff4Bof();
  AppendRec(file, BIFFRECID_WINDOW1, Pattern(300));
  TTrickleStream source(file);
  source.Seek(17, soFromBeginning);  // read from position 0 whatever the caller left
  TXLSStream s;
  s.SetSourceStream(&source);
  ASSERT_EQ(s.OpenRead(u""), xvExcel40);
  EXPECT_EQ(source.Position(), 0);  // rewound for its owner
  s.Seek(static_cast<int64_t>(Biff4Bof().size()) + 4, soFromBeginning);
  Bytes buf(300);
  EXPECT_EQ(s.Read(buf.data(), 300), 300);
  EXPECT_EQ(buf, Pattern(300));
}

// ---------------------------------------------------------------------------------------------
// Version detection

TEST(XLSStreamTest, PlainFilesAreRecognisedByTheirFirstBOF) {
  const struct {
    Bytes head;
    TExcelVersion version;
  } good[] = {
      {{0x09, 0x04, 0x06, 0x00, 0, 0, 0x10, 0, 0, 0}, xvExcel40},
      {{0x09, 0x02, 0x06, 0x00, 0, 0, 0x10, 0, 0, 0}, xvExcel30},
      {{0x09, 0x00, 0x04, 0x00, 7, 0, 0x10, 0}, xvExcel21},
  };
  for (const auto& c : good) {
    TMemoryStream source(c.head);
    TXLSStream s;
    EXPECT_EQ(OpenBytes(s, source), c.version);
  }
  Bytes random = Pattern(600, 99);
  random[0] = 0x4E;
  const Bytes bad[] = {
      {0x09, 0x08, 0x10, 0x00, 0, 6, 5, 0},                // BIFF5/8 BOF outside a compound
      {'P', 'K', 3, 4, 20, 0, 6, 0, 8, 0, 0, 0, 0x21, 0},  // zip (.xlsx)
      {'<', 'h', 't', 'm', 'l', '>', '<', '/', 'h', '>'},  // HTML named .xls
      {'a', ',', 'b', '\n', '1', ',', '2', '\n'},          // CSV
      random,
      {},
      {0x09},
  };
  for (const Bytes& b : bad) {
    TMemoryStream source(b);
    TXLSStream s;
    EXPECT_EQ(ErrorOf([&] { OpenBytes(s, source); }), "File is not a Excel Workbook")
        << b.size() << " bytes";
    EXPECT_FALSE(s.IsOpen());
  }
}

TEST(XLSStreamTest, PlainFilesOnDiskAndMissingFiles) {
  const fs::path dir = fs::temp_directory_path() / ("xls_stream_test_" + std::to_string(getpid()));
  fs::create_directories(dir);
  const fs::path biff3 = dir / "biff3.xls";
  const fs::path zip = dir / "book.xls";
  {
    std::ofstream(biff3, std::ios::binary).write("\x09\x02\x06\x00\x00\x00\x10\x00\x00\x00", 10);
    std::ofstream(zip, std::ios::binary).write("PK\x03\x04rest of a zip", 18);
  }
  TXLSStream s;
  EXPECT_EQ(s.OpenRead(Utf8ToUtf16(biff3.string())), xvExcel30);
  EXPECT_EQ(s.WorkbookSize(), 10);
  EXPECT_EQ(ErrorOf([&] { s.OpenRead(Utf8ToUtf16(zip.string())); }),
            "File is not a Excel Workbook");
  EXPECT_NE(ErrorOf([&] { s.OpenRead(Utf8ToUtf16((dir / "missing.xls").string())); }),
            "(no exception)");
  EXPECT_EQ(ErrorOf([&] { s.OpenRead(u""); }), "Filename is missing");
  // The object is reusable after failures.
  EXPECT_EQ(s.OpenRead(Utf8ToUtf16(biff3.string())), xvExcel30);
  s.Close();
  // BIFF2-4 is written as a plain file, replacing what was there.
  const fs::path biff4 = dir / "biff4.xls";
  std::ofstream(biff4, std::ios::binary).write("old content, longer than the new one", 36);
  {
    TXLSStream w;
    w.OpenWrite(Utf8ToUtf16(biff4.string()), xvExcel40);
    const Bytes bof = {0, 0, 0x10, 0, 0xAF, 0x18};
    w.WriteRecord(BIFFRECID_BOF_40, bof.data(), 6);
    w.WriteRecord(BIFFRECID_EOF, nullptr, 0);
    w.Close();
  }
  EXPECT_EQ(fs::file_size(biff4), 14u);
  EXPECT_EQ(s.OpenRead(Utf8ToUtf16(biff4.string())), xvExcel40);
  TBIFFHeader h;
  EXPECT_EQ(s.ReadHeader(h), 4);
  EXPECT_EQ(h.Length, 6);
  s.Close();
  fs::remove_all(dir);
}

TEST(XLSStreamTest, CompoundFilesAreRecognisedByTheirWorkbookStream) {
  Bytes biff8;
  AppendRec(biff8, BIFFRECID_BOF, Pattern(16));
  Bytes biff5;
  AppendRec(biff5, BIFFRECID_BOF, Pattern(8));
  const struct {
    std::vector<std::pair<std::u16string, Bytes>> streams;
    TExcelVersion version;
    size_t size;
  } cases[] = {
      {{{u"Book", biff5}, {u"WORKBOOK", biff8}}, xvExcel97, biff8.size()},
      {{{u"WORKBOOK", biff8}, {u"Book", biff5}}, xvExcel97, biff8.size()},
      {{{u"Workbook", biff8}}, xvExcel97, biff8.size()},
      {{{u"\x05SummaryInformation", Pattern(50)}, {u"bOoK", biff5}}, xvExcel50, biff5.size()},
  };
  for (const auto& c : cases) {
    TMemoryStream source(MakeCompound([&](cfb::Storage& root) {
      for (const auto& [name, data] : c.streams) PutStream(root, name, data);
    }));
    TXLSStream s;
    ASSERT_EQ(OpenBytes(s, source), c.version);
    EXPECT_EQ(s.WorkbookSize(), static_cast<int32_t>(c.size));
    // The chosen stream is the one read.
    TBIFFHeader h;
    ASSERT_EQ(s.ReadHeader(h), 4);
    EXPECT_EQ(h.Length, c.version == xvExcel97 ? 16 : 8);
  }
  // No workbook stream, or a storage of that name instead of a stream.
  for (const auto& fill : std::vector<std::function<void(cfb::Storage&)>>{
           [](cfb::Storage& root) { PutStream(root, u"Data", Pattern(10)); },
           [](cfb::Storage& root) { root.CreateStorage(u"Workbook"); },
           [](cfb::Storage&) {},
       }) {
    TMemoryStream source(MakeCompound(fill));
    TXLSStream s;
    EXPECT_EQ(ErrorOf([&] { OpenBytes(s, source); }), "File is not a Excel Workbook");
  }
}

TEST(XLSStreamTest, DamagedCompoundFileRaisesAClearError) {
  Bytes file =
      MakeCompound([](cfb::Storage& root) { PutStream(root, u"Workbook", Pattern(5000)); });
  file.resize(700);  // header and a little more: the directory is gone
  TMemoryStream source(file);
  TXLSStream s;
  const std::string error = ErrorOf([&] { OpenBytes(s, source); });
  EXPECT_NE(error, "(no exception)");
  EXPECT_FALSE(s.IsOpen());
}

// ---------------------------------------------------------------------------------------------
// Compound files written and read back

TEST(XLSStreamTest, WriteToTargetStreamAndToAPathThenReadBack) {
  const Bytes big = Pattern(20000, 1);
  auto writeRecords = [&](TXLSStream& s) {
    Bytes bof(16, 0);
    s.WriteRecord(BIFFRECID_BOF, bof.data(), 16);
    s.WriteRecord(BIFFRECID_SST, big.data(), static_cast<int>(big.size()));
    s.WriteRecord(BIFFRECID_EOF, nullptr, 0);
  };
  // In memory: the target stream receives a complete compound file and stays usable.
  for (TExcelVersion v : {xvExcel50, xvExcel97}) {
    TMemoryStream target;
    {
      TXLSStream s;
      s.SetTargetStream(&target);
      s.OpenWrite(u"", v);
      writeRecords(s);
      s.Close();
    }
    ASSERT_TRUE(cfb::CompoundFile::IsCompoundData(target.Data()));
    const auto recs = ParseRecords(StreamOf(target.Data(), v == xvExcel97 ? u"Workbook" : u"Book"));
    ASSERT_EQ(recs.size(), 5u);  // BOF, SST + 2 CONTINUE, EOF
    EXPECT_EQ(recs[1].id, BIFFRECID_SST);
    EXPECT_EQ(recs[3].id, BIFFRECID_CONTINUE);
    EXPECT_EQ(recs[4].id, BIFFRECID_EOF);
    target.Seek(0, soFromBeginning);
    TXLSStream r;
    EXPECT_EQ(OpenBytes(r, target), v);
    const int64_t size = target.Size();
    target.Seek(0, soFromEnd);
    target.Write("x", 1);
    EXPECT_EQ(target.Size(), size + 1);
  }
  // On disk.
  const fs::path path =
      fs::temp_directory_path() / ("xls_stream_test_" + std::to_string(getpid()) + ".xls");
  {
    TXLSStream s;
    s.OpenWrite(Utf8ToUtf16(path.string()), xvExcel97);
    writeRecords(s);
    s.Close();
  }
  TXLSStream r;
  ASSERT_EQ(r.OpenRead(Utf8ToUtf16(path.string())), xvExcel97);
  TBIFFHeader h;
  r.ReadHeader(h);
  EXPECT_EQ(h.RecID, BIFFRECID_BOF);
  r.Close();
  fs::remove(path);
}

// A workbook file with document properties, a VBA project (nested storages) and a stream whose
// name sorts after "Workbook" in the directory.
Bytes FileWithExtras(const Bytes& workbook) {
  return MakeCompound([&](cfb::Storage& root) {
    PutStream(root, u"\x05SummaryInformation", Pattern(400, 1));
    PutStream(root, u"\x01CompObj", Pattern(90, 2));
    PutStream(root, u"Workbook", workbook);
    PutStream(root, u"Book", Pattern(30, 3));  // an old BIFF5 copy
    PutStream(root, u"ZZ_after_workbook_in_any_order", Pattern(5000, 4));
    cfb::Storage& vba = root.CreateStorage(u"_VBA_PROJECT_CUR");
    PutStream(vba, u"PROJECT", Pattern(300, 5));
    cfb::Storage& inner = vba.CreateStorage(u"VBA");
    PutStream(inner, u"dir", Pattern(700, 6));
    PutStream(inner, u"_VBA_PROJECT", Pattern(7, 7));
    inner.CreateStorage(u"empty");
  });
}

// Every stream of a storage, recursively, by path.
void Collect(const cfb::Storage& st, const std::u16string& prefix,
             std::map<std::u16string, Bytes>& out) {
  for (const auto& e : st.Entries()) {
    const std::u16string path = prefix + e.name;
    auto& mst = const_cast<cfb::Storage&>(st);
    if (e.kind == cfb::EntryKind::Stream)
      out[path] = mst.OpenStream(e.name).Data();
    else {
      out[path + u"/"] = {};
      Collect(mst.OpenStorage(e.name), path + u"/", out);
    }
  }
}

TEST(XLSStreamTest, PreservedStreamsAndStoragesTravelFromReadToWrite) {
  Bytes workbook;
  AppendRec(workbook, BIFFRECID_BOF, Pattern(16));
  AppendRec(workbook, BIFFRECID_EOF, {});
  const Bytes original = FileWithExtras(workbook);

  TExtraObjects extras;
  {
    TMemoryStream source(original);
    TXLSStream r;
    r.SetExtraObjects(&extras);
    r.SetPreserve(true);
    ASSERT_EQ(OpenBytes(r, source), xvExcel97);
    r.Close();
  }
  std::set<std::u16string> kept;
  for (const auto& s : extras.Streams()) kept.insert(s.Name);
  for (const auto& s : extras.Storages()) kept.insert(s.Name + u"/");
  EXPECT_EQ(kept,
            (std::set<std::u16string>{u"\x05SummaryInformation", u"\x01CompObj",
                                      u"ZZ_after_workbook_in_any_order", u"_VBA_PROJECT_CUR/"}));

  // Written again, with a new workbook stream.
  TMemoryStream target;
  Bytes newWorkbook;
  {
    TXLSStream w;
    w.SetExtraObjects(&extras);
    w.SetTargetStream(&target);
    w.OpenWrite(u"", xvExcel97);
    Bytes body = Pattern(16, 9);
    w.WriteRecord(BIFFRECID_BOF, body.data(), 16);
    w.WriteRecord(BIFFRECID_EOF, nullptr, 0);
    w.WritePreservedStorages();
    w.Close();
    AppendRec(newWorkbook, BIFFRECID_BOF, body);
    AppendRec(newWorkbook, BIFFRECID_EOF, {});
  }
  std::map<std::u16string, Bytes> before, after;
  Collect(cfb::CompoundFile::OpenRead(original)->Root(), u"", before);
  Collect(cfb::CompoundFile::OpenRead(target.Data())->Root(), u"", after);
  before.erase(u"Book");
  before[u"Workbook"] = newWorkbook;
  EXPECT_EQ(after, before);

  // Reading the copy again finds the same extras (a second read replaces, never adds).
  TMemoryStream again(target.Data());
  TXLSStream r2;
  r2.SetExtraObjects(&extras);
  r2.SetPreserve(true);
  OpenBytes(r2, again);
  EXPECT_EQ(extras.Streams().size(), 3u);
  EXPECT_EQ(extras.Storages().size(), 1u);
}

TEST(XLSStreamTest, PreservedStreamsAreWrittenWithoutAnyStorage) {
  Bytes workbook;
  AppendRec(workbook, BIFFRECID_BOF, Pattern(8));
  TMemoryStream source(MakeCompound([&](cfb::Storage& root) {
    PutStream(root, u"Book", workbook);
    PutStream(root, u"\x05DocumentSummaryInformation", Pattern(4097, 8));
  }));
  TExtraObjects extras;
  TXLSStream r;
  r.SetExtraObjects(&extras);
  r.SetPreserve(true);
  ASSERT_EQ(OpenBytes(r, source), xvExcel50);
  r.Close();
  ASSERT_TRUE(extras.Storages().empty());
  TMemoryStream target;
  TXLSStream w;
  w.SetExtraObjects(&extras);
  w.SetTargetStream(&target);
  w.OpenWrite(u"", xvExcel50);
  w.WriteRecord(BIFFRECID_EOF, nullptr, 0);
  w.Close();
  EXPECT_EQ(StreamOf(target.Data(), u"\x05DocumentSummaryInformation"), Pattern(4097, 8));
  EXPECT_EQ(StreamOf(target.Data(), u"Book"), Bytes({0x0A, 0, 0, 0}));
}

TEST(XLSStreamTest, NothingIsKeptWithoutPreserve) {
  Bytes workbook;
  AppendRec(workbook, BIFFRECID_BOF, Pattern(16));
  TMemoryStream source(FileWithExtras(workbook));
  TExtraObjects extras;
  extras.AddStream(u"stale", Pattern(3));
  TXLSStream r;
  r.SetExtraObjects(&extras);
  ASSERT_EQ(OpenBytes(r, source), xvExcel97);
  EXPECT_TRUE(extras.Empty());
}

// ---------------------------------------------------------------------------------------------
// Decryption

// A BIFF8 workbook stream encrypted the way Excel does it: headers, BOF bodies and everything
// up to and including FILEPASS in clear, every other body encrypted at its own stream offset.
struct EncryptedBook {
  Bytes stream;
  std::vector<Rec> plain;  // the records after FILEPASS, decrypted
};

EncryptedBook MakeEncryptedBook(std::u16string_view password) {
  const uint8_t salt[16] = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88,
                            0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xF0, 0x0F};
  const uint8_t verifier[16] = {1, 1, 2, 3, 5, 8, 13, 21, 34, 55, 89, 144, 233, 121, 98, 219};
  const Bytes filePass = XLSMakeFilePass(password, salt, verifier);
  TXLSRC4 cipher;
  cipher.SetPassword(password, salt);
  EncryptedBook book;
  AppendRec(book.stream, BIFFRECID_BOF, Pattern(16));
  AppendRec(book.stream, BIFFRECID_FILEPASS, filePass);
  // Sizes chosen so that bodies straddle 1024-byte boundaries and one ends exactly on one.
  std::vector<size_t> sizes = {10, 700, 2, 1500, 0, 33, 3000, 1, 8224};
  size_t pos = book.stream.size();
  for (size_t k = 0; k < sizes.size(); ++k) {
    if (k == 3) {
      // Make the body of record 3 end exactly on a 1024-byte boundary.
      const size_t bodyStart = pos + 4;
      sizes[3] = (bodyStart / 1024 + 2) * 1024 - bodyStart;
    }
    const uint16_t id = static_cast<uint16_t>(0x0100 + k);
    const Bytes body = Pattern(sizes[k], static_cast<uint8_t>(k));
    book.plain.push_back({id, body});
    Bytes enc = body;
    cipher.Crypt(enc.data(), enc.size(), static_cast<int64_t>(pos + 4));
    AppendRec(book.stream, id, enc);
    pos = book.stream.size();
  }
  return book;
}

TEST(XLSStreamTest, DecryptsAtTheStreamPositionWhateverWasSkipped) {
  const EncryptedBook book = MakeEncryptedBook(u"Secret");
  const Bytes file =
      MakeCompound([&](cfb::Storage& root) { PutStream(root, u"Workbook", book.stream); });

  // How each record after FILEPASS is passed: 0 = Read, 1 = seek over it, 2 = ReadPlain,
  // 3 = Read in two halves with a PeekRecordId in between.
  const std::vector<std::vector<int>> plans = {
      {0, 0, 0, 0, 0, 0, 0, 0, 0}, {1, 0, 1, 0, 1, 0, 2, 0, 0}, {2, 2, 0, 1, 1, 1, 1, 1, 0},
      {3, 1, 3, 2, 0, 3, 1, 3, 3}, {1, 1, 1, 1, 1, 1, 1, 1, 0},
  };
  for (const auto& plan : plans) {
    TMemoryStream source(file);
    TXLSStream s;
    ASSERT_EQ(OpenBytes(s, source), xvExcel97);
    TBIFFHeader h;
    s.ReadHeader(h);
    Bytes bof(h.Length);
    s.ReadPlain(bof.data(), h.Length);
    s.ReadHeader(h);
    ASSERT_EQ(h.RecID, BIFFRECID_FILEPASS);
    Bytes filePass(h.Length);
    s.Read(filePass.data(), h.Length);
    EXPECT_FALSE(s.StartDecryption(filePass, u"secret"));
    EXPECT_FALSE(s.IsDecrypting());
    ASSERT_TRUE(s.StartDecryption(filePass, u"Secret"));
    for (size_t k = 0; k < plan.size(); ++k) {
      ASSERT_EQ(s.PeekRecordId(), book.plain[k].id);
      ASSERT_EQ(s.ReadHeader(h), 4);
      Bytes body(h.Length);
      switch (plan[k]) {
        case 0:
          EXPECT_EQ(s.Read(body.data(), h.Length), h.Length);
          EXPECT_EQ(body, book.plain[k].body) << "record " << k;
          break;
        case 1:
          s.Seek(h.Length, soFromCurrent);
          break;
        case 2:
          s.ReadPlain(body.data(), h.Length);
          if (h.Length > 4) {
            EXPECT_NE(body, book.plain[k].body);  // still encrypted
          }
          break;
        case 3: {
          const int half = h.Length / 2;
          s.Read(body.data(), half);
          const int64_t at = s.Position();
          s.PeekRecordId();
          EXPECT_EQ(s.Position(), at);
          s.Read(body.data() + half, h.Length - half);
          EXPECT_EQ(body, book.plain[k].body) << "record " << k;
          break;
        }
      }
    }
    EXPECT_EQ(s.PeekRecordId(), 0);
  }
}

TEST(XLSStreamTest, SeekingBackRereadsTheSamePlaintext) {
  const EncryptedBook book = MakeEncryptedBook(u"pw");
  TMemoryStream source(
      MakeCompound([&](cfb::Storage& root) { PutStream(root, u"Workbook", book.stream); }));
  TXLSStream s;
  OpenBytes(s, source);
  TBIFFHeader h;
  s.ReadHeader(h);
  s.Seek(h.Length, soFromCurrent);
  s.ReadHeader(h);
  Bytes filePass(h.Length);
  s.ReadPlain(filePass.data(), h.Length);
  ASSERT_TRUE(s.StartDecryption(filePass, u"pw"));
  const int64_t first = s.Position();
  Bytes all;
  for (const Rec& r : book.plain) {
    s.ReadHeader(h);
    Bytes body(h.Length);
    s.Read(body.data(), h.Length);
    EXPECT_EQ(body, r.body);
  }
  s.Seek(first, soFromBeginning);
  for (const Rec& r : book.plain) {
    s.ReadHeader(h);
    Bytes body(h.Length);
    s.Read(body.data(), h.Length);
    EXPECT_EQ(body, r.body);
  }
}

// ---------------------------------------------------------------------------------------------
// The corpus of workbooks written by other programs

fs::path CorpusDir() {
  return fs::path(XLSB_CORPUS_DIR);
}

bool IsBiff5(const fs::path& rel) {
  // Every compound file of the corpus that holds a "Book" stream and no "Workbook".
  static const std::set<std::string> kBook = {
      "sheetjs/freeze5.xls",       "sheetjs/sheet_visibility5.xls", "sheetjs/crlf/CRLFR9_5.XLS",
      "sheetjs/crlf/CRLFX5_5.XLS", "sheetjs/crlf/crlf5.xls",        "sheetjs/1904/1900.biff5",
      "sheetjs/1904/1904.biff5",
  };
  return kBook.count(rel.generic_string()) || rel.generic_string().starts_with("sheetjs/biff5/");
}

TEST(XLSStreamCorpusTest, EveryWorkbookOpensWithItsVersion) {
  if (!fs::is_directory(CorpusDir())) GTEST_SKIP() << "corpus not found at " << CorpusDir();
  int compound = 0, plain = 0;
  for (const auto& entry : fs::recursive_directory_iterator(CorpusDir())) {
    if (!entry.is_regular_file()) continue;
    const fs::path rel = fs::relative(entry.path(), CorpusDir());
    const std::string ext = entry.path().extension().string();
    std::string lower = ext;
    std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
    if (lower != ".xls" && lower != ".biff5") continue;
    SCOPED_TRACE(rel.string());
    std::ifstream in(entry.path(), std::ios::binary);
    uint8_t head[2] = {};
    in.read(reinterpret_cast<char*>(head), 2);
    TXLSStream s;
    const std::u16string name = Utf8ToUtf16(entry.path().string());
    if (cfb::CompoundFile::IsCompoundFile(entry.path().string())) {
      ++compound;
      const TExcelVersion v = s.OpenRead(name);
      EXPECT_EQ(v, IsBiff5(rel) ? xvExcel50 : xvExcel97);
      // The stream found is a workbook stream: it starts with a BIFF5/8 BOF of that version.
      TBIFFHeader h;
      ASSERT_EQ(s.ReadHeader(h), 4);
      EXPECT_EQ(h.RecID, BIFFRECID_BOF);
      uint8_t bof[2];
      ASSERT_EQ(s.ReadPlain(bof, 2), 2);
      EXPECT_EQ(GetU16(bof), v == xvExcel97 ? 0x0600 : 0x0500);
      EXPECT_GT(s.WorkbookSize(), 0);
    } else if (head[0] == kBOFLowByte) {
      ++plain;
      const TExcelVersion expected = head[1] == 0x04   ? xvExcel40
                                     : head[1] == 0x02 ? xvExcel30
                                                       : xvExcel21;
      EXPECT_EQ(s.OpenRead(name), expected);
    } else {
      EXPECT_EQ(ErrorOf([&] { s.OpenRead(name); }), "File is not a Excel Workbook");
    }
  }
  EXPECT_GT(compound, 50);
  EXPECT_GT(plain, 3);
}

TEST(XLSStreamCorpusTest, EncryptedWorkbookDecryptsWithItsPassword) {
  const fs::path path = CorpusDir() / "sheetjs" / "password_2002_40_972000.xls";
  if (!fs::exists(path)) GTEST_SKIP() << path << " not found";
  for (const std::u16string& password : {std::u16string(u"wrong"), std::u16string(u"password")}) {
    TXLSStream s;
    ASSERT_EQ(s.OpenRead(Utf8ToUtf16(path.string())), xvExcel97);
    TBIFFHeader h;
    Bytes body;
    bool started = false;
    std::vector<uint32_t> sheetOffsets;
    std::vector<int64_t> bofOffsets;
    int records = 0;
    size_t eofs = 0;
    while (true) {
      const int64_t at = s.Position();
      if (s.ReadHeader(h) < 4) break;
      body.resize(h.Length);
      ++records;
      if (IsBOFRecordId(h.RecID)) {
        bofOffsets.push_back(at);
        s.ReadPlain(body.data(), h.Length);
      } else if (h.RecID == BIFFRECID_FILEPASS) {
        s.Read(body.data(), h.Length);
        started = s.StartDecryption(body, password);
        if (!started) break;
      } else if (h.RecID == BIFFRECID_BOUNDSHEET && started) {
        // The BOF position is stored in clear; the rest is encrypted.
        ASSERT_GE(h.Length, 8);
        uint8_t ofs[4];
        s.ReadPlain(ofs, 4);
        sheetOffsets.push_back(GetU32(ofs));
        s.Read(body.data(), h.Length - 4);
        const int chars = body[2];
        const int width = (body[3] & 1) ? 2 : 1;
        EXPECT_EQ(h.Length, 8 + chars * width) << "BOUNDSHEET decrypted to nonsense";
      } else {
        s.Read(body.data(), h.Length);
        // The stream is padded after the EOF of its last substream.
        if (h.RecID == BIFFRECID_EOF && ++eofs == sheetOffsets.size() + 1) break;
      }
    }
    if (password == u"wrong") {
      EXPECT_FALSE(started);
      continue;
    }
    ASSERT_TRUE(started);
    ASSERT_FALSE(sheetOffsets.empty());
    EXPECT_EQ(eofs, sheetOffsets.size() + 1);
    EXPECT_EQ(bofOffsets.size(), sheetOffsets.size() + 1);
    for (uint32_t ofs : sheetOffsets)
      EXPECT_NE(std::find(bofOffsets.begin(), bofOffsets.end(), ofs), bofOffsets.end());
    EXPECT_GT(records, 20);
  }
}

}  // namespace
}  // namespace xls
