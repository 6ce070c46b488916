// Cell formats (XF records). The in-memory XF is byte for byte the 20-byte BIFF8 XF body, so BIFF8
// files are read and written by copying; the BIFF5 and BIFF4 forms are converted.
//
// XF body layout (little-endian):
//   0  u16  font index          2  u16  number-format id
//   4  u16  bit 0 locked, 1 hidden, 2 style XF, 3 prefix, 4-15 parent style XF
//   6  u8   0-2 horizontal alignment, 3 wrap, 4-6 vertical alignment, 7 justify last line
//   7  u8   rotation              8  u8  0-3 indent, 4 shrink, 5 merged, 6-7 reading order
//   9  u8   used attributes: 2 number format, 3 font, 4 alignment, 5 border, 6 background,
//           7 protection
//  10  u32  0-3 left, 4-7 right, 8-11 top, 12-15 bottom line; 16-22 left colour, 23-29 right
//           colour; 30 diagonal down, 31 diagonal up
//  14  u32  0-6 top colour, 7-13 bottom colour, 14-20 diagonal colour, 21-24 diagonal style,
//           26-31 fill pattern
//  18  u16  0-6 pattern colour, 7-13 pattern background colour
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "workbook/enum_set.h"
#include "workbook/number_formats.h"
#include "workbook/palette.h"
#include "workbook/xls_fonts.h"

namespace xls {

enum TExcelFillPattern : uint8_t {
  fpNone,
  fpPattern1,
  fpPattern2,
  fpPattern3,
  fpPattern4,
  fpPattern5,
  fpPattern6,
  fpPattern7,
  fpPattern8,
  fpPattern9,
  fpPattern10,
  fpPattern11,
  fpPattern12,
  fpPattern13,
  fpPattern14,
  fpPattern15,
  fpPattern16,
  fpPattern17,
  fpPattern18,
};

enum TCellBorderStyle : uint8_t {
  cbsNone,
  cbsThin,
  cbsMedium,
  cbsDashed,
  cbsDotted,
  cbsThick,
  cbsDouble,
  cbsHair,
  cbsMediumDashed,
  cbsDashDot,
  cbsMediumDashDot,
  cbsDashDotDot,
  cbsMediumDashDotDot,
  cbsSlantedDashDot,
};

enum TFormatOption : uint8_t { foWrapText, foShrinkToFit };
using TFormatOptions = TEnumSet<TFormatOption>;
enum TCellProtection : uint8_t { cpLocked, cpHidden };
using TCellProtections = TEnumSet<TCellProtection>;

inline constexpr int kXFBodySize8 = 20;
inline constexpr int kXFBodySize5 = 16;
inline constexpr int kXFBodySize4 = 12;
inline constexpr int kDefaultXFCount = 21;
inline constexpr int kDefaultCellXF = 15;

// Used-attribute bits of XF byte 9.
inline constexpr uint8_t kXFUsedNumber = 0x04;
inline constexpr uint8_t kXFUsedFont = 0x08;
inline constexpr uint8_t kXFUsedAlignment = 0x10;
inline constexpr uint8_t kXFUsedBorder = 0x20;
inline constexpr uint8_t kXFUsedBackground = 0x40;
inline constexpr uint8_t kXFUsedProtection = 0x80;

using TXFBody = std::array<uint8_t, kXFBodySize8>;

class TCellFormats;

class TCellFormat {
 public:
  // A free-standing format (owner none) or a format of a list that is not (yet) in it.
  explicit TCellFormat(TCellFormats* owner = nullptr);
  ~TCellFormat();
  TCellFormat(const TCellFormat&) = delete;
  TCellFormat& operator=(const TCellFormat&) = delete;

  TCellFormats* Owner() const { return owner_; }
  int32_t Index() const { return index_; }
  int32_t UsageCount() const { return usageCount_; }
  void SetUsageCount(int32_t n) { usageCount_ = n; }
  const TXFBody& Body() const { return xf_; }

  // Copies the 20 XF bytes; the format moves its number-format use to the copied id.
  void Assign(const TCellFormat& other);
  void AssignBody(const TXFBody& body);
  // Raises "CellFormat has no parent" without owner; empty text is the general format (id 0).
  void SetNumberFormatText(std::u16string_view text);

  // Record bodies. LoadXF8 adds a use of the number-format id; LoadXF5 adds none.
  void LoadXF8(std::span<const uint8_t> body);
  void LoadXF5(std::span<const uint8_t> body);
  void SaveXF8(uint8_t* out) const;  // 20 bytes
  void SaveXF5(uint8_t* out) const;  // 16 bytes
  void SaveXF4(uint8_t* out) const;  // 12 bytes

  // Raw fields.
  int FontIndex() const;
  void SetFontIndex(int index);
  int NumberFormatId() const;
  void SetNumberFormatId(int id);  // no usage upkeep
  uint16_t ProtectionWord() const;
  uint8_t Alignment() const { return xf_[6]; }
  int HorizAlignment() const { return xf_[6] & 0x07; }
  uint8_t RotationByte() const { return xf_[7]; }
  uint8_t IndentByte() const { return xf_[8]; }
  uint8_t UsedAttributes() const { return xf_[9]; }
  uint32_t BorderDword() const;
  uint32_t ColorDword() const;
  uint16_t PatternWord() const;
  // The font this format names, or nullptr (no owner, or an index outside the font list).
  TXFont* Font() const;

  // Properties, in slot order. Setters keep the used-attribute bits up to date.
  TExcelColor FillPatternBackColor() const;
  void SetFillPatternBackColor(TExcelColor v);
  TExcelColor FillPatternForeColor() const;
  void SetFillPatternForeColor(TExcelColor v);
  TExcelColor BorderBottomColor() const;
  void SetBorderBottomColor(TExcelColor v);
  TCellBorderStyle BorderBottomStyle() const;
  void SetBorderBottomStyle(TCellBorderStyle v);
  TExcelColor BorderDiagColor() const;
  void SetBorderDiagColor(TExcelColor v);
  int BorderDiagLines() const;
  void SetBorderDiagLines(int v);
  TCellBorderStyle BorderDiagStyle() const;
  void SetBorderDiagStyle(TCellBorderStyle v);
  TExcelColor BorderLeftColor() const;
  void SetBorderLeftColor(TExcelColor v);
  TCellBorderStyle BorderLeftStyle() const;
  void SetBorderLeftStyle(TCellBorderStyle v);
  TExcelColor BorderRightColor() const;
  void SetBorderRightColor(TExcelColor v);
  TCellBorderStyle BorderRightStyle() const;
  void SetBorderRightStyle(TCellBorderStyle v);
  TExcelColor BorderTopColor() const;
  void SetBorderTopColor(TExcelColor v);
  TCellBorderStyle BorderTopStyle() const;
  void SetBorderTopStyle(TCellBorderStyle v);
  TFormatOptions FormatOptions() const;
  void SetFormatOptions(TFormatOptions v);
  int Indent() const;
  void SetIndent(int v);
  std::u16string NumberFormat() const;  // empty without owner
  TCellProtections Protection() const;
  void SetProtection(TCellProtections v);
  int Rotation() const;  // -90..90 or 255
  void SetRotation(int v);
  int VertAlignment() const;
  void SetVertAlignment(int v);
  TExcelFillPattern FillPattern() const;
  void SetFillPattern(TExcelFillPattern v);

  // Stored rotation byte for a rotation value: v >= 255 -> 255, 91..254 -> 90, 0..90 -> v,
  // -90..-1 -> 90 - v, below -90 -> 180.
  static uint8_t RotationToByte(int v);

 private:
  friend class TCellFormats;
  void SetBorderDword(uint32_t v);
  void SetColorDword(uint32_t v);
  void SetPatternWord(uint16_t v);
  void SetUsedBit(uint8_t bit, bool on);
  void UpdateBorderUsed();
  void UpdateBackgroundFromPatternWord();
  TNumberFormats* Numbers() const;

  TCellFormats* owner_ = nullptr;
  int32_t index_ = -1;
  int32_t usageCount_ = 0;
  TXFBody xf_{};
};

class TCellFormats {
 public:
  explicit TCellFormats(TXFonts& fonts);
  ~TCellFormats();
  TCellFormats(const TCellFormats&) = delete;
  TCellFormats& operator=(const TCellFormats&) = delete;

  TXFonts& Fonts() const { return fonts_; }
  TNumberFormats& NumberFormats() { return numbers_; }
  const TNumberFormats& NumberFormats() const { return numbers_; }
  int Count() const { return static_cast<int>(items_.size()); }
  TCellFormat* FormatAt(int position) const;  // raises outside the list
  int32_t FirstUserFormat() const { return firstUserFormat_; }

  // Built-in number formats, the 21 default XFs, FreezeFormats.
  void ResetFormats();
  // Raises "Add default formats when not empty." for a non-empty list.
  void AddDefaultFormats();
  TCellFormat* AddFormat();
  // Position of the first format with the same 20 XF bytes, or -1.
  int FindFormat(const TCellFormat& format) const { return FindBody(format.Body()); }
  int FindBody(const TXFBody& body) const;
  void DeleteFormat(int position);
  void FreezeFormats() { firstUserFormat_ = Count(); }
  // Empties the list and the number formats.
  void Clear();

  // Removes a font that no format names, and renumbers the font index of every format that names
  // a later font. Raises when a format still names the font.
  void DeleteFont(int position);

  // The XF index an object gets for a requested index: outside the list -> 15 (or 0 when the list
  // has fewer than 16 formats). Raises for an empty list.
  int ValidIndex(int index) const;

 private:
  TXFonts& fonts_;
  TNumberFormats numbers_;  // declared before the formats: they release uses on destruction
  std::vector<std::unique_ptr<TCellFormat>> items_;
  int32_t firstUserFormat_ = 0;
};

// The six built-in STYLE records of a new workbook (XF word, style id, outline level).
inline constexpr int kStyleBodySize = 4;
std::span<const std::array<uint8_t, kStyleBodySize>> DefaultStyleBodies();

// STYLE record bodies of a workbook. Nothing adds entries: the STYLE records of a file that was
// read come back through the record storage.
class TStyles {
 public:
  int Count() const { return static_cast<int>(items_.size()); }
  const std::array<uint8_t, kStyleBodySize>& Items(int i) const { return items_.at(i); }
  void Add(const std::array<uint8_t, kStyleBodySize>& body) { items_.push_back(body); }
  void Clear() { items_.clear(); }

 private:
  std::vector<std::array<uint8_t, kStyleBodySize>> items_;
};

}  // namespace xls
