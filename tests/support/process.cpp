#include "support/process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sstream>

extern char** environ;

namespace testing_support {
namespace {

pid_t spawn(const std::vector<std::string>& argv, int in, int out, int err) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in, 0);
  posix_spawn_file_actions_adddup2(&actions, out, 1);
  posix_spawn_file_actions_adddup2(&actions, err, 2);
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  const int failed = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (failed != 0) throw std::runtime_error("cannot start " + argv[0]);
  return pid;
}

}  // namespace

ProcessResult runProcess(const std::vector<std::string>& argv, const std::string& input) {
  // Through files rather than pipes: nothing waits for a reader, whatever the sizes.
  const TempDir dir;
  const int in = open(dir.write("in", input).c_str(), O_RDONLY | O_CLOEXEC);
  const int out = open((dir.path() / "out").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  const int err = open((dir.path() / "err").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  const pid_t pid = spawn(argv, in, out, err);
  for (int fd : {in, out, err}) close(fd);
  const int status = exitStatusOf(pid);
  return {status, readWholeFile(dir.path() / "out"), readWholeFile(dir.path() / "err")};
}

pid_t startProcess(const std::vector<std::string>& argv) {
  const int null = open("/dev/null", O_RDWR | O_CLOEXEC);
  const pid_t pid = spawn(argv, null, null, null);
  close(null);
  return pid;
}

int exitStatusOf(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::filesystem::path buildDirectory() {
  return std::filesystem::read_symlink("/proc/self/exe").parent_path();
}

std::string program(const std::string& name) { return (buildDirectory() / name).string(); }

std::string realResource(const std::string& fileName) {
  return readWholeFile(buildDirectory() / "resources" / fileName);
}

std::vector<std::string> convertInHost(const std::string& host,
                                       const std::vector<std::string>& documents,
                                       const std::vector<std::string>& arguments) {
  std::vector<std::string> argv{host};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  argv.push_back("convert");
  std::string input;
  for (const std::string& document : documents) input += frame(document);
  const ProcessResult result = runProcess(argv, input);
  if (result.exitStatus != 0) throw std::runtime_error("conversion_host failed: " + result.err);
  std::istringstream out(result.out);
  std::vector<std::string> fragments;
  while (auto fragment = readFrame(out)) fragments.push_back(std::move(*fragment));
  return fragments;
}

BundleSandbox::BundleSandbox(const std::string& name,
                             const std::map<std::string, std::string>& resources)
    : program_(dir_.path() / name) {
  std::filesystem::copy_file(buildDirectory() / name, program_);
  std::filesystem::create_directories(resourceDirectory());
  for (const auto& [file, content] : resources) dir_.write("resources/" + file, content);
}

ProcessResult BundleSandbox::run(std::vector<std::string> arguments,
                                 const std::string& input) const {
  arguments.insert(arguments.begin(), program_.string());
  return runProcess(arguments, input);
}

}  // namespace testing_support
