// Batch mode: many Markdown files rendered in parallel into one output directory.
#include "cli/batch.h"

#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <mutex>

#include "platform/files.h"
#include "platform/output.h"
#include "platform/process.h"
#include "preview/confinement.h"
#include "preview/page_request.h"

namespace cli {
namespace {

struct Job {
  std::string input;   // as the user named it
  std::string output;  // the page's path
};

struct Failure {
  std::string subject;
  std::string reason;
};

// The page's name: the file's, with its Markdown extension (if any) replaced by .html.
std::string pageName(const std::string& relativePath) {
  return platform::replacingPathExtension(relativePath, "html");
}

// One job per file; a directory contributes its Markdown files, each page placed at the
// same relative path below the output directory. Files a directory links to outside it
// are failures.
std::vector<Job> plan(const std::vector<std::string>& inputs, const std::string& outputDirectory,
                      std::vector<Failure>& failures) {
  std::vector<Job> jobs;
  std::map<std::string, std::string> claimed;  // page -> input that writes it
  auto add = [&](const std::string& input, const std::string& relativePage) {
    std::string output = outputDirectory + "/" + relativePage;
    auto [it, fresh] = claimed.emplace(output, input);
    if (!fresh) {
      failures.push_back({input, "its page " + output + " is already the page of " + it->second});
      return;
    }
    jobs.push_back({input, output});
  };
  for (const std::string& input : inputs) {
    if (!platform::isDirectory(input)) {
      add(input, pageName(platform::lastPathComponent(input)));
      continue;
    }
    std::string directory = input.ends_with('/') ? input : input + "/";
    const platform::MarkdownFiles files = platform::markdownFilesBelow(input);
    if (files.inside.empty() && files.linkingOutside.empty() && files.unresolved.empty()) {
      failures.push_back({input, "no Markdown files in this directory"});
    }
    for (const std::string& file : files.inside) add(directory + file, pageName(file));
    // A file named by itself is the user's choice; one found by a link from a directory
    // named is shown only when it lies in that directory.
    for (const std::string& file : files.linkingOutside) {
      failures.push_back({directory + file, "links outside " + input});
    }
    for (const auto& [file, reason] : files.unresolved)
      failures.push_back({directory + file, reason});
  }
  return jobs;
}

class Progress {
 public:
  explicit Progress(size_t total) : total_(total), shown_(isatty(STDERR_FILENO) == 1) {}

  void advance() {
    ++done_;
    if (shown_) std::fprintf(stderr, "\rquillory: %zu of %zu files rendered", done_, total_);
  }
  void finish() {
    if (shown_ && total_ > 0) std::fputs("\n", stderr);
  }

 private:
  size_t total_;
  size_t done_ = 0;
  bool shown_;
};

}  // namespace

int renderBatch(const std::vector<std::string>& inputs, const std::string& outputDirectory,
                const quillory::PreviewOptions& options) {
  try {
    platform::makeDirectories(outputDirectory);
  } catch (const std::system_error& failure) {
    std::fprintf(stderr, "quillory: %s: %s\n", outputDirectory.c_str(),
                 failure.code().message().c_str());
    return 1;
  }
  // As for one page: every thread confined, then interrupts handled.
  quillory::confineTo(inputs, outputDirectory, true);
  platform::removeTemporaryFilesOnInterrupt();
  std::vector<Failure> failures;
  std::vector<Job> jobs = plan(inputs, outputDirectory, failures);
  const size_t planned = jobs.size() + failures.size();

  std::mutex mutex;
  std::condition_variable changed;
  size_t inFlight = 0;
  Progress progress(jobs.size());
  // Enough requests queued to keep every worker busy, without holding every page at once.
  const size_t window = 2 * platform::Executor::global().threadCount();

  for (const Job& job : jobs) {
    {
      std::unique_lock lock(mutex);
      changed.wait(lock, [&] { return inFlight < window; });
      ++inFlight;
    }
    const auto file = platform::FileURL::fileURLWithPath(job.input);
    quillory::requestPage(file, options, [&, job](platform::PreviewOutcome outcome) {
      std::string subject = job.input, reason;
      if (const auto* failure = std::get_if<platform::PreviewFailure>(&outcome)) {
        reason = failure->message;
      } else {
        try {
          platform::makeDirectories(platform::deletingLastPathComponent(job.output));
          platform::writeOutputFile(job.output, *std::get<platform::PreviewReply>(outcome).data);
        } catch (const std::system_error& failure) {
          subject = job.output;
          reason = failure.code().message();
        }
      }
      std::lock_guard lock(mutex);
      if (!reason.empty()) failures.push_back({subject, reason});
      progress.advance();
      --inFlight;
      changed.notify_all();
    });
  }
  {
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return inFlight == 0; });
  }
  progress.finish();

  if (failures.empty()) return 0;
  std::sort(failures.begin(), failures.end(),
            [](const Failure& a, const Failure& b) { return a.subject < b.subject; });
  std::fprintf(stderr, "quillory: %zu of %zu files failed:\n", failures.size(), planned);
  for (const Failure& failure : failures) {
    std::fprintf(stderr, "  %s: %s\n", failure.subject.c_str(), failure.reason.c_str());
  }
  return 1;
}

}  // namespace cli
