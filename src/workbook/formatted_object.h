// Objects with a cell format (cells, columns, rows). An object points at one shared TCellFormat of
// the workbook's list; changing a property is copy-on-write: the changed format is looked up by
// content and shared when an equal one exists, otherwise appended as a counted user format.
#pragma once

#include <cstdint>
#include <string>

#include "workbook/cell_formats.h"

namespace xls {

class TFormattedObject {
 public:
  // An index outside the list is replaced by 15 (0 for a list of fewer than 16 formats).
  TFormattedObject(TCellFormats& formats, int xfIndex);
  virtual ~TFormattedObject();
  TFormattedObject(const TFormattedObject&) = delete;
  TFormattedObject& operator=(const TFormattedObject&) = delete;

  TCellFormats& Formats() const { return *format_->Owner(); }
  TCellFormat& CellFormat() const { return *format_; }
  int XFIndex() const { return format_->Index(); }

  // Makes the object use a format with the given content (shared or appended).
  void AssignFormat(const TCellFormat& format);
  // Makes the object's format name a font with the given attributes (found or appended).
  void AssignFont(const TXFont& font);
  void SetXFIndex(int index);

  // Properties in slot order; every setter is a no-op when the getter already gives the value.
  TExcelColor FillPatternBackColor() const { return format_->FillPatternBackColor(); }
  virtual void SetFillPatternBackColor(TExcelColor v);
  TExcelColor FillPatternForeColor() const { return format_->FillPatternForeColor(); }
  virtual void SetFillPatternForeColor(TExcelColor v);
  TExcelColor BorderBottomColor() const { return format_->BorderBottomColor(); }
  virtual void SetBorderBottomColor(TExcelColor v);
  TCellBorderStyle BorderBottomStyle() const { return format_->BorderBottomStyle(); }
  virtual void SetBorderBottomStyle(TCellBorderStyle v);
  TExcelColor BorderDiagColor() const { return format_->BorderDiagColor(); }
  virtual void SetBorderDiagColor(TExcelColor v);
  int BorderDiagLines() const { return format_->BorderDiagLines(); }
  virtual void SetBorderDiagLines(int v);
  TCellBorderStyle BorderDiagStyle() const { return format_->BorderDiagStyle(); }
  virtual void SetBorderDiagStyle(TCellBorderStyle v);
  TExcelColor BorderLeftColor() const { return format_->BorderLeftColor(); }
  virtual void SetBorderLeftColor(TExcelColor v);
  TCellBorderStyle BorderLeftStyle() const { return format_->BorderLeftStyle(); }
  virtual void SetBorderLeftStyle(TCellBorderStyle v);
  TExcelColor BorderRightColor() const { return format_->BorderRightColor(); }
  virtual void SetBorderRightColor(TExcelColor v);
  TCellBorderStyle BorderRightStyle() const { return format_->BorderRightStyle(); }
  virtual void SetBorderRightStyle(TCellBorderStyle v);
  TExcelColor BorderTopColor() const { return format_->BorderTopColor(); }
  virtual void SetBorderTopColor(TExcelColor v);
  TCellBorderStyle BorderTopStyle() const { return format_->BorderTopStyle(); }
  virtual void SetBorderTopStyle(TCellBorderStyle v);
  TFormatOptions FormatOptions() const { return format_->FormatOptions(); }
  virtual void SetFormatOptions(TFormatOptions v);
  int Indent() const { return format_->Indent(); }
  virtual void SetIndent(int v);
  std::u16string NumberFormat() const { return format_->NumberFormat(); }
  virtual void SetNumberFormat(const std::u16string& v);
  TCellProtections Protection() const { return format_->Protection(); }
  virtual void SetProtection(TCellProtections v);
  int Rotation() const { return format_->Rotation(); }
  virtual void SetRotation(int v);
  int VertAlignment() const { return format_->VertAlignment(); }
  virtual void SetVertAlignment(int v);
  TExcelFillPattern FillPattern() const { return format_->FillPattern(); }
  virtual void SetFillPattern(TExcelFillPattern v);
  uint8_t FontCharset() const { return CurrentFont().Charset; }
  virtual void SetFontCharset(uint8_t v);
  TExcelColor FontColor() const { return CurrentFont().Color; }
  virtual void SetFontColor(TExcelColor v);
  uint8_t FontFamily() const { return CurrentFont().Family; }
  virtual void SetFontFamily(uint8_t v);
  std::u16string FontName() const { return CurrentFont().Name; }
  virtual void SetFontName(const std::u16string& v);
  int FontSize() const { return CurrentFont().Size(); }
  virtual void SetFontSize(int v);
  int32_t FontSize20() const { return CurrentFont().Size20; }
  virtual void SetFontSize20(int32_t v);
  TXSubSuperscript FontSubSuperScript() const { return CurrentFont().SubSuperScript; }
  virtual void SetFontSubSuperScript(TXSubSuperscript v);
  TXUnderline FontUnderline() const { return CurrentFont().Underline; }
  virtual void SetFontUnderline(TXUnderline v);
  TXFontStyles FontStyle() const { return CurrentFont().Style; }
  virtual void SetFontStyle(TXFontStyles v);

 protected:
  // For copies: the new object takes a use of the same format.
  explicit TFormattedObject(TCellFormat& format);

 private:
  // The font the format names; a default font when the index is outside the font list.
  const TXFont& CurrentFont() const;
  template <class Apply>
  void ChangeFormat(Apply apply);
  template <class Apply>
  void ChangeFont(Apply apply);
  void TakeUse(TCellFormat& format);
  static void ReleaseUse(TCellFormat& format) noexcept;

  TCellFormat* format_;
};

class TFormattedObjectNotify;

// Receives the format changes of columns and rows so that the owner (the sheet) can push the new
// format onto the existing cells of that column or row.
class TFormatChangeSink {
 public:
  // number: the column or row number of the sender.
  virtual void OnFormatChange(TFormattedObjectNotify& sender, TCellFormat& format, int number) = 0;

 protected:
  ~TFormatChangeSink() = default;
};

class TFormattedObjectNotify : public TFormattedObject {
 public:
  TFormattedObjectNotify(TCellFormats& formats, int xfIndex, TFormatChangeSink* onFormatChange)
      : TFormattedObject(formats, xfIndex), onFormatChange_(onFormatChange) {}

  TFormatChangeSink* OnFormatChange() const { return onFormatChange_; }
  void SetOnFormatChange(TFormatChangeSink* sink) { onFormatChange_ = sink; }
  // The number passed with a notification (the column or row number).
  virtual int NotifyNumber() const = 0;

  void SetFillPatternBackColor(TExcelColor v) override;
  void SetFillPatternForeColor(TExcelColor v) override;
  void SetBorderBottomColor(TExcelColor v) override;
  void SetBorderBottomStyle(TCellBorderStyle v) override;
  void SetBorderDiagColor(TExcelColor v) override;
  void SetBorderDiagLines(int v) override;
  void SetBorderDiagStyle(TCellBorderStyle v) override;
  void SetBorderLeftColor(TExcelColor v) override;
  void SetBorderLeftStyle(TCellBorderStyle v) override;
  void SetBorderRightColor(TExcelColor v) override;
  void SetBorderRightStyle(TCellBorderStyle v) override;
  void SetBorderTopColor(TExcelColor v) override;
  void SetBorderTopStyle(TCellBorderStyle v) override;
  void SetFormatOptions(TFormatOptions v) override;
  void SetIndent(int v) override;
  void SetNumberFormat(const std::u16string& v) override;
  void SetProtection(TCellProtections v) override;
  void SetRotation(int v) override;
  void SetVertAlignment(int v) override;
  void SetFillPattern(TExcelFillPattern v) override;
  void SetFontCharset(uint8_t v) override;
  void SetFontColor(TExcelColor v) override;
  void SetFontFamily(uint8_t v) override;
  void SetFontName(const std::u16string& v) override;
  void SetFontSize(int v) override;
  void SetFontSize20(int32_t v) override;
  void SetFontSubSuperScript(TXSubSuperscript v) override;
  void SetFontUnderline(TXUnderline v) override;
  void SetFontStyle(TXFontStyles v) override;

 private:
  template <class Change>
  void Notifying(Change change);
  TFormatChangeSink* onFormatChange_;
};

}  // namespace xls
