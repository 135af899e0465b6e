// Runs a program the way a user would, and collects what it printed and its exit status.
#pragma once

#include <string>
#include <vector>

namespace testing_support {

struct ProcessResult {
  int exitStatus = -1;  // the exit code, or 128 + the signal that ended it
  std::string out;
  std::string err;
};

// Runs `argv` with `input` on its standard input and waits for it to end.
ProcessResult runProcess(const std::vector<std::string>& argv, const std::string& input = "");

}  // namespace testing_support
