#include "workbook/xls_utils.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/codec.h"
#include "platform/error.h"

namespace xls {
namespace {

TEST(XlsUtils, ColumnLettersAndReferenceTexts) {
  struct Case {
    int col;
    const char16_t* letters;
  } cases[] = {{0, u"A"},   {25, u"Z"},   {26, u"AA"},  {51, u"AZ"},
               {52, u"BA"}, {233, u"HZ"}, {234, u"IA"}, {255, u"IV"}};
  for (const auto& c : cases) {
    EXPECT_EQ(CellRefText(c.col, 0), std::u16string(c.letters) + u"1") << c.col;
    // Every column text parses back to its column.
    TCellRef ref;
    ASSERT_TRUE(ParseCellRef(std::u16string(c.letters) + u"7", ref)) << c.col;
    EXPECT_EQ(ref.Col, c.col);
    EXPECT_EQ(ref.Row, 6);
  }
  EXPECT_EQ(CellRefText(2, 9, true, true), u"$C$10");
  EXPECT_EQ(CellRefText(2, 9, false, true), u"C$10");
  EXPECT_EQ(CellRefText(255, 65535, true, false), u"$IV65536");
  EXPECT_EQ(AreaRefText(0, 0, 1, 1), u"A1:B2");
  EXPECT_EQ(AreaRefText(0, 0, 3, 4, true, true, false, false), u"$A$1:D5");
}

TEST(XlsUtils, ParseCellRefTable) {
  struct Case {
    const char* text;
    bool ok;
    TCellRef ref;
  } cases[] = {
      {"A1", true, {0, 0, false, false}},
      {"$A1", true, {0, 0, true, false}},
      {"A$1", true, {0, 0, false, true}},
      {"$IV$65536", true, {255, 65535, true, true}},
      {"AB12", true, {27, 11, false, false}},
      {"Z100", true, {25, 99, false, false}},
      // The column is capped at 255.
      {"IZ5", true, {255, 4, false, false}},
      {"a1", false, {}},
      {"A", false, {}},
      {"A1B", false, {}},
      {"JA1", false, {}},
      {"", false, {}},
      {"A$", false, {}},
      {"$", false, {}},
      {"$$A1", false, {}},
      {"AB", false, {}},
      {"ABC1", false, {}},
      {"A-1", false, {}},
      {"A 1", false, {}},
      // Row numbers outside 1..65536 are rejected instead of wrapping around.
      {"A0", false, {}},
      {"A65537", false, {}},
      {"A99999999999999999999", false, {}},
      {"A00001", true, {0, 0, false, false}},
  };
  for (const auto& c : cases) {
    TCellRef ref;
    EXPECT_EQ(ParseCellRef(std::string_view(c.text), ref), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(ref, c.ref) << c.text;
    }
    TCellRef wide;
    EXPECT_EQ(ParseCellRef(Utf8ToUtf16(c.text), wide), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(wide, c.ref) << c.text;
    }
  }
}

TEST(XlsUtils, ParseAreaRef) {
  TCellRef a, b;
  ASSERT_TRUE(ParseAreaRef(u"A1:B2", a, b));
  EXPECT_EQ(a, (TCellRef{0, 0, false, false}));
  EXPECT_EQ(b, (TCellRef{1, 1, false, false}));
  ASSERT_TRUE(ParseAreaRef("$C$3:IV65536", a, b));
  EXPECT_EQ(a, (TCellRef{2, 2, true, true}));
  EXPECT_EQ(b, (TCellRef{255, 65535, false, false}));
  EXPECT_FALSE(ParseAreaRef(u"A1", a, b));
  EXPECT_FALSE(ParseAreaRef(u"A1:", a, b));
  EXPECT_FALSE(ParseAreaRef(u":B2", a, b));
  EXPECT_FALSE(ParseAreaRef(u"A1:B2:C3", a, b));
}

TEST(XlsUtils, ErrorCodes) {
  struct Case {
    uint8_t code;
    const char16_t* text;
    uint8_t index;
  } cases[] = {{0x00, u"#NULL!", 1}, {0x07, u"#DIV/0!", 2}, {0x0F, u"#VALUE!", 3},
               {0x17, u"#REF!", 4},  {0x1D, u"#NAME?", 5},  {0x24, u"#NUM!", 6},
               {0x2A, u"#N/A", 7},   {0x2B, u"#???", 0},    {0xFF, u"#???", 0}};
  for (const auto& c : cases) {
    EXPECT_EQ(ErrorCodeText(c.code), c.text) << int(c.code);
    EXPECT_EQ(ErrorCodeToIndex(c.code), static_cast<TCellError>(c.index)) << int(c.code);
  }
  for (TCellError e : {ceNull, ceDiv0, ceValue, ceRef, ceName, ceNum})
    EXPECT_EQ(ErrorCodeToIndex(ErrorIndexToCode(e)), e);
  EXPECT_EQ(ErrorIndexToCode(ceNone), 0x2A);
  EXPECT_EQ(ErrorIndexToCode(ceNA), 0x2A);
  EXPECT_EQ(ErrorIndexToCode(static_cast<TCellError>(200)), 0x2A);
}

TEST(XlsUtils, OptionByteStrings) {
  const Bytes narrow = {0, 'a', 'b', 'c'};
  const Bytes wide = {1, 'A', 0, 0x2C, 0x54};  // "A" and U+542C
  EXPECT_EQ(FlaggedStringLength(Bytes{}), 0);
  EXPECT_EQ(FlaggedStringLength(narrow), 3);
  EXPECT_EQ(FlaggedStringLength(wide), 2);

  EXPECT_EQ(MakeFlaggedString(narrow, 2), (Bytes{0, 'a', 'b'}));
  EXPECT_EQ(MakeFlaggedString(wide, 1), (Bytes{1, 'A', 0}));
  EXPECT_EQ(MakeFlaggedString(Bytes{5, 'x', 0}, 1), (Bytes{1, 'x', 0}));
  EXPECT_THROW(MakeFlaggedString(narrow, 4), EXLSError);
  EXPECT_THROW(MakeFlaggedString(Bytes{}, 0), EXLSError);

  EXPECT_EQ(BiffCharsToWide(wide, 2), u"A\u542C");
  EXPECT_EQ(BiffCharsToWide(Bytes{0, 0xE9, 'x'}, 2), u"\u00E9x");  // no code-page conversion
  EXPECT_EQ(BiffCharsToWide(Bytes{2, 'q'}, 1), u"q");              // only 1 means 16-bit
  EXPECT_EQ(BiffCharsToWide(narrow, 0), u"");
  EXPECT_EQ(BiffCharsToWide(Bytes{}, -1), u"");
  EXPECT_THROW(BiffCharsToWide(wide, 3), EXLSError);
  EXPECT_THROW(BiffCharsToWide(narrow, 4), EXLSError);

  EXPECT_EQ(WideToBiffChars(u"A\u542C"), wide);
  uint8_t small[4];
  EXPECT_THROW(WideToBiffChars(u"AB", small), EXLSError);
  uint8_t buf[8] = {};
  EXPECT_EQ(WideToBiffChars(u"AB", buf), 5u);
  EXPECT_EQ(Bytes(buf, buf + 5), (Bytes{1, 'A', 0, 'B', 0}));
}

TEST(XlsUtils, DecodeStringId) {
  EXPECT_EQ(DecodeStringId(Bytes{}), u"");
  EXPECT_EQ(DecodeStringId(Bytes{1, 'A', 0, 'B', 0}), u"AB");
  EXPECT_EQ(DecodeStringId(Bytes{1, 'A', 0, 'B'}), u"A");  // an odd byte is dropped
  const int saved = SystemCodePage();
  SetSystemCodePage(1252);
  EXPECT_EQ(DecodeStringId(Bytes{0, 'c', 'a', 'f', 0xE9}), u"caf\u00E9");
  SetSystemCodePage(936);
  EXPECT_EQ(DecodeStringId(Bytes{0, 0xB5, 0xBC}), u"\u5BFC");
  SetSystemCodePage(saved);
  try {
    DecodeStringId(Bytes{2, 'A'});
    FAIL() << "option byte 2 accepted";
  } catch (const EXLSError& e) {
    EXPECT_STREQ(e.what(), "Bad excel string id.");
  }
}

TEST(XlsUtils, Utf16BytesToWide) {
  const Bytes buf = {'H', 0, 'i', 0, 0, 0};
  EXPECT_EQ(Utf16BytesToWide(buf, 6), u"Hi");
  EXPECT_EQ(Utf16BytesToWide(buf, 4), u"H");
  EXPECT_EQ(Utf16BytesToWide(buf, 1), u"");
  EXPECT_EQ(Utf16BytesToWide(buf, 0), u"");
  EXPECT_THROW(Utf16BytesToWide(buf, 8), EXLSError);
}

TEST(XlsUtils, HexText) {
  EXPECT_EQ(HexByte("0A"), 10);
  EXPECT_EQ(HexByte("FF"), 255);
  EXPECT_EQ(HexByte(u"1F"), 31);
  EXPECT_EQ(HexToBytes("0A1F"), (Bytes{10, 31}));
  EXPECT_EQ(HexToBytes(u"0A1F7"), (Bytes{10, 31}));
  EXPECT_EQ(HexToBytes(""), Bytes{});
  for (const char* bad : {"ABC", "A", ""}) {
    try {
      HexByte(bad);
      FAIL() << bad;
    } catch (const EXLSError& e) {
      EXPECT_STREQ(e.what(), "Length error in hex string.");
    }
  }
}

TEST(XlsUtils, DecodeRK) {
  struct Case {
    uint32_t rk;
    double value;
  } cases[] = {
      {0x000002F2, 188},                  // integer 188
      {0x000002F3, 1.88},                 // integer 188 / 100
      {0x3FF00000, 1.0},                  // high bits of 1.0
      {0x3FF00001, 0.01},                 // 1.0 / 100
      {0xFFFFFFFE, -1},                   // integer -1
      {0xFFFFFFFF, -0.01},                // integer -1 / 100
      {0xC0590000, -100.0},               // high bits of -100.0
      {0x40934A00 | 0x01, 1234.5 / 100},  // float form divided by 100
      {0x00000000, 0.0},
  };
  for (const auto& c : cases) EXPECT_DOUBLE_EQ(DecodeRK(c.rk), c.value) << std::hex << c.rk;
}

TEST(XlsUtils, ClampArea) {
  struct Case {
    int in[4];
    bool ok;
    int out[4];
  } cases[] = {
      {{-5, -1, 300, 70000}, true, {0, 0, 255, 65535}},
      {{1, 2, 3, 4}, true, {1, 2, 3, 4}},
      {{255, 65535, 255, 65535}, true, {255, 65535, 255, 65535}},
      {{256, 0, 300, 10}, false, {}},
      {{0, 65536, 1, 70000}, false, {}},
      {{0, 0, -1, 5}, false, {}},
      {{0, 0, 5, -1}, false, {}},
  };
  for (const auto& c : cases) {
    int c1 = c.in[0], r1 = c.in[1], c2 = c.in[2], r2 = c.in[3];
    EXPECT_EQ(ClampArea(c1, r1, c2, r2), c.ok);
    if (c.ok) {
      EXPECT_EQ(c1, c.out[0]);
      EXPECT_EQ(r1, c.out[1]);
      EXPECT_EQ(c2, c.out[2]);
      EXPECT_EQ(r2, c.out[3]);
    }
  }
}

TEST(XlsUtils, SmallHelpers) {
  EXPECT_EQ(MakeCellKey(3, 2), 0x0203u);
  EXPECT_EQ(MakeCellKey(255, 65535), 0xFFFFFFu);
  EXPECT_EQ(MakeCellKey(256 + 4, 1), 0x0104u);
  EXPECT_EQ(CharPos(':', "A1:B2"), 3);
  EXPECT_EQ(CharPos('!', "A1"), -1);
  EXPECT_EQ(WideCharPos(u'!', u"Sheet1!A1"), 7);
  EXPECT_EQ(WideCharPos(u'x', u""), -1);
  EXPECT_EQ(WideUpper(u"sheet1 \u00E9t\u00E9 \u03B1\u03B2 \u5BFC"),
            u"SHEET1 \u00C9T\u00C9 \u0391\u0392 \u5BFC");
  EXPECT_EQ(ClampColor(8), 8);
  EXPECT_EQ(ClampColor(64), 64);
  EXPECT_EQ(ClampColor(65), 64);
  EXPECT_EQ(ClampColor(0x7FFF), 64);
}

}  // namespace
}  // namespace xls
