// What the port layer promises alike on Linux and on Windows.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/port/per_thread.h"

namespace {

std::atomic<int> g_made{0};
std::atomic<int> g_destroyed{0};

struct Counted {
  Counted() { ++g_made; }
  ~Counted() { ++g_destroyed; }
  Counted(const Counted&) = delete;
  Counted& operator=(const Counted&) = delete;
  std::string text;  // on the heap past the small-string size
};

// Threads that end one after another, as the executor's workers do: each
// has its own object, made on first use and destroyed, intact, when the
// thread ends (MinGW's thread_local destroyed freed storage there).
TEST(PerThread, EachThreadHasItsOwnObjectDestroyedWhenTheThreadEnds) {
  g_made = 0;
  g_destroyed = 0;
  constexpr int kThreads = 40;
  std::atomic<int> distinct{0};
  for (int round = 0; round < kThreads / 4; ++round) {
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i) {
      threads.emplace_back([&distinct, i] {
        Counted& mine = port::PerThread<Counted>();
        if (mine.text.empty()) ++distinct;
        mine.text.assign(100, static_cast<char>('a' + i));
        EXPECT_EQ(&mine, &port::PerThread<Counted>());
        EXPECT_EQ(port::PerThread<Counted>().text, std::string(100, static_cast<char>('a' + i)));
        // Another tag is another object of the same type.
        EXPECT_NE(&mine, (&port::PerThread<Counted, struct OtherTag>()));
      });
    }
    for (auto& t : threads) t.join();
  }
  EXPECT_EQ(distinct.load(), kThreads);
  EXPECT_EQ(g_made.load(), 2 * kThreads);
  EXPECT_EQ(g_destroyed.load(), 2 * kThreads);
}

}  // namespace
