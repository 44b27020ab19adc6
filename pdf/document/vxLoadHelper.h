// A thread beside a load that reads its file piece by piece (a report). It
// runs one long check and then jobs the load has queued ahead of need: the
// page walk knows which object streams its pages sit in, and decoding them
// and parsing those pages is most of such a load. The load runs the oldest
// jobs itself as it comes to them and the thread the newest, so the two
// meet in the middle; the check first, so that it is done by then.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>
#include <unordered_set>

namespace vx {

class TvxLoadHelper {
 public:
  // The check answers the first entry that failed it, or nothing.
  using TvxCheck = std::function<std::optional<int32_t>()>;

  // Work the load may hand over and take back. Run must not raise: what
  // fails is left for the load to do again itself, where it raises in its
  // own order.
  struct TvxJob {
    virtual ~TvxJob() = default;
    virtual void Run() = 0;
    bool Ran = false;
    // Set before Run when many jobs wait to be taken: what this one keeps
    // for the load waits long then, and had better be little.
    bool FarAhead = false;
  };

  // With `beside`, on a thread of its own, which holds `keepAlive` (what the
  // queued bytes live in) until it ends; without, the check runs when its
  // result is asked for and nothing is queued.
  TvxLoadHelper(TvxCheck check, bool beside, std::shared_ptr<const void> keepAlive);
  ~TvxLoadHelper();  // stops; jobs not started are dropped
  TvxLoadHelper(const TvxLoadHelper&) = delete;
  TvxLoadHelper& operator=(const TvxLoadHelper&) = delete;

  bool RunsAhead() const { return thread_.joinable(); }
  // True the first time `key` is asked about: a job is made for a key once,
  // whether or not it could be queued.
  bool FirstAsk(int64_t key);
  void Queue(int64_t key, std::unique_ptr<TvxJob> job);
  // The job queued as `key`, taken out: waited for while it runs, handed
  // back not run (Ran false) when not started; null when none is queued.
  std::unique_ptr<TvxJob> Take(int64_t key);
  // Waits for the check and answers its result; raises what it raised.
  std::optional<int32_t> CheckResult();

 private:
  enum class TvxJobState { Queued, Running, Done };
  struct TvxEntry {
    std::unique_ptr<TvxJob> Job;
    TvxJobState State = TvxJobState::Queued;
  };

  void Run();
  void RunQueued(std::unique_lock<std::mutex>& lock);

  TvxCheck check_;
  std::shared_ptr<const void> keepAlive_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::unordered_map<int64_t, TvxEntry> jobs_;
  std::deque<int64_t> queue_;
  std::unordered_set<int64_t> asked_;
  bool stopping_ = false;
  bool checkDone_ = false;
  std::optional<int32_t> checkResult_;
  std::exception_ptr checkFailure_;
  std::thread thread_;  // last: started once everything above is made
};

}  // namespace vx
