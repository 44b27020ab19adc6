#include "pdf/util/vxPDFDocEncoding.h"

#include <array>

#include "pdf/util/vxUtils.h"

namespace vx {

namespace {

// The codes where PDFDocEncoding differs from Latin-1: 0x18 to 0x1F (spacing
// accents) and 0x80 to 0xA0 (typographic marks, ligatures, Central European
// letters, the euro sign). The undefined codes 0x7F, 0x9F and 0xAD stand for
// the Latin-1 characters of the same number, so that any bytes come back
// from UTF-8 as they were.
constexpr std::array<char16_t, 8> kAccents = {0x02D8, 0x02C7, 0x02C6, 0x02D9, 0x02DD, 0x02DB, 0x02DA, 0x02DC};
constexpr std::array<char16_t, 33> kUpper = {
    0x2022, 0x2020, 0x2021, 0x2026, 0x2014, 0x2013, 0x0192, 0x2044, 0x2039, 0x203A, 0x2212,
    0x2030, 0x201E, 0x201C, 0x201D, 0x2018, 0x2019, 0x201A, 0x2122, 0xFB01, 0xFB02, 0x0141, 0x0152,
    0x0160, 0x0178, 0x017D, 0x0131, 0x0142, 0x0153, 0x0161, 0x017E, 0x009F, 0x20AC};

char16_t CodeToUnicode(uint8_t code) {
  if (code >= 0x18 && code <= 0x1F) return kAccents[code - 0x18];
  if (code >= 0x80 && code <= 0xA0) return kUpper[code - 0x80];
  return code;
}

std::optional<uint8_t> UnicodeToCode(char16_t unit) {
  if (unit < 0x100 && CodeToUnicode(uint8_t(unit)) == unit) return uint8_t(unit);
  for (size_t i = 0; i < kAccents.size(); ++i)
    if (kAccents[i] == unit) return uint8_t(0x18 + i);
  for (size_t i = 0; i < kUpper.size(); ++i)
    if (kUpper[i] == unit) return uint8_t(0x80 + i);
  return std::nullopt;
}

}  // namespace

bool IsUtf8(std::string_view text) { return Utf16ToUtf8(Utf8ToUtf16(text)) == text; }

std::optional<std::string> Utf8ToPDFDocEncoding(std::string_view utf8, char32_t* missing) {
  if (!IsUtf8(utf8)) {
    if (missing) *missing = 0xFFFD;
    return std::nullopt;
  }
  const std::u16string units = Utf8ToUtf16(utf8);
  std::string out;
  out.reserve(units.size());
  for (size_t i = 0; i < units.size(); ++i) {
    std::optional<uint8_t> code = UnicodeToCode(units[i]);
    if (!code) {
      if (missing) {
        const bool pair = units[i] >= 0xD800 && units[i] < 0xDC00 && i + 1 < units.size();
        *missing = pair ? 0x10000 + ((char32_t(units[i]) - 0xD800) << 10) + (units[i + 1] - 0xDC00) : units[i];
      }
      return std::nullopt;
    }
    out += char(*code);
  }
  return out;
}

std::u16string PDFDocEncodingToUnicode(std::string_view bytes) {
  std::u16string units;
  units.reserve(bytes.size());
  for (char c : bytes) units += CodeToUnicode(uint8_t(c));
  return units;
}

std::string PDFDocEncodingToUtf8(std::string_view bytes) { return Utf16ToUtf8(PDFDocEncodingToUnicode(bytes)); }

}  // namespace vx
