// The connection settings dialog shown when the database cannot be reached: it edits db_ip.
#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace app {

class TFormDBLink : public QDialog {
  Q_OBJECT
 public:
  explicit TFormDBLink(QWidget* parent);

  void FormShow();
  void AdvGlowButton1Click();  // save
  void AdvGlowButton2Click();  // cancel

  QLabel* Label1;
  QLineEdit* AdvEdit1;
  QPushButton* AdvGlowButton1;
  QPushButton* AdvGlowButton2;

 protected:
  void showEvent(QShowEvent* event) override;
};

}  // namespace app
