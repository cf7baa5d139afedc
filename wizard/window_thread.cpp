#include "wizard/window_thread.h"

#include <QEventLoop>
#include <QMetaObject>
#include <QObject>
#include <exception>
#include <optional>
#include <thread>

#include "platform/com/error.h"

namespace velmora {

void RunOffWindowThread(QObject* window, const std::function<void()>& work) {
  QEventLoop loop;
  std::optional<com::Error> error;
  std::thread worker([&] {
    try {
      work();
    } catch (const com::Error& e) {
      error = e;
    } catch (const std::exception& e) {
      error = com::Error(com::kErrInvalidArgument, "Velmora", e.what());
    }
    // Posted after every call the work posted, so those all run first.
    PostToWindow(window, [&loop] { loop.quit(); });
  });
  loop.exec();
  worker.join();
  if (error) throw *error;
}

void PostToWindow(QObject* window, std::function<void()> call) {
  QMetaObject::invokeMethod(window, std::move(call), Qt::QueuedConnection);
}

void CallOnWindow(QObject* window, const std::function<void()>& call) {
  QMetaObject::invokeMethod(window, call, Qt::BlockingQueuedConnection);
}

}  // namespace velmora
