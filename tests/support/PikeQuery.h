// Asks pikepdf (another reader, not ours) about a saved file: runs a short
// Python snippet with `pdf` open on the file and answers what it printed.
#pragma once

#include <string>

namespace vxtest {

// `body` is Python run with `pdf` bound to pikepdf.open(path, password=...).
// A failure (no python3, no pikepdf, an exception) answers "ERROR: ..." so
// that the comparison that follows fails visibly.
std::string PikeQuery(const std::string& path, const std::string& body, const std::string& password = "");

}  // namespace vxtest
