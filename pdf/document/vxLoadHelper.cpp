#include "pdf/document/vxLoadHelper.h"

#include <utility>

#include "pdf/util/vxThreads.h"

namespace vx {

namespace {
// Jobs waiting to be taken beyond which the one run is counted far ahead.
constexpr size_t kFarAhead = 16;
}  // namespace

TvxLoadHelper::TvxLoadHelper(TvxCheck check, bool beside, std::shared_ptr<const void> keepAlive)
    : check_(std::move(check)), keepAlive_(std::move(keepAlive)) {
  if (beside) thread_ = StartThreadBeside([this] { Run(); });
}

TvxLoadHelper::~TvxLoadHelper() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

bool TvxLoadHelper::FirstAsk(int64_t key) {
  std::lock_guard<std::mutex> lock(mutex_);
  return asked_.insert(key).second;
}

void TvxLoadHelper::Queue(int64_t key, std::unique_ptr<TvxJob> job) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!thread_.joinable() || stopping_ || jobs_.count(key)) return;
    jobs_[key] = TvxEntry{std::move(job), TvxJobState::Queued};
    queue_.push_back(key);
  }
  changed_.notify_all();
}

std::unique_ptr<TvxLoadHelper::TvxJob> TvxLoadHelper::Take(int64_t key) {
  std::unique_lock<std::mutex> lock(mutex_);
  auto it = jobs_.find(key);
  if (it == jobs_.end()) return nullptr;
  if (it->second.State != TvxJobState::Queued) {
    changed_.wait(lock, [&] { return jobs_.at(key).State == TvxJobState::Done; });
    it = jobs_.find(key);
  }
  std::unique_ptr<TvxJob> job = std::move(it->second.Job);
  jobs_.erase(it);
  return job;
}

std::optional<int32_t> TvxLoadHelper::CheckResult() {
  if (!thread_.joinable()) return check_();
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return checkDone_; });
  if (checkFailure_) std::rethrow_exception(checkFailure_);
  return checkResult_;
}

void TvxLoadHelper::Run() {
  std::optional<int32_t> result;
  std::exception_ptr failure;
  try {
    result = check_();
  } catch (...) {
    failure = std::current_exception();
  }
  std::unique_lock<std::mutex> lock(mutex_);
  checkDone_ = true;
  checkResult_ = result;
  checkFailure_ = failure;
  changed_.notify_all();
  while (!stopping_) {
    RunQueued(lock);
    changed_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
  }
}

void TvxLoadHelper::RunQueued(std::unique_lock<std::mutex>& lock) {
  while (!stopping_ && !queue_.empty()) {
    // The newest first: the load takes the oldest itself when it needs it,
    // so the two work from either end and meet in the middle.
    const int64_t key = queue_.back();
    queue_.pop_back();
    auto it = jobs_.find(key);
    if (it == jobs_.end() || it->second.State != TvxJobState::Queued) continue;  // taken meanwhile
    it->second.State = TvxJobState::Running;
    TvxJob& job = *it->second.Job;  // stays put: only Take moves it, once Done
    job.FarAhead = jobs_.size() > kFarAhead;
    lock.unlock();
    job.Run();
    job.Ran = true;
    lock.lock();
    jobs_.at(key).State = TvxJobState::Done;
    changed_.notify_all();
  }
}

}  // namespace vx
