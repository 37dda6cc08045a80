#include "tests/support/brokenoutput.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

extern char** environ;

BrokenOutputRun RunWithBrokenOutput(const std::string& program, const std::vector<std::string>& args,
                                    BrokenOutput output, const std::vector<std::pair<std::string, std::string>>& set,
                                    const std::vector<std::string>& unset) {
  std::vector<std::string> environment;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    const std::string name = text.substr(0, text.find('='));
    bool keep = true;
    for (const std::string& gone : unset) keep = keep && name != gone;
    for (const auto& [setName, value] : set) keep = keep && name != setName;
    if (keep) environment.push_back(text);
  }
  for (const auto& [name, value] : set) environment.push_back(name + "=" + value);
  std::vector<char*> envp;
  for (std::string& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);
  std::vector<std::string> all{program};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : all) argv.push_back(arg.data());
  argv.push_back(nullptr);

  BrokenOutputRun run;
  int err[2];
  if (::pipe2(err, O_CLOEXEC) != 0) return run;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (output == BrokenOutput::kFull)
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/full", O_WRONLY, 0);
  else
    posix_spawn_file_actions_addclose(&actions, STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(err[1]);
  if (spawned != 0) {
    ::close(err[0]);
    return run;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  char buffer[4096];
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    if (left <= 0) {
      ::kill(pid, SIGKILL);
      break;
    }
    pollfd p{err[0], POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left)) <= 0) continue;
    const ssize_t n = ::read(err[0], buffer, sizeof buffer);
    if (n <= 0) break;
    run.err.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(err[0]);
  int status = 0;
  if (::waitpid(pid, &status, 0) == pid && WIFEXITED(status)) run.status = WEXITSTATUS(status);
  return run;
}
