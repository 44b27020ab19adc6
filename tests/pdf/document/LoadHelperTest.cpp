// The thread beside a report load: its check's result or failure reaches
// the load, and every job queued is done exactly once, by the thread or by
// the load that takes it back first.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <stdexcept>
#include <vector>

#include "pdf/document/vxLoadHelper.h"

using namespace vx;

namespace {

struct CountedJob : TvxLoadHelper::TvxJob {
  std::atomic<int>* runs;
  int ownRuns = 0;
  explicit CountedJob(std::atomic<int>* counter) : runs(counter) {}
  void Run() override {
    ++ownRuns;
    ++*runs;
  }
};

}  // namespace

TEST(LoadHelper, JobsAreDoneOnceByWhoeverComesFirstAndTheCheckIsHeard) {
  // The check holds the thread until released: jobs queued meanwhile are
  // all handed back not done.
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::atomic<int> runs{0};
  {
    TvxLoadHelper helper(
        [released]() -> std::optional<int32_t> {
          released.wait();
          return 7;
        },
        true, nullptr);
    ASSERT_TRUE(helper.RunsAhead());
    EXPECT_TRUE(helper.FirstAsk(1));
    EXPECT_FALSE(helper.FirstAsk(1));
    helper.Queue(1, std::make_unique<CountedJob>(&runs));
    helper.Queue(1, std::make_unique<CountedJob>(&runs));  // a key is queued once
    std::unique_ptr<TvxLoadHelper::TvxJob> first = helper.Take(1);
    ASSERT_TRUE(first);
    EXPECT_FALSE(first->Ran);
    EXPECT_FALSE(helper.Take(1));  // taken already
    EXPECT_FALSE(helper.Take(2));  // never queued

    // Released, the thread works from the newest job while this one takes
    // them from the oldest, running those not started itself.
    constexpr int kJobs = 2000;
    for (int key = 10; key < 10 + kJobs; ++key) helper.Queue(key, std::make_unique<CountedJob>(&runs));
    release.set_value();
    int ranHere = 0, ranThere = 0;
    for (int key = 10; key < 10 + kJobs; ++key) {
      std::unique_ptr<TvxLoadHelper::TvxJob> job = helper.Take(key);
      ASSERT_TRUE(job);
      if (!job->Ran) {
        job->Run();
        ++ranHere;
      } else {
        ++ranThere;
      }
      EXPECT_EQ(static_cast<CountedJob&>(*job).ownRuns, 1);
    }
    EXPECT_EQ(ranHere + ranThere, kJobs);
    EXPECT_EQ(runs.load(), kJobs);
    EXPECT_EQ(helper.CheckResult(), 7);
    // A job still queued when the load ends goes with the helper.
    helper.Queue(5000, std::make_unique<CountedJob>(&runs));
  }

  // A check that fails is raised to the load; without a thread of its own
  // the check runs when asked and nothing is queued.
  TvxLoadHelper failing([]() -> std::optional<int32_t> { throw std::runtime_error("unreadable"); }, true, nullptr);
  EXPECT_THROW(failing.CheckResult(), std::runtime_error);
  TvxLoadHelper inline_([]() -> std::optional<int32_t> { return std::nullopt; }, false, nullptr);
  EXPECT_FALSE(inline_.RunsAhead());
  inline_.Queue(1, std::make_unique<CountedJob>(&runs));
  EXPECT_FALSE(inline_.Take(1));
  EXPECT_EQ(inline_.CheckResult(), std::nullopt);
}
