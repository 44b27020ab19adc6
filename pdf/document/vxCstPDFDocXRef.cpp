// Reading the cross-reference data, newest section first along /Prev, into
// the two entry lists, and the few trailer entries the document needs.
#include <algorithm>
#include <unordered_set>

#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/filters/vxFilterChain.h"
#include "pdf/filters/vxPredictors.h"
#include "pdf/util/vxExceptions.h"
#include "pdf/util/vxPDFResStrs.h"
#include "pdf/util/vxUtils.h"

namespace vx {

namespace {

// Object numbers above this are not real (the format's own limit is
// 8,388,607); entries for them are ignored so a tiny file cannot make the
// entry lists huge.
constexpr int64_t kMaxObjectNumber = 8388607;

template <typename T>
bool PlaceEntry(std::vector<TvxEntrySlot<T>>& list, int64_t number, T entry, size_t limit) {
  if (number < 0 || number > kMaxObjectNumber || size_t(number) >= limit) return false;
  if (size_t(number) >= list.size()) list.resize(size_t(number) + 1);
  list[size_t(number)] = entry;
  return true;
}

template <typename T>
void ClearEntry(std::vector<TvxEntrySlot<T>>& list, int64_t number) {
  if (number >= 0 && uint64_t(number) < list.size()) list[size_t(number)] = TvxEntrySlot<T>();
}

// Entry lists may grow to about one slot per byte of the file, with room
// for small files that use sparse numbers.
size_t EntryLimit(size_t fileSize) {
  return size_t(std::min<int64_t>(kMaxObjectNumber + 1, std::max<int64_t>(1 << 20, int64_t(fileSize))));
}

}  // namespace

TvxCustomPDFDocument::TvxSectionKind TvxCustomPDFDocument::SectionKindAt(int64_t offset) {
  if (offset < 0 || uint64_t(offset) >= reader_->WholeSize()) return TvxSectionKind::Unknown;
  reader_->Ensure(size_t(offset), 16);  // all that is looked at below
  std::string_view data = reader_->Data();
  std::string_view head = data.substr(size_t(offset), 5);
  if (head.substr(0, 4) == "xref") return TvxSectionKind::Table;
  size_t b = 0, e = head.size();
  auto white = [](char c) { return c == 0 || c == 9 || c == 10 || c == 12 || c == 13 || c == 32; };
  while (b < e && white(head[b])) ++b;
  while (e > b && white(head[e - 1])) --e;
  if (head.substr(b, e - b) == "xref") return TvxSectionKind::Table;
  // Writers often point at the line end just before "N G obj"; the object
  // parser skips those blanks as it skips any others.
  size_t digit = size_t(offset);
  while (digit < data.size() && digit - size_t(offset) < 4 && white(data[digit])) ++digit;
  if (digit < data.size() && IsDigit(data[digit])) return TvxSectionKind::Stream;
  return TvxSectionKind::Unknown;
}

// Sections are applied oldest first, so whatever is placed last is the
// newest word on that number: an entry in one list takes the number away
// from the other, and a free entry takes it from both.
void TvxCustomPDFDocument::PlaceTableEntry(int64_t number, const TvxXRefItem& entry, size_t limit) {
  if (PlaceEntry(xrefItems_, number, entry, limit)) ClearEntry(xrefStmItems_, number);
}

void TvxCustomPDFDocument::PlaceStreamEntry(int64_t number, const TvxXRefStmItem& entry, size_t limit) {
  if (PlaceEntry(xrefStmItems_, number, entry, limit)) ClearEntry(xrefItems_, number);
}

// The entries say where to read objects; once the reader is gone (after a
// full load, or once a load on demand is complete) nothing is read at them
// again. What is still asked of them is kept compactly: the offsets, and
// whether the source had object streams.
void TvxCustomPDFDocument::ReleaseEntryLists() {
  sourceHadObjectStreams_ = SourceHasObjectStreams();
  loadedOffsets_.Build(std::max(xrefItems_.size(), xrefStmItems_.size()), [this](size_t n) -> int64_t {
    if (n < xrefItems_.size() && xrefItems_[n]) return xrefItems_[n]->Offset;
    if (n < xrefStmItems_.size() && xrefStmItems_[n] && xrefStmItems_[n]->EntryType == 1)
      return xrefStmItems_[n]->Field2;
    return 0;
  });
  std::vector<TvxEntrySlot<TvxXRefItem>>().swap(xrefItems_);
  std::vector<TvxEntrySlot<TvxXRefStmItem>>().swap(xrefStmItems_);
}

void TvxCustomPDFDocument::FreeEntry(int64_t number) {
  ClearEntry(xrefItems_, number);
  ClearEntry(xrefStmItems_, number);
}

void TvxCustomPDFDocument::LoadClassicXRef(int64_t offset) {
  visitedSections_.clear();
  trailersTaken_ = 0;
  olderInfoPassedOver_ = false;
  ReadXRefTable(offset);
  CompleteXRef();
}

void TvxCustomPDFDocument::LoadStreamXRef(int64_t offset) {
  Status(res::SReadingXRefStream);
  visitedSections_.clear();
  trailersTaken_ = 0;
  olderInfoPassedOver_ = false;
  ReadXRefStream(offset);
  CompleteXRef();
}

void TvxCustomPDFDocument::CompleteXRef() {
  // New objects must get numbers above every number the file uses, whichever
  // list knows it.
  store_->SetLastObjectNumber(int32_t(std::max(xrefItems_.size(), xrefStmItems_.size())));
  if (!xrefStmItems_.empty()) deferredObjectStreams_ = true;
  // The lists grew by doubling; they are complete now.
  xrefItems_.shrink_to_fit();
  xrefStmItems_.shrink_to_fit();
  if (pendingIdValue_) {
    if (pendingIdValue_->IsArray()) {
      trailer_->IDArray.reset(static_cast<TvxPDFArrayObject*>(pendingIdValue_->Clone().release()));
    } else if (pendingIdValue_->IsReference()) {
      TvxPDFObjectPtr resolved = ResolveDeep(pendingIdValue_.get());
      if (resolved && resolved->IsArray())
        trailer_->IDArray.reset(static_cast<TvxPDFArrayObject*>(resolved.release()));
    }
  }
}

void TvxCustomPDFDocument::TakeTrailerEntries(const TvxPDFDictObject& dict, bool sectionStream) {
  // The document information is the newest trailer's alone, as other readers
  // have it: an update that drops /Info removes the information.
  const bool newest = !sectionStream && trailersTaken_++ == 0;
  if (trailer_->RootNumber == -1) {
    if (TvxPDFObject* root = dict.Find("/Root")) trailer_->RootNumber = Cast<TvxPDFIndirectReference>(root).ObjectNumber;
  }
  if (!pendingIdValue_) {
    if (TvxPDFObject* id = dict.Find("/ID")) pendingIdValue_ = id->Clone();
  }
  if (!trailer_->EncryptValue) {
    if (TvxPDFObject* encrypt = dict.Find("/Encrypt")) trailer_->EncryptValue = encrypt->Clone();
  }
  if (TvxPDFObject* info = dict.Find("/Info"); info && !sectionStream) {
    if (newest) {
      auto& ref = Cast<TvxPDFIndirectReference>(info);
      trailer_->InfoRef = std::make_unique<TvxPDFIndirectReference>(ref.DocumentID, ref.ObjectNumber, ref.Generation);
    } else if (!trailer_->InfoRef) {
      olderInfoPassedOver_ = true;
    }
  }
}

void TvxCustomPDFDocument::ReadXRefTable(int64_t offset) {
  // A /Prev chain that comes back to a section already read ends there.
  if (!visitedSections_.insert(offset).second) {
    xrefLoopSeen_ = true;
    return;
  }
  Status(res::SReadingXRefTable);
  TvxPDFStreamReader& r = *reader_;
  std::unordered_set<int64_t> hybridNumbers;  // numbers this section's /XRefStm placed
  {
    std::unique_ptr<TvxPDFDictObject> trailer = r.Within(size_t(offset), [&r, offset] {
      r.SetPos(size_t(offset));
      return r.ReadTrailer();
    });
    TakeTrailerEntries(*trailer);
    if (TvxPDFObject* prev = trailer->Find("/Prev")) {
      int64_t prevOffset = Cast<TvxPDFIntegerObject>(prev).Value;
      switch (SectionKindAt(prevOffset)) {
        case TvxSectionKind::Table: ReadXRefTable(prevOffset); break;
        case TvxSectionKind::Stream: ReadXRefStream(prevOffset); break;
        case TvxSectionKind::Unknown: break;  // an older section we cannot find is skipped
      }
    }
    // The stream of a hybrid section belongs to this section: the table's
    // own entries still come after it, but a free entry in the table only
    // hides the object from readers that do not know the stream.
    if (TvxPDFObject* xrefStm = trailer->Find("/XRefStm"))
      ReadXRefStream(Cast<TvxPDFIntegerObject>(xrefStm).Value, &hybridNumbers);
  }

  // This section's own entries come last, so they override older ones.
  // Read piece by piece, a run cut short is run again from the start: it
  // places the same entries in the same order, so the last run decides.
  r.Within(size_t(offset), [&] { return ReadXRefTableEntries(offset, hybridNumbers); });
}

int TvxCustomPDFDocument::ReadXRefTableEntries(int64_t offset, const std::unordered_set<int64_t>& hybridNumbers) {
  TvxPDFStreamReader& r = *reader_;
  std::string_view data = r.Data();
  const size_t limit = EntryLimit(r.WholeSize());
  r.SetPos(size_t(offset));
  auto skipToDigit = [&] {
    while (!r.Eof() && !IsDigit(r.PeekAt(0))) r.Skip(1);
  };
  auto skipBlanks = [&] {
    while (!r.Eof() && r.PeekAt(0) == ' ') r.Skip(1);
  };
  // A run of up to ten digits (the field as far as it is numeric); anything
  // else where a digit belongs fails the conversion.
  auto readDigits = [&]() -> std::string_view {
    size_t start = r.Pos(), end = start;
    while (end < data.size() && end - start < 10 && IsDigit(data[end])) ++end;
    if (end >= data.size()) r.EndMet = true;
    if (end == start) end = std::min(data.size(), start + 1);
    r.SetPos(end);
    return data.substr(start, end - start);
  };
  while (true) {
    skipToDigit();
    int64_t first = StrToInt64(r.ReadWord());
    int64_t count = StrToInt64(r.ReadWord());
    if (count <= 0) break;
    skipToDigit();
    for (int64_t i = 0; i < count; ++i) {
      // Entries are meant to be 20 bytes, but writers that end lines with a
      // single LF make 19-byte entries; each entry is therefore read by its
      // fields (offset, generation, type) and the line end after it.
      std::string_view offsetText = readDigits();
      skipBlanks();
      std::string_view generationText = readDigits();
      skipBlanks();
      int type = r.ReadChar();
      while (!r.Eof() && (r.PeekAt(0) == ' ' || r.PeekAt(0) == '\r' || r.PeekAt(0) == '\n')) r.Skip(1);
      int64_t entryOffset = StrToInt64(offsetText);
      int64_t generation = StrToInt64(generationText);
      if (type == 'n') {
        PlaceTableEntry(first + i, TvxXRefItem(entryOffset, int32_t(generation), char(type), int32_t(first + i)),
                        limit);
      } else if (type == 'f') {
        if (!hybridNumbers.count(first + i)) FreeEntry(first + i);
      } else {
        throw EConvertError(Format(res::SInvalidInteger, {std::string(1, char(type < 0 ? '?' : type))}));
      }
    }
    r.SkipWhitespace();
    if (r.PeekView(7) == "trailer" || r.Eof()) break;
  }
  return 0;
}

void TvxCustomPDFDocument::ReadXRefStream(int64_t offset, std::unordered_set<int64_t>* placedNumbers) {
  // A /Prev chain that comes back to a section already read ends there.
  if (!visitedSections_.insert(offset).second) {
    xrefLoopSeen_ = true;
    return;
  }
  std::unique_ptr<TvxPDFIndirectObject> object = ReadObjectAt(offset);
  if (!object) throw EPDFFileCorruptedError(res::SFileCorrupted);
  auto& stream = Cast<TvxPDFStreamObject>(object->Content.get());
  TvxPDFDictObject& dict = *stream.Dictionary;

  std::string data;
  TvxPDFObject* filter = store_->Resolve(dict.Find("/Filter"));
  if (filter && !filter->IsNull()) {  // a null filter is no filter
    TvxDecodeFilters kinds = ReadFilterList(filter);
    if (std::find(kinds.begin(), kinds.end(), ftDCTDecode) == kinds.end())
      data = DecodeFilterChainBytes(stream.DataView(), filter);
    else
      data = stream.DataView();
  } else {
    data = stream.DataView();
  }
  if (auto* parms = As<TvxPDFDictObject>(store_->Resolve(dict.Find("/DecodeParms")))) {
    // Rows are PNG-predicted when the parameters say so; predictor 1 (or
    // none) leaves the data as it is.
    auto predictor = IntegerValue(parms->Find("/Predictor"));
    if (predictor && *predictor >= 10) {
      auto columns = IntegerValue(parms->Find("/Columns"));
      DecodePngRowsInPlace(data, int(columns.value_or(1)));
    } else if (predictor && *predictor == 2) {
      auto columns = IntegerValue(parms->Find("/Columns"));
      data = DecodeTiffRows(data, int(columns.value_or(1)))->Bytes();
    } else if (predictor && *predictor != 1) {
      throw EUnsupportedFilterError(Format(res::SUnsupportedFilterNamed, {"/Predictor " + std::to_string(*predictor)}));
    }
  }

  TakeTrailerEntries(dict, placedNumbers != nullptr);
  if (TvxPDFObject* prev = dict.Find("/Prev")) {
    // An older section may be of either kind, whatever this one is.
    int64_t prevOffset = Cast<TvxPDFIntegerObject>(prev).Value;
    if (SectionKindAt(prevOffset) == TvxSectionKind::Table)
      ReadXRefTable(prevOffset);
    else
      ReadXRefStream(prevOffset);
  }

  auto& w = Cast<TvxPDFArrayObject>(dict.Find("/W"));
  int widths[3] = {0, 0, 0};
  for (int i = 0; i < 3; ++i) {
    TvxPDFObject* item = w.GetItem(i);
    widths[i] = item ? std::clamp(Cast<TvxPDFIntegerObject>(item).Value, 0, 8) : 0;
  }
  const size_t entrySize = size_t(widths[0] + widths[1] + widths[2]);
  const size_t limit = EntryLimit(reader_->WholeSize());
  size_t pos = 0;
  auto readEntry = [&](int64_t number) -> bool {
    if (entrySize == 0 || pos + entrySize > data.size()) return false;
    int64_t fields[3] = {1, 0, 0};
    for (int f = 0; f < 3; ++f) {
      if (widths[f] == 0) continue;
      uint64_t v = 0;
      for (int k = 0; k < widths[f]; ++k) v = v << 8 | uint8_t(data[pos++]);
      fields[f] = int64_t(v);
    }
    // Types other than 0, 1 and 2 name nothing this reader knows; they are
    // kept as 3 so that a wide field cannot pass for a known type.
    int32_t type = fields[0] >= 0 && fields[0] <= 2 ? int32_t(fields[0]) : 3;
    PlaceStreamEntry(number, TvxXRefStmItem(type, fields[1], int32_t(fields[2])), limit);
    if (placedNumbers) placedNumbers->insert(number);
    return true;
  };

  if (auto* index = As<TvxPDFArrayObject>(dict.Find("/Index"))) {
    int pairs = index->Count() / 2;  // a lone number at the end names no entries
    for (int p = 0; p < pairs; ++p) {
      auto first = IntegerValue(index->GetItem(2 * p));
      auto count = IntegerValue(index->GetItem(2 * p + 1));
      if (!first || !count) throw EInvalidCast(res::SInvalidCast);
      if (*count == 0) break;
      bool more = true;
      for (int64_t k = 0; k < *count && more; ++k) more = readEntry(*first + k);
      if (!more) break;
    }
  } else {
    int64_t size = IntegerValue(dict.Find("/Size")).value_or(0);
    // Room for the entries the data holds, made once rather than by doubling.
    if (entrySize > 0 && size > 0) {
      const size_t held = std::min({size_t(size), data.size() / entrySize, limit});
      if (held > xrefStmItems_.size()) xrefStmItems_.reserve(held);
    }
    for (int64_t n = 0; n < size; ++n)
      if (!readEntry(n)) break;
  }
}

}  // namespace vx
