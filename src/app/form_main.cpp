#include "app/form_main.h"

#include <QApplication>
#include <QComboBox>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>

#include "app/client_commands.h"
#include "app/data_module.h"
#include "app/dialogs.h"
#include "app/logic.h"

namespace app {

TFormMain* FormMain = nullptr;

namespace {

int g_created = 0;

const char* const kExcelFilter = "Excel文件(*.xls;*.xlsx)|*.xls;*.xlsx";

QPushButton* BitButton(QWidget* parent, const char* name, const char* caption,
                       QStyle::StandardPixmap pixmap, QRect geometry) {
  auto* b =
      new QPushButton(parent->style()->standardIcon(pixmap), QString::fromUtf8(caption), parent);
  b->setObjectName(name);
  b->setGeometry(geometry);
  return b;
}

}  // namespace

TAdvEditBtn::TAdvEditBtn(QWidget* parent) : QWidget(parent) {
  Edit = new QLineEdit(this);
  Edit->setReadOnly(true);
  Button = new QPushButton(QStringLiteral("选择文件"), this);
}

QString TAdvEditBtn::Text() const {
  return Edit->text();
}
void TAdvEditBtn::SetText(const QString& text) {
  Edit->setText(text);
}

TFormMain::TFormMain(QWidget* parent) : QWidget(parent) {
  ++g_created;
  FormMain = this;
  setObjectName("FormMain");
  setWindowTitle(QStringLiteral("Excel导入导出"));
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint);
  setFixedSize(622, 329);
  QFont font;
  // 宋体 where it exists, else a CJK font that Linux desktops have.
  font.setFamilies({QStringLiteral("宋体"), QStringLiteral("SimSun"),
                    QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC"),
                    QStringLiteral("Droid Sans Fallback")});
  font.setPointSize(9);
  setFont(font);

  LabelFile = new QLabel(QStringLiteral("Excel文件:"), this);
  LabelFile->setGeometry(54, 32, 86, 25);
  LabelFile->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  AdvEditBtn1 = new TAdvEditBtn(this);
  AdvEditBtn1->setObjectName("AdvEditBtn1");
  AdvEditBtn1->setGeometry(144, 32, 313, 25);
  AdvEditBtn1->Edit->setGeometry(0, 0, 313 - 60, 25);
  AdvEditBtn1->Button->setGeometry(313 - 60, 0, 60, 25);
  LabelFile->setBuddy(AdvEditBtn1->Edit);

  LabelUser = new QLabel(QStringLiteral("所属业务员:"), this);
  LabelUser->setGeometry(54, 72, 86, 20);
  LabelUser->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  AdvComboBox1 = new QComboBox(this);
  AdvComboBox1->setObjectName("AdvComboBox1");
  AdvComboBox1->setEditable(false);
  AdvComboBox1->setGeometry(144, 72, 145, 20);
  AdvComboBox1->setCurrentIndex(-1);
  LabelUser->setBuddy(AdvComboBox1);

  RzBitBtn2 = BitButton(this, "RzBitBtn2", "Excel模板下载", QStyle::SP_FileDialogDetailedView,
                        QRect(48, 120, 113, 33));
  RzBitBtn1 = BitButton(this, "RzBitBtn1", "导入", QStyle::SP_ArrowDown, QRect(208, 120, 81, 33));
  RzBitBtn3 = BitButton(this, "RzBitBtn3", "导出", QStyle::SP_ArrowUp, QRect(344, 120, 81, 33));
  RzBitBtn4 =
      BitButton(this, "RzBitBtn4", "关闭", QStyle::SP_DialogCloseButton, QRect(472, 120, 81, 33));

  Label1 = new QLabel(
      QStringLiteral("1.请在上面的Excel模板里面填入数据再导入\n\n2.请在主机操作导入导出"), this);
  Label1->setObjectName("Label1");
  Label1->setGeometry(96, 208, 313, 49);
  QPalette red = Label1->palette();
  red.setColor(QPalette::WindowText, Qt::red);
  Label1->setPalette(red);

  connect(AdvEditBtn1->Button, &QPushButton::clicked, this, [this] { AdvEditBtn1ClickBtn(); });
  connect(RzBitBtn1, &QPushButton::clicked, this, [this] { RzBitBtn1Click(); });
  connect(RzBitBtn2, &QPushButton::clicked, this, [this] { RzBitBtn2Click(); });
  connect(RzBitBtn3, &QPushButton::clicked, this, [this] { RzBitBtn3Click(); });
  connect(RzBitBtn4, &QPushButton::clicked, this, [this] { RzBitBtn4Click(); });
}

TFormMain::~TFormMain() {
  if (FormMain == this) FormMain = nullptr;
}

int TFormMain::CreatedCount() {
  return g_created;
}

void TFormMain::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!shown_) {
    shown_ = true;
    FormShow();
  }
}

void TFormMain::FormShow() {
  if (DataModule1) DataModule1->initAdvComboBox(AdvComboBox1, " Select uName from [user] ");
  AdvComboBox1->setCurrentIndex(-1);
}

void TFormMain::AdvEditBtn1ClickBtn() {
  const std::string path = Dialogs().OpenFileName(this, kExcelFilter);
  if (!path.empty()) AdvEditBtn1->SetText(QString::fromStdString(path));
}

void TFormMain::RzBitBtn1Click() {
  if (Trim(AdvEditBtn1->Text().toStdString()).empty()) {
    Dialogs().ShowPlainMessage(this, "请选择导入文件!");
    return;
  }
  if (Trim(AdvComboBox1->currentText().toStdString()).empty()) {
    Dialogs().ShowPlainMessage(this, "请选择业务员!");
    return;
  }
  if (DataModule1)
    Import(*DataModule1, this, AdvEditBtn1->Text().toStdString(),
           AdvComboBox1->currentText().toStdString());
}

void TFormMain::RzBitBtn2Click() {
  Dialogs().ShellOpen(ExeDir() + "Client.xls");
}

void TFormMain::RzBitBtn3Click() {
  const std::string path = Dialogs().SaveFileName(this, kExcelFilter, "xls");
  if (path.empty() || !DataModule1) return;
  Export(*DataModule1, this, path);
}

void TFormMain::RzBitBtn4Click() {
  close();
}

}  // namespace app
