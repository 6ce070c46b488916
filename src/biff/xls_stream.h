// TXLSStream: the record stream between the workbook engine and the bytes of a workbook file.
//
// One record-oriented interface over three physical forms: a compound file holding the stream
// "Workbook" (BIFF8) or "Book" (BIFF5/7); a plain BIFF2-4 file; and either of them held in memory
// (a source stream to read from, a target stream that receives the finished file). It reads and
// writes 4-byte record headers, reads bodies across CONTINUE records, splits over-long records
// into CONTINUE records when writing, back-patches lengths, and decrypts RC4-encrypted BIFF8
// streams. Other root streams and storages of a compound file travel from a read to a later write
// through TExtraObjects.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "biff/excel_version.h"
#include "biff/xls_rc4.h"
#include "cfb/compound_file.h"
#include "platform/bytes.h"

namespace xls {

enum TSeekOrigin { soFromBeginning, soFromCurrent, soFromEnd };

// A stream of bytes with a position. Reads at the end return fewer bytes; seeking before 0
// raises; seeking past the end is allowed (a later write fills the gap with zeros).
class TByteStream {
 public:
  virtual ~TByteStream() = default;
  virtual size_t Read(void* buffer, size_t count) = 0;
  virtual void Write(const void* buffer, size_t count) = 0;
  virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
  virtual int64_t Size() = 0;
  int64_t Position() { return Seek(0, soFromCurrent); }
};

// A byte stream held in a growable buffer. The source and target streams of TXLSStream are
// usually of this kind; they belong to the caller.
class TMemoryStream : public TByteStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(Bytes data) : data_(std::move(data)) {}

  size_t Read(void* buffer, size_t count) override;
  void Write(const void* buffer, size_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return static_cast<int64_t>(data_.size()); }

  const Bytes& Data() const { return data_; }
  // Replaces the contents and rewinds.
  void SetData(Bytes data);
  void Clear() { SetData({}); }

 private:
  Bytes data_;
  size_t pos_ = 0;
};

// The 4-byte header of a BIFF record.
struct TBIFFHeader {
  uint16_t RecID = 0;
  uint16_t Length = 0;
};

// Root-level streams and storages of a compound file other than the workbook stream, kept from a
// read for a later write (PreserveMacros): document properties, a VBA project, pivot caches.
class TExtraObjects {
 public:
  struct TPreservedStream {
    std::u16string Name;
    Bytes Data;
  };
  struct TPreservedStorage {
    std::u16string Name;
    // An in-memory compound file whose root holds a copy of the storage's contents.
    std::unique_ptr<cfb::CompoundFile> File;
  };

  void Clear();
  bool Empty() const { return streams_.empty() && storages_.empty(); }

  void AddStream(std::u16string name, Bytes data);
  // Copies the storage, recursively, into a new in-memory compound file.
  void AddStorage(std::u16string name, const cfb::Storage& storage);

  const std::vector<TPreservedStream>& Streams() const { return streams_; }
  const std::vector<TPreservedStorage>& Storages() const { return storages_; }

 private:
  std::vector<TPreservedStream> streams_;
  std::vector<TPreservedStorage> storages_;
};

class TXLSStream {
 public:
  TXLSStream();
  ~TXLSStream();
  TXLSStream(const TXLSStream&) = delete;
  TXLSStream& operator=(const TXLSStream&) = delete;

  // Attachments, all owned by the caller. A source stream is read instead of the named file; a
  // target stream receives the finished file instead of a file at a path.
  void SetSourceStream(TByteStream* stream) { sourceStream_ = stream; }
  void SetTargetStream(TByteStream* stream) { targetStream_ = stream; }
  TByteStream* SourceStream() const { return sourceStream_; }
  TByteStream* TargetStream() const { return targetStream_; }
  void SetExtraObjects(TExtraObjects* extra) { extraObjects_ = extra; }
  TExtraObjects* ExtraObjects() const { return extraObjects_; }
  // When set, OpenRead keeps every other root stream and storage in the extra objects.
  void SetPreserve(bool preserve) { preserve_ = preserve; }
  bool Preserve() const { return preserve_; }

  // Opens a workbook for reading and returns its version: xvExcel97 or xvExcel50 for a compound
  // file with a "Workbook" or "Book" stream (names matched case-insensitively; "Workbook" wins
  // when both exist), xvExcel21/30/40 for a plain BIFF2/3/4 file. Anything else raises "File is
  // not a Excel Workbook"; a damaged compound file raises its own error.
  TExcelVersion OpenRead(std::u16string_view fileName);
  // Prepares an empty destination for the version: a plain stream below xvExcel50, else a
  // compound file with the stream "Book" or "Workbook" (and the preserved streams, if any).
  void OpenWrite(std::u16string_view fileName, TExcelVersion version);
  // Writes the preserved storages into the compound file being written.
  void WritePreservedStorages();
  // Finishes and releases: commits a compound file being written and copies it to the target
  // stream. Safe to call when nothing is open.
  void Close();

  bool IsOpen() const { return io_ != nullptr; }
  TExcelVersion Version() const { return version_; }
  // Size of the workbook stream (or plain file) being read.
  int32_t WorkbookSize() const { return workbookSize_; }

  // Reading. Every read stops at the end of the stream and returns the bytes it got.

  // Reads the header without decryption. Returns the bytes read: 4, or fewer at the end.
  int ReadHeader(TBIFFHeader& header);
  // Reads body bytes, decrypted while decryption is on; in continue-read mode crosses record
  // boundaries (raises "CONTINUE record is missing" on a header of another record).
  int Read(void* buffer, int count);
  // As Read, never decrypting.
  int ReadPlain(void* buffer, int count);
  // The id of the next record header, or 0 when fewer than 4 bytes remain. Does not move.
  uint16_t PeekRecordId();
  // Reads a BIFF8 option byte and charCount characters (16-bit when bit 0 of the option byte is
  // set, else 8-bit: the low bytes of UTF-16 code units). bytesRead receives the bytes consumed.
  std::u16string ReadString(int charCount, int& bytesRead);
  void BeginContinueRead();
  void EndContinueRead();
  bool ContinueRead() const { return continueRead_; }

  int64_t Seek(int64_t offset, TSeekOrigin origin);
  int64_t Position();

  // Writing. Uncounted writes bypass record counting and splitting.

  void WriteHeader(uint16_t recId, uint16_t length);
  void WriteRaw(const void* buffer, int count);
  // Counted write of body bytes: goes through the splitter in split mode.
  void Write(const void* buffer, int count);
  void Write(std::span<const uint8_t> bytes) {
    Write(bytes.data(), static_cast<int>(bytes.size()));
  }
  void WriteU8(uint8_t value);
  void WriteU16(uint16_t value);
  void WriteU32(uint32_t value);
  // A whole record, split into CONTINUE records when the body is longer than 8224 bytes.
  void WriteRecord(uint16_t recId, const void* data, int length);
  // Split mode: the caller writes a header (its length is patched) and then the body through
  // Write; every limit bytes a CONTINUE record is started.
  void BeginSplitRecord(int limit);
  void EndSplitRecord();
  // S is a BIFF8 option byte followed by the characters. Writes the character count as u16 or
  // u8 (uncounted) and then S (counted); an empty S writes only a count of 0.
  void WriteByteString16(std::span<const uint8_t> s);
  void WriteByteString8(std::span<const uint8_t> s);
  // Length u16 (uncounted), then option byte 1 (uncounted) and the UTF-16 code units (counted);
  // an empty string writes only the length 0.
  void WriteWideString(std::u16string_view s);
  // a and b as four 16-bit words: low and high word of a, low and high word of b.
  void WriteAreaWords(int32_t a, int32_t b);
  // Body bytes counted since the current record header (split mode).
  int WrittenInRecord() const { return writtenInRecord_; }

  // Decryption. Checks the password against a FILEPASS body (RC4 form); on success reads from
  // the current position on are decrypted. Returns whether the password is right.
  bool StartDecryption(std::span<const uint8_t> filePass, std::u16string_view password);
  void StopDecryption() { decrypting_ = false; }
  bool IsDecrypting() const { return decrypting_; }

 private:
  TExcelVersion OpenPlainRead(std::unique_ptr<TByteStream> stream);
  TExcelVersion OpenCompoundRead(std::unique_ptr<cfb::CompoundFile> file);
  int ReadInternal(void* buffer, int count, bool decrypt);
  int ReadChunk(uint8_t* buffer, int count, bool decrypt);
  void RequireOpen() const;
  void PatchLength(int64_t headerPos, uint16_t length);

  TByteStream* sourceStream_ = nullptr;
  TByteStream* targetStream_ = nullptr;
  TExtraObjects* extraObjects_ = nullptr;
  bool preserve_ = false;

  std::unique_ptr<cfb::CompoundFile> compound_;  // open or newly created compound file
  std::unique_ptr<TByteStream> ownedStream_;     // plain file, memory copy or workbook stream
  TByteStream* io_ = nullptr;                    // where reads and writes go
  bool writing_ = false;
  TExcelVersion version_ = xvNone;
  int32_t workbookSize_ = 0;

  int writtenInRecord_ = 0;
  int64_t recordHeaderPos_ = -1;
  int readInRecord_ = 0;
  bool continueRead_ = false;
  int splitLimit_ = 0;

  bool decrypting_ = false;
  TXLSRC4 cipher_;
};

}  // namespace xls
