// Opening an encrypted document: the standard security handler with RC4,
// revisions 2 and 3. Other handlers and AES are refused by name.
#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/security/vxPDFCrypt.h"
#include "pdf/util/vxExceptions.h"
#include "pdf/util/vxPDFResStrs.h"
#include "pdf/util/vxUtils.h"

namespace vx {

namespace {

// What an encryption dictionary asks for that this library cannot do, or
// empty text when it is the standard handler with RC4.
std::string UnsupportedEncryption(const TvxPDFDictObject& dict) {
  auto* filter = As<TvxPDFNameObject>(dict.Find("/Filter"));
  if (!filter) return "no security handler";
  if (filter->Text != "/Standard") return "security handler " + filter->Text;
  int64_t v = IntegerValue(dict.Find("/V")).value_or(0);
  if (v >= 5) return "AES-256";
  if (v == 4) {
    // Crypt filters: AES or RC4 through /CF, which this library does not read.
    std::string method;
    if (auto* cf = As<TvxPDFDictObject>(dict.Find("/CF")))
      for (const auto& e : cf->Entries())
        if (auto* f = As<TvxPDFDictObject>(e.Value.get()))
          if (auto* cfm = As<TvxPDFNameObject>(f->Find("/CFM"))) method = cfm->Text;
    if (method == "/AESV2") return "AES";
    if (method == "/AESV3") return "AES-256";
    return "crypt filters, /V 4";
  }
  if (v != 1 && v != 2) return "/V " + std::to_string(v);
  return std::string();
}

}  // namespace

bool TvxCustomPDFDocument::SetUpDecryption(const std::string& password) {
  auto& dict = Cast<TvxPDFDictObject>(trailer_->EncryptValue.get());
  if (std::string what = UnsupportedEncryption(dict); !what.empty())
    throw EUnsupportedEncryption(Format(res::SUnsupportedEncryption, {what}));

  // The algorithms follow /R; the key length follows /Length (40 bits when
  // absent), so a revision 3 file with a 40-bit key opens too.
  int64_t v = IntegerValue(dict.Find("/V")).value_or(1);
  int revision = int(IntegerValue(dict.Find("/R")).value_or(v >= 2 ? 3 : 2));
  if (revision != 2 && revision != 3)
    throw EUnsupportedEncryption(Format(res::SUnsupportedEncryption, {"revision " + std::to_string(revision)}));
  std::optional<int64_t> lengthBits;
  if (TvxPDFObject* length = dict.Find("/Length")) lengthBits = Cast<TvxPDFIntegerObject>(length).Value;

  auto decrypt = std::make_unique<TvxPDFDecrypt>();
  decrypt->SetRevision(revision);
  decrypt->SetKeyLength(TvxPDFDecrypt::KeyLengthFromDictionary(revision, lengthBits, IntegerValue(dict.Find("/V"))));
  if (trailer_->IDArray && trailer_->IDArray->Count() > 0) {
    if (auto* first = As<TvxPDFStringObject>(trailer_->IDArray->GetItem(0))) decrypt->SetFileId(first->Contents());
  }
  decrypt->SetOwnerKey(Cast<TvxPDFStringObject>(dict.Find("/O")).Text);
  decrypt->SetUserKey(Cast<TvxPDFStringObject>(dict.Find("/U")).Text);
  auto p = IntegerValue(dict.Find("/P"));
  if (!p) throw EInvalidPermission(res::SInvalidPermission);
  decrypt->SetP(*p);

  // Each attempt replaces the previous handler; the reader always asks the
  // current one.
  decrypt_ = std::move(decrypt);
  if (reader_) {
    reader_->Decryptor = [this](std::string& bytes, int32_t objectNumber, int32_t generation) {
      decrypt_->DecryptString(bytes.data(), bytes.data(), uint16_t(generation), objectNumber, bytes.size());
    };
  }
  encryptionSettings_->SetEnabled(true);
  encryptionSettings_->SetLevel(decrypt_->Level());
  encryptionSettings_->SetUserPermissions(UserPermissionsFromP(*p, revision >= 3));
  return decrypt_->AcceptPassword(*encryptionSettings_, password);
}

}  // namespace vx
