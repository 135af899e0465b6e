// Batch mode: many Markdown files rendered in parallel into one output directory.
#pragma once

#include <string>
#include <vector>

#include "preview/preview_provider.h"

namespace cli {

// Renders every file named in `inputs` (a directory stands for the Markdown files below
// it) into `outputDirectory`, one page per file, as `options` ask. Shows progress on a
// terminal and lists the failures at the end. Returns the exit status: 0 when every page
// was written.
int renderBatch(const std::vector<std::string>& inputs, const std::string& outputDirectory,
                const quillory::PreviewOptions& options);

}  // namespace cli
