// Dictionary keys. A loaded document holds about a million of them drawn
// from a small vocabulary (/Type, /Length, /Font, ...), so keys are shared
// texts held by a process-wide table; a key that is long, or met when the
// table is full, is held by its dictionary entry instead.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vx {

// The table's shared copy of `text`, or nullptr when it is not shared (too
// long, or the table is full). Shared texts live as long as the process.
const std::string* InternedText(std::string_view text);

class TvxKey {
 public:
  TvxKey() : TvxKey(std::string_view()) {}
  TvxKey(std::string_view text);  // NOLINT: keys are made from text everywhere
  TvxKey(const std::string& text) : TvxKey(std::string_view(text)) {}
  TvxKey(const char* text) : TvxKey(std::string_view(text)) {}
  TvxKey(const TvxKey& other);
  TvxKey(TvxKey&& other) noexcept : bits_(other.bits_) { other.bits_ = EmptyBits(); }
  TvxKey& operator=(TvxKey other) noexcept {
    std::swap(bits_, other.bits_);
    return *this;
  }
  ~TvxKey();

  const std::string& Text() const { return *reinterpret_cast<const std::string*>(bits_ & ~uintptr_t(1)); }
  operator const std::string&() const { return Text(); }
  operator std::string_view() const { return Text(); }
  bool operator==(std::string_view other) const { return Text() == other; }
  bool operator==(const char* other) const { return Text() == other; }
  bool operator==(const std::string& other) const { return Text() == other; }

 private:
  static uintptr_t EmptyBits();
  bool Owned() const { return bits_ & 1; }
  uintptr_t bits_;  // an interned std::string*, or an owned one with bit 0 set
};

}  // namespace vx
