#include "app/data_module.h"

#include <sqlite3.h>

#include <QComboBox>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlRecord>
#include <QStringList>
#include <QVariant>
#include <atomic>
#include <ctime>

#include "app/dialogs.h"
#include "app/form_db_link.h"
#include "app/logic.h"

namespace app {

TDataModule1* DataModule1 = nullptr;

namespace {

const char* const kDbErrorCaption = "操作数据库失败";
const char* const kTransactionFailed = "事务执行失败!";

QString Q(const std::string& s) {
  return QString::fromStdString(s);
}

std::string ErrorText(const QSqlError& e) {
  QString t = e.databaseText();
  if (t.isEmpty()) t = e.text();
  if (t.isEmpty()) t = e.driverText();
  return t.toStdString();
}

// now(): the local date and time as 'YYYY-MM-DD HH:MM:SS'.
void SqliteNow(sqlite3_context* ctx, int, sqlite3_value**) {
  const std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
  sqlite3_result_text(ctx, buf, -1, SQLITE_TRANSIENT);
}

bool RegisterNow(const QSqlDatabase& db) {
  const QVariant handle = db.driver()->handle();
  if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0) return false;
  sqlite3* h = *static_cast<sqlite3* const*>(handle.data());
  return h && sqlite3_create_function_v2(h, "now", 0, SQLITE_UTF8, nullptr, SqliteNow, nullptr,
                                         nullptr, nullptr) == SQLITE_OK;
}

int StrToInt(const std::string& s) {
  int v;
  if (!xls::ParseProfileInt(s, v) || Trim(s) != s)
    throw EDbError("'" + s + "' is not a valid integer value");
  return v;
}

}  // namespace

std::string FieldText(const QVariant& value) {
  if (value.isNull() || !value.isValid()) return {};
  return value.toString().toStdString();
}

std::string IncrementDecimal(const std::string& digits) {
  std::string d = digits;
  size_t nz = 0;
  while (nz + 1 < d.size() && d[nz] == '0') ++nz;
  d.erase(0, nz);
  if (d.empty()) d = "0";
  int i = static_cast<int>(d.size()) - 1;
  while (i >= 0) {
    if (d[static_cast<size_t>(i)] == '9') {
      d[static_cast<size_t>(i)] = '0';
      --i;
    } else {
      ++d[static_cast<size_t>(i)];
      break;
    }
  }
  if (i < 0) d.insert(d.begin(), '1');
  return d;
}

TDataModule1::TDataModule1() {
  static std::atomic<int> counter{0};
  connectionName_ = QString("ADOConnection1_%1").arg(++counter);
  DataModule1 = this;
}

TDataModule1::~TDataModule1() {
  query_.reset();
  if (QSqlDatabase::contains(connectionName_)) {
    {
      QSqlDatabase db = QSqlDatabase::database(connectionName_, false);
      if (db.isOpen()) db.close();
    }
    QSqlDatabase::removeDatabase(connectionName_);
  }
  if (DataModule1 == this) DataModule1 = nullptr;
}

bool TDataModule1::DataModuleCreate() {
  const bool ok = ConnectFromSettings();
  if (!ok) FailurePath();
  return ok;
}

bool TDataModule1::ConnectFromSettings() {
  OpenSettings(ExeDir() + "tool.ini");
  LoadSettings();
  try {
    connectionData_ =
        BuildConnectionData(db_type, db_name, db_ip, db_username, db_password, ExeDir());
    return Connect(TargetFromConnectionData(connectionData_));
  } catch (const std::exception&) {
    return false;
  }
}

void TDataModule1::FailurePath() {
  Dialogs().ShowPlainMessage(nullptr, "连接数据库失败,请重新设置数据库连接! ");
  {
    TFormDBLink dialog(nullptr);
    Dialogs().ShowModal(&dialog);
  }
  Dialogs().ExitProcess(0);
}

bool TDataModule1::Connect(const TDbTarget& target) {
  query_.reset();
  if (QSqlDatabase::contains(connectionName_)) {
    {
      QSqlDatabase old = QSqlDatabase::database(connectionName_, false);
      old.close();
    }
    QSqlDatabase::removeDatabase(connectionName_);
  }
  dialect_ = target.dialect;
  if (target.driver == "QSQLITE") {
    // Connecting never creates the database file.
    const QFileInfo info(target.filePath);
    if (target.filePath.isEmpty() || !info.exists() || !info.isFile()) return false;
  }
  QSqlDatabase db = QSqlDatabase::addDatabase(target.driver, connectionName_);
  if (!db.isValid()) return false;
  db.setDatabaseName(target.databaseName);
  db.setConnectOptions(target.connectOptions);
  if (!db.open()) return false;
  if (target.driver == "QSQLITE") {
    // Opening is lazy: a file that is not a database shows up at the first statement.
    QSqlQuery probe(db);
    if (!probe.exec("select count(*) from sqlite_master") || !RegisterNow(db)) {
      probe = QSqlQuery();
      db.close();
      return false;
    }
  }
  query_ = std::make_unique<QSqlQuery>(db);
  return true;
}

bool TDataModule1::Connected() const {
  return QSqlDatabase::contains(connectionName_) &&
         QSqlDatabase::database(connectionName_, false).isOpen();
}

QSqlDatabase TDataModule1::Connection() const {
  return QSqlDatabase::database(connectionName_, false);
}

void TDataModule1::ResetQuery() {
  query_ = std::make_unique<QSqlQuery>(Connection());
}

void TDataModule1::EnsureOpen() {
  QSqlDatabase db = Connection();
  if (!db.isValid()) throw EDbError("The database connection is not set up");
  if (!db.isOpen() && !db.open()) throw EDbError(ErrorText(db.lastError()));
}

void TDataModule1::OpenQuery(QSqlQuery& q, const std::string& sql) {
  q.finish();
  if (!q.exec(Q(sql))) throw EDbError(ErrorText(q.lastError()));
  q.first();
}

int TDataModule1::ExecQuery(QSqlQuery& q, const std::string& sql) {
  q.finish();
  if (!q.exec(Q(sql))) throw EDbError(ErrorText(q.lastError()));
  return q.numRowsAffected();
}

void TDataModule1::BeginTransaction() {
  QSqlDatabase db = Connection();
  if (!db.transaction()) throw EDbError(ErrorText(db.lastError()));
}

void TDataModule1::Commit() {
  query_->finish();
  QSqlDatabase db = Connection();
  if (!db.commit()) throw EDbError(ErrorText(db.lastError()));
}

void TDataModule1::Rollback() {
  if (query_) query_->finish();
  QSqlDatabase db = Connection();
  if (db.isValid()) db.rollback();
}

void TDataModule1::ShowDbError(const std::string& message, const char* caption) {
  Dialogs().MessageBox(nullptr, message, caption ? caption : kDbErrorCaption, TMsgIcon::Question,
                       TMsgButtons::OK);
}

std::unique_ptr<TStringList> TDataModule1::GetCommonList(const std::string& sql) {
  auto rows = std::make_unique<TStringList>();
  try {
    ResetQuery();
    QSqlQuery& q = *query_;
    OpenQuery(q, sql);
    int ordinal = 0;
    while (q.isValid()) {
      const QSqlRecord rec = q.record();
      auto fields = std::make_unique<TStringList>();
      for (int i = 0; i < rec.count(); ++i)
        fields->Add(rec.fieldName(i).toStdString() + "=" + FieldText(rec.value(i)));
      rows->AddObject(std::to_string(ordinal++), std::move(fields));
      q.next();
    }
    if (q.lastError().isValid()) throw EDbError(ErrorText(q.lastError()));
  } catch (const EDbError& e) {
    ShowDbError(e.what());
  }
  return rows;
}

std::unique_ptr<TStringList> TDataModule1::GetList(const std::string& sql) {
  auto list = std::make_unique<TStringList>();
  try {
    ResetQuery();
    QSqlQuery& q = *query_;
    OpenQuery(q, sql);
    while (q.isValid()) {
      list->Add(FieldText(q.value(0)));
      q.next();
    }
    if (q.lastError().isValid()) throw EDbError(ErrorText(q.lastError()));
  } catch (const EDbError& e) {
    ShowDbError(e.what());
  }
  return list;
}

void TDataModule1::GetString(const std::string& sql, std::string& result) {
  result.clear();
  try {
    ResetQuery();
    OpenQuery(*query_, sql);
    if (query_->isValid()) result = FieldText(query_->value(0));
  } catch (const EDbError& e) {
    result.clear();
    ShowDbError(e.what());
  }
}

std::unique_ptr<TStringList> TDataModule1::GetCommonInfo(const std::string& sql) {
  auto fields = std::make_unique<TStringList>();
  try {
    ResetQuery();
    OpenQuery(*query_, sql);
    if (query_->isValid()) {
      const QSqlRecord rec = query_->record();
      for (int i = 0; i < rec.count(); ++i)
        fields->Add(rec.fieldName(i).toStdString() + "=" + FieldText(rec.value(i)));
    }
  } catch (const EDbError& e) {
    ShowDbError(e.what());
  }
  return fields;
}

bool TDataModule1::IsExitSQl(const std::string& sql) {
  try {
    ResetQuery();
    OpenQuery(*query_, sql);
    return query_->isValid();
  } catch (const EDbError& e) {
    ShowDbError(e.what());
    return false;
  }
}

int TDataModule1::UpdateSQl(const std::string& sql) {
  try {
    ResetQuery();
    return ExecQuery(*query_, sql);
  } catch (const EDbError& e) {
    ShowDbError(e.what());
    return 0;
  }
}

int TDataModule1::UpdateSQlList(const TStringList& statements, int check) {
  bool inTransaction = false;
  try {
    ResetQuery();
    EnsureOpen();
    BeginTransaction();
    inTransaction = true;
    for (size_t i = 0; i < statements.Count(); ++i) {
      const int n = ExecQuery(*query_, statements.Strings(i));
      if (check == 1 && n <= 0) throw EDbError(kTransactionFailed + statements.Strings(i));
    }
    Commit();
    return 1;
  } catch (const EDbError& e) {
    if (inTransaction) Rollback();
    ShowDbError(e.what());
    return 0;
  }
}

bool TDataModule1::UpdateSQlListByList(const TStringList& groups) {
  bool inTransaction = false;
  try {
    ResetQuery();
    EnsureOpen();
    BeginTransaction();
    inTransaction = true;
    long long total = 0;
    for (size_t g = 0; g < groups.Count(); ++g) {
      static const TStringList kEmpty;
      const TStringList& group = groups.Objects(g) ? *groups.Objects(g) : kEmpty;
      QSqlQuery& q = *query_;
      int n = 0;
      auto runChecked = [&](const std::string& sql) {
        const int count = ExecQuery(q, sql);
        if (count < 1) throw EDbError(kTransactionFailed);
        return count;
      };
      if (group.Count() == 3) {
        OpenQuery(q, group.Strings(0));
        const bool exists = q.isValid();
        n = runChecked(group.Strings(exists ? 2 : 1));
      } else if (group.Count() == 6) {
        OpenQuery(q, group.Strings(0));
        if (!q.isValid()) {
          const int width = StrToInt(group.Strings(4));
          TStringList pair;
          pair.Add(group.Strings(1));
          pair.Add(group.Strings(2));
          std::string serial;
          n = InsideInsert(q, group.Strings(3), width, pair, serial);
        } else {
          n = runChecked(group.Strings(5));
        }
      } else {
        if (group.Empty()) throw EDbError(kTransactionFailed);
        n = runChecked(group.Strings(0));
      }
      total += n;
    }
    Commit();
    return total > 0;
  } catch (const EDbError& e) {
    if (inTransaction) Rollback();
    ShowDbError(e.what());
    return false;
  }
}

long long TDataModule1::InsertAndFetchId(const std::string& sql, const char* identityQuery) {
  try {
    ResetQuery();
    QSqlQuery& q = *query_;
    if (dialect_ == TDialect::SQLite) {
      // SQLite runs one statement at a time; the new row's id is last_insert_rowid().
      ExecQuery(q, sql);
      OpenQuery(q, "select last_insert_rowid()");
    } else {
      q.finish();
      if (!q.exec(Q(sql + "\r\n" + identityQuery))) throw EDbError(ErrorText(q.lastError()));
      while (!q.isSelect() && q.nextResult()) {
      }
      q.first();
    }
    return q.isValid() ? q.value(0).toLongLong() : 0;
  } catch (const EDbError& e) {
    ShowDbError(e.what(), "提示");
    return 0;
  }
}

long long TDataModule1::InsertSql(const std::string& sql) {
  return InsertAndFetchId(sql, "select scope_identity() as newId");
}

long long TDataModule1::InsertSqlByAccess(const std::string& sql) {
  return InsertAndFetchId(sql, "select @@identity as id ");
}

void TDataModule1::RefreshAdo(QSqlQuery& dataset, const std::string& keyField) {
  const QVariant key = dataset.value(Q(keyField));
  const long long remembered = key.toLongLong();
  const bool ok = dataset.lastQuery().isEmpty() ? false : dataset.exec(dataset.lastQuery());
  if (!ok) throw EDbError(ErrorText(dataset.lastError()));
  if (!dataset.first()) return;
  while (dataset.isValid() && dataset.value(Q(keyField)).toLongLong() != remembered) dataset.next();
  if (!dataset.isValid()) dataset.first();
}

void TDataModule1::RefreshAdo2(QSqlQuery& dataset) {
  const int bookmark = dataset.at();
  if (dataset.lastQuery().isEmpty() || !dataset.exec(dataset.lastQuery())) return;
  if (bookmark >= 0) dataset.seek(bookmark);
}

std::string TDataModule1::NextSerial(QSqlQuery& q, const std::string& prefix, int width,
                                     const std::string& readingQuery) {
  q.finish();
  if (!q.prepare(Q(readingQuery))) throw EDbError(ErrorText(q.lastError()));
  q.bindValue(0, static_cast<int>(prefix.size()) + width);
  q.bindValue(1, Q("%" + prefix + "%"));
  if (!q.exec()) throw EDbError(ErrorText(q.lastError()));
  std::string highest = q.first() ? Trim(FieldText(q.value(0))) : std::string();
  q.finish();
  if (!prefix.empty()) {
    for (size_t p = highest.find(prefix); p != std::string::npos; p = highest.find(prefix))
      highest.erase(p, prefix.size());
  }
  highest = RegexReplace(highest, "[^0-9]", "");
  std::string counter = IncrementDecimal(highest.empty() ? "0" : highest);
  if (width > 0 && counter.size() < static_cast<size_t>(width))
    counter.insert(0, static_cast<size_t>(width) - counter.size(), '0');
  return prefix + counter;
}

std::string TDataModule1::WriteSerial(QSqlQuery& q, const std::string& prefix, int width,
                                      const TStringList& statements) {
  const std::string serial = NextSerial(q, prefix, width, statements.Strings(0));
  if (!q.prepare(Q(statements.Strings(1)))) throw EDbError(ErrorText(q.lastError()));
  q.bindValue(0, Q(serial));
  if (!q.exec()) throw EDbError(ErrorText(q.lastError()));
  return serial;
}

void TDataModule1::GetMaxSn(const std::string& prefix, int width, const std::string& query,
                            std::string& result) {
  result.clear();
  try {
    EnsureOpen();
    ResetQuery();
    result = NextSerial(*query_, prefix, width, query);
    query_->finish();
  } catch (const EDbError&) {
    result.clear();
  }
}

void TDataModule1::InsertSqlBySn(const std::string& prefix, int width,
                                 const TStringList& statements, std::string& result) {
  result.clear();
  if (statements.Count() < 2) {
    Dialogs().MessageBox(nullptr, "参数错误,请重试!", "标题", TMsgIcon::Question, TMsgButtons::OK);
    return;
  }
  bool inTransaction = false;
  try {
    EnsureOpen();
    ResetQuery();
    BeginTransaction();
    inTransaction = true;
    const std::string serial = WriteSerial(*query_, prefix, width, statements);
    Commit();
    query_->finish();
    result = serial;
  } catch (const EDbError& e) {
    if (inTransaction) Rollback();
    ShowDbError(e.what(), "执行事务失败,请重试!");
    query_->finish();
    result.clear();
  }
}

int TDataModule1::InsideInsert(QSqlQuery& q, const std::string& prefix, int width,
                               const TStringList& statements, std::string& result) {
  result.clear();
  if (statements.Count() < 2) {
    Dialogs().MessageBox(nullptr, "参数错误,请重试!", "标题", TMsgIcon::Question, TMsgButtons::OK);
    return 0;
  }
  try {
    result = WriteSerial(q, prefix, width, statements);
    const int count = q.numRowsAffected();
    q.finish();
    return count;
  } catch (const EDbError&) {
    result.clear();
    throw EDbError(kTransactionFailed);
  }
}

void TDataModule1::InsideInsertSqlBySn(QSqlQuery& query, const std::string& prefix, int width,
                                       const TStringList& statements, std::string& result) {
  InsideInsert(query, prefix, width, statements, result);
}

void TDataModule1::initAdvComboBox(QComboBox* box, const std::string& sql) {
  const std::unique_ptr<TStringList> rows = GetCommonList(sql);
  for (size_t i = 0; i < rows->Count(); ++i) {
    const TStringList* fields = rows->Objects(i);
    if (!fields || fields->Empty()) continue;
    const std::string& entry = fields->Strings(fields->Count() >= 2 ? 1 : 0);
    const size_t eq = entry.find('=');
    const std::string text = eq == std::string::npos ? entry : entry.substr(eq + 1);
    QStringList attached;
    for (const std::string& t : fields->Texts()) attached << Q(t);
    box->addItem(Q(text), attached);
  }
}

}  // namespace app
