// Flate decoding of untrusted bytes. The whole-buffer inflate and the stream
// adapter (fed in small pieces) must agree: both fail, or both give the same
// bytes. Compressing the input must round-trip.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "pdf/filters/vxDZLIB.h"
#include "pdf/filters/vxFilters.h"
#include "pdf/util/vxExceptions.h"

namespace {

// A stream that is not a memory stream, so DecodeStream uses the adapter.
class PieceStream : public vx::TvxStream {
 public:
  explicit PieceStream(std::string bytes) : bytes_(std::move(bytes)) {}
  int64_t Read(void* buffer, int64_t count) override {
    int64_t n = std::min<int64_t>({count, 333, int64_t(bytes_.size()) - pos_});
    if (n <= 0) return 0;
    std::memcpy(buffer, bytes_.data() + pos_, size_t(n));
    pos_ += n;
    return n;
  }
  int64_t Write(const void*, int64_t) override { return 0; }
  int64_t Seek(int64_t offset, vx::TvxSeekOrigin origin) override {
    int64_t base = origin == vx::TvxSeekOrigin::soBeginning ? 0
                   : origin == vx::TvxSeekOrigin::soCurrent ? pos_
                                                            : int64_t(bytes_.size());
    pos_ = std::clamp<int64_t>(base + offset, 0, int64_t(bytes_.size()));
    return pos_;
  }
  int64_t Size() const override { return int64_t(bytes_.size()); }

 private:
  std::string bytes_;
  int64_t pos_ = 0;
};

constexpr int64_t kLimit = 8 << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string input(reinterpret_cast<const char*>(data), size);
  vx::TvxFlateFilter flate;
  flate.SetInflateLimit(kLimit);

  bool wholeFailed = false, adapterFailed = false;
  std::string whole, viaAdapter;
  try {
    whole = flate.DecodeString(input);
  } catch (const vx::Exception&) {
    wholeFailed = true;
  }
  try {
    PieceStream source(input);
    viaAdapter = flate.DecodeStream(source)->Bytes();
  } catch (const vx::Exception&) {
    adapterFailed = true;
  }
  if (wholeFailed != adapterFailed || whole != viaAdapter) __builtin_trap();
  if (!wholeFailed && int64_t(whole.size()) > kLimit) __builtin_trap();

  uint8_t level = size > 0 ? data[0] % 4 : 2;
  if (flate.DecodeString(flate.CompressString(input, level)) != input) __builtin_trap();
  return 0;
}
