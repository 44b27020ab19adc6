// General helpers: message formatting, locale-free number conversion, the
// Windows-1252 code page that stands in for the system ANSI code page, and
// UTF-8 / UTF-16 conversion for the front ends.
#pragma once

#include <charconv>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

namespace vx {

// One argument of Format: text or a number, already rendered as text.
class FormatArg {
 public:
  FormatArg(std::string_view s) : text_(s) {}
  FormatArg(const std::string& s) : text_(s) {}
  FormatArg(const char* s) : text_(s ? s : "") {}
  FormatArg(int v) : text_(std::to_string(v)) {}
  FormatArg(long v) : text_(std::to_string(v)) {}
  FormatArg(long long v) : text_(std::to_string(v)) {}
  FormatArg(unsigned v) : text_(std::to_string(v)) {}
  FormatArg(unsigned long v) : text_(std::to_string(v)) {}
  FormatArg(unsigned long long v) : text_(std::to_string(v)) {}
  const std::string& Text() const { return text_; }

 private:
  std::string text_;
};

// Replaces each "%s" or "%d" of `pattern` by the next argument, in order.
// "%%" gives a single "%". Missing arguments leave the directive as it is.
std::string Format(std::string_view pattern, std::initializer_list<FormatArg> args);

// Decimal integer conversions in the manner of the original run time: an
// optional sign and decimal digits, nothing else (no blanks). Empty results
// mean the text was no such number.
std::optional<int32_t> TryStrToInt(std::string_view text);
std::optional<int64_t> TryStrToInt64(std::string_view text);
// Throws EConvertError "'%s' is not a valid integer value".
int32_t StrToInt(std::string_view text);
int64_t StrToInt64(std::string_view text);

// Text to double with "." as the decimal separator, whatever the locale.
// Accepts an optional sign, digits with one point, and an exponent; the whole
// text must be used.
std::optional<double> TryStrToFloat(std::string_view text);

// The fixed form of a real: rounded to 10 significant digits and 10 places,
// then written with exactly 10 decimals ("0.5000000000"). Values whose integer
// part is longer than 10 digits keep plain digits (never an exponent, which PDF
// does not allow); negative zero, NaN and infinities give "0.0000000000".
std::string RealToText(double value);
// The same text appended to `out`, without building a string of its own.
void AppendRealText(std::string& out, double value);

// The decimal digits of an integer appended to `out` (the writers' hot path:
// no string of its own).
inline void AppendInteger(std::string& out, int64_t value) {
  char digits[24];
  auto result = std::to_chars(digits, digits + sizeof digits, value);
  out.append(digits, result.ptr);
}
// The same, with leading zeros up to `width` digits (cross-reference entries).
inline void AppendPadded(std::string& out, int64_t value, int width) {
  char digits[24];
  auto result = std::to_chars(digits, digits + sizeof digits, value);
  int length = int(result.ptr - digits);
  if (length < width) out.append(size_t(width - length), '0');
  out.append(digits, result.ptr);
}

// General decimal text of a value with up to 15 significant digits and "." as
// separator, no exponent for ordinary magnitudes: 1, 0.5, 0.35.
std::string GeneralFloatText(double value);

// Windows-1252, used wherever the system ANSI code page is called for.
std::u16string AnsiToWide(std::string_view bytes);
std::string WideToAnsi(std::u16string_view text);  // unmappable -> '?'

// UTF-8 <-> UTF-16 for the command line and the window. Invalid UTF-8 bytes
// become U+FFFD; unpaired surrogates become U+FFFD on the way out.
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

// ASCII helpers that never depend on the locale.
inline bool IsDigit(int c) { return c >= '0' && c <= '9'; }
inline bool IsAsciiLetter(int c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
std::string AsciiUpper(std::string_view s);
std::string AsciiLower(std::string_view s);

// The process-wide pseudo-random generator (seeded from the clock at start-up).
void RandomizeFromClock();
// Uniform in 0 .. 2147483646.
int32_t RandomNumber();

}  // namespace vx
