#include "workbook/apply_format.h"

#include "workbook/columns.h"
#include "workbook/rows.h"

namespace xls {

void TApplyFormat::OnFormatChange(TFormattedObjectNotify& sender, TCellFormat& format, int number) {
  auto apply = [&format](TCell* cell) { cell->AssignFormat(format); };
  if (dynamic_cast<TXLSColumn*>(&sender))
    cells_.ForEachCellInColumn(number, apply);
  else if (dynamic_cast<TXLSRow*>(&sender))
    cells_.ForEachCellInRow(number, apply);
}

}  // namespace xls
