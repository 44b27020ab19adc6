// The document information dictionary. Loaded entries stay as read (unknown
// keys included); values set through the properties are stored pre-rendered
// as UTF-16BE literal text (encrypted for object 2 when encryption is on).
// Where /Info has no value but the XMP packet has one, the getters answer the
// packet's, which is what viewers show.
#pragma once

#include <memory>
#include <optional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "pdf/document/vxXmpMetadata.h"
#include "pdf/objects/vxPDFObjects.h"

namespace vx {

class TvxCustomPDFDocument;

// /Trapped: unset (no key), or the name /True, /False or /Unknown.
enum TvxTrapped : uint8_t { trUnset = 0, trTrue, trFalse, trUnknown };

class TvxPDFInfo {
 public:
  explicit TvxPDFInfo(TvxCustomPDFDocument& document);

  std::u16string Title() const { return OrXmp(GetText(title_, "/Title"), "/Title", xmp_ ? xmp_->Title : std::nullopt); }
  std::u16string Author() const { return OrXmp(GetText(author_, "/Author"), "/Author", xmp_ ? xmp_->Author : std::nullopt); }
  std::u16string Subject() const { return OrXmp(GetText(subject_, "/Subject"), "/Subject", xmp_ ? xmp_->Subject : std::nullopt); }
  std::u16string Keywords() const { return OrXmp(GetText(keywords_, "/Keywords"), "/Keywords", xmp_ ? xmp_->Keywords : std::nullopt); }
  std::u16string Creator() const { return OrXmp(GetText(creator_, "/Creator"), "/Creator", xmp_ ? xmp_->Creator : std::nullopt); }
  std::u16string Producer() const { return OrXmp(GetText(producer_, "/Producer"), "/Producer", xmp_ ? xmp_->Producer : std::nullopt); }
  std::string CreationDate() const {
    return OrXmp(GetDate(creationDate_, "/CreationDate"), "/CreationDate", xmp_ ? xmp_->CreationDate : std::nullopt);
  }
  std::string ModDate() const { return OrXmp(GetDate(modDate_, "/ModDate"), "/ModDate", xmp_ ? xmp_->ModDate : std::nullopt); }

  // The /Info values alone, by key ("/Title", ...; "/CreationDate", "/ModDate").
  std::u16string InfoText(std::string_view key) const;
  std::string InfoDate(std::string_view key) const;
  // What the document's XMP packet says, when it has a readable one.
  const std::optional<TvxXmpInfo>& Xmp() const { return xmp_; }
  void SetXmp(std::optional<TvxXmpInfo> xmp) { xmp_ = std::move(xmp); }

  void SetTitle(const std::u16string& v) { SetText(title_, "/Title", v); }
  void SetAuthor(const std::u16string& v) { SetText(author_, "/Author", v); }
  void SetSubject(const std::u16string& v) { SetText(subject_, "/Subject", v); }
  void SetKeywords(const std::u16string& v) { SetText(keywords_, "/Keywords", v); }
  void SetCreator(const std::u16string& v) { SetText(creator_, "/Creator", v); }
  void SetProducer(const std::u16string& v) { SetText(producer_, "/Producer", v); }
  void SetCreationDate(const std::string& v) { SetDate(creationDate_, "/CreationDate", v); }
  void SetModDate(const std::string& v) { SetDate(modDate_, "/ModDate", v); }

  TvxTrapped Trapped() const;
  void SetTrapped(TvxTrapped v);

  // Properties beyond the standard keys, by name (the key without its slash
  // and #xx escapes), in the dictionary's order; values that are not text
  // are not listed (and are kept). Setting adds or replaces, removing takes
  // the key out; a name that is empty or a standard key's raises
  // EInvalidPropertyName.
  std::vector<std::pair<std::string, std::u16string>> CustomProperties() const;
  void SetCustomProperty(const std::string& name, const std::u16string& value);
  void RemoveCustomProperty(const std::string& name);
  // "Title" .. "ModDate" and "Trapped".
  static bool IsStandardKey(std::string_view name);
  // Empty text for a name a custom property may have, else why not.
  static std::string CustomNameProblem(const std::string& name);
  // The key a property name is stored under ("/Doc#20No" for "Doc No").
  static std::string CustomKey(const std::string& name);
  static std::string CustomName(std::string_view key);
  // Empties the dictionary and forgets every value set and the packet's.
  void Clear();
  // Values set through the properties are stored encoded for object 2;
  // this encodes every such custom value again for `objectNumber` (the
  // standard ones go through their setters).
  void EncodeCustomFor(int32_t objectNumber);

  // The keys whose value was changed since the document was loaded: set to
  // a value other than the one the getter answered, or marked by a caller
  // that was asked for the value as such (an option naming it). The XMP
  // packet changes only where these say.
  bool Changed(std::string_view key) const { return changed_.count(key) != 0; }
  void MarkChanged(std::string_view key) { changed_.emplace(key); }
  const std::set<std::string, std::less<>>& ChangedKeys() const { return changed_; }

  TvxPDFDictObject* InfoDict() const { return dict_.get(); }
  void SetInfoDict(std::unique_ptr<TvxPDFDictObject> dict);

 private:
  std::u16string GetText(const std::u16string& cached, std::string_view key) const;
  std::string GetDate(const std::string& cached, std::string_view key) const;
  void SetText(std::u16string& cached, std::string_view key, const std::u16string& value);
  void SetDate(std::string& cached, std::string_view key, const std::string& value);
  // The packet's value stands in for one /Info lacks, but never for one
  // set through a setter (an empty text set stays empty).
  template <typename T>
  T OrXmp(T value, std::string_view key, const std::optional<T>& xmp) const {
    return value.empty() && xmp && !SetThroughSetter(key) ? *xmp : value;
  }
  bool SetThroughSetter(std::string_view key) const { return As<TvxPDFNameObject>(dict_->Find(key)) != nullptr; }

  TvxCustomPDFDocument& document_;
  std::unique_ptr<TvxPDFDictObject> dict_;
  std::u16string title_, author_, subject_, keywords_, creator_, producer_;
  std::string creationDate_, modDate_;
  std::optional<TvxXmpInfo> xmp_;
  std::map<std::string, std::u16string, std::less<>> custom_;  // by key, as set
  std::set<std::string, std::less<>> changed_;
};

}  // namespace vx
