#include "app/form_db_link.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/dialogs.h"
#include "app/logic.h"
#include "platform/error.h"

namespace app {

TFormDBLink::TFormDBLink(QWidget* parent) : QDialog(parent) {
  setObjectName("FormDBLink");
  setWindowTitle(QStringLiteral("数据库连接"));
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);
  setFixedSize(293, 228);

  Label1 = new QLabel(QStringLiteral("主机IP:"), this);
  Label1->setObjectName("Label1");
  Label1->setGeometry(24, 64, 56, 21);
  Label1->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

  AdvEdit1 = new QLineEdit(this);
  AdvEdit1->setObjectName("AdvEdit1");
  AdvEdit1->setGeometry(88, 64, 169, 21);

  AdvGlowButton1 = new QPushButton(QStringLiteral("保存"), this);
  AdvGlowButton1->setObjectName("AdvGlowButton1");
  AdvGlowButton1->setGeometry(48, 144, 81, 29);

  AdvGlowButton2 = new QPushButton(QStringLiteral("取消"), this);
  AdvGlowButton2->setObjectName("AdvGlowButton2");
  AdvGlowButton2->setGeometry(168, 144, 81, 29);

  connect(AdvGlowButton1, &QPushButton::clicked, this, [this] { AdvGlowButton1Click(); });
  connect(AdvGlowButton2, &QPushButton::clicked, this, [this] { AdvGlowButton2Click(); });
}

void TFormDBLink::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FormShow();
}

void TFormDBLink::FormShow() {
  if (!Settings()) OpenSettings(ExeDir() + "tool.ini");
  AdvEdit1->setText(
      QString::fromStdString(Settings()->ReadString("db", "db_ip", "127.0.0.1,1433")));
}

void TFormDBLink::AdvGlowButton1Click() {
  if (!Settings()) OpenSettings(ExeDir() + "tool.ini");
  try {
    Settings()->WriteString("db", "db_ip", Trim(AdvEdit1->text().toStdString()));
  } catch (const xls::EXLSError& e) {
    // Saying "saved" when nothing was saved would mislead: report the failure and stay open.
    ShowMessageBox(this, e.what(), 4);
    return;
  }
  ShowMessageBox(this, "保存成功,请重新打开软件!", 0);
  Dialogs().ExitProcess(0);
  accept();
}

void TFormDBLink::AdvGlowButton2Click() {
  reject();
}

}  // namespace app
