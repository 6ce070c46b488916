// TXLSWorkbook: one workbook in memory (sheets, fonts, formats, strings, preserved records) with
// its read and write entry points. The reader (TXLSReader) and the writer (TXLSWriter) fill and
// walk its members; the component itself sets up a valid default workbook, resets it before a
// read, tidies up after one and carries the workbook-wide options.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "biff/excel_version.h"
#include "biff/record_storage.h"
#include "biff/xls_stream.h"
#include "workbook/cell_formats.h"
#include "workbook/enum_set.h"
#include "workbook/sheet.h"
#include "workbook/xls_fonts.h"

namespace xls {

class TXLSWorkbook;

enum TWorkbookOption { woHidden, woIconized, woHScroll, woVScroll, woTabs };
using TWorkbookOptions = TEnumSet<TWorkbookOption, uint8_t>;

// The workbook window settings: every property is a field of the WINDOW1 record.
class TWorkbookData {
 public:
  explicit TWorkbookData(TRecordStorageGlobals& globals) : globals_(globals) {}
  uint16_t Left() const;
  void SetLeft(uint16_t v);
  uint16_t Top() const;
  void SetTop(uint16_t v);
  uint16_t Width() const;
  void SetWidth(uint16_t v);
  uint16_t Height() const;
  void SetHeight(uint16_t v);
  uint16_t SelectedTab() const;
  void SetSelectedTab(uint16_t v);
  TWorkbookOptions Options() const;
  void SetOptions(TWorkbookOptions v);

 private:
  TRecordStorageGlobals& globals_;
};

enum TCalcMode { cmManual, cmAutomatic, cmAutoExTables };
enum TShowObjects { soShowAll, soPlaceholders, soHideAll };

// Calculation and display options. The calculation options live here and are copied from the
// first sheet after a read and to every sheet before a write; the others are global records.
class TOptionsDialog {
 public:
  explicit TOptionsDialog(TRecordStorageGlobals& globals) : globals_(globals) {}

  TCalcMode CalcMode = cmAutomatic;
  uint16_t CalcCount = 100;
  double Delta = 0.001;
  bool Iteration = false;
  bool R1C1Mode = false;
  bool SaveRecalc = true;
  bool RecalcBeforeSave = false;
  bool Uncalced = false;

  bool PrecisionAsDisplayed() const { return globals_.PRECISION(); }
  void SetPrecisionAsDisplayed(bool v) { globals_.SetPRECISION(v); }
  bool SaveExtLinkVal() const { return globals_.BOOKBOOL(); }
  void SetSaveExtLinkVal(bool v) { globals_.SetBOOKBOOL(v); }
  TShowObjects ShowObjects() const;
  void SetShowObjects(TShowObjects v) { globals_.SetHIDEOBJ(static_cast<uint16_t>(v)); }

 private:
  TRecordStorageGlobals& globals_;
};

// A chart sheet as read from a file: its substream's records (headers included, BOF to EOF),
// written back unchanged at its place in the sheet list until charts have a model of their own.
struct TRawChartSheet {
  std::u16string Name;
  int Position = 0;  // among all sheets of the file's sheet list, worksheets included
  uint8_t Visibility = 0;
  TExcelVersion Version = xvExcel97;
  Bytes Records;
};

using TProgressEvent = std::function<void(TXLSWorkbook& sender, int percent)>;
using TPasswordEvent = std::function<void(TXLSWorkbook& sender, std::u16string& password)>;
// A value given to or returned by a worksheet function: none, number, text, boolean or error.
using TFormulaValue = std::variant<std::monostate, double, std::u16string, bool, TCellError>;
using TFunctionEvent =
    std::function<void(TXLSWorkbook& sender, const std::u16string& funcName,
                       const std::vector<TFormulaValue>& args, TFormulaValue& result)>;

class TXLSWorkbook {
 public:
  TXLSWorkbook();
  ~TXLSWorkbook();
  TXLSWorkbook(const TXLSWorkbook&) = delete;
  TXLSWorkbook& operator=(const TXLSWorkbook&) = delete;

  std::u16string Filename;
  TExcelVersion Version() const { return version_; }
  void SetVersion(TExcelVersion v);
  TSheets& Sheets() { return *sheets_; }
  const TSheets& Sheets() const { return *sheets_; }
  TWorkbookData& Workbook() { return workbookData_; }
  TOptionsDialog& OptionsDialog() { return optionsDialog_; }

  // Font 0 of the font list; with an empty list "No Fonts" is shown and there is none.
  TXFont* Font();
  void SetFont(const TXFont& font);
  std::u16string UserName() const { return globals_.WRITEACCESS(); }
  void SetUserName(std::u16string_view name) { globals_.SetWRITEACCESS(name); }
  bool BookProtected() const { return globals_.WINDOWPROTECT(); }
  void SetBookProtected(bool v) { globals_.SetWINDOWPROTECT(v); }
  bool Backup() const { return globals_.BACKUP(); }
  void SetBackup(bool v) { globals_.SetBACKUP(v); }
  bool RefreshAll() const { return globals_.REFRESHALL(); }
  void SetRefreshAll(bool v) { globals_.SetREFRESHALL(v); }
  std::u16string StrTRUE = u"TRUE";
  std::u16string StrFALSE = u"FALSE";
  bool ShowFormulas = false;
  bool IsMac = false;
  bool PreserveMacros = true;
  static std::string ComponentVersion() { return "2.00.14"; }
  std::u16string WritePassword;
  TProgressEvent OnProgress;
  TPasswordEvent OnPassword;
  // Kept for applications that evaluate functions; the engine itself never raises it.
  TFunctionEvent OnFunction;

  // Back to one empty sheet, default fonts, formats and records.
  void ClearWorkbook();
  void ReadFile() { ReadStream(nullptr); }
  // Reads from the stream, or from Filename when there is none.
  void ReadStream(TByteStream* source);
  void WriteFile() { WriteStream(nullptr); }
  // Writes to the stream, or to Filename when there is none.
  void WriteStream(TByteStream* target);

  // Members the reader and the writer work on.
  TXFonts& Fonts() { return fonts_; }
  TCellFormats& CellFormats() { return formats_; }
  TCellFormat* DefaultFormat() const { return defaultFormat_; }
  TRecordStorageGlobals& Globals() { return globals_; }
  TExtraObjects& ExtraObjects() { return extraObjects_; }
  TStyles& Styles() { return styles_; }
  std::vector<TRawChartSheet>& ChartSheets() { return chartSheets_; }
  int32_t MaxRecordLength() const { return maxRecordLength_; }
  bool DefaultStyles() const { return defaultStyles_; }
  void SetDefaultStyles(bool v) { defaultStyles_ = v; }
  uint8_t DefaultPaperSize() const { return defaultPaperSize_; }
  // Advances the write progress by `cells` cells and raises OnProgress when the percentage
  // changes.
  void AdvanceProgress(int cells);

  // Lookups for formulas: a sheet's index by name (-1 when none) and the number of sheets.
  int SheetIndexByName(std::u16string_view name, int& sheetCount) const;
  // Kind 0: the name of the sheet at index; kind 1: the plain text of a cell.
  std::u16string TextProvider(int kind, int sheetIndex, int col, int row);

 private:
  void CalcOptionsFromFirstSheet();
  void CalcOptionsToSheets();

  TExcelVersion version_ = xvExcel97;
  uint8_t defaultPaperSize_;
  TRecordStorageGlobals globals_;
  TExtraObjects extraObjects_;
  bool defaultStyles_ = true;
  TWorkbookData workbookData_;
  TOptionsDialog optionsDialog_;
  TXFonts fonts_;
  TCellFormats formats_;
  TCellFormat* defaultFormat_ = nullptr;
  TStyles styles_;
  std::unique_ptr<TSheets> sheets_;
  std::vector<TRawChartSheet> chartSheets_;
  int32_t maxRecordLength_ = 8224;
  int64_t progressTotal_ = 0;
  int64_t progressCounter_ = 0;
  int lastProgress_ = -1;
};

}  // namespace xls
