// The script engine's cache: its own self-hosted code and the library texts, compiled
// when Quillory is built, so that a fresh process need not compile them again.
#pragma once

#include <js/BuildId.h>
#include <js/Initialization.h>
#include <js/experimental/JSStencil.h>
#include <jsapi.h>
#include <mozilla/RefPtr.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"

namespace platform {

// The options every library text is compiled with, at build time and at run time alike.
void setScriptCompileOptions(JS::CompileOptions& options);

// Identifies the engine's build (the GNU build ID of the loaded SpiderMonkey library);
// compiled forms are only ever reused by the same build. Installed as the engine's
// build-ID callback.
bool engineBuildId(JS::BuildIdCharVector* buildId);

class EngineCache {
 public:
  // The cache file "script-engine.cache" of this binary's bundle. Empty when the file is
  // absent, unreadable or made by another build of the engine. The engine reads what it
  // was given from here until it shuts down, so the cache must outlive the engine.
  EngineCache();
  EngineCache(const EngineCache&) = delete;
  EngineCache& operator=(const EngineCache&) = delete;

  // How the cache file was found: "matches the loaded engine", or why it is not used.
  std::string_view state() const { return state_; }

  // The compiled self-hosted code, or an empty span.
  JS::SelfHostedCache selfHosted() const { return selfHosted_; }

  // The compiled form of `text`, for this thread's engine; null when the cache holds no
  // entry for exactly this text.
  RefPtr<JS::Stencil> stencilFor(JSContext* cx, std::string_view text) const;

 private:
  struct Entry {
    std::string_view text;
    std::string_view compiled;
  };
  bool parse();

  std::string_view state_ = "matches the loaded engine";
  std::unique_ptr<MappedFile> file_;  // mapped: only the compiled forms in use are read
  std::string_view bytes_;
  JS::SelfHostedCache selfHosted_;
  std::vector<Entry> entries_;
};

// Compiles the self-hosted code and each of `libraryFiles` and writes the cache to
// `cachePath`. Returns false, with a message on standard error, when that fails.
bool writeEngineCache(const std::string& cachePath, const std::vector<std::string>& libraryFiles);

}  // namespace platform
