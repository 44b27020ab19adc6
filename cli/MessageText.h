// Text from outside the program (file names, input bytes the library quotes
// in its messages) made safe to print: no byte can move the cursor, change
// colours or break the line, and quoted input cannot make a line huge.
#pragma once

#include <string>
#include <string_view>

namespace vordel {

// Control bytes (C0, DEL, C1) and bytes that are not UTF-8 written as `\xNN`;
// everything else as it was.
std::string EscapeControls(std::string_view text);

// A library message for one line of standard error: escaped as above, and
// each part quoted between (), '' or "" cut to 80 bytes with "…".
std::string SafeMessage(std::string_view message);

// `text` with every byte sequence that is not UTF-8 replaced by U+FFFD, for
// JSON.
std::string ValidUtf8(std::string_view text);
bool IsValidUtf8(std::string_view text);

std::string Base64(std::string_view bytes);

}  // namespace vordel
