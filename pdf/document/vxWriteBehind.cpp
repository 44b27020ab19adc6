#include "pdf/document/vxWriteBehind.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "pdf/util/vxThreads.h"

namespace vx {

TvxWriteBehind::TvxWriteBehind(int fd)
    : fd_(fd), written_(std::max<int64_t>(int64_t(::lseek(fd, 0, SEEK_CUR)), 0)), thread_(StartThreadBeside([this] { Run(); })) {}

TvxWriteBehind::~TvxWriteBehind() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  work_.notify_all();
  thread_.join();
}

std::string TvxWriteBehind::TakeSpare() {
  if (spare_.empty()) {
    std::string fresh;
    fresh.reserve(capacity_);
    return fresh;
  }
  std::string spare = std::move(spare_.back());
  spare_.pop_back();
  return spare;
}

int TvxWriteBehind::Post(std::string& buffer) {
  std::unique_lock<std::mutex> lock(mutex_);
  done_.wait(lock, [&] { return queue_.size() < kMaxQueued || error_ != 0; });
  if (error_ != 0) {
    buffer.clear();
    return error_;
  }
  capacity_ = std::max(capacity_, buffer.capacity());
  queue_.push_back(std::move(buffer));
  buffer = TakeSpare();
  lock.unlock();
  work_.notify_one();
  return 0;
}

int TvxWriteBehind::PostCopy(std::string_view bytes, size_t piece) {
  std::string buffer;
  while (!bytes.empty()) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      buffer = TakeSpare();
    }
    const size_t n = std::min(bytes.size(), piece);
    buffer.assign(bytes.data(), n);
    bytes.remove_prefix(n);
    if (int error = Post(buffer)) return error;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  if (buffer.capacity() > 0 && spare_.size() < kMaxQueued) spare_.push_back(std::move(buffer));
  return error_;
}

int TvxWriteBehind::Drain() {
  std::unique_lock<std::mutex> lock(mutex_);
  done_.wait(lock, [&] { return (queue_.empty() && !busy_) || error_ != 0; });
  return error_;
}

void TvxWriteBehind::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    work_.wait(lock, [&] { return stop_ || !queue_.empty(); });
    if (stop_) return;
    std::string buffer = std::move(queue_.front());
    queue_.pop_front();
    busy_ = true;
    const bool failed = error_ != 0;  // nothing more is written after an error
    lock.unlock();
    int error = 0;
    const char* data = buffer.data();
    size_t count = buffer.size();
    const int64_t start = written_;
    while (!failed && count > 0) {
      ssize_t n = ::write(fd_, data, count);
      if (n < 0) {
        if (errno == EINTR) continue;
        error = errno;
        break;
      }
      data += n;
      count -= size_t(n);
      written_ += n;
    }
#ifdef SYNC_FILE_RANGE_WRITE
    // Only starts the write-back; durability is still the final sync's.
    if (error == 0 && written_ > start) ::sync_file_range(fd_, start, written_ - start, SYNC_FILE_RANGE_WRITE);
#endif
    buffer.clear();
    lock.lock();
    busy_ = false;
    if (error != 0 && error_ == 0) error_ = error;
    if (spare_.size() < kMaxQueued) spare_.push_back(std::move(buffer));
    done_.notify_all();
  }
}

}  // namespace vx
