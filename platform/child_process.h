// A child process that does part of this one's work and hands back what it writes.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace platform {

// How a child process ended, and what it wrote to its standard output.
struct ChildOutput {
  std::string bytes;     // what it wrote, at most the limit asked for
  bool overran = false;  // it wrote more than that, and was killed for it
  int exitStatus = 0;    // its exit status, when it exited
  int signal = 0;        // the signal that ended it, when one did
};

// Runs `work` in a new process, whose standard output is a pipe to this one and which the
// kernel ends should the calling thread end first; it exits with the status `work` returns.
// Returns once it has ended, with what it wrote: a child that writes more than `limit` bytes
// is killed. Call it while no other thread runs. Throws std::system_error when no process can
// start or its output cannot be read.
ChildOutput outputOfChild(const std::function<int()>& work, size_t limit);

}  // namespace platform
