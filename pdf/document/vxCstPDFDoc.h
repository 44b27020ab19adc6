// The document: everything a loaded PDF consists of in memory, the
// document-level settings as properties, the load sequence and the writer.
// One class; its implementation is split by concern across the
// vxCstPDFDoc*.cpp files named in the section comments below.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <string>
#include <utility>
#include <vector>

#include "pdf/document/vxAcroForm.h"
#include "pdf/document/vxEMailInfo.h"
#include "pdf/document/vxOffsetTable.h"
#include "pdf/document/vxPDFInfo.h"
#include "pdf/document/vxPDFObjectStore.h"
#include "pdf/document/vxPDFOutline.h"
#include "pdf/document/vxPDFTypes.h"
#include "pdf/document/vxSetupDialog.h"
#include "pdf/objects/vxPDFObjects.h"
#include "pdf/parsers/vxPDFParsers.h"

namespace vx {

class TvxPDFDecrypt;
class TvxObjectPreparser;
class TvxLoadHelper;
using TvxObjectStreamMembers = std::vector<std::pair<int32_t, size_t>>;
class TvxPDFEncryption;
class TvxPicture;
class TvxSaveFile;
class TvxPDFEncryptionSettings;
struct TvxSourceSnapshot;

// How SaveToFile writes: a whole new file, or the loaded file's bytes with
// an update appended (vxIncrementalWriter.cpp).
enum class TvxSaveKind : uint8_t { Rewrite, Incremental };

// Events. All are called synchronously and are optional.
using TvxNotifyEvent = std::function<void(TvxCustomPDFDocument& sender)>;
using TvxProgressEvent = std::function<void(TvxCustomPDFDocument& sender, int percentage)>;
using TvxStatusMessageEvent = std::function<void(TvxCustomPDFDocument& sender, const std::string& message)>;
using TvxWarningEvent = std::function<void(TvxCustomPDFDocument& sender, const std::string& warning)>;
using TvxPasswordEvent =
    std::function<void(TvxCustomPDFDocument& sender, std::string& password, bool& proceed, int tries)>;
using TvxOperationProgressEvent = std::function<void(TvxCustomPDFDocument& sender, int currentOperation,
                                                     int currentCount, int totalCount)>;

// An object got by number: the stored one, or one read from the file that the
// caller may keep (`Owned`) or let go.
struct TvxFetchedObject {
  TvxPDFIndirectObject* Object = nullptr;
  std::unique_ptr<TvxPDFIndirectObject> Owned;  // set when read from the file
  explicit operator bool() const { return Object != nullptr; }
  TvxPDFIndirectObject* operator->() const { return Object; }
  bool FromFile() const { return Owned != nullptr; }
};

class TvxCustomPDFDocument : public TvxComponent {
 public:
  TvxCustomPDFDocument();
  ~TvxCustomPDFDocument() override;
  TvxCustomPDFDocument(const TvxCustomPDFDocument&) = delete;
  TvxCustomPDFDocument& operator=(const TvxCustomPDFDocument&) = delete;

  // ------------------------------------------------------------ properties
  bool OpenAfterSave() const { return openAfterSave_; }
  void SetOpenAfterSave(bool v) { openAfterSave_ = v; }
  TvxMergeOptions MergeOptions() const { return mergeOptions_; }
  void SetMergeOptions(TvxMergeOptions v) { mergeOptions_ = v; }
  TvxMeasurementUnit MeasurementUnit() const { return measurementUnit_; }
  void SetMeasurementUnit(TvxMeasurementUnit v) { measurementUnit_ = v; }
  bool IsLoaded() const { return isLoaded_; }
  bool IsEncrypted() const { return isEncrypted_; }
  // True when the cross-reference data could not be used and was rebuilt by
  // scanning the file (OnWarning said why).
  bool Repaired() const { return repaired_; }
  TvxPDFVersion PDFVersion() const { return pdfVersion_; }
  void SetPDFVersion(TvxPDFVersion v) { pdfVersion_ = v; }
  int PageCount() const { return int(pageList_.size()); }
  // The page count the source's page-tree root declares (its /Count as
  // read), -1 when it declares none. Differs from PageCount() when pages of a
  // damaged tree could not be read.
  int DeclaredPageCount() const { return declaredPageCount_; }
  // A loaded name outside the known tables reads as pmNone / plNone and is
  // written back as it was until a different value is set.
  TvxPageMode PageMode() const { return pageMode_; }
  void SetPageMode(TvxPageMode v) {
    if (v != pageMode_ && catalog_) catalog_->ForeignPageMode.clear();
    pageMode_ = v;
  }
  TvxPageLayout PageLayout() const { return pageLayout_; }
  void SetPageLayout(TvxPageLayout v) {
    if (v != pageLayout_ && catalog_) catalog_->ForeignPageLayout.clear();
    pageLayout_ = v;
  }
  // The names written for the page mode and layout (the document's own
  // name outside the tables while nothing else is set); empty for none.
  std::string PageModeText() const;
  std::string PageLayoutText() const;

  // The document's language (/Lang), a BCP 47 tag such as "de-DE"; empty
  // when it names none. Setting empty text removes it; a malformed tag
  // raises EInvalidLanguageTag and changes nothing. (vxCstPDFDocLanguage.cpp)
  std::string Language() const;
  void SetLanguage(const std::string& tag);

  // What the viewer does on opening the document (/OpenAction):
  // nothing; shows a page of it (OpenView); or something else (a script, a
  // named action, a named destination), which OpenActionDescription names.
  // SetOpenView replaces any of them (raising EInvalidPageError for a page
  // the document does not have, and EInvalidZoom for a zoom outside
  // 0-6400 percent); ClearOpenAction removes it. (vxCstPDFDocOpenAction.cpp)
  TvxOpenActionKind OpenActionKind() const;
  std::optional<TvxOpenView> OpenView() const;
  std::string OpenActionDescription() const;
  void SetOpenView(const TvxOpenView& view);
  void ClearOpenAction();

  // Takes every trace of who made the document and how out of it: empties
  // the information (the producer, written by every save, aside), drops the
  // XMP packet and the document's /PieceInfo, with what only they reach.
  // An incremental save of such a document is refused: the earlier
  // revision would still hold every removed value. (vxCstPDFDocStrip.cpp)
  void StripMetadata();
  bool MetadataStripped() const { return metadataStripped_; }

  const std::string& Filename() const { return filename_; }
  // A non-empty name is stored and loaded; an empty one clears the name.
  void SetFilename(const std::string& name);
  TvxBaseDlg* SetupDialog() const { return setupDialog_; }
  void SetSetupDialog(TvxBaseDlg* dialog) { setupDialog_ = dialog; }  // not owned
  bool ShowSetupDialog() const { return showSetupDialog_; }
  void SetShowSetupDialog(bool v) { showSetupDialog_ = v; }
  // Off (the default): LoadFromFile and SaveToFile add ".pdf" to a name
  // without it, as file dialogs expect. On: the name is the file, as given.
  bool LiteralFileNames() const { return literalFileNames_; }
  void SetLiteralFileNames(bool v) { literalFileNames_ = v; }
  // Off (the default): a load reads every object the document reaches. On:
  // the load reads the structure (catalog, pages, information, outlines,
  // form) and every other object is parsed from the bytes held in memory
  // when it is first looked up; an object stream is decoded when one of its
  // members is first needed. Set before LoadFromFile. A save, or
  // CompleteLoad, reads the rest first. Until then even a const lookup may
  // add to the store: one thread at a time uses such a document.
  bool LoadOnDemand() const { return loadOnDemand_; }
  void SetLoadOnDemand(bool v) { loadOnDemand_ = v; }
  // Off (the default). On, together with LoadOnDemand, for a report of the
  // document's settings: LoadFromFile keeps the file open and reads only the
  // parts of it that the load and later lookups parse, the first time they
  // are needed (a large file's page contents are never kept). The check
  // that every cross-reference entry points at its object streams the file
  // through a small buffer on a second thread while the load goes on; when
  // an entry does not, the file is read whole and loaded again, repaired
  // as without this setting (warnings of such a load wait for the check).
  // The results are those of a load of the whole file. This is the one case
  // where a document reads its file after the load; it holds the file open
  // until it is reset or destroyed, and a file cut short meanwhile makes
  // those reads fail with EReadError. Such a document cannot be saved or
  // completed: SaveToFile and CompleteLoad raise and write nothing. A file
  // that must be rebuilt by a scan is read whole first. Set before
  // LoadFromFile; LoadFromBytes does not use it.
  bool ReadForReport() const { return readForReport_; }
  void SetReadForReport(bool v) { readForReport_ = v; }
  // Off (the default). On, together with LoadOnDemand: LoadFromFile reads
  // the file piece by piece as for a report (and, like it, reads the whole
  // file and repairs it when an entry does not point at its object), but
  // the document can be saved. An incremental update then reads only what
  // it looks up and copies the file's bytes to the output in the kernel;
  // any other save (or CompleteLoad) reads the rest first. The file is held
  // open until the document is reset or destroyed; one that is cut short
  // meanwhile makes the reads fail with EReadError. Set before LoadFromFile.
  bool ReadFileOnDemand() const { return readFileOnDemand_; }
  void SetReadFileOnDemand(bool v) { readFileOnDemand_ = v; }
  // Empty (the default). A name, with ReadFileOnDemand, when an incremental
  // update to that file is expected: LoadFromFile starts copying the file's
  // bytes into the save's temporary file beside it on a thread of its own
  // while it reads the document, so that an incremental SaveToFile to the
  // same name only appends its update. Any other save, a save to another
  // name, the next load, or setting another name (empty: none) drops that
  // copy and removes its file. Set before LoadFromFile.
  const std::string& UpdateTarget() const { return updateTarget_; }
  void SetUpdateTarget(const std::string& fileName);
  // True without a decrypting handler, else whether the owner password opened it.
  bool IsOwner() const;
  TvxPDFEncryptionSettings& Encryption() const { return *encryptionSettings_; }
  TvxPDFViewerPreferences& ViewerPreferences() const { return catalog_->ViewerPreferences; }
  TvxEMailInfo& EMailInfo() const { return *emailInfo_; }
  void SetEMailInfo(std::unique_ptr<TvxEMailInfo> info);
  const std::string& WorkFileName() const { return workFileName_; }
  bool EMailAfterSave() const { return emailAfterSave_; }
  void SetEMailAfterSave(bool v) { emailAfterSave_ = v; }
  TvxPDFInfo& Info() const { return *info_; }
  uint32_t DocumentID() const { return documentID_; }

  TvxOperationProgressEvent OnOperationProgress;
  TvxProgressEvent OnIOProgress;
  TvxStatusMessageEvent OnStatusMessage;
  TvxWarningEvent OnWarning;
  TvxPasswordEvent OnPassword;
  TvxNotifyEvent OnBeginRead;
  TvxNotifyEvent OnEndRead;

  // ----------------------------------------------- life cycle (vxCstPDFDoc.cpp)
  virtual void InitDocument();
  virtual void ClearDocument();
  void ResetDocument();
  // Loads the whole file into memory; answers IsLoaded.
  bool LoadFromFile(const std::string& fileName);
  // The same for bytes already in memory (`name` stands in for the file name).
  bool LoadFromBytes(std::shared_ptr<const std::string> bytes, const std::string& name);
  // For a document loaded on demand: reads everything the load left for
  // later (what the document reaches and will write), so that the document
  // is complete in memory, as after a full load; nothing is parsed on
  // demand afterwards. Does nothing for a complete document.
  // (vxCstPDFDocOnDemand.cpp)
  void CompleteLoad();

  // ---------------------------------------------------- pages (vxCstPDFDocPages.cpp)
  int GetPageRotation(int pageNumber) const;
  std::pair<double, double> GetPageSize(int pageNumber, TvxMeasurementUnit unit) const;
  std::array<double, 4> GetPageBox(int pageNumber, TvxMeasurementUnit unit) const;
  // "1,3,5-12" against `pageCount` (empty text: every page).
  static std::vector<int> ParsePageRange(const std::string& text, int pageCount);
  // Copies of the page object and of everything it references but other pages.
  virtual std::unique_ptr<std::vector<std::unique_ptr<TvxPDFIndirectObject>>> GetPageObjects(int pageNumber);
  virtual void CollectObjects(std::vector<std::unique_ptr<TvxPDFIndirectObject>>& list, TvxPDFObject* value);
  // The page objects in order (held by the store).
  const std::vector<TvxPDFIndirectObject*>& PageList() const { return pageList_; }

  // ------------------------------------------------ stores (vxCstPDFDocStore.cpp)
  TvxPDFObjectStore& Store() const { return *store_; }
  // The save-time store, only while a save runs (else nullptr).
  TvxPDFObjectStore* SaveStore() const { return saveStore_.get(); }
  int64_t LookupObjectOffset(int32_t objectNumber) const;
  // True when either entry list has room for `objectNumber` (a number the
  // cross-reference data may describe).
  bool HasEntryListSlot(int64_t objectNumber) const;
  std::unique_ptr<TvxPDFIndirectObject> ReadObjectAt(int64_t offset);
  void LoadObjectClosure(TvxPDFObject* value);
  TvxFetchedObject FetchObject(int32_t objectNumber);
  [[noreturn]] void ExplainMissingCatalog();
  // Resolving operations that read missing objects from the file. The
  // answers point into the store or into `keep` (which owns what was read
  // only for the caller).
  TvxPDFArrayObject* LoadArray(TvxPDFObject* value, bool add, TvxPDFObjectPtr& keep);
  TvxPDFDictObject* LoadDictionary(TvxPDFObject* value, bool add, TvxPDFObjectPtr& keep);
  TvxPDFObjectPtr LoadCopy(const TvxPDFIndirectReference* reference);
  std::unique_ptr<TvxPDFStringObject> LoadString(TvxPDFObject* value);
  std::unique_ptr<TvxPDFNameObject> LoadName(TvxPDFObject* value);
  TvxPDFIndirectObject* LoadObject(int32_t objectNumber);
  // Resolves through references and returns a reference-free copy.
  TvxPDFObjectPtr ResolveDeep(TvxPDFObject* value);
  void Warning(const std::string& text);

  // ---------------------------------------- catalog and view (vxCstPDFDocCatalog.cpp)
  TvxPDFCatalog& Catalog() const { return *catalog_; }
  TvxPDFTrailer& Trailer() const { return *trailer_; }
  static std::unique_ptr<TvxPDFDictObject> CreateTransition(uint8_t effect, float duration);
  void SetPageTransition(const std::string& pages, uint8_t effect, float duration);

  // ----------------------------------------- text strings (vxCstPDFDocInfo.cpp)
  // The escaped body of a text string (FE FF + UTF-16BE, encrypted for
  // `objectNumber` when encryption is on), ready to go between parentheses.
  std::string EncodeTextString(const std::u16string& value, int32_t objectNumber);

  // ------------------------------------ outlines and names (vxCstPDFDocOutlines.cpp)
  TvxPDFOutline* OutlineRoot() const { return outlineRoot_.get(); }
  // A copy of the destination for `name`, or nullptr.
  TvxPDFObjectPtr FindNamedDestination(std::string_view name) const;
  TvxPDFObjectPtr ResolveDestination(const TvxPDFObject* value) const;
  const std::vector<std::pair<std::string, TvxPDFObjectPtr>>* NamedDestinations() const {
    return namedDestinations_.get();
  }

  // ---------------------------------------------- forms (vxCstPDFDocForms.cpp)
  const std::vector<std::unique_ptr<TvxAcroFormField>>* FieldList() const { return fieldList_.get(); }
  void ApplyNeedAppearances(uint8_t mode);

  // ------------------------------------ encrypting on save (vxCstPDFDocEncrypt.cpp)
  void CreateEncryptionHandler();
  std::string EncryptData(std::string_view data, int32_t objectNumber);
  // Stream data of object `objectNumber`; `dict` says which crypt filter applies.
  std::string EncryptStreamData(std::string_view data, int32_t objectNumber, const TvxPDFDictObject& dict);
  std::unique_ptr<TvxPDFDictObject> BuildEncryptDictionary();
  TvxPDFDecrypt* Decryptor() const { return decrypt_.get(); }

  // ------------------------------------ compression (vxCstPDFDocCompression.cpp)
  void SetCompression(uint8_t encoding, uint8_t level);
  const TvxCompression& Compression() const { return *compression_; }
  // The compression step for one stream on copies of its dictionary and data.
  std::string CompressStreamCopy(TvxPDFDictObject& dictCopy, std::string data) const;

  // ------------------------------------------------- saving (vxCstPDFDocWriter.cpp)
  // Writes the whole document to `fileName` (".pdf" appended unless present
  // or LiteralFileNames). The target must be a regular file, absent, or a
  // link (see ReplaceLinksOnSave).
  // `mode` 0 sets the form's /NeedAppearances true, 1 false, others keep it.
  // Answers false when the settings dialog was cancelled. The target is
  // replaced only once the new file is complete.
  bool SaveToFile(const std::string& fileName, uint8_t mode = 2);
  // Object streams on save (osDisable by default). osGenerate needs a
  // PDFVersion of 1.5 or later, or the save fails; osPreserve writes them
  // only when the source had them and the version allows them.
  TvxObjectStreamMode ObjectStreams() const { return objectStreams_; }
  void SetObjectStreams(TvxObjectStreamMode v) { objectStreams_ = v; }
  // Whether the loaded file kept objects in object streams.
  bool SourceHasObjectStreams() const;
  // Number of threads used to compress streams on save (0: one per core).
  void SetSaveThreads(unsigned threads) { saveThreads_ = threads; }
  // Threads that parse objects while a file is loaded (0: two on a machine
  // with more than one core, for a file with many objects; 1: the loading
  // thread alone; 2: two whatever the file's size). The loaded document is
  // the same either way.
  void SetLoadThreads(unsigned threads) { loadThreads_ = threads; }
  // Asks the running save to stop (from an OnIOProgress handler or another
  // thread): SaveToFile then raises ESaveCancelled, its temporary file is
  // removed and the target stays as it was. Each save starts uncancelled.
  void CancelSave() { saveCancelled_ = true; }
  TvxSaveKind SaveKind() const { return saveKind_; }
  void SetSaveKind(TvxSaveKind kind) { saveKind_ = kind; }
  // Off (the default): a target that is a symbolic link is followed and the
  // file it leads to replaced, as an edit in place expects. On: the link
  // itself is replaced by the new file; what it led to is left alone.
  bool ReplaceLinksOnSave() const { return replaceLinksOnSave_; }
  void SetReplaceLinksOnSave(bool v) { replaceLinksOnSave_ = v; }

  // ---------------------------------------- fast web view (vxCstPDFDocLinearized.cpp)
  // How the loaded file is laid out for fast web view (lsNone for a document
  // not loaded from a file).
  TvxLinearizationState SourceLinearization() const { return sourceLinearization_; }
  // Whether a rewrite is linearized: as set, or, until it is set, as the
  // loaded file was (a file once linearized, an update after it included, is
  // written linearized again). An incremental update is never linearized,
  // and refuses to save when this was set on. A load forgets the setting.
  bool Linearize() const { return linearize_.value_or(sourceLinearization_ != lsNone); }
  void SetLinearize(bool v) { linearize_ = v; }
  bool LinearizeSet() const { return linearize_.has_value(); }

  // ------------------------------------- incremental update (vxIncrementalWriter.cpp)
  // Filled signature fields (/FT /Sig with a /V): their signatures cover the
  // source's bytes, which only an incremental update keeps.
  int SignatureCount() const;
  // Revisions of the source: its cross-reference sections along /Prev.
  int RevisionCount() const;
  // Page `pageIndex` (from 0) was changed since the load; an update writes it.
  void MarkPageChanged(int pageIndex);
  // A loaded object (a shared content array, a resource dictionary) was
  // changed in place since the load; nullptr is ignored.
  void MarkObjectChanged(const TvxPDFIndirectObject* object);

  // -------------------------------------------- serialisation (vxCstPDFDocSerialize.cpp)
  std::string SerializeObject(int32_t objectNumber, const TvxPDFObject* object);
  static std::string EntryText(std::string_view key, std::string_view valueText);
  static std::string WrapDictionary(std::string_view entriesText);
  static std::string ReferenceText(int32_t number);
  static std::string FrameObject(int32_t number, std::string_view bodyText);

  // ------------------------------------------------ stamping (vxCstPDFDocStamp.cpp)
  int32_t SaveStateStream() const { return saveStateStream_; }
  int32_t RestoreStateStream() const { return restoreStateStream_; }
  void EnsureStateStreams();
  void AppendPageContent(int pageIndex, TvxPDFObject* contents, const TvxPDFIndirectReference& stamp,
                         bool overlay);
  void AddPageResource(TvxPDFDictObject* resources, const std::string& category,
                       const TvxPDFIndirectReference& reference, const std::string& resourceName);
  void AddStateResource(int pageIndex, const std::string& resourceName,
                        const TvxPDFIndirectReference* stateReference);
  std::unique_ptr<TvxPDFIndirectReference> CreateOpacityState(double fillPercent, double strokePercent);
  // An image object of the picture (bitmaps as they are, JPEG decoded),
  // RGB samples compressed with Flate; raises EUnsupportedImageError for
  // other kinds of picture.
  std::unique_ptr<TvxPDFIndirectReference> CreateImageXObject(const TvxPicture& picture,
                                                             const std::string& resourceName);

 protected:
  // Load steps (vxCstPDFDoc.cpp).
  void OpenStructure();
  bool OpenWithPassword(const std::string& password);
  void FinishLoad();
  // The layout of the source for fast web view (vxCstPDFDocLinearized.cpp).
  TvxLinearizationState ReadLinearizationState() const;
  void Status(const std::string& text);
  void Progress(int percent);

  // Cross-reference reading (vxCstPDFDocXRef.cpp).
  enum class TvxSectionKind { Table, Stream, Unknown };
  TvxSectionKind SectionKindAt(int64_t offset);
  void LoadClassicXRef(int64_t offset);
  void LoadStreamXRef(int64_t offset);
  void ReadXRefTable(int64_t offset);
  // The entries of the table at `offset` (its trailer read already).
  int ReadXRefTableEntries(int64_t offset, const std::unordered_set<int64_t>& hybridNumbers);
  // `placedNumbers`, when given, collects the numbers this stream's own
  // entries name (the /XRefStm of a hybrid section).
  void ReadXRefStream(int64_t offset, std::unordered_set<int64_t>* placedNumbers = nullptr);
  void PlaceTableEntry(int64_t number, const TvxXRefItem& entry, size_t limit);
  void PlaceStreamEntry(int64_t number, const TvxXRefStmItem& entry, size_t limit);
  void FreeEntry(int64_t number);
  void CompleteXRef();
  // Drops the entry lists once the reader is gone; see the definition.
  void ReleaseEntryLists();
  // `sectionStream`: the dictionary of a hybrid section's /XRefStm, part of
  // the section whose trailer was taken already.
  void SayDuplicateKeys();
  void TakeTrailerEntries(const TvxPDFDictObject& dict, bool sectionStream = false);

  // Cross-reference repair (vxCstPDFDocRepair.cpp).
  // Reads the sections the file points at, or rebuilds the entries when they
  // cannot be used.
  void OpenCrossReference();
  // The header's version, also when bytes come before the header.
  int ReadHeaderAfterJunk();
  bool ObjectsAfterLastStartXRef();
  // Why the sections read cannot be used, or empty.
  std::string XRefProblem();
  // Read for a report: XRefProblem's check that every entry points at its
  // object's header, over the file streamed through a small buffer, into
  // the load helper's check (the first entry that does not, in XRefProblem's
  // order).
  struct TvxPlacedEntry {
    int64_t Offset;
    int32_t Number;
    int32_t Generation;
    size_t Order;
  };
  void StartPlacementCheck(const std::unordered_set<int32_t>& sectionObjects);
  // Begins the save file of the update UpdateTarget expects, with the copy
  // of the source file under way (vxCstPDFDocWriter.cpp). A target that
  // cannot be begun is left for the save to report.
  void BeginExpectedUpdate();
  static std::optional<int32_t> FirstMisplacedEntry(const TvxFileOnDemand& file, std::vector<TvxPlacedEntry>& entries);
  bool RootIsCatalog(int32_t number);
  bool RootIsDictionary(int32_t number);
  bool RootCheck(int32_t number, bool catalogOnly);
  void RebuildXRef(const std::string& problem);
  // Drops the entries read that do not point at their object (and members
  // of object streams that are not there); notes the numbers left.
  void KeepEntriesThatPointAtTheirObjects(std::string_view bytes);
  // The part of a rebuild that reads object streams (which may need the
  // key): their members and, failing the trailer's, the catalog.
  void CompleteRepair();

  // Object store filling (vxCstPDFDocStore.cpp).
  // Reads, stores and marks used the object a reference names (the first
  // time); answers it when its content still has to be walked.
  TvxPDFIndirectObject* LoadReference(const TvxPDFIndirectReference& reference);
  // Whether the newest entry for the number places it in object stream
  // `streamNumber`.
  bool MemberIsCurrent(int32_t objectNumber, int64_t streamNumber) const;
  // Starts parsing the file's objects on a second thread ahead of the loader.
  void StartPreparse();
  std::unique_ptr<TvxPDFIndirectObject> ReadObjectAtImpl(int64_t offset, bool walkDictionary,
                                                         bool& dictionaryWalked);
  template <typename T>
  T* LoadContainer(TvxPDFObject* value, bool add, TvxPDFObjectPtr& keep);
  void ExpandObjectStreams();

  // Structure readers.
  void ReadCatalog();                                          // vxCstPDFDocCatalog.cpp
  void LoadPageTree(int32_t objectNumber);                     // vxCstPDFDocPages.cpp
  void ReadDestsDictionary(TvxPDFObject* value);               // vxCstPDFDocOutlines.cpp
  void ReadNamesDictionary(TvxPDFObject* value);
  std::unique_ptr<TvxPDFOutline> ReadOutlines(int32_t objectNumber);
  std::unique_ptr<TvxPDFOutline> ReadOutlines(const TvxPDFDictObject& root);  // given directly
  void BuildOutlines();
  void FormKeptUndescribed(TvxPDFObject* value, const char* reason);
  void ReadAcroForm(TvxPDFObject* value);                       // vxCstPDFDocForms.cpp
  // Where an entry written back as loaded (LoadKeptEntry) is kept.
  enum class TvxKeptPlace : uint8_t { None, Catalog, ViewerPreferences, Elsewhere };
  // LoadObjectClosure for an entry written back as loaded (a catalog key,
  // an unknown viewer preference, an outline item's own key). When what it
  // reaches cannot be read, the entry is reported through OnWarning and the
  // answer is false: the caller leaves it out and the load goes on, as it
  // did before such entries were kept. (vxCstPDFDocCatalog.cpp)
  // Loading on demand, the walk of a catalog entry or of a viewer
  // preference waits for CompleteLoad (which leaves the entry out the same
  // way); entries of other places are walked at once.
  bool LoadKeptEntry(std::string_view key, TvxPDFObject* value, TvxKeptPlace place = TvxKeptPlace::Elsewhere);
  // Helpers of the outline and name readers (vxCstPDFDocOutlines.cpp).
  void AppendNamedDestination(std::string name, TvxPDFObjectPtr destination);
  void ReadNameTreeNode(TvxPDFDictObject* node);
  void ProcessAction(TvxPDFDictObject& action);
  void ResolveLinkDestinations();                               // vxCstPDFDocLinks.cpp
  bool SetUpDecryption(const std::string& password);           // vxCstPDFDocDecrypt.cpp
  void ReportPermsCheck();                                      // vxCstPDFDocDecrypt.cpp
  // Raises EPasswordError when a save would keep a key /Perms disproves.
  void CheckEncryptionIntegrity() const;                        // vxCstPDFDocDecrypt.cpp
  void ExpandPendingObjectStreams();                            // vxCstPDFDocStore.cpp
  // The thread that decodes and parses object streams ahead of
  // ExpandObjectStreams, with the streams queued; null where not worth it.
  std::unique_ptr<TvxLoadHelper> ExpandAhead(const std::vector<int64_t>& streams);
  // Object stream `s` decoded as far as its data allows (`filter` resolved,
  // null for none); damage is reported through OnWarning and sets `damaged`.
  std::shared_ptr<const std::string> DecodeObjectStream(int64_t s, const TvxPDFStreamObject& stream,
                                                        const TvxPDFObject* filter, bool& damaged);
  // An object stream decoded for loading on demand: its bytes and where each
  // member (the first of a number) starts in them.
  struct TvxObjectStreamIndex {
    std::shared_ptr<const std::string> Data;  // null once let go
    // (number, start) by number; of a number given twice, the first.
    TvxObjectStreamMembers Members;
    std::unique_ptr<TvxPDFStreamReader> Reader;  // over Data, for every member
    // Members parsed ahead by the load helper, each taken once.
    std::unordered_map<int32_t, TvxPDFObjectPtr> Parsed;
    // What Data is decoded from, to decode it again after it was let go
    // (read for a report only); a stream decoded again is kept from then on.
    std::unique_ptr<TvxPDFIndirectObject> Holder;
    TvxPDFObjectPtr Filter;  // resolved; null for data stored as it is
    bool KeptForGood = false;
    bool Damaged = false;  // decoded only in part: a member that does not parse reads as null
  };
  struct TvxObjectStreamJob;

  // Loading on demand (vxCstPDFDocOnDemand.cpp).
  // From here on the store reads what it misses from the held bytes.
  void ServeOnDemand();
  // Object `n` (any generation) stored unreached when it was not stored
  // yet: an object-stream member by expanding its stream, else read at its
  // offset. Answers the stored object, or nothing.
  TvxPDFIndirectObject* ReadOnDemand(int32_t n);
  // Object stream `s` decoded once, or nothing when it holds no members.
  TvxObjectStreamIndex* ObjectStreamIndex(int64_t s);
  std::unique_ptr<TvxPDFIndirectObject> ReadObjectStreamHolder(int64_t s);
  // Read for a report: the object streams holding these objects are read
  // now, and decoded with these objects parsed on the load helper's thread
  // while the load goes on.
  void DecodeAheadFor(const std::vector<int32_t>& numbers);
  void QueueObjectStream(int64_t s, std::vector<int32_t> wanted);
  TvxPDFIndirectObject* ReadMemberOnDemand(int32_t n, int64_t s);
  // Read for a report, only the streams decoded last keep their data, so
  // that the memory of the others serves the next ones.
  void KeepDecodedData(int64_t s, TvxObjectStreamIndex& index);
  void DecodeAgain(TvxObjectStreamIndex& index);
  bool ServingOnDemand() const { return servingOnDemand_; }
  // Reading for a report: LoadFromFile over the file read piece by piece,
  // and what makes it read the whole file after all.
  bool LoadForReport(const std::string& fileName);
  bool LoadSource(const std::string& name);
  // A reader of the source from its start: over the bytes held, or over the
  // file read for a report; nothing once the source is gone.
  std::unique_ptr<TvxPDFStreamReader> SourceReader() const;
  // The source's size and up to `count` of its bytes from `offset`, read
  // without keeping them (the file read on demand is not filled by this).
  size_t SourceSize() const;
  std::string SourceBytes(size_t offset, size_t count) const;
  // LoadObjectClosure of `value` kept for CompleteLoad.
  void DeferWalk(TvxPDFObject* value);
  // Drops a kept entry whose walk failed in CompleteLoad.
  void LeaveOutKeptEntry(TvxKeptPlace place, const std::string& key);

  friend class TvxClosureWalker;
  friend class TvxFormReader;
  friend class TvxOutlineReader;
  friend class TvxOutlineWriter;
  friend class TvxDocumentWriter;
  friend class TvxIncrementalWriter;
  friend class TvxPDFInfo;
  friend class TvxPageTreeWalker;
  friend class TvxDeepResolver;
  friend class TvxObjectTextPipeline;
  friend class TvxLinearizationPlan;
  friend class TvxUserWalker;
  friend class TvxLinearizer;

  // Document state.
  uint32_t documentID_ = 0;
  std::shared_ptr<const std::string> fileBytes_;
  // The file read piece by piece, when read for a report or on demand
  // (else null).
  std::shared_ptr<TvxFileOnDemand> sourceFile_;
  // The save file an expected update was begun in (UpdateTarget), under
  // the name it was begun for and whether links are replaced.
  std::unique_ptr<TvxSaveFile> preparedUpdate_;
  std::string preparedName_;
  bool preparedReplacesLinks_ = false;
  // Read for a report: never completed nor saved, and what only a save
  // needs (the kept walks, the snapshot) is not kept.
  bool reportOnly_ = false;
  // Such a load goes on while its entries are checked; its warnings wait
  // for the check (a load of the whole file after all would repeat them).
  std::unique_ptr<TvxLoadHelper> loadHelper_;
  bool readingAhead_ = false;  // reading an object stream for loadHelper_
  bool holdWarnings_ = false;
  std::vector<std::string> heldWarnings_;
  std::unique_ptr<TvxPDFStreamReader> reader_;
  std::vector<TvxEntrySlot<TvxXRefItem>> xrefItems_;
  std::vector<TvxEntrySlot<TvxXRefStmItem>> xrefStmItems_;
  // Kept when the entry lists are dropped.
  bool sourceHadObjectStreams_ = false;
  TvxOffsetTable loadedOffsets_;
  std::unique_ptr<TvxPDFObjectStore> store_;
  std::unique_ptr<TvxPDFObjectStore> saveStore_;
  // While a save runs: the dictionaries of the pages of PageList, the only
  // ones written under the new page-tree root (a /Type /Page elsewhere is
  // someone else's dictionary and is written as it is).
  std::unordered_set<const TvxPDFObject*> savedPageDictionaries_;
  std::vector<TvxPDFIndirectObject*> pageList_;
  int declaredPageCount_ = -1;
  std::unique_ptr<TvxPDFTrailer> trailer_;
  std::unique_ptr<TvxPDFCatalog> catalog_;
  std::unique_ptr<TvxPDFInfo> info_;
  std::unique_ptr<TvxPDFOutline> outlineRoot_;
  std::unique_ptr<std::vector<std::pair<std::string, TvxPDFObjectPtr>>> namedDestinations_;
  // First position of each name in namedDestinations_, for lists that are
  // not sorted (a /Dests dictionary in file order).
  std::unordered_map<std::string, int> namedDestinationIndex_;
  std::unique_ptr<std::vector<std::unique_ptr<TvxAcroFormField>>> fieldList_;
  std::unique_ptr<TvxPDFDecrypt> decrypt_;
  std::unique_ptr<TvxPDFEncryption> encryption_;
  std::unique_ptr<TvxPDFEncryptionSettings> encryptionSettings_;
  std::unique_ptr<TvxCompression> compression_;
  std::unique_ptr<TvxASCIIEncode> asciiEncode_;
  bool decodeStreams_ = false;
  std::unique_ptr<TvxPDFObject> pendingIdValue_;  // first /ID met along the chain
  mutable TvxDuplicateKeys duplicateKeys_;  // keys the readers found given twice, said once the load is done
  int trailersTaken_ = 0;           // trailer dictionaries read so far, newest first
  bool olderInfoPassedOver_ = false;  // an older trailer names an /Info the newest does not
  int32_t nextSaveNumber_ = 3;
  int32_t saveStateStream_ = -1;
  int32_t restoreStateStream_ = -1;
  int walkDepth_ = 0;  // nesting of stream-dictionary walks while loading
  std::vector<int64_t> readingOffsets_;  // objects being read, innermost last
  std::unique_ptr<TvxObjectPreparser> preparser_;  // parses ahead of the loader
  bool deferredObjectStreams_ = false;  // object streams still to expand
  // Loading on demand: the store reads on a miss; the walks of the eager
  // loader are kept (as the references they follow, or copies of the
  // values, in load order) for CompleteLoad; what each number gave once
  // read; the object streams decoded so far; nesting of reads started by a
  // lookup.
  bool servingOnDemand_ = false;
  bool deferWalks_ = false;
  struct TvxDeferredWalk {
    TvxPDFObjectPtr Value;
    std::string KeptKey;
    TvxKeptPlace Place = TvxKeptPlace::None;
    // Without a Value: a walk of deferredReferences_[First, Last).
    size_t First = 0;
    size_t Last = 0;
  };
  std::vector<TvxDeferredWalk> deferredWalks_;
  // The references the deferred walks of plain values follow, in order.
  std::vector<TvxObjectKey> deferredReferences_;
  std::unordered_map<int32_t, TvxPDFIndirectObject*> readOnDemand_;
  std::unordered_map<int64_t, std::unique_ptr<TvxObjectStreamIndex>> decodedObjectStreams_;
  std::deque<int64_t> keptDecodedStreams_;  // oldest first, with their bytes' total
  size_t keptDecodedBytes_ = 0;
  int onDemandDepth_ = 0;
  bool loadStarted_ = false;            // a load began since the last reset
  std::unordered_set<int64_t> visitedSections_;  // cross-reference sections read
  bool xrefLoopSeen_ = false;                    // a /Prev chain came back to a section
  bool repaired_ = false;
  TvxLinearizationState sourceLinearization_ = lsNone;
  std::optional<bool> linearize_;
  // Found by a rebuild, for CompleteRepair: object streams (number, offset)
  // and objects that may be the catalog, in file order.
  struct TvxCatalogCandidate {
    int64_t Offset;        // of the object, or of the object stream holding it
    int32_t Number;
    int32_t StreamNumber;  // -1 for an object of its own
  };
  std::vector<std::pair<int32_t, int64_t>> repairObjectStreams_;
  std::vector<TvxCatalogCandidate> repairCatalogs_;
  std::vector<bool> repairTableNumbers_;  // numbers the file's own table placed

  bool isLoaded_ = false;
  bool isEncrypted_ = false;
  TvxPDFVersion pdfVersion_ = pvPDF14;
  TvxPageMode pageMode_ = pmNone;
  TvxPageLayout pageLayout_ = plNone;
  bool metadataStripped_ = false;
  std::string filename_;
  std::string workFileName_;

  // Simple properties kept across resets.
  bool openAfterSave_ = false;
  TvxMergeOptions mergeOptions_{moIncludeOutlines, moIncludeFormFields};
  TvxMeasurementUnit measurementUnit_ = muPixels;
  TvxBaseDlg* setupDialog_ = nullptr;
  bool showSetupDialog_ = true;
  bool literalFileNames_ = false;
  bool loadOnDemand_ = false;
  bool readForReport_ = false;
  bool readFileOnDemand_ = false;
  std::string updateTarget_;
  bool emailAfterSave_ = false;
  std::unique_ptr<TvxEMailInfo> emailInfo_;
  unsigned saveThreads_ = 0;
  unsigned loadThreads_ = 0;
  TvxObjectStreamMode objectStreams_ = osDisable;
  std::atomic<bool> saveCancelled_{false};
  TvxSaveKind saveKind_ = TvxSaveKind::Rewrite;
  bool replaceLinksOnSave_ = false;
  // While an update is written: references to loaded objects up to this
  // number keep their numbers and generations (0: objects are renumbered).
  int32_t keptNumbersUpTo_ = 0;
  uint16_t saveGeneration_ = 0;  // generation of the object being encrypted
  std::unique_ptr<TvxSourceSnapshot> sourceSnapshot_;
};

}  // namespace vx
