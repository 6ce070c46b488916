// Column formats of a sheet: 256 fixed slots, each a TXLSColumn or none. COLINFO records read into
// them and are written from them, equal neighbours merged into one record.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "workbook/format_records.h"
#include "workbook/formatted_object.h"

namespace xls {

class TXLSStream;

inline constexpr int kColumnCount = 256;
inline constexpr int32_t kDefaultColumnWidth = 2500;
inline constexpr int kColInfoSize = 12;

class TXLSColumn : public TFormattedObjectNotify {
 public:
  TXLSColumn(TCellFormats& formats, int col, int xfIndex, TFormatChangeSink* onFormatChange)
      : TFormattedObjectNotify(formats, xfIndex, onFormatChange), col_(static_cast<uint8_t>(col)) {}

  int Col() const { return col_; }
  int NotifyNumber() const override { return col_; }
  // Same width, hidden, outline level, collapsed and format (the user-set flag is not compared).
  bool SameAs(const TXLSColumn& other) const;

  int32_t Width = kDefaultColumnWidth;  // 1/256 of the width of the default font's zero
  bool Hidden = false;
  uint8_t OutlineLevel = 0;  // 0..7
  bool Collapsed = false;
  bool UserSet = false;

 private:
  uint8_t col_;
};

class TXLSColumns {
 public:
  explicit TXLSColumns(TCellFormats& formats, TFormatChangeSink* onFormatChange = nullptr)
      : formats_(formats), onFormatChange_(onFormatChange) {}

  TFormatChangeSink* OnFormatChange() const { return onFormatChange_; }
  void SetOnFormatChange(TFormatChangeSink* sink);

  // The column object, or none (also for a column outside 0..255).
  TXLSColumn* ColumnAt(int col) const;
  // A new column object in the slot (an existing one is destroyed first).
  TXLSColumn* AddColumn(int col, int xfIndex = kDefaultCellXF);
  // Raises "Invalid columns" unless 0 <= first <= last <= 255.
  void ClearColumns(int first = 0, int last = kColumnCount - 1);
  void ReadColInfo(std::span<const uint8_t> body);
  // The COLINFO records that WriteColInfo writes.
  std::vector<TBiffRecord> ColInfoRecords() const;
  void WriteColInfo(TXLSStream& stream) const;

 private:
  TCellFormats& formats_;
  TFormatChangeSink* onFormatChange_;
  std::array<std::unique_ptr<TXLSColumn>, kColumnCount> columns_;
};

}  // namespace xls
