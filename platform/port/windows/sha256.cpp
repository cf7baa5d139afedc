#include "platform/port/sha256.h"

#include <windows.h>
#include <bcrypt.h>

#include <stdexcept>

namespace port {

struct Sha256::State {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  ~State() {
    if (hash) BCryptDestroyHash(hash);
    if (algorithm) BCryptCloseAlgorithmProvider(algorithm, 0);
  }
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
  if (BCryptOpenAlgorithmProvider(&state_->algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0 ||
      BCryptCreateHash(state_->algorithm, &state_->hash, nullptr, 0, nullptr, 0, 0) != 0) {
    throw std::runtime_error("SHA-256 is not available");
  }
}

Sha256::~Sha256() = default;

void Sha256::Update(const void* data, std::size_t size) {
  auto* bytes = static_cast<PUCHAR>(const_cast<void*>(data));
  while (size > 0) {
    const ULONG n = static_cast<ULONG>(size > (1u << 30) ? (1u << 30) : size);
    if (BCryptHashData(state_->hash, bytes, n, 0) != 0) throw std::runtime_error("SHA-256 failed");
    bytes += n;
    size -= n;
  }
}

std::array<std::uint8_t, 32> Sha256::Finish() {
  std::array<std::uint8_t, 32> digest{};
  if (BCryptFinishHash(state_->hash, digest.data(), static_cast<ULONG>(digest.size()), 0) != 0) {
    throw std::runtime_error("SHA-256 failed");
  }
  return digest;
}

}  // namespace port
