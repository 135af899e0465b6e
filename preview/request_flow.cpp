// The preview request flow: one request in, one outcome (the reply, or why not) out; the
// source read for it; and how a host asks for a page.
#include <future>
#include <latch>
#include <new>
#include <string_view>

#include "platform/files.h"
#include "platform/process.h"
#include "platform/text.h"
#include "preview/page_constants.h"
#include "preview/page_request.h"
#include "preview/preview_provider.h"

namespace quillory {
namespace {

// Headings, emphasis, a list, a table, code, a link and a quote for marked; inline and
// display math for KaTeX; an alert, a footnote and an emoji for the GitHub extras.
constexpr const char* kWarmUpDocument =
    "# Warm-up\n\nSome *emphasis*, **strong** text, `code` and [a link](https://example.org).\n\n"
    "- one\n- [x] two\n\n| a | b |\n|---|:-:|\n| 1 | $x^2$ |\n\n> quoted\n\n"
    "```js\nlet x = 1;\n```\n\n$$\\sum_{i=1}^n \\frac{a_i}{\\sqrt{b}}$$\n\n"
    "> [!NOTE]\n> Noted[^1] :rocket:\n\n[^1]: A footnote.\n";

constexpr std::string_view kTruncationNote = "\n\n> \u2026 preview truncated (large file).";

}  // namespace

void PreviewProvider::providePreviewForFileRequest(
    platform::FilePreviewRequest request, platform::PreviewCompletion completionHandler) const {
  // The task holds the request, the handler and (a copy of) the provider until the
  // handler has been called.
  platform::Executor::global().enqueue(
      [provider = *this, request = std::move(request),
       completionHandler = std::move(completionHandler)]() mutable {
        platform::PreviewOutcome outcome;
        try {
          outcome = provider.providePreview(request);
        } catch (...) {
          outcome = platform::failureOf(std::current_exception(), request.fileURL.path());
        }
        completionHandler(std::move(outcome));
      });
}

void PreviewProvider::warmUp() const {
  platform::Executor& executor = platform::Executor::global();
  // Each task holds its worker until all have started, so that every worker takes one.
  std::latch started(executor.threadCount()), finished(executor.threadCount());
  for (unsigned i = 0; i < executor.threadCount(); ++i) {
    executor.enqueue([this, &started, &finished] {
      started.arrive_and_wait();
      try {
        buildHTML(kWarmUpDocument, platform::FileURL::fileURLWithPath("/"));
      } catch (...) {  // a warm-up that failed leaves the work to the first request
      }
      finished.count_down();
    });
  }
  finished.wait();
}

platform::PreviewReply PreviewProvider::providePreview(
    const platform::FilePreviewRequest& request) const {
  const platform::FileURL& fileURL = request.fileURL;
  std::string text = readText(request);
  platform::FileURL baseDir = fileURL.deletingLastPathComponent();
  // The page's bytes are made once, here; the reply hands over this same buffer.
  std::string nonce = makeNonce();
  auto page = std::make_shared<const std::string>(buildHTML(text, baseDir, nonce));
  return platform::PreviewReply{kPreferredPageSize, std::move(page), std::move(nonce)};
}

// Source reading: the previewed file (or standard input) as UTF-8 text, cut with a visible
// note when long.
std::string PreviewProvider::readText(const platform::FilePreviewRequest& request) const {
  // One byte past the cap tells whether the source is longer; nothing more is read.
  std::string bytes = request.standardInput ? platform::readStandardInput(maxBytes + 1)
                                            : platform::readFile(request.fileURL, maxBytes + 1);
  if (bytes.size() > maxBytes) {
    bytes.resize(maxBytes);
    bytes += kTruncationNote;
  }
  if (platform::isWellFormedUTF8(bytes)) return bytes;
  return platform::decodeUTF8Leniently(bytes);
}

// How a host asks for the page of one file, playing the preview service's part.
void requestPage(const platform::FileURL& file, const PreviewOptions& options,
                 std::function<void(platform::PreviewOutcome)> done) {
  PreviewProvider(options).providePreviewForFileRequest({file}, std::move(done));
}

platform::PreviewOutcome pageFor(const platform::FilePreviewRequest& request,
                                 const PreviewOptions& options) {
  std::promise<platform::PreviewOutcome> outcome;
  PreviewProvider(options).providePreviewForFileRequest(
      request, [&outcome](platform::PreviewOutcome page) { outcome.set_value(std::move(page)); });
  return outcome.get_future().get();
}

platform::PreviewOutcome pageFor(const platform::FileURL& file, const PreviewOptions& options) {
  return pageFor(platform::FilePreviewRequest{file}, options);
}

}  // namespace quillory
