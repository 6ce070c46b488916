// libFuzzer target: a workbook the reader accepts is written to memory and read back. The write
// and the second read may not fail, and the sheets and their cells must come back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "biff/xls_stream.h"
#include "cfb/compound_file.h"
#include "platform/bytes.h"
#include "platform/error.h"
#include "workbook/sheet.h"
#include "workbook/xls_workbook.h"

namespace {

xls::Bytes Input(const uint8_t* data, size_t size) {
  if (xls::cfb::CompoundFile::IsCompoundData({data, size})) return {data, data + size};
  // Other input is taken as the records of a workbook stream.
  auto file = xls::cfb::CompoundFile::CreateInMemory();
  file->Root().CreateStream(u"Workbook").Write(data, size);
  return file->GetBytes();
}

int CountCells(xls::TSheet& sheet) {
  int n = 0;
  sheet.Cells().BeginIterate();
  while (sheet.Cells().NextCell()) ++n;
  return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static xls::TXLSWorkbook first;
  static xls::TXLSWorkbook second;
  xls::TMemoryStream source(Input(data, size));
  try {
    first.ReadStream(&source);
  } catch (const xls::EXLSError&) {
    return 0;  // not a workbook the reader accepts
  }
  if (first.Version() < xls::xvExcel50) return 0;  // plain BIFF2-4 files are written as BIFF4
  xls::TMemoryStream written;
  try {
    first.WriteStream(&written);
  } catch (const xls::EXLSError&) {
    // A model the writer refuses (a record too long for its version and the like) is reported
    // with a message; that is a clean outcome too.
    return 0;
  }
  written.Seek(0, xls::soFromBeginning);
  second.ReadStream(&written);  // an exception here is a finding
  if (second.Sheets().Count() != first.Sheets().Count()) std::abort();
  for (int i = 0; i < first.Sheets().Count(); ++i)
    if (CountCells(first.Sheets()[i]) != CountCells(second.Sheets()[i])) std::abort();
  return 0;
}
