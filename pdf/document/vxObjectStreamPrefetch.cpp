#include "pdf/document/vxObjectStreamPrefetch.h"

#include <algorithm>

#include "pdf/util/vxExceptions.h"
#include "pdf/util/vxUtils.h"

namespace vx {

std::unique_ptr<TvxObjectStreamMembers> IndexObjectStream(uint32_t documentID, std::shared_ptr<const std::string> data,
                                                          int64_t count, int64_t first) {
  auto index = std::make_unique<TvxObjectStreamMembers>();
  index->Data = std::move(data);
  index->Reader = std::make_unique<TvxPDFStreamReader>(documentID, index->Data);
  TvxPDFStreamReader& header = *index->Reader;
  auto& members = index->Members;
  const size_t size = index->Data->size();
  for (int64_t k = 0; k < count; ++k) {
    header.SkipWhitespace();
    if (header.Eof()) break;  // fewer members than /N says
    int32_t number = StrToInt(header.ReadWord());
    int64_t memberOffset = StrToInt64(header.ReadWord());
    if (first < 0 || memberOffset < 0 || uint64_t(first) + uint64_t(memberOffset) >= size) continue;
    members.emplace_back(number, size_t(first + memberOffset));
  }
  // By number; the first of a number counts.
  std::stable_sort(members.begin(), members.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  members.erase(std::unique(members.begin(), members.end(), [](const auto& a, const auto& b) { return a.first == b.first; }),
                members.end());
  return index;
}

TvxObjectStreamPrefetch::TvxObjectStreamPrefetch(uint32_t documentID, std::shared_ptr<const std::string> file,
                                                 std::vector<std::pair<int64_t, int64_t>> streams)
    : documentID_(documentID), file_(std::move(file)) {
  entries_.reserve(streams.size());
  for (const auto& [number, offset] : streams) {
    if (!positions_.try_emplace(number, entries_.size()).second) continue;
    entries_.push_back({number, offset, TvxState::Waiting, nullptr});
  }
  allowed_ = kLookahead;
  thread_ = std::thread([this] { Run(); });
}

TvxObjectStreamPrefetch::~TvxObjectStreamPrefetch() {
  {
    std::lock_guard<std::mutex> guard(lock_);
    stop_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

std::unique_ptr<TvxPrefetchedObjectStream> TvxObjectStreamPrefetch::Take(int64_t s) {
  auto found = positions_.find(s);
  if (found == positions_.end()) return nullptr;
  const size_t position = found->second;
  std::unique_lock<std::mutex> guard(lock_);
  allowed_ = std::max(allowed_, position + 1 + kLookahead);
  changed_.notify_all();
  TvxEntry& entry = entries_[position];
  // Not finished: decoded by the caller, which never waits for this thread
  // (on a busy machine it may not run for a while); the result is dropped.
  const bool done = entry.State == TvxState::Done;
  entry.State = TvxState::Given;
  return done ? std::move(entry.Result) : nullptr;
}

void TvxObjectStreamPrefetch::Run() {
  std::unique_lock<std::mutex> guard(lock_);
  for (;;) {
    changed_.wait(guard, [&] { return stop_ || next_ >= entries_.size() || next_ < allowed_; });
    if (stop_ || next_ >= entries_.size()) return;
    TvxEntry& entry = entries_[next_++];
    if (entry.State != TvxState::Waiting) continue;
    entry.State = TvxState::Working;
    const int64_t offset = entry.Offset;
    guard.unlock();
    std::unique_ptr<TvxPrefetchedObjectStream> result;
    try {
      result = Decode(offset);
    } catch (...) {
      result.reset();  // the loading thread meets the same problem itself, in its own words
    }
    guard.lock();
    if (entry.State == TvxState::Working) {
      entry.Result = std::move(result);
      entry.State = TvxState::Done;
    }
  }
}

std::unique_ptr<TvxPrefetchedObjectStream> TvxObjectStreamPrefetch::Decode(int64_t offset) const {
  if (offset <= 0 || uint64_t(offset) >= file_->size()) return nullptr;
  TvxPDFStreamReader reader(documentID_, file_);
  reader.SetPos(size_t(offset));
  TvxPDFObjectPtr parsed = reader.ParseObject();
  auto* object = As<TvxPDFIndirectObject>(parsed.get());
  auto* stream = object ? As<TvxPDFStreamObject>(object->Content.get()) : nullptr;
  if (!stream) return nullptr;
  // Only what needs no other object: the length, filters, count and start
  // given directly.
  const TvxPDFDictObject& dict = *stream->Dictionary;
  auto* length = As<TvxPDFIntegerObject>(dict.Find("/Length"));
  auto* type = As<TvxPDFNameObject>(dict.Find("/Type"));
  auto* count = As<TvxPDFIntegerObject>(dict.Find("/N"));
  auto* first = As<TvxPDFIntegerObject>(dict.Find("/First"));
  TvxPDFObject* filter = dict.Find("/Filter");
  if (!length || length->Value < 0 || !type || type->Text != "/ObjStm" || !count || !first) return nullptr;
  if (filter && filter->IsReference()) return nullptr;

  auto result = std::make_unique<TvxPrefetchedObjectStream>();
  result->Filtered = filter && !filter->IsNull();
  if (result->Filtered) {
    result->Filters = ReadFilterList(filter);
    for (TvxDecodeFilter kind : result->Filters)
      if (kind == ftDCTDecode || kind == ftCCITTFaxDecode) return nullptr;
  }
  std::unique_ptr<TvxMemoryStream> data =
      reader.ReadStreamData(length->Value, object->ObjectNumber, object->Generation, &dict);
  if (!data->IsView()) return nullptr;  // only bytes of the file can be matched
  result->Source = data->View();
  auto decoded = std::make_shared<const std::string>(
      result->Filtered ? DecodeFilterChainBytes(result->Source, filter) : std::string(result->Source));
  result->Count = count->Value;
  result->First = first->Value;
  result->Index = IndexObjectStream(documentID_, std::move(decoded), result->Count, result->First);
  return result;
}

}  // namespace vx
