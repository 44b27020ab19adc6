// One budget per process for the bytes the decoders produce. A decoder
// reserves its output as it grows and gives the reservation back when it
// returns, so that all threads decoding at once (several documents in a
// batch) share one limit: a stream that would take the process past it stops
// with EZDecompressionError (res::SMemoryBudget) instead of eating the
// machine's memory.
#pragma once

#include <cstdint>

namespace vx {

class TvxMemoryBudget {
 public:
  // The process-wide limit in bytes; 0 (the start) means no limit.
  static void SetLimit(int64_t bytes);
  static int64_t Limit();
  // Bytes reserved by decoders at this moment.
  static int64_t InUse();
};

// A decoder's share of the budget: grows with its output, returned on
// destruction.
class TvxBudgetReservation {
 public:
  TvxBudgetReservation() = default;
  ~TvxBudgetReservation();
  TvxBudgetReservation(const TvxBudgetReservation&) = delete;
  TvxBudgetReservation& operator=(const TvxBudgetReservation&) = delete;

  // Makes the reservation `total` bytes; raises when the budget has no room.
  void GrowTo(int64_t total);

 private:
  int64_t held_ = 0;
};

}  // namespace vx
