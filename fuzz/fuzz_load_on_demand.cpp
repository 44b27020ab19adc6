// Whole documents from arbitrary bytes, loaded on demand: lookups then read
// objects and decode object streams long after the load, and completing the
// load before a save walks what the load left for later.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "pdf/document/vxPDFDoc.h"

namespace {

const std::string& OutputPath() {
  static const std::string path =
      (std::filesystem::temp_directory_path() / ("vx-fuzz-on-demand-" + std::to_string(getpid()) + ".pdf")).string();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto bytes = std::make_shared<const std::string>(reinterpret_cast<const char*>(data), size);
  vx::TvxPDFDocument doc;
  doc.SetShowSetupDialog(false);
  doc.SetSaveThreads(1);
  doc.SetLoadOnDemand(true);
  doc.OnPassword = [](vx::TvxCustomPDFDocument&, std::string&, bool& proceed, int tries) {
    if (tries > 0) proceed = false;
  };
  try {
    if (doc.LoadFromBytes(bytes, "fuzz.pdf")) {
      for (int page = 1; page <= doc.PageCount() && page <= 4; ++page) doc.GetPageBox(page, vx::muPoints);
      // Lookups of numbers nothing reached yet, in both orders.
      for (int32_t n = 1; n <= 32; ++n) doc.Store().Find(vx::TvxObjectKey{doc.DocumentID(), 33 - n, 0});
      doc.SaveToFile(OutputPath(), 2);
    }
  } catch (const vx::Exception&) {
  }
  std::remove(OutputPath().c_str());
  return 0;
}
