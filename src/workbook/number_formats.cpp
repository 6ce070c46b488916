#include "workbook/number_formats.h"

#include <algorithm>

#include "platform/error.h"

namespace xls {

namespace {

constexpr std::u16string_view kBuiltIn[kBuiltInNumberFormatCount] = {
    u"",
    u"0",
    u"0.00",
    u"#,##0",
    u"#,##0.00",
    u"_($#,##0_);($#,##0)",
    u"_($#,##0_);[Red]($#,##0)",
    u"_($#,##0.00_);($#,##0.00)",
    u"_($#,##0.00_);[Red]($#,##0.00)",
    u"0%",
    u"0.00%",
    u"0.00E+00",
    u"# ?/?",
    u"# ?\?/??",
    u"m/d/yy",
    u"d-mmm-yy",
    u"d-mmm",
    u"mmm-yy",
    u"h:mm AM/PM",
    u"h:mm:ss AM/PM",
    u"h:mm",
    u"h:mm:ss",
    u"m/d/yy h:mm",
    u"",
    u"",
    u"",
    u"",
    u"",
    u"",
    u"",
    u"",
    u"",
    u"",
    u"",
    u"",
    u"",
    u"",  // 23..36
    u"#,##0_);(#,##0)",
    u"#,##0_);[Red](#,##0)",
    u"#,##0.00_);(#,##0.00)",
    u"#,##0.00_);[Red](#,##0.00)",
    u"_(* #,##0_);_(* (#,##0);_(* \"-\"_);_(@_)",
    u"_($* #,##0_);_($* (#,##0);_($* \"-\"_);_(@_)",
    u"_(* #,##0.00_);_(* (#,##0.00);_(* \"-\"?\?_);_(@_)",
    u"_($* #,##0.00_);_($* (#,##0.00);_($* \"-\"?\?_);_(@_)",
    u"mm:ss",
    u"[h]:mm:ss",
    u"mm:ss.0",
    u"##0.0E+0",
    u"@",
};

}  // namespace

uint16_t NumberFormatHash(std::u16string_view text) {
  uint16_t h = 0;
  auto mix = [&h](uint8_t b) {
    h = static_cast<uint16_t>((h << 5) | (h >> 11));
    h = static_cast<uint16_t>(h ^ b);
  };
  for (char16_t c : text) {
    mix(static_cast<uint8_t>(c));
    mix(static_cast<uint8_t>(c >> 8));
  }
  return h;
}

std::u16string_view BuiltInNumberFormatText(int id) {
  if (id < 0 || id >= kBuiltInNumberFormatCount) return {};
  return kBuiltIn[id];
}

void TNumberFormats::RaiseMissing(int id) {
  Raise(Format("Can not find number format# %d", id));
}

void TNumberFormats::AddBuiltInFormats() {
  lastId_ = 0;
  for (int id = 0; id < kBuiltInNumberFormatCount; ++id) SetFormatText(kBuiltIn[id], id, -1);
}

void TNumberFormats::SetFormatText(std::u16string_view text, int id, int uses) {
  int pos = FindFormatId(id);
  if (pos < 0) {
    auto entry = std::make_unique<TNumberFormat>();
    entry->Id = id;
    entry->UsageCount = uses;
    // Ids from files may come in any order; insert where the order by id is kept.
    auto at = std::lower_bound(items_.begin(), items_.end(), id,
                               [](const auto& e, int v) { return e->Id < v; });
    pos = static_cast<int>(at - items_.begin());
    items_.insert(at, std::move(entry));
  } else {
    TNumberFormat& e = *items_[pos];
    if (e.UsageCount < 0)
      e.UsageCount = uses;
    else
      e.UsageCount += uses;
  }
  TNumberFormat& e = *items_[pos];
  e.Text = std::u16string(text);
  e.Hash = NumberFormatHash(e.Text);
  lastId_ = std::max(lastId_, static_cast<int32_t>(id));
}

TNumberFormat& TNumberFormats::FindOrAddFormatText(std::u16string_view text) {
  if (text.empty() && !items_.empty() && items_[0]->Id == 0 && items_[0]->Text.empty()) {
    ++items_[0]->UsageCount;
    return *items_[0];
  }
  const uint16_t hash = NumberFormatHash(text);
  for (auto& e : items_) {
    if (e->Hash == hash && e->Text == text) {
      ++e->UsageCount;
      return *e;
    }
  }
  ++lastId_;
  auto entry = std::make_unique<TNumberFormat>();
  entry->Text = std::u16string(text);
  entry->Hash = hash;
  entry->Id = lastId_;
  entry->UsageCount = 1;
  items_.push_back(std::move(entry));  // LastId is the highest id, so the order is kept
  return *items_.back();
}

int TNumberFormats::FindFormatId(int id) const {
  if (id < 0 || items_.empty()) return -1;
  int lo = 0, hi = Count() - 1;
  while (lo <= hi) {
    const int mid = (lo + hi) / 2;
    const int v = items_[mid]->Id;
    if (v == id) return mid;
    if (v < id)
      lo = mid + 1;
    else
      hi = mid - 1;
  }
  return -1;
}

TNumberFormat& TNumberFormats::FormatById(int id) const {
  const int pos = FindFormatId(id);
  if (pos < 0) RaiseMissing(id);
  return *items_[pos];
}

std::u16string TNumberFormats::FormatText(int id) const {
  const int pos = FindFormatId(id);
  return pos < 0 ? std::u16string() : items_[pos]->Text;
}

void TNumberFormats::AddFormatUse(int id) {
  if (id < kFirstUserNumberFormatId) return;
  const int pos = FindFormatId(id);
  if (pos < 0) RaiseMissing(id);
  ++items_[pos]->UsageCount;
}

void TNumberFormats::ReleaseFormatUse(int id) {
  if (id < kFirstUserNumberFormatId) return;
  if (FindFormatId(id) < 0) RaiseMissing(id);
  ReleaseFormatUseNoThrow(id);
}

void TNumberFormats::ReleaseFormatUseNoThrow(int id) noexcept {
  if (id < kFirstUserNumberFormatId) return;
  const int pos = FindFormatId(id);
  if (pos < 0) return;
  TNumberFormat& e = *items_[pos];
  if (e.UsageCount < 0) return;
  if (--e.UsageCount < 1) items_.erase(items_.begin() + pos);
}

void TNumberFormats::Clear() {
  items_.clear();
  lastId_ = 0;
}

}  // namespace xls
