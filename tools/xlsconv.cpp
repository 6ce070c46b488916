// xlsconv: converts between workbooks and text.
//
//   xlsconv [--plain] [--sheet N|NAME] [--password P] IN.xls OUT.csv
//   xlsconv --list [--password P] IN.xls
//   xlsconv [--version 8|5|4] [--write-password Q] IN.csv OUT.xls
//   xlsconv [--password P] [--version 8|5|4] [--write-password Q] IN.xls OUT.xls
//
// Reading writes one sheet (default: the first) as CSV: RFC 4180 quoting, UTF-8, CRLF line ends,
// one line per row from row 1 to the last used row, every line with as many fields as the last
// used column needs. Each field is the cell's displayed text (its number format applied), or
// with --plain its plain text. N counts sheets from 0; a sheet name is matched first. IN or OUT
// may be "-" for standard input or output.
//
// Writing a workbook: from a UTF-8 CSV file (RFC 4180), every field that reads back exactly as a
// number (its general text is the field itself: "42", "-1.5", not "007" or "1.50") becomes a
// number cell, every other non-empty field a text cell, on the first sheet; or from a workbook,
// which is read and written back (with what the engine does not model kept as it was). The
// output is written as BIFF8 unless --version says 5 or 4; --write-password encrypts it.
//
// Exit status: 0 success, 1 the workbook could not be read or the sheet was not found, 2 bad
// command line, 3 the output could not be written.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "biff/xls_stream.h"
#include "platform/codec.h"
#include "platform/error.h"
#include "platform/locale_settings.h"
#include "workbook/cell.h"
#include "workbook/number_render.h"
#include "workbook/sheet.h"
#include "workbook/xls_workbook.h"

namespace {

enum class TMode { ToCsv, List, CsvToXls, XlsToXls };

struct TOptions {
  TMode Mode = TMode::ToCsv;
  std::string Input;
  std::string Output;
  std::string Sheet;  // empty = the first sheet
  std::string Password;
  bool HasPassword = false;
  bool Plain = false;
  std::string WritePassword;
  xls::TExcelVersion Version = xls::xvExcel97;
};

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitOutput = 3;

void Usage() {
  std::fputs(
      "usage: xlsconv [--plain] [--sheet N|NAME] [--password P] IN.xls OUT.csv\n"
      "       xlsconv --list [--password P] IN.xls\n"
      "       xlsconv [--version 8|5|4] [--write-password Q] IN.csv OUT.xls\n"
      "       xlsconv [--password P] [--version 8|5|4] [--write-password Q] IN.xls OUT.xls\n"
      "To CSV: one sheet (--sheet; N counts from 0), displayed texts (--plain: plain texts).\n"
      "From CSV: numbers that read back exactly become number cells, the rest text cells.\n"
      "IN.xls or OUT.csv may be - for standard input or output.\n",
      stderr);
}

bool HasExtension(const std::string& name, const char* ext) {
  const size_t n = std::strlen(ext);
  if (name.size() <= n) return false;
  for (size_t i = 0; i < n; ++i) {
    const char c = name[name.size() - n + i];
    if (std::tolower(static_cast<unsigned char>(c)) != ext[i]) return false;
  }
  return true;
}

// Parses the command line; false on a usage error (already reported).
bool ParseArgs(int argc, char** argv, TOptions& opt) {
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&](const char* name) -> const char* {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "xlsconv: %s needs a value\n", name);
        return nullptr;
      }
      return argv[++i];
    };
    if (a == "--plain") {
      opt.Plain = true;
    } else if (a == "--list") {
      opt.Mode = TMode::List;
    } else if (a == "--sheet") {
      const char* v = value("--sheet");
      if (!v) return false;
      opt.Sheet = v;
    } else if (a == "--password") {
      const char* v = value("--password");
      if (!v) return false;
      opt.Password = v;
      opt.HasPassword = true;
    } else if (a == "--write-password") {
      const char* v = value("--write-password");
      if (!v) return false;
      opt.WritePassword = v;
    } else if (a == "--version") {
      const char* v = value("--version");
      if (!v) return false;
      const std::string version = v;
      if (version == "8")
        opt.Version = xls::xvExcel97;
      else if (version == "5")
        opt.Version = xls::xvExcel50;
      else if (version == "4")
        opt.Version = xls::xvExcel40;
      else {
        std::fprintf(stderr, "xlsconv: --version takes 8, 5 or 4\n");
        return false;
      }
    } else if (a == "-h" || a == "--help") {
      return false;
    } else if (a.size() > 1 && a[0] == '-' && a != "-") {
      std::fprintf(stderr, "xlsconv: unknown option %s\n", a.c_str());
      return false;
    } else {
      files.push_back(a);
    }
  }
  const size_t want = opt.Mode == TMode::List ? 1 : 2;
  if (files.size() != want) return false;
  opt.Input = files[0];
  if (want == 2) opt.Output = files[1];
  if (opt.Mode == TMode::ToCsv && HasExtension(opt.Output, ".xls"))
    opt.Mode = HasExtension(opt.Input, ".csv") ? TMode::CsvToXls : TMode::XlsToXls;
  return true;
}

// Reads the input workbook into wb; raises the engine's error.
void ReadInput(const TOptions& opt, xls::TXLSWorkbook& wb) {
  if (opt.HasPassword) {
    const std::u16string password = xls::Utf8ToUtf16(opt.Password);
    wb.OnPassword = [password](xls::TXLSWorkbook&, std::u16string& p) { p = password; };
  }
  if (opt.Input == "-") {
    std::string data{std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>()};
    xls::TMemoryStream source(xls::Bytes(data.begin(), data.end()));
    wb.ReadStream(&source);
  } else {
    wb.Filename = xls::Utf8ToUtf16(opt.Input);
    wb.ReadFile();
  }
}

xls::TSheet* FindSheet(xls::TXLSWorkbook& wb, const std::string& which) {
  xls::TSheets& sheets = wb.Sheets();
  if (which.empty()) return sheets.Count() ? &sheets[0] : nullptr;
  if (xls::TSheet* s = sheets.Find(xls::Utf8ToUtf16(which))) return s;
  if (which.find_first_not_of("0123456789") == std::string::npos && which.size() < 9) {
    const int index = std::stoi(which);
    if (index < sheets.Count()) return &sheets[index];
  }
  return nullptr;
}

void AppendField(std::string& out, const std::u16string& text) {
  const std::string s = xls::Utf16ToUtf8(text);
  if (s.find_first_of(",\"\r\n") == std::string::npos) {
    out += s;
    return;
  }
  out += '"';
  for (char c : s) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

// Writes the sheet as CSV; false when the output fails.
bool WriteCsv(xls::TSheet& sheet, bool plain, std::FILE* f) {
  xls::TCellStorage& cells = sheet.Cells();
  cells.CalcDimensions();
  // An empty sheet reports 0 for every bound: it has no lines at all.
  cells.BeginIterate();
  if (!cells.NextCell()) return true;
  const int lastCol = cells.LastCol();
  const int lastRow = cells.LastRow();

  std::string out;
  constexpr size_t kFlushAt = 1 << 16;
  int row = 0, col = 0;  // next position to write
  auto advanceTo = [&](int r, int c) {
    while (row < r) {
      while (col < lastCol) {
        out += ',';
        ++col;
      }
      out += "\r\n";
      ++row;
      col = 0;
    }
    while (col < c) {
      out += ',';
      ++col;
    }
  };
  cells.BeginIterate();
  while (xls::TCell* cell = cells.NextCell()) {
    const int r = cell->Row(), c = cell->Col();
    advanceTo(r, c);
    AppendField(out, plain ? sheet.CellText(c, r) : sheet.FormattedText(c, r));
    if (out.size() >= kFlushAt) {
      if (std::fwrite(out.data(), 1, out.size(), f) != out.size()) return false;
      out.clear();
    }
  }
  advanceTo(lastRow + 1, 0);
  return std::fwrite(out.data(), 1, out.size(), f) == out.size() && std::fflush(f) == 0;
}

// A number when the whole field parses and its general text is the field itself.
bool ExactNumber(const std::string& field, double& v) {
  if (field.empty() || field.size() > 32) return false;
  for (char c : field)
    if (!(std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '+' ||
          c == 'e' || c == 'E'))
      return false;
  char* end = nullptr;
  errno = 0;
  v = std::strtod(field.c_str(), &end);
  if (errno != 0 || end != field.c_str() + field.size() || !std::isfinite(v)) return false;
  static const xls::TLocaleSettings english = xls::TLocaleSettings::English();
  return xls::GeneralText(v, english) == field;
}

// Fills the sheet from RFC 4180 CSV text (UTF-8; CRLF or LF line ends).
void ReadCsv(const std::string& data, xls::TSheet& sheet) {
  int row = 0, col = 0;
  std::string field;
  bool quoted = false, lineHasData = false;
  auto flush = [&] {
    if (!field.empty()) {
      if (row > xls::kMaxRow)
        xls::Raise(xls::Format("CSV line %d is beyond the last row of a sheet (%d)", row + 1,
                               xls::kMaxRow + 1));
      if (col > xls::kMaxCol)
        xls::Raise(xls::Format("CSV line %d has more than %d fields", row + 1, xls::kMaxCol + 1));
      double v;
      if (ExactNumber(field, v))
        sheet.AddFloatCell(col, row, xls::kDefaultCellXF, v);
      else
        sheet.SetCellText(col, row, xls::Utf8ToUtf16(field));
    }
    field.clear();
  };
  for (size_t i = 0; i < data.size(); ++i) {
    const char c = data[i];
    if (quoted) {
      if (c != '"') {
        field += c;
      } else if (i + 1 < data.size() && data[i + 1] == '"') {
        field += '"';
        ++i;
      } else {
        quoted = false;
      }
      continue;
    }
    lineHasData = true;
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
      lineHasData = false;
    } else {
      field += c;
    }
  }
  if (lineHasData) flush();
}

void WriteOutput(const TOptions& opt, xls::TXLSWorkbook& wb) {
  wb.SetVersion(opt.Version);
  wb.WritePassword = xls::Utf8ToUtf16(opt.WritePassword);
  wb.Filename = xls::Utf8ToUtf16(opt.Output);
  wb.WriteFile();
}

int RunCsvToXls(const TOptions& opt) {
  std::string data;
  if (opt.Input == "-") {
    data.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
  } else {
    std::ifstream in(opt.Input, std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "xlsconv: can not read %s: %s\n", opt.Input.c_str(),
                   std::strerror(errno));
      return kExitFailed;
    }
    data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  if (data.rfind("\xEF\xBB\xBF", 0) == 0) data.erase(0, 3);  // a UTF-8 byte order mark
  xls::TXLSWorkbook wb;
  ReadCsv(data, wb.Sheets()[0]);
  WriteOutput(opt, wb);
  return kExitOk;
}

int RunXlsToXls(const TOptions& opt) {
  xls::TXLSWorkbook wb;
  ReadInput(opt, wb);
  WriteOutput(opt, wb);
  return kExitOk;
}

int RunList(const TOptions& opt) {
  xls::TXLSWorkbook wb;
  ReadInput(opt, wb);
  for (int i = 0; i < wb.Sheets().Count(); ++i)
    std::printf("%s\n", xls::Utf16ToUtf8(wb.Sheets()[i].Name()).c_str());
  return kExitOk;
}

int RunToCsv(const TOptions& opt) {
  xls::TXLSWorkbook wb;
  ReadInput(opt, wb);
  xls::TSheet* sheet = FindSheet(wb, opt.Sheet);
  if (!sheet) {
    std::fprintf(stderr, "xlsconv: no sheet %s\n",
                 opt.Sheet.empty() ? "in the workbook" : opt.Sheet.c_str());
    return kExitFailed;
  }
  std::FILE* f = opt.Output == "-" ? stdout : std::fopen(opt.Output.c_str(), "wb");
  if (!f) {
    std::fprintf(stderr, "xlsconv: can not write %s: %s\n", opt.Output.c_str(),
                 std::strerror(errno));
    return kExitOutput;
  }
  const bool ok = WriteCsv(*sheet, opt.Plain, f);
  const bool closed = f == stdout || std::fclose(f) == 0;
  if (!ok || !closed) {
    std::fprintf(stderr, "xlsconv: can not write %s\n", opt.Output.c_str());
    return kExitOutput;
  }
  return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  TOptions opt;
  if (!ParseArgs(argc, argv, opt)) {
    Usage();
    return kExitUsage;
  }
  try {
    switch (opt.Mode) {
      case TMode::List:
        return RunList(opt);
      case TMode::ToCsv:
        return RunToCsv(opt);
      case TMode::CsvToXls:
        return RunCsvToXls(opt);
      case TMode::XlsToXls:
        return RunXlsToXls(opt);
    }
  } catch (const std::exception& e) {
    std::string message = e.what();
    for (char& c : message)
      if (c == '\r') c = '\n';
    while (!message.empty() && message.back() == '\n') message.pop_back();
    std::fprintf(stderr, "xlsconv: %s\n", message.c_str());
    return kExitFailed;
  }
  return kExitUsage;
}
