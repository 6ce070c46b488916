// TXLSReader: reads a workbook file (BIFF5/7 or BIFF8 in a compound file, or a plain BIFF2-4
// file) into a TXLSWorkbook, one record at a time in file order.
#pragma once

#include <functional>

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "biff/excel_version.h"
#include "biff/xls_stream.h"
#include "platform/bytes.h"

namespace xls {

class TXLSWorkbook;
class TSheet;
class TRecordStorage;

class TXLSReader {
 public:
  explicit TXLSReader(TXLSWorkbook& workbook);
  ~TXLSReader();
  TXLSReader(const TXLSReader&) = delete;
  TXLSReader& operator=(const TXLSReader&) = delete;

  // Reads from the source stream, or from the workbook's Filename when there is none.
  void ReadWorkbook(TByteStream* source);

 private:
  // One SHRFMLA of the current sheet: its cell block and its token stream.
  struct TSharedFormula {
    uint16_t Row1 = 0, Row2 = 0;
    uint8_t Col1 = 0, Col2 = 0;
    Bytes Tokens;
    Bytes Extra;  // array constants after the tokens
  };
  // The body of a record: the current one, or one read ahead (SHRFMLA, ARRAY, STRING ...).
  struct TRecord {
    TBIFFHeader Header;
    Bytes Data;  // capacity of the maximum record body; only Length bytes are valid
    std::span<const uint8_t> Body() const { return {Data.data(), Header.Length}; }
  };

  void ReadRecords();
  // Reads the header of the next record; false at the end of the stream. Over-long records are
  // skipped here.
  bool NextHeader(TBIFFHeader& header);
  // Reads the body of the record whose header was just read into rec (decrypting as the record
  // kind asks).
  void ReadBody(TRecord& rec);
  // When the next record has one of the ids, reads it into next_ and returns true.
  bool ReadNextIf(std::initializer_list<uint16_t> ids);
  void Dispatch();
  void Progress();

  void StoreRaw(const TRecord& rec);
  void UpdateDefault(uint16_t id, std::span<const uint8_t> body);

  // Substreams.
  void ReadBOF();
  void ReadEOF();
  void SkipSubstream(bool keep);
  // Hands every record from the BOF in rec_ to its EOF (nested substreams included) to onRecord.
  void WalkSubstream(const std::function<void(const TRecord&)>& onRecord);
  // A chart sheet's substream, kept whole for the writer.
  void KeepChartSheet();
  // The name of the counter-th BOUNDSHEET as text.
  std::u16string StoredSheetName(int counter);
  void ReadBoundSheet();
  void BeginSheet();
  void ReadFilePass();

  // Cells.
  TSheet& Sheet();
  void ReadCell();
  void ReadBiff2Cell();
  void ReadFormula();
  void ReadFormula2();
  void ReadSharedFormula(const TRecord& rec);
  // The shared formula whose block holds the cell: looked up by the first cell the 0x01 token
  // names, else the first in file order.
  const TSharedFormula* FindSharedFormula(const Bytes& tokens, int row, int col) const;
  std::u16string ReadStringResult(const TRecord& rec);

  // Globals and sheet records.
  void ReadFont();
  void ReadFormat();
  void ReadWriteAccess();
  void ReadHeaderFooter();
  void ReadMargin();
  void ReadPageBreaks();
  void ReadPane();
  void ReadWindow2();
  void ReadDimensions();

  // Text helpers.
  std::u16string Ansi(std::string_view bytes) const;
  // BIFF8 option byte then n characters (8-bit ones zero-extended); r moves past them.
  static std::u16string ReadChars8(ByteReader& r, size_t n);

  TXLSWorkbook& workbook_;
  std::unique_ptr<TXLSStream> stream_;
  TExcelVersion version_ = xvNone;
  int maxRecord_ = 0;
  TRecord rec_;
  TRecord next_;
  int64_t recordPos_ = 0;  // stream position of the current record's header
  int recordCount_ = 0;

  // One entry per BOUNDSHEET: the name bytes as stored (BIFF8: option byte first).
  std::vector<Bytes> sheetNames_;
  std::vector<uint8_t> sheetVisibility_;  // per BOUNDSHEET: 0 visible, 1 hidden, 2 very hidden
  int sheetIndex_ = -1;
  int substreamCounter_ = -1;
  bool inSheet_ = false;        // between a worksheet BOF and its EOF
  bool substreamOpen_ = false;  // between a BOF and its EOF (globals or worksheet)
  TSheet* sheet_ = nullptr;
  TRecordStorage* storage_ = nullptr;
  bool storeRaw_ = false;
  bool finished_ = false;
  bool skippingView_ = false;
  int codePage_ = 0;  // from CODEPAGE, 0 = none
  std::vector<TSharedFormula> sharedFormulas_;
  std::unordered_map<uint32_t, size_t> sharedByFirstCell_;  // first cell key -> list index
  std::unordered_set<uint16_t> globalsDefaults_;
  std::unordered_set<uint16_t> sheetDefaults_;
};

}  // namespace xls
