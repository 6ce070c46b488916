// Writes a UTF-8 CSV file as a workbook: fields that read back exactly as numbers become number
// cells, everything else text cells, all on the first sheet. Used by bench/run_write.sh to time
// the writer as a whole program (reading the CSV and filling the model included).
//
//   bench_write IN.csv OUT.xls
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/codec.h"
#include "platform/error.h"
#include "workbook/xls_workbook.h"

namespace {

// A number when the whole field parses and prints back to the same value.
bool ParseNumber(const std::string& s, double& v) {
  if (s.empty() || s.size() > 64 || std::isspace(static_cast<unsigned char>(s.front())) ||
      std::isspace(static_cast<unsigned char>(s.back())))
    return false;
  char* end = nullptr;
  errno = 0;
  v = std::strtod(s.c_str(), &end);
  if (errno != 0 || end != s.c_str() + s.size() || !std::isfinite(v)) return false;
  // Hexadecimal, "inf" and "nan" spellings stay text.
  for (char c : s)
    if (!(std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '+' ||
          c == 'e' || c == 'E'))
      return false;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s IN.csv OUT.xls\n", argv[0]);
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "can not open %s\n", argv[1]);
    return 1;
  }
  const std::string data((std::istreambuf_iterator<char>(in)), {});
  try {
    xls::TXLSWorkbook wb;
    xls::TSheet& sheet = wb.Sheets()[0];
    int row = 0, col = 0;
    std::string field;
    bool quoted = false, any = false;
    auto flush = [&] {
      if (row <= xls::kMaxRow && col <= xls::kMaxCol && !field.empty()) {
        double v;
        if (ParseNumber(field, v))
          sheet.AddFloatCell(col, row, xls::kDefaultCellXF, v);
        else
          sheet.SetCellText(col, row, xls::Utf8ToUtf16(field));
      }
      field.clear();
    };
    for (size_t i = 0; i < data.size(); ++i) {
      const char c = data[i];
      if (quoted) {
        if (c == '"') {
          if (i + 1 < data.size() && data[i + 1] == '"') {
            field += '"';
            ++i;
          } else {
            quoted = false;
          }
        } else {
          field += c;
        }
        continue;
      }
      any = true;
      if (c == '"') {
        quoted = true;
      } else if (c == ',') {
        flush();
        ++col;
      } else if (c == '\n' || c == '\r') {
        if (c == '\r' && i + 1 < data.size() && data[i + 1] == '\n') ++i;
        flush();
        col = 0;
        ++row;
        any = false;
      } else {
        field += c;
      }
    }
    if (any) flush();
    wb.Filename = xls::Utf8ToUtf16(argv[2]);
    wb.WriteFile();
  } catch (const xls::EXLSError& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
