// Random bytes: the kernel's secure source, and an ordinary generator for when it fails.
#pragma once

#include <cstdint>
#include <span>

namespace platform {

// Fills `buffer` from the kernel's cryptographically secure source. Returns 0 on
// success and a non-zero status (an errno value) on failure.
using SecureRandomSource = int (*)(std::span<uint8_t> buffer);
int secureRandomBytes(std::span<uint8_t> buffer);

// One byte drawn uniformly from 0 through 255 by an ordinary (not secure) generator.
uint8_t ordinaryRandomByte();

}  // namespace platform
