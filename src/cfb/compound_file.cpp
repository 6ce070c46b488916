#include "cfb/compound_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>

#include "cfb/cfb_format.h"
#include "cfb/cfb_internal.h"
#include "platform/codec.h"
#include "platform/error.h"

namespace xls::cfb {

// ---- names ----

char16_t UpperCaseUnit(char16_t c) {
  if (c < 0x80) return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 0x20) : c;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 0x20);
  if (c == 0xFF) return 0x178;
  if (c == 0xB5) return 0x39C;
  // Latin Extended-A: upper and lower case alternate.
  if (c >= 0x100 && c <= 0x17F && c != 0x130 && c != 0x131 && c != 0x138 && c != 0x149 &&
      c != 0x17F) {
    const bool oddPairs = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if (oddPairs ? (c % 2 == 0) : (c % 2 == 1)) return static_cast<char16_t>(c - 1);
    return c;
  }
  if (c >= 0x3B1 && c <= 0x3CB && c != 0x3C2) return static_cast<char16_t>(c - 0x20);
  if (c >= 0x430 && c <= 0x44F) return static_cast<char16_t>(c - 0x20);
  if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 0x50);
  if (c >= 0xFF41 && c <= 0xFF5A) return static_cast<char16_t>(c - 0x20);
  return c;
}

std::u16string UpperCaseName(std::u16string_view name) {
  std::u16string out(name);
  for (auto& c : out) c = UpperCaseUnit(c);
  return out;
}

int CompareNames(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  for (size_t i = 0; i < a.size(); ++i) {
    const char16_t x = UpperCaseUnit(a[i]);
    const char16_t y = UpperCaseUnit(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return 0;
}

namespace {

void CheckNewName(std::u16string_view name) {
  if (name.empty()) Raise("Compound file: an entry name must not be empty");
  if (name.size() > kMaxNameChars)
    Raise(Format("Compound file: entry name \"%s\" is longer than %zu characters",
                 Utf16ToUtf8(name).c_str(), kMaxNameChars));
  for (char16_t c : name)
    if (c == u'/' || c == u'\\' || c == u':' || c == u'!' || c == 0)
      Raise(Format("Compound file: entry name \"%s\" holds a character not allowed in names",
                   Utf16ToUtf8(name).c_str()));
}

}  // namespace

// ---- Stream ----

size_t Stream::Read(void* buffer, size_t count) {
  if (pos_ >= data_.size() || count == 0) return 0;
  const size_t n = std::min(count, data_.size() - pos_);
  std::memcpy(buffer, data_.data() + pos_, n);
  pos_ += n;
  return n;
}

void Stream::Write(const void* buffer, size_t count) {
  if (count == 0) return;
  if (count > std::numeric_limits<size_t>::max() - pos_) Raise("Stream write: size overflows");
  const size_t end = pos_ + count;
  // A version 3 file records stream sizes in 32 bits.
  if (end > std::numeric_limits<uint32_t>::max())
    Raise("Stream write: a stream cannot grow beyond 4 GB");
  if (end > data_.size()) data_.resize(end);
  std::memcpy(data_.data() + pos_, buffer, count);
  pos_ = end;
}

int64_t Stream::Seek(int64_t offset, SeekOrigin origin) {
  int64_t base = 0;
  switch (origin) {
    case SeekOrigin::Begin:
      base = 0;
      break;
    case SeekOrigin::Current:
      base = static_cast<int64_t>(pos_);
      break;
    case SeekOrigin::End:
      base = static_cast<int64_t>(data_.size());
      break;
  }
  if ((offset > 0 && base > std::numeric_limits<int64_t>::max() - offset) || base + offset < 0)
    Raise(Format("Stream seek: position %lld%+lld is outside the stream",
                 static_cast<long long>(base), static_cast<long long>(offset)));
  pos_ = static_cast<size_t>(base + offset);
  return static_cast<int64_t>(pos_);
}

// ---- Storage ----

Storage::Storage() = default;
Storage::~Storage() = default;

Storage::Entry* Storage::Find(std::u16string_view name) const {
  const auto it = byName_.find(UpperCaseName(name));
  return it == byName_.end() ? nullptr : it->second;
}

Storage::Entry* Storage::Add(std::unique_ptr<Entry> entry) {
  Entry* e = entry.get();
  if (!byName_.emplace(UpperCaseName(e->name), e).second) return nullptr;
  entries_.push_back(std::move(entry));
  return e;
}

bool Storage::Contains(const Storage* other) const {
  if (other == this) return true;
  for (const auto& e : entries_)
    if (e->storage && e->storage->Contains(other)) return true;
  return false;
}

std::vector<EntryInfo> Storage::Entries() const {
  std::vector<EntryInfo> out;
  out.reserve(entries_.size());
  for (const auto& e : entries_)
    out.push_back({e->name, e->kind, e->kind == EntryKind::Stream ? e->stream->Size() : 0});
  return out;
}

bool Storage::HasEntry(std::u16string_view name) const {
  return Find(name) != nullptr;
}

Stream& Storage::OpenStream(std::u16string_view name) {
  Entry* e = Find(name);
  if (!e || e->kind != EntryKind::Stream)
    Raise(Format("Compound file: stream \"%s\" not found", Utf16ToUtf8(name).c_str()));
  return *e->stream;
}

Storage& Storage::OpenStorage(std::u16string_view name) {
  Entry* e = Find(name);
  if (!e || e->kind != EntryKind::Storage)
    Raise(Format("Compound file: storage \"%s\" not found", Utf16ToUtf8(name).c_str()));
  return *e->storage;
}

Stream& Storage::CreateStream(std::u16string_view name) {
  CheckNewName(name);
  if (Find(name))
    Raise(Format("Compound file: an entry named \"%s\" exists already", Utf16ToUtf8(name).c_str()));
  auto e = std::make_unique<Entry>();
  e->name = std::u16string(name);
  e->kind = EntryKind::Stream;
  e->stream = std::make_unique<Stream>();
  return *Add(std::move(e))->stream;
}

Storage& Storage::CreateStorage(std::u16string_view name) {
  CheckNewName(name);
  if (Find(name))
    Raise(Format("Compound file: an entry named \"%s\" exists already", Utf16ToUtf8(name).c_str()));
  auto e = std::make_unique<Entry>();
  e->name = std::u16string(name);
  e->kind = EntryKind::Storage;
  e->storage = std::make_unique<Storage>();
  return *Add(std::move(e))->storage;
}

void Storage::CopyTo(Storage& dest) const {
  if (Contains(&dest)) Raise("Compound file: a storage cannot be copied into itself");
  std::memcpy(dest.clsid, clsid, sizeof clsid);
  dest.stateBits = stateBits;
  for (const auto& e : entries_) {
    if (e->kind == EntryKind::Stream) {
      dest.CreateStream(e->name).MutableData() = e->stream->Data();
    } else {
      e->storage->CopyTo(dest.CreateStorage(e->name));
    }
  }
}

// ---- CompoundFile ----

namespace {

Bytes ReadWholeFile(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) Raise(Format("Cannot open file \"%s\": %s", path.c_str(), std::strerror(errno)));
  // Read into a buffer of the file's size; a file that grows meanwhile is read to its end.
  struct stat st {};
  if (fstat(fileno(f), &st) == 0 && S_ISDIR(st.st_mode)) {
    std::fclose(f);
    Raise(Format("Cannot open file \"%s\": it is a folder", path.c_str()));
  }
  Bytes data;
  if (S_ISREG(st.st_mode) && st.st_size > 0) data.resize(static_cast<size_t>(st.st_size));
  size_t have = data.empty() ? 0 : std::fread(data.data(), 1, data.size(), f);
  data.resize(have);
  uint8_t buf[65536];
  for (size_t n; have == data.size() && (n = std::fread(buf, 1, sizeof buf, f)) > 0; have += n)
    data.insert(data.end(), buf, buf + n);
  const bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed) Raise(Format("Cannot read file \"%s\"", path.c_str()));
  return data;
}

}  // namespace

bool CompoundFile::IsCompoundData(std::span<const uint8_t> data) {
  return data.size() >= sizeof kSignature &&
         std::memcmp(data.data(), kSignature, sizeof kSignature) == 0;
}

bool CompoundFile::IsCompoundFile(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  uint8_t head[sizeof kSignature];
  const size_t n = std::fread(head, 1, sizeof head, f);
  std::fclose(f);
  return IsCompoundData(std::span<const uint8_t>(head, n));
}

std::unique_ptr<CompoundFile> CompoundFile::OpenRead(const std::string& path) {
  const Bytes data = ReadWholeFile(path);
  return OpenRead(std::span<const uint8_t>(data));
}

std::unique_ptr<CompoundFile> CompoundFile::OpenRead(std::span<const uint8_t> data) {
  std::unique_ptr<CompoundFile> cf(new CompoundFile());
  ParseCompoundFile(data, cf->root_);
  return cf;
}

std::unique_ptr<CompoundFile> CompoundFile::Create(const std::string& path) {
  if (path.empty()) Raise("Filename is missing");
  std::unique_ptr<CompoundFile> cf(new CompoundFile());
  cf->path_ = path;
  return cf;
}

std::unique_ptr<CompoundFile> CompoundFile::CreateInMemory() {
  return std::unique_ptr<CompoundFile>(new CompoundFile());
}

void CompoundFile::Commit() {
  Bytes bytes = SerializeCompoundFile(root_);
  if (!path_.empty()) {
    FILE* f = std::fopen(path_.c_str(), "wb");
    if (!f) Raise(Format("Cannot create file \"%s\": %s", path_.c_str(), std::strerror(errno)));
    const size_t written = bytes.empty() ? 0 : std::fwrite(bytes.data(), 1, bytes.size(), f);
    const bool closeFailed = std::fclose(f) != 0;
    if (written != bytes.size() || closeFailed)
      Raise(Format("Cannot write file \"%s\"", path_.c_str()));
  }
  bytes_ = std::move(bytes);
  committed_ = true;
}

Bytes CompoundFile::GetBytes() {
  if (!committed_) Commit();
  return bytes_;
}

}  // namespace xls::cfb
