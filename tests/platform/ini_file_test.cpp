#include <gtest/gtest.h>

#include "platform/error.h"
#include "platform/ini_file.h"

namespace xls {
namespace {

TEST(IniFile, ProfileIntegerParsing) {
  const std::pair<const char*, int> accepted[] = {{"1", 1},
                                                  {"-3", -3},
                                                  {" 7 ", 7},
                                                  {"+2", 2},
                                                  {"$10", 16},
                                                  {"0x1F", 31},
                                                  {"2147483647", 2147483647},
                                                  {"-2147483648", -2147483647 - 1}};
  for (const auto& [text, value] : accepted) {
    int v = 0;
    EXPECT_TRUE(ParseProfileInt(text, v)) << text;
    EXPECT_EQ(v, value) << text;
  }
  for (const char* text : {"", " ", "1a", "abc", "1.5", "2147483648", "-", "$", "0x", "1 2"}) {
    int v = 0;
    EXPECT_FALSE(ParseProfileInt(text, v)) << text;
  }
}

TEST(IniFile, MissingFileReadsDefaults) {
  TIniFile ini("/nonexistent/dir/tool.ini");
  EXPECT_EQ(ini.ReadString("db", "db_name", "tavikjxc.dat"), "tavikjxc.dat");
  EXPECT_EQ(ini.ReadInteger("db", "db_type", 2), 2);
  EXPECT_THROW(ini.WriteString("db", "db_ip", "x"), EXLSError);
}

}  // namespace
}  // namespace xls
