// Every dialog, message box, file chooser, shell call and process exit of the tool goes through
// TDialogs, so that the window can be driven headless in tests with the answers given there.
#pragma once

#include <functional>
#include <string>

class QDialog;
class QWidget;

namespace app {

enum class TMsgIcon { None, Information, Question, Warning, Error };
enum class TMsgButtons { OK, YesNo };

// Results as the system's message boxes give them.
constexpr int kIdOK = 1;
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;

class TDialogs {
 public:
  virtual ~TDialogs() = default;
  // The plain message dialog: the application title as caption, one OK button.
  virtual void ShowPlainMessage(QWidget* owner, const std::string& text) = 0;
  // A message box with caption, icon and buttons; application-modal. Returns kIdOK, kIdYes or
  // kIdNo.
  virtual int MessageBox(QWidget* owner, const std::string& text, const std::string& caption,
                         TMsgIcon icon, TMsgButtons buttons) = 0;
  // The standard error box for an error that ends a command.
  virtual void ShowError(QWidget* owner, const std::string& text) = 0;
  // File choosers; the filter is in the "Description|*.a;*.b" form. Empty when cancelled.
  virtual std::string OpenFileName(QWidget* owner, const std::string& filter) = 0;
  virtual std::string SaveFileName(QWidget* owner, const std::string& filter,
                                   const std::string& defaultExt) = 0;
  // Opens a local file with the program the desktop associates with it.
  virtual void ShellOpen(const std::string& path) = 0;
  // Shows the dialog modally and returns its result.
  virtual int ShowModal(QDialog* dialog) = 0;
  // Ends the process with the code. The Qt implementation does not return.
  virtual void ExitProcess(int code) = 0;
};

// The dialogs in use: the Qt implementation unless a test installed its own.
TDialogs& Dialogs();
void SetDialogs(TDialogs* dialogs);  // nullptr restores the Qt implementation

// The Qt implementation.
class TQtDialogs : public TDialogs {
 public:
  void ShowPlainMessage(QWidget* owner, const std::string& text) override;
  int MessageBox(QWidget* owner, const std::string& text, const std::string& caption, TMsgIcon icon,
                 TMsgButtons buttons) override;
  void ShowError(QWidget* owner, const std::string& text) override;
  std::string OpenFileName(QWidget* owner, const std::string& filter) override;
  std::string SaveFileName(QWidget* owner, const std::string& filter,
                           const std::string& defaultExt) override;
  void ShellOpen(const std::string& path) override;
  int ShowModal(QDialog* dialog) override;
  void ExitProcess(int code) override;
};

// "Excel文件(*.xls;*.xlsx)|*.xls;*.xlsx" → the Qt filter "Excel文件(*.xls;*.xlsx) (*.xls *.xlsx)".
std::string QtFilterFromPipeFilter(const std::string& filter);

}  // namespace app
