#include "biff/xls_stream.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>

#include "biff/biff_recs.h"
#include "platform/codec.h"
#include "platform/error.h"

namespace xls {

namespace {

const char* const kNotAWorkbook = "File is not a Excel Workbook";
const char* const kFilenameMissing = "Filename is missing";

constexpr char16_t kBookStream[] = u"Book";
constexpr char16_t kWorkbookStream[] = u"Workbook";

// Bytes read to recognise a plain BIFF2-4 file: the first record header.
constexpr size_t kSniffSize = 4;

int64_t NewPosition(int64_t offset, TSeekOrigin origin, int64_t current, int64_t size) {
  int64_t base = 0;
  switch (origin) {
    case soFromBeginning:
      base = 0;
      break;
    case soFromCurrent:
      base = current;
      break;
    case soFromEnd:
      base = size;
      break;
  }
  if ((offset < 0 && base + offset < 0) ||
      (offset > 0 && base > std::numeric_limits<int64_t>::max() - offset))
    Raise(Format("Seek outside the stream (offset %lld)", static_cast<long long>(offset)));
  return base + offset;
}

// A file on disk.
class TFileStream : public TByteStream {
 public:
  TFileStream(const std::string& path, bool create) {
    file_ = std::fopen(path.c_str(), create ? "w+b" : "rb");
    if (!file_) Raise(Format("Can not open file \"%s\": %s", path.c_str(), std::strerror(errno)));
  }
  ~TFileStream() override {
    if (file_) std::fclose(file_);
  }
  size_t Read(void* buffer, size_t count) override {
    return count ? std::fread(buffer, 1, count, file_) : 0;
  }
  void Write(const void* buffer, size_t count) override {
    if (count && std::fwrite(buffer, 1, count, file_) != count)
      Raise(Format("Can not write file: %s", std::strerror(errno)));
  }
  int64_t Seek(int64_t offset, TSeekOrigin origin) override {
    const int64_t current = ftello(file_);
    int64_t size = current;
    if (origin == soFromEnd) {
      fseeko(file_, 0, SEEK_END);
      size = ftello(file_);
    }
    const int64_t pos = NewPosition(offset, origin, current, size);
    if (fseeko(file_, static_cast<off_t>(pos), SEEK_SET) != 0)
      Raise(Format("Can not seek in file: %s", std::strerror(errno)));
    return pos;
  }
  int64_t Size() override {
    const int64_t current = ftello(file_);
    fseeko(file_, 0, SEEK_END);
    const int64_t size = ftello(file_);
    fseeko(file_, static_cast<off_t>(current), SEEK_SET);
    return size;
  }
  // Flushes and closes, reporting a failed write.
  void Finish() {
    std::FILE* f = file_;
    file_ = nullptr;
    if (f && std::fclose(f) != 0) Raise(Format("Can not write file: %s", std::strerror(errno)));
  }

 private:
  std::FILE* file_ = nullptr;
};

// A stream of a compound file.
class TCompoundStream : public TByteStream {
 public:
  explicit TCompoundStream(cfb::Stream& stream) : stream_(stream) {}
  size_t Read(void* buffer, size_t count) override { return stream_.Read(buffer, count); }
  void Write(const void* buffer, size_t count) override { stream_.Write(buffer, count); }
  int64_t Seek(int64_t offset, TSeekOrigin origin) override {
    const int64_t pos =
        NewPosition(offset, origin, stream_.Position(), static_cast<int64_t>(stream_.Size()));
    return stream_.Seek(pos, cfb::SeekOrigin::Begin);
  }
  int64_t Size() override { return static_cast<int64_t>(stream_.Size()); }

 private:
  cfb::Stream& stream_;
};

std::u16string LowerAscii(std::u16string_view s) {
  std::u16string out(s);
  for (auto& c : out)
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  return out;
}

Bytes ReadWholeStream(TByteStream& stream) {
  stream.Seek(0, soFromBeginning);
  const int64_t size = stream.Size();
  Bytes data(static_cast<size_t>(std::max<int64_t>(size, 0)));
  size_t got = 0;
  while (got < data.size()) {
    const size_t n = stream.Read(data.data() + got, data.size() - got);
    if (n == 0) break;
    got += n;
  }
  data.resize(got);
  stream.Seek(0, soFromBeginning);
  return data;
}

int32_t ClampSize(uint64_t size) {
  return static_cast<int32_t>(std::min<uint64_t>(size, std::numeric_limits<int32_t>::max()));
}

}  // namespace

// TMemoryStream

size_t TMemoryStream::Read(void* buffer, size_t count) {
  if (pos_ >= data_.size() || count == 0) return 0;
  const size_t n = std::min(count, data_.size() - pos_);
  std::memcpy(buffer, data_.data() + pos_, n);
  pos_ += n;
  return n;
}

void TMemoryStream::Write(const void* buffer, size_t count) {
  if (count == 0) return;
  if (count > std::numeric_limits<size_t>::max() - pos_) Raise("Memory stream too large");
  if (pos_ + count > data_.size()) data_.resize(pos_ + count);
  std::memcpy(data_.data() + pos_, buffer, count);
  pos_ += count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
  const int64_t pos =
      NewPosition(offset, origin, static_cast<int64_t>(pos_), static_cast<int64_t>(data_.size()));
  pos_ = static_cast<size_t>(pos);
  return pos;
}

void TMemoryStream::SetData(Bytes data) {
  data_ = std::move(data);
  pos_ = 0;
}

// TExtraObjects

void TExtraObjects::Clear() {
  streams_.clear();
  storages_.clear();
}

void TExtraObjects::AddStream(std::u16string name, Bytes data) {
  streams_.push_back({std::move(name), std::move(data)});
}

void TExtraObjects::AddStorage(std::u16string name, const cfb::Storage& storage) {
  auto file = cfb::CompoundFile::CreateInMemory();
  storage.CopyTo(file->Root());
  std::memcpy(file->Root().clsid, storage.clsid, sizeof storage.clsid);
  file->Root().stateBits = storage.stateBits;
  storages_.push_back({std::move(name), std::move(file)});
}

// TXLSStream: opening and closing

TXLSStream::TXLSStream() = default;

TXLSStream::~TXLSStream() {
  try {
    Close();
  } catch (...) {
    // A destructor must not throw; callers who care about a failed commit call Close.
  }
}

TExcelVersion TXLSStream::OpenRead(std::u16string_view fileName) {
  Close();
  if (extraObjects_) extraObjects_->Clear();
  try {
    if (sourceStream_) {
      Bytes data = ReadWholeStream(*sourceStream_);
      if (cfb::CompoundFile::IsCompoundData(data))
        return OpenCompoundRead(cfb::CompoundFile::OpenRead(data));
      return OpenPlainRead(std::make_unique<TMemoryStream>(std::move(data)));
    }
    if (fileName.empty()) Raise(kFilenameMissing);
    const std::string path = Utf16ToUtf8(fileName);
    if (cfb::CompoundFile::IsCompoundFile(path))
      return OpenCompoundRead(cfb::CompoundFile::OpenRead(path));
    return OpenPlainRead(std::make_unique<TFileStream>(path, false));
  } catch (...) {
    Close();
    if (extraObjects_) extraObjects_->Clear();
    throw;
  }
}

TExcelVersion TXLSStream::OpenPlainRead(std::unique_ptr<TByteStream> stream) {
  uint8_t head[kSniffSize] = {};
  const size_t got = stream->Read(head, sizeof head);
  stream->Seek(0, soFromBeginning);
  TExcelVersion version = xvNone;
  if (got >= 2 && head[0] == kBOFLowByte) {
    const uint16_t id = GetU16(head);
    if (id == BIFFRECID_BOF_20)
      version = xvExcel21;
    else if (id == BIFFRECID_BOF_30)
      version = xvExcel30;
    else if (id == BIFFRECID_BOF_40)
      version = xvExcel40;
  }
  if (version == xvNone) Raise(kNotAWorkbook);
  workbookSize_ = ClampSize(static_cast<uint64_t>(std::max<int64_t>(stream->Size(), 0)));
  ownedStream_ = std::move(stream);
  io_ = ownedStream_.get();
  version_ = version;
  return version;
}

TExcelVersion TXLSStream::OpenCompoundRead(std::unique_ptr<cfb::CompoundFile> file) {
  compound_ = std::move(file);
  cfb::Storage& root = compound_->Root();
  const bool keep = preserve_ && extraObjects_;

  const cfb::EntryInfo* book = nullptr;
  const cfb::EntryInfo* workbook = nullptr;
  const std::vector<cfb::EntryInfo> entries = root.Entries();
  for (const cfb::EntryInfo& e : entries) {
    const std::u16string lower = LowerAscii(e.name);
    if (e.kind == cfb::EntryKind::Stream && lower == LowerAscii(kBookStream)) {
      book = &e;
    } else if (e.kind == cfb::EntryKind::Stream && lower == LowerAscii(kWorkbookStream)) {
      workbook = &e;
    }
  }
  const cfb::EntryInfo* chosen = workbook ? workbook : book;
  if (!chosen) Raise(kNotAWorkbook);

  try {
    io_ = nullptr;
    ownedStream_ = std::make_unique<TCompoundStream>(root.OpenStream(chosen->name));
  } catch (const EXLSError&) {
    Raise(kNotAWorkbook);
  }

  // Every other root stream and storage is kept. Entries named like either workbook stream are
  // left out: a "Book" beside "Workbook" is an old BIFF5 copy that the writer would not bring up
  // to date, and the writer creates the workbook stream itself.
  if (keep) {
    for (const cfb::EntryInfo& e : entries) {
      const std::u16string lower = LowerAscii(e.name);
      if (lower == LowerAscii(kBookStream) || lower == LowerAscii(kWorkbookStream)) continue;
      if (e.kind == cfb::EntryKind::Stream)
        extraObjects_->AddStream(e.name, root.OpenStream(e.name).Data());
      else
        extraObjects_->AddStorage(e.name, root.OpenStorage(e.name));
    }
  }

  io_ = ownedStream_.get();
  io_->Seek(0, soFromBeginning);
  workbookSize_ = ClampSize(chosen->size);
  version_ = workbook ? xvExcel97 : xvExcel50;
  return version_;
}

void TXLSStream::OpenWrite(std::u16string_view fileName, TExcelVersion version) {
  Close();
  try {
    writing_ = true;
    version_ = version;
    if (version < xvExcel50) {
      if (targetStream_) {
        io_ = targetStream_;
      } else {
        if (fileName.empty()) Raise(kFilenameMissing);
        ownedStream_ = std::make_unique<TFileStream>(Utf16ToUtf8(fileName), true);
        io_ = ownedStream_.get();
      }
      return;
    }
    if (targetStream_) {
      compound_ = cfb::CompoundFile::CreateInMemory();
    } else {
      if (fileName.empty()) Raise(kFilenameMissing);
      compound_ = cfb::CompoundFile::Create(Utf16ToUtf8(fileName));
    }
    cfb::Storage& root = compound_->Root();
    if (extraObjects_) {
      for (const auto& s : extraObjects_->Streams()) {
        // The workbook stream is written afresh, never carried.
        const std::u16string lower = LowerAscii(s.Name);
        if (lower == LowerAscii(kBookStream) || lower == LowerAscii(kWorkbookStream)) continue;
        root.CreateStream(s.Name).Write(s.Data.data(), s.Data.size());
      }
    }
    ownedStream_ = std::make_unique<TCompoundStream>(
        root.CreateStream(version == xvExcel50 ? kBookStream : kWorkbookStream));
    io_ = ownedStream_.get();
  } catch (...) {
    compound_.reset();
    ownedStream_.reset();
    io_ = nullptr;
    writing_ = false;
    throw;
  }
}

void TXLSStream::WritePreservedStorages() {
  if (!writing_ || !compound_ || !extraObjects_) return;
  cfb::Storage& root = compound_->Root();
  for (const auto& s : extraObjects_->Storages()) {
    cfb::Storage& dest = root.CreateStorage(s.Name);
    s.File->Root().CopyTo(dest);
    std::memcpy(dest.clsid, s.File->Root().clsid, sizeof dest.clsid);
    dest.stateBits = s.File->Root().stateBits;
  }
}

void TXLSStream::Close() {
  // Take everything out of the object first: it is released even when finishing fails.
  std::unique_ptr<cfb::CompoundFile> compound = std::move(compound_);
  std::unique_ptr<TByteStream> owned = std::move(ownedStream_);
  const bool writing = writing_;
  io_ = nullptr;
  writing_ = false;
  workbookSize_ = 0;
  writtenInRecord_ = 0;
  recordHeaderPos_ = -1;
  readInRecord_ = 0;
  continueRead_ = false;
  splitLimit_ = 0;
  decrypting_ = false;
  cipher_.Reset();

  if (!writing) return;
  if (compound) {
    owned.reset();  // the workbook stream belongs to the compound file
    compound->Commit();
    if (targetStream_) {
      const Bytes bytes = compound->GetBytes();
      targetStream_->Write(bytes.data(), bytes.size());
    }
  } else if (auto* file = dynamic_cast<TFileStream*>(owned.get())) {
    file->Finish();
  }
}

// Reading

void TXLSStream::RequireOpen() const {
  if (!io_) Raise("Stream is not open");
}

int TXLSStream::ReadHeader(TBIFFHeader& header) {
  header = {};
  if (!io_) return 0;
  uint8_t buf[kRecordHeaderSize];
  const int got = static_cast<int>(io_->Read(buf, sizeof buf));
  if (got == kRecordHeaderSize) {
    header.RecID = GetU16(buf);
    header.Length = GetU16(buf + 2);
  }
  return got;
}

int TXLSStream::ReadChunk(uint8_t* buffer, int count, bool decrypt) {
  if (count <= 0) return 0;
  const int64_t pos = io_->Position();
  const int got = static_cast<int>(io_->Read(buffer, static_cast<size_t>(count)));
  if (decrypt && decrypting_) cipher_.Crypt(buffer, static_cast<size_t>(got), pos);
  return got;
}

int TXLSStream::ReadInternal(void* buffer, int count, bool decrypt) {
  if (!io_ || count <= 0) return 0;
  auto* out = static_cast<uint8_t*>(buffer);
  if (!continueRead_) return ReadChunk(out, count, decrypt);

  // Every physical record carries kMaxRecordBody8 body bytes except the last one; the length
  // fields of the CONTINUE headers are not used.
  if (static_cast<int64_t>(readInRecord_) + count <= kMaxRecordBody8) {
    const int got = ReadChunk(out, count, decrypt);
    readInRecord_ += got;
    return got;
  }
  const int first = kMaxRecordBody8 - readInRecord_;
  int total = ReadChunk(out, first, decrypt);
  readInRecord_ = 0;
  if (total < first) return total;  // the stream ended
  while (total < count) {
    TBIFFHeader header;
    if (ReadHeader(header) < kRecordHeaderSize) break;
    if (header.RecID != BIFFRECID_CONTINUE && header.RecID != BIFFRECID_MSODRAWINGGROUP &&
        header.RecID != BIFFRECID_GELFRAME)
      Raise("CONTINUE record is missing");
    const int want = std::min(count - total, kMaxRecordBody8);
    const int got = ReadChunk(out + total, want, decrypt);
    readInRecord_ = got;
    total += got;
    if (got < want) break;
  }
  return total;
}

int TXLSStream::Read(void* buffer, int count) {
  return ReadInternal(buffer, count, true);
}

int TXLSStream::ReadPlain(void* buffer, int count) {
  return ReadInternal(buffer, count, false);
}

uint16_t TXLSStream::PeekRecordId() {
  if (!io_) return 0;
  const int64_t pos = io_->Position();
  uint8_t buf[kRecordHeaderSize];
  const size_t got = io_->Read(buf, sizeof buf);
  io_->Seek(pos, soFromBeginning);
  return got == sizeof buf ? GetU16(buf) : 0;
}

std::u16string TXLSStream::ReadString(int charCount, int& bytesRead) {
  bytesRead = 0;
  uint8_t option = 0;
  if (Read(&option, 1) < 1) return {};
  bytesRead = 1;
  if (charCount <= 0) return {};
  // Never allocate more than the stream still holds.
  const int64_t left = std::max<int64_t>(io_->Size() - io_->Position(), 0);
  const bool wide = option & 0x01;
  charCount = static_cast<int>(std::min<int64_t>(charCount, wide ? left / 2 : left));
  if (wide) {
    Bytes raw(static_cast<size_t>(charCount) * 2);
    const int got = Read(raw.data(), static_cast<int>(raw.size()));
    bytesRead += got;
    std::u16string s(static_cast<size_t>(got) / 2, u'\0');
    for (size_t k = 0; k < s.size(); ++k) s[k] = static_cast<char16_t>(GetU16(raw.data() + 2 * k));
    return s;
  }
  std::string raw(static_cast<size_t>(charCount), '\0');
  const int got = Read(raw.data(), charCount);
  bytesRead += got;
  raw.resize(static_cast<size_t>(got));
  // 8-bit BIFF8 characters are the low bytes of UTF-16 code units.
  return Latin1ToUtf16(raw);
}

void TXLSStream::BeginContinueRead() {
  continueRead_ = true;
  readInRecord_ = 0;
}

void TXLSStream::EndContinueRead() {
  continueRead_ = false;
  readInRecord_ = 0;
}

int64_t TXLSStream::Seek(int64_t offset, TSeekOrigin origin) {
  RequireOpen();
  return io_->Seek(offset, origin);
}

int64_t TXLSStream::Position() {
  RequireOpen();
  return io_->Position();
}

// Writing

void TXLSStream::WriteRaw(const void* buffer, int count) {
  RequireOpen();
  if (count > 0) io_->Write(buffer, static_cast<size_t>(count));
}

void TXLSStream::WriteHeader(uint16_t recId, uint16_t length) {
  uint8_t buf[kRecordHeaderSize];
  PutU16(buf, recId);
  PutU16(buf + 2, length);
  WriteRaw(buf, sizeof buf);
}

void TXLSStream::WriteU8(uint8_t value) {
  WriteRaw(&value, 1);
}

void TXLSStream::WriteU16(uint16_t value) {
  uint8_t buf[2];
  PutU16(buf, value);
  WriteRaw(buf, sizeof buf);
}

void TXLSStream::WriteU32(uint32_t value) {
  uint8_t buf[4];
  PutU32(buf, value);
  WriteRaw(buf, sizeof buf);
}

void TXLSStream::PatchLength(int64_t headerPos, uint16_t length) {
  const int64_t back = io_->Position();
  io_->Seek(headerPos + 2, soFromBeginning);
  WriteU16(length);
  io_->Seek(back, soFromBeginning);
}

void TXLSStream::Write(const void* buffer, int count) {
  RequireOpen();
  if (count <= 0) return;
  const auto* p = static_cast<const uint8_t*>(buffer);
  if (splitLimit_ <= 0) {
    io_->Write(p, static_cast<size_t>(count));
    writtenInRecord_ += count;
    return;
  }
  while (count > 0) {
    if (writtenInRecord_ + count > splitLimit_) {
      const int fit = splitLimit_ - writtenInRecord_;
      WriteRaw(p, fit);
      PatchLength(recordHeaderPos_, static_cast<uint16_t>(splitLimit_));
      recordHeaderPos_ = io_->Position();
      WriteHeader(BIFFRECID_CONTINUE, 0);
      writtenInRecord_ = 0;
      p += fit;
      count -= fit;
    } else {
      WriteRaw(p, count);
      writtenInRecord_ += count;
      count = 0;
    }
  }
}

void TXLSStream::WriteRecord(uint16_t recId, const void* data, int length) {
  const auto* p = static_cast<const uint8_t*>(data);
  length = std::max(length, 0);
  const int first = std::min(length, kMaxRecordBody8);
  WriteHeader(recId, static_cast<uint16_t>(first));
  WriteRaw(p, first);
  for (int done = first; done < length;) {
    const int n = std::min(length - done, kMaxRecordBody8);
    WriteHeader(BIFFRECID_CONTINUE, static_cast<uint16_t>(n));
    WriteRaw(p + done, n);
    done += n;
  }
}

void TXLSStream::BeginSplitRecord(int limit) {
  RequireOpen();
  if (limit > std::numeric_limits<uint16_t>::max()) Raise("Record split limit too large");
  splitLimit_ = limit;
  writtenInRecord_ = 0;
  recordHeaderPos_ = io_->Position();
}

void TXLSStream::EndSplitRecord() {
  RequireOpen();
  if (writtenInRecord_ > 0 && recordHeaderPos_ >= 0)
    PatchLength(recordHeaderPos_, static_cast<uint16_t>(writtenInRecord_));
  io_->Seek(0, soFromEnd);
  splitLimit_ = -1;
}

namespace {

int ByteStringCharCount(std::span<const uint8_t> s) {
  const int bytes = static_cast<int>(s.size()) - 1;
  return s[0] == 1 ? bytes / 2 : bytes;
}

}  // namespace

void TXLSStream::WriteByteString16(std::span<const uint8_t> s) {
  if (s.empty()) {
    WriteU16(0);
    return;
  }
  WriteU16(static_cast<uint16_t>(ByteStringCharCount(s)));
  Write(s);
}

void TXLSStream::WriteByteString8(std::span<const uint8_t> s) {
  if (s.empty()) {
    WriteU8(0);
    return;
  }
  WriteU8(static_cast<uint8_t>(ByteStringCharCount(s)));
  Write(s);
}

void TXLSStream::WriteWideString(std::u16string_view s) {
  WriteU16(static_cast<uint16_t>(s.size()));
  if (s.empty()) return;
  WriteU8(1);
  Bytes chars(s.size() * 2);
  for (size_t k = 0; k < s.size(); ++k) PutU16(chars.data() + 2 * k, s[k]);
  Write(chars);
}

void TXLSStream::WriteAreaWords(int32_t a, int32_t b) {
  const auto ua = static_cast<uint32_t>(a);
  const auto ub = static_cast<uint32_t>(b);
  WriteU16(static_cast<uint16_t>(ua));
  WriteU16(static_cast<uint16_t>(ua >> 16));
  WriteU16(static_cast<uint16_t>(ub));
  WriteU16(static_cast<uint16_t>(ub >> 16));
}

// Decryption

bool TXLSStream::StartDecryption(std::span<const uint8_t> filePass, std::u16string_view password) {
  if (filePass.size() < kFilePassRC4Size || GetU16(filePass.data()) != kFilePassTypeRC4)
    return false;
  TXLSRC4 cipher;
  cipher.SetPassword(password, filePass.data() + kFilePassSaltOffset);
  if (!cipher.VerifyPassword(filePass.data() + kFilePassVerifierOffset,
                             filePass.data() + kFilePassVerifierHashOffset))
    return false;
  cipher_ = cipher;
  cipher_.Reset();
  decrypting_ = true;
  return true;
}

}  // namespace xls
