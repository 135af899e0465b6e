// quillory: the command-line host. It plays the preview service for Markdown files and
// writes the pages it gets back.
#include <getopt.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <system_error>
#include <vector>

#include "cli/batch.h"
#include "platform/files.h"
#include "platform/output.h"
#include "platform/script_context.h"
#include "preview/confinement.h"
#include "preview/page_request.h"

namespace {

constexpr const char* kUsage =
    "Usage: quillory [--github] [-o OUT] FILE\n"
    "       quillory [--github] -d OUTDIR FILE|DIR...\n";
constexpr const char* kHelp =
    "Render Markdown as self-contained HTML pages: GitHub Flavored Markdown, math as\n"
    "MathML, front matter stripped, local images embedded, and a Content-Security-Policy\n"
    "under which the page runs no script and fetches nothing.\n"
    "\n"
    "With one FILE the page goes to standard output, or to OUT with -o. With -d, every\n"
    "FILE (a directory stands for the Markdown files below it) becomes a page in OUTDIR,\n"
    "named after the file with .html in place of its extension; files are rendered in\n"
    "parallel, progress shows on a terminal, and failures are listed at the end. A\n"
    "directory's file that is a link leading outside that directory is not rendered\n"
    "but listed.\n"
    "\n"
    "Where the kernel has Landlock and seccomp, quillory confines itself once it knows\n"
    "its files: it reads only below its documents' directories and its resources,\n"
    "writes only its output (with -o, files below the page's directory), changes no\n"
    "file's mode, owner, times or extended attributes, connects nowhere and runs no\n"
    "program.\n"
    "\n"
    "Options:\n"
    "  -o, --output OUT          write the page to OUT: a file is replaced whole, never\n"
    "                            half-written; a device or FIFO is written to in place;\n"
    "                            /dev/stdout or /dev/fd/N goes to that descriptor\n"
    "  -d, --output-dir OUTDIR   batch mode: one page per file in OUTDIR\n"
    "      --github              add what GitHub shows beyond GitHub Flavored\n"
    "                            Markdown: heading anchors, alerts (> [!NOTE]),\n"
    "                            footnotes, :emoji:, highlighted code and front\n"
    "                            matter as a table\n"
    "      --time-limit SECONDS  stop a conversion after SECONDS (default 10) and show\n"
    "                            the document as plain text instead (as for a\n"
    "                            document whose HTML would pass 64 MiB)\n"
    "  -h, --help                show this help and exit\n"
    "  -V, --version             show the version, the script engine's and whether\n"
    "                            its cache matches it, the confinement this system\n"
    "                            gives, and exit\n"
    "\n"
    "Exit status: 0 when every page was written, 1 when a file could not be read or a\n"
    "page could not be written, 2 on a usage error.\n";

void complain(const std::string& subject, const std::string& reason) {
  std::fprintf(stderr, "quillory: %s: %s\n", subject.c_str(), reason.c_str());
}

int usageError(const std::string& message) {
  std::fprintf(stderr, "quillory: %s\n%sTry 'quillory --help' for more information.\n",
               message.c_str(), kUsage);
  return 2;
}

// 0 once what went to standard output is written, as coreutils do; else 1, with why.
int outputWritten() {
  if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return 0;
  std::fprintf(stderr, "quillory: write error: %s\n", std::strerror(errno));
  return 1;
}

int renderOne(const std::string& file, const std::string& output,
              const quillory::PreviewOptions& options) {
  const platform::PreviewOutcome outcome =
      quillory::pageFor(platform::FileURL::fileURLWithPath(file), options);
  if (const auto* failure = std::get_if<platform::PreviewFailure>(&outcome)) {
    complain(file, failure->message);  // the file as it was given
    return 1;
  }
  const std::string& page = *std::get<platform::PreviewReply>(outcome).data;
  if (!output.empty()) {
    try {
      platform::writeOutputFile(output, page);
    } catch (const std::system_error& failure) {
      complain(output, failure.code().message());
      return 1;
    }
    return 0;
  }
  try {
    platform::writeStandardOutput(page);
  } catch (const std::system_error& failure) {
    if (failure.code().value() == EPIPE) return 0;  // a reader that has gone wants no more
    complain("standard output", failure.code().message());
    return 1;
  }
  return 0;
}

bool parseSeconds(const char* text, std::chrono::milliseconds& limit) {
  char* end = nullptr;
  double seconds = std::strtod(text, &end);
  if (end == text || *end != '\0' || !(seconds > 0) || seconds > 86400) return false;
  limit = std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  enum { kTimeLimit = 256, kGithub };
  static const option kOptions[] = {{"output", required_argument, nullptr, 'o'},
                                    {"output-dir", required_argument, nullptr, 'd'},
                                    {"time-limit", required_argument, nullptr, kTimeLimit},
                                    {"github", no_argument, nullptr, kGithub},
                                    {"help", no_argument, nullptr, 'h'},
                                    {"version", no_argument, nullptr, 'V'},
                                    {nullptr, 0, nullptr, 0}};
  std::string output, outputDirectory;
  quillory::PreviewOptions options;
  opterr = 0;
  for (int option; (option = getopt_long(argc, argv, ":o:d:hV", kOptions, nullptr)) != -1;) {
    switch (option) {
      case 'o':
        output = optarg;
        break;
      case 'd':
        outputDirectory = optarg;
        break;
      case kGithub:
        options.extras = quillory::Extras::github;
        break;
      case kTimeLimit: {
        if (!parseSeconds(optarg, options.timeLimit)) {
          return usageError(std::string("--time-limit wants a number of seconds, not '") + optarg +
                            "'");
        }
        break;
      }
      case 'h':
        std::fputs(kUsage, stdout);
        std::fputs(kHelp, stdout);
        return outputWritten();
      case 'V':
        std::printf("quillory %s\n%s\nconfinement: %s\n", QUILLORY_VERSION,
                    platform::describeScriptEngine().c_str(),
                    platform::describeProtections(platform::availableProtections()).c_str());
        return outputWritten();
      case ':':
        return usageError(std::string("option '") + argv[optind - 1] + "' needs a value");
      default:
        // An unknown letter stands inside a word that getopt has not stepped past.
        return usageError("unknown option '" +
                          (optopt != 0 ? std::string{'-', static_cast<char>(optopt)}
                                       : std::string(argv[optind - 1])) +
                          "'");
    }
  }
  std::vector<std::string> files(argv + optind, argv + argc);
  if (files.empty()) return usageError("no FILE given");
  if (!output.empty() && !outputDirectory.empty()) {
    return usageError("-o and -d cannot be used together");
  }
  if (outputDirectory.empty() && files.size() > 1) {
    return usageError("only one FILE may be given without -d");
  }
  try {
    if (!outputDirectory.empty()) return cli::renderBatch(files, outputDirectory, options);
    // Before any thread starts, so that every thread is confined: a fault in the
    // conversion reaches no more than this page needs. Then an interrupted run leaves no
    // temporary page behind.
    quillory::confineTo(files, output, false);
    platform::removeTemporaryFilesOnInterrupt();
    return renderOne(files.front(), output, options);
  } catch (const std::system_error& failure) {
    // Output errors are told where they happen: what reaches here is a thread that
    // could not start (no process left under `ulimit -u`, or no memory for its stack).
    complain("cannot start a thread", failure.code().message());
    return 1;
  }
}
