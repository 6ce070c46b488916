#include "app/form_main.h"

#include <QFont>

namespace app {

TFormMain* FormMain = nullptr;

namespace {
int g_created = 0;
}  // namespace

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
}

TFormMain::~TFormMain() {
  if (FormMain == this) FormMain = nullptr;
}

int TFormMain::CreatedCount() {
  return g_created;
}

}  // namespace app
