// quillory: the command-line host. It plays the preview service for one Markdown file
// and writes the page it gets back.
#include <fcntl.h>
#include <getopt.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <future>
#include <string>
#include <system_error>

#include "platform/file_reading.h"
#include "platform/preview_service.h"
#include "preview/preview_provider.h"

namespace {

constexpr const char* kUsage = "Usage: quillory [-o OUT] FILE\n";
constexpr const char* kHelp =
    "Render the Markdown file FILE as one self-contained HTML page: GitHub Flavored\n"
    "Markdown, math as MathML, front matter stripped, local images embedded, and a\n"
    "Content-Security-Policy under which the page runs no script and fetches nothing.\n"
    "\n"
    "The page goes to standard output unless -o names a file.\n"
    "\n"
    "Options:\n"
    "  -o, --output OUT  write the page to OUT (replaced whole, never left half-written)\n"
    "  -h, --help        show this help and exit\n"
    "  -V, --version     show the version and exit\n"
    "\n"
    "Exit status: 0 when the page was written, 1 when FILE could not be read or the\n"
    "page could not be written, 2 on a usage error.\n";

void complain(const std::string& subject, const std::string& reason) {
  std::fprintf(stderr, "quillory: %s: %s\n", subject.c_str(), reason.c_str());
}

int usageError(const std::string& message) {
  std::fprintf(stderr, "quillory: %s\n%sTry 'quillory --help' for more information.\n",
               message.c_str(), kUsage);
  return 2;
}

bool writeAll(int fd, const std::string& bytes) {
  size_t written = 0;
  while (written < bytes.size()) {
    ssize_t n = write(fd, bytes.data() + written, bytes.size() - written);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    written += static_cast<size_t>(n);
  }
  return true;
}

// Writes `bytes` to a temporary file beside `path` and renames it into place, so that a
// failed run leaves any older file at `path` as it was.
int writeFileAtomically(const std::string& path, const std::string& bytes) {
  std::string temporary = path + ".XXXXXX";
  int fd = mkstemp(temporary.data());
  if (fd < 0) {
    complain(path, std::strerror(errno));
    return 1;
  }
  bool ok = writeAll(fd, bytes) && fchmod(fd, 0644) == 0 && fsync(fd) == 0;
  int error = errno;
  if (close(fd) != 0 && ok) {
    ok = false;
    error = errno;
  }
  if (ok && rename(temporary.c_str(), path.c_str()) != 0) {
    ok = false;
    error = errno;
  }
  if (!ok) {
    unlink(temporary.c_str());
    complain(path, std::strerror(error));
    return 1;
  }
  return 0;
}

// Asks the previewer for the page of `file` and waits for its completion.
platform::PreviewReply::Bytes renderPage(const std::string& file) {
  std::promise<platform::PreviewReply::Bytes> page;
  quillory::PreviewProvider provider;
  provider.providePreviewForFileRequest(
      platform::FilePreviewRequest{platform::FileURL::fileURLWithPath(file)},
      [&page](std::optional<platform::PreviewReply> reply, std::exception_ptr error) {
        if (error) {
          page.set_exception(error);
        } else {
          page.set_value(reply->data());
        }
      });
  return page.get_future().get();
}

}  // namespace

int main(int argc, char** argv) {
  static const option kOptions[] = {{"output", required_argument, nullptr, 'o'},
                                    {"help", no_argument, nullptr, 'h'},
                                    {"version", no_argument, nullptr, 'V'},
                                    {nullptr, 0, nullptr, 0}};
  std::string output;
  opterr = 0;
  for (int option; (option = getopt_long(argc, argv, ":o:hV", kOptions, nullptr)) != -1;) {
    switch (option) {
      case 'o': output = optarg; break;
      case 'h': std::fputs(kUsage, stdout); std::fputs(kHelp, stdout); return 0;
      case 'V': std::printf("quillory %s\n", QUILLORY_VERSION); return 0;
      case ':': return usageError(std::string("option '") + argv[optind - 1] + "' needs a value");
      default: return usageError(std::string("unknown option '") + argv[optind - 1] + "'");
    }
  }
  if (argc - optind != 1) {
    return usageError(argc == optind ? "no FILE given" : "only one FILE may be given");
  }
  const std::string file = argv[optind];

  platform::PreviewReply::Bytes page;
  try {
    page = renderPage(file);
  } catch (const std::system_error& error) {
    complain(file, error.code().message());
    return 1;
  } catch (const std::exception& error) {
    complain(file, error.what());
    return 1;
  }

  if (!output.empty()) return writeFileAtomically(output, *page);
  if (!writeAll(STDOUT_FILENO, *page)) {
    if (errno == EPIPE) return 0;
    complain("standard output", std::strerror(errno));
    return 1;
  }
  return 0;
}
