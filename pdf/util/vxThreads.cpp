#include "pdf/util/vxThreads.h"

#include <pthread.h>
#include <sched.h>

#include <atomic>
#include <memory>
#include <utility>

namespace vx {

std::thread StartThreadBeside(std::function<void()> body) {
  cpu_set_t allowed;
  const int here = sched_getcpu();
  if (here < 0 || sched_getaffinity(0, sizeof allowed, &allowed) != 0) return std::thread(std::move(body));
  cpu_set_t others = allowed;
  CPU_CLR(here, &others);
  if (CPU_COUNT(&others) == 0) return std::thread(std::move(body));
  // The thread waits until it has been moved off this processor, then
  // takes back every processor it may use, so that it is not held away
  // from this one for good.
  auto placed = std::make_shared<std::atomic<bool>>(false);
  std::thread thread([body = std::move(body), allowed, placed] {
    while (!placed->load(std::memory_order_acquire)) std::this_thread::yield();
    pthread_setaffinity_np(pthread_self(), sizeof allowed, &allowed);
    body();
  });
  pthread_setaffinity_np(thread.native_handle(), sizeof others, &others);
  placed->store(true, std::memory_order_release);
  return thread;
}

}  // namespace vx
