#include "workbook/xls_utils.h"

#include <locale.h>

#include <algorithm>
#include <cstring>
#include <cwctype>

#include "platform/codec.h"
#include "platform/error.h"

namespace xls {

namespace {

std::u16string ColumnLetters(int col) {
  std::u16string out;
  if (col <= 25) {
    out += static_cast<char16_t>(65 + col);
  } else {
    out += static_cast<char16_t>(64 + col / 26);
    out += static_cast<char16_t>(65 + col % 26);
  }
  return out;
}

bool IsUpperLetter(char16_t c) {
  return c >= u'A' && c <= u'Z';
}
bool IsDigit(char16_t c) {
  return c >= u'0' && c <= u'9';
}

// Works on 8-bit and wide text alike.
template <typename Char>
bool ParseCellRefImpl(std::basic_string_view<Char> s, TCellRef& ref) {
  ref = TCellRef{};
  const size_t n = s.size();
  if (n == 0) return false;
  size_t i = 0;
  if (s[0] == '$') {
    ref.AbsCol = true;
    i = 1;
  }
  if (i >= n || !IsUpperLetter(static_cast<char16_t>(s[i])) || i + 1 >= n) return false;
  const int first = static_cast<int>(s[i]);
  if (IsUpperLetter(static_cast<char16_t>(s[i + 1]))) {
    if (first > 'I') return false;
    const int second = static_cast<int>(s[i + 1]);
    ref.Col = std::min((first - 64) * 26 + (second - 65), kMaxCol);
    i += 2;
    if (i >= n) return false;
  } else {
    ref.Col = first - 65;
    i += 1;
  }
  if (s[i] == '$') {
    ref.AbsRow = true;
    ++i;
  }
  if (i >= n) return false;
  // Row numbers 1..65536 only; a longer digit run cannot be one (and must not overflow).
  int64_t row = 0;
  for (; i < n; ++i) {
    if (!IsDigit(static_cast<char16_t>(s[i]))) return false;
    row = row * 10 + (s[i] - '0');
    if (row > kMaxRow + 1) return false;
  }
  if (row < 1) return false;
  ref.Row = static_cast<int>(row - 1);
  return true;
}

template <typename Char>
bool ParseAreaRefImpl(std::basic_string_view<Char> s, TCellRef& first, TCellRef& last) {
  const size_t colon = s.find(static_cast<Char>(':'));
  if (colon == std::basic_string_view<Char>::npos) return false;
  return ParseCellRefImpl(s.substr(0, colon), first) && ParseCellRefImpl(s.substr(colon + 1), last);
}

template <typename Char>
uint8_t HexByteImpl(std::basic_string_view<Char> t) {
  if (t.size() != 2) Raise("Length error in hex string.");
  auto digit = [](Char c) -> uint32_t {
    const auto code = static_cast<uint32_t>(c);
    return code >= '0' && code <= '9' ? code - '0' : code - 55;
  };
  return static_cast<uint8_t>((digit(t[0]) * 16 + digit(t[1])) & 0xFF);
}

template <typename Char>
Bytes HexToBytesImpl(std::basic_string_view<Char> t) {
  Bytes out(t.size() / 2);
  for (size_t i = 0; i < out.size(); ++i) out[i] = HexByteImpl(t.substr(2 * i, 2));
  return out;
}

struct TErrorEntry {
  uint8_t code;
  const char16_t* text;
};
constexpr TErrorEntry kErrors[] = {
    {0x00, u"#NULL!"}, {0x07, u"#DIV/0!"}, {0x0F, u"#VALUE!"}, {0x17, u"#REF!"},
    {0x1D, u"#NAME?"}, {0x24, u"#NUM!"},   {0x2A, u"#N/A"},
};

std::u16string Utf16LE(const uint8_t* p, size_t chars) {
  std::u16string out(chars, u'\0');
  for (size_t i = 0; i < chars; ++i) out[i] = static_cast<char16_t>(GetU16(p + 2 * i));
  return out;
}

}  // namespace

std::u16string CellRefText(int col, int row, bool absCol, bool absRow) {
  std::u16string out;
  if (absCol) out += u'$';
  out += ColumnLetters(col);
  if (absRow) out += u'$';
  for (char c : std::to_string(row + 1)) out += static_cast<char16_t>(c);
  return out;
}

std::u16string AreaRefText(int col1, int row1, int col2, int row2, bool absCol1, bool absRow1,
                           bool absCol2, bool absRow2) {
  return CellRefText(col1, row1, absCol1, absRow1) + u":" +
         CellRefText(col2, row2, absCol2, absRow2);
}

bool ParseCellRef(std::u16string_view text, TCellRef& ref) {
  return ParseCellRefImpl(text, ref);
}
bool ParseCellRef(std::string_view text, TCellRef& ref) {
  return ParseCellRefImpl(text, ref);
}
bool ParseAreaRef(std::u16string_view text, TCellRef& first, TCellRef& last) {
  return ParseAreaRefImpl(text, first, last);
}
bool ParseAreaRef(std::string_view text, TCellRef& first, TCellRef& last) {
  return ParseAreaRefImpl(text, first, last);
}

std::u16string ErrorCodeText(uint8_t code) {
  for (const auto& e : kErrors)
    if (e.code == code) return e.text;
  return u"#???";
}

TCellError ErrorCodeToIndex(uint8_t code) {
  return CellErrorFromCode(code);
}

uint8_t ErrorIndexToCode(TCellError index) {
  return CellErrorToCode(index);
}

int FlaggedStringLength(std::span<const uint8_t> s) {
  if (s.empty()) return 0;
  const auto rest = static_cast<int>(s.size() - 1);
  return s[0] == 0 ? rest : rest / 2;
}

Bytes MakeFlaggedString(std::span<const uint8_t> body, int n) {
  ByteReader r(body, "BIFF string");
  const uint8_t option = r.U8();
  const size_t bytes = n <= 0 ? 0 : static_cast<size_t>(n) * (option == 0 ? 1 : 2);
  r.Need(bytes);
  Bytes out(1 + bytes);
  out[0] = option == 0 ? 0 : 1;
  if (bytes) std::memcpy(out.data() + 1, r.Current(), bytes);
  return out;
}

std::u16string BiffCharsToWide(std::span<const uint8_t> body, int n) {
  if (n <= 0) return {};
  ByteReader r(body, "BIFF string");
  const uint8_t option = r.U8();
  const auto chars = static_cast<size_t>(n);
  if (option == 1) {
    r.NeedArray(chars, 2);
    return Utf16LE(r.Current(), chars);
  }
  r.Need(chars);
  std::u16string out(chars, u'\0');
  for (size_t i = 0; i < chars; ++i) out[i] = r.Current()[i];
  return out;
}

size_t WideToBiffChars(std::u16string_view text, std::span<uint8_t> out) {
  const size_t bytes = 1 + 2 * text.size();
  if (out.size() < bytes)
    Raise(
        Format("BIFF string buffer too small: %zu bytes needed, %zu available", bytes, out.size()));
  out[0] = 1;
  for (size_t i = 0; i < text.size(); ++i) PutU16(out.data() + 1 + 2 * i, text[i]);
  return bytes;
}

Bytes WideToBiffChars(std::u16string_view text) {
  Bytes out(1 + 2 * text.size());
  WideToBiffChars(text, out);
  return out;
}

std::u16string DecodeStringId(std::span<const uint8_t> s) {
  if (s.empty()) return {};
  const auto rest = s.subspan(1);
  switch (s[0]) {
    case 0:
      return AnsiToUtf16(std::string_view(reinterpret_cast<const char*>(rest.data()), rest.size()));
    case 1:
      return Utf16LE(rest.data(), rest.size() / 2);
    default:
      Raise("Bad excel string id.");
  }
}

std::u16string Utf16BytesToWide(std::span<const uint8_t> buffer, int n) {
  if (n <= 0) return {};
  if (static_cast<size_t>(n) > buffer.size())
    Raise(Format("UTF-16 text of %d bytes is longer than its %zu-byte buffer", n, buffer.size()));
  const int chars = n / 2 - 1;
  if (chars <= 0) return {};
  return Utf16LE(buffer.data(), static_cast<size_t>(chars));
}

uint8_t HexByte(std::string_view text) {
  return HexByteImpl(text);
}
uint8_t HexByte(std::u16string_view text) {
  return HexByteImpl(text);
}
Bytes HexToBytes(std::string_view text) {
  return HexToBytesImpl(text);
}
Bytes HexToBytes(std::u16string_view text) {
  return HexToBytesImpl(text);
}

double DecodeRK(uint32_t rk) {
  double value;
  if (rk & 0x02) {
    value = static_cast<double>(static_cast<int32_t>(rk & ~0x03u)) / 4.0;
  } else {
    const uint64_t bits = static_cast<uint64_t>(rk & ~0x03u) << 32;
    std::memcpy(&value, &bits, sizeof value);
  }
  if (rk & 0x01) value /= 100.0;
  return value;
}

bool ClampArea(int& col1, int& row1, int& col2, int& row2) {
  if (col1 > kMaxCol || row1 > kMaxRow || col2 < 0 || row2 < 0) return false;
  col1 = std::max(col1, 0);
  row1 = std::max(row1, 0);
  col2 = std::min(col2, kMaxCol);
  row2 = std::min(row2, kMaxRow);
  return true;
}

int CharPos(char c, std::string_view text) {
  const size_t p = text.find(c);
  return p == std::string_view::npos ? -1 : static_cast<int>(p) + 1;
}

int WideCharPos(char16_t c, std::u16string_view text) {
  const size_t p = text.find(c);
  return p == std::u16string_view::npos ? -1 : static_cast<int>(p) + 1;
}

std::u16string WideUpper(std::u16string_view text) {
  // Case mapping of the UTF-8 C locale, whatever the process locale is.
  static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  std::u16string out(text);
  for (auto& c : out) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;  // surrogate halves stay
    const wint_t upper = utf8 ? towupper_l(c, utf8) : std::towupper(c);
    if (upper <= 0xFFFF) c = static_cast<char16_t>(upper);
  }
  return out;
}

uint8_t ClampColor(uint32_t index) {
  return index > 64 ? 64 : static_cast<uint8_t>(index);
}

}  // namespace xls
