// quillory-view: the desktop host. It shows the page the previewer answers for one
// Markdown file in a window, and renders it again whenever the file changes. This small
// program only starts the window: it hands the file to the resident instance of the
// session (quillory-view-instance, viewer/window/application.h), or starts that instance, and
// returns with the status the instance reports. It loads no toolkit of its own, so that
// a preview in a running instance opens at once.
#include <fcntl.h>
#include <getopt.h>
#include <gio/gio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/background.h"
#include "viewer/protocol/application_id.h"

namespace {

constexpr const char* kUsage = "Usage: quillory-view FILE|DIR\n";
constexpr const char* kHelp =
    "Show the Markdown file FILE rendered in a window, as the quillory command renders\n"
    "it (with the GitHub extras unless Ctrl+G turned them off), and render it again\n"
    "whenever the file changes on disk. Given a directory DIR, show its README.md,\n"
    "readme.md, README.markdown or index.md.\n"
    "\n"
    "The command returns once the window shows the page (or why there is none); the\n"
    "window lives on. All windows of a session belong to one instance of the application\n"
    "(org.quillory.Viewer on the session bus), which stays for five minutes after its last\n"
    "window closes, so that the next preview opens at once.\n"
    "\n"
    "The page runs no script and loads nothing from the network. A clicked link to a\n"
    "Markdown file or a directory shows it in the window (Ctrl+click: in a new one); any\n"
    "other local file is only shown in the file manager; web and mail links open in the\n"
    "default web browser.\n"
    "\n"
    "Keys:\n"
    "  Space, Escape, Ctrl+W    close the window\n"
    "  Ctrl+C                   copy the selection\n"
    "  Ctrl+plus, Ctrl+minus    zoom in, zoom out (Ctrl+0 resets)\n"
    "  Ctrl+F                   find in the page (Enter for the next match, Escape to stop)\n"
    "  Ctrl+P                   print (\"Print to File\" writes a PDF)\n"
    "  Ctrl+G                   GitHub extras off or on\n"
    "  Alt+Left, Alt+Right      back, forward\n"
    "  Ctrl+O                   open another Markdown file\n"
    "\n"
    "Options:\n"
    "  -h, --help     show this help and exit\n"
    "  -V, --version  show the version and exit\n"
    "\n"
    "Exit status: 0 when the window shows the page, 1 when it shows that the file could\n"
    "not be read or is not a regular file, or that DIR has no README (the reason also goes\n"
    "to standard error), or when no window could be opened; 2 on a usage error.\n";

int usageError(const std::string& message) {
  std::fprintf(stderr, "quillory-view: %s\n%sTry 'quillory-view --help' for more information.\n",
               message.c_str(), kUsage);
  return 2;
}

// 0 once what went to standard output is written, as coreutils do; else 1, with why.
int outputWritten() {
  if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return 0;
  std::fprintf(stderr, "quillory-view: write error: %s\n", g_strerror(errno));
  return 1;
}

// The instance's program: beside this one in the build, in libexec/ once installed.
std::string instanceProgram() {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::path here = fs::read_symlink("/proc/self/exe", error).parent_path();
  const fs::path beside = here / "quillory-view-instance";
  return fs::exists(beside, error) ? beside : here / "../libexec/quillory-view-instance";
}

// Hands the file at `path` (absolute), named `name` in messages, to the instance that runs,
// over D-Bus, and returns its status; -1 when no instance runs (this process may then have
// held the application's name for a moment). After "--" no argument is the toolkit's option.
int openInRunningInstance(const std::string& path, const std::string& name) {
  GApplication* application =
      g_application_new(viewer::kApplicationId, G_APPLICATION_HANDLES_COMMAND_LINE);
  int status = -1;
  if (g_application_register(application, nullptr, nullptr) &&
      g_application_get_is_remote(application)) {
    const char* arguments[] = {"quillory-view", "--", path.c_str(), name.c_str(), nullptr};
    status = g_application_run(application, 4, const_cast<char**>(arguments));
  }
  g_object_unref(application);
  return status;
}

[[noreturn]] void startInstance(const std::string& program,
                                const std::vector<std::string>& arguments) {
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  execv(program.c_str(), argv.data());
  std::fprintf(stderr, "quillory-view: cannot start %s: %s\n", program.c_str(), g_strerror(errno));
  std::fflush(stderr);
  _exit(1);
}

}  // namespace

int main(int argc, char** argv) {
  // The D-Bus service file starts the instance this way.
  if (argc == 2 && std::string(argv[1]) == "--gapplication-service") {
    startInstance(instanceProgram(), {argv[1]});
  }
  static const option kOptions[] = {{"help", no_argument, nullptr, 'h'},
                                    {"version", no_argument, nullptr, 'V'},
                                    {nullptr, 0, nullptr, 0}};
  opterr = 0;
  for (int option; (option = getopt_long(argc, argv, "hV", kOptions, nullptr)) != -1;) {
    switch (option) {
      case 'h':
        std::fputs(kUsage, stdout);
        std::fputs(kHelp, stdout);
        return outputWritten();
      case 'V':
        std::printf("quillory-view %s\n", QUILLORY_VERSION);
        return outputWritten();
      default:
        // An unknown letter stands inside a word that getopt has not stepped past.
        return usageError("unknown option '" +
                          (optopt != 0 ? std::string{'-', static_cast<char>(optopt)}
                                       : std::string(argv[optind - 1])) +
                          "'");
    }
  }
  if (argc - optind != 1) {
    return usageError(argc == optind ? "no FILE given" : "only one FILE may be given");
  }
  const char* display = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  if ((display == nullptr || *display == '\0') && (wayland == nullptr || *wayland == '\0')) {
    std::fputs("quillory-view: cannot open a window: no display is available\n", stderr);
    return 1;
  }
  // The file goes on as an absolute path, which neither toolkit takes for an option.
  const std::string name = argv[optind];
  std::error_code error;
  const std::string path = std::filesystem::absolute(name, error);
  if (error) {
    std::fprintf(stderr, "quillory-view: %s: %s\n", name.c_str(), error.message().c_str());
    return 1;
  }
  const std::string program = instanceProgram();
  return platform::runInBackground([&](int statusPipe) {
    if (int status = openInRunningInstance(path, name); status >= 0) return status;
    // The new instance reports through the pipe it inherits.
    fcntl(statusPipe, F_SETFD, 0);
    startInstance(program, {"--report-fd", std::to_string(statusPipe), "--", path, name});
  });
}
