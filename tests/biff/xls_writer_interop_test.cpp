// Files written by the engine read by the engine and by independent readers (python3-xlrd,
// python3-olefile), encrypted files, and read-write round trips over the corpus.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "biff/biff_recs.h"
#include "biff/xls_writer.h"
#include "cfb/compound_file.h"
#include "platform/codec.h"
#include "platform/error.h"
#include "workbook/format_records.h"
#include "workbook/xls_workbook.h"

namespace xls {
namespace {

namespace fs = std::filesystem;

const char* const kPython = "/usr/bin/python3";

struct TempDir {
  fs::path path;
  TempDir() {
    path = fs::temp_directory_path() / ("xlswi_" + std::to_string(getpid()));
    fs::remove_all(path);
    fs::create_directories(path);
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
};

bool HavePython(const char* modules) {
  const std::string cmd = std::string(kPython) + " -c 'import " + modules + "' > /dev/null 2>&1";
  return std::system(cmd.c_str()) == 0;
}

// Runs a Python script with arguments and returns its standard output.
std::string RunPython(const fs::path& dir, const std::string& script,
                      const std::vector<std::string>& args) {
  const fs::path file = dir / "script.py";
  std::ofstream(file) << script;
  std::string cmd = "PYTHONIOENCODING=utf-8 " + std::string(kPython) + " " + file.string();
  for (const std::string& a : args) cmd += " '" + a + "'";
  cmd += " 2>&1";
  std::string out;
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return "popen failed";
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  pclose(p);
  return out;
}

// Every cell as xlrd sees it: "sheet name", then "row col type value xf" per non-empty cell.
const char* const kXlrdDump = R"PY(
import sys, xlrd
def dump(bk):
    for sh in bk.sheets():
        print('S', sh.name)
        for r in range(sh.nrows):
            for c in range(sh.ncols):
                t = sh.cell_type(r, c)
                if t == xlrd.XL_CELL_EMPTY:
                    continue
                print('C', r, c, t, repr(sh.cell_value(r, c)), sh.cell_xf_index(r, c))
)PY";
const char* const kXlrdMain = R"PY(
dump(xlrd.open_workbook(sys.argv[1], formatting_info=True))
)PY";

// Decrypts an RC4-encrypted workbook stream on its own (MD5 key derivation, a new RC4 key every
// 1024 bytes, record headers, BOF, INTERFACEHDR and the BOUNDSHEET position left plain), turns
// FILEPASS into an ignored record and lets xlrd read the plain stream.
const char* const kDecryptDump = R"PY(
import struct, hashlib, olefile
data = bytearray(olefile.OleFileIO(sys.argv[1]).openstream('Workbook').read())
pw = sys.argv[2]
_, n = struct.unpack_from('<HH', data, 0)
fp_at = 4 + n
rid, n = struct.unpack_from('<HH', data, fp_at)
assert rid == 0x2F, 'no FILEPASS after BOF'
fp = bytes(data[fp_at + 4:fp_at + 4 + n])
kind, major, minor = struct.unpack_from('<HHH', fp, 0)
salt, ever, ehash = fp[6:22], fp[22:38], fp[38:54]
h0 = hashlib.md5(pw[:31].encode('utf-16-le')).digest()
h1 = hashlib.md5((h0[:5] + salt) * 16).digest()
def keystream(block, count):
    key = hashlib.md5(h1[:5] + struct.pack('<I', block)).digest()
    s = list(range(256)); j = 0
    for i in range(256):
        j = (j + s[i] + key[i % 16]) & 255; s[i], s[j] = s[j], s[i]
    out = bytearray(); i = j = 0
    for _ in range(count):
        i = (i + 1) & 255; j = (j + s[i]) & 255; s[i], s[j] = s[j], s[i]
        out.append(s[(s[i] + s[j]) & 255])
    return out
ks = keystream(0, 32)
verifier = bytes(a ^ b for a, b in zip(ever, ks[:16]))
vhash = bytes(a ^ b for a, b in zip(ehash, ks[16:]))
print('FILEPASS', n, kind, major, minor, hashlib.md5(verifier).digest() == vhash)
blocks = {}
def ksbyte(p):
    b = p // 1024
    if b not in blocks:
        blocks[b] = keystream(b, 1024)
    return blocks[b][p % 1024]
pos = fp_at + 4 + n
while pos + 4 <= len(data):
    rid, n = struct.unpack_from('<HH', data, pos)
    start = pos + 4
    if rid in (0x0809, 0x00E1, 0x002F):
        skip = n
    elif rid == 0x0085:
        skip = min(n, 4)
    else:
        skip = 0
    for p in range(start + skip, start + n):
        data[p] ^= ksbyte(p)
    pos = start + n
struct.pack_into('<H', data, fp_at, 0x01C0)
dump(xlrd.open_workbook(file_contents=bytes(data), formatting_info=True))
)PY";

// Every root entry other than the workbook stream: path, kind and the MD5 of stream contents.
const char* const kOleDump = R"PY(
import sys, hashlib, olefile
ole = olefile.OleFileIO(sys.argv[1])
for e in sorted(ole.listdir(streams=True, storages=True)):
    name = '/'.join(e)
    if name.lower() in ('workbook', 'book'):
        continue
    if ole.get_type(e) == olefile.STGTY_STREAM:
        print('stream', name, hashlib.md5(ole.openstream(e).read()).hexdigest())
    else:
        print('storage', name)
)PY";

// A workbook with every cell kind: numbers of every record form, texts (also CJK), blanks,
// booleans, errors and formulas of every result kind, on two sheets.
void FillEveryKind(TXLSWorkbook& wb) {
  const Bytes tokens = {0x1E, 0x05, 0x00};
  TSheet& a = wb.Sheets()[0];
  a.SetName(u"Daten");
  a.AddFloatCell(0, 0, 15, 1);
  a.AddFloatCell(1, 0, 15, 2);
  a.AddFloatCell(2, 0, 15, 3);
  a.AddFloatCell(3, 0, 15, 1e10);
  a.AddFloatCell(4, 0, 15, 0.5);
  a.AddFloatCell(5, 0, 15, -123456789);
  a.AddFloatCell(6, 0, 20, 3.14159);
  a.AddFloatCell(7, 0, 15, 7);  // a single RK
  a.SetCellText(0, 1, u"hello");
  a.SetCellText(1, 1, u"中文字符");
  a.AddBlankCell(0, 2, 15);
  a.AddBlankCell(1, 2, 15);
  a.AddBlankCell(3, 2, 15);
  a.AddBooleanCell(0, 3, 15, 1);
  a.AddBooleanCell(1, 3, 15, 0);
  a.AddErrorCell(2, 3, 15, ceDiv0);
  a.AddErrorCell(3, 3, 15, ceNA);
  a.AddNumberFormulaCell(0, 4, 15, tokens, 5);
  a.AddStringFormulaCell(1, 4, 15, tokens, u"abc");
  a.AddBooleanFormulaCell(2, 4, 15, tokens, 1);
  a.AddErrorFormulaCell(3, 4, 15, tokens, 0x17);
  TSheet& b = wb.Sheets().Add();
  b.SetName(u"第二");
  b.SetCellText(2, 9, u"x");
}

const char* const kEveryKindXlrd =
    "S Daten\n"
    "C 0 0 2 1.0 15\nC 0 1 2 2.0 15\nC 0 2 2 3.0 15\nC 0 3 2 10000000000.0 15\n"
    "C 0 4 2 0.5 15\nC 0 5 2 -123456789.0 15\nC 0 6 2 3.14159 20\nC 0 7 2 7.0 15\n"
    "C 1 0 1 'hello' 15\nC 1 1 1 '中文字符' 15\n"
    "C 2 0 6 '' 15\nC 2 1 6 '' 15\nC 2 3 6 '' 15\n"
    "C 3 0 4 1 15\nC 3 1 4 0 15\nC 3 2 5 7 15\nC 3 3 5 42 15\n"
    "C 4 0 2 5.0 15\nC 4 1 1 'abc' 15\nC 4 2 4 1 15\nC 4 3 5 23 15\n"
    "S 第二\n"
    "C 9 2 1 'x' 15\n";

class XLSWriterInterop : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HavePython("xlrd, olefile")) GTEST_SKIP() << "python3-xlrd or python3-olefile missing";
  }
  TempDir dir_;
};

TEST_F(XLSWriterInterop, XlrdReadsEveryCellKind) {
  TXLSWorkbook wb;
  FillEveryKind(wb);
  const fs::path file = dir_.path / "every.xls";
  wb.Filename = Utf8ToUtf16(file.string());
  wb.WriteFile();
  EXPECT_EQ(RunPython(dir_.path, std::string(kXlrdDump) + kXlrdMain, {file.string()}),
            kEveryKindXlrd);
}

TEST_F(XLSWriterInterop, XlrdReadsBiff5WithTheSystemCodePage) {
  const int saved = SystemCodePage();
  SetSystemCodePage(936);
  TXLSWorkbook wb;
  wb.SetVersion(xvExcel50);
  FillEveryKind(wb);
  const fs::path file = dir_.path / "every5.xls";
  wb.Filename = Utf8ToUtf16(file.string());
  try {
    wb.WriteFile();
  } catch (...) {
    SetSystemCodePage(saved);
    throw;
  }
  SetSystemCodePage(saved);
  EXPECT_EQ(RunPython(dir_.path, std::string(kXlrdDump) + kXlrdMain, {file.string()}),
            kEveryKindXlrd);
}

TEST_F(XLSWriterInterop, XlrdReadsBiff4) {
  TXLSWorkbook wb;
  wb.SetVersion(xvExcel40);
  TSheet& s = wb.Sheets()[0];
  s.AddFloatCell(0, 0, 15, 1.23);
  s.AddFloatCell(1, 0, 15, 1e10);
  s.SetCellText(0, 1, u"plain");
  s.AddBooleanCell(1, 1, 15, 1);
  s.AddBlankCell(2, 1, 15);
  const fs::path file = dir_.path / "four.xls";
  wb.Filename = Utf8ToUtf16(file.string());
  wb.WriteFile();
  EXPECT_EQ(RunPython(dir_.path, std::string(kXlrdDump) + kXlrdMain, {file.string()}),
            "S Sheet 1\nC 0 0 2 1.23 15\nC 0 1 2 10000000000.0 15\nC 1 0 1 'plain' 15\n"
            "C 1 1 4 1 15\nC 1 2 6 '' 15\n");
}

// A textual image of everything the model holds that a write and a read must keep.
std::string DumpModel(TXLSWorkbook& wb, bool withRaw) {
  std::ostringstream o;
  auto hex = [](std::span<const uint8_t> b) {
    std::string s;
    char t[3];
    for (uint8_t x : b) {
      std::snprintf(t, sizeof t, "%02X", x);
      s += t;
    }
    return s;
  };
  for (const TBiffRecord& r : FontRecords(wb.Fonts(), xvExcel97))
    o << "font " << hex(r.Body) << "\n";
  for (const TBiffRecord& r : XFRecords(wb.CellFormats(), xvExcel97))
    o << "xf " << hex(r.Body) << "\n";
  const TNumberFormats& nf = wb.CellFormats().NumberFormats();
  for (int i = 0; i < nf.Count(); ++i)
    if (nf.Items(i).UsageCount >= 0 || nf.Items(i).Id >= 50)
      o << "numfmt " << nf.Items(i).Id << " " << Utf16ToUtf8(nf.Items(i).Text) << "\n";
  auto raw = [&](const TRecordStorageDefault& st) {
    for (int i = 0; i < st.Count(); ++i) {
      const TStoredRecord& r = st.Items(i);
      // Regenerated on every write. Placeholders stand where the model's records were read;
      // a group the model writes nothing for is placed elsewhere on the next read.
      // INDEX and DBCELL hold stream offsets of the old file and are never written back.
      if (r.RecID == BIFFRECID_TABID || r.RecID == BIFFRECID_CODEPAGE ||
          r.RecID == BIFFRECID_INDEX || r.RecID == BIFFRECID_DBCELL ||
          r.RecID >= kFirstInternalRecordId)
        continue;
      o << "rec " << std::hex << r.RecID << std::dec << " " << hex(r.Data) << "\n";
    }
  };
  if (withRaw) raw(wb.Globals());
  for (int k = 0; k < wb.Sheets().Count(); ++k) {
    TSheet& s = wb.Sheets()[k];
    o << "sheet " << Utf16ToUtf8(s.Name()) << "\n";
    if (withRaw) raw(s.Records());
    TCellStorage& cells = s.Cells();
    cells.BeginIterate();
    while (TCell* c = cells.NextCell()) {
      o << "cell " << c->Col() << " " << c->Row() << " " << int(c->CellKind()) << " "
        << c->XFIndex() << " ";
      switch (c->CellKind()) {
        case ckFloat: {
          char t[40];
          std::snprintf(t, sizeof t, "%a", static_cast<TFloatCell*>(c)->Value);
          o << t;
          break;
        }
        case ckString:
          o << Utf16ToUtf8(static_cast<TStringCell*>(c)->Text());
          break;
        case ckBoolean:
          o << int(static_cast<TBooleanCell*>(c)->Value);
          break;
        case ckError:
          o << int(static_cast<TErrorCell*>(c)->Value);
          break;
        case ckBlank:
          break;
        default: {
          auto* f = static_cast<TFormulaCell*>(c);
          o << hex(f->Tokens()) << " " << Utf16ToUtf8(s.CellText(c->Col(), c->Row()));
          if (c->CellKind() == ckArrayFormula)
            o << " " << hex(static_cast<TArrayFormulaCell*>(c)->ArrayBody());
          break;
        }
      }
      o << "\n";
    }
  }
  return o.str();
}

TEST_F(XLSWriterInterop, EncryptedWorkbookReadsBackWithThePassword) {
  TXLSWorkbook wb;
  FillEveryKind(wb);
  wb.WritePassword = u"geheim ключ";
  const fs::path file = dir_.path / "crypt.xls";
  wb.Filename = Utf8ToUtf16(file.string());
  wb.WriteFile();

  // Our reader: the right password, a wrong one, none.
  {
    TXLSWorkbook back;
    back.Filename = wb.Filename;
    back.OnPassword = [](TXLSWorkbook&, std::u16string& p) { p = u"geheim ключ"; };
    back.ReadFile();
    EXPECT_EQ(DumpModel(back, false), DumpModel(wb, false));
  }
  {
    TXLSWorkbook back;
    back.Filename = wb.Filename;
    back.OnPassword = [](TXLSWorkbook&, std::u16string& p) { p = u"geheim"; };
    try {
      back.ReadFile();
      FAIL() << "read with a wrong password";
    } catch (const EXLSError& e) {
      EXPECT_NE(std::string(e.what()).find("Invalid password"), std::string::npos) << e.what();
    }
  }
  {
    TXLSWorkbook back;
    back.Filename = wb.Filename;
    EXPECT_THROW(back.ReadFile(), EXLSError);
  }
  // An independent decryption gives xlrd the same cells as the plain file.
  const std::string out =
      RunPython(dir_.path, std::string(kXlrdDump) + kDecryptDump, {file.string(), "geheim ключ"});
  EXPECT_EQ(out, std::string("FILEPASS 54 1 1 1 True\n") + kEveryKindXlrd);
}

TEST_F(XLSWriterInterop, EncryptionAcrossBlockBoundaries) {
  // Texts of growing length move every later record by one byte, so record bodies end exactly
  // at, and run across, the 1024-byte key boundaries.
  bool endsAtBoundary = false, straddles = false;
  for (int len = 0; len < 48; ++len) {
    TXLSWorkbook wb;
    TSheet& s = wb.Sheets()[0];
    s.SetCellText(0, 0, std::u16string(static_cast<size_t>(len), u'x'));
    for (int r = 1; r < 60; ++r) {
      s.AddFloatCell(0, r, 15, r * 1.5);
      s.AddFloatCell(1, r, 15, r * 1e12);
      s.SetCellText(2, r, u"t" + Utf8ToUtf16(std::to_string(r)));
    }
    TMemoryStream plain;
    wb.WriteStream(&plain);
    const Bytes stream =
        cfb::CompoundFile::OpenRead(plain.Data())->Root().OpenStream(u"Workbook").Data();
    // FILEPASS adds 58 bytes after the BOF: positions in the encrypted stream are shifted.
    for (size_t p = 0; p + 4 <= stream.size();) {
      const size_t len2 = GetU16(stream.data() + p + 2);
      const size_t begin = p + 4 + 58, end = begin + len2;
      if (p > 0 && len2 > 0) {
        if (end % 1024 == 0) endsAtBoundary = true;
        if (begin / 1024 != (end - 1) / 1024) straddles = true;
      }
      p += 4 + len2;
    }

    wb.WritePassword = u"pw";
    TMemoryStream enc;
    wb.WriteStream(&enc);
    TXLSWorkbook back;
    back.OnPassword = [](TXLSWorkbook&, std::u16string& p) { p = u"pw"; };
    enc.Seek(0, soFromBeginning);
    back.ReadStream(&enc);
    ASSERT_EQ(DumpModel(back, false), DumpModel(wb, false)) << "text length " << len;
  }
  EXPECT_TRUE(endsAtBoundary);
  EXPECT_TRUE(straddles);
}

TEST_F(XLSWriterInterop, PasswordNeedsExcel97) {
  TXLSWorkbook wb;
  wb.SetVersion(xvExcel50);
  wb.WritePassword = u"pw";
  TMemoryStream out;
  EXPECT_THROW(wb.WriteStream(&out), EXLSError);
  EXPECT_EQ(out.Size(), 0);
}

// The first line where two dumps differ, or empty.
std::string FirstDifference(const std::string& a, const std::string& b) {
  std::istringstream sa(a), sb(b);
  std::string la, lb;
  for (int line = 1;; ++line) {
    const bool ga = static_cast<bool>(std::getline(sa, la));
    const bool gb = static_cast<bool>(std::getline(sb, lb));
    if (!ga && !gb) return {};
    if (!ga || !gb || la != lb)
      return "line " + std::to_string(line) + ":\n  " + (ga ? la.substr(0, 300) : "<end>") +
             "\n  " + (gb ? lb.substr(0, 300) : "<end>");
  }
}

// Every corpus workbook the reader accepts, written and read again, keeps its model and raw
// records; the other root entries of the compound file survive too.
TEST_F(XLSWriterInterop, CorpusRoundTrip) {
  const fs::path corpus = XLSB_CORPUS_DIR;
  if (!fs::is_directory(corpus)) GTEST_SKIP() << "corpus folder not found: " << corpus;
  int tried = 0, written = 0;
  for (const auto& e : fs::recursive_directory_iterator(corpus)) {
    if (!e.is_regular_file()) continue;
    std::string ext = e.path().extension().string();
    for (char& ch : ext) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    if (ext != ".xls") continue;
    ++tried;
    TXLSWorkbook wb;
    wb.Filename = Utf8ToUtf16(e.path().string());
    wb.OnPassword = [](TXLSWorkbook&, std::u16string& p) { p = u"password"; };
    try {
      wb.ReadFile();
    } catch (const EXLSError&) {
      continue;  // not accepted by the reader
    }
    if (wb.Version() < xvExcel50) continue;  // older files are written as one fixed sheet
    SCOPED_TRACE(e.path().string());
    const fs::path out = dir_.path / "rt.xls";
    wb.Filename = Utf8ToUtf16(out.string());
    wb.WritePassword.clear();
    ASSERT_NO_THROW(wb.WriteFile());
    ++written;
    TXLSWorkbook back;
    back.Filename = wb.Filename;
    ASSERT_NO_THROW(back.ReadFile());
    EXPECT_EQ(back.Version(), wb.Version());
    EXPECT_EQ(FirstDifference(DumpModel(back, true), DumpModel(wb, true)), "");
    EXPECT_EQ(RunPython(dir_.path, kOleDump, {out.string()}),
              RunPython(dir_.path, kOleDump, {e.path().string()}));
  }
  std::printf("corpus: %d workbooks, %d read and written back\n", tried, written);
  EXPECT_GT(written, 10);
}

}  // namespace
}  // namespace xls
