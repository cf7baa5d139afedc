// A small deterministic random generator (splitmix64): the same seed gives
// the same values on every machine and compiler, so generated sources
// (samples, benchmark files) are the same everywhere.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace cli {

class Rng {
 public:
  explicit Rng(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // 0 <= value < n
  std::int64_t Below(std::int64_t n) { return n <= 0 ? 0 : static_cast<std::int64_t>(Next() % static_cast<std::uint64_t>(n)); }
  std::int64_t Range(std::int64_t lo, std::int64_t hi) { return lo + Below(hi - lo + 1); }
  bool Percent(int p) { return Below(100) < p; }
  template <class T, std::size_t N>
  const T& Pick(const std::array<T, N>& a) { return a[static_cast<std::size_t>(Below(N))]; }

 private:
  std::uint64_t state_;
};

}  // namespace cli
