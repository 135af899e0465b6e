// Temporary files that are removed when the process is interrupted, so that an
// interrupted write never leaves one behind.
#pragma once

#include <string>

namespace platform {

// Hands SIGINT, SIGTERM and SIGHUP to a thread of their own, which removes every
// temporary file still registered and then ends the process by the same signal. Call it
// at the start of main, before any other thread exists: the signals stay blocked in
// every thread started afterwards.
void removeTemporaryFilesOnInterrupt();

// Creates a new file from `pattern`, whose last six characters, "XXXXXX", are replaced in
// place, and registers it. Returns its descriptor, open for writing, or -1 with errno set.
int createTemporaryFile(std::string& pattern);

// Renames the registered temporary file `temporary` to `path` and forgets it. Returns 0,
// or the errno of a failed rename (the file is then still registered).
int commitTemporaryFile(const std::string& temporary, const std::string& path);

// Removes the registered temporary file `temporary` and forgets it.
void discardTemporaryFile(const std::string& temporary);

}  // namespace platform
