#include "workbook/formatted_object.h"

namespace xls {

TFormattedObject::TFormattedObject(TCellFormats& formats, int xfIndex)
    : format_(formats.FormatAt(formats.ValidIndex(xfIndex))) {
  TakeUse(*format_);
}

TFormattedObject::TFormattedObject(TCellFormat& format) : format_(&format) {
  TakeUse(format);
}

TFormattedObject::~TFormattedObject() {
  ReleaseUse(*format_);
}

void TFormattedObject::TakeUse(TCellFormat& format) {
  if (format.Owner() && format.Index() >= format.Owner()->FirstUserFormat())
    format.SetUsageCount(format.UsageCount() + 1);
}

void TFormattedObject::ReleaseUse(TCellFormat& format) noexcept {
  TCellFormats* list = format.Owner();
  if (!list || format.Index() < list->FirstUserFormat()) return;
  format.SetUsageCount(format.UsageCount() - 1);
  if (format.UsageCount() <= 0) list->DeleteFormat(format.Index());
}

void TFormattedObject::AssignFormat(const TCellFormat& format) {
  if (&format == format_ || format.Body() == format_->Body()) return;
  const TXFBody body = format.Body();  // the source may be a list entry that is released below
  TCellFormats& list = Formats();
  TCellFormat* target;
  const int p = list.FindBody(body);
  if (p >= 0) {
    target = list.FormatAt(p);
    TakeUse(*target);
  } else {
    target = list.AddFormat();
    try {
      target->AssignBody(body);
    } catch (...) {
      list.DeleteFormat(target->Index());
      throw;
    }
    target->SetUsageCount(1);
  }
  TCellFormat* old = format_;
  format_ = target;
  ReleaseUse(*old);
}

void TFormattedObject::SetXFIndex(int index) {
  TCellFormats& list = Formats();
  TCellFormat* target = list.FormatAt(list.ValidIndex(index));
  if (target == format_) return;
  TakeUse(*target);
  TCellFormat* old = format_;
  format_ = target;
  ReleaseUse(*old);
}

void TFormattedObject::AssignFont(const TXFont& font) {
  TCellFormats& list = Formats();
  TXFonts& fonts = list.Fonts();
  // Fonts are never removed here: cell formats, rich-text runs and drawings refer to fonts by
  // number or by object, so a font whose count drops to 0 stays and can be found again.
  const int a = format_->FontIndex();
  if (TXFont* current = fonts.FindAt(a);
      current && !current->Unique && a >= fonts.FirstUserFont() && current->UsageCount > 0)
    --current->UsageCount;
  int b = fonts.FindFont(font);
  if (b < 0) {
    TXFont* added = fonts.AddFont();
    added->Assign(font);
    added->UsageCount = 1;
    b = added->Index();
  } else {
    ++fonts.FontAt(b)->UsageCount;
  }
  TCellFormat scratch(&list);
  scratch.Assign(*format_);
  scratch.SetFontIndex(b);
  AssignFormat(scratch);
}

const TXFont& TFormattedObject::CurrentFont() const {
  static const TXFont kDefaultFont;
  const TXFont* f = format_->Font();
  return f ? *f : kDefaultFont;
}

template <class Apply>
void TFormattedObject::ChangeFormat(Apply apply) {
  TCellFormat scratch(format_->Owner());
  scratch.Assign(*format_);
  apply(scratch);
  AssignFormat(scratch);
}

template <class Apply>
void TFormattedObject::ChangeFont(Apply apply) {
  const TXFont& current = CurrentFont();
  TXFont scratch;
  scratch.Assign(current);
  apply(scratch);
  if (format_->Font() && scratch.Equals(current)) return;  // FindFont would give this font
  AssignFont(scratch);
}

#define XLS_FORMAT_SETTER(Name, Type)                      \
  void TFormattedObject::Set##Name(Type v) {               \
    if (Name() == v) return;                               \
    ChangeFormat([&](TCellFormat& f) { f.Set##Name(v); }); \
  }

XLS_FORMAT_SETTER(FillPatternBackColor, TExcelColor)
XLS_FORMAT_SETTER(FillPatternForeColor, TExcelColor)
XLS_FORMAT_SETTER(BorderBottomColor, TExcelColor)
XLS_FORMAT_SETTER(BorderBottomStyle, TCellBorderStyle)
XLS_FORMAT_SETTER(BorderDiagColor, TExcelColor)
XLS_FORMAT_SETTER(BorderDiagLines, int)
XLS_FORMAT_SETTER(BorderDiagStyle, TCellBorderStyle)
XLS_FORMAT_SETTER(BorderLeftColor, TExcelColor)
XLS_FORMAT_SETTER(BorderLeftStyle, TCellBorderStyle)
XLS_FORMAT_SETTER(BorderRightColor, TExcelColor)
XLS_FORMAT_SETTER(BorderRightStyle, TCellBorderStyle)
XLS_FORMAT_SETTER(BorderTopColor, TExcelColor)
XLS_FORMAT_SETTER(BorderTopStyle, TCellBorderStyle)
XLS_FORMAT_SETTER(FormatOptions, TFormatOptions)
XLS_FORMAT_SETTER(Indent, int)
XLS_FORMAT_SETTER(Protection, TCellProtections)
XLS_FORMAT_SETTER(Rotation, int)
XLS_FORMAT_SETTER(VertAlignment, int)
XLS_FORMAT_SETTER(FillPattern, TExcelFillPattern)
#undef XLS_FORMAT_SETTER

void TFormattedObject::SetNumberFormat(const std::u16string& v) {
  if (NumberFormat() == v) return;
  ChangeFormat([&](TCellFormat& f) { f.SetNumberFormatText(v); });
}

#define XLS_FONT_SETTER(Name, Type, Apply)    \
  void TFormattedObject::Set##Name(Type v) {  \
    if (Name() == v) return;                  \
    ChangeFont([&](TXFont& font) { Apply; }); \
  }

XLS_FONT_SETTER(FontCharset, uint8_t, font.Charset = v)
XLS_FONT_SETTER(FontColor, TExcelColor, font.Color = v)
XLS_FONT_SETTER(FontFamily, uint8_t, font.Family = v)
XLS_FONT_SETTER(FontName, const std::u16string&, font.Name = v)
XLS_FONT_SETTER(FontSize, int, font.SetSize(v))
XLS_FONT_SETTER(FontSize20, int32_t, font.Size20 = v)
XLS_FONT_SETTER(FontSubSuperScript, TXSubSuperscript, font.SubSuperScript = v)
XLS_FONT_SETTER(FontUnderline, TXUnderline, font.Underline = v)
XLS_FONT_SETTER(FontStyle, TXFontStyles, font.Style = v)
#undef XLS_FONT_SETTER

// ---------------------------------------------------------------------------------------------
// TFormattedObjectNotify

template <class Change>
void TFormattedObjectNotify::Notifying(Change change) {
  const int before = XFIndex();
  const TXFBody body = CellFormat().Body();
  change();
  // A user format may be removed and a new one appended at the same position, so the content is
  // compared as well as the index.
  if (onFormatChange_ && (XFIndex() != before || CellFormat().Body() != body))
    onFormatChange_->OnFormatChange(*this, CellFormat(), NotifyNumber());
}

#define XLS_NOTIFY_SETTER(Name, Type)                   \
  void TFormattedObjectNotify::Set##Name(Type v) {      \
    Notifying([&] { TFormattedObject::Set##Name(v); }); \
  }

XLS_NOTIFY_SETTER(FillPatternBackColor, TExcelColor)
XLS_NOTIFY_SETTER(FillPatternForeColor, TExcelColor)
XLS_NOTIFY_SETTER(BorderBottomColor, TExcelColor)
XLS_NOTIFY_SETTER(BorderBottomStyle, TCellBorderStyle)
XLS_NOTIFY_SETTER(BorderDiagColor, TExcelColor)
XLS_NOTIFY_SETTER(BorderDiagLines, int)
XLS_NOTIFY_SETTER(BorderDiagStyle, TCellBorderStyle)
XLS_NOTIFY_SETTER(BorderLeftColor, TExcelColor)
XLS_NOTIFY_SETTER(BorderLeftStyle, TCellBorderStyle)
XLS_NOTIFY_SETTER(BorderRightColor, TExcelColor)
XLS_NOTIFY_SETTER(BorderRightStyle, TCellBorderStyle)
XLS_NOTIFY_SETTER(BorderTopColor, TExcelColor)
XLS_NOTIFY_SETTER(BorderTopStyle, TCellBorderStyle)
XLS_NOTIFY_SETTER(FormatOptions, TFormatOptions)
XLS_NOTIFY_SETTER(Indent, int)
XLS_NOTIFY_SETTER(NumberFormat, const std::u16string&)
XLS_NOTIFY_SETTER(Protection, TCellProtections)
XLS_NOTIFY_SETTER(Rotation, int)
XLS_NOTIFY_SETTER(VertAlignment, int)
XLS_NOTIFY_SETTER(FillPattern, TExcelFillPattern)
XLS_NOTIFY_SETTER(FontCharset, uint8_t)
XLS_NOTIFY_SETTER(FontColor, TExcelColor)
XLS_NOTIFY_SETTER(FontFamily, uint8_t)
XLS_NOTIFY_SETTER(FontName, const std::u16string&)
XLS_NOTIFY_SETTER(FontSize, int)
XLS_NOTIFY_SETTER(FontSize20, int32_t)
XLS_NOTIFY_SETTER(FontSubSuperScript, TXSubSuperscript)
XLS_NOTIFY_SETTER(FontUnderline, TXUnderline)
XLS_NOTIFY_SETTER(FontStyle, TXFontStyles)
#undef XLS_NOTIFY_SETTER

}  // namespace xls
