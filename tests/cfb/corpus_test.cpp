// Every compound file of the corpus of workbooks written by other programs opens, and its root
// holds a workbook stream.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "cfb/compound_file.h"
#include "platform/codec.h"

namespace xls::cfb {
namespace {

namespace fs = std::filesystem;

std::u16string Lower(std::u16string s) {
  for (auto& c : s)
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
  return s;
}

// Reads every stream below a storage; returns the number of streams.
size_t ReadAll(Storage& s) {
  size_t n = 0;
  for (const auto& e : s.Entries()) {
    if (e.kind == EntryKind::Storage) {
      n += ReadAll(s.OpenStorage(e.name));
    } else {
      Stream& st = s.OpenStream(e.name);
      EXPECT_EQ(st.Size(), e.size);
      ++n;
    }
  }
  return n;
}

TEST(CfbCorpus, EveryCompoundFileOpensWithAWorkbookStream) {
  const fs::path dir = XLSB_CORPUS_DIR;
  if (!fs::is_directory(dir)) GTEST_SKIP() << "corpus folder " << dir << " is absent";
  size_t compound = 0;
  for (const auto& item : fs::recursive_directory_iterator(dir)) {
    if (!item.is_regular_file()) continue;
    const std::string path = item.path().string();
    if (!CompoundFile::IsCompoundFile(path)) continue;
    ++compound;
    SCOPED_TRACE(path);
    try {
      auto cf = CompoundFile::OpenRead(path);
      const auto entries = cf->Root().Entries();
      const bool hasWorkbook = std::any_of(entries.begin(), entries.end(), [](const EntryInfo& e) {
        const std::u16string n = Lower(e.name);
        return e.kind == EntryKind::Stream && (n == u"workbook" || n == u"book");
      });
      EXPECT_TRUE(hasWorkbook);
      EXPECT_TRUE(cf->Root().HasEntry(u"WORKBOOK") || cf->Root().HasEntry(u"BOOK"));
      EXPECT_GT(ReadAll(cf->Root()), 0u);
      // Whatever was read is written back and read again unchanged.
      auto copy = CompoundFile::CreateInMemory();
      cf->Root().CopyTo(copy->Root());
      const Bytes bytes = copy->GetBytes();
      auto again = CompoundFile::OpenRead(bytes);
      EXPECT_EQ(again->Root().Entries().size(), entries.size());
      for (const auto& e : entries) {
        if (e.kind != EntryKind::Stream) continue;
        EXPECT_EQ(again->Root().OpenStream(e.name).Data(), cf->Root().OpenStream(e.name).Data());
      }
    } catch (const EXLSError& e) {
      ADD_FAILURE() << "EXLSError: " << e.what();
    }
  }
  EXPECT_GT(compound, 0u) << "no compound file in the corpus";
}

}  // namespace
}  // namespace xls::cfb
