#include "app/dialogs.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QUrl>
#include <cstdlib>

namespace app {

namespace {

TDialogs* g_dialogs = nullptr;

QString Q(const std::string& s) {
  return QString::fromStdString(s);
}

QString AppTitle() {
  const QString name = QApplication::applicationDisplayName();
  return name.isEmpty() ? QStringLiteral("Excel导入导出") : name;
}

}  // namespace

TDialogs& Dialogs() {
  static TQtDialogs qtDialogs;
  return g_dialogs ? *g_dialogs : qtDialogs;
}

void SetDialogs(TDialogs* dialogs) {
  g_dialogs = dialogs;
}

std::string QtFilterFromPipeFilter(const std::string& filter) {
  const QStringList parts = Q(filter).split('|');
  QStringList out;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    QString patterns = parts[i + 1];
    patterns.replace(';', ' ');
    out << parts[i] + " (" + patterns + ")";
  }
  if (out.isEmpty() && !filter.empty()) out << Q(filter);
  return out.join(";;").toStdString();
}

void TQtDialogs::ShowPlainMessage(QWidget* owner, const std::string& text) {
  QMessageBox box(QMessageBox::NoIcon, AppTitle(), Q(text), QMessageBox::Ok, owner);
  box.exec();
}

int TQtDialogs::MessageBox(QWidget* owner, const std::string& text, const std::string& caption,
                           TMsgIcon icon, TMsgButtons buttons) {
  QMessageBox::Icon qicon = QMessageBox::NoIcon;
  switch (icon) {
    case TMsgIcon::Information:
      qicon = QMessageBox::Information;
      break;
    case TMsgIcon::Question:
      qicon = QMessageBox::Question;
      break;
    case TMsgIcon::Warning:
      qicon = QMessageBox::Warning;
      break;
    case TMsgIcon::Error:
      qicon = QMessageBox::Critical;
      break;
    case TMsgIcon::None:
      break;
  }
  const auto qbuttons = buttons == TMsgButtons::YesNo
                            ? (QMessageBox::Yes | QMessageBox::No)
                            : QMessageBox::StandardButtons(QMessageBox::Ok);
  QMessageBox box(qicon, Q(caption), Q(text), qbuttons, owner);
  box.setWindowModality(Qt::ApplicationModal);
  const int r = box.exec();
  if (r == QMessageBox::Yes) return kIdYes;
  if (r == QMessageBox::No) return kIdNo;
  return kIdOK;
}

void TQtDialogs::ShowError(QWidget* owner, const std::string& text) {
  // The engine separates the parts of a wrapped error with a carriage return.
  QString message = Q(text);
  message.replace("\r\n", "\n").replace('\r', '\n');
  QMessageBox box(QMessageBox::Critical, AppTitle(), message.trimmed(), QMessageBox::Ok, owner);
  box.exec();
}

std::string TQtDialogs::OpenFileName(QWidget* owner, const std::string& filter) {
  return QFileDialog::getOpenFileName(owner, QString(), QString(),
                                      Q(QtFilterFromPipeFilter(filter)))
      .toStdString();
}

std::string TQtDialogs::SaveFileName(QWidget* owner, const std::string& filter,
                                     const std::string& defaultExt) {
  QFileDialog dialog(owner, QString(), QString(), Q(QtFilterFromPipeFilter(filter)));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix(Q(defaultExt));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().first().toStdString();
}

void TQtDialogs::ShellOpen(const std::string& path) {
  QDesktopServices::openUrl(QUrl::fromLocalFile(Q(path)));
}

int TQtDialogs::ShowModal(QDialog* dialog) {
  return dialog->exec();
}

void TQtDialogs::ExitProcess(int code) {
  std::exit(code);
}

}  // namespace app
