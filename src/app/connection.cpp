#include "app/connection.h"

#include <QRegularExpression>
#include <QUrl>

#include "app/logic.h"

namespace app {

TConnectionData BuildConnectionData(int dbType, const std::string& dbName, const std::string& dbIp,
                                    const std::string& dbUsername, const std::string& dbPassword,
                                    const std::string& exeDir) {
  TConnectionData d;
  if (dbType == 1) {
    d.kind = TDbKind::SqlServer;
    d.provider = "SQLOLEDB.1";
    d.userId = Trim(dbUsername);
    d.password = Trim(dbPassword);
    d.catalog = Trim(dbName);
    d.dataSource = Trim(dbIp);
    d.connectionString = "Provider=SQLOLEDB.1;Persist Security Info=True;User ID=" + d.userId +
                         ";Password=" + d.password + ";Initial Catalog=" + d.catalog +
                         ";Data Source=" + d.dataSource;
  } else {
    d.kind = TDbKind::JetFile;
    d.provider = "Microsoft.Jet.OLEDB.4.0";
    d.filePath = exeDir + dbName;
    d.filePassword = "mbjt";
    d.connectionString =
        "Provider=Microsoft.Jet.OLEDB.4.0;Jet OLEDB:Database Password=mbjt;Data Source=" +
        d.filePath + ";Persist Security Info=False";
  }
  return d;
}

QString OdbcValue(const QString& value) {
  if (!value.contains(QRegularExpression("[;{}=\\[\\]()!,?*@ ]")) && !value.isEmpty()) return value;
  QString v = value;
  v.replace("}", "}}");
  return "{" + v + "}";
}

TDbTarget TargetFromConnectionData(const TConnectionData& data) {
  TDbTarget t;
  if (data.kind == TDbKind::SqlServer) {
    const QString source = QString::fromStdString(data.dataSource);
    const int comma = source.indexOf(',');
    const QString host = comma < 0 ? source : source.left(comma).trimmed();
    const QString port = comma < 0 ? QString() : source.mid(comma + 1).trimmed();
    QString text = "DRIVER={FreeTDS};SERVER=" + OdbcValue(host);
    if (!port.isEmpty()) text += ";PORT=" + OdbcValue(port);
    text += ";DATABASE=" + OdbcValue(QString::fromStdString(data.catalog)) +
            ";UID=" + OdbcValue(QString::fromStdString(data.userId)) +
            ";PWD=" + OdbcValue(QString::fromStdString(data.password)) +
            ";TDS_Version=7.3;ClientCharset=UTF-8";
    t.driver = "QODBC";
    t.databaseName = text;
    t.dialect = TDialect::SqlServer;
  } else {
    t.driver = "QSQLITE";
    t.filePath = QString::fromStdString(data.filePath);
    QUrl url = QUrl::fromLocalFile(t.filePath);
    url.setQuery("mode=rw");
    t.databaseName = url.toString(QUrl::FullyEncoded);
    t.connectOptions = "QSQLITE_OPEN_URI";
    t.dialect = TDialect::SQLite;
  }
  return t;
}

}  // namespace app
