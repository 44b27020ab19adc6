// The Flate filter: level codes, round trips, truncated and oversized data,
// and the stream forms against the string forms.
#include <gtest/gtest.h>
#include <libdeflate.h>
#include <zlib.h>

#include <thread>

#include "pdf/filters/vxFilters.h"
#include "pdf/util/vxExceptions.h"
#include "tests/pdf/filters/FilterTestSupport.h"

using namespace vx;
using vxtest::PieceStream;
using vxtest::Random;

namespace {

std::string ZlibCompress(const std::string& data, int level) {
  uLongf size = compressBound(uLong(data.size()));
  std::string out(size, '\0');
  compress2(reinterpret_cast<Bytef*>(out.data()), &size,
            reinterpret_cast<const Bytef*>(data.data()), uLong(data.size()), level);
  out.resize(size);
  return out;
}

// One libdeflate call with a fresh compressor.
std::string LibDeflate(const std::string& data, int level) {
  libdeflate_compressor* c = libdeflate_alloc_compressor(level);
  std::string out(libdeflate_zlib_compress_bound(c, data.size()), '\0');
  out.resize(libdeflate_zlib_compress(c, data.data(), data.size(), out.data(), out.size()));
  libdeflate_free_compressor(c);
  return out;
}

}  // namespace

TEST(FlateFilter, LevelCodesSelectLibDeflateLevels) {
  Random rnd(21);
  std::string input = vxtest::WordSoup(rnd, 120000);
  TvxFlateFilter flate;
  EXPECT_EQ(flate.CompressString(input, 1), LibDeflate(input, 1));
  EXPECT_EQ(flate.CompressString(input, 2), LibDeflate(input, 6));
  EXPECT_EQ(flate.CompressString(input, 3), LibDeflate(input, 12));
  EXPECT_EQ(flate.CompressString(input, 7), LibDeflate(input, 6));  // unknown codes: the default
  // The levels really differ on this input, so the checks above can fail.
  EXPECT_NE(LibDeflate(input, 1), LibDeflate(input, 6));
  EXPECT_NE(LibDeflate(input, 6), LibDeflate(input, 12));
  // Whatever compressed it, zlib reads it.
  EXPECT_EQ(InflateBytes(flate.CompressString(input, 3)), input);
}

// The compressors are kept per thread and reused: the bytes must not depend
// on what a compressor saw before or on the thread that runs it.
TEST(FlateFilter, OutputDependsOnlyOnInputAndLevel) {
  Random rnd(26);
  const std::string a = vxtest::WordSoup(rnd, 200000);
  const std::string b = vxtest::RandomBytes(rnd, 70000) + vxtest::WordSoup(rnd, 5000);
  for (uint8_t level = 0; level <= 3; ++level) {
    const std::string first = TvxFlateFilter().CompressString(a, level);
    TvxFlateFilter().CompressString(b, level);
    EXPECT_EQ(TvxFlateFilter().CompressString(a, level), first) << int(level);
    std::string onOtherThread;
    std::thread([&] {
      TvxFlateFilter().CompressString(b, level);
      onOtherThread = TvxFlateFilter().CompressString(a, level);
    }).join();
    EXPECT_EQ(onOtherThread, first) << int(level);
  }
}

TEST(FlateFilter, LevelNoneWritesStoredBlocks) {
  Random rnd(22);
  std::string input = vxtest::WordSoup(rnd, 150000);
  std::string packed = TvxFlateFilter().CompressString(input, 0);
  ASSERT_GT(packed.size(), input.size());  // nothing was compressed
  EXPECT_EQ(uint8_t(packed[0]), 0x78);
  EXPECT_EQ(uint8_t(packed[2]) & 0x06, 0);  // first block type 00: stored
  EXPECT_EQ(TvxFlateFilter().DecodeString(packed), input);
}

TEST(FlateFilter, RoundTripsAtEveryLevel) {
  Random rnd(23);
  const std::string inputs[] = {std::string(), std::string(1, '\0'), vxtest::RandomBytes(rnd, 100000),
                                vxtest::WordSoup(rnd, 300000), std::string(200000, 'x')};
  for (uint8_t level = 0; level <= 3; ++level) {
    for (const auto& input : inputs) {
      TvxFlateFilter flate;
      std::string packed = flate.CompressString(input, level);
      EXPECT_EQ(flate.DecodeString(packed), input) << int(level) << " " << input.size();
      TvxMemoryStream source(input);
      auto stream = flate.CompressStream(source, level);
      ASSERT_TRUE(stream);
      EXPECT_EQ(stream->Bytes(), packed);
    }
  }
}

TEST(FlateFilter, EmptyAndTruncatedData) {
  TvxFlateFilter flate;
  EXPECT_EQ(flate.DecodeString(""), "");
  Random rnd(24);
  std::string input = vxtest::RandomBytes(rnd, 40000);
  std::string packed = flate.CompressString(input, 2);
  // Cut in mid-stream: the bytes decoded so far, no error.
  std::string prefix = flate.DecodeString(packed.substr(0, 20000));
  EXPECT_GT(prefix.size(), 15000u);
  EXPECT_LT(prefix.size(), input.size());
  EXPECT_EQ(prefix, input.substr(0, prefix.size()));
  // A checksum cut short still gives the whole data.
  EXPECT_EQ(flate.DecodeString(packed.substr(0, packed.size() - 2)), input);
  // Cut right after the header or inside the first block: no data, no error.
  EXPECT_EQ(flate.DecodeString(packed.substr(0, 2)), "");
  // Bytes after the end of the zlib data are not part of it.
  EXPECT_EQ(flate.DecodeString(packed + "\r\nendstream"), input);
}

// Intact data of any ratio decodes fully, also when it expands far beyond
// the first guess of its size; zlib-made data too.
TEST(FlateFilter, DecodesWhatZlibMadeAtAnyRatio) {
  Random rnd(27);
  const std::string inputs[] = {std::string(5000000, 'z'), vxtest::WordSoup(rnd, 1000000),
                                vxtest::RandomBytes(rnd, 3000), std::string(1, 'q')};
  TvxFlateFilter flate;
  for (const auto& input : inputs) {
    for (int level : {0, 1, 9}) EXPECT_EQ(flate.DecodeString(ZlibCompress(input, level)), input) << level;
  }
  // An output of exactly the limit is allowed, one byte more is not.
  const std::string packed = ZlibCompress(inputs[0], 9);
  flate.SetInflateLimit(int64_t(inputs[0].size()));
  EXPECT_EQ(flate.DecodeString(packed), inputs[0]);
  flate.SetInflateLimit(int64_t(inputs[0].size()) - 1);
  try {
    flate.DecodeString(packed);
    ADD_FAILURE() << "no error";
  } catch (const EZDecompressionError& e) {
    EXPECT_STREQ(e.what(), "Decoded stream data exceeds the limit of 4999999 bytes");
  }
  // The stream adapter, which is zlib alone, says the same.
  PieceStream other(packed, 4096);
  EXPECT_THROW(flate.DecodeStream(other), EZDecompressionError);
}

TEST(FlateFilter, StreamFormMatchesStringFormOnAnyStream) {
  Random rnd(25);
  std::string input = vxtest::WordSoup(rnd, 250000);
  TvxFlateFilter flate;
  std::string packed = flate.CompressString(input, 3);
  for (size_t cut : {packed.size(), packed.size() - 4, packed.size() / 2, size_t(2), size_t(0)}) {
    std::string part = packed.substr(0, cut);
    PieceStream other(part, 1000);  // not a memory stream: goes through the adapter
    auto viaAdapter = flate.DecodeStream(other);
    TvxMemoryStream memory(part);
    auto viaMemory = flate.DecodeStream(memory);
    EXPECT_EQ(viaAdapter->Bytes(), flate.DecodeString(part));
    EXPECT_EQ(viaMemory->Bytes(), flate.DecodeString(part));
  }
  PieceStream plain(input, 4096);
  EXPECT_EQ(flate.CompressStream(plain, 1)->Bytes(), flate.CompressString(input, 1));
}

TEST(FlateFilter, DecodeLimitAppliesToBothForms) {
  std::string zeros(3 << 20, '\0');
  TvxFlateFilter flate;
  std::string bomb = flate.CompressString(zeros, 3);
  flate.SetInflateLimit(1 << 20);
  EXPECT_THROW(flate.DecodeString(bomb), EZDecompressionError);
  PieceStream other(bomb, 512);
  EXPECT_THROW(flate.DecodeStream(other), EZDecompressionError);
  TvxMemoryStream memory(bomb);
  EXPECT_THROW(flate.DecodeStream(memory), EZDecompressionError);
  flate.SetInflateLimit(3 << 20);
  EXPECT_EQ(flate.DecodeString(bomb), zeros);
}

TEST(FlateFilter, CorruptDataRaises) {
  std::string packed = TvxFlateFilter().CompressString(std::string(5000, 'a') + "bcdefg", 2);
  packed[3] = char(0xFF);
  EXPECT_THROW(TvxFlateFilter().DecodeString(packed), EZDecompressionError);
  EXPECT_THROW(TvxFlateFilter().DecodeString("not zlib at all"), EZDecompressionError);
  // A wrong checksum is an error in zlib's words, as it always was.
  std::string input = std::string(5000, 'a') + "bcdefg";
  std::string badSum = TvxFlateFilter().CompressString(input, 2);
  badSum.back() = char(badSum.back() ^ 1);
  try {
    TvxFlateFilter().DecodeString(badSum);
    ADD_FAILURE() << "no error";
  } catch (const EZDecompressionError& e) {
    EXPECT_STREQ(e.what(), "data error");
  }
}

TEST(Filters, SlotsAFilterDoesNotImplementAnswerNothing) {
  TvxMemoryStream source(std::string("data"));
  TvxFlateFilter flate;
  EXPECT_EQ(flate.EncodeString("data"), "");
  EXPECT_EQ(flate.EncodeStream(source), nullptr);
  TvxRLEFilter rle;
  EXPECT_EQ(rle.CompressString("data", 2), "");
  EXPECT_EQ(rle.CompressStream(source, 2), nullptr);
  TvxAsciiHexFilter hex;
  EXPECT_EQ(hex.CompressString("data", 2), "");
  TvxAscii85Filter a85;
  EXPECT_EQ(a85.CompressStream(source, 2), nullptr);
  TvxLZWFilter lzw;
  EXPECT_EQ(lzw.EncodeString("data"), "");
  EXPECT_EQ(lzw.EncodeStream(source), nullptr);
  EXPECT_EQ(lzw.CompressString("data", 1), "");
  EXPECT_EQ(lzw.CompressStream(source, 1), nullptr);
}

// Streams small enough for the decoder's per-thread buffer: the limit and
// the budget hold there as they do for large ones, and a stream never picks
// up bytes of one decoded before it (on this thread or on another).
TEST(FlateFilter, SmallStreamsKeepTheLimitAndNothingOfEarlierStreams) {
  Random rnd(31);
  TvxFlateFilter flate;
  const std::string large = vxtest::WordSoup(rnd, 3000000);
  const std::string small = vxtest::WordSoup(rnd, 700);
  EXPECT_EQ(flate.DecodeString(ZlibCompress(large, 6)), large);
  EXPECT_EQ(flate.DecodeString(ZlibCompress(small, 6)), small);
  EXPECT_EQ(flate.DecodeString(ZlibCompress("", 6)), "");

  const std::string packed = ZlibCompress(std::string(200000, 'k'), 9);
  flate.SetInflateLimit(200000);
  EXPECT_EQ(flate.DecodeString(packed), std::string(200000, 'k'));
  flate.SetInflateLimit(199999);
  try {
    flate.DecodeString(packed);
    ADD_FAILURE() << "no error";
  } catch (const EZDecompressionError& e) {
    EXPECT_STREQ(e.what(), "Decoded stream data exceeds the limit of 199999 bytes");
  }

  std::vector<std::string> inputs, results(4);
  for (int i = 0; i < 4; ++i) inputs.push_back(vxtest::WordSoup(rnd, size_t(1000) << (3 * i)));
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i)
    threads.emplace_back([&, i] {
      TvxFlateFilter own;
      for (int round = 0; round < 3; ++round) results[size_t(i)] = own.DecodeString(ZlibCompress(inputs[size_t(i)], 1));
    });
  for (auto& t : threads) t.join();
  for (int i = 0; i < 4; ++i) EXPECT_EQ(results[size_t(i)], inputs[size_t(i)]) << i;
}
