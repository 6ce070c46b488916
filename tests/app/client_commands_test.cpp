#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QSqlDriver>

#include "app/client_commands.h"
#include "app/command_line.h"
#include "app/data_module.h"
#include "app/form_main.h"
#include "platform/codec.h"
#include "test_support.h"
#include "workbook/xls_workbook.h"

namespace app {
namespace {

std::string Fixture(const std::string& name) {
  return std::string(XLSB_FIXTURES_DIR) + "/app/" + name;
}

class ClientCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::CreateDatabase(exe_.Dir() + "tavikjxc.dat",
                         "INSERT INTO [user] (uName) VALUES ('张伟'), ('李娜');");
    ASSERT_TRUE(dm_.DataModuleCreate());
  }

  int Count(const std::string& where = "1=1") {
    std::string n;
    dm_.GetString("select count(*) from Client where " + where, n);
    return std::stoi(n);
  }
  std::string Field(const std::string& field, const std::string& company) {
    std::string v;
    dm_.GetString("select " + field + " from Client where cCompany='" + SqlText(company) + "'", v);
    return v;
  }
  std::vector<std::string> Texts() {
    std::vector<std::string> out;
    for (const auto& b : dialogs_.boxes) out.push_back(b.text);
    return out;
  }

  // A template workbook written by the engine, the captions in row 0.
  std::string WriteTemplate(const std::vector<std::vector<std::u16string>>& rows,
                            const std::string& name = "t.xls") {
    xls::TXLSWorkbook wb;
    xls::TSheet& s = wb.Sheets()[0];
    for (int c = 0; c < 21; ++c)
      s.SetCellText(c, 0, xls::Utf8ToUtf16(kClientCaptions[static_cast<size_t>(c)]));
    for (size_t r = 0; r < rows.size(); ++r)
      for (size_t c = 0; c < rows[r].size(); ++c)
        if (!rows[r][c].empty())
          s.SetCellText(static_cast<int>(c), static_cast<int>(r) + 1, rows[r][c]);
    const std::string path = exe_.Dir() + name;
    wb.Filename = xls::Utf8ToUtf16(path);
    wb.WriteFile();
    return path;
  }

  test::FakeDialogs dialogs_;
  test::ExeDirFixture exe_;
  TDataModule1 dm_;
};

TEST_F(ClientCommandsTest, ImportsNewRowsOfAForeignTemplate) {
  const TImportOutcome r = Import(dm_, nullptr, Fixture("template_filled.xls"), "张伟");
  EXPECT_EQ(r.result, TCommandResult::Done);
  EXPECT_EQ(r.inserted, 3);
  EXPECT_EQ(Texts(), std::vector<std::string>{"导入成功3条!"});
  EXPECT_EQ(dialogs_.boxes[0].caption, "系统提示");
  EXPECT_EQ(Count(), 3);
  EXPECT_EQ(Count("cYn='1' and cUser='张伟'"), 3);
  // Quotes are carried; the injection text is only a company name.
  EXPECT_EQ(Field("cArea", "O'Brien Trading"), "上海");
  EXPECT_EQ(Field("count(*)", "x'); delete from Client; --"), "1");
  EXPECT_EQ(Field("cBeizhu", "杭州新材料有限公司"), "备注  ");  // trailing blanks kept
  // Numbers arrive as displayed.
  EXPECT_EQ(Field("cZip", "O'Brien Trading"), "200001");
  EXPECT_EQ(Field("cInfo", "O'Brien Trading"), "2024-03-05");
  EXPECT_EQ(Field("cBeizhu", "O'Brien Trading"), "1,234.50");
  EXPECT_EQ(Field("cMobile", "杭州新材料有限公司"), "13800000011");
  EXPECT_EQ(Count("cdate is null or cdate=''"), 0);

  // The same file again: every row is skipped.
  dialogs_.boxes.clear();
  EXPECT_EQ(Import(dm_, nullptr, Fixture("template_filled.xls"), "李娜").result,
            TCommandResult::Nothing);
  EXPECT_EQ(Texts(), std::vector<std::string>{"导入数据为空或者数据已被过滤!"});
  EXPECT_EQ(Count(), 3);
}

// On SQL Server the insert takes the server's time, GETDATE(); here a database file stands in,
// with GETDATE() registered so the statement runs.
TEST_F(ClientCommandsTest, SqlServerInsertsUseGetDate) {
  TDbTarget target =
      TargetFromConnectionData(BuildConnectionData(2, "tavikjxc.dat", "", "", "", exe_.Dir()));
  target.dialect = TDialect::SqlServer;
  ASSERT_TRUE(dm_.Connect(target));
  const QVariant handle = dm_.Connection().driver()->handle();
  sqlite3* db = *static_cast<sqlite3* const*>(handle.data());
  ASSERT_EQ(sqlite3_create_function_v2(
                db, "GETDATE", 0, SQLITE_UTF8, nullptr,
                [](sqlite3_context* ctx, int, sqlite3_value**) {
                  sqlite3_result_text(ctx, "server-time", -1, SQLITE_STATIC);
                },
                nullptr, nullptr, nullptr),
            SQLITE_OK);
  EXPECT_EQ(Import(dm_, nullptr, Fixture("template_filled.xls"), "张伟").inserted, 3);
  EXPECT_EQ(Count("cdate='server-time'"), 3);
}

TEST_F(ClientCommandsTest, HeaderChecks) {
  struct Case {
    const char* file;
    TCommandResult result;
    std::string message;
  } cases[] = {
      {"template_22_columns.xls", TCommandResult::Rejected,
       "Excel列数[22]和导入模板列数[21]不一致!"},
      {"template_bad_first.xls", TCommandResult::Rejected,
       "Excel第一列标题[部]和导入模板[部门]不一致!"},
      {"template_bad_third.xls", TCommandResult::Rejected,
       "Excel第三列标题[名称]和导入模板第三列[客户名称]不一致!"},
      // "部门 " and "公司名称" pass; the same new company twice is inserted twice.
      {"template_company_caption.xls", TCommandResult::Done, "导入成功2条!"},
  };
  for (const Case& c : cases) {
    dialogs_.boxes.clear();
    EXPECT_EQ(Import(dm_, nullptr, Fixture(c.file), "张伟").result, c.result) << c.file;
    EXPECT_EQ(Texts(), std::vector<std::string>{c.message}) << c.file;
  }
  EXPECT_EQ(Count(), 2);
}

// A BIFF5 template: 8-bit texts in the file's code page (GBK here) arrive as the same text.
TEST_F(ClientCommandsTest, ImportsABiff5Template) {
  const int saved = xls::SystemCodePage();
  xls::SetSystemCodePage(936);
  std::vector<std::u16string> row(21);
  row[2] = u"老字号食品厂";
  row[3] = u"广东";
  xls::TXLSWorkbook wb;
  xls::TSheet& s = wb.Sheets()[0];
  for (int c = 0; c < 21; ++c)
    s.SetCellText(c, 0, xls::Utf8ToUtf16(kClientCaptions[static_cast<size_t>(c)]));
  for (int c = 0; c < 21; ++c)
    if (!row[static_cast<size_t>(c)].empty()) s.SetCellText(c, 1, row[static_cast<size_t>(c)]);
  const std::string path = exe_.Dir() + "biff5.xls";
  wb.Filename = xls::Utf8ToUtf16(path);
  wb.SetVersion(xls::xvExcel50);
  wb.WriteFile();
  xls::SetSystemCodePage(1252);  // the file's CODEPAGE decides, not the system's
  const TImportOutcome r = Import(dm_, nullptr, path, "李娜");
  xls::SetSystemCodePage(saved);
  EXPECT_EQ(r.result, TCommandResult::Done);
  EXPECT_EQ(Field("cArea", "老字号食品厂"), "广东");
}

TEST_F(ClientCommandsTest, UnreadableFilesShowTheEngineMessageAndWriteNothing) {
  test::WriteFile(exe_.Dir() + "not.xls", "PK\x03\x04 this is a zip, not a workbook");
  const std::pair<std::string, std::string> cases[] = {
      {exe_.Dir() + "not.xls", "File is not a Excel Workbook"},
      {exe_.Dir() + "missing.xls", ""},
  };
  for (const auto& [file, message] : cases) {
    dialogs_.errors.clear();
    EXPECT_EQ(Import(dm_, nullptr, file, "张伟").result, TCommandResult::Failed);
    ASSERT_EQ(dialogs_.errors.size(), 1u) << file;
    if (!message.empty()) {
      EXPECT_EQ(dialogs_.errors[0], message);
    }
  }
  const std::string encrypted =
      std::string(XLSB_CORPUS_DIR) + "/sheetjs/password_2002_40_972000.xls";
  if (QFile::exists(QString::fromStdString(encrypted))) {
    dialogs_.errors.clear();
    EXPECT_EQ(Import(dm_, nullptr, encrypted, "张伟").result, TCommandResult::Failed);
    ASSERT_EQ(dialogs_.errors.size(), 1u);
    EXPECT_NE(dialogs_.errors[0].find("Password"), std::string::npos) << dialogs_.errors[0];
  }
  EXPECT_TRUE(dialogs_.boxes.empty());
  EXPECT_EQ(Count(), 0);
}

TEST_F(ClientCommandsTest, EmptyCompanySkippedAndAFailingInsertRollsBackTheRun) {
  ASSERT_TRUE(dm_.UpdateSQl("CREATE TRIGGER no_bad BEFORE INSERT ON Client WHEN "
                            "new.cCompany='坏' BEGIN SELECT RAISE(ABORT, 'refused'); END") >= 0);
  std::vector<std::u16string> good(21), bad(21), empty(21);
  good[2] = u"好";
  bad[2] = u"坏";
  empty[3] = u"只有省份";
  const std::string path = WriteTemplate({good, empty, bad});
  EXPECT_EQ(Import(dm_, nullptr, path, "张伟").result, TCommandResult::Failed);
  EXPECT_EQ(Texts().back(), "导入失败!");
  EXPECT_EQ(dialogs_.boxes.front().caption, "操作数据库失败");
  EXPECT_EQ(Count(), 0);
}

TEST_F(ClientCommandsTest, ExportThenImportSkipsEveryRow) {
  const std::string empty = exe_.Dir() + "empty.xls";
  EXPECT_EQ(Export(dm_, nullptr, empty), TCommandResult::Done);
  EXPECT_EQ(dialogs_.plain, std::vector<std::string>{"导出成功!"});
  {
    xls::TXLSWorkbook wb;
    wb.Filename = xls::Utf8ToUtf16(empty);
    wb.ReadFile();
    xls::TSheet& s = wb.Sheets()[0];
    EXPECT_EQ(s.LastRow(), 0);
    EXPECT_EQ(s.LastCol(), 20);
    EXPECT_EQ(s.CellText(2, 0), u"客户名称");
    EXPECT_EQ(s.CellAt(0, 1), nullptr);
  }

  ASSERT_EQ(Import(dm_, nullptr, Fixture("template_filled.xls"), "张伟").inserted, 3);
  const std::string out = exe_.Dir() + "clients.xls";
  EXPECT_EQ(Export(dm_, nullptr, out), TCommandResult::Done);
  {
    xls::TXLSWorkbook wb;
    wb.Filename = xls::Utf8ToUtf16(out);
    wb.ReadFile();
    xls::TSheet& s = wb.Sheets()[0];
    EXPECT_EQ(s.LastRow(), 3);
    ASSERT_NE(s.CellAt(0, 1), nullptr);
    EXPECT_EQ(s.CellAt(0, 1)->CellKind(), xls::ckString);  // column 0 holds an empty text
    EXPECT_EQ(s.CellText(0, 1), u"");
    EXPECT_FALSE(s.CellText(1, 1).empty());  // cLastUpdated
  }
  dialogs_.boxes.clear();
  EXPECT_EQ(Import(dm_, nullptr, out, "张伟").result, TCommandResult::Nothing);
  EXPECT_EQ(Texts(), std::vector<std::string>{"导入数据为空或者数据已被过滤!"});
}

TEST_F(ClientCommandsTest, FailedExportShowsTheErrorAndKeepsWhatWasThere) {
  const std::string folder = exe_.Dir() + "folder.xls";
  ASSERT_TRUE(QDir().mkpath(QString::fromStdString(folder)));
  test::WriteFile(folder + "/inside.txt", "kept");
  EXPECT_EQ(Export(dm_, nullptr, folder), TCommandResult::Failed);
  EXPECT_EQ(dialogs_.errors.size(), 1u);
  EXPECT_TRUE(dialogs_.plain.empty());  // no "导出成功!"
  EXPECT_EQ(test::ReadFile(folder + "/inside.txt"), "kept");
  EXPECT_EQ(QDir(QString::fromStdString(exe_.Dir())).entryList(QDir::Files).filter(".tmp").size(),
            0);
}

TEST_F(ClientCommandsTest, WindowCommands) {
  TFormMain form;
  form.show();
  EXPECT_EQ(form.AdvComboBox1->count(), 2);
  EXPECT_EQ(form.AdvComboBox1->currentIndex(), -1);
  EXPECT_EQ(form.size(), QSize(622, 329));

  form.RzBitBtn1->click();
  EXPECT_EQ(dialogs_.plain, std::vector<std::string>{"请选择导入文件!"});
  dialogs_.openAnswer = Fixture("template_filled.xls");
  form.AdvEditBtn1->Button->click();
  EXPECT_EQ(dialogs_.filters.back(), "Excel文件(*.xls;*.xlsx)|*.xls;*.xlsx");
  EXPECT_EQ(form.AdvEditBtn1->Text().toStdString(), dialogs_.openAnswer);
  form.RzBitBtn1->click();
  EXPECT_EQ(dialogs_.plain.back(), "请选择业务员!");
  form.AdvComboBox1->setCurrentIndex(1);
  form.RzBitBtn1->click();
  EXPECT_EQ(Texts(), std::vector<std::string>{"导入成功3条!"});

  dialogs_.saveAnswer = exe_.Dir() + "out.xls";
  form.RzBitBtn3->click();
  EXPECT_EQ(dialogs_.defaultExts.back(), "xls");
  EXPECT_EQ(dialogs_.plain.back(), "导出成功!");
  EXPECT_TRUE(QFile::exists(QString::fromStdString(dialogs_.saveAnswer)));

  form.RzBitBtn2->click();
  EXPECT_EQ(dialogs_.opened, std::vector<std::string>{exe_.Dir() + "Client.xls"});
  form.RzBitBtn4->click();
  EXPECT_FALSE(form.isVisible());
}

TEST(ClientTemplate, HoldsTheCaptionsInRowZero) {
  test::ExeDirFixture exe;
  const std::string path = exe.Dir() + "Client.xls";
  WriteClientTemplate(path);
  xls::TXLSWorkbook wb;
  wb.Filename = xls::Utf8ToUtf16(path);
  wb.ReadFile();
  xls::TSheet& s = wb.Sheets()[0];
  EXPECT_EQ(s.Name(), u"Sheet1");
  EXPECT_EQ(s.LastCol(), 20);
  for (int c = 0; c < 21; ++c)
    EXPECT_EQ(xls::Utf16ToUtf8(s.CellText(c, 0)), kClientCaptions[static_cast<size_t>(c)]);
}

}  // namespace
}  // namespace app
