// SHA-256, the digest that every system that joins the parts can compute
// with its own tools, taken from the platform's own library (OpenSSL's
// libcrypto on POSIX systems, CNG on Windows), which uses the processor's
// SHA instructions where it has them. One source per platform.
#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <string>

namespace zelbo::platform {

class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(Sha256&&) noexcept;
  Sha256& operator=(Sha256&&) noexcept;
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  void Update(std::span<const std::byte> bytes);
  // The digest of everything given since the start (or the last Finish) as
  // 64 lower-case hex digits; starts again for the next stream.
  std::string Finish();

 private:
  struct State;  // per platform
  struct StateDeleter {
    void operator()(State* state) const;
  };
  std::unique_ptr<State, StateDeleter> state_;
};

}  // namespace zelbo::platform
