// Worksheets and the sheet collection. A TSheet owns its cells, its column and row formats, its
// preserved and default records (which also hold several settings: DIMENSIONS, WINDOW2, SETUP,
// WSBOOL ...), its print settings and its pane. TSheets owns the sheets, the shared string table
// and the number-format renderer every sheet uses.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "biff/record_storage.h"
#include "biff/sst2.h"
#include "workbook/apply_format.h"
#include "workbook/cell.h"
#include "workbook/cell_storage.h"
#include "workbook/columns.h"
#include "workbook/enum_set.h"
#include "workbook/excel_mask.h"
#include "workbook/rows.h"

namespace xls {

class TXLSWorkbook;
class TSheets;
class TSheet;

enum TSheetOption {
  soShowFormulas,
  soGridlines,
  soRowColHeadings,
  soFrozenPanes,
  soShowZeros,
  soProtected,
  soR1C1Mode,
  soIteration
};
using TSheetOptions = TEnumSet<TSheetOption, uint16_t>;

enum TWorkspaceOption {
  woShowAutoBreaks,
  woApplyStyles,
  woRowSumsBelow,
  woColSumsRight,
  woFitToPage,
  woOutlineSymbols
};
using TWorkspaceOptions = TEnumSet<TWorkspaceOption, uint16_t>;

enum TPrintSetupOption {
  psoLeftToRight,
  psoPortrait,
  psoNoColor,
  psoDraftQuality,
  psoNotes,
  psoRowColHeading,
  psoGridlines,
  psoHorizCenter,
  psoVertCenter
};
using TPrintSetupOptions = TEnumSet<TPrintSetupOption, uint16_t>;

using TPaperSize = uint8_t;

struct THorizPagebreak {
  int32_t Row = 0;
  int32_t Col1 = 0;
  int32_t Col2 = 255;
};

struct TVertPagebreak {
  int32_t Col = 0;
  int32_t Row1 = 0;
  int32_t Row2 = 65535;
};

// Print settings: partly in the sheet's SETUP, PRINTHEADERS, PRINTGRIDLINES, HCENTER and VCENTER
// records, partly own fields (margins in inches, -1 = not set; header and footer texts).
class TPrintSettings {
 public:
  explicit TPrintSettings(TSheet& sheet);

  TPaperSize PaperSize() const;
  void SetPaperSize(TPaperSize v);
  uint16_t ScalingFactor() const;
  void SetScalingFactor(uint16_t v);
  uint16_t StartingPage() const;
  void SetStartingPage(uint16_t v);
  uint16_t Copies() const;
  void SetCopies(uint16_t v);
  uint16_t Resolution() const;
  void SetResolution(uint16_t v);
  double HeaderMargin() const;
  void SetHeaderMargin(double v);
  double FooterMargin() const;
  void SetFooterMargin(double v);
  TPrintSetupOptions Options() const;
  void SetOptions(TPrintSetupOptions v);

  double MarginLeft = -1, MarginRight = -1, MarginTop = -1, MarginBottom = -1;
  double MarginLeftCm() const { return MarginLeft * 2.54; }
  void SetMarginLeftCm(double v) { MarginLeft = v / 2.54; }
  double MarginRightCm() const { return MarginRight * 2.54; }
  void SetMarginRightCm(double v) { MarginRight = v / 2.54; }
  double MarginTopCm() const { return MarginTop * 2.54; }
  void SetMarginTopCm(double v) { MarginTop = v / 2.54; }
  double MarginBottomCm() const { return MarginBottom * 2.54; }
  void SetMarginBottomCm(double v) { MarginBottom = v / 2.54; }

  std::u16string Header, Footer;
  std::vector<THorizPagebreak> HorizPagebreaks;
  std::vector<TVertPagebreak> VertPagebreaks;

  // Starting page 1, options [psoPortrait], margins not set, no page breaks. Header and footer
  // texts stay.
  void Reset();

 private:
  TSheet& sheet_;
};

enum TPaneType { ptNone, ptFrozen, ptSplit };

class TPane {
 public:
  TPaneType PaneType = ptNone;
  int32_t SplitColX = 0;
  int32_t SplitRowY = 0;
  int32_t LeftCol = 0;
  int32_t TopRow = 0;
  uint8_t ActivePane() const { return activePane_; }
  // Raises "Value out of range" above 3.
  void SetActivePane(uint8_t v);
  // Raw SELECTION records (bodies) that followed PANE in the file.
  std::vector<Bytes> Selections;
  void Clear();

 private:
  uint8_t activePane_ = 3;
};

class TBasicSheet {
 public:
  virtual ~TBasicSheet() = default;
  const std::u16string& Name() const { return name_; }
  // Shows "Sheet name "X" allready exists" and keeps the old name when any sheet of the
  // collection (this one included) has the name without regard to case.
  virtual void SetName(const std::u16string& name) = 0;

 protected:
  std::u16string name_;
};

class TSheet : public TBasicSheet {
 public:
  TSheet(TSheets& owner, int itemNumber);
  ~TSheet() override;
  TSheet(const TSheet&) = delete;
  TSheet& operator=(const TSheet&) = delete;

  void SetName(const std::u16string& name) override;
  int ItemNumber() const { return itemNumber_; }
  int Index() const;  // position in the collection
  TSheets& Owner() const { return owner_; }
  TXLSWorkbook& Workbook() const;

  TCellStorage& Cells() { return cells_; }
  TRecordStorageSheet& Records() { return records_; }
  const TRecordStorageSheet& Records() const { return records_; }
  TXLSColumns& Columns() { return columns_; }
  TXLSRows& Rows() { return rows_; }
  TPrintSettings& PrintSettings() { return printSettings_; }
  TPane& Pane() { return pane_; }
  TApplyFormat& ApplyFormat() { return applyFormat_; }
  TCellFormats& CellFormats() const { return formats_; }

  bool RecalcFormulas = true;
  // The sheet list's visibility byte: 0 visible, 1 hidden, 2 very hidden.
  uint8_t Visibility = 0;
  // True once the sheet's records were filled from a file (the writer then leaves them as read).
  bool ReadFromFile = false;

  // Cell setters: column 0..255, row 0..65535, xf an index into the workbook's cell formats.
  void AddBlankCell(int col, int row, int xf);
  void AddBooleanCell(int col, int row, int xf, bool value);
  void AddErrorCell(int col, int row, int xf, TCellError error);
  void AddFloatCell(int col, int row, int xf, double value);
  void AddSSTCell(int col, int row, int xf, int sstIndex);
  void AddTextCell(int col, int row, int xf, std::u16string_view text);
  // Formula cells; extra is the data that follows the tokens in the record (array constants).
  void AddNumberFormulaCell(int col, int row, int xf, std::span<const uint8_t> tokens,
                            double result, std::span<const uint8_t> extra = {});
  void AddStringFormulaCell(int col, int row, int xf, std::span<const uint8_t> tokens,
                            const std::u16string& result, std::span<const uint8_t> extra = {});
  void AddBooleanFormulaCell(int col, int row, int xf, std::span<const uint8_t> tokens,
                             uint8_t result, std::span<const uint8_t> extra = {});
  // errorCode is the BIFF error code.
  void AddErrorFormulaCell(int col, int row, int xf, std::span<const uint8_t> tokens,
                           uint8_t errorCode, std::span<const uint8_t> extra = {});
  void AddArrayFormulaCell(int col, int row, int xf, std::span<const uint8_t> tokens,
                           std::span<const uint8_t> arrayBody, const uint8_t result[8],
                           std::span<const uint8_t> extra = {});
  // A text cell; its format is the old cell's, else the column's, else the row's, else XF 15.
  void SetCellText(int col, int row, std::u16string_view text);

  TCell* CellAt(int col, int row) { return cells_.FindCell(col, row); }
  std::u16string CellText(int col, int row);
  std::u16string FormattedText(int col, int row);

  // The used area as the DIMENSIONS record holds it.
  int FirstCol() const;
  void SetFirstCol(int v);
  int LastCol() const;
  void SetLastCol(int v);
  int FirstRow() const;
  void SetFirstRow(int v);
  int LastRow() const;
  void SetLastRow(int v);
  void UpdateDimensions();

  uint16_t DefaultColWidth() const { return records_.DEFCOLWIDTH(); }
  void SetDefaultColWidth(uint16_t v) { records_.SetDEFCOLWIDTH(v); }
  uint16_t DefaultRowHeight() const;
  void SetDefaultRowHeight(uint16_t v);
  uint16_t Zoom() const;
  void SetZoom(uint16_t v);
  uint16_t ZoomPreview() const;
  void SetZoomPreview(uint16_t v);
  TSheetOptions Options() const;
  void SetOptions(TSheetOptions v);
  TWorkspaceOptions WorkspaceOptions() const;
  void SetWorkspaceOptions(TWorkspaceOptions v);

  // Records back to their defaults, print settings reset, column and row formats, pane and cells
  // removed. The name stays.
  void Clear();

 private:
  void Store(int col, int row, TCellPtr cell);
  std::u16string Text(int col, int row, bool formatted);
  std::u16string NumberText(double v, int xf, bool formatted);

  TSheets& owner_;
  TCellFormats& formats_;
  int itemNumber_;
  TRecordStorageSheet records_;
  TCellStorage cells_;
  TApplyFormat applyFormat_;  // re-formats a column's or row's cells when its format changes
  TXLSColumns columns_;
  TXLSRows rows_;
  TPrintSettings printSettings_;
  TPane pane_;
};

class TSheets {
 public:
  explicit TSheets(TXLSWorkbook& workbook);
  ~TSheets();
  TSheets(const TSheets&) = delete;
  TSheets& operator=(const TSheets&) = delete;

  int Count() const { return static_cast<int>(items_.size()); }
  // Raises "List index out of bounds (%d)" outside the list.
  TSheet& Items(int index) const;
  TSheet& operator[](int index) const { return Items(index); }
  int IndexOf(const TSheet& sheet) const;

  // A new sheet named "Sheet" + (item number + 1).
  TSheet& Add();
  // A new sheet with the given name (the reader's sheets): no default name is tried first, so
  // names of a file never clash with default names.
  TSheet& AddNamed(const std::u16string& name);
  // Clears the shared strings, empties every sheet, then destroys them.
  void RemoveAll();
  // RemoveAll, then one new sheet.
  void Reset();
  // The first sheet with the name without regard to case, or none.
  TSheet* Find(std::u16string_view name) const;
  void SetMaxRecordLength(int32_t length) { sst_.SetRecordLimit(length); }

  TSST2& SST() { return sst_; }
  TExcelMask& Mask() { return mask_; }
  TXLSWorkbook& Workbook() const { return workbook_; }

 private:
  TXLSWorkbook& workbook_;
  TSST2 sst_;
  TExcelMask mask_;
  std::vector<std::unique_ptr<TSheet>> items_;
  int nextItemNumber_ = 0;
};

}  // namespace xls
