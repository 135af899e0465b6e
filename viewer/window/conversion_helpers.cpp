// The window's page requests and the processes that convert for them. Each helper answers
// its requests in order over a socket; a helper that ends, or answers what cannot be read,
// fails what it owed (unless it was started warm and never answered: see stop) and is
// replaced on the next request.
#include "viewer/window/conversion_helpers.h"

#include <glib-unix.h>
#include <glib.h>
#include <glib/gstdio.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "platform/file_url.h"
#include "platform/frames.h"
#include "platform/limits.h"
#include "viewer/protocol/conversion_codec.h"

namespace viewer {
namespace {

using Done = std::function<void(platform::PreviewOutcome)>;

// What a request fails with when its helper ends before it answers.
platform::PreviewFailure stoppedConverting(const std::string& path) {
  return {path, EPIPE, "the conversion stopped before it was done"};
}

struct Owed {  // a request asked of a helper
  std::string path;
  quillory::PreviewOptions options;
  Done done;
};

struct Helper {
  GPid pid = 0;
  int socket = -1;
  guint watch = 0;
  int holds = 0;
  unsigned lastReleased = 0;  // when its last window closed, in the order of releases
  platform::FrameReader answers{limits::helperAnswerBytes};
  std::deque<Owed> owed;
  bool warmUntried = false;  // started with --warm, and no answer yet (see stop)
};

std::map<std::string, std::shared_ptr<Helper>> helpers;  // by directory
std::shared_ptr<Helper> spareHelper;

std::shared_ptr<Helper> startHelper(bool warm);

void deliverLater(Done done, platform::PreviewOutcome outcome) {
  auto* delivery =
      new std::pair<Done, platform::PreviewOutcome>(std::move(done), std::move(outcome));
  g_idle_add_once(
      [](gpointer data) {
        auto* delivery = static_cast<std::pair<Done, platform::PreviewOutcome>*>(data);
        delivery->first(std::move(delivery->second));
        delete delivery;
      },
      delivery);
}

// Lets the helper go: it ends when it reads the end of its socket. When it `failed` it is
// ended at once, and what it owed fails; else nobody waits for what it owed.
void stop(std::shared_ptr<Helper> helper, bool failed) {
  if (helper->socket < 0) return;
  g_source_remove(helper->watch);
  close(helper->socket);
  helper->socket = -1;
  auto owed = std::exchange(helper->owed, {});
  std::erase_if(helpers, [&](const auto& entry) { return entry.second == helper; });
  if (spareHelper == helper) spareHelper = nullptr;
  if (!failed) return;
  kill(helper->pid, SIGKILL);
  // A warm helper that ends before its first answer may have found a thread it could not
  // confine: what it owed is asked once of a helper that confines itself before its threads
  // start.
  auto cold = helper->warmUntried && !owed.empty() ? startHelper(false) : nullptr;
  if (cold) {
    cold->holds = helper->holds;
    helpers[platform::deletingLastPathComponent(owed.front().path)] = cold;
  }
  for (auto& [path, options, done] : owed) {
    if (cold) {
      requestPage(path, options, std::move(done));
    } else {
      deliverLater(std::move(done), stoppedConverting(path));
    }
  }
}

std::shared_ptr<Helper> owning(Helper* helper) {
  if (spareHelper.get() == helper) return spareHelper;
  for (const auto& [directory, owned] : helpers) {
    if (owned.get() == helper) return owned;
  }
  return nullptr;
}

gboolean onAnswers(gint socket, GIOCondition, gpointer data) {
  auto helper = owning(static_cast<Helper*>(data));
  if (!helper) return G_SOURCE_REMOVE;
  char buffer[1 << 16];
  ssize_t got;
  while ((got = recv(socket, buffer, sizeof buffer, MSG_DONTWAIT)) > 0) {
    helper->answers.append(std::string_view(buffer, static_cast<size_t>(got)));
  }
  while (auto answer = helper->answers.next()) {
    if (helper->owed.empty()) break;
    Owed owed = std::move(helper->owed.front());
    helper->owed.pop_front();
    helper->warmUntried = false;
    owed.done(decodeOutcome(std::move(*answer), owed.path));
  }
  const bool ended = got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR);
  if (ended || helper->answers.overlong()) {
    stop(helper, true);
    return G_SOURCE_REMOVE;
  }
  return G_SOURCE_CONTINUE;
}

std::shared_ptr<Helper> startHelper(bool warm) {
  auto helper = std::make_shared<Helper>();
  helper->warmUntried = warm;
  int ends[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return nullptr;
  // quillory-view-helper is beside the instance, in the build and once installed.
  gchar* self = g_file_read_link("/proc/self/exe", nullptr);
  gchar* directory = g_path_get_dirname(self);
  gchar* program = g_build_filename(directory, "quillory-view-helper", nullptr);
  g_free(directory);
  g_free(self);
  const gchar* arguments[] = {program, warm ? "--warm" : nullptr, nullptr};
  const gint sources[] = {ends[1]};
  const gint targets[] = {3};
  const gboolean started = g_spawn_async_with_pipes_and_fds(
      nullptr, arguments, nullptr, G_SPAWN_DO_NOT_REAP_CHILD, nullptr, nullptr, -1, -1, -1, sources,
      targets, 1, &helper->pid, nullptr, nullptr, nullptr, nullptr);
  g_free(program);
  close(ends[1]);
  if (!started) {
    close(ends[0]);
    return nullptr;
  }
  g_child_watch_add(
      helper->pid, [](GPid pid, gint, gpointer) { g_spawn_close_pid(pid); }, nullptr);
  helper->socket = ends[0];
  helper->watch =
      g_unix_fd_add(helper->socket, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR),
                    onAnswers, helper.get());
  return helper;
}

// Why the file at `path` is not asked for: it exists but is not a regular file (a symbolic
// link counts as what it points to). Nothing otherwise, also when it is missing: the
// previewer then tells why.
std::optional<platform::PreviewFailure> notRegularFile(const std::string& path) {
  GStatBuf info;
  if (g_stat(path.c_str(), &info) != 0 || S_ISREG(info.st_mode)) return std::nullopt;
  if (S_ISDIR(info.st_mode)) return platform::PreviewFailure{path, EISDIR, g_strerror(EISDIR)};
  return platform::PreviewFailure{path, EINVAL, "Not a regular file"};
}

std::shared_ptr<Helper> helperFor(const std::string& directory) {
  if (auto found = helpers.find(directory); found != helpers.end()) return found->second;
  auto helper = spareHelper ? std::exchange(spareHelper, nullptr) : startHelper(false);
  if (helper) helpers[directory] = helper;
  return helper;
}

}  // namespace

void requestPage(const std::string& path, const quillory::PreviewOptions& options,
                 std::function<void(platform::PreviewOutcome)> done) {
  // Reading a FIFO or a device could wait for ever, so only a regular file is asked for.
  if (auto refused = notRegularFile(path)) {
    deliverLater(std::move(done), std::move(*refused));
    return;
  }
  const std::string directory = platform::deletingLastPathComponent(path);
  auto helper = helperFor(directory);
  if (!helper || !platform::writeFrame(helper->socket, encodeRequest({path, options}))) {
    if (helper) stop(helper, true);
    deliverLater(std::move(done), platform::PreviewFailure{
                                      path, EAGAIN, "no process could be started to convert it"});
    return;
  }
  helper->owed.push_back({path, options, std::move(done)});
}

void holdHelper(const std::string& directory) {
  if (auto helper = helperFor(directory)) ++helper->holds;
}

// A helper whose windows have all closed stays, warm, for the next file of its directory;
// of such helpers only the latest few.
void releaseHelper(const std::string& directory) {
  constexpr size_t kIdleHelpers = 2;
  static unsigned releases = 0;
  auto found = helpers.find(directory);
  if (found == helpers.end() || --found->second->holds > 0) return;
  found->second->lastReleased = ++releases;
  std::vector<std::shared_ptr<Helper>> idle;
  for (const auto& [path, helper] : helpers) {
    if (helper->holds <= 0) idle.push_back(helper);
  }
  std::sort(idle.begin(), idle.end(),
            [](const auto& a, const auto& b) { return a->lastReleased > b->lastReleased; });
  for (size_t i = kIdleHelpers; i < idle.size(); ++i) stop(idle[i], false);
}

void prepareHelper() {
  if (!spareHelper) spareHelper = startHelper(true);
}

}  // namespace viewer
