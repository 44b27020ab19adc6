// A small LZW encoder for the tests (early change, 9 to 12 bit codes, a
// clear code when the table fills or earlier), written from the PDF rules
// and independent of the decoder under test.
#pragma once

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <unordered_map>

namespace vxtest {

class BitWriter {
 public:
  void Put(int code, int width) {
    for (int i = width - 1; i >= 0; --i) {
      current_ = uint8_t(current_ << 1 | ((code >> i) & 1));
      if (++used_ == 8) Flush();
    }
  }
  std::string Finish() {
    if (used_ > 0) {
      current_ = uint8_t(current_ << (8 - used_));
      Flush();
    }
    return bytes_;
  }

 private:
  void Flush() {
    bytes_.push_back(char(current_));
    current_ = 0;
    used_ = 0;
  }
  std::string bytes_;
  uint8_t current_ = 0;
  int used_ = 0;
};

inline std::string Codes9(std::initializer_list<int> codes) {
  BitWriter w;
  for (int code : codes) w.Put(code, 9);
  return w.Finish();
}

struct Encoded {
  std::string bytes;
  int maxWidth = 9;
  int clears = 0;            // clear codes after the first one
  size_t bytesWhenFull = 0;  // input consumed when the table first filled
};

// The code width the encoder uses while `next` is the next code it will
// assign. It is one code "early" compared with a decoder without early
// change, because the decoder's table lags one entry behind the encoder's.
inline int WidthFor(int next) { return next >= 2048 ? 12 : next >= 1024 ? 11 : next >= 512 ? 10 : 9; }

// `clearAt`: the next-code value at which a clear code is sent and the table
// starts again; 4096 means when the table is full. With `freezeWhenFull` the
// encoder instead stops adding entries at 4096 and never clears.
inline Encoded LzwEncode(std::string_view input, int clearAt = 4096, bool freezeWhenFull = false) {
  Encoded result;
  BitWriter w;
  std::unordered_map<int, int> table;  // prefix code * 256 + byte -> code
  int next = 258;
  auto put = [&](int code, int width) {
    w.Put(code, width);
    result.maxWidth = std::max(result.maxWidth, width);
  };
  put(256, 9);
  int prefix = -1;
  for (size_t i = 0; i < input.size(); ++i) {
    uint8_t c = uint8_t(input[i]);
    if (prefix < 0) {
      prefix = c;
      continue;
    }
    auto it = table.find(prefix * 256 + c);
    if (it != table.end()) {
      prefix = it->second;
      continue;
    }
    put(prefix, WidthFor(next));
    if (next < 4096) table[prefix * 256 + c] = next++;
    if (next == 4096 && result.bytesWhenFull == 0) result.bytesWhenFull = i;
    prefix = c;
    if (next == clearAt && !freezeWhenFull) {
      put(256, WidthFor(next));
      table.clear();
      next = 258;
      ++result.clears;
    }
  }
  if (prefix >= 0) {
    put(prefix, WidthFor(next));
    if (next < 4096) ++next;  // the decoder adds an entry for this code too
  }
  put(257, WidthFor(next));
  result.bytes = w.Finish();
  return result;
}

}  // namespace vxtest
