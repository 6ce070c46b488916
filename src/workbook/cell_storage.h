// The cells of a sheet in a sparse four-level table keyed by the cell key (row << 8 | column):
// 256 row groups (row high byte) -> 256 rows (row low byte) -> 16 column groups -> 16 cells.
// Blocks are made on the first store into them and freed only by ClearCells and destruction.
#pragma once

#include <array>
#include <cstdint>

#include "workbook/cell.h"

namespace xls {

class TCellStorage {
 public:
  TCellStorage();
  ~TCellStorage();
  TCellStorage(const TCellStorage&) = delete;
  TCellStorage& operator=(const TCellStorage&) = delete;

  // Cells stored here are made by this storage's allocator.
  template <class T, class... Args>
  TCellPtrT<T> NewCell(Args&&... args) {
    return allocator_.New<T>(std::forward<Args>(args)...);
  }
  TCellAllocator& Allocator() { return allocator_; }
  TCellDeleter Deleter() { return TCellDeleter{&allocator_}; }

  // The cell at the key, or none.
  TCell* FindCell(uint32_t key) {
    if (cache_ && cache_->key_ == key) return cache_;
    if (key > kMaxCellKey) return nullptr;
    const TRowGroup* g = root_[key >> 16];
    if (!g) return nullptr;
    const TRowBlock* r = (*g)[(key >> 8) & 0xFF];
    if (!r) return nullptr;
    const TColGroup* c = (*r)[(key >> 4) & 0xF];
    if (!c) return nullptr;
    TCell* cell = (*c)[key & 0xF];
    if (cell) cache_ = cell;
    return cell;
  }
  TCell* FindCell(int col, int row) { return FindCell(MakeCellKey(col, row)); }

  // Stores the cell at the key (none deletes). A cell that replaces another takes over the old
  // cell's format; storing the cell that is already there changes nothing. The cell must come
  // from this storage's allocator.
  void SetCell(uint32_t key, TCellPtr cell);
  // Frees every cell and every block.
  void ClearCells();

  // Row-major walk, columns ascending within a row.
  void BeginIterate() { it1_ = it2_ = it3_ = it4_ = 0; }
  TCell* NextCell();
  // After NextCell returned a blank cell: the cell in the next column of the same row when it is
  // a blank cell, else none.
  TCell* NextBlankInRow();

  // The used area; all four are 0 when no cell is stored.
  void CalcDimensions();
  int FirstCol() const { return firstCol_; }
  int LastCol() const { return lastCol_; }
  int FirstRow() const { return firstRow_; }
  int LastRow() const { return lastRow_; }

  // Every stored cell of one column or one row, in order.
  template <class F>
  void ForEachCellInColumn(int col, F f);
  template <class F>
  void ForEachCellInRow(int row, F f);

 private:
  using TColGroup = std::array<TCell*, 16>;
  using TRowBlock = std::array<TColGroup*, 16>;
  using TRowGroup = std::array<TRowBlock*, 256>;
  template <class Block>
  Block* NewBlock();
  void DestroyCell(TCell* cell) noexcept;

  TCellAllocator allocator_;
  std::array<TRowGroup*, 256> root_{};
  uint32_t it1_ = 0, it2_ = 0, it3_ = 0, it4_ = 0;
  TCell* cache_ = nullptr;
  int firstCol_ = 0, lastCol_ = 0, firstRow_ = 0, lastRow_ = 0;
};

template <class F>
void TCellStorage::ForEachCellInColumn(int col, F f) {
  if (col < 0 || col > kMaxCol) return;
  for (TRowGroup* g : root_) {
    if (!g) continue;
    for (TRowBlock* r : *g) {
      if (!r) continue;
      if (TColGroup* c = (*r)[col >> 4])
        if (TCell* cell = (*c)[col & 0xF]) f(cell);
    }
  }
}

template <class F>
void TCellStorage::ForEachCellInRow(int row, F f) {
  if (row < 0 || row > kMaxRow) return;
  TRowGroup* g = root_[row >> 8];
  if (!g) return;
  TRowBlock* r = (*g)[row & 0xFF];
  if (!r) return;
  for (TColGroup* c : *r) {
    if (!c) continue;
    for (TCell* cell : *c)
      if (cell) f(cell);
  }
}

}  // namespace xls
