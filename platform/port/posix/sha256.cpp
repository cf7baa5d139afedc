#include "platform/port/sha256.h"

#include <openssl/evp.h>

#include <stdexcept>

namespace port {

struct Sha256::State {
  EVP_MD_CTX* context = nullptr;
  ~State() { EVP_MD_CTX_free(context); }
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
  state_->context = EVP_MD_CTX_new();
  if (!state_->context || EVP_DigestInit_ex(state_->context, EVP_sha256(), nullptr) != 1) {
    throw std::runtime_error("SHA-256 is not available");
  }
}

Sha256::~Sha256() = default;

void Sha256::Update(const void* data, std::size_t size) {
  if (EVP_DigestUpdate(state_->context, data, size) != 1) throw std::runtime_error("SHA-256 failed");
}

std::array<std::uint8_t, 32> Sha256::Finish() {
  std::array<std::uint8_t, 32> digest{};
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(state_->context, digest.data(), &length) != 1 || length != digest.size()) {
    throw std::runtime_error("SHA-256 failed");
  }
  return digest;
}

}  // namespace port
