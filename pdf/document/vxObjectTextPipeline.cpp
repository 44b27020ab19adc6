#include "pdf/document/vxObjectTextPipeline.h"

#include "pdf/document/vxDocumentWriter.h"
#include "pdf/document/vxObjectStreamWriter.h"
#include "pdf/util/vxExceptions.h"
#include "pdf/util/vxPDFResStrs.h"

namespace vx {

namespace {

// A batch is handed over once it holds this many objects or bytes of text;
// this many batches may wait for the writer.
constexpr size_t kBatchObjects = 512;
constexpr size_t kBatchBytes = size_t(64) << 10;
constexpr size_t kQueuedBatches = 2;

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
    : document_(document), packing_(packing), thread_([this] { Run(); }) {}

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
  if (!batch) {
    batch = std::make_unique<Batch>();
    batch->Text.reserve(kBatchBytes + kBatchBytes / 4);
    return batch;
  }
  batch->Text.clear();
  batch->Objects.clear();
  batch->Ends.clear();
  batch->Made.clear();
  return batch;
}

void TvxObjectTextPipeline::Run() {
  auto batch = TakeSpare();
  // Hands the batch over; false once the writer wants no more.
  auto handOver = [&]() {
    std::unique_lock<std::mutex> lock(mutex_);
    space_.wait(lock, [&] { return stop_ || queue_.size() < kQueuedBatches; });
    if (stop_) return false;
    queue_.push_back(std::move(batch));
    ready_.notify_one();
    lock.unlock();
    batch = TakeSpare();
    return true;
  };
  bool failed = false;
  for (const TvxPDFObjectStore* store : {document_.store_.get(), document_.saveStore_.get()}) {
    if (!store || failed) continue;
    for (const auto& object : store->Objects()) {
      if (object->UseCount == 0) continue;
      batch->Objects.push_back(object.get());
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
      if (failed) break;
      if ((batch->Objects.size() >= kBatchObjects || batch->Text.size() >= kBatchBytes) && !handOver()) return;
    }
  }
  if (!batch->Objects.empty() && !handOver()) return;
  std::lock_guard<std::mutex> lock(mutex_);
  finished_ = true;
  ready_.notify_one();
}

std::optional<std::string_view> TvxObjectTextPipeline::Next(const TvxPDFIndirectObject* object) {
  if (!current_ || index_ >= current_->Objects.size()) {
    std::unique_lock<std::mutex> lock(mutex_);
    ready_.wait(lock, [&] { return !queue_.empty() || finished_; });
    // The walk over the stores is the writer's own: running out means the
    // two disagree.
    if (queue_.empty()) throw EUnexpectedError(res::SUnexpectedError);
    if (current_) spare_.push_back(std::move(current_));  // its memory is used again
    current_ = std::move(queue_.front());
    queue_.pop_front();
    index_ = 0;
    space_.notify_one();
  }
  if (current_->Objects[index_] != object) throw EUnexpectedError(res::SUnexpectedError);
  const size_t begin = index_ == 0 ? 0 : current_->Ends[index_ - 1];
  const size_t end = current_->Ends[index_];
  ++index_;
  if (index_ == current_->Objects.size() && current_->Error) std::rethrow_exception(current_->Error);
  if (!current_->Made[index_ - 1]) return std::nullopt;
  return std::string_view(current_->Text).substr(begin, end - begin);
}

}  // namespace vx
