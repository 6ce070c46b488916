#include <gtest/gtest.h>

#include "platform/bytes.h"
#include "platform/codec.h"

namespace xls {
namespace {

TEST(Codec, Utf8RoundTripKeepsEveryPlane) {
  const std::u16string wide = u"Excel导入导出 \U0001F600 é";
  EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(wide)), wide);
  EXPECT_EQ(Utf8ToUtf16("\xFF"
                        "a"),
            u"\uFFFDa");
}

TEST(Codec, CodePagesThroughIconv) {
  struct Case {
    int cp;
    std::string bytes;
    std::u16string wide;
  } cases[] = {
      {1252, "caf\xE9 \x80", u"café €"},
      {936, "\xB5\xBC\xC8\xEB", u"导入"},
      {1251, "\xCF\xF0\xE8", u"При"},
      {10000, "\x8E", u"é"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CodePageToUtf16(c.bytes, c.cp), c.wide) << c.cp;
    EXPECT_EQ(Utf16ToCodePage(c.wide, c.cp), c.bytes) << c.cp;
  }
  EXPECT_EQ(Utf16ToCodePage(u"a导", 1252), "a?");
  EXPECT_EQ(CodePageFromLocaleName("zh_CN.UTF-8"), 936);
  EXPECT_EQ(CodePageFromLocaleName("zh_TW.UTF-8"), 950);
  EXPECT_EQ(CodePageFromLocaleName("C"), 1252);
}

TEST(ByteReader, ShortReadRaisesInsteadOfReadingPast) {
  const uint8_t data[] = {1, 2, 3};
  ByteReader r(data, sizeof data, "record");
  EXPECT_EQ(r.U16(), 0x0201);
  EXPECT_THROW(r.U16(), EXLSError);
  EXPECT_EQ(r.Pos(), 2u);
  EXPECT_THROW(r.NeedArray(SIZE_MAX / 2, 4), EXLSError);
  EXPECT_EQ(r.U8(), 3);
  EXPECT_TRUE(r.AtEnd());
}

}  // namespace
}  // namespace xls
