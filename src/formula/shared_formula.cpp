#include "formula/shared_formula.h"

#include "platform/bytes.h"
#include "platform/error.h"

namespace xls {

namespace {

// Token identifiers by their reference-class base id.
constexpr uint8_t kPtgExp = 0x01;
constexpr uint8_t kPtgTbl = 0x02;
constexpr uint8_t kPtgParen = 0x15;
constexpr uint8_t kPtgStr = 0x17;
constexpr uint8_t kPtgAttr = 0x19;
constexpr uint8_t kPtgErr = 0x1C;
constexpr uint8_t kPtgBool = 0x1D;
constexpr uint8_t kPtgInt = 0x1E;
constexpr uint8_t kPtgNum = 0x1F;
constexpr uint8_t kPtgArray = 0x20;
constexpr uint8_t kPtgFunc = 0x21;
constexpr uint8_t kPtgFuncVar = 0x22;
constexpr uint8_t kPtgName = 0x23;
constexpr uint8_t kPtgRef = 0x24;
constexpr uint8_t kPtgArea = 0x25;
constexpr uint8_t kPtgMemArea = 0x26;
constexpr uint8_t kPtgMemErr = 0x27;
constexpr uint8_t kPtgMemNoMem = 0x28;
constexpr uint8_t kPtgMemFunc = 0x29;
constexpr uint8_t kPtgRefErr = 0x2A;
constexpr uint8_t kPtgAreaErr = 0x2B;
constexpr uint8_t kPtgRefN = 0x2C;
constexpr uint8_t kPtgAreaN = 0x2D;
constexpr uint8_t kPtgMemAreaN = 0x2E;
constexpr uint8_t kPtgMemNoMemN = 0x2F;
constexpr uint8_t kPtgNameX = 0x39;
constexpr uint8_t kPtgRef3d = 0x3A;
constexpr uint8_t kPtgArea3d = 0x3B;
constexpr uint8_t kPtgRefErr3d = 0x3C;
constexpr uint8_t kPtgAreaErr3d = 0x3D;

constexpr uint8_t kAttrChoose = 0x04;
constexpr uint16_t kRelColumn = 0x4000;
constexpr uint16_t kRelRow = 0x8000;
constexpr uint16_t kRelFlags = kRelColumn | kRelRow;
constexpr uint16_t kBiff5RowMask = 0x3FFF;

[[noreturn]] void Truncated(uint8_t id) {
  Raise(Format("Token ptg[%.2X] runs past the end of the Shared Formula", id));
}

// Reads a u16 at offset `at` of a token, within `available` bytes.
uint16_t FieldU16(const uint8_t* t, int at, int available) {
  if (at + 2 > available) Truncated(t[0]);
  return GetU16(t + at);
}

uint8_t FieldU8(const uint8_t* t, int at, int available) {
  if (at + 1 > available) Truncated(t[0]);
  return t[at];
}

int ResolveCol8(int base, uint16_t field) {
  const int low = field & 0xFF;
  return (field & kRelColumn) ? (base + static_cast<int8_t>(low)) & 0xFF : low;
}

// BIFF8 keeps the relative flags in the column field; a relative row is a signed 16-bit offset.
int ResolveRow8(int base, uint16_t rowField, uint16_t colField) {
  return (colField & kRelRow) ? (base + static_cast<int16_t>(rowField)) & 0xFFFF : rowField;
}

// BIFF5 keeps a 14-bit row (a signed offset when relative) beside the two flags.
int ResolveRow5(int base, uint16_t field) {
  if (!(field & kRelRow)) return field & kBiff5RowMask;
  int offset = field & kBiff5RowMask;
  if (offset & 0x2000) offset -= 0x4000;
  return (base + offset) & kBiff5RowMask;
}

int ResolveCol5(int base, uint16_t rowField, uint8_t col) {
  return (rowField & kRelColumn) ? (base + static_cast<int8_t>(col)) & 0xFF : col;
}

// Rewrites one relative cell reference (row field, column field) at p.
void ExpandRef8(uint8_t* p, int row, int col) {
  const uint16_t r = GetU16(p);
  const uint16_t c = GetU16(p + 2);
  PutU16(p, static_cast<uint16_t>(ResolveRow8(row, r, c)));
  PutU16(p + 2, static_cast<uint16_t>((c & kRelFlags) | ResolveCol8(col, c)));
}

}  // namespace

int SharedFormulaTokenSize(bool isBiff8, const uint8_t* t, int available) {
  if (available < 1) return -1;
  const uint8_t id = t[0];
  if (id == 0x58 || id == 0x78) return 3;
  if (id >= 0x80) return -1;
  const uint8_t base = id < 0x20 ? id : static_cast<uint8_t>((id & 0x1F) | 0x20);
  if (base >= 0x03 && base <= kPtgParen + 1) return 1;  // operators, parentheses, missing arg
  switch (base) {
    case kPtgExp:
      return 5;
    case kPtgTbl:
      return 5;
    case kPtgStr: {
      const int n = FieldU8(t, 1, available);
      if (!isBiff8) return 2 + n;
      const uint8_t flags = FieldU8(t, 2, available);
      return 3 + ((flags & 0x01) ? 2 * n : n);
    }
    case kPtgAttr: {
      const uint8_t bits = FieldU8(t, 1, available);
      if (bits & kAttrChoose) return 4 + 2 * (FieldU16(t, 2, available) + 1);
      return 4;
    }
    case kPtgErr:
    case kPtgBool:
      return 2;
    case kPtgInt:
    case kPtgFunc:
      return 3;
    case kPtgNum:
      return 9;
    case kPtgArray:
      return 8;
    case kPtgFuncVar:
      return 4;
    case kPtgName:
      return isBiff8 ? 5 : 15;
    case kPtgRef:
    case kPtgRefErr:
    case kPtgRefN:
      return isBiff8 ? 5 : 4;
    case kPtgArea:
    case kPtgAreaErr:
    case kPtgAreaN:
      return isBiff8 ? 9 : 7;
    case kPtgMemArea:
    case kPtgMemErr:
    case kPtgMemNoMem:
      return 7 + FieldU16(t, 5, available);
    case kPtgMemFunc:
    case kPtgMemAreaN:
    case kPtgMemNoMemN:
      return 3 + FieldU16(t, 1, available);
    case kPtgNameX:
      return isBiff8 ? 7 : 25;
    case kPtgRef3d:
    case kPtgRefErr3d:
      return isBiff8 ? 7 : 18;
    case kPtgArea3d:
    case kPtgAreaErr3d:
      return isBiff8 ? 11 : 21;
    default:
      return -1;
  }
}

void ExpandSharedFormula(bool isBiff8, uint8_t* tokens, int length, int row, int col) {
  int pos = 0;
  while (pos < length) {
    uint8_t* t = tokens + pos;
    const int available = length - pos;
    const int size = SharedFormulaTokenSize(isBiff8, t, available);
    if (size < 0) Raise(Format("Unknown ptg[%.2X] in Shared Formula", t[0]));
    if (size > available) Truncated(t[0]);
    const uint8_t id = t[0];
    const uint8_t base = id < 0x20 ? id : static_cast<uint8_t>((id & 0x1F) | 0x20);
    const uint8_t cls = static_cast<uint8_t>(id & 0x60);
    if (base == kPtgRefN) {
      t[0] = static_cast<uint8_t>(cls | (kPtgRef & 0x1F));
      if (isBiff8) {
        ExpandRef8(t + 1, row, col);
      } else {
        const uint16_t r = GetU16(t + 1);
        PutU16(t + 1, static_cast<uint16_t>((r & kRelFlags) | ResolveRow5(row, r)));
        t[3] = static_cast<uint8_t>(ResolveCol5(col, r, t[3]));
      }
    } else if (base == kPtgAreaN) {
      t[0] = static_cast<uint8_t>(cls | (kPtgArea & 0x1F));
      if (isBiff8) {
        // first row, last row, first column field, last column field
        uint8_t first[4] = {t[1], t[2], t[5], t[6]};
        uint8_t last[4] = {t[3], t[4], t[7], t[8]};
        ExpandRef8(first, row, col);
        ExpandRef8(last, row, col);
        t[1] = first[0], t[2] = first[1], t[5] = first[2], t[6] = first[3];
        t[3] = last[0], t[4] = last[1], t[7] = last[2], t[8] = last[3];
      } else {
        const uint16_t r1 = GetU16(t + 1);
        const uint16_t r2 = GetU16(t + 3);
        PutU16(t + 1, static_cast<uint16_t>((r1 & kRelFlags) | ResolveRow5(row, r1)));
        PutU16(t + 3, static_cast<uint16_t>((r2 & kRelFlags) | ResolveRow5(row, r2)));
        t[5] = static_cast<uint8_t>(ResolveCol5(col, r1, t[5]));
        t[6] = static_cast<uint8_t>(ResolveCol5(col, r2, t[6]));
      }
    }
    pos += size;
  }
}

}  // namespace xls
