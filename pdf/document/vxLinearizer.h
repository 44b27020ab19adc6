// Writing a document laid out for fast web view ("linearized"): after the
// header, the linearization parameter dictionary and the cross-reference
// section of the first page; then the catalog and what opens the document,
// the primary hint stream, the first page's objects, every other page's own
// objects page by page, the objects pages share, the rest, and the main
// cross-reference section. A viewer shows the first page once it has the
// first part of the file, and finds any other page through the hint tables.
//
// The objects are serialised once, by the writer's own serialiser. The part
// from the first page on is written to a scratch file next to the target,
// since the hint stream that precedes it describes where its objects end up;
// the rest is small and built in memory, then the scratch file is appended.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "pdf/document/vxHintTables.h"
#include "pdf/document/vxLinearizationPlan.h"
#include "pdf/document/vxObjectStreamWriter.h"

namespace vx {

class TvxCustomPDFDocument;
class TvxDocumentWriter;
class TvxPDFIndirectObject;

class TvxLinearizer {
 public:
  // For the save `writer` runs, prepared up to the numbering of objects.
  explicit TvxLinearizer(TvxDocumentWriter& writer);
  ~TvxLinearizer();
  TvxLinearizer(const TvxLinearizer&) = delete;
  TvxLinearizer& operator=(const TvxLinearizer&) = delete;

  // Writes the whole file. Answers false, having written nothing, when the
  // document cannot be linearized (OnWarning says why); the writer then
  // writes it the usual way.
  bool Write();

 private:
  // The objects of one part (or of one page), the plan's Objects[Begin ..
  // End), sorted there into the order they are written in: the first on
  // its own when it must be (a page object) or cannot be packed, then those
  // packed in object streams, then the rest one by one. Each of those is a
  // unit (the hint tables count units); a group's units have consecutive
  // numbers, in file order.
  struct TvxGroup {
    size_t Begin = 0;
    size_t Packed = 0;  // [Begin, Packed): the lead, if any
    size_t Single = 0;  // [Packed, Single): the packed ones; [Single, End): the rest
    size_t End = 0;
    int32_t FirstUnit = 0;
    int32_t Units = 0;
    // Where writing it ended, in the part of the file it was written to.
    int64_t EndPosition = 0;
    bool HasLead() const { return Packed > Begin; }
    int32_t FirstStream() const { return FirstUnit + (HasLead() ? 1 : 0); }
  };
  class TvxMemoryOutput;

  void Sort(TvxGroup& group, TvxLinearizationPlan::TvxRun run, bool leadAlone);
  void NumberUnits(TvxGroup& group);
  void NumberMembers(TvxGroup& group);
  void NumberEverything();
  // Where the members of each object stream go, known once numbers are.
  void PlaceMembers(const TvxGroup& group);
  // The plan's shared objects each page uses, as entries of the shared
  // object hint table (the first page's units, then the shared ones).
  void TakeSharedUse();
  int32_t SharedTableIndex(int32_t unit) const;

  template <typename Out>
  void WriteGroup(Out& out, TvxGroup& group);
  template <typename Out>
  void WriteObject(Out& out, const TvxPDFIndirectObject& object);
  template <typename Out>
  void WriteText(Out& out, int32_t number, std::string_view body);
  template <typename Out>
  void WriteStream(Out& out, int32_t number, std::string_view dictText, std::string_view data);
  template <typename Out>
  void Begin(Out& out, int32_t number);
  template <typename Out>
  void End(Out& out);

  // Where a unit of the scratch file ends: where the next object there
  // begins, or the end of the scratch file.
  int64_t UnitEnd(const TvxGroup& group, int32_t unit) const;
  int64_t GroupLength(const TvxGroup& group) const;
  // Moves the offset of an object, or those of a group's units, by `by`.
  void MoveBy(int32_t number, int64_t by);
  void Shift(const TvxGroup& group, int64_t by);

  // The object at place `i` of the plan's list.
  const TvxPDFIndirectObject* ObjectOf(size_t i) const;
  // The unit an object is written in: itself, or its object stream.
  int32_t UnitOf(const TvxPDFIndirectObject* object) const;
  // The primary hint stream's object, given where the first half ends
  // (`base`, the offset its frame starts at).
  std::string HintStreamObject(int64_t base);
  // The cross-reference sections with their trailers.
  std::string FirstPageXRef(int64_t mainXRefOffset, int64_t xrefOffset, int width2);
  std::string MainXRef(int64_t offset, int64_t firstPageXRefOffset, int64_t& whiteSpaceBeforeFirstEntry);
  std::string TrailerEntries(bool withPrev, int64_t prev);
  std::string LinearizationDictionary(int64_t fileSize, int64_t hintOffset, int64_t hintLength, int64_t firstPageEnd,
                                      int64_t mainXRefWhiteSpace);

  TvxDocumentWriter& writer_;
  TvxCustomPDFDocument& document_;
  bool packing_ = false;
  std::unique_ptr<TvxLinearizationPlan> plan_;
  TvxGroup openDocument_, firstPage_, outlines_, shared_, other_;
  std::vector<TvxGroup> pages_;  // from the second page; [0] unused
  int32_t next_ = 4;
  int32_t mainXRefNumber_ = 0;  // with object streams: the main cross-reference stream
  int32_t lastMainNumber_ = 0;  // objects 2 .. this are in the main section
  int32_t linearizationNumber_ = 0;
  int32_t firstXRefNumber_ = 0;  // with object streams: the first page's cross-reference stream
  int32_t encryptNumber_ = 0;
  int32_t hintNumber_ = 0;
  int32_t size_ = 0;  // one more than the highest number
  // Where each object went, by number: while writing, offsets within the
  // scratch file or the in-memory part; then within the file.
  std::vector<TvxObjectLocation> locations_;
  TvxHintData hints_;             // filled as what it describes is known
  int64_t spillSize_ = 0;         // of the scratch file
  int64_t firstPageEnd_ = 0;      // in the scratch file
  std::vector<uint32_t> singles_;  // Sort's scratch space
};

}  // namespace vx
