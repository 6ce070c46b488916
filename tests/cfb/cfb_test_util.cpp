#include "cfb/cfb_test_util.h"

#include <unistd.h>

#include <atomic>
#include <filesystem>

namespace xls::cfb::testing {

std::string TempPath(const std::string& stem) {
  static std::atomic<int> counter{0};
  return (std::filesystem::temp_directory_path() /
          (stem + "-" + std::to_string(getpid()) + "-" + std::to_string(counter++) + ".cfb"))
      .string();
}

}  // namespace xls::cfb::testing
