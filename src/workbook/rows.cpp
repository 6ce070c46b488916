#include "workbook/rows.h"

#include <algorithm>
#include <cstring>

#include "platform/bytes.h"
#include "platform/error.h"
#include "workbook/cell.h"

namespace xls {

namespace {
constexpr uint16_t kRowXFMask = 0x0FFF;
}

TXLSRow::TXLSRow(TCellFormats& formats, int row, int xfIndex, TFormatChangeSink* onFormatChange)
    : TFormattedObjectNotify(formats, xfIndex, onFormatChange), Row(static_cast<uint16_t>(row)) {
  if (XFIndex() != kDefaultCellXF) Options = kRowHasFormat;
}

void TXLSRows::SetOnFormatChange(TFormatChangeSink* sink) {
  onFormatChange_ = sink;
  for (auto& r : items_) r->SetOnFormatChange(sink);
}

int TXLSRows::FindRow(int row) const {
  if (row < 0 || row > kMaxRow || items_.empty()) return -1;
  int lo = 0, hi = Count() - 1;
  while (lo <= hi) {
    const int mid = (lo + hi) / 2;
    const int v = items_[mid]->Row;
    if (v == row) return mid;
    if (v < row)
      lo = mid + 1;
    else
      hi = mid - 1;
  }
  return -1;
}

TXLSRow* TXLSRows::RowAt(int row) const {
  const int i = FindRow(row);
  return i < 0 ? nullptr : items_[i].get();
}

TXLSRow* TXLSRows::AddRow(int row, int xfIndex) {
  if (row < 0 || row > kMaxRow) Raise(Format("Row %d is outside the sheet", row));
  if (TXLSRow* r = RowAt(row)) return r;
  auto at = std::lower_bound(items_.begin(), items_.end(), row,
                             [](const auto& r, int v) { return r->Row < v; });
  return items_.insert(at, std::make_unique<TXLSRow>(formats_, row, xfIndex, onFormatChange_))
      ->get();
}

void TXLSRows::AddRowRecord(std::span<const uint8_t> body) {
  ByteReader r(body.data(), body.size(), "ROW record");
  r.Need(kRowRecordSize);
  const uint16_t row = r.U16();
  const uint16_t firstCol = r.U16();
  const uint16_t lastCol1 = r.U16();
  const uint16_t height = r.U16();
  r.Skip(4);
  const uint16_t options = r.U16();
  const uint16_t xf = r.U16() & kRowXFMask;
  auto item = std::make_unique<TXLSRow>(formats_, row, (options & kRowHasFormat) ? xf : 15,
                                        onFormatChange_);
  item->FirstCol = firstCol;
  item->LastCol1 = lastCol1;
  item->Height = height;
  item->Options = options;
  items_.push_back(std::move(item));
}

void TXLSRows::FillRowRecord(int position, uint8_t* body) const {
  const TXLSRow& row = *items_.at(position);
  std::memset(body, 0, kRowRecordSize);
  PutU16(body, row.Row);
  PutU16(body + 2, row.FirstCol);
  PutU16(body + 4, row.LastCol1);
  PutU16(body + 6, row.Height);
  const int xf = row.XFIndex();
  const uint16_t options =
      xf != kDefaultCellXF ? (row.Options | kRowHasFormat) : (row.Options & ~kRowHasFormat);
  PutU16(body + 12, options);
  PutU16(body + 14, static_cast<uint16_t>(xf & kRowXFMask));
}

void TXLSRows::SortRows() {
  std::stable_sort(items_.begin(), items_.end(),
                   [](const auto& a, const auto& b) { return a->Row < b->Row; });
}

}  // namespace xls
