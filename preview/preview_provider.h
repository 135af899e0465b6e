// PreviewProvider: answers a preview request for one Markdown file with one
// self-contained, safe HTML page.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/file_url.h"
#include "platform/limits.h"
#include "platform/preview_service.h"
#include "platform/process.h"

namespace quillory {

// What a page adds to the GitHub Flavored Markdown that marked renders.
enum class Extras {
  none,    // nothing: marked's output as it is
  github,  // heading anchors, alerts, footnotes, emoji, highlighted code and front matter, as on GitHub
};

// What a host asks of every page it requests; it travels with the request.
struct PreviewOptions {
  Extras extras = Extras::none;
  // How long one conversion may take until its HTML is in hand; past it the page shows
  // the document as text.
  std::chrono::milliseconds timeLimit = limits::conversionTime;
};

class PreviewProvider {
 public:
  PreviewProvider() = default;
  explicit PreviewProvider(PreviewOptions options) : options_(options) {}

  // Starts the work on the global executor and returns at once. `completionHandler`
  // is called exactly once, on the worker thread, with the outcome: the reply, or the
  // failure of a file that could not be read.
  void providePreviewForFileRequest(platform::FilePreviewRequest request,
                                    platform::PreviewCompletion completionHandler) const;

  // The work behind it: reads the file, builds the page, makes the reply. Throws
  // platform::FileReadError when the file cannot be read.
  platform::PreviewReply providePreview(const platform::FilePreviewRequest& request) const;

  // Builds the page of a small built-in document, with math, on every worker thread of the
  // global executor, and returns when all are done: each thread's engine has the libraries
  // compiled and its regular expressions and busiest functions warm, as after a request.
  void warmUp() const;

 private:
  friend struct PreviewProviderInternals;  // the tests' door to the operations below

  static constexpr size_t maxBytes = limits::sourceBytes;

  std::string readText(const platform::FileURL& fileURL) const;
  static std::string makeNonce(
      platform::SecureRandomSource secureSource = platform::secureRandomBytes);
  // The page, its stylesheet named by `nonce`.
  std::string buildHTML(const std::string& markdown, const platform::FileURL& baseDir,
                        const std::string& nonce = makeNonce()) const;
  std::string markdownToHTML(const std::string& markdown) const;
  std::string inlineLocalImages(const std::string& html, const platform::FileURL& baseDir) const;

  static std::string escapedPre(const std::string& text);
  static std::string mimeType(const std::string& pathExtension);
  static std::string loadResource(const std::string& name, const std::string& extension);

  // The resource texts, each loaded once per process at its first use.
  static const std::string& markedSource();
  static const std::string& katexSource();
  static const std::string& cssSource();
  // The library texts of the GitHub extras that `markdown` needs, in the order they run.
  static std::vector<const std::string*> githubLibrariesFor(const std::string& markdown);

  PreviewOptions options_;
};

}  // namespace quillory
