// The data module: the one database connection of the tool and the SQL helpers every window
// uses. Each helper runs on the one shared query, copies what it needs out of it, catches its own
// database errors (shown in a message box) and hands the caller a neutral result.
#pragma once

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <memory>
#include <string>

#include "app/connection.h"
#include "app/string_list.h"

class QComboBox;
class QWidget;

namespace app {

// A database failure inside the helpers; its message is what the user sees.
class EDbError : public std::runtime_error {
 public:
  explicit EDbError(const std::string& message) : std::runtime_error(message) {}
};

class TDataModule1 {
 public:
  TDataModule1();
  ~TDataModule1();
  TDataModule1(const TDataModule1&) = delete;
  TDataModule1& operator=(const TDataModule1&) = delete;

  // Start-up: reads tool.ini beside the executable and connects. On failure it tells the user,
  // shows the connection dialog and ends the process; it returns false only when the process
  // end did not happen (a test's dialogs).
  bool DataModuleCreate();
  // Reads tool.ini beside the executable and connects; false on failure (nothing shown).
  bool ConnectFromSettings();
  // Opens ADOConnection1 on the target; false when it cannot be opened.
  bool Connect(const TDbTarget& target);
  bool Connected() const;
  QSqlDatabase Connection() const;
  TDialect Dialect() const { return dialect_; }
  const TConnectionData& ConnectionData() const { return connectionData_; }

  std::unique_ptr<TStringList> GetCommonList(const std::string& sql);
  std::unique_ptr<TStringList> GetList(const std::string& sql);
  void GetString(const std::string& sql, std::string& result);
  std::unique_ptr<TStringList> GetCommonInfo(const std::string& sql);
  bool IsExitSQl(const std::string& sql);
  int UpdateSQl(const std::string& sql);
  int UpdateSQlList(const TStringList& statements, int check);
  bool UpdateSQlListByList(const TStringList& groups);
  long long InsertSql(const std::string& sql);
  long long InsertSqlByAccess(const std::string& sql);
  void RefreshAdo(QSqlQuery& dataset, const std::string& keyField);
  void RefreshAdo2(QSqlQuery& dataset);
  void GetMaxSn(const std::string& prefix, int width, const std::string& query,
                std::string& result);
  void InsertSqlBySn(const std::string& prefix, int width, const TStringList& statements,
                     std::string& result);
  void InsideInsertSqlBySn(QSqlQuery& query, const std::string& prefix, int width,
                           const TStringList& statements, std::string& result);
  void initAdvComboBox(QComboBox* box, const std::string& sql);

  QSqlQuery& ADOQuery1() { return *query_; }

 private:
  void ResetQuery();
  void EnsureOpen();
  void OpenQuery(QSqlQuery& q, const std::string& sql);
  int ExecQuery(QSqlQuery& q, const std::string& sql);
  void BeginTransaction();
  void Commit();
  void Rollback();
  std::string NextSerial(QSqlQuery& q, const std::string& prefix, int width,
                         const std::string& readingQuery);
  // The next serial by statements[0], written with statements[1]; returns it.
  std::string WriteSerial(QSqlQuery& q, const std::string& prefix, int width,
                          const TStringList& statements);
  int InsideInsert(QSqlQuery& q, const std::string& prefix, int width,
                   const TStringList& statements, std::string& result);
  long long InsertAndFetchId(const std::string& sql, const char* identityQuery);
  void ShowDbError(const std::string& message, const char* caption = nullptr);
  void FailurePath();

  QString connectionName_;
  std::unique_ptr<QSqlQuery> query_;
  TDialect dialect_ = TDialect::SQLite;
  TConnectionData connectionData_;
};

// The data module of the process, set while one exists.
extern TDataModule1* DataModule1;

// Text of a field value: NULL gives the empty text.
std::string FieldText(const QVariant& value);
// The decimal digits of a counter plus one ("0041" → "42", "" → "1").
std::string IncrementDecimal(const std::string& digits);

}  // namespace app
