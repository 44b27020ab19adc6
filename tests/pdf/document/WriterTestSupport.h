// Shared by the writer tests: a document that can be filled in memory
// (objects, pages, save-time objects) and small helpers around saved files
// and the checkers run on them.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "pdf/document/vxPDFDoc.h"
#include "support/PdfBuilder.h"

namespace vxtest {

// A document built object by object, without loading a file.
class MemoryDocument : public vx::TvxPDFDocument {
 public:
  MemoryDocument() { SetShowSetupDialog(false); }

  // Stores `content` under the next free number; used objects are written.
  vx::TvxPDFIndirectObject* AddObject(vx::TvxPDFObjectPtr content, bool used = true) {
    int32_t number = Store().NewObjectNumber();
    return Store().Add(std::make_unique<vx::TvxPDFIndirectObject>(DocumentID(), number, 0, std::move(content),
                                                                  used ? 1 : 0));
  }
  vx::TvxPDFObjectPtr RefTo(const vx::TvxPDFIndirectObject* object) const {
    return std::make_unique<vx::TvxPDFIndirectReference>(object->DocumentID, object->ObjectNumber,
                                                         object->Generation);
  }
  void AddPage(vx::TvxPDFIndirectObject* page) { pageList_.push_back(page); }
  // A save-time store as a save has it, for serialising outside a save.
  vx::TvxPDFObjectStore& OpenSaveStore() {
    saveStore_ = std::make_unique<vx::TvxPDFObjectStore>();
    return *saveStore_;
  }
};

// A fresh, empty folder removed with everything in it at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  // Names of the entries of the folder.
  std::vector<std::string> Entries() const;

 private:
  std::string path_;
};

// `qpdf --check` of a file: empty when it passes, else what qpdf said.
std::string QpdfProblems(const std::string& path, const std::string& password = "");
// The text pdftotext extracts.
std::string PdfText(const std::string& path, const std::string& password = "");

// The bytes of a saved document (saved to a temporary file and read back).
std::string SaveToBytes(vx::TvxCustomPDFDocument& doc);

// A loaded document from bytes.
std::unique_ptr<vx::TvxPDFDocument> LoadBytes(const std::string& bytes);

// The file at `path` (taken as named), with `password` offered once; nullptr
// when it is refused.
std::unique_ptr<vx::TvxPDFDocument> OpenWithPassword(const std::string& path, const std::string& password = "");

// An object stream's data: "n offset" pairs, then `members` (number, text)
// in that order; `first` gets the offset of the first member.
std::string ObjectStreamData(const std::vector<std::pair<int, std::string>>& members, int& first);

}  // namespace vxtest
