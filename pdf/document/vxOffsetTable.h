// Byte offsets of a file's objects by object number, as kept once the load
// is done: 4 bytes a number (8 only for a file past 4 GB), against the 16
// or 24 of a cross-reference entry.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vx {

class TvxOffsetTable {
 public:
  // `offsetOf(n)` for every n below `count` (0: none).
  template <typename OffsetOf>
  void Build(size_t count, OffsetOf offsetOf) {
    Clear();
    bool narrow = true;
    for (size_t n = 0; n < count && narrow; ++n) {
      const int64_t offset = offsetOf(n);
      narrow = offset >= 0 && offset <= int64_t(UINT32_MAX);
    }
    if (narrow) {
      narrow_.resize(count);
      for (size_t n = 0; n < count; ++n) narrow_[n] = uint32_t(offsetOf(n));
    } else {
      wide_.resize(count);
      for (size_t n = 0; n < count; ++n) wide_[n] = offsetOf(n);
    }
  }
  // The offset of object `number`, or 0.
  int64_t At(int32_t number) const {
    if (number < 0) return 0;
    const size_t n = size_t(number);
    if (n < narrow_.size()) return narrow_[n];
    return n < wide_.size() ? wide_[n] : 0;
  }
  void Clear() {
    std::vector<uint32_t>().swap(narrow_);
    std::vector<int64_t>().swap(wide_);
  }

 private:
  std::vector<uint32_t> narrow_;
  std::vector<int64_t> wide_;
};

}  // namespace vx
