// The incremental update: source bytes, then the changed objects, a
// cross-reference section of the source's newest kind and a trailer that
// points back at the source's newest section.
#include "pdf/document/vxIncrementalWriter.h"

#include <algorithm>
#include <charconv>
#include <unordered_set>

#include "pdf/document/vxDocumentWriter.h"
#include "pdf/document/vxXmpMetadata.h"
#include "pdf/security/vxPDFCrypt.h"
#include "pdf/util/vxExceptions.h"
#include "pdf/util/vxPDFResStrs.h"
#include "pdf/util/vxPDFUtils.h"
#include "pdf/util/vxUtils.h"

namespace vx {

namespace {

// The /Prev chain of a damaged or hostile file is followed this far at most.
constexpr int kMaxRevisions = 4096;
// The format's limit on object numbers.
constexpr int64_t kMaxObjectNumber = 8388607;

std::string StringValueBytes(const TvxPDFStringObject& s) { return s.IsHex ? HexToBytes(s.Contents()) : s.Contents(); }

// While an update is serialised, references keep the loaded numbers; the
// document goes back to renumbering afterwards, whatever happens.
class TvxKeptNumbersScope {
 public:
  TvxKeptNumbersScope(int32_t& setting, int32_t value) : setting_(setting) { setting_ = value; }
  ~TvxKeptNumbersScope() { setting_ = 0; }

 private:
  int32_t& setting_;
};

// The text a value is written as, with strings encrypted for `objectNumber`
// (-1: as they stand); empty for nothing or for a reference that is not written.
std::string ValueText(TvxCustomPDFDocument& document, int32_t objectNumber, const TvxPDFObject* value) {
  if (!value) return std::string();
  std::string text = document.SerializeObject(objectNumber, value);
  return text == "null" ? std::string() : text;
}

// Where the text of the header version ends up as a TvxPDFVersion ordinal, or -1.
int VersionOrdinal(std::string_view text) {
  static const char* const kTexts[9] = {"1.0", "1.1", "1.2", "1.3", "1.4", "1.5", "1.6", "1.7", "2.0"};
  for (int i = 0; i < 9; ++i)
    if (text == kTexts[i]) return i;
  return -1;
}

}  // namespace

// ------------------------------------------------------------- what the file has

namespace {

// The trailer dictionary of the section at `offset`: a table's trailer, or
// a cross-reference stream's dictionary (null when it is neither).
std::unique_ptr<TvxPDFDictObject> SectionTrailer(TvxPDFStreamReader& reader, int64_t offset) {
  reader.Ensure(size_t(offset), 4);
  reader.SetPos(size_t(offset));
  if (reader.PeekView(4) == "xref") {
    return reader.Within(size_t(offset), [&reader, offset] {
      reader.SetPos(size_t(offset));
      return reader.ReadTrailer();
    });
  }
  TvxPDFObjectPtr parsed = reader.Within(size_t(offset), [&reader, offset] {
    reader.SetPos(size_t(offset));
    return reader.ParseObject();
  });
  auto* object = As<TvxPDFIndirectObject>(parsed.get());
  auto* stream = object ? As<TvxPDFStreamObject>(object->Content.get()) : nullptr;
  if (!stream || !stream->Dictionary) return nullptr;
  return std::unique_ptr<TvxPDFDictObject>(static_cast<TvxPDFDictObject*>(stream->Dictionary->Clone().release()));
}

}  // namespace

std::optional<TvxSourceTail> TvxIncrementalWriter::ReadTail(const TvxCustomPDFDocument& document) {
  std::unique_ptr<TvxPDFStreamReader> source = document.SourceReader();
  if (!source) return std::nullopt;
  try {
    TvxPDFStreamReader& reader = *source;
    TvxSourceTail tail;
    tail.StartXRef = reader.FindStartXRef();
    if (tail.StartXRef <= 0 || uint64_t(tail.StartXRef) >= reader.WholeSize()) return std::nullopt;
    reader.Ensure(size_t(tail.StartXRef), 4);
    reader.SetPos(size_t(tail.StartXRef));
    tail.IsStream = reader.PeekView(4) != "xref";
    tail.Trailer = SectionTrailer(reader, tail.StartXRef);
    if (!tail.Trailer) return std::nullopt;
    if (tail.IsStream) {
      auto* type = As<TvxPDFNameObject>(tail.Trailer->Find("/Type"));
      if (!type || type->Text != "/XRef") return std::nullopt;
    }
    tail.Size = IntegerValue(tail.Trailer->Find("/Size")).value_or(0);
    if (tail.Size <= 0) return std::nullopt;
    return tail;
  } catch (const EReadError&) {
    throw;  // the file itself failed, not its tail
  } catch (const Exception&) {
    return std::nullopt;
  }
}

int TvxIncrementalWriter::CountRevisions(const TvxCustomPDFDocument& document) {
  std::optional<TvxSourceTail> tail = ReadTail(document);
  if (!tail) return 0;
  std::unique_ptr<TvxPDFStreamReader> source = document.SourceReader();
  TvxPDFStreamReader& reader = *source;
  std::unordered_set<int64_t> seen{tail->StartXRef};
  std::optional<int64_t> prev = IntegerValue(tail->Trailer->Find("/Prev"));
  int count = 1;
  while (prev && *prev > 0 && uint64_t(*prev) < reader.WholeSize() && seen.insert(*prev).second &&
         count < kMaxRevisions) {
    std::unique_ptr<TvxPDFDictObject> trailer;
    try {
      trailer = SectionTrailer(reader, *prev);
    } catch (const EReadError&) {
      throw;  // the file itself failed, not a section of it
    } catch (const Exception&) {
      trailer.reset();
    }
    if (!trailer) break;
    ++count;
    prev = IntegerValue(trailer->Find("/Prev"));
  }
  return count;
}

int TvxCustomPDFDocument::RevisionCount() const { return TvxIncrementalWriter::CountRevisions(*this); }

int TvxCustomPDFDocument::SignatureCount() const {
  if (!fieldList_) return 0;
  int count = 0;
  for (const auto& field : *fieldList_) {
    if (field->Kind != fkSignature || !field->FieldObject) continue;
    auto* dict = As<TvxPDFDictObject>(field->FieldObject->Content.get());
    const TvxPDFObject* value = dict ? dict->Find("/V") : nullptr;
    if (value && !value->IsNull()) ++count;
  }
  return count;
}

void TvxCustomPDFDocument::MarkPageChanged(int pageIndex) {
  if (sourceSnapshot_) sourceSnapshot_->ChangedPages.insert(pageIndex);
}

void TvxCustomPDFDocument::MarkObjectChanged(const TvxPDFIndirectObject* object) {
  if (sourceSnapshot_ && object && object->DocumentID == documentID_)
    sourceSnapshot_->ChangedObjects.emplace(object->ObjectNumber, object->Generation);
}

// ---------------------------------------------------- what the settings held

namespace {

TvxPDFIndirectObject* MetadataObject(const TvxCustomPDFDocument& doc) {
  auto* ref = As<TvxPDFIndirectReference>(doc.Catalog().MetadataRef.get());
  return ref ? doc.Store().Find(ref) : nullptr;
}

std::optional<std::string> MetadataData(const TvxCustomPDFDocument& doc) {
  TvxPDFIndirectObject* object = MetadataObject(doc);
  auto* stream = object ? As<TvxPDFStreamObject>(object->Content.get()) : nullptr;
  if (!stream) return std::nullopt;
  return std::string(stream->DataView());
}

TvxPDFDictObject* FormDictionary(const TvxCustomPDFDocument& doc) {
  if (!doc.Catalog().AcroFormValue) return nullptr;
  return As<TvxPDFDictObject>(doc.Store().Resolve(doc.Catalog().AcroFormValue.get()));
}

}  // namespace

void TvxIncrementalWriter::TakeSnapshot(TvxCustomPDFDocument& doc) {
  // A snapshot that cannot be taken costs only the incremental save (which
  // then refuses), never the load.
  doc.sourceSnapshot_.reset();
  try {
    doc.sourceSnapshot_ = Snapshot(doc);
  } catch (const Exception&) {
  }
}

std::unique_ptr<TvxSourceSnapshot> TvxIncrementalWriter::Snapshot(TvxCustomPDFDocument& doc) {
  auto snapshot = std::make_unique<TvxSourceSnapshot>();
  TvxKeptNumbersScope kept(doc.keptNumbersUpTo_, INT32_MAX);
  auto plain = [&doc](const TvxPDFObject* value) { return ValueText(doc, -1, value); };
  snapshot->LastLoadedNumber = doc.store_->LastObjectNumber();
  snapshot->PageModeText = doc.PageModeText();
  snapshot->PageLayoutText = doc.PageLayoutText();
  snapshot->PreferencesText = doc.catalog_->ViewerPreferences.BuildPreferencesText(plain);
  snapshot->MetadataText = plain(doc.catalog_->MetadataRef.get());
  snapshot->OpenActionText = plain(doc.catalog_->OpenActionValue.get());
  snapshot->LanguageText = plain(doc.catalog_->LanguageValue.get());
  if (TvxPDFDictObject* form = FormDictionary(doc)) snapshot->NeedAppearancesText = plain(form->Find("/NeedAppearances"));
  snapshot->InfoText = plain(doc.info_->InfoDict());
  snapshot->MetadataData = MetadataData(doc);
  return snapshot;
}

// ------------------------------------------------------------------ the writer

TvxIncrementalWriter::TvxIncrementalWriter(TvxCustomPDFDocument& document, TvxSaveFile& output)
    : document_(document), output_(output) {}

TvxIncrementalWriter::~TvxIncrementalWriter() { document_.saveGeneration_ = 0; }

void TvxIncrementalWriter::CheckSettings() {
  TvxCustomPDFDocument& doc = document_;
  auto refuse = [](const std::string& setting) {
    throw EIncrementalSaveRefused(Format(res::SIncrementalNeedsRewrite, {setting}));
  };
  // The version: the header stays, so an update can only raise it through
  // the catalog's /Version, which readers know from 1.4 on.
  const std::string start = doc.SourceBytes(0, 1024 + 8);
  int header = int(pvPDF14);
  size_t at = start.find("%PDF-", 0);
  if (at != std::string::npos && at < 1024) header = std::max(0, VersionOrdinal(std::string_view(start).substr(at + 5, 3)));
  int declared = header;
  if (auto* version = As<TvxPDFNameObject>(doc.catalog_->LoadedDictionary->Find("/Version"))) {
    int ordinal = VersionOrdinal(std::string_view(version->Text).substr(1));
    declared = std::max(declared, ordinal);
  }
  const int chosen = int(doc.PDFVersion());
  versionText_.clear();
  if (chosen != header && chosen != declared) {
    if (chosen < declared || chosen < int(pvPDF14))
      refuse(Format(chosen < declared ? res::SIncrementalLowerVersion : res::SIncrementalVersion,
                    {PDFVersionText(chosen), PDFVersionText(declared)}));
    versionText_ = "/" + PDFVersionText(chosen);
  }
  if (doc.metadataStripped_) throw EIncrementalSaveRefused(res::SIncrementalStripMetadata);
  // Streams already in the file are not written again, so nothing can
  // compress or re-encode them.
  if (doc.compression_->Active) refuse(res::SIncrementalCompression);
  if (doc.decodeStreams_ || doc.asciiEncode_->Active) refuse(res::SIncrementalStreamEncoding);
  // The update's own objects are written plainly; "preserve" asks for
  // nothing new, since the source's object streams stay as they are.
  if (doc.ObjectStreams() == osGenerate) refuse(res::SIncrementalObjectStreams);
  // Asked for in so many words: an update cannot keep the layout (one
  // that follows from the source alone is simply given up, and the file
  // then reports its linearization as broken).
  if (doc.LinearizeSet() && doc.Linearize()) refuse(res::SIncrementalLinearize);
  // The encryption dictionary stays: new objects use the file's own key.
  const TvxPDFEncryptionSettings& settings = doc.Encryption();
  if (settings.Enabled() != doc.isEncrypted_ || (doc.isEncrypted_ && (!doc.decrypt_ || !doc.decrypt_->KeepsEncryption(settings))))
    refuse(res::SIncrementalEncryption);
}

std::string TvxIncrementalWriter::CatalogText(int32_t objectNumber, bool asLoaded) {
  TvxCustomPDFDocument& doc = document_;
  const TvxSourceSnapshot& snapshot = *doc.sourceSnapshot_;
  const TvxPDFDictObject& loaded = *doc.catalog_->LoadedDictionary;
  auto value = [&doc, objectNumber](const TvxPDFObject* v) { return ValueText(doc, objectNumber, v); };
  auto plain = [&doc](const TvxPDFObject* v) { return ValueText(doc, -1, v); };

  // Entries replaced (an empty text removes the entry).
  std::vector<std::pair<std::string, std::string>> replaced;
  if (!asLoaded) {
    if (doc.PageModeText() != snapshot.PageModeText) replaced.emplace_back("/PageMode", doc.PageModeText());
    if (doc.PageLayoutText() != snapshot.PageLayoutText) replaced.emplace_back("/PageLayout", doc.PageLayoutText());
    const TvxPDFViewerPreferences& prefs = doc.catalog_->ViewerPreferences;
    if (prefs.BuildPreferencesText(plain) != snapshot.PreferencesText)
      replaced.emplace_back("/ViewerPreferences", prefs.BuildPreferencesText(value));
    if (plain(doc.catalog_->MetadataRef.get()) != snapshot.MetadataText)
      replaced.emplace_back("/Metadata", value(doc.catalog_->MetadataRef.get()));
    if (plain(doc.catalog_->OpenActionValue.get()) != snapshot.OpenActionText)
      replaced.emplace_back("/OpenAction", value(doc.catalog_->OpenActionValue.get()));
    if (plain(doc.catalog_->LanguageValue.get()) != snapshot.LanguageText)
      replaced.emplace_back("/Lang", value(doc.catalog_->LanguageValue.get()));
    // A form dictionary held in the catalog itself changes with it.
    const TvxPDFObject* loadedForm = loaded.Find("/AcroForm");
    TvxPDFDictObject* form = FormDictionary(doc);
    if (form && loadedForm && loadedForm->IsDictionary() &&
        plain(form->Find("/NeedAppearances")) != snapshot.NeedAppearancesText)
      replaced.emplace_back("/AcroForm", value(form));
    if (!versionText_.empty()) replaced.emplace_back("/Version", versionText_);
  }

  std::string entries;
  std::vector<bool> used(replaced.size(), false);
  for (int i = 0; i < loaded.Count(); ++i) {
    const std::string& key = loaded.KeyAt(i);
    if (loaded.IndexOf(key) != i) continue;  // only the first of duplicate keys counts
    auto it = std::find_if(replaced.begin(), replaced.end(), [&key](const auto& r) { return r.first == key; });
    if (it != replaced.end()) {
      used[size_t(it - replaced.begin())] = true;
      entries += TvxCustomPDFDocument::EntryText(key, it->second);
    } else {
      entries += TvxCustomPDFDocument::EntryText(key, value(loaded.ValueAt(i)));
    }
  }
  for (size_t k = 0; k < replaced.size(); ++k)
    if (!used[k]) entries += TvxCustomPDFDocument::EntryText(replaced[k].first, replaced[k].second);
  return TvxCustomPDFDocument::WrapDictionary(entries);
}

void TvxIncrementalWriter::WriteText(int32_t number, uint16_t generation, const std::string& body) {
  entries_.push_back({number, generation, base_ + int64_t(update_.size())});
  AppendInteger(update_, number);
  update_ += ' ';
  AppendInteger(update_, generation);
  update_ += " obj\r\n";
  update_ += body;
  update_ += "\r\nendobj\r\n";
}

void TvxIncrementalWriter::WriteObject(int32_t number, uint16_t generation, const TvxPDFObject* content) {
  document_.saveGeneration_ = generation;
  std::string body;
  if (auto* stream = As<TvxPDFStreamObject>(content)) {
    TvxStreamText text = TvxDocumentWriter::EncodeStream(document_, number, *stream);
    body = text.DictText;
    body += "\r\nstream\r\n";
    body += text.Data();
    body += "\r\nendstream";
  } else if (content) {
    TvxDocumentWriter::AppendObject(document_, body, number, content);
  } else {
    body = "null";
  }
  document_.saveGeneration_ = 0;
  WriteText(number, generation, body);
}

std::string TvxIncrementalWriter::IdText(const TvxSourceTail& tail) {
  // The first element names the document and stays; the second names this
  // revision and is made from its bytes, so the same save gives the same file.
  const TvxPDFObject* id = tail.Trailer->Find("/ID");
  if (!id) id = document_.trailer_->IDArray.get();
  std::string first;
  if (auto* array = As<TvxPDFArrayObject>(id)) {
    if (auto* s = As<TvxPDFStringObject>(array->GetItem(0))) first = StringValueBytes(*s);
  }
  // The key of an encrypted file without /ID was made from an empty first
  // element: an /ID added now would change the key readers compute.
  if (first.empty() && document_.isEncrypted_) return std::string();
  if (first.empty()) {
    const TMD5Digest digest = MD5(document_.SourceBytes(0, 65536));
    first.assign(reinterpret_cast<const char*>(digest.data()), digest.size());
  }
  const TMD5Digest second = MD5(first + update_);
  return "[ <" + BytesToHex(first) + "> <" +
         BytesToHex(std::string_view(reinterpret_cast<const char*>(second.data()), second.size())) + "> ]";
}

void TvxIncrementalWriter::WriteXRef(const TvxSourceTail& tail) {
  TvxCustomPDFDocument& doc = document_;
  auto plain = [&doc](const TvxPDFObject* v) { return ValueText(doc, -1, v); };
  std::string trailer;
  std::string root = plain(tail.Trailer->Find("/Root"));
  if (root.empty())
    root = std::to_string(doc.trailer_->RootNumber) + " " + std::to_string(doc.catalog_->LoadedGeneration) + " R";
  std::string info = infoReference_.empty() ? plain(tail.Trailer->Find("/Info")) : infoReference_;
  if (info.empty() && doc.trailer_->InfoRef) info = plain(doc.trailer_->InfoRef.get());
  std::string encrypt = plain(tail.Trailer->Find("/Encrypt"));
  if (encrypt.empty() && doc.isEncrypted_) encrypt = plain(doc.trailer_->EncryptValue.get());

  int32_t xrefNumber = 0;
  if (tail.IsStream) {
    xrefNumber = NewNumber();
    entries_.push_back({xrefNumber, 0, base_ + int64_t(update_.size())});
  }
  std::sort(entries_.begin(), entries_.end(), [](const TvxEntry& a, const TvxEntry& b) { return a.Number < b.Number; });
  // Runs of consecutive numbers, as (first, count).
  std::vector<std::pair<int32_t, int32_t>> runs;
  for (const TvxEntry& e : entries_) {
    if (!runs.empty() && runs.back().first + runs.back().second == e.Number)
      ++runs.back().second;
    else
      runs.emplace_back(e.Number, 1);
  }
  // One more than the highest number in use, as readers check.
  const int64_t size = std::max<int64_t>(tail.Size, int64_t(entries_.back().Number) + 1);
  std::string common = TvxCustomPDFDocument::EntryText("/Size", std::to_string(size)) +
                       TvxCustomPDFDocument::EntryText("/Root", root) + TvxCustomPDFDocument::EntryText("/Info", info) +
                       TvxCustomPDFDocument::EntryText("/Encrypt", encrypt) +
                       TvxCustomPDFDocument::EntryText("/Prev", std::to_string(tail.StartXRef));
  const int64_t start = base_ + int64_t(update_.size());

  if (!tail.IsStream) {
    std::string table = "xref\r\n";
    size_t k = 0;
    for (const auto& [first, count] : runs) {
      table += std::to_string(first) + " " + std::to_string(count) + "\r\n";
      for (int32_t i = 0; i < count; ++i, ++k) {
        if (entries_[k].Offset > 9999999999LL) throw EWriteError(res::SFileTooLargeForXRef);
        AppendPadded(table, entries_[k].Offset, 10);
        table += ' ';
        AppendPadded(table, entries_[k].Generation, 5);
        table += " n\r\n";
      }
    }
    std::string id = IdText(tail);
    update_ += table;
    update_ += "trailer\r\n" + TvxCustomPDFDocument::WrapDictionary(common + TvxCustomPDFDocument::EntryText("/ID", id));
  } else {
    // Entries of type 1: offset in 4 bytes, or 8 past 4 GB; generation in 2.
    const int offsetWidth = start > int64_t(UINT32_MAX) ? 8 : 4;
    std::string data;
    for (const TvxEntry& e : entries_) {
      data += char(1);
      for (int b = offsetWidth - 1; b >= 0; --b) data += char((e.Offset >> (8 * b)) & 0xFF);
      data += char((e.Generation >> 8) & 0xFF);
      data += char(e.Generation & 0xFF);
    }
    std::string index;
    for (const auto& [first, count] : runs) index += std::to_string(first) + " " + std::to_string(count) + " ";
    std::string id = IdText(tail);
    std::string dict = TvxCustomPDFDocument::EntryText("/Type", "/XRef") + common +
                       TvxCustomPDFDocument::EntryText("/ID", id) +
                       TvxCustomPDFDocument::EntryText("/W", "[ 1 " + std::to_string(offsetWidth) + " 2 ]") +
                       TvxCustomPDFDocument::EntryText("/Index", "[ " + index + "]") +
                       TvxCustomPDFDocument::EntryText("/Length", std::to_string(data.size()));
    AppendInteger(update_, xrefNumber);
    update_ += " 0 obj\r\n" + TvxCustomPDFDocument::WrapDictionary(dict) + "\r\nstream\r\n" + data +
               "\r\nendstream\r\nendobj\r\n";
  }
  update_ += "\r\nstartxref\r\n" + std::to_string(start) + "\r\n%%EOF\r\n";
}

void TvxIncrementalWriter::CopySource() {
  // A file read on demand is copied file to file, never held in memory.
  if (document_.sourceFile_)
    output_.CopyFrom(*document_.sourceFile_);
  else
    output_.Write(*document_.fileBytes_);
}

int32_t TvxIncrementalWriter::NewNumber() {
  if (nextNumber_ > kMaxObjectNumber)
    throw EIncrementalSaveRefused(Format(res::SIncrementalNoNumbers, {std::to_string(sourceSize_)}));
  return int32_t(nextNumber_++);
}

void TvxIncrementalWriter::WriteDocument() {
  TvxCustomPDFDocument& doc = document_;
  if (doc.repaired_ || !doc.sourceSnapshot_ || !doc.catalog_->LoadedDictionary)
    throw EIncrementalSaveRefused(res::SIncrementalNoXRef);
  std::optional<TvxSourceTail> tail = ReadTail(doc);
  if (!tail) throw EIncrementalSaveRefused(res::SIncrementalNoXRef);
  CheckSettings();
  TvxSourceSnapshot& snapshot = *doc.sourceSnapshot_;
  if (doc.Encryption().Enabled()) doc.CreateEncryptionHandler();  // the file's own key

  const size_t sourceSize = doc.SourceSize();
  base_ = int64_t(sourceSize);
  // The update starts on a line of its own.
  const std::string last = sourceSize > 0 ? doc.SourceBytes(sourceSize - 1, 1) : std::string();
  if (!last.empty() && last[0] != '\n' && last[0] != '\r') update_ += "\r\n";

  const int32_t lastLoaded = snapshot.LastLoadedNumber;
  TvxKeptNumbersScope kept(doc.keptNumbersUpTo_, std::max(lastLoaded, 1));
  nextNumber_ = std::max<int64_t>(tail->Size, int64_t(lastLoaded) + 1);
  sourceSize_ = tail->Size;

  // Objects added since the load (an XMP packet, stamps) get numbers above
  // every number the file uses.
  std::vector<TvxPDFIndirectObject*> added;
  for (const auto& object : doc.store_->Objects()) {
    const bool isNew = object->DocumentID != doc.documentID_ || object->ObjectNumber > lastLoaded;
    if (isNew && object->UseCount != 0) {
      object->NewNumber = NewNumber();
      added.push_back(object.get());
    }
  }

  // The information: a changed one gets the producer and its texts encoded
  // for the object it is written as.
  const TvxPDFDictObject* infoDict = doc.info_->InfoDict();
  const bool infoChanged = ValueText(doc, -1, infoDict) != snapshot.InfoText;
  int32_t infoNumber = 0;
  uint16_t infoGeneration = 0;
  if (infoChanged) {
    // The information goes back into its own object, unless that object is
    // also something else (a damaged file whose /Info names its page tree,
    // say): then it becomes a new object and the other one stays untouched.
    const TvxPDFIndirectReference* infoRef = doc.trailer_->InfoRef.get();
    const TvxPDFIndirectObject* infoStored = infoRef ? doc.store_->Find(infoRef) : nullptr;
    const bool infoShared = infoRef && (infoRef->ObjectNumber == doc.trailer_->RootNumber ||
                                        (infoStored && infoStored->UseCount != 0) || infoDict->Find("/Type") ||
                                        infoDict->Find("/Kids") || infoDict->Find("/Parent"));
    if (infoRef && !infoShared) {
      infoNumber = doc.trailer_->InfoRef->ObjectNumber;
      infoGeneration = doc.trailer_->InfoRef->Generation;
    } else {
      infoNumber = NewNumber();
      infoReference_ = std::to_string(infoNumber) + " 0 R";
    }
    TvxPDFInfo& info = *doc.info_;
    info.SetProducer(AnsiToWide(res::SProducerText));
    doc.saveGeneration_ = infoGeneration;
    TvxPDFDictObject* dict = info.InfoDict();
    for (const char* key : {"/Title", "/Author", "/Subject", "/Keywords", "/Creator", "/Producer"})
      if (As<TvxPDFNameObject>(dict->Find(key)))
        dict->SetValue(key, MakeName("(" + doc.EncodeTextString(info.InfoText(key), infoNumber) + ")"));
    for (const char* key : {"/CreationDate", "/ModDate"})
      if (As<TvxPDFNameObject>(dict->Find(key)))
        dict->SetValue(key, MakeName("(" + doc.EncodeTextString(AnsiToWide(info.InfoDate(key)), infoNumber) + ")"));
    info.EncodeCustomFor(infoNumber);
    doc.saveGeneration_ = 0;
  }
  // The packet follows the information and the catalog's language.
  if (infoChanged || doc.info_->Changed("/Lang")) SyncXmpPacket(doc);

  doc.Status(Format(res::SAppendingUpdate, {output_.Target()}));
  for (TvxPDFIndirectObject* object : added) WriteObject(object->NewNumber, 0, object->Content.get());

  const bool metadataAdded = MetadataObject(doc) && std::find(added.begin(), added.end(), MetadataObject(doc)) != added.end();
  if (TvxPDFIndirectObject* metadata = MetadataObject(doc); metadata && !metadataAdded &&
                                                            MetadataData(doc) != snapshot.MetadataData)
    WriteObject(metadata->ObjectNumber, metadata->Generation, metadata->Content.get());

  // Pages and other loaded objects changed in place (a transition, stamps).
  std::set<std::pair<int32_t, uint16_t>> changed = snapshot.ChangedObjects;
  for (int index : snapshot.ChangedPages) {
    if (index < 0 || size_t(index) >= doc.pageList_.size() || !doc.pageList_[size_t(index)]) continue;
    const TvxPDFIndirectObject* page = doc.pageList_[size_t(index)];
    if (page->DocumentID == doc.documentID_) changed.emplace(page->ObjectNumber, page->Generation);
  }
  for (const auto& [number, generation] : changed) {
    const TvxPDFIndirectObject* object = doc.store_->Find(TvxObjectKey{doc.documentID_, number, generation});
    if (object && number <= lastLoaded) WriteObject(number, generation, object->Content.get());
  }

  // A form dictionary of its own is written when /NeedAppearances changed.
  if (auto* formRef = As<TvxPDFIndirectReference>(doc.catalog_->LoadedDictionary->Find("/AcroForm"))) {
    TvxPDFDictObject* form = FormDictionary(doc);
    TvxPDFIndirectObject* formObject = doc.store_->Find(formRef);
    if (form && formObject && ValueText(doc, -1, form->Find("/NeedAppearances")) != snapshot.NeedAppearancesText)
      WriteObject(formObject->ObjectNumber, formObject->Generation, formObject->Content.get());
  }

  if (infoChanged) WriteObject(infoNumber, infoGeneration, infoDict);

  const int32_t rootNumber = doc.trailer_->RootNumber;
  const uint16_t rootGeneration = doc.catalog_->LoadedGeneration;
  if (CatalogText(-1, false) != CatalogText(-1, true)) {
    doc.saveGeneration_ = rootGeneration;
    std::string text = CatalogText(rootNumber, false);
    doc.saveGeneration_ = 0;
    WriteText(rootNumber, rootGeneration, text);
  }

  // Nothing changed: the file is written as it was, without an empty revision.
  if (entries_.empty()) {
    CopySource();
    return;
  }
  WriteXRef(*tail);
  CopySource();
  output_.Write(update_);
}

}  // namespace vx
