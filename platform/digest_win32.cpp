// SHA-256 through Windows' own cryptography (CNG), present since Vista.
#include <windows.h>
#include <bcrypt.h>

#include <stdexcept>
#include <vector>

#include "platform/digest.h"

namespace zelbo::platform {

struct Sha256::State {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  DWORD length = 0;

  State() {
    DWORD written = 0;
    if (BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0 ||
        BCryptGetProperty(algorithm, BCRYPT_HASH_LENGTH, reinterpret_cast<PUCHAR>(&length),
                          sizeof length, &written, 0) != 0) {
      throw std::runtime_error("Windows cannot compute SHA-256");
    }
    Start();
  }
  ~State() {
    if (hash != nullptr) BCryptDestroyHash(hash);
    if (algorithm != nullptr) BCryptCloseAlgorithmProvider(algorithm, 0);
  }
  void Start() {
    if (BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) != 0) {
      throw std::runtime_error("Windows cannot compute SHA-256");
    }
  }
};

void Sha256::StateDeleter::operator()(State* state) const { delete state; }

Sha256::Sha256() : state_(new State) {}
Sha256::~Sha256() = default;
Sha256::Sha256(Sha256&&) noexcept = default;
Sha256& Sha256::operator=(Sha256&&) noexcept = default;

void Sha256::Update(std::span<const std::byte> bytes) {
  // CNG takes at most 4 GiB at once; the callers give far less.
  BCryptHashData(state_->hash, reinterpret_cast<PUCHAR>(const_cast<std::byte*>(bytes.data())),
                 static_cast<ULONG>(bytes.size()), 0);
}

std::string Sha256::Finish() {
  std::vector<unsigned char> digest(state_->length);
  BCryptFinishHash(state_->hash, digest.data(), state_->length, 0);
  BCryptDestroyHash(state_->hash);
  state_->hash = nullptr;
  state_->Start();
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  for (const unsigned char byte : digest) {
    hex.push_back(kHex[byte >> 4]);
    hex.push_back(kHex[byte & 0xf]);
  }
  return hex;
}

}  // namespace zelbo::platform
