// Shared by the outline and form tests: documents built from numbered
// objects, loading with warnings collected, and looking at saved objects.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "pdf/document/vxPDFDoc.h"
#include "support/PdfBuilder.h"

namespace vxtest {

// Catalog 1 (with `catalogExtra`), pages 2, and `pages` pages numbered 3, 5,
// 7, ... (each followed by its content stream; `pageExtra` goes into the
// first page), then `objects` by number.
std::string DocumentWith(const std::string& catalogExtra, const std::map<int, std::string>& objects, int pages = 2,
                         const std::string& pageExtra = "");

struct LoadedDocument {
  std::unique_ptr<vx::TvxPDFDocument> Doc;
  std::vector<std::string> Warnings;
};
LoadedDocument LoadWithWarnings(const std::string& bytes);

// The dictionary text (between "obj" and "endobj") of the first object of a
// saved file that contains `marker`, or "" when none does.
std::string SavedObjectWith(const std::string& pdf, const std::string& marker);
// The number of that object, or 0.
int SavedNumberWith(const std::string& pdf, const std::string& marker);
// The dictionary text of object `number` of a saved file.
std::string SavedObject(const std::string& pdf, int number);
// The text "n 0 R" for the saved object that contains `marker`.
std::string SavedReferenceWith(const std::string& pdf, const std::string& marker);
// How many objects of a saved file contain `marker`.
int SavedObjectsWith(const std::string& pdf, const std::string& marker);
// The keys of a saved dictionary's text, in order (one entry per line).
std::vector<std::string> SavedKeys(const std::string& dictionaryText);

}  // namespace vxtest
