#include "workbook/cell.h"

#include <algorithm>
#include <cstring>

#include "biff/sst2.h"

namespace xls {

namespace {

constexpr uint8_t kErrorCodes[] = {0x00, 0x07, 0x0F, 0x17, 0x1D, 0x24, 0x2A};  // ceNull..ceNA
constexpr std::u16string_view kErrorTexts[] = {u"[int] No error value",
                                               u"#NULL!",
                                               u"#DIV/0!",
                                               u"#VALUE!",
                                               u"#REF!",
                                               u"#NAME?",
                                               u"#NUM!",
                                               u"#N/A"};
constexpr uint8_t kErrorCodeNA = 0x2A;

std::unique_ptr<uint8_t[]> CopyBytes(const uint8_t* data, uint32_t length) {
  if (length == 0) return nullptr;
  auto out = std::make_unique<uint8_t[]>(length);
  if (data) std::memcpy(out.get(), data, length);
  return out;
}

}  // namespace

TCellError CellErrorFromCode(uint8_t code) {
  for (int i = 0; i < 7; ++i)
    if (kErrorCodes[i] == code) return static_cast<TCellError>(i + 1);
  return ceNone;
}

uint8_t CellErrorToCode(TCellError error) {
  if (error >= ceNull && error <= ceNum) return kErrorCodes[error - 1];
  return kErrorCodeNA;
}

std::u16string_view CellErrorText(TCellError error) {
  return error <= ceNA ? kErrorTexts[error] : kErrorTexts[ceNone];
}

void TCellDeleter::operator()(TCell* cell) const noexcept {
  if (Allocator)
    Allocator->Destroy(cell);
  else
    delete cell;
}

// ---------------------------------------------------------------------------------------------
// Cell classes

TCellPtr TBlankCell::Clone(TCellAllocator* a) const {
  return TCellAllocator::CopyTo(a, *this);
}
TCellPtr TFloatCell::Clone(TCellAllocator* a) const {
  return TCellAllocator::CopyTo(a, *this);
}
TCellPtr TBooleanCell::Clone(TCellAllocator* a) const {
  return TCellAllocator::CopyTo(a, *this);
}
TCellPtr TErrorCell::Clone(TCellAllocator* a) const {
  return TCellAllocator::CopyTo(a, *this);
}

TCellPtr TStringCell::Clone(TCellAllocator* a) const {
  TCellPtr copy = TCellAllocator::CopyTo(a, *this);
  if (entry_) entry_->AddRef();
  return copy;
}

std::u16string TStringCell::Text() const {
  return entry_ ? TSST2::GetText(*entry_) : u"";
}

TFormulaCell::TFormulaCell(TCellFormats& formats, uint32_t key, uint32_t tokenLength,
                           const uint8_t* tokens, int xfIndex)
    : TCell(formats, key, xfIndex),
      tokenLength_(tokenLength),
      tokens_(CopyBytes(tokens, tokenLength)) {}

TFormulaCell::TFormulaCell(const TFormulaCell& other)
    : TCell(other),
      tokenLength_(other.tokenLength_),
      extraLength_(other.extraLength_),
      tokens_(CopyBytes(other.tokens_.get(), other.tokenLength_ + other.extraLength_)) {}

void TFormulaCell::SetExtraData(std::span<const uint8_t> extra) {
  auto buffer = std::make_unique<uint8_t[]>(tokenLength_ + extra.size());
  if (tokenLength_) std::memcpy(buffer.get(), tokens_.get(), tokenLength_);
  if (!extra.empty()) std::memcpy(buffer.get() + tokenLength_, extra.data(), extra.size());
  tokens_ = std::move(buffer);
  extraLength_ = static_cast<uint32_t>(extra.size());
}

TCellPtr TNumberFormulaCell::Clone(TCellAllocator* a) const {
  return TCellAllocator::CopyTo(a, *this);
}
TCellPtr TStringFormulaCell::Clone(TCellAllocator* a) const {
  return TCellAllocator::CopyTo(a, *this);
}
TCellPtr TBooleanFormulaCell::Clone(TCellAllocator* a) const {
  return TCellAllocator::CopyTo(a, *this);
}
TCellPtr TErrorFormulaCell::Clone(TCellAllocator* a) const {
  return TCellAllocator::CopyTo(a, *this);
}

TArrayFormulaCell::TArrayFormulaCell(TCellFormats& formats, uint32_t key, uint32_t arrayLength,
                                     const uint8_t* arrayBody, uint32_t tokenLength,
                                     const uint8_t* tokens, int xfIndex)
    : TFormulaCell(formats, key, tokenLength, tokens, xfIndex),
      arrayLength_(arrayLength),
      array_(CopyBytes(arrayBody, arrayLength)) {}

TArrayFormulaCell::TArrayFormulaCell(const TArrayFormulaCell& other)
    : TFormulaCell(other),
      arrayLength_(other.arrayLength_),
      array_(CopyBytes(other.array_.get(), other.arrayLength_)) {
  std::memcpy(Result, other.Result, sizeof Result);
}

TCellPtr TArrayFormulaCell::Clone(TCellAllocator* a) const {
  return TCellAllocator::CopyTo(a, *this);
}

// ---------------------------------------------------------------------------------------------
// TCellAllocator

namespace {
constexpr size_t kFirstSlab = 1024;
constexpr size_t kMaxSlab = 256 * 1024;
constexpr size_t kFirstBlockSlab = 4096;

size_t CellSize(const TCell& cell) {
  switch (cell.CellKind()) {
    case ckBlank:
      return sizeof(TBlankCell);
    case ckFloat:
      return sizeof(TFloatCell);
    case ckString:
      return sizeof(TStringCell);
    case ckBoolean:
      return sizeof(TBooleanCell);
    case ckError:
      return sizeof(TErrorCell);
    case ckNumberFormula:
      return sizeof(TNumberFormulaCell);
    case ckStringFormula:
      return sizeof(TStringFormulaCell);
    case ckBooleanFormula:
      return sizeof(TBooleanFormulaCell);
    case ckErrorFormula:
      return sizeof(TErrorFormulaCell);
    case ckArrayFormula:
      return sizeof(TArrayFormulaCell);
    case ckNone:
      break;
  }
  return 0;
}
}  // namespace

TCellAllocator::TCellAllocator() = default;
TCellAllocator::~TCellAllocator() = default;

uint8_t* TCellAllocator::NewSlab(size_t size, std::vector<std::unique_ptr<uint8_t[]>>& slabs) {
  slabs.push_back(std::make_unique<uint8_t[]>(size));  // value-initialised: zero-filled
  return slabs.back().get();
}

void* TCellAllocator::Allocate(size_t size) {
  const size_t cls = (size + kGranule - 1) / kGranule;
  if (cls >= kClasses) return ::operator new(size);
  Pool& pool = pools_[cls];
  if (pool.free) {
    void* p = pool.free;
    pool.free = *static_cast<void**>(p);
    return p;
  }
  const size_t slot = cls * kGranule;
  if (pool.next == nullptr || pool.next + slot > pool.end) {
    pool.slabSize = std::min(pool.slabSize ? pool.slabSize * 2 : kFirstSlab, kMaxSlab);
    const size_t bytes = pool.slabSize / slot * slot;
    pool.next = NewSlab(bytes, slabs_);
    pool.end = pool.next + bytes;
  }
  void* p = pool.next;
  pool.next += slot;
  return p;
}

void TCellAllocator::Free(void* p, size_t size) noexcept {
  const size_t cls = (size + kGranule - 1) / kGranule;
  if (cls >= kClasses) {
    ::operator delete(p);
    return;
  }
  *static_cast<void**>(p) = pools_[cls].free;
  pools_[cls].free = p;
}

void TCellAllocator::Destroy(TCell* cell) noexcept {
  const size_t size = CellSize(*cell);
  cell->~TCell();
  Free(cell, size);
  --live_;
}

void TCellAllocator::Trim() {
  if (live_ != 0) return;
  for (Pool& pool : pools_) pool = Pool{};
  slabs_.clear();
}

void* TCellAllocator::AllocateBlock(size_t size) {
  size = (size + kGranule - 1) / kGranule * kGranule;
  if (blocks_.next == nullptr || blocks_.next + size > blocks_.end) {
    blocks_.slabSize = std::max(
        std::min(blocks_.slabSize ? blocks_.slabSize * 2 : kFirstBlockSlab, kMaxSlab), size);
    blocks_.next = NewSlab(blocks_.slabSize, blockSlabs_);
    blocks_.end = blocks_.next + blocks_.slabSize;
  }
  void* p = blocks_.next;
  blocks_.next += size;
  return p;
}

void TCellAllocator::ReleaseBlocks() {
  blocks_ = Pool{};
  blockSlabs_.clear();
}

}  // namespace xls
