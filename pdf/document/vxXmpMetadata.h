// The document's XMP packet (the catalog's /Metadata stream) kept in step
// with the document information. Parsing and writing the packet go through
// Exempi; this unit only maps information keys to XMP properties.
#pragma once

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
};

// The information a packet holds; nothing when the packet cannot be parsed.
std::optional<TvxXmpInfo> ReadXmpInfo(std::string_view packet);

// The packet with `update` applied; when that changes anything,
// xmp:MetadataDate becomes `metadataDate` (ISO 8601). Every other property is
// kept, and so are the packet's wrapper, its read-only mark and, when the new
// text fits, its length. Nothing when the packet cannot be parsed.
std::optional<std::string> UpdateXmpPacket(std::string_view packet, const TvxXmpInfo& update,
                                           std::string_view metadataDate);

// A new, writable packet carrying `update`.
std::string NewXmpPacket(const TvxXmpInfo& update, std::string_view metadataDate);

// Date forms. Each answers empty text for a value that is not a date.
std::string PdfDateToXmp(std::string_view pdfDate);
std::string XmpDateToPdf(std::string_view xmpDate);

// ------------------------------------------------------------ the document
// Reads the packet of a loaded document into its information (which shows
// packet values where /Info has none). A packet that cannot be read gets a
// warning and is otherwise left as it is.
void LoadXmpInfo(TvxCustomPDFDocument& document);

// Brings the packet in line with /Info before a save. Never raises: a
// packet that cannot be updated is written as loaded, with a warning.
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
