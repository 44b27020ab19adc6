// The paths a command is given, checked before any work: inputs must be
// regular files, outputs regular files or absent, names no longer than the
// system allows. Nothing here throws; every problem is a message for that
// one file.
#pragma once

#include <istream>
#include <optional>
#include <string>
#include <vector>

#include "cli/Loading.h"

namespace vordel {

// The failure for an input that cannot be read as a file, or nothing. A
// missing file is left to the library, which names it.
std::optional<FileError> CheckInput(const std::string& path);

// The failure for an output that may not be written, or nothing. Where
// links are not followed, a link there is fine: it is replaced.
std::optional<FileError> CheckOutput(const std::string& path, bool followLinks);

// Why writing `outputs[i]` (each from `inputs[i]`) would lose a document, or
// nothing: two outputs end in one file, or an output replaces another job's
// input. Names are compared by the files they finally reach (device and
// inode) and by the folder entry a save writes (links of its folder
// resolved, and the last link too when links are followed).
std::optional<std::string> FindOutputClash(const std::vector<std::string>& inputs,
                                           const std::vector<std::string>& outputs, bool followLinks);

// Reads input names, one per line, from `in` (a trailing CR is dropped,
// empty lines skipped). A name longer than the system allows or holding a
// NUL byte stops the list with a message in `error`.
bool ReadNameList(std::istream& in, std::vector<std::string>& names, std::string& error);

}  // namespace vordel
