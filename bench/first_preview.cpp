// Where the time of the first preview in a fresh process goes. Run it as a new process
// each time; it prints one line of phases in milliseconds (wall clock).
//
//   first_preview FILE
#include <chrono>
#include <cstdio>

#include "platform/file_url.h"
#include "platform/files.h"
#include "platform/limits.h"
#include "platform/script_context.h"
#include "provider_access.h"

namespace quillory::embedded {
extern const std::string_view rendererScriptText;  // convert/renderer.js, compiled in
}

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: first_preview FILE\n", stderr);
    return 2;
  }
  using quillory::PreviewProviderInternals;
  const auto file = platform::FileURL::fileURLWithPath(argv[1]);
  const std::string markdown = platform::readFile(file);

  // The conversion's own steps, timed one by one in the process's first script context.
  auto start = Clock::now();
  auto context = platform::ScriptContext::create(limits::conversionTime);
  const double engineStart = millisecondsSince(start);
  start = Clock::now();
  context->evaluateScript(PreviewProviderInternals::markedSource());
  const double libraryEvaluation = millisecondsSince(start);
  context->setGlobal("MD_SRC", markdown);
  context->setGlobal("HAS_MATH", false);
  context->setGlobal("GITHUB", false);
  start = Clock::now();
  context->evaluateScript(quillory::embedded::rendererScriptText);
  const double firstParse = millisecondsSince(start);
  context.reset();

  // The same parse once the engine has compiled its regular expressions: the difference
  // is regular-expression compilation and warm-up.
  context = platform::ScriptContext::create(limits::conversionTime);
  context->evaluateScript(PreviewProviderInternals::markedSource());
  context->setGlobal("MD_SRC", markdown);
  context->setGlobal("HAS_MATH", false);
  context->setGlobal("GITHUB", false);
  start = Clock::now();
  context->evaluateScript(quillory::embedded::rendererScriptText);
  const double warmParse = millisecondsSince(start);
  context.reset();

  // Everything around the conversion: reading, stylesheet, nonce, images, the template.
  start = Clock::now();
  const std::string page = PreviewProviderInternals::buildHTML(
      PreviewProviderInternals::readText(file), file.deletingLastPathComponent());
  const double wholePage = millisecondsSince(start);
  start = Clock::now();
  PreviewProviderInternals::markdownToHTML(markdown);
  const double conversion = millisecondsSince(start);

  std::printf(
      "engine start %.1f, library evaluation %.1f, regular-expression compilation and warm-up "
      "%.1f, parsing %.1f, page assembly %.1f\n",
      engineStart, libraryEvaluation, firstParse - warmParse, warmParse, wholePage - conversion);
  return page.empty() ? 1 : 0;
}
