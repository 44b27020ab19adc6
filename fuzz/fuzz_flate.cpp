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
#include "tests/pdf/filters/FilterTestSupport.h"

namespace {

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
    vxtest::PieceStream source(input, 333);  // not a memory stream: the adapter decodes it
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
