// A small-object allocator for PDF objects. A loaded document holds millions
// of tiny objects (numbers, names, references); taking them from per-thread
// free lists of fixed size classes avoids malloc's per-block overhead in
// both time and memory. Memory is kept for reuse, never handed back.
// Sanitizer builds use plain new/delete so that every object stays visible
// to the checkers.
#pragma once

#include <cstddef>

namespace vx {

class TvxObjectPool {
 public:
  static constexpr size_t kGranule = 8;
  static constexpr size_t kMaxPooled = 256;  // larger blocks go to operator new
  static void* Allocate(size_t size);
  static void Free(void* block, size_t size) noexcept;
};

}  // namespace vx
