#include "pdf/document/vxEarlyCopy.h"

#include <fcntl.h>

#include <cerrno>

#include "pdf/parsers/vxClasses.h"

namespace vx {

TvxEarlyCopy::TvxEarlyCopy(std::shared_ptr<const TvxFileOnDemand> source, int fd) : source_(std::move(source)) {
  thread_ = std::thread([this, fd] {
    try {
      error_ = source_->CopyTo(fd, &stop_);
      // The copy is on its way to the disk; waiting for it here, beside the
      // load, leaves the sync before the rename only the update to wait for.
      if (error_ == 0 && ::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE |
                                                          SYNC_FILE_RANGE_WAIT_AFTER) != 0 &&
          errno != ENOSYS && errno != EINVAL && errno != ESPIPE)
        error_ = errno;
    } catch (...) {
      failure_ = std::current_exception();
    }
  });
}

TvxEarlyCopy::~TvxEarlyCopy() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

int TvxEarlyCopy::Finish() {
  if (thread_.joinable()) thread_.join();
  if (failure_) std::rethrow_exception(failure_);
  return error_;
}

}  // namespace vx
