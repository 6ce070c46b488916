// Damaged compound files raise one EXLSError with a one-line cause; sloppy but readable files
// written by other programs still open.
#include <gtest/gtest.h>

#include <functional>

#include "cfb/cfb_format.h"
#include "cfb/cfb_test_util.h"
#include "cfb/compound_file.h"

namespace xls::cfb {
namespace {

using testing::PatternBytes;
using testing::PutStream;

constexpr size_t kSS = 512;

// Offsets into a version 3 file, found by following its own tables.
struct Layout {
  Bytes& f;
  explicit Layout(Bytes& bytes) : f(bytes) {}
  size_t Sector(uint32_t s) const { return (size_t{s} + 1) * kSS; }
  size_t FatEntry(uint32_t s) const {
    const uint32_t fatSector = GetU32(f.data() + kOffHeaderDifat + 4 * (s / (kSS / 4)));
    return Sector(fatSector) + 4 * (s % (kSS / 4));
  }
  uint32_t Fat(uint32_t s) const { return GetU32(f.data() + FatEntry(s)); }
  size_t DirEntry(uint32_t index) const {
    uint32_t s = GetU32(f.data() + kOffFirstDirSector);
    for (uint32_t i = 0; i < index / (kSS / kDirEntrySize); ++i) s = Fat(s);
    return Sector(s) + (index % (kSS / kDirEntrySize)) * kDirEntrySize;
  }
  uint32_t Find(std::u16string_view name) const {
    for (uint32_t i = 0; i < 16; ++i) {
      const uint8_t* e = f.data() + DirEntry(i);
      std::u16string n;
      for (size_t j = 0; j + 2 < GetU16(e + kDirOffNameLength); j += 2) n.push_back(GetU16(e + j));
      if (n == name) return i;
    }
    throw std::logic_error("test file has no such entry");
  }
  uint32_t U32(size_t at) const { return GetU32(f.data() + at); }
  void Set(size_t at, uint32_t v) { PutU32(f.data() + at, v); }
  size_t Field(std::u16string_view name, size_t field) const {
    return DirEntry(Find(name)) + field;
  }
};

Bytes BaseFile() {
  auto cf = CompoundFile::CreateInMemory();
  PutStream(cf->Root(), u"Workbook", PatternBytes(10000, 1));
  PutStream(cf->Root(), u"Small", PatternBytes(200, 2));
  Storage& sub = cf->Root().CreateStorage(u"Sub");
  PutStream(sub, u"Inner", PatternBytes(100, 3));
  PutStream(sub, u"Other", PatternBytes(5000, 4));
  return cf->GetBytes();
}

void ReadEverything(Storage& s) {
  for (const auto& e : s.Entries())
    if (e.kind == EntryKind::Storage) ReadEverything(s.OpenStorage(e.name));
}

struct DamageCase {
  const char* what;
  std::function<void(Layout&)> damage;
  const char* message;  // a part of the expected message
};

TEST(CfbDamaged, EachDamageRaisesOneClearError) {
  const DamageCase cases[] = {
      {"header cut", [](Layout& l) { l.f.resize(300); }, "header needs 512 bytes"},
      {"body cut", [](Layout& l) { l.f.resize(kSS * 4); }, "outside the"},
      {"not compound", [](Layout& l) { l.f = PatternBytes(4096, 9); }, "signature"},
      {"version", [](Layout& l) { PutU16(l.f.data() + kOffMajorVersion, 5); }, "version 5"},
      {"sector shift", [](Layout& l) { PutU16(l.f.data() + kOffSectorShift, 10); },
       "sector shift 10"},
      {"looping FAT chain",
       [](Layout& l) {
         const uint32_t s = l.U32(l.Field(u"Workbook", kDirOffStartSector));
         l.Set(l.FatEntry(l.Fat(l.Fat(s))), s);
       },
       "loops at sector"},
      {"chain off the file",
       [](Layout& l) {
         const uint32_t s = l.U32(l.Field(u"Workbook", kDirOffStartSector));
         l.Set(l.FatEntry(s), 90000);
       },
       "sector 90000, outside"},
      {"chain too short",
       [](Layout& l) {
         const uint32_t s = l.U32(l.Field(u"Workbook", kDirOffStartSector));
         l.Set(l.FatEntry(s), kEndOfChain);
       },
       "ends after 1 sectors"},
      {"chain through the directory",
       [](Layout& l) {
         const uint32_t s = l.U32(l.Field(u"Workbook", kDirOffStartSector));
         l.Set(l.FatEntry(s), l.U32(kOffFirstDirSector));
       },
       "belongs to both the directory and the stream \"Workbook\""},
      {"two streams share sectors",
       [](Layout& l) {
         l.Set(l.Field(u"Other", kDirOffStartSector),
               l.U32(l.Field(u"Workbook", kDirOffStartSector)));
       },
       "belongs to both"},
      {"FAT marker inside a chain",
       [](Layout& l) {
         const uint32_t s = l.U32(l.Field(u"Workbook", kDirOffStartSector));
         l.Set(l.FatEntry(s), kFatSect);
       },
       "marker FFFFFFFD"},
      {"root child outside the directory",
       [](Layout& l) { l.Set(l.DirEntry(0) + kDirOffChild, 5000); },
       "points to entry 5000, outside"},
      {"sibling outside the directory",
       [](Layout& l) { l.Set(l.Field(u"Inner", kDirOffRight), 77777); }, "entry 77777"},
      {"sibling points to itself",
       [](Layout& l) { l.Set(l.Field(u"Small", kDirOffLeft), l.Find(u"Small")); }, "cycle"},
      {"storage is its own child",
       [](Layout& l) { l.Set(l.Field(u"Sub", kDirOffChild), l.Find(u"Sub")); }, "cycle"},
      {"child links back to the root", [](Layout& l) { l.Set(l.Field(u"Sub", kDirOffChild), 0); },
       "entry 0 is linked a second time"},
      {"absurd stream size",
       [](Layout& l) { l.Set(l.Field(u"Workbook", kDirOffSize), 0x7FFFFFF0); },
       "more than the file holds"},
      {"absurd FAT sector count", [](Layout& l) { l.Set(kOffNumFatSectors, 0x0FFFFFFF); },
       "FAT sectors in a file of"},
      {"absurd mini stream size", [](Layout& l) { l.Set(l.DirEntry(0) + kDirOffSize, 0xFFFFFF00); },
       "mini stream"},
      {"mini stream missing", [](Layout& l) { l.Set(l.DirEntry(0) + kDirOffSize, 0); },
       "outside the 0 mini sectors"},
      {"looping mini chain",
       [](Layout& l) {
         const uint32_t m = l.U32(l.Field(u"Small", kDirOffStartSector));
         l.Set(l.Sector(l.U32(kOffFirstMiniFatSector)) + 4 * m, m);
       },
       "loops at mini sector"},
      {"mini streams share mini sectors",
       [](Layout& l) {
         l.Set(l.Field(u"Inner", kDirOffStartSector), l.U32(l.Field(u"Small", kDirOffStartSector)));
       },
       "mini sector"},
      {"entry of unknown type", [](Layout& l) { l.f[l.Field(u"Small", kDirOffType)] = 7; },
       "has type 7"},
      {"root of another type", [](Layout& l) { l.f[l.DirEntry(0) + kDirOffType] = 1; },
       "not the root type"},
      {"name too long",
       [](Layout& l) { PutU16(l.f.data() + l.Field(u"Small", kDirOffNameLength), 90); },
       "name length of 90"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes bytes = BaseFile();
    Layout l(bytes);
    c.damage(l);
    try {
      auto cf = CompoundFile::OpenRead(bytes);
      ReadEverything(cf->Root());
      ADD_FAILURE() << "no error";
    } catch (const EXLSError& e) {
      const std::string m = e.what();
      EXPECT_NE(m.find(c.message), std::string::npos) << m;
      EXPECT_EQ(m.find('\n'), std::string::npos) << m;
    }
  }
}

TEST(CfbDamaged, DuplicateNamesInOneStorage) {
  Bytes bytes = BaseFile();
  Layout l(bytes);
  // "Other" becomes "INNER", the same name as its sibling "Inner" in the format's order.
  const std::u16string inner = u"INNER";
  const size_t at = l.Field(u"Other", 0);
  for (size_t i = 0; i < inner.size(); ++i) PutU16(bytes.data() + at + 2 * i, inner[i]);
  try {
    CompoundFile::OpenRead(bytes);
    ADD_FAILURE() << "no error";
  } catch (const EXLSError& e) {
    EXPECT_NE(std::string(e.what()).find("repeats the name"), std::string::npos) << e.what();
  }
}

TEST(CfbDamaged, LoopingDifatChain) {
  auto cf = CompoundFile::CreateInMemory();
  PutStream(cf->Root(), u"Workbook", PatternBytes(8 * 1024 * 1024, 5));
  Bytes bytes = cf->GetBytes();
  Layout l(bytes);
  const uint32_t difat = l.U32(kOffFirstDifatSector);
  ASSERT_NE(difat, kEndOfChain);
  l.Set(kOffNumFatSectors, l.U32(kOffNumFatSectors) + 200);  // ask for more than one DIFAT sector
  l.Set(l.Sector(difat) + kSS - 4, difat);                   // whose link points to itself
  try {
    CompoundFile::OpenRead(bytes);
    ADD_FAILURE() << "no error";
  } catch (const EXLSError& e) {
    EXPECT_NE(std::string(e.what()).find("the DIFAT loops"), std::string::npos) << e.what();
  }
}

TEST(CfbDamaged, DeepStorageNestingIsBounded) {
  auto cf = CompoundFile::CreateInMemory();
  Storage* s = &cf->Root();
  for (int i = 0; i < 200; ++i) s = &s->CreateStorage(u"S");
  EXPECT_THROW(CompoundFile::OpenRead(cf->GetBytes()), EXLSError);
}

// Sloppiness seen in files of other writers that must not stop a read.
TEST(CfbTolerated, SloppyButReadableFiles) {
  const struct {
    const char* what;
    std::function<void(Layout&)> change;
  } cases[] = {
      {"garbage in the high half of a version 3 size",
       [](Layout& l) { l.Set(l.Field(u"Workbook", kDirOffSize) + 4, 0xDEADBEEF); }},
      {"trailing partial sector", [](Layout& l) { l.f.insert(l.f.end(), 100, 0xAB); }},
      {"short last sector", [](Layout& l) { l.f.erase(l.f.end() - 100, l.f.end()); }},
      {"directory chain ends with a free marker",
       [](Layout& l) {
         uint32_t s = l.U32(kOffFirstDirSector);
         while (l.Fat(s) != kEndOfChain) s = l.Fat(s);
         l.Set(l.FatEntry(s), kFreeSect);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes bytes = BaseFile();
    Layout l(bytes);
    c.change(l);
    try {
      auto cf = CompoundFile::OpenRead(bytes);
      EXPECT_EQ(cf->Root().OpenStream(u"Workbook").Data(), PatternBytes(10000, 1));
      EXPECT_EQ(cf->Root().OpenStream(u"Small").Data(), PatternBytes(200, 2));
      EXPECT_EQ(cf->Root().OpenStorage(u"Sub").OpenStream(u"Other").Data(), PatternBytes(5000, 4));
    } catch (const EXLSError& e) {
      ADD_FAILURE() << e.what();
    }
  }
}

}  // namespace
}  // namespace xls::cfb

namespace xls::cfb {
namespace {

TEST(CfbDamaged, PathsThatAreNoCompoundFile) {
  EXPECT_FALSE(CompoundFile::IsCompoundFile("/nonexistent/file.xls"));
  EXPECT_THROW(CompoundFile::OpenRead("/nonexistent/file.xls"), EXLSError);
  EXPECT_FALSE(CompoundFile::IsCompoundFile(XLSB_SOURCE_DIR));
  EXPECT_THROW(CompoundFile::OpenRead(std::string(XLSB_SOURCE_DIR)), EXLSError);
  EXPECT_THROW(CompoundFile::OpenRead(std::span<const uint8_t>()), EXLSError);
  EXPECT_THROW(CompoundFile::Create(""), EXLSError);
}

}  // namespace
}  // namespace xls::cfb

namespace xls::cfb {
namespace {

// Inputs the fuzzer found, kept with the cause each must report.
TEST(CfbDamaged, FuzzerFindingsRaiseCleanly) {
  const struct {
    const char* file;
    const char* message;
  } cases[] = {
      // Version 4 stream size close to 2^64: rounding it up to sectors overflowed and reached an
      // allocation of the full size.
      {"v4_size_near_2_64.cfb", "more than the file holds"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string path = std::string(XLSB_FIXTURES_DIR) + "/cfb/" + c.file;
    ASSERT_TRUE(CompoundFile::IsCompoundFile(path)) << path;
    try {
      CompoundFile::OpenRead(path);
      ADD_FAILURE() << "no error";
    } catch (const EXLSError& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
  }
}

}  // namespace
}  // namespace xls::cfb
