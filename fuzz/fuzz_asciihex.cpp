// ASCIIHex decoding of untrusted bytes, and encoding round trips.
#include <cstdint>
#include <string>

#include "pdf/filters/vxFilters.h"
#include "pdf/util/vxExceptions.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string input(reinterpret_cast<const char*>(data), size);
  vx::TvxAsciiHexFilter hex;
  try {
    std::string decoded = hex.DecodeString(input);
    if (decoded.size() > input.size() / 2 + 1) __builtin_trap();
  } catch (const vx::Exception&) {
  }
  if (hex.DecodeString(hex.EncodeString(input)) != input) __builtin_trap();
  return 0;
}
