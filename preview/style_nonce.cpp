// The style nonce: 16 secure random bytes as standard base64.
#include <array>
#include <string_view>

#include "platform/text.h"
#include "preview/preview_provider.h"

namespace quillory {

std::string PreviewProvider::makeNonce(platform::SecureRandomSource secureSource) {
  std::array<uint8_t, 16> bytes{};
  if (secureSource(bytes) != 0) {
    // Whatever the failed source wrote is discarded, not mixed in.
    for (uint8_t& byte : bytes) byte = platform::ordinaryRandomByte();
  }
  return platform::base64Encoded(
      std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

}  // namespace quillory
