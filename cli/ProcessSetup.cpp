#include "cli/ProcessSetup.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cctype>
#include <limits>

#include "pdf/document/vxPendingSaveFiles.h"
#include "pdf/filters/vxMemoryBudget.h"

namespace vordel {

void GuardStandardDescriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1) continue;
    int opened = ::open("/dev/null", O_RDONLY);
    if (opened >= 0 && opened != fd) {
      ::dup2(opened, fd);
      ::close(opened);
    }
  }
}

namespace {

void OnStopSignal(int sig) {
  vx::RemovePendingSaveFiles();
  // End as the signal asks, so the parent sees what ended us.
  ::signal(sig, SIG_DFL);
  ::raise(sig);
}

}  // namespace

void RemoveSaveFilesOnSignals() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  // While the files are removed, the other stop signals wait.
  sigaddset(&action.sa_mask, SIGINT);
  sigaddset(&action.sa_mask, SIGTERM);
  sigaddset(&action.sa_mask, SIGHUP);
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction previous {};
    ::sigaction(sig, nullptr, &previous);
    // A signal the caller chose to ignore (nohup) stays ignored.
    if (previous.sa_handler == SIG_IGN) continue;
    ::sigaction(sig, &action, nullptr);
  }
}

void IgnoreBrokenPipes() { ::signal(SIGPIPE, SIG_IGN); }

std::optional<int64_t> ParseMemorySize(const std::string& text) {
  size_t i = 0;
  uint64_t value = 0;
  while (i < text.size() && std::isdigit(uint8_t(text[i]))) {
    if (value > (std::numeric_limits<uint64_t>::max() - 9) / 10) return std::nullopt;
    value = value * 10 + uint64_t(text[i++] - '0');
  }
  if (i == 0) return std::nullopt;
  std::string unit;
  for (; i < text.size(); ++i) unit += char(std::toupper(uint8_t(text[i])));
  int shift = 0;
  if (unit == "" || unit == "B") shift = 0;
  else if (unit == "K" || unit == "KB" || unit == "KIB") shift = 10;
  else if (unit == "M" || unit == "MB" || unit == "MIB") shift = 20;
  else if (unit == "G" || unit == "GB" || unit == "GIB") shift = 30;
  else if (unit == "T" || unit == "TB" || unit == "TIB") shift = 40;
  else return std::nullopt;
  if (value == 0 || value > (uint64_t(std::numeric_limits<int64_t>::max()) >> shift)) return std::nullopt;
  return int64_t(value << shift);
}

int64_t DefaultMemoryBudget() {
  long pages = ::sysconf(_SC_PHYS_PAGES);
  long pageSize = ::sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0) return 0;  // unknown: no limit beyond the per-stream one
  return int64_t(pages) * int64_t(pageSize) / 4;
}

bool ApplyMemoryBudget(const std::optional<std::string>& maxMemory) {
  int64_t budget = DefaultMemoryBudget();
  if (maxMemory) {
    auto parsed = ParseMemorySize(*maxMemory);
    if (!parsed) return false;
    budget = *parsed;
  }
  vx::TvxMemoryBudget::SetLimit(budget);
  return true;
}

}  // namespace vordel
