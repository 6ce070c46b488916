// xlsconv: converts between workbooks and text.
//
//   xlsconv [--plain] [--sheet N|NAME] [--password P] IN.xls OUT.csv
//   xlsconv --list [--password P] IN.xls
//
// Reading writes one sheet (default: the first) as CSV: RFC 4180 quoting, UTF-8, CRLF line ends,
// one line per row from row 1 to the last used row, every line with as many fields as the last
// used column needs. Each field is the cell's displayed text (its number format applied), or
// with --plain its plain text. N counts sheets from 0; a sheet name is matched first. IN or OUT
// may be "-" for standard input or output.
//
// Exit status: 0 success, 1 the workbook could not be read or the sheet was not found, 2 bad
// command line, 3 the output could not be written.
#include <cstdio>
#include <cstring>
#include <iostream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "biff/xls_stream.h"
#include "platform/codec.h"
#include "platform/error.h"
#include "workbook/cell.h"
#include "workbook/sheet.h"
#include "workbook/xls_workbook.h"

namespace {

enum class TMode { ToCsv, List };

struct TOptions {
  TMode Mode = TMode::ToCsv;
  std::string Input;
  std::string Output;
  std::string Sheet;  // empty = the first sheet
  std::string Password;
  bool HasPassword = false;
  bool Plain = false;
};

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitOutput = 3;

void Usage() {
  std::fputs(
      "usage: xlsconv [--plain] [--sheet N|NAME] [--password P] IN.xls OUT.csv\n"
      "       xlsconv --list [--password P] IN.xls\n"
      "IN or OUT may be - for standard input or output; N counts sheets from 0.\n",
      stderr);
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
