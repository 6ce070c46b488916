// The main window "Excel导入导出".
#pragma once

#include <QWidget>

namespace app {

class TFormMain : public QWidget {
  Q_OBJECT
 public:
  explicit TFormMain(QWidget* parent = nullptr);
  ~TFormMain() override;

  // How many main windows were ever created in this process (start-up creates at most one).
  static int CreatedCount();
};

// The main window of the process, set while one exists.
extern TFormMain* FormMain;

}  // namespace app
