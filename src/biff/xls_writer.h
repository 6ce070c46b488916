// TXLSWriter: writes a TXLSWorkbook as a BIFF8 (or BIFF5) workbook in a compound file, or as the
// fixed single-sheet BIFF4 sequence.
#pragma once

#include "biff/xls_stream.h"

namespace xls {

class TXLSWorkbook;

class TXLSWriter {
 public:
  explicit TXLSWriter(TXLSWorkbook& workbook);
  ~TXLSWriter();
  TXLSWriter(const TXLSWriter&) = delete;
  TXLSWriter& operator=(const TXLSWriter&) = delete;

  // Into the target stream, or into the workbook's Filename when there is none.
  void WriteBIFF8(TByteStream* target);
  void WriteBIFF4(TByteStream* target);

 private:
  TXLSWorkbook& workbook_;
};

}  // namespace xls
