#include "pdf/document/vxShell.h"

#include <mutex>

namespace vx {

namespace {

std::mutex& ShellLock() {
  static std::mutex lock;
  return lock;
}

TvxShellOpenHandler& Handler() {
  static TvxShellOpenHandler handler;
  return handler;
}

}  // namespace

void RegisterShellOpen(TvxShellOpenHandler handler) {
  std::lock_guard<std::mutex> guard(ShellLock());
  Handler() = std::move(handler);
}

bool ShellOpen(const std::string& fileName) {
  TvxShellOpenHandler handler;
  {
    std::lock_guard<std::mutex> guard(ShellLock());
    handler = Handler();
  }
  if (!handler) return false;
  handler(fileName);
  return true;
}

}  // namespace vx
