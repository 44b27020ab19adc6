// Object streams and the cross-reference stream on output: which objects may
// be packed, how a packed object's text is made compact, how members are
// gathered into one object stream, and the rows of the cross-reference
// stream that says where every object lies.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "pdf/objects/vxPDFObjects.h"

namespace vx {

// Members per object stream: enough for deflate to find the repetitions
// between similar objects, few enough that a reader fetching one object does
// not decode much more than it needs.
inline constexpr size_t kObjectStreamMembers = 400;

// Where a written object lies: at a byte offset of the file (Offset() >= 0),
// or as member Index() of object stream StreamNumber(). Neither: a free
// number. Eight bytes: a save holds one for every object it writes.
class TvxObjectLocation {
 public:
  TvxObjectLocation() = default;
  static TvxObjectLocation At(int64_t offset) { return TvxObjectLocation(offset); }
  static TvxObjectLocation InStream(int32_t streamNumber, int32_t index) {
    return TvxObjectLocation(-2 - int64_t((uint64_t(uint32_t(streamNumber)) << kIndexBits) | uint32_t(index)));
  }
  int64_t Offset() const { return value_ >= 0 ? value_ : -1; }
  int32_t StreamNumber() const { return value_ < -1 ? int32_t(Member() >> kIndexBits) : 0; }
  int32_t Index() const { return value_ < -1 ? int32_t(Member() & ((uint64_t(1) << kIndexBits) - 1)) : 0; }
  bool Placed() const { return value_ != -1; }
  void SetOffset(int64_t offset) { value_ = offset; }

 private:
  // Members per stream stay far below this (kObjectStreamMembers).
  static constexpr int kIndexBits = 24;
  explicit TvxObjectLocation(int64_t value) : value_(value) {}
  uint64_t Member() const { return uint64_t(-2 - value_); }
  // An offset; -1 for a free number; -2 - (stream << kIndexBits | index)
  // for a member.
  int64_t value_ = -1;
};

// Whether an object of the body may go into an object stream. Streams cannot;
// neither can an object written under a generation other than 0 (a member's
// generation is 0 by definition), nor a signature dictionary, which signing
// tools and validators expect as an object of its own in the file.
bool MayPackInObjectStream(const TvxPDFObject* content, uint16_t writtenGeneration);

// The serialiser's text of an object in compact form: every run of white
// space outside strings becomes one space, and reals lose the trailing zeros
// of their fixed ten decimals (one decimal stays, so a real stays a real).
// The objects the text describes are the same.
std::string CompactObjectText(std::string_view text);
// The same, appended to `out`.
void AppendCompactObjectText(std::string& out, std::string_view text);

// Gathers the members of one object stream as the serialiser wrote them;
// Build, which may run on another thread, makes the stream's data. With
// `compactNow`, each member is compacted as it is added rather than by
// Build: the builder then holds only what goes into the stream.
class TvxObjectStreamBuilder {
 public:
  explicit TvxObjectStreamBuilder(bool compactNow = false) : compactNow_(compactNow) {}
  void Add(int32_t number, std::string_view text);
  size_t Count() const { return numbers_.size(); }
  bool Empty() const { return numbers_.empty(); }
  // The stream's decoded data: pairs of number and offset, then the members
  // in compact form; `first` is where the members begin (/First). Uses up
  // the builder.
  std::string Build(int64_t& first) &&;

 private:
  bool compactNow_ = false;
  std::vector<int32_t> numbers_;
  // Where each member's text ends in texts_ (compacted later), or where it
  // begins (compacted now); in Build, where it begins in the data.
  std::vector<size_t> marks_;
  std::string texts_;
};

// The rows of a cross-reference stream for `locations` (indexed by object
// number; entry 0 is the head of the free list), each row PNG-Up predicted,
// and the byte widths of the second and third fields.
struct TvxXRefStreamRows {
  std::string Rows;
  int Width2 = 1;
  int Width3 = 1;
  int Columns() const { return 1 + Width2 + Width3; }
};
// Numbers First .. First + Count - 1: one subsection of a cross-reference section.
struct TvxNumberRange {
  size_t First = 0;
  size_t Count = 0;
};
// Only the rows of `ranges` when given; the second field at least
// `leastWidth2` bytes wide; rows as they are (no prediction) when `predict`
// is false.
TvxXRefStreamRows BuildXRefStreamRows(const std::vector<TvxObjectLocation>& locations,
                                      const std::vector<TvxNumberRange>& ranges = {}, int leastWidth2 = 1,
                                      bool predict = true);

}  // namespace vx
