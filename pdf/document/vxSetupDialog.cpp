#include "pdf/document/vxSetupDialog.h"

#include <mutex>

namespace vx {

namespace {

std::mutex& FactoryLock() {
  static std::mutex lock;
  return lock;
}

TvxSetupDialogFactory& Factory() {
  static TvxSetupDialogFactory factory;
  return factory;
}

}  // namespace

void RegisterDefaultSetupDialog(TvxSetupDialogFactory factory) {
  std::lock_guard<std::mutex> guard(FactoryLock());
  Factory() = std::move(factory);
}

std::unique_ptr<TvxBaseDlg> CreateDefaultSetupDialog() {
  TvxSetupDialogFactory factory;
  {
    std::lock_guard<std::mutex> guard(FactoryLock());
    factory = Factory();
  }
  return factory ? factory() : nullptr;
}

}  // namespace vx
