// Carries a running package's events from the plan's thread to the
// window's handlers.
//
// OnStart, OnProgress and OnFinish reach the window's handlers in the order
// they came, one handler at a time: a handler that lets pending window
// messages through (as the progress handlers do, to repaint) does not run
// the next event's handler inside its own; that one runs when it returns.
// Progress events that come faster than the window takes them are folded:
// while one progress call is still waiting, later progress only updates
// what it will show, so the window never falls behind a big transfer and
// never shows an older text after a newer event. OnError and OnQueryCancel
// are answered at once on the plan's thread: they touch no control and the
// package waits for their answer.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "platform/dts/events.h"

namespace velmora {

struct WindowHandlers {
  std::function<void(const std::string& source)> start;
  std::function<void(const std::string& source, const std::string& description, std::int32_t percent,
                     std::int32_t count_low, std::int32_t count_high)>
      progress;
  std::function<void(const std::string& source)> finish;
  // Called on the plan's thread.
  std::function<void(const std::string& source, std::int32_t code, const std::string& error_source,
                     const std::string& description, const std::string& help_file, std::int32_t help_context,
                     const std::string& interface_id, bool& cancel)>
      error;
  std::function<void(const std::string& source, bool& cancel)> query_cancel;
};

class PackageEventForwarder final : public dts::PackageEvents {
 public:
  // `post` runs a call later on the window's thread, in posting order.
  using Post = std::function<void(std::function<void()>)>;
  PackageEventForwarder(Post post, WindowHandlers handlers);

  void OnStart(const std::string& EventSource) override;
  void OnProgress(const std::string& EventSource, const std::string& ProgressDescription,
                  std::int32_t PercentComplete, std::int32_t ProgressCountLow,
                  std::int32_t ProgressCountHigh) override;
  void OnFinish(const std::string& EventSource) override;
  void OnError(const std::string& EventSource, std::int32_t ErrorCode, const std::string& Source,
               const std::string& Description, const std::string& HelpFile, std::int32_t HelpContext,
               const std::string& IDofInterfaceWithError, bool& pbCancel) override;
  void OnQueryCancel(const std::string& EventSource, bool& pbCancel) override;

 private:
  struct Progress {
    std::string source, description;
    std::int32_t percent = 0, low = 0, high = 0;
  };
  // Shared with the posted calls, which may run after the forwarder is gone.
  struct Shared {
    WindowHandlers handlers;
    std::mutex mutex;
    std::shared_ptr<Progress> waiting;        // posted, not yet shown
    std::deque<std::function<void()>> calls;  // handler calls not yet made, in order
    bool delivering = false;                  // window thread only
  };
  void EndProgressRun();
  // Queues a handler call and posts its delivery to the window.
  void Deliver(std::function<void()> call);

  Post post_;
  std::shared_ptr<Shared> shared_;
};

}  // namespace velmora
