// Fonts of a workbook. A font's position in TXFonts is the font index that XF records use;
// position 4 holds a placeholder that is never written, because file font index 4 does not exist.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "workbook/enum_set.h"
#include "workbook/palette.h"

namespace xls {

enum TXFontStyle : uint8_t { xfsBold, xfsItalic, xfsStrikeOut };
using TXFontStyles = TEnumSet<TXFontStyle>;

enum TXUnderline : uint8_t { xulNone, xulSingle, xulDouble, xulSingleAccount, xulDoubleAccount };
enum TXSubSuperscript : uint8_t { xssNone, xssSuperscript, xssSubscript };

// Font index that is a placeholder in every font list with more than four fonts.
inline constexpr int kPlaceholderFontIndex = 4;

class TXFont {
 public:
  std::u16string Name = u"Arial";
  uint8_t Charset = 0;
  uint8_t Family = 2;
  TExcelColor Color = xcBlack;
  int32_t Size20 = 200;  // twentieths of a point, stored unchecked
  TXFontStyles Style;
  TXSubSuperscript SubSuperScript = xssNone;
  TXUnderline Underline = xulNone;
  int32_t UsageCount = 0;  // format uses of a user font
  bool Unique = false;     // never matched by FindFont and never released

  int32_t Index() const { return index_; }
  // Points; setting a value of 0 or less is ignored.
  int Size() const { return Size20 / 20; }
  void SetSize(int points) {
    if (points > 0) Size20 = points * 20;
  }
  // Copies the visible attributes, not Index, UsageCount or Unique.
  void Assign(const TXFont& other);
  // Names compared without regard to letter case, all other attributes exactly.
  bool Equals(const TXFont& other) const;

 private:
  friend class TXFonts;
  int32_t index_ = -1;
};

class TXFonts {
 public:
  TXFonts() = default;
  TXFonts(const TXFonts&) = delete;
  TXFonts& operator=(const TXFonts&) = delete;

  int Count() const { return static_cast<int>(items_.size()); }
  TXFont* FontAt(int position) const;  // raises for a position outside the list
  // nullptr for a position outside the list (XF records from files may name any index).
  TXFont* FindAt(int position) const {
    return position >= 0 && position < Count() ? items_[position].get() : nullptr;
  }
  int32_t FirstUserFont() const { return firstUserFont_; }

  // Five default fonts (Arial, 10 points, black), then FreezeFonts.
  void AddDefaultFonts();
  // Appends a default font and returns it.
  TXFont* AddFont();
  // First font that is not Unique and equals the given one, or -1.
  int FindFont(const TXFont& font) const;
  TXFont* FindOrAddFont(const TXFont& font);
  void FreezeFonts() { firstUserFont_ = Count(); }
  void Clear();

  // Removes the font at the position and renumbers the later fonts. Cell formats refer to fonts
  // by number, so this is only reached through TCellFormats::DeleteFont, which renumbers them too.
  void DeleteFont(int position);

 private:
  std::vector<std::unique_ptr<TXFont>> items_;
  int32_t firstUserFont_ = 0;
};

// Lower case of a font name for comparisons (Latin, Greek and Cyrillic letters).
std::u16string FontNameLower(std::u16string_view name);

}  // namespace xls
