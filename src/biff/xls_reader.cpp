#include "biff/xls_reader.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "biff/biff_recs.h"
#include "biff/record_storage.h"
#include "biff/sst2.h"
#include "biff/xls_rc4.h"
#include "formula/shared_formula.h"
#include "platform/codec.h"
#include "platform/error.h"
#include "workbook/format_records.h"
#include "workbook/sheet.h"
#include "workbook/xls_utils.h"
#include "workbook/xls_workbook.h"

namespace xls {

namespace {

// BIFF2 forms of the cell records; they carry three attribute bytes instead of an XF index.
constexpr uint16_t kRecBlank2 = 0x0001;
constexpr uint16_t kRecBoolErr2 = 0x0005;
constexpr uint16_t kRecXF2 = 0x0043;

constexpr int kProgressEvery = 100;
constexpr int kMaxGlobalsBOF = 256;
constexpr int kCellHeader = 6;       // row, column, XF
constexpr int kBiff2CellHeader = 7;  // row, column, three attribute bytes
constexpr uint16_t kFormulaShared = 0x0008;
constexpr uint8_t kResultString = 0;
constexpr uint8_t kResultBoolean = 1;
constexpr uint8_t kResultError = 2;
constexpr uint8_t kResultEmpty = 3;
constexpr uint8_t kPtgExp = 0x01;
constexpr int kWriteAccessSize = 112;
constexpr int kWindow2Size8 = 18;
constexpr int kDimensionsSize8 = 14;
constexpr uint8_t kStringWide = 0x01;
constexpr int kCodePageUTF16 = 1200;
constexpr int kCodePageMacRoman = 32768;
constexpr int kCodePageAnsiOld = 32769;
constexpr int kCodePageAscii = 367;

// The ids of the default records a storage starts with.
std::unordered_set<uint16_t> DefaultIds(const TRecordStorageDefault& storage) {
  std::unordered_set<uint16_t> ids;
  for (int i = 0; i < storage.DefaultCount(); ++i)
    if (const TStoredRecord* r = storage.Defaults(i); r && r->RecID < kFirstInternalRecordId)
      ids.insert(r->RecID);
  return ids;
}

void CheckCell(int col, int row) {
  if (col > kMaxCol || row > kMaxRow)
    Raise(Format("Cell at column %d, row %d is outside the sheet", col, row));
}

}  // namespace

TXLSReader::TXLSReader(TXLSWorkbook& workbook)
    : workbook_(workbook), stream_(std::make_unique<TXLSStream>()) {
  stream_->SetPreserve(workbook.PreserveMacros);
  TRecordStorageGlobals globals;
  TRecordStorageSheet sheet;
  globalsDefaults_ = DefaultIds(globals);
  sheetDefaults_ = DefaultIds(sheet);
}

TXLSReader::~TXLSReader() = default;

void TXLSReader::ReadWorkbook(TByteStream* source) {
  sheetNames_.clear();
  sheetVisibility_.clear();
  sheetIndex_ = -1;
  substreamCounter_ = -1;
  workbook_.SetDefaultStyles(false);

  stream_->SetExtraObjects(&workbook_.ExtraObjects());
  stream_->SetSourceStream(source);
  try {
    version_ = stream_->OpenRead(workbook_.Filename);
    workbook_.SetVersion(version_);
    maxRecord_ = workbook_.MaxRecordLength();
    rec_.Data.assign(static_cast<size_t>(maxRecord_), 0);
    next_.Data.assign(static_cast<size_t>(maxRecord_), 0);
    storage_ = &workbook_.Globals();
    if (workbook_.OnProgress) workbook_.OnProgress(workbook_, 0);
    ReadRecords();
    // A stream that ends inside a substream (a truncated file): the substream is completed as its
    // EOF would complete it, so that the default and placeholder records it lacks (the cells among
    // them) are in place for a later write.
    if (substreamOpen_ && storage_) storage_->UpdateDefault({BIFFRECID_EOF, 0}, {});
  } catch (...) {
    stream_->Close();
    throw;
  }
  stream_->Close();
  if (workbook_.OnProgress) workbook_.OnProgress(workbook_, 100);
}

bool TXLSReader::NextHeader(TBIFFHeader& header) {
  for (;;) {
    recordPos_ = stream_->Position();
    if (stream_->ReadHeader(header) < kRecordHeaderSize) return false;
    if (header.Length <= maxRecord_) return true;
    // Longer than any record may be: not a record we can hold, skip its body.
    stream_->Seek(header.Length, soFromCurrent);
  }
}

void TXLSReader::ReadBody(TRecord& rec) {
  const int length = rec.Header.Length;
  const uint16_t id = rec.Header.RecID;
  uint8_t* p = rec.Data.data();
  int got;
  if (IsBOFRecordId(id) || id == BIFFRECID_INTERFACEHDR) {
    got = stream_->ReadPlain(p, length);
  } else if (id == BIFFRECID_BOUNDSHEET && stream_->IsDecrypting()) {
    // The stream position of the sheet is not encrypted.
    got = stream_->ReadPlain(p, std::min(length, 4));
    if (length > 4) got += stream_->Read(p + 4, length - 4);
  } else {
    got = stream_->Read(p, length);
  }
  if (got < length)
    Raise(Format("Unexpected end of file: the record needs %d bytes, %d are left", length, got));
}

bool TXLSReader::ReadNextIf(std::initializer_list<uint16_t> ids) {
  const uint16_t peek = stream_->PeekRecordId();
  if (std::find(ids.begin(), ids.end(), peek) == ids.end()) return false;
  const int64_t pos = stream_->Position();
  if (!NextHeader(next_.Header) || next_.Header.RecID != peek) {
    // Over-long: nothing usable follows in its place.
    stream_->Seek(pos, soFromBeginning);
    return false;
  }
  ReadBody(next_);
  ++recordCount_;
  return true;
}

void TXLSReader::Progress() {
  if (!workbook_.OnProgress) return;
  const int64_t size = stream_->WorkbookSize();
  const int percent =
      size > 0 ? static_cast<int>(std::lround(100.0 * static_cast<double>(stream_->Position()) /
                                              static_cast<double>(size)))
               : 0;
  workbook_.OnProgress(workbook_, std::clamp(percent, 0, 100));
}

void TXLSReader::ReadRecords() {
  while (!finished_ && NextHeader(rec_.Header)) {
    const uint16_t id = rec_.Header.RecID;
    const int64_t pos = recordPos_;
    const int number = recordCount_;
    try {
      if (id >= kFirstInternalRecordId) Raise("Bad record in file");
      if (id != BIFFRECID_SST) ReadBody(rec_);
      if ((recordCount_ + 1) % kProgressEvery == 0) Progress();
      if (skippingView_) {
        if (id == BIFFRECID_USERSVIEWEND) skippingView_ = false;
      } else {
        storeRaw_ = true;
        Dispatch();
        if (storeRaw_) StoreRaw(rec_);
      }
    } catch (const std::exception& e) {
      Raise(Format("Error on reading record # %d, %.4X Offs: %.8X\r", number, id,
                   static_cast<unsigned>(pos)) +
            e.what());
    }
    ++recordCount_;
  }
}

void TXLSReader::StoreRaw(const TRecord& rec) {
  storage_->AddRaw(rec.Header, rec.Body());
}

void TXLSReader::UpdateDefault(uint16_t id, std::span<const uint8_t> body) {
  const TBIFFHeader header{id, static_cast<uint16_t>(body.size())};
  const uint16_t key = IsBOFRecordId(id) ? BIFFRECID_BOF : id;
  const bool sheet = storage_->IsSheetStorage();
  if ((sheet ? sheetDefaults_ : globalsDefaults_).count(key)) {
    storage_->UpdateDefault(header, body);
  } else if (sheet && version_ < xvExcel50 && globalsDefaults_.count(key)) {
    // BIFF2-4 files keep the workbook records inside their one worksheet substream.
    workbook_.Globals().UpdateDefault(header, body);
  } else {
    // A record of the other substream in the wrong place: kept as it is.
    storage_->AddRaw(header, body);
  }
}

std::u16string TXLSReader::Ansi(std::string_view bytes) const {
  return CodePageToUtf16(bytes, codePage_ ? codePage_ : SystemCodePage());
}

std::u16string TXLSReader::ReadChars8(ByteReader& r, size_t n) {
  const uint8_t option = r.U8();
  std::u16string s(n, u'\0');
  if (option & kStringWide) {
    r.NeedArray(n, 2);
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char16_t>(r.U16());
  } else {
    r.Need(n);
    const uint8_t* p = r.Current();
    for (size_t i = 0; i < n; ++i) s[i] = p[i];
    r.Skip(n);
  }
  return s;
}

TSheet& TXLSReader::Sheet() {
  if (!sheet_) Raise("Cell record outside a worksheet");
  return *sheet_;
}

// ---------------------------------------------------------------------------------------------
// Dispatch

void TXLSReader::Dispatch() {
  const uint16_t id = rec_.Header.RecID;
  const auto body = rec_.Body();
  if (IsBOFRecordId(id)) return ReadBOF();
  switch (id) {
    case BIFFRECID_EOF:
      return ReadEOF();

    // Cells.
    case BIFFRECID_BLANK:
    case BIFFRECID_MULBLANK:
    case BIFFRECID_NUMBER:
    case BIFFRECID_RK:
    case BIFFRECID_RK_30:
    case BIFFRECID_MULRK:
    case BIFFRECID_LABEL:
    case BIFFRECID_RSTRING:
    case BIFFRECID_LABELSST:
    case BIFFRECID_BOOLERR:
      return ReadCell();
    case kRecBlank2:
    case BIFFRECID_INTEGER_20:
    case BIFFRECID_NUMBER_20:
    case BIFFRECID_LABEL_20:
    case kRecBoolErr2:
      if (version_ > xvExcel21) return;  // not a cell record in later versions
      return ReadBiff2Cell();
    case BIFFRECID_FORMULA:
      if (version_ == xvExcel21) return ReadFormula2();
      return ReadFormula();
    case BIFFRECID_FORMULA_30:
    case BIFFRECID_FORMULA_40:
      return ReadFormula();
    case BIFFRECID_SHRFMLA:
    case BIFFRECID_SHRFMLA_40:
      // Away from its first cell: still usable by the cells that follow.
      storeRaw_ = false;
      return ReadSharedFormula(rec_);
    case BIFFRECID_ROW:
      storeRaw_ = false;
      Sheet().Rows().AddRowRecord(body);
      return;

    // Globals.
    case BIFFRECID_FILEPASS:
      return ReadFilePass();
    case BIFFRECID_FONT:
    case BIFFRECID_FONT_30:
      storeRaw_ = false;
      return ReadFont();
    case BIFFRECID_FORMAT:
      storeRaw_ = false;
      return ReadFormat();
    case BIFFRECID_XF:
    case BIFFRECID_XF_30:
    case BIFFRECID_XF_40:
    case kRecXF2:
      if (id == kRecXF2 && version_ >= xvExcel50) return;
      storeRaw_ = false;
      ReadXFRecord(workbook_.CellFormats(), body, version_);
      return;
    case BIFFRECID_PALETTE:
      storeRaw_ = false;
      ReadPaletteRecord(body);
      return;
    case BIFFRECID_BOUNDSHEET:
      return ReadBoundSheet();
    case BIFFRECID_BOOKBOOL:
      storeRaw_ = false;
      UpdateDefault(id, body);
      workbook_.Globals().PlaceInternal(INTERNID_FORMATS);
      return;
    case BIFFRECID_SST:
      storeRaw_ = false;
      workbook_.Globals().PlaceInternal(INTERNID_SST);
      workbook_.Sheets().SST().ReadSST(*stream_, rec_.Header.Length);
      return;
    case BIFFRECID_WRITEACCESS:
      storeRaw_ = false;
      return ReadWriteAccess();
    case BIFFRECID_CODEPAGE:
      if (body.size() >= 2) {
        const int cp = GetU16(body.data());
        codePage_ = cp == kCodePageUTF16                             ? 0
                    : cp == kCodePageMacRoman                        ? 10000
                    : cp == kCodePageAnsiOld || cp == kCodePageAscii ? 1252
                                                                     : cp;
      }
      storeRaw_ = false;
      UpdateDefault(id, body);
      return;

    // Sheet records.
    case BIFFRECID_HEADER:
    case BIFFRECID_FOOTER:
      storeRaw_ = false;
      return ReadHeaderFooter();
    case BIFFRECID_LEFTMARGIN:
    case BIFFRECID_RIGHTMARGIN:
    case BIFFRECID_TOPMARGIN:
    case BIFFRECID_BOTTOMMARGIN:
      storeRaw_ = false;
      return ReadMargin();
    case BIFFRECID_HORIZONTALPAGEBREAKS:
    case BIFFRECID_VERTICALPAGEBREAKS:
      storeRaw_ = false;
      return ReadPageBreaks();
    case BIFFRECID_COLINFO:
      storeRaw_ = false;
      Sheet().Records().PlaceInternal(INTERNID_COLINFO);
      Sheet().Columns().ReadColInfo(body);
      return;
    case BIFFRECID_PANE:
      storeRaw_ = false;
      return ReadPane();
    case BIFFRECID_WINDOW2:
      storeRaw_ = false;
      return ReadWindow2();
    case BIFFRECID_DIMENSIONS_20:
    case BIFFRECID_DIMENSIONS:
      storeRaw_ = false;
      return ReadDimensions();

    // Records that replace a default record.
    case BIFFRECID_CALCCOUNT:
    case BIFFRECID_CALCMODE:
    case BIFFRECID_PRECISION:
    case BIFFRECID_REFMODE:
    case BIFFRECID_DELTA:
    case BIFFRECID_ITERATION:
    case BIFFRECID_PROTECT:
    case BIFFRECID_WINDOWPROTECT:
    case BIFFRECID_SELECTION:
    case BIFFRECID_DATE1904:
    case BIFFRECID_PRINTHEADERS:
    case BIFFRECID_PRINTGRIDLINES:
    case BIFFRECID_WINDOW1:
    case BIFFRECID_BACKUP:
    case BIFFRECID_DEFCOLWIDTH:
    case BIFFRECID_SAVERECALC:
    case BIFFRECID_GUTS:
    case BIFFRECID_WSBOOL:
    case BIFFRECID_GRIDSET:
    case BIFFRECID_HCENTER:
    case BIFFRECID_VCENTER:
    case BIFFRECID_COUNTRY:
    case BIFFRECID_HIDEOBJ:
    case BIFFRECID_FNGROUPCOUNT:
    case BIFFRECID_SETUP:
    case BIFFRECID_DSF:
    case BIFFRECID_PROT4REV:
    case BIFFRECID_REFRESHALL:
    case BIFFRECID_RECALCID:
    case BIFFRECID_DEFAULTROWHEIGHT:
    case BIFFRECID_PASSWORD:
    case BIFFRECID_TABID:
      storeRaw_ = false;
      UpdateDefault(id, body);
      return;

    // Records rebuilt by the writer or of no use after a read.
    case BIFFRECID_DBCELL:
    case BIFFRECID_MSODRAWINGSELECTION:
    case BIFFRECID_EXTSST:
    case BIFFRECID_USERBVIEW:
    case BIFFRECID_EXCEL9FILE:
    case BIFFRECID_INDEX:
      storeRaw_ = false;
      return;
    case BIFFRECID_USERSVIEWBEGIN:
      storeRaw_ = false;
      skippingView_ = true;
      return;

    default:
      // Everything else (names, external references, drawings, notes, merged cells, hyperlinks,
      // validations, conditional formats, styles ...) stays in place as it was read.
      return;
  }
}

// ---------------------------------------------------------------------------------------------
// Substreams

void TXLSReader::ReadBOF() {
  storeRaw_ = false;
  const auto body = rec_.Body();
  ByteReader r(body, "BOF record");
  r.Skip(2);
  const uint16_t type = r.U16();
  switch (type) {
    case BOFTYPE_GLOBALS:
      if (body.size() > kMaxGlobalsBOF) Raise("Invalid BOF size");
      storage_ = &workbook_.Globals();
      substreamOpen_ = true;
      UpdateDefault(rec_.Header.RecID, body);
      return;
    case BOFTYPE_VBMODULE:
      Raise("VB module unhandled");
    case BOFTYPE_WORKSHEET:
      if (inSheet_) {
        // A worksheet substream inside another one: damaged. Keep it in place.
        return SkipSubstream(true);
      }
      BeginSheet();
      return;
    case BOFTYPE_CHART:
      if (inSheet_) return SkipSubstream(true);  // an embedded chart stays in its sheet
      // A chart sheet: no model of its own yet; its records are kept as they are.
      ++substreamCounter_;
      return KeepChartSheet();
    case BOFTYPE_MACROSHEET:
      Raise("BIFF4 Macro unhandled");
    case BOFTYPE_WORKSPACE:
      Raise("BIFF4 Workbook unhandled");
    default:
      return;
  }
}

void TXLSReader::BeginSheet() {
  ++substreamCounter_;
  ++sheetIndex_;
  std::u16string name;
  if (sheetNames_.empty() && version_ < xvExcel50) {
    // Plain BIFF2-4 files hold one worksheet and no sheet list: name it after the file.
    std::u16string_view file = workbook_.Filename;
    if (file.empty() || stream_->SourceStream()) {
      name = u"Sheet1";
    } else {
      const size_t slash = file.find_last_of(u"/\\");
      if (slash != std::u16string_view::npos) file.remove_prefix(slash + 1);
      const size_t dot = file.find_last_of(u'.');
      if (dot != std::u16string_view::npos && dot > 0) file = file.substr(0, dot);
      name = file.empty() ? u"Sheet1" : std::u16string(file);
    }
  } else {
    name = StoredSheetName(substreamCounter_);
  }
  TSheet& sheet = workbook_.Sheets().AddNamed(name);
  if (substreamCounter_ >= 0 && substreamCounter_ < static_cast<int>(sheetVisibility_.size()))
    sheet.Visibility = sheetVisibility_[static_cast<size_t>(substreamCounter_)];
  sheet.ReadFromFile = true;
  sheet_ = &sheet;
  inSheet_ = true;
  substreamOpen_ = true;
  storage_ = &sheet.Records();
  if (version_ < xvExcel50) {
    // Older files may lack the XF records the cells refer to.
    TCellFormats& formats = workbook_.CellFormats();
    while (formats.Count() <= kDefaultCellXF) formats.AddFormat();
  }
  UpdateDefault(rec_.Header.RecID, rec_.Body());
}

void TXLSReader::ReadEOF() {
  storeRaw_ = false;
  UpdateDefault(BIFFRECID_EOF, rec_.Body());
  substreamOpen_ = false;
  sharedFormulas_.clear();
  sharedByFirstCell_.clear();
  inSheet_ = false;
  if (!sheetNames_.empty() && substreamCounter_ < static_cast<int>(sheetNames_.size()) - 1) return;
  finished_ = true;
}

std::u16string TXLSReader::StoredSheetName(int counter) {
  if (counter < 0 || counter >= static_cast<int>(sheetNames_.size()))
    Raise(Format("Worksheet #%d has no BOUNDSHEET record", counter));
  const Bytes& stored = sheetNames_[static_cast<size_t>(counter)];
  if (version_ < xvExcel97)
    return Ansi(std::string_view(reinterpret_cast<const char*>(stored.data()), stored.size()));
  ByteReader r(stored, "Sheet name");
  if (!stored.empty() && stored[0] > 1) Raise("Bad excel string id.");
  const bool wide = !stored.empty() && (stored[0] & kStringWide);
  const size_t n = stored.empty() ? 0 : (stored.size() - 1) / (wide ? 2 : 1);
  return stored.empty() ? std::u16string() : ReadChars8(r, n);
}

void TXLSReader::KeepChartSheet() {
  TRawChartSheet chart;
  chart.Name = StoredSheetName(substreamCounter_);
  chart.Position = substreamCounter_;
  if (substreamCounter_ < static_cast<int>(sheetVisibility_.size()))
    chart.Visibility = sheetVisibility_[static_cast<size_t>(substreamCounter_)];
  chart.Version = version_;
  WalkSubstream([&chart](const TRecord& rec) {
    ByteWriter w;
    w.U16(rec.Header.RecID);
    w.U16(rec.Header.Length);
    w.Append(rec.Body());
    chart.Records.insert(chart.Records.end(), w.Buffer().begin(), w.Buffer().end());
  });
  workbook_.ChartSheets().push_back(std::move(chart));
}

// Reads a substream whose BOF is in rec_ up to its EOF (nested substreams included), storing its
// records raw in the current storage or dropping them.
void TXLSReader::SkipSubstream(bool keep) {
  if (!keep) return WalkSubstream([](const TRecord&) {});
  WalkSubstream([this](const TRecord& rec) { StoreRaw(rec); });
}

void TXLSReader::WalkSubstream(const std::function<void(const TRecord&)>& onRecord) {
  onRecord(rec_);
  int depth = 1;
  TRecord rec;
  rec.Data.assign(static_cast<size_t>(maxRecord_), 0);
  while (depth > 0 && NextHeader(rec.Header)) {
    ReadBody(rec);
    ++recordCount_;
    if (rec.Header.RecID >= kFirstInternalRecordId) Raise("Bad record in file");
    if (IsBOFRecordId(rec.Header.RecID)) ++depth;
    if (rec.Header.RecID == BIFFRECID_EOF) --depth;
    onRecord(rec);
  }
}

void TXLSReader::ReadBoundSheet() {
  storeRaw_ = false;
  workbook_.Globals().PlaceInternal(INTERNID_BOUNDSHEETS);
  ByteReader r(rec_.Body(), "BOUNDSHEET record");
  r.Skip(4);  // stream position
  sheetVisibility_.push_back(r.U8());
  r.Skip(1);  // sheet type
  const uint8_t n = r.U8();
  if (version_ >= xvExcel97) {
    const uint8_t option = r.U8();
    const size_t bytes = (option & kStringWide) ? 2 * size_t{n} : n;
    Bytes name{option};
    const Bytes chars = r.ReadBytes(bytes);
    name.insert(name.end(), chars.begin(), chars.end());
    sheetNames_.push_back(std::move(name));
  } else {
    sheetNames_.push_back(r.ReadBytes(n));
  }
}

void TXLSReader::ReadFilePass() {
  storeRaw_ = false;
  const auto body = rec_.Body();
  ByteReader r(body, "FILEPASS record");
  // BIFF5 and older know only the XOR obfuscation, without a type field.
  const uint16_t type = version_ >= xvExcel97 ? r.U16() : kFilePassTypeXOR;
  if (type == kFilePassTypeXOR) Raise("File encrypted with non-standard key. French?");
  if (type != kFilePassTypeRC4) Raise("Can not read file, unknown type of encryption.");
  if (!workbook_.OnPassword) Raise("File is encrypted. Password required.");
  std::u16string password;
  workbook_.OnPassword(workbook_, password);
  if (password.empty()) Raise("Password is missing.");
  if (!stream_->StartDecryption(body, password)) Raise("Invalid password");
}

// ---------------------------------------------------------------------------------------------
// Cells

void TXLSReader::ReadCell() {
  storeRaw_ = false;
  const uint16_t id = rec_.Header.RecID;
  const auto body = rec_.Body();
  ByteReader r(body, "Cell record");
  const int row = r.U16();
  const int col = r.U16();
  CheckCell(col, row);
  TSheet& sheet = Sheet();
  switch (id) {
    case BIFFRECID_MULBLANK: {
      // XF per cell, then the last column.
      if (body.size() < 8 || body.size() % 2) Raise("MULBLANK record has a bad length");
      const int count = static_cast<int>(body.size() / 2) - 3;
      CheckCell(col + count - 1, row);
      for (int k = 0; k < count; ++k) sheet.AddBlankCell(col + k, row, r.U16());
      return;
    }
    case BIFFRECID_MULRK: {
      if (body.size() < 12 || (body.size() - 6) % 6) Raise("MULRK record has a bad length");
      const int count = static_cast<int>((body.size() - 6) / 6);
      CheckCell(col + count - 1, row);
      for (int k = 0; k < count; ++k) {
        const int xf = r.U16();
        sheet.AddFloatCell(col + k, row, xf, DecodeRK(r.U32()));
      }
      return;
    }
    default:
      break;
  }
  const int xf = r.U16();
  switch (id) {
    case BIFFRECID_BLANK:
      sheet.AddBlankCell(col, row, xf);
      return;
    case BIFFRECID_NUMBER:
      sheet.AddFloatCell(col, row, xf, r.F64());
      return;
    case BIFFRECID_RK:
    case BIFFRECID_RK_30:
      sheet.AddFloatCell(col, row, xf, DecodeRK(r.U32()));
      return;
    case BIFFRECID_LABELSST:
      sheet.AddSSTCell(col, row, xf, static_cast<int>(std::min<uint32_t>(r.U32(), INT32_MAX)));
      return;
    case BIFFRECID_BOOLERR: {
      const uint8_t value = r.U8();
      const uint8_t kind = r.U8();
      if (kind)
        sheet.AddErrorCell(col, row, xf, ErrorCodeToIndex(value));
      else
        sheet.AddBooleanCell(col, row, xf, value != 0);
      return;
    }
    case BIFFRECID_LABEL:
    case BIFFRECID_RSTRING: {
      // BIFF8 writes the characters with an option byte; older files as 8-bit characters. The
      // formatting runs after RSTRING's characters are not read.
      const uint16_t n = r.U16();
      if (version_ >= xvExcel97) {
        sheet.AddTextCell(col, row, xf, n ? ReadChars8(r, n) : std::u16string());
      } else {
        r.Need(n);
        sheet.AddTextCell(col, row, xf, Ansi({reinterpret_cast<const char*>(r.Current()), n}));
      }
      return;
    }
    default:
      return;
  }
}

void TXLSReader::ReadBiff2Cell() {
  storeRaw_ = false;
  const uint16_t id = rec_.Header.RecID;
  ByteReader r(rec_.Body(), "Cell record");
  const int row = r.U16();
  const int col = r.U16();
  CheckCell(col, row);
  r.Skip(3);
  TSheet& sheet = Sheet();
  switch (id) {
    case kRecBlank2:
      sheet.AddBlankCell(col, row, kDefaultCellXF);
      return;
    case BIFFRECID_INTEGER_20:
      sheet.AddFloatCell(col, row, kDefaultCellXF, r.U16());
      return;
    case BIFFRECID_NUMBER_20:
      sheet.AddFloatCell(col, row, kDefaultCellXF, r.F64());
      return;
    case BIFFRECID_LABEL_20: {
      const uint8_t n = r.U8();
      r.Need(n);
      sheet.AddTextCell(col, row, kDefaultCellXF,
                        Ansi({reinterpret_cast<const char*>(r.Current()), n}));
      return;
    }
    case kRecBoolErr2: {
      const uint8_t value = r.U8();
      const uint8_t kind = r.U8();
      if (kind)
        sheet.AddErrorCell(col, row, kDefaultCellXF, ErrorCodeToIndex(value));
      else
        sheet.AddBooleanCell(col, row, kDefaultCellXF, value != 0);
      return;
    }
    default:
      return;
  }
}

std::u16string TXLSReader::ReadStringResult(const TRecord& rec) {
  ByteReader r(rec.Body(), "STRING record");
  if (version_ == xvExcel21) {
    const uint8_t n = r.U8();
    r.Need(n);
    return Ansi({reinterpret_cast<const char*>(r.Current()), n});
  }
  const uint16_t n = r.U16();
  if (version_ < xvExcel97) {
    r.Need(n);
    return Ansi({reinterpret_cast<const char*>(r.Current()), n});
  }
  if (n == 0) return {};
  // A long result continues in CONTINUE records, each starting with its own option byte.
  std::u16string s;
  s.reserve(n);
  ByteReader part = r;
  for (;;) {
    const uint8_t option = part.U8();
    const bool wide = option & kStringWide;
    const size_t avail = part.Remaining() / (wide ? 2 : 1);
    const size_t take = std::min<size_t>(n - s.size(), avail);
    for (size_t i = 0; i < take; ++i) s.push_back(wide ? part.U16() : part.U8());
    if (s.size() >= n) return s;
    if (!ReadNextIf({BIFFRECID_CONTINUE})) Raise("STRING record is too short");
    part = ByteReader(next_.Body(), "CONTINUE record");
  }
}

void TXLSReader::ReadFormula() {
  storeRaw_ = false;
  const bool biff8 = version_ >= xvExcel97;
  // The record buffer is shared with records read ahead; work on a copy of the body.
  Bytes body(rec_.Body().begin(), rec_.Body().end());
  ByteReader r(body, "FORMULA record");
  const int row = r.U16();
  const int col = r.U16();
  CheckCell(col, row);
  const int xf = r.U16();
  uint8_t result[8];
  r.Read(result, 8);
  const uint16_t options = r.U16();
  if (version_ >= xvExcel50) r.Skip(4);
  const uint16_t length = r.U16();
  r.Need(length);
  Bytes tokens(r.Current(), r.Current() + length);
  r.Skip(length);
  // What follows the tokens holds the values of array constants; it stays with the tokens.
  Bytes extra(r.Current(), r.Current() + r.Remaining());
  TSheet& sheet = Sheet();

  bool shared = false;
  if (length > 0 && tokens[0] == kPtgExp) {
    // The SHRFMLA follows the first cell of its block; later cells find it in the list.
    const bool announced = ReadNextIf({BIFFRECID_SHRFMLA, BIFFRECID_SHRFMLA_40});
    if (announced) ReadSharedFormula(next_);
    if (announced || (options & kFormulaShared)) {
      if (const TSharedFormula* f = FindSharedFormula(tokens, row, col)) {
        tokens = f->Tokens;
        extra = f->Extra;
        ExpandSharedFormula(biff8, tokens.data(), static_cast<int>(tokens.size()), row, col);
        shared = true;
      }
    }
  }
  if (!shared && length > 0 && tokens[0] == kPtgExp && ReadNextIf({BIFFRECID_ARRAY})) {
    sheet.AddArrayFormulaCell(col, row, xf, tokens, next_.Body(), result, extra);
    // A text result of the array's first cell follows in a STRING record.
    if (result[0] == kResultString && result[6] == 0xFF && result[7] == 0xFF &&
        ReadNextIf({BIFFRECID_STRING})) {
      if (auto* cell = static_cast<TArrayFormulaCell*>(sheet.CellAt(col, row)))
        cell->ResultText = ReadStringResult(next_);
    }
    return;
  }
  if (result[0] <= kResultEmpty && result[6] == 0xFF && result[7] == 0xFF) {
    switch (result[0]) {
      case kResultString:
        if (ReadNextIf({BIFFRECID_STRING})) {
          sheet.AddStringFormulaCell(col, row, xf, tokens, ReadStringResult(next_), extra);
        } else if (stream_->PeekRecordId() == BIFFRECID_SHRFMLA) {
          Raise("Unxepected SHRFMLA");
        }
        return;
      case kResultBoolean:
        sheet.AddBooleanFormulaCell(col, row, xf, tokens, result[2], extra);
        return;
      case kResultError:
        sheet.AddErrorFormulaCell(col, row, xf, tokens, result[2], extra);
        return;
      default:
        sheet.AddStringFormulaCell(col, row, xf, tokens, std::u16string(), extra);
        return;
    }
  }
  if (tokens.empty()) return;
  sheet.AddNumberFormulaCell(col, row, xf, tokens, GetF64(result), extra);
}

const TXLSReader::TSharedFormula* TXLSReader::FindSharedFormula(const Bytes& tokens, int row,
                                                                int col) const {
  auto contains = [&](const TSharedFormula& f) {
    return row >= f.Row1 && row <= f.Row2 && col >= f.Col1 && col <= f.Col2;
  };
  // The 0x01 token names the first cell of the block, where its SHRFMLA was read.
  if (tokens.size() >= 4) {
    const auto at = sharedByFirstCell_.find(MakeCellKey(tokens[3], GetU16(tokens.data() + 1)));
    if (at != sharedByFirstCell_.end() && contains(sharedFormulas_[at->second]))
      return &sharedFormulas_[at->second];
  }
  for (const TSharedFormula& f : sharedFormulas_)
    if (contains(f)) return &f;
  return nullptr;
}

void TXLSReader::ReadSharedFormula(const TRecord& rec) {
  ByteReader s(rec.Body(), "SHRFMLA record");
  TSharedFormula f;
  f.Row1 = s.U16();
  f.Row2 = s.U16();
  f.Col1 = s.U8();
  f.Col2 = s.U8();
  s.Skip(2);
  const uint16_t n = s.U16();
  s.Need(n);
  f.Tokens.assign(s.Current(), s.Current() + n);
  s.Skip(n);
  f.Extra.assign(s.Current(), s.Current() + s.Remaining());
  sharedByFirstCell_.emplace(MakeCellKey(f.Col1, f.Row1), sharedFormulas_.size());
  sharedFormulas_.push_back(std::move(f));
}

void TXLSReader::ReadFormula2() {
  storeRaw_ = false;
  Bytes body(rec_.Body().begin(), rec_.Body().end());
  ByteReader r(body, "FORMULA record");
  const int row = r.U16();
  const int col = r.U16();
  CheckCell(col, row);
  r.Skip(3);
  uint8_t result[8];
  r.Read(result, 8);
  r.Skip(1);  // options
  const uint8_t length = r.U8();
  r.Need(length);
  const Bytes tokens(r.Current(), r.Current() + length);
  TSheet& sheet = Sheet();
  if (result[0] <= kResultEmpty && result[6] == 0xFF && result[7] == 0xFF) {
    switch (result[0]) {
      case kResultString:
        if (ReadNextIf({BIFFRECID_STRING_20}))
          sheet.AddStringFormulaCell(col, row, kDefaultCellXF, tokens, ReadStringResult(next_));
        return;
      case kResultBoolean:
        sheet.AddBooleanFormulaCell(col, row, kDefaultCellXF, tokens, result[2]);
        return;
      case kResultError:
        sheet.AddErrorFormulaCell(col, row, kDefaultCellXF, tokens, result[2]);
        return;
      default:
        sheet.AddStringFormulaCell(col, row, kDefaultCellXF, tokens, std::u16string());
        return;
    }
  }
  if (tokens.empty()) return;
  sheet.AddNumberFormulaCell(col, row, kDefaultCellXF, tokens, GetF64(result));
}

// ---------------------------------------------------------------------------------------------
// Globals records

void TXLSReader::ReadFont() {
  const auto body = rec_.Body();
  if (version_ != xvExcel50) return ReadFontRecord(workbook_.Fonts(), body, version_);
  // BIFF5 names are in the file's code page: hand the record on in the BIFF8 form.
  ByteReader r(body, "FONT record");
  r.Skip(14);
  const uint8_t n = r.U8();
  r.Need(n);
  const std::u16string name = Ansi({reinterpret_cast<const char*>(r.Current()), n});
  ByteWriter w;
  w.Append(body.data(), 14);
  w.U8(static_cast<uint8_t>(std::min<size_t>(name.size(), 255)));
  w.U8(kStringWide);
  for (size_t i = 0; i < name.size() && i < 255; ++i) w.U16(name[i]);
  ReadFontRecord(workbook_.Fonts(), w.Buffer(), xvExcel97);
}

void TXLSReader::ReadFormat() {
  const auto body = rec_.Body();
  if (version_ >= xvExcel97)
    return ReadFormatRecord(workbook_.CellFormats().NumberFormats(), body, version_);
  ByteReader r(body, "FORMAT record");
  const uint16_t index = r.U16();
  const uint8_t n = r.U8();
  r.Need(n);
  const std::u16string text = Ansi({reinterpret_cast<const char*>(r.Current()), n});
  ByteWriter w;
  w.U16(index);
  w.U16(static_cast<uint16_t>(text.size()));
  w.U8(kStringWide);
  for (char16_t c : text) w.U16(c);
  ReadFormatRecord(workbook_.CellFormats().NumberFormats(), w.Buffer(), xvExcel97);
}

void TXLSReader::ReadWriteAccess() {
  const auto body = rec_.Body();
  Bytes out;
  if (version_ >= xvExcel97) {
    out.assign(body.begin(), body.end());
  } else if (!body.empty()) {
    // BIFF5: count u8 and 8-bit characters; bring it to count u16, option byte, characters.
    const size_t n = std::min<size_t>(body[0], body.size() - 1);
    const std::u16string name = Ansi({reinterpret_cast<const char*>(body.data() + 1), n});
    const bool wide = std::any_of(name.begin(), name.end(), [](char16_t c) { return c > 0xFF; });
    ByteWriter w;
    w.U16(static_cast<uint16_t>(name.size()));
    w.U8(wide ? kStringWide : 0);
    for (char16_t c : name) wide ? w.U16(c) : w.U8(static_cast<uint8_t>(c));
    out = std::move(w.Buffer());
  }
  if (out.size() < kWriteAccessSize) out.resize(kWriteAccessSize, ' ');
  UpdateDefault(BIFFRECID_WRITEACCESS, out);
}

// ---------------------------------------------------------------------------------------------
// Sheet records

void TXLSReader::ReadHeaderFooter() {
  TSheet& sheet = Sheet();
  sheet.Records().PlaceInternal(INTERNID_HEADERFOOTER);
  const auto body = rec_.Body();
  std::u16string text;
  if (!body.empty()) {
    ByteReader r(body, "HEADER/FOOTER record");
    if (version_ >= xvExcel97) {
      const uint16_t n = r.U16();
      text = n ? ReadChars8(r, n) : std::u16string();
    } else {
      const uint8_t n = r.U8();
      r.Need(n);
      text = Ansi({reinterpret_cast<const char*>(r.Current()), n});
    }
  }
  if (rec_.Header.RecID == BIFFRECID_HEADER)
    sheet.PrintSettings().Header = text;
  else
    sheet.PrintSettings().Footer = text;
}

void TXLSReader::ReadMargin() {
  TSheet& sheet = Sheet();
  sheet.Records().PlaceInternal(INTERNID_MARGINS);
  ByteReader r(rec_.Body(), "Margin record");
  const double v = r.F64();
  TPrintSettings& ps = sheet.PrintSettings();
  switch (rec_.Header.RecID) {
    case BIFFRECID_LEFTMARGIN:
      ps.MarginLeft = v;
      break;
    case BIFFRECID_RIGHTMARGIN:
      ps.MarginRight = v;
      break;
    case BIFFRECID_TOPMARGIN:
      ps.MarginTop = v;
      break;
    default:
      ps.MarginBottom = v;
      break;
  }
}

void TXLSReader::ReadPageBreaks() {
  TSheet& sheet = Sheet();
  sheet.Records().PlaceInternal(INTERNID_PAGEBREAKS);
  const bool horizontal = rec_.Header.RecID == BIFFRECID_HORIZONTALPAGEBREAKS;
  ByteReader r(rec_.Body(), "Page break record");
  const uint16_t count = r.U16();
  const bool biff8 = version_ >= xvExcel97;
  r.NeedArray(count, biff8 ? 6 : 2);
  TPrintSettings& ps = sheet.PrintSettings();
  for (int k = 0; k < count; ++k) {
    // The model keeps every field one below the file's value.
    const int pos = r.U16() - 1;
    const int start = biff8 ? r.U16() - 1 : -1;
    const int end = biff8 ? r.U16() - 1 : (horizontal ? kMaxCol : kMaxRow) - 1;
    if (horizontal)
      ps.HorizPagebreaks.push_back({pos, start, end});
    else
      ps.VertPagebreaks.push_back({pos, start, end});
  }
}

void TXLSReader::ReadPane() {
  TSheet& sheet = Sheet();
  sheet.Records().PlaceInternal(INTERNID_SHEETEXTRAS);
  ByteReader r(rec_.Body(), "PANE record");
  TPane& pane = sheet.Pane();
  pane.SplitColX = r.U16();
  pane.SplitRowY = r.U16();
  pane.TopRow = r.U16();
  pane.LeftCol = r.U16();
  pane.SetActivePane(std::min<uint8_t>(r.U8(), 3));
  if (pane.PaneType == ptNone) pane.PaneType = ptSplit;
  while (ReadNextIf({BIFFRECID_SELECTION}))
    pane.Selections.emplace_back(next_.Body().begin(), next_.Body().end());
}

void TXLSReader::ReadWindow2() {
  Bytes body(rec_.Body().begin(), rec_.Body().end());
  if (version_ < xvExcel97 && body.size() < kWindow2Size8) body.resize(kWindow2Size8, 0);
  UpdateDefault(BIFFRECID_WINDOW2, body);
}

void TXLSReader::ReadDimensions() {
  const auto body = rec_.Body();
  ByteReader r(body, "DIMENSIONS record");
  uint32_t row1, row2;
  if (version_ >= xvExcel97) {
    row1 = r.U32();
    row2 = r.U32();
  } else {
    // BIFF2-7 keep the rows in 16 bits.
    row1 = r.U16();
    row2 = r.U16();
  }
  const uint16_t col1 = r.U16();
  const uint16_t col2 = r.U16();
  ByteWriter w;
  w.U32(row1);
  w.U32(row2);
  w.U16(col1);
  w.U16(col2);
  w.U16(0);
  UpdateDefault(BIFFRECID_DIMENSIONS, w.Buffer());
}

}  // namespace xls
