// The script engine's cache: its own self-hosted code and the library texts, compiled
// when Quillory is built, so that a fresh process need not compile them again.
#include "platform/script_engine_cache.h"

#include <elf.h>
#include <js/BuildId.h>
#include <js/CompilationAndEvaluation.h>
#include <js/SourceText.h>
#include <js/Transcoding.h>
#include <link.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "platform/files.h"

namespace platform {
namespace {

constexpr std::string_view kMagic = "QUILLORY SCRIPT ENGINE CACHE 1\n";

// The whole file, or the empty text when it cannot be read.
std::string readBytes(const std::string& path) {
  try {
    return readFile(FileURL::fileURLWithPath(path));
  } catch (const FileReadError&) {
    return {};
  }
}

// The GNU build ID, in hexadecimal, of the loaded shared library whose file name holds
// `name`; empty when there is none.
std::string gnuBuildIdOfLibrary(const char* name) {
  struct Search {
    const char* name;
    std::string id;
  } search{name, {}};
  dl_iterate_phdr(
      [](dl_phdr_info* info, size_t, void* data) {
        auto* search = static_cast<Search*>(data);
        if (info->dlpi_name == nullptr || std::strstr(info->dlpi_name, search->name) == nullptr) {
          return 0;
        }
        for (int i = 0; i < info->dlpi_phnum; ++i) {
          const ElfW(Phdr)& segment = info->dlpi_phdr[i];
          if (segment.p_type != PT_NOTE) continue;
          const auto* at = reinterpret_cast<const uint8_t*>(info->dlpi_addr + segment.p_vaddr);
          const uint8_t* end = at + segment.p_memsz;
          while (at + sizeof(ElfW(Nhdr)) <= end) {
            const auto* note = reinterpret_cast<const ElfW(Nhdr)*>(at);
            const uint8_t* noteName = at + sizeof(ElfW(Nhdr));
            const uint8_t* desc = noteName + ((note->n_namesz + 3) & ~3u);
            if (note->n_type == NT_GNU_BUILD_ID && note->n_namesz == 4 &&
                std::memcmp(noteName, "GNU", 4) == 0 && desc + note->n_descsz <= end) {
              static constexpr char kHex[] = "0123456789abcdef";
              for (uint32_t b = 0; b < note->n_descsz; ++b) {
                search->id += kHex[desc[b] >> 4];
                search->id += kHex[desc[b] & 15];
              }
              return 1;
            }
            at = desc + ((note->n_descsz + 3) & ~3u);
          }
        }
        return 1;
      },
      &search);
  return search.id;
}

// Never freed: the engine asks for it through engineBuildId() whenever it likes, until
// the process ends.
const std::string& engineBuildIdText() {
  static const std::string* const id = [] {
    std::string gnu = gnuBuildIdOfLibrary("libmozjs-");
    return new std::string(gnu.empty() ? gnu : "spidermonkey-" + gnu);
  }();
  return *id;
}

// Blobs start at multiples of eight bytes, so the engine reads its compiled forms aligned.
size_t aligned(size_t offset) { return (offset + 7) & ~size_t{7}; }

void appendBlob(std::string& out, std::string_view blob) {
  uint64_t length = blob.size();
  out.append(reinterpret_cast<const char*>(&length), sizeof length);
  out.append(blob);
  out.resize(aligned(out.size()), '\0');
}

// Reads the length-prefixed blob at `at` and moves past it; false on a short file.
bool nextBlob(std::string_view bytes, size_t& at, std::string_view& blob) {
  uint64_t length = 0;
  if (bytes.size() < at || bytes.size() - at < sizeof length) return false;
  std::memcpy(&length, bytes.data() + at, sizeof length);
  at += sizeof length;
  if (bytes.size() - at < length) return false;
  blob = bytes.substr(at, length);
  at = aligned(at + length);
  return true;
}

std::string capturedSelfHosted;  // what the engine hands the writer below

bool captureSelfHosted(JSContext*, JS::SelfHostedCache compiled) {
  capturedSelfHosted.assign(reinterpret_cast<const char*>(compiled.data()), compiled.size());
  return true;
}

}  // namespace

void setScriptCompileOptions(JS::CompileOptions& options) {
  options.setFileAndLine("script", 1);
  // Whole bytecode in the compiled form: otherwise every new global would parse each
  // function again on its first call.
  options.setForceFullParse();
}

bool engineBuildId(JS::BuildIdCharVector* buildId) {
  const std::string& id = engineBuildIdText();
  return !id.empty() && buildId->append(id.data(), id.size());
}

EngineCache::EngineCache() {
  auto url = Bundle::forBinaryContaining(reinterpret_cast<const void*>(&engineBuildId))
                 .urlForResource("script-engine", "cache");
  if (url) file_ = std::make_unique<MappedFile>(url->path());
  if (file_) bytes_ = file_->bytes();
  if (bytes_.empty()) {
    state_ = "absent or empty, so each process compiles the engine's code";
  } else if (!parse()) {
    state_ = "made for another build of the engine (or damaged), so not used";
    bytes_ = {};
    selfHosted_ = {};
    entries_.clear();
  }
}

bool EngineCache::parse() {
  std::string_view bytes = bytes_;
  if (!bytes.starts_with(kMagic) || engineBuildIdText().empty()) return false;
  size_t at = aligned(kMagic.size());
  std::string_view buildId, selfHosted;
  if (!nextBlob(bytes, at, buildId) || buildId != engineBuildIdText() ||
      !nextBlob(bytes, at, selfHosted)) {
    return false;
  }
  selfHosted_ =
      JS::SelfHostedCache(reinterpret_cast<const uint8_t*>(selfHosted.data()), selfHosted.size());
  while (at < bytes.size()) {
    Entry entry;
    if (!nextBlob(bytes, at, entry.text) || !nextBlob(bytes, at, entry.compiled)) return false;
    entries_.push_back(entry);
  }
  return true;
}

RefPtr<JS::Stencil> EngineCache::stencilFor(JSContext* cx, std::string_view text) const {
  for (const Entry& entry : entries_) {
    if (entry.text != text) continue;
    JS::CompileOptions options(cx);
    setScriptCompileOptions(options);
    JS::TranscodeRange range(reinterpret_cast<const uint8_t*>(entry.compiled.data()),
                             entry.compiled.size());
    JS::Stencil* stencil = nullptr;
    if (JS::DecodeStencil(cx, JS::DecodeOptions(options), range, &stencil) !=
        JS::TranscodeResult::Ok) {
      JS_ClearPendingException(cx);
      return nullptr;
    }
    return already_AddRefed<JS::Stencil>(stencil);
  }
  return nullptr;
}

bool writeEngineCache(const std::string& cachePath, const std::vector<std::string>& libraryFiles) {
  auto fail = [](const std::string& what) {
    std::fprintf(stderr, "script engine cache: %s\n", what.c_str());
    return false;
  };
  if (engineBuildIdText().empty()) return fail("the engine library has no build ID");
  JS::SetProcessBuildIdOp(engineBuildId);
  if (!JS_Init()) return fail("the engine does not start");
  JSContext* cx = JS_NewContext(JS::DefaultHeapMaxBytes);
  bool ok = cx != nullptr && JS::InitSelfHostedCode(cx, nullptr, captureSelfHosted) &&
            !capturedSelfHosted.empty();
  std::string out(kMagic);
  out.resize(aligned(out.size()), '\0');
  appendBlob(out, engineBuildIdText());
  appendBlob(out, capturedSelfHosted);
  for (const std::string& file : libraryFiles) {
    if (!ok) break;
    std::string text = readBytes(file);
    JS::CompileOptions options(cx);
    setScriptCompileOptions(options);
    JS::SourceText<mozilla::Utf8Unit> source;
    RefPtr<JS::Stencil> stencil;
    JS::TranscodeBuffer compiled;
    ok = !text.empty() &&
         source.init(cx, text.data(), text.size(), JS::SourceOwnership::Borrowed) &&
         (stencil = JS::CompileGlobalScriptToStencil(cx, options, source)) &&
         JS::EncodeStencil(cx, stencil, compiled) == JS::TranscodeResult::Ok;
    if (!ok) fail("cannot compile " + file);
    appendBlob(out, text);
    appendBlob(
        out, std::string_view(reinterpret_cast<const char*>(compiled.begin()), compiled.length()));
  }
  if (cx != nullptr) JS_DestroyContext(cx);
  JS_ShutDown();
  if (!ok) return fail("nothing written");
  // A new file renamed over the old one: a process may have the old one mapped.
  const std::string written = cachePath + ".new";
  std::ofstream file(written, std::ios::binary | std::ios::trunc);
  file.write(out.data(), static_cast<std::streamsize>(out.size()));
  file.close();
  return file && std::rename(written.c_str(), cachePath.c_str()) == 0
             ? true
             : fail("cannot write " + cachePath);
}

}  // namespace platform
