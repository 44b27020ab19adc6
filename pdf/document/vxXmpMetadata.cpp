#include "pdf/document/vxXmpMetadata.h"

#include <exempi/xmp.h>
#include <exempi/xmpconsts.h>

#include <cctype>
#include <ctime>
#include <memory>
#include <mutex>

#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/filters/vxFilterChain.h"
#include "pdf/filters/vxFilters.h"
#include "pdf/util/vxExceptions.h"
#include "pdf/util/vxPDFResStrs.h"
#include "pdf/util/vxUtils.h"

namespace vx {

namespace {

// ------------------------------------------------------------ Exempi handles

void InitExempi() {
  static std::once_flag once;
  std::call_once(once, [] { xmp_init(); });
}

struct TvxXmpFree {
  void operator()(_Xmp* xmp) const { xmp_free(xmp); }
};
using TvxXmpHandle = std::unique_ptr<_Xmp, TvxXmpFree>;

class TvxXmpString {
 public:
  TvxXmpString() : s_(xmp_string_new()) {}
  ~TvxXmpString() { xmp_string_free(s_); }
  TvxXmpString(const TvxXmpString&) = delete;
  TvxXmpString& operator=(const TvxXmpString&) = delete;
  XmpStringPtr get() const { return s_; }
  std::string str() const { return std::string(xmp_string_cstr(s_), xmp_string_len(s_)); }

 private:
  XmpStringPtr s_;
};

TvxXmpHandle Parse(std::string_view packet) {
  // The toolkit takes XML without an RDF body as an empty packet; rewriting
  // it would throw its content away, so it counts as unreadable.
  if (packet.find("rdf:RDF") == std::string_view::npos && packet.find(":RDF") == std::string_view::npos) return nullptr;
  InitExempi();
  TvxXmpHandle xmp(xmp_new_empty());
  if (!xmp || !xmp_parse(xmp.get(), packet.data(), packet.size())) return nullptr;
  return xmp;
}

// ---------------------------------------------------------- property mapping

// How one information value is held in the packet.
enum class TvxXmpForm { LangAlt, Sequence, Simple, Date };

struct TvxXmpProperty {
  const char* Schema;
  const char* Name;
  TvxXmpForm Form;
};

std::optional<std::string> GetValue(XmpPtr xmp, const TvxXmpProperty& p) {
  TvxXmpString value;
  switch (p.Form) {
    case TvxXmpForm::LangAlt:
      if (!xmp_get_localized_text(xmp, p.Schema, p.Name, "", "x-default", nullptr, value.get(), nullptr))
        return std::nullopt;
      return value.str();
    case TvxXmpForm::Sequence: {
      // Several authors read as one text, the way /Info lists them.
      std::string joined;
      bool any = false;
      for (int32_t i = 1; xmp_get_array_item(xmp, p.Schema, p.Name, i, value.get(), nullptr); ++i) {
        if (any) joined += "; ";
        joined += value.str();
        any = true;
      }
      if (!any) return std::nullopt;
      return joined;
    }
    case TvxXmpForm::Simple:
    case TvxXmpForm::Date:
      if (!xmp_get_property(xmp, p.Schema, p.Name, value.get(), nullptr)) return std::nullopt;
      return value.str();
  }
  return std::nullopt;
}

bool SetValue(XmpPtr xmp, const TvxXmpProperty& p, const std::string& value) {
  if (value.empty()) return xmp_delete_property(xmp, p.Schema, p.Name);
  switch (p.Form) {
    case TvxXmpForm::LangAlt:
      return xmp_set_localized_text(xmp, p.Schema, p.Name, "", "x-default", value.c_str(), 0);
    case TvxXmpForm::Sequence:
      xmp_delete_property(xmp, p.Schema, p.Name);
      return xmp_append_array_item(xmp, p.Schema, p.Name, XMP_PROP_ARRAY_IS_ORDERED, value.c_str(), 0);
    case TvxXmpForm::Simple:
    case TvxXmpForm::Date:
      return xmp_set_property(xmp, p.Schema, p.Name, value.c_str(), 0);
  }
  return false;
}

const TvxXmpProperty kTitle{NS_DC, "title", TvxXmpForm::LangAlt};
const TvxXmpProperty kSubject{NS_DC, "description", TvxXmpForm::LangAlt};
const TvxXmpProperty kAuthor{NS_DC, "creator", TvxXmpForm::Sequence};
const TvxXmpProperty kKeywords{NS_PDF, "Keywords", TvxXmpForm::Simple};
const TvxXmpProperty kCreator{NS_XAP, "CreatorTool", TvxXmpForm::Simple};
const TvxXmpProperty kProducer{NS_PDF, "Producer", TvxXmpForm::Simple};
const TvxXmpProperty kCreationDate{NS_XAP, "CreateDate", TvxXmpForm::Date};
const TvxXmpProperty kModDate{NS_XAP, "ModifyDate", TvxXmpForm::Date};
const TvxXmpProperty kMetadataDate{NS_XAP, "MetadataDate", TvxXmpForm::Date};

// Runs `f(property, member)` for every text and every date of TvxXmpInfo.
template <typename Info, typename TextFn, typename DateFn>
void ForEachValue(Info& info, TextFn text, DateFn date) {
  text(kTitle, info.Title);
  text(kSubject, info.Subject);
  text(kAuthor, info.Author);
  text(kKeywords, info.Keywords);
  text(kCreator, info.Creator);
  text(kProducer, info.Producer);
  date(kCreationDate, info.CreationDate);
  date(kModDate, info.ModDate);
}

TvxXmpInfo ReadInfo(XmpPtr xmp) {
  TvxXmpInfo info;
  ForEachValue(
      info,
      [xmp](const TvxXmpProperty& p, std::optional<std::u16string>& out) {
        if (auto v = GetValue(xmp, p)) out = Utf8ToUtf16(*v);
      },
      [xmp](const TvxXmpProperty& p, std::optional<std::string>& out) {
        if (auto v = GetValue(xmp, p)) out = XmpDateToPdf(*v);
      });
  return info;
}

bool SameDate(const std::string& a, const std::string& b);

// Applies `update`; answers whether any property changed. A value equal to
// what the packet already says is not written again, so an author list of
// several entries stays a list while /Info agrees with it.
bool ApplyUpdate(XmpPtr xmp, const TvxXmpInfo& update) {
  bool changed = false;
  ForEachValue(
      update,
      [&](const TvxXmpProperty& p, const std::optional<std::u16string>& in) {
        if (!in) return;
        std::string wanted = Utf16ToUtf8(*in);
        std::optional<std::string> current = GetValue(xmp, p);
        if (current ? *current == wanted : wanted.empty()) return;
        changed |= SetValue(xmp, p, wanted);
      },
      [&](const TvxXmpProperty& p, const std::optional<std::string>& in) {
        if (!in) return;
        std::string wanted = PdfDateToXmp(*in);
        if (wanted.empty() && !in->empty()) return;  // not a date: the packet keeps its own
        std::optional<std::string> current = GetValue(xmp, p);
        if (current ? SameDate(PdfDateToXmp(XmpDateToPdf(*current)), wanted) : wanted.empty()) return;
        changed |= SetValue(xmp, p, wanted);
      });
  return changed;
}

// ------------------------------------------------------------------ dates

bool AllDigits(std::string_view s) {
  for (char c : s)
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  return !s.empty();
}

// Seconds since 1970 (UTC) of an ISO date with a time and a zone; nothing
// for one without.
std::optional<int64_t> UtcSeconds(std::string_view iso) {
  if (iso.size() < 17 || iso[10] != 'T') return std::nullopt;
  std::tm t{};
  auto number = [&](size_t at) { return (iso[at] - '0') * 10 + (iso[at + 1] - '0'); };
  t.tm_year = number(0) * 100 + number(2) - 1900;
  t.tm_mon = number(5) - 1;
  t.tm_mday = number(8);
  t.tm_hour = number(11);
  t.tm_min = number(14);
  size_t at = 16;
  if (iso[at] == ':') {
    t.tm_sec = number(at + 1);
    at += 3;
  }
  int64_t offset = 0;
  if (at >= iso.size()) return std::nullopt;
  if (iso[at] != 'Z') {
    if (iso.size() < at + 6) return std::nullopt;
    offset = (number(at + 1) * 60 + number(at + 4)) * 60;
    if (iso[at] == '-') offset = -offset;
  }
  return int64_t(timegm(&t)) - offset;
}

// Two ISO dates (as PdfDateToXmp writes them) name the same moment: the
// packet's own spelling of a moment /Info also holds is kept.
bool SameDate(const std::string& a, const std::string& b) {
  if (a == b) return true;
  std::optional<int64_t> x = UtcSeconds(a), y = UtcSeconds(b);
  return x && y && *x == *y;
}


// ------------------------------------------------------ the document's packet

TvxPDFStreamObject* PacketStream(const TvxCustomPDFDocument& document) {
  auto* ref = As<TvxPDFIndirectReference>(document.Catalog().MetadataRef.get());
  if (!ref) return nullptr;
  TvxPDFIndirectObject* object = document.Store().Find(ref);
  return object ? As<TvxPDFStreamObject>(object->Content.get()) : nullptr;
}

// The packet's bytes with the stream's filters undone.
std::string PacketBytes(const TvxCustomPDFDocument& document, const TvxPDFStreamObject& stream) {
  const TvxPDFObject* filter = stream.Dictionary->Find("/Filter");
  if (!filter) return std::string(stream.DataView());
  TvxMemoryStream source{std::string(stream.DataView())};
  const TvxPDFObjectStore& store = document.Store();
  auto resolver = [&store](const TvxPDFObject* o) -> const TvxPDFObject* {
    return store.Resolve(const_cast<TvxPDFObject*>(o));
  };
  return DecodeFilterChain(source, filter, resolver)->Bytes();
}

// Stores a new packet text in the form the stream had: plain when it was
// plain, Flate-compressed when it had any filter. The save's own steps
// (compression, encryption) then run on it like on any stream.
void StorePacket(TvxPDFStreamObject& stream, std::string packet) {
  const TvxPDFObject* filter = stream.Dictionary->Find("/Filter");
  const bool compressed = filter && !filter->IsNull();
  stream.Dictionary->Remove("/DecodeParms");
  if (compressed) {
    packet = TvxFlateFilter().CompressString(packet, 2);
    stream.Dictionary->SetValue("/Filter", MakeName("/FlateDecode"));
  } else {
    stream.Dictionary->Remove("/Filter");
  }
  stream.Dictionary->SetValue("/Length", MakeInteger(int32_t(packet.size())));
  if (!stream.Data) stream.Data = std::make_unique<TvxMemoryStream>();
  stream.Data->Assign(std::move(packet));
}

// /Info as an update: present keys only (an empty value clears the
// property), raw values without the packet's own.
TvxXmpInfo UpdateFromInfo(const TvxPDFInfo& info) {
  TvxXmpInfo update;
  const TvxPDFDictObject* dict = info.InfoDict();
  auto present = [dict](std::string_view key) { return dict && dict->Find(key) && !dict->Find(key)->IsNull(); };
  if (present("/Title")) update.Title = info.InfoText("/Title");
  if (present("/Subject")) update.Subject = info.InfoText("/Subject");
  if (present("/Author")) update.Author = info.InfoText("/Author");
  if (present("/Keywords")) update.Keywords = info.InfoText("/Keywords");
  if (present("/Creator")) update.Creator = info.InfoText("/Creator");
  if (present("/Producer")) update.Producer = info.InfoText("/Producer");
  if (present("/CreationDate")) update.CreationDate = info.InfoDate("/CreationDate");
  if (present("/ModDate")) update.ModDate = info.InfoDate("/ModDate");
  return update;
}

}  // namespace

// -------------------------------------------------------------- packet text

std::optional<TvxXmpInfo> ReadXmpInfo(std::string_view packet) {
  TvxXmpHandle xmp = Parse(packet);
  if (!xmp) return std::nullopt;
  return ReadInfo(xmp.get());
}

std::optional<std::string> UpdateXmpPacket(std::string_view packet, const TvxXmpInfo& update,
                                           std::string_view metadataDate) {
  TvxXmpHandle xmp = Parse(packet);
  if (!xmp) return std::nullopt;
  if (!ApplyUpdate(xmp.get(), update)) return std::string(packet);
  if (!metadataDate.empty()) SetValue(xmp.get(), kMetadataDate, std::string(metadataDate));

  // The packet keeps its form: with or without the wrapper, read-only or
  // writable, and its length when the new text fits in it.
  uint32_t options = 0;
  const size_t begin = packet.find("<?xpacket");
  if (begin == std::string_view::npos) options |= XMP_SERIAL_OMITPACKETWRAPPER;
  const size_t end = packet.rfind("<?xpacket end=");
  if (end != std::string_view::npos && end + 15 < packet.size() && packet[end + 15] == 'r')
    options |= XMP_SERIAL_READONLYPACKET;
  // The shortest form (one byte of padding) tells whether the old length
  // fits; asking Exempi for a length that does not fit makes it complain.
  TvxXmpString out;
  if (!xmp_serialize(xmp.get(), out.get(), options, 1)) return std::nullopt;
  if (options & XMP_SERIAL_OMITPACKETWRAPPER) return out.str();
  if (xmp_string_len(out.get()) <= packet.size() &&
      xmp_serialize(xmp.get(), out.get(), options | XMP_SERIAL_EXACTPACKETLENGTH, uint32_t(packet.size())))
    return out.str();
  if (!xmp_serialize(xmp.get(), out.get(), options, 0)) return std::nullopt;  // the usual padding
  return out.str();
}

std::string NewXmpPacket(const TvxXmpInfo& update, std::string_view metadataDate) {
  InitExempi();
  TvxXmpHandle xmp(xmp_new_empty());
  if (!xmp) throw EUnexpectedError(res::SUnexpectedError);
  ApplyUpdate(xmp.get(), update);
  if (!metadataDate.empty()) SetValue(xmp.get(), kMetadataDate, std::string(metadataDate));
  TvxXmpString out;
  if (!xmp_serialize(xmp.get(), out.get(), 0, 0)) throw EUnexpectedError(res::SUnexpectedError);
  return out.str();
}

std::string PdfDateToXmp(std::string_view d) {
  if (d.substr(0, 2) == "D:") d.remove_prefix(2);
  size_t digits = 0;
  while (digits < d.size() && digits < 14 && std::isdigit(static_cast<unsigned char>(d[digits]))) ++digits;
  if (digits < 4 || digits % 2 != 0) return std::string();
  std::string_view n = d.substr(0, digits);
  std::string out(n.substr(0, 4));
  if (digits >= 6) out += "-" + std::string(n.substr(4, 2));
  if (digits >= 8) out += "-" + std::string(n.substr(6, 2));
  if (digits >= 10) {
    out += "T" + std::string(n.substr(8, 2)) + ":" + std::string(digits >= 12 ? n.substr(10, 2) : "00");
    if (digits >= 14) out += ":" + std::string(n.substr(12, 2));
  }
  std::string_view zone = d.substr(digits);
  if (zone.empty() || digits < 10) return out;  // a zone needs a time to belong to
  if (zone[0] == 'Z') return out + "Z";
  if (zone[0] != '+' && zone[0] != '-') return out;
  std::string_view hours = zone.substr(1, 2);
  if (!AllDigits(hours) || hours.size() != 2) return out;
  std::string minutes = "00";
  if (zone.size() >= 6 && zone[3] == '\'' && AllDigits(zone.substr(4, 2))) minutes = std::string(zone.substr(4, 2));
  return out + zone[0] + std::string(hours) + ":" + minutes;
}

std::string XmpDateToPdf(std::string_view x) {
  // YYYY[-MM[-DD[Thh:mm[:ss[.s+]][TZD]]]]
  std::string out = "D:";
  auto take = [&](size_t at, size_t count) -> bool {
    if (x.size() < at + count || !AllDigits(x.substr(at, count))) return false;
    out += x.substr(at, count);
    return true;
  };
  if (!take(0, 4)) return std::string();
  size_t at = 4;
  for (char sep : {'-', '-', 'T', ':', ':'}) {
    if (at >= x.size() || x[at] != sep) break;
    if (!take(at + 1, 2)) return std::string();
    at += 3;
  }
  while (at < x.size() && (x[at] == '.' || std::isdigit(static_cast<unsigned char>(x[at])))) ++at;  // fractions
  if (at >= x.size()) return out;
  if (x[at] == 'Z') return out + "Z";
  if ((x[at] == '+' || x[at] == '-') && x.size() >= at + 6 && AllDigits(x.substr(at + 1, 2)) &&
      x[at + 3] == ':' && AllDigits(x.substr(at + 4, 2)))
    return out + x[at] + std::string(x.substr(at + 1, 2)) + "'" + std::string(x.substr(at + 4, 2)) + "'";
  return out;
}

// ------------------------------------------------------------- the document

bool HasXmpPacket(const TvxCustomPDFDocument& document) { return PacketStream(document) != nullptr; }

void LoadXmpInfo(TvxCustomPDFDocument& document) {
  document.Info().SetXmp(std::nullopt);
  TvxPDFStreamObject* stream = PacketStream(document);
  if (!stream) return;
  try {
    if (std::optional<TvxXmpInfo> info = ReadXmpInfo(PacketBytes(document, *stream))) {
      document.Info().SetXmp(std::move(info));
      return;
    }
  } catch (const Exception&) {
    // Undecodable data reads like a malformed packet.
  }
  document.Warning(res::SXmpUnreadable);
}

void SyncXmpPacket(TvxCustomPDFDocument& document) {
  TvxPDFStreamObject* stream = PacketStream(document);
  if (!stream) return;
  try {
    const TvxXmpInfo update = UpdateFromInfo(document.Info());
    // The metadata date follows the document's modification date, so that
    // the same save gives the same bytes; without one it stays as it was.
    const std::string date = update.ModDate ? PdfDateToXmp(*update.ModDate) : std::string();
    std::optional<std::string> updated;
    if (stream->DataView().empty() && !stream->Dictionary->Find("/Filter")) {
      updated = NewXmpPacket(update, date);  // a packet added for this save
    } else {
      std::string packet = PacketBytes(document, *stream);
      updated = UpdateXmpPacket(packet, update, date);
      if (updated && *updated == packet) return;  // nothing to change: the stream stays as loaded
    }
    if (!updated) {
      document.Warning(res::SXmpUnreadable);
      return;
    }
    if (std::optional<TvxXmpInfo> info = ReadXmpInfo(*updated)) document.Info().SetXmp(std::move(info));
    StorePacket(*stream, std::move(*updated));
  } catch (const std::exception&) {
    document.Warning(res::SXmpUnreadable);
  }
}

bool AddXmpPacket(TvxCustomPDFDocument& document) {
  if (HasXmpPacket(document)) return false;
  auto dict = std::make_unique<TvxPDFDictObject>();
  dict->AddName("/Type", "/Metadata");
  dict->AddName("/Subtype", "/XML");
  dict->SetValue("/Length", MakeInteger(0));
  TvxPDFObjectStore& store = document.Store();
  const int32_t number = store.NewObjectNumber();
  store.Add(std::make_unique<TvxPDFIndirectObject>(
      document.DocumentID(), number, 0, std::make_unique<TvxPDFStreamObject>(std::move(dict)), 1));
  document.Catalog().MetadataRef = std::make_unique<TvxPDFIndirectReference>(document.DocumentID(), number, 0);
  return true;
}

bool KeepsStreamUncompressed(const TvxPDFDictObject& streamDict) {
  auto* type = As<TvxPDFNameObject>(streamDict.Find("/Type"));
  if (!type || type->Text != "/Metadata") return false;
  const TvxPDFObject* filter = streamDict.Find("/Filter");
  return !filter || filter->IsNull();
}

}  // namespace vx
