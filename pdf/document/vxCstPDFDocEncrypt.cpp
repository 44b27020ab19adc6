// Encrypting on save: the handler made from the settings (or the file's own
// encryption, kept when the settings were not changed), data encrypted per
// object, the encryption dictionary and the /ID.
#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/security/vxPDFCrypt.h"
#include "pdf/util/vxExceptions.h"
#include "pdf/util/vxPDFResStrs.h"

namespace vx {

void TvxCustomPDFDocument::CreateEncryptionHandler() {
  const TvxPDFEncryptionSettings& settings = *encryptionSettings_;
  if (decrypt_ && decrypt_->KeepsEncryption(settings)) {
    // Same key, /O, /U, /P and first /ID element: every password and
    // restriction of the source still works.
    encryption_ = std::make_unique<TvxPDFEncryption>(decrypt_->Dictionary(), decrypt_->GetEncryptionKey());
    return;
  }
  if (!settings.UserPasswordKnown()) {
    // An owner open of an AES-256 file: the user password is not known, so
    // only what does not depend on it can change.
    if (!decrypt_ || decrypt_->Revision() < 5 || settings.Level() != elAES256)
      throw EPasswordError(res::SUserPasswordUnknown);
    encryption_ = std::make_unique<TvxPDFEncryption>(decrypt_->Dictionary(), decrypt_->GetEncryptionKey());
    const std::string& owner = settings.StoredOwnerPassword();
    bool ownerChanged = owner != decrypt_->OpenedSettings().StoredOwnerPassword();
    encryption_->ChangeOwnerAndPermissions(ownerChanged ? owner : std::string(), settings.UserPermissions());
    return;
  }
  // A fixed name and the creation date: saving the same document twice
  // gives the same identifier (and, with RC4, the same keys).
  encryption_ = std::make_unique<TvxPDFEncryption>("Output1.pdf", settings, info_->CreationDate());
}

std::string TvxCustomPDFDocument::EncryptData(std::string_view data, int32_t objectNumber) {
  if (!encryption_) CreateEncryptionHandler();
  return encryption_->Encrypt(data, saveGeneration_, objectNumber);
}

std::string TvxCustomPDFDocument::EncryptStreamData(std::string_view data, int32_t objectNumber,
                                                    const TvxPDFDictObject& dict) {
  if (!encryption_) CreateEncryptionHandler();
  if (std::optional<std::string> own = OwnCryptFilterName(dict)) {
    // Kept with its own crypt filter (the writer drops the filter
    // otherwise); one the dictionary lacks left the data as stored.
    std::optional<TvxCryptFilter> named = encryption_->NamedFilter(*own);
    return named ? named->Encrypt(data, objectNumber, saveGeneration_) : std::string(data);
  }
  auto* type = As<TvxPDFNameObject>(dict.Find("/Type"));
  // Metadata stays readable when the dictionary says so.
  if (type && type->Text == "/Metadata" && !encryption_->Dictionary().EncryptMetadata) return std::string(data);
  if (type && type->Text == "/EmbeddedFile")
    return encryption_->EmbeddedFileFilter().Encrypt(data, objectNumber, saveGeneration_);
  return encryption_->EncryptStream(data, saveGeneration_, objectNumber);
}

std::unique_ptr<TvxPDFDictObject> TvxCustomPDFDocument::BuildEncryptDictionary() {
  if (!encryption_) CreateEncryptionHandler();
  std::unique_ptr<TvxPDFDictObject> dict = encryption_->BuildEncryptDictionary();
  trailer_->IDArray = encryption_->BuildIdArray();
  return dict;
}

}  // namespace vx
