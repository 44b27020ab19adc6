// Opening an encrypted document: the standard security handler with RC4
// (revisions 2 and 3), crypt filters with RC4 or AES-128 (revision 4) and
// AES-256 (revisions 5 and 6). Other handlers are refused by name.
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

// The method of the crypt filter `name` names: /Identity, or an entry of /CF.
TvxCryptMethod CryptMethod(const TvxPDFDictObject& dict, const TvxPDFNameObject* name) {
  if (!name || name->Text == "/Identity") return TvxCryptMethod::Identity;
  auto* filters = As<TvxPDFDictObject>(dict.Find("/CF"));
  auto* filter = filters ? As<TvxPDFDictObject>(filters->Find(name->Text)) : nullptr;
  if (!filter) Refuse("crypt filter " + name->Text);
  auto* cfm = As<TvxPDFNameObject>(filter->Find("/CFM"));
  if (!cfm || cfm->Text == "/None") return TvxCryptMethod::Identity;
  if (cfm->Text == "/V2") return TvxCryptMethod::RC4;
  if (cfm->Text == "/AESV2") return TvxCryptMethod::AESV2;
  if (cfm->Text == "/AESV3") return TvxCryptMethod::AESV3;
  Refuse("crypt filter method " + cfm->Text);
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
  std::optional<int64_t> lengthBits;
  if (TvxPDFObject* length = dict.Find("/Length")) lengthBits = Cast<TvxPDFIntegerObject>(length).Value;

  auto decrypt = std::make_unique<TvxPDFDecrypt>();
  std::string firstId;
  if (trailer_->IDArray && trailer_->IDArray->Count() > 0) {
    if (auto* first = As<TvxPDFStringObject>(trailer_->IDArray->GetItem(0))) {
      firstId = ValueBytes(first);
      // Revisions 5 and 6 do not hash the /ID, so its form does not matter.
      // An empty element is the same as none: the key hashes no bytes.
      if (revision <= 4 && !firstId.empty()) decrypt->SetFileId(first->Contents());
    }
  }
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
    for (TvxCryptMethod m : {streams, strings, embedded}) {
      if (revision >= 5 && (m == TvxCryptMethod::RC4 || m == TvxCryptMethod::AESV2))
        Refuse("revision " + std::to_string(revision) + " with a 128-bit crypt filter");
      if (revision == 4 && m == TvxCryptMethod::AESV3) Refuse("revision 4 with AES-256");
    }
    if (revision >= 5) {
      decrypt->SetKeyLength(32);
    } else {
      // Revision 4 keys are 128 bits unless /Length says otherwise.
      int64_t bits = lengthBits.value_or(128);
      if (bits < 40 || bits > 128 || bits % 8 != 0) Refuse("/Length " + std::to_string(bits));
      decrypt->SetKeyLength(size_t(bits / 8));
    }
  } else {
    if (revision > 3) Refuse("revision " + std::to_string(revision) + " without crypt filters");
    decrypt->SetKeyLength(TvxPDFDecrypt::KeyLengthFromDictionary(revision, lengthBits, IntegerValue(dict.Find("/V"))));
  }
  decrypt->SetDictionaryFacts(int(v), revision <= 4 ? decrypt->GetFileId() : firstId);

  // Each attempt replaces the previous handler; the reader always asks the
  // current one.
  decrypt_ = std::move(decrypt);
  if (reader_) {
    reader_->Decryptor = [this](std::string& bytes, int32_t objectNumber, int32_t generation) {
      bytes = decrypt_->DecryptString(bytes, uint16_t(generation), objectNumber);
    };
    reader_->StreamDecryptor = [this](std::string& bytes, int32_t objectNumber, int32_t generation,
                                      const TvxPDFDictObject* dictionary) {
      // Cross-reference streams are never encrypted; metadata is not when
      // the dictionary says so; a stream with its own crypt filter is kept as stored.
      if (dictionary) {
        if (HasName(dictionary, "/Type", "/XRef")) return;
        if (HasName(dictionary, "/Type", "/Metadata") && !decrypt_->Dictionary().EncryptMetadata) return;
        if (HasOwnCryptFilter(*dictionary)) return;
      }
      bool embedded = HasName(dictionary, "/Type", "/EmbeddedFile");
      bytes = decrypt_->DecryptStreamData(bytes, uint16_t(generation), objectNumber, embedded);
    };
  }
  encryptionSettings_->SetEnabled(true);
  encryptionSettings_->SetLevel(decrypt_->Level());
  encryptionSettings_->SetUserPermissions(UserPermissionsFromP(*p, revision >= 3));
  if (decrypt_->AcceptPassword(*encryptionSettings_, password)) return true;
  // A 128-bit file whose /Length is missing (or misspelt) reads as 40 bits
  // by the rule; other readers try the full length too.
  if (v >= 2 && v <= 3 && !lengthBits && decrypt_->KeyLength() == 5) {
    decrypt_->SetKeyLength(16);
    encryptionSettings_->SetLevel(decrypt_->Level());
    if (decrypt_->AcceptPassword(*encryptionSettings_, password)) return true;
    decrypt_->SetKeyLength(5);
    encryptionSettings_->SetLevel(decrypt_->Level());
  }
  return false;
}

}  // namespace vx
