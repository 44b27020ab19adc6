// Serialises the objects of a save on a second thread ahead of the writer,
// which takes their texts strictly in file order: the writer then only frames
// and writes, and a rewrite uses two cores. The texts are those the writer
// would make itself (the same function makes them), so the bytes are those of
// a serial run. Work ahead is bounded to a few batches, and the writer never
// waits for a batch nobody has started: it makes that one itself.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "pdf/document/vxCstPDFDoc.h"

namespace vx {

class TvxObjectTextPipeline {
 public:
  // The text of an object's body as the body loop writes it: for a member of
  // an object stream unencrypted (-1), else under its new number.
  static void AppendBodyText(TvxCustomPDFDocument& document, bool packing, const TvxPDFIndirectObject& object,
                             std::string& out);
  // The pipeline serves a save whose streams are written as loaded: their
  // dictionaries are made ahead too, the data is the stream's own.

  // Walks the document's stores (which must not change meanwhile, their
  // indexes already built) in store order.
  TvxObjectTextPipeline(TvxCustomPDFDocument& document, bool packing);
  ~TvxObjectTextPipeline();
  TvxObjectTextPipeline(const TvxObjectTextPipeline&) = delete;
  TvxObjectTextPipeline& operator=(const TvxObjectTextPipeline&) = delete;

  // The text of the next written object in store order, which must be
  // `object`: its body, or for a stream its dictionary; valid until the
  // next call. An error met making it is raised here, in its place.
  // Nothing when the writer is to make it itself.
  std::optional<std::string_view> Next(const TvxPDFIndirectObject* object);

 private:
  struct Batch {
    size_t Index = 0;  // the k-th batch of kBatchObjects written objects
    std::string Text;
    std::vector<const TvxPDFIndirectObject*> Objects;
    std::vector<size_t> Ends;  // end of each object's text in Text
    std::vector<bool> Made;    // false: left to the writer
    std::exception_ptr Error;  // raised by the last object, the last batch
  };
  void Run();
  std::unique_ptr<Batch> TakeSpare();  // an emptied batch, or a new one

  TvxCustomPDFDocument& document_;
  const bool packing_;
  std::unique_ptr<Batch> current_;  // the writer's
  size_t sequence_ = 0;             // the writer's count of written objects
  size_t ownBatch_ = SIZE_MAX;      // the batch the writer makes itself
  std::atomic<size_t> nextBatch_{0};  // the first batch nobody claimed
  std::mutex mutex_;
  std::condition_variable ready_;   // a batch was queued, or the worker ended
  std::condition_variable space_;   // a batch was taken, or stop
  std::deque<std::unique_ptr<Batch>> queue_;
  std::vector<std::unique_ptr<Batch>> spare_;
  bool finished_ = false;
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace vx
