// What a file replaced by a save keeps besides its bytes, owner and mode:
// its extended attributes, ACL entries among them, go to the file that
// takes its place.
#pragma once

#include <string>
#include <vector>

namespace vx {

// Copies the extended attributes of the regular file `from` to the open file
// `to`. File capabilities are left behind: like the set-user-ID bit, they
// belong to the program someone once marked, not to a rewritten file.
// Answers one line for each attribute that could not be kept.
std::vector<std::string> CopyExtendedAttributes(const std::string& from, int to);

}  // namespace vx
