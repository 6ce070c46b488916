// The shared string table (SST). Every text of a string cell lives once in the workbook's table; a
// cell refers to an entry. Texts added by the program are de-duplicated; texts read from a file
// keep their exact BIFF8 form (8-bit or 16-bit characters, rich-text runs, far-east data).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace xls {

class TXFonts;
class TXFont;
class TXLSStream;

// Option flags of a BIFF8 string, exactly as in the file.
inline constexpr uint8_t kSSTWide = 0x01;      // 16-bit characters
inline constexpr uint8_t kSSTFarEast = 0x04;   // far-east (phonetic) data follows
inline constexpr uint8_t kSSTRichText = 0x08;  // formatting runs follow

// One table entry: a single heap block with the header, the characters, the runs and the far-east
// bytes contiguous.
class TSSTEntry {
 public:
  struct TRun {
    uint16_t FirstChar;
    uint16_t FontIndex;  // as read; used when Font is none
    TXFont* Font;        // the font of the workbook's list, or none
  };

  uint32_t Hash() const { return hash_; }
  int32_t RefCount() const { return refCount_; }
  void AddRef() { ++refCount_; }
  uint16_t CharCount() const { return charCount_; }
  uint8_t Flags() const { return flags_; }
  bool IsWide() const { return flags_ & kSSTWide; }
  uint16_t RunCount() const { return runCount_; }
  int32_t FarEastSize() const { return farEastSize_; }

  // Character count bytes (8-bit) or twice that (16-bit, UTF-16LE).
  const uint8_t* CharBytes() const { return reinterpret_cast<const uint8_t*>(this + 1); }
  size_t CharByteCount() const { return static_cast<size_t>(charCount_) * (IsWide() ? 2 : 1); }
  const TRun* Runs() const { return reinterpret_cast<const TRun*>(Base() + RunsOffset()); }
  TRun* Runs() { return reinterpret_cast<TRun*>(Base() + RunsOffset()); }
  const uint8_t* FarEast() const { return Base() + FarEastOffset(); }

  struct TDeleter {
    void operator()(TSSTEntry* e) const noexcept;
  };
  using TPtr = std::unique_ptr<TSSTEntry, TDeleter>;
  // Allocates an entry with room for the characters, runs and far-east bytes (all zero).
  static TPtr Create(uint16_t charCount, uint8_t flags, uint16_t runCount, int32_t farEastSize);

 private:
  friend class TSST2;
  TSSTEntry() = default;
  uint8_t* Base() { return reinterpret_cast<uint8_t*>(this); }
  const uint8_t* Base() const { return reinterpret_cast<const uint8_t*>(this); }
  uint8_t* MutableChars() { return reinterpret_cast<uint8_t*>(this + 1); }
  size_t RunsOffset() const;
  size_t FarEastOffset() const { return RunsOffset() + runCount_ * sizeof(TRun); }
  static size_t BlockSize(uint16_t charCount, uint8_t flags, uint16_t runCount,
                          int32_t farEastSize);

  int32_t index_ = 0;
  uint32_t hash_ = 0;
  int32_t refCount_ = 0;
  uint16_t charCount_ = 0;
  uint8_t flags_ = 0;
  uint16_t runCount_ = 0;
  int32_t farEastSize_ = 0;
};

// EXTSST bucket list built while writing.
struct TExtSST {
  struct TBucket {
    int32_t StreamPos;
    uint16_t RecordOffset;
  };
  std::vector<TBucket> Buckets;
  int32_t BucketSize = 0;
};

// ELF hash over character bytes.
uint32_t SSTHash(const uint8_t* bytes, size_t count);

class TSST2 {
 public:
  explicit TSST2(TXFonts* fonts = nullptr);
  ~TSST2();
  TSST2(const TSST2&) = delete;
  TSST2& operator=(const TSST2&) = delete;

  TXFonts* Fonts() const { return fonts_; }
  void SetFonts(TXFonts* fonts) { fonts_ = fonts; }
  int32_t RecordLimit() const { return recordLimit_; }
  void SetRecordLimit(int32_t limit) { recordLimit_ = limit; }
  int32_t TotalCount() const { return totalCount_; }
  bool LoadMode() const { return loadMode_; }
  int Count() const { return static_cast<int>(entries_.size()); }

  // Adds one reference to the text: an existing equal entry (outside load mode), or a new entry.
  // Characters all below 256 are stored 8-bit.
  TSSTEntry* AddString(std::u16string_view text);
  static std::u16string GetText(const TSSTEntry& entry);
  // The entry at a position of the list (ordered by hash outside load mode).
  TSSTEntry* Items(int index);
  // The entry's position in the list.
  int32_t IndexOf(const TSSTEntry& entry);
  void BeginLoad() { loadMode_ = true; }
  // Leaves load mode and orders the list by hash.
  void EndLoad();
  // Reads the SST body (the stream is positioned after the SST header) and its CONTINUE records.
  void ReadSST(TXLSStream& stream, int bodyLength);
  // Writes SST, its CONTINUE records and EXTSST.
  void WriteSST(TXLSStream& stream);
  // The buckets of the last write (emptied when the write ends).
  const TExtSST& ExtSST() const { return extSST_; }
  void Clear();

 private:
  TSSTEntry* Append(TSSTEntry::TPtr entry);
  void EnsureOrder();
  void EnsureLookup();
  // Looks for the character bytes held in scratch_.
  TSSTEntry* Find(std::u16string_view text, bool wide, uint32_t hash) const;

  std::vector<TSSTEntry::TPtr> entries_;
  TExtSST extSST_;
  int32_t totalCount_ = 0;
  int32_t recordLimit_;
  TXFonts* fonts_;
  bool loadMode_ = false;
  // Entries added outside load mode are appended and the list is put in hash order when a
  // position is next needed; the lookup by hash spares the scan of the list.
  bool orderDirty_ = false;
  bool lookupValid_ = false;
  // Open addressing over (hash, entry) slots, at most half full; empty slots hold no entry.
  struct TSlot {
    uint32_t hash;
    TSSTEntry* entry;
  };
  void LookupInsert(TSSTEntry* e);
  std::vector<TSlot> lookup_;
  size_t lookupUsed_ = 0;
  std::vector<uint8_t> scratch_;
};

}  // namespace xls
