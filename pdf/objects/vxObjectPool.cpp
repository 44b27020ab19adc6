#include "pdf/objects/vxObjectPool.h"

#include <cstdlib>
#include <mutex>
#include <new>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#define VX_PLAIN_ALLOCATION 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VX_PLAIN_ALLOCATION 1
#endif
#endif

namespace vx {

#ifdef VX_PLAIN_ALLOCATION

void* TvxObjectPool::Allocate(size_t size) { return ::operator new(size); }
// Sized, so that the checkers also see a block given back at a size other
// than the one it was taken at.
void TvxObjectPool::Free(void* block, size_t size) noexcept {
  if (block) ::operator delete(block, size);
}

#else

namespace {

constexpr size_t kClasses = TvxObjectPool::kMaxPooled / TvxObjectPool::kGranule;
constexpr size_t kChunkBytes = 256 * 1024;

struct FreeBlock {
  FreeBlock* next;
};

// Per thread: a free list per size class and the chunk being carved.
struct ThreadPool {
  FreeBlock* freeLists[kClasses] = {};
  char* chunkCursor = nullptr;
  char* chunkEnd = nullptr;
};

thread_local ThreadPool pool;

void* Carve(size_t bytes) {
  if (size_t(pool.chunkEnd - pool.chunkCursor) < bytes || !pool.chunkCursor) {
    // The tail of the old chunk is given up; chunks live as long as the process.
    pool.chunkCursor = static_cast<char*>(std::malloc(kChunkBytes));
    if (!pool.chunkCursor) throw std::bad_alloc();
    pool.chunkEnd = pool.chunkCursor + kChunkBytes;
  }
  void* block = pool.chunkCursor;
  pool.chunkCursor += bytes;
  return block;
}

}  // namespace

void* TvxObjectPool::Allocate(size_t size) {
  if (size == 0 || size > kMaxPooled) return ::operator new(size);
  size_t cls = (size - 1) / kGranule;
  if (FreeBlock* block = pool.freeLists[cls]) {
    pool.freeLists[cls] = block->next;
    return block;
  }
  return Carve((cls + 1) * kGranule);
}

void TvxObjectPool::Free(void* block, size_t size) noexcept {
  if (!block) return;
  if (size == 0 || size > kMaxPooled) {
    ::operator delete(block);
    return;
  }
  size_t cls = (size - 1) / kGranule;
  auto* free = static_cast<FreeBlock*>(block);
  free->next = pool.freeLists[cls];
  pool.freeLists[cls] = free;
}

#endif

}  // namespace vx
