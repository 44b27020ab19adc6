#include "pdf/util/vxUtils.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstring>
#include <mutex>
#include <random>
#include <vector>

#include "pdf/util/vxExceptions.h"
#include "pdf/util/vxPDFResStrs.h"

namespace vx {

std::string Format(std::string_view pattern, std::initializer_list<FormatArg> args) {
  std::string out;
  out.reserve(pattern.size() + 16);
  auto next = args.begin();
  for (size_t i = 0; i < pattern.size(); ++i) {
    char c = pattern[i];
    if (c == '%' && i + 1 < pattern.size()) {
      char d = pattern[i + 1];
      if (d == '%') {
        out += '%';
        ++i;
        continue;
      }
      if ((d == 's' || d == 'd') && next != args.end()) {
        out += next->Text();
        ++next;
        ++i;
        continue;
      }
    }
    out += c;
  }
  return out;
}

namespace {

template <typename T>
std::optional<T> ParseSignedDecimal(std::string_view text) {
  if (text.empty()) return std::nullopt;
  size_t start = 0;
  bool negative = false;
  if (text[0] == '+' || text[0] == '-') {
    negative = text[0] == '-';
    start = 1;
  }
  if (start >= text.size()) return std::nullopt;
  // from_chars does not take '+'; parse the magnitude by hand to keep the
  // full range of negative values.
  using U = std::make_unsigned_t<T>;
  U magnitude = 0;
  const U limit = negative ? U(std::numeric_limits<T>::max()) + 1 : U(std::numeric_limits<T>::max());
  for (size_t i = start; i < text.size(); ++i) {
    if (!IsDigit(text[i])) return std::nullopt;
    U digit = U(text[i] - '0');
    if (magnitude > (limit - digit) / 10) return std::nullopt;
    magnitude = magnitude * 10 + digit;
  }
  if (negative) return T(~magnitude + 1);
  return T(magnitude);
}

}  // namespace

std::optional<int32_t> TryStrToInt(std::string_view text) { return ParseSignedDecimal<int32_t>(text); }
std::optional<int64_t> TryStrToInt64(std::string_view text) { return ParseSignedDecimal<int64_t>(text); }

int32_t StrToInt(std::string_view text) {
  if (auto v = TryStrToInt(text)) return *v;
  throw EConvertError(Format(res::SInvalidInteger, {text}));
}

int64_t StrToInt64(std::string_view text) {
  if (auto v = TryStrToInt64(text)) return *v;
  throw EConvertError(Format(res::SInvalidInteger, {text}));
}

namespace {

// Plain decimals ("-12.345") of up to 15 digits: the digits are an exact
// integer and 10^k an exact double, so one division rounds exactly as a full
// conversion would.
std::optional<double> FastDecimal(std::string_view text) {
  static constexpr double kPowers[16] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                         1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  uint64_t mantissa = 0;
  int digits = 0, fraction = -1;
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (c == '.') {
      if (fraction >= 0) return std::nullopt;
      fraction = 0;
    } else if (IsDigit(c)) {
      if (++digits > 15) return std::nullopt;
      mantissa = mantissa * 10 + uint64_t(c - '0');
      if (fraction >= 0) ++fraction;
    } else {
      return std::nullopt;
    }
  }
  if (digits == 0) return std::nullopt;
  double value = double(mantissa);
  if (fraction > 0) value /= kPowers[fraction];
  return negative ? -value : value;
}

}  // namespace

std::optional<double> TryStrToFloat(std::string_view text) {
  if (text.empty()) return std::nullopt;
  if (auto fast = FastDecimal(text)) return fast;
  size_t start = 0;
  if (text[0] == '+') start = 1;  // from_chars rejects a leading '+'
  if (start < text.size() && text[start] == '+') return std::nullopt;
  std::string_view body = text.substr(start);
  // Only plain decimal forms: no "inf", "nan" or hexadecimal floats.
  for (char c : body) {
    if (!(IsDigit(c) || c == '.' || c == '-' || c == 'e' || c == 'E' || c == '+'))
      return std::nullopt;
  }
  double value = 0;
  auto [ptr, ec] = std::from_chars(body.data(), body.data() + body.size(), value,
                                   std::chars_format::general);
  if (ec != std::errc() || ptr != body.data() + body.size()) return std::nullopt;
  return value;
}

namespace {

// Adds one unit in the last place of `count` decimal digits; returns true
// when the addition carried out of the first digit.
bool IncrementDigits(char* digits, size_t count) {
  for (size_t i = count; i-- > 0;) {
    if (digits[i] == '9') {
      digits[i] = '0';
    } else {
      ++digits[i];
      return false;
    }
  }
  return true;
}

}  // namespace

// Built in fixed buffers: the writer calls this for every real of a file.
void AppendRealText(std::string& out, double value) {
  if (!std::isfinite(value) || value == 0) {
    out += "0.0000000000";
    return;
  }
  const bool negative = value < 0;
  const double magnitude = std::fabs(value);
  // Most reals in files were written with a few decimals (595.276, 0.5).
  // When a decimal of at most ten digits reads back as the value, it is what
  // rounding to ten digits gives (a double's error is far below half a unit
  // in the tenth digit), so its digits can be written as they are.
  static constexpr double kPowers[] = {1, 10, 100, 1e3, 1e4, 1e5, 1e6};
  for (int places = 0; places <= 6; ++places) {
    const double scaled = magnitude * kPowers[places];
    if (scaled >= 1e10) break;
    if (scaled != std::floor(scaled) || scaled / kPowers[places] != magnitude) continue;
    const uint64_t digits = uint64_t(scaled);
    const uint64_t unit = uint64_t(kPowers[places]);
    char text[32];
    char* p = std::to_chars(text, text + sizeof text, digits / unit).ptr;
    *p++ = '.';
    char fraction[8];
    auto end = std::to_chars(fraction, fraction + sizeof fraction, digits % unit).ptr;
    const size_t fractionDigits = size_t(end - fraction);
    p = std::fill_n(p, size_t(places) - std::min<size_t>(fractionDigits, size_t(places)), '0');
    p = std::copy(fraction, fraction + (places > 0 ? fractionDigits : 0), p);
    p = std::fill_n(p, 10 - places, '0');
    if (negative) out += '-';  // digits is not 0: the value is not
    out.append(text, p);
    return;
  }
  // Ten significant digits, correctly rounded by to_chars: d.ddddddddde±x
  char sci[64];
  auto res = std::to_chars(sci, sci + sizeof sci, magnitude, std::chars_format::scientific, 9);
  const char* ePos = std::find(sci, res.ptr, 'e');
  char digits[16];
  size_t digitCount = 0;
  for (const char* p = sci; p < ePos; ++p)
    if (IsDigit(*p)) digits[digitCount++] = *p;
  int exponent = 0;
  std::from_chars(ePos + 1 + (ePos[1] == '+' ? 1 : 0), res.ptr, exponent);

  // value = 0.digits * 10^(exponent+1); lay the digits out around the point.
  // A double's exponent lies within -324..308, so both parts fit. The
  // integer part keeps a spare first place for a carry out of its top digit.
  char integerBuffer[400];
  char* integerPart = integerBuffer + 1;
  size_t integerCount = 0;
  char fraction[400];
  size_t fractionCount = 0;
  const int intDigits = exponent + 1;  // digits before the point (may be <= 0)
  if (intDigits > 0) {
    const size_t whole = size_t(intDigits);
    const size_t taken = std::min(whole, digitCount);
    std::memcpy(integerPart, digits, taken);
    std::memset(integerPart + taken, '0', whole - taken);
    integerCount = whole;
    fractionCount = digitCount - taken;
    std::memcpy(fraction, digits + taken, fractionCount);
  } else {
    integerPart[0] = '0';
    integerCount = 1;
    const size_t zeros = size_t(-intDigits);
    std::memset(fraction, '0', zeros);
    std::memcpy(fraction + zeros, digits, digitCount);
    fractionCount = zeros + digitCount;
  }
  // At most ten places, rounded half up on the decimal digits.
  if (fractionCount > 10) {
    const bool roundUp = fraction[10] >= '5';
    fractionCount = 10;
    if (roundUp && IncrementDigits(fraction, 10) && IncrementDigits(integerPart, integerCount)) {
      --integerPart;
      integerPart[0] = '1';
      ++integerCount;
    }
  }
  std::memset(fraction + fractionCount, '0', 10 - std::min<size_t>(fractionCount, 10));
  bool allZero = true;
  for (size_t i = 0; i < integerCount && allZero; ++i) allZero = integerPart[i] == '0';
  for (size_t i = 0; i < 10 && allZero; ++i) allZero = fraction[i] == '0';
  if (negative && !allZero) out += '-';
  out.append(integerPart, integerCount);
  out += '.';
  out.append(fraction, 10);
}

std::string RealToText(double value) {
  std::string out;
  AppendRealText(out, value);
  return out;
}

std::string GeneralFloatText(double value) {
  if (!std::isfinite(value)) return "0";
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
  std::string text(buf, size_t(res.ptr - buf));
  if (text.find('e') != std::string::npos) {
    // Very large or very small: fall back to a fixed form without exponent.
    res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 15);
    text.assign(buf, size_t(res.ptr - buf));
    if (text.find('.') != std::string::npos) {
      while (!text.empty() && text.back() == '0') text.pop_back();
      if (!text.empty() && text.back() == '.') text.pop_back();
    }
  }
  return text;
}

namespace {

// Windows-1252 bytes 0x80..0x9F; 0 marks the five unassigned positions,
// which map to the C1 control of the same value (as Windows does).
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

}  // namespace

std::u16string AnsiToWide(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  for (unsigned char b : bytes) {
    if (b >= 0x80 && b <= 0x9F && kCp1252High[b - 0x80] != 0)
      out += kCp1252High[b - 0x80];
    else
      out += char16_t(b);
  }
  return out;
}

std::string WideToAnsi(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char16_t c : text) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
      out += char(c);
      continue;
    }
    char mapped = '?';
    for (int i = 0; i < 32; ++i) {
      if (kCp1252High[i] == c || (kCp1252High[i] == 0 && c == char16_t(0x80 + i))) {
        mapped = char(0x80 + i);
        break;
      }
    }
    out += mapped;
  }
  return out;
}

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  size_t i = 0;
  const size_t n = text.size();
  auto cont = [&](size_t k) { return k < n && (uint8_t(text[k]) & 0xC0) == 0x80; };
  while (i < n) {
    uint8_t b = uint8_t(text[i]);
    char32_t cp = 0xFFFD;
    size_t len = 1;
    if (b < 0x80) {
      cp = b;
    } else if (b >= 0xC2 && b < 0xE0 && cont(i + 1)) {
      cp = char32_t(b & 0x1F) << 6 | (uint8_t(text[i + 1]) & 0x3F);
      len = 2;
    } else if (b >= 0xE0 && b < 0xF0 && cont(i + 1) && cont(i + 2)) {
      cp = char32_t(b & 0x0F) << 12 | char32_t(uint8_t(text[i + 1]) & 0x3F) << 6 |
           (uint8_t(text[i + 2]) & 0x3F);
      len = 3;
      if (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
    } else if (b >= 0xF0 && b < 0xF5 && cont(i + 1) && cont(i + 2) && cont(i + 3)) {
      cp = char32_t(b & 0x07) << 18 | char32_t(uint8_t(text[i + 1]) & 0x3F) << 12 |
           char32_t(uint8_t(text[i + 2]) & 0x3F) << 6 | (uint8_t(text[i + 3]) & 0x3F);
      len = 4;
      if (cp < 0x10000 || cp > 0x10FFFF) cp = 0xFFFD;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += char16_t(0xD800 + (cp >> 10));
      out += char16_t(0xDC00 + (cp & 0x3FF));
    } else {
      out += char16_t(cp);
    }
    i += len;
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out += char(cp);
    } else if (cp < 0x800) {
      out += char(0xC0 | (cp >> 6));
      out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += char(0xE0 | (cp >> 12));
      out += char(0x80 | ((cp >> 6) & 0x3F));
      out += char(0x80 | (cp & 0x3F));
    } else {
      out += char(0xF0 | (cp >> 18));
      out += char(0x80 | ((cp >> 12) & 0x3F));
      out += char(0x80 | ((cp >> 6) & 0x3F));
      out += char(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

std::string AsciiUpper(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = char(c - 32);
  return out;
}

std::string AsciiLower(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = char(c + 32);
  return out;
}

namespace {

std::mutex& RandomLock() {
  static std::mutex lock;
  return lock;
}

std::mt19937& Generator() {
  static std::mt19937 generator(
      uint32_t(std::chrono::system_clock::now().time_since_epoch().count()));
  return generator;
}

}  // namespace

void RandomizeFromClock() {
  std::lock_guard<std::mutex> guard(RandomLock());
  Generator().seed(uint32_t(std::chrono::system_clock::now().time_since_epoch().count()));
}

int32_t RandomNumber() {
  std::lock_guard<std::mutex> guard(RandomLock());
  std::uniform_int_distribution<int32_t> dist(0, 2147483646);
  return dist(Generator());
}

}  // namespace vx
