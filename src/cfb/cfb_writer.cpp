// Serialising a storage tree as a compound file. Layout: header, FAT sectors, DIFAT sectors,
// directory, mini FAT, mini stream, then the regular streams, each chain contiguous. Each
// storage's children form a balanced binary tree coloured as a valid red-black tree.
#include <algorithm>
#include <cstring>
#include <vector>

#include "cfb/cfb_format.h"
#include "cfb/cfb_internal.h"
#include "platform/codec.h"
#include "platform/error.h"

namespace xls::cfb {
namespace {

struct Node {
  const StorageAccess::Entry* entry = nullptr;  // null for the root
  const Storage* storage = nullptr;             // set for the root and storages
  uint8_t type = kTypeUnused;
  uint8_t color = kBlack;
  uint32_t left = kNoStream;
  uint32_t right = kNoStream;
  uint32_t child = kNoStream;
  uint32_t start = kEndOfChain;
  uint64_t size = 0;
  bool mini = false;
};

class Writer {
 public:
  Writer(const Storage& root, uint16_t major)
      : major_(major), sectorSize_(major == 4 ? 4096 : 512) {
    Node r;
    r.type = kTypeRoot;
    r.storage = &root;
    nodes_.push_back(r);
    AddChildren(0);
  }

  Bytes Run() {
    PlaceStreams();
    return Emit();
  }

 private:
  // ---- directory tree ----

  void AddChildren(uint32_t storageNode) {
    const Storage& storage = *nodes_[storageNode].storage;
    const auto& entries = StorageAccess::Entries(storage);
    if (entries.empty()) return;
    std::vector<uint32_t> children;
    for (const auto& e : entries) {
      Node n;
      n.entry = e.get();
      if (e->kind == EntryKind::Storage) {
        n.type = kTypeStorage;
        n.storage = e->storage.get();
      } else {
        n.type = kTypeStream;
      }
      children.push_back(static_cast<uint32_t>(nodes_.size()));
      nodes_.push_back(n);
    }
    std::sort(children.begin(), children.end(), [this](uint32_t a, uint32_t b) {
      return CompareNames(nodes_[a].entry->name, nodes_[b].entry->name) < 0;
    });
    // A tree built by halving has every empty link at depth L or L+1 (L = floor(log2(n+1)),
    // depth counted in nodes). Colouring the nodes below depth L red gives each path L black
    // nodes, and red nodes only have empty links below them.
    int fullDepth = 0;
    while ((size_t{2} << fullDepth) - 1 <= children.size()) ++fullDepth;
    nodes_[storageNode].child = BuildTree(children, 0, children.size(), 1, fullDepth);
    for (uint32_t c : children)
      if (nodes_[c].type == kTypeStorage) AddChildren(c);
  }

  uint32_t BuildTree(const std::vector<uint32_t>& sorted, size_t lo, size_t hi, int depth,
                     int fullDepth) {
    if (lo >= hi) return kNoStream;
    const size_t mid = lo + (hi - lo) / 2;
    const uint32_t n = sorted[mid];
    nodes_[n].color = depth > fullDepth ? kRed : kBlack;
    nodes_[n].left = BuildTree(sorted, lo, mid, depth + 1, fullDepth);
    nodes_[n].right = BuildTree(sorted, mid + 1, hi, depth + 1, fullDepth);
    return n;
  }

  // ---- sector layout ----

  static uint64_t Ceil(uint64_t a, uint64_t b) { return (a + b - 1) / b; }

  void PlaceStreams() {
    for (auto& n : nodes_) {
      if (n.type != kTypeStream) continue;
      n.size = n.entry->stream->Size();
      if (major_ == 3 && n.size > 0xFFFFFFFFu)
        Raise(Format("Compound file: stream \"%s\" is too large for a version 3 file",
                     Utf16ToUtf8(n.entry->name).c_str()));
      if (n.size == 0) continue;
      if (n.size < kMiniStreamCutoff) {
        n.mini = true;
        n.start = static_cast<uint32_t>(miniFat_.size());
        const uint64_t count = Ceil(n.size, kMiniSectorSize);
        for (uint64_t i = 0; i < count; ++i)
          miniFat_.push_back(i + 1 < count ? n.start + static_cast<uint32_t>(i) + 1 : kEndOfChain);
      } else {
        bigSectors_ += Ceil(n.size, sectorSize_);
      }
    }
    miniStreamSize_ = miniFat_.size() * kMiniSectorSize;
    dirSectors_ = Ceil(nodes_.size() * kDirEntrySize, sectorSize_);
    miniFatSectors_ = Ceil(miniFat_.size() * 4, sectorSize_);
    miniStreamSectors_ = Ceil(miniStreamSize_, sectorSize_);
    const uint64_t data = dirSectors_ + miniFatSectors_ + miniStreamSectors_ + bigSectors_;
    // The FAT covers itself and the DIFAT: grow both until they stop changing.
    const uint64_t perFat = sectorSize_ / 4;
    for (;;) {
      const uint64_t fat = Ceil(data + fatSectors_ + difatSectors_, perFat);
      const uint64_t difat =
          fat > kHeaderDifatEntries ? Ceil(fat - kHeaderDifatEntries, perFat - 1) : 0;
      if (fat == fatSectors_ && difat == difatSectors_) break;
      fatSectors_ = fat;
      difatSectors_ = difat;
    }
    totalSectors_ = fatSectors_ + difatSectors_ + data;
    if (totalSectors_ > kMaxRegSect) Raise("Compound file: too much data for one file");
  }

  Bytes Emit() {
    const size_t ss = sectorSize_;
    Bytes out((static_cast<size_t>(totalSectors_) + 1) * ss, 0);
    auto sectorAt = [&](uint64_t s) { return out.data() + (static_cast<size_t>(s) + 1) * ss; };

    std::vector<uint32_t> fat(static_cast<size_t>(fatSectors_ * (ss / 4)), kFreeSect);
    uint32_t next = 0;
    auto allocate = [&](uint64_t count, uint32_t mark) {
      const uint32_t first = count ? next : kEndOfChain;
      for (uint64_t i = 0; i < count; ++i, ++next)
        fat[next] = mark != 0 ? mark : (i + 1 < count ? next + 1 : kEndOfChain);
      return first;
    };
    const uint32_t firstFat = allocate(fatSectors_, kFatSect);
    const uint32_t firstDifat = allocate(difatSectors_, kDifSect);
    const uint32_t firstDir = allocate(dirSectors_, 0);
    const uint32_t firstMiniFat = allocate(miniFatSectors_, 0);
    const uint32_t firstMiniStream = allocate(miniStreamSectors_, 0);
    nodes_[0].start = miniStreamSize_ ? firstMiniStream : kEndOfChain;
    nodes_[0].size = miniStreamSize_;

    // Stream data.
    for (auto& n : nodes_) {
      if (n.type != kTypeStream || n.size == 0) continue;
      const Bytes& data = n.entry->stream->Data();
      if (n.mini) {
        std::memcpy(sectorAt(firstMiniStream) + size_t{n.start} * kMiniSectorSize, data.data(),
                    data.size());
      } else {
        n.start = allocate(Ceil(n.size, ss), 0);
        std::memcpy(sectorAt(n.start), data.data(), data.size());
      }
    }
    // Mini FAT.
    for (size_t i = 0; i < miniFat_.size(); ++i)
      PutU32(sectorAt(firstMiniFat) + 4 * i, miniFat_[i]);
    if (miniFatSectors_)
      for (size_t i = miniFat_.size(); i < miniFatSectors_ * (ss / 4); ++i)
        PutU32(sectorAt(firstMiniFat) + 4 * i, kFreeSect);
    // Directory.
    const size_t dirSlots = static_cast<size_t>(dirSectors_ * (ss / kDirEntrySize));
    for (size_t i = 0; i < dirSlots; ++i) {
      uint8_t* e = sectorAt(firstDir) + i * kDirEntrySize;
      if (i < nodes_.size())
        WriteEntry(e, nodes_[i]);
      else
        WriteEntry(e, Node{});
    }
    // FAT and DIFAT.
    for (size_t i = 0; i < fat.size(); ++i) PutU32(sectorAt(firstFat) + 4 * i, fat[i]);
    const size_t perDifat = ss / 4 - 1;
    for (uint64_t d = 0; d < difatSectors_; ++d) {
      uint8_t* p = sectorAt(firstDifat + d);
      for (size_t i = 0; i < perDifat; ++i) {
        const uint64_t k = kHeaderDifatEntries + d * perDifat + i;
        PutU32(p + 4 * i, k < fatSectors_ ? firstFat + static_cast<uint32_t>(k) : kFreeSect);
      }
      PutU32(p + 4 * perDifat,
             d + 1 < difatSectors_ ? firstDifat + static_cast<uint32_t>(d) + 1 : kEndOfChain);
    }
    // Header.
    uint8_t* h = out.data();
    std::memcpy(h, kSignature, sizeof kSignature);
    PutU16(h + kOffMinorVersion, kMinorVersion);
    PutU16(h + kOffMajorVersion, major_);
    PutU16(h + kOffByteOrder, kByteOrderMark);
    PutU16(h + kOffSectorShift, major_ == 4 ? 12 : 9);
    PutU16(h + kOffMiniSectorShift, kMiniSectorShift);
    PutU32(h + kOffNumDirSectors, major_ == 4 ? static_cast<uint32_t>(dirSectors_) : 0);
    PutU32(h + kOffNumFatSectors, static_cast<uint32_t>(fatSectors_));
    PutU32(h + kOffFirstDirSector, firstDir);
    PutU32(h + kOffMiniStreamCutoff, static_cast<uint32_t>(kMiniStreamCutoff));
    PutU32(h + kOffFirstMiniFatSector, firstMiniFat);
    PutU32(h + kOffNumMiniFatSectors, static_cast<uint32_t>(miniFatSectors_));
    PutU32(h + kOffFirstDifatSector, firstDifat);
    PutU32(h + kOffNumDifatSectors, static_cast<uint32_t>(difatSectors_));
    for (size_t i = 0; i < kHeaderDifatEntries; ++i)
      PutU32(h + kOffHeaderDifat + 4 * i,
             i < fatSectors_ ? firstFat + static_cast<uint32_t>(i) : kFreeSect);
    return out;
  }

  void WriteEntry(uint8_t* e, const Node& n) const {
    PutU32(e + kDirOffLeft, n.left);
    PutU32(e + kDirOffRight, n.right);
    PutU32(e + kDirOffChild, n.child);
    if (n.type == kTypeUnused) return;
    const std::u16string name = n.entry ? n.entry->name : u"Root Entry";
    for (size_t i = 0; i < name.size(); ++i) PutU16(e + 2 * i, name[i]);
    PutU16(e + kDirOffNameLength, static_cast<uint16_t>((name.size() + 1) * 2));
    e[kDirOffType] = n.type;
    e[kDirOffColor] = n.color;
    if (n.storage) {
      std::memcpy(e + kDirOffClsid, n.storage->clsid, sizeof n.storage->clsid);
      PutU32(e + kDirOffStateBits, n.storage->stateBits);
    }
    PutU32(e + kDirOffStartSector, n.start);
    PutU64(e + kDirOffSize, n.size);
  }

  uint16_t major_;
  size_t sectorSize_;
  std::vector<Node> nodes_;
  std::vector<uint32_t> miniFat_;
  uint64_t miniStreamSize_ = 0;
  uint64_t bigSectors_ = 0;
  uint64_t dirSectors_ = 0;
  uint64_t miniFatSectors_ = 0;
  uint64_t miniStreamSectors_ = 0;
  uint64_t fatSectors_ = 0;
  uint64_t difatSectors_ = 0;
  uint64_t totalSectors_ = 0;
};

}  // namespace

Bytes SerializeCompoundFile(const Storage& root, uint16_t majorVersion) {
  if (majorVersion != 3 && majorVersion != 4)
    Raise(Format("Compound file: cannot write version %u", majorVersion));
  return Writer(root, majorVersion).Run();
}

}  // namespace xls::cfb
