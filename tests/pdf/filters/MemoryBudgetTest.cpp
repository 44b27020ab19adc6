// The process-wide budget for decoded data: shared by every decoder at once,
// given back when a decoder is done, and enforced by the inflating decoders.
#include <gtest/gtest.h>

#include "pdf/filters/vxDZLIB.h"
#include "pdf/filters/vxFilters.h"
#include "pdf/filters/vxMemoryBudget.h"
#include "pdf/util/vxExceptions.h"

namespace {

// Sets a limit for one test and puts the previous one back.
struct BudgetLimit {
  int64_t previous = vx::TvxMemoryBudget::Limit();
  explicit BudgetLimit(int64_t limit) { vx::TvxMemoryBudget::SetLimit(limit); }
  ~BudgetLimit() { vx::TvxMemoryBudget::SetLimit(previous); }
};

}  // namespace

TEST(MemoryBudget, ReservationsShareOneLimitAndAreGivenBack) {
  BudgetLimit limit(1000);
  const int64_t before = vx::TvxMemoryBudget::InUse();
  {
    vx::TvxBudgetReservation first, second;
    first.GrowTo(600);
    EXPECT_THROW(second.GrowTo(500), vx::EZDecompressionError);
    second.GrowTo(400);
    EXPECT_EQ(vx::TvxMemoryBudget::InUse(), before + 1000);
  }
  EXPECT_EQ(vx::TvxMemoryBudget::InUse(), before);
  vx::TvxBudgetReservation again;
  again.GrowTo(1000);
}

TEST(MemoryBudget, DecodersStopWithAClearErrorPastTheBudget) {
  const std::string bomb = vx::DeflateBytes(std::string(size_t(8) << 20, 'a'), 9);
  BudgetLimit limit(1 << 20);
  try {
    vx::InflateBytes(bomb);
    FAIL() << "decoded past the budget";
  } catch (const vx::EZDecompressionError& e) {
    EXPECT_NE(std::string(e.what()).find("memory budget of 1048576 bytes"), std::string::npos) << e.what();
  }
  vx::TvxFlateFilter flate;
  vx::TvxMemoryStream source(bomb);
  EXPECT_THROW(flate.DecodeStream(source), vx::EZDecompressionError);
  EXPECT_EQ(vx::TvxMemoryBudget::InUse(), 0);
  // Under the budget the same data decodes.
  vx::TvxMemoryBudget::SetLimit(int64_t(64) << 20);
  EXPECT_EQ(vx::InflateBytes(bomb).size(), size_t(8) << 20);
}

// A stream that decodes in one step to far more than its first guess is held
// to the budget all the same, and gives its share back.
TEST(MemoryBudget, ASmallStreamThatExpandsIsHeldToTheBudget) {
  const std::string packed = vx::TvxFlateFilter().CompressString(std::string(size_t(1) << 20, 'b'), 3);
  BudgetLimit limit(256 << 10);
  try {
    vx::TvxFlateFilter().DecodeString(packed);
    FAIL() << "decoded past the budget";
  } catch (const vx::EZDecompressionError& e) {
    EXPECT_NE(std::string(e.what()).find("memory budget of 262144 bytes"), std::string::npos) << e.what();
  }
  EXPECT_EQ(vx::TvxMemoryBudget::InUse(), 0);
  vx::TvxMemoryBudget::SetLimit(int64_t(2) << 20);
  EXPECT_EQ(vx::TvxFlateFilter().DecodeString(packed), std::string(size_t(1) << 20, 'b'));
  EXPECT_EQ(vx::TvxMemoryBudget::InUse(), 0);
}
