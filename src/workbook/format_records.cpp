#include "workbook/format_records.h"

#include <algorithm>

#include "biff/biff_recs.h"
#include "platform/codec.h"

namespace xls {

namespace {

constexpr uint16_t kFontItalic = 0x0002;
constexpr uint16_t kFontStrikeOut = 0x0008;
constexpr uint16_t kFontBoldOld = 0x0001;  // BIFF2-4 keep bold in the option word
constexpr uint16_t kWeightBold = 700;
constexpr uint16_t kWeightNormal = 400;
constexpr uint16_t kBoldWeightThreshold = 700;
constexpr uint16_t kFontColorOld = 0x7FFF;
constexpr uint8_t kUnderlineSingleAccount = 0x21;
constexpr uint8_t kUnderlineDoubleAccount = 0x22;
constexpr uint8_t kStringWide = 0x01;  // option byte: 16-bit characters
constexpr size_t kMaxShortString = 255;
constexpr int kPaletteWrittenColors = 56;

std::u16string ReadNameChars(ByteReader& r, size_t count, bool wide) {
  std::u16string s;
  if (wide) {
    r.NeedArray(count, 2);
    s.resize(count);
    for (size_t i = 0; i < count; ++i) s[i] = static_cast<char16_t>(r.U16());
  } else {
    r.Need(count);
    s.resize(count);
    for (size_t i = 0; i < count; ++i) s[i] = r.U8();
  }
  return s;
}

std::u16string ReadAnsiChars(ByteReader& r, size_t count) {
  r.Need(count);
  std::string bytes(reinterpret_cast<const char*>(r.Current()), count);
  r.Skip(count);
  return AnsiToUtf16(bytes);
}

void WriteWide(ByteWriter& w, std::u16string_view s) {
  for (char16_t c : s) w.U16(c);
}

std::string AnsiShort(std::u16string_view s) {
  std::string a = Utf16ToAnsi(s);
  if (a.size() > kMaxShortString) a.resize(kMaxShortString);
  return a;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// FONT

void ReadFontRecord(TXFonts& fonts, std::span<const uint8_t> body, TExcelVersion version) {
  ByteReader r(body.data(), body.size(), "FONT record");
  TXFont font;
  font.Size20 = r.U16();
  const uint16_t options = r.U16();
  if (options & kFontItalic) font.Style.Include(xfsItalic);
  if (options & kFontStrikeOut) font.Style.Include(xfsStrikeOut);
  if (version >= xvExcel50) {
    const uint16_t color = r.U16();
    font.Color = static_cast<TExcelColor>(color < 256 ? color : uint16_t{xcBlack});
    if (r.U16() >= kBoldWeightThreshold) font.Style.Include(xfsBold);
    const uint16_t escapement = r.U16();
    font.SubSuperScript = escapement == 1   ? xssSuperscript
                          : escapement == 2 ? xssSubscript
                                            : xssNone;
    const uint8_t underline = r.U8();
    switch (underline) {
      case 1:
        font.Underline = xulSingle;
        break;
      case 2:
        font.Underline = xulDouble;
        break;
      case kUnderlineSingleAccount:
        font.Underline = xulSingleAccount;
        break;
      case kUnderlineDoubleAccount:
        font.Underline = xulDoubleAccount;
        break;
      default:
        font.Underline = xulNone;
        break;
    }
    font.Family = r.U8();
    font.Charset = r.U8();
    r.Skip(1);
    const uint8_t n = r.U8();
    if (version >= xvExcel97) {
      const uint8_t flags = r.U8();
      font.Name = ReadNameChars(r, n, (flags & kStringWide) != 0);
    } else {
      font.Name = ReadAnsiChars(r, n);
    }
  } else {
    if (options & kFontBoldOld) font.Style.Include(xfsBold);
    if (version >= xvExcel30) {
      const uint16_t color = r.U16();
      font.Color = static_cast<TExcelColor>(color < 256 ? color : uint16_t{xcBlack});
    }
    const uint8_t n = r.U8();
    font.Name = ReadAnsiChars(r, n);
  }
  fonts.AddFont()->Assign(font);
  if (fonts.Count() == kPlaceholderFontIndex) fonts.AddFont()->Unique = true;
}

Bytes FontRecordBody(const TXFont& font, TExcelVersion version) {
  ByteWriter w;
  uint16_t options = 0;
  if (font.Style.Contains(xfsItalic)) options |= kFontItalic;
  if (font.Style.Contains(xfsStrikeOut)) options |= kFontStrikeOut;
  w.U16(static_cast<uint16_t>(font.Size20));
  if (version >= xvExcel50) {
    w.U16(options);
    w.U16(font.Color);
    w.U16(font.Style.Contains(xfsBold) ? kWeightBold : kWeightNormal);
    w.U16(font.SubSuperScript == xssSuperscript ? 1 : font.SubSuperScript == xssSubscript ? 2 : 0);
    static constexpr uint8_t kUnderline[] = {0, 1, 2, kUnderlineSingleAccount,
                                             kUnderlineDoubleAccount};
    w.U8(font.Underline <= xulDoubleAccount ? kUnderline[font.Underline] : 0);
    w.U8(font.Family);
    w.U8(font.Charset);
    w.U8(0);
    if (version >= xvExcel97) {
      const std::u16string_view name =
          std::u16string_view(font.Name).substr(0, std::min(font.Name.size(), kMaxShortString));
      w.U8(static_cast<uint8_t>(name.size()));
      w.U8(kStringWide);
      WriteWide(w, name);
    } else {
      const std::string name = AnsiShort(font.Name);
      w.U8(static_cast<uint8_t>(name.size()));
      w.Append(name.data(), name.size());
    }
  } else {
    if (font.Style.Contains(xfsBold)) options |= kFontBoldOld;
    w.U16(options);
    w.U16(kFontColorOld);
    const std::string name = AnsiShort(font.Name);
    w.U8(static_cast<uint8_t>(name.size()));
    w.Append(name.data(), name.size());
  }
  return std::move(w.Buffer());
}

std::vector<TBiffRecord> FontRecords(const TXFonts& fonts, TExcelVersion version) {
  std::vector<TBiffRecord> out;
  for (int i = 0; i < fonts.Count(); ++i)
    if (i != kPlaceholderFontIndex)
      out.push_back({BIFFRECID_FONT, FontRecordBody(*fonts.FontAt(i), version)});
  return out;
}

// ---------------------------------------------------------------------------------------------
// FORMAT

void ReadFormatRecord(TNumberFormats& formats, std::span<const uint8_t> body,
                      TExcelVersion version) {
  ByteReader r(body.data(), body.size(), "FORMAT record");
  const uint16_t id = r.U16();
  std::u16string text;
  if (version >= xvExcel97) {
    const uint16_t n = r.U16();
    const uint8_t flags = r.U8();
    text = ReadNameChars(r, n, (flags & kStringWide) != 0);
  } else {
    const uint8_t n = r.U8();
    text = ReadAnsiChars(r, n);
  }
  formats.SetFormatText(text, id, 1);
}

Bytes FormatRecordBody(const TNumberFormat& format, TExcelVersion version) {
  ByteWriter w;
  w.U16(static_cast<uint16_t>(format.Id));
  if (version >= xvExcel97) {
    const std::u16string_view text = std::u16string_view(format.Text).substr(0, 0xFFFF);
    w.U16(static_cast<uint16_t>(text.size()));
    w.U8(kStringWide);
    WriteWide(w, text);
  } else {
    const std::string text = AnsiShort(format.Text);
    w.U8(static_cast<uint8_t>(text.size()));
    w.Append(text.data(), text.size());
  }
  return std::move(w.Buffer());
}

std::vector<TBiffRecord> FormatRecords(const TNumberFormats& formats, TExcelVersion version) {
  std::vector<TBiffRecord> out;
  for (int i = 1; i < formats.Count(); ++i)
    if (formats.Items(i).UsageCount >= 0)
      out.push_back({BIFFRECID_FORMAT, FormatRecordBody(formats.Items(i), version)});
  return out;
}

// ---------------------------------------------------------------------------------------------
// XF

TCellFormat* ReadXFRecord(TCellFormats& formats, std::span<const uint8_t> body,
                          TExcelVersion version) {
  TCellFormat* f = formats.AddFormat();
  if (version >= xvExcel97)
    f->LoadXF8(body);
  else if (version == xvExcel50)
    f->LoadXF5(body);
  return f;
}

TBiffRecord XFRecord(const TCellFormat& format, TExcelVersion version) {
  TBiffRecord rec;
  if (version >= xvExcel97) {
    rec.Id = BIFFRECID_XF;
    rec.Body.resize(kXFBodySize8);
    format.SaveXF8(rec.Body.data());
  } else if (version == xvExcel50) {
    rec.Id = BIFFRECID_XF;
    rec.Body.resize(kXFBodySize5);
    format.SaveXF5(rec.Body.data());
  } else {
    rec.Id = BIFFRECID_XF_40;
    rec.Body.resize(kXFBodySize4);
    format.SaveXF4(rec.Body.data());
  }
  return rec;
}

std::vector<TBiffRecord> XFRecords(const TCellFormats& formats, TExcelVersion version) {
  std::vector<TBiffRecord> out;
  out.reserve(formats.Count());
  for (int i = 0; i < formats.Count(); ++i) out.push_back(XFRecord(*formats.FormatAt(i), version));
  return out;
}

// ---------------------------------------------------------------------------------------------
// STYLE

std::vector<TBiffRecord> StyleRecords(const TStyles& styles, bool defaultStyles) {
  std::vector<TBiffRecord> out;
  if (defaultStyles) {
    for (const auto& b : DefaultStyleBodies())
      out.push_back({BIFFRECID_STYLE, Bytes(b.begin(), b.end())});
  } else {
    for (int i = 0; i < styles.Count(); ++i)
      out.push_back({BIFFRECID_STYLE, Bytes(styles.Items(i).begin(), styles.Items(i).end())});
  }
  return out;
}

// ---------------------------------------------------------------------------------------------
// PALETTE

void ReadPaletteRecord(std::span<const uint8_t> body) {
  ByteReader r(body.data(), body.size(), "PALETTE record");
  const int count = std::min<int>(r.U16(), kPaletteMaxCustom);
  r.NeedArray(count, 4);
  for (int i = 0; i < count; ++i) SetPaletteColor(kPaletteFirstCustom + i, r.U32());
}

Bytes PaletteRecordBody() {
  ByteWriter w;
  w.U16(kPaletteWrittenColors);
  for (int i = 0; i < kPaletteWrittenColors; ++i) w.U32(PaletteColor(kPaletteFirstCustom + i));
  return std::move(w.Buffer());
}

}  // namespace xls
