// Asks pdf.js (Firefox's reader, not ours) what it sees of a file: runs
// tests/support/pdfjs_summary.mjs with node and answers its JSON summary.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace vxtest {

// The summary of `path` opened with `password`: numPages, pageMode,
// pageLayout, viewerPreferences, openAction ({action, dest: {page, view}}),
// pageLabels, info (Title, Author, Language, Custom{...}, ...), xmp
// ({"dc:title": ...}), outline ([{title, count, dest, items, ...}]) and
// permissions, as pdf.js's API gives them. A file pdf.js cannot open, or a
// failure to run it, answers {"error": "..."}, so that a comparison fails
// visibly.
nlohmann::json PdfJsSummary(const std::string& path, const std::string& password = "");
// The summaries of unencrypted files in one run of pdf.js (most of its cost
// is starting), in the order given.
std::vector<nlohmann::json> PdfJsSummaries(const std::vector<std::string>& paths);

}  // namespace vxtest
