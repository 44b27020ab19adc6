// A reader of XMP packets of our own, on expat, beside the XMP toolkit. It
// decides whether a packet may reach the toolkit at all (well-formed XML in
// UTF-8, -16 or -32, no DOCTYPE, within bounds of depth and width that keep
// the toolkit's recursion shallow and its work linear), and it lists the
// packet's properties, so that what the toolkit writes is judged by a reader
// other than the toolkit itself.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace vx {

// Bounds past which a packet is kept as it is rather than handed to the
// toolkit. Real packets nest about ten levels and hold a few hundred
// properties; the toolkit recurses once per level and looks names up by
// scanning their siblings.
inline constexpr int kMaxXmpDepth = 100;
inline constexpr size_t kMaxXmpNamespaces = 1024;
inline constexpr size_t kMaxXmpNamedChildren = 8192;  // per element, and top-level properties in all

// A packet's properties: "namespace-URI name" -> every text found in the
// property (its value, its items, the fields of its structures and their
// attribute values), sorted. Structure does not count, so a single value
// and a one-item list compare equal; an empty list is a property without
// texts.
using TvxXmpProperties = std::map<std::string, std::vector<std::string>>;

struct TvxXmpScan {
  std::string Problem;        // why the packet must not reach the toolkit; empty when it may
  std::string Text;           // the packet as UTF-8
  bool HasXmpMeta = false;    // the rdf:RDF element lies inside x:xmpmeta (or the older x:xapmeta)
  size_t RdfBegin = 0;        // the first rdf:RDF element, start and end tag included,
  size_t RdfEnd = 0;          // as a byte range of Text; empty when there is none
  TvxXmpProperties Properties;
  // Where the text of each top-level property written as an element that
  // holds text alone lies in Text (the first of a name), and where the
  // content of the first top-level description begins (0 when it has
  // none): the places a value can be changed or added without rewriting
  // the rest.
  std::map<std::string, std::pair<size_t, size_t>> TextSpans;
  size_t FirstDescriptionContent = 0;
};

TvxXmpScan ScanXmpPacket(std::string_view packet);

// How TvxXmpProperties names a property.
std::string XmpPropertyKey(std::string_view namespaceUri, std::string_view name);

}  // namespace vx
