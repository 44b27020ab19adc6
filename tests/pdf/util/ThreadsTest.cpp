// Threads started beside their creator: they run their work, and are held
// to no fewer processors than their creator may use.
#include <gtest/gtest.h>
#include <pthread.h>
#include <sched.h>

#include <thread>

#include "pdf/util/vxThreads.h"

using namespace vx;

namespace {

cpu_set_t AffinityInThreadBeside() {
  cpu_set_t seen;
  CPU_ZERO(&seen);
  std::thread thread = StartThreadBeside([&seen] { pthread_getaffinity_np(pthread_self(), sizeof seen, &seen); });
  thread.join();
  return seen;
}

}  // namespace

TEST(ThreadsBeside, RunFreeToUseEveryProcessorTheirCreatorMay) {
  cpu_set_t creator;
  ASSERT_EQ(sched_getaffinity(0, sizeof creator, &creator), 0);
  for (int round = 0; round < 20; ++round) {
    cpu_set_t seen = AffinityInThreadBeside();
    EXPECT_TRUE(CPU_EQUAL(&seen, &creator)) << "round " << round;
  }
  // A creator held to one processor: there is no other to start on, and
  // the thread shares that one.
  std::thread held([] {
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(sched_getcpu(), &one);
    ASSERT_EQ(pthread_setaffinity_np(pthread_self(), sizeof one, &one), 0);
    cpu_set_t seen = AffinityInThreadBeside();
    EXPECT_TRUE(CPU_EQUAL(&seen, &one));
  });
  held.join();
}
