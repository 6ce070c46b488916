// The main window "Excel导入导出": choose a workbook and a salesperson, import, export, open the
// template, close.
#pragma once

#include <QWidget>
#include <memory>
#include <string>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace xls {
class TXLSWorkbook;
}

namespace app {

// An edit box with a button on its right; the text is only set through the button.
class TAdvEditBtn : public QWidget {
  Q_OBJECT
 public:
  explicit TAdvEditBtn(QWidget* parent);
  QString Text() const;
  void SetText(const QString& text);
  QLineEdit* Edit;
  QPushButton* Button;
};

class TFormMain : public QWidget {
  Q_OBJECT
 public:
  explicit TFormMain(QWidget* parent = nullptr);
  ~TFormMain() override;

  // How many main windows were ever created in this process (start-up creates at most one).
  static int CreatedCount();

  void FormShow();
  void AdvEditBtn1ClickBtn();
  void RzBitBtn1Click();  // import
  void RzBitBtn2Click();  // template
  void RzBitBtn3Click();  // export
  void RzBitBtn4Click();  // close

  QLabel* LabelFile;
  TAdvEditBtn* AdvEditBtn1;
  QLabel* LabelUser;
  QComboBox* AdvComboBox1;
  QPushButton* RzBitBtn2;
  QPushButton* RzBitBtn1;
  QPushButton* RzBitBtn3;
  QPushButton* RzBitBtn4;
  QLabel* Label1;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  bool shown_ = false;
};

// The main window of the process, set while one exists.
extern TFormMain* FormMain;

}  // namespace app
