// Repairing cross-reference data that cannot be used. The loader first reads
// the sections the file points at; when they are missing, do not parse,
// loop, point at the wrong bytes or lead to no catalog, the entries are
// rebuilt. The file's own table (its sections, oldest first) is read again
// and every entry of it that points at its object is kept; one pass
// over the file finds the rest: the "N G obj" headers outside stream data
// (the last definition of a number wins), the trailer dictionaries and
// cross-reference sections (the newest first), and the object streams, whose
// members fill numbers still missing. Nothing is ever taken from inside a
// stream's data: an embedded file or a content stream may show objects that
// are not this file's.
#include <algorithm>
#include <utility>
#include <cstring>
#include <optional>
#include <thread>

#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/document/vxDocumentWriter.h"
#include "pdf/document/vxLoadHelper.h"
#include "pdf/filters/vxDZLIB.h"
#include "pdf/filters/vxFilterChain.h"
#include "pdf/util/vxExceptions.h"
#include "pdf/util/vxPDFResStrs.h"
#include "pdf/util/vxUtils.h"

namespace vx {

namespace {

// The format's own limit on object numbers; headers above it are not objects.
constexpr int64_t kMaxObjectNumber = 8388607;
// Trailers are read newest first until one names the catalog; the bound keeps
// a file full of "trailer" words from being parsed word by word.
constexpr int kMaxTrailersRead = 16;
// Catalogs found by the scan are tried newest first, this many at most: a
// file of thousands of damaged ones costs a parse (and an exception) each.
constexpr int kMaxCatalogsTried = 64;
// Blanks allowed between the parts of an object header, and digits in each
// part: a header is short, so looking back from "obj" stays bounded.
constexpr size_t kMaxHeaderBlanks = 16;
constexpr size_t kMaxNumberDigits = 7;
constexpr size_t kMaxGenerationDigits = 5;

bool IsWhite(char c) { return c == 0 || c == 9 || c == 10 || c == 12 || c == 13 || c == 32; }
bool IsDelimiter(char c) { return c != 0 && std::strchr("()<>[]{}/%", c) != nullptr; }
bool IsRegular(char c) { return !IsWhite(c) && !IsDelimiter(c); }

// Entry lists may grow to about one slot per byte of the file (as when the
// table is read), with room for small files that use sparse numbers.
size_t EntryLimit(size_t fileSize) {
  return size_t(std::min<int64_t>(kMaxObjectNumber + 1, std::max<int64_t>(1 << 20, int64_t(fileSize))));
}

struct TvxObjectHeader {
  int32_t Number;
  int32_t Generation;
  int64_t Offset;  // of the first digit
};

// The header that ends with the "obj" keyword at `at`, if the bytes before it
// are one: a number, blanks, a generation, blanks, and nothing regular before
// the number (so "endobj" and "x12 0 obj" are not headers).
std::optional<TvxObjectHeader> HeaderEndingAt(std::string_view d, size_t at) {
  if (at + 3 < d.size() && IsRegular(d[at + 3])) return std::nullopt;
  size_t p = at;
  auto skipBlanks = [&] {
    size_t start = p;
    while (p > 0 && IsWhite(d[p - 1]) && start - p < kMaxHeaderBlanks) --p;
    return p < start;
  };
  auto skipDigits = [&](size_t most) {
    size_t start = p;
    while (p > 0 && IsDigit(d[p - 1]) && start - p < most) --p;
    return p < start;
  };
  if (!skipBlanks()) return std::nullopt;
  const size_t generationEnd = p;
  if (!skipDigits(kMaxGenerationDigits)) return std::nullopt;
  const size_t generationStart = p;
  if (!skipBlanks()) return std::nullopt;
  const size_t numberEnd = p;
  if (!skipDigits(kMaxNumberDigits)) return std::nullopt;
  if (p > 0 && IsRegular(d[p - 1])) return std::nullopt;
  auto number = TryStrToInt64(d.substr(p, numberEnd - p));
  auto generation = TryStrToInt64(d.substr(generationStart, generationEnd - generationStart));
  if (!number || !generation || *number > kMaxObjectNumber || *generation > 65535) return std::nullopt;
  return TvxObjectHeader{int32_t(*number), int32_t(*generation), int64_t(p)};
}

// Whether the bytes at `offset` (after blanks) are the header "number
// generation obj".
bool HoldsObject(std::string_view d, int64_t offset, int32_t number, int32_t generation) {
  if (offset < 0 || uint64_t(offset) >= d.size()) return false;
  size_t p = size_t(offset);
  for (size_t k = 0; k < kMaxHeaderBlanks && p < d.size() && IsWhite(d[p]); ++k) ++p;
  // A few digits at most: their value is taken as they are read (this runs
  // once per entry of the table).
  auto readNumber = [&](size_t most) -> std::optional<int64_t> {
    size_t start = p;
    int64_t value = 0;
    while (p < d.size() && IsDigit(d[p]) && p - start < most) value = value * 10 + (d[p++] - '0');
    if (p == start || (p < d.size() && IsDigit(d[p]))) return std::nullopt;
    return value;
  };
  auto skipBlanks = [&] {
    size_t start = p;
    while (p < d.size() && IsWhite(d[p]) && p - start < kMaxHeaderBlanks) ++p;
    return p > start;
  };
  auto n = readNumber(kMaxNumberDigits);
  if (!n || *n != number || !skipBlanks()) return false;
  auto g = readNumber(kMaxGenerationDigits);
  if (!g || *g != generation || !skipBlanks()) return false;
  if (d.substr(p, 3) != "obj") return false;
  return p + 3 >= d.size() || !IsRegular(d[p + 3]);
}

// Whether a dictionary's text names the type /XRef (and not, say, /XRefStm).
bool NamesXRefType(std::string_view dict) {
  for (size_t at = dict.find("/XRef"); at != std::string_view::npos; at = dict.find("/XRef", at + 5))
    if (at + 5 >= dict.size() || !IsRegular(dict[at + 5])) return true;
  return false;
}

// The "stream" keyword in an object's text: right after the end of the
// dictionary (so not a word of a string, nor the end of "endstream").
size_t FindStreamKeyword(std::string_view body) {
  for (size_t at = body.find("stream"); at != std::string_view::npos; at = body.find("stream", at + 6)) {
    size_t p = at;
    while (p > 0 && IsWhite(body[p - 1]) && at - p < kMaxHeaderBlanks) --p;
    if (p >= 2 && body.substr(p - 2, 2) == ">>") return at;
  }
  return std::string_view::npos;
}

// A stream dictionary's /Length when it is written as a number (not "N G R").
std::optional<size_t> DirectLength(std::string_view dict) {
  for (size_t at = dict.find("/Length"); at != std::string_view::npos; at = dict.find("/Length", at + 7)) {
    size_t p = at + 7;
    if (p < dict.size() && IsRegular(dict[p])) continue;  // /Length1 and the like
    while (p < dict.size() && IsWhite(dict[p])) ++p;
    size_t digits = p;
    while (p < dict.size() && IsDigit(dict[p]) && p - digits < 12) ++p;
    if (p == digits) return std::nullopt;
    const std::string_view number = dict.substr(digits, p - digits);
    while (p < dict.size() && IsWhite(dict[p])) ++p;
    const size_t generation = p;
    while (p < dict.size() && IsDigit(dict[p])) ++p;
    if (p > generation) {
      while (p < dict.size() && IsWhite(dict[p])) ++p;
      if (p < dict.size() && dict[p] == 'R') return std::nullopt;
    }
    return size_t(TryStrToInt64(number).value_or(-1));
  }
  return std::nullopt;
}

// Where a stream's data starts: after the keyword, blanks, and one line end.
size_t StreamDataStart(std::string_view d, size_t afterKeyword) {
  size_t p = afterKeyword;
  while (p < d.size() && (d[p] == ' ' || d[p] == '\t')) ++p;
  if (p < d.size() && d[p] == '\r') ++p;
  if (p < d.size() && d[p] == '\n') ++p;
  return p;
}

bool EndstreamAt(std::string_view d, size_t p) {
  for (size_t k = 0; k < kMaxHeaderBlanks && p < d.size() && IsWhite(d[p]); ++k) ++p;
  return d.substr(p, 9) == "endstream";
}

// The next "endstream" at or after a position. Positions asked for only grow,
// so each byte is searched once.
class TvxEndstreamFinder {
 public:
  explicit TvxEndstreamFinder(std::string_view d) : d_(d) {}
  size_t From(size_t p) {
    if (!searched_ || p > found_) {
      found_ = d_.find("endstream", p);
      searched_ = true;
    }
    return found_;
  }

 private:
  std::string_view d_;
  size_t found_ = 0;
  bool searched_ = false;
};

// What one pass over the file finds, each list in file order.
struct TvxScanResult {
  std::vector<TvxObjectHeader> Objects;
  std::vector<TvxObjectHeader> ObjectStreams;  // dictionaries that name /ObjStm
  std::vector<TvxObjectHeader> Catalogs;       // dictionaries that name /Catalog
  // Where trailer entries may be: "trailer" keywords (IsKeyword) and
  // cross-reference stream objects.
  struct TrailerSource {
    int64_t Offset;
    bool IsKeyword;
  };
  std::vector<TrailerSource> Trailers;
  // Cross-reference sections: "xref" keywords starting a line, and
  // cross-reference stream objects.
  std::vector<int64_t> Sections;
};

// Calls `found` with the position of each `word` of `d` that lies outside
// the stream data (ranges in file order), in order.
template <typename Found>
void FindOutsideData(std::string_view d, const std::vector<std::pair<size_t, size_t>>& data, std::string_view word,
                     Found found) {
  size_t from = 0;
  for (size_t k = 0; k <= data.size(); ++k) {
    const size_t to = k < data.size() ? data[k].first : d.size();
    const std::string_view gap = d.substr(from, to - from);
    for (size_t p = gap.find(word); p != std::string_view::npos; p = gap.find(word, p + word.size())) found(from + p);
    if (k < data.size()) from = data[k].second;
  }
}

// One linear pass. Each header's text up to the next "obj" (which ends it or
// begins the next), within a window, is looked at once; of a stream, only the
// dictionary before the "stream" keyword is, and the search goes on after
// its data (found by a /Length that ends at "endstream", else by the next
// "endstream"). What the text names is a guess that the caller confirms by
// parsing the few objects it uses.
TvxScanResult ScanFile(std::string_view d) {
  // A stream's dictionary is looked for this far after its header: further
  // on, its data would be searched for nothing.
  constexpr size_t kDictionaryWindow = size_t(16) << 10;
  TvxScanResult scan;
  std::vector<std::pair<size_t, size_t>> streamData;  // [start, end), in file order
  TvxEndstreamFinder endstream(d);
  size_t at = d.find("obj");
  while (at != std::string_view::npos) {
    const std::string_view window = d.substr(at + 3, kDictionaryWindow);
    const size_t inWindow = window.find("obj");
    size_t next = inWindow != std::string_view::npos ? at + 3 + inWindow
                  : at + 3 + window.size() < d.size() ? d.find("obj", at + 1 + window.size())
                                                      : std::string_view::npos;
    std::optional<TvxObjectHeader> header = HeaderEndingAt(d, at);
    if (!header) {
      at = next;
      continue;
    }
    scan.Objects.push_back(*header);
    const std::string_view body = window.substr(0, inWindow);
    const size_t streamAt = FindStreamKeyword(body);
    std::string_view dict = body.substr(0, streamAt);
    if (streamAt == std::string_view::npos) {
      if (dict.find("/Catalog") != std::string_view::npos) scan.Catalogs.push_back(*header);
      at = next;
      continue;
    }
    if (dict.find("/ObjStm") != std::string_view::npos) {
      scan.ObjectStreams.push_back(*header);
    } else if (NamesXRefType(dict)) {
      scan.Trailers.push_back({header->Offset, false});
      scan.Sections.push_back(header->Offset);
    }
    const size_t dataStart = StreamDataStart(d, at + 3 + streamAt + 6);
    size_t dataEnd = dataStart;
    std::optional<size_t> length = DirectLength(dict);
    if (length && *length <= d.size() - dataStart && EndstreamAt(d, dataStart + *length))
      dataEnd = dataStart + *length;
    else if (size_t e = endstream.From(dataStart); e != std::string_view::npos)
      dataEnd = e;
    if (dataEnd > dataStart) {
      streamData.emplace_back(dataStart, dataEnd);
      if (next != std::string_view::npos && next < dataEnd) next = d.find("obj", dataEnd);
    }
    at = next;
  }

  // Keywords inside stream data are not the file's.
  FindOutsideData(d, streamData, "trailer", [&](size_t t) { scan.Trailers.push_back({int64_t(t), true}); });
  auto startsLine = [&d](size_t p) {
    while (p > 0 && (d[p - 1] == ' ' || d[p - 1] == '\t')) --p;
    return p == 0 || d[p - 1] == '\r' || d[p - 1] == '\n';
  };
  FindOutsideData(d, streamData, "xref", [&](size_t x) {
    if (startsLine(x) && (x + 4 == d.size() || IsWhite(d[x + 4]))) scan.Sections.push_back(int64_t(x));
  });
  auto byOffset = [](const auto& a, const auto& b) { return a.Offset < b.Offset; };
  std::sort(scan.Trailers.begin(), scan.Trailers.end(), byOffset);
  std::sort(scan.Sections.begin(), scan.Sections.end());
  return scan;
}

// The first `count` bytes that `data` decodes to through `filter` (fewer
// where it decodes to fewer; std::string::npos: all of it). Flate alone, as
// object streams almost always are, is inflated only that far: the list of
// an object stream's members costs its own size, not that of the stream.
std::string DecodedPrefix(std::string_view data, const TvxPDFObject* filter, size_t count) {
  if (!filter || filter->IsNull()) return std::string(data.substr(0, count));
  TvxDecodeFilters kinds = ReadFilterList(filter);
  if (count == std::string::npos || kinds.size() != 1 || kinds[0] != ftFlateDecode) {
    std::string whole = DecodeFilterChainBytes(data, filter);
    whole.resize(std::min(whole.size(), count));
    return whole;
  }
  // A view of the data (the caller keeps it alive; the empty owner shares nothing).
  TvxMemoryStream source(std::shared_ptr<const void>(std::shared_ptr<const void>(), data.data()), data);
  TDecompressionStream inflate(&source);
  std::string out;
  char piece[4096];
  while (out.size() < count) {
    const int64_t n = inflate.Read(piece, int64_t(std::min(sizeof piece, count - out.size())));
    if (n <= 0) break;
    out.append(piece, size_t(n));
  }
  return out;
}

// The (number, offset) pairs at the start of an object stream's decoded
// data, `count` of them at most, read up to where the members begin.
std::vector<std::pair<int64_t, int64_t>> MemberPairs(std::string_view header, int64_t count) {
  std::vector<std::pair<int64_t, int64_t>> members;
  size_t p = 0;
  auto readNumber = [&]() -> std::optional<int64_t> {
    while (p < header.size() && IsWhite(header[p])) ++p;
    size_t start = p;
    while (p < header.size() && IsDigit(header[p]) && p - start < 19) ++p;
    if (p == start) return std::nullopt;
    return TryStrToInt64(header.substr(start, p - start));
  };
  for (int64_t k = 0; k < count; ++k) {
    auto number = readNumber();
    auto offset = readNumber();
    if (!number || !offset) break;
    members.push_back({*number, *offset});
  }
  return members;
}

// A catalog by its type, or by its page tree where a writer left out or
// misspelt the type.
bool IsCatalogDictionary(const TvxPDFObject* value) {
  auto* dict = As<TvxPDFDictObject>(value);
  if (!dict) return false;
  auto* type = As<TvxPDFNameObject>(dict->Find("/Type"));
  return (type && type->Text == "/Catalog") || dict->Find("/Pages") != nullptr;
}

}  // namespace

int TvxCustomPDFDocument::ReadHeaderAfterJunk() {
  try {
    return reader_->Within(0, [this] { return reader_->ReadHeaderVersion(); });
  } catch (const EInvalidHeader&) {
    // Some writers and mail gateways put bytes before the header; within
    // the first kilobyte it is still this file's header. Its offsets count
    // from the header, as other readers take them (offsets that count from
    // the start of the file are repaired as any that do not match): the
    // bytes before it are dropped, and the document is that of the rest.
    reader_->Ensure(0, 1024 + 16);
    std::string_view d = reader_->Data();
    size_t at = d.substr(0, 1024).find("%PDF-");
    if (at == std::string_view::npos) throw;
    auto header = std::make_shared<const std::string>(d.substr(at, 16));
    int version = TvxPDFStreamReader(documentID_, header).ReadHeaderVersion();
    Warning(Format(res::SJunkBeforeHeader, {int(at)}));
    reader_->ReadWhole();
    fileBytes_ = std::make_shared<const std::string>(reader_->Data().substr(at));
    preparedUpdate_.reset();  // it copies the file, junk included
    sourceFile_.reset();
    reader_ = SourceReader();
    return version;
  }
}

void TvxCustomPDFDocument::OpenCrossReference() {
  std::string problem;
  try {
    int64_t offset = -1;
    try {
      offset = reader_->FindStartXRef();
    } catch (const Exception&) {
      problem = res::SRepairNoStartXRef;
    }
    if (problem.empty() && ObjectsAfterLastStartXRef()) problem = res::SRepairObjectsAfterStartXRef;
    if (problem.empty()) {
      switch (SectionKindAt(offset)) {
        case TvxSectionKind::Table: LoadClassicXRef(offset); break;
        case TvxSectionKind::Stream: LoadStreamXRef(offset); break;
        case TvxSectionKind::Unknown: problem = res::SRepairNoSection; break;
      }
    }
    if (problem.empty()) problem = XRefProblem();
  } catch (const EUnsupportedFilterError&) {
    throw;  // a filter this reader lacks is refused, not guessed around
  } catch (const Exception& e) {
    problem = Format(res::SRepairUnreadableSection, {e.Message()});
  }
  if (!problem.empty()) RebuildXRef(problem);
}

bool TvxCustomPDFDocument::ObjectsAfterLastStartXRef() {
  // An update cut off before its own startxref leaves the one of an older
  // revision as the last; reading from there would drop the update.
  // A file read piece by piece is searched from its tail, as far back as
  // the keyword.
  const size_t size = reader_->WholeSize();
  for (size_t tail = TvxFileOnDemand::kChunkSize;; tail *= 2) {
    const size_t from = reader_->ReadsPieces() && tail < size ? size - tail : 0;
    if (from > 0) reader_->Ensure(from, size - from);
    std::string_view d = reader_->Data();
    size_t keyword = d.substr(from).rfind("startxref");
    if (keyword == std::string_view::npos) {
      if (from == 0) return false;
      continue;
    }
    keyword += from;
    // The headers looked for end after the keyword and reach back no
    // further than its last letter.
    for (size_t at = d.find("obj", keyword); at != std::string_view::npos; at = d.find("obj", at + 3))
      if (HeaderEndingAt(d, at)) return true;
    return false;
  }
}

std::string TvxCustomPDFDocument::XRefProblem() {
  if (xrefLoopSeen_) return res::SRepairPrevLoop;
  // The cross-reference streams' own entries are never used to read them
  // (their sections are found by offset), so a wrong one harms nothing.
  std::unordered_set<int32_t> sectionObjects;
  for (int64_t offset : visitedSections_) {
    // A header ending within 32 bytes of the offset reaches back no further
    // than blanks and two numbers before it.
    if (offset < 0 || uint64_t(offset) >= reader_->WholeSize()) continue;
    const size_t before = std::min<size_t>(size_t(offset), 64);
    reader_->Ensure(size_t(offset) - before, before + 64);
    std::string_view d = reader_->Data();
    size_t at = d.substr(0, size_t(offset) + 35).find("obj", size_t(offset));
    if (at != std::string_view::npos && at - size_t(offset) < 32)
      if (auto header = HeaderEndingAt(d, at)) sectionObjects.insert(header->Number);
  }
  if (sourceFile_ && reader_->ReadsPieces()) {
    // Read for a report: the same check, over the file streamed through a
    // small buffer instead of over the bytes held, while the load goes on
    // as if it passed. LoadForReport waits for it and loads the whole file
    // again when it failed.
    StartPlacementCheck(sectionObjects);
    if (trailer_->RootNumber <= 0) return res::SRepairNoRoot;
    if (!RootIsCatalog(trailer_->RootNumber)) return res::SRepairRootNotCatalog;
    return std::string();
  }
  std::string_view d = reader_->Data();
  // Offset 0 names nothing (some writers mark missing objects so); any other
  // in-use entry must point at its own header.
  auto misplaced = [&](size_t n, int64_t offset, int32_t generation) {
    return offset > 0 && !HoldsObject(d, offset, int32_t(n), generation) && !sectionObjects.count(int32_t(n));
  };
  for (size_t n = 0; n < xrefItems_.size(); ++n) {
    const auto& e = xrefItems_[n];
    if (e && e->EntryType == 'n' && misplaced(n, e->Offset, e->Generation))
      return Format(res::SRepairObjectMisplaced, {int(n)});
  }
  for (size_t n = 0; n < xrefStmItems_.size(); ++n) {
    const auto& e = xrefStmItems_[n];
    if (e && e->EntryType == 1 && misplaced(n, e->Field2, e->Field3))
      return Format(res::SRepairObjectMisplaced, {int(n)});
  }
  if (trailer_->RootNumber <= 0) return res::SRepairNoRoot;
  if (!RootIsCatalog(trailer_->RootNumber)) return res::SRepairRootNotCatalog;
  return std::string();
}

void TvxCustomPDFDocument::StartPlacementCheck(const std::unordered_set<int32_t>& sectionObjects) {
  // The entries in the order XRefProblem takes them.
  std::vector<TvxPlacedEntry> entries;
  entries.reserve(std::max(xrefItems_.size(), xrefStmItems_.size()));
  auto add = [&](size_t n, int64_t offset, int32_t generation) {
    if (offset > 0 && !sectionObjects.count(int32_t(n))) entries.push_back({offset, int32_t(n), generation, entries.size()});
  };
  for (size_t n = 0; n < xrefItems_.size(); ++n)
    if (const auto& e = xrefItems_[n]; e && e->EntryType == 'n') add(n, e->Offset, e->Generation);
  for (size_t n = 0; n < xrefStmItems_.size(); ++n)
    if (const auto& e = xrefStmItems_[n]; e && e->EntryType == 1) add(n, e->Field2, e->Field3);
  // Streaming the file is the longest part of such a load: it runs beside
  // the rest, on a core of its own where there is one.
  const bool beside = loadThreads_ != 1 && std::thread::hardware_concurrency() > 1;
  loadHelper_ = std::make_unique<TvxLoadHelper>(
      [file = sourceFile_, entries = std::move(entries)]() mutable { return FirstMisplacedEntry(*file, entries); },
      beside, sourceFile_);
}

std::optional<int32_t> TvxCustomPDFDocument::FirstMisplacedEntry(const TvxFileOnDemand& file,
                                                                 std::vector<TvxPlacedEntry>& entries) {
  auto byOffset = [](const TvxPlacedEntry& a, const TvxPlacedEntry& b) { return a.Offset < b.Offset; };
  // Most writers number their objects in file order: nothing to sort then.
  if (!std::is_sorted(entries.begin(), entries.end(), byOffset)) std::sort(entries.begin(), entries.end(), byOffset);
  // Each read covers a run of headers a few kilobytes apart at most (the
  // bytes between long streams are skipped), with room after the last for
  // the longest header; a run stops at the window's size, small enough to
  // stay in the processor's cache between the copy and the checks.
  constexpr size_t kWindow = size_t(256) << 10;
  constexpr size_t kHeaderRoom = 128;
  constexpr size_t kLongestGap = 4096;
  auto buffer = std::make_unique_for_overwrite<char[]>(kWindow + kHeaderRoom);
  size_t windowStart = 0, windowEnd = 0;  // headers starting in [windowStart, windowEnd) are in `bytes`
  std::string_view bytes;
  std::optional<size_t> firstOrder;
  int32_t firstNumber = 0;
  for (size_t i = 0; i < entries.size(); ++i) {
    const TvxPlacedEntry& e = entries[i];
    if (firstOrder && e.Order > *firstOrder) continue;
    bool holds = false;
    if (uint64_t(e.Offset) < file.Size()) {
      if (size_t(e.Offset) >= windowEnd || size_t(e.Offset) < windowStart) {
        windowStart = size_t(e.Offset);
        windowEnd = windowStart + 1;
        for (size_t j = i + 1; j < entries.size(); ++j) {
          const size_t next = size_t(entries[j].Offset);
          if (next >= windowStart + kWindow || next > windowEnd + kHeaderRoom + kLongestGap) break;
          windowEnd = next + 1;
        }
        const size_t count = windowEnd - windowStart + kHeaderRoom;
        bytes = std::string_view(buffer.get(), file.ReadInto(buffer.get(), count, windowStart));
      }
      holds = HoldsObject(bytes, e.Offset - int64_t(windowStart), e.Number, e.Generation);
    }
    if (!holds) {
      firstOrder = e.Order;
      firstNumber = e.Number;
    }
  }
  if (!firstOrder) return std::nullopt;
  return firstNumber;
}

bool TvxCustomPDFDocument::RootIsCatalog(int32_t number) { return RootCheck(number, true); }

bool TvxCustomPDFDocument::RootIsDictionary(int32_t number) { return RootCheck(number, false); }

bool TvxCustomPDFDocument::RootCheck(int32_t number, bool catalogOnly) {
  if (number <= 0) return false;
  size_t n = size_t(number);
  int64_t offset = 0;
  if (n < xrefItems_.size() && xrefItems_[n] && xrefItems_[n]->EntryType == 'n') {
    offset = xrefItems_[n]->Offset;
  } else if (n < xrefStmItems_.size() && xrefStmItems_[n]) {
    if (xrefStmItems_[n]->EntryType == 2) return true;  // checked when its stream is read
    if (xrefStmItems_[n]->EntryType == 1) offset = xrefStmItems_[n]->Field2;
  }
  if (offset <= 0) return false;
  try {
    bool walked = false;
    std::unique_ptr<TvxPDFIndirectObject> object = ReadObjectAtImpl(offset, false, walked);
    return object && object->ObjectNumber == number &&
           (catalogOnly ? IsCatalogDictionary(object->Content.get()) : object->Content->IsDictionary());
  } catch (const Exception&) {
    return false;
  }
}

void TvxCustomPDFDocument::RebuildXRef(const std::string& problem) {
  Warning(Format(res::SXRefRepaired, {problem}));
  repaired_ = true;
  // The scan reads every byte; from here on the load is that of a whole file.
  reader_->ReadWhole();
  std::string_view d = reader_->Data();
  TvxScanResult scan = ScanFile(d);

  // Nothing of the failed read stays: objects it stored may be the wrong ones.
  xrefItems_.clear();
  xrefStmItems_.clear();
  store_ = std::make_unique<TvxPDFObjectStore>();
  deferredObjectStreams_ = false;
  repairObjectStreams_.clear();
  repairCatalogs_.clear();

  // The file's own table: every section the file holds, found by the scan
  // (not along /Prev, which may be what is damaged), oldest first, so that
  // a newer entry replaces an older one. A section that stops reading keeps
  // what it read. A table's free entry does not take away a number that a
  // cross-reference stream placed (the stream of a hybrid file).
  visitedSections_ = std::unordered_set<int64_t>(scan.Sections.begin(), scan.Sections.end());
  std::unordered_set<int64_t> streamNumbers;
  for (int64_t offset : scan.Sections) {
    try {
      if (SectionKindAt(offset) == TvxSectionKind::Table) {
        ReadXRefTableEntries(offset, streamNumbers);
      } else {
        visitedSections_.erase(offset);
        ReadXRefStream(offset, &streamNumbers);
      }
    } catch (const EUnsupportedFilterError&) {
      throw;
    } catch (const Exception&) {
      // the entries read so far stay, to be checked below
    }
  }
  // The trailers are read below, the newest first.
  xrefLoopSeen_ = false;
  pendingIdValue_.reset();
  trailersTaken_ = 0;
  olderInfoPassedOver_ = false;
  trailer_ = std::make_unique<TvxPDFTrailer>();
  KeepEntriesThatPointAtTheirObjects(d);

  // The scan fills what the table leaves without an entry: the last
  // definition in the file of each such number.
  const size_t limit = EntryLimit(d.size());
  for (auto it = scan.Objects.rbegin(); it != scan.Objects.rend(); ++it) {
    const size_t n = size_t(it->Number);
    if (it->Number <= 0 || n >= limit || (n < xrefItems_.size() && xrefItems_[n]) ||
        (n < xrefStmItems_.size() && xrefStmItems_[n]))
      continue;
    if (n >= xrefItems_.size()) xrefItems_.resize(n + 1);
    xrefItems_[n] = TvxXRefItem(it->Offset, it->Generation, 'n', it->Number);
  }

  // The newest trailer wins entry by entry (TakeTrailerEntries keeps what is
  // already set); one that does not parse is passed over.
  int read = 0;
  for (auto it = scan.Trailers.rbegin(); it != scan.Trailers.rend() && read < kMaxTrailersRead; ++it) {
    if (trailer_->RootNumber > 0 && RootIsCatalog(trailer_->RootNumber)) break;
    ++read;
    try {
      if (it->IsKeyword) {
        reader_->SetPos(size_t(it->Offset) + 7);
        TvxPDFObjectPtr value = reader_->ParseObject();
        if (auto* dict = As<TvxPDFDictObject>(value.get())) TakeTrailerEntries(*dict);
      } else {
        bool walked = false;
        std::unique_ptr<TvxPDFIndirectObject> object = ReadObjectAtImpl(it->Offset, false, walked);
        auto* stream = object ? As<TvxPDFStreamObject>(object->Content.get()) : nullptr;
        if (stream) TakeTrailerEntries(*stream->Dictionary);
      }
    } catch (const Exception&) {
      // a damaged trailer names nothing
    }
  }

  // Object streams and catalogs, as long as they are still the current
  // definition of their number.
  auto current = [this](const TvxObjectHeader& h) {
    const size_t n = size_t(h.Number);
    return n < xrefItems_.size() && xrefItems_[n] && xrefItems_[n]->Offset == h.Offset;
  };
  for (const TvxObjectHeader& h : scan.ObjectStreams)
    if (current(h)) repairObjectStreams_.push_back({h.Number, h.Offset});
  for (const TvxObjectHeader& h : scan.Catalogs)
    if (current(h)) repairCatalogs_.push_back({h.Offset, h.Number, -1});
  CompleteXRef();
}

void TvxCustomPDFDocument::KeepEntriesThatPointAtTheirObjects(std::string_view d) {
  // An entry that checks out is the file's word on its number; offset 0
  // and free entries name nothing.
  for (size_t n = 0; n < xrefItems_.size(); ++n) {
    auto& e = xrefItems_[n];
    if (e && (e->EntryType != 'n' || !HoldsObject(d, e->Offset, int32_t(n), e->Generation))) e = TvxEntrySlot<TvxXRefItem>();
  }
  for (size_t n = 0; n < xrefStmItems_.size(); ++n) {
    auto& e = xrefStmItems_[n];
    if (!e || e->EntryType == 2) continue;
    if (e->EntryType != 1 || !HoldsObject(d, e->Field2, int32_t(n), e->Field3)) e = TvxEntrySlot<TvxXRefStmItem>();
  }
  // A member counts while its object stream is there.
  auto inFile = [this](int64_t s) {
    if (s <= 0) return false;
    const size_t n = size_t(s);
    return (n < xrefItems_.size() && xrefItems_[n]) ||
           (n < xrefStmItems_.size() && xrefStmItems_[n] && xrefStmItems_[n]->EntryType == 1);
  };
  for (auto& e : xrefStmItems_)
    if (e && e->EntryType == 2 && !inFile(e->Field2)) e = TvxEntrySlot<TvxXRefStmItem>();
  repairTableNumbers_.assign(std::max(xrefItems_.size(), xrefStmItems_.size()), false);
  for (size_t n = 0; n < repairTableNumbers_.size(); ++n)
    repairTableNumbers_[n] = (n < xrefItems_.size() && xrefItems_[n]) || (n < xrefStmItems_.size() && xrefStmItems_[n]);
}

void TvxCustomPDFDocument::CompleteRepair() {
  if (!repaired_) return;
  const size_t limit = EntryLimit(reader_->Data().size());
  // An object stream found by the scan, read again (its data decrypted), or
  // nothing when it is not one.
  auto readObjectStream = [this](int32_t s, int64_t offset) -> std::unique_ptr<TvxPDFIndirectObject> {
    const size_t n = size_t(s);
    if (n >= xrefItems_.size() || !xrefItems_[n] || xrefItems_[n]->Offset != offset) return nullptr;
    std::unique_ptr<TvxPDFIndirectObject> holder;
    try {
      holder = ReadObjectAt(offset);
    } catch (const EUnsupportedFilterError&) {
      throw;
    } catch (const Exception&) {
      return nullptr;  // a stream that does not parse holds nothing usable
    }
    auto* stream = holder ? As<TvxPDFStreamObject>(holder->Content.get()) : nullptr;
    if (!stream) return nullptr;
    TvxPDFDictObject& dict = *stream->Dictionary;
    auto* type = As<TvxPDFNameObject>(dict.Find("/Type"));
    auto first = IntegerValue(dict.Find("/First"));
    if (!type || type->Text != "/ObjStm" || !IntegerValue(dict.Find("/N")) || !first || *first < 0) return nullptr;
    return holder;
  };
  // Its decoded data up to `upTo` bytes, or nothing when it does not decode.
  auto decode = [this](const TvxPDFIndirectObject& holder, size_t upTo) -> std::optional<std::string> {
    auto& stream = static_cast<const TvxPDFStreamObject&>(*holder.Content);
    try {
      return DecodedPrefix(stream.DataView(), store_->Resolve(stream.Dictionary->Find("/Filter")), upTo);
    } catch (const EUnsupportedFilterError&) {
      throw;
    } catch (const Exception&) {
      return std::nullopt;
    }
  };
  auto dictInteger = [](const TvxPDFIndirectObject& holder, const char* key) {
    return *IntegerValue(static_cast<const TvxPDFStreamObject&>(*holder.Content).Dictionary->Find(key));
  };

  // The streams the table already lists members of are left for the load;
  // the members of the others fill numbers that are still missing, from
  // their header alone: their data is decoded once a member is needed.
  std::unordered_set<int64_t> listed;
  for (size_t n = 0; n < repairTableNumbers_.size() && n < xrefStmItems_.size(); ++n)
    if (repairTableNumbers_[n] && xrefStmItems_[n] && xrefStmItems_[n]->EntryType == 2) listed.insert(xrefStmItems_[n]->Field2);
  for (const auto& [streamNumber, streamOffset] : repairObjectStreams_) {
    if (listed.count(streamNumber)) continue;
    std::unique_ptr<TvxPDFIndirectObject> holder = readObjectStream(streamNumber, streamOffset);
    if (!holder) continue;
    std::optional<std::string> header = decode(*holder, size_t(dictInteger(*holder, "/First")));
    if (!header) continue;
    const auto members = MemberPairs(*header, dictInteger(*holder, "/N"));
    const size_t s = size_t(streamNumber);
    for (size_t k = 0; k < members.size(); ++k) {
      const int64_t m = members[k].first;
      if (m <= 0 || size_t(m) >= limit || m == streamNumber) continue;
      // The file's own table, and a definition later in the file than this
      // stream, win over it.
      if (size_t(m) < repairTableNumbers_.size() && repairTableNumbers_[size_t(m)]) continue;
      if (size_t(m) < xrefItems_.size() && xrefItems_[size_t(m)] && xrefItems_[size_t(m)]->Offset > streamOffset)
        continue;
      if (size_t(m) < xrefItems_.size()) xrefItems_[size_t(m)] = TvxEntrySlot<TvxXRefItem>();
      // The list covers the stream's own number too: object streams are
      // looked for only among the numbers it holds.
      size_t needed = std::max(size_t(m), s) + 1;
      if (needed > xrefStmItems_.size()) xrefStmItems_.resize(needed);
      xrefStmItems_[size_t(m)] = TvxXRefStmItem(2, streamNumber, int32_t(k));
    }
  }

  // The catalog: the trailer's /Root if it is one, else the newest catalog
  // in the file that is still the current definition of its number: an
  // object of its own, or a member of an object stream (decoded now, the
  // newest first, and within one the later member first).
  if (trailer_->RootNumber <= 0 || !RootIsCatalog(trailer_->RootNumber)) {
    int32_t found = -1;
    auto direct = repairCatalogs_.rbegin();
    auto streams = repairObjectStreams_.rbegin();
    for (int tried = 0; found < 0 && tried < kMaxCatalogsTried &&
                        (direct != repairCatalogs_.rend() || streams != repairObjectStreams_.rend());
         ++tried) {
      if (streams == repairObjectStreams_.rend() || (direct != repairCatalogs_.rend() && direct->Offset > streams->second)) {
        if (RootIsCatalog(direct->Number)) found = direct->Number;
        ++direct;
        continue;
      }
      const auto [streamNumber, streamOffset] = *streams++;
      std::unique_ptr<TvxPDFIndirectObject> holder = readObjectStream(streamNumber, streamOffset);
      std::optional<std::string> decoded = holder ? decode(*holder, std::string::npos) : std::nullopt;
      if (!decoded) continue;
      const size_t first = size_t(dictInteger(*holder, "/First"));
      if (first > decoded->size()) continue;
      const auto members = MemberPairs(std::string_view(*decoded).substr(0, first), dictInteger(*holder, "/N"));
      for (size_t k = members.size(); k-- > 0 && found < 0;) {
        const int64_t m = members[k].first;
        if (m <= 0 || size_t(m) >= xrefStmItems_.size() || !xrefStmItems_[size_t(m)] ||
            xrefStmItems_[size_t(m)]->EntryType != 2 || xrefStmItems_[size_t(m)]->Field2 != streamNumber)
          continue;
        const size_t from = first + size_t(std::max<int64_t>(0, members[k].second));
        const size_t to = k + 1 < members.size() ? first + size_t(std::max<int64_t>(0, members[k + 1].second)) : decoded->size();
        if (from >= to || to > decoded->size() ||
            std::string_view(*decoded).substr(from, to - from).find("/Catalog") == std::string_view::npos)
          continue;
        TvxPDFStreamReader memberReader(documentID_, std::make_shared<const std::string>(decoded->substr(from, to - from)));
        memberReader.DuplicateKeys = &duplicateKeys_;
        try {
          if (IsCatalogDictionary(memberReader.ParseObject().get())) found = int32_t(m);
        } catch (const Exception&) {
        }
      }
    }
    // With no catalog anywhere, a /Root that is at least a dictionary is
    // kept (the page tree then decides what can be read); with none at all
    // there is no document.
    if (found < 0 && !RootIsDictionary(trailer_->RootNumber)) throw EPDFFileCorruptedError(res::SFileCorrupted);
    if (found >= 0) trailer_->RootNumber = found;
  }
  repairObjectStreams_.clear();
  repairCatalogs_.clear();
  std::vector<bool>().swap(repairTableNumbers_);
  store_->SetLastObjectNumber(int32_t(std::max(xrefItems_.size(), xrefStmItems_.size())));
  if (!xrefStmItems_.empty()) deferredObjectStreams_ = true;
}

}  // namespace vx
