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

// The text of a name value in four bytes: the number of the table's shared
// copy, or of a text of its own (kept in a second, numbered table) that is
// freed with it. A loaded document holds hundreds of thousands of names.
// Reads like a const std::string.
class TvxNameText {
 public:
  explicit TvxNameText(std::string_view text);
  TvxNameText(const TvxNameText&) = delete;
  TvxNameText& operator=(const TvxNameText&) = delete;
  ~TvxNameText();

  const std::string& str() const;
  operator const std::string&() const { return str(); }
  operator std::string_view() const { return str(); }
  size_t size() const { return str().size(); }
  size_t length() const { return str().size(); }
  bool empty() const { return str().empty(); }
  const char* data() const { return str().data(); }
  const char* c_str() const { return str().c_str(); }
  char operator[](size_t i) const { return str()[i]; }
  std::string substr(size_t pos, size_t count = std::string::npos) const { return str().substr(pos, count); }
  bool starts_with(std::string_view prefix) const { return std::string_view(str()).starts_with(prefix); }
  std::string::const_iterator begin() const { return str().begin(); }
  std::string::const_iterator end() const { return str().end(); }

  friend bool operator==(const TvxNameText& a, std::string_view b) { return std::string_view(a.str()) == b; }
  friend bool operator==(const TvxNameText& a, const char* b) { return std::string_view(a.str()) == b; }
  friend bool operator==(const TvxNameText& a, const std::string& b) { return a.str() == b; }
  friend std::string operator+(const std::string& a, const TvxNameText& b) { return a + b.str(); }
  friend std::string operator+(const TvxNameText& a, const std::string& b) { return a.str() + b; }
  friend std::string operator+(const char* a, const TvxNameText& b) { return a + b.str(); }
  friend std::string operator+(const TvxNameText& a, const char* b) { return a.str() + b; }

 private:
  uint32_t id_;
};

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
