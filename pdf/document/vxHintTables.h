// The tables of a linearized file's primary hint stream: the page offset
// table, the shared object table and, when the document has outlines, the
// outline table. Offsets in them are those the objects would have if the hint
// stream itself were not in the file, as readers expect.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vx {

// One page as the page offset table describes it: how many objects (units:
// an object stream counts as one) it spans from its page object on, how many
// bytes they take, and which entries of the shared object table it uses.
struct TvxPageHint {
  int64_t Objects = 0;
  int64_t Length = 0;
  uint32_t SharedCount = 0;  // its entries in TvxHintData::SharedIdentifiers; 0 for the first page
};

// One entry of the shared object table: one object (or object stream).
struct TvxSharedHint {
  int64_t Length = 0;
};

struct TvxHintData {
  std::vector<TvxPageHint> Pages;
  // The shared object table entries each page uses, page after page.
  std::vector<uint32_t> SharedIdentifiers;
  int64_t FirstPageOffset = 0;
  // Entries for the first page's objects first, then the other shared ones.
  std::vector<TvxSharedHint> Shared;
  int64_t SharedFirstPage = 0;   // how many of Shared belong to the first page
  int64_t FirstSharedObject = 0;  // the number of the first object after those (0: none)
  int64_t FirstSharedOffset = 0;
  // The outline table: present when OutlineObjects > 0.
  int64_t OutlineFirstObject = 0;
  int64_t OutlineFirstOffset = 0;
  int64_t OutlineObjects = 0;
  int64_t OutlineLength = 0;
};

// The hint stream's decoded data, and where the shared object table (/S)
// and the outline table (/O, 0 when absent) begin in it.
struct TvxHintStreamData {
  std::string Data;
  int64_t SharedTableOffset = 0;
  int64_t OutlineTableOffset = 0;
};

TvxHintStreamData BuildHintStream(const TvxHintData& hints);

// Bits needed to write `value` (0 for 0).
int BitsFor(uint64_t value);

}  // namespace vx
