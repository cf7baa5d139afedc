// The wizard's tests run on Qt's offscreen surface: no display needed.
#include <gtest/gtest.h>

#include <QApplication>
#include <QStandardPaths>
#include <string>

#include "platform/port/system.h"

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // The offscreen platform finds fonts only in its font folder: on Windows,
  // the system's, for the reports' Chinese (Linux has fontconfig).
  const std::string fonts = port::SystemFontFolder();
  if (!fonts.empty() && !qEnvironmentVariableIsSet("QT_QPA_FONTDIR")) qputenv("QT_QPA_FONTDIR", fonts.c_str());
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  // Nothing a test does reaches the settings of the user running it.
  QStandardPaths::setTestModeEnabled(true);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
