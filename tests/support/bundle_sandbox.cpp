// A copy of one of our programs in a directory of its own, beside resource files of the
// test's choosing, so a fresh process loads exactly those.
#include "support/bundle_sandbox.h"

#include <unistd.h>

#include <stdexcept>

#include "support/framing.h"

namespace testing_support {

std::filesystem::path buildDirectory() {
  return std::filesystem::read_symlink("/proc/self/exe").parent_path();
}

std::string realResource(const std::string& fileName) {
  return readWholeFile(buildDirectory() / "resources" / fileName);
}

BundleSandbox::BundleSandbox(const std::string& name,
                             const std::map<std::string, std::string>& resources) {
  program_ = dir_.path() / name;
  std::filesystem::copy_file(buildDirectory() / name, program_);
  std::filesystem::create_directories(resourceDirectory());
  for (const auto& [file, content] : resources) dir_.write("resources/" + file, content);
}

ProcessResult BundleSandbox::run(const std::vector<std::string>& arguments,
                                 const std::string& input) const {
  std::vector<std::string> argv{program_.string()};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  return runProcess(argv, input);
}

std::vector<std::string> BundleSandbox::convert(const std::vector<std::string>& documents) const {
  ProcessResult result = run({"convert"}, frameAll(documents));
  if (result.exitStatus != 0) throw std::runtime_error("conversion_host failed: " + result.err);
  return unframeAll(result.out);
}

}  // namespace testing_support
