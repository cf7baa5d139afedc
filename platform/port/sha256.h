// SHA-256 by the system's own means: OpenSSL on Linux, which uses the
// processor's SHA instructions where it has them; CNG on Windows.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace port {

class Sha256 {
 public:
  // Raises std::runtime_error when the system has no SHA-256.
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  void Update(const void* data, std::size_t size);
  // The digest of everything given; the object is spent.
  std::array<std::uint8_t, 32> Finish();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace port
