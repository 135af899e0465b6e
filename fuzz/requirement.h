// A property that a harness asserts: when it does not hold, the input is reported as a crash.
#pragma once

#include <cstdio>

namespace fuzzing {

inline void require(bool holds, const char* property) {
  if (holds) return;
  std::fprintf(stderr, "property violated: %s\n", property);
  // A trap rather than abort(): the script engine's library replaces abort() with a
  // deliberate crash of its own, which would hide what went wrong.
  __builtin_trap();
}

}  // namespace fuzzing
