// Pushes the format of a column or row onto the existing cells of that column or row when the
// column's or row's own format changes. Each sheet owns one and wires its columns and rows to it.
#pragma once

#include "workbook/cell_storage.h"
#include "workbook/formatted_object.h"

namespace xls {

class TApplyFormat : public TFormatChangeSink {
 public:
  TApplyFormat(TCellFormats& formats, TCellStorage& cells)
      : formats_(formats), cells_(cells), scratch_(&formats) {}

  TCellFormats& Formats() const { return formats_; }
  TCellStorage& Cells() const { return cells_; }
  TCellFormat& Scratch() { return scratch_; }

  // A TXLSColumn gives its format to every cell of the column, a TXLSRow to every cell of the row.
  void OnFormatChange(TFormattedObjectNotify& sender, TCellFormat& format, int number) override;

 private:
  TCellFormats& formats_;
  TCellStorage& cells_;
  TCellFormat scratch_;
};

}  // namespace xls
