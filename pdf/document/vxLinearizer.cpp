#include "pdf/document/vxLinearizer.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <algorithm>

#include "pdf/document/vxDocumentWriter.h"
#include "pdf/document/vxHintTables.h"
#include "pdf/document/vxLinearizationPlan.h"
#include "pdf/document/vxObjectTextPipeline.h"
#include "pdf/security/vxPDFCrypt.h"
#include "pdf/util/vxExceptions.h"
#include "pdf/util/vxPDFResStrs.h"
#include "pdf/util/vxUtils.h"

namespace vx {

namespace {

using Doc = TvxCustomPDFDocument;

// The linearization parameter dictionary is written once its values are
// known, in room of this size, so nothing after it moves.
constexpr size_t kParameterDictionarySize = 200;
// The /Prev of the first page's trailer is padded to this width for the same
// reason.
constexpr size_t kPrevWidth = 20;

void SetNumber(const TvxPDFIndirectObject* object, int32_t number) {
  const_cast<TvxPDFIndirectObject*>(object)->NewNumber = number;
}

// Gives the pages of what was freed back to the system, which the allocator
// would otherwise keep: each step of a large save then starts from what is
// in use, not from the most the steps before it held.
void ReturnFreedMemory() {
#if defined(__GLIBC__)
  malloc_trim(0);
#endif
}

std::string Padded(int64_t value, size_t width) {
  std::string text = std::to_string(value);
  if (text.size() < width) text.append(width - text.size(), ' ');
  return text;
}

}  // namespace

// The first half of the file is small: it is built in memory, with the
// calls of the file the rest goes to.
class TvxLinearizer::TvxMemoryOutput {
 public:
  int64_t Position() const { return int64_t(bytes_.size()); }
  std::string& Buffer() { return bytes_; }
  void Write(std::string_view bytes) { bytes_.append(bytes); }
  void MaybeFlush() {}
  const std::string& Bytes() const { return bytes_; }

 private:
  std::string bytes_;
};

TvxLinearizer::TvxLinearizer(TvxDocumentWriter& writer) : writer_(writer), document_(writer.document_) {}

TvxLinearizer::~TvxLinearizer() = default;

// ------------------------------------------------------------------ numbers

void TvxLinearizer::Sort(TvxGroup& group, TvxLinearizationPlan::TvxRun run, bool leadAlone) {
  std::vector<uint32_t>& objects = plan_->Objects;
  group.Begin = group.Packed = run.Begin;
  group.End = run.End;
  // The packed ones move up in place (never past the object being looked
  // at); the rest wait in `singles_` and go after them.
  size_t packed = run.Begin;
  singles_.clear();
  for (size_t i = run.Begin; i < run.End; ++i) {
    const uint32_t o = objects[i];
    const bool first = i == run.Begin;
    const bool packable =
        packing_ && !(first && leadAlone) && MayPackInObjectStream(plan_->ObjectAt(o)->Content.get(), 0);
    if (first && !packable) {
      group.Packed = packed = i + 1;  // the lead stays where it is
    } else if (packable) {
      objects[packed++] = o;
    } else {
      singles_.push_back(o);
    }
  }
  group.Single = packed;
  std::copy(singles_.begin(), singles_.end(), objects.begin() + std::ptrdiff_t(packed));
}

void TvxLinearizer::NumberUnits(TvxGroup& group) {
  group.FirstUnit = next_;
  if (group.HasLead()) SetNumber(ObjectOf(group.Begin), next_++);
  for (size_t k = group.Packed; k < group.Single; k += kObjectStreamMembers) ++next_;
  for (size_t i = group.Single; i < group.End; ++i) SetNumber(ObjectOf(i), next_++);
  group.Units = next_ - group.FirstUnit;
}

void TvxLinearizer::NumberMembers(TvxGroup& group) {
  for (size_t i = group.Packed; i < group.Single; ++i) SetNumber(ObjectOf(i), next_++);
}

void TvxLinearizer::PlaceMembers(const TvxGroup& group) {
  for (size_t i = group.Packed; i < group.Single; ++i) {
    const size_t k = i - group.Packed;
    locations_[size_t(ObjectOf(i)->NewNumber)] = TvxObjectLocation::InStream(
        group.FirstStream() + int32_t(k / kObjectStreamMembers), int32_t(k % kObjectStreamMembers));
  }
}

// The main section (objects 2 and 3, which the writer builds, and the
// objects of the pages after the first, the shared objects and the rest)
// comes first in number; the first page's section follows, with the
// catalog's fixed 1. In each section the objects written on their own come
// before the members of object streams, and each page's objects, the first
// page's and the shared ones are numbered in the order they are written.
void TvxLinearizer::NumberEverything() {
  const TvxLinearizationPlan& plan = *plan_;
  const bool outlinesFirst = plan.OutlinesWithFirstPage;
  Sort(firstPage_, plan.FirstPage, true);
  pages_.resize(plan.Pages.size());
  for (size_t p = 1; p < plan.Pages.size(); ++p) Sort(pages_[p], plan.Page(p), true);
  Sort(shared_, plan.Shared, false);
  Sort(outlines_, plan.Outlines, false);
  Sort(other_, plan.Other, false);
  Sort(openDocument_, plan.OpenDocument, false);
  std::vector<uint32_t>().swap(singles_);

  std::vector<TvxGroup*> main;
  for (size_t p = 1; p < pages_.size(); ++p) main.push_back(&pages_[p]);
  main.push_back(&shared_);
  if (!outlinesFirst) main.push_back(&outlines_);
  main.push_back(&other_);
  next_ = 4;
  for (TvxGroup* g : main) NumberUnits(*g);
  if (packing_) mainXRefNumber_ = next_++;
  for (TvxGroup* g : main) NumberMembers(*g);
  lastMainNumber_ = next_ - 1;

  linearizationNumber_ = next_++;
  if (packing_) firstXRefNumber_ = next_++;
  NumberUnits(openDocument_);
  if (document_.Encryption().Enabled()) encryptNumber_ = next_++;
  hintNumber_ = next_++;
  NumberUnits(firstPage_);
  if (outlinesFirst) NumberUnits(outlines_);
  NumberMembers(openDocument_);
  NumberMembers(firstPage_);
  if (outlinesFirst) NumberMembers(outlines_);
  size_ = next_;
  document_.nextSaveNumber_ = size_ - 1;

  locations_.assign(size_t(size_), TvxObjectLocation());
  for (const TvxGroup* g : main) PlaceMembers(*g);
  PlaceMembers(openDocument_);
  PlaceMembers(firstPage_);
  if (outlinesFirst) PlaceMembers(outlines_);
}

const TvxPDFIndirectObject* TvxLinearizer::ObjectOf(size_t i) const { return plan_->ObjectAt(plan_->Objects[i]); }

int32_t TvxLinearizer::UnitOf(const TvxPDFIndirectObject* object) const {
  const TvxObjectLocation& l = locations_[size_t(object->NewNumber)];
  return l.StreamNumber() > 0 ? l.StreamNumber() : object->NewNumber;
}

// The shared object table lists the first page's units (the outlines' too
// when they come with it), then the shared ones: two runs of numbers.
int32_t TvxLinearizer::SharedTableIndex(int32_t unit) const {
  const int32_t firstUnits = firstPage_.Units + (plan_->OutlinesWithFirstPage ? outlines_.Units : 0);
  if (unit >= firstPage_.FirstUnit && unit < firstPage_.FirstUnit + firstUnits) return unit - firstPage_.FirstUnit;
  if (unit >= shared_.FirstUnit && unit < shared_.FirstUnit + shared_.Units)
    return firstUnits + (unit - shared_.FirstUnit);
  return -1;
}

void TvxLinearizer::TakeSharedUse() {
  TvxLinearizationPlan& plan = *plan_;
  hints_.Pages.resize(plan.Pages.size());
  // Each page's entries (members of one object stream are one entry) go in
  // place of its uses; then they are copied out at their count, the blocks
  // of uses going as they are read.
  TvxNumberBlocks& uses = plan.SharedUse;
  std::vector<uint32_t> entries;  // one page's
  size_t kept = 0;
  for (size_t p = 1; p < plan.Pages.size(); ++p) {
    entries.clear();
    for (size_t k = plan.SharedUseStart[p]; k < plan.SharedUseStart[p + 1]; ++k) {
      const int32_t index = SharedTableIndex(UnitOf(plan.ObjectAt(uses[k])));
      if (index >= 0) entries.push_back(uint32_t(index));
    }
    std::sort(entries.begin(), entries.end());
    entries.erase(std::unique(entries.begin(), entries.end()), entries.end());
    for (uint32_t entry : entries) uses.Set(kept++, entry);
    hints_.Pages[p].SharedCount = uint32_t(entries.size());
  }
  std::vector<uint32_t>& identifiers = hints_.SharedIdentifiers;
  identifiers.reserve(kept);
  for (size_t k = 0; k < kept; ++k) {
    identifiers.push_back(uses[k]);
    uses.ReleaseBefore(k);
  }
  plan.SharedUse = TvxNumberBlocks();
  std::vector<size_t>().swap(plan.SharedUseStart);
}

// ------------------------------------------------------------------ objects

template <typename Out>
void TvxLinearizer::Begin(Out& out, int32_t number) {
  // Framed like the objects of a classic rewrite: an empty line, then the
  // object; its offset is that of its number.
  locations_[size_t(number)].SetOffset(out.Position() + 2);
  std::string& b = out.Buffer();
  b += "\r\n";
  AppendInteger(b, number);
  b += " 0 obj\r\n";
}

template <typename Out>
void TvxLinearizer::End(Out& out) {
  out.Buffer() += "\r\nendobj\r\n";
  out.MaybeFlush();
}

template <typename Out>
void TvxLinearizer::WriteText(Out& out, int32_t number, std::string_view body) {
  Begin(out, number);
  out.Buffer() += body;
  End(out);
}

template <typename Out>
void TvxLinearizer::WriteStream(Out& out, int32_t number, std::string_view dictText, std::string_view data) {
  Begin(out, number);
  out.Buffer() += dictText;
  out.Buffer() += "\r\nstream\r\n";
  out.Write(data);
  out.Write("\r\nendstream");
  End(out);
}

template <typename Out>
void TvxLinearizer::WriteObject(Out& out, const TvxPDFIndirectObject& object) {
  const int32_t number = object.NewNumber;
  if (auto* stream = As<TvxPDFStreamObject>(object.Content.get())) {
    // A /Length held in an object of its own would tie the stream to an
    // object that belongs to no page: every length is written directly.
    TvxStreamText text = TvxDocumentWriter::EncodeStream(document_, number, *stream, true);
    WriteStream(out, number, text.DictText, text.Data());
  } else {
    Begin(out, number);
    TvxObjectTextPipeline::AppendBodyText(document_, false, object, out.Buffer());
    End(out);
  }
  writer_.ReportProgress();
}

template <typename Out>
void TvxLinearizer::WriteGroup(Out& out, TvxGroup& group) {
  if (group.HasLead()) WriteObject(out, *ObjectOf(group.Begin));
  TvxObjectStreamBuilder members(true);
  int32_t stream = group.FirstStream();
  std::string text;
  for (size_t i = group.Packed; i < group.Single; ++i) {
    const TvxPDFIndirectObject* o = ObjectOf(i);
    text.clear();
    TvxObjectTextPipeline::AppendBodyText(document_, true, *o, text);
    members.Add(o->NewNumber, text);
    writer_.ReportProgress();
    if (members.Count() == kObjectStreamMembers || i + 1 == group.Single) {
      TvxStreamText made = TvxDocumentWriter::MakeObjectStream(document_, stream, std::move(members));
      members = TvxObjectStreamBuilder(true);
      WriteStream(out, stream++, made.DictText, made.Data());
    }
  }
  for (size_t i = group.Single; i < group.End; ++i) WriteObject(out, *ObjectOf(i));
  group.EndPosition = out.Position();
}

int64_t TvxLinearizer::UnitEnd(const TvxGroup& group, int32_t unit) const {
  // A group's units follow one another; what follows the group begins with
  // the line break before its number.
  if (unit + 1 < group.FirstUnit + group.Units) return locations_[size_t(unit + 1)].Offset();
  return group.EndPosition == spillSize_ ? spillSize_ : group.EndPosition + 2;
}

int64_t TvxLinearizer::GroupLength(const TvxGroup& group) const {
  if (group.Units == 0) return 0;
  return UnitEnd(group, group.FirstUnit + group.Units - 1) - locations_[size_t(group.FirstUnit)].Offset();
}

void TvxLinearizer::MoveBy(int32_t number, int64_t by) {
  locations_[size_t(number)].SetOffset(locations_[size_t(number)].Offset() + by);
}

void TvxLinearizer::Shift(const TvxGroup& group, int64_t by) {
  for (int32_t u = group.FirstUnit; u < group.FirstUnit + group.Units; ++u) MoveBy(u, by);
}

// ------------------------------------------------------------ hint stream

std::string TvxLinearizer::HintStreamObject(int64_t base) {
  const TvxLinearizationPlan& plan = *plan_;
  // Offsets as if the hint stream were not there: the scratch file's objects
  // would then start at `base`.
  auto hintless = [&](int32_t number) { return base + locations_[size_t(number)].Offset(); };
  TvxHintData& hints = hints_;
  const bool outlinesFirst = plan.OutlinesWithFirstPage;
  hints.Pages[0].Objects = firstPage_.Units + (outlinesFirst ? outlines_.Units : 0);
  hints.Pages[0].Length = GroupLength(firstPage_) + (outlinesFirst ? GroupLength(outlines_) : 0);
  hints.FirstPageOffset = hintless(firstPage_.FirstUnit);

  // The shared object table: the first page's units, then the shared ones.
  hints.Shared.clear();
  for (const TvxGroup* g : {&firstPage_, outlinesFirst ? &outlines_ : nullptr, &shared_}) {
    if (!g) continue;
    if (g == &shared_) hints.SharedFirstPage = int64_t(hints.Shared.size());
    for (int32_t u = g->FirstUnit; u < g->FirstUnit + g->Units; ++u)
      hints.Shared.push_back({UnitEnd(*g, u) - locations_[size_t(u)].Offset()});
  }
  if (shared_.Units > 0) {
    hints.FirstSharedObject = shared_.FirstUnit;
    hints.FirstSharedOffset = hintless(shared_.FirstUnit);
  }
  for (size_t p = 1; p < plan.Pages.size(); ++p) {
    hints.Pages[p].Objects = pages_[p].Units;
    hints.Pages[p].Length = GroupLength(pages_[p]);
  }
  if (outlines_.Units > 0) {
    hints.OutlineFirstObject = outlines_.FirstUnit;
    hints.OutlineFirstOffset = hintless(outlines_.FirstUnit);
    hints.OutlineObjects = outlines_.Units;
    hints.OutlineLength = GroupLength(outlines_);
  }

  TvxHintStreamData table = BuildHintStream(hints);
  hints = TvxHintData();
  TvxPDFDictObject dict;
  dict.SetValue("/S", std::make_unique<TvxPDFInt64Object>(table.SharedTableOffset));
  if (table.OutlineTableOffset > 0) dict.SetValue("/O", std::make_unique<TvxPDFInt64Object>(table.OutlineTableOffset));
  dict.AddName("/Filter", "/FlateDecode");
  std::string data = TvxDocumentWriter::CompressWriterData(document_, table.Data);
  table = TvxHintStreamData();
  if (document_.Encryption().Enabled()) data = document_.EncryptStreamData(data, hintNumber_, dict);
  dict.SetValue("/Length", std::make_unique<TvxPDFInt64Object>(int64_t(data.size())));

  TvxMemoryOutput out;
  const int64_t offset = locations_[size_t(hintNumber_)].Offset();
  WriteStream(out, hintNumber_, document_.SerializeObject(-1, &dict), data);
  locations_[size_t(hintNumber_)].SetOffset(offset);
  return std::move(out.Buffer());
}

// ------------------------------------------------------- cross-references

std::string TvxLinearizer::TrailerEntries(bool withPrev, int64_t prev) {
  std::string entries = Doc::EntryText("/Size", std::to_string(size_)) + Doc::EntryText("/Root", Doc::ReferenceText(1)) +
                        Doc::EntryText("/Info", Doc::ReferenceText(2));
  if (document_.trailer_->IDArray)
    entries += Doc::EntryText("/ID", document_.SerializeObject(-1, document_.trailer_->IDArray.get()));
  if (encryptNumber_ > 0) entries += Doc::EntryText("/Encrypt", Doc::ReferenceText(encryptNumber_));
  if (withPrev) entries += Doc::EntryText("/Prev", Padded(prev, kPrevWidth));
  return entries;
}

// The first page's section lists the catalog and the objects from the
// parameter dictionary to the end of the first page; its size does not
// depend on the offsets it holds.
std::string TvxLinearizer::FirstPageXRef(int64_t mainXRefOffset, int64_t xrefOffset, int width2) {
  const std::vector<TvxNumberRange> ranges = {{1, 1}, {size_t(lastMainNumber_) + 1, size_t(size_ - lastMainNumber_ - 1)}};
  std::string out;
  if (!packing_) {
    out += "xref\r\n";
    for (const TvxNumberRange& range : ranges) {
      out += std::to_string(range.First) + " " + std::to_string(range.Count) + "\r\n";
      for (size_t n = range.First; n < range.First + range.Count; ++n) {
        const int64_t offset = locations_[n].Offset();
        if (offset > 9999999999LL) throw EWriteError(res::SFileTooLargeForXRef);
        AppendPadded(out, std::max<int64_t>(offset, 0), 10);
        out += " 00000 n\r\n";
      }
    }
    out += "trailer\r\n" + Doc::WrapDictionary(TrailerEntries(true, mainXRefOffset)) + "\r\nstartxref\r\n0\r\n%%EOF\r\n";
    return out;
  }
  // A cross-reference stream of fixed widths, stored as it is, so that its
  // size is known before the offsets are.
  locations_[size_t(firstXRefNumber_)].SetOffset(xrefOffset + 2);
  const TvxXRefStreamRows rows = BuildXRefStreamRows(locations_, ranges, width2, false);
  if (rows.Width2 != width2) throw EUnexpectedError(res::SUnexpectedError);
  std::string entries = Doc::EntryText("/Type", "/XRef") + TrailerEntries(true, mainXRefOffset) +
                        Doc::EntryText("/Index", "[ 1 1 " + std::to_string(ranges[1].First) + " " +
                                                    std::to_string(ranges[1].Count) + " ]") +
                        Doc::EntryText("/W", "[ 1 " + std::to_string(rows.Width2) + " " +
                                                 std::to_string(rows.Width3) + " ]") +
                        Doc::EntryText("/Length", std::to_string(rows.Rows.size()));
  TvxMemoryOutput framed;
  WriteStream(framed, firstXRefNumber_, Doc::WrapDictionary(entries), rows.Rows);
  locations_[size_t(firstXRefNumber_)].SetOffset(xrefOffset + 2);
  return std::move(framed.Buffer());
}

// The main section is one run of numbers from 0: readers find an entry of
// it by its position alone. The catalog, which is in the first page's
// section, is listed here too, at the same offset.
std::string TvxLinearizer::MainXRef(int64_t offset, int64_t firstPageXRefOffset, int64_t& whiteSpaceBeforeFirstEntry) {
  const std::vector<TvxNumberRange> ranges = {{0, size_t(lastMainNumber_) + 1}};
  std::string out;
  if (!packing_) {
    out.reserve(20 * size_t(lastMainNumber_ + 1) + 1024);  // the entries, the head and the trailer
    out += "xref\r\n0 " + std::to_string(lastMainNumber_ + 1);
    whiteSpaceBeforeFirstEntry = offset + int64_t(out.size());
    out += "\r\n0000000000 65535 f\r\n";
    for (int32_t n = 1; n <= lastMainNumber_; ++n) {
      const int64_t o = locations_[size_t(n)].Offset();
      if (o > 9999999999LL) throw EWriteError(res::SFileTooLargeForXRef);
      AppendPadded(out, o, 10);
      out += " 00000 n\r\n";
    }
    out += "trailer\r\n" + Doc::WrapDictionary(TrailerEntries(false, 0));
  } else {
    locations_[size_t(mainXRefNumber_)].SetOffset(offset);
    whiteSpaceBeforeFirstEntry = offset - 1;
    TvxXRefStreamRows rows = BuildXRefStreamRows(locations_, ranges);
    const std::string data = TvxDocumentWriter::CompressWriterData(document_, rows.Rows);
    std::string().swap(rows.Rows);
    std::string entries =
        Doc::EntryText("/Type", "/XRef") + TrailerEntries(false, 0) +
        Doc::EntryText("/Index", "[ 0 " + std::to_string(lastMainNumber_ + 1) + " ]") +
        Doc::EntryText("/W", "[ 1 " + std::to_string(rows.Width2) + " " + std::to_string(rows.Width3) + " ]") +
        Doc::EntryText("/Filter", "/FlateDecode") +
        Doc::EntryText("/DecodeParms", "<< /Columns " + std::to_string(rows.Columns()) + " /Predictor 12 >>") +
        Doc::EntryText("/Length", std::to_string(data.size()));
    out += std::to_string(mainXRefNumber_) + " 0 obj\r\n" + Doc::WrapDictionary(entries) + "\r\nstream\r\n";
    out.reserve(out.size() + data.size() + 128);
    out += data;
    out += "\r\nendstream\r\nendobj";
  }
  out += "\r\nstartxref\r\n" + std::to_string(firstPageXRefOffset) + "\r\n%%EOF\r\n";
  return out;
}

std::string TvxLinearizer::LinearizationDictionary(int64_t fileSize, int64_t hintOffset, int64_t hintLength,
                                                   int64_t firstPageEnd, int64_t mainXRefWhiteSpace) {
  std::string text = "<< /Linearized 1 /L " + std::to_string(fileSize) + " /H [ " + std::to_string(hintOffset) + " " +
                     std::to_string(hintLength) + " ] /O " + std::to_string(plan_->Pages.front()->NewNumber) +
                     " /E " + std::to_string(firstPageEnd) + " /N " + std::to_string(plan_->Pages.size()) + " /T " +
                     std::to_string(mainXRefWhiteSpace);
  if (text.size() + 3 > kParameterDictionarySize) throw EUnexpectedError(res::SUnexpectedError);
  text.append(kParameterDictionarySize - 3 - text.size(), ' ');
  text += " >>";
  return text;
}

// ---------------------------------------------------------------- the file

bool TvxLinearizer::Write() {
  plan_ = std::make_unique<TvxLinearizationPlan>(document_);
  if (plan_->Refusal) {
    document_.Warning(plan_->Refusal);
    return false;
  }
  document_.Status(res::SWritingLinearized);
  packing_ = writer_.packing_;
  NumberEverything();
  TakeSharedUse();
  ReturnFreedMemory();  // who reaches what, of the plan
  writer_.totalObjects_ = size_t(size_);
  writer_.visited_ = 0;

  TvxSaveFile& output = writer_.output_;
  const bool outlinesFirst = plan_->OutlinesWithFirstPage;
  // Objects from the first page on, in a scratch file next to the target.
  // Its groups in the order they are written there; null stands for the
  // page-tree root and the information dictionary.
  std::vector<TvxGroup*> spilled = {&firstPage_};
  if (outlinesFirst) spilled.push_back(&outlines_);
  for (size_t p = 1; p < pages_.size(); ++p) spilled.push_back(&pages_[p]);
  spilled.push_back(&shared_);
  spilled.push_back(nullptr);
  if (!outlinesFirst) spilled.push_back(&outlines_);
  spilled.push_back(&other_);
  TvxSaveFile spill(output.Target() + ".linearizing", false, TvxSaveFile::TvxUse::Scratch);
  for (TvxGroup* g : spilled) {
    if (g) {
      WriteGroup(spill, *g);
    } else {
      WriteText(spill, 3, TvxDocumentWriter::PageRootText(document_));
      WriteText(spill, 2, TvxDocumentWriter::InfoText(document_));
    }
    if (g == (outlinesFirst ? &outlines_ : &firstPage_)) firstPageEnd_ = spill.Position();
  }
  spillSize_ = spill.Position();
  spill.Flush();

  // The catalog and what opens the document, then the encryption dictionary
  // (built once everything is encrypted, as in any save).
  TvxMemoryOutput opening;
  WriteText(opening, 1, TvxDocumentWriter::CatalogText(document_));
  WriteGroup(opening, openDocument_);
  if (encryptNumber_ > 0) {
    std::unique_ptr<TvxPDFDictObject> dict = document_.BuildEncryptDictionary();
    WriteText(opening, encryptNumber_, document_.SerializeObject(-1, dict.get()));
  }
  // Everything is written: the numbers and offsets are what is left to use.
  std::vector<uint32_t>().swap(plan_->Objects);

  // Where everything lands: the sizes of the parts before the first page
  // do not depend on the offsets they hold.
  std::string header = "%PDF-" + PDFVersionText(document_.PDFVersion()) + "\r\n%\xE2\xE3\xCF\xD3\r\n";
  const int64_t linearizationStart = int64_t(header.size());
  const int64_t parametersSize = 2 + int64_t(std::to_string(linearizationNumber_).size()) + 8 +
                                 int64_t(kParameterDictionarySize) + 10;
  const int64_t xrefStart = linearizationStart + parametersSize;
  const int64_t bound = int64_t(opening.Bytes().size()) + spillSize_ + 64 * int64_t(size_) + (int64_t(64) << 20);
  const int width2 = bound > int64_t(UINT32_MAX) ? 8 : 4;
  const int64_t xrefSize = int64_t(FirstPageXRef(0, xrefStart, width2).size());
  const int64_t openingStart = xrefStart + xrefSize;
  const int64_t base = openingStart + int64_t(opening.Bytes().size());

  locations_[size_t(hintNumber_)].SetOffset(base + 2);
  const std::string hint = HintStreamObject(base);
  ReturnFreedMemory();  // the writing's buffers and the hint tables
  const int64_t spillStart = base + int64_t(hint.size());
  for (int32_t n : {1, encryptNumber_})
    if (n > 0) MoveBy(n, openingStart);
  Shift(openDocument_, openingStart);
  for (const TvxGroup* g : spilled) {
    if (g) {
      Shift(*g, spillStart);
    } else {
      MoveBy(3, spillStart);
      MoveBy(2, spillStart);
    }
  }
  locations_[size_t(linearizationNumber_)].SetOffset(linearizationStart + 2);
  std::vector<TvxGroup>().swap(pages_);
  std::vector<TvxGroup*>().swap(spilled);

  const int64_t mainStart = spillStart + spillSize_;
  int64_t whiteSpace = 0;
  const std::string mainXRef = MainXRef(mainStart, xrefStart, whiteSpace);
  const int64_t fileSize = mainStart + int64_t(mainXRef.size());
  const std::string firstXRef = FirstPageXRef(mainStart, xrefStart, width2);
  if (int64_t(firstXRef.size()) != xrefSize) throw EUnexpectedError(res::SUnexpectedError);

  TvxMemoryOutput parameters;
  WriteText(parameters, linearizationNumber_,
            LinearizationDictionary(fileSize, base + 2, int64_t(hint.size()), spillStart + firstPageEnd_, whiteSpace));
  if (int64_t(parameters.Bytes().size()) != parametersSize) throw EUnexpectedError(res::SUnexpectedError);
  std::vector<TvxObjectLocation>().swap(locations_);

  output.Write(header);
  output.Write(parameters.Bytes());
  output.Write(firstXRef);
  output.Write(opening.Bytes());
  output.Write(hint);
  output.AppendFileOf(spill);
  output.Write(mainXRef);
  if (output.Position() != fileSize) throw EUnexpectedError(res::SUnexpectedError);
  return true;
}

}  // namespace vx
