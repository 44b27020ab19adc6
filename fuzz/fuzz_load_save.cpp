// Whole documents from arbitrary bytes, loaded and then saved again: the
// structure readers (outlines, names, forms) and the writer, including the
// outline tree rebuilt at save.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "pdf/document/vxPDFDoc.h"

namespace {

// One output file per process, replaced by every run.
const std::string& OutputPath() {
  static const std::string path =
      (std::filesystem::temp_directory_path() / ("vx-fuzz-load-save-" + std::to_string(getpid()) + ".pdf")).string();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto bytes = std::make_shared<const std::string>(reinterpret_cast<const char*>(data), size);
  vx::TvxPDFDocument doc;
  doc.SetShowSetupDialog(false);
  doc.SetSaveThreads(1);
  doc.OnPassword = [](vx::TvxCustomPDFDocument&, std::string&, bool& proceed, int tries) {
    if (tries > 0) proceed = false;
  };
  try {
    if (doc.LoadFromBytes(bytes, "fuzz.pdf")) {
      // Modes 0 and 1 touch the form; 2 leaves it.
      doc.SaveToFile(OutputPath(), uint8_t(size % 3));
    }
  } catch (const vx::Exception&) {
  }
  std::remove(OutputPath().c_str());
  return 0;
}
