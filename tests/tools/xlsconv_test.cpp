// xlsconv as a user runs it: the built program on files in a temporary folder.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/codec.h"
#include "workbook/xls_workbook.h"

namespace {

namespace fs = std::filesystem;

struct TRun {
  int status = -1;
  std::string out;
};

// Runs xlsconv with the arguments (each quoted for the shell); standard error joins the output.
TRun Xlsconv(const std::vector<std::string>& args) {
  std::string cmd = std::string("'") + XLSCONV_PATH + "'";
  for (const std::string& a : args) cmd += " '" + a + "'";
  cmd += " 2>&1";
  TRun run;
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return run;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) run.out.append(buf, n);
  const int st = pclose(p);
  run.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return run;
}

class XlsconvTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("xlsconv_test_" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  fs::path dir_;
};

TEST_F(XlsconvTest, CsvToWorkbookAndBack) {
  const std::string csv =
      "名称,数量,编号,说明\r\n"
      "苹果,42,007,\"含,逗号\"\r\n"
      "香蕉,-1.5,1.50,\"多\r\n行 \"\"引号\"\"\"\r\n"
      ",,123456789012345678,1e5\r\n";
  std::ofstream(Path("in.csv"), std::ios::binary) << csv;
  ASSERT_EQ(Xlsconv({Path("in.csv"), Path("out.xls")}).status, 0);

  xls::TXLSWorkbook wb;
  wb.Filename = xls::Utf8ToUtf16(Path("out.xls"));
  wb.ReadFile();
  xls::TSheet& s = wb.Sheets()[0];
  // Only fields whose general text is the field itself become numbers.
  EXPECT_EQ(s.CellAt(1, 1)->CellKind(), xls::ckFloat);
  EXPECT_EQ(s.CellAt(1, 2)->CellKind(), xls::ckFloat);
  for (auto [col, row] : {std::pair{2, 1}, {2, 2}, {2, 3}, {3, 3}})
    EXPECT_EQ(s.CellAt(col, row)->CellKind(), xls::ckString) << col << "," << row;
  EXPECT_EQ(s.CellAt(0, 3), nullptr);

  const TRun back = Xlsconv({Path("out.xls"), "-"});
  EXPECT_EQ(back.status, 0);
  EXPECT_EQ(back.out, csv);
  const TRun list = Xlsconv({"--list", Path("out.xls")});
  EXPECT_EQ(list.out, "Sheet1\n");
}

TEST_F(XlsconvTest, RewriteWithPasswordAndVersion) {
  std::ofstream(Path("in.csv"), std::ios::binary) << "a,1\r\nb,2\r\n";
  ASSERT_EQ(Xlsconv({Path("in.csv"), Path("plain.xls")}).status, 0);
  ASSERT_EQ(Xlsconv({"--write-password", "秘密", Path("plain.xls"), Path("locked.xls")}).status, 0);

  const TRun none = Xlsconv({Path("locked.xls"), "-"});
  EXPECT_EQ(none.status, 1);
  EXPECT_NE(none.out.find("File is encrypted. Password required."), std::string::npos);
  const TRun wrong = Xlsconv({"--password", "x", Path("locked.xls"), "-"});
  EXPECT_EQ(wrong.status, 1);
  EXPECT_NE(wrong.out.find("Invalid password"), std::string::npos);
  const TRun right = Xlsconv({"--password", "秘密", Path("locked.xls"), "-"});
  EXPECT_EQ(right.status, 0);
  EXPECT_EQ(right.out, "a,1\r\nb,2\r\n");

  ASSERT_EQ(Xlsconv({"--version", "5", Path("plain.xls"), Path("v5.xls")}).status, 0);
  xls::TXLSWorkbook wb;
  wb.Filename = xls::Utf8ToUtf16(Path("v5.xls"));
  wb.ReadFile();
  EXPECT_EQ(wb.Version(), xls::xvExcel50);
  EXPECT_EQ(wb.Sheets()[0].CellText(0, 1), u"b");
}

TEST_F(XlsconvTest, UsageAndFailures) {
  const std::pair<std::vector<std::string>, int> cases[] = {
      {{}, 2},
      {{"--version", "7", "a.csv", "b.xls"}, 2},
      {{"--bogus", "a.xls", "b.csv"}, 2},
      {{"/nonexistent/in.xls", "-"}, 1},
  };
  for (const auto& [args, status] : cases) EXPECT_EQ(Xlsconv(args).status, status);
  std::ofstream(Path("wide.csv"), std::ios::binary) << std::string(300, ',') + "x\r\n";
  const TRun wide = Xlsconv({Path("wide.csv"), Path("wide.xls")});
  EXPECT_EQ(wide.status, 1);
  EXPECT_NE(wide.out.find("more than 256 fields"), std::string::npos) << wide.out;
  EXPECT_FALSE(fs::exists(Path("wide.xls")));
}

}  // namespace
