// SHA-256 through BCrypt, the system's own cryptography since Vista: no
// library to ship beside the program.
#include "platform/sha256.h"

#include <windows.h>

#include <bcrypt.h>

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace quarn::platform {
namespace {

// BCrypt fails here only when the system is out of memory or lacks its own
// SHA-256 provider. Sha256 has no way to report that, and a digest that
// quietly names no bytes would be worse than stopping.
void require(NTSTATUS status) {
  if (!BCRYPT_SUCCESS(status)) std::abort();
}

}  // namespace

// The provider and one hash object of it. The hash object's memory is the
// system's to allocate (a null buffer, allowed from Windows 7), so the state
// is the two handles alone.
struct Sha256::State {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;

  State() {
    require(BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0));
    start();
  }
  State(const State&) = delete;
  State& operator=(const State&) = delete;
  ~State() {
    if (hash != nullptr) BCryptDestroyHash(hash);
    if (algorithm != nullptr) BCryptCloseAlgorithmProvider(algorithm, 0);
  }

  // A finished hash object takes no more data, and reusing one needs
  // Windows 8: each message gets a new one.
  void start() { require(BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0)); }
};

Sha256::Sha256() : state_(std::make_unique<State>()) {}

Sha256::Sha256(Sha256&& other) noexcept = default;
Sha256& Sha256::operator=(Sha256&& other) noexcept = default;
Sha256::~Sha256() = default;

void Sha256::update(const void* data, std::size_t len) {
  // BCryptHashData takes a ULONG count; a 64-bit build may be handed more.
  auto* bytes = static_cast<UCHAR*>(const_cast<void*>(data));
  while (len > 0) {
    const auto step = static_cast<ULONG>(std::min<std::size_t>(len, std::numeric_limits<ULONG>::max()));
    require(BCryptHashData(state_->hash, bytes, step, 0));
    bytes += step;
    len -= step;
  }
}

Sha256Digest Sha256::finish() {
  Sha256Digest digest;
  require(BCryptFinishHash(state_->hash, digest.data(), static_cast<ULONG>(digest.size()), 0));
  BCryptDestroyHash(state_->hash);
  state_->hash = nullptr;
  state_->start();
  return digest;
}

}  // namespace quarn::platform
