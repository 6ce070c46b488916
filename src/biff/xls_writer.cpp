#include "biff/xls_writer.h"

#include "platform/error.h"

namespace xls {

TXLSWriter::TXLSWriter(TXLSWorkbook& workbook) : workbook_(workbook) {}
TXLSWriter::~TXLSWriter() = default;

// Replaced by the record writer; until it lands a write fails cleanly.
void TXLSWriter::WriteBIFF8(TByteStream*) {
  Raise("Writing workbooks is not built yet");
}
void TXLSWriter::WriteBIFF4(TByteStream*) {
  Raise("Writing workbooks is not built yet");
}

}  // namespace xls
