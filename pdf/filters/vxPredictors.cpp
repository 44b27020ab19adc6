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

std::unique_ptr<TvxMemoryStream> DecodePngRows(std::string_view data, int columns) {
  std::string out;
  if (columns <= 0 || data.empty()) return std::make_unique<TvxMemoryStream>();
  // Sized by the data, not by `columns`, which may be any number from a file.
  const size_t width = std::min(size_t(columns), data.size());
  const size_t rowSize = size_t(columns) + 1;
  out.reserve(data.size() - data.size() / rowSize);
  std::vector<uint8_t> previous(width, 0);  // the row above, decoded

  auto* in = reinterpret_cast<const uint8_t*>(data.data());
  for (size_t rowStart = 0; rowStart < data.size(); rowStart += rowSize) {
    const uint8_t tag = in[rowStart];
    if (tag > 4) throw EImproperPNGAlgorithm(res::SImproperPNGAlgorithm);
    const uint8_t* x = in + rowStart + 1;
    const size_t count = std::min(size_t(columns), data.size() - rowStart - 1);
    const size_t base = out.size();
    out.resize(base + count);
    auto* row = reinterpret_cast<uint8_t*>(out.data() + base);
    for (size_t i = 0; i < count; ++i) {
      const int left = i > 0 ? row[i - 1] : 0;
      const int up = previous[i];
      const int upLeft = i > 0 ? previous[i - 1] : 0;
      int predicted = 0;
      switch (tag) {
        case 0: predicted = 0; break;
        case 1: predicted = left; break;
        case 2: predicted = up; break;
        case 3: predicted = (left + up) / 2; break;
        case 4: predicted = PaethPredictor(left, up, upLeft); break;
      }
      row[i] = uint8_t(x[i] + predicted);
    }
    std::copy(row, row + count, previous.begin());
  }
  return std::make_unique<TvxMemoryStream>(std::move(out));
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
