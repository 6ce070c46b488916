#include <QApplication>
#include <QCoreApplication>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/program.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (app::IsCommandLine(args)) {
    QCoreApplication application(argc, argv);
    return app::RunCommandLine(args);
  }
  QApplication application(argc, argv);
  QApplication::setApplicationDisplayName(QStringLiteral("Excel导入导出"));
  return app::RunApplication();
}
