// TXLSWriter: writes a TXLSWorkbook as a BIFF8 (or BIFF5) workbook in a compound file, or as the
// fixed single-sheet BIFF4 sequence.
//
// The BIFF5/8 writer walks the record storages of the globals and of every sheet in order: stored
// records are copied unchanged, placeholders expand into the records the model produces (fonts,
// formats, XFs, styles, the sheet list, shared strings, page setup, columns, rows and cells,
// panes). With a write password the workbook stream is RC4-encrypted after FILEPASS.
//
// A write to a path never touches the old file until the new one is complete: the file is built
// in memory, written to a temporary file in the same folder and renamed over the target.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "biff/xls_stream.h"
#include "platform/bytes.h"

namespace xls {

class TXLSWorkbook;
struct TRawChartSheet;
class TSheet;
class TCell;

// RK form of a number: true and the 32-bit RK value when the number can be stored as one.
bool EncodeRK(double value, uint32_t& rk);

// Writes bytes to a file at path so that either the complete new file or the old one is there:
// a temporary file in the same folder is written, flushed and closed, then renamed over the
// target. On failure the temporary file is removed and the old file stays untouched.
void WriteFileReplacing(const std::string& path, std::span<const uint8_t> data);

class TXLSWriter {
 public:
  explicit TXLSWriter(TXLSWorkbook& workbook);
  ~TXLSWriter();
  TXLSWriter(const TXLSWriter&) = delete;
  TXLSWriter& operator=(const TXLSWriter&) = delete;

  // Into the target stream, or into the workbook's Filename when there is none.
  void WriteBIFF8(TByteStream* target);
  void WriteBIFF4(TByteStream* target);

  // The most cells of one MULRK record.
  static constexpr int kMaxRKRun = 256;

 private:
  struct TBoundsheetData {
    uint8_t Kind = 0;          // 0 worksheet, 1 chart sheet
    int32_t Index = 0;         // in the sheet collection, or in the kept chart sheets
    int64_t BOFPosField = -1;  // stream position of the BOUNDSHEET's BOF-position field
    std::u16string Name;
    uint8_t Visibility = 0;
  };
  struct TRKItem {
    uint16_t Col;
    uint16_t XF;
    uint32_t RK;
  };

  // Runs the write into a memory stream, then hands the bytes to the target or the file.
  template <class F>
  void WriteThrough(TByteStream* target, F&& body);
  void DoWriteBIFF8(TByteStream* target);
  void DoWriteBIFF4(TByteStream* target);

  // Globals.
  void WriteGlobalsItem(int index);
  void WriteFormatRecords();
  void WriteBoundsheets();
  void WriteFilePass();
  void EncryptWorkbookStream();

  // Worksheets.
  // entry: the sheet's position in the sheet list (BOUNDSHEET order).
  void WriteSheet(TSheet& sheet, int index, int entry);
  void WriteChartSheet(const TRawChartSheet& chart, int entry);
  void PatchBOFPosition(int entry);
  void WriteSheetItem(TSheet& sheet, uint16_t recId, int index);
  void WritePageBreaks(TSheet& sheet);
  void WriteHeaderFooter(TSheet& sheet);
  void WriteMargins(TSheet& sheet);
  void WriteRowsAndCells(TSheet& sheet);
  void WriteCells(TSheet& sheet);
  void WriteCell(TSheet& sheet, TCell* cell);
  void WriteBlankRun(TCell* first, TSheet& sheet);
  void WriteFormula(TSheet& sheet, TCell* cell, int xf);
  // The STRING record (and its CONTINUE records) of a formula's text result.
  void WriteStringResult(const std::u16string& text);
  void WritePane(TSheet& sheet);
  void FlushRK();
  // Cells of a BIFF4 sheet: no MULRK or MULBLANK, formulas as their cached values.
  void WriteCellsBIFF4(TSheet& sheet);

  int MapXF(int xf) const;
  Bytes BOFBody(std::span<const uint8_t> stored) const;
  std::string Ansi(std::u16string_view text, size_t maxBytes) const;

  // Record output: header and body assembled in the record buffer and written at once.
  void WriteRecord(uint16_t recId, const void* body, size_t length);
  void WriteRecord(uint16_t recId, std::span<const uint8_t> body) {
    WriteRecord(recId, body.data(), body.size());
  }
  void WriteEmpty(uint16_t recId) { WriteRecord(recId, nullptr, 0); }
  void WriteWord(uint16_t recId, uint16_t value);
  void WriteBool(uint16_t recId, bool value) { WriteWord(recId, value ? 1 : 0); }

  TXLSWorkbook& workbook_;
  TExcelVersion version_;
  int maxBody_;
  Bytes buffer_;  // the record buffer: header + the largest body
  int32_t sheetIndex_ = -1;
  std::unique_ptr<TXLSStream> stream_;
  std::vector<std::unique_ptr<TBoundsheetData>> boundsheets_;
  bool newWorkbook_ = false;  // the globals were not read from a file
  int64_t cellNumber_ = 0;
  int progressCells_ = 0;
  // The pending RK run: one row, consecutive columns.
  int rkRow_ = -1;
  std::vector<TRKItem> rkRun_;
};

}  // namespace xls
