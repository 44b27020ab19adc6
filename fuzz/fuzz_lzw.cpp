// LZW decoding of untrusted bytes. The same filter object decodes twice, so a
// table left in a bad state by the first run would show.
#include <cstdint>
#include <string>

#include "pdf/filters/vxFilters.h"
#include "pdf/util/vxExceptions.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string input(reinterpret_cast<const char*>(data), size);
  vx::TvxLZWFilter lzw;
  lzw.SetOutputLimit(8 << 20);
  std::string first, second;
  bool firstFailed = false, secondFailed = false;
  try {
    first = lzw.DecodeString(input);
  } catch (const vx::Exception&) {
    firstFailed = true;
  }
  try {
    second = lzw.DecodeString(input);
  } catch (const vx::Exception&) {
    secondFailed = true;
  }
  if (firstFailed != secondFailed || first != second) __builtin_trap();
  return 0;
}
