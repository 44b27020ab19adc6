// Whole-buffer Flate through libdeflate: two to three times zlib's speed at
// the same ratio. The zlib adapters (vxDZLIB) stay for callers that stream,
// and for damaged data, whose decoded prefix only zlib hands back.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vx {

// The libdeflate level of a Flate level code. Measured on the corpus and the
// benchmark files (bench/deflate-levels.py): none -> 0 (stored blocks),
// fastest -> 1 (smaller than zlib 1 and faster), default -> 6 (a little
// smaller than zlib's default at twice its speed), maximum -> 12 (the
// smallest output, 7% below zlib 9). Codes above 3 compress as the default.
int LibDeflateLevel(uint8_t level);

// `data` as zlib data (header, deflate, Adler-32) at a libdeflate level from
// 0 to 12. The bytes depend only on the input and the level, never on the
// thread or on earlier calls. With `firstTry`, the output goes first into a
// buffer of that size rather than one for the worst case (data that
// compresses well then needs a fraction of the memory); data that does not
// fit is compressed again.
std::string LibDeflateCompress(std::string_view data, int level, size_t firstTry = 0);

// Inflates one intact zlib stream (bytes after its end are ignored). Answers
// nothing when the data is not intact (cut short, corrupt, a wrong checksum):
// the caller then goes through zlib, which keeps the decodable prefix and
// reports errors in its words. More than `limit` bytes of output raise
// EZDecompressionError (res::SInflateLimit), as zlib's path does. The output
// buffer is reserved from the memory budget while it grows.
std::optional<std::string> LibDeflateDecompress(std::string_view data, int64_t limit);

// Gives back the buffer this thread decodes into (the pages a large stream
// touched stay with the process until then); the next decoding makes it
// again.
void ReleaseDecodeScratch();

}  // namespace vx
