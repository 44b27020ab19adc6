#include "pdf/filters/vxPredictors.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "pdf/util/vxExceptions.h"
#include "pdf/util/vxPDFResStrs.h"

namespace vx {

int PaethPredictor(int a, int b, int c) {
  int p = a + b - c;
  int pa = std::abs(p - a);
  int pb = std::abs(p - b);
  int pc = std::abs(p - c);
  if (pa <= pb && pa <= pc) return a;
  if (pb <= pc) return b;
  return c;
}

namespace {

// Decodes the rows of in[0, size) into `out`, which may be `in` itself: each
// row is written no further on than its own bytes were read.
size_t DecodePngRowsInto(const uint8_t* in, size_t size, uint8_t* out, size_t width) {
  const size_t rowSize = width + 1;
  uint8_t* row = out;
  const uint8_t* above = nullptr;  // the row above, decoded; none above the first
  for (size_t rowStart = 0; rowStart < size; rowStart += rowSize) {
    const uint8_t tag = in[rowStart];
    if (tag > 4) throw EImproperPNGAlgorithm(res::SImproperPNGAlgorithm);
    const uint8_t* x = in + rowStart + 1;
    const size_t count = std::min(width, size - rowStart - 1);
    auto up = [above](size_t i) -> int { return above ? above[i] : 0; };
    switch (tag) {
      case 0:
        std::copy(x, x + count, row);  // forwards: row never starts after x
        break;
      case 1:
        for (size_t i = 0; i < count; ++i) row[i] = uint8_t(x[i] + (i > 0 ? row[i - 1] : 0));
        break;
      case 2:
        for (size_t i = 0; i < count; ++i) row[i] = uint8_t(x[i] + up(i));
        break;
      case 3:
        for (size_t i = 0; i < count; ++i) row[i] = uint8_t(x[i] + ((i > 0 ? row[i - 1] : 0) + up(i)) / 2);
        break;
      case 4:
        for (size_t i = 0; i < count; ++i)
          row[i] = uint8_t(x[i] + PaethPredictor(i > 0 ? row[i - 1] : 0, up(i), i > 0 ? up(i - 1) : 0));
        break;
    }
    above = row;
    row += count;
  }
  return size_t(row - out);
}

}  // namespace

std::unique_ptr<TvxMemoryStream> DecodePngRows(std::string_view data, int columns) {
  std::string out(data);
  DecodePngRowsInPlace(out, columns);
  return std::make_unique<TvxMemoryStream>(std::move(out));
}

void DecodePngRowsInPlace(std::string& data, int columns) {
  if (columns <= 0 || data.empty()) {
    data.clear();
    return;
  }
  auto* bytes = reinterpret_cast<uint8_t*>(data.data());
  data.resize(DecodePngRowsInto(bytes, data.size(), bytes, size_t(columns)));
}

std::unique_ptr<TvxMemoryStream> DecodeTiffRows(std::string_view data, int columns) {
  if (columns <= 0) return std::make_unique<TvxMemoryStream>();
  std::string out(data);
  // Each byte after a row's first is the difference from the byte before it.
  for (size_t rowStart = 0; rowStart < out.size(); rowStart += size_t(columns)) {
    const size_t rowEnd = std::min(out.size(), rowStart + size_t(columns));
    for (size_t i = rowStart + 1; i < rowEnd; ++i) out[i] = char(uint8_t(out[i]) + uint8_t(out[i - 1]));
  }
  return std::make_unique<TvxMemoryStream>(std::move(out));
}

}  // namespace vx
