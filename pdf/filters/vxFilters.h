// The stream filters: Flate, RunLength, ASCIIHex, ASCII85 and LZW. Every
// filter works on whole in-memory buffers. Filter objects are made for one
// operation and thrown away after it; apart from the LZW code table they hold
// no state.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "pdf/filters/vxDZLIB.h"
#include "pdf/parsers/vxClasses.h"

namespace vx {

// Compression level codes of the Flate encoder.
inline constexpr uint8_t kLevelNone = 0;
inline constexpr uint8_t kLevelFastest = 1;
inline constexpr uint8_t kLevelDefault = 2;
inline constexpr uint8_t kLevelMaximum = 3;

// The zlib level of a level code, for callers that deflate through the zlib
// adapters: 0, 1, -1 (zlib's default) and 9. Codes above 3 compress at zlib's
// default level. The Flate filter itself uses LibDeflateLevel.
int ZLibLevel(uint8_t level);

// The base of all filters. A slot a filter does not implement answers nothing
// (a null stream or an empty string) instead of raising.
//
// Stream operations read the source from its beginning, never take ownership
// of it, and return a new memory stream owned by the caller. Callers must not
// rely on the position of the returned stream.
class TvxFilter {
 public:
  virtual ~TvxFilter() = default;

  virtual std::unique_ptr<TvxMemoryStream> CompressStream(TvxStream& source, uint8_t level);
  virtual std::string CompressString(std::string_view data, uint8_t level);
  virtual std::unique_ptr<TvxMemoryStream> EncodeStream(TvxStream& source);
  virtual std::string EncodeString(std::string_view data);
  virtual std::unique_ptr<TvxMemoryStream> DecodeStream(TvxStream& source) = 0;
  virtual std::string DecodeString(std::string_view data) = 0;
};

// zlib data (RFC 1950). Encodes only with a level (CompressStream /
// CompressString), through libdeflate; decoding of data cut short answers the
// bytes decoded so far. Parameters (/DecodeParms, predictors) are not applied here.
class TvxFlateFilter : public TvxFilter {
 public:
  std::unique_ptr<TvxMemoryStream> CompressStream(TvxStream& source, uint8_t level) override;
  std::string CompressString(std::string_view data, uint8_t level) override;
  std::unique_ptr<TvxMemoryStream> DecodeStream(TvxStream& source) override;
  std::string DecodeString(std::string_view data) override;

  // Decoding more than this many bytes raises EZDecompressionError.
  int64_t InflateLimit() const { return inflateLimit_; }
  void SetInflateLimit(int64_t limit) { inflateLimit_ = limit; }

 private:
  int64_t inflateLimit_ = kMaxDecodedStreamSize;
};

// RunLength: length bytes 0..127 copy 1..128 literal bytes, 129..255 repeat
// the next byte 257 - n times, 128 ends the data. An empty input encodes as
// the lone end-of-data byte; an empty input to the decoder has no end-of-data
// byte and raises "EndOfData Marker is wrong".
class TvxRLEFilter : public TvxFilter {
 public:
  std::unique_ptr<TvxMemoryStream> EncodeStream(TvxStream& source) override;
  std::string EncodeString(std::string_view data) override;
  std::unique_ptr<TvxMemoryStream> DecodeStream(TvxStream& source) override;
  std::string DecodeString(std::string_view data) override;
};

// Upper-case hexadecimal digits followed by ">"; the decoder requires the
// final ">" and accepts digits of either case and blanks between them.
class TvxAsciiHexFilter : public TvxFilter {
 public:
  std::unique_ptr<TvxMemoryStream> EncodeStream(TvxStream& source) override;
  std::string EncodeString(std::string_view data) override;
  std::unique_ptr<TvxMemoryStream> DecodeStream(TvxStream& source) override;
  std::string DecodeString(std::string_view data) override;
};

// ASCII85 without the leading "<~", ended by "~>", no line breaks. A group
// whose value does not fit in 32 bits is refused with TvxException
// (res::SAscii85GroupTooLarge).
class TvxAscii85Filter : public TvxFilter {
 public:
  std::unique_ptr<TvxMemoryStream> EncodeStream(TvxStream& source) override;
  std::string EncodeString(std::string_view data) override;
  std::unique_ptr<TvxMemoryStream> DecodeStream(TvxStream& source) override;
  std::string DecodeString(std::string_view data) override;
};

// LZW decoding with early change, 9 to 12 bit codes, clear code 256 and
// end-of-data code 257. Decode only.
//
// The code table is held as (prefix code, last byte) pairs, so an entry costs
// no copy of its prefix. Entry 256 is a one-byte placeholder for the clear
// code; the first code after a reset adds an entry at 257 that is never
// referenced, so real entries begin at 258. When the table reaches 4095
// entries it is reset at once; the width stays (a conforming stream sends its
// clear code next, in 12 bits), and until the width changes again code values
// are taken from their low 9 bits.
//
// A code at or beyond the table's end decodes as the previous code's entry
// plus its first byte; when there is no previous code, or the previous code
// itself lies beyond the table (after a reset), TvxException
// (res::SLZWCodeOutOfRange) is raised. Data without an end-of-data code is
// not an error.
class TvxLZWFilter : public TvxFilter {
 public:
  static constexpr int kMaxEntries = 4095;

  TvxLZWFilter();

  std::unique_ptr<TvxMemoryStream> DecodeStream(TvxStream& source) override;
  std::string DecodeString(std::string_view data) override;

  // Decoding more than this many bytes raises TvxException (res::SInflateLimit):
  // LZW can expand a small stream by more than three orders of magnitude.
  int64_t OutputLimit() const { return outputLimit_; }
  void SetOutputLimit(int64_t limit) { outputLimit_ = limit; }

 private:
  void ResetTable();

  int count_ = 0;                                 // entries in the table
  std::array<int16_t, kMaxEntries + 1> prefix_{};  // -1: none
  std::array<uint8_t, kMaxEntries + 1> suffix_{};
  std::array<uint16_t, kMaxEntries + 1> length_{};
  int64_t outputLimit_ = kMaxDecodedStreamSize;
};

// The bytes of a stream from its beginning: a view of a memory stream's
// contents, or the whole stream read into `holder`.
std::string_view StreamBytes(TvxStream& source, std::string& holder);

}  // namespace vx
