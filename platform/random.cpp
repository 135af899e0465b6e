// Random bytes: the kernel's secure source, and an ordinary generator for when it fails.
#include "platform/random.h"

#include <sys/random.h>

#include <cerrno>
#include <chrono>
#include <exception>
#include <random>

namespace platform {

int secureRandomBytes(std::span<uint8_t> buffer) {
  size_t filled = 0;
  while (filled < buffer.size()) {
    ssize_t got = getrandom(buffer.data() + filled, buffer.size() - filled, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    filled += static_cast<size_t>(got);
  }
  return 0;
}

namespace {

// The ordinary generator must work when the kernel's source does not, so its seed
// falls back to the clock.
std::mt19937::result_type seed() {
  try {
    return std::random_device{}();
  } catch (const std::exception&) {
    return static_cast<std::mt19937::result_type>(
        std::chrono::steady_clock::now().time_since_epoch().count());
  }
}

}  // namespace

uint8_t ordinaryRandomByte() {
  thread_local std::mt19937 generator{seed()};
  return static_cast<uint8_t>(std::uniform_int_distribution<int>(0, 255)(generator));
}

}  // namespace platform
