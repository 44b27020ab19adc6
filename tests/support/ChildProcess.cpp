#include "ChildProcess.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <exception>
#include <thread>

namespace vxtest {

ChildResult RunInChild(const std::function<int(std::string& report)>& work, int seconds) {
  ChildResult result;
  int pipeFd[2];
  if (pipe(pipeFd) != 0) return result;
  pid_t pid = fork();
  if (pid < 0) {
    close(pipeFd[0]);
    close(pipeFd[1]);
    return result;
  }
  if (pid == 0) {
    close(pipeFd[0]);
    std::string report;
    int code = 0;
    try {
      code = work(report);
    } catch (const std::exception& e) {
      report = std::string("uncaught: ") + e.what();
      code = 125;
    }
    // Kept below the pipe's buffer, so the child never blocks on a parent
    // that is still waiting for it to end.
    if (report.size() > 4096) report.resize(4096);
    if (write(pipeFd[1], report.data(), report.size()) < 0) code = 126;
    close(pipeFd[1]);
    _exit(code);
  }
  close(pipeFd[1]);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) != pid) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      close(pipeFd[0]);
      return result;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  char buffer[4096];
  ssize_t n;
  while ((n = read(pipeFd[0], buffer, sizeof buffer)) > 0) result.report.append(buffer, size_t(n));
  close(pipeFd[0]);
  result.finished = true;
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  return result;
}

}  // namespace vxtest
