#include "workbook/xls_fonts.h"

#include "platform/error.h"

namespace xls {

namespace {

char16_t LowerChar(char16_t c) {
  if (c >= u'A' && c <= u'Z') return static_cast<char16_t>(c + 32);
  if (c < 0xC0) return c;
  if ((c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x391 && c <= 0x3AB && c != 0x3A2) ||
      (c >= 0x410 && c <= 0x42F))
    return static_cast<char16_t>(c + 32);
  if (c >= 0x400 && c <= 0x40F) return static_cast<char16_t>(c + 80);
  if (c >= 0x100 && c <= 0x17F && c != 0x130 && c != 0x138 && c != 0x149 && c != 0x178) {
    // Latin Extended-A pairs: even upper/odd lower, shifted by one in 0x139..0x148 and
    // 0x179..0x17E.
    const bool shifted = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    const bool upper = shifted ? (c % 2 == 1) : (c % 2 == 0);
    if (upper && c != 0x17F) return static_cast<char16_t>(c + 1);
  }
  return c;
}

}  // namespace

std::u16string FontNameLower(std::u16string_view name) {
  std::u16string out(name);
  for (char16_t& c : out) c = LowerChar(c);
  return out;
}

void TXFont::Assign(const TXFont& other) {
  Name = other.Name;
  Charset = other.Charset;
  Family = other.Family;
  Color = other.Color;
  Size20 = other.Size20;
  Style = other.Style;
  SubSuperScript = other.SubSuperScript;
  Underline = other.Underline;
}

bool TXFont::Equals(const TXFont& other) const {
  return Charset == other.Charset && Family == other.Family && Color == other.Color &&
         Size20 == other.Size20 && Style == other.Style && SubSuperScript == other.SubSuperScript &&
         Underline == other.Underline &&
         (Name == other.Name || FontNameLower(Name) == FontNameLower(other.Name));
}

TXFont* TXFonts::FontAt(int position) const {
  if (position < 0 || position >= Count())
    Raise(Format("Font index %d is outside the font list (%d fonts)", position, Count()));
  return items_[position].get();
}

void TXFonts::AddDefaultFonts() {
  for (int i = 0; i < 5; ++i) AddFont();
  // The placeholder is never written, so no format may be pointed at it by FindFont.
  items_[kPlaceholderFontIndex]->Unique = true;
  FreezeFonts();
}

TXFont* TXFonts::AddFont() {
  auto font = std::make_unique<TXFont>();
  font->index_ = Count();
  items_.push_back(std::move(font));
  return items_.back().get();
}

int TXFonts::FindFont(const TXFont& font) const {
  for (int i = 0; i < Count(); ++i)
    if (!items_[i]->Unique && items_[i]->Equals(font)) return i;
  return -1;
}

TXFont* TXFonts::FindOrAddFont(const TXFont& font) {
  const int i = FindFont(font);
  if (i >= 0) return items_[i].get();
  TXFont* added = AddFont();
  added->Assign(font);
  return added;
}

void TXFonts::Clear() {
  items_.clear();
  firstUserFont_ = 0;
}

void TXFonts::DeleteFont(int position) {
  if (position < 0 || position >= Count()) return;
  items_.erase(items_.begin() + position);
  for (int i = position; i < Count(); ++i) items_[i]->index_ = i;
  if (position < firstUserFont_) --firstUserFont_;
}

}  // namespace xls
