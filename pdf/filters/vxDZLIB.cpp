#include "pdf/filters/vxDZLIB.h"

#include <zlib.h>

#include <algorithm>
#include <climits>

#include "pdf/filters/vxMemoryBudget.h"
#include "pdf/util/vxExceptions.h"
#include "pdf/util/vxPDFResStrs.h"
#include "pdf/util/vxUtils.h"

namespace vx {

namespace {

// zlib counts in uInt; larger requests are split into pieces of this size.
constexpr int64_t kMaxZChunk = int64_t(1) << 30;

[[noreturn]] void RaiseInflate(int status) { throw EZDecompressionError(zError(status)); }
[[noreturn]] void RaiseDeflate(int status) { throw EZCompressionError(zError(status)); }

[[noreturn]] void RaiseInflateLimit(int64_t limit) {
  throw EZDecompressionError(Format(res::SInflateLimit, {std::to_string(limit)}));
}

int CheckDeflate(int status) {
  if (status < 0) RaiseDeflate(status);
  return status;
}

}  // namespace

// ------------------------------------------------------------------- base

TCustomZStream::TCustomZStream(TvxStream* strm)
    : FStrm(strm),
      FStrmPos(0),
      FStrmStartPos(0),
      FZRec(std::make_unique<z_stream_s>()),
      FBuffer(std::make_unique<unsigned char[]>(kBufferSize)) {
  if (!FStrm) throw EInvalidStream(res::SInvalidStream);
  FStrmPos = FStrmStartPos = FStrm->Position();
}

TCustomZStream::~TCustomZStream() = default;

// ------------------------------------------------------------ compression

TCompressionStream::TCompressionStream(int zlibLevel, TvxStream* dest) : TCustomZStream(dest) {
  CheckDeflate(deflateInit(FZRec.get(), zlibLevel));
  FZRec->next_out = FBuffer.get();
  FZRec->avail_out = uInt(kBufferSize);
}

TCompressionStream::~TCompressionStream() {
  // A destructor cannot report a failure; callers that care call Finish.
  try {
    Finish();
  } catch (...) {
  }
  deflateEnd(FZRec.get());
}

void TCompressionStream::FlushBuffer(int64_t count) {
  if (count > 0) {
    if (FStrm->Position() != FStrmPos) FStrm->SetPosition(FStrmPos);
    FStrm->Write(FBuffer.get(), count);
    FStrmPos = FStrm->Position();
  }
  FZRec->next_out = FBuffer.get();
  FZRec->avail_out = uInt(kBufferSize);
}

int64_t TCompressionStream::Read(void*, int64_t) {
  throw EZCompressionError(res::SInvalidZStreamOperation);
}

int64_t TCompressionStream::Write(const void* buffer, int64_t count) {
  if (finished_) throw EZCompressionError(res::SInvalidZStreamOperation);
  if (count <= 0) return 0;
  auto* p = static_cast<const unsigned char*>(buffer);
  int64_t left = count;
  while (left > 0) {
    int64_t chunk = std::min(left, kMaxZChunk);
    FZRec->next_in = const_cast<Bytef*>(p);
    FZRec->avail_in = uInt(chunk);
    while (FZRec->avail_in > 0) {
      CheckDeflate(deflate(FZRec.get(), Z_NO_FLUSH));
      if (FZRec->avail_out == 0) FlushBuffer(int64_t(kBufferSize));
    }
    p += chunk;
    left -= chunk;
  }
  FZRec->next_in = nullptr;
  return count;
}

void TCompressionStream::Finish() {
  if (finished_) return;
  finished_ = true;
  FZRec->next_in = nullptr;
  FZRec->avail_in = 0;
  for (;;) {
    int status = CheckDeflate(deflate(FZRec.get(), Z_FINISH));
    if (status == Z_STREAM_END) break;
    // Z_OK: the buffer is full and more output is pending.
    FlushBuffer(int64_t(kBufferSize - FZRec->avail_out));
  }
  FlushBuffer(int64_t(kBufferSize - FZRec->avail_out));
}

int64_t TCompressionStream::Seek(int64_t offset, TvxSeekOrigin origin) {
  if (offset == 0 && origin == TvxSeekOrigin::soCurrent) return int64_t(FZRec->total_in);
  throw EZCompressionError(res::SInvalidZStreamOperation);
}

int64_t TCompressionStream::Size() const {
  throw EZCompressionError(res::SInvalidZStreamOperation);
}

// ---------------------------------------------------------- decompression

TDecompressionStream::TDecompressionStream(TvxStream* source) : TCustomZStream(source) {
  int status = inflateInit(FZRec.get());
  if (status < 0) RaiseInflate(status);
  FZRec->next_in = FBuffer.get();
  FZRec->avail_in = 0;
}

TDecompressionStream::~TDecompressionStream() { inflateEnd(FZRec.get()); }

int64_t TDecompressionStream::Read(void* buffer, int64_t count) {
  if (count <= 0 || streamEnd_) return 0;
  if (FStrm->Position() != FStrmPos) FStrm->SetPosition(FStrmPos);
  auto* out = static_cast<unsigned char*>(buffer);
  int64_t produced = 0;
  bool sourceDry = false;
  while (produced < count && !streamEnd_ && !sourceDry) {
    uInt room = uInt(std::min(count - produced, kMaxZChunk));
    FZRec->next_out = out + produced;
    FZRec->avail_out = room;
    while (FZRec->avail_out > 0) {
      if (FZRec->avail_in == 0) {
        int64_t got = FStrm->Read(FBuffer.get(), int64_t(kBufferSize));
        if (got <= 0) {
          sourceDry = true;  // truncated data: answer what was decoded
          break;
        }
        FStrmPos += got;
        FZRec->next_in = FBuffer.get();
        FZRec->avail_in = uInt(got);
      }
      int status = inflate(FZRec.get(), Z_NO_FLUSH);
      if (status == Z_STREAM_END) {
        // Give the bytes after the zlib data back to the source.
        FStrmPos -= FZRec->avail_in;
        FStrm->SetPosition(FStrmPos);
        FZRec->avail_in = 0;
        streamEnd_ = true;
      } else if (status == Z_NEED_DICT || status < 0) {
        // A preset dictionary is never available; without it inflate would
        // answer Z_NEED_DICT for ever.
        RaiseInflate(status);
      }
      if (int64_t(FZRec->total_out) > outputLimit_) RaiseInflateLimit(outputLimit_);
      if (streamEnd_) break;
    }
    produced += int64_t(room - FZRec->avail_out);
  }
  return produced;
}

int64_t TDecompressionStream::Write(const void*, int64_t) {
  throw EZDecompressionError(res::SInvalidZStreamOperation);
}

void TDecompressionStream::Skip(int64_t count) {
  unsigned char scratch[8192];
  while (count > 0) {
    int64_t got = Read(scratch, std::min<int64_t>(count, int64_t(sizeof scratch)));
    if (got <= 0) break;
    count -= got;
  }
}

int64_t TDecompressionStream::Seek(int64_t offset, TvxSeekOrigin origin) {
  int64_t produced = int64_t(FZRec->total_out);
  if (offset == 0 && origin == TvxSeekOrigin::soBeginning) {
    int status = inflateReset(FZRec.get());
    if (status < 0) RaiseInflate(status);
    FZRec->next_in = FBuffer.get();
    FZRec->avail_in = 0;
    FStrm->SetPosition(FStrmStartPos);
    FStrmPos = FStrmStartPos;
    streamEnd_ = false;
  } else if (origin == TvxSeekOrigin::soCurrent && offset >= 0) {
    Skip(offset);
  } else if (origin == TvxSeekOrigin::soBeginning && offset > produced) {
    Skip(offset - produced);
  } else if (origin == TvxSeekOrigin::soEnd && offset == 0) {
    Skip(INT64_MAX);
  } else {
    throw EZDecompressionError(res::SInvalidZStreamOperation);
  }
  return int64_t(FZRec->total_out);
}

int64_t TDecompressionStream::Size() const {
  throw EZDecompressionError(res::SInvalidZStreamOperation);
}

// ---------------------------------------------------------- whole buffers

std::string InflateBytes(std::string_view data, int64_t limit, std::string* damage) {
  std::string out;
  if (data.empty()) return out;
  z_stream z{};
  int status = inflateInit(&z);
  if (status < 0) RaiseInflate(status);
  struct EndGuard {
    z_stream* z;
    ~EndGuard() { inflateEnd(z); }
  } guard{&z};

  // The buffer never grows beyond limit + 1 bytes: reaching that is the error.
  const uint64_t cap = limit < 0 ? 0 : std::min<uint64_t>(uint64_t(limit) + 1, out.max_size());
  TvxBudgetReservation reservation;
  const size_t initial = size_t(std::min<uint64_t>(cap, std::max<uint64_t>(16384, uint64_t(data.size()) * 4)));
  reservation.GrowTo(int64_t(initial));
  out.resize(initial);
  auto* in = reinterpret_cast<const unsigned char*>(data.data());
  size_t inLeft = data.size();
  size_t produced = 0;
  for (;;) {
    if (z.avail_in == 0 && inLeft > 0) {
      size_t chunk = std::min<size_t>(inLeft, size_t(kMaxZChunk));
      z.next_in = const_cast<Bytef*>(in);
      z.avail_in = uInt(chunk);
      in += chunk;
      inLeft -= chunk;
    }
    if (produced == out.size()) {
      if (uint64_t(produced) >= cap) RaiseInflateLimit(limit);
      const size_t grown = size_t(std::min<uint64_t>(cap, uint64_t(out.size()) * 2));
      reservation.GrowTo(int64_t(grown));
      out.resize(grown);
    }
    size_t room = std::min<size_t>(out.size() - produced, size_t(kMaxZChunk));
    z.next_out = reinterpret_cast<Bytef*>(out.data() + produced);
    z.avail_out = uInt(room);
    status = inflate(&z, Z_NO_FLUSH);
    produced += room - z.avail_out;
    if (status == Z_NEED_DICT) RaiseInflate(status);
    if (int64_t(produced) > limit) RaiseInflateLimit(limit);
    if (damage && status == Z_DATA_ERROR) {
      *damage = zError(status);
      break;
    }
    if (status < 0 && status != Z_BUF_ERROR) RaiseInflate(status);
    if (status == Z_STREAM_END) break;
    bool inputUsedUp = z.avail_in == 0 && inLeft == 0;
    if (status == Z_BUF_ERROR) {
      // No progress was possible: either all input is used (truncated data)
      // or, impossibly with room and input, zlib is stuck.
      if (inputUsedUp) break;
      if (z.avail_in > 0 && z.avail_out > 0) RaiseInflate(status);
    } else if (inputUsedUp && z.avail_out > 0) {
      break;  // truncated data: everything decodable has been produced
    }
  }
  out.resize(produced);
  // Growth by doubling can leave up to half the buffer unused; documents keep
  // decoded data for their whole life, so give large surpluses back.
  if (out.capacity() - out.size() > std::max<size_t>(out.size() / 4, 1 << 20)) out.shrink_to_fit();
  return out;
}

namespace {

// Appends everything written to a string; lets DeflateBytes use the adapter
// without a second copy of the output.
class TStringSink : public TvxStream {
 public:
  explicit TStringSink(std::string& out) : out_(out) {}
  int64_t Read(void*, int64_t) override { return 0; }
  int64_t Write(const void* buffer, int64_t count) override {
    if (count > 0) out_.append(static_cast<const char*>(buffer), size_t(count));
    return count;
  }
  int64_t Seek(int64_t, TvxSeekOrigin) override { return int64_t(out_.size()); }
  int64_t Size() const override { return int64_t(out_.size()); }

 private:
  std::string& out_;
};

}  // namespace

std::string DeflateBytes(std::string_view data, int zlibLevel) {
  std::string out;
  out.reserve(data.size() / 2 + 64);
  TStringSink sink(out);
  TCompressionStream z(zlibLevel, &sink);
  z.Write(data.data(), int64_t(data.size()));
  z.Finish();
  return out;
}

}  // namespace vx
