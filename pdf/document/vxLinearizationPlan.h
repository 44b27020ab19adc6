// Where each written object goes in a linearized file. Every page, every
// entry of the catalog and every entry of the trailer is a "user"; an object
// belongs to the users that reach it (a walk stops at other pages, and does
// not climb from a page to its parent), and its users decide its part:
// the catalog and what opens the document (viewer preferences, open action,
// form, threads, the encryption dictionary), the first page, each later page
// alone, the objects several later pages share, the outlines, and the rest.
// Readers that check a linearized file classify objects the same way.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "pdf/document/vxCstPDFDoc.h"

namespace vx {

// Numbers kept in blocks of one size: nothing is copied as the list grows
// (a large document's pages reach hundreds of thousands of objects), and
// blocks no longer needed can be given back.
class TvxNumberBlocks {
 public:
  void Add(uint32_t value) {
    if (size_ % kBlock == 0) blocks_.push_back(std::make_unique_for_overwrite<uint32_t[]>(kBlock));
    blocks_.back()[size_ % kBlock] = value;
    ++size_;
  }
  size_t Size() const { return size_; }
  uint32_t operator[](size_t k) const { return blocks_[k / kBlock][k % kBlock]; }
  void Set(size_t k, uint32_t value) { blocks_[k / kBlock][k % kBlock] = value; }
  // Keeps the first `n` numbers only.
  void Truncate(size_t n) {
    size_ = n;
    blocks_.resize((n + kBlock - 1) / kBlock);
  }
  // Frees the blocks that hold only numbers before `k`; those are not read again.
  void ReleaseBefore(size_t k) {
    for (; released_ < k / kBlock && released_ < blocks_.size(); ++released_) blocks_[released_].reset();
  }

 private:
  static constexpr size_t kBlock = size_t(1) << 14;
  std::vector<std::unique_ptr<uint32_t[]>> blocks_;
  size_t size_ = 0;
  size_t released_ = 0;
};

class TvxLinearizationPlan {
 public:
  using TvxObjects = std::vector<const TvxPDFIndirectObject*>;
  // Objects[Begin .. End).
  struct TvxRun {
    size_t Begin = 0;
    size_t End = 0;
  };

  // For a document ready to be written: outlines built into the save-time
  // store, the objects to write marked in use. Uses the objects' NewNumber
  // fields while it runs (they are 0 afterwards).
  explicit TvxLinearizationPlan(TvxCustomPDFDocument& document);

  // Why the document cannot be linearized (no pages, a page listed twice),
  // or nullptr.
  const char* Refusal = nullptr;

  // The written page objects in page order.
  TvxObjects Pages;
  // The parts, one after the other in one list of indexes for ObjectAt (a
  // large document has thousands of pages, and a list each would cost more
  // than the objects).
  std::vector<uint32_t> Objects;
  // What opens the document, after the catalog (which the writer builds).
  TvxRun OpenDocument;
  // The first page's page object, the objects only it uses, then those it
  // shares with others.
  TvxRun FirstPage;
  // Page i (from 1): its page object, then the objects only it uses.
  TvxRun Page(size_t i) const { return {PageStart[i], PageStart[i + 1]}; }
  std::vector<size_t> PageStart;  // [0] unused
  // Objects that several pages after the first share.
  TvxRun Shared;
  // The outline objects, the root first; with the first page when the
  // document opens on its outlines.
  TvxRun Outlines;
  bool OutlinesWithFirstPage = false;
  // Everything else reached (thumbnails first), then the written objects
  // nothing reaches.
  TvxRun Other;
  // For page i (from 1): the objects it uses that sit with the first page
  // or among the shared ones, each once, as indexes for ObjectAt:
  // SharedUse[SharedUseStart[i] .. SharedUseStart[i + 1]).
  TvxNumberBlocks SharedUse;
  std::vector<size_t> SharedUseStart;
  const TvxPDFIndirectObject* ObjectAt(size_t index) const {
    return index < firstCount_ ? stores_[0]->Objects()[index].get() : stores_[1]->Objects()[index - firstCount_].get();
  }

 private:
  // The stored objects, which the indexes count: the store, then the
  // save-time store.
  const TvxPDFObjectStore* stores_[2] = {};
  size_t firstCount_ = 0;
};

}  // namespace vx
