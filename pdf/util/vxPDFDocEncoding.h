// PDFDocEncoding: the single-byte encoding of PDF text strings that do not
// start with a byte-order mark, and of the passwords of the RC4 and AES-128
// security handlers.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vx {

// `utf8` in PDFDocEncoding. Answers nothing when a character has no code
// there (or the text is not UTF-8); `missing`, when given, then receives the
// first such character (U+FFFD for bytes that are not UTF-8).
std::optional<std::string> Utf8ToPDFDocEncoding(std::string_view utf8, char32_t* missing = nullptr);

// Bytes in PDFDocEncoding as UTF-8. The undefined codes 0x7F, 0x9F and 0xAD
// read as the Latin-1 characters of their number, so every byte string comes
// back unchanged from Utf8ToPDFDocEncoding.
std::string PDFDocEncodingToUtf8(std::string_view bytes);

// Bytes in PDFDocEncoding as text (the undefined codes as above).
std::u16string PDFDocEncodingToUnicode(std::string_view bytes);

// True when `text` is well-formed UTF-8.
bool IsUtf8(std::string_view text);

}  // namespace vx
