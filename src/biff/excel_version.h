// The file version of a workbook, ordered from "nothing recognised" to BIFF8.
#pragma once

namespace xls {

enum TExcelVersion {
  xvNone,
  xvExcelUnknown,
  xvExcel21,  // BIFF2
  xvExcel30,  // BIFF3
  xvExcel40,  // BIFF4
  xvExcel50,  // BIFF5/7, stream "Book"
  xvExcel97,  // BIFF8, stream "Workbook"
};

}  // namespace xls
