// A probe preloaded (LD_PRELOAD) into an installed velmora on Qt's
// offscreen platform, so that the program under test is the packaged one,
// started through its link in /usr/bin: once the window shows, it presses
// Next as the operator would, prints the entries the model list page then
// shows, one a line, and ends the program (exit 0 with at least one entry).
// A message box instead (a model list that cannot be read, say) is printed
// on standard error and ends the program with 1.
#include <unistd.h>

#include <QApplication>
#include <QCoreApplication>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <cstdio>

namespace {

[[noreturn]] void Finish(int code) {
  std::fflush(stdout);
  std::fflush(stderr);
  // Not exit(): the window and Qt are in the middle of a click.
  _exit(code);
}

QWidget* Window() {
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (w->objectName() == QLatin1String("frmMain") && w->isVisible()) return w;
  }
  return nullptr;
}

// A box blocks the click in a loop of its own; timers still run there.
void FailOnMessageBox() {
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (auto* box = qobject_cast<QMessageBox*>(w); box != nullptr && box->isVisible()) {
      std::fprintf(stderr, "velmora showed a message box: %s\n", box->text().toUtf8().constData());
      Finish(1);
    }
  }
}

void ListModels() {
  QWidget* window = Window();
  if (window == nullptr) {
    QTimer::singleShot(50, qApp, &ListModels);
    return;
  }
  auto* boxes = new QTimer(qApp);
  QObject::connect(boxes, &QTimer::timeout, qApp, &FailOnMessageBox);
  boxes->start(50);
  auto* next = window->findChild<QPushButton*>(QStringLiteral("cmdNext"));
  auto* list = window->findChild<QListWidget*>(QStringLiteral("ModelList"));
  if (next == nullptr || list == nullptr) {
    std::fprintf(stderr, "the window has no cmdNext or no ModelList\n");
    Finish(2);
  }
  next->click();
  for (int i = 0; i < list->count(); ++i) std::printf("%s\n", list->item(i)->text().toUtf8().constData());
  Finish(list->count() > 0 ? 0 : 1);
}

void Start() {
  QTimer::singleShot(0, qApp, &ListModels);
  // Never hang a test: ten seconds are ample for a window and a small file.
  QTimer::singleShot(10000, qApp, [] {
    std::fprintf(stderr, "velmora showed no model list within 10 seconds\n");
    Finish(2);
  });
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(Start)
