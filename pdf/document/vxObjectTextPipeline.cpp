#include "pdf/document/vxObjectTextPipeline.h"

#include "pdf/document/vxDocumentWriter.h"
#include "pdf/document/vxObjectStreamWriter.h"
#include "pdf/util/vxExceptions.h"
#include "pdf/util/vxPDFResStrs.h"
#include "pdf/util/vxThreads.h"

namespace vx {

namespace {

// Objects are taken in batches of this many, the k-th batch by whichever
// thread claims it first; this many made batches may wait for the writer.
constexpr size_t kBatchObjects = 256;
constexpr size_t kQueuedBatches = 2;
constexpr size_t kNoBatch = SIZE_MAX;

}  // namespace

void TvxObjectTextPipeline::AppendBodyText(TvxCustomPDFDocument& document, bool packing,
                                           const TvxPDFIndirectObject& object, std::string& out) {
  if (packing && MayPackInObjectStream(object.Content.get(), 0)) {
    // A member's strings are not encrypted on their own: the object stream
    // is encrypted as a whole.
    if (object.Content)
      TvxDocumentWriter::AppendObject(document, out, -1, object.Content.get());
    else
      out += "null";
  } else if (packing) {
    TvxDocumentWriter::AppendObject(document, out, object.NewNumber, object.Content.get());
  } else if (object.Content) {
    TvxDocumentWriter::AppendObject(document, out, object.NewNumber, object.Content.get());
  } else {
    out += "null";  // an object without content is still a valid object
  }
}

TvxObjectTextPipeline::TvxObjectTextPipeline(TvxCustomPDFDocument& document, bool packing)
    : document_(document), packing_(packing), thread_(StartThreadBeside([this] { Run(); })) {}

TvxObjectTextPipeline::~TvxObjectTextPipeline() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  space_.notify_all();
  thread_.join();
}

std::unique_ptr<TvxObjectTextPipeline::Batch> TvxObjectTextPipeline::TakeSpare() {
  std::unique_ptr<Batch> batch;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!spare_.empty()) {
      batch = std::move(spare_.back());
      spare_.pop_back();
    }
  }
  if (!batch) return std::make_unique<Batch>();
  batch->Text.clear();
  batch->Objects.clear();
  batch->Ends.clear();
  batch->Made.clear();
  batch->Error = nullptr;
  return batch;
}

void TvxObjectTextPipeline::Run() {
  const TvxPDFObjectStore* stores[2] = {document_.store_.get(), document_.saveStore_.get()};
  size_t storeIndex = 0, objectIndex = 0;
  size_t sequence = 0;  // of the next written object at the cursor
  // Moves the cursor to the next written object; false at the end.
  auto nextWritten = [&]() -> const TvxPDFIndirectObject* {
    for (; storeIndex < 2; ++storeIndex, objectIndex = 0) {
      if (!stores[storeIndex]) continue;
      const auto& objects = stores[storeIndex]->Objects();
      for (; objectIndex < objects.size(); ++objectIndex)
        if (objects[objectIndex]->UseCount != 0) return objects[objectIndex].get();
    }
    return nullptr;
  };
  for (;;) {
    // Room first, then the claim: a claimed batch is always in work.
    size_t index = 0;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      space_.wait(lock, [&] { return stop_ || queue_.size() < kQueuedBatches; });
      if (stop_) return;
      index = nextBatch_.fetch_add(1);
    }
    std::unique_ptr<Batch> batch = TakeSpare();
    batch->Index = index;
    // Past the batches the writer made itself.
    const TvxPDFIndirectObject* object = nullptr;
    while ((object = nextWritten()) != nullptr && sequence < index * kBatchObjects) {
      ++objectIndex;
      ++sequence;
    }
    bool failed = false;
    while (object && batch->Objects.size() < kBatchObjects) {
      batch->Objects.push_back(object);
      bool made = true;
      try {
        if (auto* stream = As<TvxPDFStreamObject>(object->Content.get())) {
          TvxStreamText text = TvxDocumentWriter::EncodeStream(document_, object->NewNumber, *stream);
          // Data changed by a step is not carried here: the writer encodes it.
          made = !text.Encoded;
          if (made) batch->Text += text.DictText;
        } else {
          AppendBodyText(document_, packing_, *object, batch->Text);
        }
      } catch (...) {
        batch->Error = std::current_exception();
        failed = true;
      }
      batch->Ends.push_back(batch->Text.size());
      batch->Made.push_back(made);
      ++objectIndex;
      ++sequence;
      if (failed) break;
      if (batch->Objects.size() < kBatchObjects) object = nextWritten();
    }
    std::lock_guard<std::mutex> lock(mutex_);
    const bool last = failed || batch->Objects.size() < kBatchObjects || !nextWritten();
    if (!batch->Objects.empty()) queue_.push_back(std::move(batch));
    if (last) finished_ = true;
    ready_.notify_one();
    if (last) return;
  }
}

std::optional<std::string_view> TvxObjectTextPipeline::Next(const TvxPDFIndirectObject* object) {
  const size_t sequence = sequence_++;
  const size_t index = sequence / kBatchObjects;
  if (index == ownBatch_) return std::nullopt;
  if (!current_ || current_->Index != index) {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      if (!queue_.empty() && queue_.front()->Index == index) break;
      // Not made yet: when no thread has it, the writer makes it itself
      // rather than wait (on a busy machine the other thread may not run).
      size_t unclaimed = index;
      if (nextBatch_.compare_exchange_strong(unclaimed, index + 1)) {
        ownBatch_ = index;
        return std::nullopt;
      }
      // In work on the other thread, or never to come (the two walks over
      // the stores disagree).
      if (finished_ && (queue_.empty() || queue_.front()->Index != index)) throw EUnexpectedError(res::SUnexpectedError);
      ready_.wait(lock);
    }
    if (current_) spare_.push_back(std::move(current_));  // its memory is used again
    current_ = std::move(queue_.front());
    queue_.pop_front();
    space_.notify_one();
  }
  const size_t at = sequence - index * kBatchObjects;
  if (at >= current_->Objects.size() || current_->Objects[at] != object) throw EUnexpectedError(res::SUnexpectedError);
  const size_t begin = at == 0 ? 0 : current_->Ends[at - 1];
  const size_t end = current_->Ends[at];
  if (at + 1 == current_->Objects.size() && current_->Error) std::rethrow_exception(current_->Error);
  if (!current_->Made[at]) return std::nullopt;
  return std::string_view(current_->Text).substr(begin, end - begin);
}

}  // namespace vx
