// The document's XMP packet (the catalog's /Metadata stream) kept in step
// with the document information. Parsing and writing the packet go through
// Exempi; this unit maps information keys to XMP properties, and a reader of
// its own (vxXmpPacketReader) decides which packets may reach the toolkit
// and checks what the toolkit writes.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace vx {

class TvxCustomPDFDocument;
class TvxPDFDictObject;

// Document information as an XMP packet holds it, dates in the PDF form
// ("D:YYYYMMDDHHmmSS+HH'mm'"). Read from a packet, an unset value means the
// packet has no such property. Given as an update, an unset value leaves the
// property alone and an empty one removes it.
struct TvxXmpInfo {
  std::optional<std::u16string> Title, Subject, Keywords, Author, Creator, Producer;
  std::optional<std::string> CreationDate, ModDate;
  // The catalog's /Lang (dc:language) and /Trapped ("True", "False",
  // "Unknown"; pdf:Trapped), held as text like the information's.
  std::optional<std::u16string> Language, Trapped;
  // Custom information keys (pdfx:NAME), by name without the slash.
  std::map<std::string, std::u16string> Custom;

  // The member that holds an /Info key's value ("/Title", ...; "/Lang" and
  // "/Trapped"; the dates for Date); nullptr for a key of the other kind or one the packet does
  // not carry.
  std::optional<std::u16string>* Text(std::string_view key);
  const std::optional<std::u16string>* Text(std::string_view key) const;
  std::optional<std::string>* Date(std::string_view key);
  const std::optional<std::string>* Date(std::string_view key) const;
};

// The information a packet holds; nothing when the packet cannot be read, or
// may not be given to the XMP toolkit, with the reason in `problem`.
std::optional<TvxXmpInfo> ReadXmpInfo(std::string_view packet, std::string* problem = nullptr);

// The packet with `update` applied; when that changes anything,
// xmp:MetadataDate becomes `metadataDate` (ISO 8601). The packet comes back
// unchanged when nothing differs. A change is made where it stands when it
// can be (plain text replaced, a missing property added), every other byte
// kept; otherwise the toolkit rewrites the packet. Either way every other
// property is kept, as a reader other than the XMP toolkit sees both, and
// so are the packet's wrapper, its read-only mark and, when the new text
// fits, its length. Nothing, with the reason in `problem`, when the packet
// cannot be read or the toolkit's result would lose or alter a property, or
// grow far past the packet.
std::optional<std::string> UpdateXmpPacket(std::string_view packet, const TvxXmpInfo& update,
                                           std::string_view metadataDate, std::string* problem = nullptr);

// A new, writable packet carrying `update`.
std::string NewXmpPacket(const TvxXmpInfo& update, std::string_view metadataDate);

// The first character of `text` that XML, and so an XMP packet, cannot
// hold (U+FFFE, U+FFFF, most control characters, a lone surrogate); 0 when
// there is none.
char32_t CharacterXmpCannotHold(std::u16string_view text);

// Whether a custom key's name can name an XMP property (an XML name of
// ASCII letters, digits, "-", "_" and "."): one that cannot stays out of the
// packet.
bool IsXmpPropertyName(std::string_view name);

// Date forms. Each answers empty text for a value that is not a date.
std::string PdfDateToXmp(std::string_view pdfDate);
std::string XmpDateToPdf(std::string_view xmpDate);

// ------------------------------------------------------------ the document
// Reads the packet of a loaded document into its information (which shows
// packet values where /Info has none). A packet that cannot be read gets a
// warning and is otherwise left as it is.
void LoadXmpInfo(TvxCustomPDFDocument& document);

// Brings the packet in line with /Info before a save, where something asked
// for it: the fields changed since load (TvxPDFInfo::Changed) and the
// producer the writer puts into /Info; with a changed field, the
// modification and metadata dates follow /Info's. Never raises: a packet
// that cannot be updated without losing a property is written as loaded,
// with a warning that says why.
void SyncXmpPacket(TvxCustomPDFDocument& document);

// Gives a document without a packet an empty one, which the next save fills.
// Answers whether a packet was added.
bool AddXmpPacket(TvxCustomPDFDocument& document);

// Whether the document's catalog names a packet stream that is stored.
bool HasXmpPacket(const TvxCustomPDFDocument& document);

// A metadata stream stored without a filter stays that way on save: archives
// want the packet readable without decoding.
bool KeepsStreamUncompressed(const TvxPDFDictObject& streamDict);

}  // namespace vx
