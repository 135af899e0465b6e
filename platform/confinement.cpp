// Confinement: the kernel's own limits (Landlock, seccomp) on what the process may reach.
#include "platform/confinement.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/futex.h>
#include <linux/landlock.h>
#include <seccomp.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

namespace platform {
namespace {

// Rights of Landlock versions newer than the kernel headers this may be built with.
constexpr uint64_t kTruncate = 1ULL << 14;                                        // ABI 3
constexpr uint64_t kIoctlDevice = 1ULL << 15;                                     // ABI 5
constexpr uint64_t kBindTCP = 1ULL << 0, kConnectTCP = 1ULL << 1;                 // ABI 4
constexpr uint64_t kScopeAbstractSockets = 1ULL << 0, kScopeSignals = 1ULL << 1;  // ABI 6
constexpr uint32_t kRestrictEveryThread = 1U << 3;                                // ABI 8

// landlock_ruleset_attr as ABI 6 has it; an older kernel is handed only the part it knows.
struct RulesetAttributes {
  uint64_t handledAccessFS;
  uint64_t handledAccessNet;
  uint64_t scoped;
};

// The rights a rule may grant on a file that is no directory.
constexpr uint64_t kFileRights = LANDLOCK_ACCESS_FS_EXECUTE | LANDLOCK_ACCESS_FS_WRITE_FILE |
                                 LANDLOCK_ACCESS_FS_READ_FILE | kTruncate | kIoctlDevice;
constexpr uint64_t kRead = LANDLOCK_ACCESS_FS_READ_FILE | LANDLOCK_ACCESS_FS_READ_DIR;
// A page is written to a new temporary file, which is renamed over the old page or removed.
constexpr uint64_t kWrite =
    LANDLOCK_ACCESS_FS_WRITE_FILE | LANDLOCK_ACCESS_FS_MAKE_REG | LANDLOCK_ACCESS_FS_REMOVE_FILE;

// What the runtime reads once confined: the engine's start time from the process's own
// /proc entry, and the processors to size the engine's helper threads.
constexpr const char* kRuntimeReads[] = {"/proc/self", "/sys/devices/system/cpu"};

int landlockABI() {
  const long abi =
      syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION);
  return abi > 0 ? static_cast<int>(abi) : 0;
}

// Every file-system right the kernel's Landlock knows: all of them are denied unless a rule
// grants them.
uint64_t handledFileRights(int abi) {
  uint64_t rights = (LANDLOCK_ACCESS_FS_MAKE_SYM << 1) - 1;
  if (abi >= 2) rights |= LANDLOCK_ACCESS_FS_REFER;
  if (abi >= 3) rights |= kTruncate;
  if (abi >= 5) rights |= kIoctlDevice;
  return rights;
}

// Grants `rights` (those a file can have, for a file) on `path` and below it.
void grant(int ruleset, const std::string& path, uint64_t rights, uint64_t handled) {
  const int fd = open(path.c_str(), O_PATH | O_CLOEXEC);
  if (fd < 0) return;
  struct stat info {};
  if (fstat(fd, &info) == 0 && !S_ISDIR(info.st_mode)) rights &= kFileRights;
  landlock_path_beneath_attr rule{.allowed_access = rights & handled, .parent_fd = fd};
  syscall(SYS_landlock_add_rule, ruleset, LANDLOCK_RULE_PATH_BENEATH, &rule, 0);
  close(fd);
}

// Before ABI 8 Landlock's rules bind only the thread that applies them, so each thread
// already running applies them itself, in a handler of a real-time signal that nothing else
// in the process uses (as the C library sets a new user ID on every thread), and answers
// with its thread ID, negated when it failed. One thread is asked at a time.
std::atomic<int> broadcastRuleset{-1};
std::atomic<int> broadcastAnswer{0};
static_assert(sizeof(std::atomic<int>) == sizeof(int) && std::atomic<int>::is_always_lock_free);

void restrictThisThread(int) {
  const int savedErrno = errno;
  const int self = static_cast<int>(syscall(SYS_gettid));
  const bool restricted = prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
                          syscall(SYS_landlock_restrict_self, broadcastRuleset.load(), 0) == 0;
  broadcastAnswer.store(restricted ? self : -self);
  syscall(SYS_futex, &broadcastAnswer, FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
  errno = savedErrno;
}

// A real-time signal with its default action (which ends the process): one nobody uses.
int unusedRealtimeSignal() {
  for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal) {
    struct sigaction current {};
    if (sigaction(signal, nullptr, &current) == 0 && !(current.sa_flags & SA_SIGINFO) &&
        current.sa_handler == SIG_DFL) {
      return signal;
    }
  }
  return -1;
}

std::optional<std::vector<pid_t>> threadsOfProcess() {
  DIR* tasks = opendir("/proc/self/task");
  if (tasks == nullptr) return std::nullopt;
  std::vector<pid_t> threads;
  while (const dirent* entry = readdir(tasks)) {
    if (entry->d_name[0] != '.') threads.push_back(static_cast<pid_t>(std::atol(entry->d_name)));
  }
  closedir(tasks);
  return threads;
}

// Whether `thread` applied the rules when signalled, or ended before it could.
bool askToRestrict(int signal, pid_t thread, std::chrono::steady_clock::time_point deadline) {
  const pid_t process = getpid();
  if (syscall(SYS_tgkill, process, thread, signal) != 0) return errno == ESRCH;
  for (;;) {
    const int answer = broadcastAnswer.load();
    if (answer == thread || answer == -thread) return answer == thread;
    if (syscall(SYS_tgkill, process, thread, 0) != 0 && errno == ESRCH) return true;
    if (std::chrono::steady_clock::now() > deadline) return false;
    const timespec wait{0, 1000000};
    syscall(SYS_futex, &broadcastAnswer, FUTEX_WAIT_PRIVATE, answer, &wait, nullptr, 0);
  }
}

// Every other thread applies `ruleset`, then this one. The threads are listed again until no
// new one shows: a thread that another started before applying the rules shows in the next
// list, and what the others start later has the rules from its start. This thread starts
// none meanwhile.
bool restrictEveryThread(int ruleset) {
  static std::mutex oneAtATime;
  std::lock_guard lock(oneAtATime);
  const int signal = unusedRealtimeSignal();
  struct sigaction action {};
  struct sigaction previous {};
  action.sa_handler = restrictThisThread;
  action.sa_flags = SA_RESTART;
  sigfillset(&action.sa_mask);
  if (signal < 0 || sigaction(signal, &action, &previous) != 0) return false;
  broadcastRuleset.store(ruleset);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  std::set<pid_t> asked{static_cast<pid_t>(syscall(SYS_gettid))};
  bool restricted = true;
  for (bool more = true; restricted && more;) {
    const auto threads = threadsOfProcess();
    restricted = threads.has_value();
    more = false;
    for (size_t i = 0; restricted && threads && i < threads->size(); ++i) {
      if (!asked.insert((*threads)[i]).second) continue;
      more = true;
      restricted = askToRestrict(signal, (*threads)[i], deadline);
    }
  }
  // After a failure a signal may still be on its way to a thread: the handler stays for it.
  if (restricted) sigaction(signal, &previous, nullptr);
  return restricted && syscall(SYS_landlock_restrict_self, ruleset, 0) == 0;
}

// Landlock: files only where allowed, no TCP at all (ABI 4), no signals to other
// processes nor connections to abstract sockets made outside (ABI 6). On this thread, or on
// every thread of the process.
bool restrictWithLandlock(int abi, const Allowed& allowed, bool everyThread) {
  const RulesetAttributes attributes{handledFileRights(abi), abi >= 4 ? kBindTCP | kConnectTCP : 0,
                                     abi >= 6 ? kScopeAbstractSockets | kScopeSignals : 0};
  const size_t size = abi >= 6 ? 24 : abi >= 4 ? 16 : 8;
  const int ruleset = static_cast<int>(syscall(SYS_landlock_create_ruleset, &attributes, size, 0));
  if (ruleset < 0) return false;
  const uint64_t handled = attributes.handledAccessFS;
  for (const char* path : kRuntimeReads) grant(ruleset, path, kRead, handled);
  for (const std::string& path : allowed.readBeneath) grant(ruleset, path, kRead, handled);
  const uint64_t write = kWrite | (allowed.makeDirectories ? LANDLOCK_ACCESS_FS_MAKE_DIR : 0);
  for (const std::string& path : allowed.writeBeneath) grant(ruleset, path, write, handled);
  for (const std::string& path : allowed.writeFiles) {
    grant(ruleset, path, LANDLOCK_ACCESS_FS_WRITE_FILE, handled);
  }
  const bool restricted =
      !everyThread ? syscall(SYS_landlock_restrict_self, ruleset, 0) == 0
      : abi >= 8   ? syscall(SYS_landlock_restrict_self, ruleset, kRestrictEveryThread) == 0
                   : restrictEveryThread(ruleset);
  close(ruleset);
  return restricted;
}

// Whether a leak checker runs at exit: it stops the threads with ptrace to scan them.
constexpr bool kLeakCheckerRuns =
#if defined(__SANITIZE_ADDRESS__)
    true;
#elif defined(__has_feature)
    __has_feature(address_sanitizer) || __has_feature(leak_sanitizer);
#else
    false;
#endif

// seccomp, in every thread: no program run, no socket of any kind made (the network, but
// also local services that could start programs), no io_uring (whose operations pass by
// the system calls filtered here), and no other process traced or its memory touched.
// Nor is any file's metadata changed (mode, owner, times, extended attributes), which
// Landlock does not cover. Each fails with EPERM.
bool filterSystemCalls() {
  const scmp_filter_ctx filter = seccomp_init(SCMP_ACT_ALLOW);
  if (filter == nullptr) return false;
  bool built = seccomp_attr_set(filter, SCMP_FLTATR_CTL_TSYNC, 1) == 0;
  for (int call : {SCMP_SYS(execve), SCMP_SYS(execveat), SCMP_SYS(socket), SCMP_SYS(io_uring_setup),
                   SCMP_SYS(process_vm_readv), SCMP_SYS(process_vm_writev), SCMP_SYS(ptrace)}) {
    if (call == SCMP_SYS(ptrace) && kLeakCheckerRuns) continue;
    built = built && seccomp_rule_add(filter, SCMP_ACT_ERRNO(EPERM), call, 0) == 0;
  }
  // By name, so that a call this libseccomp does not know (fchmodat2) is left out.
  for (const char* name : {"chmod",        "fchmod",       "fchmodat",   "fchmodat2",
                           "chown",        "fchown",       "lchown",     "fchownat",
                           "chown32",      "fchown32",     "lchown32",   "utime",
                           "utimes",       "utimensat",    "futimesat",  "utimensat_time64",
                           "setxattr",     "lsetxattr",    "fsetxattr",  "removexattr",
                           "lremovexattr", "fremovexattr", "setxattrat", "removexattrat"}) {
    const int call = seccomp_syscall_resolve_name(name);
    if (call == __NR_SCMP_ERROR) continue;
    built = built && seccomp_rule_add(filter, SCMP_ACT_ERRNO(EPERM), call, 0) == 0;
  }
  const bool loaded = built && seccomp_load(filter) == 0;
  seccomp_release(filter);
  return loaded;
}

Protections confineThreads(const Allowed& allowed, bool everyThread) {
  // Neither this process nor what it might start gains privileges from now on; Landlock
  // requires it of a process without CAP_SYS_ADMIN.
  if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) return {};
  Protections applied;
  const int abi = landlockABI();
  if (abi >= 1 && restrictWithLandlock(abi, allowed, everyThread)) {
    applied = {abi, true, abi >= 4, false};
  }
  applied.seccomp = filterSystemCalls();
  return applied;
}

}  // namespace

Protections availableProtections() {
  const int abi = landlockABI();
  return {abi, abi >= 1, abi >= 4, prctl(PR_GET_SECCOMP, 0, 0, 0, 0) >= 0};
}

Protections confine(const Allowed& allowed) { return confineThreads(allowed, false); }

Protections confineSystemCalls() {
  if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) return {};
  return {.seccomp = filterSystemCalls()};
}

Protections confineProcess(const Allowed& allowed) { return confineThreads(allowed, true); }

std::string describeProtections(const Protections& protections) {
  std::string text;
  if (protections.files) {
    text = "landlock ABI " + std::to_string(protections.landlockABI) +
           (protections.tcp ? " (files, TCP)" : " (files)");
  }
  if (protections.seccomp) text += text.empty() ? "seccomp" : ", seccomp";
  if (protections.files) return text;
  return (text.empty() ? "none" : text) + " (no Landlock in this kernel)";
}

}  // namespace platform
