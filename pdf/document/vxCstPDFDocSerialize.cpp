// Object syntax as the writer produces it: fixed spacing, CR LF line ends,
// references under the numbers of the save in progress, strings and stream
// data encrypted for the object that holds them.
#include <cctype>
#include <charconv>

#include "pdf/document/vxDocumentWriter.h"
#include "pdf/filters/vxFilterChain.h"
#include "pdf/filters/vxFilters.h"
#include "pdf/objects/vxSignatureDictionary.h"
#include "pdf/security/vxPDFCrypt.h"
#include "pdf/util/vxExceptions.h"
#include "pdf/util/vxPDFResStrs.h"
#include "pdf/util/vxPDFUtils.h"
#include "pdf/util/vxUtils.h"

namespace vx {

namespace {

// Loaded objects nest at most a few hundred levels; this bounds the
// recursion for objects built in memory too.
constexpr int kMaxSerializeDepth = 1024;

// A /Length value: a plain integer where it fits, else a 64-bit one.
TvxPDFObjectPtr LengthValue(size_t length) {
  if (length <= size_t(INT32_MAX)) return MakeInteger(int32_t(length));
  return std::make_unique<TvxPDFInt64Object>(int64_t(length));
}

// The parser keeps a word it cannot read as a number (1.2.3) as a string
// object holding the word itself, without delimiters.
bool IsParsedToken(const TvxPDFStringObject& s) { return s.Text.empty() || (s.Text[0] != '(' && s.Text[0] != '<'); }

bool EncryptsStrings(const TvxCustomPDFDocument& document, int32_t objectNumber) {
  return objectNumber != -1 && document.Encryption().Enabled();
}

}  // namespace

bool TvxDocumentWriter::LengthIsRight(const TvxCustomPDFDocument& document, const TvxPDFDictObject& dict,
                                      size_t size) {
  const TvxPDFObject* length = dict.Find("/Length");
  if (auto* ref = As<TvxPDFIndirectReference>(length)) {
    return TargetNumber(document, {ref->DocumentID, ref->ObjectNumber, ref->Generation}) != 0 &&
           IntegerValue(document.store_->Resolve(const_cast<TvxPDFObject*>(length))) == int64_t(size);
  }
  return IntegerValue(length) == int64_t(size);
}

int32_t TvxDocumentWriter::TargetNumber(const TvxCustomPDFDocument& document, const TvxObjectKey& key) {
  // An incremental update keeps the numbers of the loaded objects (written
  // or not: the source's bytes still hold them); new objects have theirs.
  if (document.keptNumbersUpTo_ > 0) {
    if (key.DocumentID == document.documentID_ && key.ObjectNumber > 0 &&
        key.ObjectNumber <= document.keptNumbersUpTo_)
      return key.ObjectNumber;
    const TvxPDFIndirectObject* added = document.store_->Find(key);
    return added && added->UseCount != 0 ? added->NewNumber : 0;
  }
  // The source's catalog is replaced by the one written as object 1.
  if (key.DocumentID == document.documentID_ && key.ObjectNumber == document.trailer_->RootNumber &&
      key.ObjectNumber > 0)
    return 1;
  const TvxPDFIndirectObject* target = document.store_->Find(key);
  // An outline item read from a stored object is written from the
  // save-time store only: the loaded copy is then not numbered.
  if ((!target || target->NewNumber == 0) && document.saveStore_) {
    if (const TvxPDFIndirectObject* rebuilt = document.saveStore_->Find(key)) target = rebuilt;
  }
  return target ? target->NewNumber : 0;
}

void TvxDocumentWriter::AppendObject(TvxCustomPDFDocument& document, std::string& out, int32_t objectNumber,
                                     const TvxPDFObject* object, int depth) {
  if (!object) return;
  if (depth > kMaxSerializeDepth) throw ENestingTooDeep(Format(res::SNestingTooDeep, {kMaxSerializeDepth}));
  switch (object->ObjectType) {
    case otBoolean:
      out += static_cast<const TvxPDFBooleanObject*>(object)->AsText();
      break;
    case otInteger:
      AppendInteger(out, static_cast<const TvxPDFIntegerObject*>(object)->Value);
      break;
    case otInt64:
      AppendInteger(out, static_cast<const TvxPDFInt64Object*>(object)->Value);
      break;
    case otReal:
      AppendRealText(out, static_cast<const TvxPDFRealObject*>(object)->Value);
      break;
    case otString: {
      auto* s = static_cast<const TvxPDFStringObject*>(object);
      if (IsParsedToken(*s)) {
        out += s->Text;  // a word read as text (1.2.3) is no string: its bytes go back as they were
      } else if (EncryptsStrings(document, objectNumber)) {
        std::string value = s->IsHex ? HexToBytes(s->Contents()) : s->Contents();
        out += '<';
        out += BytesToHex(document.EncryptData(value, objectNumber));
        out += '>';
      } else if (s->IsHex) {
        out += s->Text;
      } else {
        out += '(';
        out += EscapeLiteralKeepTabs(s->Contents());  // a value goes back with every byte it had
        out += ')';
      }
      break;
    }
    case otName:
      out += static_cast<const TvxPDFNameObject*>(object)->Text;
      break;
    case otArray: {
      out += "[ ";
      auto* array = static_cast<const TvxPDFArrayObject*>(object);
      if (array->IsPacked()) {
        // Numbers held packed are written as their objects would be.
        for (int i = 0; i < array->Count(); ++i) {
          if (array->IsIntegerAt(i))
            AppendInteger(out, int32_t(array->NumberAt(i)));
          else
            AppendRealText(out, array->NumberAt(i));
          out += ' ';
        }
        out += ']';
        break;
      }
      for (const auto& item : array->Items()) {
        // A missing item keeps its place, so later items keep their positions.
        if (item)
          AppendObject(document, out, objectNumber, item.get(), depth + 1);
        else
          out += "null";
        out += ' ';
      }
      out += ']';
      break;
    }
    case otDictionary: {
      const auto& entries = static_cast<const TvxPDFDictObject*>(object)->Entries();
      // A page of the page list hangs from the new root; any other
      // dictionary, /Type /Page or not, is written as it is.
      const bool isPage = depth == 0 && document.savedPageDictionaries_.count(object) != 0;
      // A signature's /Contents is stored unencrypted whatever the file's
      // encryption; -1 as the object number writes a string as it stands.
      const bool isSignature = IsSignatureDictionaryEntries(entries);
      out += "<<\r\n";
      for (const auto& e : entries) {
        // Pages hang from the one page-tree root: any /Parent of their own is
        // replaced by that, never written twice.
        const std::string_view key(e.Key);
        if (isPage && key == "/Parent" && document.keptNumbersUpTo_ == 0) continue;
        out += key;
        out += ' ';
        const bool keepPlain = isSignature && key == kSignatureContentsKey && e.Value &&
                               e.Value->ObjectType == otString;
        if (e.Value)
          AppendObject(document, out, keepPlain ? -1 : objectNumber, e.Value.get(), depth + 1);
        else
          out += "null";
        out += "\r\n";
      }
      if (isPage && document.keptNumbersUpTo_ == 0) out += "/Parent 3 0 R\r\n";
      out += ">>";
      break;
    }
    case otStream: {
      // Stream data can only follow an indirect object's dictionary; one held
      // inside another object cannot be written where it sits.
      if (depth > 0) {
        out += "null";
        break;
      }
      TvxStreamText text = EncodeStream(document, objectNumber, *static_cast<const TvxPDFStreamObject*>(object));
      out += text.DictText;
      out += "\r\nstream\r\n";
      out += text.Data();
      out += "\r\nendstream";
      break;
    }
    case otNull:
      out += "null";
      break;
    case otIndirectReference:
    case otIndirectObject: {
      // An indirect object held inside another object is written on its own;
      // where it sits, it stands for a reference to itself.
      if (object->ObjectType == otIndirectObject && depth == 0) break;
      TvxObjectKey key;
      if (auto* ref = As<TvxPDFIndirectReference>(object))
        key = {ref->DocumentID, ref->ObjectNumber, ref->Generation};
      else if (auto* io = As<TvxPDFIndirectObject>(object))
        key = {io->DocumentID, io->ObjectNumber, io->Generation};
      int32_t number = TargetNumber(document, key);
      if (number != 0 && document.keptNumbersUpTo_ > 0 && number == key.ObjectNumber) {
        AppendInteger(out, number);  // a loaded object keeps its generation too
        out += ' ';
        AppendInteger(out, key.Generation);
        out += " R";
      } else if (number != 0) {
        AppendInteger(out, number);
        out += " 0 R";
      } else {
        out += "null";
      }
      break;
    }
  }
}

TvxStreamText TvxDocumentWriter::EncodeStream(TvxCustomPDFDocument& document, int32_t objectNumber,
                                              const TvxPDFStreamObject& stream, bool directLength) {
  TvxStreamText result;
  result.Original = stream.DataView();
  // With no step to run, a stream whose /Length is right is written with its
  // own dictionary: most streams of a plain rewrite need no copy at all.
  // A crypt filter of the stream's own stays under the source's own
  // encryption, which has its key, and where the reader could not undo it:
  // the stream is then written as stored. Otherwise the filter goes, and the
  // stream is written like any other.
  const std::optional<std::string> own = stream.Dictionary ? OwnCryptFilterName(*stream.Dictionary) : std::nullopt;
  const bool ownCrypt = own.has_value();
  const bool keepsCrypt =
      ownCrypt && ((EncryptsStrings(document, objectNumber) && document.encryption_ &&
                    document.encryption_->KeepsSourceEncryption()) ||
                   (document.decrypt_ && !document.decrypt_->NamedFilter(*own)));
  const bool changesData = document.decodeStreams_ || document.compression_->Active ||
                           document.asciiEncode_->Active || EncryptsStrings(document, objectNumber) || ownCrypt;
  const bool lengthIsReference =
      stream.Dictionary && As<TvxPDFIndirectReference>(stream.Dictionary->Find("/Length")) != nullptr;
  if (!changesData && stream.Dictionary && !(directLength && lengthIsReference) &&
      LengthIsRight(document, *stream.Dictionary, result.Original.size())) {
    AppendObject(document, result.DictText, objectNumber, stream.Dictionary.get(), 1);
    return result;
  }
  TvxPDFObjectPtr clone = stream.Dictionary ? stream.Dictionary->Clone() : std::make_unique<TvxPDFDictObject>();
  auto& dict = static_cast<TvxPDFDictObject&>(*clone);
  std::optional<std::string> data;  // set once a step changed the data
  auto current = [&]() -> std::string_view { return data ? std::string_view(*data) : result.Original; };
  if (ownCrypt && !keepsCrypt) RemoveOwnCryptFilter(dict);

  if (document.decodeStreams_ && !keepsCrypt) {
    const TvxPDFObjectStore& store = *document.store_;
    data = StripDecodableFilters(dict, current(), [&store](const TvxPDFObject* value) -> const TvxPDFObject* {
      return store.Resolve(const_cast<TvxPDFObject*>(value));
    });
  }
  if (document.compression_->Active && !keepsCrypt) {
    if (auto compressed = CompressData(document, dict, current())) data = std::move(compressed);
  }
  if (document.asciiEncode_->Active && !keepsCrypt) {
    const bool hex = document.asciiEncode_->Encoding == 0;
    std::string encoded = hex ? TvxAsciiHexFilter().EncodeString(current()) : TvxAscii85Filter().EncodeString(current());
    PutFilterInFront(document, dict, document.store_->Resolve(dict.Find("/Filter")),
                     EncodedFilterNames[hex ? 2 : 3]);
    data = std::move(encoded);
    dict.SetValue("/Length", LengthValue(data->size()));
  }
  if (!data) {
    // The data is written as loaded. Its /Length stays as it was (a reference
    // included) when it is right; one that disagrees with the data, or
    // refers to an object that is not written, gets the true length.
    const size_t size = result.Original.size();
    if (!LengthIsRight(document, dict, size)) dict.SetValue("/Length", LengthValue(size));
  }

  if (EncryptsStrings(document, objectNumber)) {
    // AES adds an IV and padding: the length follows the encrypted data.
    std::string encrypted = document.EncryptStreamData(current(), objectNumber, dict);
    if (encrypted.size() != current().size()) dict.SetValue("/Length", LengthValue(encrypted.size()));
    data = std::move(encrypted);
  }
  if (directLength && As<TvxPDFIndirectReference>(dict.Find("/Length")))
    dict.SetValue("/Length", LengthValue(data ? data->size() : result.Original.size()));
  AppendObject(document, result.DictText, objectNumber, &dict, 1);
  result.Encoded = std::move(data);
  return result;
}

std::string TvxCustomPDFDocument::SerializeObject(int32_t objectNumber, const TvxPDFObject* object) {
  std::string out;
  TvxDocumentWriter::AppendObject(*this, out, objectNumber, object);
  return out;
}

std::string TvxCustomPDFDocument::EntryText(std::string_view key, std::string_view valueText) {
  if (valueText.empty()) return std::string();
  std::string out;
  out.reserve(key.size() + valueText.size() + 3);
  out += key;
  out += ' ';
  out += valueText;
  out += "\r\n";
  return out;
}

std::string TvxCustomPDFDocument::WrapDictionary(std::string_view entriesText) {
  std::string out = "<<\r\n";
  out += entriesText;
  out += ">>";
  return out;
}

std::string TvxCustomPDFDocument::ReferenceText(int32_t number) {
  std::string out;
  AppendInteger(out, number);
  out += " 0 R";
  return out;
}

std::string TvxCustomPDFDocument::FrameObject(int32_t number, std::string_view bodyText) {
  std::string out = "\r\n";
  AppendInteger(out, number);
  out += " 0 obj\r\n";
  out += bodyText;
  out += "\r\nendobj\r\n";
  return out;
}

}  // namespace vx
