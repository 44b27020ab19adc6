// PNG row predictors on untrusted bytes. The first two bytes give the row
// width (big-endian, as a signed 16-bit number so that 0 and negative widths
// occur too); the rest is the predicted data.
#include <cstdint>
#include <string_view>

#include "pdf/filters/vxPredictors.h"
#include "pdf/util/vxExceptions.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  int columns = int16_t(uint16_t(data[0] << 8 | data[1]));
  std::string_view rows(reinterpret_cast<const char*>(data + 2), size - 2);
  try {
    auto decoded = vx::DecodePngRows(rows, columns);
    // Every row loses exactly its tag byte.
    size_t expected = 0;
    if (columns > 0) {
      size_t rowSize = size_t(columns) + 1;
      expected = rows.size() - (rows.size() + rowSize - 1) / rowSize;
    }
    if (size_t(decoded->Size()) != expected) __builtin_trap();
  } catch (const vx::Exception&) {
  }
  return 0;
}
