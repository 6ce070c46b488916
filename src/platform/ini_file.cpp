#include "platform/ini_file.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/error.h"

namespace xls {

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

bool SameText(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// "[name]" → name; anything else → false.
bool SectionName(const std::string& line, std::string& name) {
  const std::string t = Trim(line);
  if (t.size() < 2 || t.front() != '[') return false;
  const size_t close = t.find(']');
  if (close == std::string::npos) return false;
  name = Trim(t.substr(1, close - 1));
  return true;
}

// "key=value" → key (trimmed) and the value after '='.
bool KeyValue(const std::string& line, std::string& key, std::string& value) {
  const size_t eq = line.find('=');
  if (eq == std::string::npos) return false;
  const std::string k = Trim(line.substr(0, eq));
  if (k.empty() || k[0] == ';' || k[0] == '#') return false;
  key = k;
  value = line.substr(eq + 1);
  return true;
}

}  // namespace

bool ParseProfileInt(const std::string& text, int& value) {
  const std::string t = Trim(text);
  if (t.empty()) return false;
  size_t i = 0;
  bool negative = false;
  if (t[i] == '+' || t[i] == '-') {
    negative = t[i] == '-';
    ++i;
  }
  int base = 10;
  if (i < t.size() && t[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < t.size() && t[i] == '0' && (t[i + 1] == 'x' || t[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= t.size()) return false;
  long long v = 0;
  for (; i < t.size(); ++i) {
    const char c = t[i];
    int d;
    if (c >= '0' && c <= '9')
      d = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f')
      d = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F')
      d = c - 'A' + 10;
    else
      return false;
    v = v * base + d;
    if (v > 0xFFFFFFFFLL) return false;
  }
  if (base == 16 && !negative) {
    value = static_cast<int>(static_cast<uint32_t>(v));  // "$FFFFFFFF" is -1
    return true;
  }
  if (negative) v = -v;
  if (v < INT32_MIN || v > INT32_MAX) return false;
  value = static_cast<int>(v);
  return true;
}

TIniFile::TIniFile(std::string path) : path_(std::move(path)) {}

std::vector<std::string> TIniFile::ReadLines() const {
  std::vector<std::string> lines;
  std::ifstream in(path_, std::ios::binary);
  if (!in) return lines;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  // A UTF-8 byte order mark at the start of the file is not part of the first line.
  if (!lines.empty() && lines[0].rfind("\xEF\xBB\xBF", 0) == 0) lines[0].erase(0, 3);
  return lines;
}

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& defaultValue) const {
  bool inSection = false;
  for (const std::string& line : ReadLines()) {
    std::string name, k, v;
    if (SectionName(line, name)) {
      inSection = SameText(name, section);
    } else if (inSection && KeyValue(line, k, v) && SameText(k, key)) {
      return v;
    }
  }
  return defaultValue;
}

int TIniFile::ReadInteger(const std::string& section, const std::string& key,
                          int defaultValue) const {
  int v;
  return ParseProfileInt(ReadString(section, key, ""), v) ? v : defaultValue;
}

void TIniFile::WriteString(const std::string& section, const std::string& key,
                           const std::string& value) {
  std::vector<std::string> lines = ReadLines();
  bool inSection = false, sectionSeen = false, done = false;
  size_t insertAt = lines.size();
  for (size_t i = 0; i < lines.size() && !done; ++i) {
    std::string name, k, v;
    if (SectionName(lines[i], name)) {
      if (inSection) break;  // end of our section: insert before the next one
      inSection = SameText(name, section);
      if (inSection) {
        sectionSeen = true;
        insertAt = i + 1;
      }
    } else if (inSection) {
      if (KeyValue(lines[i], k, v) && SameText(k, key)) {
        lines[i] = k + "=" + value;
        done = true;
      } else if (!Trim(lines[i]).empty()) {
        insertAt = i + 1;
      }
    }
  }
  if (!done) {
    if (!sectionSeen) {
      if (!lines.empty() && !Trim(lines.back()).empty()) lines.emplace_back();
      lines.push_back("[" + section + "]");
      insertAt = lines.size();
    }
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAt), key + "=" + value);
  }
  std::string text;
  for (const std::string& l : lines) text += l + "\r\n";

  // Write beside the file and rename over it, so a failed write leaves the old file as it was.
  const std::string tmp = path_ + ".tmp";
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) {
      std::remove(tmp.c_str());
      Raise("Cannot write the settings file " + path_);
    }
  }
  std::error_code ec;
  std::filesystem::rename(tmp, path_, ec);
  if (ec) {
    std::remove(tmp.c_str());
    Raise("Cannot write the settings file " + path_ + ": " + ec.message());
  }
}

}  // namespace xls
