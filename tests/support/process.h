// Our programs run as a user runs them, alone or from a bundle of their own; conversion_host's
// framing.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <istream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "support/files.h"

namespace testing_support {

struct ProcessResult {
  int exitStatus = -1;  // the exit code, or 128 + the signal that ended it
  std::string out;
  std::string err;
};

ProcessResult runProcess(const std::vector<std::string>& argv, const std::string& input = "");
// Starts `argv` with its output going nowhere; exitStatusOf waits for it.
pid_t startProcess(const std::vector<std::string>& argv);
int exitStatusOf(pid_t pid);

std::filesystem::path buildDirectory();  // the directory holding this test binary
std::string program(const std::string& name);
std::string realResource(const std::string& fileName);

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

std::vector<std::string> convertInHost(const std::string& host,
                                       const std::vector<std::string>& documents,
                                       const std::vector<std::string>& arguments = {});

// A copy of one of our programs in a directory of its own, beside resource files of the
// test's choosing (file name in resources/ to content), so a fresh process loads exactly those.
class BundleSandbox {
 public:
  BundleSandbox(const std::string& name, const std::map<std::string, std::string>& resources);
  std::filesystem::path resourceDirectory() const { return dir_.path() / "resources"; }
  ProcessResult run(std::vector<std::string> arguments, const std::string& input = "") const;
  std::vector<std::string> convert(const std::vector<std::string>& documents) const {
    return convertInHost(program_.string(), documents);
  }

 private:
  TempDir dir_;
  std::filesystem::path program_;
};

}  // namespace testing_support
