#include "pdf/filters/vxLibDeflate.h"

#include <libdeflate.h>

#include <algorithm>
#include <array>
#include <memory>
#include <new>

#include "pdf/filters/vxMemoryBudget.h"
#include "pdf/util/vxExceptions.h"
#include "pdf/util/vxPDFResStrs.h"
#include "pdf/util/vxUtils.h"

namespace vx {

namespace {

constexpr int kMaxLevel = 12;

struct TCompressorFree {
  void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};
struct TDecompressorFree {
  void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};

// A compressor holds only scratch tables, so one per thread and level serves
// every stream: the output does not depend on what it compressed before.
libdeflate_compressor& CompressorFor(int level) {
  thread_local std::array<std::unique_ptr<libdeflate_compressor, TCompressorFree>, kMaxLevel + 1> compressors;
  auto& slot = compressors[size_t(level)];
  if (!slot) {
    slot.reset(libdeflate_alloc_compressor(level));
    if (!slot) throw std::bad_alloc();
  }
  return *slot;
}

libdeflate_decompressor& Decompressor() {
  thread_local std::unique_ptr<libdeflate_decompressor, TDecompressorFree> decompressor;
  if (!decompressor) {
    decompressor.reset(libdeflate_alloc_decompressor());
    if (!decompressor) throw std::bad_alloc();
  }
  return *decompressor;
}

// Most streams (object streams, page contents) decode to less than this; they
// go through a buffer each thread keeps, whose pages are touched once.
constexpr size_t kScratchBytes = size_t(4) << 20;

thread_local std::unique_ptr<char[]> decodeScratch;

char* DecodeScratch() {
  if (!decodeScratch) decodeScratch = std::make_unique_for_overwrite<char[]>(kScratchBytes);
  return decodeScratch.get();
}

}  // namespace

int LibDeflateLevel(uint8_t level) {
  switch (level) {
    case 0: return 0;
    case 1: return 1;
    case 3: return 12;
    default: return 6;
  }
}

std::string LibDeflateCompress(std::string_view data, int level, size_t firstTry) {
  level = std::clamp(level, 0, kMaxLevel);
  libdeflate_compressor& compressor = CompressorFor(level);
  const size_t bound = libdeflate_zlib_compress_bound(&compressor, data.size());
  if (firstTry > 0 && firstTry < bound) {
    // The output does not depend on the room given; too little room only
    // makes libdeflate answer 0, and the bound is tried then.
    auto buffer = std::make_unique_for_overwrite<char[]>(firstTry);
    const size_t written = libdeflate_zlib_compress(&compressor, data.data(), data.size(), buffer.get(), firstTry);
    if (written != 0) return std::string(buffer.get(), written);
  }
  // The bound is barely more than the input; only the compressed bytes are
  // kept, so that a queue of finished streams holds no slack.
  auto buffer = std::make_unique_for_overwrite<char[]>(bound);
  const size_t written = libdeflate_zlib_compress(&compressor, data.data(), data.size(), buffer.get(), bound);
  if (written == 0) throw std::bad_alloc();  // cannot happen with the bound's room
  return std::string(buffer.get(), written);
}

void ReleaseDecodeScratch() { decodeScratch.reset(); }

std::optional<std::string> LibDeflateDecompress(std::string_view data, int64_t limit) {
  if (data.empty() || limit < 0) return std::nullopt;
  libdeflate_decompressor& decompressor = Decompressor();
  // The output size is not known: the budget sees the reservations of a
  // buffer that starts where the zlib path starts and doubles.
  const uint64_t cap = std::min<uint64_t>(uint64_t(limit), std::string().max_size());
  size_t size = size_t(std::min<uint64_t>(cap, std::max<uint64_t>(16384, uint64_t(data.size()) * 4)));
  TvxBudgetReservation reservation;
  reservation.GrowTo(int64_t(size));
  if (size <= kScratchBytes) {
    // Decoded once into the thread's scratch buffer and copied out at its
    // size: no second decode when the guess is short, no slack kept.
    const size_t room = size_t(std::min<uint64_t>(cap, kScratchBytes));
    char* scratch = DecodeScratch();
    size_t in = 0, produced = 0;
    const libdeflate_result result =
        libdeflate_zlib_decompress_ex(&decompressor, data.data(), data.size(), scratch, room, &in, &produced);
    if (result == LIBDEFLATE_SUCCESS) {
      while (size < produced) size = size_t(std::min<uint64_t>(cap, uint64_t(size) * 2));
      reservation.GrowTo(int64_t(size));
      return std::string(scratch, produced);
    }
    if (result != LIBDEFLATE_INSUFFICIENT_SPACE) return std::nullopt;
    if (room >= cap) throw EZDecompressionError(Format(res::SInflateLimit, {std::to_string(limit)}));
    // Larger than the scratch buffer: on with the growing buffer below.
    while (size <= kScratchBytes) size = size_t(std::min<uint64_t>(cap, uint64_t(size) * 2));
  }
  std::string out;
  for (;;) {
    reservation.GrowTo(int64_t(size));
    out.clear();  // a failed attempt's bytes need no copying
    out.resize(size);
    size_t in = 0, produced = 0;
    const libdeflate_result result = libdeflate_zlib_decompress_ex(&decompressor, data.data(), data.size(),
                                                                   out.data(), out.size(), &in, &produced);
    if (result == LIBDEFLATE_SUCCESS) {
      out.resize(produced);
      // Decoded data lives as long as the document: give large slack back.
      if (out.capacity() - out.size() > out.size() / 4 + 4096) out.shrink_to_fit();
      return out;
    }
    if (result != LIBDEFLATE_INSUFFICIENT_SPACE) return std::nullopt;
    // Everything up to the limit decoded and more follows: zlib would stop
    // at the same byte.
    if (size >= cap) throw EZDecompressionError(Format(res::SInflateLimit, {std::to_string(limit)}));
    size = size_t(std::min<uint64_t>(cap, uint64_t(size) * 2));
  }
}

}  // namespace vx
