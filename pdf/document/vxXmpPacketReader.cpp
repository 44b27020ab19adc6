#include "pdf/document/vxXmpPacketReader.h"

#include <expat.h>

#include <algorithm>
#include <climits>
#include <set>

#include "pdf/util/vxUtils.h"

namespace vx {

namespace {

constexpr std::string_view kRdf = "http://www.w3.org/1999/02/22-rdf-syntax-ns#";
// x:xmpmeta, and x:xapmeta of older packets, as expat names them.
bool IsMeta(std::string_view name) { return name == "adobe:ns:meta/ xmpmeta" || name == "adobe:ns:meta/ xapmeta"; }
constexpr std::string_view kXmlLang = "http://www.w3.org/XML/1998/namespace lang";

// --------------------------------------------------------------- encodings

enum class TvxUnit { Utf8, Utf16BE, Utf16LE, Utf32BE, Utf32LE };

bool StartsWith(std::string_view b, std::initializer_list<int> bytes) {
  if (b.size() < bytes.size()) return false;
  size_t i = 0;
  for (int x : bytes)
    if (uint8_t(b[i++]) != x) return false;
  return true;
}

// The packet's encoding from its byte order mark, or else from how its
// first "<" is spelled, as XML 1.0 appendix F tells; `bom` gets the mark's
// length.
TvxUnit DetectUnit(std::string_view b, size_t& bom) {
  bom = 0;
  if (StartsWith(b, {0x00, 0x00, 0xFE, 0xFF})) return bom = 4, TvxUnit::Utf32BE;
  if (StartsWith(b, {0xFF, 0xFE, 0x00, 0x00})) return bom = 4, TvxUnit::Utf32LE;
  if (StartsWith(b, {0xFE, 0xFF})) return bom = 2, TvxUnit::Utf16BE;
  if (StartsWith(b, {0xFF, 0xFE})) return bom = 2, TvxUnit::Utf16LE;
  if (StartsWith(b, {0x00, 0x00, 0x00, 0x3C})) return TvxUnit::Utf32BE;
  if (StartsWith(b, {0x3C, 0x00, 0x00, 0x00})) return TvxUnit::Utf32LE;
  if (StartsWith(b, {0x00, 0x3C})) return TvxUnit::Utf16BE;
  if (StartsWith(b, {0x3C, 0x00})) return TvxUnit::Utf16LE;
  return TvxUnit::Utf8;
}

// UTF-16 or UTF-32 text as UTF-8; false when the bytes are no such text.
bool WideToUtf8(std::string_view b, TvxUnit unit, std::string& out) {
  const size_t width = unit == TvxUnit::Utf16BE || unit == TvxUnit::Utf16LE ? 2 : 4;
  const bool big = unit == TvxUnit::Utf16BE || unit == TvxUnit::Utf32BE;
  if (b.size() % width != 0) return false;
  std::u16string units;
  units.reserve(b.size() / width * (width / 2));
  for (size_t at = 0; at < b.size(); at += width) {
    uint32_t v = 0;
    for (size_t k = 0; k < width; ++k) v |= uint32_t(uint8_t(b[at + k])) << (8 * (big ? width - 1 - k : k));
    if (width == 2) {
      units += char16_t(v);
    } else if (v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) {
      return false;
    } else if (v >= 0x10000) {
      units += char16_t(0xD800 + ((v - 0x10000) >> 10));
      units += char16_t(0xDC00 + ((v - 0x10000) & 0x3FF));
    } else {
      units += char16_t(v);
    }
  }
  out = Utf16ToUtf8(units);
  return true;
}

// The encoding an XML declaration names, lower case; empty without one.
std::string DeclaredEncoding(std::string_view text) {
  if (StartsWith(text, {0xEF, 0xBB, 0xBF})) text.remove_prefix(3);
  if (text.substr(0, 5) != "<?xml" || text.size() < 6 || std::string_view(" \t\r\n").find(text[5]) == std::string_view::npos)
    return std::string();
  text = text.substr(0, text.find("?>"));
  size_t at = text.find("encoding");
  if (at == std::string_view::npos) return std::string();
  at = text.find_first_of("\"'", at);
  if (at == std::string_view::npos) return std::string();
  size_t end = text.find(text[at], at + 1);
  return AsciiLower(text.substr(at + 1, end == std::string_view::npos ? std::string_view::npos : end - at - 1));
}

bool IsUnicodeName(const std::string& e) {
  for (const char* name : {"utf-8", "utf8", "utf-16", "utf-16be", "utf-16le", "utf-32", "utf-32be", "utf-32le"})
    if (e == name) return true;
  return false;
}

// --------------------------------------------------------------- the reader

std::string Trimmed(std::string_view s) {
  const size_t begin = s.find_first_not_of(" \t\r\n");
  if (begin == std::string_view::npos) return std::string();
  return std::string(s.substr(begin, s.find_last_not_of(" \t\r\n") - begin + 1));
}

bool IsRdf(const XML_Char* name, std::string_view local) {
  std::string_view n(name);
  return n.size() == kRdf.size() + 1 + local.size() && n.substr(0, kRdf.size()) == kRdf &&
         n.substr(kRdf.size() + 1) == local;
}

// An attribute that carries a value rather than RDF syntax or a language.
bool IsValueAttribute(const XML_Char* name) {
  std::string_view n(name);
  if (n == "about" || n == kXmlLang) return false;
  if (n.substr(0, kRdf.size()) != kRdf) return true;
  return IsRdf(name, "resource") || IsRdf(name, "value");
}

class TvxScanner {
 public:
  explicit TvxScanner(TvxXmpScan& scan) : scan_(scan), parser_(XML_ParserCreateNS("UTF-8", ' ')) {}
  ~TvxScanner() { XML_ParserFree(parser_); }
  TvxScanner(const TvxScanner&) = delete;
  TvxScanner& operator=(const TvxScanner&) = delete;

  void Run() {
    if (!parser_) {
      scan_.Problem = "no memory to read it";
      return;
    }
    XML_SetUserData(parser_, this);
    XML_SetElementHandler(parser_, &Start, &End);
    XML_SetCharacterDataHandler(parser_, &Characters);
    XML_SetStartNamespaceDeclHandler(parser_, &Namespace);
    XML_SetStartDoctypeDeclHandler(parser_, &Doctype);
    const std::string& text = scan_.Text;
    if (text.size() > size_t(INT_MAX)) {
      scan_.Problem = "it is too large";
      return;
    }
    if (XML_Parse(parser_, text.data(), int(text.size()), XML_TRUE) == XML_STATUS_OK) {
      if (scan_.RdfEnd == 0) scan_.Problem = "it holds no rdf:RDF element";
    } else if (scan_.Problem.empty()) {
      scan_.Problem = Format("it is not well-formed XML (%s at line %d)",
                             {XML_ErrorString(XML_GetErrorCode(parser_)), uint64_t(XML_GetCurrentLineNumber(parser_))});
    }
    for (auto& [name, texts] : scan_.Properties) std::sort(texts.begin(), texts.end());
  }

 private:
  static TvxScanner& Of(void* data) { return *static_cast<TvxScanner*>(data); }
  size_t StartTagEnd() const { return size_t(XML_GetCurrentByteIndex(parser_) + XML_GetCurrentByteCount(parser_)); }

  // Expat may still call a handler or two after this (the end of an empty
  // element): each returns at once when stopped.
  void Stop(std::string problem) {
    if (stopped_) return;
    stopped_ = true;
    scan_.Problem = std::move(problem);
    XML_StopParser(parser_, XML_FALSE);
  }

  // Counts one named child (an element other than rdf:li, or an attribute)
  // of the element at `level`.
  void CountNamed(size_t level) {
    if (level < named_.size() && ++named_[level] > kMaxXmpNamedChildren)
      Stop(Format("an element holds more than %d properties", {uint64_t(kMaxXmpNamedChildren)}));
  }
  void CountTopLevel() {
    if (++topLevel_ > kMaxXmpNamedChildren)
      Stop(Format("it holds more than %d properties", {uint64_t(kMaxXmpNamedChildren)}));
  }

  void AddValues(const XML_Char** atts, bool topLevel) {
    for (size_t i = 0; atts[i] && !stopped_; i += 2) {
      CountNamed(named_.size() - 1);
      if (!IsValueAttribute(atts[i])) continue;
      if (topLevel) {
        CountTopLevel();
        scan_.Properties[atts[i]].push_back(Trimmed(atts[i + 1]));
      } else {
        property_->push_back(Trimmed(atts[i + 1]));
      }
    }
  }

  static void XMLCALL Start(void* data, const XML_Char* name, const XML_Char** atts) {
    TvxScanner& s = Of(data);
    if (s.stopped_) return;
    if (++s.depth_ > kMaxXmpDepth) return s.Stop(Format("it is nested deeper than %d levels", {kMaxXmpDepth}));
    if (!IsRdf(name, "li") && !s.named_.empty()) s.CountNamed(s.named_.size() - 1);
    s.named_.push_back(0);
    s.metaOpen_ += IsMeta(name);
    if (s.rdfDepth_ < 0 && s.scan_.RdfEnd == 0 && IsRdf(name, "RDF")) {
      s.rdfDepth_ = s.depth_;
      s.scan_.RdfBegin = size_t(XML_GetCurrentByteIndex(s.parser_));
      s.rdfStartTagEnd_ = s.StartTagEnd();
      s.scan_.HasXmpMeta = s.metaOpen_ > 0;
    } else if (s.rdfDepth_ >= 0 && s.depth_ == s.rdfDepth_ + 1) {
      s.AddValues(atts, true);  // a description: its attributes are properties
      if (++s.descriptions_ == 1) s.scan_.FirstDescriptionContent = s.StartTagEnd();
    } else if (s.rdfDepth_ >= 0 && s.depth_ >= s.rdfDepth_ + 2) {
      if (s.depth_ == s.rdfDepth_ + 2) {
        s.CountTopLevel();
        s.property_ = &s.scan_.Properties[name];
        s.textOnly_ = !atts[0];
        s.textBegin_ = s.StartTagEnd();
      } else {
        s.textOnly_ = false;
      }
      s.AddValues(atts, false);
      s.text_.emplace_back();
    }
  }

  static void XMLCALL End(void* data, const XML_Char* name) {
    TvxScanner& s = Of(data);
    if (s.stopped_) return;
    const bool emptyElement = XML_GetCurrentByteCount(s.parser_) == 0;
    if (s.property_ && s.depth_ >= s.rdfDepth_ + 2) {
      if (std::string t = Trimmed(s.text_.back()); !t.empty()) s.property_->push_back(std::move(t));
      s.text_.pop_back();
      if (s.depth_ == s.rdfDepth_ + 2) {
        if (s.textOnly_ && !emptyElement)
          s.scan_.TextSpans.emplace(name, std::pair{s.textBegin_, size_t(XML_GetCurrentByteIndex(s.parser_))});
        s.property_ = nullptr;
      }
    }
    if (s.rdfDepth_ >= 0 && s.depth_ == s.rdfDepth_ + 1 && s.descriptions_ == 1 && emptyElement)
      s.scan_.FirstDescriptionContent = 0;
    if (s.depth_ == s.rdfDepth_) {
      const size_t count = size_t(XML_GetCurrentByteCount(s.parser_));
      s.scan_.RdfEnd = count ? size_t(XML_GetCurrentByteIndex(s.parser_)) + count : s.rdfStartTagEnd_;
      s.rdfDepth_ = -1;
    }
    s.metaOpen_ -= IsMeta(name);
    s.named_.pop_back();
    --s.depth_;
  }

  static void XMLCALL Characters(void* data, const XML_Char* text, int length) {
    TvxScanner& s = Of(data);
    if (!s.stopped_ && s.property_ && !s.text_.empty()) s.text_.back().append(text, size_t(length));
  }

  static void XMLCALL Namespace(void* data, const XML_Char*, const XML_Char* uri) {
    TvxScanner& s = Of(data);
    s.namespaces_.insert(uri ? uri : "");
    if (s.namespaces_.size() > kMaxXmpNamespaces)
      s.Stop(Format("it declares more than %d namespaces", {uint64_t(kMaxXmpNamespaces)}));
  }

  static void XMLCALL Doctype(void* data, const XML_Char*, const XML_Char*, const XML_Char*, int) {
    Of(data).Stop("it holds a DOCTYPE declaration");
  }

  TvxXmpScan& scan_;
  XML_Parser parser_;
  bool stopped_ = false;
  int depth_ = 0;
  int rdfDepth_ = -1;  // depth of the rdf:RDF element while it is open
  size_t rdfStartTagEnd_ = 0;
  int metaOpen_ = 0;
  std::vector<size_t> named_;  // per open element: named children and attributes so far
  size_t topLevel_ = 0;
  std::set<std::string> namespaces_;
  std::vector<std::string>* property_ = nullptr;  // texts of the property being read
  std::vector<std::string> text_;                 // character data of each open element inside it
  bool textOnly_ = false;                         // it has neither attributes nor child elements so far
  size_t textBegin_ = 0;
  size_t descriptions_ = 0;
};

}  // namespace

std::string XmpPropertyKey(std::string_view namespaceUri, std::string_view name) {
  return std::string(namespaceUri) + " " + std::string(name);
}

TvxXmpScan ScanXmpPacket(std::string_view packet) {
  TvxXmpScan scan;
  size_t bom = 0;
  const TvxUnit unit = DetectUnit(packet, bom);
  if (unit == TvxUnit::Utf8) {
    scan.Text = std::string(packet);
  } else if (!WideToUtf8(packet.substr(bom), unit, scan.Text)) {
    scan.Problem = "its text is not valid UTF-16 or UTF-32";
    return scan;
  }
  if (std::string declared = DeclaredEncoding(scan.Text); !declared.empty() && !IsUnicodeName(declared)) {
    scan.Problem = "its encoding (" + declared + ") is not UTF-8, UTF-16 or UTF-32";
    return scan;
  }
  TvxScanner(scan).Run();
  return scan;
}

}  // namespace vx
