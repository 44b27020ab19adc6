#include "pdf/util/vxPDFUtils.h"

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

std::u16string HexTextToUnicode(std::string_view text) {
  if (text.size() < 4 || AsciiUpper(text.substr(0, 4)) != "FEFF") return AnsiToWide(HexToBytes(text));
  std::string_view rest = text.substr(4, 999);
  std::u16string out;
  size_t i = 0;
  while (i < rest.size()) {
    if (rest[i] == '.') {
      out += u'.';
      ++i;
      continue;
    }
    if (i + 4 <= rest.size() && AsciiUpper(rest.substr(i, 4)) == "FEFF") {
      i += 4;
      continue;
    }
    if (i + 4 > rest.size()) break;
    int unit = 0;
    bool ok = true;
    for (size_t k = 0; k < 4; ++k) {
      int v = HexValue(uint8_t(rest[i + k]));
      if (v < 0) ok = false;
      unit = unit << 4 | (v < 0 ? 0 : v);
    }
    i += 4;
    if (!ok) continue;
    if (unit == 0) break;
    out += char16_t(unit);
  }
  return out;
}

std::u16string DecodeTextString(std::string_view raw) {
  if (raw.empty() || raw == "()" || raw == "<>") return {};
  std::string_view bytes = raw;
  if ((bytes[0] == '(' || bytes[0] == '<') && bytes.size() >= 2) bytes = bytes.substr(1, bytes.size() - 2);
  bool unicode = false;
  if (bytes.size() >= 2 && uint8_t(bytes[0]) == 0xFE && uint8_t(bytes[1]) == 0xFF) {
    bytes.remove_prefix(2);
    unicode = true;
    if (bytes.empty()) return {};
  }
  if (bytes.size() >= 4 && AsciiUpper(bytes.substr(0, 4)) == "FEFF") return HexTextToUnicode(bytes);
  if (bytes.empty()) return {};
  if (unicode || uint8_t(bytes[0]) <= 0x20) {
    std::u16string out;
    size_t i = 0;
    while (i < bytes.size()) {
      if (bytes[i] == '.') {
        ++i;
        continue;
      }
      if (i + 1 >= bytes.size()) break;
      char16_t unit = char16_t(uint8_t(bytes[i]) << 8 | uint8_t(bytes[i + 1]));
      if (unit == 0) break;
      out += unit;
      i += 2;
    }
    return out;
  }
  return AnsiToWide(bytes);
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
