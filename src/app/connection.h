// The database connection as data: what tool.ini selects, and how Qt SQL reaches it.
#pragma once

#include <QString>
#include <string>

namespace app {

enum class TDbKind { JetFile, SqlServer };

// The fields of the connection text the settings produce.
struct TConnectionData {
  TDbKind kind = TDbKind::JetFile;
  std::string provider;          // "Microsoft.Jet.OLEDB.4.0" or "SQLOLEDB.1"
  std::string connectionString;  // the complete provider connection text
  // SQL Server
  std::string userId;
  std::string password;
  std::string catalog;
  std::string dataSource;  // "host,port"
  // Database file
  std::string filePath;      // executable directory + db_name as read
  std::string filePassword;  // the fixed file password; SQLite does not apply it
};

// db_type 1 selects SQL Server (every value trimmed); any other value the database file beside
// the executable (db_name untrimmed).
TConnectionData BuildConnectionData(int dbType, const std::string& dbName, const std::string& dbIp,
                                    const std::string& dbUsername, const std::string& dbPassword,
                                    const std::string& exeDir);

// SQL dialect of an open connection: decides how a new row's identity is fetched.
enum class TDialect { SQLite, SqlServer };

// What Qt SQL opens.
struct TDbTarget {
  QString driver;        // "QSQLITE" or "QODBC"
  QString databaseName;  // file URI or ODBC connection text
  QString connectOptions;
  TDialect dialect = TDialect::SQLite;
  QString filePath;  // SQLite: the file that must exist
};

// SQLite: the file opened read-write, never created. SQL Server: ODBC through FreeTDS.
TDbTarget TargetFromConnectionData(const TConnectionData& data);
// An ODBC connection text value, braced when it holds characters with a meaning there.
QString OdbcValue(const QString& value);

}  // namespace app
