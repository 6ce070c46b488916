#include "app/command_line.h"

#include <QProcess>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "app/client_commands.h"
#include "app/data_module.h"
#include "app/dialogs.h"
#include "app/logic.h"

namespace app {

namespace {

const char* const kUsage =
    "Usage:\n"
    "  xlsbridge                                   open the window\n"
    "  xlsbridge import FILE --salesperson NAME    import the clients of a filled-in template\n"
    "  xlsbridge export FILE                       export every client (.xls added when FILE\n"
    "                                              has no extension)\n"
    "  xlsbridge template [--open]                 print the template's path; --open opens it\n"
    "  xlsbridge --help                            this text\n"
    "The database is the one tool.ini beside the program names.\n";

// Dialogs for the terminal: messages on standard output, errors on standard error.
class TConsoleDialogs : public TDialogs {
 public:
  void ShowPlainMessage(QWidget*, const std::string& text) override { Out(text); }
  int MessageBox(QWidget*, const std::string& text, const std::string& caption, TMsgIcon icon,
                 TMsgButtons buttons) override {
    // Command outcomes use the information box; everything else reports a problem.
    if (icon == TMsgIcon::Information)
      Out(text);
    else
      Err(caption + ": " + text);
    return buttons == TMsgButtons::YesNo ? kIdNo : kIdOK;
  }
  void ShowError(QWidget*, const std::string& text) override {
    std::string message = text;  // the engine separates a wrapped error's parts with '\r'
    std::replace(message.begin(), message.end(), '\r', '\n');
    while (!message.empty() && message.back() == '\n') message.pop_back();
    Err(message);
  }
  std::string OpenFileName(QWidget*, const std::string&) override { return {}; }
  std::string SaveFileName(QWidget*, const std::string&, const std::string&) override { return {}; }
  void ShellOpen(const std::string& path) override {
    QProcess::startDetached("xdg-open", {QString::fromStdString(path)});
  }
  int ShowModal(QDialog*) override { return 0; }
  void ExitProcess(int code) override { std::exit(code); }

 private:
  static void Out(const std::string& text) { std::cout << text << std::endl; }
  static void Err(const std::string& text) { std::cerr << text << std::endl; }
};

int Usage(int status) {
  (status == 0 ? std::cout : std::cerr) << kUsage;
  return status;
}

// The data module connected as start-up connects it, without the connection dialog.
bool Connect(TDataModule1& dm) {
  if (dm.ConnectFromSettings()) return true;
  std::cerr << "连接数据库失败,请重新设置数据库连接! " << std::endl;
  return false;
}

int StatusOf(TCommandResult r) {
  switch (r) {
    case TCommandResult::Done:
    case TCommandResult::Nothing:
      return 0;
    case TCommandResult::Rejected:
      return 2;
    case TCommandResult::Failed:
      return 1;
  }
  return 1;
}

bool HasExtension(const std::string& path) {
  const size_t slash = path.rfind('/');
  const size_t dot = path.rfind('.');
  return dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
}

}  // namespace

bool IsCommandLine(const std::vector<std::string>& args) {
  return !args.empty();
}

int RunCommandLine(const std::vector<std::string>& args) {
  TConsoleDialogs console;
  SetDialogs(&console);
  struct Restore {
    ~Restore() { SetDialogs(nullptr); }
  } restore;

  if (args.empty() || args[0] == "--help" || args[0] == "-h") return Usage(args.empty() ? 2 : 0);
  const std::string& command = args[0];

  if (command == "template") {
    bool open = false;
    for (size_t i = 1; i < args.size(); ++i) {
      if (args[i] == "--open")
        open = true;
      else
        return Usage(2);
    }
    const std::string path = ExeDir() + "Client.xls";
    std::cout << path << std::endl;
    if (open) console.ShellOpen(path);
    return 0;
  }

  if (command == "import") {
    std::string file, salesperson;
    bool haveSalesperson = false;
    for (size_t i = 1; i < args.size(); ++i) {
      if (args[i] == "--salesperson" && i + 1 < args.size()) {
        salesperson = args[++i];
        haveSalesperson = true;
      } else if (file.empty() && args[i].rfind("--", 0) != 0) {
        file = args[i];
      } else {
        return Usage(2);
      }
    }
    if (Trim(file).empty()) {
      console.ShowPlainMessage(nullptr, "请选择导入文件!");
      return 2;
    }
    if (!haveSalesperson || Trim(salesperson).empty()) {
      console.ShowPlainMessage(nullptr, "请选择业务员!");
      return 2;
    }
    TDataModule1 dm;
    if (!Connect(dm)) return 1;
    return StatusOf(Import(dm, nullptr, file, salesperson).result);
  }

  if (command == "export") {
    if (args.size() != 2 || args[1].empty()) return Usage(2);
    std::string path = args[1];
    if (!HasExtension(path)) path += ".xls";
    TDataModule1 dm;
    if (!Connect(dm)) return 1;
    return StatusOf(Export(dm, nullptr, path));
  }

  return Usage(2);
}

}  // namespace app
