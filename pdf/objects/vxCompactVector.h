// A vector in 16 bytes (pointer, 32-bit size and capacity) for the element
// lists of arrays and dictionaries, of which a loaded document holds
// hundreds of thousands. Only what the object model needs of std::vector.
// The storage comes from the small-object pool: most lists are a few
// entries long, and malloc's header and rounding would add a fifth.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <new>
#include <utility>

#include "pdf/objects/vxObjectPool.h"

namespace vx {

template <typename T>
class TvxCompactVector {
  static_assert(alignof(T) <= TvxObjectPool::kGranule, "pool blocks are aligned to the granule");

 public:
  using value_type = T;
  using iterator = T*;
  using const_iterator = const T*;
  using reverse_iterator = std::reverse_iterator<T*>;
  using const_reverse_iterator = std::reverse_iterator<const T*>;

  TvxCompactVector() = default;
  TvxCompactVector(const TvxCompactVector&) = delete;
  TvxCompactVector& operator=(const TvxCompactVector&) = delete;
  TvxCompactVector(TvxCompactVector&& other) noexcept : data_(other.data_), size_(other.size_), capacity_(other.capacity_) {
    other.data_ = nullptr;
    other.size_ = other.capacity_ = 0;
  }
  TvxCompactVector& operator=(TvxCompactVector&& other) noexcept {
    if (this != &other) {
      Release();
      data_ = other.data_;
      size_ = other.size_;
      capacity_ = other.capacity_;
      other.data_ = nullptr;
      other.size_ = other.capacity_ = 0;
    }
    return *this;
  }
  ~TvxCompactVector() { Release(); }

  size_t size() const { return size_; }
  size_t capacity() const { return capacity_; }
  bool empty() const { return size_ == 0; }
  T* data() { return data_; }
  const T* data() const { return data_; }
  T& operator[](size_t i) { return data_[i]; }
  const T& operator[](size_t i) const { return data_[i]; }
  T& front() { return data_[0]; }
  T& back() { return data_[size_ - 1]; }
  const T& back() const { return data_[size_ - 1]; }
  iterator begin() { return data_; }
  iterator end() { return data_ + size_; }
  const_iterator begin() const { return data_; }
  const_iterator end() const { return data_ + size_; }
  reverse_iterator rbegin() { return reverse_iterator(end()); }
  reverse_iterator rend() { return reverse_iterator(begin()); }
  const_reverse_iterator rbegin() const { return const_reverse_iterator(end()); }
  const_reverse_iterator rend() const { return const_reverse_iterator(begin()); }

  void reserve(size_t n) {
    if (n > capacity_) Grow(n);
  }
  void push_back(T&& value) {
    if (size_ == capacity_) Grow(capacity_ ? size_t(capacity_) * 2 : 4);
    new (data_ + size_) T(std::move(value));
    ++size_;
  }
  template <typename... Args>
  T& emplace_back(Args&&... args) {
    if (size_ == capacity_) Grow(capacity_ ? size_t(capacity_) * 2 : 4);
    new (data_ + size_) T(std::forward<Args>(args)...);
    return data_[size_++];
  }
  iterator insert(iterator at, T&& value) {
    size_t index = size_t(at - data_);
    push_back(std::move(value));
    std::rotate(data_ + index, data_ + size_ - 1, data_ + size_);
    return data_ + index;
  }
  iterator erase(iterator at) {
    std::move(at + 1, end(), at);
    data_[--size_].~T();
    return at;
  }
  void pop_back() { data_[--size_].~T(); }
  void clear() {
    for (uint32_t i = 0; i < size_; ++i) data_[i].~T();
    size_ = 0;
  }
  void shrink_to_fit() {
    if (size_ < capacity_) Grow(size_, true);
  }
  // Hands the pool block over to the caller, who then owns the elements
  // and the block of `capacity` elements; the vector is left empty.
  T* release(uint32_t& size, uint32_t& capacity) noexcept {
    T* data = data_;
    size = size_;
    capacity = capacity_;
    data_ = nullptr;
    size_ = capacity_ = 0;
    return data;
  }

 private:
  void Grow(size_t n, bool exact = false) {
    if (n > UINT32_MAX) throw std::bad_alloc();
    if (!exact) n = std::max<size_t>(n, size_);
    T* fresh = n ? static_cast<T*>(TvxObjectPool::Allocate(n * sizeof(T))) : nullptr;
    for (uint32_t i = 0; i < size_; ++i) {
      new (fresh + i) T(std::move(data_[i]));
      data_[i].~T();
    }
    Deallocate();
    data_ = fresh;
    capacity_ = uint32_t(n);
  }
  void Release() {
    clear();
    Deallocate();
    data_ = nullptr;
    capacity_ = 0;
  }
  void Deallocate() {
    if (data_) TvxObjectPool::Free(data_, size_t(capacity_) * sizeof(T));
  }

  T* data_ = nullptr;
  uint32_t size_ = 0;
  uint32_t capacity_ = 0;
};

}  // namespace vx
