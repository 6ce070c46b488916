// Shared formula expansion: relative tokens rebased onto the cell that uses the formula.
#include "formula/shared_formula.h"

#include <gtest/gtest.h>

#include "platform/bytes.h"
#include "platform/error.h"

namespace {

using namespace xls;

TEST(SharedFormulaTest, Biff8ReferencesAndAreas) {
  // B5 uses a block whose reference is (row -1, column 0), both relative: B4.
  Bytes ref = {0x2C, 0xFF, 0xFF, 0x00, 0xC0};
  ExpandSharedFormula(true, ref.data(), static_cast<int>(ref.size()), 4, 1);
  EXPECT_EQ(ref, (Bytes{0x24, 0x03, 0x00, 0x01, 0xC0}));

  // Value and array classes keep their class; absolute parts stay as stored.
  Bytes stream = {0x4D, 0x02, 0x00, 0x05, 0x00, 0xFE, 0x80, 0x03, 0x40,  // area, value class
                  0x6C, 0x00, 0x00, 0x01, 0x00,                          // ref, array class
                  0x03};                                                 // +
  ExpandSharedFormula(true, stream.data(), static_cast<int>(stream.size()), 10, 5);
  // First corner: row relative +2 → 12, column absolute 254. Last corner: row absolute 5,
  // column relative +3 → 8.
  EXPECT_EQ(stream[0], 0x45);
  EXPECT_EQ(GetU16(stream.data() + 1), 12);
  EXPECT_EQ(GetU16(stream.data() + 3), 5);
  EXPECT_EQ(GetU16(stream.data() + 5), 0x80FE);
  EXPECT_EQ(GetU16(stream.data() + 7), 0x4008);
  // A reference with both parts absolute is taken as stored (no offsets applied).
  EXPECT_EQ(stream[9], 0x64);
  EXPECT_EQ(GetU16(stream.data() + 10), 0);
  EXPECT_EQ(GetU16(stream.data() + 12), 1);
  EXPECT_EQ(stream[14], 0x03);
}

TEST(SharedFormulaTest, Biff5Layout) {
  // Row field: bits 0-13 row, bit 14 column relative, bit 15 row relative; 8-bit column.
  // Offsets: row -2 (14-bit), column +1, for the cell at row 300, column 7.
  Bytes ref = {0x2C, 0xFE, 0xFF, 0x01};
  ExpandSharedFormula(false, ref.data(), static_cast<int>(ref.size()), 300, 7);
  EXPECT_EQ(ref[0], 0x24);
  EXPECT_EQ(GetU16(ref.data() + 1), 0xC000 | 298);
  EXPECT_EQ(ref[3], 8);
  // Tokens between are stepped over by their BIFF5 sizes: a name (15 bytes) then an area.
  Bytes s = {0x23, 1, 0, 0,    0,    0,    0,    0,    0,    0,    0,   0,
             0,    0, 0, 0x2D, 0x01, 0x80, 0x02, 0x80, 0x00, 0x00, 0x03};
  ExpandSharedFormula(false, s.data(), static_cast<int>(s.size()), 10, 4);
  EXPECT_EQ(s[15], 0x25);
  EXPECT_EQ(GetU16(s.data() + 16), 0x8000 | 11);
  EXPECT_EQ(GetU16(s.data() + 18), 0x8000 | 12);
  EXPECT_EQ(s[20], 0);  // absolute columns stay
}

TEST(SharedFormulaTest, StepsOverEveryKindOfToken) {
  // string (8-bit and 16-bit), attribute with a choose table, number, function call, memory
  // token with its sub-expression, 3-D reference; then a relative reference that must still be
  // found at the right place.
  Bytes s = {0x17, 2,    0,    'a',  'b',                        // "ab"
             0x17, 1,    1,    0x41, 0x00,                       // "A" in UTF-16
             0x19, 0x04, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00,     // choose with 2 entries
             0x1F, 0,    0,    0,    0,    0,    0,    0,    0,  // number
             0x22, 0x02, 0x04, 0x00,                             // function call
             0x29, 0x02, 0x00, 0x1E, 0x01,                       // mem func with 2 bytes
             0x3A, 0x00, 0x00, 0x01, 0x00, 0x02, 0x00,           // 3-D reference
             0x2C, 0x01, 0x00, 0x01, 0xC0};
  ExpandSharedFormula(true, s.data(), static_cast<int>(s.size()), 0, 0);
  const size_t at = s.size() - 5;
  EXPECT_EQ(s[at], 0x24);
  EXPECT_EQ(GetU16(s.data() + at + 1), 1);
  EXPECT_EQ(GetU16(s.data() + at + 3), 0xC001);
}

TEST(SharedFormulaTest, MalformedStreamsRaise) {
  struct TCase {
    Bytes tokens;
    const char* message;
  };
  const TCase cases[] = {
      {{0x1E, 1, 0, 0x3F}, "Unknown ptg[3F] in Shared Formula"},
      {{0x00}, "Unknown ptg[00] in Shared Formula"},
      {{0x18, 0x01, 0, 0, 0, 0}, "Unknown ptg[18] in Shared Formula"},
      {{0x2C, 0x01, 0x00}, "runs past the end"},
      {{0x17, 200, 1, 'a'}, "runs past the end"},
      {{0x19, 0x04}, "runs past the end"},
      {{0x19, 0x04, 0xFF, 0xFF}, "runs past the end"},
  };
  for (const TCase& c : cases) {
    Bytes t = c.tokens;
    try {
      ExpandSharedFormula(true, t.data(), static_cast<int>(t.size()), 3, 3);
      ADD_FAILURE() << "no error for " << c.message;
    } catch (const EXLSError& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
  }
}

}  // namespace
