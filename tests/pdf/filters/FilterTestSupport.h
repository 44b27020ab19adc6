// Small helpers shared by the filter tests: byte strings from numbers, a
// deterministic pseudo-random source, and a stream that is not a memory
// stream and hands out its bytes in small pieces.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>

#include "pdf/parsers/vxClasses.h"
#include "pdf/util/vxExceptions.h"

namespace vxtest {

// The message a decoder raises on `s`, or "no exception".
template <typename Filter>
std::string DecodeError(const std::string& s) {
  try {
    Filter().DecodeString(s);
  } catch (const vx::TvxException& e) {
    return e.what();
  }
  return "no exception";
}

inline std::string Bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s.push_back(char(v));
  return s;
}

// xorshift32: the same sequence on every platform.
class Random {
 public:
  explicit Random(uint32_t seed) : state_(seed ? seed : 1) {}
  uint32_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
  }
  uint32_t Below(uint32_t n) { return Next() % n; }

 private:
  uint32_t state_;
};

inline std::string RandomBytes(Random& rnd, size_t n) {
  std::string s(n, '\0');
  for (auto& c : s) c = char(rnd.Next() & 0xFF);
  return s;
}

// Text-like data: words from a small vocabulary, so it compresses well and
// fills LZW tables with long entries.
inline std::string WordSoup(Random& rnd, size_t n) {
  static const char* words[] = {"stream", "endstream", "obj", "endobj", "0 0 612 792", "BT",
                                "ET",     "/F1 12 Tf", "Td",  "(Hello)", "Tj",          "q Q",
                                "re f",   "\n",        " ",   "1 0 0 1"};
  std::string s;
  while (s.size() < n) s += words[rnd.Below(sizeof words / sizeof *words)];
  s.resize(n);
  return s;
}

// A stream that is not a TvxMemoryStream and answers at most `piece` bytes
// per read, so code that must work on any stream is exercised.
class PieceStream : public vx::TvxStream {
 public:
  PieceStream(std::string bytes, int64_t piece) : bytes_(std::move(bytes)), piece_(piece) {}
  int64_t Read(void* buffer, int64_t count) override {
    int64_t n = std::min({count, piece_, int64_t(bytes_.size()) - pos_});
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
  int64_t piece_;
  int64_t pos_ = 0;
};

}  // namespace vxtest
