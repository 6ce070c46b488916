#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSqlQuery>

#include "app/connection.h"
#include "app/data_module.h"
#include "app/form_db_link.h"
#include "app/form_main.h"
#include "app/logic.h"
#include "app/program.h"
#include "test_support.h"

namespace app {
namespace {

// tool.ini as the user wrote it → the connection data start-up builds from it.
TEST(Settings, ConnectionDataFromToolIni) {
  struct Case {
    const char* name;
    const char* ini;  // nullptr: no tool.ini at all
    TDbKind kind;
    std::string expected;  // the provider connection text, with "DIR/" for the exe directory
  } cases[] = {
      {"no file", nullptr, TDbKind::JetFile,
       "Provider=Microsoft.Jet.OLEDB.4.0;Jet OLEDB:Database Password=mbjt;Data "
       "Source=DIR/tavikjxc.dat;Persist Security Info=False"},
      {"type 1",
       "[db]\r\ndb_type=1\r\ndb_name= crm \r\ndb_ip= 10.1.1.1,1433\r\n"
       "db_username= boss \r\ndb_password= pw \r\n",
       TDbKind::SqlServer,
       "Provider=SQLOLEDB.1;Persist Security Info=True;User ID=boss;Password=pw;Initial "
       "Catalog=crm;Data Source=10.1.1.1,1433"},
      {"type 1 without db_name", "[DB]\nDB_TYPE=1\n", TDbKind::SqlServer,
       "Provider=SQLOLEDB.1;Persist Security Info=True;User ID=sa;Password=mbjt;Initial "
       "Catalog=tavikjxc.dat;Data Source=127.0.0.1,1433"},
      {"type 3", "[db]\ndb_type=3\ndb_name=x.dat\n", TDbKind::JetFile,
       "Provider=Microsoft.Jet.OLEDB.4.0;Jet OLEDB:Database Password=mbjt;Data "
       "Source=DIR/x.dat;Persist Security Info=False"},
      {"type 0, blanks kept for the file", "[db]\ndb_type=0\ndb_name=  a b.dat\n", TDbKind::JetFile,
       "Provider=Microsoft.Jet.OLEDB.4.0;Jet OLEDB:Database Password=mbjt;Data Source=DIR/  a "
       "b.dat;Persist Security Info=False"},
      {"type text", "[db]\ndb_type=sql\n", TDbKind::JetFile,
       "Provider=Microsoft.Jet.OLEDB.4.0;Jet OLEDB:Database Password=mbjt;Data "
       "Source=DIR/tavikjxc.dat;Persist Security Info=False"},
      {"type empty", "[db]\ndb_type=\n", TDbKind::JetFile,
       "Provider=Microsoft.Jet.OLEDB.4.0;Jet OLEDB:Database Password=mbjt;Data "
       "Source=DIR/tavikjxc.dat;Persist Security Info=False"},
      {"key in another section", "[other]\ndb_type=1\n", TDbKind::JetFile,
       "Provider=Microsoft.Jet.OLEDB.4.0;Jet OLEDB:Database Password=mbjt;Data "
       "Source=DIR/tavikjxc.dat;Persist Security Info=False"},
  };
  for (const Case& c : cases) {
    test::ExeDirFixture exe;
    if (c.ini) test::WriteFile(exe.Dir() + "tool.ini", c.ini);
    OpenSettings(ExeDir() + "tool.ini");
    LoadSettings();
    const TConnectionData d =
        BuildConnectionData(db_type, db_name, db_ip, db_username, db_password, ExeDir());
    std::string expected = c.expected;
    if (const size_t dir = expected.find("DIR/"); dir != std::string::npos)
      expected.replace(dir, 4, exe.Dir());
    EXPECT_EQ(d.kind, c.kind) << c.name;
    EXPECT_EQ(d.connectionString, expected) << c.name;
    if (d.kind == TDbKind::JetFile) {
      EXPECT_EQ(d.filePassword, "mbjt");
      EXPECT_EQ(d.provider, "Microsoft.Jet.OLEDB.4.0");
    } else {
      EXPECT_EQ(d.provider, "SQLOLEDB.1");
    }
  }
}

TEST(Settings, SqlServerTargetIsFreeTdsOverOdbc) {
  TConnectionData d = BuildConnectionData(1, "crm", "db.example, 1500", "sa", "p;w}d", "/x/");
  EXPECT_EQ(d.dataSource, "db.example, 1500");
  const TDbTarget t = TargetFromConnectionData(d);
  EXPECT_EQ(t.driver, "QODBC");
  EXPECT_EQ(t.dialect, TDialect::SqlServer);
  // A value with ';' cannot add attributes of its own: it is braced, '}' doubled.
  EXPECT_EQ(t.databaseName.toStdString(),
            "DRIVER={FreeTDS};SERVER=db.example;PORT=1500;DATABASE=crm;UID=sa;PWD={p;w}}d};"
            "TDS_Version=7.3;ClientCharset=UTF-8");
}

class StartupTest : public ::testing::Test {
 protected:
  test::FakeDialogs dialogs;
  test::ExeDirFixture exe;
};

TEST_F(StartupTest, ConnectsToTheDatabaseBesideTheExecutableAndRegistersNow) {
  test::CreateDatabase(exe.Dir() + "tavikjxc.dat");
  TDataModule1 dm;
  ASSERT_TRUE(dm.DataModuleCreate());
  EXPECT_TRUE(dialogs.plain.empty());
  EXPECT_TRUE(dialogs.exitCodes.empty());
  std::string now;
  dm.GetString("select now()", now);
  EXPECT_TRUE(QString::fromStdString(now).contains(
      QRegularExpression("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d$")))
      << now;
}

TEST_F(StartupTest, NotADatabaseTakesTheFailurePath) {
  test::WriteFile(exe.Dir() + "tavikjxc.dat", "this is not a database file at all......");
  TDataModule1 dm;
  EXPECT_FALSE(dm.DataModuleCreate());
  EXPECT_EQ(dialogs.exitCodes, std::vector<int>{0});
}

// Missing database: message, connection dialog, exit code 0 whatever the user does, and the
// file is never created by the attempt.
TEST_F(StartupTest, MissingDatabaseSaveWritesTrimmedAddressAndExits) {
  test::WriteFile(exe.Dir() + "tool.ini", "[db]\ndb_ip=192.168.0.9,1433\n");
  std::string shownAddress;
  dialogs.onModal = [&](QDialog* d) {
    auto* form = qobject_cast<TFormDBLink*>(d);
    EXPECT_NE(form, nullptr);
    EXPECT_EQ(d->windowTitle().toStdString(), "数据库连接");
    EXPECT_EQ(d->size(), QSize(293, 228));
    shownAddress = form->AdvEdit1->text().toStdString();
    form->AdvEdit1->setText(" 10.0.0.5,1433 ");
    form->AdvGlowButton1->click();
    return 1;
  };
  const int before = TFormMain::CreatedCount();
  EXPECT_EQ(RunApplication(), 0);
  EXPECT_EQ(dialogs.plain, std::vector<std::string>{"连接数据库失败,请重新设置数据库连接! "});
  EXPECT_EQ(shownAddress, "192.168.0.9,1433");
  ASSERT_EQ(dialogs.boxes.size(), 1u);
  EXPECT_EQ(dialogs.boxes[0].text, "保存成功,请重新打开软件!");
  EXPECT_EQ(dialogs.boxes[0].caption, "系统提示");
  EXPECT_EQ(dialogs.boxes[0].icon, TMsgIcon::Information);
  ASSERT_FALSE(dialogs.exitCodes.empty());
  EXPECT_EQ(dialogs.exitCodes.front(), 0);
  EXPECT_EQ(TFormMain::CreatedCount(), before);
  xls::TIniFile ini(exe.Dir() + "tool.ini");
  EXPECT_EQ(ini.ReadString("db", "db_ip", "?"), "10.0.0.5,1433");
  EXPECT_FALSE(QFile::exists(QString::fromStdString(exe.Dir() + "tavikjxc.dat")));
}

TEST_F(StartupTest, MissingDatabaseCancelWritesNothingAndExits) {
  std::string shownAddress;
  dialogs.onModal = [&](QDialog* d) {
    auto* form = qobject_cast<TFormDBLink*>(d);
    shownAddress = form->AdvEdit1->text().toStdString();
    form->AdvEdit1->setText("1.2.3.4");
    form->AdvGlowButton2->click();
    return 0;
  };
  const int before = TFormMain::CreatedCount();
  EXPECT_EQ(RunApplication(), 0);
  EXPECT_EQ(shownAddress, "127.0.0.1,1433");
  EXPECT_TRUE(dialogs.boxes.empty());
  EXPECT_EQ(dialogs.exitCodes, std::vector<int>{0});
  EXPECT_EQ(TFormMain::CreatedCount(), before);
  EXPECT_FALSE(QFile::exists(QString::fromStdString(exe.Dir() + "tool.ini")));
}

TEST_F(StartupTest, SavedSettingsKeepOtherLines) {
  test::WriteFile(exe.Dir() + "tool.ini", "; comment\n[db]\ndb_type=2\nDB_IP=old\n[x]\ny=1\n");
  xls::TIniFile ini(exe.Dir() + "tool.ini");
  ini.WriteString("db", "db_ip", "");
  ini.WriteString("db", "db_user", "u");
  ini.WriteString("new", "k", "v");
  EXPECT_EQ(ini.ReadString("db", "db_ip", "?"), "");
  EXPECT_EQ(ini.ReadInteger("db", "db_type", 0), 2);
  EXPECT_EQ(ini.ReadString("db", "db_user", "?"), "u");
  EXPECT_EQ(ini.ReadString("x", "y", "?"), "1");
  EXPECT_EQ(ini.ReadString("new", "k", "?"), "v");
  EXPECT_EQ(test::ReadFile(exe.Dir() + "tool.ini").substr(0, 11), "; comment\r\n");
}

}  // namespace
}  // namespace app
