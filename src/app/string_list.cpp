#include "app/string_list.h"

namespace app {

namespace {
char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}
}  // namespace

std::string TStringList::Values(std::string_view name) const {
  for (const Item& item : items_) {
    const size_t eq = item.text.find('=');
    if (eq == std::string::npos || eq != name.size()) continue;
    bool same = true;
    for (size_t i = 0; i < eq && same; ++i) same = Lower(item.text[i]) == Lower(name[i]);
    if (same) return item.text.substr(eq + 1);
  }
  return {};
}

std::string TStringList::Names(size_t i) const {
  const std::string& t = Strings(i);
  const size_t eq = t.find('=');
  return eq == std::string::npos ? std::string() : t.substr(0, eq);
}

std::vector<std::string> TStringList::Texts() const {
  std::vector<std::string> out;
  out.reserve(items_.size());
  for (const Item& item : items_) out.push_back(item.text);
  return out;
}

}  // namespace app
