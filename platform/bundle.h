// The bundle: where the resource files of the binary that holds given code are found.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/file_url.h"

namespace platform {

class Bundle {
 public:
  // The bundle of the executable or shared object that contains `codeAddress`.
  static Bundle forBinaryContaining(const void* codeAddress);

  // The resource "NAME.EXTENSION": first in resources/ beside the binary, then in
  // ../share/quillory/resources/ relative to it (an installed layout). Nothing when
  // neither holds the file.
  std::optional<FileURL> urlForResource(std::string_view name, std::string_view extension) const;

  const FileURL& binaryDirectory() const { return directory_; }

 private:
  explicit Bundle(FileURL directory) : directory_(std::move(directory)) {}
  FileURL directory_;
};

}  // namespace platform
