// Writes a save's buffers to its file on a thread of its own, in the order
// they are handed over, while the writer goes on making the next ones; the
// disk's write-back of each piece is started as soon as it is written, so
// that the sync before the file replaces its target has little left to wait
// for. What waits to be written is bounded to a few buffers.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace vx {

class TvxWriteBehind {
 public:
  explicit TvxWriteBehind(int fd);
  // Stops at once: what was not written yet is dropped (the file is being
  // discarded, or everything was waited for with Drain).
  ~TvxWriteBehind();
  TvxWriteBehind(const TvxWriteBehind&) = delete;
  TvxWriteBehind& operator=(const TvxWriteBehind&) = delete;

  // Takes the bytes of `buffer`, which is left empty with room to fill.
  // Answers the first write error met so far (an errno value), or 0.
  int Post(std::string& buffer);
  // Bytes that are not in a buffer of their own (stream data), copied in
  // pieces of at most `piece` bytes.
  int PostCopy(std::string_view bytes, size_t piece);
  // Waits until everything handed over is written; answers the first error.
  int Drain();

 private:
  void Run();
  std::string TakeSpare();  // with the lock held

  static constexpr size_t kMaxQueued = 2;
  const int fd_;
  size_t capacity_ = 0;  // of the buffers handed over, for the spares
  std::mutex mutex_;
  std::condition_variable work_;  // something was queued, or stop
  std::condition_variable done_;  // something was written
  std::deque<std::string> queue_;
  std::vector<std::string> spare_;
  bool busy_ = false;
  bool stop_ = false;
  int error_ = 0;
  int64_t written_ = 0;  // the thread's own
  std::thread thread_;
};

}  // namespace vx
