// The encrypting handler: keys for a new file and per-object encryption.
#include <cstring>

#include "pdf/objects/vxPDFObjects.h"
#include "pdf/security/vxPDFCrypt.h"
#include "pdf/util/vxPDFUtils.h"

namespace vx {

TvxPDFEncryption::TvxPDFEncryption(std::string_view fileName,
                                   const TvxPDFEncryptionSettings& settings,
                                   std::string_view creationDate)
    : ownerPassword_(settings.StoredOwnerPassword()), userPassword_(settings.UserPassword()) {
  SetLevel(settings.Level());
  permissions_ = settings.UserPermissions();
  TMD5Context context;
  MD5Init(context);
  MD5Update(context, fileName.data(), fileName.size());
  MD5Update(context, creationDate.data(), creationDate.size());
  TMD5Digest digest;
  MD5Final(context, digest);
  fileId_.assign(reinterpret_cast<const char*>(digest.data()), digest.size());
  ComputeKeys();
}

void TvxPDFEncryption::ComputeKeys() {
  // An empty owner password falls back to the user password.
  const std::string& owner = ownerPassword_.empty() ? userPassword_ : ownerPassword_;
  paddedOwner_ = PadPassword(owner);
  paddedUser_ = PadPassword(userPassword_);
  ownerKey_ = ComputeOwnerKey(owner, userPassword_, revision_, keyLength_);
  encryptionKey_ = ComputeEncryptionKey(userPassword_, ownerKey_,
                                        uint32_t(ComputePermissionFlags()), fileId_, revision_,
                                        keyLength_);
  userKey_ = ComputeUserKey(encryptionKey_, fileId_, revision_, keyLength_);
}

int32_t TvxPDFEncryption::ComputePermissionFlags() const {
  return PermissionFlags(permissions_, level_ == el128bit);
}

void TvxPDFEncryption::Encrypt(const void* source, void* destination, uint16_t generation,
                               int32_t objectNumber, size_t count) const {
  ObjectCrypt(encryptionKey_.data(), keyLength_, objectNumber, generation, source, destination, count);
}

std::string TvxPDFEncryption::Encrypt(std::string_view data, uint16_t generation,
                                      int32_t objectNumber) const {
  std::string out(data.size(), '\0');
  Encrypt(data.data(), out.data(), generation, objectNumber, data.size());
  return out;
}

std::unique_ptr<TvxPDFDictObject> TvxPDFEncryption::BuildEncryptDictionary() const {
  auto dict = std::make_unique<TvxPDFDictObject>();
  dict->Add("/Filter", MakeName("/Standard"));
  // Prepared tokens: the writer copies name text verbatim and never encrypts it.
  dict->Add("/O", MakeName("<" + BytesToHex(GetOwnerKey()) + ">"));
  dict->Add("/U", MakeName("<" + BytesToHex(GetUserKey()) + ">"));
  dict->AddInteger("/P", ComputePermissionFlags());
  dict->AddInteger("/V", level_ == el40bit ? 1 : 2);
  dict->AddInteger("/R", revision_);
  dict->AddInteger("/Length", int32_t(keyLength_ * 8));
  return dict;
}

std::unique_ptr<TvxPDFArrayObject> TvxPDFEncryption::BuildIdArray() const {
  auto array = std::make_unique<TvxPDFArrayObject>();
  std::string text = "<" + BytesToHex(fileId_) + ">";
  array->Add(std::make_unique<TvxPDFStringObject>(text, true));
  array->Add(std::make_unique<TvxPDFStringObject>(text, true));
  return array;
}

}  // namespace vx
