#include "biff/xls_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>

#include "biff/biff_recs.h"
#include "biff/sst2.h"
#include "biff/xls_rc4.h"
#include "platform/codec.h"
#include "platform/error.h"
#include "workbook/cell.h"
#include "workbook/format_records.h"
#include "workbook/number_formats.h"
#include "workbook/sheet.h"
#include "workbook/xls_utils.h"
#include "workbook/xls_workbook.h"

namespace xls {

namespace {

const char* const kWriteError = "Error on writing record # %d\r";

// BOF bodies written when the stored BOF belongs to another BIFF version.
constexpr uint16_t kBOFVersion8 = 0x0600;
constexpr uint16_t kBOFVersion5 = 0x0500;
constexpr uint16_t kBOFBuild = 6319;
constexpr uint16_t kBOFYear = 1997;
constexpr int kBOFSize8 = 16;
constexpr int kBOFSize5 = 8;
constexpr uint32_t kBOFHistory = 0x000080C9;
constexpr uint32_t kBOFLowestVersion = 0x00000106;

constexpr uint16_t kCodePageUTF16 = 1200;
constexpr uint16_t kWindow2Selected = 0x0200;
constexpr int kWindow2Size5 = 10;
constexpr int kDimensionsSize8 = 14;
constexpr int kDimensionsSize5 = 10;

constexpr uint16_t kFormulaCalcOnLoad = 0x0002;
constexpr int kFormulaFixedSize = 22;
// FORMULA result bytes of the typed results: marker in bytes 6-7.
constexpr uint8_t kResultString = 0;
constexpr uint8_t kResultBoolean = 1;
constexpr uint8_t kResultError = 2;
constexpr uint8_t kResultEmptyString = 3;

constexpr int kProgressStep = 100;
constexpr int kMaxShortText = 255;
constexpr size_t kWriteAccessSize5 = 112;
constexpr int kBoundsheetPlainBytes = 4;  // the BOF position stays readable in encrypted files

void CheckShort(size_t n, const char* what) {
  if (n > 0xFFFF) Raise(Format("%s is too long to be written (%zu bytes)", what, n));
}

}  // namespace

// RK numbers

bool EncodeRK(double value, uint32_t& rk) {
  static constexpr double kMultipliers[2] = {1.0, 100.0};
  for (uint32_t f = 0; f < 2; ++f) {
    const double v = value * kMultipliers[f];
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    const auto hi = static_cast<uint32_t>(bits >> 32);
    const auto lo = static_cast<uint32_t>(bits);
    uint32_t candidate;
    if (lo == 0 && (hi & 3) == 0) {
      candidate = hi + f;
    } else if (std::trunc(v) == v && v >= -536870912.0 && v <= 536870911.0) {
      candidate = static_cast<uint32_t>(static_cast<int32_t>(v)) * 4u + 2u + f;
    } else {
      continue;
    }
    // value * 100 is rounded: keep only a form that gives the number back exactly.
    if (f == 0 || DecodeRK(candidate) == value) {
      rk = candidate;
      return true;
    }
  }
  return false;
}

// Writing a file so that the old one survives a failed write

void WriteFileReplacing(const std::string& path, std::span<const uint8_t> data) {
  if (path.empty()) Raise("Filename is missing");
  // Replace the file a symbolic link points to, not the link.
  std::string target = path;
  struct stat st {};
  bool exists = false;
  if (lstat(path.c_str(), &st) == 0) {
    if (S_ISLNK(st.st_mode)) {
      if (char* real = realpath(path.c_str(), nullptr)) {
        target = real;
        std::free(real);
      }
    }
    if (stat(target.c_str(), &st) == 0) {
      if (S_ISDIR(st.st_mode))
        Raise(Format("Can not write file \"%s\": %s", path.c_str(), std::strerror(EISDIR)));
      exists = true;
    }
  }
  const size_t slash = target.rfind('/');
  const std::string dir =
      slash == std::string::npos ? std::string(".") : target.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);

  std::random_device rd;
  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = Format("%s%s.%08x.tmp", slash == std::string::npos ? "" : dir.c_str(),
                  ("." + base).c_str(), static_cast<unsigned>(rd()));
    fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) Raise(Format("Can not write file \"%s\": %s", path.c_str(), std::strerror(errno)));

  int error = 0;
  const uint8_t* p = data.data();
  size_t left = data.size();
  while (left > 0 && !error) {
    const ssize_t n = write(fd, p, left);
    if (n < 0) {
      if (errno != EINTR) error = errno;
      continue;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  if (!error && exists) fchmod(fd, st.st_mode & 07777);  // keep the old file's permissions
  if (!error && fsync(fd) != 0) error = errno;
  if (close(fd) != 0 && !error) error = errno;
  if (!error && rename(temp.c_str(), target.c_str()) != 0) error = errno;
  if (error) {
    unlink(temp.c_str());
    Raise(Format("Can not write file \"%s\": %s", path.c_str(), std::strerror(error)));
  }
}

// TXLSWriter

TXLSWriter::TXLSWriter(TXLSWorkbook& workbook)
    : workbook_(workbook),
      version_(workbook.Version()),
      maxBody_(workbook.MaxRecordLength()),
      buffer_(static_cast<size_t>(kRecordHeaderSize + std::max(kMaxRecordBody8, maxBody_))) {}

TXLSWriter::~TXLSWriter() = default;

template <class F>
void TXLSWriter::WriteThrough(TByteStream* target, F&& body) {
  // The file is built in memory; the caller's stream or file sees it only when it is complete.
  if (!target && workbook_.Filename.empty()) Raise("Filename is missing");
  TMemoryStream memory;
  try {
    body(&memory);
  } catch (...) {
    boundsheets_.clear();
    stream_.reset();
    throw;
  }
  boundsheets_.clear();
  stream_.reset();
  if (target)
    target->Write(memory.Data().data(), memory.Data().size());
  else
    WriteFileReplacing(Utf16ToUtf8(workbook_.Filename), memory.Data());
}

namespace {

// While a BIFF5 workbook is written, its 8-bit texts are converted in the code page its CODEPAGE
// record names (a workbook read from a BIFF5 file keeps the file's code page).
class TCodePageScope {
 public:
  explicit TCodePageScope(int codePage) : saved_(SystemCodePage()) {
    if (codePage > 0) SetSystemCodePage(codePage);
  }
  ~TCodePageScope() { SetSystemCodePage(saved_); }
  TCodePageScope(const TCodePageScope&) = delete;
  TCodePageScope& operator=(const TCodePageScope&) = delete;

 private:
  int saved_;
};

constexpr uint16_t kCodePageMacRoman = 0x8000;
constexpr uint16_t kCodePageAnsiOld = 0x8001;
constexpr uint16_t kCodePageAscii = 367;

// The code page a stored CODEPAGE value stands for; 0 for UTF-16 or none.
int StoredCodePage(const TRecordStorageGlobals& globals) {
  for (int i = 0; i < globals.Count(); ++i) {
    const TStoredRecord& r = globals.Items(i);
    if (r.RecID != BIFFRECID_CODEPAGE || r.Data.size() < 2) continue;
    const uint16_t cp = GetU16(r.Data.data());
    if (cp == kCodePageUTF16) return 0;
    if (cp == kCodePageMacRoman) return 10000;
    if (cp == kCodePageAnsiOld || cp == kCodePageAscii) return 1252;
    return cp;
  }
  return 0;
}

}  // namespace

void TXLSWriter::WriteBIFF8(TByteStream* target) {
  if (!workbook_.WritePassword.empty() && version_ != xvExcel97)
    Raise("Only Excel 97 workbooks can be written with a password");
  TCodePageScope codePage(version_ < xvExcel97 ? StoredCodePage(workbook_.Globals()) : 0);
  WriteThrough(target, [this](TByteStream* t) { DoWriteBIFF8(t); });
}

void TXLSWriter::WriteBIFF4(TByteStream* target) {
  if (!workbook_.WritePassword.empty())
    Raise("Only Excel 97 workbooks can be written with a password");
  WriteThrough(target, [this](TByteStream* t) { DoWriteBIFF4(t); });
}

// Record output

void TXLSWriter::WriteRecord(uint16_t recId, const void* body, size_t length) {
  CheckShort(length, "Record");
  if (length + kRecordHeaderSize > buffer_.size()) {
    stream_->WriteHeader(recId, static_cast<uint16_t>(length));
    stream_->Write(body, static_cast<int>(length));
    return;
  }
  PutU16(buffer_.data(), recId);
  PutU16(buffer_.data() + 2, static_cast<uint16_t>(length));
  if (length) std::memcpy(buffer_.data() + kRecordHeaderSize, body, length);
  stream_->WriteRaw(buffer_.data(), static_cast<int>(length + kRecordHeaderSize));
}

void TXLSWriter::WriteWord(uint16_t recId, uint16_t value) {
  uint8_t body[2];
  PutU16(body, value);
  WriteRecord(recId, body, sizeof body);
}

int TXLSWriter::MapXF(int xf) const {
  // Cell formats are written in list order, so a cell's index is its file XF index.
  return xf < 0 ? kDefaultCellXF : xf;
}

Bytes TXLSWriter::BOFBody(std::span<const uint8_t> stored) const {
  const uint16_t want = version_ >= xvExcel97 ? kBOFVersion8 : kBOFVersion5;
  // A BIFF8 BOF is 16 bytes with version 0x0600 or more; BIFF5 BOFs are 8 bytes (some
  // programs put 0x0600 into them). Only a BOF of the other format is rebuilt.
  const bool biff8Form = stored.size() >= kBOFSize8 && GetU16(stored.data()) >= kBOFVersion8;
  if (stored.size() >= 4 && (version_ >= xvExcel97) == biff8Form)
    return Bytes(stored.begin(), stored.end());
  // A BOF of another version (a workbook read in one version and written in another).
  const uint16_t type = stored.size() >= 4 ? GetU16(stored.data() + 2) : BOFTYPE_WORKSHEET;
  ByteWriter w;
  w.U16(want);
  w.U16(type);
  w.U16(kBOFBuild);
  w.U16(kBOFYear);
  if (version_ >= xvExcel97) {
    w.U32(kBOFHistory);
    w.U32(kBOFLowestVersion);
  }
  return std::move(w.Buffer());
}

std::string TXLSWriter::Ansi(std::u16string_view text, size_t maxBytes) const {
  std::string s = Utf16ToAnsi(text);
  if (s.size() <= maxBytes) return s;
  // Cut whole characters so that no multi-byte character is split.
  size_t n = std::min(text.size(), maxBytes);
  while (n > 0) {
    s = Utf16ToAnsi(text.substr(0, n));
    if (s.size() <= maxBytes) return s;
    --n;
  }
  return {};
}

// BIFF5 and BIFF8

void TXLSWriter::DoWriteBIFF8(TByteStream* target) {
  TXLSWorkbook& wb = workbook_;
  TSheets& sheets = wb.Sheets();

  // The sheet list: the worksheets in order, and the chart sheets kept from a read back at their
  // places among them (their records are in the version they were read in, so only a write in
  // that version can carry them). The first worksheet is marked as selected.
  std::vector<const TRawChartSheet*> charts;
  for (const TRawChartSheet& c : wb.ChartSheets())
    if (c.Version == version_) charts.push_back(&c);
  std::stable_sort(
      charts.begin(), charts.end(),
      [](const TRawChartSheet* a, const TRawChartSheet* b) { return a->Position < b->Position; });
  boundsheets_.clear();
  size_t nextChart = 0;
  int nextSheet = 0;
  while (nextSheet < sheets.Count() || nextChart < charts.size()) {
    auto entry = std::make_unique<TBoundsheetData>();
    const int slot = static_cast<int>(boundsheets_.size());
    if (nextChart < charts.size() &&
        (charts[nextChart]->Position <= slot || nextSheet >= sheets.Count())) {
      entry->Kind = 1;
      entry->Index = static_cast<int32_t>(nextChart);
      entry->Name = charts[nextChart]->Name;
      entry->Visibility = charts[nextChart]->Visibility;
      ++nextChart;
    } else {
      entry->Kind = 0;
      entry->Index = nextSheet;
      entry->Name = sheets[nextSheet].Name();
      entry->Visibility = sheets[nextSheet].Visibility;
      if (nextSheet == 0) {
        TStoredRecord& w2 = sheets[nextSheet].Records().WINDOW2();
        if (w2.Data.size() >= 2) PutU16(w2.Data.data(), GetU16(w2.Data.data()) | kWindow2Selected);
      }
      ++nextSheet;
    }
    boundsheets_.push_back(std::move(entry));
  }

  TRecordStorageGlobals& globals = wb.Globals();
  newWorkbook_ = globals.Count() == 0;
  stream_ = std::make_unique<TXLSStream>();
  // Preserved streams and storages are both carried whenever there is any.
  TExtraObjects* extra =
      wb.PreserveMacros && !wb.ExtraObjects().Empty() ? &wb.ExtraObjects() : nullptr;
  stream_->SetExtraObjects(extra);
  stream_->SetTargetStream(target);
  stream_->OpenWrite(wb.Filename, version_);
  if (newWorkbook_) globals.MoveDefaultsToList();

  for (int i = 0; i < globals.Count(); ++i) {
    try {
      WriteGlobalsItem(i);
    } catch (const EXLSError& e) {
      Raise(Format(kWriteError, i) + e.what());
    }
  }

  cellNumber_ = 0;
  progressCells_ = 0;
  for (size_t e = 0; e < boundsheets_.size(); ++e) {
    const TBoundsheetData& entry = *boundsheets_[e];
    if (entry.Kind == 0)
      WriteSheet(sheets[entry.Index], entry.Index, static_cast<int>(e));
    else
      WriteChartSheet(*charts[static_cast<size_t>(entry.Index)], static_cast<int>(e));
  }
  if (progressCells_ > 0) wb.AdvanceProgress(progressCells_);

  if (extra) stream_->WritePreservedStorages();
  if (!wb.WritePassword.empty()) EncryptWorkbookStream();
  stream_->Close();
}

void TXLSWriter::WriteGlobalsItem(int index) {
  TXLSWorkbook& wb = workbook_;
  TRecordStorageGlobals& globals = wb.Globals();
  const TStoredRecord& rec = globals.Items(index);
  switch (rec.RecID) {
    case BIFFRECID_PASSWORD:
      WriteWord(BIFFRECID_PASSWORD, 0);
      break;
    case BIFFRECID_OBJPROJ:
      if (wb.PreserveMacros) WriteEmpty(BIFFRECID_OBJPROJ);
      break;
    case BIFFRECID_TABID: {
      // Regenerated for the sheets being written.
      ByteWriter w;
      for (int k = 0; k < wb.Sheets().Count(); ++k) w.U16(static_cast<uint16_t>(k + 1));
      WriteRecord(BIFFRECID_TABID, w.Buffer());
      break;
    }
    case BIFFRECID_CODEPAGE: {
      // BIFF8 strings are UTF-16; BIFF5 strings are in the system code page.
      const uint16_t stored = rec.U16At(0);
      if (version_ >= xvExcel97)
        WriteWord(BIFFRECID_CODEPAGE, kCodePageUTF16);
      else
        WriteWord(BIFFRECID_CODEPAGE, stored == kCodePageUTF16 || stored == 0
                                          ? static_cast<uint16_t>(SystemCodePage())
                                          : stored);
      break;
    }
    case BIFFRECID_WRITEACCESS: {
      if (version_ >= xvExcel97) {
        WriteRecord(rec.RecID, rec.Data);
        break;
      }
      // BIFF5: a byte string (count u8 and 8-bit characters) padded with spaces. The stored
      // body holds count, 0, option byte and the characters; 8-bit ones are kept as they are.
      std::string name;
      const Bytes& d = rec.Data;
      if (d.size() >= 3 && d[2] == 0 && d.size() >= 3u + d[0])
        name.assign(d.begin() + 3, d.begin() + 3 + d[0]);
      else
        name = Utf16ToAnsi(globals.WRITEACCESS());
      if (name.size() > kWriteAccessSize5 - 1) name.resize(kWriteAccessSize5 - 1);
      Bytes body(kWriteAccessSize5, ' ');
      body[0] = static_cast<uint8_t>(name.size());
      std::memcpy(body.data() + 1, name.data(), name.size());
      WriteRecord(BIFFRECID_WRITEACCESS, body);
      break;
    }
    case BIFFRECID_FILEPASS:
    case BIFFRECID_SST:
    case BIFFRECID_EXTSST:
    case BIFFRECID_INDEX:
    case BIFFRECID_DBCELL:
      // Regenerated (or meaningless) in the new file: never copied.
      break;
    case INTERNID_FORMATS:
      WriteFormatRecords();
      break;
    case INTERNID_BOUNDSHEETS:
      WriteBoundsheets();
      break;
    case INTERNID_NAMES:
    case INTERNID_MSODRAWINGGROUP:
      // The model holds no names, external references or drawings of its own; such records of
      // a file that was read stay in the storage and are copied.
      break;
    case INTERNID_SST:
      if (version_ >= xvExcel97) wb.Sheets().SST().WriteSST(*stream_);
      break;
    default:
      if (&rec == &globals.BOF()) {
        const Bytes body = BOFBody(rec.Data);
        WriteRecord(BIFFRECID_BOF, body);
        if (body.size() >= 4 && GetU16(body.data() + 2) == BOFTYPE_GLOBALS &&
            !wb.WritePassword.empty())
          WriteFilePass();
      } else if (rec.RecID < kFirstInternalRecordId) {
        WriteRecord(rec.RecID, rec.Data);
      }
      break;
  }
}

void TXLSWriter::WriteFormatRecords() {
  TXLSWorkbook& wb = workbook_;
  for (const TBiffRecord& r : FontRecords(wb.Fonts(), version_)) WriteRecord(r.Id, r.Body);
  for (const TBiffRecord& r : FormatRecords(wb.CellFormats().NumberFormats(), version_))
    WriteRecord(r.Id, r.Body);
  for (const TBiffRecord& r : XFRecords(wb.CellFormats(), version_)) WriteRecord(r.Id, r.Body);
  for (const TBiffRecord& r : StyleRecords(wb.Styles(), wb.DefaultStyles()))
    WriteRecord(r.Id, r.Body);
}

void TXLSWriter::WriteBoundsheets() {
  for (auto& entry : boundsheets_) {
    ByteWriter w;
    w.U32(0);  // BOF position, fixed up when the sheet is written
    w.U8(entry->Visibility);
    w.U8(entry->Kind == 0 ? 0 : 2);
    if (version_ >= xvExcel97) {
      const std::u16string_view name =
          std::u16string_view(entry->Name).substr(0, std::min<size_t>(entry->Name.size(), 255));
      w.U8(static_cast<uint8_t>(name.size()));
      w.U8(1);
      for (char16_t c : name) w.U16(c);
    } else {
      const std::string name = Ansi(entry->Name, kMaxShortText);
      w.U8(static_cast<uint8_t>(name.size()));
      w.Append(name.data(), name.size());
    }
    entry->BOFPosField = stream_->Position() + kRecordHeaderSize;
    WriteRecord(BIFFRECID_BOUNDSHEET, w.Buffer());
  }
}

// Encryption

void TXLSWriter::WriteFilePass() {
  std::random_device rd;
  uint8_t salt[16], verifier[16];
  for (auto& b : salt) b = static_cast<uint8_t>(rd());
  for (auto& b : verifier) b = static_cast<uint8_t>(rd());
  WriteRecord(BIFFRECID_FILEPASS, XLSMakeFilePass(workbook_.WritePassword, salt, verifier));
}

void TXLSWriter::EncryptWorkbookStream() {
  // Read the whole workbook stream back, encrypt every record body after FILEPASS where a reader
  // decrypts it, and write it over itself.
  const int64_t size = stream_->Seek(0, soFromEnd);
  if (size > INT_MAX) Raise("Workbook stream too large to encrypt");
  Bytes data(static_cast<size_t>(size));
  stream_->Seek(0, soFromBeginning);
  if (stream_->ReadPlain(data.data(), static_cast<int>(size)) != static_cast<int>(size))
    Raise("Can not read back the workbook stream");

  size_t pos = 0;
  auto header = [&](uint16_t& id, uint16_t& len) {
    if (pos + kRecordHeaderSize > data.size()) return false;
    id = GetU16(data.data() + pos);
    len = GetU16(data.data() + pos + 2);
    pos += kRecordHeaderSize;
    if (pos + len > data.size()) Raise("Record FILEPASS missing");
    return true;
  };
  uint16_t id = 0, len = 0;
  if (!header(id, len) || !IsBOFRecordId(id)) Raise("Record FILEPASS missing");
  pos += len;
  if (!header(id, len) || id != BIFFRECID_FILEPASS) Raise("Record FILEPASS missing");
  const Bytes filePass(data.begin() + static_cast<ptrdiff_t>(pos),
                       data.begin() + static_cast<ptrdiff_t>(pos + len));
  pos += len;

  TXLSRC4 cipher;
  cipher.SetPassword(workbook_.WritePassword, filePass.data() + kFilePassSaltOffset);
  while (header(id, len)) {
    size_t skip = 0;
    if (IsBOFRecordId(id) || id == BIFFRECID_INTERFACEHDR || id == BIFFRECID_FILEPASS)
      skip = len;
    else if (id == BIFFRECID_BOUNDSHEET)
      skip = std::min<size_t>(len, kBoundsheetPlainBytes);
    if (len > skip)
      cipher.Crypt(data.data() + pos + skip, len - skip, static_cast<int64_t>(pos + skip));
    pos += len;
  }
  stream_->Seek(0, soFromBeginning);
  stream_->WriteRaw(data.data(), static_cast<int>(size));
}

// Worksheets

void TXLSWriter::PatchBOFPosition(int entry) {
  const int64_t here = stream_->Position();
  if (entry < static_cast<int>(boundsheets_.size()) && boundsheets_[entry]->BOFPosField >= 0) {
    stream_->Seek(boundsheets_[entry]->BOFPosField, soFromBeginning);
    stream_->WriteU32(static_cast<uint32_t>(here));
    stream_->Seek(0, soFromEnd);
  }
}

void TXLSWriter::WriteChartSheet(const TRawChartSheet& chart, int entry) {
  PatchBOFPosition(entry);
  stream_->WriteRaw(chart.Records.data(), static_cast<int>(chart.Records.size()));
}

void TXLSWriter::WriteSheet(TSheet& sheet, int index, int entry) {
  sheetIndex_ = index;
  TRecordStorageSheet& records = sheet.Records();
  if (!sheet.ReadFromFile) records.MoveDefaultsToList();

  // BOF position of the sheet into its BOUNDSHEET.
  PatchBOFPosition(entry);

  sheet.UpdateDimensions();
  // Readers size the cell table from DIMENSIONS and expect it before the first ROW or cell
  // record; the default sequence keeps it after them, so it is moved up to the cells.
  const TStoredRecord* dims = &records.DIMENSIONS();
  int cellsAt = -1, dimsAt = -1;
  for (int i = 0; i < records.Count(); ++i) {
    const TStoredRecord& rec = records.Items(i);
    if (rec.RecID == INTERNID_CELLS && cellsAt < 0) cellsAt = i;
    if (&rec == dims) dimsAt = i;
  }
  const bool moveDims = cellsAt >= 0 && dimsAt > cellsAt;
  for (int i = 0; i < records.Count(); ++i) {
    if (moveDims && i == dimsAt) continue;
    if (moveDims && i == cellsAt) WriteSheetItem(sheet, BIFFRECID_DIMENSIONS, dimsAt);
    WriteSheetItem(sheet, records.Items(i).RecID, i);
  }
}

void TXLSWriter::WriteSheetItem(TSheet& sheet, uint16_t recId, int index) {
  const TStoredRecord& rec = sheet.Records().Items(index);
  switch (recId) {
    case INTERNID_PAGEBREAKS:
      WritePageBreaks(sheet);
      break;
    case INTERNID_HEADERFOOTER:
      WriteHeaderFooter(sheet);
      break;
    case INTERNID_MARGINS:
      WriteMargins(sheet);
      break;
    case INTERNID_COLINFO:
      for (const TBiffRecord& r : sheet.Columns().ColInfoRecords()) WriteRecord(r.Id, r.Body);
      break;
    case INTERNID_CELLS:
      WriteRowsAndCells(sheet);
      break;
    case INTERNID_SHEETEXTRAS:
      WritePane(sheet);
      break;
    case BIFFRECID_DIMENSIONS:
      if (&rec == &sheet.Records().DIMENSIONS() && version_ < xvExcel97 &&
          rec.Data.size() >= kDimensionsSize8) {
        // BIFF5 keeps rows in 16 bits.
        ByteWriter w;
        w.U16(static_cast<uint16_t>(GetU32(rec.Data.data())));
        w.U16(static_cast<uint16_t>(GetU32(rec.Data.data() + 4)));
        w.U16(GetU16(rec.Data.data() + 8));
        w.U16(GetU16(rec.Data.data() + 10));
        w.U16(0);
        WriteRecord(BIFFRECID_DIMENSIONS, w.Buffer());
      } else {
        WriteRecord(recId, rec.Data);
      }
      break;
    case BIFFRECID_WINDOW2:
      if (&rec == &sheet.Records().WINDOW2() && version_ < xvExcel97 &&
          rec.Data.size() > kWindow2Size5)
        WriteRecord(recId, std::span<const uint8_t>(rec.Data.data(), kWindow2Size5));
      else
        WriteRecord(recId, rec.Data);
      break;
    case BIFFRECID_INDEX:
    case BIFFRECID_DBCELL:
      break;  // their offsets would be wrong in the new file
    default:
      // Only the sheet's own BOF follows the version written; a BOF of an embedded chart or
      // object stays as it was read.
      if (&rec == &sheet.Records().BOF())
        WriteRecord(BIFFRECID_BOF, BOFBody(rec.Data));
      else if (recId < kFirstInternalRecordId)
        WriteRecord(recId, rec.Data);
      break;
  }
}

void TXLSWriter::WritePageBreaks(TSheet& sheet) {
  const TPrintSettings& ps = sheet.PrintSettings();
  if (!ps.HorizPagebreaks.empty()) {
    ByteWriter w;
    w.U16(static_cast<uint16_t>(ps.HorizPagebreaks.size()));
    for (const THorizPagebreak& b : ps.HorizPagebreaks) {
      w.U16(static_cast<uint16_t>(b.Row + 1));
      if (version_ >= xvExcel97) {
        w.U16(static_cast<uint16_t>(b.Col1 + 1));
        w.U16(static_cast<uint16_t>(b.Col2 + 1));
      }
    }
    WriteRecord(BIFFRECID_HORIZONTALPAGEBREAKS, w.Buffer());
  }
  if (!ps.VertPagebreaks.empty()) {
    ByteWriter w;
    w.U16(static_cast<uint16_t>(ps.VertPagebreaks.size()));
    for (const TVertPagebreak& b : ps.VertPagebreaks) {
      w.U16(static_cast<uint16_t>(b.Col + 1));
      if (version_ >= xvExcel97) {
        w.U16(static_cast<uint16_t>(b.Row1 + 1));
        w.U16(static_cast<uint16_t>(b.Row2 + 1));
      }
    }
    WriteRecord(BIFFRECID_VERTICALPAGEBREAKS, w.Buffer());
  }
}

void TXLSWriter::WriteHeaderFooter(TSheet& sheet) {
  const TPrintSettings& ps = sheet.PrintSettings();
  auto one = [&](uint16_t recId, const std::u16string& text) {
    if (text.empty()) {
      WriteEmpty(recId);
      return;
    }
    ByteWriter w;
    if (version_ >= xvExcel97) {
      const std::u16string_view t =
          std::u16string_view(text).substr(0, std::min<size_t>(text.size(), kMaxShortText));
      w.U16(static_cast<uint16_t>(t.size()));
      w.U8(1);
      for (char16_t c : t) w.U16(c);
    } else {
      const std::string t = Ansi(text, kMaxShortText);
      w.U8(static_cast<uint8_t>(t.size()));
      w.Append(t.data(), t.size());
    }
    WriteRecord(recId, w.Buffer());
  };
  one(BIFFRECID_HEADER, ps.Header);
  one(BIFFRECID_FOOTER, ps.Footer);
}

void TXLSWriter::WriteMargins(TSheet& sheet) {
  const TPrintSettings& ps = sheet.PrintSettings();
  const std::pair<uint16_t, double> margins[] = {{BIFFRECID_LEFTMARGIN, ps.MarginLeft},
                                                 {BIFFRECID_RIGHTMARGIN, ps.MarginRight},
                                                 {BIFFRECID_TOPMARGIN, ps.MarginTop},
                                                 {BIFFRECID_BOTTOMMARGIN, ps.MarginBottom}};
  for (const auto& [id, value] : margins) {
    if (!(value >= 0)) continue;
    uint8_t body[8];
    PutF64(body, value);
    WriteRecord(id, body, sizeof body);
  }
}

void TXLSWriter::WriteRowsAndCells(TSheet& sheet) {
  TXLSRows& rows = sheet.Rows();
  uint8_t body[kRowRecordSize];
  for (int i = 0; i < rows.Count(); ++i) {
    rows.FillRowRecord(i, body);
    WriteRecord(BIFFRECID_ROW, body, sizeof body);
  }
  WriteCells(sheet);
}

void TXLSWriter::WriteCells(TSheet& sheet) {
  TCellStorage& cells = sheet.Cells();
  rkRun_.clear();
  rkRun_.reserve(kMaxRKRun);
  rkRow_ = -1;
  cells.BeginIterate();
  while (TCell* cell = cells.NextCell()) {
    try {
      if (!rkRun_.empty() && cell->Row() != rkRow_) FlushRK();
      if (cell->CellKind() == ckBlank)
        WriteBlankRun(cell, sheet);
      else
        WriteCell(sheet, cell);
    } catch (const EXLSError& e) {
      Raise(Format(kWriteError, static_cast<int>(cellNumber_)) + e.what());
    }
  }
  FlushRK();
}

void TXLSWriter::WriteBlankRun(TCell* first, TSheet& sheet) {
  FlushRK();
  TCellStorage& cells = sheet.Cells();
  const int row = first->Row();
  const int col1 = first->Col();
  uint8_t body[6 + 2 * 256];
  PutU16(body, static_cast<uint16_t>(row));
  PutU16(body + 2, static_cast<uint16_t>(col1));
  int n = 0;
  PutU16(body + 4, static_cast<uint16_t>(MapXF(first->XFIndex())));
  ++n;
  ++cellNumber_;
  int last = col1;
  while (TCell* next = cells.NextBlankInRow()) {
    if (next->Row() != row || next->Col() != last + 1 || n >= 256)
      Raise("Row error in writing MULBLANK");
    PutU16(body + 4 + 2 * n, static_cast<uint16_t>(MapXF(next->XFIndex())));
    ++n;
    ++cellNumber_;
    last = next->Col();
  }
  if (n == 1) {
    WriteRecord(BIFFRECID_BLANK, body, 6);
  } else {
    PutU16(body + 4 + 2 * n, static_cast<uint16_t>(last));
    WriteRecord(BIFFRECID_MULBLANK, body, static_cast<size_t>(2 * n + 6));
  }
  progressCells_ += n;
  if (progressCells_ >= kProgressStep) {
    workbook_.AdvanceProgress(progressCells_ - progressCells_ % kProgressStep);
    progressCells_ %= kProgressStep;
  }
}

void TXLSWriter::FlushRK() {
  if (rkRun_.empty()) return;
  if (rkRun_.size() == 1) {
    uint8_t body[10];
    PutU16(body, static_cast<uint16_t>(rkRow_));
    PutU16(body + 2, rkRun_[0].Col);
    PutU16(body + 4, rkRun_[0].XF);
    PutU32(body + 6, rkRun_[0].RK);
    WriteRecord(BIFFRECID_RK_30, body, sizeof body);
  } else {
    const size_t n = rkRun_.size();
    uint8_t body[6 + 6 * kMaxRKRun];
    PutU16(body, static_cast<uint16_t>(rkRow_));
    PutU16(body + 2, rkRun_[0].Col);
    for (size_t i = 0; i < n; ++i) {
      PutU16(body + 4 + 6 * i, rkRun_[i].XF);
      PutU32(body + 6 + 6 * i, rkRun_[i].RK);
    }
    PutU16(body + 4 + 6 * n, rkRun_.back().Col);
    WriteRecord(BIFFRECID_MULRK, body, 6 * n + 6);
  }
  rkRun_.clear();
}

void TXLSWriter::WriteCell(TSheet& sheet, TCell* cell) {
  ++cellNumber_;
  if (++progressCells_ >= kProgressStep) {
    workbook_.AdvanceProgress(kProgressStep);
    progressCells_ = 0;
  }
  const int row = cell->Row();
  const int col = cell->Col();
  const auto xf = static_cast<uint16_t>(MapXF(cell->XFIndex()));
  uint8_t body[16];
  PutU16(body, static_cast<uint16_t>(row));
  PutU16(body + 2, static_cast<uint16_t>(col));
  PutU16(body + 4, xf);

  if (cell->CellKind() == ckFloat) {
    const double value = static_cast<TFloatCell*>(cell)->Value;
    uint32_t rk;
    if (EncodeRK(value, rk)) {
      if (rkRun_.empty() || col == rkRun_.back().Col + 1) {
        if (static_cast<int>(rkRun_.size()) >= kMaxRKRun) Raise("RK Cache overflow");
        rkRow_ = row;
        rkRun_.push_back({static_cast<uint16_t>(col), xf, rk});
        return;
      }
    }
    FlushRK();
    PutF64(body + 6, value);
    WriteRecord(BIFFRECID_NUMBER, body, 14);
    return;
  }
  FlushRK();

  switch (cell->CellKind()) {
    case ckString: {
      auto* s = static_cast<TStringCell*>(cell);
      if (version_ >= xvExcel97) {
        PutU32(body + 6, static_cast<uint32_t>(sheet.Owner().SST().IndexOf(*s->Entry())));
        WriteRecord(BIFFRECID_LABELSST, body, 10);
      } else {
        const std::string text = Ansi(s->Text(), static_cast<size_t>(maxBody_ - 8));
        ByteWriter w;
        w.Append(body, 6);
        w.U16(static_cast<uint16_t>(text.size()));
        w.Append(text.data(), text.size());
        WriteRecord(BIFFRECID_LABEL, w.Buffer());
      }
      break;
    }
    case ckBoolean:
      body[6] = static_cast<TBooleanCell*>(cell)->Value;
      body[7] = 0;
      WriteRecord(BIFFRECID_BOOLERR, body, 8);
      break;
    case ckError: {
      const TCellError e = static_cast<TErrorCell*>(cell)->Value;
      if (e == ceNone) Raise(Format("Invalid error value in cell %d:%d", col, row));
      body[6] = CellErrorToCode(e);
      body[7] = 1;
      WriteRecord(BIFFRECID_BOOLERR, body, 8);
      break;
    }
    case ckNumberFormula:
    case ckStringFormula:
    case ckBooleanFormula:
    case ckErrorFormula:
    case ckArrayFormula:
      WriteFormula(sheet, cell, xf);
      break;
    default:
      break;
  }
}

void TXLSWriter::WriteFormula(TSheet& sheet, TCell* cell, int xf) {
  auto* f = static_cast<TFormulaCell*>(cell);
  const std::span<const uint8_t> tokens = f->Tokens();
  const std::span<const uint8_t> extra = f->ExtraData();
  if (tokens.size() + extra.size() + kFormulaFixedSize > static_cast<size_t>(maxBody_))
    Raise(Format("Formula too long (%zu bytes of tokens)", tokens.size()));
  uint8_t result[8] = {};
  const std::u16string* text = nullptr;
  switch (cell->CellKind()) {
    case ckNumberFormula:
      PutF64(result, static_cast<TNumberFormulaCell*>(cell)->Result);
      break;
    case ckStringFormula:
      text = &static_cast<TStringFormulaCell*>(cell)->Result;
      result[0] = text->empty() ? kResultEmptyString : kResultString;
      result[6] = result[7] = 0xFF;
      break;
    case ckBooleanFormula:
      result[0] = kResultBoolean;
      result[2] = static_cast<TBooleanFormulaCell*>(cell)->Result;
      result[6] = result[7] = 0xFF;
      break;
    case ckErrorFormula:
      result[0] = kResultError;
      result[2] = CellErrorToCode(static_cast<TErrorFormulaCell*>(cell)->Result);
      result[6] = result[7] = 0xFF;
      break;
    default:  // array formula: its cached bytes
      std::memcpy(result, static_cast<TArrayFormulaCell*>(cell)->Result, 8);
      break;
  }
  ByteWriter w;
  w.U16(static_cast<uint16_t>(cell->Row()));
  w.U16(static_cast<uint16_t>(cell->Col()));
  w.U16(static_cast<uint16_t>(xf));
  w.Append(result, 8);
  w.U16(sheet.RecalcFormulas ? kFormulaCalcOnLoad : 0);
  w.U32(0);
  w.U16(static_cast<uint16_t>(tokens.size()));
  w.Append(tokens);
  w.Append(extra);
  WriteRecord(BIFFRECID_FORMULA, w.Buffer());

  if (text) {
    WriteStringResult(*text);
  } else if (cell->CellKind() == ckArrayFormula) {
    auto* array = static_cast<TArrayFormulaCell*>(cell);
    WriteRecord(BIFFRECID_ARRAY, array->ArrayBody());
    if (result[0] == kResultString && result[6] == 0xFF && result[7] == 0xFF)
      WriteStringResult(array->ResultText);
  }
}

void TXLSWriter::WriteStringResult(const std::u16string& text) {
  if (version_ >= xvExcel97) {
    if (text.empty()) return;
    // A long result continues in CONTINUE records, each starting with its option byte.
    const std::u16string_view t(text);
    const size_t first = std::min<size_t>(t.size(), (kMaxRecordBody8 - 3) / 2);
    ByteWriter s;
    s.U16(static_cast<uint16_t>(std::min<size_t>(t.size(), 0xFFFF)));
    s.U8(1);
    for (size_t i = 0; i < first; ++i) s.U16(t[i]);
    WriteRecord(BIFFRECID_STRING, s.Buffer());
    for (size_t done = first; done < t.size() && done < 0xFFFF;) {
      const size_t n = std::min<size_t>(t.size() - done, (kMaxRecordBody8 - 1) / 2);
      ByteWriter c;
      c.U8(1);
      for (size_t i = 0; i < n; ++i) c.U16(t[done + i]);
      WriteRecord(BIFFRECID_CONTINUE, c.Buffer());
      done += n;
    }
  } else {
    const std::string t = Ansi(text, static_cast<size_t>(maxBody_ - 2));
    ByteWriter s;
    s.U16(static_cast<uint16_t>(t.size()));
    s.Append(t.data(), t.size());
    WriteRecord(BIFFRECID_STRING, s.Buffer());
  }
}

void TXLSWriter::WritePane(TSheet& sheet) {
  TPane& pane = sheet.Pane();
  const int x = pane.SplitColX;
  const int y = pane.SplitRowY;
  if (pane.PaneType == ptNone || (x <= 0 && y <= 0)) return;
  uint8_t body[10];
  PutU16(body, static_cast<uint16_t>(std::max(x, 0)));
  PutU16(body + 2, static_cast<uint16_t>(std::max(y, 0)));
  PutU16(body + 4, static_cast<uint16_t>(pane.TopRow));
  PutU16(body + 6, static_cast<uint16_t>(pane.LeftCol));
  PutU16(body + 8, x > 0 && y > 0 ? 0 : x > 0 ? 1 : 2);
  WriteRecord(BIFFRECID_PANE, body, sizeof body);

  const size_t stored = x > 0 && y > 0 ? 4 : 2;
  if (pane.Selections.size() == stored) {
    for (const Bytes& s : pane.Selections) WriteRecord(BIFFRECID_SELECTION, s);
    return;
  }
  struct TSel {
    uint8_t Pane;
    int Row, Col;
  };
  std::vector<TSel> sels;
  if (x > 0 && y > 0)
    sels = {{3, 0, 0}, {2, pane.TopRow, 0}, {1, 0, pane.LeftCol}, {0, pane.TopRow, pane.LeftCol}};
  else if (x > 0)
    sels = {{3, pane.TopRow, 0}, {1, 0, pane.LeftCol}};
  else
    sels = {{3, 0, 0}, {2, pane.TopRow, 0}};
  for (const TSel& s : sels) {
    ByteWriter w;
    w.U8(s.Pane);
    w.U16(static_cast<uint16_t>(s.Row));
    w.U16(static_cast<uint16_t>(s.Col));
    w.U16(0);
    w.U16(1);
    w.U16(static_cast<uint16_t>(s.Row));
    w.U16(static_cast<uint16_t>(s.Row));
    w.U8(static_cast<uint8_t>(s.Col));
    w.U8(static_cast<uint8_t>(s.Col));
    WriteRecord(BIFFRECID_SELECTION, w.Buffer());
  }
}

// BIFF4: the first sheet as a fixed record sequence

void TXLSWriter::DoWriteBIFF4(TByteStream* target) {
  TXLSWorkbook& wb = workbook_;
  stream_ = std::make_unique<TXLSStream>();
  stream_->SetTargetStream(target);
  stream_->OpenWrite(wb.Filename, version_);
  if (version_ < xvExcel40 || wb.Sheets().Count() == 0) {
    // Nothing can be written below BIFF4 (the caller has refused already).
    stream_->Close();
    return;
  }
  TSheet& sheet = wb.Sheets()[0];
  TRecordStorageSheet& records = sheet.Records();
  TRecordStorageGlobals& globals = wb.Globals();
  newWorkbook_ = globals.Count() == 0;

  {
    uint8_t bof[6];
    PutU16(bof, 0);
    PutU16(bof + 2, BOFTYPE_WORKSHEET);
    PutU16(bof + 4, kBOFBuild);
    WriteRecord(BIFFRECID_BOF_40, bof, sizeof bof);
  }
  {
    const std::string name = Ansi(globals.WRITEACCESS(), 31);
    ByteWriter w;
    w.U8(static_cast<uint8_t>(name.size()));
    w.Append(name.data(), name.size());
    while (w.Size() < 32) w.U8(' ');
    WriteRecord(BIFFRECID_WRITEACCESS, w.Buffer());
  }
  // The code page of the 8-bit texts that follow.
  WriteWord(BIFFRECID_CODEPAGE, static_cast<uint16_t>(SystemCodePage()));
  WriteWord(BIFFRECID_CALCMODE, records.CALCMODE());
  WriteWord(BIFFRECID_REFMODE, records.REFMODE());
  WriteBool(BIFFRECID_ITERATION, records.ITERATION());
  WriteBool(BIFFRECID_PRECISION, globals.PRECISION());
  WriteBool(BIFFRECID_PRINTHEADERS, records.PRINTHEADERS());
  WriteBool(BIFFRECID_PRINTGRIDLINES, records.PRINTGRIDLINES());
  WriteRecord(BIFFRECID_DEFAULTROWHEIGHT, records.DEFAULTROWHEIGHT().Data);
  WriteWord(BIFFRECID_HIDEOBJ, globals.HIDEOBJ());
  WriteWord(BIFFRECID_WSBOOL, records.WSBOOL());
  for (const TBiffRecord& r : FontRecords(wb.Fonts(), version_))
    WriteRecord(BIFFRECID_FONT_30, r.Body);
  WriteHeaderFooter(sheet);
  WriteBool(BIFFRECID_HCENTER, records.HCENTER());
  WriteBool(BIFFRECID_VCENTER, records.VCENTER());
  {
    TPrintSettings& ps = sheet.PrintSettings();
    ByteWriter w;
    w.U16(ps.PaperSize());
    w.U16(ps.ScalingFactor());
    w.U16(ps.StartingPage());
    w.U16(1);
    w.U16(1);
    const Bytes& setup = records.SETUP().Data;
    w.U16(setup.size() >= 12 ? GetU16(setup.data() + 10) : 0);
    w.U16(600);
    w.U16(600);
    w.F64(ps.HeaderMargin());
    w.F64(ps.FooterMargin());
    w.U16(ps.Copies());
    WriteRecord(BIFFRECID_SETUP, w.Buffer());
  }
  WriteBool(BIFFRECID_BACKUP, globals.BACKUP());
  for (const TBiffRecord& r : FormatRecords(wb.CellFormats().NumberFormats(), version_))
    WriteRecord(r.Id, r.Body);
  WriteBool(BIFFRECID_WINDOWPROTECT, globals.WINDOWPROTECT());
  for (const TBiffRecord& r : XFRecords(wb.CellFormats(), version_)) WriteRecord(r.Id, r.Body);
  for (const TBiffRecord& r : StyleRecords(wb.Styles(), wb.DefaultStyles()))
    WriteRecord(r.Id, r.Body);
  if (records.DEFCOLWIDTH() != 0) WriteWord(BIFFRECID_DEFCOLWIDTH, records.DEFCOLWIDTH());
  {
    // The used area, last row and column as "one past".
    TCellStorage& cells = sheet.Cells();
    cells.CalcDimensions();
    cells.BeginIterate();
    const bool any = cells.NextCell() != nullptr;
    ByteWriter w;
    w.U16(static_cast<uint16_t>(cells.FirstRow()));
    w.U16(any ? static_cast<uint16_t>(cells.LastRow() + 1) : 0);
    w.U16(static_cast<uint16_t>(cells.FirstCol()));
    w.U16(any ? static_cast<uint16_t>(cells.LastCol() + 1) : 0);
    w.U16(0);
    WriteRecord(BIFFRECID_DIMENSIONS, w.Buffer());
  }
  cellNumber_ = 0;
  progressCells_ = 0;
  WriteCellsBIFF4(sheet);
  if (progressCells_ > 0) wb.AdvanceProgress(progressCells_);
  {
    const Bytes& w1 = globals.WINDOW1().Data;
    ByteWriter w;
    for (int i = 0; i < 4; ++i) w.U16(w1.size() >= 8 ? GetU16(w1.data() + 2 * i) : 0);
    const uint16_t opts = w1.size() >= 10 ? GetU16(w1.data() + 8) : 0x38;
    w.U16(opts);
    w.U16(0);
    w.U16(0);
    w.U16(1);
    w.U16(600);
    WriteRecord(BIFFRECID_WINDOW1, w.Buffer());
  }
  {
    const TSheetOptions o = sheet.Options();
    uint16_t opts = 0x04A0;
    if (o.Contains(soShowFormulas)) opts |= 0x01;
    if (o.Contains(soGridlines)) opts |= 0x02;
    if (o.Contains(soRowColHeadings)) opts |= 0x04;
    if (o.Contains(soFrozenPanes)) opts |= 0x08;
    if (o.Contains(soShowZeros)) opts |= 0x10;
    opts |= kWindow2Selected;
    uint8_t body[10] = {};
    PutU16(body, opts);
    WriteRecord(BIFFRECID_WINDOW2, body, sizeof body);
  }
  if (sheet.Pane().PaneType != ptNone) {
    ByteWriter w;
    w.U8(3);
    w.U16(0);
    w.U16(0);
    w.U16(0);
    w.U16(1);
    w.U16(0);
    w.U16(0);
    w.U8(0);
    w.U8(0);
    WriteRecord(BIFFRECID_SELECTION, w.Buffer());
  }
  WriteEmpty(BIFFRECID_EOF);
  stream_->Close();
}

void TXLSWriter::WriteCellsBIFF4(TSheet& sheet) {
  TCellStorage& cells = sheet.Cells();
  cells.BeginIterate();
  while (TCell* cell = cells.NextCell()) {
    try {
      ++cellNumber_;
      if (++progressCells_ >= kProgressStep) {
        workbook_.AdvanceProgress(kProgressStep);
        progressCells_ = 0;
      }
      uint8_t body[16];
      PutU16(body, static_cast<uint16_t>(cell->Row()));
      PutU16(body + 2, static_cast<uint16_t>(cell->Col()));
      PutU16(body + 4, static_cast<uint16_t>(MapXF(cell->XFIndex())));
      // NUMBER rather than RK: every reader of the old formats knows it.
      auto number = [&](double v) {
        PutF64(body + 6, v);
        WriteRecord(BIFFRECID_NUMBER, body, 14);
      };
      auto label = [&](const std::u16string& text) {
        const std::string t = Ansi(text, kMaxShortText);
        ByteWriter w;
        w.Append(body, 6);
        w.U16(static_cast<uint16_t>(t.size()));
        w.Append(t.data(), t.size());
        WriteRecord(BIFFRECID_LABEL, w.Buffer());
      };
      auto boolerr = [&](uint8_t value, bool error) {
        body[6] = value;
        body[7] = error ? 1 : 0;
        WriteRecord(BIFFRECID_BOOLERR, body, 8);
      };
      // Formula tokens are not convertible to the BIFF4 form: formulas keep their values.
      switch (cell->CellKind()) {
        case ckBlank:
          WriteRecord(BIFFRECID_BLANK, body, 6);
          break;
        case ckFloat:
          number(static_cast<TFloatCell*>(cell)->Value);
          break;
        case ckNumberFormula:
          number(static_cast<TNumberFormulaCell*>(cell)->Result);
          break;
        case ckString:
          label(static_cast<TStringCell*>(cell)->Text());
          break;
        case ckStringFormula:
          label(static_cast<TStringFormulaCell*>(cell)->Result);
          break;
        case ckBoolean:
          boolerr(static_cast<TBooleanCell*>(cell)->Value, false);
          break;
        case ckBooleanFormula:
          boolerr(static_cast<TBooleanFormulaCell*>(cell)->Result, false);
          break;
        case ckError: {
          const TCellError e = static_cast<TErrorCell*>(cell)->Value;
          if (e == ceNone)
            Raise(Format("Invalid error value in cell %d:%d", cell->Col(), cell->Row()));
          boolerr(CellErrorToCode(e), true);
          break;
        }
        case ckErrorFormula:
          boolerr(CellErrorToCode(static_cast<TErrorFormulaCell*>(cell)->Result), true);
          break;
        case ckArrayFormula: {
          const uint8_t* r = static_cast<TArrayFormulaCell*>(cell)->Result;
          if (GetU16(r + 6) != 0xFFFF)
            number(GetF64(r));
          else if (r[0] == kResultBoolean)
            boolerr(r[2], false);
          else if (r[0] == kResultError)
            boolerr(r[2], true);
          else
            WriteRecord(BIFFRECID_BLANK, body, 6);
          break;
        }
        default:
          break;
      }
    } catch (const EXLSError& e) {
      Raise(Format(kWriteError, static_cast<int>(cellNumber_)) + e.what());
    }
  }
}

}  // namespace xls
