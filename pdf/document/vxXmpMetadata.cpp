#include "pdf/document/vxXmpMetadata.h"

#include <exempi/xmp.h>
#include <exempi/xmpconsts.h>

#include <algorithm>
#include <cctype>
#include <ctime>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>

#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/document/vxXmpPacketReader.h"
#include "pdf/filters/vxDZLIB.h"
#include "pdf/filters/vxFilterChain.h"
#include "pdf/filters/vxFilters.h"
#include "pdf/filters/vxMemoryBudget.h"
#include "pdf/util/vxExceptions.h"
#include "pdf/util/vxPDFResStrs.h"
#include "pdf/util/vxUtils.h"

namespace vx {

namespace {

// A packet larger than this is kept as it is: no real one comes near, and a
// Flate bomb stops here rather than at the general stream limit.
constexpr size_t kMaxXmpPacketSize = size_t(64) << 20;
// What the XMP path holds per byte of packet, for the memory budget: the
// decoded bytes, the toolkit's tree (about twenty times the text, measured)
// and the serialised result.
constexpr int64_t kXmpBytesPerPacketByte = 24;
// The most an update may grow a packet: past this the toolkit's layout, not
// the change, is what grows (deep nesting is indented line by line).
constexpr size_t kMaxGrowthFactor = 4;
constexpr size_t kGrowthAllowance = 64 * 1024;

// ------------------------------------------------------- the toolkit's words

// Exempi writes the messages of its parser to std::cerr. They belong to the
// document being read: while a thread works in the toolkit, what it writes
// there is collected, to become part of that document's warning; what other
// threads write passes through. Installed before main, while no thread
// writes, and never removed (std::cerr outlives every static).
thread_local std::string* toolkitSaid = nullptr;

class TvxToolkitOutput : public std::streambuf {
 public:
  explicit TvxToolkitOutput(std::streambuf* target) : target_(target) {}

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    if (toolkitSaid) {
      toolkitSaid->push_back(traits_type::to_char_type(c));
      return c;
    }
    return target_ ? target_->sputc(traits_type::to_char_type(c)) : traits_type::eof();
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    if (toolkitSaid) {
      toolkitSaid->append(s, size_t(n));
      return n;
    }
    return target_ ? target_->sputn(s, n) : 0;
  }
  int sync() override { return toolkitSaid || !target_ ? 0 : target_->pubsync(); }

 private:
  std::streambuf* target_;
};

[[maybe_unused]] const bool toolkitOutputInstalled = [] {
  std::cerr.rdbuf(new TvxToolkitOutput(std::cerr.rdbuf()));
  return true;
}();

// Collects what the toolkit writes on this thread while it lives.
class TvxToolkitWords {
 public:
  TvxToolkitWords() : outer_(toolkitSaid) { toolkitSaid = &said_; }
  ~TvxToolkitWords() { toolkitSaid = outer_; }
  TvxToolkitWords(const TvxToolkitWords&) = delete;
  TvxToolkitWords& operator=(const TvxToolkitWords&) = delete;
  // The first line it wrote, after ": ", or nothing.
  std::string Said() const {
    std::string line = said_.substr(0, said_.find('\n'));
    return line.empty() ? std::string() : ": " + line;
  }

 private:
  std::string* outer_;
  std::string said_;
};

// ------------------------------------------------------------ Exempi handles

void InitExempi() {
  static std::once_flag once;
  std::call_once(once, [] {
    xmp_init();
    // Custom information keys are written as pdfx properties.
    XmpStringPtr prefix = xmp_string_new();
    xmp_register_namespace("http://ns.adobe.com/pdfx/1.3/", "pdfx", prefix);
    xmp_string_free(prefix);
  });
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

// Room in the memory budget for the XMP path's copies of a packet; false,
// with `problem` set, when there is none.
bool Reserve(TvxBudgetReservation& reservation, size_t packetSize, std::string& problem) {
  if (packetSize > kMaxXmpPacketSize) {
    problem = Format("it is larger than %d bytes", {uint64_t(kMaxXmpPacketSize)});
    return false;
  }
  try {
    reservation.GrowTo(int64_t(packetSize) * kXmpBytesPerPacketByte);
    return true;
  } catch (const Exception& e) {
    problem = e.what();
    return false;
  }
}

// The toolkit's reading of a packet our own reader let through; nothing,
// with `problem` set, when the toolkit fails. A packet without x:xmpmeta
// (an older form, rdf:RDF alone) is wrapped in one: the toolkit reads
// nothing outside it.
TvxXmpHandle Parse(const TvxXmpScan& scan, std::string& problem) {
  InitExempi();
  const std::string wrapped = scan.HasXmpMeta ? std::string()
                                              : "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">" +
                                                    scan.Text.substr(scan.RdfBegin, scan.RdfEnd - scan.RdfBegin) +
                                                    "</x:xmpmeta>";
  const std::string& input = scan.HasXmpMeta ? scan.Text : wrapped;
  TvxXmpHandle xmp(xmp_new_empty());
  TvxToolkitWords words;
  if (xmp && xmp_parse(xmp.get(), input.data(), input.size())) return xmp;
  problem = "the XMP toolkit cannot read it" + words.Said();
  return nullptr;
}

// Our own reading, then the toolkit's.
TvxXmpHandle ScanAndParse(std::string_view packet, TvxXmpScan& scan, std::string& problem) {
  scan = ScanXmpPacket(packet);
  if (!scan.Problem.empty()) {
    problem = scan.Problem;
    return nullptr;
  }
  return Parse(scan, problem);
}

// ---------------------------------------------------------- property mapping

// How one information value is held in the packet.
enum class TvxXmpForm { LangAlt, Sequence, Bag, Simple, Date };

struct TvxXmpMapping {
  std::string_view InfoKey;
  const char* Schema;
  const char* Prefix;  // the schema's usual prefix, for an element written here
  const char* Name;
  TvxXmpForm Form;
};

// The /Info keys and the properties that carry them. A key the packet should
// carry too is one row here (and a member of TvxXmpInfo).
const TvxXmpMapping kMappings[] = {
    {"/Title", NS_DC, "dc", "title", TvxXmpForm::LangAlt},
    {"/Subject", NS_DC, "dc", "description", TvxXmpForm::LangAlt},
    {"/Author", NS_DC, "dc", "creator", TvxXmpForm::Sequence},
    {"/Keywords", NS_PDF, "pdf", "Keywords", TvxXmpForm::Simple},
    {"/Creator", NS_XAP, "xmp", "CreatorTool", TvxXmpForm::Simple},
    {"/Producer", NS_PDF, "pdf", "Producer", TvxXmpForm::Simple},
    {"/CreationDate", NS_XAP, "xmp", "CreateDate", TvxXmpForm::Date},
    {"/ModDate", NS_XAP, "xmp", "ModifyDate", TvxXmpForm::Date},
    {"/Trapped", NS_PDF, "pdf", "Trapped", TvxXmpForm::Simple},
    {"/Lang", NS_DC, "dc", "language", TvxXmpForm::Bag},
};
// Custom information keys: pdfx:NAME, as Acrobat writes them.
constexpr const char kNsPdfx[] = "http://ns.adobe.com/pdfx/1.3/";
const TvxXmpMapping kMetadataDate{"", NS_XAP, "xmp", "MetadataDate", TvxXmpForm::Date};

// Several authors read as one text, the way /Info lists them; the text
// given for the list is split there again.
constexpr std::string_view kListSeparator = "; ";

std::vector<std::string> ListItems(const std::string& text) {
  std::vector<std::string> items;
  size_t at = 0;
  while (at <= text.size()) {
    size_t end = text.find(';', at);
    if (end == std::string::npos) end = text.size();
    std::string item = text.substr(at, end - at);
    const size_t first = item.find_first_not_of(' '), last = item.find_last_not_of(' ');
    if (first != std::string::npos) items.push_back(item.substr(first, last - first + 1));
    at = end + 1;
  }
  return items;
}

std::optional<std::string> GetValue(XmpPtr xmp, const TvxXmpMapping& p) {
  TvxXmpString value;
  switch (p.Form) {
    case TvxXmpForm::LangAlt:
      if (!xmp_get_localized_text(xmp, p.Schema, p.Name, "", "x-default", nullptr, value.get(), nullptr))
        return std::nullopt;
      return value.str();
    case TvxXmpForm::Sequence:
    case TvxXmpForm::Bag: {
      std::string joined;
      bool any = false;
      for (int32_t i = 1; xmp_get_array_item(xmp, p.Schema, p.Name, i, value.get(), nullptr); ++i) {
        if (any) joined += kListSeparator;
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

bool SetValue(XmpPtr xmp, const TvxXmpMapping& p, const std::string& value) {
  if (value.empty()) return xmp_delete_property(xmp, p.Schema, p.Name);
  switch (p.Form) {
    case TvxXmpForm::LangAlt:
      return xmp_set_localized_text(xmp, p.Schema, p.Name, "", "x-default", value.c_str(), 0);
    case TvxXmpForm::Sequence:
    case TvxXmpForm::Bag: {
      xmp_delete_property(xmp, p.Schema, p.Name);
      const uint32_t form = p.Form == TvxXmpForm::Bag ? XMP_PROP_ARRAY_IS_UNORDERED : XMP_PROP_ARRAY_IS_ORDERED;
      bool done = true;
      for (const std::string& item : ListItems(value)) done &= xmp_append_array_item(xmp, p.Schema, p.Name, form, item.c_str(), 0);
      return done;
    }
    case TvxXmpForm::Simple:
    case TvxXmpForm::Date:
      return xmp_set_property(xmp, p.Schema, p.Name, value.c_str(), 0);
  }
  return false;
}

TvxXmpInfo ReadInfo(XmpPtr xmp) {
  TvxXmpInfo info;
  for (const TvxXmpMapping& p : kMappings) {
    std::optional<std::string> v = GetValue(xmp, p);
    if (!v) continue;
    if (p.Form == TvxXmpForm::Date)
      *info.Date(p.InfoKey) = XmpDateToPdf(*v);
    else
      *info.Text(p.InfoKey) = Utf8ToUtf16(*v);
  }
  return info;
}

bool SameDate(const std::string& a, const std::string& b);

// The texts our own reader must find in a property the update set: its
// items for a list, else the value; none when the property was removed.
using TvxExpected = std::map<std::string, std::vector<std::string>>;

void Expect(TvxExpected& expected, const TvxXmpMapping& p, const std::string& value) {
  const bool list = p.Form == TvxXmpForm::Sequence || p.Form == TvxXmpForm::Bag;
  std::vector<std::string> texts = list ? ListItems(value) : std::vector<std::string>{};
  if (!list && !value.empty()) texts.push_back(value);
  expected[XmpPropertyKey(p.Schema, p.Name)] = std::move(texts);
}

// One property to set, and the value it gets (empty: removed).
struct TvxXmpChange {
  const TvxXmpMapping* Property;
  std::string Value;
};

// What `update` changes in the packet `xmp` holds, with the metadata date
// after any change. A value equal to what the packet already says is no
// change, so an author list of several entries stays a list while /Info
// agrees with it.
// The properties of the custom keys `update` names that a packet can hold;
// they point into `update`, which must outlive them.
std::vector<TvxXmpMapping> CustomMappings(const TvxXmpInfo& update) {
  std::vector<TvxXmpMapping> mappings;
  for (const auto& [name, value] : update.Custom)
    if (IsXmpPropertyName(name)) mappings.push_back({name, kNsPdfx, "pdfx", name.c_str(), TvxXmpForm::Simple});
  return mappings;
}

std::vector<TvxXmpChange> ChangesOf(XmpPtr xmp, const TvxXmpInfo& update, std::string_view metadataDate,
                                    const std::vector<TvxXmpMapping>& custom) {
  std::vector<TvxXmpChange> changes;
  for (const TvxXmpMapping& p : custom) {
    std::optional<std::string> current = GetValue(xmp, p);
    std::string wanted = Utf16ToUtf8(update.Custom.at(std::string(p.InfoKey)));
    if (current ? *current != wanted : !wanted.empty()) changes.push_back({&p, std::move(wanted)});
  }
  for (const TvxXmpMapping& p : kMappings) {
    std::string wanted;
    std::optional<std::string> current = GetValue(xmp, p);
    if (p.Form == TvxXmpForm::Date) {
      const std::optional<std::string>* in = update.Date(p.InfoKey);
      if (!*in) continue;
      wanted = PdfDateToXmp(**in);
      if (wanted.empty() && !(*in)->empty()) continue;  // not a date: the packet keeps its own
      if (current ? SameDate(PdfDateToXmp(XmpDateToPdf(*current)), wanted) : wanted.empty()) continue;
    } else {
      const std::optional<std::u16string>* in = update.Text(p.InfoKey);
      if (!*in) continue;
      wanted = Utf16ToUtf8(**in);
      if (current ? *current == wanted : wanted.empty()) continue;
    }
    changes.push_back({&p, std::move(wanted)});
  }
  if (!changes.empty() && !metadataDate.empty()) changes.push_back({&kMetadataDate, std::string(metadataDate)});
  return changes;
}

// The toolkit's way: each change through its setters.
void ApplyChanges(XmpPtr xmp, const std::vector<TvxXmpChange>& changes) {
  for (const TvxXmpChange& c : changes) SetValue(xmp, *c.Property, c.Value);
}

// The first property our own reader finds lost or altered between `before`
// and `after`, in words; empty when every property is as it should be.
std::string Difference(const TvxXmpProperties& before, const TvxXmpProperties& after, const TvxExpected& expected) {
  auto name = [](const std::string& key) { return key.substr(key.find(' ') + 1); };
  for (const auto& [key, texts] : expected) {
    auto found = after.find(key);
    std::vector<std::string> got = found == after.end() ? std::vector<std::string>{} : found->second;
    for (const std::string& text : texts)
      if (std::find(got.begin(), got.end(), text) == got.end())
        return "the XMP toolkit does not store " + name(key) + " as given";
  }
  for (const auto& [key, texts] : before) {
    if (expected.count(key)) continue;
    auto found = after.find(key);
    if (found == after.end()) return "the XMP toolkit would drop " + name(key);
    if (found->second != texts) return "the XMP toolkit would change " + name(key);
  }
  for (const auto& [key, texts] : after)
    if (!expected.count(key) && !before.count(key)) return "the XMP toolkit would add " + name(key);
  return std::string();
}

std::string XmlEscaped(std::string_view text) {
  std::string out;
  for (char c : text) out += c == '&' ? "&amp;" : c == '<' ? "&lt;" : c == '>' ? "&gt;" : std::string(1, c);
  return out;
}

// Gives `out` the length `size` where the padding before the closing
// processing instruction allows it.
void KeepLength(std::string& out, size_t size) {
  const size_t end = out.rfind("<?xpacket end=");
  if (end == std::string::npos || out.size() == size) return;
  size_t padding = end;
  while (padding > 0 && std::isspace(static_cast<unsigned char>(out[padding - 1]))) --padding;
  if (out.size() < size)
    out.insert(padding, size - out.size(), ' ');
  else if (end - padding > 1)
    out.erase(padding, std::min(out.size() - size, end - padding - 1));
}

// A property as a new element, declaring the namespaces it uses.
std::string NewElement(const TvxXmpMapping& p, const std::string& value) {
  const std::string name = std::string(p.Prefix) + ":" + p.Name;
  const std::string rdf = " xmlns:rdf=\"" + std::string(NS_RDF) + "\"";
  std::string inner;
  if (p.Form == TvxXmpForm::LangAlt)
    inner = "<rdf:Alt" + rdf + "><rdf:li xml:lang=\"x-default\">" + XmlEscaped(value) + "</rdf:li></rdf:Alt>";
  else if (p.Form == TvxXmpForm::Sequence || p.Form == TvxXmpForm::Bag) {
    const std::string kind = p.Form == TvxXmpForm::Bag ? "rdf:Bag" : "rdf:Seq";
    inner = "<" + kind + rdf + ">";
    for (const std::string& item : ListItems(value)) inner += "<rdf:li>" + XmlEscaped(item) + "</rdf:li>";
    inner += "</" + kind + ">";
  } else {
    inner = XmlEscaped(value);
  }
  return "<" + name + " xmlns:" + p.Prefix + "=\"" + p.Schema + "\">" + inner + "</" + name + ">";
}

// The changes made where they stand: a plain value in place of its old
// text, a property the packet lacks as a new element in its first
// description; every other byte stays. The toolkit would rewrite the whole
// packet, and fold older property names (pdf:CreationDate) into newer ones
// on the way. Nothing when the packet is not UTF-8 or a change needs more
// (a removal, a list or language alternative present, a value held as an
// attribute or given twice), or when our reader does not find the result
// as it should be: the toolkit then does the work.
std::optional<std::string> EditInPlace(std::string_view packet, const TvxXmpScan& scan,
                                       const std::vector<TvxXmpChange>& changes, const TvxExpected& expected) {
  if (scan.Text != packet) return std::nullopt;
  std::map<size_t, std::pair<size_t, std::string>, std::greater<>> edits;  // at -> (length replaced, text)
  for (const TvxXmpChange& c : changes) {
    const TvxXmpMapping& p = *c.Property;
    const std::string key = XmpPropertyKey(p.Schema, p.Name);
    const auto current = scan.Properties.find(key);
    const auto span = scan.TextSpans.find(key);
    const bool plain = p.Form == TvxXmpForm::Simple || p.Form == TvxXmpForm::Date;
    if (c.Value.empty()) return std::nullopt;
    if (current == scan.Properties.end() && scan.FirstDescriptionContent)
      edits[scan.FirstDescriptionContent].second += NewElement(p, c.Value);
    else if (plain && span != scan.TextSpans.end() && current->second.size() <= 1)
      edits[span->second.first] = {span->second.second - span->second.first, XmlEscaped(c.Value)};
    else
      return std::nullopt;
  }
  std::string out(packet);
  for (const auto& [at, edit] : edits) out.replace(at, edit.first, edit.second);
  KeepLength(out, packet.size());
  const TvxXmpScan after = ScanXmpPacket(out);
  if (!after.Problem.empty() || !Difference(scan.Properties, after.Properties, expected).empty()) return std::nullopt;
  for (const auto& [key, texts] : expected)
    if (after.Properties.at(key) != texts) return std::nullopt;
  return out;
}

// The packet serialised in the form it had: with or without the wrapper,
// read-only or writable, and its length when the new text fits in it.
std::optional<std::string> Serialize(XmpPtr xmp, std::string_view packet) {
  uint32_t options = 0;
  if (packet.find("<?xpacket") == std::string_view::npos) options |= XMP_SERIAL_OMITPACKETWRAPPER;
  const size_t end = packet.rfind("<?xpacket end=");
  if (end != std::string_view::npos && end + 15 < packet.size() && packet[end + 15] == 'r')
    options |= XMP_SERIAL_READONLYPACKET;
  // The shortest form (one byte of padding) tells whether the old length
  // fits; asking Exempi for a length that does not fit makes it complain.
  TvxXmpString out;
  if (!xmp_serialize(xmp, out.get(), options, 1)) return std::nullopt;
  if (options & XMP_SERIAL_OMITPACKETWRAPPER) return out.str();
  if (xmp_string_len(out.get()) <= packet.size() &&
      xmp_serialize(xmp, out.get(), options | XMP_SERIAL_EXACTPACKETLENGTH, uint32_t(packet.size())))
    return out.str();
  if (!xmp_serialize(xmp, out.get(), options, 0)) return std::nullopt;  // the usual padding
  return out.str();
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

// The packet's bytes with the stream's filters undone; nothing, with
// `problem` set, when they cannot be had within the packet's size bound.
std::optional<std::string> PacketBytes(const TvxCustomPDFDocument& document, const TvxPDFStreamObject& stream,
                                       std::string& problem) {
  const TvxPDFObject* filter = stream.Dictionary->Find("/Filter");
  try {
    if (!filter) return std::string(stream.DataView());
    // Flate alone, the usual form, stops inflating at the bound.
    auto* name = As<TvxPDFNameObject>(filter);
    if (name && name->Text == "/FlateDecode" && !stream.Dictionary->Find("/DecodeParms"))
      return InflateBytes(stream.DataView(), int64_t(kMaxXmpPacketSize));
    const TvxPDFObjectStore& store = document.Store();
    auto resolver = [&store](const TvxPDFObject* o) -> const TvxPDFObject* {
      return store.Resolve(const_cast<TvxPDFObject*>(o));
    };
    return DecodeFilterChainBytes(stream.DataView(), filter, resolver);
  } catch (const std::exception& e) {
    problem = Format("its data cannot be decoded: %s", {e.what()});
    return std::nullopt;
  }
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

// What a save asks of the packet, from /Info's raw values (present keys
// only; an empty value clears the property): every value for a packet made
// for this save; otherwise the fields changed since load and the producer,
// and with a changed field the modification date. Answers whether a field
// other than the producer changed.
bool UpdateFromInfo(const TvxCustomPDFDocument& document, bool everything, TvxXmpInfo& update) {
  const TvxPDFInfo& info = document.Info();
  const TvxPDFDictObject* dict = info.InfoDict();
  auto present = [dict](std::string_view key) { return dict && dict->Find(key) && !dict->Find(key)->IsNull(); };
  // The language and trapping are removed from the packet with the key;
  // the other fields, which setters never remove, only change.
  static const char* const kTrappedTexts[] = {"", "True", "False", "Unknown"};
  auto valueOf = [&](std::string_view key) -> std::optional<std::u16string> {
    if (key == "/Lang") return Utf8ToUtf16(document.Language());
    if (key == "/Trapped") return AnsiToWide(kTrappedTexts[std::min<int>(info.Trapped(), 3)]);
    if (!present(key)) return std::nullopt;
    return info.InfoText(key);
  };
  bool fieldChanged = false;
  for (const std::string& key : info.ChangedKeys()) fieldChanged |= key != "/Producer";
  for (const TvxXmpMapping& p : kMappings) {
    const bool wanted = everything || info.Changed(p.InfoKey) || p.InfoKey == "/Producer" ||
                        (p.InfoKey == "/ModDate" && fieldChanged);
    if (!wanted) continue;
    if (p.Form == TvxXmpForm::Date) {
      if (present(p.InfoKey)) *update.Date(p.InfoKey) = info.InfoDate(p.InfoKey);
    } else if (std::optional<std::u16string> value = valueOf(p.InfoKey); value && (!everything || !value->empty())) {
      *update.Text(p.InfoKey) = *value;
    }
  }
  // Custom keys: every one for a new packet, else those changed (a removed
  // one leaves the packet too).
  for (const auto& [name, value] : info.CustomProperties())
    if (everything || info.Changed(TvxPDFInfo::CustomKey(name))) update.Custom[name] = value;
  for (const std::string& key : info.ChangedKeys()) {
    if (key.size() < 2 || present(key) || TvxPDFInfo::IsStandardKey(key.substr(1))) continue;
    bool known = false;
    for (const TvxXmpMapping& p : kMappings) known |= p.InfoKey == key;
    if (!known) update.Custom[TvxPDFInfo::CustomName(key)] = std::u16string();
  }
  return fieldChanged;
}

}  // namespace

// -------------------------------------------------------------- packet text

std::optional<std::u16string>* TvxXmpInfo::Text(std::string_view key) {
  return key == "/Title"      ? &Title
         : key == "/Subject"  ? &Subject
         : key == "/Keywords" ? &Keywords
         : key == "/Author"   ? &Author
         : key == "/Creator"  ? &Creator
         : key == "/Producer" ? &Producer
         : key == "/Lang"     ? &Language
         : key == "/Trapped"  ? &Trapped
                              : nullptr;
}
const std::optional<std::u16string>* TvxXmpInfo::Text(std::string_view key) const {
  return const_cast<TvxXmpInfo*>(this)->Text(key);
}
std::optional<std::string>* TvxXmpInfo::Date(std::string_view key) {
  return key == "/CreationDate" ? &CreationDate : key == "/ModDate" ? &ModDate : nullptr;
}
const std::optional<std::string>* TvxXmpInfo::Date(std::string_view key) const {
  return const_cast<TvxXmpInfo*>(this)->Date(key);
}

std::optional<TvxXmpInfo> ReadXmpInfo(std::string_view packet, std::string* problem) {
  std::string why;
  TvxBudgetReservation reservation;
  TvxXmpScan scan;
  TvxXmpHandle xmp;
  if (Reserve(reservation, packet.size(), why)) xmp = ScanAndParse(packet, scan, why);
  if (!xmp) {
    if (problem) *problem = why;
    return std::nullopt;
  }
  TvxXmpInfo info = ReadInfo(xmp.get());
  const std::string prefix = XmpPropertyKey(kNsPdfx, "");
  for (const auto& [key, texts] : scan.Properties)
    if (key.compare(0, prefix.size(), prefix) == 0 && !texts.empty())
      info.Custom[key.substr(prefix.size())] = Utf8ToUtf16(texts.front());
  return info;
}

bool IsXmpPropertyName(std::string_view name) {
  if (name.empty() || name.size() > 128) return false;
  auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; };
  if (!letter(name[0])) return false;
  for (char c : name)
    if (!letter(c) && !(c >= '0' && c <= '9') && c != '-' && c != '.') return false;
  // Names beginning with "xml" are reserved by XML.
  return !(name.size() >= 3 && (name[0] | 0x20) == 'x' && (name[1] | 0x20) == 'm' && (name[2] | 0x20) == 'l');
}

std::optional<std::string> UpdateXmpPacket(std::string_view packet, const TvxXmpInfo& update,
                                           std::string_view metadataDate, std::string* problem) {
  std::string why;
  auto fail = [&](std::string reason) -> std::optional<std::string> {
    if (problem) *problem = std::move(reason);
    return std::nullopt;
  };
  TvxBudgetReservation reservation;
  if (!Reserve(reservation, packet.size(), why)) return fail(why);
  TvxXmpScan before;
  TvxXmpHandle xmp = ScanAndParse(packet, before, why);
  if (!xmp) return fail(why);
  const std::vector<TvxXmpMapping> custom = CustomMappings(update);
  const std::vector<TvxXmpChange> changes = ChangesOf(xmp.get(), update, metadataDate, custom);
  if (changes.empty()) return std::string(packet);
  TvxExpected expected;
  for (const TvxXmpChange& c : changes) Expect(expected, *c.Property, c.Value);
  if (std::optional<std::string> edited = EditInPlace(packet, before, changes, expected)) return edited;

  TvxToolkitWords words;
  ApplyChanges(xmp.get(), changes);
  std::optional<std::string> out = Serialize(xmp.get(), packet);
  if (!out) return fail("the XMP toolkit cannot write it" + words.Said());

  // Judged by our own reader: every property the update did not ask for
  // is as it was, and those it did hold what was asked.
  const TvxXmpScan after = ScanXmpPacket(*out);
  if (!after.Problem.empty()) return fail("the XMP toolkit writes a packet that " + after.Problem.substr(3));
  if (std::string lost = Difference(before.Properties, after.Properties, expected); !lost.empty()) return fail(lost);
  if (out->size() > kMaxGrowthFactor * packet.size() + kGrowthAllowance)
    return fail(Format("its update would grow it from %d to %d bytes", {uint64_t(packet.size()), uint64_t(out->size())}));
  return out;
}

std::string NewXmpPacket(const TvxXmpInfo& update, std::string_view metadataDate) {
  InitExempi();
  TvxXmpHandle xmp(xmp_new_empty());
  if (!xmp) throw EUnexpectedError(res::SUnexpectedError);
  TvxToolkitWords words;
  const std::vector<TvxXmpMapping> custom = CustomMappings(update);
  ApplyChanges(xmp.get(), ChangesOf(xmp.get(), update, metadataDate, custom));
  TvxXmpString out;
  if (!xmp_serialize(xmp.get(), out.get(), 0, 0)) throw EUnexpectedError(res::SUnexpectedError);
  return out.str();
}

char32_t CharacterXmpCannotHold(std::u16string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      ++i;  // a pair: a character beyond the basic plane
      continue;
    }
    const bool allowed = c == 0x09 || c == 0x0A || c == 0x0D || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD);
    if (!allowed) return c;
  }
  return 0;
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
  std::string problem;
  try {
    std::optional<std::string> packet = PacketBytes(document, *stream, problem);
    if (std::optional<TvxXmpInfo> info = packet ? ReadXmpInfo(*packet, &problem) : std::nullopt) {
      document.Info().SetXmp(std::move(info));
      return;
    }
  } catch (const std::exception& e) {
    problem = e.what();
  }
  document.Warning(Format(res::SXmpUnreadable, {problem}));
}

void SyncXmpPacket(TvxCustomPDFDocument& document) {
  TvxPDFStreamObject* stream = PacketStream(document);
  if (!stream) return;
  TvxPDFInfo& info = document.Info();
  const bool created = stream->DataView().empty() && !stream->Dictionary->Find("/Filter");
  TvxXmpInfo update;
  const bool fieldChanged = UpdateFromInfo(document, created, update);
  // A packet the load could not read is not decoded again for the producer
  // alone; the load has said why.
  if (!created && !info.Xmp() && !fieldChanged) return;
  // The metadata date follows the document's modification date, so that
  // the same save gives the same bytes; without one it stays as it was.
  const std::string date = (created || fieldChanged) && update.ModDate ? PdfDateToXmp(*update.ModDate) : std::string();
  std::string problem;
  try {
    std::optional<std::string> updated;
    if (created) {
      updated = NewXmpPacket(update, date);
    } else if (std::optional<std::string> packet = PacketBytes(document, *stream, problem)) {
      updated = UpdateXmpPacket(*packet, update, date, &problem);
      if (updated && *updated == *packet) return;  // nothing to change: the stream stays as loaded
    }
    if (updated) {
      info.SetXmp(ReadXmpInfo(*updated));
      StorePacket(*stream, std::move(*updated));
      return;
    }
  } catch (const std::exception& e) {
    problem = e.what();
  }
  document.Warning(Format(res::SXmpNotUpdated, {problem}));
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
