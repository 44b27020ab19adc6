#include "cli/MessageText.h"

#include <openssl/evp.h>

#include <cstdio>
#include <vector>

namespace vordel {

namespace {

constexpr size_t kQuotedLimit = 80;

// Length of the well-formed UTF-8 sequence at `i`, or 0.
size_t Utf8Length(std::string_view s, size_t i) {
  const auto b = [&](size_t k) { return uint8_t(s[k]); };
  uint8_t c = b(i);
  if (c < 0x80) return 1;
  size_t n = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
  if (n == 0 || i + n > s.size()) return 0;
  for (size_t k = 1; k < n; ++k)
    if ((b(i + k) & 0xC0) != 0x80) return 0;
  // Overlong forms, surrogates and values past U+10FFFF.
  if (c == 0xE0 && b(i + 1) < 0xA0) return 0;
  if (c == 0xED && b(i + 1) > 0x9F) return 0;
  if (c == 0xF0 && b(i + 1) < 0x90) return 0;
  if (c == 0xF4 && b(i + 1) > 0x8F) return 0;
  return n;
}

void AppendHex(std::string& out, uint8_t byte) {
  char text[5];
  std::snprintf(text, sizeof text, "\\x%02x", byte);
  out += text;
}

// Escapes `text`, stopping before the output would pass `limit` bytes;
// `cut` tells whether anything was left out.
std::string EscapeUpTo(std::string_view text, size_t limit, bool& cut) {
  std::string out;
  cut = false;
  for (size_t i = 0; i < text.size();) {
    std::string piece;
    size_t n = Utf8Length(text, i);
    uint8_t c = uint8_t(text[i]);
    bool c1 = n == 2 && c == 0xC2 && uint8_t(text[i + 1]) < 0xA0;
    if (n == 0 || c1 || c < 0x20 || c == 0x7F) {
      size_t count = n == 0 ? 1 : n;
      for (size_t k = 0; k < count; ++k) AppendHex(piece, uint8_t(text[i + k]));
      i += count;
    } else {
      piece.assign(text.substr(i, n));
      i += n;
    }
    if (out.size() + piece.size() > limit) {
      cut = true;
      break;
    }
    out += piece;
  }
  return out;
}

}  // namespace

std::string EscapeControls(std::string_view text) {
  bool cut;
  return EscapeUpTo(text, std::string::npos, cut);
}

std::string SafeMessage(std::string_view message) {
  // The library puts the input it quotes between a pair of delimiters;
  // the widest pair of each kind is taken, so quotes inside stay inside.
  static constexpr std::pair<char, char> kPairs[] = {{'(', ')'}, {'"', '"'}, {'\'', '\''}};
  size_t open = std::string_view::npos, close = std::string_view::npos;
  for (auto [first, last] : kPairs) {
    size_t o = message.find(first);
    size_t c = message.rfind(last);
    if (o == std::string_view::npos || c == std::string_view::npos || c <= o) continue;
    if (open == std::string_view::npos || o < open) open = o, close = c;
  }
  if (open == std::string_view::npos) {
    bool cut;
    std::string out = EscapeUpTo(message, 4 * kQuotedLimit, cut);
    return cut ? out + "…" : out;
  }
  bool cut;
  std::string quoted = EscapeUpTo(message.substr(open + 1, close - open - 1), kQuotedLimit, cut);
  if (cut) quoted += "…";
  return EscapeControls(message.substr(0, open + 1)) + quoted + SafeMessage(message.substr(close));
}

bool IsValidUtf8(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    size_t n = Utf8Length(text, i);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

std::string ValidUtf8(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size();) {
    size_t n = Utf8Length(text, i);
    if (n == 0) {
      out += "\xEF\xBF\xBD";
      ++i;
    } else {
      out.append(text.substr(i, n));
      i += n;
    }
  }
  return out;
}

std::string Base64(std::string_view bytes) {
  std::vector<unsigned char> out(4 * ((bytes.size() + 2) / 3) + 1);
  int n = EVP_EncodeBlock(out.data(), reinterpret_cast<const unsigned char*>(bytes.data()), int(bytes.size()));
  return std::string(reinterpret_cast<const char*>(out.data()), size_t(n));
}

}  // namespace vordel
