// Record storages: the ordered records of a globals or worksheet substream that the model does not
// produce itself.
//
// A storage is also the template of its substream. It starts with a list of default records in
// the order they are written: real records with default bodies (BOF, WINDOW1, SETUP, WINDOW2 and
// so on, whose bodies also carry workbook and sheet options) and placeholders (ids 0x8001-0x8005
// and 0x8101-0x8106) that stand for the records the model writes. Reading fills the main list in
// file order: a record that has a default replaces it (UpdateDefault), the first record of a group
// the model consumes places its placeholder (PlaceInternal), anything else is appended raw
// (AddRaw). Defaults the file lacks are placed before the next default the file has.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "biff/xls_stream.h"
#include "platform/bytes.h"

namespace xls {

// One stored record: id, body and its index in the main list (-1 while not in it).
struct TStoredRecord {
  uint16_t RecID = 0;
  int32_t Position = -1;
  Bytes Data;

  uint16_t Length() const { return static_cast<uint16_t>(Data.size()); }

  // Fields of the body. A body read from a damaged file may be shorter than its layout: missing
  // bytes read as 0, and a write extends the body.
  uint16_t U16At(size_t offset) const {
    return offset + 2 <= Data.size() ? GetU16(Data.data() + offset) : 0;
  }
  uint32_t U32At(size_t offset) const {
    return offset + 4 <= Data.size() ? GetU32(Data.data() + offset) : 0;
  }
  double F64At(size_t offset) const {
    return offset + 8 <= Data.size() ? GetF64(Data.data() + offset) : 0.0;
  }
  void SetU16At(size_t offset, uint16_t v) { PutU16(Extend(offset + 2) + offset, v); }
  void SetU32At(size_t offset, uint32_t v) { PutU32(Extend(offset + 4) + offset, v); }
  void SetF64At(size_t offset, double v) { PutF64(Extend(offset + 8) + offset, v); }

 private:
  uint8_t* Extend(size_t size) {
    if (Data.size() < size) Data.resize(size, 0);
    return Data.data();
  }
};

// An owning list of stored records.
class TBaseRecordStorage {
 public:
  TBaseRecordStorage() = default;
  virtual ~TBaseRecordStorage() = default;
  TBaseRecordStorage(const TBaseRecordStorage&) = delete;
  TBaseRecordStorage& operator=(const TBaseRecordStorage&) = delete;

  // Appends a copy of the record (header.Length bytes of body).
  void AddRaw(const TBIFFHeader& header, std::span<const uint8_t> body);
  void AddRaw(uint16_t recId, std::span<const uint8_t> body);

  int Count() const { return static_cast<int>(items_.size()); }
  // Raises on an index outside the list.
  TStoredRecord& Items(int index) const;

  // Header and body through counted writes.
  void WriteItem(int index, TXLSStream& stream) const;
  void WriteAll(TXLSStream& stream) const;
  // The sum of body length + 4 over all records.
  int64_t TotalSize() const;
  // Appends copies of all records to dest.
  void CopyTo(TBaseRecordStorage& dest) const;
  virtual void Clear();

 protected:
  // Appends a record, taking ownership, and records its position.
  TStoredRecord* Append(std::unique_ptr<TStoredRecord> record);
  // Takes a record out of the list; the positions of the records after it move up.
  std::unique_ptr<TStoredRecord> Remove(const TStoredRecord* record);

  std::vector<std::unique_ptr<TStoredRecord>> items_;
};

class TRecordStorage : public TBaseRecordStorage {
 public:
  // Rebuilds the default records (and empties the main list).
  virtual void SetDefaultData() = 0;
  virtual bool IsSheetStorage() const = 0;
  // A record read from a file that has a default: replaces the default, placing the defaults that
  // the file skipped before it. Raises "[int] Unknown default record %.4X" for other ids.
  virtual void UpdateDefault(const TBIFFHeader& header, std::span<const uint8_t> body) = 0;
  // Places a placeholder (once). Raises "[int] Unknown int. default record %.4X" for other ids.
  virtual void PlaceInternal(uint16_t recId) = 0;
};

class TRecordStorageDefault : public TRecordStorage {
 public:
  void Clear() override;

  // Appends a zero-filled default of the given body length to the default list.
  TStoredRecord& AddDefault(uint16_t recId, int length);
  TStoredRecord& AddDefaultWord(uint16_t recId, uint16_t value);
  // Makes the main list the complete default sequence, in default order: every default record
  // in its current form (as changed through the accessors or replaced by a read). Raw records are
  // dropped. Used for a workbook or sheet that was not read from a file; calling it again gives
  // the same list.
  void MoveDefaultsToList();

  // Points the slot of the record's id at the record. Raises "[int] Unknown move default record
  // %.4X" for an id without a slot.
  virtual void RebindDefault(TStoredRecord* record) = 0;

  void UpdateDefault(const TBIFFHeader& header, std::span<const uint8_t> body) override;
  void PlaceInternal(uint16_t recId) override;

  // The default list: entries moved into the main list are empty (nullptr).
  int DefaultCount() const { return static_cast<int>(defaults_.size()); }
  const TStoredRecord* Defaults(int index) const;

 protected:
  // The slot of an id, or -1. Slot i belongs to default i; a BOF id of any version maps to the
  // BOF slot.
  virtual int SlotOf(uint16_t recId) const = 0;
  // The current record of a slot; raises when the defaults were cleared.
  TStoredRecord& Slot(int slot) const;
  void Rebind(TStoredRecord* record, const char* unknownMessage);

  // Typed access to the body of a default record. A body shorter than the value (from a damaged
  // file) reads as 0 and is extended on writing.
  uint16_t GetWord(int slot) const;
  void SetWord(int slot, uint16_t value);
  bool GetBool(int slot) const { return GetWord(slot) == 1; }
  void SetBool(int slot, bool value) { SetWord(slot, value ? 1 : 0); }

 private:
  void FillBackwards(int slot);

  std::vector<std::unique_ptr<TStoredRecord>> defaults_;
  std::vector<TStoredRecord*> slots_;
};

// The records of the workbook globals substream.
class TRecordStorageGlobals : public TRecordStorageDefault {
 public:
  TRecordStorageGlobals();

  void SetDefaultData() override;
  bool IsSheetStorage() const override { return false; }
  void RebindDefault(TStoredRecord* record) override;

  TStoredRecord& BOF() const;
  TStoredRecord& WINDOW1() const;
  TStoredRecord& COUNTRY() const;
  TStoredRecord& RECALCID() const;
  // The user name of WRITEACCESS, without surrounding spaces and control characters.
  std::u16string WRITEACCESS() const;
  void SetWRITEACCESS(std::u16string_view userName);
  bool BACKUP() const;
  void SetBACKUP(bool value);
  bool BOOKBOOL() const;
  void SetBOOKBOOL(bool value);
  bool PRECISION() const;
  void SetPRECISION(bool value);
  bool REFRESHALL() const;
  void SetREFRESHALL(bool value);
  bool WINDOWPROTECT() const;
  void SetWINDOWPROTECT(bool value);
  uint16_t HIDEOBJ() const;
  void SetHIDEOBJ(uint16_t value);

 protected:
  int SlotOf(uint16_t recId) const override;
};

// The records of one worksheet substream.
class TRecordStorageSheet : public TRecordStorageDefault {
 public:
  TRecordStorageSheet();

  void SetDefaultData() override;
  bool IsSheetStorage() const override { return true; }
  void RebindDefault(TStoredRecord* record) override;

  TStoredRecord& BOF() const;
  TStoredRecord& GUTS() const;
  TStoredRecord& DEFAULTROWHEIGHT() const;
  TStoredRecord& SETUP() const;
  TStoredRecord& DIMENSIONS() const;
  TStoredRecord& WINDOW2() const;
  TStoredRecord& SELECTION() const;
  uint16_t CALCMODE() const;
  void SetCALCMODE(uint16_t value);
  uint16_t CALCCOUNT() const;
  void SetCALCCOUNT(uint16_t value);
  uint16_t REFMODE() const;
  void SetREFMODE(uint16_t value);
  uint16_t WSBOOL() const;
  void SetWSBOOL(uint16_t value);
  uint16_t DEFCOLWIDTH() const;
  void SetDEFCOLWIDTH(uint16_t value);
  bool ITERATION() const;
  void SetITERATION(bool value);
  bool SAVERECALC() const;
  void SetSAVERECALC(bool value);
  bool PRINTGRIDLINES() const;
  void SetPRINTGRIDLINES(bool value);
  bool PRINTHEADERS() const;
  void SetPRINTHEADERS(bool value);
  bool HCENTER() const;
  void SetHCENTER(bool value);
  bool VCENTER() const;
  void SetVCENTER(bool value);
  // A body shorter than 8 bytes reads as 0.
  double DELTA() const;
  void SetDELTA(double value);

 protected:
  int SlotOf(uint16_t recId) const override;
};

}  // namespace xls
