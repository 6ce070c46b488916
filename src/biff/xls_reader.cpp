#include "biff/xls_reader.h"

#include "platform/error.h"

namespace xls {

TXLSReader::TXLSReader(TXLSWorkbook& workbook) : workbook_(workbook) {}
TXLSReader::~TXLSReader() = default;

// Replaced by the record reader; until it lands a read fails cleanly.
void TXLSReader::ReadWorkbook(TByteStream*) {
  Raise("Reading workbooks is not built yet");
}

}  // namespace xls
