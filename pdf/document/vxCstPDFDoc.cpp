// Life cycle of the document and the order of the load steps.
#include "pdf/document/vxCstPDFDoc.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "pdf/document/vxDocumentWriter.h"
#include "pdf/document/vxIncrementalWriter.h"
#include "pdf/document/vxLoadHelper.h"
#include "pdf/document/vxObjectPreparser.h"
#include "pdf/filters/vxLibDeflate.h"
#include "pdf/security/vxPDFCrypt.h"
#include "pdf/util/vxExceptions.h"
#include "pdf/util/vxPDFResStrs.h"
#include "pdf/util/vxUtils.h"

namespace vx {

namespace {

// The process-wide document serial: the first document gets 101.
std::atomic<uint32_t> documentSerial{100};

// "report" -> "report.pdf"; a name whose last part has an extension stays.
std::string WithDefaultExtension(const std::string& name) {
  size_t slash = name.find_last_of('/');
  size_t dot = name.find_last_of('.');
  bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  return hasExtension ? name : name + ".pdf";
}

}  // namespace

TvxCustomPDFDocument::TvxCustomPDFDocument() : emailInfo_(std::make_unique<TvxEMailInfo>()) {
  InitDocument();
}

TvxCustomPDFDocument::~TvxCustomPDFDocument() {
  emailInfo_.reset();
  ClearDocument();
}

void TvxCustomPDFDocument::InitDocument() {
  documentID_ = ++documentSerial;
  nextSaveNumber_ = 3;
  saveStateStream_ = -1;
  restoreStateStream_ = -1;
  isLoaded_ = false;
  isEncrypted_ = false;
  loadStarted_ = false;
  repaired_ = false;
  sourceLinearization_ = lsNone;
  linearize_.reset();
  xrefLoopSeen_ = false;
  repairObjectStreams_.clear();
  repairCatalogs_.clear();
  repairTableNumbers_.clear();
  servingOnDemand_ = false;
  reportOnly_ = false;
  deferWalks_ = false;
  deferredWalks_.clear();
  deferredReferences_.clear();
  readOnDemand_.clear();
  decodedObjectStreams_.clear();
  keptDecodedStreams_.clear();
  keptDecodedBytes_ = 0;
  onDemandDepth_ = 0;
  workFileName_.clear();
  outlineRoot_.reset();
  store_ = std::make_unique<TvxPDFObjectStore>();
  pageList_.clear();
  declaredPageCount_ = -1;
  xrefItems_.clear();
  xrefStmItems_.clear();
  sourceHadObjectStreams_ = false;
  loadedOffsets_.Clear();
  decrypt_.reset();
  encryption_.reset();
  encryptionSettings_ = std::make_unique<TvxPDFEncryptionSettings>();
  encryptionSettings_->SetEnabled(false);
  encryptionSettings_->SetLevel(el40bit);
  compression_ = std::make_unique<TvxCompression>();
  asciiEncode_ = std::make_unique<TvxASCIIEncode>();
  pdfVersion_ = pvPDF14;
  metadataStripped_ = false;
  info_ = std::make_unique<TvxPDFInfo>(*this);
  catalog_ = std::make_unique<TvxPDFCatalog>();
  trailer_ = std::make_unique<TvxPDFTrailer>();
  sourceSnapshot_.reset();
}

void TvxCustomPDFDocument::ClearDocument() {
  loadHelper_.reset();  // first: its thread may still be decoding for the load
  // Fields point into the store; the outline items and names own copies.
  fieldList_.reset();
  outlineRoot_.reset();
  namedDestinations_.reset();
  pageList_.clear();
  saveStore_.reset();
  store_.reset();
  trailer_.reset();
  catalog_.reset();
  info_.reset();
  encryptionSettings_.reset();
  decrypt_.reset();
  encryption_.reset();
  compression_.reset();
  asciiEncode_.reset();
  xrefItems_.clear();
  xrefItems_.shrink_to_fit();
  xrefStmItems_.clear();
  xrefStmItems_.shrink_to_fit();
  loadedOffsets_.Clear();
  pendingIdValue_.reset();
  preparser_.reset();
  reader_.reset();
  fileBytes_.reset();
  preparedUpdate_.reset();  // its copy is stopped and its file removed
  sourceFile_.reset();      // closes the file held for a report
  deferredObjectStreams_ = false;
}

void TvxCustomPDFDocument::ResetDocument() {
  ClearDocument();
  InitDocument();
}

void TvxCustomPDFDocument::SetFilename(const std::string& name) {
  if (name.empty()) {
    filename_.clear();
    return;
  }
  filename_ = name;
  LoadFromFile(name);
}

void TvxCustomPDFDocument::SetEMailInfo(std::unique_ptr<TvxEMailInfo> info) {
  emailInfo_ = info ? std::move(info) : std::make_unique<TvxEMailInfo>();
}

bool TvxCustomPDFDocument::IsOwner() const { return !decrypt_ || decrypt_->IsOwner(); }

void TvxCustomPDFDocument::Status(const std::string& text) {
  if (OnStatusMessage) OnStatusMessage(*this, text);
}

void TvxCustomPDFDocument::Progress(int percent) {
  if (OnIOProgress) OnIOProgress(*this, percent);
}

void TvxCustomPDFDocument::Warning(const std::string& text) {
  if (holdWarnings_) {
    heldWarnings_.push_back(text);
    return;
  }
  if (OnWarning) OnWarning(*this, text);
}

bool TvxCustomPDFDocument::LoadFromFile(const std::string& fileName) {
  std::string work = literalFileNames_ ? fileName : WithDefaultExtension(fileName);
  if (!FileExists(work)) {
    // Nothing of the current document is touched when the file is missing.
    throw EFileNotFound(Format(res::SFileNotFound, {work}));
  }
  if ((readForReport_ || readFileOnDemand_) && loadOnDemand_) return LoadForReport(work);
  return LoadFromBytes(ReadWholeFile(work), work);
}

bool TvxCustomPDFDocument::LoadFromBytes(std::shared_ptr<const std::string> bytes, const std::string& name) {
  // Any earlier load, finished or failed, is cleared first, so nothing of it
  // can leak into this one.
  if (isLoaded_ || loadStarted_) ResetDocument();
  loadStarted_ = true;
  fileBytes_ = std::move(bytes);
  return LoadSource(name);
}

bool TvxCustomPDFDocument::LoadForReport(const std::string& fileName) {
  // Opened first: a file that cannot be read leaves the document as it was.
  auto file = std::make_shared<TvxFileOnDemand>(fileName);
  if (isLoaded_ || loadStarted_) ResetDocument();
  loadStarted_ = true;
  sourceFile_ = std::move(file);
  reportOnly_ = readForReport_;
  if (!reportOnly_ && !updateTarget_.empty()) BeginExpectedUpdate();
  holdWarnings_ = true;
  bool loaded = false;
  std::exception_ptr failure;
  try {
    loaded = LoadSource(fileName);
  } catch (...) {
    failure = std::current_exception();
  }
  holdWarnings_ = false;
  bool misplaced = false;
  if (loadHelper_) {
    try {
      misplaced = loadHelper_->CheckResult().has_value();
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
    loadHelper_.reset();  // streams queued and never asked for are dropped
  }
  std::vector<std::string> warnings = std::exchange(heldWarnings_, {});
  // An entry that does not point at its object: the whole file is read and
  // repaired, exactly as a load without this setting does.
  if (misplaced) return LoadFromBytes(ReadWholeFile(fileName), fileName);
  for (const std::string& text : warnings) Warning(text);
  if (failure) std::rethrow_exception(failure);
  // A read that failed on the way (the file was cut short meanwhile) may
  // have been taken for damage and passed over: the load fails instead.
  if (sourceFile_ && !sourceFile_->Failure().empty()) {
    const std::string message = sourceFile_->Failure();
    ResetDocument();
    throw EReadError(message);
  }
  return loaded;
}

bool TvxCustomPDFDocument::LoadSource(const std::string& name) {
  workFileName_ = name;
  if (filename_.empty()) filename_ = workFileName_;
  try {
    OpenStructure();
    if (!isEncrypted_) {
      FinishLoad();
    } else if (OnPassword) {
      std::string password;
      bool proceed = true;
      for (int tries = 0;; ++tries) {
        OnPassword(*this, password, proceed, tries);
        if (!proceed) {
          ResetDocument();
          break;
        }
        if (OpenWithPassword(password)) break;
      }
    } else if (!OpenWithPassword(std::string())) {
      // Without a way to ask for a password, a file that needs one is not
      // loaded, and the caller hears why.
      ResetDocument();
      throw EPasswordError(res::SPasswordRequired);
    }
  } catch (...) {
    isLoaded_ = false;
    preparser_.reset();
    reader_.reset();
    throw;
  }
  // The document keeps no hold on the source: what it needs is in memory
  // (loaded on demand, the rest is parsed from the bytes held).
  if (!servingOnDemand_) {
    reader_.reset();
    ReleaseEntryLists();
  }
  if (store_) store_->Compact();
  ReleaseDecodeScratch();  // decoding on the load's thread is done
  return isLoaded_;
}

void TvxCustomPDFDocument::OpenStructure() {
  try {
    reader_ = SourceReader();
    if (!reader_) throw EInvalidStream(res::SInvalidStream);
    pdfVersion_ = TvxPDFVersion(ReadHeaderAfterJunk());
    OpenCrossReference();
    if (trailer_->EncryptValue && !trailer_->EncryptValue->IsNull()) {
      trailer_->EncryptValue = ResolveDeep(trailer_->EncryptValue.get());
      isEncrypted_ = true;
    } else {
      isEncrypted_ = false;
    }
    // Object streams of an encrypted file are read once the key is known.
    if (!isEncrypted_) {
      StartPreparse();
      CompleteRepair();
      ExpandPendingObjectStreams();
    }
    isLoaded_ = true;
  } catch (...) {
    preparser_.reset();
    reader_.reset();
    throw;
  }
}

void TvxCustomPDFDocument::StartPreparse() {
  // A file loaded on demand parses what is asked for only; strings and
  // streams of an encrypted one are decrypted as they are read.
  if (loadOnDemand_ || !reader_ || reader_->Decryptor || reader_->StreamDecryptor) return;
  const unsigned threads = loadThreads_ != 0 ? loadThreads_ : (std::thread::hardware_concurrency() > 1 ? 2 : 1);
  if (threads < 2) return;
  const size_t count = std::max(xrefItems_.size(), xrefStmItems_.size());
  // A second thread is worth starting for a file of some size only.
  constexpr size_t kWorthItFrom = 512;
  if (loadThreads_ == 0 && count < kWorthItFrom) return;
  std::vector<int64_t> offsets;
  offsets.reserve(count);
  const size_t size = reader_->Data().size();
  for (size_t n = 1; n < count && n <= size_t(INT32_MAX); ++n) {
    const int64_t offset = LookupObjectOffset(int32_t(n));
    if (offset > 0 && uint64_t(offset) < size) offsets.push_back(offset);
  }
  preparser_ = std::make_unique<TvxObjectPreparser>(documentID_, fileBytes_, std::move(offsets), &duplicateKeys_);
}

bool TvxCustomPDFDocument::OpenWithPassword(const std::string& password) {
  bool accepted = true;
  if (isEncrypted_) accepted = SetUpDecryption(password);
  if (accepted) {
    CompleteRepair();
    ExpandPendingObjectStreams();
    FinishLoad();
  }
  return accepted;
}

void TvxCustomPDFDocument::SayDuplicateKeys() {
  size_t more = 0;
  for (const std::string& key : duplicateKeys_.Take(more)) Warning(Format(res::SDuplicateKey, {key}));
  if (more > 0) Warning(Format(res::SDuplicateKeysMore, {int(more)}));
}

void TvxCustomPDFDocument::FinishLoad() {
  if (OnBeginRead) OnBeginRead(*this);
  ReadCatalog();
  SayDuplicateKeys();
  // Everything is read: what was parsed ahead and never asked for goes.
  preparser_.reset();
  // The snapshot serves incremental saves, which a report does not make.
  if (!reportOnly_) TvxIncrementalWriter::TakeSnapshot(*this);
  sourceLinearization_ = ReadLinearizationState();
  isLoaded_ = true;
  Status(Format(res::SDocumentReadComplete, {PageCount()}));
  if (OnEndRead) OnEndRead(*this);
}

// A reference-free copy of a value. A reference back into its own path (a
// cycle) resolves to null, and the objects made are counted, so that a small
// hostile graph shared at every level (2^40 paths in 40 levels) ends with a
// warning instead of growing for ever: past the bound the rest reads as
// null. Each object is read from the file once per walk; the copies made of
// it are not cached (a long chain would cost its square in memory).
class TvxDeepResolver {
 public:
  static constexpr int64_t kMaxObjects = 20000;

  explicit TvxDeepResolver(TvxCustomPDFDocument& doc) : doc_(doc) {}

  TvxPDFObjectPtr Resolve(TvxPDFObject* v, int depth) {
    if (!v) return nullptr;
    if (depth > TvxPDFStreamReader::kMaxNesting) throw ENestingTooDeep(Format(res::SNestingTooDeep, {depth}));
    if (auto* ref = As<TvxPDFIndirectReference>(v)) return ResolveReference(*ref, depth);
    if (auto* io = As<TvxPDFIndirectObject>(v)) return Resolve(io->Content.get(), depth + 1);
    if (!Spend(1)) return MakeNull();
    if (auto* array = As<TvxPDFArrayObject>(v)) {
      if (array->IsPacked()) return array->Clone();  // numbers only
      auto copy = std::make_unique<TvxPDFArrayObject>();
      for (auto& item : array->Items()) copy->Add(item ? Resolve(item.get(), depth + 1) : MakeNull());
      return copy;
    }
    if (auto* dict = As<TvxPDFDictObject>(v)) {
      auto copy = std::make_unique<TvxPDFDictObject>();
      for (auto& e : dict->Entries()) copy->Add(e.Key, e.Value ? Resolve(e.Value.get(), depth + 1) : MakeNull());
      return copy;
    }
    return v->Clone();
  }

 private:
  TvxPDFObjectPtr ResolveReference(const TvxPDFIndirectReference& ref, int depth) {
    TvxObjectKey key{ref.DocumentID, ref.ObjectNumber, ref.Generation};
    if (exhausted_) return MakeNull();
    if (!path_.insert(key).second) return MakeNull();  // a cycle resolves to null
    TvxPDFObjectPtr result;
    if (TvxPDFIndirectObject* stored = doc_.store_->Find(&ref)) {
      // Only looked at: the copy made here is what is kept, so the stored
      // object is not made part of the written document by this.
      result = Resolve(stored->Content.get(), depth + 1);
    } else {
      TvxPDFIndirectObject* read = ReadOnce(ref.ObjectNumber);
      result = read ? Resolve(read->Content.get(), depth + 1) : MakeNull();
    }
    path_.erase(key);
    return result;
  }

  // An object not in the store, read from the file once per walk however
  // often it is referenced.
  TvxPDFIndirectObject* ReadOnce(int32_t number) {
    auto [it, inserted] = read_.try_emplace(number);
    if (inserted) {
      TvxFetchedObject fetched = doc_.FetchObject(number);
      if (fetched.FromFile())
        it->second = std::move(fetched.Owned);
      else if (fetched)
        return fetched.Object;  // stored meanwhile: the store keeps it
    }
    return it->second.get();
  }

  bool Spend(int64_t count) {
    if (exhausted_) return false;
    if (made_ + count > kMaxObjects) {
      exhausted_ = true;
      doc_.Warning(Format(res::SDeepResolveLimit, {kMaxObjects}));
      return false;
    }
    made_ += count;
    return true;
  }

  TvxCustomPDFDocument& doc_;
  std::unordered_set<TvxObjectKey, TvxObjectKeyHash> path_;
  std::unordered_map<int32_t, std::unique_ptr<TvxPDFIndirectObject>> read_;
  int64_t made_ = 0;
  bool exhausted_ = false;
};

std::unique_ptr<TvxPDFStreamReader> TvxCustomPDFDocument::SourceReader() const {
  std::unique_ptr<TvxPDFStreamReader> reader;
  if (sourceFile_)
    reader = std::make_unique<TvxPDFStreamReader>(documentID_, sourceFile_);
  else if (fileBytes_)
    reader = std::make_unique<TvxPDFStreamReader>(documentID_, fileBytes_);
  if (reader) reader->DuplicateKeys = &duplicateKeys_;
  return reader;
}

size_t TvxCustomPDFDocument::SourceSize() const {
  if (sourceFile_) return sourceFile_->Size();
  return fileBytes_ ? fileBytes_->size() : 0;
}

std::string TvxCustomPDFDocument::SourceBytes(size_t offset, size_t count) const {
  const size_t size = SourceSize();
  if (offset >= size) return std::string();
  count = std::min(count, size - offset);
  if (!sourceFile_) return fileBytes_->substr(offset, count);
  std::string bytes(count, '\0');
  if (sourceFile_->ReadInto(bytes.data(), count, offset) != count)
    throw EReadError(Format(res::SFileChangedWhileRead, {sourceFile_->FileName()}));
  return bytes;
}

TvxPDFObjectPtr TvxCustomPDFDocument::ResolveDeep(TvxPDFObject* value) { return TvxDeepResolver(*this).Resolve(value, 0); }

}  // namespace vx
