// Compound files (OLE structured storage): the engine's own reader and writer.
//
// A compound file is held in memory as a tree of storages and streams. Reading parses the
// sector tables and the directory of an untrusted file and loads stream data with every sector
// number, chain and link checked against the file; any damage raises one EXLSError with a
// message. Writing builds the tree in memory and serialises it as a version 3 file on Commit.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/bytes.h"

namespace xls::cfb {

enum class EntryKind { Stream, Storage };

struct EntryInfo {
  std::u16string name;
  EntryKind kind;
  uint64_t size;  // stream size in bytes; 0 for storages
};

enum class SeekOrigin { Begin, Current, End };

// A stream's bytes with a read/write position. Writing past the end grows the stream.
class Stream {
 public:
  size_t Read(void* buffer, size_t count);  // returns the bytes read (fewer at the end)
  void Write(const void* buffer, size_t count);
  // Returns the new position; a position before 0 raises EXLSError.
  int64_t Seek(int64_t offset, SeekOrigin origin);
  int64_t Position() const { return static_cast<int64_t>(pos_); }
  uint64_t Size() const { return data_.size(); }
  const Bytes& Data() const { return data_; }
  Bytes& MutableData() { return data_; }

 private:
  Bytes data_;
  size_t pos_ = 0;
};

// A storage: named streams and sub-storages. Names are compared as the format compares them
// (case-insensitively, shorter names first).
class Storage {
 public:
  Storage();
  ~Storage();
  Storage(const Storage&) = delete;
  Storage& operator=(const Storage&) = delete;

  // The entries in the order of the file's directory tree (in-order walk), or creation order
  // for a storage built in memory.
  std::vector<EntryInfo> Entries() const;
  bool HasEntry(std::u16string_view name) const;

  // Raise EXLSError when the entry does not exist or is of the other kind.
  Stream& OpenStream(std::u16string_view name);
  Storage& OpenStorage(std::u16string_view name);
  // Raise EXLSError when an entry of that name exists already (names at most 31 characters).
  Stream& CreateStream(std::u16string_view name);
  Storage& CreateStorage(std::u16string_view name);

  // Copies every stream and sub-storage of this storage, recursively, into dest.
  void CopyTo(Storage& dest) const;

  uint8_t clsid[16] = {};  // kept from the file and written back
  uint32_t stateBits = 0;

 private:
  struct Entry;
  std::vector<std::unique_ptr<Entry>> entries_;
  std::unordered_map<std::u16string, Entry*> byName_;  // upper-cased name → entry
  Entry* Find(std::u16string_view name) const;
  Entry* Add(std::unique_ptr<Entry> entry);   // null when the name exists already
  bool Contains(const Storage* other) const;  // other is this storage or one below it
  friend class CompoundFile;
  friend struct StorageAccess;
};

class CompoundFile {
 public:
  // True when the file/bytes start with the compound-file signature.
  static bool IsCompoundFile(const std::string& path);
  static bool IsCompoundData(std::span<const uint8_t> data);

  // Reading (versions 3 and 4). Raise EXLSError on a damaged or non-compound file.
  static std::unique_ptr<CompoundFile> OpenRead(const std::string& path);
  static std::unique_ptr<CompoundFile> OpenRead(std::span<const uint8_t> data);

  // Writing: an empty compound file, written to the path (or kept in memory) on Commit.
  static std::unique_ptr<CompoundFile> Create(const std::string& path);
  static std::unique_ptr<CompoundFile> CreateInMemory();

  Storage& Root() { return root_; }

  // Serialises the tree as a version 3 file (mini stream and DIFAT as the sizes require); for a
  // file created at a path, writes it there.
  void Commit();
  // The bytes of the file as last committed (commits first when nothing was committed yet).
  Bytes GetBytes();

 private:
  CompoundFile() = default;
  Storage root_;
  std::string path_;
  Bytes bytes_;
  bool committed_ = false;
};

}  // namespace xls::cfb
