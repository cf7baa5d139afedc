// Velmora: the upgrade wizard.
#include <QApplication>
#include <cstdio>
#include <string_view>

#include "platform/port/system.h"
#include "version.h"
#include "wizard/frm_main.h"
#include "wizard/qt_toolkit.h"

int main(int argc, char** argv) {
  // Answered before Qt starts, so that they work without a display. Every
  // other argument is Qt's (-platform offscreen, -style ...).
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--version" || arg == "--help" || arg == "-h") port::UseParentConsole();
    if (arg == "--version") {
      std::printf("velmora %s\n", vk::kVersion);
      return 0;
    }
    if (arg == "--help" || arg == "-h") {
      std::printf("用法: velmora [--version] [Qt 选项，如 -platform offscreen]\n"
                  "%s：升级向导，方案取自程序目录下的 DTSModelList.mdb（见 man velmora）\n",
                  velmora::kCaption);
      return 0;
    }
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Velmora"));
  QApplication::setApplicationVersion(QString::fromLatin1(vk::kVersion));
  velmora::QtToolkit toolkit;
  velmora::FrmMain window(toolkit);
  toolkit.set_parent(&window);
  window.show();
  return QApplication::exec();
}
