// Internals shared by the compound-file reader, writer and tree: the entry record behind Storage
// and the two conversions between a Storage tree and the bytes of a file.
#pragma once

#include <memory>
#include <span>
#include <string>

#include "cfb/compound_file.h"

namespace xls::cfb {

struct Storage::Entry {
  std::u16string name;
  EntryKind kind = EntryKind::Stream;
  std::unique_ptr<Stream> stream;    // set for streams
  std::unique_ptr<Storage> storage;  // set for storages
};

// Access to a storage's entries for the reader and the writer.
struct StorageAccess {
  using Entry = Storage::Entry;
  // Adds an entry; null when its name exists already in the storage.
  static Entry* Add(Storage& s, std::unique_ptr<Entry> e) { return s.Add(std::move(e)); }
  static const std::vector<std::unique_ptr<Entry>>& Entries(const Storage& s) { return s.entries_; }
};

// Parses the bytes of a compound file (version 3 or 4) into root, which must be empty. Every
// damage raises EXLSError.
void ParseCompoundFile(std::span<const uint8_t> data, Storage& root);

// Serialises the tree below root as a compound file with 512-byte sectors (majorVersion 3) or
// 4096-byte sectors (majorVersion 4).
Bytes SerializeCompoundFile(const Storage& root, uint16_t majorVersion = 3);

}  // namespace xls::cfb
