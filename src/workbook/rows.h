// Row formats of a sheet: a list of TXLSRow kept sorted by row number, read from and written to
// ROW records.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "workbook/formatted_object.h"

namespace xls {

inline constexpr int kRowRecordSize = 16;
inline constexpr uint16_t kRowHasFormat = 0x0080;

class TXLSRow : public TFormattedObjectNotify {
 public:
  // A row with a format other than XF 15 starts with options 0x0080.
  TXLSRow(TCellFormats& formats, int row, int xfIndex, TFormatChangeSink* onFormatChange);

  int NotifyNumber() const override { return Row; }

  // Kept exactly as in the ROW record.
  uint16_t Row = 0;
  uint16_t FirstCol = 0;
  uint16_t LastCol1 = 0;  // last column + 1
  uint16_t Height = 0;    // twips
  uint16_t Options = 0;   // low half of the option word
};

class TXLSRows {
 public:
  explicit TXLSRows(TCellFormats& formats, TFormatChangeSink* onFormatChange = nullptr)
      : formats_(formats), onFormatChange_(onFormatChange) {}

  TFormatChangeSink* OnFormatChange() const { return onFormatChange_; }
  void SetOnFormatChange(TFormatChangeSink* sink);
  int Count() const { return static_cast<int>(items_.size()); }
  TXLSRow* Items(int position) const { return items_.at(position).get(); }

  // List position of the row (binary search), or -1; -1 outside 0..65535.
  int FindRow(int row) const;
  TXLSRow* RowAt(int row) const;
  // The row object, made (in order) when the row has none.
  TXLSRow* AddRow(int row, int xfIndex = 15);
  // Appends a row from a ROW body; the reader sorts afterwards.
  void AddRowRecord(std::span<const uint8_t> body);
  // The ROW body of the row at a list position (16 bytes).
  void FillRowRecord(int position, uint8_t* body) const;
  void SortRows();
  void Clear() { items_.clear(); }

 private:
  TCellFormats& formats_;
  TFormatChangeSink* onFormatChange_;
  std::vector<std::unique_ptr<TXLSRow>> items_;
};

}  // namespace xls
