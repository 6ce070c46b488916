// libFuzzer target: read a whole workbook from memory. Input that is a compound file is read as
// it is; any other input is taken as the bytes of a workbook stream, wrapped into an in-memory
// compound file (so that mutations reach the records rather than the container), unless it starts
// like a plain BIFF2-4 file. A damaged workbook may only end in EXLSError.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "biff/xls_stream.h"
#include "cfb/compound_file.h"
#include "platform/bytes.h"
#include "platform/error.h"
#include "workbook/sheet.h"
#include "workbook/xls_workbook.h"

namespace {

bool LooksLikePlainBiff(const uint8_t* data, size_t size) {
  if (size < 4) return false;
  const uint16_t id = xls::GetU16(data);
  return id == 0x0009 || id == 0x0209 || id == 0x0409;
}

xls::Bytes WrapAsWorkbookStream(const uint8_t* data, size_t size) {
  auto file = xls::cfb::CompoundFile::CreateInMemory();
  file->Root().CreateStream(u"Workbook").Write(data, size);
  return file->GetBytes();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  xls::Bytes input;
  if (xls::cfb::CompoundFile::IsCompoundData({data, size}) || LooksLikePlainBiff(data, size))
    input.assign(data, data + size);
  else
    input = WrapAsWorkbookStream(data, size);

  // One workbook for the whole run: ReadStream clears it, and its construction asks the printer
  // system for a paper size, which is slow and outside what is fuzzed here.
  static xls::TXLSWorkbook wb;
  wb.OnPassword = [](xls::TXLSWorkbook&, std::u16string& p) { p = u"password"; };
  xls::TMemoryStream source(std::move(input));
  try {
    wb.ReadStream(&source);
  } catch (const xls::EXLSError&) {
  }
  // Whatever was read must be usable.
  for (int i = 0; i < wb.Sheets().Count(); ++i) {
    xls::TSheet& sheet = wb.Sheets()[i];
    xls::TCellStorage& cells = sheet.Cells();
    cells.BeginIterate();
    int n = 0;
    while (xls::TCell* cell = cells.NextCell()) {
      if (n++ > 2000) break;
      (void)sheet.FormattedText(cell->Col(), cell->Row());
    }
  }
  return 0;
}
