// Velmora: the upgrade wizard.
#include <QApplication>

#include "wizard/frm_main.h"
#include "wizard/qt_toolkit.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Velmora"));
  velmora::QtToolkit toolkit;
  velmora::FrmMain window(toolkit);
  toolkit.set_parent(&window);
  window.show();
  return QApplication::exec();
}
