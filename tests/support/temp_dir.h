// Temporary directories and files for tests, removed with everything in them.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace testing_support {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // Writes `bytes` to the file `relative` below the directory, making parent directories.
  std::filesystem::path write(const std::string& relative, std::string_view bytes) const;

 private:
  std::filesystem::path path_;
};

std::string readWholeFile(const std::filesystem::path& path);

}  // namespace testing_support
