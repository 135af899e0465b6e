// Confinement: the kernel's own limits (Landlock, seccomp) on what the process may reach.
#pragma once

#include <string>
#include <vector>

namespace platform {

// What a confined process may still reach besides the files it already has open and what
// the runtime needs (its own entry in /proc, the list of processors). Paths that do not
// exist are passed over.
struct Allowed {
  std::vector<std::string> readBeneath;   // files, or directories with everything below them
  std::vector<std::string> writeBeneath;  // directories: files made, written, renamed, removed
  std::vector<std::string> writeFiles;    // existing files written in place (a device, a FIFO)
  bool makeDirectories = false;           // directories made below writeBeneath as well
};

// The protections a process has (or would have) from the running kernel.
struct Protections {
  int landlockABI = 0;   // the kernel's Landlock version; 0 without Landlock
  bool files = false;    // files read and written only where allowed, no program run
  bool tcp = false;      // no TCP port bound or connected to
  bool seccomp = false;  // no program run, no socket made, no other process traced or read
};

// What confine() would apply in this kernel, the process left as it is.
Protections availableProtections();

// Confines the calling thread, and the threads and processes it starts from now on, to
// `allowed`; seccomp's limits also reach threads already running. Call it before other
// threads start. Never throws: whatever the kernel lacks or refuses is left out of the
// answer, and the process runs on as it would have.
Protections confine(const Allowed& allowed);

// Applies the system-call part of confine() alone, to every thread and to the threads and
// processes started from now on, so that confine() can still follow. Never throws.
Protections confineSystemCalls();

// Confines every thread of the process to `allowed`, the threads already running included
// (each applies Landlock's rules itself, as Landlock binds only the thread that sets them),
// and with them the threads and processes started from now on. Never throws. `files` says
// whether every thread has the rules: when false where the kernel has Landlock, some threads
// may have them and others not.
Protections confineProcess(const Allowed& allowed);

// For --version: "landlock ABI 7 (files, TCP), seccomp", "none (...)" and so on.
std::string describeProtections(const Protections& protections);

}  // namespace platform
