#include "pdf/document/vxPendingSaveFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <stdlib.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <mutex>
#include <set>

namespace vx {

namespace {

constexpr int kSlots = 256;

// State of a slot: 0 free, 1 being filled or emptied, 2 holds a name.
// The names are a plain array apart from the states, so that nothing
// initializes them at start-up: zeroed by the loader, their megabyte is
// touched only by a save.
std::atomic<int> slotStates[kSlots];
char slotPaths[kSlots][PATH_MAX];

// Creations under way, and whether the process is going away. Both are
// sequentially consistent: a creation that starts after RemovePendingSaveFiles
// set `stopping` sees it, and RemovePendingSaveFiles waits for one that
// started before.
std::atomic<int> creating{0};
std::atomic<bool> stopping{false};

int RememberPendingSaveFile(const std::string& path) {
  if (path.size() >= PATH_MAX) return -1;
  for (int i = 0; i < kSlots; ++i) {
    int expected = 0;
    if (!slotStates[i].compare_exchange_strong(expected, 1)) continue;
    std::memcpy(slotPaths[i], path.c_str(), path.size() + 1);
    slotStates[i] = 2;
    return i;
  }
  return -1;
}

}  // namespace

int CreatePendingSaveFile(std::string& pattern, int& slot) {
  slot = -1;
  // A stop signal that arrives meanwhile waits until the file is recorded,
  // so the handler always knows it.
  sigset_t stopSignals, previous;
  sigemptyset(&stopSignals);
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&stopSignals, sig);
  pthread_sigmask(SIG_BLOCK, &stopSignals, &previous);
  ++creating;
  int fd = -1;
  if (stopping) {
    errno = ECANCELED;
  } else {
    fd = mkostemp(pattern.data(), O_CLOEXEC);
    if (fd >= 0) slot = RememberPendingSaveFile(pattern);
  }
  --creating;
  int error = errno;
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  errno = error;
  return fd;
}

void ForgetPendingSaveFile(int slot) {
  if (slot < 0 || slot >= kSlots) return;
  slotStates[slot] = 1;
  slotPaths[slot][0] = 0;
  slotStates[slot] = 0;
}

void RemovePendingSaveFiles() {
  stopping = true;
  while (creating.load() > 0) sched_yield();
  for (int i = 0; i < kSlots; ++i)
    if (slotStates[i].load() == 2) ::unlink(slotPaths[i]);
}

void RemoveStaleSaveFiles(const std::string& target, long ageSeconds) {
  size_t slash = target.find_last_of('/');
  std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : target.substr(0, slash));
  // Each folder is looked through once per process: a batch of thousands of
  // files in one folder must not read the folder thousands of times.
  {
    static std::mutex lock;
    static std::set<std::string> seen;
    std::lock_guard<std::mutex> guard(lock);
    if (!seen.insert(folder).second) return;
  }
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return;
  const std::string marker = kSaveFileMarker;
  const time_t now = std::time(nullptr);
  while (dirent* entry = ::readdir(dir)) {
    // ".NAME.vxtmp-" and the six characters mkostemp chose.
    std::string name = entry->d_name;
    if (name.size() < 1 + marker.size() + 6 || name[0] != '.' ||
        name.compare(name.size() - 6 - marker.size(), marker.size(), marker) != 0)
      continue;
    std::string path = folder + "/" + name;
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    if (st.st_uid != ::geteuid() || now - st.st_mtime < ageSeconds) continue;
    ::unlink(path.c_str());
  }
  ::closedir(dir);
}

}  // namespace vx
