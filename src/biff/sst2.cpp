#include "biff/sst2.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "biff/biff_recs.h"
#include "biff/xls_stream.h"
#include "platform/bytes.h"
#include "platform/error.h"
#include "workbook/xls_fonts.h"

namespace xls {

namespace {

constexpr int kSSTHeaderSize = 8;         // total count, unique count
constexpr int kMinStringSpace = 15;       // a string header is not started in less space
constexpr int kExtSSTStrings = 8222 / 8;  // the bucket size divides the strings this way
constexpr int kMinBucketSize = 8;
constexpr int kRunSize = 4;
constexpr const char* kMissingContinue = "CONTINUE record is missing in SST";

bool ValidFlags(uint8_t flags) {
  return (flags & ~(kSSTWide | kSSTFarEast | kSSTRichText)) == 0;
}

// Reads the SST body and its CONTINUE records one physical record at a time.
class TSSTReader {
 public:
  TSSTReader(TXLSStream& stream, int bodyLength) : stream_(stream) { Load(bodyLength); }

  int Left() const { return static_cast<int>(body_.size() - pos_); }
  // Starts the next physical record, which must be a CONTINUE.
  void NextRecord() {
    TBIFFHeader h;
    if (stream_.ReadHeader(h) < kRecordHeaderSize || h.RecID != BIFFRECID_CONTINUE)
      Raise(kMissingContinue);
    Load(h.Length);
  }
  // Bytes that may run on into CONTINUE records without a width byte.
  void Bytes(uint8_t* dst, size_t n) {
    while (n > 0) {
      if (Left() == 0) NextRecord();
      const size_t k = std::min(n, static_cast<size_t>(Left()));
      std::memcpy(dst, body_.data() + pos_, k);
      pos_ += k;
      dst += k;
      n -= k;
    }
  }
  void Append(std::vector<uint8_t>& out, size_t n) {
    while (n > 0) {
      if (Left() == 0) NextRecord();
      const size_t k = std::min(n, static_cast<size_t>(Left()));
      out.insert(out.end(), body_.begin() + pos_, body_.begin() + pos_ + k);
      pos_ += k;
      n -= k;
    }
  }
  uint8_t U8() {
    uint8_t b;
    Bytes(&b, 1);
    return b;
  }
  uint16_t U16() {
    uint8_t b[2];
    Bytes(b, 2);
    return GetU16(b);
  }
  uint32_t U32() {
    uint8_t b[4];
    Bytes(b, 4);
    return GetU32(b);
  }
  // Characters: a continued character run starts its record with a width byte.
  void Chars(std::u16string& out, size_t count, bool& wide, bool& anyWide) {
    out.clear();
    out.reserve(count);
    while (out.size() < count) {
      if (Left() == 0) {
        NextRecord();
        wide = (U8() & kSSTWide) != 0;
      }
      const size_t unit = wide ? 2 : 1;
      const size_t k = std::min(count - out.size(), static_cast<size_t>(Left()) / unit);
      if (k == 0) Raise("SST: a 16-bit character is split across records");
      const uint8_t* p = body_.data() + pos_;
      for (size_t i = 0; i < k; ++i) out.push_back(wide ? GetU16(p + 2 * i) : p[i]);
      pos_ += k * unit;
      anyWide = anyWide || wide;
    }
  }
  // Skips what is left of the current record.
  void Finish() { pos_ = body_.size(); }

 private:
  void Load(int length) {
    body_.resize(static_cast<size_t>(length));
    pos_ = 0;
    if (length > 0 && stream_.Read(body_.data(), length) != length)
      Raise("SST record is truncated");
  }
  TXLSStream& stream_;
  std::vector<uint8_t> body_;
  size_t pos_ = 0;
};

// Builds one physical record at a time and writes it when it is finished.
class TSSTWriter {
 public:
  TSSTWriter(TXLSStream& stream, int limit) : stream_(stream), limit_(limit) {
    Start(BIFFRECID_SST);
  }

  int Space() const { return space_; }
  int64_t RecordStart() const { return recordStart_; }
  int BodySize() const { return static_cast<int>(body_.Size()); }
  void Put(const void* p, size_t n) {
    body_.Append(p, n);
    space_ -= static_cast<int>(n);
  }
  void U8(uint8_t v) { Put(&v, 1); }
  void U16(uint16_t v) {
    uint8_t b[2];
    PutU16(b, v);
    Put(b, 2);
  }
  void U32(uint32_t v) {
    uint8_t b[4];
    PutU32(b, v);
    Put(b, 4);
  }
  // Leaves a byte of the space unused (not written, not counted in the length).
  void Waste() { --space_; }
  void Flush() {
    stream_.WriteHeader(id_, static_cast<uint16_t>(body_.Size()));
    stream_.WriteRaw(body_.Buffer().data(), static_cast<int>(body_.Size()));
  }
  void Continue() {
    Flush();
    Start(BIFFRECID_CONTINUE);
  }

 private:
  void Start(uint16_t id) {
    id_ = id;
    recordStart_ = stream_.Position();
    body_.Buffer().clear();
    space_ = limit_;
  }
  TXLSStream& stream_;
  int limit_;
  uint16_t id_ = 0;
  int64_t recordStart_ = 0;
  int space_ = 0;
  ByteWriter body_;
};

}  // namespace

uint32_t SSTHash(const uint8_t* bytes, size_t count) {
  uint32_t h = 0;
  for (size_t i = 0; i < count; ++i) {
    h = (h << 4) + bytes[i];
    const uint32_t g = h & 0xF0000000u;
    if (g != 0) h ^= g >> 24;
    h &= ~g;
  }
  return h;
}

// ---------------------------------------------------------------------------------------------
// TSSTEntry

size_t TSSTEntry::RunsOffset() const {
  const size_t end = sizeof(TSSTEntry) + CharByteCount();
  return (end + alignof(TRun) - 1) / alignof(TRun) * alignof(TRun);
}

size_t TSSTEntry::BlockSize(uint16_t charCount, uint8_t flags, uint16_t runCount,
                            int32_t farEastSize) {
  const size_t chars = static_cast<size_t>(charCount) * ((flags & kSSTWide) ? 2 : 1);
  const size_t runsAt =
      (sizeof(TSSTEntry) + chars + alignof(TRun) - 1) / alignof(TRun) * alignof(TRun);
  return runsAt + runCount * sizeof(TRun) + static_cast<size_t>(farEastSize);
}

TSSTEntry::TPtr TSSTEntry::Create(uint16_t charCount, uint8_t flags, uint16_t runCount,
                                  int32_t farEastSize) {
  if (!(flags & kSSTRichText)) runCount = 0;
  if (!(flags & kSSTFarEast) || farEastSize < 0) farEastSize = 0;
  const size_t size = BlockSize(charCount, flags, runCount, farEastSize);
  void* block = ::operator new(size);
  std::memset(block, 0, size);
  TSSTEntry* e = new (block) TSSTEntry();
  e->charCount_ = charCount;
  e->flags_ = flags;
  e->runCount_ = runCount;
  e->farEastSize_ = farEastSize;
  return TPtr(e);
}

void TSSTEntry::TDeleter::operator()(TSSTEntry* e) const noexcept {
  e->~TSSTEntry();
  ::operator delete(static_cast<void*>(e));
}

// ---------------------------------------------------------------------------------------------
// TSST2

TSST2::TSST2(TXFonts* fonts) : recordLimit_(kMaxRecordBody8), fonts_(fonts) {}

TSST2::~TSST2() = default;

std::u16string TSST2::GetText(const TSSTEntry& entry) {
  std::u16string s(entry.CharCount(), u'\0');
  const uint8_t* p = entry.CharBytes();
  if (entry.IsWide())
    for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<char16_t>(GetU16(p + 2 * i));
  else
    for (size_t i = 0; i < s.size(); ++i) s[i] = p[i];
  return s;
}

namespace {
size_t SlotOf(uint32_t hash, size_t mask) {
  return (static_cast<size_t>(hash) * 0x9E3779B97F4A7C15ull >> 20) & mask;
}
}  // namespace

TSSTEntry* TSST2::Find(std::u16string_view text, bool wide, uint32_t hash) const {
  const size_t mask = lookup_.size() - 1;
  for (size_t i = SlotOf(hash, mask);; i = (i + 1) & mask) {
    const TSlot& slot = lookup_[i];
    if (!slot.entry) return nullptr;
    const TSSTEntry& e = *slot.entry;
    if (slot.hash == hash && e.CharCount() == text.size() && e.IsWide() == wide &&
        std::memcmp(e.CharBytes(), scratch_.data(), scratch_.size()) == 0)
      return slot.entry;
  }
}

void TSST2::LookupInsert(TSSTEntry* e) {
  if ((lookupUsed_ + 1) * 2 > lookup_.size()) {
    std::vector<TSlot> old = std::move(lookup_);
    lookup_.assign(std::max<size_t>(64, old.size() * 2), TSlot{0, nullptr});
    lookupUsed_ = 0;
    for (const TSlot& slot : old)
      if (slot.entry) LookupInsert(slot.entry);
  }
  const size_t mask = lookup_.size() - 1;
  size_t i = SlotOf(e->hash_, mask);
  while (lookup_[i].entry) i = (i + 1) & mask;
  lookup_[i] = {e->hash_, e};
  ++lookupUsed_;
}

TSSTEntry* TSST2::AddString(std::u16string_view text) {
  if (text.size() > 0xFFFF) Raise("A shared string can not hold more than 65535 characters");
  const bool wide = std::any_of(text.begin(), text.end(), [](char16_t c) { return c > 0xFF; });
  // The character bytes and their hash first: a text that is already there costs no allocation.
  scratch_.resize(text.size() * (wide ? 2 : 1));
  for (size_t i = 0; i < text.size(); ++i) {
    if (wide)
      PutU16(&scratch_[2 * i], text[i]);
    else
      scratch_[i] = static_cast<uint8_t>(text[i]);
  }
  const uint32_t hash = SSTHash(scratch_.data(), scratch_.size());
  ++totalCount_;
  if (!loadMode_) {
    EnsureLookup();
    if (TSSTEntry* found = Find(text, wide, hash)) {
      found->AddRef();
      return found;
    }
  }
  auto entry = TSSTEntry::Create(static_cast<uint16_t>(text.size()), wide ? kSSTWide : 0, 0, 0);
  if (!scratch_.empty()) std::memcpy(entry->MutableChars(), scratch_.data(), scratch_.size());
  entry->hash_ = hash;
  entry->refCount_ = 1;
  return Append(std::move(entry));
}

TSSTEntry* TSST2::Append(TSSTEntry::TPtr entry) {
  TSSTEntry* e = entry.get();
  e->index_ = Count();
  if (!loadMode_) {
    if (!entries_.empty() && entries_.back()->hash_ > e->hash_) orderDirty_ = true;
    if (lookupValid_) LookupInsert(e);
  } else {
    lookupValid_ = false;
  }
  entries_.push_back(std::move(entry));
  return e;
}

void TSST2::EnsureLookup() {
  if (lookupValid_) return;
  lookup_.assign(64, TSlot{0, nullptr});
  lookupUsed_ = 0;
  for (const auto& e : entries_) LookupInsert(e.get());
  lookupValid_ = true;
}

void TSST2::EnsureOrder() {
  if (!orderDirty_) return;
  std::stable_sort(entries_.begin(), entries_.end(),
                   [](const auto& a, const auto& b) { return a->hash_ < b->hash_; });
  for (int i = 0; i < Count(); ++i) entries_[i]->index_ = i;
  orderDirty_ = false;
}

TSSTEntry* TSST2::Items(int index) {
  EnsureOrder();
  if (index < 0 || index >= Count())
    Raise(Format("Shared string index %d is outside the table (%d strings)", index, Count()));
  return entries_[index].get();
}

int32_t TSST2::IndexOf(const TSSTEntry& entry) {
  EnsureOrder();
  return entry.index_;
}

void TSST2::EndLoad() {
  loadMode_ = false;
  orderDirty_ = true;
  EnsureOrder();
}

void TSST2::Clear() {
  entries_.clear();
  lookup_.clear();
  lookupUsed_ = 0;
  extSST_ = {};
  totalCount_ = 0;
  loadMode_ = false;
  orderDirty_ = false;
  lookupValid_ = false;
}

void TSST2::ReadSST(TXLSStream& stream, int bodyLength) {
  TSSTReader r(stream, bodyLength);
  if (r.Left() < kSSTHeaderSize) Raise("SST record is too short");
  totalCount_ = static_cast<int32_t>(r.U32());
  const uint32_t unique = r.U32();
  std::u16string chars;
  std::vector<uint8_t> runs, farEast;
  for (uint32_t n = 0; n < unique; ++n) {
    if (r.Left() == 0) r.NextRecord();
    const uint16_t charCount = r.U16();
    uint8_t flags = r.U8();
    if (!ValidFlags(flags)) Raise(Format("STT: Unhandled string type in Read (%.2X)", flags));
    const uint16_t runCount = (flags & kSSTRichText) ? r.U16() : 0;
    const uint32_t farEastSize = (flags & kSSTFarEast) ? r.U32() : 0;
    if (farEastSize > INT32_MAX) Raise("SST: far-east data size is out of range");
    bool wide = (flags & kSSTWide) != 0, anyWide = false;
    r.Chars(chars, charCount, wide, anyWide);
    runs.clear();
    farEast.clear();
    // Read before allocating: a bogus size fails at the end of the data, not at allocation.
    r.Append(runs, static_cast<size_t>(runCount) * kRunSize);
    r.Append(farEast, farEastSize);
    flags = static_cast<uint8_t>(anyWide ? (flags | kSSTWide) : (flags & ~kSSTWide));
    auto e = TSSTEntry::Create(charCount, flags, runCount, static_cast<int32_t>(farEastSize));
    uint8_t* p = e->MutableChars();
    for (size_t i = 0; i < chars.size(); ++i) {
      if (anyWide)
        PutU16(p + 2 * i, chars[i]);
      else
        p[i] = static_cast<uint8_t>(chars[i]);
    }
    TSSTEntry::TRun* run = e->Runs();
    for (uint16_t i = 0; i < e->RunCount(); ++i) {
      run[i].FirstChar = GetU16(&runs[i * kRunSize]);
      run[i].FontIndex = GetU16(&runs[i * kRunSize + 2]);
      run[i].Font = fonts_ ? fonts_->FindAt(run[i].FontIndex) : nullptr;
      if (run[i].Font) ++run[i].Font->UsageCount;
    }
    if (!farEast.empty())
      std::memcpy(e->Base() + e->FarEastOffset(), farEast.data(), farEast.size());
    e->hash_ = SSTHash(p, e->CharByteCount());
    e->refCount_ = 0;
    Append(std::move(e));
  }
  r.Finish();
}

void TSST2::WriteSST(TXLSStream& stream) {
  if (!fonts_) Raise("Can not write SST when FFonts = Nil");
  EnsureOrder();
  const int unique = Count();
  extSST_.Buckets.clear();
  extSST_.BucketSize = std::max(unique / kExtSSTStrings + 1, kMinBucketSize);

  TSSTWriter w(stream, recordLimit_);
  w.U32(static_cast<uint32_t>(totalCount_));
  w.U32(static_cast<uint32_t>(unique));
  for (int i = 0; i < unique; ++i) {
    const TSSTEntry& e = *entries_[i];
    if (w.Space() <= kMinStringSpace) w.Continue();
    if (i % extSST_.BucketSize == 0) {
      const int64_t pos = w.RecordStart() + kRecordHeaderSize + w.BodySize();
      extSST_.Buckets.push_back(
          {static_cast<int32_t>(pos), static_cast<uint16_t>(pos - w.RecordStart())});
    }
    const uint8_t flags = e.Flags();
    if (!ValidFlags(flags))
      Raise(Format("STT: Unhandled string type in Write (%.2X) # %d", flags, i));
    w.U16(e.CharCount());
    w.U8(flags);
    if (flags & kSSTRichText) w.U16(e.RunCount());
    if (flags & kSSTFarEast) w.U32(static_cast<uint32_t>(e.FarEastSize()));

    const bool wide = e.IsWide();
    const uint8_t* p = e.CharBytes();
    size_t left = e.CharByteCount();
    while (left > static_cast<size_t>(std::max(w.Space(), 0))) {
      if (wide && (w.Space() & 1)) w.Waste();  // never split a 16-bit character
      const size_t k = static_cast<size_t>(std::max(w.Space(), 0));
      w.Put(p, k);
      p += k;
      left -= k;
      w.Continue();
      w.U8(wide ? kSSTWide : 0);
    }
    w.Put(p, left);

    for (uint16_t r = 0; r < e.RunCount(); ++r) {
      if (w.Space() < kRunSize) w.Continue();
      const TSSTEntry::TRun& run = e.Runs()[r];
      w.U16(run.FirstChar);
      w.U16(run.Font ? static_cast<uint16_t>(run.Font->Index()) : run.FontIndex);
    }

    const uint8_t* fe = e.FarEast();
    size_t feLeft = static_cast<size_t>(e.FarEastSize());
    while (feLeft > 0) {
      if (w.Space() <= 0) w.Continue();
      const size_t k = std::min(feLeft, static_cast<size_t>(w.Space()));
      w.Put(fe, k);
      fe += k;
      feLeft -= k;
    }
  }
  w.Flush();

  ByteWriter ext;
  ext.U16(static_cast<uint16_t>(extSST_.BucketSize));
  for (const TExtSST::TBucket& b : extSST_.Buckets) {
    ext.U32(static_cast<uint32_t>(b.StreamPos));
    ext.U16(b.RecordOffset);
    ext.U16(0);
  }
  stream.WriteHeader(BIFFRECID_EXTSST, static_cast<uint16_t>(ext.Size()));
  stream.WriteRaw(ext.Buffer().data(), static_cast<int>(ext.Size()));
  extSST_.Buckets.clear();
}

}  // namespace xls
