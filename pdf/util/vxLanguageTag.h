// Language tags as documents name their language (/Lang, dc:language):
// the syntax of BCP 47 (RFC 5646), with the primary language limited to the
// two- and three-letter codes that exist, so that a word such as "english"
// is refused rather than taken for a tag.
#pragma once

#include <string>
#include <string_view>

namespace vx {

// Empty text when `tag` is a well-formed tag ("en", "de-DE", "zh-Hant-TW",
// "sr-Latn-RS", "es-419", "x-klingon"); otherwise what is wrong with it.
std::string LanguageTagProblem(std::string_view tag);

}  // namespace vx
