// Our programs run as a user runs them, alone or from a bundle of their own.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "support/files.h"

namespace testing_support {

struct ProcessResult {
  int exitStatus = -1;  // the exit code, or 128 + the signal that ended it
  std::string out, err;
  bool operator==(const ProcessResult&) const = default;
  friend std::ostream& operator<<(std::ostream& os, const ProcessResult& result) {
    return os << "status " << result.exitStatus << ", out \"" << result.out.substr(0, 400)
              << "\", err \"" << result.err << "\"";
  }
};

// Starts `argv` with standard input, output and error on the files named.
inline pid_t startProcess(const std::vector<std::string>& argv,
                          const std::filesystem::path& in = "/dev/null",
                          const std::filesystem::path& out = "/dev/null",
                          const std::filesystem::path& err = "/dev/null") {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  const int failed = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (failed != 0) throw std::runtime_error("cannot start " + argv[0]);
  return pid;
}

// Waits for `pid` to end; one still running after 100 s is killed, so that a hung program
// fails its test rather than holding it up, also where no CTest timeout guards it.
// `peakBytes`, if given, receives the largest resident size the program reached.
inline int exitStatusOf(pid_t pid, size_t* peakBytes = nullptr) {
  int status = 0;
  rusage usage{};
  for (int waited = 0; wait4(pid, &status, WNOHANG, &usage) == 0; ++waited) {
    if (waited == 10'000) kill(pid, SIGKILL);
    usleep(10'000);
  }
  if (peakBytes != nullptr) *peakBytes = static_cast<size_t>(usage.ru_maxrss) * 1024;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

inline ProcessResult runProcess(const std::vector<std::string>& argv, const std::string& input = "",
                                size_t* peakBytes = nullptr) {
  // Through files rather than pipes: nothing waits for a reader, whatever the sizes.
  const TempDir dir;
  const int status = exitStatusOf(
      startProcess(argv, dir.write("in", input), dir.path() / "out", dir.path() / "err"),
      peakBytes);
  return {status, readWholeFile(dir.path() / "out"), readWholeFile(dir.path() / "err")};
}

// Our programs and their resources are in the directory of this test binary.
inline std::string program(const std::string& name) {
  return std::filesystem::read_symlink("/proc/self/exe").parent_path() / name;
}
inline std::string realResource(const std::string& fileName) {
  return readWholeFile(program("resources/" + fileName));
}

// Documents framed on a byte stream: "LENGTH\n" then LENGTH bytes.
inline std::string frame(const std::string& item) {
  return std::to_string(item.size()) + "\n" + item;
}
inline std::optional<std::string> readFrame(std::istream& in) {
  std::string length;
  if (!std::getline(in, length) || length.empty()) return std::nullopt;
  std::string item(std::stoul(length), '\0');
  in.read(item.data(), static_cast<std::streamsize>(item.size()));
  return item;
}

// `documents` converted by conversion_host run as `command`: its path, then any options.
inline std::vector<std::string> convertInHost(std::vector<std::string> command,
                                              const std::vector<std::string>& documents,
                                              size_t* peakBytes = nullptr) {
  command.push_back("convert");
  std::string input;
  for (const std::string& document : documents) input += frame(document);
  const ProcessResult result = runProcess(command, input, peakBytes);
  if (result.exitStatus != 0) throw std::runtime_error("conversion_host failed: " + result.err);
  std::istringstream out(result.out);
  std::vector<std::string> fragments;
  while (auto fragment = readFrame(out)) fragments.push_back(std::move(*fragment));
  return fragments;
}

// A copy of one of our programs beside resources/ files of the test's choosing, and no others.
class BundleSandbox {
 public:
  BundleSandbox(const std::string& name, const std::map<std::string, std::string>& resources)
      : program_(dir_.path() / name) {
    std::filesystem::copy_file(program(name), program_);
    std::filesystem::create_directories(resourceDirectory());
    for (const auto& [file, content] : resources) dir_.write("resources/" + file, content);
  }
  std::filesystem::path resourceDirectory() const { return dir_.path() / "resources"; }
  ProcessResult run(std::vector<std::string> arguments) const {
    arguments.insert(arguments.begin(), program_);
    return runProcess(arguments);
  }
  std::vector<std::string> convert(const std::vector<std::string>& documents,
                                   const std::string& timeLimitMs = "10000") const {
    return convertInHost({program_, "--time-limit", timeLimitMs}, documents);
  }

 private:
  TempDir dir_;
  std::filesystem::path program_;
};

}  // namespace testing_support
