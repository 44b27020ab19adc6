// Saving: the whole document is written as a new file with one body, one
// cross-reference table and a trailer, or, with object streams, one body
// whose small objects are packed into object streams and a cross-reference
// stream. The file is built in a temporary file next to the target and takes
// the target's place only once it is complete.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "pdf/document/vxDocumentWriter.h"
#include "pdf/document/vxEarlyCopy.h"
#include "pdf/document/vxIncrementalWriter.h"
#include "pdf/document/vxKeptFileAttributes.h"
#include "pdf/document/vxLinearizer.h"
#include "pdf/document/vxObjectTextPipeline.h"
#include "pdf/document/vxPendingSaveFiles.h"
#include "pdf/document/vxShell.h"
#include "pdf/document/vxWriteBehind.h"
#include "pdf/document/vxXmpMetadata.h"
#include "pdf/security/vxPDFCrypt.h"
#include "pdf/util/vxExceptions.h"
#include "pdf/util/vxPDFResStrs.h"
#include "pdf/util/vxThreads.h"
#include "pdf/util/vxUtils.h"

namespace vx {

namespace {

// A second thread serialises the objects of a save with at least this many.
constexpr size_t kTextPipelineFrom = 256;

std::string SystemReason(int error) { return std::strerror(error); }

// The process's file creation mask, read without changing it (umask() would
// set it for every thread for a moment).
mode_t CurrentUmask() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Umask:", 0) == 0) {
      unsigned long mask = std::strtoul(line.c_str() + 6, nullptr, 8);
      return mode_t(mask & 0777);
    }
  }
  return 022;
}

// A symbolic link stays a link: the file it points to is replaced. A link
// that goes round in a loop is an error, not a file to replace.
std::string FollowLinks(const std::string& name) {
  struct stat st;
  if (lstat(name.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return name;
  char* real = realpath(name.c_str(), nullptr);
  if (!real) {
    int error = errno;
    if (error == ELOOP || error == ENAMETOOLONG)
      throw EWriteError(Format(res::SCannotWriteFile, {name, SystemReason(error)}));
    return name;
  }
  std::string result = real;
  std::free(real);
  return result;
}

// Only a regular file may be replaced: a device node, a FIFO or a folder
// named as the output is refused before anything is written. A link that is
// not followed is replaced whatever it leads to.
void RequireRegularOrAbsent(const std::string& target, bool followLinks) {
  struct stat st;
  if ((followLinks ? ::stat(target.c_str(), &st) : ::lstat(target.c_str(), &st)) == 0 && !S_ISREG(st.st_mode) &&
      !S_ISLNK(st.st_mode))
    throw EWriteError(Format(res::SNotRegularFile, {target}));
}

// ".pdf" is added unless the name already ends in it, in any case.
std::string SaveTargetName(const std::string& fileName) {
  size_t slash = fileName.find_last_of('/');
  size_t dot = fileName.find_last_of('.');
  std::string extension;
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) extension = fileName.substr(dot);
  return AsciiLower(extension) == ".pdf" ? fileName : fileName + ".pdf";
}

}  // namespace

// ------------------------------------------------------------------ the file

TvxSaveFile::TvxSaveFile(const std::string& target, bool followLinks, TvxUse use)
    : target_(followLinks ? FollowLinks(target) : target), followLinks_(followLinks), scratch_(use == TvxUse::Scratch) {
  RequireRegularOrAbsent(target_, followLinks);
  RemoveStaleSaveFiles(target_);
  size_t slash = target_.find_last_of('/');
  std::string folder = slash == std::string::npos ? std::string() : target_.substr(0, slash + 1);
  std::string base = slash == std::string::npos ? target_ : target_.substr(slash + 1);
  if (base.size() > 200) base.resize(200);  // room for the suffix within NAME_MAX
  std::string pattern = folder + "." + base + ".vxtmp-XXXXXX";
  fd_ = CreatePendingSaveFile(pattern, pendingSlot_);
  if (fd_ < 0) {
    int error = errno;
    throw EWriteError(Format(res::SCannotCreateTempFile, {folder.empty() ? std::string(".") : folder,
                                                           SystemReason(error)}));
  }
  tempName_ = pattern;
}

void TvxSaveFile::ReserveBuffer() { buffer_.reserve(kBufferSize + kBufferSize / 4); }

TvxSaveFile::~TvxSaveFile() {
  if (!committed_) Discard();
}

void TvxSaveFile::Discard() {
  early_.reset();  // stopped and waited for before the file goes
  behind_.reset();  // what was still to be written is dropped
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!tempName_.empty()) ::unlink(tempName_.c_str());
  ForgetPendingSaveFile(pendingSlot_);
  pendingSlot_ = -1;
}

void TvxSaveFile::ThrowIfFailed(int error) const {
  if (error != 0) throw EWriteError(Format(res::SCannotWriteFile, {target_, SystemReason(error)}));
}

TvxWriteBehind& TvxSaveFile::Behind() {
  // Started with the first full buffer: a small file is written at once.
  if (!behind_) behind_ = std::make_unique<TvxWriteBehind>(fd_);
  return *behind_;
}

void TvxSaveFile::WriteNow(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) ThrowIfFailed(n < 0 ? errno : EIO);
    bytes.remove_prefix(size_t(n));
  }
}

void TvxSaveFile::Flush() {
  if (buffer_.empty()) return;
  if (early_) throw std::logic_error("bytes written before the early copy was taken");
  flushed_ += int64_t(buffer_.size());
  if (scratch_) {
    WriteNow(buffer_);
    std::string().swap(buffer_);
    return;
  }
  ThrowIfFailed(Behind().Post(buffer_));
}

void TvxSaveFile::Write(std::string_view bytes) {
  if (buffer_.capacity() < kBufferSize) ReserveBuffer();
  if (buffer_.size() + bytes.size() <= kBufferSize) {
    buffer_.append(bytes);
    return;
  }
  Flush();
  if (bytes.size() < kBufferSize) {
    buffer_.append(bytes);
    return;
  }
  flushed_ += int64_t(bytes.size());
  if (scratch_) {
    WriteNow(bytes);
  } else {
    // Large stream data is handed over in buffer-sized pieces, so that what
    // waits to be written stays a few buffers whatever the stream's size.
    ThrowIfFailed(Behind().PostCopy(bytes, kBufferSize));
  }
}

void TvxSaveFile::StartCopyFrom(std::shared_ptr<const TvxFileOnDemand> source) {
  if (Position() != 0 || early_) throw std::logic_error("a copy may only start an empty save file");
  early_ = std::make_unique<TvxEarlyCopy>(std::move(source), fd_);
}

void TvxSaveFile::CopyFrom(const TvxFileOnDemand& source) {
  if (early_ && &early_->Source() == &source) {
    const int error = early_->Finish();
    early_.reset();
    ThrowIfFailed(error);
    flushed_ += int64_t(source.Size());
    return;
  }
  // What waits to be written goes first: the copy goes on at the file's
  // offset, where the writing thread has left it.
  Flush();
  if (behind_) {
    const int error = behind_->Drain();
    behind_.reset();
    ThrowIfFailed(error);
  }
  ThrowIfFailed(source.CopyTo(fd_));
  flushed_ += int64_t(source.Size());
}

void TvxSaveFile::Commit() {
  if (early_) throw std::logic_error("the early copy was never taken");
  Flush();
  if (behind_) {
    const int error = behind_->Drain();
    behind_.reset();
    ThrowIfFailed(error);
  }
  if (::fsync(fd_) != 0) {
    int error = errno;
    throw EWriteError(Format(res::SCannotWriteFile, {target_, SystemReason(error)}));
  }
  // The new file gets the owner, group, permissions and extended attributes
  // (ACL entries among them) of the one it replaces (or those a newly
  // created file would get), except the set-user-ID and set-group-ID bits:
  // a rewritten file is not the program someone once marked. Only root can
  // give the file to another owner; others keep the group where they may.
  // A link that is not followed is replaced by a new file.
  struct stat st;
  mode_t mode = 0666 & ~CurrentUmask();
  const bool replacesFile = (followLinks_ ? ::stat(target_.c_str(), &st) : ::lstat(target_.c_str(), &st)) == 0 &&
                            !S_ISLNK(st.st_mode);
  if (replacesFile) {
    if (!S_ISREG(st.st_mode)) throw EWriteError(Format(res::SNotRegularFile, {target_}));
    if (::fchown(fd_, ::geteuid() == 0 ? st.st_uid : uid_t(-1), st.st_gid) != 0) {
      // Not permitted: the file stays ours, as a new file would.
    }
    mode = st.st_mode & 07777 & ~mode_t(S_ISUID | S_ISGID);
  }
  ::fchmod(fd_, mode);
  if (replacesFile) {
    losses_ = CopyExtendedAttributes(target_, fd_);
    // The rename gives this name the new file; other names of the old one
    // keep what it held.
    if (st.st_nlink > 1) losses_.push_back(Format(res::SHardLinksSplit, {target_, int(st.st_nlink)}));
  }
  int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) {
    int error = errno;
    throw EWriteError(Format(res::SCannotWriteFile, {target_, SystemReason(error)}));
  }
  if (::rename(tempName_.c_str(), target_.c_str()) != 0) {
    int error = errno;
    throw EWriteError(Format(res::SCannotReplaceFile, {target_, SystemReason(error)}));
  }
  committed_ = true;
  ForgetPendingSaveFile(pendingSlot_);
  pendingSlot_ = -1;
  // Make the rename itself durable; a folder that cannot be synced is no error.
  size_t slash = target_.find_last_of('/');
  std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : target_.substr(0, slash));
  int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
}

void TvxSaveFile::AppendFileOf(TvxSaveFile& part) {
  // Both files are complete on disk first; the writing thread of this one
  // starts again afterwards from the file's new end.
  part.Flush();
  if (part.behind_) {
    const int error = part.behind_->Drain();
    part.behind_.reset();
    part.ThrowIfFailed(error);
  }
  Flush();
  if (behind_) {
    const int error = behind_->Drain();
    behind_.reset();
    ThrowIfFailed(error);
  }
  const int64_t size = part.flushed_;
  loff_t from = 0;
  bool copyRange = true;
  std::string piece;
  while (from < size) {
    const size_t want = size_t(std::min<int64_t>(size - from, int64_t(1) << 30));
    ssize_t n = -1;
    if (copyRange) {
      n = ::copy_file_range(part.fd_, &from, fd_, nullptr, want, 0);
      if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) {
        copyRange = false;  // not between these files: copied through memory
        continue;
      }
    } else {
      piece.resize(std::min(want, kBufferSize));
      n = ::pread(part.fd_, piece.data(), piece.size(), from);
      if (n > 0) {
        for (ssize_t done = 0; done < n;) {
          const ssize_t w = ::write(fd_, piece.data() + done, size_t(n - done));
          if (w < 0 && errno == EINTR) continue;
          if (w <= 0) ThrowIfFailed(w < 0 ? errno : EIO);
          done += w;
        }
        from += n;
      }
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ThrowIfFailed(errno);
    if (n == 0) ThrowIfFailed(EIO);  // the scratch file ended early
  }
  flushed_ += size;
}

// ------------------------------------------------------- parallel stream work

// Streams are encoded (compressed, encrypted) on several threads ahead of
// the writer, which takes the results strictly in file order, so the bytes
// are those of a serial run. The look-ahead is bounded in count and in bytes
// so that memory stays low.
class TvxDocumentWriter::TvxStreamPipeline {
 public:
  TvxStreamPipeline(TvxCustomPDFDocument& document, unsigned threads)
      : document_(document), window_(std::max(2u, threads * 32)), slots_(window_) {
    stores_[0] = document.store_.get();
    stores_[1] = document.saveStore_.get();
    for (unsigned i = 0; i < threads; ++i) workers_.push_back(StartThreadBeside([this] { Work(); }));
  }

  ~TvxStreamPipeline() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    workCv_.notify_all();
    for (auto& worker : workers_) worker.join();
  }

  // The encoded form of the next stream object in file order, which must be
  // `object`.
  TvxStreamText Next(const TvxPDFIndirectObject* object) {
    std::unique_lock<std::mutex> lock(mutex_);
    Dispatch();
    Slot& slot = slots_[consumed_ % window_];
    if (slot.Object != object) throw EUnexpectedError(res::SUnexpectedError);
    if (slot.State == TvxState::Waiting) {
      // No worker got to it yet: the writer does it instead of waiting.
      slot.State = TvxState::Running;
      lock.unlock();
      Run(slot);
      lock.lock();
      slot.State = TvxState::Done;
    } else {
      writerWaitsFor_ = &slot;
      doneCv_.wait(lock, [&] { return slot.State == TvxState::Done; });
      writerWaitsFor_ = nullptr;
    }
    TvxStreamText result = std::move(slot.Result);
    std::exception_ptr error = slot.Error;
    inFlight_ -= slot.Cost;
    slot = Slot();
    ++consumed_;
    lock.unlock();
    if (error) std::rethrow_exception(error);
    return result;
  }

 private:
  enum class TvxState : uint8_t { Empty, Waiting, Running, Done };
  struct Slot {
    const TvxPDFIndirectObject* Object = nullptr;
    TvxState State = TvxState::Empty;
    size_t Cost = 0;
    TvxStreamText Result;
    std::exception_ptr Error;
  };

  // Bytes of stream data that may be in work at once (one stream is always
  // allowed, whatever its size).
  static constexpr size_t kBudget = size_t(48) << 20;

  // The next written stream object after the cursor, or nullptr.
  const TvxPDFIndirectObject* PeekNext() {
    for (; storeIndex_ < 2; ++storeIndex_, objectIndex_ = 0) {
      const TvxPDFObjectStore* store = stores_[storeIndex_];
      if (!store) continue;
      const auto& objects = store->Objects();
      for (; objectIndex_ < objects.size(); ++objectIndex_) {
        const TvxPDFIndirectObject* o = objects[objectIndex_].get();
        if (o->UseCount != 0 && o->Content && o->Content->IsStream()) return o;
      }
    }
    return nullptr;
  }

  // Called with the lock held.
  void Dispatch() {
    size_t added = 0;
    while (dispatched_ - consumed_ < window_) {
      const TvxPDFIndirectObject* next = PeekNext();
      if (!next) break;
      size_t cost = static_cast<const TvxPDFStreamObject*>(next->Content.get())->DataView().size() + 1024;
      if (dispatched_ > consumed_ && inFlight_ + cost > kBudget) break;
      Slot& slot = slots_[dispatched_ % window_];
      slot.Object = next;
      slot.Cost = cost;
      slot.State = TvxState::Waiting;
      inFlight_ += cost;
      ++dispatched_;
      ++objectIndex_;
      ++added;
    }
    // Each wake-up costs the waker a system call: no more are woken than
    // there are new jobs.
    if (added == 1)
      workCv_.notify_one();
    else if (added > 1)
      workCv_.notify_all();
  }

  void Run(Slot& slot) {
    try {
      const TvxPDFIndirectObject* o = slot.Object;
      slot.Result = EncodeStream(document_, o->NewNumber, *static_cast<const TvxPDFStreamObject*>(o->Content.get()));
    } catch (...) {
      slot.Error = std::current_exception();
    }
  }

  Slot* FindWaiting() {
    for (size_t i = consumed_; i < dispatched_; ++i) {
      Slot& slot = slots_[i % window_];
      if (slot.State == TvxState::Waiting) return &slot;
    }
    return nullptr;
  }

  void Work() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      Slot* slot = nullptr;
      workCv_.wait(lock, [&] { return stop_ || (slot = FindWaiting()) != nullptr; });
      if (stop_) return;
      slot->State = TvxState::Running;
      lock.unlock();
      Run(*slot);
      lock.lock();
      slot->State = TvxState::Done;
      if (writerWaitsFor_ == slot) doneCv_.notify_one();
    }
  }

  TvxCustomPDFDocument& document_;
  const size_t window_;
  std::vector<Slot> slots_;  // a ring: job k lives in slot k % window_
  const TvxPDFObjectStore* stores_[2] = {nullptr, nullptr};
  size_t storeIndex_ = 0;
  size_t objectIndex_ = 0;
  size_t dispatched_ = 0;
  size_t consumed_ = 0;
  size_t inFlight_ = 0;
  const Slot* writerWaitsFor_ = nullptr;  // the slot the writer waits on, if it waits
  bool stop_ = false;
  std::mutex mutex_;
  std::condition_variable workCv_;
  std::condition_variable doneCv_;
  std::vector<std::thread> workers_;
};

// ---------------------------------------------------------------- the writer

TvxDocumentWriter::TvxDocumentWriter(TvxCustomPDFDocument& document, TvxSaveFile& output)
    : document_(document), output_(output) {}

TvxDocumentWriter::~TvxDocumentWriter() = default;

void TvxDocumentWriter::WriteDocument() {
  // Decided first: a layout the version cannot carry fails before any work.
  packing_ = UsesObjectStreams();
  locations_.assign(1, TvxObjectLocation());
  nextObjectNumber_ = 3;
  document_.nextSaveNumber_ = 3;
  visited_ = 0;

  // The save-time store lives for this save only; the stream workers, which
  // read it, stop first.
  struct TvxSaveScope {
    TvxDocumentWriter& Writer;
    ~TvxSaveScope() {
      Writer.objectStreamWorker_.reset();  // waits for the object stream in work
      Writer.pendingObjectStreams_.clear();
      Writer.pipeline_.reset();
      Writer.textPipeline_.reset();
      Writer.document_.saveStore_.reset();
      Writer.document_.savedPageDictionaries_.clear();
    }
  } scope{*this};

  // The handler always reflects the settings of this save, not those of an
  // earlier moment.
  if (document_.Encryption().Enabled()) document_.CreateEncryptionHandler();
  RefreshInfoTexts();

  SyncXmpPacket(document_);

  document_.saveStore_ = std::make_unique<TvxPDFObjectStore>();
  for (const TvxPDFIndirectObject* page : document_.PageList()) document_.savedPageDictionaries_.insert(page->Content.get());
  Status(res::SBuildingOutlines);
  if (document_.OutlineRoot() != nullptr) document_.BuildOutlines();

  Status(res::SBuildingObjects);
  if (document_.Linearize() && TvxLinearizer(*this).Write()) return;
  // Sized once: growing by doubling would hold the old and the new table at
  // the same time, with up to half of the new one unused.
  locations_.reserve(size_t(document_.Store().Count()) + 16);
  NumberObjects();
  WriteHeader();
  WriteCatalog();
  Status(res::SWritingXRef);
  WriteXRefAndTrailer();
}

void TvxDocumentWriter::RefreshInfoTexts() {
  TvxPDFInfo& info = *document_.info_;
  info.SetProducer(AnsiToWide(res::SProducerText));
  // Values set through the properties are stored encoded (and encrypted)
  // for the encryption state of the moment they were set. Encode them again
  // for this save, so that they match how the file is written. The /Info
  // values alone count here: one shown from the XMP packet is not /Info's.
  const TvxPDFDictObject* dict = info.InfoDict();
  auto isSet = [dict](std::string_view key) { return dict && As<TvxPDFNameObject>(dict->Find(key)); };
  if (isSet("/Title")) info.SetTitle(info.InfoText("/Title"));
  if (isSet("/Author")) info.SetAuthor(info.InfoText("/Author"));
  if (isSet("/Subject")) info.SetSubject(info.InfoText("/Subject"));
  if (isSet("/Keywords")) info.SetKeywords(info.InfoText("/Keywords"));
  if (isSet("/Creator")) info.SetCreator(info.InfoText("/Creator"));
  if (isSet("/CreationDate")) info.SetCreationDate(info.InfoDate("/CreationDate"));
  if (isSet("/ModDate")) info.SetModDate(info.InfoDate("/ModDate"));
  info.EncodeCustomFor(2);
}

void TvxDocumentWriter::NumberObjects() {
  totalObjects_ = 0;
  for (const TvxPDFObjectStore* store : {document_.store_.get(), document_.saveStore_.get()}) {
    if (!store) continue;
    totalObjects_ += store->Objects().size();
    for (const auto& object : store->Objects()) {
      const bool numberedNow = object->UseCount != 0 && (!packing_ || MayPackInObjectStream(object->Content.get(), 0));
      object->NewNumber = numberedNow ? ++nextObjectNumber_ : 0;
    }
  }
  if (packing_) {
    // The objects written on their own come after the members: the
    // cross-reference stream then holds long runs of like entries, which
    // compress to almost nothing.
    for (const TvxPDFObjectStore* store : {document_.store_.get(), document_.saveStore_.get()}) {
      if (!store) continue;
      for (const auto& object : store->Objects())
        if (object->UseCount != 0 && object->NewNumber == 0) object->NewNumber = ++nextObjectNumber_;
    }
  }
  document_.nextSaveNumber_ = nextObjectNumber_;
}

void TvxDocumentWriter::WriteHeader() {
  std::string header = "%PDF-" + PDFVersionText(document_.PDFVersion()) + "\r\n%\xE2\xE3\xCF\xD3\r\n";
  output_.Write(header);
}

void TvxDocumentWriter::PlaceObject(int32_t number, int64_t offset) {
  if (!packing_) {
    // Numbers are given in emission order; the table is built by position.
    if (number != int32_t(locations_.size())) throw EUnexpectedError(res::SUnexpectedError);
    locations_.push_back(TvxObjectLocation::At(offset));
    return;
  }
  // With object streams, the streams take numbers after the body's objects
  // while the body is still being written.
  if (number <= 0) throw EUnexpectedError(res::SUnexpectedError);
  if (size_t(number) >= locations_.size()) locations_.resize(size_t(number) + 1);
  if (locations_[size_t(number)].Placed()) throw EUnexpectedError(res::SUnexpectedError);
  locations_[size_t(number)].SetOffset(offset);
}

// A classic file opens every object with an empty line and ends its lines
// with CR LF. A file with object streams is laid out compactly, as its point
// is to be small: LF line ends, no empty lines.
void TvxDocumentWriter::BeginObject(int32_t number) {
  std::string& out = output_.Buffer();
  if (packing_) {
    PlaceObject(number, output_.Position());
  } else {
    PlaceObject(number, output_.Position() + 2);
    out += "\r\n";
  }
  out += std::to_string(number);
  out += " 0 obj";
  out += LineEnd();
}

void TvxDocumentWriter::EndObject() {
  std::string& out = output_.Buffer();
  out += LineEnd();
  out += "endobj";
  out += LineEnd();
  output_.MaybeFlush();
}

void TvxDocumentWriter::WriteStreamObject(int32_t number, std::string_view dictText, std::string_view data) {
  BeginObject(number);
  std::string& out = output_.Buffer();
  if (packing_)
    out += CompactObjectText(dictText);
  else
    out += dictText;
  out += LineEnd();
  out += "stream";
  out += LineEnd();
  output_.Write(data);
  output_.Write(LineEnd());
  output_.Write("endstream");
  EndObject();
}

void TvxDocumentWriter::WriteFramedObject(int32_t number, std::string_view body) {
  BeginObject(number);
  if (packing_)
    output_.Write(CompactObjectText(body));
  else
    output_.Write(body);
  EndObject();
}

void TvxDocumentWriter::WriteBuiltObject(int32_t number, std::string_view body, bool mayPack) {
  if (packing_ && mayPack)
    PackObject(number, body);
  else
    WriteFramedObject(number, body);
}

void TvxDocumentWriter::ReportProgress() {
  ++visited_;
  if (document_.OnIOProgress) document_.OnIOProgress(document_, int(visited_ * 100 / totalObjects_));
  // Unwinding discards the temporary file, so the target is never touched.
  if (document_.saveCancelled_) throw ESaveCancelled(Format(res::SSaveCancelled, {output_.Target()}));
}

void TvxDocumentWriter::WriteIndirectObject(const TvxPDFIndirectObject& object) {
  const int32_t number = object.NewNumber;
  std::optional<std::string_view> made = textPipeline_ ? textPipeline_->Next(&object) : std::nullopt;
  if (auto* stream = As<TvxPDFStreamObject>(object.Content.get())) {
    if (made) {
      WriteStreamObject(number, *made, stream->DataView());  // the data as loaded
    } else {
      TvxStreamText text = pipeline_ ? pipeline_->Next(&object) : EncodeStream(document_, number, *stream);
      WriteStreamObject(number, text.DictText, text.Data());
    }
  } else if (made) {
    WriteSerialisedObject(object, *made);
  } else if (packing_) {
    std::string text;
    TvxObjectTextPipeline::AppendBodyText(document_, packing_, object, text);
    WriteSerialisedObject(object, text);
  } else {
    // Serialised straight into the output's buffer.
    BeginObject(number);
    TvxObjectTextPipeline::AppendBodyText(document_, packing_, object, output_.Buffer());
    EndObject();
  }
  output_.MaybeFlush();
}

void TvxDocumentWriter::WriteSerialisedObject(const TvxPDFIndirectObject& object, std::string_view text) {
  if (packing_ && MayPackInObjectStream(object.Content.get(), 0))
    PackObject(object.NewNumber, text);
  else if (packing_)
    WriteFramedObject(object.NewNumber, text);
  else {
    BeginObject(object.NewNumber);
    output_.Buffer() += text;
    EndObject();
  }
}

void TvxDocumentWriter::WritePageRootAndBody() {
  Status(res::SWritingPages);
  WriteBuiltObject(3, PageRootText(document_), true);

  // Streams are worth encoding on other threads only when a step changes
  // their data.
  const bool streamWork = document_.compression_->Active || document_.Encryption().Enabled() ||
                          document_.decodeStreams_ || document_.asciiEncode_->Active;
  unsigned threads = document_.saveThreads_ != 0 ? document_.saveThreads_ : std::thread::hardware_concurrency();
  if (streamWork && threads > 1) {
    // Lookups must not build indexes while threads share the stores.
    document_.store_->Find(TvxObjectKey{});
    document_.saveStore_->Find(TvxObjectKey{});
    pipeline_ = std::make_unique<TvxStreamPipeline>(document_, threads);
  } else if (threads > 1 && totalObjects_ >= kTextPipelineFrom) {
    // Nothing to encode: the second core serialises the objects instead.
    document_.store_->Find(TvxObjectKey{});
    document_.saveStore_->Find(TvxObjectKey{});
    textPipeline_ = std::make_unique<TvxObjectTextPipeline>(document_, packing_);
  }

  for (const TvxPDFObjectStore* store : {document_.store_.get(), document_.saveStore_.get()}) {
    for (const auto& object : store->Objects()) {
      if (object->UseCount != 0) WriteIndirectObject(*object);
      ReportProgress();
    }
  }
  pipeline_.reset();
  textPipeline_.reset();
  FlushObjectStream();
  WritePendingObjectStreams(0);
}

// ------------------------------------------------------------ object streams

bool TvxCustomPDFDocument::SourceHasObjectStreams() const {
  for (const auto& entry : xrefStmItems_)
    if (entry && entry->EntryType == 2) return true;
  return sourceHadObjectStreams_;
}

bool TvxDocumentWriter::UsesObjectStreams() const {
  const TvxPDFVersion version = document_.PDFVersion();
  const bool versionAllows = version >= pvPDF15 && version <= pvPDF20;
  switch (document_.ObjectStreams()) {
    case osGenerate:
      if (!versionAllows) throw EPDFException(Format(res::SObjectStreamsNeedVersion, {PDFVersionText(version)}));
      return true;
    case osPreserve:
      // An older version asked for wins over the source's layout.
      return versionAllows && document_.SourceHasObjectStreams();
    default:
      return false;
  }
}

void TvxDocumentWriter::PackObject(int32_t number, std::string_view text) {
  if (number <= 0) throw EUnexpectedError(res::SUnexpectedError);
  if (objectStream_.Empty()) objectStreamNumber_ = ++nextObjectNumber_;
  if (size_t(number) >= locations_.size()) locations_.resize(size_t(number) + 1);
  if (locations_[size_t(number)].Placed()) throw EUnexpectedError(res::SUnexpectedError);
  locations_[size_t(number)] = TvxObjectLocation::InStream(objectStreamNumber_, int32_t(objectStream_.Count()));
  objectStream_.Add(number, text);
  if (objectStream_.Count() >= kObjectStreamMembers) FlushObjectStream();
}

// A full object stream is compressed (and encrypted) ahead of the writer,
// which writes it once two more have filled, or at the end of the body: the
// same place in the file however many threads there are.
struct TvxDocumentWriter::TvxPendingObjectStream {
  struct Ready {
    std::string DictText, Data;
  };
  int32_t Number = 0;
  std::future<Ready> Result;
};

// One thread for the whole save makes the object streams ready, in the order
// they are handed over (a thread per stream would leave the allocator an
// arena of memory for each).
class TvxDocumentWriter::TvxObjectStreamWorker {
 public:
  using Task = std::packaged_task<TvxPendingObjectStream::Ready()>;
  TvxObjectStreamWorker() : thread_(StartThreadBeside([this] { Run(); })) {}
  ~TvxObjectStreamWorker() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    thread_.join();  // tasks not started are dropped with the queue
  }
  void Post(Task task) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      tasks_.push_back(std::move(task));
    }
    wake_.notify_one();
  }

 private:
  void Run() {
    for (;;) {
      Task task;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        wake_.wait(lock, [this] { return stop_ || !tasks_.empty(); });
        if (stop_) return;
        task = std::move(tasks_.front());
        tasks_.pop_front();
      }
      task();
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Task> tasks_;
  bool stop_ = false;
  std::thread thread_;
};

void TvxDocumentWriter::FlushObjectStream() {
  if (objectStream_.Empty()) return;
  const int32_t number = objectStreamNumber_;
  TvxObjectStreamWorker::Task task([this, number, members = std::move(objectStream_)]() mutable {
    TvxStreamText made = MakeObjectStream(document_, number, std::move(members));
    return TvxPendingObjectStream::Ready{std::move(made.DictText), std::move(*made.Encoded)};
  });
  objectStream_ = TvxObjectStreamBuilder();
  pendingObjectStreams_.push_back({number, task.get_future()});
  const unsigned threads = document_.saveThreads_ != 0 ? document_.saveThreads_ : std::thread::hardware_concurrency();
  if (threads > 1) {
    if (!objectStreamWorker_) objectStreamWorker_ = std::make_unique<TvxObjectStreamWorker>();
    objectStreamWorker_->Post(std::move(task));
  } else {
    task();
  }
  WritePendingObjectStreams(2);
}

TvxStreamText TvxDocumentWriter::MakeObjectStream(TvxCustomPDFDocument& document, int32_t number,
                                                  TvxObjectStreamBuilder&& members) {
  int64_t first = 0;
  TvxStreamText made;
  const size_t count = members.Count();
  std::string data = CompressWriterData(document, std::move(members).Build(first));
  TvxPDFDictObject dict;
  dict.AddName("/Type", "/ObjStm");
  dict.SetValue("/N", std::make_unique<TvxPDFInt64Object>(int64_t(count)));
  dict.SetValue("/First", std::make_unique<TvxPDFInt64Object>(first));
  dict.AddName("/Filter", "/FlateDecode");
  // Encrypted as one stream under its own number; the members inside are
  // plain once it is decrypted.
  if (document.Encryption().Enabled()) data = document.EncryptStreamData(data, number, dict);
  dict.SetValue("/Length", std::make_unique<TvxPDFInt64Object>(int64_t(data.size())));
  made.DictText = document.SerializeObject(-1, &dict);
  made.Encoded = std::move(data);
  return made;
}

void TvxDocumentWriter::WritePendingObjectStreams(size_t keep) {
  while (pendingObjectStreams_.size() > keep) {
    TvxPendingObjectStream pending = std::move(pendingObjectStreams_.front());
    pendingObjectStreams_.pop_front();
    TvxPendingObjectStream::Ready ready = pending.Result.get();
    WriteStreamObject(pending.Number, ready.DictText, ready.Data);
  }
}

void TvxDocumentWriter::WriteXRefStream(const std::string& encryptEntry) {
  // The cross-reference stream is the last object and lists itself; it is
  // never encrypted, so readers can find the encryption dictionary.
  const int32_t number = ++nextObjectNumber_;
  const int64_t start = output_.Position();
  PlaceObject(number, start);
  const TvxXRefStreamRows rows = BuildXRefStreamRows(locations_);
  const std::string data = CompressWriterData(document_, rows.Rows);

  using Doc = TvxCustomPDFDocument;
  std::string entries = Doc::EntryText("/Type", "/XRef") +
                        Doc::EntryText("/Size", std::to_string(locations_.size())) +
                        Doc::EntryText("/W", "[ 1 " + std::to_string(rows.Width2) + " " +
                                                 std::to_string(rows.Width3) + " ]") +
                        Doc::EntryText("/Root", Doc::ReferenceText(1)) + Doc::EntryText("/Info", Doc::ReferenceText(2));
  if (document_.trailer_->IDArray)
    entries += Doc::EntryText("/ID", document_.SerializeObject(-1, document_.trailer_->IDArray.get()));
  entries += encryptEntry;
  entries += Doc::EntryText("/Filter", "/FlateDecode") +
             Doc::EntryText("/DecodeParms", "<< /Columns " + std::to_string(rows.Columns()) + " /Predictor 12 >>") +
             Doc::EntryText("/Length", std::to_string(data.size()));

  std::string& out = output_.Buffer();
  out += std::to_string(number);
  out += " 0 obj\n";
  out += CompactObjectText(Doc::WrapDictionary(entries));
  out += "\nstream\n";
  output_.Write(data);
  output_.Write("\nendstream\nendobj\nstartxref\n" + std::to_string(start) + "\n%%EOF\n");
}

void TvxDocumentWriter::WriteXRefAndTrailer() {
  std::string encryptEntry;
  if (document_.Encryption().Enabled()) {
    std::unique_ptr<TvxPDFDictObject> dict = document_.BuildEncryptDictionary();
    const int32_t number = ++nextObjectNumber_;
    WriteFramedObject(number, document_.SerializeObject(-1, dict.get()));
    encryptEntry = TvxCustomPDFDocument::EntryText("/Encrypt", TvxCustomPDFDocument::ReferenceText(number));
  }
  if (packing_) {
    WriteXRefStream(encryptEntry);
    return;
  }

  const int64_t start = output_.Position();
  const size_t count = locations_.size();
  std::string& out = output_.Buffer();
  out += "xref\r\n0 ";
  out += std::to_string(count);
  out += "\r\n0000000000 65535 f\r\n";
  for (size_t number = 1; number < count; ++number) {
    const int64_t offset = locations_[number].Offset();
    if (offset > 9999999999LL) throw EWriteError(res::SFileTooLargeForXRef);
    AppendPadded(out, offset, 10);
    out += " 00000 n\r\n";
    output_.MaybeFlush();
  }

  std::string entries = TvxCustomPDFDocument::EntryText("/Size", std::to_string(count)) +
                        TvxCustomPDFDocument::EntryText("/Root", TvxCustomPDFDocument::ReferenceText(1)) +
                        TvxCustomPDFDocument::EntryText("/Info", TvxCustomPDFDocument::ReferenceText(2));
  if (document_.trailer_->IDArray)
    entries += TvxCustomPDFDocument::EntryText("/ID", document_.SerializeObject(-1, document_.trailer_->IDArray.get()));
  entries += encryptEntry;
  output_.Write("trailer\r\n" + TvxCustomPDFDocument::WrapDictionary(entries) + "\r\nstartxref\r\n" +
                std::to_string(start) + "\r\n%%EOF\r\n");
}

// -------------------------------------------------------------- SaveToFile

void TvxCustomPDFDocument::SetUpdateTarget(const std::string& fileName) {
  if (fileName != updateTarget_) preparedUpdate_.reset();
  updateTarget_ = fileName;
}

void TvxCustomPDFDocument::BeginExpectedUpdate() {
  const std::string target = literalFileNames_ ? updateTarget_ : SaveTargetName(updateTarget_);
  try {
    auto file = std::make_unique<TvxSaveFile>(target, !replaceLinksOnSave_);
    file->StartCopyFrom(sourceFile_);
    preparedUpdate_ = std::move(file);
    preparedName_ = target;
    preparedReplacesLinks_ = replaceLinksOnSave_;
  } catch (const std::exception&) {
    // The save begins its own file, and says why it cannot.
  }
}

bool TvxCustomPDFDocument::SaveToFile(const std::string& fileName, uint8_t mode) {
  // Read for a report, the document holds only part of its file.
  if (reportOnly_) throw EPDFException(res::SReadForReportNotSaved);
  if (showSetupDialog_) {
    std::unique_ptr<TvxBaseDlg> owned;
    TvxBaseDlg* dialog = setupDialog_;
    if (!dialog) {
      owned = CreateDefaultSetupDialog();
      dialog = owned.get();
    }
    // Without a user interface there is no dialog to show: the save goes on.
    if (dialog) {
      dialog->Document = this;
      TvxModalResult result;
      try {
        result = dialog->Execute();
      } catch (...) {
        dialog->Document = nullptr;
        throw;
      }
      dialog->Document = nullptr;
      if (result == TvxModalResult::mrCancel) return false;
    }
  }

  CheckEncryptionIntegrity();
  const std::string target = literalFileNames_ ? fileName : SaveTargetName(fileName);
  // Loaded on demand, an update reads what it looks up, as it looks it up
  // (its writing is one thread's); any other save reads the rest now, since
  // its writer reads a complete store on several threads.
  if (saveKind_ != TvxSaveKind::Incremental) CompleteLoad();
  ApplyNeedAppearances(mode);
  Status(Format(res::SSavingFile, {target}));
  saveCancelled_ = false;
  {
    // An update begun at the load for this very target goes on in its file.
    std::unique_ptr<TvxSaveFile> prepared = std::move(preparedUpdate_);
    if (prepared && (saveKind_ != TvxSaveKind::Incremental || !sourceFile_ || preparedName_ != target ||
                     preparedReplacesLinks_ != replaceLinksOnSave_))
      prepared.reset();
    if (!prepared) prepared = std::make_unique<TvxSaveFile>(target, !replaceLinksOnSave_);
    TvxSaveFile& file = *prepared;
    if (saveKind_ == TvxSaveKind::Incremental) {
      TvxIncrementalWriter writer(*this, file);
      writer.WriteDocument();
    } else {
      TvxDocumentWriter writer(*this, file);
      writer.WriteDocument();
    }
    file.Commit();
    for (const std::string& loss : file.Losses()) Warning(loss);
  }
  if (openAfterSave_) ShellOpen(target);
  Status(res::SSaveComplete);
  return true;
}

}  // namespace vx
