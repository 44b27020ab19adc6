// Byte streams of the library: an abstract stream, a memory stream (which can
// share an immutable buffer, so stream data read from a file needs no copy),
// a file stream, the big-endian memory stream used by font code, and the
// read-only / write-only / random-access views the reader and writer use.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "pdf/objects/vxObjectPool.h"

namespace vx {

enum class TvxSeekOrigin { soBeginning, soCurrent, soEnd };

class TvxStream {
 public:
  virtual ~TvxStream() = default;
  // Reads up to `count` bytes; answers how many were read.
  virtual int64_t Read(void* buffer, int64_t count) = 0;
  // Writes `count` bytes; answers how many were written.
  virtual int64_t Write(const void* buffer, int64_t count) = 0;
  // Moves the position; answers the new position.
  virtual int64_t Seek(int64_t offset, TvxSeekOrigin origin) = 0;
  virtual int64_t Size() const = 0;
  int64_t Position() { return Seek(0, TvxSeekOrigin::soCurrent); }
  void SetPosition(int64_t pos) { Seek(pos, TvxSeekOrigin::soBeginning); }
  void WriteBytes(std::string_view bytes) { Write(bytes.data(), int64_t(bytes.size())); }
  // Reads everything from the current position to the end.
  std::string ReadRest();
};

// A growable in-memory stream. Its bytes are either its own or a view into a
// shared, immutable buffer (the loaded file); the first change copies the view
// into its own storage, so sharing is never visible to callers.
class TvxMemoryStream : public TvxStream {
 public:
  // Documents hold one per stream: they come from the small-object pool.
  static void* operator new(size_t size) { return TvxObjectPool::Allocate(size); }
  static void operator delete(void* block, size_t size) noexcept { TvxObjectPool::Free(block, size); }

  TvxMemoryStream() = default;
  explicit TvxMemoryStream(std::string bytes)
      : own_(bytes.empty() ? nullptr : std::make_unique<std::string>(std::move(bytes))) {}
  // A view of `length` bytes at `offset` of `buffer`, kept alive by sharing it.
  TvxMemoryStream(std::shared_ptr<const std::string> buffer, size_t offset, size_t length);
  // A view of `bytes`, which live as long as `keepAlive` does.
  TvxMemoryStream(std::shared_ptr<const void> keepAlive, std::string_view bytes);

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TvxSeekOrigin origin) override;
  int64_t Size() const override { return int64_t(View().size()); }

  // The whole contents, independent of the position.
  std::string_view View() const {
    if (shared_) return std::string_view(view_, length_);
    return own_ ? std::string_view(*own_) : std::string_view();
  }
  std::string Bytes() const { return std::string(View()); }
  // Replaces the whole contents; the position returns to 0.
  void Assign(std::string bytes);
  void SetSize(int64_t size);
  void Clear() { Assign(std::string()); }
  // A new stream with the same contents (shares the buffer of a view).
  std::unique_ptr<TvxMemoryStream> Copy() const;
  bool IsView() const { return shared_ != nullptr; }

 private:
  void MakeOwned();

  std::string& Own();  // the owned bytes, made on first use

  std::unique_ptr<std::string> own_;  // owned bytes (none while empty or a view)
  std::shared_ptr<const void> shared_;  // keeps the viewed bytes alive
  const char* view_ = nullptr;
  size_t length_ = 0;
  int64_t position_ = 0;
};

// A file opened for reading or for writing (created or truncated). Failures to
// open raise EReadError or EWriteError with the file name and the system's
// reason.
class TvxFileStream : public TvxStream {
 public:
  enum class Mode { fmOpenRead, fmCreate };
  TvxFileStream(const std::string& fileName, Mode mode);
  ~TvxFileStream() override;
  TvxFileStream(const TvxFileStream&) = delete;
  TvxFileStream& operator=(const TvxFileStream&) = delete;

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TvxSeekOrigin origin) override;
  int64_t Size() const override;
  // Flushes buffered data and the system's cache to disk; raises on failure.
  void Flush();
  void Close();
  const std::string& FileName() const { return fileName_; }
  // Reads `count` bytes at `offset` without moving the position; safe from
  // several threads at once. Answers the bytes read (short at the end).
  int64_t ReadAt(void* buffer, int64_t count, int64_t offset) const;

 private:
  std::string fileName_;
  std::FILE* file_ = nullptr;
};

// Whole-file read (a large file in two halves on two threads); raises like
// TvxFileStream.
std::shared_ptr<const std::string> ReadWholeFile(const std::string& fileName);
bool FileExists(const std::string& fileName);

// A file kept open and read piece by piece, for work that needs a small part
// of a large file (a report of its settings). Bytes come into a buffer of the
// file's size in aligned chunks, each read once with pread when first asked
// for. The buffer is allocated without being written, so chunks never read
// cost no memory. The file is never mapped: a file cut short by another
// program would kill a mapping's reader, while a short read here becomes
// EReadError. Not for several threads at once.
class TvxFileOnDemand {
 public:
  static constexpr size_t kChunkSize = size_t(64) << 10;

  // Opens the file; raises EReadError like TvxFileStream.
  explicit TvxFileOnDemand(const std::string& fileName);
  ~TvxFileOnDemand();
  TvxFileOnDemand(const TvxFileOnDemand&) = delete;
  TvxFileOnDemand& operator=(const TvxFileOnDemand&) = delete;

  // The file's size when it was opened.
  size_t Size() const { return size_; }
  // The whole buffer. Only bytes made sure of by Ensure or ReadAll may be
  // looked at: the rest holds nothing yet.
  const char* Data() const { return buffer_.get(); }
  // Reads the chunks of [at, at + count) not read yet (clipped to the file)
  // and answers where the run of read bytes that starts at `at` ends (at
  // least at + count, or the file's size). Raises EReadError when the file
  // has become shorter or cannot be read.
  size_t Ensure(size_t at, size_t count);
  void ReadAll() { Ensure(0, size_); }
  bool Complete() const { return unread_ == 0; }
  // The message of the first read that failed (empty while none did): a
  // failure that a caller took for damage in the file must not go unseen.
  const std::string& Failure() const { return failure_; }
  const std::string& FileName() const { return fileName_; }
  // Reads `count` bytes at `offset` into `buffer`, not into the file's
  // buffer (bytes looked at once); answers how many there were (fewer at
  // the end of the file). Raises EReadError when the file cannot be read.
  size_t ReadInto(char* buffer, size_t count, size_t offset) const;
  // Appends the whole file (its size when opened) to `fd` at that
  // descriptor's offset, in the kernel where it can (copy_file_range), else
  // through a buffer. Raises EReadError when the file cannot be read or has
  // become shorter; a failure to write answers its errno value, else 0.
  // A `stop` that turns true ends the copy between pieces (ECANCELED).
  int CopyTo(int fd, const std::atomic<bool>* stop = nullptr) const;

 private:
  void ReadChunk(size_t chunk);

  std::string fileName_;
  int fd_ = -1;
  size_t size_ = 0;
  std::unique_ptr<char[]> buffer_;
  std::vector<bool> read_;  // per chunk
  size_t unread_ = 0;       // chunks not read yet
  std::string failure_;
};

// The library's base component: two published texts whose setters ignore the
// value.
class TvxComponent {
 public:
  virtual ~TvxComponent() = default;
  std::string About() const { return "Vordel PDF library"; }
  void SetAbout(const std::string&) {}
  std::string Version() const { return "2.01"; }
  void SetVersion(const std::string&) {}
};

// A growable memory stream with big-endian reads and writes (font tables).
class TvxExtMemStream : public TvxMemoryStream {
 public:
  uint8_t ReadByte();
  uint16_t ReadUInt16BE();
  uint32_t ReadUInt32BE();
  std::string ReadBytes(int64_t count);
  // Moves the position by `count`, clamped to 0 .. Size().
  void SkipBytes(int64_t count);
  void WriteByte(uint8_t value);
  void WriteString(std::string_view bytes);
  void WriteUInt16BE(uint16_t value);
  void WriteUInt32BE(uint32_t value);
  // Appends zero bytes at the end up to the next multiple of four.
  void Align4();
  int64_t PadCount() const { return padCount_; }

 private:
  int64_t padCount_ = 0;
};

// A read-only view of another stream. The bytes are taken into memory once at
// creation (a memory stream is viewed in place, a file is read whole), so the
// byte operations never call the system.
class TvxReadOnlyFilter : public TvxStream {
 public:
  explicit TvxReadOnlyFilter(TvxStream* source);
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;  // raises EReadError
  int64_t Seek(int64_t offset, TvxSeekOrigin origin) override;
  int64_t Size() const override { return int64_t(data_.size()); }
  TvxStream* Source() const { return source_; }
  // The whole data and the buffer that keeps it alive (null for a borrowed
  // memory stream, whose owner keeps it alive).
  std::string_view Data() const { return data_; }
  const std::shared_ptr<const std::string>& SharedBuffer() const { return buffer_; }

 protected:
  // Views a shared buffer directly, without a source stream.
  explicit TvxReadOnlyFilter(std::shared_ptr<const std::string> buffer);
  // Views bytes kept alive by the caller, without a source stream.
  explicit TvxReadOnlyFilter(std::string_view bytes) : source_(nullptr), data_(bytes) {}

  TvxStream* source_;
  std::shared_ptr<const std::string> buffer_;
  std::string_view data_;
  size_t pos_ = 0;
};

// A write-only view of a stream: writes and seeks pass through, reads raise.
class TvxWriteOnlyFilter : public TvxStream {
 public:
  explicit TvxWriteOnlyFilter(TvxStream* source);
  int64_t Read(void* buffer, int64_t count) override;  // raises EReadError
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TvxSeekOrigin origin) override;
  int64_t Size() const override { return source_->Size(); }
  TvxStream* Source() const { return source_; }

 private:
  TvxStream* source_;
};

// Byte-level reading for the parser. ReadChar and PeekChar answer -1 at the
// end of the data.
class TvxRandomAccessFilter : public TvxReadOnlyFilter {
 public:
  explicit TvxRandomAccessFilter(TvxStream* source) : TvxReadOnlyFilter(source) {}
  explicit TvxRandomAccessFilter(std::shared_ptr<const std::string> buffer)
      : TvxReadOnlyFilter(std::move(buffer)) {}
  explicit TvxRandomAccessFilter(std::string_view bytes) : TvxReadOnlyFilter(bytes) {}
  int ReadChar() {
    if (pos_ < data_.size()) return (unsigned char)data_[pos_++];
    EndMet = true;
    return -1;
  }
  int PeekChar() {
    if (pos_ >= data_.size()) {
      AtEnd = EndMet = true;
      return -1;
    }
    AtEnd = pos_ + 1 >= data_.size();
    EndMet |= AtEnd;
    return (unsigned char)data_[pos_];
  }
  // The byte `ahead` places after the current one, or -1.
  int PeekAt(size_t ahead) const {
    if (pos_ + ahead < data_.size()) return (unsigned char)data_[pos_ + ahead];
    EndMet = true;
    return -1;
  }
  std::string ReadString(size_t count);
  std::string PeekString(size_t count) const;
  std::string_view PeekView(size_t count) const;
  void Skip(size_t count) {
    if (pos_ + count > data_.size()) EndMet = true;
    pos_ = std::min(data_.size(), pos_ + count);
  }
  void Unread() {
    if (pos_ > 0) --pos_;
  }
  bool Eof() const {
    if (pos_ < data_.size()) return false;
    EndMet = true;
    return true;
  }
  size_t Pos() const { return pos_; }
  void SetPos(size_t pos) {
    if (pos > data_.size()) EndMet = true;
    pos_ = std::min(pos, data_.size());
  }

  bool AtEnd = false;
  // Set whenever an operation met the end of the data (or would have gone
  // past it). A reader that sees only the first part of a file reads again
  // with more when a parse has met this end: up to it, the parse's result
  // may differ from that of the whole file; short of it, it cannot.
  mutable bool EndMet = false;
};

}  // namespace vx
