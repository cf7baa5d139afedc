// What the port layer promises alike on Linux and on Windows.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "platform/port/per_thread.h"
#include "platform/port/sha256.h"

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

// The digest as lower-case hex.
std::string Hex(const std::array<std::uint8_t, 32>& digest) {
  std::string hex;
  for (const std::uint8_t b : digest) {
    hex += "0123456789abcdef"[b >> 4];
    hex += "0123456789abcdef"[b & 15];
  }
  return hex;
}

// The examples of FIPS 180-2 (OpenSSL on Linux, CNG on Windows), the long
// one given in uneven pieces, as a file is read.
TEST(Sha256, GivesTheStandardsDigests) {
  EXPECT_EQ(Hex(port::Sha256().Finish()), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  port::Sha256 abc;
  abc.Update("abc", 3);
  EXPECT_EQ(Hex(abc.Finish()), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  port::Sha256 million;
  const std::string as(1000000, 'a');
  for (std::size_t at = 0, piece = 1; at < as.size(); at += piece, piece = piece * 3 % 65521 + 1) {
    million.Update(as.data() + at, std::min(piece, as.size() - at));
  }
  EXPECT_EQ(Hex(million.Finish()), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

}  // namespace
