// What a host may reach once it knows its work: its documents, the resources, its output.
#include "preview/confinement.h"

#include "platform/files.h"
#include "platform/output.h"

namespace quillory {

platform::Allowed readingDocuments(const std::vector<std::string>& inputs) {
  platform::Allowed allowed;
  const auto bundle =
      platform::Bundle::forBinaryContaining(reinterpret_cast<const void*>(&readingDocuments));
  for (const platform::FileURL& directory : bundle.resourceDirectories()) {
    allowed.readBeneath.push_back(directory.path());
  }
  for (const std::string& input : inputs) {
    // A file's images are found from its directory; the file itself may be a link that
    // leads elsewhere.
    allowed.readBeneath.push_back(input);
    if (!platform::isDirectory(input)) {
      const auto file = platform::FileURL::fileURLWithPath(input);
      allowed.readBeneath.push_back(file.deletingLastPathComponent().path());
    }
  }
  return allowed;
}

platform::Protections confineTo(const std::vector<std::string>& inputs, const std::string& output,
                                bool outputIsDirectory) {
  platform::Allowed allowed = readingDocuments(inputs);
  if (outputIsDirectory) {
    allowed.writeBeneath.push_back(output);
    allowed.makeDirectories = true;
  } else if (!output.empty()) {
    platform::allowWritingOutputFile(output, allowed);
  }
  return platform::confine(allowed);
}

}  // namespace quillory
