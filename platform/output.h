// Writing pages out: to files, replaced whole or written in place, and to standard output.
#pragma once

#include <string>
#include <string_view>

#include "platform/confinement.h"
#include "platform/files.h"

namespace platform {

// Hands SIGINT, SIGTERM and SIGHUP to a thread of their own, which removes every
// temporary file that writeOutputFile still has open and then ends the process by the
// same signal. Call it at the start of main, before any other thread exists: the signals
// stay blocked in every thread started afterwards.
void removeTemporaryFilesOnInterrupt();

// Writes `bytes` to `path`. A new name or a regular file gets a temporary file beside it,
// renamed over it once complete: a failed or interrupted write never leaves a partial
// file at `path` nor harms an older one. An existing file of any other kind (a device, a
// FIFO, a terminal, as /dev/null) is written in place, never replaced. A name of one of
// this process's descriptors (/dev/stdout, /dev/fd/N, /proc/self/fd/N) is written to that
// descriptor, whatever it is open on. Throws FileWriteError.
void writeOutputFile(const std::string& path, std::string_view bytes);

// Adds to `allowed` what writeOutputFile(path, ...) needs once the process is confined:
// the file itself when it is written in place, else the directory that holds it.
void allowWritingOutputFile(const std::string& path, Allowed& allowed);

// Writes all of `bytes` to standard output. Throws FileWriteError, naming "standard
// output", on failure (EPIPE when the reader has gone).
void writeStandardOutput(std::string_view bytes);

// Makes `path` and its missing parents as directories. Throws FileWriteError.
void makeDirectories(const std::string& path);

}  // namespace platform
