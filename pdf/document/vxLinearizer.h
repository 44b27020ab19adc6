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

#include "pdf/document/vxObjectStreamWriter.h"

namespace vx {

class TvxCustomPDFDocument;
class TvxDocumentWriter;
class TvxLinearizationPlan;
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
  // The objects of one part (or of one page) and how they are written:
  // the first on its own when it must be (a page object) or cannot be
  // packed, then the object streams that hold the packed ones, then the
  // rest one by one. Each of those is a unit: the hint tables count units.
  struct TvxGroup {
    const TvxPDFIndirectObject* Lead = nullptr;
    std::vector<const TvxPDFIndirectObject*> Packed;
    std::vector<const TvxPDFIndirectObject*> Single;
    std::vector<int32_t> StreamNumbers;
    std::vector<int32_t> Units;  // object numbers, in file order
  };
  class TvxMemoryOutput;

  void Sort(TvxGroup& group, const std::vector<const TvxPDFIndirectObject*>& objects, bool leadAlone);
  void NumberUnits(TvxGroup& group);
  void NumberMembers(TvxGroup& group);
  void NumberEverything();

  template <typename Out>
  void WriteGroup(Out& out, TvxGroup& group, std::vector<int32_t>& order);
  template <typename Out>
  void WriteObject(Out& out, const TvxPDFIndirectObject& object, std::vector<int32_t>& order);
  template <typename Out>
  void WriteText(Out& out, int32_t number, std::string_view body, std::vector<int32_t>& order);
  template <typename Out>
  void WriteStream(Out& out, int32_t number, std::string_view dictText, std::string_view data,
                   std::vector<int32_t>& order);
  template <typename Out>
  void Begin(Out& out, int32_t number, std::vector<int32_t>& order);
  template <typename Out>
  void End(Out& out);

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
  std::vector<int64_t> lengths_;     // of the units in the scratch file, by number
  std::vector<int32_t> spillOrder_;  // objects of the scratch file, in file order
  std::vector<int32_t> memoryOrder_;  // objects of the in-memory part
  int64_t firstPageEnd_ = 0;         // in the scratch file
};

}  // namespace vx
