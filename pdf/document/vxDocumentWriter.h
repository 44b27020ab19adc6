// The document writer's private parts, shared by the files that write a
// document: the output file, the state of one save, the object serialiser's
// core and the stream steps run on save. Not part of the library's interface.
#pragma once

#include <cstdint>
#include <deque>
#include <future>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/document/vxObjectStreamWriter.h"

namespace vx {

class TvxEarlyCopy;
class TvxObjectTextPipeline;
class TvxWriteBehind;

// A stream as it goes into the file: its dictionary text and its data after
// the save steps. When no step changed the data, `Encoded` stays empty and
// the stream's own bytes are written without a copy.
struct TvxStreamText {
  std::string DictText;
  std::optional<std::string> Encoded;
  std::string_view Original;
  std::string_view Data() const { return Encoded ? std::string_view(*Encoded) : Original; }
};

// The file a save writes: a temporary file next to the target, filled
// through a large buffer and renamed over the target only by Commit. Until
// then the target is untouched; a file that is never committed is removed.
// A target that is a symbolic link is followed (the file it leads to is
// replaced) unless `followLinks` is false: then the link itself is.
// A scratch file, which is never committed, is written on the calling
// thread as each buffer fills: no buffers wait there for a writing thread,
// and nothing is pushed towards the disk.
class TvxSaveFile {
 public:
  enum class TvxUse { Target, Scratch };
  explicit TvxSaveFile(const std::string& target, bool followLinks = true, TvxUse use = TvxUse::Target);
  ~TvxSaveFile();
  TvxSaveFile(const TvxSaveFile&) = delete;
  TvxSaveFile& operator=(const TvxSaveFile&) = delete;

  // Bytes written so far (buffered ones included).
  int64_t Position() const { return flushed_ + int64_t(buffer_.size()); }
  void Write(std::string_view bytes);
  // Appends the whole of `source` (see TvxFileOnDemand::CopyTo): its
  // bytes never pass through the save's buffers.
  // A copy of the same source started by StartCopyFrom is waited for.
  void CopyFrom(const TvxFileOnDemand& source);
  // Starts copying the whole of `source` into this file, still empty, on a
  // thread of its own (TvxEarlyCopy); the file is then written to only
  // through CopyFrom of that source, which takes the copy's place.
  void StartCopyFrom(std::shared_ptr<const TvxFileOnDemand> source);
  // The buffer to append to directly; call MaybeFlush after appending.
  std::string& Buffer() {
    if (buffer_.capacity() < kBufferSize) ReserveBuffer();
    return buffer_;
  }
  void MaybeFlush() {
    if (buffer_.size() >= kBufferSize) Flush();
  }
  // Hands what is buffered over to be written (a scratch file writes it at
  // once, and gives its buffer back until it is written to again).
  void Flush();
  // Writes out the rest, syncs it to disk and puts the file in the target's
  // place.
  void Commit();
  // Appends everything written to `part` (a file never committed, used as
  // scratch space) to this file.
  void AppendFileOf(TvxSaveFile& part);
  const std::string& TempName() const { return tempName_; }
  const std::string& Target() const { return target_; }
  // After Commit: what the replaced file could not pass on (its other hard
  // links, which keep the old bytes; attributes that could not be copied).
  const std::vector<std::string>& Losses() const { return losses_; }

 private:
  // Small pieces (a quarter of a megabyte): the buffers in hand, with the
  // thread that writes them, hold about what one large buffer held.
  static constexpr size_t kBufferSize = size_t(256) << 10;
  // Made when first written to: a linearized save fills its scratch file
  // long before it writes the target.
  void ReserveBuffer();
  void Discard();
  // The thread that writes the buffers; raising a write error it met.
  TvxWriteBehind& Behind();
  // Writes `bytes` at the file's offset on this thread.
  void WriteNow(std::string_view bytes);
  void ThrowIfFailed(int error) const;

  std::string target_;
  std::string tempName_;
  int fd_ = -1;
  int64_t flushed_ = 0;
  std::string buffer_;
  bool committed_ = false;
  int pendingSlot_ = -1;  // where a signal handler finds tempName_
  bool followLinks_ = true;
  bool scratch_ = false;
  std::vector<std::string> losses_;
  std::unique_ptr<TvxWriteBehind> behind_;
  std::unique_ptr<TvxEarlyCopy> early_;
};

// One save in progress.
class TvxDocumentWriter {
 public:
  TvxDocumentWriter(TvxCustomPDFDocument& document, TvxSaveFile& output);
  ~TvxDocumentWriter();

  void WriteDocument();

  // ------------------------------------------- serialiser (vxCstPDFDocSerialize.cpp)
  // Appends the text of `object` to `out`. Reads the document only, so
  // several threads may serialise at once while a save runs.
  static void AppendObject(TvxCustomPDFDocument& document, std::string& out, int32_t objectNumber,
                           const TvxPDFObject* object, int depth = 0);
  // A stream's dictionary text and data after the save steps, on copies.
  // `directLength`: a /Length held in another object is written as a number.
  static TvxStreamText EncodeStream(TvxCustomPDFDocument& document, int32_t objectNumber,
                                    const TvxPDFStreamObject& stream, bool directLength = false);
  // The number a reference is written under, or 0 when its target is not
  // written.
  static int32_t TargetNumber(const TvxCustomPDFDocument& document, const TvxObjectKey& key);
  // Whether the /Length of a stream's dictionary (a reference to a written
  // object included) gives `size`, so the dictionary can be written as it is.
  static bool LengthIsRight(const TvxCustomPDFDocument& document, const TvxPDFDictObject& dict, size_t size);

  // ------------------------------------------ compression (vxCstPDFDocCompression.cpp)
  // The compression step on a stream's dictionary copy: the new data when
  // the stream is compressed (the dictionary then says so), nothing when it
  // is left alone.
  static std::optional<std::string> CompressData(const TvxCustomPDFDocument& document,
                                                 TvxPDFDictObject& dictCopy, std::string_view data);
  // Puts `name` in front of the /Filter of `dictCopy` (whose value resolved
  // to `filter`, or nothing) and keeps /DecodeParms paired with the filters
  // that were there before.
  static void PutFilterInFront(const TvxCustomPDFDocument& document, TvxPDFDictObject& dictCopy,
                               const TvxPDFObject* filter, std::string_view name);
  // An object stream of `members` under `number`: its dictionary text and
  // its data (compressed, and encrypted when the save encrypts).
  static TvxStreamText MakeObjectStream(TvxCustomPDFDocument& document, int32_t number,
                                        TvxObjectStreamBuilder&& members);
  // Flate data for a stream the writer makes itself (an object stream, the
  // cross-reference stream); /Filter /FlateDecode goes with it.
  static std::string CompressWriterData(const TvxCustomPDFDocument& document, std::string_view data);

  // -------------------------------------------- catalog (vxCstPDFDocCatalogWrite.cpp)
  // The bodies of the objects the writer builds: the catalog (object 1), the
  // information dictionary (object 2) and the page-tree root (object 3).
  static std::string CatalogText(TvxCustomPDFDocument& document);
  static std::string InfoText(TvxCustomPDFDocument& document);
  static std::string PageRootText(const TvxCustomPDFDocument& document);
  void WriteCatalog();
  // Writes one of the objects the writer builds itself (catalog,
  // information, page-tree root): into an object stream when allowed and
  // `mayPack`, else on its own.
  void WriteBuiltObject(int32_t number, std::string_view body, bool mayPack);

 private:
  friend class TvxLinearizer;
  class TvxStreamPipeline;

  void Status(const std::string& text) { document_.Status(text); }
  void RefreshInfoTexts();
  void NumberObjects();
  void WriteHeader();
  void WritePageRootAndBody();
  void WriteIndirectObject(const TvxPDFIndirectObject& object);
  // Writes an object whose body text is made: packed, or framed on its own.
  void WriteSerialisedObject(const TvxPDFIndirectObject& object, std::string_view text);
  void WriteXRefAndTrailer();
  // Objects framed in this save's layout (see BeginObject).
  std::string_view LineEnd() const { return packing_ ? "\n" : "\r\n"; }
  void BeginObject(int32_t number);
  void EndObject();
  void WriteFramedObject(int32_t number, std::string_view body);
  void WriteStreamObject(int32_t number, std::string_view dictText, std::string_view data);
  void ReportProgress();
  // Object streams: whether this save writes them, packing one member, and
  // writing out the object stream being filled.
  bool UsesObjectStreams() const;
  void PackObject(int32_t number, std::string_view text);
  void FlushObjectStream();
  // Writes the ready object streams until at most `keep` wait.
  void WritePendingObjectStreams(size_t keep);
  void WriteXRefStream(const std::string& encryptEntry);
  // Records that object `number` starts at `offset` of the file.
  void PlaceObject(int32_t number, int64_t offset);

  TvxCustomPDFDocument& document_;
  TvxSaveFile& output_;
  // Where each object went, by number (entry 0 stands for the free head).
  std::vector<TvxObjectLocation> locations_;
  int32_t nextObjectNumber_ = 3;
  // Object streams: on for this save, the stream being filled and its
  // number, and the full ones being made ready (on other threads when there
  // are several) to be written in order.
  bool packing_ = false;
  TvxObjectStreamBuilder objectStream_;
  int32_t objectStreamNumber_ = 0;
  struct TvxPendingObjectStream;
  class TvxObjectStreamWorker;
  std::deque<TvxPendingObjectStream> pendingObjectStreams_;
  std::unique_ptr<TvxObjectStreamWorker> objectStreamWorker_;
  // Objects of both stores in store order, and how many of them were visited.
  size_t totalObjects_ = 0;
  size_t visited_ = 0;
  std::unique_ptr<TvxStreamPipeline> pipeline_;
  std::unique_ptr<TvxObjectTextPipeline> textPipeline_;
  size_t nextStreamJob_ = 0;
};

}  // namespace vx
