// TXLSReader: reads a workbook file (BIFF5/7 or BIFF8 in a compound file) into a TXLSWorkbook.
#pragma once

#include "biff/xls_stream.h"

namespace xls {

class TXLSWorkbook;

class TXLSReader {
 public:
  explicit TXLSReader(TXLSWorkbook& workbook);
  ~TXLSReader();
  TXLSReader(const TXLSReader&) = delete;
  TXLSReader& operator=(const TXLSReader&) = delete;

  // Reads from the source stream, or from the workbook's Filename when there is none.
  void ReadWorkbook(TByteStream* source);

 private:
  TXLSWorkbook& workbook_;
};

}  // namespace xls
