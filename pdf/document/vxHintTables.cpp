// The hint tables are bit fields written most significant bit first; each
// column of a table (one item for every page, say) ends on a byte boundary.
#include "pdf/document/vxHintTables.h"

#include <algorithm>

#include "pdf/util/vxExceptions.h"
#include "pdf/util/vxPDFResStrs.h"

namespace vx {

namespace {

class TvxBitWriter {
 public:
  explicit TvxBitWriter(std::string& out) : out_(out) {}
  void Write(uint64_t value, int bits) {
    for (int i = bits - 1; i >= 0; --i) {
      byte_ = uint8_t((byte_ << 1) | ((value >> i) & 1));
      if (++used_ == 8) {
        out_ += char(byte_);
        byte_ = 0;
        used_ = 0;
      }
    }
  }
  // Pads the current byte with zeros.
  void Align() {
    if (used_ == 0) return;
    out_ += char(uint8_t(byte_ << (8 - used_)));
    byte_ = 0;
    used_ = 0;
  }

 private:
  std::string& out_;
  uint8_t byte_ = 0;
  int used_ = 0;
};

// The header fields are 32 bits (counts, offsets, lengths) or 16 bits (bit
// widths); a value that does not fit cannot be described.
void Check(bool fits) {
  if (!fits) throw EWriteError(res::SLinearizationTooLarge);
}

void Write32(TvxBitWriter& w, int64_t value) {
  Check(value >= 0 && value <= int64_t(UINT32_MAX));
  w.Write(uint64_t(value), 32);
}

void Write16(TvxBitWriter& w, int64_t value) {
  Check(value >= 0 && value <= 0xFFFF);
  w.Write(uint64_t(value), 16);
}

}  // namespace

int BitsFor(uint64_t value) {
  int bits = 0;
  while (value != 0) {
    ++bits;
    value >>= 1;
  }
  return bits;
}

TvxHintStreamData BuildHintStream(const TvxHintData& hints) {
  TvxHintStreamData result;
  std::string& out = result.Data;
  TvxBitWriter w(out);
  if (hints.Pages.empty()) throw EUnexpectedError(res::SUnexpectedError);

  // Page offset table. Content streams are not placed apart from their
  // pages, so the content fields repeat the page lengths from offset 0.
  int64_t minObjects = INT64_MAX, maxObjects = 0, minLength = INT64_MAX, maxLength = 0;
  uint32_t maxShared = 0;
  for (const TvxPageHint& page : hints.Pages) {
    minObjects = std::min(minObjects, page.Objects);
    maxObjects = std::max(maxObjects, page.Objects);
    minLength = std::min(minLength, page.Length);
    maxLength = std::max(maxLength, page.Length);
    maxShared = std::max(maxShared, page.SharedCount);
  }
  const int objectBits = BitsFor(uint64_t(maxObjects - minObjects));
  const int lengthBits = BitsFor(uint64_t(maxLength - minLength));
  const int sharedCountBits = BitsFor(maxShared);
  const int identifierBits = BitsFor(hints.Shared.size());
  Write32(w, minObjects);
  Write32(w, hints.FirstPageOffset);
  Write16(w, objectBits);
  Write32(w, minLength);
  Write16(w, lengthBits);
  Write32(w, 0);  // least content offset
  Write16(w, 0);
  Write32(w, minLength);  // least content length
  Write16(w, lengthBits);
  Write16(w, sharedCountBits);
  Write16(w, identifierBits);
  Write16(w, 0);  // numerators of the position of shared objects: none
  Write16(w, 4);  // their denominator, which then does not matter
  for (const TvxPageHint& page : hints.Pages) w.Write(uint64_t(page.Objects - minObjects), objectBits);
  w.Align();
  for (const TvxPageHint& page : hints.Pages) w.Write(uint64_t(page.Length - minLength), lengthBits);
  w.Align();
  for (const TvxPageHint& page : hints.Pages) w.Write(page.SharedCount, sharedCountBits);
  w.Align();
  for (uint32_t id : hints.SharedIdentifiers) w.Write(id, identifierBits);
  w.Align();
  // Numerators (0 bits each) and content offsets (0 bits each) take no room.
  for (const TvxPageHint& page : hints.Pages) w.Write(uint64_t(page.Length - minLength), lengthBits);
  w.Align();

  // Shared object table: every entry one object.
  result.SharedTableOffset = int64_t(out.size());
  int64_t minGroup = hints.Shared.empty() ? 0 : INT64_MAX, maxGroup = 0;
  for (const TvxSharedHint& s : hints.Shared) {
    minGroup = std::min(minGroup, s.Length);
    maxGroup = std::max(maxGroup, s.Length);
  }
  const int groupBits = BitsFor(uint64_t(maxGroup - minGroup));
  Write32(w, hints.FirstSharedObject);
  Write32(w, hints.FirstSharedOffset);
  Write32(w, hints.SharedFirstPage);
  Write32(w, int64_t(hints.Shared.size()));
  Write16(w, 0);  // objects per group: always one
  Write32(w, minGroup);
  Write16(w, groupBits);
  for (const TvxSharedHint& s : hints.Shared) w.Write(uint64_t(s.Length - minGroup), groupBits);
  w.Align();
  for (size_t i = 0; i < hints.Shared.size(); ++i) w.Write(0, 1);  // no signatures
  w.Align();

  if (hints.OutlineObjects > 0) {
    result.OutlineTableOffset = int64_t(out.size());
    Write32(w, hints.OutlineFirstObject);
    Write32(w, hints.OutlineFirstOffset);
    Write32(w, hints.OutlineObjects);
    Write32(w, hints.OutlineLength);
  }
  return result;
}

}  // namespace vx
