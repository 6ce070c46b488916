#include "workbook/cell_storage.h"

#include <algorithm>

#include "platform/error.h"

namespace xls {

TCellStorage::TCellStorage() = default;

TCellStorage::~TCellStorage() {
  ClearCells();
}

template <class Block>
Block* TCellStorage::NewBlock() {
  // Blocks are arrays of pointers, zero-filled by the allocator.
  return static_cast<Block*>(allocator_.AllocateBlock(sizeof(Block)));
}

void TCellStorage::DestroyCell(TCell* cell) noexcept {
  if (cache_ == cell) cache_ = nullptr;
  allocator_.Destroy(cell);
}

void TCellStorage::SetCell(uint32_t key, TCellPtr cell) {
  if (key > kMaxCellKey) Raise(Format("Cell key %u is outside the sheet", key));
  if (cell && cell.get_deleter().Allocator != &allocator_)
    Raise("The cell was not made by this cell storage");
  const uint32_t i1 = key >> 16, i2 = (key >> 8) & 0xFF, i3 = (key >> 4) & 0xF, i4 = key & 0xF;
  TCell** slot = nullptr;
  if (!cell) {
    // Deleting makes no blocks.
    TRowGroup* g = root_[i1];
    TRowBlock* r = g ? (*g)[i2] : nullptr;
    TColGroup* c = r ? (*r)[i3] : nullptr;
    if (!c) return;
    slot = &(*c)[i4];
  } else {
    TRowGroup*& g = root_[i1];
    if (!g) g = NewBlock<TRowGroup>();
    TRowBlock*& r = (*g)[i2];
    if (!r) r = NewBlock<TRowBlock>();
    TColGroup*& c = (*r)[i3];
    if (!c) c = NewBlock<TColGroup>();
    slot = &(*c)[i4];
  }
  TCell* old = *slot;
  if (old && old == cell.get()) {
    (void)cell.release();  // already owned here
    cache_ = old;
    return;
  }
  if (old) {
    if (cell) cell->SetXFIndex(old->XFIndex());  // the new cell keeps the old formatting
    *slot = nullptr;
    DestroyCell(old);
  }
  if (cell) {
    cell->key_ = key;
    *slot = cell.release();
  }
  cache_ = *slot;
}

void TCellStorage::ClearCells() {
  for (TRowGroup*& g : root_) {
    if (!g) continue;
    for (TRowBlock* r : *g) {
      if (!r) continue;
      for (TColGroup* c : *r) {
        if (!c) continue;
        for (TCell* cell : *c)
          if (cell) allocator_.Destroy(cell);
      }
    }
    g = nullptr;
  }
  cache_ = nullptr;
  allocator_.ReleaseBlocks();
  allocator_.Trim();  // gives the cell pools back unless cells made here are still held outside
  BeginIterate();
}

TCell* TCellStorage::NextCell() {
  while (it1_ < 256) {
    if (const TRowGroup* g = root_[it1_]) {
      while (it2_ < 256) {
        if (const TRowBlock* r = (*g)[it2_]) {
          while (it3_ < 16) {
            if (const TColGroup* c = (*r)[it3_]) {
              while (it4_ < 16) {
                TCell* cell = (*c)[it4_++];
                if (cell) return cell;
              }
            }
            it4_ = 0;
            ++it3_;
          }
        }
        it3_ = it4_ = 0;
        ++it2_;
      }
    }
    it2_ = it3_ = it4_ = 0;
    ++it1_;
  }
  return nullptr;
}

TCell* TCellStorage::NextBlankInRow() {
  if (it1_ >= 256 || it2_ >= 256) return nullptr;
  const TRowGroup* g = root_[it1_];
  const TRowBlock* r = g ? (*g)[it2_] : nullptr;
  if (!r) return nullptr;
  if (it4_ >= 16) {
    ++it3_;
    it4_ = 0;
  }
  if (it3_ > 15) return nullptr;
  const TColGroup* c = (*r)[it3_];
  if (!c) return nullptr;
  TCell* cell = (*c)[it4_];
  if (!cell || cell->CellKind() != ckBlank) return nullptr;
  ++it4_;
  return cell;
}

void TCellStorage::CalcDimensions() {
  int firstCol = kMaxCol, lastCol = 0, firstRow = kMaxRow, lastRow = 0;
  bool any = false;
  for (int i1 = 0; i1 < 256; ++i1) {
    const TRowGroup* g = root_[i1];
    if (!g) continue;
    for (int i2 = 0; i2 < 256; ++i2) {
      const TRowBlock* r = (*g)[i2];
      if (!r) continue;
      for (int i3 = 0; i3 < 16; ++i3) {
        const TColGroup* c = (*r)[i3];
        if (!c) continue;
        for (int i4 = 0; i4 < 16; ++i4) {
          if (!(*c)[i4]) continue;
          any = true;
          const int col = i3 * 16 + i4, row = i1 * 256 + i2;
          firstCol = std::min(firstCol, col);
          lastCol = std::max(lastCol, col);
          firstRow = std::min(firstRow, row);
          lastRow = std::max(lastRow, row);
        }
      }
    }
  }
  if (!any) firstCol = lastCol = firstRow = lastRow = 0;
  firstCol_ = firstCol;
  lastCol_ = lastCol;
  firstRow_ = firstRow;
  lastRow_ = lastRow;
}

}  // namespace xls
