// Runs the real zandrex-cli in a child process: its exit, its outputs, and the ways a test
// needs to start it (another user, another folder, output to a file, a signal while it runs).
#pragma once

#include "test_support.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <grp.h>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace zandrex::test {

using Args = std::vector<std::string>;
// The child could not give up root, or could write into /etc after giving it up.
inline constexpr int kCannotRunUnprivileged = 99;
inline constexpr uid_t kNobody = 65534;

struct RunOptions {
  // Where standard output goes; "" captures it.
  std::string stdoutPath;
  std::string workingFolder;
  std::vector<std::pair<std::string, std::string>> environment;
  // Runs the command as a user who can delete nothing in /etc (nobody, when the test is root).
  bool unprivileged = false;
  // Called with the child's id once it runs, before its output is read (the output must fit
  // into the pipe meanwhile).
  std::function<void(pid_t)> whileRunning;
};

inline RunOptions writingTo(const std::string& path) {
  RunOptions options;
  options.stdoutPath = path;
  return options;
}
inline RunOptions workingIn(const std::string& folder) {
  RunOptions options;
  options.workingFolder = folder;
  return options;
}
inline RunOptions unprivileged() {
  RunOptions options;
  options.unprivileged = true;
  return options;
}

struct RunResult {
  int exitCode = -1; // -1 when a signal ended the command
  int signal = 0;
  std::string out;
  std::string err;
};

[[noreturn]] inline void runChild(const Args& args, const RunOptions& options, int outFd,
                                  const std::string& errPath) {
  std::vector<char*> argv{const_cast<char*>(ZANDREX_CLI_PATH)};
  for (const std::string& arg : args)
    argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  const int errFd = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
  if (outFd < 0 || errFd < 0 || ::dup2(outFd, STDOUT_FILENO) < 0 ||
      ::dup2(errFd, STDERR_FILENO) < 0)
    ::_exit(127);
  for (const auto& [name, value] : options.environment)
    ::setenv(name.c_str(), value.c_str(), 1);
  if (!options.workingFolder.empty() && ::chdir(options.workingFolder.c_str()) != 0)
    ::_exit(127);
  if (options.unprivileged) {
    if (::geteuid() == 0 &&
        (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0))
      ::_exit(kCannotRunUnprivileged);
    if (::geteuid() == 0 || ::access("/etc", W_OK) == 0 || ::access("/usr", W_OK) == 0)
      ::_exit(kCannotRunUnprivileged);
  }
  ::execv(argv[0], argv.data());
  ::_exit(127);
}

inline RunResult runCli(const Args& args, const RunOptions& options = {}) {
  const TempDir scratch;
  ::chmod(scratch.path().c_str(), 0777); // an unprivileged child writes its stderr here
  const std::string errPath = scratch.path() + "stderr";
  int pipeFds[2] = {-1, -1};
  if (options.stdoutPath.empty() && ::pipe(pipeFds) != 0)
    throw std::runtime_error("pipe failed");
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int outFd =
        options.stdoutPath.empty() ? pipeFds[1] : ::open(options.stdoutPath.c_str(), O_WRONLY);
    runChild(args, options, outFd, errPath);
  }
  RunResult result;
  if (options.stdoutPath.empty())
    ::close(pipeFds[1]);
  if (options.whileRunning)
    options.whileRunning(pid);
  if (options.stdoutPath.empty()) {
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR))
      result.out.append(buffer, static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
    ::close(pipeFds[0]);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  result.err = readFile(errPath);
  return result;
}

inline bool exists(const std::string& path) {
  return ::access(path.c_str(), F_OK) == 0;
}

} // namespace zandrex::test
