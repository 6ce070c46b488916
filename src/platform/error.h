// The one exception type of the engine: it carries an English message.
#pragma once

#include <stdexcept>
#include <string>

namespace xls {

class EXLSError : public std::runtime_error {
 public:
  explicit EXLSError(const std::string& message) : std::runtime_error(message) {}
};

// printf-style formatting of an error message ("Row error in writing MULBLANK", "Error on reading
// record # %d, %.4X Offs: %.8X\r" and the like).
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

[[noreturn]] void Raise(const std::string& message);

}  // namespace xls
