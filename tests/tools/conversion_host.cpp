// A host for tests: converts documents in one long-lived process, or serves concurrent
// preview requests on command, so tests can watch what a process shares across work.
//
//   conversion_host convert        framed Markdown on stdin -> framed fragments on stdout
//   conversion_host disarm         framed HTML fragments on stdin -> the same, disarmed
//   conversion_host pages N FILE   waits for a line on stdin, then previews FILE N times
//                                  at once and prints each page's length
//
// Before either, --time-limit MS sets how long one conversion may run.
#include <chrono>
#include <cstdio>
#include <future>
#include <iostream>
#include <string>
#include <vector>

#include "convert/markup_disarm.h"
#include "platform/script_context.h"
#include "provider_access.h"
#include "support/framing.h"

namespace {

int convert() {
  while (auto markdown = testing_support::readFrame(std::cin)) {
    std::cout << testing_support::frame(
        quillory::PreviewProviderInternals::markdownToHTML(*markdown));
  }
  std::cout.flush();
  return 0;
}

int disarm() {
  while (auto html = testing_support::readFrame(std::cin)) {
    std::cout << testing_support::frame(quillory::disarmMarkup(std::move(*html)));
  }
  std::cout.flush();
  return 0;
}

int pages(int count, const std::string& file) {
  std::string go;
  std::getline(std::cin, go);
  quillory::PreviewProvider provider;
  std::vector<std::future<size_t>> done;
  for (int i = 0; i < count; ++i) {
    auto promise = std::make_shared<std::promise<size_t>>();
    done.push_back(promise->get_future());
    provider.providePreviewForFileRequest(
        {platform::FileURL::fileURLWithPath(file)},
        [promise](std::optional<platform::PreviewReply> reply, std::exception_ptr error) {
          if (error) {
            promise->set_exception(error);
          } else {
            promise->set_value(reply->data->size());
          }
        });
  }
  for (auto& page : done) std::cout << page.get() << "\n";
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  if (arguments.size() >= 2 && arguments[0] == "--time-limit") {
    platform::ScriptContext::setTimeLimit(std::chrono::milliseconds(std::stoll(arguments[1])));
    arguments.erase(arguments.begin(), arguments.begin() + 2);
  }
  const std::string mode = arguments.empty() ? "" : arguments[0];
  if (mode == "convert" && arguments.size() == 1) return convert();
  if (mode == "disarm" && arguments.size() == 1) return disarm();
  if (mode == "pages" && arguments.size() == 3) return pages(std::stoi(arguments[1]), arguments[2]);
  std::fputs("usage: conversion_host [--time-limit MS] convert | disarm | pages N FILE\n", stderr);
  return 2;
}
