// The document information dictionary. Loaded entries stay as read (unknown
// keys included); values set through the properties are stored pre-rendered
// as UTF-16BE literal text (encrypted for object 2 when encryption is on).
#pragma once

#include <memory>
#include <string>

#include "pdf/objects/vxPDFObjects.h"

namespace vx {

class TvxCustomPDFDocument;

class TvxPDFInfo {
 public:
  explicit TvxPDFInfo(TvxCustomPDFDocument& document);

  std::u16string Title() const { return GetText(title_, "/Title"); }
  std::u16string Author() const { return GetText(author_, "/Author"); }
  std::u16string Subject() const { return GetText(subject_, "/Subject"); }
  std::u16string Keywords() const { return GetText(keywords_, "/Keywords"); }
  std::u16string Creator() const { return GetText(creator_, "/Creator"); }
  std::u16string Producer() const { return GetText(producer_, "/Producer"); }
  std::string CreationDate() const { return GetDate(creationDate_, "/CreationDate"); }
  std::string ModDate() const { return GetDate(modDate_, "/ModDate"); }

  void SetTitle(const std::u16string& v) { SetText(title_, "/Title", v); }
  void SetAuthor(const std::u16string& v) { SetText(author_, "/Author", v); }
  void SetSubject(const std::u16string& v) { SetText(subject_, "/Subject", v); }
  void SetKeywords(const std::u16string& v) { SetText(keywords_, "/Keywords", v); }
  void SetCreator(const std::u16string& v) { SetText(creator_, "/Creator", v); }
  void SetProducer(const std::u16string& v) { SetText(producer_, "/Producer", v); }
  void SetCreationDate(const std::string& v) { SetDate(creationDate_, "/CreationDate", v); }
  void SetModDate(const std::string& v) { SetDate(modDate_, "/ModDate", v); }

  TvxPDFDictObject* InfoDict() const { return dict_.get(); }
  void SetInfoDict(std::unique_ptr<TvxPDFDictObject> dict);

 private:
  std::u16string GetText(const std::u16string& cached, std::string_view key) const;
  std::string GetDate(const std::string& cached, std::string_view key) const;
  void SetText(std::u16string& cached, std::string_view key, const std::u16string& value);
  void SetDate(std::string& cached, std::string_view key, const std::string& value);

  TvxCustomPDFDocument& document_;
  std::unique_ptr<TvxPDFDictObject> dict_;
  std::u16string title_, author_, subject_, keywords_, creator_, producer_;
  std::string creationDate_, modDate_;
};

}  // namespace vx
