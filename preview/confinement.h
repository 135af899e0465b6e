// What a host may reach once it knows its work: its documents, the resources, its output.
#pragma once

#include <string>
#include <vector>

#include "platform/confinement.h"

namespace quillory {

// Reading `inputs` (files, or directories standing for the files below them), the images
// beside them and the resources; nothing else.
platform::Allowed readingDocuments(const std::vector<std::string>& inputs);

// Confines the process to rendering `inputs` (files, or directories standing for the files
// below them): they may be read, with the images beside them, and the resources; pages may
// be written to `output` (nothing but standard output when it is empty) or, with
// `outputIsDirectory`, below that directory, which exists already.
platform::Protections confineTo(const std::vector<std::string>& inputs, const std::string& output,
                                bool outputIsDirectory);

}  // namespace quillory
