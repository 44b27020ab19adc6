#include "pdf/filters/vxMemoryBudget.h"

#include <atomic>
#include <string>

#include "pdf/util/vxExceptions.h"
#include "pdf/util/vxPDFResStrs.h"
#include "pdf/util/vxUtils.h"

namespace vx {

namespace {
std::atomic<int64_t> limit{0};
std::atomic<int64_t> inUse{0};
}  // namespace

void TvxMemoryBudget::SetLimit(int64_t bytes) { limit = bytes < 0 ? 0 : bytes; }
int64_t TvxMemoryBudget::Limit() { return limit; }
int64_t TvxMemoryBudget::InUse() { return inUse; }

TvxBudgetReservation::~TvxBudgetReservation() {
  if (held_) inUse -= held_;
}

void TvxBudgetReservation::GrowTo(int64_t total) {
  if (total <= held_) return;
  const int64_t more = total - held_;
  const int64_t cap = limit;
  int64_t now = inUse.load();
  do {
    if (cap > 0 && now + more > cap) throw EZDecompressionError(Format(res::SMemoryBudget, {std::to_string(cap)}));
  } while (!inUse.compare_exchange_weak(now, now + more));
  held_ = total;
}

}  // namespace vx
