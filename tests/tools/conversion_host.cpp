// Converts (or disarms) framed documents from stdin in one process, as a long-lived host does.
#include <chrono>
#include <cstdio>
#include <iostream>

#include "convert/markup_disarm.h"
#include "provider_access.h"
#include "support/process.h"

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  quillory::PreviewOptions options;
  if (arguments.size() == 3 && arguments[0] == "--time-limit") {
    options.timeLimit = std::chrono::milliseconds(std::stoll(arguments[1]));
    arguments.erase(arguments.begin(), arguments.begin() + 2);
  }
  const std::string mode = arguments.size() == 1 ? arguments[0] : "";
  if (mode != "convert" && mode != "convert-github" && mode != "disarm") {
    std::fputs("usage: conversion_host [--time-limit MS] convert | convert-github | disarm\n",
               stderr);
    return 2;
  }
  if (mode == "convert-github") options.extras = quillory::Extras::github;
  while (auto text = testing_support::readFrame(std::cin)) {
    std::cout << testing_support::frame(
        mode == "disarm" ? quillory::disarmMarkup(std::move(*text))
                         : quillory::PreviewProviderInternals::markdownToHTML(*text, options));
  }
  std::cout.flush();
  return 0;
}
