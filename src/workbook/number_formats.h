// The number-format table: ids 0..49 are built in, user formats get ids from 50 upward. Each entry
// counts the cell formats that use it; a built-in entry that nothing uses has usage -1 and is not
// written to files.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace xls {

inline constexpr int kBuiltInNumberFormatCount = 50;  // ids 0..49
inline constexpr int kFirstUserNumberFormatId = 50;

struct TNumberFormat {
  uint16_t Hash = 0;
  std::u16string Text;  // empty for id 0, the general format
  int32_t Id = 0;
  int32_t UsageCount = 0;  // -1: built-in format not used yet
};

// Rotate-left-by-5 / xor hash over the UTF-16LE bytes of the text; 0 for an empty text.
uint16_t NumberFormatHash(std::u16string_view text);
// The text of a built-in id (empty for 0, 23..36 and ids outside 0..49).
std::u16string_view BuiltInNumberFormatText(int id);

class TNumberFormats {
 public:
  int Count() const { return static_cast<int>(items_.size()); }
  TNumberFormat& Items(int position) const { return *items_.at(position); }
  int32_t LastId() const { return lastId_; }

  // LastId := 0, then the 50 built-in entries with usage -1.
  void AddBuiltInFormats();
  // Adds (text, id, uses) or replaces the text of an existing id; its usage becomes uses when it
  // was negative, else grows by uses. Keeps the list ordered by id.
  void SetFormatText(std::u16string_view text, int id, int uses);
  // Entry with the text (case-sensitive), its usage increased; or a new entry with id LastId + 1.
  TNumberFormat& FindOrAddFormatText(std::u16string_view text);
  // Position of the id (binary search), or -1.
  int FindFormatId(int id) const;
  // Raises for an id that is not in the list.
  TNumberFormat& FormatById(int id) const;
  // Text of an id; empty for an id that is not in the list.
  std::u16string FormatText(int id) const;
  // Ids below 50 are ignored; a missing id raises "Can not find number format# %d".
  void AddFormatUse(int id);
  // Ids up to 49 are ignored; the entry is removed when its usage falls below 1.
  void ReleaseFormatUse(int id);
  // The same without raising for a missing id (used while formats are destroyed).
  void ReleaseFormatUseNoThrow(int id) noexcept;
  void Clear();

 private:
  [[noreturn]] static void RaiseMissing(int id);
  std::vector<std::unique_ptr<TNumberFormat>> items_;
  int32_t lastId_ = 0;
};

}  // namespace xls
