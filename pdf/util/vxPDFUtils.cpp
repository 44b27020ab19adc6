#include "pdf/util/vxPDFUtils.h"

#include "pdf/util/vxPDFDocEncoding.h"

#include "pdf/objects/vxPDFObjects.h"
#include "pdf/util/vxExceptions.h"
#include "pdf/util/vxPDFResStrs.h"
#include "pdf/util/vxUtils.h"

namespace vx {

namespace {

bool IsOctal(char c) { return c >= '0' && c <= '7'; }

int HexValue(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string Escape(std::string_view bytes, bool expandTabs) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 8 + 4);
  int column = 8;
  auto step = [&] {
    if (--column == 0) column = 8;
  };
  for (unsigned char b : bytes) {
    switch (b) {
      case '(': out += "\\("; step(); break;
      case ')': out += "\\)"; step(); break;
      case '\\': out += "\\\\"; step(); break;
      case 13: out += "\\r"; step(); break;
      case 10: out += "\\n"; step(); break;
      case 8: out += "\\b"; break;
      case 12: out += "\\f"; break;
      case 9:
        if (expandTabs) {
          out.append(size_t(column), ' ');
          column = 8;
        } else {
          out += "\\t";
          step();
        }
        break;
      default: out += char(b); step(); break;
    }
  }
  return out;
}

}  // namespace

std::string UnescapeLiteral(std::string_view raw) {
  std::string out;
  out.reserve(raw.size());
  for (size_t i = 0; i < raw.size(); ++i) {
    char c = raw[i];
    if (c != '\\' || i + 1 >= raw.size()) {
      out += c;
      continue;
    }
    char n = raw[i + 1];
    switch (n) {
      case '(': case ')': case '\\': out += n; ++i; continue;
      case 'b': out += '\b'; ++i; continue;
      case 'f': out += '\f'; ++i; continue;
      case 'n': out += '\n'; ++i; continue;
      case 'r': out += '\r'; ++i; continue;
      case 't': out += '\t'; ++i; continue;
      default: break;
    }
    if (IsOctal(n)) {
      int value = 0;
      size_t k = i + 1;
      for (int digits = 0; digits < 3 && k < raw.size() && IsOctal(raw[k]); ++digits, ++k)
        value = value * 8 + (raw[k] - '0');
      out += char(value & 0xFF);
      i = k - 1;
      continue;
    }
    // Any other escaped byte stands for itself: the backslash is dropped, as
    // every PDF reader reads it.
  }
  return out;
}

std::string EscapeLiteral(std::string_view bytes) { return Escape(bytes, true); }
std::string EscapeLiteralKeepTabs(std::string_view bytes) { return Escape(bytes, false); }

std::string EscapeLiteralForValue(std::string_view bytes) {
  bool exact = bytes.size() >= 2 && uint8_t(bytes[0]) == 0xFE && uint8_t(bytes[1]) == 0xFF;
  for (size_t i = 0; !exact && i < bytes.size(); ++i) {
    unsigned char b = bytes[i];
    if (b < 0x20 && b != 9 && b != 10 && b != 13 && b != 8 && b != 12) exact = true;
  }
  return Escape(bytes, !exact);
}

std::string BytesToHex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  out.resize(bytes.size() * 2);
  for (size_t i = 0; i < bytes.size(); ++i) {
    unsigned char b = bytes[i];
    out[2 * i] = kDigits[b >> 4];
    out[2 * i + 1] = kDigits[b & 15];
  }
  return out;
}

std::string HexToBytes(std::string_view text) {
  std::string out;
  out.reserve(text.size() / 2);
  int high = -1;
  for (unsigned char c : text) {
    int v = HexValue(c);
    if (v < 0) continue;
    if (high < 0) {
      high = v;
    } else {
      out += char(high << 4 | v);
      high = -1;
    }
  }
  if (high >= 0) out += char(high << 4);  // a final digit alone is read as if followed by 0
  return out;
}

std::u16string HexTextToUnicode(std::string_view text) { return TextStringToUnicode(HexToBytes(text)); }

namespace {

std::u16string Utf16Units(std::string_view bytes, bool bigEndian) {
  std::u16string out;
  out.reserve(bytes.size() / 2);
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const uint8_t first = uint8_t(bytes[i]), second = uint8_t(bytes[i + 1]);
    const char16_t unit = bigEndian ? char16_t(first << 8 | second) : char16_t(second << 8 | first);
    if (unit == 0) break;
    out += unit;
  }
  return out;
}

}  // namespace

std::u16string TextStringToUnicode(std::string_view bytes) {
  auto startsWith = [bytes](std::string_view mark) { return bytes.substr(0, mark.size()) == mark; };
  if (startsWith("\xFE\xFF")) return Utf16Units(bytes.substr(2), true);
  if (startsWith("\xFF\xFE")) return Utf16Units(bytes.substr(2), false);
  if (startsWith("\xEF\xBB\xBF")) return Utf8ToUtf16(bytes.substr(3));
  // No text begins with NUL: that is UTF-16BE whose marker was left out.
  if (bytes.size() >= 2 && bytes[0] == '\0' && bytes.size() % 2 == 0) return Utf16Units(bytes, true);
  return PDFDocEncodingToUnicode(bytes);
}

std::u16string DecodeTextString(std::string_view raw) {
  if (raw.size() >= 2 && raw.front() == '<' && raw.back() == '>') return HexTextToUnicode(raw.substr(1, raw.size() - 2));
  if (raw.size() >= 2 && raw.front() == '(' && raw.back() == ')') return TextStringToUnicode(raw.substr(1, raw.size() - 2));
  return TextStringToUnicode(raw);
}

std::string TextStringBytes(std::u16string_view value) {
  std::string out;
  out.reserve(2 + value.size() * 2);
  out += char(0xFE);
  out += char(0xFF);
  for (char16_t u : value) {
    out += char(u >> 8);
    out += char(u & 0xFF);
  }
  return out;
}

std::array<double, 4> ReadRectangle(const TvxPDFObject* array) {
  std::array<double, 4> box{0, 0, 0, 0};
  auto* a = As<TvxPDFArrayObject>(array);
  if (!a) return box;
  for (int i = 0; i < 4 && i < a->Count(); ++i) {
    const TvxPDFObject* item = a->GetItem(i);
    if (auto* n = As<TvxPDFIntegerObject>(item))
      box[size_t(i)] = n->Value;
    else if (auto* n64 = As<TvxPDFInt64Object>(item))
      box[size_t(i)] = double(n64->Value);
    else if (auto* r = As<TvxPDFRealObject>(item))
      box[size_t(i)] = r->Value;
    else
      throw EUnexpectedObjectError(res::SUnexpectedObject);
  }
  return box;
}

std::string GenerateFontName() { return "/PGXFnt" + std::to_string(RandomNumber()); }
std::string GenerateImageName() { return "/PGXImg" + std::to_string(RandomNumber()); }
std::string GenerateStateName() { return "/GS" + std::to_string(RandomNumber()); }

}  // namespace vx
