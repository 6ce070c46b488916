#include <gtest/gtest.h>

#include <QComboBox>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStringList>

#include "app/data_module.h"
#include "test_support.h"

namespace app {
namespace {

// The data module's methods run once on the SQLite driver and once through ODBC (SQLite ODBC
// driver on the same kind of file), the path SQL Server takes.
enum class Route { Sqlite, Odbc };

class DataModuleTest : public ::testing::TestWithParam<Route> {
 protected:
  void SetUp() override {
    path_ = exe_.Dir() + "data.db";
    test::CreateDatabase(path_,
                         "CREATE TABLE serial (code TEXT);"
                         "INSERT INTO [user] (uName) VALUES ('张伟'), ('李娜');");
    TDbTarget target;
    if (GetParam() == Route::Sqlite) {
      TConnectionData data = BuildConnectionData(2, "data.db", "", "", "", exe_.Dir());
      target = TargetFromConnectionData(data);
    } else {
      if (!QSqlDatabase::isDriverAvailable("QODBC")) GTEST_SKIP() << "Qt ODBC driver missing";
      target.driver = "QODBC";
      target.databaseName = "DRIVER={SQLite3};Database=" + OdbcValue(QString::fromStdString(path_));
      target.dialect = TDialect::SQLite;
    }
    if (!dm_.Connect(target)) {
      if (GetParam() == Route::Odbc) GTEST_SKIP() << "SQLite ODBC driver (libsqliteodbc) missing";
      FAIL() << "cannot connect";
    }
  }

  int Count(const std::string& sql) {
    std::string n;
    dm_.GetString(sql, n);
    return std::stoi(n);
  }

  test::FakeDialogs dialogs_;
  test::ExeDirFixture exe_;
  std::string path_;
  TDataModule1 dm_;
};

TEST_P(DataModuleTest, QueriesIntoRowLists) {
  ASSERT_EQ(dm_.UpdateSQl("insert into Client (cCompany, cArea, cZip) values ('甲', NULL, 'z1')"),
            1);
  ASSERT_EQ(dm_.UpdateSQl("insert into Client (cCompany, cArea) values ('乙', '江苏')"), 1);

  auto rows = dm_.GetCommonList("select * from client order by cId");
  ASSERT_EQ(rows->Count(), 2u);
  EXPECT_EQ(rows->Strings(0), "0");
  EXPECT_EQ(rows->Strings(1), "1");
  const TStringList* first = rows->Objects(0);
  EXPECT_EQ(first->Count(), 24u);  // every column of the table
  EXPECT_EQ(first->Names(0), "cId");
  EXPECT_EQ(first->Values("CCOMPANY"), "甲");
  EXPECT_EQ(first->Values("cArea"), "");  // NULL
  EXPECT_EQ(first->Values("cZip"), "z1");
  EXPECT_EQ(first->Values("noSuchField"), "");
  EXPECT_EQ(rows->Objects(1)->Values("cArea"), "江苏");

  EXPECT_EQ(dm_.GetCommonList("select * from client where 1=0")->Count(), 0u);
  EXPECT_EQ(dm_.GetList("select cCompany from client order by cId")->Texts(),
            (std::vector<std::string>{"甲", "乙"}));
  std::string s = "stale";
  dm_.GetString("select cCompany from client where cCompany='无'", s);
  EXPECT_EQ(s, "");
  EXPECT_EQ(dm_.GetCommonInfo("select cCompany, cZip from client order by cId")->Texts(),
            (std::vector<std::string>{"cCompany=甲", "cZip=z1"}));
  EXPECT_TRUE(dm_.GetCommonInfo("select * from client where 1=0")->Empty());
  EXPECT_TRUE(dm_.IsExitSQl("select  1 from Client where cCompany='甲' "));
  EXPECT_FALSE(dm_.IsExitSQl("select  1 from Client where cCompany='丙' "));
  EXPECT_EQ(dm_.UpdateSQl("update client set cZip='x'"), 2);
  EXPECT_TRUE(dialogs_.boxes.empty());
}

TEST_P(DataModuleTest, ErrorsShowTheBoxAndGiveNeutralResults) {
  EXPECT_FALSE(dm_.IsExitSQl("selec nothing frm"));
  ASSERT_EQ(dialogs_.boxes.size(), 1u);
  EXPECT_EQ(dialogs_.boxes[0].caption, "操作数据库失败");
  EXPECT_EQ(dialogs_.boxes[0].icon, TMsgIcon::Question);
  EXPECT_FALSE(dialogs_.boxes[0].text.empty());
  EXPECT_EQ(dm_.UpdateSQl("update nowhere set a=1"), 0);
  EXPECT_TRUE(dm_.GetCommonList("select * from nowhere")->Empty());
  std::string s = "stale";
  dm_.GetString("select x from nowhere", s);
  EXPECT_EQ(s, "");
  EXPECT_EQ(dialogs_.boxes.size(), 4u);
  EXPECT_EQ(dm_.InsertSqlByAccess("insert into nowhere values (1)"), 0);
  EXPECT_EQ(dialogs_.boxes.back().caption, "提示");
}

TEST_P(DataModuleTest, UpdateSQlListCommitsAllOrNothing) {
  TStringList ok;
  ok.Add("insert into Client (cCompany) values ('a')");
  ok.Add("update Client set cZip='1' where cCompany='nobody'");  // changes no row
  EXPECT_EQ(dm_.UpdateSQlList(ok, 0), 1);
  EXPECT_EQ(Count("select count(*) from Client"), 1);

  TStringList checked;
  checked.Add("insert into Client (cCompany) values ('b')");
  checked.Add("update Client set cZip='1' where cCompany='nobody'");
  checked.Add("insert into Client (cCompany) values ('c')");
  EXPECT_EQ(dm_.UpdateSQlList(checked, 1), 0);
  ASSERT_EQ(dialogs_.boxes.size(), 1u);
  EXPECT_EQ(dialogs_.boxes[0].text,
            "事务执行失败!update Client set cZip='1' where cCompany='nobody'");
  EXPECT_EQ(Count("select count(*) from Client"), 1);  // 'b' rolled back

  TStringList failing;
  failing.Add("insert into Client (cCompany) values ('d')");
  failing.Add("insert into nowhere values (1)");
  EXPECT_EQ(dm_.UpdateSQlList(failing, 0), 0);
  EXPECT_EQ(Count("select count(*) from Client"), 1);

  EXPECT_EQ(dm_.UpdateSQlList(TStringList(), 1), 1);
}

std::unique_ptr<TStringList> Group(std::initializer_list<std::string> statements) {
  auto g = std::make_unique<TStringList>();
  for (const std::string& s : statements) g->Add(s);
  return g;
}

TEST_P(DataModuleTest, UpdateSQlListByListGroups) {
  const std::string probe = "select 1 from Client where cCompany='x'";
  const std::string read =
      "select max(code) from serial where length(code)=:len and code like :pat";
  const std::string write = "insert into serial (code) values (:code)";
  TStringList batch;
  batch.AddObject("", Group({probe, "insert into Client (cCompany, cZip) values ('x', '1')",
                             "update Client set cZip='2' where cCompany='x'"}));
  batch.AddObject("", Group({probe, "insert into Client (cCompany, cZip) values ('x', '1')",
                             "update Client set cZip='2' where cCompany='x'"}));
  batch.AddObject("", Group({"select 1 from Client where cCompany='s'", read, write, "KH", "4",
                             "update Client set cZip='3' where cCompany='s'"}));
  batch.AddObject("", Group({"insert into Client (cCompany) values ('y')"}));
  EXPECT_TRUE(dm_.UpdateSQlListByList(batch));
  std::string zip, code;
  dm_.GetString("select cZip from Client where cCompany='x'", zip);
  dm_.GetString("select code from serial", code);
  EXPECT_EQ(zip, "2");  // inserted by the first group, updated by the second
  EXPECT_EQ(code, "KH0001");
  EXPECT_EQ(Count("select count(*) from Client"), 2);

  // A six-statement group whose width is not a number rolls back the whole batch.
  TStringList bad;
  bad.AddObject("", Group({"insert into Client (cCompany) values ('z')"}));
  bad.AddObject("", Group({"select 1 from Client where cCompany='none'", read, write, "KH", "w",
                           "update Client set cZip='3'"}));
  EXPECT_FALSE(dm_.UpdateSQlListByList(bad));
  EXPECT_EQ(Count("select count(*) from Client"), 2);
  EXPECT_EQ(Count("select count(*) from serial"), 1);
  EXPECT_EQ(dialogs_.boxes.back().caption, "操作数据库失败");

  // A statement that changes no row fails the batch.
  TStringList none;
  none.AddObject("", Group({"insert into Client (cCompany) values ('q')"}));
  none.AddObject("", Group({"update Client set cZip='1' where cCompany='nobody'"}));
  EXPECT_FALSE(dm_.UpdateSQlListByList(none));
  EXPECT_EQ(dialogs_.boxes.back().text, "事务执行失败!");
  EXPECT_EQ(Count("select count(*) from Client where cCompany='q'"), 0);
}

TEST_P(DataModuleTest, NextSerialNumbers) {
  const std::string read =
      "select max(code) from serial where length(code)=:len and code like :pat";
  struct Case {
    std::vector<std::string> existing;
    std::string prefix;
    int width;
    std::string next;
  } cases[] = {
      {{}, "KH", 4, "KH0001"},
      {{"KH0041", "KH0007"}, "KH", 4, "KH0042"},
      {{"KH9999"}, "KH", 4, "KH10000"},
      {{"1101"}, "1", 3, "1001"},  // every occurrence of the prefix is removed
      {{"041"}, "", 3, "042"},
      {{"123456789012345678"}, "", 18, "123456789012345679"},
  };
  for (const Case& c : cases) {
    dm_.UpdateSQl("delete from serial");
    for (const std::string& e : c.existing)
      dm_.UpdateSQl("insert into serial (code) values ('" + e + "')");
    std::string next = "stale";
    dm_.GetMaxSn(c.prefix, c.width, read, next);
    EXPECT_EQ(next, c.next) << c.prefix << " " << c.width;
  }
  // The reading query gets the prefix length plus the width, and "%" + prefix + "%".
  std::string echoed;
  dm_.GetMaxSn("", 3,
               "select (case when :len = 3 then 10 else 0 end) + "
               "(case when :pat = '%%' then 1 else 0 end)",
               echoed);
  EXPECT_EQ(echoed, "012");  // 11 + 1: both parameters arrived as expected
  std::string raw;
  dm_.GetMaxSn("AB", 2, "select 'AB' || :len || :pat", raw);  // "AB4%AB%" → "4" → 5
  EXPECT_EQ(raw, "AB05");
  std::string failed = "stale";
  dm_.GetMaxSn("KH", 4, "select nonsense from nowhere where :a=:b", failed);
  EXPECT_EQ(failed, "");
  EXPECT_TRUE(dialogs_.boxes.empty());  // GetMaxSn shows nothing
}

TEST_P(DataModuleTest, InsertSqlBySn) {
  const std::string read =
      "select max(code) from serial where length(code)=:len and code like :pat";
  TStringList one;
  one.Add(read);
  std::string result = "stale";
  dm_.InsertSqlBySn("KH", 4, one, result);
  EXPECT_EQ(result, "");
  ASSERT_EQ(dialogs_.boxes.size(), 1u);
  EXPECT_EQ(dialogs_.boxes[0].text, "参数错误,请重试!");
  EXPECT_EQ(dialogs_.boxes[0].caption, "标题");
  EXPECT_EQ(Count("select count(*) from serial"), 0);

  TStringList good;
  good.Add(read);
  good.Add("insert into serial (code) values (:code)");
  dm_.InsertSqlBySn("KH", 4, good, result);
  EXPECT_EQ(result, "KH0001");
  dm_.InsertSqlBySn("KH", 4, good, result);
  EXPECT_EQ(result, "KH0002");

  TStringList failing;
  failing.Add(read);
  failing.Add("insert into nowhere (code) values (:code)");
  dm_.InsertSqlBySn("KH", 4, failing, result);
  EXPECT_EQ(result, "");
  EXPECT_EQ(dialogs_.boxes.back().caption, "执行事务失败,请重试!");
  EXPECT_EQ(Count("select count(*) from serial"), 2);

  // Inside the caller's transaction a failure raises for the caller to roll back.
  QSqlQuery q(dm_.Connection());
  EXPECT_THROW(dm_.InsideInsertSqlBySn(q, "KH", 4, failing, result), EDbError);
  EXPECT_EQ(result, "");
}

TEST_P(DataModuleTest, InsertReturnsTheNewIdentity) {
  const long long a = dm_.InsertSqlByAccess("insert into Client (cCompany) values ('a')");
  const long long b = dm_.InsertSqlByAccess("insert into Client (cCompany) values ('b')");
  EXPECT_GT(a, 0);
  EXPECT_EQ(b, a + 1);
  EXPECT_EQ(dm_.InsertSql("insert into Client (cCompany) values ('c')"), b + 1);
}

TEST_P(DataModuleTest, RefreshKeepsTheCurrentRow) {
  for (const char* c : {"a", "b", "c"})
    dm_.UpdateSQl(std::string("insert into Client (cCompany) values ('") + c + "')");
  QSqlQuery ds(dm_.Connection());
  ASSERT_TRUE(ds.exec("select cId, cCompany from Client order by cId"));
  ds.first();
  ds.next();
  const QString current = ds.value("cCompany").toString();
  dm_.UpdateSQl("insert into Client (cCompany) values ('0')");
  dm_.RefreshAdo(ds, "cId");
  EXPECT_EQ(ds.value("cCompany").toString(), current);
  ds.first();
  ds.next();
  ds.next();
  dm_.RefreshAdo2(ds);
  EXPECT_EQ(ds.value("cCompany").toString(), "c");
}

TEST_P(DataModuleTest, ComboBoxFilledFromQuery) {
  QComboBox box;
  box.addItem("existing");
  dm_.initAdvComboBox(&box, " Select uName from [user] ");
  ASSERT_EQ(box.count(), 3);
  EXPECT_EQ(box.itemText(0), "existing");
  EXPECT_EQ(box.itemText(1), "张伟");
  EXPECT_EQ(box.itemText(2), "李娜");
  EXPECT_EQ(box.itemData(1).toStringList(), QStringList{"uName=张伟"});
  // With two or more fields the second one is shown.
  dm_.initAdvComboBox(&box, "select uId, uName from [user] where uName='李娜'");
  EXPECT_EQ(box.itemText(3), "李娜");
}

INSTANTIATE_TEST_SUITE_P(Drivers, DataModuleTest, ::testing::Values(Route::Sqlite, Route::Odbc),
                         [](const auto& info) {
                           return std::string(info.param == Route::Sqlite ? "Sqlite" : "Odbc");
                         });

}  // namespace
}  // namespace app
