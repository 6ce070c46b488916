#include "workbook/columns.h"

#include <algorithm>

#include "biff/biff_recs.h"
#include "biff/xls_stream.h"
#include "platform/bytes.h"
#include "platform/error.h"

namespace xls {

namespace {
constexpr uint16_t kColHidden = 0x0001;
constexpr uint16_t kColUserSet = 0x0002;
constexpr uint16_t kColCollapsed = 0x1000;
constexpr int kOutlineShift = 8;
constexpr uint16_t kOutlineMask = 0x07;
}  // namespace

bool TXLSColumn::SameAs(const TXLSColumn& other) const {
  return Width == other.Width && Hidden == other.Hidden && OutlineLevel == other.OutlineLevel &&
         Collapsed == other.Collapsed && XFIndex() == other.XFIndex();
}

void TXLSColumns::SetOnFormatChange(TFormatChangeSink* sink) {
  onFormatChange_ = sink;
  for (auto& c : columns_)
    if (c) c->SetOnFormatChange(sink);
}

TXLSColumn* TXLSColumns::ColumnAt(int col) const {
  return col >= 0 && col < kColumnCount ? columns_[col].get() : nullptr;
}

TXLSColumn* TXLSColumns::AddColumn(int col, int xfIndex) {
  if (col < 0 || col >= kColumnCount) Raise("Invalid columns");
  columns_[col].reset();
  columns_[col] = std::make_unique<TXLSColumn>(formats_, col, xfIndex, onFormatChange_);
  return columns_[col].get();
}

void TXLSColumns::ClearColumns(int first, int last) {
  if (first < 0 || last >= kColumnCount || last < first) Raise("Invalid columns");
  for (int i = first; i <= last; ++i) columns_[i].reset();
}

void TXLSColumns::ReadColInfo(std::span<const uint8_t> body) {
  ByteReader r(body.data(), body.size(), "COLINFO record");
  const int first = std::min<int>(r.U16(), kColumnCount - 1);
  const int last = std::min<int>(r.U16(), kColumnCount - 1);
  const uint16_t width = r.U16();
  const uint16_t xf = r.U16();
  const uint16_t options = r.U16();
  if (last < first) return;
  for (int i = first; i <= last; ++i) {
    TXLSColumn* c = AddColumn(i, xf);
    c->Width = width;
    c->Hidden = options & kColHidden;
    c->UserSet = options & kColUserSet;
    c->OutlineLevel = static_cast<uint8_t>((options >> kOutlineShift) & kOutlineMask);
    c->Collapsed = options & kColCollapsed;
  }
}

std::vector<TBiffRecord> TXLSColumns::ColInfoRecords() const {
  std::vector<TBiffRecord> out;
  int i = 0;
  while (i < kColumnCount) {
    const TXLSColumn* c = columns_[i].get();
    if (!c) {
      ++i;
      continue;
    }
    int j = i + 1;
    while (j < kColumnCount && columns_[j] && columns_[j]->SameAs(*c)) ++j;
    ByteWriter w;
    w.U16(static_cast<uint16_t>(i));
    w.U16(static_cast<uint16_t>(j - 1));
    w.U16(static_cast<uint16_t>(std::clamp<int32_t>(c->Width, 0, 0xFFFF)));
    w.U16(static_cast<uint16_t>(c->XFIndex()));
    uint16_t options = static_cast<uint16_t>((c->OutlineLevel & kOutlineMask) << kOutlineShift);
    if (c->Hidden) options |= kColHidden;
    if (c->UserSet) options |= kColUserSet;
    if (c->Collapsed) options |= kColCollapsed;
    w.U16(options);
    w.U16(0);
    out.push_back({BIFFRECID_COLINFO, std::move(w.Buffer())});
    i = j;
  }
  return out;
}

void TXLSColumns::WriteColInfo(TXLSStream& stream) const {
  for (const TBiffRecord& r : ColInfoRecords())
    stream.WriteRecord(r.Id, r.Body.data(), static_cast<int>(r.Body.size()));
}

}  // namespace xls
