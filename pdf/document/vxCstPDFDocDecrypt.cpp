// Opening an encrypted document: the standard security handler with RC4
// (revisions 2 and 3), crypt filters with RC4 or AES-128 (revision 4) and
// AES-256 (revisions 5 and 6). Other handlers are refused by name.
#include <cmath>
#include <map>
#include <optional>

#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/security/vxPDFCrypt.h"
#include "pdf/util/vxExceptions.h"
#include "pdf/util/vxPDFResStrs.h"
#include "pdf/util/vxPDFUtils.h"
#include "pdf/util/vxUtils.h"

namespace vx {

namespace {

[[noreturn]] void Refuse(const std::string& what) {
  throw EUnsupportedEncryption(Format(res::SUnsupportedEncryption, {what}));
}

// The method of a /CF entry: its /CFM (none means none), or nothing when
// that method is unknown.
std::optional<TvxCryptMethod> MethodOf(const TvxPDFDictObject& filter) {
  auto* cfm = As<TvxPDFNameObject>(filter.Find("/CFM"));
  if (!cfm || cfm->Text == "/None") return TvxCryptMethod::Identity;
  if (cfm->Text == "/V2") return TvxCryptMethod::RC4;
  if (cfm->Text == "/AESV2") return TvxCryptMethod::AESV2;
  if (cfm->Text == "/AESV3") return TvxCryptMethod::AESV3;
  return std::nullopt;
}

// The method of the crypt filter `name` names: /Identity, or an entry of /CF.
TvxCryptMethod CryptMethod(const TvxPDFDictObject& dict, const TvxPDFNameObject* name) {
  if (!name || name->Text == "/Identity") return TvxCryptMethod::Identity;
  auto* filters = As<TvxPDFDictObject>(dict.Find("/CF"));
  auto* filter = filters ? As<TvxPDFDictObject>(filters->Find(name->Text)) : nullptr;
  if (!filter) Refuse("crypt filter " + name->Text);
  if (std::optional<TvxCryptMethod> method = MethodOf(*filter)) return *method;
  Refuse("crypt filter method " + Cast<TvxPDFNameObject>(filter->Find("/CFM")).Text);
}

// The bytes of a string as stored, hexadecimal or literal.
std::string ValueBytes(const TvxPDFObject* value) {
  auto* s = As<TvxPDFStringObject>(value);
  if (!s) return std::string();
  return s->IsHex ? HexToBytes(s->Contents()) : s->Contents();
}

bool HasName(const TvxPDFDictObject* dict, const char* key, const char* name) {
  auto* n = dict ? As<TvxPDFNameObject>(dict->Find(key)) : nullptr;
  return n && n->Text == name;
}

// Every crypt filter of /CF whose method is known, by name.
std::map<std::string, TvxCryptMethod, std::less<>> NamedFilters(const TvxPDFDictObject& dict) {
  std::map<std::string, TvxCryptMethod, std::less<>> named;
  auto* filters = As<TvxPDFDictObject>(dict.Find("/CF"));
  for (int i = 0; filters && i < filters->Count(); ++i)
    if (auto* filter = As<TvxPDFDictObject>(filters->ValueAt(i)))
      if (std::optional<TvxCryptMethod> method = MethodOf(*filter)) named.emplace(filters->KeyAt(i), *method);
  return named;
}

// A length in bits as written: an integer, or a real without a fraction
// ("128.0"). Anything else reads as none.
std::optional<int64_t> LengthBits(const TvxPDFObject* value) {
  if (auto integer = IntegerValue(value)) return integer;
  if (auto* real = As<TvxPDFRealObject>(value); real && real->Value == double(int64_t(real->Value)) &&
                                                 std::abs(real->Value) < 1e15)
    return int64_t(real->Value);
  return std::nullopt;
}

bool IsKeyLengthInBits(int64_t bits) { return bits >= 40 && bits <= 128 && bits % 8 == 0; }

// A crypt filter's /Length: bytes (5 to 16) as most writers have it, or bits
// as the standard's text says.
std::optional<size_t> CryptFilterKeyBytes(const TvxPDFDictObject& dict, const TvxPDFNameObject* name) {
  auto* filters = As<TvxPDFDictObject>(dict.Find("/CF"));
  auto* filter = filters && name ? As<TvxPDFDictObject>(filters->Find(name->Text)) : nullptr;
  std::optional<int64_t> length = filter ? IntegerValue(filter->Find("/Length")) : std::nullopt;
  if (!length) return std::nullopt;
  if (*length >= 5 && *length <= 16) return size_t(*length);
  if (IsKeyLengthInBits(*length)) return size_t(*length / 8);
  return std::nullopt;
}

// The text of a /Length value for a warning.
std::string LengthText(const TvxPDFObject* value) {
  if (auto* real = As<TvxPDFRealObject>(value)) {
    std::string text = GeneralFloatText(real->Value);
    return text.find_first_of(".e") == std::string::npos ? text + ".0" : text;
  }
  if (auto integer = IntegerValue(value)) return std::to_string(*integer);
  return value->TypeName();
}

}  // namespace

bool TvxCustomPDFDocument::SetUpDecryption(const std::string& password) {
  auto& dict = Cast<TvxPDFDictObject>(trailer_->EncryptValue.get());
  auto* filter = As<TvxPDFNameObject>(dict.Find("/Filter"));
  if (!filter) Refuse("no security handler");
  if (filter->Text != "/Standard") Refuse("security handler " + filter->Text);

  int64_t v = IntegerValue(dict.Find("/V")).value_or(0);
  if (v < 0 || v == 3 || v > 5) Refuse("/V " + std::to_string(v));
  int64_t defaultRevision = v >= 5 ? 6 : v == 4 ? 4 : v >= 2 ? 3 : 2;
  int revision = int(IntegerValue(dict.Find("/R")).value_or(defaultRevision));
  if (revision < 2 || revision > 6) Refuse("revision " + std::to_string(revision));
  // A /Length that is no key length is passed over with a warning, as other
  // readers do: the crypt filter's length, or the standard's, is used.
  const TvxPDFObject* lengthValue = dict.Find("/Length");
  std::optional<int64_t> lengthBits = LengthBits(lengthValue);
  if (lengthBits && !(revision >= 5 ? *lengthBits == 256 : IsKeyLengthInBits(*lengthBits))) lengthBits.reset();
  // A /Length must be an integer: a real one is read for its value, and
  // reported like any other wrong one.
  bool lengthPassedOver = lengthValue && (!lengthBits || !IntegerValue(lengthValue));

  auto decrypt = std::make_unique<TvxPDFDecrypt>();
  // The first /ID element's bytes as they are, whatever their number; the
  // key of revisions 5 and 6 does not hash them.
  std::string firstId;
  if (trailer_->IDArray && trailer_->IDArray->Count() > 0)
    firstId = ValueBytes(trailer_->IDArray->GetItem(0));
  if (revision <= 4) decrypt->SetFileId(firstId);
  decrypt->SetOwnerKey(Cast<TvxPDFStringObject>(dict.Find("/O")).Text);
  decrypt->SetUserKey(Cast<TvxPDFStringObject>(dict.Find("/U")).Text);
  decrypt->SetKeyValues(ValueBytes(dict.Find("/O")), ValueBytes(dict.Find("/U")), ValueBytes(dict.Find("/OE")),
                        ValueBytes(dict.Find("/UE")), ValueBytes(dict.Find("/Perms")));
  auto p = IntegerValue(dict.Find("/P"));
  if (!p) throw EInvalidPermission(res::SInvalidPermission);
  decrypt->SetP(*p);
  decrypt->SetRevision(revision);

  if (v >= 4) {
    auto* stmF = As<TvxPDFNameObject>(dict.Find("/StmF"));
    TvxCryptMethod streams = CryptMethod(dict, stmF);
    TvxCryptMethod strings = CryptMethod(dict, As<TvxPDFNameObject>(dict.Find("/StrF")));
    auto* eff = As<TvxPDFNameObject>(dict.Find("/EFF"));
    TvxCryptMethod embedded = eff ? CryptMethod(dict, eff) : streams;
    auto* encryptMetadata = As<TvxPDFBooleanObject>(dict.Find("/EncryptMetadata"));
    decrypt->SetCryptMethods(streams, strings, embedded, !encryptMetadata || encryptMetadata->Value != 0);
    decrypt->SetNamedFilters(NamedFilters(dict));
    for (TvxCryptMethod m : {streams, strings, embedded}) {
      if (revision >= 5 && (m == TvxCryptMethod::RC4 || m == TvxCryptMethod::AESV2))
        Refuse("revision " + std::to_string(revision) + " with a 128-bit crypt filter");
      if (revision == 4 && m == TvxCryptMethod::AESV3) Refuse("revision 4 with AES-256");
    }
    if (revision >= 5) {
      decrypt->SetKeyLength(32);
    } else {
      // AES-128 keys are 128 bits; an RC4 crypt filter says its own length,
      // else /Length does, else it is 128 bits.
      size_t bytes = 16;
      if (streams != TvxCryptMethod::AESV2 && strings != TvxCryptMethod::AESV2)
        bytes = CryptFilterKeyBytes(dict, stmF).value_or(lengthBits ? size_t(*lengthBits / 8) : 16);
      lengthPassedOver = lengthPassedOver || (lengthBits && size_t(*lengthBits / 8) != bytes);
      decrypt->SetKeyLength(bytes);
    }
  } else {
    if (revision > 3) Refuse("revision " + std::to_string(revision) + " without crypt filters");
    decrypt->SetKeyLength(TvxPDFDecrypt::KeyLengthFromDictionary(revision, lengthBits, IntegerValue(dict.Find("/V"))));
  }
  decrypt->SetDictionaryFacts(int(v), firstId);

  // Each attempt replaces the previous handler; the reader always asks the
  // current one.
  decrypt_ = std::move(decrypt);
  if (reader_) {
    reader_->Decryptor = [this](std::string& bytes, int32_t objectNumber, int32_t generation) {
      bytes = decrypt_->DecryptString(bytes, uint16_t(generation), objectNumber);
    };
    reader_->StreamDecryptor = [this](std::string& bytes, int32_t objectNumber, int32_t generation,
                                      const TvxPDFDictObject* dictionary) {
      // Cross-reference streams are never encrypted; a stream with a crypt
      // filter of its own is decrypted by that filter; metadata is not
      // encrypted when the dictionary says so.
      if (dictionary) {
        if (HasName(dictionary, "/Type", "/XRef")) return;
        if (std::optional<std::string> own = OwnCryptFilterName(*dictionary)) {
          if (std::optional<TvxCryptFilter> named = decrypt_->NamedFilter(*own))
            bytes = named->Decrypt(bytes, objectNumber, uint16_t(generation));
          else
            Warning(Format(res::SUnknownCryptFilter, {std::to_string(objectNumber), *own}));
          return;
        }
        if (HasName(dictionary, "/Type", "/Metadata") && !decrypt_->Dictionary().EncryptMetadata) return;
      }
      bool embedded = HasName(dictionary, "/Type", "/EmbeddedFile");
      bytes = decrypt_->DecryptStreamData(bytes, uint16_t(generation), objectNumber, embedded);
    };
  }
  encryptionSettings_->SetEnabled(true);
  encryptionSettings_->SetLevel(decrypt_->Level());
  encryptionSettings_->SetUserPermissions(UserPermissionsFromP(*p, revision >= 3));
  bool accepted = decrypt_->AcceptPassword(*encryptionSettings_, password);
  // A 128-bit file whose /Length is missing (or misspelt) reads as 40 bits
  // by the rule; other readers try the full length too.
  if (!accepted && v >= 2 && v <= 3 && !lengthBits && decrypt_->KeyLength() == 5) {
    decrypt_->SetKeyLength(16);
    encryptionSettings_->SetLevel(decrypt_->Level());
    accepted = decrypt_->AcceptPassword(*encryptionSettings_, password);
    if (!accepted) {
      decrypt_->SetKeyLength(5);
      encryptionSettings_->SetLevel(decrypt_->Level());
    }
  }
  if (!accepted) return false;
  if (lengthPassedOver)
    Warning(Format(res::SEncryptLengthPassedOver,
                   {LengthText(lengthValue), std::to_string(decrypt_->KeyLength() * 8)}));
  if (revision >= 5) ReportPermsCheck();
  return true;
}

void TvxCustomPDFDocument::ReportPermsCheck() {
  switch (decrypt_->CheckPerms()) {
    case TvxPDFDecrypt::TvxPermsCheck::Valid: break;
    case TvxPDFDecrypt::TvxPermsCheck::KeyMismatch: Warning(res::SPermsKeyMismatch); break;
    case TvxPDFDecrypt::TvxPermsCheck::PMismatch: Warning(res::SPermsPMismatch); break;
    case TvxPDFDecrypt::TvxPermsCheck::MetadataMismatch: Warning(res::SPermsMetadataMismatch); break;
  }
}

void TvxCustomPDFDocument::CheckEncryptionIntegrity() const {
  // Opened with a user password, a file whose key /Perms does not confirm
  // would be saved with that key: whatever it decrypted wrongly would be
  // lost for good. The owner may take that decision.
  if (decrypt_ && decrypt_->Revision() >= 5 && !decrypt_->IsOwner() &&
      decrypt_->CheckPerms() == TvxPDFDecrypt::TvxPermsCheck::KeyMismatch)
    throw EPasswordError(res::SPermsSaveRefused);
}

}  // namespace vx
