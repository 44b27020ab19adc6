// RunLength decoding of untrusted bytes, and encoding round trips.
#include <cstdint>
#include <string>

#include "pdf/filters/vxFilters.h"
#include "pdf/util/vxExceptions.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string input(reinterpret_cast<const char*>(data), size);
  vx::TvxRLEFilter rle;
  try {
    std::string decoded = rle.DecodeString(input);
    // A run of at most 128 bytes costs at least 2 input bytes.
    if (decoded.size() > input.size() * 64) __builtin_trap();
  } catch (const vx::Exception&) {
  }
  if (rle.DecodeString(rle.EncodeString(input)) != input) __builtin_trap();
  return 0;
}
