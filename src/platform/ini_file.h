// INI files with the semantics of the profile functions: a missing file, section or key reads as
// the default; sections and keys match without regard to ASCII case; writing a key rewrites the
// file at once and keeps every other line.
#pragma once

#include <string>
#include <vector>

namespace xls {

class TIniFile {
 public:
  explicit TIniFile(std::string path);

  const std::string& FileName() const { return path_; }

  // The text after the first '=' of the key's line, without the line end. Blanks around it are
  // part of the value.
  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& defaultValue) const;
  // The value as a 32-bit integer (optional sign, decimal, or hexadecimal with "$" or "0x"),
  // blanks around it ignored; an empty value, other text or a value out of range reads as the
  // default.
  int ReadInteger(const std::string& section, const std::string& key, int defaultValue) const;
  // Creates the file, the section and the key as needed. Raises xls::EXLSError when the file
  // cannot be written; the old file is then left as it was.
  void WriteString(const std::string& section, const std::string& key, const std::string& value);

 private:
  std::vector<std::string> ReadLines() const;
  std::string path_;
};

// Integer parsing of a profile value (see ReadInteger); returns false for anything else.
bool ParseProfileInt(const std::string& text, int& value);

}  // namespace xls
