#include "biff/record_storage.h"

#include <algorithm>

#include "biff/biff_recs.h"
#include "platform/codec.h"
#include "platform/error.h"

namespace xls {

namespace {

struct TDefaultRecord {
  uint16_t id;
  Bytes body;
};

Bytes Word(uint16_t v) {
  return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)};
}

Bytes Words(std::initializer_list<uint16_t> values) {
  ByteWriter w;
  for (uint16_t v : values) w.U16(v);
  return w.Buffer();
}

// BIFF8 BOF: version 0x0600, substream type, build 6319, year 1997, history flags 0x000080C9,
// lowest version 0x00000106.
Bytes Biff8Bof(uint16_t substreamType) {
  ByteWriter w;
  w.U16(0x0600);
  w.U16(substreamType);
  w.U16(6319);
  w.U16(1997);
  w.U32(0x000080C9);
  w.U32(0x00000106);
  return w.Buffer();
}

// WRITEACCESS: a 3-byte string header and the user name, padded with spaces to 112 bytes.
constexpr size_t kWriteAccessSize = 112;
constexpr size_t kWriteAccessHeader = 3;
constexpr size_t kWriteAccessChars = kWriteAccessSize - kWriteAccessHeader;  // 109

Bytes EmptyWriteAccess() {
  Bytes b(kWriteAccessSize, ' ');
  b[0] = b[1] = b[2] = 0;
  return b;
}

// Globals defaults, in the order they are written. Slot i is default i.
enum TGlobalsSlot {
  gsBOF,
  gsWRITEACCESS,
  gsCODEPAGE,
  gsDSF,
  gsTABID,
  gsFNGROUPCOUNT,
  gsWINDOWPROTECT,
  gsPROTECT,
  gsPASSWORD,
  gsPROT4REV,
  gsWINDOW1,
  gsBACKUP,
  gsHIDEOBJ,
  gsDATE1904,
  gsPRECISION,
  gsREFRESHALL,
  gsBOOKBOOL,
  gsFORMATS,
  gsBOUNDSHEETS,
  gsCOUNTRY,
  gsRECALCID,
  gsNAMES,
  gsMSODRAWINGGROUP,
  gsSST,
  gsEOF,
  gsCount
};

constexpr uint16_t kCodePageUTF16 = 1200;

const std::vector<TDefaultRecord>& GlobalsDefaults() {
  static const std::vector<TDefaultRecord> defaults = {
      {BIFFRECID_BOF, Biff8Bof(BOFTYPE_GLOBALS)},
      {BIFFRECID_WRITEACCESS, EmptyWriteAccess()},
      {BIFFRECID_CODEPAGE, Word(kCodePageUTF16)},
      {BIFFRECID_DSF, Word(0)},
      {BIFFRECID_TABID, {}},
      {BIFFRECID_FNGROUPCOUNT, Word(14)},
      {BIFFRECID_WINDOWPROTECT, Word(0)},
      {BIFFRECID_PROTECT, Word(0)},
      {BIFFRECID_PASSWORD, Word(0)},
      {BIFFRECID_PROT4REV, Word(0)},
      // left, top, width, height, options, selected tab, first tab, selected tabs, tab ratio
      {BIFFRECID_WINDOW1, Words({100, 100, 10000, 7000, 0x0038, 0, 0, 1, 600})},
      {BIFFRECID_BACKUP, Word(0)},
      {BIFFRECID_HIDEOBJ, Word(0)},
      {BIFFRECID_DATE1904, Word(0)},
      {BIFFRECID_PRECISION, Word(1)},
      {BIFFRECID_REFRESHALL, Word(0)},
      {BIFFRECID_BOOKBOOL, Word(0)},
      {INTERNID_FORMATS, {}},
      {INTERNID_BOUNDSHEETS, {}},
      {BIFFRECID_COUNTRY, Words({1, 46})},
      {BIFFRECID_RECALCID, {0xC1, 0x01, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0x00}},
      {INTERNID_NAMES, {}},
      {INTERNID_MSODRAWINGGROUP, {}},
      {INTERNID_SST, {}},
      {BIFFRECID_EOF, {}},
  };
  return defaults;
}

enum TSheetSlot {
  ssBOF,
  ssCALCMODE,
  ssCALCCOUNT,
  ssREFMODE,
  ssITERATION,
  ssDELTA,
  ssSAVERECALC,
  ssPRINTGRIDLINES,
  ssPRINTHEADERS,
  ssGRIDSET,
  ssGUTS,
  ssDEFAULTROWHEIGHT,
  ssWSBOOL,
  ssPAGEBREAKS,
  ssHEADERFOOTER,
  ssMARGINS,
  ssHCENTER,
  ssVCENTER,
  ssSETUP,
  ssPROTECT,
  ssDEFCOLWIDTH,
  ssCOLINFO,
  ssCELLS,
  ssDIMENSIONS,
  ssSHEETEXTRAS,
  ssWINDOW2,
  ssSELECTION,
  ssEOF,
  ssCount
};

Bytes DefaultDelta() {
  Bytes b(8);
  PutF64(b.data(), 0.001);
  return b;
}

Bytes DefaultSetup() {
  ByteWriter w;
  // paper, scale, start page, fit width, fit height, options, resolution, vertical resolution
  for (uint16_t v : {0, 100, 1, 1, 1, 0x06B6, 0, 0}) w.U16(v);
  w.F64(0.5);  // header margin
  w.F64(0.5);  // footer margin
  w.U16(0);    // copies
  return w.Buffer();
}

Bytes DefaultWindow2() {
  ByteWriter w;
  // options, top row, left column, header colour, reserved, page-break and normal magnification
  for (uint16_t v : {0x04B6, 0, 0, 64, 0, 0, 0}) w.U16(v);
  w.U32(0);
  return w.Buffer();
}

// Pane 3, active cell row 1 column 1, active reference 0, one reference covering that cell.
Bytes DefaultSelection() {
  return {0x03, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x01, 0x00, 0x01, 0x01};
}

const std::vector<TDefaultRecord>& SheetDefaults() {
  static const std::vector<TDefaultRecord> defaults = {
      {BIFFRECID_BOF, Biff8Bof(BOFTYPE_WORKSHEET)},
      {BIFFRECID_CALCMODE, Word(1)},
      {BIFFRECID_CALCCOUNT, Word(100)},
      {BIFFRECID_REFMODE, Word(1)},
      {BIFFRECID_ITERATION, Word(0)},
      {BIFFRECID_DELTA, DefaultDelta()},
      {BIFFRECID_SAVERECALC, Word(1)},
      {BIFFRECID_PRINTGRIDLINES, Word(0)},
      {BIFFRECID_PRINTHEADERS, Word(0)},
      {BIFFRECID_GRIDSET, Word(1)},
      {BIFFRECID_GUTS, Bytes(8, 0)},
      {BIFFRECID_DEFAULTROWHEIGHT, Words({0, 255})},
      {BIFFRECID_WSBOOL, Word(0x04C1)},
      {INTERNID_PAGEBREAKS, {}},
      {INTERNID_HEADERFOOTER, {}},
      {INTERNID_MARGINS, {}},
      {BIFFRECID_HCENTER, Word(0)},
      {BIFFRECID_VCENTER, Word(0)},
      {BIFFRECID_SETUP, DefaultSetup()},
      {BIFFRECID_PROTECT, Word(0)},
      {BIFFRECID_DEFCOLWIDTH, Word(8)},
      {INTERNID_COLINFO, {}},
      {INTERNID_CELLS, {}},
      {BIFFRECID_DIMENSIONS, Bytes(14, 0)},
      {INTERNID_SHEETEXTRAS, {}},
      {BIFFRECID_WINDOW2, DefaultWindow2()},
      {BIFFRECID_SELECTION, DefaultSelection()},
      {BIFFRECID_EOF, {}},
  };
  return defaults;
}

int FindSlot(const std::vector<TDefaultRecord>& defaults, uint16_t recId) {
  if (HasBOFLowByte(recId)) recId = BIFFRECID_BOF;
  for (size_t k = 0; k < defaults.size(); ++k)
    if (defaults[k].id == recId) return static_cast<int>(k);
  return -1;
}

bool IsInternalId(uint16_t recId) {
  return recId >= kFirstInternalRecordId;
}

}  // namespace

// TBaseRecordStorage

void TBaseRecordStorage::AddRaw(const TBIFFHeader& header, std::span<const uint8_t> body) {
  if (body.size() < header.Length)
    Raise(Format("Record %.4X: body of %zu bytes is shorter than its length %u", header.RecID,
                 body.size(), static_cast<unsigned>(header.Length)));
  AddRaw(header.RecID, body.first(header.Length));
}

void TBaseRecordStorage::AddRaw(uint16_t recId, std::span<const uint8_t> body) {
  if (body.size() > UINT16_MAX) Raise(Format("Record %.4X is too long", recId));
  auto rec = std::make_unique<TStoredRecord>();
  rec->RecID = recId;
  rec->Data.assign(body.begin(), body.end());
  Append(std::move(rec));
}

TStoredRecord& TBaseRecordStorage::Items(int index) const {
  if (index < 0 || index >= Count())
    Raise(Format("Record storage index %d out of range (%d records)", index, Count()));
  return *items_[static_cast<size_t>(index)];
}

void TBaseRecordStorage::WriteItem(int index, TXLSStream& stream) const {
  const TStoredRecord& rec = Items(index);
  uint8_t header[kRecordHeaderSize];
  PutU16(header, rec.RecID);
  PutU16(header + 2, rec.Length());
  stream.Write(header, kRecordHeaderSize);
  stream.Write(rec.Data);
}

void TBaseRecordStorage::WriteAll(TXLSStream& stream) const {
  for (int k = 0; k < Count(); ++k) WriteItem(k, stream);
}

int64_t TBaseRecordStorage::TotalSize() const {
  int64_t total = 0;
  for (const auto& rec : items_) total += rec->Length() + kRecordHeaderSize;
  return total;
}

void TBaseRecordStorage::CopyTo(TBaseRecordStorage& dest) const {
  for (const auto& rec : items_) dest.AddRaw(rec->RecID, rec->Data);
}

void TBaseRecordStorage::Clear() {
  items_.clear();
}

TStoredRecord* TBaseRecordStorage::Append(std::unique_ptr<TStoredRecord> record) {
  record->Position = static_cast<int32_t>(items_.size());
  items_.push_back(std::move(record));
  return items_.back().get();
}

std::unique_ptr<TStoredRecord> TBaseRecordStorage::Remove(const TStoredRecord* record) {
  auto it =
      std::find_if(items_.begin(), items_.end(), [&](const auto& p) { return p.get() == record; });
  if (it == items_.end()) return nullptr;
  std::unique_ptr<TStoredRecord> out = std::move(*it);
  it = items_.erase(it);
  for (; it != items_.end(); ++it) --(*it)->Position;
  out->Position = -1;
  return out;
}

// TRecordStorageDefault

void TRecordStorageDefault::Clear() {
  TBaseRecordStorage::Clear();
  defaults_.clear();
  std::fill(slots_.begin(), slots_.end(), nullptr);
}

TStoredRecord& TRecordStorageDefault::AddDefault(uint16_t recId, int length) {
  auto rec = std::make_unique<TStoredRecord>();
  rec->RecID = recId;
  rec->Data.assign(static_cast<size_t>(std::clamp(length, 0, int{UINT16_MAX})), 0);
  defaults_.push_back(std::move(rec));
  TStoredRecord* p = defaults_.back().get();
  if (slots_.size() < defaults_.size()) slots_.resize(defaults_.size(), nullptr);
  slots_[defaults_.size() - 1] = p;
  return *p;
}

TStoredRecord& TRecordStorageDefault::AddDefaultWord(uint16_t recId, uint16_t value) {
  TStoredRecord& rec = AddDefault(recId, 2);
  PutU16(rec.Data.data(), value);
  return rec;
}

const TStoredRecord* TRecordStorageDefault::Defaults(int index) const {
  if (index < 0 || index >= DefaultCount()) return nullptr;
  return defaults_[static_cast<size_t>(index)].get();
}

void TRecordStorageDefault::MoveDefaultsToList() {
  std::vector<std::unique_ptr<TStoredRecord>> list;
  for (size_t k = 0; k < slots_.size(); ++k) {
    TStoredRecord* current = slots_[k];
    if (!current) continue;
    if (k < defaults_.size() && defaults_[k].get() == current)
      list.push_back(std::move(defaults_[k]));
    else if (auto taken = Remove(current))
      list.push_back(std::move(taken));
  }
  TBaseRecordStorage::Clear();
  for (auto& d : defaults_) d.reset();
  for (auto& rec : list) Append(std::move(rec));
}

TStoredRecord& TRecordStorageDefault::Slot(int slot) const {
  if (slot < 0 || static_cast<size_t>(slot) >= slots_.size() || !slots_[static_cast<size_t>(slot)])
    Raise("[int] Record storage has no default records");
  return *slots_[static_cast<size_t>(slot)];
}

void TRecordStorageDefault::Rebind(TStoredRecord* record, const char* unknownMessage) {
  const int slot = record ? SlotOf(record->RecID) : -1;
  if (slot < 0 || static_cast<size_t>(slot) >= slots_.size())
    Raise(Format(unknownMessage, record ? record->RecID : 0));
  slots_[static_cast<size_t>(slot)] = record;
}

void TRecordStorageDefault::FillBackwards(int slot) {
  // Only a default still waiting in the default list pulls the skipped defaults before it.
  const size_t n = static_cast<size_t>(slot);
  if (n >= defaults_.size() || !defaults_[n] || defaults_[n].get() != slots_[n]) return;
  for (size_t k = n; k-- > 0;) {
    if (!defaults_[k]) break;
    TStoredRecord* placed = Append(std::move(defaults_[k]));
    RebindDefault(placed);
  }
}

void TRecordStorageDefault::UpdateDefault(const TBIFFHeader& header,
                                          std::span<const uint8_t> body) {
  const int slot = SlotOf(header.RecID);
  if (slot < 0 || IsInternalId(header.RecID))
    Raise(Format("[int] Unknown default record %.4X", header.RecID));
  if (body.size() < header.Length)
    Raise(Format("Record %.4X: body of %zu bytes is shorter than its length %u", header.RecID,
                 body.size(), static_cast<unsigned>(header.Length)));
  FillBackwards(slot);

  const size_t n = static_cast<size_t>(slot);
  if (n >= slots_.size()) Raise("[int] Record storage has no default records");
  TStoredRecord* old = slots_[n];
  auto rec = std::make_unique<TStoredRecord>();
  // Every BOF takes the slot's id: the substream is written in the BIFF5/8 form.
  rec->RecID = HasBOFLowByte(header.RecID) ? BIFFRECID_BOF : header.RecID;
  rec->Data.assign(body.begin(), body.begin() + header.Length);
  // Free the block it replaces, wherever it is.
  if (n < defaults_.size() && defaults_[n].get() == old)
    defaults_[n].reset();
  else if (old)
    Remove(old);
  slots_[n] = Append(std::move(rec));
}

void TRecordStorageDefault::PlaceInternal(uint16_t recId) {
  const int slot = SlotOf(recId);
  if (slot < 0 || !IsInternalId(recId))
    Raise(Format("[int] Unknown int. default record %.4X", recId));
  const size_t n = static_cast<size_t>(slot);
  if (n >= defaults_.size() || !defaults_[n] || defaults_[n].get() != slots_[n])
    return;  // placed before
  FillBackwards(slot);
  slots_[n] = Append(std::move(defaults_[n]));
}

uint16_t TRecordStorageDefault::GetWord(int slot) const {
  return Slot(slot).U16At(0);
}

void TRecordStorageDefault::SetWord(int slot, uint16_t value) {
  Slot(slot).SetU16At(0, value);
}

// TRecordStorageGlobals

TRecordStorageGlobals::TRecordStorageGlobals() {
  SetDefaultData();
}

void TRecordStorageGlobals::SetDefaultData() {
  Clear();
  for (const TDefaultRecord& d : GlobalsDefaults()) {
    TStoredRecord& rec = AddDefault(d.id, 0);
    rec.Data = d.body;
  }
}

int TRecordStorageGlobals::SlotOf(uint16_t recId) const {
  return FindSlot(GlobalsDefaults(), recId);
}

void TRecordStorageGlobals::RebindDefault(TStoredRecord* record) {
  Rebind(record, "[int] Unknown move default record %.4X");
}

TStoredRecord& TRecordStorageGlobals::BOF() const {
  return Slot(gsBOF);
}
TStoredRecord& TRecordStorageGlobals::WINDOW1() const {
  return Slot(gsWINDOW1);
}
TStoredRecord& TRecordStorageGlobals::COUNTRY() const {
  return Slot(gsCOUNTRY);
}
TStoredRecord& TRecordStorageGlobals::RECALCID() const {
  return Slot(gsRECALCID);
}

std::u16string TRecordStorageGlobals::WRITEACCESS() const {
  const Bytes& b = Slot(gsWRITEACCESS).Data;
  std::u16string name;
  if (b.size() > kWriteAccessHeader) {
    const size_t avail = b.size() - kWriteAccessHeader;
    const uint8_t* chars = b.data() + kWriteAccessHeader;
    if (b[2] & 0x01) {
      // 16-bit characters: as many as the count says and the body holds.
      const size_t count = std::min<size_t>(GetU16(b.data()), avail / 2);
      for (size_t k = 0; k < count; ++k) name += static_cast<char16_t>(GetU16(chars + 2 * k));
    } else {
      const size_t count = std::min(avail, kWriteAccessChars);
      name = Latin1ToUtf16(std::string_view(reinterpret_cast<const char*>(chars), count));
    }
  }
  auto blank = [](char16_t c) { return c <= u' '; };
  const auto first = std::find_if_not(name.begin(), name.end(), blank);
  const auto last = std::find_if_not(name.rbegin(), name.rend(), blank).base();
  return first < last ? std::u16string(first, last) : std::u16string();
}

void TRecordStorageGlobals::SetWRITEACCESS(std::u16string_view userName) {
  Bytes b(kWriteAccessSize, ' ');
  const bool wide =
      std::any_of(userName.begin(), userName.end(), [](char16_t c) { return c > 0xFF; });
  // A name that does not fit in 8-bit characters is stored in 16-bit characters.
  const size_t maxChars = wide ? kWriteAccessChars / 2 : kWriteAccessChars;
  userName = userName.substr(0, std::min(userName.size(), maxChars));
  b[0] = static_cast<uint8_t>(userName.size());
  b[1] = 0;
  b[2] = wide ? 1 : 0;
  for (size_t k = 0; k < userName.size(); ++k) {
    if (wide)
      PutU16(b.data() + kWriteAccessHeader + 2 * k, userName[k]);
    else
      b[kWriteAccessHeader + k] = static_cast<uint8_t>(userName[k]);
  }
  Slot(gsWRITEACCESS).Data = std::move(b);
}

bool TRecordStorageGlobals::BACKUP() const {
  return GetBool(gsBACKUP);
}
void TRecordStorageGlobals::SetBACKUP(bool value) {
  SetBool(gsBACKUP, value);
}
bool TRecordStorageGlobals::BOOKBOOL() const {
  return GetBool(gsBOOKBOOL);
}
void TRecordStorageGlobals::SetBOOKBOOL(bool value) {
  SetBool(gsBOOKBOOL, value);
}
bool TRecordStorageGlobals::PRECISION() const {
  return GetBool(gsPRECISION);
}
void TRecordStorageGlobals::SetPRECISION(bool value) {
  SetBool(gsPRECISION, value);
}
bool TRecordStorageGlobals::REFRESHALL() const {
  return GetBool(gsREFRESHALL);
}
void TRecordStorageGlobals::SetREFRESHALL(bool value) {
  SetBool(gsREFRESHALL, value);
}
bool TRecordStorageGlobals::WINDOWPROTECT() const {
  return GetBool(gsWINDOWPROTECT);
}
void TRecordStorageGlobals::SetWINDOWPROTECT(bool value) {
  SetBool(gsWINDOWPROTECT, value);
}
uint16_t TRecordStorageGlobals::HIDEOBJ() const {
  return GetWord(gsHIDEOBJ);
}
void TRecordStorageGlobals::SetHIDEOBJ(uint16_t value) {
  SetWord(gsHIDEOBJ, value);
}

// TRecordStorageSheet

TRecordStorageSheet::TRecordStorageSheet() {
  SetDefaultData();
}

void TRecordStorageSheet::SetDefaultData() {
  Clear();
  for (const TDefaultRecord& d : SheetDefaults()) {
    TStoredRecord& rec = AddDefault(d.id, 0);
    rec.Data = d.body;
  }
}

int TRecordStorageSheet::SlotOf(uint16_t recId) const {
  return FindSlot(SheetDefaults(), recId);
}

void TRecordStorageSheet::RebindDefault(TStoredRecord* record) {
  Rebind(record, "[int] Unknown move default record %.4X");
}

TStoredRecord& TRecordStorageSheet::BOF() const {
  return Slot(ssBOF);
}
TStoredRecord& TRecordStorageSheet::GUTS() const {
  return Slot(ssGUTS);
}
TStoredRecord& TRecordStorageSheet::DEFAULTROWHEIGHT() const {
  return Slot(ssDEFAULTROWHEIGHT);
}
TStoredRecord& TRecordStorageSheet::SETUP() const {
  return Slot(ssSETUP);
}
TStoredRecord& TRecordStorageSheet::DIMENSIONS() const {
  return Slot(ssDIMENSIONS);
}
TStoredRecord& TRecordStorageSheet::WINDOW2() const {
  return Slot(ssWINDOW2);
}
TStoredRecord& TRecordStorageSheet::SELECTION() const {
  return Slot(ssSELECTION);
}

uint16_t TRecordStorageSheet::CALCMODE() const {
  return GetWord(ssCALCMODE);
}
void TRecordStorageSheet::SetCALCMODE(uint16_t value) {
  SetWord(ssCALCMODE, value);
}
uint16_t TRecordStorageSheet::CALCCOUNT() const {
  return GetWord(ssCALCCOUNT);
}
void TRecordStorageSheet::SetCALCCOUNT(uint16_t value) {
  SetWord(ssCALCCOUNT, value);
}
uint16_t TRecordStorageSheet::REFMODE() const {
  return GetWord(ssREFMODE);
}
void TRecordStorageSheet::SetREFMODE(uint16_t value) {
  SetWord(ssREFMODE, value);
}
uint16_t TRecordStorageSheet::WSBOOL() const {
  return GetWord(ssWSBOOL);
}
void TRecordStorageSheet::SetWSBOOL(uint16_t value) {
  SetWord(ssWSBOOL, value);
}
uint16_t TRecordStorageSheet::DEFCOLWIDTH() const {
  return GetWord(ssDEFCOLWIDTH);
}
void TRecordStorageSheet::SetDEFCOLWIDTH(uint16_t value) {
  SetWord(ssDEFCOLWIDTH, value);
}
bool TRecordStorageSheet::ITERATION() const {
  return GetBool(ssITERATION);
}
void TRecordStorageSheet::SetITERATION(bool value) {
  SetBool(ssITERATION, value);
}
bool TRecordStorageSheet::SAVERECALC() const {
  return GetBool(ssSAVERECALC);
}
void TRecordStorageSheet::SetSAVERECALC(bool value) {
  SetBool(ssSAVERECALC, value);
}
bool TRecordStorageSheet::PRINTGRIDLINES() const {
  return GetBool(ssPRINTGRIDLINES);
}
void TRecordStorageSheet::SetPRINTGRIDLINES(bool value) {
  SetBool(ssPRINTGRIDLINES, value);
}
bool TRecordStorageSheet::PRINTHEADERS() const {
  return GetBool(ssPRINTHEADERS);
}
void TRecordStorageSheet::SetPRINTHEADERS(bool value) {
  SetBool(ssPRINTHEADERS, value);
}
bool TRecordStorageSheet::HCENTER() const {
  return GetBool(ssHCENTER);
}
void TRecordStorageSheet::SetHCENTER(bool value) {
  SetBool(ssHCENTER, value);
}
bool TRecordStorageSheet::VCENTER() const {
  return GetBool(ssVCENTER);
}
void TRecordStorageSheet::SetVCENTER(bool value) {
  SetBool(ssVCENTER, value);
}

double TRecordStorageSheet::DELTA() const {
  return Slot(ssDELTA).F64At(0);
}

void TRecordStorageSheet::SetDELTA(double value) {
  Slot(ssDELTA).SetF64At(0, value);
}

}  // namespace xls
