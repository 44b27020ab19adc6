// Encrypting on save: the handler made from the settings, data encrypted per
// object, the encryption dictionary and the new /ID.
#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/security/vxPDFCrypt.h"

namespace vx {

void TvxCustomPDFDocument::CreateEncryptionHandler() {
  // A fixed name and the creation date: saving the same document twice
  // gives the same identifier and keys.
  encryption_ = std::make_unique<TvxPDFEncryption>("Output1.pdf", *encryptionSettings_, info_->CreationDate());
}

std::string TvxCustomPDFDocument::EncryptData(std::string_view data, int32_t objectNumber) {
  if (!encryption_) CreateEncryptionHandler();
  return encryption_->Encrypt(data, 0, objectNumber);
}

std::unique_ptr<TvxPDFDictObject> TvxCustomPDFDocument::BuildEncryptDictionary() {
  if (!encryption_) CreateEncryptionHandler();
  std::unique_ptr<TvxPDFDictObject> dict = encryption_->BuildEncryptDictionary();
  trailer_->IDArray = encryption_->BuildIdArray();
  return dict;
}

}  // namespace vx
