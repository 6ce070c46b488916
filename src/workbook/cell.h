// Cells: one class per kind of value, each with a shared cell format. Cells of a sheet live in its
// TCellStorage, which allocates them from its own pools.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "workbook/formatted_object.h"

namespace xls {

class TSSTEntry;
class TCell;
class TCellAllocator;

enum TCellKind : uint8_t {
  ckNone = 0,
  ckBlank = 1,
  ckFloat = 4,
  ckString = 5,
  ckBoolean = 6,
  ckError = 7,
  ckNumberFormula = 8,
  ckStringFormula = 9,
  ckBooleanFormula = 10,
  ckErrorFormula = 11,
  ckArrayFormula = 12,
};

enum TCellError : uint8_t { ceNone, ceNull, ceDiv0, ceValue, ceRef, ceName, ceNum, ceNA };

// File error code -> internal value: the seven codes map, anything else is ceNone.
TCellError CellErrorFromCode(uint8_t code);
// Internal value -> file error code: ceNull..ceNum map, anything else (ceNA too) is 0x2A.
uint8_t CellErrorToCode(TCellError error);
// "#NULL!" .. "#N/A"; ceNone gives "[int] No error value".
std::u16string_view CellErrorText(TCellError error);

inline constexpr int kMaxCol = 255;
inline constexpr int kMaxRow = 65535;
inline constexpr uint32_t kMaxCellKey = (static_cast<uint32_t>(kMaxRow) << 8) | kMaxCol;

inline constexpr uint32_t MakeCellKey(int col, int row) {
  return (static_cast<uint32_t>(row) << 8) | (static_cast<uint32_t>(col) & 0xFF);
}

// Frees a cell through the allocator that made it (none: the heap).
struct TCellDeleter {
  TCellAllocator* Allocator = nullptr;
  void operator()(TCell* cell) const noexcept;
};
template <class T>
using TCellPtrT = std::unique_ptr<T, TCellDeleter>;
using TCellPtr = TCellPtrT<TCell>;

class TCell : public TFormattedObject {
 public:
  TCell(TCellFormats& formats, uint32_t key, int xfIndex)
      : TFormattedObject(formats, xfIndex), key_(key) {}

  uint32_t Key() const { return key_; }
  int Col() const { return static_cast<int>(key_ & 0xFF); }
  int Row() const { return static_cast<int>(key_ >> 8); }

  virtual TCellKind CellKind() const = 0;
  // A new cell of the same class with the same key, value and format, made by the allocator
  // (none: the heap).
  virtual TCellPtr Clone(TCellAllocator* allocator = nullptr) const = 0;

 protected:
  // Copies take their own use of the format.
  TCell(const TCell& other) : TFormattedObject(other.CellFormat()), key_(other.key_) {}

 private:
  friend class TCellStorage;
  uint32_t key_;
};

class TBlankCell : public TCell {
 public:
  TBlankCell(TCellFormats& formats, uint32_t key, int xfIndex) : TCell(formats, key, xfIndex) {}
  TCellKind CellKind() const override { return ckBlank; }
  TCellPtr Clone(TCellAllocator* allocator = nullptr) const override;

 protected:
  TBlankCell(const TBlankCell&) = default;
  friend class TCellAllocator;
};

class TFloatCell : public TCell {
 public:
  TFloatCell(TCellFormats& formats, uint32_t key, double value, int xfIndex)
      : TCell(formats, key, xfIndex), Value(value) {}
  TCellKind CellKind() const override { return ckFloat; }
  TCellPtr Clone(TCellAllocator* allocator = nullptr) const override;
  double Value;

 protected:
  TFloatCell(const TFloatCell&) = default;
  friend class TCellAllocator;
};

class TStringCell : public TCell {
 public:
  TStringCell(TCellFormats& formats, uint32_t key, TSSTEntry* entry, int xfIndex)
      : TCell(formats, key, xfIndex), entry_(entry) {}
  TCellKind CellKind() const override { return ckString; }
  // The copy adds a reference to the shared string.
  TCellPtr Clone(TCellAllocator* allocator = nullptr) const override;
  TSSTEntry* Entry() const { return entry_; }
  std::u16string Text() const;

 protected:
  TStringCell(const TStringCell&) = default;
  friend class TCellAllocator;

 private:
  TSSTEntry* entry_;
};

class TBooleanCell : public TCell {
 public:
  TBooleanCell(TCellFormats& formats, uint32_t key, uint8_t value, int xfIndex)
      : TCell(formats, key, xfIndex), Value(value) {}
  TCellKind CellKind() const override { return ckBoolean; }
  TCellPtr Clone(TCellAllocator* allocator = nullptr) const override;
  uint8_t Value;

 protected:
  TBooleanCell(const TBooleanCell&) = default;
  friend class TCellAllocator;
};

class TErrorCell : public TCell {
 public:
  TErrorCell(TCellFormats& formats, uint32_t key, TCellError value, int xfIndex)
      : TCell(formats, key, xfIndex), Value(value) {}
  TCellKind CellKind() const override { return ckError; }
  TCellPtr Clone(TCellAllocator* allocator = nullptr) const override;
  TCellError Value;

 protected:
  TErrorCell(const TErrorCell&) = default;
  friend class TCellAllocator;
};

// A formula: its parsed-expression tokens (an owned copy). The result is set by the creator.
class TFormulaCell : public TCell {
 public:
  TFormulaCell(TCellFormats& formats, uint32_t key, uint32_t tokenLength, const uint8_t* tokens,
               int xfIndex);
  std::span<const uint8_t> Tokens() const { return {tokens_.get(), tokenLength_}; }
  uint32_t TokenLength() const { return tokenLength_; }
  // The bytes that follow the tokens in the record: the values of array constants, in token
  // order. Written back after the tokens.
  std::span<const uint8_t> ExtraData() const {
    return {tokens_.get() + tokenLength_, extraLength_};
  }
  void SetExtraData(std::span<const uint8_t> extra);

 protected:
  TFormulaCell(const TFormulaCell& other);

 private:
  uint32_t tokenLength_;  // beside the key in the base's padding
  uint32_t extraLength_ = 0;
  std::unique_ptr<uint8_t[]> tokens_;  // the tokens, then the extra data
};

class TNumberFormulaCell : public TFormulaCell {
 public:
  using TFormulaCell::TFormulaCell;
  TCellKind CellKind() const override { return ckNumberFormula; }
  TCellPtr Clone(TCellAllocator* allocator = nullptr) const override;
  double Result = 0;

 protected:
  TNumberFormulaCell(const TNumberFormulaCell&) = default;
  friend class TCellAllocator;
};

class TStringFormulaCell : public TFormulaCell {
 public:
  using TFormulaCell::TFormulaCell;
  TCellKind CellKind() const override { return ckStringFormula; }
  TCellPtr Clone(TCellAllocator* allocator = nullptr) const override;
  std::u16string Result;

 protected:
  TStringFormulaCell(const TStringFormulaCell&) = default;
  friend class TCellAllocator;
};

class TBooleanFormulaCell : public TFormulaCell {
 public:
  using TFormulaCell::TFormulaCell;
  TCellKind CellKind() const override { return ckBooleanFormula; }
  TCellPtr Clone(TCellAllocator* allocator = nullptr) const override;
  uint8_t Result = 0;

 protected:
  TBooleanFormulaCell(const TBooleanFormulaCell&) = default;
  friend class TCellAllocator;
};

class TErrorFormulaCell : public TFormulaCell {
 public:
  using TFormulaCell::TFormulaCell;
  TCellKind CellKind() const override { return ckErrorFormula; }
  TCellPtr Clone(TCellAllocator* allocator = nullptr) const override;
  TCellError Result = ceNone;

 protected:
  TErrorFormulaCell(const TErrorFormulaCell&) = default;
  friend class TCellAllocator;
};

// An array formula: tokens, the 8 raw result bytes of the FORMULA record (written back unchanged)
// and the body of its ARRAY record.
class TArrayFormulaCell : public TFormulaCell {
 public:
  TArrayFormulaCell(TCellFormats& formats, uint32_t key, uint32_t arrayLength,
                    const uint8_t* arrayBody, uint32_t tokenLength, const uint8_t* tokens,
                    int xfIndex);
  TCellKind CellKind() const override { return ckArrayFormula; }
  TCellPtr Clone(TCellAllocator* allocator = nullptr) const override;
  std::span<const uint8_t> ArrayBody() const { return {array_.get(), arrayLength_}; }
  uint8_t Result[8] = {};
  // The cached text when the result bytes say the result is a text (the STRING record's).
  std::u16string ResultText;

 protected:
  TArrayFormulaCell(const TArrayFormulaCell& other);
  friend class TCellAllocator;

 private:
  uint32_t arrayLength_;
  std::unique_ptr<uint8_t[]> array_;
};

// Fixed-size pools for cells (and raw blocks for the storage's tables), so that a sheet of a
// million cells costs no per-cell heap overhead. Not thread-safe.
class TCellAllocator {
 public:
  TCellAllocator();
  ~TCellAllocator();
  TCellAllocator(const TCellAllocator&) = delete;
  TCellAllocator& operator=(const TCellAllocator&) = delete;

  template <class T, class... Args>
  TCellPtrT<T> New(Args&&... args) {
    void* p = Allocate(sizeof(T));
    try {
      T* cell = ::new (p) T(std::forward<Args>(args)...);
      ++live_;
      return TCellPtrT<T>(cell, TCellDeleter{this});
    } catch (...) {
      Free(p, sizeof(T));
      throw;
    }
  }
  // Copy construction of a cell into an allocator, or onto the heap without one (used by Clone).
  template <class T>
  static TCellPtr CopyTo(TCellAllocator* allocator, const T& cell) {
    if (!allocator) return TCellPtr(std::unique_ptr<T>(new T(cell)).release(), TCellDeleter{});
    return allocator->Copy(cell);
  }
  template <class T>
  TCellPtr Copy(const T& cell) {
    void* p = Allocate(sizeof(T));
    try {
      T* copy = ::new (p) T(cell);
      ++live_;
      return TCellPtr(copy, TCellDeleter{this});
    } catch (...) {
      Free(p, sizeof(T));
      throw;
    }
  }
  void Destroy(TCell* cell) noexcept;
  // Zero-filled raw memory, released only by ReleaseBlocks.
  void* AllocateBlock(size_t size);
  void ReleaseBlocks();
  // Cells made and not yet destroyed.
  size_t Live() const { return live_; }
  // Gives the cell pools' memory back; only when no cell is alive.
  void Trim();

 private:
  static constexpr size_t kGranule = 8;
  static constexpr size_t kClasses = 16;  // up to 128-byte objects
  struct Pool {
    void* free = nullptr;
    uint8_t* next = nullptr;
    uint8_t* end = nullptr;
    size_t slabSize = 0;
  };
  void* Allocate(size_t size);
  void Free(void* p, size_t size) noexcept;
  uint8_t* NewSlab(size_t size, std::vector<std::unique_ptr<uint8_t[]>>& slabs);

  Pool pools_[kClasses];
  std::vector<std::unique_ptr<uint8_t[]>> slabs_;
  Pool blocks_;
  std::vector<std::unique_ptr<uint8_t[]>> blockSlabs_;
  size_t live_ = 0;
};

// A cell of any class made by an allocator or, with none, on the heap.
template <class T, class... Args>
TCellPtrT<T> MakeCell(TCellAllocator* allocator, Args&&... args) {
  if (allocator) return allocator->New<T>(std::forward<Args>(args)...);
  return TCellPtrT<T>(std::make_unique<T>(std::forward<Args>(args)...).release(), TCellDeleter{});
}

}  // namespace xls
