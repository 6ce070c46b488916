// The reader against workbooks written by other programs: every file reads (or fails with its
// expected message), and every cell value of the XML Spreadsheet oracles is found in the model.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/codec.h"
#include "platform/error.h"
#include "workbook/cell.h"
#include "workbook/sheet.h"
#include "workbook/xls_utils.h"
#include "workbook/xls_workbook.h"

namespace {

namespace fs = std::filesystem;
using namespace xls;

fs::path CorpusDir() {
  return fs::path(XLSB_CORPUS_DIR);
}

bool IsWorkbookFile(const fs::path& p) {
  std::string ext = p.extension().string();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext == ".xls" || ext == ".biff5";
}

// The message after the wrapper's "\r" (or the whole message when unwrapped).
std::string Cause(const std::string& msg) {
  const size_t cr = msg.rfind('\r');
  return cr == std::string::npos ? msg : msg.substr(cr + 1);
}

std::string ReadFile(TXLSWorkbook& wb, const fs::path& path, const char* password = nullptr) {
  wb.Filename = Utf8ToUtf16(path.string());
  if (password) {
    const std::u16string pw = Utf8ToUtf16(password);
    wb.OnPassword = [pw](TXLSWorkbook&, std::u16string& p) { p = pw; };
  }
  try {
    wb.ReadFile();
  } catch (const EXLSError& e) {
    return e.what();
  }
  return {};
}

// Files whose failure is expected, relative to the corpus, with the cause of the failure.
const std::map<std::string, std::string>& ExpectedFailures() {
  static const std::map<std::string, std::string> failures = {
      {"sheetjs/password_2002_40_972000.xls", "File is encrypted. Password required."},
      {"sheetjs/password_2002_128_strong.xls", "File is encrypted. Password required."},
      {"sheetjs/password_2002_40_xor.xls", "File encrypted with non-standard key. French?"},
      {"sheetjs/biff5/password_2002_40_xor.xls", "File encrypted with non-standard key. French?"},
      // An empty file.
      {"sheetjs/biff5/large_strings.xls", "File is not a Excel Workbook"},
  };
  return failures;
}

TEST(XLSReaderCorpusTest, EveryWorkbookReads) {
  if (!fs::is_directory(CorpusDir())) GTEST_SKIP() << "no corpus at " << CorpusDir();
  int read = 0;
  for (const auto& entry : fs::recursive_directory_iterator(CorpusDir())) {
    if (!entry.is_regular_file() || !IsWorkbookFile(entry.path())) continue;
    const std::string rel = fs::relative(entry.path(), CorpusDir()).generic_string();
    TXLSWorkbook wb;
    const std::string msg = ReadFile(wb, entry.path());
    const auto expected = ExpectedFailures().find(rel);
    if (expected == ExpectedFailures().end()) {
      EXPECT_EQ(msg, "") << rel;
      EXPECT_GT(wb.Sheets().Count(), 0) << rel;
      ++read;
    } else {
      EXPECT_EQ(Cause(msg), expected->second) << rel;
    }
  }
  EXPECT_GT(read, 40);
}

TEST(XLSReaderCorpusTest, EncryptedFilesWithPasswords) {
  const fs::path dir = CorpusDir() / "sheetjs";
  if (!fs::exists(dir / "password_2002_40_972000.xls")) GTEST_SKIP() << "no corpus";
  TXLSWorkbook wb;
  EXPECT_EQ(ReadFile(wb, dir / "password_2002_40_972000.xls", "password"), "");
  ASSERT_GT(wb.Sheets().Count(), 0);
  EXPECT_EQ(wb.Sheets()[0].CellText(1, 1), u"10");
  TXLSWorkbook wrong;
  EXPECT_EQ(Cause(ReadFile(wrong, dir / "password_2002_40_972000.xls", "Password")),
            "Invalid password");
  // The CryptoAPI form is not told apart: its verifier does not match.
  TXLSWorkbook strong;
  EXPECT_EQ(Cause(ReadFile(strong, dir / "password_2002_128_strong.xls", "password")),
            "Invalid password");
}

// ---------------------------------------------------------------------------------------------
// A minimal reader of the XML Spreadsheet 2003 form: worksheets, rows, cells and their data.

struct TOracleCell {
  int Row, Col;
  std::string Type;
  std::string Text;
};

struct TOracleSheet {
  std::string Name;
  std::vector<TOracleCell> Cells;
};

std::string DecodeEntities(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '&') {
      out += s[i];
      continue;
    }
    const size_t semi = s.find(';', i);
    if (semi == std::string::npos) {
      out += s[i];
      continue;
    }
    const std::string e = s.substr(i + 1, semi - i - 1);
    if (e == "amp")
      out += '&';
    else if (e == "lt")
      out += '<';
    else if (e == "gt")
      out += '>';
    else if (e == "quot")
      out += '"';
    else if (e == "apos")
      out += '\'';
    else if (!e.empty() && e[0] == '#') {
      const char32_t cp =
          static_cast<char32_t>(e.size() > 1 && e[1] == 'x' ? std::stoul(e.substr(2), nullptr, 16)
                                                            : std::stoul(e.substr(1)));
      std::u16string u;
      if (cp > 0xFFFF) {
        u += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
        u += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
      } else {
        u += static_cast<char16_t>(cp);
      }
      out += Utf16ToUtf8(u);
    } else {
      out += s.substr(i, semi - i + 1);
    }
    i = semi;
  }
  return out;
}

// One tag: its name (with "/" first for an end tag), attributes and whether it closes itself.
struct TTag {
  std::string Name;
  std::map<std::string, std::string> Attrs;
  bool SelfClosing = false;
  size_t End = 0;  // position after '>'
};

bool NextTag(const std::string& xml, size_t& pos, TTag& tag) {
  const size_t lt = xml.find('<', pos);
  if (lt == std::string::npos) return false;
  tag = TTag();
  size_t i = lt + 1;
  while (i < xml.size() && !std::isspace(static_cast<unsigned char>(xml[i])) && xml[i] != '>' &&
         !(xml[i] == '/' && i > lt + 1))
    tag.Name += xml[i++];
  // Attributes; values may hold '>'.
  while (i < xml.size() && xml[i] != '>') {
    if (xml[i] == '/') {
      tag.SelfClosing = true;
      ++i;
      continue;
    }
    if (std::isspace(static_cast<unsigned char>(xml[i]))) {
      ++i;
      continue;
    }
    std::string name;
    while (i < xml.size() && xml[i] != '=' && xml[i] != '>' &&
           !std::isspace(static_cast<unsigned char>(xml[i])))
      name += xml[i++];
    if (i < xml.size() && xml[i] == '=') {
      const char q = xml[i + 1];
      const size_t close = xml.find(q, i + 2);
      tag.Attrs[name] = DecodeEntities(xml.substr(i + 2, close - i - 2));
      i = close + 1;
    }
  }
  tag.End = i + 1;
  pos = tag.End;
  return true;
}

std::vector<TOracleSheet> ParseOracle(const std::string& xml) {
  std::vector<TOracleSheet> sheets;
  size_t pos = 0;
  TTag tag;
  int row = -1, col = -1;
  while (NextTag(xml, pos, tag)) {
    const std::string& n = tag.Name;
    if (n == "Worksheet" || n == "ss:Worksheet") {
      sheets.push_back({tag.Attrs["ss:Name"], {}});
      row = -1;
    } else if (n == "Row" || n == "ss:Row") {
      row = tag.Attrs.count("ss:Index") ? std::stoi(tag.Attrs["ss:Index"]) - 1 : row + 1;
      col = -1;
    } else if (n == "Cell" || n == "ss:Cell") {
      col = tag.Attrs.count("ss:Index") ? std::stoi(tag.Attrs["ss:Index"]) - 1 : col + 1;
      const int across =
          tag.Attrs.count("ss:MergeAcross") ? std::stoi(tag.Attrs["ss:MergeAcross"]) : 0;
      if (!tag.SelfClosing) {
        // Up to the end of the cell: its Data, skipping a Comment's own Data.
        const size_t cellEnd = xml.find("</Cell>", pos);
        size_t p = pos;
        TTag inner;
        while (p < cellEnd && NextTag(xml, p, inner) && p <= cellEnd) {
          if (inner.Name == "Comment" || inner.Name == "ss:Comment") {
            p = xml.find("</Comment>", p);
            if (p == std::string::npos) p = xml.find("</ss:Comment>", p);
            continue;
          }
          if ((inner.Name == "Data" || inner.Name == "ss:Data") && !sheets.empty()) {
            const size_t close = xml.find(inner.Name == "Data" ? "</Data>" : "</ss:Data>", p);
            std::string text, raw = xml.substr(p, close - p);
            // Rich text: keep the characters, drop the formatting tags.
            for (size_t k = 0; k < raw.size(); ++k) {
              if (raw[k] == '<') {
                k = raw.find('>', k);
                continue;
              }
              text += raw[k];
            }
            sheets.back().Cells.push_back({row, col, inner.Attrs["ss:Type"], DecodeEntities(text)});
            p = close;
          }
        }
        pos = cellEnd == std::string::npos ? pos : cellEnd;
      }
      col += across;
    }
  }
  return sheets;
}

// Days since 1899-12-30 of "yyyy-mm-ddThh:mm:ss.sss", as the 1900 date system counts them.
double SerialOf(const std::string& iso) {
  int y, m, d, hh = 0, mm = 0;
  double ss = 0;
  std::sscanf(iso.c_str(), "%d-%d-%dT%d:%d:%lf", &y, &m, &d, &hh, &mm, &ss);
  // Days from civil (proleptic Gregorian).
  const int yy = y - (m <= 2);
  const int era = (yy >= 0 ? yy : yy - 399) / 400;
  const int yoe = yy - era * 400;
  const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const long days = era * 146097L + doe - 719468L;    // since 1970-01-01
  double serial = static_cast<double>(days + 25569);  // 1970-01-01 is 25569
  if (serial < 61) serial -= 1;                       // before the false 1900-02-29
  if (y == 1899 && m == 12 && d == 31) serial = 0;    // Excel's day 0
  return serial + (hh * 3600 + mm * 60 + ss) / 86400.0;
}

bool NumericValue(TCell* cell, double& v) {
  if (!cell) return false;
  if (cell->CellKind() == ckFloat)
    v = static_cast<TFloatCell*>(cell)->Value;
  else if (cell->CellKind() == ckNumberFormula)
    v = static_cast<TNumberFormulaCell*>(cell)->Result;
  else if (cell->CellKind() == ckArrayFormula) {
    const uint8_t* r = static_cast<TArrayFormulaCell*>(cell)->Result;
    if (r[6] == 0xFF && r[7] == 0xFF) return false;
    v = GetF64(r);
  } else
    return false;
  return true;
}

bool Near(double a, double b, double rel) {
  return std::fabs(a - b) <= rel * std::max(1.0, std::fabs(b));
}

// Compares one oracle cell with the model; an empty result means equal.
std::string Compare(TSheet& s, const TOracleCell& o) {
  TCell* cell = s.CellAt(o.Col, o.Row);
  if (!cell) return "no cell";
  double v = 0;
  if (o.Type == "Number") {
    if (!NumericValue(cell, v)) return "not a number";
    return Near(v, std::stod(o.Text), 1e-13) ? "" : "number " + std::to_string(v);
  }
  if (o.Type == "DateTime") {
    if (!NumericValue(cell, v)) return "not a number";
    const double serial = SerialOf(o.Text);
    // Seconds as written by the oracle.
    return Near(v, serial, 1e-9) || Near(v + 1462, serial, 1e-9) ? "" : "date " + std::to_string(v);
  }
  if (o.Type == "String") {
    if (cell->CellKind() != ckString && cell->CellKind() != ckStringFormula) return "not a string";
    const std::string text = Utf16ToUtf8(s.CellText(o.Col, o.Row));
    return text == o.Text ? "" : "text \"" + text + "\"";
  }
  if (o.Type == "Boolean") {
    int b = -1;
    if (cell->CellKind() == ckBoolean) b = static_cast<TBooleanCell*>(cell)->Value;
    if (cell->CellKind() == ckBooleanFormula) b = static_cast<TBooleanFormulaCell*>(cell)->Result;
    return b == std::stoi(o.Text) ? "" : "boolean " + std::to_string(b);
  }
  if (o.Type == "Error") {
    TCellError e = ceNone;
    if (cell->CellKind() == ckError)
      e = static_cast<TErrorCell*>(cell)->Value;
    else if (cell->CellKind() == ckErrorFormula)
      e = static_cast<TErrorFormulaCell*>(cell)->Result;
    else
      return "not an error";
    const std::string text = Utf16ToUtf8(std::u16string(CellErrorText(e)));
    return text == o.Text ? "" : "error " + text;
  }
  return "";
}

// Cells where the oracle and the file's cached values differ, each with its reason. Python's xlrd
// reads the same values from these files as the model does.
const std::map<std::string, std::vector<std::string>>& KnownDifferences() {
  static const std::map<std::string, std::vector<std::string>> known = {
      // The file caches empty texts and TRUE where Excel recalculated when it saved the oracle.
      {"number_format.xls",
       {"ImpliedNegative!D3", "ImpliedNegative!D4", "ImpliedNegative!D5", "ImpliedNegative!D6",
        "ImpliedNegative!D7", "ImpliedNegative!D8", "ImpliedNegative!D9", "ImpliedNegative!D10",
        "ImpliedNegative!D11", "ImpliedNegative!F12", "ImpliedNegative!D28"}},
      {"formula_stress_test.xls",
       {// NOW(), TODAY(), INFO("release"), RAND(), RANDBETWEEN(): recalculated for the oracle.
        "Date!B6", "Date!B7", "Information!B3", "Math!B46", "Math!B47",
        // The file holds U+F8FF (a Mac character) and CODE() of it; the oracle maps it otherwise.
        "Text!B20", "Text!B21",
        // An array formula whose cached result is a text: the array cell keeps only the
        // 8 result bytes, not the text of the STRING record.
        "Lookup!B26"}},
  };
  return known;
}

void CheckAgainstOracle(TXLSWorkbook& wb, const fs::path& oracle, const std::string& label) {
  std::ifstream in(oracle, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  const auto sheets = ParseOracle(ss.str());
  ASSERT_FALSE(sheets.empty()) << label;
  int checked = 0, failed = 0;
  for (const TOracleSheet& os : sheets) {
    TSheet* s = wb.Sheets().Find(Utf8ToUtf16(os.Name));
    ASSERT_NE(s, nullptr) << label << ": sheet " << os.Name;
    const auto known = KnownDifferences().find(label);
    for (const TOracleCell& c : os.Cells) {
      const std::string where = os.Name + "!" + Utf16ToUtf8(CellRefText(c.Col, c.Row));
      if (known != KnownDifferences().end() &&
          std::count(known->second.begin(), known->second.end(), where))
        continue;
      const std::string diff = Compare(*s, c);
      ++checked;
      if (!diff.empty() && ++failed <= 10)
        ADD_FAILURE() << label << " " << os.Name << " row " << c.Row + 1 << " col " << c.Col + 1
                      << ": oracle " << c.Type << " \"" << c.Text << "\", model " << diff;
    }
  }
  EXPECT_EQ(failed, 0) << label << ": " << failed << " of " << checked << " cells differ";
  EXPECT_GT(checked, 0) << label;
}

TEST(XLSReaderCorpusTest, CellValuesMatchTheXmlOracles) {
  if (!fs::is_directory(CorpusDir())) GTEST_SKIP() << "no corpus at " << CorpusDir();
  int files = 0;
  for (const auto& entry : fs::recursive_directory_iterator(CorpusDir())) {
    const std::string name = entry.path().filename().string();
    if (name.size() < 8 || name.compare(name.size() - 8, 8, ".xls.xml") != 0) continue;
    const fs::path workbook = entry.path().parent_path() / name.substr(0, name.size() - 4);
    if (!fs::exists(workbook)) continue;
    TXLSWorkbook wb;
    ASSERT_EQ(ReadFile(wb, workbook), "") << workbook;
    CheckAgainstOracle(wb, entry.path(), workbook.filename().string());
    ++files;
  }
  EXPECT_GT(files, 0);
}

}  // namespace
