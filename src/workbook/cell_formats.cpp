#include "workbook/cell_formats.h"

#include <algorithm>
#include <cstring>

#include "platform/bytes.h"
#include "platform/codec.h"
#include "platform/error.h"

namespace xls {

namespace {

constexpr uint16_t kDefaultProtection = 0x0001;  // locked
constexpr uint8_t kDefaultAlignment = 0x20;      // vertical bottom
constexpr uint32_t kDefaultBorder = 0x20400000;  // left and right colours automatic
constexpr uint32_t kDefaultColors = 0x00102040;  // top, bottom, diagonal colours automatic
constexpr uint16_t kDefaultPattern = 0x20C0;     // pattern colour 64, background 65
constexpr uint16_t kPatternColorsNone = 0x2040;  // pattern and background colour 64
constexpr uint16_t kStyleXFProtection = 0xFFF5;  // locked, style XF, parent 0xFFF
constexpr int kMaxFormatTextLength = 255;

constexpr uint32_t GetBits(uint32_t v, int shift, int width) {
  return (v >> shift) & ((1u << width) - 1);
}
constexpr uint32_t PutBits(uint32_t v, int shift, int width, uint32_t bits) {
  const uint32_t mask = ((1u << width) - 1) << shift;
  return (v & ~mask) | ((bits << shift) & mask);
}

struct DefaultXF {
  uint16_t font, numberFormat, protection;
  uint8_t used;
};

constexpr DefaultXF kDefaultXFs[kDefaultXFCount] = {
    {0, 0, kStyleXFProtection, 0x00},  {1, 0, kStyleXFProtection, 0xF4},
    {1, 0, kStyleXFProtection, 0xF4},  {2, 0, kStyleXFProtection, 0xF4},
    {2, 0, kStyleXFProtection, 0xF4},  {0, 0, kStyleXFProtection, 0xF4},
    {0, 0, kStyleXFProtection, 0xF4},  {0, 0, kStyleXFProtection, 0xF4},
    {0, 0, kStyleXFProtection, 0xF4},  {0, 0, kStyleXFProtection, 0xF4},
    {0, 0, kStyleXFProtection, 0xF4},  {0, 0, kStyleXFProtection, 0xF4},
    {0, 0, kStyleXFProtection, 0xF4},  {0, 0, kStyleXFProtection, 0xF4},
    {0, 0, kStyleXFProtection, 0xF4},  {0, 0, kDefaultProtection, 0x00},
    {0, 42, kStyleXFProtection, 0x00}, {0, 43, kStyleXFProtection, 0x00},
    {0, 44, kStyleXFProtection, 0x00}, {0, 45, kStyleXFProtection, 0x00},
    {0, 9, kStyleXFProtection, 0x00},
};

constexpr std::array<uint8_t, kStyleBodySize> kDefaultStyles[] = {
    {0x10, 0x80, 0x03, 0xFF},  // XF 16, Comma
    {0x11, 0x80, 0x06, 0xFF},  // XF 17, Comma [0]
    {0x12, 0x80, 0x04, 0xFF},  // XF 18, Currency
    {0x13, 0x80, 0x07, 0xFF},  // XF 19, Currency [0]
    {0x00, 0x80, 0x00, 0xFF},  // XF 0, Normal
    {0x14, 0x80, 0x05, 0xFF},  // XF 20, Percent
};

}  // namespace

std::span<const std::array<uint8_t, kStyleBodySize>> DefaultStyleBodies() {
  return kDefaultStyles;
}

// ---------------------------------------------------------------------------------------------
// TCellFormat

TCellFormat::TCellFormat(TCellFormats* owner) : owner_(owner) {
  PutU16(&xf_[4], kDefaultProtection);
  xf_[6] = kDefaultAlignment;
  PutU32(&xf_[10], kDefaultBorder);
  PutU32(&xf_[14], kDefaultColors);
  PutU16(&xf_[18], kDefaultPattern);
}

TCellFormat::~TCellFormat() {
  if (owner_) owner_->NumberFormats().ReleaseFormatUseNoThrow(NumberFormatId());
}

TNumberFormats* TCellFormat::Numbers() const {
  return owner_ ? &owner_->NumberFormats() : nullptr;
}

void TCellFormat::Assign(const TCellFormat& other) {
  AssignBody(other.xf_);
}

void TCellFormat::AssignBody(const TXFBody& body) {
  const int oldId = NumberFormatId();
  const int newId = GetU16(&body[2]);
  if (TNumberFormats* n = Numbers()) n->AddFormatUse(newId);  // may raise; nothing changed yet
  xf_ = body;
  if (TNumberFormats* n = Numbers()) n->ReleaseFormatUseNoThrow(oldId);
}

void TCellFormat::SetNumberFormatText(std::u16string_view text) {
  if (!owner_) Raise("CellFormat has no parent");
  const int oldId = NumberFormatId();
  if (text.empty()) {
    SetNumberFormatId(0);
  } else {
    // Number-format texts are compiled as 8-bit text of the system code page, at most 255 long.
    if (Utf16ToAnsi(text).size() > kMaxFormatTextLength)
      Raise("Format string more than 255 characthers");
    SetNumberFormatId(owner_->NumberFormats().FindOrAddFormatText(text).Id);
  }
  owner_->NumberFormats().ReleaseFormatUseNoThrow(oldId);
}

void TCellFormat::LoadXF8(std::span<const uint8_t> body) {
  if (body.size() < kXFBodySize8)
    Raise(Format("XF record is too short: %zu bytes, %d needed", body.size(), kXFBodySize8));
  TXFBody b;
  std::memcpy(b.data(), body.data(), kXFBodySize8);
  const int oldId = NumberFormatId();
  xf_ = b;
  if (TNumberFormats* n = Numbers()) {
    n->ReleaseFormatUseNoThrow(oldId);
    n->AddFormatUse(NumberFormatId());
  }
}

void TCellFormat::LoadXF5(std::span<const uint8_t> body) {
  ByteReader r(body.data(), body.size(), "XF record");
  r.Need(kXFBodySize5);
  const uint16_t font = r.U16();
  const uint16_t numberFormat = r.U16();
  const uint16_t protection = r.U16();
  const uint16_t alignWord = r.U16();
  const uint32_t fill = r.U32();
  const uint32_t lines = r.U32();

  const int oldId = NumberFormatId();
  xf_.fill(0);
  PutU16(&xf_[0], font);
  PutU16(&xf_[2], numberFormat);
  PutU16(&xf_[4], protection);
  xf_[6] = static_cast<uint8_t>(alignWord);
  static constexpr uint8_t kOrientationToRotation[4] = {0, 255, 90, 180};
  xf_[7] = kOrientationToRotation[GetBits(alignWord, 8, 2)];
  xf_[9] = static_cast<uint8_t>(GetBits(alignWord, 10, 6) << 2);
  uint32_t border = 0;
  border = PutBits(border, 0, 4, GetBits(lines, 3, 3));    // left
  border = PutBits(border, 4, 4, GetBits(lines, 6, 3));    // right
  border = PutBits(border, 8, 4, GetBits(lines, 0, 3));    // top
  border = PutBits(border, 12, 4, GetBits(fill, 22, 3));   // bottom
  border = PutBits(border, 16, 7, GetBits(lines, 16, 7));  // left colour
  border = PutBits(border, 23, 7, GetBits(lines, 23, 7));  // right colour
  uint32_t colors = 0;
  colors = PutBits(colors, 0, 7, GetBits(lines, 9, 7));   // top colour
  colors = PutBits(colors, 7, 7, GetBits(fill, 25, 7));   // bottom colour
  colors = PutBits(colors, 26, 6, GetBits(fill, 16, 6));  // fill pattern
  SetBorderDword(border);
  SetColorDword(colors);
  SetPatternWord(static_cast<uint16_t>(GetBits(fill, 0, 14)));
  if (TNumberFormats* n = Numbers()) n->ReleaseFormatUseNoThrow(oldId);
}

void TCellFormat::SaveXF8(uint8_t* out) const {
  std::memcpy(out, xf_.data(), kXFBodySize8);
}

void TCellFormat::SaveXF5(uint8_t* out) const {
  const uint8_t rot = xf_[7];
  uint16_t orientation = 0;
  if (rot == 255)
    orientation = 1;
  else if (rot >= 136)
    orientation = 3;
  else if (rot >= 46)
    orientation = 2;
  const uint16_t alignWord =
      static_cast<uint16_t>(xf_[6] | (orientation << 8) | ((xf_[9] >> 2) << 10));
  const uint32_t border = BorderDword(), colors = ColorDword();
  uint32_t fill = GetBits(PatternWord(), 0, 14);
  fill = PutBits(fill, 16, 6, GetBits(colors, 26, 6));
  fill = PutBits(fill, 22, 3, GetBits(border, 12, 3));
  fill = PutBits(fill, 25, 7, GetBits(colors, 7, 7));
  uint32_t lines = 0;
  lines = PutBits(lines, 0, 3, GetBits(border, 8, 3));
  lines = PutBits(lines, 3, 3, GetBits(border, 0, 3));
  lines = PutBits(lines, 6, 3, GetBits(border, 4, 3));
  lines = PutBits(lines, 9, 7, GetBits(colors, 0, 7));
  lines = PutBits(lines, 16, 7, GetBits(border, 16, 7));
  lines = PutBits(lines, 23, 7, GetBits(border, 23, 7));
  std::memcpy(out, xf_.data(), 6);
  PutU16(out + 6, alignWord);
  PutU32(out + 8, fill);
  PutU32(out + 12, lines);
}

void TCellFormat::SaveXF4(uint8_t* out) const {
  std::memset(out, 0, kXFBodySize4);
  const int font = FontIndex();
  const int id = NumberFormatId();
  out[0] = static_cast<uint8_t>(font);
  out[1] = static_cast<uint8_t>(id >= kFirstUserNumberFormatId ? id - kFirstUserNumberFormatId : 0);
  const uint16_t protection = ProtectionWord() & 0x0003;
  PutU16(out + 2, protection);
  const int horiz = HorizAlignment();
  const bool wrap = (xf_[6] & 0x08) != 0;
  const int vert = VertAlignment();
  uint8_t align = static_cast<uint8_t>(horiz >= 1 && horiz <= 6 ? horiz : 0);
  if (wrap) align |= 0x08;
  if (vert == 1) align |= 0x10;
  if (vert == 2) align |= 0x20;
  out[4] = align;
  const int top = BorderTopStyle(), left = BorderLeftStyle(), bottom = BorderBottomStyle(),
            right = BorderRightStyle();
  uint8_t used = 0x08;
  if (id != 0) used |= 0x04;
  if (horiz != 0 || wrap || vert != 2) used |= 0x10;
  if (top || left || bottom || right) used |= 0x20;
  if (protection != 0x0001) used |= 0x80;
  out[5] = used;
  auto line = [](int style) -> uint8_t {
    return style >= 1 && style <= 7 ? static_cast<uint8_t>(style + 0xC0) : 0;
  };
  out[8] = line(top);
  out[9] = line(left);
  out[10] = line(bottom);
  out[11] = line(right);
}

int TCellFormat::FontIndex() const {
  return GetU16(&xf_[0]);
}
void TCellFormat::SetFontIndex(int index) {
  PutU16(&xf_[0], static_cast<uint16_t>(index));
}
int TCellFormat::NumberFormatId() const {
  return GetU16(&xf_[2]);
}
void TCellFormat::SetNumberFormatId(int id) {
  PutU16(&xf_[2], static_cast<uint16_t>(id));
}
uint16_t TCellFormat::ProtectionWord() const {
  return GetU16(&xf_[4]);
}
uint32_t TCellFormat::BorderDword() const {
  return GetU32(&xf_[10]);
}
uint32_t TCellFormat::ColorDword() const {
  return GetU32(&xf_[14]);
}
uint16_t TCellFormat::PatternWord() const {
  return GetU16(&xf_[18]);
}
void TCellFormat::SetBorderDword(uint32_t v) {
  PutU32(&xf_[10], v);
}
void TCellFormat::SetColorDword(uint32_t v) {
  PutU32(&xf_[14], v);
}
void TCellFormat::SetPatternWord(uint16_t v) {
  PutU16(&xf_[18], v);
}

TXFont* TCellFormat::Font() const {
  return owner_ ? owner_->Fonts().FindAt(FontIndex()) : nullptr;
}

void TCellFormat::SetUsedBit(uint8_t bit, bool on) {
  xf_[9] = static_cast<uint8_t>(on ? (xf_[9] | bit) : (xf_[9] & ~bit));
}

void TCellFormat::UpdateBorderUsed() {
  const uint32_t b = BorderDword();
  SetUsedBit(kXFUsedBorder, GetBits(b, 0, 16) != 0 || GetBits(ColorDword(), 21, 4) != 0);
}

void TCellFormat::UpdateBackgroundFromPatternWord() {
  SetUsedBit(kXFUsedBackground, GetBits(PatternWord(), 0, 14) != kPatternColorsNone);
}

TExcelColor TCellFormat::FillPatternBackColor() const {
  const uint32_t c = GetBits(PatternWord(), 7, 7);
  return static_cast<TExcelColor>(c > uint32_t{xcAutomatic} ? uint32_t{xcAutomatic} : c);
}
void TCellFormat::SetFillPatternBackColor(TExcelColor v) {
  SetPatternWord(static_cast<uint16_t>(PutBits(PatternWord(), 7, 7, v)));
  UpdateBackgroundFromPatternWord();
}
TExcelColor TCellFormat::FillPatternForeColor() const {
  return static_cast<TExcelColor>(GetBits(PatternWord(), 0, 7));
}
void TCellFormat::SetFillPatternForeColor(TExcelColor v) {
  SetPatternWord(static_cast<uint16_t>(PutBits(PatternWord(), 0, 7, v)));
  UpdateBackgroundFromPatternWord();
  if (v != xcAutomatic) {
    SetFillPattern(fpPattern1);
    SetFillPatternBackColor(xcWhite);
  }
}

TExcelColor TCellFormat::BorderBottomColor() const {
  return static_cast<TExcelColor>(GetBits(ColorDword(), 7, 7));
}
void TCellFormat::SetBorderBottomColor(TExcelColor v) {
  SetColorDword(PutBits(ColorDword(), 7, 7, v));
}
TCellBorderStyle TCellFormat::BorderBottomStyle() const {
  return static_cast<TCellBorderStyle>(GetBits(BorderDword(), 12, 4));
}
void TCellFormat::SetBorderBottomStyle(TCellBorderStyle v) {
  SetBorderDword(PutBits(BorderDword(), 12, 4, v));
  UpdateBorderUsed();
}
TExcelColor TCellFormat::BorderDiagColor() const {
  return static_cast<TExcelColor>(GetBits(ColorDword(), 14, 7));
}
void TCellFormat::SetBorderDiagColor(TExcelColor v) {
  SetColorDword(PutBits(ColorDword(), 14, 7, v));
}
int TCellFormat::BorderDiagLines() const {
  return static_cast<int>(GetBits(BorderDword(), 30, 2));
}
void TCellFormat::SetBorderDiagLines(int v) {
  SetBorderDword(PutBits(BorderDword(), 30, 2, static_cast<uint32_t>(v)));
}
TCellBorderStyle TCellFormat::BorderDiagStyle() const {
  return static_cast<TCellBorderStyle>(GetBits(ColorDword(), 21, 4));
}
void TCellFormat::SetBorderDiagStyle(TCellBorderStyle v) {
  SetColorDword(PutBits(ColorDword(), 21, 4, v));
  UpdateBorderUsed();
}
TExcelColor TCellFormat::BorderLeftColor() const {
  return static_cast<TExcelColor>(GetBits(BorderDword(), 16, 7));
}
void TCellFormat::SetBorderLeftColor(TExcelColor v) {
  SetBorderDword(PutBits(BorderDword(), 16, 7, v));
}
TCellBorderStyle TCellFormat::BorderLeftStyle() const {
  return static_cast<TCellBorderStyle>(GetBits(BorderDword(), 0, 4));
}
void TCellFormat::SetBorderLeftStyle(TCellBorderStyle v) {
  SetBorderDword(PutBits(BorderDword(), 0, 4, v));
  UpdateBorderUsed();
}
TExcelColor TCellFormat::BorderRightColor() const {
  return static_cast<TExcelColor>(GetBits(BorderDword(), 23, 7));
}
void TCellFormat::SetBorderRightColor(TExcelColor v) {
  SetBorderDword(PutBits(BorderDword(), 23, 7, v));
}
TCellBorderStyle TCellFormat::BorderRightStyle() const {
  return static_cast<TCellBorderStyle>(GetBits(BorderDword(), 4, 4));
}
void TCellFormat::SetBorderRightStyle(TCellBorderStyle v) {
  SetBorderDword(PutBits(BorderDword(), 4, 4, v));
  UpdateBorderUsed();
}
TExcelColor TCellFormat::BorderTopColor() const {
  return static_cast<TExcelColor>(GetBits(ColorDword(), 0, 7));
}
void TCellFormat::SetBorderTopColor(TExcelColor v) {
  SetColorDword(PutBits(ColorDword(), 0, 7, v));
}
TCellBorderStyle TCellFormat::BorderTopStyle() const {
  return static_cast<TCellBorderStyle>(GetBits(BorderDword(), 8, 4));
}
void TCellFormat::SetBorderTopStyle(TCellBorderStyle v) {
  SetBorderDword(PutBits(BorderDword(), 8, 4, v));
  UpdateBorderUsed();
}

TFormatOptions TCellFormat::FormatOptions() const {
  TFormatOptions o;
  if (xf_[6] & 0x08) o.Include(foWrapText);
  if (xf_[8] & 0x10) o.Include(foShrinkToFit);
  return o;
}
void TCellFormat::SetFormatOptions(TFormatOptions v) {
  xf_[6] = static_cast<uint8_t>(xf_[6] & ~0x88);  // wrap text, justify last line
  if (v.Contains(foWrapText)) xf_[6] |= 0x08;
  xf_[8] = static_cast<uint8_t>(v.Contains(foShrinkToFit) ? (xf_[8] | 0x10) : (xf_[8] & ~0x10));
  SetUsedBit(kXFUsedAlignment, (xf_[6] & 0x08) != 0 || HorizAlignment() != 0);
}

int TCellFormat::Indent() const {
  return xf_[8] & 0x0F;
}
void TCellFormat::SetIndent(int v) {
  xf_[8] = static_cast<uint8_t>((xf_[8] & 0xF0) | (static_cast<unsigned>(v) & 0x0F));
}

std::u16string TCellFormat::NumberFormat() const {
  return owner_ ? owner_->NumberFormats().FormatText(NumberFormatId()) : std::u16string();
}

TCellProtections TCellFormat::Protection() const {
  return TCellProtections::FromBits(static_cast<uint8_t>(ProtectionWord() & 0x0003));
}
void TCellFormat::SetProtection(TCellProtections v) {
  PutU16(&xf_[4], static_cast<uint16_t>((ProtectionWord() & ~0x0003) | (v.ToBits() & 0x03)));
}

uint8_t TCellFormat::RotationToByte(int v) {
  const int16_t s = static_cast<int16_t>(v);
  if (s >= 255) return 255;
  if (s >= 91) return 90;
  if (s >= 0) return static_cast<uint8_t>(s);
  if (s >= -90) return static_cast<uint8_t>(90 - s);
  return 180;
}
int TCellFormat::Rotation() const {
  const int r = xf_[7];
  if (r >= 91 && r <= 180) return 90 - r;
  return r;
}
void TCellFormat::SetRotation(int v) {
  xf_[7] = RotationToByte(v);
}

int TCellFormat::VertAlignment() const {
  return (xf_[6] >> 4) & 0x07;
}
void TCellFormat::SetVertAlignment(int v) {
  xf_[6] = static_cast<uint8_t>((xf_[6] & ~0x70) | ((static_cast<unsigned>(v) & 0x07) << 4));
  SetUsedBit(kXFUsedAlignment,
             (xf_[6] & 0x08) != 0 || HorizAlignment() != 0 || VertAlignment() != 0);
}

TExcelFillPattern TCellFormat::FillPattern() const {
  return static_cast<TExcelFillPattern>(GetBits(ColorDword(), 26, 6));
}
void TCellFormat::SetFillPattern(TExcelFillPattern v) {
  SetColorDword(PutBits(ColorDword(), 26, 6, v));
  SetUsedBit(kXFUsedBackground, v != fpNone);
}

// ---------------------------------------------------------------------------------------------
// TCellFormats

TCellFormats::TCellFormats(TXFonts& fonts) : fonts_(fonts) {}

TCellFormats::~TCellFormats() {
  items_.clear();
}

TCellFormat* TCellFormats::FormatAt(int position) const {
  if (position < 0 || position >= Count())
    Raise(Format("XF index %d is outside the cell formats (%d formats)", position, Count()));
  return items_[position].get();
}

void TCellFormats::ResetFormats() {
  numbers_.AddBuiltInFormats();
  AddDefaultFormats();
  FreezeFormats();
}

void TCellFormats::AddDefaultFormats() {
  if (!items_.empty()) Raise("Add default formats when not empty.");
  for (int i = 0; i < kDefaultXFCount; ++i) {
    const DefaultXF& d = kDefaultXFs[i];
    TXFBody body{};
    PutU16(&body[0], d.font);
    PutU16(&body[2], d.numberFormat);
    PutU16(&body[4], d.protection);
    body[6] = kDefaultAlignment;
    body[9] = d.used;
    PutU16(&body[18], kDefaultPattern);
    TCellFormat* f = AddFormat();
    f->LoadXF8(body);
    if (d.numberFormat != 0) {
      const int pos = numbers_.FindFormatId(d.numberFormat);
      if (pos >= 0) numbers_.Items(pos).UsageCount = 1;
    }
  }
}

TCellFormat* TCellFormats::AddFormat() {
  auto f = std::make_unique<TCellFormat>(this);
  f->index_ = Count();
  items_.push_back(std::move(f));
  return items_.back().get();
}

int TCellFormats::FindBody(const TXFBody& body) const {
  for (int i = 0; i < Count(); ++i)
    if (items_[i]->xf_ == body) return i;
  return -1;
}

void TCellFormats::DeleteFormat(int position) {
  if (position < 0 || position >= Count()) return;
  items_.erase(items_.begin() + position);
  for (int i = position; i < Count(); ++i) items_[i]->index_ = i;
  if (position < firstUserFormat_) --firstUserFormat_;
}

void TCellFormats::Clear() {
  items_.clear();
  numbers_.Clear();
  firstUserFormat_ = 0;
}

void TCellFormats::DeleteFont(int position) {
  if (position < 0 || position >= fonts_.Count()) return;
  for (const auto& f : items_)
    if (f->FontIndex() == position)
      Raise(Format("Font %d is used by cell format %d", position, f->Index()));
  fonts_.DeleteFont(position);
  for (const auto& f : items_)
    if (f->FontIndex() > position) f->SetFontIndex(f->FontIndex() - 1);
}

int TCellFormats::ValidIndex(int index) const {
  if (items_.empty()) Raise("The cell format list is empty");
  if (index >= 0 && index < Count()) return index;
  return Count() > kDefaultCellXF ? kDefaultCellXF : 0;
}

}  // namespace xls
