// The zlib stream adapters: data written through the compressing adapter is
// checked with zlib itself, and the decompressing adapter is read in odd
// pieces, seeked by its rules and fed broken data.
#include <gtest/gtest.h>
#include <zlib.h>

#include <functional>

#include "pdf/filters/vxDZLIB.h"
#include "pdf/util/vxExceptions.h"
#include "pdf/util/vxPDFResStrs.h"
#include "tests/pdf/filters/FilterTestSupport.h"

using namespace vx;
using vxtest::PieceStream;
using vxtest::Random;

namespace {

std::string ZlibCompress(const std::string& data, int level = Z_DEFAULT_COMPRESSION) {
  uLongf size = compressBound(uLong(data.size()));
  std::string out(size, '\0');
  EXPECT_EQ(compress2(reinterpret_cast<Bytef*>(out.data()), &size,
                      reinterpret_cast<const Bytef*>(data.data()), uLong(data.size()), level),
            Z_OK);
  out.resize(size);
  return out;
}

std::string ZlibUncompress(const std::string& data, size_t expected) {
  uLongf size = uLongf(expected);
  std::string out(expected, '\0');
  EXPECT_EQ(uncompress(reinterpret_cast<Bytef*>(out.data()), &size,
                       reinterpret_cast<const Bytef*>(data.data()), uLong(data.size())),
            Z_OK);
  out.resize(size);
  return out;
}

std::string ReadAll(TDecompressionStream& z, int64_t piece) {
  std::string out;
  std::string buf(size_t(piece), '\0');
  for (;;) {
    int64_t got = z.Read(buf.data(), piece);
    out.append(buf.data(), size_t(got));
    if (got < piece) return out;
  }
}

}  // namespace

TEST(ZLibStreams, CompressionAdapterWritesZlibDataInManyWrites) {
  Random rnd(7);
  std::string input = vxtest::WordSoup(rnd, 300000);  // several 64 KiB output blocks
  TvxMemoryStream dest;
  dest.WriteBytes("HEAD");  // the adapter starts where the destination stands
  {
    TCompressionStream z(9, &dest);
    for (size_t at = 0; at < input.size(); at += 4099)
      z.Write(input.data() + at, int64_t(std::min<size_t>(4099, input.size() - at)));
    EXPECT_EQ(z.Seek(0, TvxSeekOrigin::soCurrent), int64_t(input.size()));
  }  // destruction finishes the zlib data
  std::string written = dest.Bytes();
  ASSERT_EQ(written.substr(0, 4), "HEAD");
  EXPECT_EQ(ZlibUncompress(written.substr(4), input.size()), input);
}

TEST(ZLibStreams, CompressionAdapterRefusesReadsAndSeeks) {
  TvxMemoryStream dest;
  TCompressionStream z(-1, &dest);
  char c;
  for (auto call : {std::function<void()>([&] { z.Read(&c, 1); }),
                    std::function<void()>([&] { z.Seek(1, TvxSeekOrigin::soCurrent); }),
                    std::function<void()>([&] { z.Seek(0, TvxSeekOrigin::soBeginning); })}) {
    try {
      call();
      ADD_FAILURE() << "no exception";
    } catch (const EZCompressionError& e) {
      EXPECT_STREQ(e.what(), "Invalid ZStream operation!");
    }
  }
}

TEST(ZLibStreams, DecompressionAdapterReadsInAnyPieces) {
  Random rnd(11);
  std::string input = vxtest::WordSoup(rnd, 200000);
  std::string packed = ZlibCompress(input);
  for (int64_t sourcePiece : {int64_t(1), int64_t(13), int64_t(1 << 20)}) {
    for (int64_t readPiece : {int64_t(1), int64_t(10240), int64_t(1 << 20)}) {
      if (readPiece == 1 && sourcePiece != 1 << 20) continue;  // keeps the test quick
      PieceStream source(packed, sourcePiece);
      TDecompressionStream z(&source);
      EXPECT_EQ(ReadAll(z, readPiece), input) << sourcePiece << " " << readPiece;
    }
  }
}

TEST(ZLibStreams, DecompressionGivesBackTheBytesAfterTheZlibData) {
  std::string packed = ZlibCompress("payload");
  TvxMemoryStream source(packed + "TAIL");
  TDecompressionStream z(&source);
  EXPECT_EQ(ReadAll(z, 100), "payload");
  EXPECT_EQ(source.Position(), int64_t(packed.size()));
  EXPECT_EQ(source.ReadRest(), "TAIL");
}

TEST(ZLibStreams, TruncatedDataYieldsThePrefixWithoutError) {
  Random rnd(3);
  std::string input = vxtest::RandomBytes(rnd, 50000);  // incompressible: output tracks input
  std::string packed = ZlibCompress(input);
  TvxMemoryStream source(packed.substr(0, packed.size() / 2));
  TDecompressionStream z(&source);
  std::string got = ReadAll(z, 10240);
  EXPECT_GT(got.size(), 10000u);
  EXPECT_LT(got.size(), input.size());
  EXPECT_EQ(got, input.substr(0, got.size()));
  char c;
  EXPECT_EQ(z.Read(&c, 1), 0);  // stays at the end
}

TEST(ZLibStreams, DecompressionSeeks) {
  Random rnd(5);
  std::string input = vxtest::WordSoup(rnd, 100000);
  TvxMemoryStream source("xx" + ZlibCompress(input));
  source.SetPosition(2);
  TDecompressionStream z(&source);
  std::string buf(100, '\0');

  EXPECT_EQ(z.Seek(1000, TvxSeekOrigin::soCurrent), 1000);  // forward: decoded and dropped
  ASSERT_EQ(z.Read(buf.data(), 100), 100);
  EXPECT_EQ(buf, input.substr(1000, 100));
  EXPECT_EQ(z.Seek(5000, TvxSeekOrigin::soBeginning), 5000);  // absolute, beyond what was produced
  ASSERT_EQ(z.Read(buf.data(), 100), 100);
  EXPECT_EQ(buf, input.substr(5000, 100));
  EXPECT_EQ(z.Seek(0, TvxSeekOrigin::soBeginning), 0);  // restart from where the adapter began
  ASSERT_EQ(z.Read(buf.data(), 100), 100);
  EXPECT_EQ(buf, input.substr(0, 100));
  EXPECT_EQ(z.Position(), 100);
  EXPECT_EQ(z.Seek(0, TvxSeekOrigin::soEnd), int64_t(input.size()));  // everything left

  for (auto [offset, origin] : {std::pair{int64_t(10), TvxSeekOrigin::soBeginning},  // backwards
                                std::pair{int64_t(-1), TvxSeekOrigin::soCurrent},
                                std::pair{int64_t(-5), TvxSeekOrigin::soEnd}}) {
    try {
      z.Seek(offset, origin);
      ADD_FAILURE() << "no exception for " << offset;
    } catch (const EZDecompressionError& e) {
      EXPECT_STREQ(e.what(), "Invalid ZStream operation!");
    }
  }
  try {
    z.Write("x", 1);
    ADD_FAILURE() << "write accepted";
  } catch (const EZDecompressionError& e) {
    EXPECT_STREQ(e.what(), "Invalid ZStream operation!");
  }
}

TEST(ZLibStreams, CorruptDataRaisesZlibsOwnText) {
  std::string packed = ZlibCompress("some text that is long enough to matter, some text");
  packed[5] = char(packed[5] ^ 0x55);
  TvxMemoryStream source(packed);
  TDecompressionStream z(&source);
  char buf[256];
  try {
    while (z.Read(buf, sizeof buf) > 0) {
    }
    ADD_FAILURE() << "no exception";
  } catch (const EZDecompressionError& e) {
    EXPECT_STREQ(e.what(), "data error");
  }
  TvxMemoryStream notZlib(std::string("plain text, not zlib"));
  TDecompressionStream z2(&notZlib);
  EXPECT_THROW(z2.Read(buf, sizeof buf), EZDecompressionError);
}

TEST(ZLibStreams, PresetDictionaryDataFailsInsteadOfHanging) {
  // zlib data made with a preset dictionary: inflate answers "need
  // dictionary" for ever unless the reader gives up.
  z_stream d{};
  ASSERT_EQ(deflateInit(&d, 6), Z_OK);
  const char dict[] = "dictionary words";
  deflateSetDictionary(&d, reinterpret_cast<const Bytef*>(dict), sizeof dict - 1);
  std::string input = "dictionary words and more words";
  std::string out(256, '\0');
  d.next_in = reinterpret_cast<Bytef*>(input.data());
  d.avail_in = uInt(input.size());
  d.next_out = reinterpret_cast<Bytef*>(out.data());
  d.avail_out = uInt(out.size());
  ASSERT_EQ(deflate(&d, Z_FINISH), Z_STREAM_END);
  out.resize(d.total_out);
  deflateEnd(&d);

  TvxMemoryStream source(out);
  TDecompressionStream z(&source);
  char buf[64];
  try {
    z.Read(buf, sizeof buf);
    ADD_FAILURE() << "no exception";
  } catch (const EZDecompressionError& e) {
    EXPECT_STREQ(e.what(), "need dictionary");
  }
  EXPECT_THROW(InflateBytes(out), EZDecompressionError);
}

TEST(ZLibStreams, OutputLimitStopsADecompressionBomb) {
  std::string zeros(4 << 20, '\0');
  std::string bomb = ZlibCompress(zeros, 9);  // about 4 KiB
  ASSERT_LT(bomb.size(), 10000u);
  const std::string expected = "Decoded stream data exceeds the limit of 1000000 bytes";

  TvxMemoryStream source(bomb);
  TDecompressionStream z(&source);
  z.SetOutputLimit(1000000);
  try {
    ReadAll(z, 10240);
    ADD_FAILURE() << "no exception";
  } catch (const EZDecompressionError& e) {
    EXPECT_EQ(std::string(e.what()), expected);
  }
  try {
    InflateBytes(bomb, 1000000);
    ADD_FAILURE() << "no exception";
  } catch (const EZDecompressionError& e) {
    EXPECT_EQ(std::string(e.what()), expected);
  }
  // Exactly at the limit is still fine.
  EXPECT_EQ(InflateBytes(bomb, int64_t(zeros.size())).size(), zeros.size());
}
