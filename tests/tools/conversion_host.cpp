// A host for tests: converts documents in one long-lived process, so tests can watch what
// a process shares across conversions.
//
//   conversion_host [--time-limit MS] convert    framed Markdown on stdin -> framed fragments
//                                                on stdout; MS: how long one may run
#include <chrono>
#include <cstdio>
#include <iostream>

#include "platform/script_context.h"
#include "provider_access.h"
#include "support/process.h"

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  if (arguments.size() == 3 && arguments[0] == "--time-limit") {
    platform::ScriptContext::setTimeLimit(std::chrono::milliseconds(std::stoll(arguments[1])));
    arguments.erase(arguments.begin(), arguments.begin() + 2);
  }
  if (arguments != std::vector<std::string>{"convert"}) {
    std::fputs("usage: conversion_host [--time-limit MS] convert\n", stderr);
    return 2;
  }
  while (auto markdown = testing_support::readFrame(std::cin)) {
    std::cout << testing_support::frame(quillory::PreviewProviderInternals::markdownToHTML(*markdown));
  }
  std::cout.flush();
  return 0;
}
