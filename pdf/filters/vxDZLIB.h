// zlib stream adapters: a compressing stream that deflates everything written
// to it into another stream, and a decompressing stream that inflates another
// stream as it is read. Both use the zlib container (header and Adler-32
// trailer) with zlib's default window and memory settings, and move data in
// 65536-byte blocks.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "pdf/parsers/vxClasses.h"

struct z_stream_s;

namespace vx {

// Inflated data larger than this is refused (EZDecompressionError with
// res::SInflateLimit). It is far above any real stream and stops a small
// "decompression bomb" before it exhausts memory.
inline constexpr int64_t kMaxDecodedStreamSize = int64_t(1) << 30;  // 1 GiB

class TCustomZStream : public TvxStream {
 public:
  static constexpr size_t kBufferSize = 65536;

  ~TCustomZStream() override;
  TCustomZStream(const TCustomZStream&) = delete;
  TCustomZStream& operator=(const TCustomZStream&) = delete;

 protected:
  // `strm` is not owned; it must outlive the adapter.
  explicit TCustomZStream(TvxStream* strm);

  TvxStream* FStrm;       // the stream written to or read from
  int64_t FStrmPos;       // where in FStrm the adapter goes on
  int64_t FStrmStartPos;  // where in FStrm the adapter began
  std::unique_ptr<z_stream_s> FZRec;
  std::unique_ptr<unsigned char[]> FBuffer;
};

// Deflates what is written into the destination stream. Finish (called by the
// destructor when the caller has not) completes the zlib data.
class TCompressionStream : public TCustomZStream {
 public:
  // `zlibLevel` is a zlib level: -1 (default) or 0 to 9.
  TCompressionStream(int zlibLevel, TvxStream* dest);
  ~TCompressionStream() override;

  int64_t Read(void* buffer, int64_t count) override;  // raises EZCompressionError
  int64_t Write(const void* buffer, int64_t count) override;
  // Only Seek(0, soCurrent) is allowed: it answers the input bytes consumed.
  int64_t Seek(int64_t offset, TvxSeekOrigin origin) override;
  int64_t Size() const override;  // raises EZCompressionError
  // Flushes the rest of the zlib data to the destination and ends deflate.
  // Raises on a zlib error; later calls do nothing.
  void Finish();

 private:
  void FlushBuffer(int64_t count);
  bool finished_ = false;
};

// Inflates the source stream, from its position at creation, as it is read.
// Data that ends before the zlib end-of-stream is not an error: reads answer
// the bytes decoded so far and then 0.
class TDecompressionStream : public TCustomZStream {
 public:
  explicit TDecompressionStream(TvxStream* source);
  ~TDecompressionStream() override;

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;  // raises EZDecompressionError
  // To the start (inflate restarts), forward from the current position or to
  // an absolute position beyond what was produced (skipped bytes are decoded
  // and dropped), or to the end (Seek(0, soEnd) decodes everything left).
  // Anything else raises EZDecompressionError. Answers the bytes produced.
  int64_t Seek(int64_t offset, TvxSeekOrigin origin) override;
  int64_t Size() const override;  // raises EZDecompressionError

  // Producing more than `limit` bytes in total raises EZDecompressionError
  // (res::SInflateLimit). Defaults to kMaxDecodedStreamSize.
  int64_t OutputLimit() const { return outputLimit_; }
  void SetOutputLimit(int64_t limit) { outputLimit_ = limit; }

 private:
  void Skip(int64_t count);
  int64_t outputLimit_ = kMaxDecodedStreamSize;
  bool streamEnd_ = false;
};

// One-call inflate of a whole buffer into a string that grows as needed; the
// same result as reading a TDecompressionStream over the bytes to the end
// (truncated data gives the prefix, zlib errors and the limit raise
// EZDecompressionError). With `damage`, damaged data is no error: what
// inflated before it is answered, and `damage` receives zlib's text.
std::string InflateBytes(std::string_view data, int64_t limit = kMaxDecodedStreamSize, std::string* damage = nullptr);

// Deflates `data` through a TCompressionStream in one write.
std::string DeflateBytes(std::string_view data, int zlibLevel);

}  // namespace vx
