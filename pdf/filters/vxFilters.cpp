#include "pdf/filters/vxFilters.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "pdf/filters/vxLibDeflate.h"
#include "pdf/filters/vxMemoryBudget.h"
#include "pdf/util/vxExceptions.h"
#include "pdf/util/vxPDFResStrs.h"
#include "pdf/util/vxUtils.h"

namespace vx {

namespace {

// A result stream positioned at its start or at its end.
std::unique_ptr<TvxMemoryStream> StreamAtStart(std::string bytes) {
  return std::make_unique<TvxMemoryStream>(std::move(bytes));
}
std::unique_ptr<TvxMemoryStream> StreamAtEnd(std::string bytes) {
  auto stream = std::make_unique<TvxMemoryStream>(std::move(bytes));
  stream->Seek(0, TvxSeekOrigin::soEnd);
  return stream;
}

}  // namespace

std::string_view StreamBytes(TvxStream& source, std::string& holder) {
  if (auto* memory = dynamic_cast<TvxMemoryStream*>(&source)) return memory->View();
  source.SetPosition(0);
  holder.clear();
  constexpr size_t kPiece = 65536;
  for (;;) {
    size_t used = holder.size();
    holder.resize(used + kPiece);
    int64_t got = source.Read(holder.data() + used, int64_t(kPiece));
    holder.resize(used + size_t(std::max<int64_t>(got, 0)));
    if (got <= 0) break;  // a short read need not be the end
  }
  return holder;
}

int ZLibLevel(uint8_t level) {
  switch (level) {
    case kLevelNone: return 0;
    case kLevelFastest: return 1;
    case kLevelMaximum: return 9;
    default: return -1;
  }
}

// -------------------------------------------------------------------- base

std::unique_ptr<TvxMemoryStream> TvxFilter::CompressStream(TvxStream&, uint8_t) { return nullptr; }
std::string TvxFilter::CompressString(std::string_view, uint8_t) { return std::string(); }
std::unique_ptr<TvxMemoryStream> TvxFilter::EncodeStream(TvxStream&) { return nullptr; }
std::string TvxFilter::EncodeString(std::string_view) { return std::string(); }

// ------------------------------------------------------------------- Flate

std::unique_ptr<TvxMemoryStream> TvxFlateFilter::CompressStream(TvxStream& source, uint8_t level) {
  std::string holder;
  return StreamAtStart(LibDeflateCompress(StreamBytes(source, holder), LibDeflateLevel(level)));
}

std::string TvxFlateFilter::CompressString(std::string_view data, uint8_t level) {
  return LibDeflateCompress(data, LibDeflateLevel(level));
}

std::unique_ptr<TvxMemoryStream> TvxFlateFilter::DecodeStream(TvxStream& source) {
  if (auto* memory = dynamic_cast<TvxMemoryStream*>(&source)) return StreamAtStart(DecodeString(memory->View()));
  // Other streams are inflated as they are read.
  source.SetPosition(0);
  TDecompressionStream z(&source);
  z.SetOutputLimit(inflateLimit_);
  std::string out;
  TvxBudgetReservation reservation;
  size_t piece = 65536;
  for (;;) {
    size_t used = out.size();
    reservation.GrowTo(int64_t(used + piece));
    out.resize(used + piece);
    int64_t got = z.Read(out.data() + used, int64_t(piece));
    out.resize(used + size_t(got));
    if (got < int64_t(piece)) break;
    piece = std::min<size_t>(piece * 2, size_t(1) << 26);
  }
  return StreamAtStart(std::move(out));
}

std::string TvxFlateFilter::DecodeString(std::string_view data) {
  // Intact data takes the fast path; anything else is zlib's to answer.
  if (std::optional<std::string> whole = LibDeflateDecompress(data, inflateLimit_)) return std::move(*whole);
  return InflateBytes(data, inflateLimit_);
}

// --------------------------------------------------------------- RunLength

std::unique_ptr<TvxMemoryStream> TvxRLEFilter::EncodeStream(TvxStream& source) {
  std::string holder;
  return StreamAtStart(EncodeString(StreamBytes(source, holder)));
}

std::unique_ptr<TvxMemoryStream> TvxRLEFilter::DecodeStream(TvxStream& source) {
  std::string holder;
  return StreamAtStart(DecodeString(StreamBytes(source, holder)));
}

std::string TvxRLEFilter::DecodeString(std::string_view data) {
  const size_t length = data.size();
  if (length == 0 || uint8_t(data[length - 1]) != 128) throw TvxException(res::SRLEEndOfDataWrong);
  std::string out;
  TvxBudgetReservation reservation;
  reservation.GrowTo(int64_t(length));
  out.reserve(length);
  // The final end-of-data byte is never interpreted; every run must end
  // before it.
  size_t p = 0;
  while (p + 1 < length) {
    unsigned b = uint8_t(data[p]);
    if (b < 128) {
      if (p + b + 3 > length) throw TvxException(res::SRLEUnexpectedEOF);
      out.append(data.data() + p + 1, b + 1);
      p += b + 2;
    } else if (b == 128) {
      throw TvxException(res::SRLEPrematureEndOfData);
    } else {
      if (p + 3 > length) throw TvxException(res::SRLEUnexpectedEOF);
      if (out.size() + (257 - b) > out.capacity()) reservation.GrowTo(int64_t(2 * out.capacity() + 257));
      out.append(257 - b, data[p + 1]);
      p += 2;
    }
  }
  return out;
}

namespace {

class TRunLengthEncoder {
 public:
  TRunLengthEncoder(std::string_view data, std::string& out) : data_(data), out_(out) {}

  // Literal bytes are always a contiguous piece of the input that ends where
  // the current group of equal bytes begins, so they are kept as a range.
  void Run() {
    const size_t n = data_.size();
    if (n > 0) {
      size_t groupStart = 0;
      size_t count = 1;
      for (size_t i = 1; i < n; ++i) {
        if (data_[i] == data_[i - 1]) {
          if (++count == 3 && litLength_ > 0) EmitLiteral();
          continue;
        }
        // The group [groupStart, i) has ended.
        if (count >= 3) {
          EmitRepeat(data_[groupStart], count);
        } else if (count == 2) {
          if (litLength_ == 0) {
            EmitRepeat(data_[groupStart], 2);
          } else if (i == n - 1 || data_[i] != data_[i + 1]) {
            AddToLiteral(groupStart, 2);
          } else {
            // The next byte begins another pair: keep this pair a repeat.
            EmitLiteral();
            EmitRepeat(data_[groupStart], 2);
          }
        } else {
          AddToLiteral(groupStart, 1);
        }
        groupStart = i;
        count = 1;
      }
      if (count == 1) AddToLiteral(groupStart, 1);
      if (litLength_ > 0) EmitLiteral();
      if (count >= 2) EmitRepeat(data_[groupStart], count);
    }
    out_.push_back(char(128));
  }

 private:
  void AddToLiteral(size_t start, size_t count) {
    if (litLength_ == 0) litStart_ = start;
    litLength_ += count;
  }

  void EmitLiteral() {
    const char* p = data_.data() + litStart_;
    size_t k = litLength_;
    while (k > 128) {
      out_.push_back(char(127));
      out_.append(p, 128);
      p += 128;
      k -= 128;
    }
    out_.push_back(char(k - 1));
    out_.append(p, k);
    litLength_ = 0;
  }

  void EmitRepeat(char value, size_t count) {
    while (count > 128) {
      out_.push_back(char(129));
      out_.push_back(value);
      count -= 128;
    }
    out_.push_back(char((257 - count) % 256));
    out_.push_back(value);
  }

  std::string_view data_;
  std::string& out_;
  size_t litStart_ = 0;
  size_t litLength_ = 0;
};

}  // namespace

std::string TvxRLEFilter::EncodeString(std::string_view data) {
  std::string out;
  out.reserve(data.size() + data.size() / 128 + 2);
  TRunLengthEncoder(data, out).Run();
  return out;
}

// ---------------------------------------------------------------- ASCIIHex

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

// Classes of input bytes of the ASCIIHex decoder: 0..15 digit values.
constexpr int8_t kHexBlank = -1;
constexpr int8_t kHexEnd = -2;
constexpr int8_t kHexIllegal = -3;

constexpr std::array<int8_t, 256> MakeHexClasses() {
  std::array<int8_t, 256> t{};
  for (auto& v : t) v = kHexIllegal;
  for (int c = '0'; c <= '9'; ++c) t[size_t(c)] = int8_t(c - '0');
  for (int c = 'A'; c <= 'F'; ++c) t[size_t(c)] = t[size_t(c + 32)] = int8_t(c - 'A' + 10);
  t[' '] = t['\n'] = t['\r'] = t['\t'] = kHexBlank;
  t['>'] = kHexEnd;
  return t;
}
constexpr std::array<int8_t, 256> kHexClasses = MakeHexClasses();

}  // namespace

std::string TvxAsciiHexFilter::EncodeString(std::string_view data) {
  std::string out(data.size() * 2 + 1, '>');
  char* p = out.data();
  for (unsigned char c : data) {
    *p++ = kHexDigits[c >> 4];
    *p++ = kHexDigits[c & 15];
  }
  return out;
}

std::unique_ptr<TvxMemoryStream> TvxAsciiHexFilter::EncodeStream(TvxStream& source) {
  std::string holder;
  return StreamAtEnd(EncodeString(StreamBytes(source, holder)));
}

std::string TvxAsciiHexFilter::DecodeString(std::string_view data) {
  if (data.empty() || data.back() != '>') throw TvxException(res::SEndOfDataWrong);
  std::string out;
  out.reserve(data.size() / 2);
  int high = -1;
  for (unsigned char c : data) {
    int8_t k = kHexClasses[c];
    if (k >= 0) {
      if (high < 0) {
        high = k;
      } else {
        out.push_back(char((high << 4) | k));
        high = -1;
      }
    } else if (k == kHexEnd) {
      break;
    } else if (k == kHexIllegal) {
      throw TvxException(res::SIllegalCharacter);
    }
  }
  if (high >= 0) out.push_back(char(high << 4));
  return out;
}

std::unique_ptr<TvxMemoryStream> TvxAsciiHexFilter::DecodeStream(TvxStream& source) {
  std::string holder;
  return StreamAtEnd(DecodeString(StreamBytes(source, holder)));
}

// ----------------------------------------------------------------- ASCII85

namespace {

constexpr uint64_t kA85Weights[5] = {52200625, 614125, 7225, 85, 1};

void PutGroup(std::string& out, uint32_t value, size_t bytes) {
  char b[4] = {char(value >> 24), char(value >> 16), char(value >> 8), char(value)};
  out.append(b, bytes);
}

}  // namespace

std::string TvxAscii85Filter::EncodeString(std::string_view data) {
  std::string out;
  out.reserve(data.size() / 4 * 5 + 7);
  auto* p = reinterpret_cast<const unsigned char*>(data.data());
  size_t left = data.size();
  char digits[5];
  auto convert = [&digits](uint32_t v) {
    for (int i = 4; i >= 0; --i) {
      digits[i] = char('!' + v % 85);
      v /= 85;
    }
  };
  for (; left >= 4; p += 4, left -= 4) {
    uint32_t v = uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
    if (v == 0) {
      out.push_back('z');
    } else {
      convert(v);
      out.append(digits, 5);
    }
  }
  if (left > 0) {
    // A final partial group: zero-padded, never "z", k + 1 characters.
    uint32_t v = 0;
    for (size_t i = 0; i < 4; ++i) v = v << 8 | (i < left ? p[i] : 0u);
    convert(v);
    out.append(digits, left + 1);
  }
  out.append("~>");
  return out;
}

std::unique_ptr<TvxMemoryStream> TvxAscii85Filter::EncodeStream(TvxStream& source) {
  std::string holder;
  return StreamAtEnd(EncodeString(StreamBytes(source, holder)));
}

std::string TvxAscii85Filter::DecodeString(std::string_view data) {
  if (data.size() < 2 || data.substr(data.size() - 2) != "~>")
    throw TvxException(res::SEndOfDataWrong);
  data.remove_suffix(2);
  std::string out;
  out.reserve(data.size() / 5 * 4 + 4);
  uint64_t value = 0;
  size_t digits = 0;
  for (unsigned char c : data) {
    if (c == 'z') {
      if (digits != 0) throw TvxException(res::SZInPosition);
      out.append(4, '\0');
    } else if (c == '\t' || c == '\n' || c == '\r' || c == ' ') {
      continue;
    } else if (c >= '!' && c <= 'u') {
      value += uint64_t(c - '!') * kA85Weights[digits];
      if (++digits == 5) {
        if (value > 0xFFFFFFFFu) throw TvxException(res::SAscii85GroupTooLarge);
        PutGroup(out, uint32_t(value), 4);
        value = 0;
        digits = 0;
      }
    } else {
      throw TvxException(res::SIllegalCharacter);
    }
  }
  if (digits == 1) throw TvxException(res::SSingleFinalCharacter);
  if (digits > 1) {
    // Missing digits count as "u"; a valid encoding never overflows here.
    for (size_t i = digits; i < 5; ++i) value += 84 * kA85Weights[i];
    if (value > 0xFFFFFFFFu) throw TvxException(res::SAscii85GroupTooLarge);
    PutGroup(out, uint32_t(value), digits - 1);
  }
  return out;
}

std::unique_ptr<TvxMemoryStream> TvxAscii85Filter::DecodeStream(TvxStream& source) {
  std::string holder;
  return StreamAtEnd(DecodeString(StreamBytes(source, holder)));
}

// --------------------------------------------------------------------- LZW

TvxLZWFilter::TvxLZWFilter() {
  // Entries 0..255 are the single bytes; 256 is a one-byte placeholder for the
  // clear code. New entries only ever go after these, so they stay as made.
  for (int i = 0; i <= 256; ++i) {
    prefix_[size_t(i)] = -1;
    suffix_[size_t(i)] = uint8_t(i & 0xFF);
    length_[size_t(i)] = 1;
  }
  ResetTable();
}

void TvxLZWFilter::ResetTable() { count_ = 257; }

std::string TvxLZWFilter::DecodeString(std::string_view data) {
  ResetTable();
  std::string out;
  TvxBudgetReservation reservation;
  reservation.GrowTo(int64_t(std::min<uint64_t>(uint64_t(data.size()) * 3, uint64_t(1) << 26)));
  out.reserve(size_t(std::min<uint64_t>(uint64_t(data.size()) * 3, uint64_t(1) << 26)));
  auto* in = reinterpret_cast<const unsigned char*>(data.data());
  const size_t size = data.size();
  size_t pos = 0;
  uint32_t bitBuffer = 0;  // only the low `bitCount` bits are meaningful
  int bitCount = 0;
  int width = 9;      // bits read per code
  int valueBits = 9;  // bits of a code that make its value
  int previous = -1;
  char first = 0;  // first byte of the most recent output piece

  for (;;) {
    while (bitCount <= 16 && pos < size) {
      bitBuffer = bitBuffer << 8 | in[pos++];
      bitCount += 8;
    }
    if (bitCount < width) break;
    int code = int(bitBuffer >> (bitCount - width)) & ((1 << width) - 1);
    bitCount -= width;
    code &= (1 << valueBits) - 1;

    if (code == 256) {
      ResetTable();
      width = valueBits = 9;
      continue;
    }
    if (code == 257) break;

    // The piece is an entry (`source`) plus, in the code-not-yet-known case,
    // the first byte of the previous piece.
    int source = code;
    bool addFirst = false;
    if (code >= count_) {
      if (previous < 0 || previous >= count_)
        throw TvxException(Format(res::SLZWCodeOutOfRange, {code}));
      source = previous;
      addFirst = true;
    }
    const size_t pieceLength = size_t(length_[size_t(source)]) + (addFirst ? 1 : 0);
    const size_t start = out.size();
    if (int64_t(start + pieceLength) > outputLimit_)
      throw TvxException(Format(res::SInflateLimit, {std::to_string(outputLimit_)}));
    if (start + pieceLength > out.capacity()) reservation.GrowTo(int64_t(2 * (start + pieceLength)));
    out.resize(start + pieceLength);
    char* dst = out.data() + start;
    if (addFirst) dst[pieceLength - 1] = first;
    int c = source;
    for (size_t i = length_[size_t(source)]; i > 0 && c >= 0; --i) {
      dst[i - 1] = char(suffix_[size_t(c)]);
      c = prefix_[size_t(c)];
    }
    first = dst[0];

    // New entry: the previous code's entry (when it is in the table) plus the
    // first byte of this piece.
    const int prefix = previous >= 0 && previous < count_ ? previous : -1;
    prefix_[size_t(count_)] = int16_t(prefix);
    suffix_[size_t(count_)] = uint8_t(first);
    length_[size_t(count_)] = uint16_t((prefix >= 0 ? length_[size_t(prefix)] : 0) + 1);
    ++count_;
    previous = code;

    if (count_ == 511) {
      width = valueBits = 10;
    } else if (count_ == 1023) {
      width = valueBits = 11;
    } else if (count_ == 2047) {
      width = valueBits = 12;
    } else if (count_ == kMaxEntries) {
      ResetTable();
      valueBits = 9;
    }
  }
  if (out.capacity() - out.size() > std::max<size_t>(out.size() / 4, 1 << 20)) out.shrink_to_fit();
  return out;
}

std::unique_ptr<TvxMemoryStream> TvxLZWFilter::DecodeStream(TvxStream& source) {
  std::string holder;
  return StreamAtEnd(DecodeString(StreamBytes(source, holder)));
}

}  // namespace vx
