// The progress figures and the way package events reach the window.
#include <gtest/gtest.h>

#include <deque>
#include <functional>

#include "wizard/event_forwarder.h"
#include "wizard/progress_math.h"

namespace {

TEST(ProgressFigures, BarRoundsHalvesToEvenAndLabelRoundsThemUp) {
  struct Case {
    int done, tasks, bar;
    const char* label;
  };
  const Case cases[] = {
      {1, 4, 25, "25%"},  {2, 4, 50, "50%"},  {4, 4, 100, "100%"}, {1, 8, 12, "13%"},
      {3, 8, 38, "38%"},  {5, 8, 62, "63%"},  {7, 8, 88, "88%"},   {1, 3, 33, "33%"},
      {2, 3, 67, "67%"},  {1, 200, 0, "1%"},  {3, 200, 2, "2%"},   {0, 5, 0, "0%"},
  };
  for (const auto& c : cases) {
    const double r = static_cast<double>(c.done) / c.tasks;
    EXPECT_EQ(velmora::ProgressBarValue(r), c.bar) << c.done << "/" << c.tasks;
    EXPECT_EQ(velmora::FormatPercent(r), c.label) << c.done << "/" << c.tasks;
  }
}

// Events from the plan's thread, with the window's queue run by hand.
class ForwarderTest : public ::testing::Test {
 protected:
  ForwarderTest()
      : forwarder([this](std::function<void()> call) { queue.push_back(std::move(call)); },
                  {.start = [this](const std::string& s) { seen.push_back("start " + s); },
                   .progress =
                       [this](const std::string& s, const std::string& d, std::int32_t, std::int32_t, std::int32_t) {
                         seen.push_back("progress " + s + " " + d);
                       },
                   .finish = [this](const std::string& s) { seen.push_back("finish " + s); },
                   .query_cancel = [](const std::string&, bool& cancel) { cancel = false; }}) {}

  void RunQueue() {
    while (!queue.empty()) {
      auto call = std::move(queue.front());
      queue.pop_front();
      call();
    }
  }

  std::deque<std::function<void()>> queue;
  std::vector<std::string> seen;
  velmora::PackageEventForwarder forwarder;
};

TEST_F(ForwarderTest, KeepsTheOrderAndShowsOnlyTheNewestOfWaitingProgress) {
  forwarder.OnStart("A");
  forwarder.OnProgress("A", "1000", 0, 1000, 0);
  forwarder.OnProgress("A", "2000", 0, 2000, 0);
  forwarder.OnProgress("A", "3000", 0, 3000, 0);
  forwarder.OnFinish("A");
  forwarder.OnStart("B");
  forwarder.OnProgress("B", "10", 0, 10, 0);
  EXPECT_TRUE(seen.empty());
  EXPECT_EQ(queue.size(), 5u);
  RunQueue();
  EXPECT_EQ(seen, (std::vector<std::string>{"start A", "progress A 3000", "finish A", "start B", "progress B 10"}));

  // Once the window has shown a progress, the next one is posted anew.
  seen.clear();
  forwarder.OnProgress("B", "20", 0, 20, 0);
  RunQueue();
  forwarder.OnProgress("B", "30", 0, 30, 0);
  RunQueue();
  EXPECT_EQ(seen, (std::vector<std::string>{"progress B 20", "progress B 30"}));
}

TEST_F(ForwarderTest, PostedCallsOutliveTheForwarderAndCancelIsAnsweredAtOnce) {
  {
    velmora::PackageEventForwarder short_lived([this](std::function<void()> call) { queue.push_back(std::move(call)); },
                                               {.progress = [this](const std::string& s, const std::string& d,
                                                                   std::int32_t, std::int32_t, std::int32_t) {
                                                 seen.push_back(s + " " + d);
                                               }});
    short_lived.OnProgress("C", "1", 0, 1, 0);
    short_lived.OnProgress("C", "2", 0, 2, 0);
  }
  RunQueue();
  EXPECT_EQ(seen, (std::vector<std::string>{"C 2"}));

  bool cancel = true;
  forwarder.OnQueryCancel("A", cancel);
  EXPECT_FALSE(cancel);
  EXPECT_TRUE(queue.empty());
}

// A finish handler that lets pending messages through, as the window's
// does, still sees the finishes one after another, in order.
TEST_F(ForwarderTest, AHandlerThatProcessesPendingMessagesDoesNotReorderTheLines) {
  std::vector<std::string> lines;
  velmora::PackageEventForwarder reentrant([this](std::function<void()> call) { queue.push_back(std::move(call)); },
                                           {.finish = [&](const std::string& s) {
                                             RunQueue();  // what processing pending messages does
                                             lines.push_back(s);
                                           }});
  for (const char* step : {"1", "2", "3", "4"}) reentrant.OnFinish(step);
  RunQueue();
  EXPECT_EQ(lines, (std::vector<std::string>{"1", "2", "3", "4"}));
}

}  // namespace
