// Reading a compound file from untrusted bytes. Every sector number is checked against the
// file, every sector is claimed by at most one chain (which also catches loops), directory links
// are checked against the directory and each entry may be reached once; all data is copied out
// so memory stays proportional to the file.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "cfb/cfb_format.h"
#include "cfb/cfb_internal.h"
#include "platform/codec.h"
#include "platform/error.h"

namespace xls::cfb {
namespace {

constexpr int kMaxStorageDepth = 128;

class Parser {
 public:
  explicit Parser(std::span<const uint8_t> data) : data_(data) {}

  void Run(Storage& root) {
    ReadHeader();
    ReadFat();
    ReadDirectory();
    ReadRoot(root);
  }

 private:
  // ---- sectors and chains ----

  // Registers a structure that owns sectors; the id is used to attribute each sector.
  uint32_t NewOwner(std::string what) {
    owners_.push_back(std::move(what));
    return static_cast<uint32_t>(owners_.size());  // 0 means "free"
  }
  const std::string& OwnerName(uint32_t id) const { return owners_[id - 1]; }

  // Marks a sector as part of owner's chain: outside the file, already part of this chain (a
  // loop) and part of another chain are all damage.
  void Claim(std::vector<uint32_t>& owner, uint32_t sector, uint32_t id, size_t count,
             const char* unit) {
    if (sector >= count)
      Raise(Format("Compound file: %s refers to %s %u, outside the %zu %ss of the file",
                   OwnerName(id).c_str(), unit, sector, count, unit));
    if (owner[sector] == id)
      Raise(Format("Compound file: the chain of the %s loops at %s %u", OwnerName(id).c_str(), unit,
                   sector));
    if (owner[sector] != 0)
      Raise(Format("Compound file: %s %u belongs to both the %s and the %s", unit, sector,
                   OwnerName(owner[sector]).c_str(), OwnerName(id).c_str()));
    owner[sector] = id;
  }
  void ClaimSector(uint32_t sector, uint32_t id) {
    Claim(sectorOwner_, sector, id, numSectors_, "sector");
  }

  // Copies up to n bytes of a sector; the part of a short last sector beyond the end of the file
  // reads as zeros.
  void CopySector(uint32_t sector, uint8_t* dst, size_t n) const {
    const size_t offset = (static_cast<size_t>(sector) + 1) * sectorSize_;
    const size_t avail = offset < data_.size() ? std::min(n, data_.size() - offset) : 0;
    if (avail) std::memcpy(dst, data_.data() + offset, avail);
    if (avail < n) std::memset(dst + avail, 0, n - avail);
  }

  // Follows a chain through table (FAT or mini FAT), claiming each sector. Stops at the end of
  // the chain or after maxLength sectors.
  std::vector<uint32_t> Chain(const std::vector<uint32_t>& table, std::vector<uint32_t>& owner,
                              size_t count, const char* unit, uint32_t start, uint32_t id,
                              size_t maxLength) {
    std::vector<uint32_t> chain;
    uint32_t s = start;
    while (chain.size() < maxLength && s != kEndOfChain && s != kFreeSect) {
      if (s > kMaxRegSect)
        Raise(Format("Compound file: the chain of the %s holds the marker %08X after %zu %ss",
                     OwnerName(id).c_str(), s, chain.size(), unit));
      Claim(owner, s, id, count, unit);
      chain.push_back(s);
      if (s >= table.size())
        Raise(Format("Compound file: %s %u of the %s has no allocation table entry", unit, s,
                     OwnerName(id).c_str()));
      s = table[s];
    }
    return chain;
  }
  std::vector<uint32_t> SectorChain(uint32_t start, uint32_t id, size_t maxLength = SIZE_MAX) {
    return Chain(fat_, sectorOwner_, numSectors_, "sector", start, id, maxLength);
  }

  // Reads `size` bytes through a sector chain of the FAT.
  Bytes ReadChainData(uint32_t start, uint64_t size, uint32_t id) {
    // Compared before rounding up: a 64-bit size near the top would overflow.
    if (size > uint64_t{numSectors_} * sectorSize_)
      Raise(Format("Compound file: the %s claims %llu bytes, more than the file holds",
                   OwnerName(id).c_str(), static_cast<unsigned long long>(size)));
    const uint64_t needed = (size + sectorSize_ - 1) / sectorSize_;
    const auto chain = SectorChain(start, id, static_cast<size_t>(needed));
    if (chain.size() < needed)
      Raise(
          Format("Compound file: the chain of the %s ends after %zu sectors; its %llu bytes "
                 "need %llu",
                 OwnerName(id).c_str(), chain.size(), static_cast<unsigned long long>(size),
                 static_cast<unsigned long long>(needed)));
    Bytes out(static_cast<size_t>(size));
    for (size_t i = 0; i < chain.size(); ++i) {
      const size_t at = i * sectorSize_;
      CopySector(chain[i], out.data() + at, std::min(sectorSize_, out.size() - at));
    }
    return out;
  }

  // ---- header, DIFAT, FAT ----

  void ReadHeader() {
    if (data_.size() < kHeaderSize)
      Raise(Format("Compound file is truncated: the header needs %zu bytes, the file has %zu",
                   kHeaderSize, data_.size()));
    const uint8_t* h = data_.data();
    if (std::memcmp(h, kSignature, sizeof kSignature) != 0)
      Raise("Not a compound file: the signature is missing");
    if (GetU16(h + kOffByteOrder) != kByteOrderMark)
      Raise(Format("Compound file header: byte order mark %04X instead of FFFE",
                   GetU16(h + kOffByteOrder)));
    major_ = GetU16(h + kOffMajorVersion);
    if (major_ != 3 && major_ != 4)
      Raise(Format("Compound file header: version %u is not supported", major_));
    const uint16_t shift = GetU16(h + kOffSectorShift);
    if (shift != 9 && shift != 12)
      Raise(Format("Compound file header: sector shift %u is not 9 or 12", shift));
    sectorSize_ = size_t{1} << shift;
    if (GetU16(h + kOffMiniSectorShift) != kMiniSectorShift)
      Raise(Format("Compound file header: mini sector shift %u is not 6",
                   GetU16(h + kOffMiniSectorShift)));
    if (GetU32(h + kOffMiniStreamCutoff) != kMiniStreamCutoff)
      Raise(Format("Compound file header: mini stream cutoff %u is not 4096",
                   GetU32(h + kOffMiniStreamCutoff)));
    // A trailing partial sector counts; its missing bytes read as zeros.
    const size_t body = data_.size() > sectorSize_ ? data_.size() - sectorSize_ : 0;
    const size_t sectors = (body + sectorSize_ - 1) / sectorSize_;
    if (sectors > size_t{kMaxRegSect} + 1) Raise("Compound file: the file is too large");
    numSectors_ = sectors;
    sectorOwner_.assign(numSectors_, 0);
  }

  void ReadFat() {
    const uint8_t* h = data_.data();
    const uint32_t numFat = GetU32(h + kOffNumFatSectors);
    if (numFat > numSectors_)
      Raise(Format("Compound file header: %u FAT sectors in a file of %zu sectors", numFat,
                   numSectors_));
    std::vector<uint32_t> fatSectors;
    fatSectors.reserve(numFat);
    for (size_t i = 0; i < kHeaderDifatEntries && fatSectors.size() < numFat; ++i) {
      const uint32_t s = GetU32(h + kOffHeaderDifat + 4 * i);
      if (s == kFreeSect || s == kEndOfChain) break;
      fatSectors.push_back(s);
    }
    // The DIFAT chain continues the list; its last slot in each sector links the next one.
    const uint32_t difatId = NewOwner("DIFAT");
    uint32_t next = GetU32(h + kOffFirstDifatSector);
    const size_t perSector = sectorSize_ / 4 - 1;
    Bytes sector(sectorSize_);
    while (fatSectors.size() < numFat && next != kEndOfChain && next != kFreeSect) {
      if (next > kMaxRegSect)
        Raise(Format("Compound file: the DIFAT chain holds the marker %08X", next));
      ClaimSector(next, difatId);
      CopySector(next, sector.data(), sectorSize_);
      for (size_t i = 0; i < perSector && fatSectors.size() < numFat; ++i) {
        const uint32_t s = GetU32(sector.data() + 4 * i);
        if (s == kFreeSect || s == kEndOfChain) break;
        fatSectors.push_back(s);
      }
      next = GetU32(sector.data() + 4 * perSector);
    }
    if (fatSectors.empty() && numFat > 0) Raise("Compound file: the FAT has no sectors listed");
    // Some writers announce more FAT sectors than they list; the FAT then ends early and any
    // chain that needs a missing entry fails on its own.
    const uint32_t fatId = NewOwner("FAT");
    const size_t perFat = sectorSize_ / 4;
    fat_.resize(fatSectors.size() * perFat);
    for (size_t i = 0; i < fatSectors.size(); ++i) {
      const uint32_t s = fatSectors[i];
      if (s > kMaxRegSect)
        Raise(Format("Compound file: FAT sector number %zu holds the marker %08X", i, s));
      ClaimSector(s, fatId);
      CopySector(s, sector.data(), sectorSize_);
      for (size_t j = 0; j < perFat; ++j) fat_[i * perFat + j] = GetU32(sector.data() + 4 * j);
    }
  }

  // ---- directory ----

  void ReadDirectory() {
    const uint32_t dirId = NewOwner("directory");
    const auto chain = SectorChain(GetU32(data_.data() + kOffFirstDirSector), dirId);
    if (chain.empty()) Raise("Compound file: the directory has no sectors");
    dir_.resize(chain.size() * sectorSize_);
    for (size_t i = 0; i < chain.size(); ++i)
      CopySector(chain[i], dir_.data() + i * sectorSize_, sectorSize_);
    numEntries_ = dir_.size() / kDirEntrySize;
    reached_.assign(numEntries_, 0);
  }

  const uint8_t* DirEntry(uint32_t index) const { return dir_.data() + index * kDirEntrySize; }

  uint64_t EntrySize(const uint8_t* e) const {
    const uint64_t size = GetU64(e + kDirOffSize);
    // Version 3 files keep 32-bit sizes; some writers leave garbage in the high half.
    return major_ == 3 ? (size & 0xFFFFFFFFu) : size;
  }

  std::u16string EntryName(uint32_t index) const {
    const uint8_t* e = DirEntry(index);
    const uint16_t nameBytes = GetU16(e + kDirOffNameLength);
    if (nameBytes > 64 || nameBytes % 2 != 0)
      Raise(Format("Compound file: directory entry %u has a name length of %u bytes", index,
                   nameBytes));
    std::u16string name;
    for (size_t i = 0; i + 1 < nameBytes; i += 2) {
      const char16_t c = static_cast<char16_t>(GetU16(e + i));
      if (c == 0) break;
      name.push_back(c);
    }
    if (name.empty()) Raise(Format("Compound file: directory entry %u has no name", index));
    return name;
  }

  uint32_t CheckLink(uint32_t from, uint32_t link, const char* what) const {
    if (link != kNoStream && link >= numEntries_)
      Raise(
          Format("Compound file: the %s link of directory entry %u points to entry %u, "
                 "outside the %zu entries of the directory",
                 what, from, link, numEntries_));
    return link;
  }

  void ReadRoot(Storage& root) {
    const uint8_t* e = DirEntry(0);
    if (e[kDirOffType] != kTypeRoot)
      Raise(Format("Compound file: directory entry 0 has type %u, not the root type 5",
                   e[kDirOffType]));
    reached_[0] = 1;
    rootStart_ = GetU32(e + kDirOffStartSector);
    rootSize_ = EntrySize(e);
    std::memcpy(root.clsid, e + kDirOffClsid, sizeof root.clsid);
    root.stateBits = GetU32(e + kDirOffStateBits);
    ReadStorage(0, root, 0);
  }

  // Walks the red-black tree under a storage entry in order (left, node, right). The colours are
  // not checked; the walk only relies on the links, each entry being reached at most once.
  void ReadStorage(uint32_t storageIndex, Storage& into, int depth) {
    if (depth > kMaxStorageDepth)
      Raise(Format("Compound file: storages nested deeper than %d levels at directory entry %u",
                   kMaxStorageDepth, storageIndex));
    std::vector<uint32_t> stack;
    uint32_t cur = CheckLink(storageIndex, GetU32(DirEntry(storageIndex) + kDirOffChild), "child");
    uint32_t parent = storageIndex;
    while (cur != kNoStream || !stack.empty()) {
      while (cur != kNoStream) {
        Reach(parent, cur);
        stack.push_back(cur);
        parent = cur;
        cur = CheckLink(cur, GetU32(DirEntry(cur) + kDirOffLeft), "left");
      }
      const uint32_t node = stack.back();
      stack.pop_back();
      AddEntry(node, into, depth);
      parent = node;
      cur = CheckLink(node, GetU32(DirEntry(node) + kDirOffRight), "right");
    }
  }

  void Reach(uint32_t from, uint32_t index) {
    if (reached_[index])
      Raise(
          Format("Compound file: directory entry %u is linked a second time from entry %u "
                 "(the directory has a cycle)",
                 index, from));
    reached_[index] = 1;
    const uint8_t type = DirEntry(index)[kDirOffType];
    if (type != kTypeStorage && type != kTypeStream)
      Raise(Format("Compound file: directory entry %u, linked from entry %u, has type %u", index,
                   from, type));
  }

  void AddEntry(uint32_t index, Storage& into, int depth) {
    const uint8_t* e = DirEntry(index);
    auto entry = std::make_unique<StorageAccess::Entry>();
    entry->name = EntryName(index);
    if (e[kDirOffType] == kTypeStorage) {
      entry->kind = EntryKind::Storage;
      entry->storage = std::make_unique<Storage>();
      std::memcpy(entry->storage->clsid, e + kDirOffClsid, sizeof entry->storage->clsid);
      entry->storage->stateBits = GetU32(e + kDirOffStateBits);
    } else {
      entry->kind = EntryKind::Stream;
      entry->stream = std::make_unique<Stream>();
    }
    const std::u16string name = entry->name;
    StorageAccess::Entry* added = StorageAccess::Add(into, std::move(entry));
    if (!added)
      Raise(Format("Compound file: directory entry %u repeats the name \"%s\" in its storage",
                   index, Utf16ToUtf8(name).c_str()));
    if (added->storage)
      ReadStorage(index, *added->storage, depth + 1);
    else
      added->stream->MutableData() = ReadStreamData(index);
  }

  // ---- stream data ----

  Bytes ReadStreamData(uint32_t index) {
    const uint8_t* e = DirEntry(index);
    const uint64_t size = EntrySize(e);
    const uint32_t start = GetU32(e + kDirOffStartSector);
    if (size == 0) return {};
    const uint32_t id = NewOwner(
        Format("stream \"%s\" (directory entry %u)", Utf16ToUtf8(EntryName(index)).c_str(), index));
    if (size >= kMiniStreamCutoff) return ReadChainData(start, size, id);
    LoadMiniStream();
    const uint64_t needed = (size + kMiniSectorSize - 1) / kMiniSectorSize;
    const auto chain = Chain(miniFat_, miniOwner_, miniOwner_.size(), "mini sector", start, id,
                             static_cast<size_t>(needed));
    if (chain.size() < needed)
      Raise(
          Format("Compound file: the mini chain of the %s ends after %zu mini sectors; its "
                 "%llu bytes need %llu",
                 OwnerName(id).c_str(), chain.size(), static_cast<unsigned long long>(size),
                 static_cast<unsigned long long>(needed)));
    Bytes out(static_cast<size_t>(size));
    for (size_t i = 0; i < chain.size(); ++i) {
      const size_t at = i * kMiniSectorSize;
      // Claim() checked the mini sector against miniOwner_, which covers miniStream_.
      std::memcpy(out.data() + at, miniStream_.data() + size_t{chain[i]} * kMiniSectorSize,
                  std::min(kMiniSectorSize, out.size() - at));
    }
    return out;
  }

  void LoadMiniStream() {
    if (miniLoaded_) return;
    miniLoaded_ = true;
    const uint32_t streamId = NewOwner("mini stream");
    miniStream_ = ReadChainData(rootStart_, rootSize_, streamId);
    // Pad to whole mini sectors so that a sloppy size still covers its last mini sector.
    miniStream_.resize((miniStream_.size() + kMiniSectorSize - 1) / kMiniSectorSize *
                       kMiniSectorSize);
    miniOwner_.assign(miniStream_.size() / kMiniSectorSize, 0);

    const uint32_t miniFatId = NewOwner("mini FAT");
    const auto chain = SectorChain(GetU32(data_.data() + kOffFirstMiniFatSector), miniFatId);
    miniFat_.resize(chain.size() * (sectorSize_ / 4));
    Bytes sector(sectorSize_);
    for (size_t i = 0; i < chain.size(); ++i) {
      CopySector(chain[i], sector.data(), sectorSize_);
      for (size_t j = 0; j < sectorSize_ / 4; ++j)
        miniFat_[i * (sectorSize_ / 4) + j] = GetU32(sector.data() + 4 * j);
    }
  }

  std::span<const uint8_t> data_;
  uint16_t major_ = 3;
  size_t sectorSize_ = 512;
  size_t numSectors_ = 0;
  std::vector<uint32_t> fat_;
  std::vector<uint32_t> sectorOwner_;
  std::vector<std::string> owners_;
  Bytes dir_;
  size_t numEntries_ = 0;
  std::vector<uint8_t> reached_;
  uint32_t rootStart_ = kEndOfChain;
  uint64_t rootSize_ = 0;
  bool miniLoaded_ = false;
  Bytes miniStream_;
  std::vector<uint32_t> miniFat_;
  std::vector<uint32_t> miniOwner_;
};

}  // namespace

void ParseCompoundFile(std::span<const uint8_t> data, Storage& root) {
  Parser parser(data);
  parser.Run(root);
}

}  // namespace xls::cfb
