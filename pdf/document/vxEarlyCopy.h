// Copies a source file's bytes into a save's file on a thread of its own,
// started while the document is still being read, so that an update has
// only its own few bytes to write when the save comes. Dropping the copy
// stops it between pieces and waits for the thread.
#pragma once

#include <atomic>
#include <exception>
#include <memory>
#include <thread>

namespace vx {

class TvxFileOnDemand;

class TvxEarlyCopy {
 public:
  // Appends the whole of `source` to `fd` from that descriptor's offset, and
  // waits for the disk's write-back of it, on a new thread.
  TvxEarlyCopy(std::shared_ptr<const TvxFileOnDemand> source, int fd);
  ~TvxEarlyCopy();
  TvxEarlyCopy(const TvxEarlyCopy&) = delete;
  TvxEarlyCopy& operator=(const TvxEarlyCopy&) = delete;

  const TvxFileOnDemand& Source() const { return *source_; }
  // Waits for the copy. Raises what the source's reading raised; answers a
  // write error (an errno value), or 0.
  int Finish();

 private:
  std::shared_ptr<const TvxFileOnDemand> source_;
  std::atomic<bool> stop_{false};
  int error_ = 0;
  std::exception_ptr failure_;
  std::thread thread_;
};

}  // namespace vx
