// A list of texts, each with an optional owned list attached: the result shape of the data
// module's queries (a row list is one item per row with the row's name=value list attached).
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace app {

class TStringList {
 public:
  struct Item {
    std::string text;
    std::unique_ptr<TStringList> object;
  };

  void Add(std::string text) { items_.push_back({std::move(text), nullptr}); }
  void AddObject(std::string text, std::unique_ptr<TStringList> object) {
    items_.push_back({std::move(text), std::move(object)});
  }
  size_t Count() const { return items_.size(); }
  bool Empty() const { return items_.empty(); }
  const std::string& Strings(size_t i) const { return items_.at(i).text; }
  TStringList* Objects(size_t i) const { return items_.at(i).object.get(); }
  void Clear() { items_.clear(); }

  // The part after the first '=' of the first item whose name (the part before it) equals name
  // without regard to ASCII case; empty when there is none.
  std::string Values(std::string_view name) const;
  // The part before the first '=' of item i.
  std::string Names(size_t i) const;

  std::vector<std::string> Texts() const;

 private:
  std::vector<Item> items_;
};

}  // namespace app
