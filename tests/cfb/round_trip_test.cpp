// Writing and reading back: stream sizes on both sides of the mini stream cutoff, a file large
// enough to need the DIFAT, nested storages, version 4 sectors, and the directory tree that other
// readers depend on.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "cfb/cfb_format.h"
#include "cfb/cfb_internal.h"
#include "cfb/cfb_test_util.h"
#include "cfb/compound_file.h"

namespace xls::cfb {
namespace {

using testing::PatternBytes;
using testing::PutStream;
using testing::StreamBytes;

const size_t kSizes[] = {0, 1, 63, 64, 65, 4095, 4096, 4097, 100000};

std::u16string SizeName(size_t n) {
  const std::string s = "s" + std::to_string(n);
  return std::u16string(s.begin(), s.end());
}

void FillSizes(Storage& root) {
  for (size_t i = 0; i < std::size(kSizes); ++i)
    PutStream(root, SizeName(kSizes[i]), PatternBytes(kSizes[i], static_cast<uint32_t>(i)));
}

void CheckSizes(Storage& root) {
  for (size_t i = 0; i < std::size(kSizes); ++i) {
    SCOPED_TRACE(kSizes[i]);
    EXPECT_EQ(StreamBytes(root, SizeName(kSizes[i])),
              PatternBytes(kSizes[i], static_cast<uint32_t>(i)));
  }
}

TEST(CfbRoundTrip, StreamSizesInMemoryAndOnDisk) {
  auto mem = CompoundFile::CreateInMemory();
  FillSizes(mem->Root());
  const Bytes bytes = mem->GetBytes();
  EXPECT_EQ(bytes.size() % 512, 0u);
  EXPECT_TRUE(CompoundFile::IsCompoundData(bytes));
  CheckSizes(CompoundFile::OpenRead(bytes)->Root());

  const std::string path = testing::TempPath("cfb-roundtrip");
  auto disk = CompoundFile::Create(path);
  FillSizes(disk->Root());
  disk->Commit();
  EXPECT_TRUE(CompoundFile::IsCompoundFile(path));
  EXPECT_EQ(disk->GetBytes(), bytes);  // same tree, same bytes
  auto back = CompoundFile::OpenRead(path);
  CheckSizes(back->Root());
  // Entries come back in the directory's order: shorter names first.
  const auto entries = back->Root().Entries();
  ASSERT_EQ(entries.size(), std::size(kSizes));
  for (size_t i = 1; i < entries.size(); ++i)
    EXPECT_LT(CompareNames(entries[i - 1].name, entries[i].name), 0);
  std::filesystem::remove(path);
}

TEST(CfbRoundTrip, EmptyFileAndRecommit) {
  auto cf = CompoundFile::CreateInMemory();
  const Bytes empty = cf->GetBytes();
  EXPECT_TRUE(CompoundFile::OpenRead(empty)->Root().Entries().empty());
  PutStream(cf->Root(), u"Workbook", PatternBytes(5000, 1));
  EXPECT_EQ(cf->GetBytes(), empty);  // as last committed
  cf->Commit();
  EXPECT_EQ(StreamBytes(CompoundFile::OpenRead(cf->GetBytes())->Root(), u"workbook"),
            PatternBytes(5000, 1));
}

TEST(CfbRoundTrip, LargeStreamNeedsDifat) {
  const size_t size = 8 * 1024 * 1024 + 123;
  auto cf = CompoundFile::CreateInMemory();
  PutStream(cf->Root(), u"Workbook", PatternBytes(size, 7));
  PutStream(cf->Root(), u"\x05SummaryInformation", PatternBytes(300, 8));
  const Bytes bytes = cf->GetBytes();
  const uint32_t numFat = GetU32(bytes.data() + kOffNumFatSectors);
  EXPECT_GT(numFat, kHeaderDifatEntries);
  EXPECT_GE(GetU32(bytes.data() + kOffNumDifatSectors), 1u);
  auto back = CompoundFile::OpenRead(bytes);
  EXPECT_EQ(StreamBytes(back->Root(), u"Workbook"), PatternBytes(size, 7));
  EXPECT_EQ(StreamBytes(back->Root(), u"\x05SummaryInformation"), PatternBytes(300, 8));
}

TEST(CfbRoundTrip, ManyEntriesInOneStorage) {
  auto cf = CompoundFile::CreateInMemory();
  const size_t count = 20000;
  for (size_t i = 0; i < count; ++i) {
    const std::string n = "E" + std::to_string(i * 7919 % count);
    PutStream(cf->Root(), std::u16string(n.begin(), n.end()), PatternBytes(i % 3, 1));
  }
  auto back = CompoundFile::OpenRead(cf->GetBytes());
  const auto entries = back->Root().Entries();
  ASSERT_EQ(entries.size(), count);
  for (size_t i = 1; i < count; ++i)
    ASSERT_LT(CompareNames(entries[i - 1].name, entries[i].name), 0);
  EXPECT_TRUE(back->Root().HasEntry(u"e19999"));
}

TEST(CfbRoundTrip, Version4Sectors) {
  Storage root;
  FillSizes(root);
  Storage& sub = root.CreateStorage(u"_VBA_PROJECT_CUR");
  PutStream(sub, u"PROJECT", PatternBytes(700, 3));
  const Bytes bytes = SerializeCompoundFile(root, 4);
  EXPECT_EQ(GetU16(bytes.data() + kOffMajorVersion), 4);
  EXPECT_EQ(bytes.size() % 4096, 0u);
  auto back = CompoundFile::OpenRead(bytes);
  CheckSizes(back->Root());
  EXPECT_EQ(StreamBytes(back->Root().OpenStorage(u"_vba_project_cur"), u"project"),
            PatternBytes(700, 3));
}

TEST(CfbRoundTrip, NestedStoragesCopiedWhole) {
  auto src = CompoundFile::CreateInMemory();
  Storage& vba = src->Root().CreateStorage(u"_VBA_PROJECT_CUR");
  vba.clsid[0] = 0x42;
  vba.stateBits = 7;
  PutStream(vba, u"PROJECT", PatternBytes(500, 1));
  Storage& inner = vba.CreateStorage(u"VBA");
  PutStream(inner, u"dir", PatternBytes(5000, 2));
  PutStream(inner, u"Module1", PatternBytes(0, 3));
  inner.CreateStorage(u"Empty");
  auto read = CompoundFile::OpenRead(src->GetBytes());

  // Read → in-memory file → sub-storage of a new file → bytes → read again.
  auto carrier = CompoundFile::CreateInMemory();
  read->Root().OpenStorage(u"_VBA_PROJECT_CUR").CopyTo(carrier->Root());
  auto dest = CompoundFile::CreateInMemory();
  PutStream(dest->Root(), u"Workbook", PatternBytes(10, 4));
  carrier->Root().CopyTo(dest->Root().CreateStorage(u"_VBA_PROJECT_CUR"));
  auto back = CompoundFile::OpenRead(dest->GetBytes());

  Storage& v = back->Root().OpenStorage(u"_VBA_PROJECT_CUR");
  EXPECT_EQ(v.clsid[0], 0x42);
  EXPECT_EQ(v.stateBits, 7u);
  EXPECT_EQ(StreamBytes(v, u"PROJECT"), PatternBytes(500, 1));
  Storage& in = v.OpenStorage(u"VBA");
  EXPECT_EQ(StreamBytes(in, u"dir"), PatternBytes(5000, 2));
  EXPECT_EQ(in.OpenStream(u"Module1").Size(), 0u);
  EXPECT_TRUE(in.OpenStorage(u"Empty").Entries().empty());
  EXPECT_EQ(in.Entries().size(), 3u);

  EXPECT_THROW(vba.CopyTo(inner), EXLSError);                        // into itself
  EXPECT_THROW(vba.CopyTo(inner.OpenStorage(u"Empty")), EXLSError);  // into a descendant
  Storage clash;
  PutStream(clash, u"DIR", PatternBytes(1, 1));
  EXPECT_THROW(inner.CopyTo(clash), EXLSError);  // names compare case-insensitively
}

TEST(CfbStorage, NamesAndKinds) {
  Storage s;
  s.CreateStream(u"Workbook");
  s.CreateStorage(u"Objects");
  EXPECT_TRUE(s.HasEntry(u"WORKBOOK"));
  EXPECT_NO_THROW(s.OpenStream(u"workBOOK"));
  EXPECT_THROW(s.OpenStream(u"Objects"), EXLSError);
  EXPECT_THROW(s.OpenStorage(u"Workbook"), EXLSError);
  EXPECT_THROW(s.OpenStream(u"Book"), EXLSError);
  EXPECT_THROW(s.CreateStream(u"workbook"), EXLSError);
  EXPECT_THROW(s.CreateStorage(u"OBJECTS"), EXLSError);
  EXPECT_THROW(s.CreateStream(u""), EXLSError);
  EXPECT_THROW(s.CreateStream(u"abcdefghijklmnopqrstuvwxyz789012"), EXLSError);  // 32
  EXPECT_NO_THROW(s.CreateStream(u"abcdefghijklmnopqrstuvwxyz78901"));           // 31
  EXPECT_THROW(s.CreateStream(u"a/b"), EXLSError);
  const auto e = s.Entries();
  ASSERT_EQ(e.size(), 3u);
  EXPECT_EQ(e[0].name, u"Workbook");  // creation order
  EXPECT_EQ(e[1].kind, EntryKind::Storage);
}

TEST(CfbStorage, NameOrder) {
  EXPECT_LT(CompareNames(u"Z", u"AA"), 0);  // shorter first
  EXPECT_EQ(CompareNames(u"book", u"BOOK"), 0);
  EXPECT_LT(CompareNames(u"abc", u"ABD"), 0);
  EXPECT_EQ(CompareNames(u"é", u"É"), 0);
  EXPECT_EQ(CompareNames(u"я", u"Я"), 0);
  EXPECT_GT(CompareNames(u"\x05"
                         u"Sum",
                         u"\x01"
                         u"Com"),
            0);
  EXPECT_GT(CompareNames(u"_", u"a"), 0);  // '_' (0x5F) after 'A' (0x41)
}

TEST(CfbStream, ReadWriteSeek) {
  Stream s;
  s.Write("hello", 5);
  EXPECT_EQ(s.Position(), 5);
  EXPECT_EQ(s.Seek(-2, SeekOrigin::End), 3);
  char buf[8] = {};
  EXPECT_EQ(s.Read(buf, sizeof buf), 2u);
  EXPECT_EQ(std::string(buf, 2), "lo");
  EXPECT_EQ(s.Read(buf, 1), 0u);
  EXPECT_EQ(s.Seek(1, SeekOrigin::Begin), 1);
  EXPECT_EQ(s.Seek(2, SeekOrigin::Current), 3);
  s.Write("LOW", 3);  // overwrites and grows
  EXPECT_EQ(std::string(s.Data().begin(), s.Data().end()), "helLOW");
  EXPECT_EQ(s.Seek(2, SeekOrigin::End), 8);
  s.Write("!", 1);  // the gap reads as zeros
  EXPECT_EQ(s.Size(), 9u);
  EXPECT_EQ(s.Data()[6], 0);
  EXPECT_THROW(s.Seek(-1, SeekOrigin::Begin), EXLSError);
  EXPECT_THROW(s.Seek(-10, SeekOrigin::End), EXLSError);
  EXPECT_EQ(s.Position(), 9);
}

// ---- the written directory is a valid red-black tree ----

struct RawDir {
  std::vector<const uint8_t*> entries;
};

// Follows the directory chain of a version 3 file written here (FAT in the header's list).
RawDir LoadDir(const Bytes& f) {
  const size_t ss = 512;
  std::vector<uint32_t> fat;
  for (uint32_t i = 0; i < GetU32(f.data() + kOffNumFatSectors) && i < kHeaderDifatEntries; ++i) {
    const uint8_t* p = f.data() + (GetU32(f.data() + kOffHeaderDifat + 4 * i) + 1) * ss;
    for (size_t j = 0; j < ss / 4; ++j) fat.push_back(GetU32(p + 4 * j));
  }
  RawDir d;
  for (uint32_t s = GetU32(f.data() + kOffFirstDirSector); s != kEndOfChain; s = fat.at(s))
    for (size_t j = 0; j < ss / kDirEntrySize; ++j)
      d.entries.push_back(f.data() + (s + 1) * ss + j * kDirEntrySize);
  return d;
}

std::u16string RawName(const uint8_t* e) {
  std::u16string n;
  for (size_t i = 0; i + 2 < GetU16(e + kDirOffNameLength); i += 2) n.push_back(GetU16(e + i));
  return n;
}

// Returns the black height; checks order, colours and links below node.
int CheckTree(const RawDir& d, uint32_t node, std::vector<std::u16string>& inOrder,
              bool parentRed) {
  if (node == kNoStream) return 1;
  const uint8_t* e = d.entries.at(node);
  const bool red = e[kDirOffColor] == kRed;
  EXPECT_FALSE(red && parentRed) << "red node under a red node";
  const int lh = CheckTree(d, GetU32(e + kDirOffLeft), inOrder, red);
  inOrder.push_back(RawName(e));
  const int rh = CheckTree(d, GetU32(e + kDirOffRight), inOrder, red);
  EXPECT_EQ(lh, rh) << "black heights differ";
  if (e[kDirOffType] == kTypeStorage) {
    std::vector<std::u16string> sub;
    const uint32_t child = GetU32(e + kDirOffChild);
    if (child != kNoStream) {
      EXPECT_EQ(d.entries.at(child)[kDirOffColor], kBlack);
    }
    CheckTree(d, child, sub, false);
    for (size_t i = 1; i < sub.size(); ++i) EXPECT_LT(CompareNames(sub[i - 1], sub[i]), 0);
  }
  return lh + (red ? 0 : 1);
}

TEST(CfbDirectory, EveryStorageIsAValidRedBlackTree) {
  for (size_t count : {1, 2, 3, 4, 5, 6, 7, 8, 12, 15, 16, 31, 40, 100}) {
    SCOPED_TRACE(count);
    auto cf = CompoundFile::CreateInMemory();
    Storage& sub = cf->Root().CreateStorage(u"Sub");
    for (size_t i = 0; i < count; ++i) {
      // Names of mixed length and case, created in no particular order.
      const std::string n =
          std::string(1 + (i * 7) % 5, static_cast<char>('a' + (i * 11) % 26)) + std::to_string(i);
      PutStream(cf->Root(), std::u16string(n.begin(), n.end()), PatternBytes(i, 1));
      PutStream(sub, std::u16string(n.begin(), n.end()), PatternBytes(i, 2));
    }
    const Bytes bytes = cf->GetBytes();
    const RawDir d = LoadDir(bytes);
    std::vector<std::u16string> names;
    const uint32_t top = GetU32(d.entries[0] + kDirOffChild);
    EXPECT_EQ(d.entries.at(top)[kDirOffColor], kBlack);
    CheckTree(d, top, names, false);
    ASSERT_EQ(names.size(), count + 1);
    for (size_t i = 1; i < names.size(); ++i) EXPECT_LT(CompareNames(names[i - 1], names[i]), 0);
  }
}

}  // namespace
}  // namespace xls::cfb
