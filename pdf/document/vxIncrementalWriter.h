// Saving as an incremental update: the loaded file's bytes stay exactly as
// they are and a new revision is appended holding only the objects that
// changed, under their own object numbers, with a cross-reference section
// chained to the source's by /Prev. Signatures over the source's bytes stay
// valid, and the cost is that of the change, not of the file.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "pdf/document/vxCstPDFDoc.h"

namespace vx {

class TvxSaveFile;

// What the settings owned right after the load, as the writer would write it
// (strings unencrypted, references under their own numbers). An update
// writes an object only where the document now differs from this.
struct TvxSourceSnapshot {
  int32_t LastLoadedNumber = 0;  // objects above it (or of other documents) are new
  std::string PageModeText, PageLayoutText, PreferencesText, MetadataText;
  std::string OpenActionText, LanguageText;
  std::string NeedAppearancesText;
  std::string InfoText;
  std::optional<std::string> MetadataData;  // the packet stream's data
  std::set<int> ChangedPages;               // page indexes changed since the load
  std::set<std::pair<int32_t, uint16_t>> ChangedObjects;  // other loaded objects changed in place
};

// The newest cross-reference section of a file, as the file has it.
struct TvxSourceTail {
  int64_t StartXRef = 0;
  bool IsStream = false;  // a cross-reference stream rather than a table
  std::unique_ptr<TvxPDFDictObject> Trailer;
  int64_t Size = 0;
};

class TvxIncrementalWriter {
 public:
  TvxIncrementalWriter(TvxCustomPDFDocument& document, TvxSaveFile& output);
  ~TvxIncrementalWriter();

  void WriteDocument();

  // The newest section of `bytes`, or nothing when it cannot be read.
  static std::optional<TvxSourceTail> ReadTail(const TvxCustomPDFDocument& document);
  // Sections along the /Prev chain from the newest (1 for a file never
  // updated; 0 when not even the newest can be read).
  static int CountRevisions(const TvxCustomPDFDocument& document);
  // Records what the settings hold right after a load.
  static void TakeSnapshot(TvxCustomPDFDocument& document);

 private:
  struct TvxEntry {
    int32_t Number;
    uint16_t Generation;
    int64_t Offset;
  };

  static std::unique_ptr<TvxSourceSnapshot> Snapshot(TvxCustomPDFDocument& document);
  // Raises EIncrementalSaveRefused naming the setting when the document asks
  // for something an update cannot express. Every such setting is checked
  // here, and nowhere else.
  void CheckSettings();
  std::string CatalogText(int32_t objectNumber, bool asLoaded);
  void WriteObject(int32_t number, uint16_t generation, const TvxPDFObject* content);
  void WriteText(int32_t number, uint16_t generation, const std::string& body);
  void WriteXRef(const TvxSourceTail& tail);
  // The source's bytes, as they are, at the start of the output.
  void CopySource();
  // The next number for a new object, above every number the file uses;
  // raises EIncrementalSaveRefused past the format's limit.
  int32_t NewNumber();
  std::string IdText(const TvxSourceTail& tail);

  TvxCustomPDFDocument& document_;
  TvxSaveFile& output_;
  int64_t base_ = 0;    // where the update starts in the output
  std::string update_;  // the appended bytes
  std::vector<TvxEntry> entries_;
  int64_t nextNumber_ = 0;
  int64_t sourceSize_ = 0;  // the source's /Size
  std::string versionText_;  // the catalog's new /Version, or empty
  std::string infoReference_;
};

}  // namespace vx
