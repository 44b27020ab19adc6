// ASCII85 decoding of untrusted bytes, and encoding round trips.
#include <cstdint>
#include <string>

#include "pdf/filters/vxFilters.h"
#include "pdf/util/vxExceptions.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string input(reinterpret_cast<const char*>(data), size);
  vx::TvxAscii85Filter a85;
  try {
    std::string decoded = a85.DecodeString(input);
    if (decoded.size() > input.size() * 4) __builtin_trap();
  } catch (const vx::Exception&) {
  }
  if (a85.DecodeString(a85.EncodeString(input)) != input) __builtin_trap();
  return 0;
}
