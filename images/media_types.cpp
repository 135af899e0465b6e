// Media types of image files, by extension.
#include "preview/preview_provider.h"

namespace quillory {

std::string PreviewProvider::mimeType(const std::string&) { return "application/octet-stream"; }

}  // namespace quillory
