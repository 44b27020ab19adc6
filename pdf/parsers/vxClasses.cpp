#include "pdf/parsers/vxClasses.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>

#include "pdf/util/vxExceptions.h"
#include "pdf/util/vxPDFResStrs.h"
#include "pdf/util/vxThreads.h"
#include "pdf/util/vxUtils.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
// Under AddressSanitizer the bytes of a file not read yet are poisoned: a
// parse that looked at one would be reported.
#define VX_POISON(address, size) ASAN_POISON_MEMORY_REGION(address, size)
#define VX_UNPOISON(address, size) ASAN_UNPOISON_MEMORY_REGION(address, size)
#else
#define VX_POISON(address, size) ((void)(address), (void)(size))
#define VX_UNPOISON(address, size) ((void)(address), (void)(size))
#endif

namespace vx {

std::string TvxStream::ReadRest() {
  std::string out;
  int64_t remaining = Size() - Position();
  if (remaining <= 0) return out;
  out.resize(size_t(remaining));
  int64_t got = Read(out.data(), remaining);
  out.resize(size_t(std::max<int64_t>(got, 0)));
  return out;
}

// ---------------------------------------------------------------- memory stream

TvxMemoryStream::TvxMemoryStream(std::shared_ptr<const std::string> buffer, size_t offset,
                                 size_t length) {
  if (!buffer || offset > buffer->size()) return;
  view_ = buffer->data() + offset;
  length_ = std::min(length, buffer->size() - offset);
  shared_ = std::move(buffer);
}

TvxMemoryStream::TvxMemoryStream(std::shared_ptr<const void> keepAlive, std::string_view bytes)
    : shared_(std::move(keepAlive)) {
  if (!shared_) return;
  view_ = bytes.data();
  length_ = bytes.size();
}

std::string& TvxMemoryStream::Own() {
  MakeOwned();
  if (!own_) own_ = std::make_unique<std::string>();
  return *own_;
}

void TvxMemoryStream::MakeOwned() {
  if (!shared_) return;
  own_ = std::make_unique<std::string>(view_, length_);
  shared_.reset();
  view_ = nullptr;
  length_ = 0;
}

int64_t TvxMemoryStream::Read(void* buffer, int64_t count) {
  std::string_view v = View();
  if (count <= 0 || position_ >= int64_t(v.size())) return 0;
  int64_t n = std::min<int64_t>(count, int64_t(v.size()) - position_);
  std::memcpy(buffer, v.data() + position_, size_t(n));
  position_ += n;
  return n;
}

int64_t TvxMemoryStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  MakeOwned();
  size_t end = size_t(position_) + size_t(count);
  std::string& own = Own();
  if (end > own.size()) own.resize(end);
  std::memcpy(own.data() + position_, buffer, size_t(count));
  position_ = int64_t(end);
  return count;
}

int64_t TvxMemoryStream::Seek(int64_t offset, TvxSeekOrigin origin) {
  int64_t base = origin == TvxSeekOrigin::soBeginning ? 0
                 : origin == TvxSeekOrigin::soCurrent ? position_
                                                      : Size();
  position_ = std::max<int64_t>(0, base + offset);
  return position_;
}

void TvxMemoryStream::Assign(std::string bytes) {
  shared_.reset();
  view_ = nullptr;
  length_ = 0;
  own_ = bytes.empty() ? nullptr : std::make_unique<std::string>(std::move(bytes));
  position_ = 0;
}

void TvxMemoryStream::SetSize(int64_t size) {
  MakeOwned();
  std::string& own = Own();
  own.resize(size_t(std::max<int64_t>(size, 0)));
  position_ = std::min<int64_t>(position_, int64_t(own.size()));
}

std::unique_ptr<TvxMemoryStream> TvxMemoryStream::Copy() const {
  if (shared_) return std::make_unique<TvxMemoryStream>(shared_, View());
  return std::make_unique<TvxMemoryStream>(std::string(View()));
}

// ------------------------------------------------------------------ file stream

namespace {

std::string SystemReason() { return std::strerror(errno); }

}  // namespace

TvxFileStream::TvxFileStream(const std::string& fileName, Mode mode) : fileName_(fileName) {
  file_ = std::fopen(fileName.c_str(), mode == Mode::fmOpenRead ? "rb" : "wb");
  if (!file_) {
    std::string text = "Cannot open file \"" + fileName + "\". " + SystemReason();
    if (mode == Mode::fmOpenRead) throw EReadError(text);
    throw EWriteError(text);
  }
}

TvxFileStream::~TvxFileStream() {
  if (file_) std::fclose(file_);
}

int64_t TvxFileStream::Read(void* buffer, int64_t count) {
  if (count <= 0) return 0;
  return int64_t(std::fread(buffer, 1, size_t(count), file_));
}

int64_t TvxFileStream::ReadAt(void* buffer, int64_t count, int64_t offset) const {
  int64_t done = 0;
  while (done < count) {
    ssize_t got = ::pread(fileno(file_), static_cast<char*>(buffer) + done, size_t(count - done), off_t(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += got;
  }
  return done;
}

int64_t TvxFileStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  size_t n = std::fwrite(buffer, 1, size_t(count), file_);
  if (n != size_t(count))
    throw EWriteError("Cannot write to \"" + fileName_ + "\". " + SystemReason());
  return int64_t(n);
}

int64_t TvxFileStream::Seek(int64_t offset, TvxSeekOrigin origin) {
  int whence = origin == TvxSeekOrigin::soBeginning ? SEEK_SET
               : origin == TvxSeekOrigin::soCurrent ? SEEK_CUR
                                                    : SEEK_END;
  if (!(offset == 0 && origin == TvxSeekOrigin::soCurrent)) fseeko(file_, offset, whence);
  return int64_t(ftello(file_));
}

int64_t TvxFileStream::Size() const {
  struct stat st;
  std::fflush(file_);
  if (fstat(fileno(file_), &st) != 0) return 0;
  return int64_t(st.st_size);
}

void TvxFileStream::Flush() {
  if (!file_) return;
  if (std::fflush(file_) != 0 || fsync(fileno(file_)) != 0)
    throw EWriteError("Cannot write to \"" + fileName_ + "\". " + SystemReason());
}

void TvxFileStream::Close() {
  if (!file_) return;
  std::FILE* f = file_;
  file_ = nullptr;
  if (std::fclose(f) != 0)
    throw EWriteError("Cannot write to \"" + fileName_ + "\". " + SystemReason());
}

namespace {

// Maps the pages of a large fresh buffer in one call instead of one fault per
// page; on a file of tens of megabytes that is a quarter of the reading time.
// Only a hint: kernels without it leave the faults to happen as usual.
// The pages are not asked to be 2 MB ones: where memory is fragmented (after
// any large program has run) the kernel compacts it first to find them, and
// a 54 MB file then took half a second longer to read instead of a few
// milliseconds less.
void PrefaultForWriting(char* buffer, size_t size) {
#ifdef MADV_POPULATE_WRITE
  constexpr size_t kWorthIt = size_t(4) << 20;
  if (size < kWorthIt) return;
  const uintptr_t page = uintptr_t(sysconf(_SC_PAGESIZE));
  const uintptr_t begin = (uintptr_t(buffer) + page - 1) & ~(page - 1);
  const uintptr_t end = (uintptr_t(buffer) + size) & ~(page - 1);
  if (end <= begin) return;
  madvise(reinterpret_cast<void*>(begin), end - begin, MADV_POPULATE_WRITE);
#else
  (void)buffer;
  (void)size;
#endif
}

}  // namespace

std::shared_ptr<const std::string> ReadWholeFile(const std::string& fileName) {
  TvxFileStream file(fileName, TvxFileStream::Mode::fmOpenRead);
  const size_t size = size_t(std::max<int64_t>(file.Size(), 0));
  auto data = std::make_shared<std::string>();
  data->reserve(size);
  // Faulting the pages in and copying from the system's cache are both work
  // for the processor: on a large file each half goes to a core of its own
  // (half the time of one reader on two cores).
  constexpr size_t kSplitFrom = size_t(16) << 20;
  const bool split = size >= kSplitFrom && std::thread::hardware_concurrency() > 1;
  const size_t half = split ? size / 2 : size;
  std::thread second;
  if (split) second = StartThreadBeside([&] { PrefaultForWriting(data->data() + half, size - half); });
  PrefaultForWriting(data->data(), half);
  if (second.joinable()) second.join();
  data->resize(size);
  int64_t secondGot = 0;
  if (split)
    second = StartThreadBeside([&] { secondGot = file.ReadAt(data->data() + half, int64_t(size - half), int64_t(half)); });
  const int64_t firstGot = file.ReadAt(data->data(), int64_t(half), 0);
  if (second.joinable()) second.join();
  // A file cut short while it was read keeps what came before the cut.
  data->resize(firstGot < int64_t(half) ? size_t(firstGot) : half + size_t(secondGot));
  return data;
}

// ------------------------------------------------------------- file on demand

TvxFileOnDemand::TvxFileOnDemand(const std::string& fileName) : fileName_(fileName) {
  fd_ = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st;
  if (fd_ < 0 || fstat(fd_, &st) != 0) {
    std::string text = "Cannot open file \"" + fileName + "\". " + SystemReason();
    if (fd_ >= 0) ::close(fd_);
    throw EReadError(text);
  }
  size_ = size_t(std::max<off_t>(st.st_size, 0));
  // Not value-initialised: the pages of chunks never read are never touched.
  buffer_ = std::make_unique_for_overwrite<char[]>(std::max<size_t>(size_, 1));
  VX_POISON(buffer_.get(), size_);
  read_.assign((size_ + kChunkSize - 1) / kChunkSize, false);
  unread_ = read_.size();
}

TvxFileOnDemand::~TvxFileOnDemand() {
  VX_UNPOISON(buffer_.get(), size_);
  if (fd_ >= 0) ::close(fd_);
}

void TvxFileOnDemand::ReadChunk(size_t chunk) {
  const size_t begin = chunk * kChunkSize;
  const size_t count = std::min(kChunkSize, size_ - begin);
  VX_UNPOISON(buffer_.get() + begin, count);
  size_t done = 0;
  while (done < count) {
    ssize_t got = ::pread(fd_, buffer_.get() + begin + done, count - done, off_t(begin + done));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) failure_ = Format(res::SFileReadFailed, {fileName_, SystemReason()});
    // The file is shorter than when it was opened: what the document
    // already holds may no longer match it.
    if (got == 0) failure_ = Format(res::SFileChangedWhileRead, {fileName_});
    if (got <= 0) throw EReadError(failure_);
    done += size_t(got);
  }
  read_[chunk] = true;
  --unread_;
}

size_t TvxFileOnDemand::ReadInto(char* buffer, size_t count, size_t offset) const {
  size_t done = 0;
  while (done < count) {
    ssize_t got = ::pread(fd_, buffer + done, count - done, off_t(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) throw EReadError(Format(res::SFileReadFailed, {fileName_, SystemReason()}));
    if (got == 0) break;
    done += size_t(got);
  }
  return done;
}

int TvxFileOnDemand::CopyTo(int fd, const std::atomic<bool>* stop) const {
  loff_t in = 0;
  const loff_t size = loff_t(size_);
  const off_t out = std::max<off_t>(::lseek(fd, 0, SEEK_CUR), 0);
  bool inKernel = true;
  std::unique_ptr<char[]> buffer;
  // Each piece copied is handed to the disk's write-back at once, so that
  // the sync before the output replaces its target has little left to do.
  constexpr loff_t kPiece = loff_t(8) << 20;
  loff_t started = 0;
  auto startWriteBack = [&] {
    if (in - started < kPiece && in < size) return;
    ::sync_file_range(fd, out + started, in - started, SYNC_FILE_RANGE_WRITE);
    started = in;
  };
  while (in < size) {
    if (stop && *stop) return ECANCELED;
    const size_t wanted = size_t(std::min<loff_t>(size - in, kPiece));
    if (inKernel) {
      ssize_t n = ::copy_file_range(fd_, &in, fd, nullptr, wanted, 0);
      if (n > 0) {
        startWriteBack();
        continue;
      }
      if (n == 0) throw EReadError(Format(res::SFileChangedWhileRead, {fileName_}));
      if (errno == EINTR) continue;
      // Files the kernel cannot copy between (another file system on an
      // older kernel, special files): the bytes go through a buffer.
      if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP && errno != EBADF &&
          errno != ETXTBSY && errno != EPERM)
        return errno;
      inKernel = false;
    }
    constexpr size_t kBuffer = size_t(1) << 20;
    if (!buffer) buffer = std::make_unique<char[]>(kBuffer);
    const size_t got = ReadInto(buffer.get(), std::min(wanted, kBuffer), size_t(in));
    if (got == 0) throw EReadError(Format(res::SFileChangedWhileRead, {fileName_}));
    for (size_t done = 0; done < got;) {
      ssize_t n = ::write(fd, buffer.get() + done, got - done);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return errno;
      done += size_t(n);
    }
    in += loff_t(got);
    startWriteBack();
  }
  return 0;
}

size_t TvxFileOnDemand::Ensure(size_t at, size_t count) {
  if (at >= size_) return size_;
  const size_t end = count >= size_ - at ? size_ : at + count;
  size_t chunk = at / kChunkSize;
  for (; chunk * kChunkSize < end; ++chunk)
    if (!read_[chunk]) ReadChunk(chunk);
  // The run goes on through chunks read earlier.
  while (chunk < read_.size() && read_[chunk]) ++chunk;
  return std::min(size_, chunk * kChunkSize);
}

bool FileExists(const std::string& fileName) {
  struct stat st;
  return stat(fileName.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// ----------------------------------------------------------- big-endian stream

uint8_t TvxExtMemStream::ReadByte() {
  uint8_t b = 0;
  Read(&b, 1);
  return b;
}

uint16_t TvxExtMemStream::ReadUInt16BE() {
  uint8_t b[2] = {0, 0};
  Read(b, 2);
  return uint16_t(b[0] << 8 | b[1]);
}

uint32_t TvxExtMemStream::ReadUInt32BE() {
  uint8_t b[4] = {0, 0, 0, 0};
  Read(b, 4);
  return uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3];
}

std::string TvxExtMemStream::ReadBytes(int64_t count) {
  std::string out(size_t(std::max<int64_t>(count, 0)), '\0');
  out.resize(size_t(Read(out.data(), int64_t(out.size()))));
  return out;
}

void TvxExtMemStream::SkipBytes(int64_t count) {
  int64_t target = std::clamp<int64_t>(Position() + count, 0, Size());
  SetPosition(target);
}

void TvxExtMemStream::WriteByte(uint8_t value) { Write(&value, 1); }

void TvxExtMemStream::WriteString(std::string_view bytes) {
  for (char c : bytes) WriteByte(uint8_t(c));
}

void TvxExtMemStream::WriteUInt16BE(uint16_t value) {
  uint8_t b[2] = {uint8_t(value >> 8), uint8_t(value)};
  Write(b, 2);
}

void TvxExtMemStream::WriteUInt32BE(uint32_t value) {
  uint8_t b[4] = {uint8_t(value >> 24), uint8_t(value >> 16), uint8_t(value >> 8), uint8_t(value)};
  Write(b, 4);
}

void TvxExtMemStream::Align4() {
  Seek(0, TvxSeekOrigin::soEnd);
  padCount_ = (4 - Size() % 4) % 4;
  for (int64_t i = 0; i < padCount_; ++i) WriteByte(0);
}

// --------------------------------------------------------------------- filters

TvxReadOnlyFilter::TvxReadOnlyFilter(TvxStream* source) : source_(source) {
  if (!source) throw EInvalidStream(res::SInvalidStream);
  if (auto* mem = dynamic_cast<TvxMemoryStream*>(source)) {
    data_ = mem->View();  // viewed in place; the owner keeps it alive
  } else {
    // Any other stream is read whole, once.
    auto buffer = std::make_shared<std::string>();
    int64_t saved = source->Position();
    source->SetPosition(0);
    buffer->resize(size_t(std::max<int64_t>(source->Size(), 0)));
    int64_t got = source->Read(buffer->data(), int64_t(buffer->size()));
    buffer->resize(size_t(std::max<int64_t>(got, 0)));
    source->SetPosition(saved);
    buffer_ = std::move(buffer);
    data_ = *buffer_;
  }
}

TvxReadOnlyFilter::TvxReadOnlyFilter(std::shared_ptr<const std::string> buffer)
    : source_(nullptr), buffer_(std::move(buffer)) {
  if (!buffer_) throw EInvalidStream(res::SInvalidStream);
  data_ = *buffer_;
}

int64_t TvxReadOnlyFilter::Read(void* buffer, int64_t count) {
  if (count <= 0 || pos_ >= data_.size()) return 0;
  size_t n = std::min(size_t(count), data_.size() - pos_);
  std::memcpy(buffer, data_.data() + pos_, n);
  pos_ += n;
  return int64_t(n);
}

int64_t TvxReadOnlyFilter::Write(const void*, int64_t) { throw EReadError(res::SReadOnlyCannotWrite); }

int64_t TvxReadOnlyFilter::Seek(int64_t offset, TvxSeekOrigin origin) {
  if (offset == -1 && origin == TvxSeekOrigin::soBeginning) return -1;
  int64_t base = origin == TvxSeekOrigin::soBeginning ? 0
                 : origin == TvxSeekOrigin::soCurrent ? int64_t(pos_)
                                                      : int64_t(data_.size());
  pos_ = size_t(std::clamp<int64_t>(base + offset, 0, int64_t(data_.size())));
  return int64_t(pos_);
}

TvxWriteOnlyFilter::TvxWriteOnlyFilter(TvxStream* source) : source_(source) {
  if (!source) throw EInvalidStream(res::SInvalidStream);
}

int64_t TvxWriteOnlyFilter::Read(void*, int64_t) { throw EReadError(res::SWriteOnlyCannotRead); }

int64_t TvxWriteOnlyFilter::Write(const void* buffer, int64_t count) {
  return source_->Write(buffer, count);
}

int64_t TvxWriteOnlyFilter::Seek(int64_t offset, TvxSeekOrigin origin) {
  return source_->Seek(offset, origin);
}

std::string TvxRandomAccessFilter::ReadString(size_t count) {
  std::string out(PeekView(count));
  pos_ += out.size();
  return out;
}

std::string TvxRandomAccessFilter::PeekString(size_t count) const {
  return std::string(PeekView(count));
}

std::string_view TvxRandomAccessFilter::PeekView(size_t count) const {
  if (pos_ + count > data_.size()) EndMet = true;
  if (pos_ >= data_.size()) return {};
  return data_.substr(pos_, count);
}

}  // namespace vx
