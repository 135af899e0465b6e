// A copy of one of our programs in a directory of its own, beside resource files of the
// test's choosing, so a fresh process loads exactly those.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "support/run_process.h"
#include "support/temp_dir.h"

namespace testing_support {

// The build's programs and resources (the directory holding this test binary).
std::filesystem::path buildDirectory();
// The text of a real resource file from the build.
std::string realResource(const std::string& fileName);

class BundleSandbox {
 public:
  // Copies the program `name` from the build directory; each entry of `resources` maps a
  // file name in resources/ to its content.
  BundleSandbox(const std::string& name, const std::map<std::string, std::string>& resources);

  std::filesystem::path resourceDirectory() const { return dir_.path() / "resources"; }
  ProcessResult run(const std::vector<std::string>& arguments, const std::string& input = "") const;
  // Runs conversion_host convert over `documents` and returns the fragments.
  std::vector<std::string> convert(const std::vector<std::string>& documents) const;

 private:
  TempDir dir_;
  std::filesystem::path program_;
};

}  // namespace testing_support
