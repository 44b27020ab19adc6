// The encrypting handler: keys for a new file (RC4 revisions 2 and 3, AES-128
// revision 4, AES-256 revision 6), or the kept keys of the file as it was
// read, and per-object encryption under the crypt filters.
#include <cstring>

#include "pdf/objects/vxPDFObjects.h"
#include "pdf/security/vxCryptPrimitives.h"
#include "pdf/security/vxPDFCrypt.h"
#include "pdf/util/vxExceptions.h"
#include "pdf/util/vxPDFResStrs.h"
#include "pdf/util/vxPDFUtils.h"
#include "pdf/util/vxUtils.h"

namespace vx {

namespace {

const char* MethodName(TvxCryptMethod method) {
  switch (method) {
    case TvxCryptMethod::RC4: return "/V2";
    case TvxCryptMethod::AESV2: return "/AESV2";
    case TvxCryptMethod::AESV3: return "/AESV3";
    default: return "/None";
  }
}

TvxKeyBlock FirstBlock(std::string_view value) {
  TvxKeyBlock block{};
  std::memcpy(block.data(), value.data(), std::min(value.size(), block.size()));
  return block;
}

// A key value cut or padded with zeros to the size the standard gives it,
// which is how the reader used it: other readers refuse any other size.
std::string StandardSize(std::string_view value, size_t size) {
  std::string out(value.substr(0, std::min(value.size(), size)));
  out.resize(size, '\0');
  return out;
}

// A password as the key derivation of `level` hashes it; one it cannot
// hash is refused, naming the character.
std::string HashedPassword(const std::string& password, TvxPDFEncryptionLevel level) {
  std::optional<std::string> bytes = PasswordBytes(password, RevisionOfLevel(level));
  if (!bytes) throw EPasswordError(PasswordEncodingProblem(password, RevisionOfLevel(level)));
  return *bytes;
}

TvxPDFObjectPtr HexToken(std::string_view bytes) { return MakeName("<" + BytesToHex(bytes) + ">"); }

}  // namespace

TvxPDFEncryption::TvxPDFEncryption(std::string_view fileName,
                                   const TvxPDFEncryptionSettings& settings,
                                   std::string_view creationDate)
    : ownerPassword_(HashedPassword(settings.StoredOwnerPassword(), settings.Level())),
      userPassword_(HashedPassword(settings.UserPassword(), settings.Level())) {
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

TvxPDFEncryption::TvxPDFEncryption(const TvxEncryptDictionary& kept, std::string documentKey) : keepsSource_(true) {
  dict_ = kept;
  const size_t keySize = kept.Revision >= 5 ? 48 : 32;
  dict_.O = StandardSize(kept.O, keySize);
  dict_.U = StandardSize(kept.U, keySize);
  if (kept.Revision >= 5) {
    dict_.OE = StandardSize(kept.OE, 32);
    dict_.UE = StandardSize(kept.UE, 32);
    dict_.Perms = StandardSize(kept.Perms, 16);
  }
  fileKey_ = std::move(documentKey);
  fileId_ = kept.FileId;
  revision_ = kept.Revision;
  keyLength_ = kept.KeyLength;
  if (keyLength_ == 32)
    level_ = elAES256;
  else if (kept.StreamMethod == TvxCryptMethod::AESV2 || kept.StringMethod == TvxCryptMethod::AESV2)
    level_ = elAES128;
  else
    level_ = keyLength_ == 5 ? el40bit : el128bit;
  ownerKey_ = FirstBlock(kept.O);
  userKey_ = FirstBlock(kept.U);
  std::memcpy(encryptionKey_.data(), fileKey_.data(), std::min(fileKey_.size(), encryptionKey_.size()));
  permissions_ = UserPermissionsFromP(kept.P, revision_ >= 3);
  // Revisions 5 and 6 do not hash the /ID; a file without one gets one.
  if (fileId_.empty() && revision_ >= 5) fileId_ = RandomBytes(16);
  MakeFilters();
}

void TvxPDFEncryption::ChangeOwnerAndPermissions(std::string_view ownerPassword, TvxUserPermissions permissions) {
  if (dict_.Revision < 5) return;
  permissions_ = permissions;
  dict_.P = ComputePermissionFlags();
  dict_.Perms = MakePerms256(fileKey_, uint32_t(dict_.P), dict_.EncryptMetadata);
  if (!ownerPassword.empty()) {
    dict_.O = MakeOwnerKey256(ownerPassword, dict_.U, dict_.Revision, dict_.OE, fileKey_);
    ownerKey_ = FirstBlock(dict_.O);
  }
}

void TvxPDFEncryption::ComputeKeys() {
  // An empty owner password falls back to the user password.
  const std::string& owner = ownerPassword_.empty() ? userPassword_ : ownerPassword_;
  paddedOwner_ = PadPassword(owner);
  paddedUser_ = PadPassword(userPassword_);
  dict_ = TvxEncryptDictionary{};
  dict_.Revision = revision_;
  dict_.KeyLength = keyLength_;
  dict_.FileId = fileId_;
  dict_.P = ComputePermissionFlags();
  TvxCryptMethod method = level_ == elAES256   ? TvxCryptMethod::AESV3
                          : level_ == elAES128 ? TvxCryptMethod::AESV2
                                               : TvxCryptMethod::RC4;
  dict_.StreamMethod = dict_.StringMethod = dict_.EmbeddedFileMethod = method;
  dict_.Version = level_ == el40bit ? 1 : level_ == el128bit ? 2 : level_ == elAES128 ? 4 : 5;
  if (level_ == elAES256) {
    fileKey_ = RandomBytes(32);
    dict_.U = MakeUserKey256(userPassword_, revision_, dict_.UE, fileKey_);
    dict_.O = MakeOwnerKey256(owner, dict_.U, revision_, dict_.OE, fileKey_);
    dict_.Perms = MakePerms256(fileKey_, uint32_t(dict_.P), true);
    ownerKey_ = FirstBlock(dict_.O);
    userKey_ = FirstBlock(dict_.U);
  } else {
    ownerKey_ = ComputeOwnerKey(owner, userPassword_, revision_, keyLength_);
    encryptionKey_ = ComputeEncryptionKey(userPassword_, ownerKey_, uint32_t(dict_.P), fileId_, revision_, keyLength_);
    userKey_ = ComputeUserKey(encryptionKey_, fileId_, revision_, keyLength_);
    fileKey_.assign(reinterpret_cast<const char*>(encryptionKey_.data()), keyLength_);
    dict_.O = GetOwnerKey();
    dict_.U = GetUserKey();
  }
  MakeFilters();
}

int32_t TvxPDFEncryption::ComputePermissionFlags() const {
  return PermissionFlags(permissions_, level_ != el40bit);
}

void TvxPDFEncryption::Encrypt(const void* source, void* destination, uint16_t generation,
                               int32_t objectNumber, size_t count) const {
  ObjectCrypt(encryptionKey_.data(), keyLength_, objectNumber, generation, source, destination, count);
}

std::string TvxPDFEncryption::Encrypt(std::string_view data, uint16_t generation,
                                      int32_t objectNumber) const {
  return stringFilter_.Encrypt(data, objectNumber, generation);
}

std::string TvxPDFEncryption::EncryptStream(std::string_view data, uint16_t generation,
                                            int32_t objectNumber) const {
  return streamFilter_.Encrypt(data, objectNumber, generation);
}

std::unique_ptr<TvxPDFDictObject> TvxPDFEncryption::BuildEncryptDictionary() const {
  auto dict = std::make_unique<TvxPDFDictObject>();
  dict->Add("/Filter", MakeName("/Standard"));
  // Prepared tokens: the writer copies name text verbatim and never encrypts it.
  dict->Add("/O", HexToken(dict_.O));
  dict->Add("/U", HexToken(dict_.U));
  // The low 32 bits as a signed number, whichever form the source used.
  dict->AddInteger("/P", int32_t(uint32_t(uint64_t(dict_.P))));
  dict->AddInteger("/V", dict_.Version);
  dict->AddInteger("/R", dict_.Revision);
  dict->AddInteger("/Length", int32_t(keyLength_ * 8));
  if (dict_.Version >= 4) {
    // The source's crypt filters keep their names (a stream may name one);
    // a method in use without one gets /StdCF, or /StdCF2 and on when that
    // name is taken. /Identity needs none.
    std::map<std::string, TvxCryptMethod, std::less<>> named = dict_.NamedFilters;
    auto nameOf = [&](TvxCryptMethod method) -> std::string {
      if (method == TvxCryptMethod::Identity) return "/Identity";
      if (auto standard = named.find("/StdCF"); standard != named.end() && standard->second == method)
        return standard->first;
      for (const auto& [name, m] : named)
        if (m == method) return name;
      std::string name = "/StdCF";
      for (int i = 2; named.count(name); ++i) name = "/StdCF" + std::to_string(i);
      named.emplace(name, method);
      return name;
    };
    std::string stm = nameOf(dict_.StreamMethod);
    std::string str = nameOf(dict_.StringMethod);
    std::string eff = nameOf(dict_.EmbeddedFileMethod);
    auto filters = std::make_unique<TvxPDFDictObject>();
    for (const auto& [name, method] : named) {
      auto filter = std::make_unique<TvxPDFDictObject>();
      filter->Add("/AuthEvent", MakeName("/DocOpen"));
      filter->Add("/CFM", MakeName(MethodName(method)));
      filter->AddInteger("/Length", method == TvxCryptMethod::AESV3 ? 32 : int32_t(std::min<size_t>(keyLength_, 16)));
      filters->Add(name, std::move(filter));
    }
    dict->Add("/CF", std::move(filters));
    dict->Add("/StmF", MakeName(stm));
    dict->Add("/StrF", MakeName(str));
    if (eff != stm) dict->Add("/EFF", MakeName(eff));
    if (!dict_.EncryptMetadata) dict->Add("/EncryptMetadata", MakeBoolean(false));
  }
  if (dict_.Revision >= 5) {
    dict->Add("/OE", HexToken(dict_.OE));
    dict->Add("/UE", HexToken(dict_.UE));
    dict->Add("/Perms", HexToken(dict_.Perms));
  }
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
