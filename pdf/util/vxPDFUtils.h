// Byte-level rules for PDF strings and names shared by the reader, the
// serialiser, the document information and the security handlers: literal
// string escapes, hexadecimal strings, text strings (UTF-16BE with a byte
// order mark), rectangles and generated resource names.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace vx {

class TvxPDFObject;

// Resolves the escapes of a literal string's content: \( \) \\ \b \f \n \r \t
// and one to three octal digits; a backslash before any other byte stays.
std::string UnescapeLiteral(std::string_view raw);

// The body of a literal string (without parentheses): ( ) \ CR LF BS FF are
// escaped and each TAB is expanded to spaces up to the next multiple of eight
// counted bytes.
std::string EscapeLiteral(std::string_view bytes);
// The same, but TAB is written as the escape \t, so that every byte survives.
// Used for strings whose exact bytes matter (ciphertext, UTF-16 text, binary).
std::string EscapeLiteralKeepTabs(std::string_view bytes);
// EscapeLiteral for text, EscapeLiteralKeepTabs for bytes that are not plain
// single-byte text (a UTF-16 marker, or control bytes other than TAB, CR, LF,
// BS and FF).
std::string EscapeLiteralForValue(std::string_view bytes);

// Two upper-case hexadecimal digits per byte, no separators.
std::string BytesToHex(std::string_view bytes);
// Pairs of hexadecimal digits; every other byte is skipped, a final lone digit
// reads as if a 0 followed it.
std::string HexToBytes(std::string_view text);
// A hexadecimal string's digits as text (its bytes through TextStringToUnicode).
std::u16string HexTextToUnicode(std::string_view text);

// The bytes of a text string as text, as PDF readers take them: UTF-16BE
// after FE FF (UTF-16LE after FF FE, which some writers make), UTF-8 after
// EF BB BF, and PDFDocEncoding otherwise. UTF-16 ends at a zero code unit.
std::u16string TextStringToUnicode(std::string_view bytes);
// The text of a string object's stored form: "(" bytes ")", "<" hex digits
// ">", or the bytes without delimiters.
std::u16string DecodeTextString(std::string_view raw);
// FE FF followed by the UTF-16BE code units of `value` (before encryption and
// escaping, which the document adds).
std::string TextStringBytes(std::u16string_view value);

// The first four items of a rectangle array as numbers. An item that is not an
// integer or real raises EUnexpectedObjectError; a missing array or items
// answer zeros for what is missing.
std::array<double, 4> ReadRectangle(const TvxPDFObject* array);

// Generated resource names: "/PGXFnt", "/PGXImg" or "/GS" followed by a random
// decimal number from 0 to 2147483646.
std::string GenerateFontName();
std::string GenerateImageName();
std::string GenerateStateName();

}  // namespace vx
