// Whether the loaded file is laid out for fast web view: its first object,
// within the first kilobyte, is a linearization parameter dictionary, and
// the file still has the length that dictionary gives (an update appended
// since makes it longer, and the layout no longer holds).
#include <string_view>

#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/util/vxExceptions.h"

namespace vx {

TvxLinearizationState TvxCustomPDFDocument::ReadLinearizationState() const {
  std::unique_ptr<TvxPDFStreamReader> source = SourceReader();
  if (!source) return lsNone;
  TvxPDFStreamReader& reader = *source;
  constexpr size_t kWithin = 1024;
  try {
    reader.Ensure(0, kWithin);
    reader.SetPos(0);
    const std::string_view head = reader.PeekView(std::min(kWithin, reader.WholeSize()));
    // Past the header line and any comment lines, the first object begins.
    size_t at = head.find("%PDF-");
    if (at == std::string_view::npos) return lsNone;
    while (at < head.size()) {
      const char c = head[at];
      if (c == '%') {
        while (at < head.size() && head[at] != '\r' && head[at] != '\n') ++at;
      } else if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\0') {
        ++at;
      } else {
        break;
      }
    }
    if (at >= head.size() || head[at] < '0' || head[at] > '9') return lsNone;
    TvxPDFObjectPtr parsed = reader.Within(at, [&reader, at] {
      reader.SetPos(at);
      return reader.ParseObject();
    });
    auto* object = As<TvxPDFIndirectObject>(parsed.get());
    auto* dict = object ? As<TvxPDFDictObject>(object->Content.get()) : nullptr;
    if (!dict || !dict->Find("/Linearized")) return lsNone;
    const std::optional<int64_t> length = IntegerValue(dict->Find("/L"));
    return length && *length == int64_t(reader.WholeSize()) ? lsLinearized : lsBroken;
  } catch (const EReadError&) {
    throw;  // the file itself failed
  } catch (const Exception&) {
    return lsNone;  // a first object that does not parse is no parameter dictionary
  }
}

}  // namespace vx
