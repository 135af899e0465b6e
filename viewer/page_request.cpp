// Asks the conversion helper of a file's directory for its page; the outcome comes on
// the main thread.
// main thread.
#include "viewer/page_request.h"

#include <glib.h>
#include <glib/gstdio.h>
#include <sys/stat.h>

#include <cerrno>

#include "viewer/conversion_helpers.h"

namespace viewer {
namespace {

using quillory::PageOutcome;

struct Delivery {
  std::function<void(PageOutcome)> done;
  PageOutcome outcome;
};

void deliverLater(Delivery* delivery) {
  g_idle_add_once(
      [](gpointer data) {
        auto* delivery = static_cast<Delivery*>(data);
        delivery->done(std::move(delivery->outcome));
        delete delivery;
      },
      delivery);
}

// Why the file at `path` is not asked for: it exists but is not a regular file (a symbolic
// link counts as what it points to). Empty otherwise, also when it is missing: the
// previewer then tells why.
std::string notRegularFile(const std::string& path) {
  GStatBuf info;
  if (g_stat(path.c_str(), &info) != 0 || S_ISREG(info.st_mode)) return {};
  return S_ISDIR(info.st_mode) ? g_strerror(EISDIR) : "Not a regular file";
}

}  // namespace

void requestPage(const std::string& path, std::function<void(PageOutcome)> done) {
  // Reading a FIFO or a device could wait for ever, so only a regular file is asked for.
  if (std::string problem = notRegularFile(path); !problem.empty()) {
    deliverLater(new Delivery{std::move(done), {std::nullopt, std::move(problem)}});
    return;
  }
  convertInHelper(path, std::move(done));
}

}  // namespace viewer
