// SHA-256 through nettle, which every Debian system has (GnuTLS uses it).
#include "platform/sha256.h"

#include <nettle/sha2.h>

namespace quarn::platform {

struct Sha256::State {
  sha256_ctx context;
};

Sha256::Sha256() : state_(std::make_unique<State>()) { sha256_init(&state_->context); }

Sha256::Sha256(Sha256&& other) noexcept = default;
Sha256& Sha256::operator=(Sha256&& other) noexcept = default;
Sha256::~Sha256() = default;

void Sha256::update(const void* data, std::size_t len) {
  sha256_update(&state_->context, len, static_cast<const std::uint8_t*>(data));
}

Sha256Digest Sha256::finish() {
  Sha256Digest digest;
  // sha256_digest also puts the context back to its initial state, ready
  // for the next message.
  sha256_digest(&state_->context, digest.size(), digest.data());
  return digest;
}

}  // namespace quarn::platform
