#include "app/program.h"

#include <QApplication>

#include "app/data_module.h"
#include "app/form_main.h"

namespace app {

int RunApplication() {
  TDataModule1 dataModule;
  if (!dataModule.DataModuleCreate()) return 0;
  TFormMain form;
  form.show();
  return QApplication::exec();
}

}  // namespace app
