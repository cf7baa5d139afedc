#include "wizard/event_forwarder.h"

namespace velmora {

PackageEventForwarder::PackageEventForwarder(Post post, WindowHandlers handlers)
    : post_(std::move(post)), shared_(std::make_shared<Shared>()) {
  shared_->handlers = std::move(handlers);
}

void PackageEventForwarder::Deliver(std::function<void()> call) {
  {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    shared_->calls.push_back(std::move(call));
  }
  post_([shared = shared_] {
    // A delivery reached from inside a handler leaves the call to the
    // delivery already running, which makes it when the handler returns.
    if (shared->delivering) return;
    shared->delivering = true;
    for (;;) {
      std::function<void()> next;
      {
        std::lock_guard<std::mutex> lock(shared->mutex);
        if (shared->calls.empty()) break;
        next = std::move(shared->calls.front());
        shared->calls.pop_front();
      }
      try {
        next();
      } catch (...) {
        shared->delivering = false;
        throw;
      }
    }
    shared->delivering = false;
  });
}

void PackageEventForwarder::EndProgressRun() {
  std::lock_guard<std::mutex> lock(shared_->mutex);
  shared_->waiting.reset();
}

void PackageEventForwarder::OnStart(const std::string& EventSource) {
  EndProgressRun();
  Deliver([shared = shared_, EventSource] { shared->handlers.start(EventSource); });
}

void PackageEventForwarder::OnProgress(const std::string& EventSource, const std::string& ProgressDescription,
                                       std::int32_t PercentComplete, std::int32_t ProgressCountLow,
                                       std::int32_t ProgressCountHigh) {
  std::shared_ptr<Progress> slot;
  {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    const bool already_posted = shared_->waiting != nullptr;
    if (!already_posted) shared_->waiting = std::make_shared<Progress>();
    *shared_->waiting = {EventSource, ProgressDescription, PercentComplete, ProgressCountLow, ProgressCountHigh};
    if (already_posted) return;
    slot = shared_->waiting;
  }
  Deliver([shared = shared_, slot] {
    Progress p;
    {
      std::lock_guard<std::mutex> lock(shared->mutex);
      p = *slot;
      if (shared->waiting == slot) shared->waiting.reset();
    }
    shared->handlers.progress(p.source, p.description, p.percent, p.low, p.high);
  });
}

void PackageEventForwarder::OnFinish(const std::string& EventSource) {
  EndProgressRun();
  Deliver([shared = shared_, EventSource] { shared->handlers.finish(EventSource); });
}

void PackageEventForwarder::OnError(const std::string& EventSource, std::int32_t ErrorCode, const std::string& Source,
                                    const std::string& Description, const std::string& HelpFile,
                                    std::int32_t HelpContext, const std::string& IDofInterfaceWithError,
                                    bool& pbCancel) {
  if (shared_->handlers.error) {
    shared_->handlers.error(EventSource, ErrorCode, Source, Description, HelpFile, HelpContext,
                            IDofInterfaceWithError, pbCancel);
  }
}

void PackageEventForwarder::OnQueryCancel(const std::string& EventSource, bool& pbCancel) {
  if (shared_->handlers.query_cancel) shared_->handlers.query_cancel(EventSource, pbCancel);
}

}  // namespace velmora
