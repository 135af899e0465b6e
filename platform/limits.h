// Every bound the system keeps on the work one document can cause, each with why it is there.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace limits {

// The longest source read: a document past it is cut, with a note, so that what follows
// (conversion, page, window) works on a known size. Longer files are rarely meant as prose.
inline constexpr size_t sourceBytes = 4'000'000;

// How long one conversion may take, from its start until its HTML is in hand, unless the
// host asks for another: past it the document is shown as text, so no input can hang a host.
inline constexpr std::chrono::milliseconds conversionTime{10'000};

// Live script heap of one converting thread: past it allocations fail and the conversion
// falls back to text. It counts the engine's objects, not the text of its strings.
inline constexpr uint32_t scriptHeapBytes = 512u * 1024u * 1024u;

// All the memory the engine accounts to one converting thread, its heap and what it allocates
// outside it (the text of strings, arrays' elements) together, weighed after each garbage
// collection: past it the conversion falls back to text. Containers nested deep make marked
// keep the text once per level (1,200 quote levels of a 1.4 MB file: 1.7 GB); the largest
// ordinary documents hold a fraction of it (a 4 MB one peaks near 110 MB in all).
inline constexpr size_t scriptMemoryBytes = 256u * 1024u * 1024u;

// The longest HTML fragment taken from the renderer. A few lines of Markdown can make
// gigabytes of HTML (one long link target referenced a million times); past this the
// document is shown as text, so what follows the conversion (the disarm, the image scan,
// the page, the window's layout) stays bounded too. Real documents come nowhere near it:
// the largest source makes a few times its size at most.
inline constexpr size_t fragmentBytes = 64 * 1024 * 1024;

// The largest image file embedded: larger ones keep their source, so one image cannot
// make a page of hundreds of megabytes.
inline constexpr size_t imageFileBytes = 8'000'000;

// All the data: URIs of one page together; an image that no longer fits keeps its source,
// so a document naming one image a million times still makes a page of bounded size.
inline constexpr size_t embeddedImageBytes = 64 * 1024 * 1024;

// A request to a conversion helper: a flag and a path, never near this.
inline constexpr size_t helperRequestBytes = 64 * 1024;

// An answer from a conversion helper, or the page that `quillory -o` gets from the process
// that converts for it: a page stays below the fragment, the embedded images and the
// stylesheet together; anything longer is a helper that cannot be trusted.
inline constexpr size_t helperAnswerBytes = 256u << 20;

// The preview window's settings file: a few lines; a larger one is not the window's and is
// taken as no settings rather than read into memory.
inline constexpr size_t settingsBytes = 64 * 1024;

}  // namespace limits
