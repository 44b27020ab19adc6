#include "pdf/util/vxLanguageTag.h"

#include <vector>

namespace vx {

namespace {

bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool All(std::string_view s, bool (*test)(char)) {
  for (char c : s)
    if (!test(c)) return false;
  return true;
}
bool Alpha(std::string_view s, size_t min, size_t max) { return s.size() >= min && s.size() <= max && All(s, IsAlpha); }
bool AlphaNum(std::string_view s, size_t min, size_t max) {
  return s.size() >= min && s.size() <= max && All(s, [](char c) { return IsAlpha(c) || IsDigit(c); });
}

std::vector<std::string_view> Subtags(std::string_view tag) {
  std::vector<std::string_view> parts;
  size_t at = 0;
  while (true) {
    size_t dash = tag.find('-', at);
    parts.push_back(tag.substr(at, dash == std::string_view::npos ? std::string_view::npos : dash - at));
    if (dash == std::string_view::npos) return parts;
    at = dash + 1;
  }
}

// Private use: "x" followed by subtags of one to eight letters or digits.
bool PrivateUse(const std::vector<std::string_view>& parts, size_t at) {
  if (at + 1 >= parts.size()) return false;
  for (size_t i = at + 1; i < parts.size(); ++i)
    if (!AlphaNum(parts[i], 1, 8)) return false;
  return true;
}

}  // namespace

std::string LanguageTagProblem(std::string_view tag) {
  if (tag.empty()) return "it is empty";
  if (tag.size() > 64) return "it is longer than a language tag can be";
  const std::vector<std::string_view> parts = Subtags(tag);
  for (std::string_view part : parts)
    if (part.empty()) return "it has an empty part";
  if ((parts[0] == "x" || parts[0] == "X")) return PrivateUse(parts, 0) ? "" : "its private part is malformed";
  if (!Alpha(parts[0], 2, 3)) return "it does not begin with a two- or three-letter language code";
  size_t i = 1;
  // Up to three extended language subtags (zh-yue), then the script (Hant),
  // the region (TW, 419), variants (1996, rozaj) and extensions (u-co-phonebk).
  for (int extlang = 0; extlang < 3 && i < parts.size() && Alpha(parts[i], 3, 3); ++extlang) ++i;
  if (i < parts.size() && Alpha(parts[i], 4, 4)) ++i;
  if (i < parts.size() && (Alpha(parts[i], 2, 2) || (parts[i].size() == 3 && All(parts[i], IsDigit)))) ++i;
  while (i < parts.size() &&
         (AlphaNum(parts[i], 5, 8) || (parts[i].size() == 4 && IsDigit(parts[i][0]) && AlphaNum(parts[i], 4, 4))))
    ++i;
  while (i < parts.size() && parts[i].size() == 1 && parts[i] != "x" && parts[i] != "X" && AlphaNum(parts[i], 1, 1)) {
    size_t first = ++i;
    while (i < parts.size() && AlphaNum(parts[i], 2, 8)) ++i;
    if (i == first) return "its extension " + std::string(parts[first - 1]) + " has no value";
  }
  if (i < parts.size() && (parts[i] == "x" || parts[i] == "X"))
    return PrivateUse(parts, i) ? "" : "its private part is malformed";
  if (i < parts.size()) return "\"" + std::string(parts[i]) + "\" is not a script, region or variant";
  return "";
}

}  // namespace vx
