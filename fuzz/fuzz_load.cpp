// Whole documents from arbitrary bytes: the cross-reference data, object
// streams, the page tree and everything the catalog leads to.
#include <cstdint>
#include <memory>
#include <string>

#include "pdf/document/vxPDFDoc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto bytes = std::make_shared<const std::string>(reinterpret_cast<const char*>(data), size);
  vx::TvxPDFDocument doc;
  // An empty password first, then one more guess, as a user would.
  doc.OnPassword = [](vx::TvxCustomPDFDocument&, std::string& pw, bool& proceed, int tries) {
    if (tries == 1) pw = "user";
    if (tries > 1) proceed = false;
  };
  try {
    if (doc.LoadFromBytes(bytes, "fuzz.pdf")) {
      for (int page = 1; page <= doc.PageCount() && page <= 4; ++page) {
        doc.GetPageBox(page, vx::muPoints);
        doc.GetPageRotation(page);
      }
      doc.Info().Title();
      doc.Info().CreationDate();
    }
  } catch (const vx::Exception&) {
  }
  return 0;
}
