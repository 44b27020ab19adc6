// The decrypting handler: password checks against /O and /U (RC4 and AES-128
// revisions 2 to 4, AES-256 revisions 5 and 6), and decryption of strings and
// streams while a file is read.
#include <algorithm>
#include <cstring>
#include <ctime>

#include "pdf/parsers/vxClasses.h"
#include "pdf/security/vxCryptPrimitives.h"
#include "pdf/security/vxPDFCrypt.h"
#include "pdf/util/vxExceptions.h"
#include "pdf/util/vxPDFDocEncoding.h"
#include "pdf/util/vxPDFResStrs.h"
#include "pdf/util/vxPDFUtils.h"
#include "pdf/util/vxUtils.h"

namespace vx {

namespace {

// The library maker's word that starts every generated owner password.
constexpr const char* kOwnerPasswordWord = "Vexorsft";

bool Delimited(std::string_view text, char open, char close) {
  return text.size() >= 2 && text.front() == open && text.back() == close;
}

// The bytes of an /O or /U string from its stored text, at most 32 of them
// (longer values are not valid and are cut rather than overrun the field).
TvxKeyBlock KeyBlockFromString(std::string_view raw, const char* message) {
  std::string value;
  if (Delimited(raw, '<', '>'))
    value = HexToBytes(raw.substr(1, raw.size() - 2));
  else if (Delimited(raw, '(', ')'))
    value = std::string(raw.substr(1, raw.size() - 2));
  else
    value = std::string(raw);
  if (value.empty()) throw Exception(message);
  TvxKeyBlock block{};
  std::memcpy(block.data(), value.data(), std::min<size_t>(value.size(), block.size()));
  return block;
}

std::string UnsupportedText(const char* key, int64_t value) {
  return Format(res::SUnsupportedEncryption, {std::string(key) + " " + std::to_string(value)});
}

}  // namespace

void TvxPDFDecrypt::SetFileId(std::string_view bytes) { fileId_ = std::string(bytes); }

void TvxPDFDecrypt::SetOwnerKey(std::string_view rawString) {
  ownerKey_ = KeyBlockFromString(rawString, res::SInvalidOwnerKey);
}

void TvxPDFDecrypt::SetUserKey(std::string_view rawString) {
  userKey_ = KeyBlockFromString(rawString, res::SInvalidUserKey);
}

void TvxPDFDecrypt::SetKeyValues(std::string_view owner, std::string_view user, std::string_view ownerEncrypted,
                                 std::string_view userEncrypted, std::string_view perms) {
  dict_.O = std::string(owner);
  dict_.U = std::string(user);
  dict_.OE = std::string(ownerEncrypted);
  dict_.UE = std::string(userEncrypted);
  dict_.Perms = std::string(perms);
}

void TvxPDFDecrypt::SetCryptMethods(TvxCryptMethod streams, TvxCryptMethod strings, TvxCryptMethod embeddedFiles,
                                    bool encryptMetadata) {
  dict_.StreamMethod = streams;
  dict_.StringMethod = strings;
  dict_.EmbeddedFileMethod = embeddedFiles;
  dict_.EncryptMetadata = encryptMetadata;
}

void TvxPDFDecrypt::SetNamedFilters(std::map<std::string, TvxCryptMethod, std::less<>> filters) {
  dict_.NamedFilters = std::move(filters);
}

void TvxPDFDecrypt::SetP(int64_t p) {
  p_ = p;
  dict_.P = p;
  // The key hashes /P as a 32-bit integer, low byte first; a value written
  // as the unsigned form of a negative number has the same low 32 bits.
  uint32_t low = uint32_t(uint64_t(p));
  for (int i = 0; i < 4; ++i) pBytes_[size_t(i)] = uint8_t(low >> (8 * i));
}

void TvxPDFDecrypt::SetRevision(int revision) {
  if (revision < 2 || revision > 6)
    throw EUnsupportedEncryption(UnsupportedText("/R", revision));
  revision_ = revision;
  dict_.Revision = revision;
  if (revision >= 5) {
    keyLength_ = 32;
    level_ = elAES256;
  }
}

void TvxPDFDecrypt::SetKeyLength(size_t bytes) {
  // RC4 and AES-128 keys are 5 to 16 bytes; AES-256 keys 32.
  if ((bytes < 5 || bytes > 16) && bytes != 32)
    throw EUnsupportedEncryption(UnsupportedText("/Length", int64_t(bytes) * 8));
  keyLength_ = bytes;
  dict_.KeyLength = bytes;
  if (bytes == 32)
    level_ = elAES256;
  else if (dict_.StreamMethod == TvxCryptMethod::AESV2 || dict_.StringMethod == TvxCryptMethod::AESV2)
    level_ = elAES128;
  else
    level_ = bytes == 5 ? el40bit : el128bit;
}

size_t TvxPDFDecrypt::KeyLengthFromDictionary(int revision, std::optional<int64_t> lengthBits,
                                              std::optional<int64_t> version) {
  if (revision != 2 && revision != 3) throw EUnsupportedEncryption(UnsupportedText("/R", revision));
  // /V 4 and later select crypt filters, which are not supported.
  if (version && (*version < 0 || *version > 3))
    throw EUnsupportedEncryption(UnsupportedText("/V", *version));
  // /V 1 always means 40 bits; the revision only chooses the algorithms.
  bool fixed40 = version ? *version <= 1 : revision == 2;
  if (fixed40) return 5;
  int64_t bits = lengthBits.value_or(40);
  if (bits < 40 || bits > 128 || bits % 8 != 0)
    throw EUnsupportedEncryption(UnsupportedText("/Length", bits));
  return size_t(bits / 8);
}

bool TvxPDFDecrypt::CheckUserPassword(std::string_view password) {
  if (revision_ >= 5) {
    std::string key = FileKeyFromPassword256(password, false, dict_.O, dict_.U, dict_.OE, dict_.UE, revision_);
    if (key.size() != 32) return false;
    fileKey_ = key;
    MakeFilters();
    return true;
  }
  uint32_t p = uint32_t(pBytes_[0]) | uint32_t(pBytes_[1]) << 8 | uint32_t(pBytes_[2]) << 16 |
               uint32_t(pBytes_[3]) << 24;
  TvxDocumentKey key =
      ComputeEncryptionKey(password, ownerKey_, p, fileId_, revision_, keyLength_, dict_.EncryptMetadata);
  TvxKeyBlock expected = ComputeUserKey(key, fileId_, revision_, keyLength_);
  // Revision 3 defines only the first 16 bytes of /U.
  size_t compared = revision_ >= 3 ? 16 : 32;
  if (std::memcmp(expected.data(), userKey_.data(), compared) != 0) return false;
  objectKeyBase_ = key;
  encryptionKey_ = key;
  fileKey_.assign(reinterpret_cast<const char*>(key.data()), keyLength_);
  MakeFilters();
  return true;
}

bool TvxPDFDecrypt::CheckOwnerPassword(std::string_view password, std::string& userPassword) {
  if (revision_ >= 5) {
    // The owner password unlocks the key but does not reveal the user
    // password; it is known only when it is empty.
    std::string key = FileKeyFromPassword256(password, true, dict_.O, dict_.U, dict_.OE, dict_.UE, revision_);
    if (key.size() != 32) {
      userPassword.clear();
      return false;
    }
    userPasswordKnown_ = !FileKeyFromPassword256("", false, dict_.O, dict_.U, dict_.OE, dict_.UE, revision_).empty();
    fileKey_ = key;
    MakeFilters();
    userPassword.clear();
    return true;
  }
  TvxPaddedPassword padded =
      RecoverPaddedUserPassword(password, ownerKey_, revision_, keyLength_);
  std::string_view all(reinterpret_cast<const char*>(padded.data()), padded.size());
  // The password ends where the padding string starts.
  size_t end = all.size();
  for (size_t i = 0; i + 1 < all.size(); ++i) {
    if (padded[i] == kPasswordPadding[0] && padded[i + 1] == kPasswordPadding[1]) {
      end = i;
      break;
    }
  }
  if (!CheckUserPassword(all)) {
    userPassword.clear();
    return false;
  }
  userPassword = std::string(all.substr(0, end));
  return true;
}

void TvxPDFDecrypt::SetDictionaryFacts(int version, std::string fileIdBytes) {
  dict_.Version = version;
  dict_.FileId = std::move(fileIdBytes);
}

bool TvxPDFDecrypt::KeepsEncryption(const TvxPDFEncryptionSettings& settings) const {
  if (!settings.Enabled() || fileKey_.empty()) return false;
  if (!settings.Changeable()) return true;
  return settings.Level() == opened_.Level() && settings.UserPermissions() == opened_.UserPermissions() &&
         settings.StoredOwnerPassword() == opened_.StoredOwnerPassword() &&
         settings.UserPassword() == opened_.UserPassword() &&
         settings.UserPasswordKnown() == opened_.UserPasswordKnown();
}

bool TvxPDFDecrypt::AcceptPassword(TvxPDFEncryptionSettings& settings, std::string_view password) {
  // The standard hashes passwords of revisions 2 to 4 in PDFDocEncoding;
  // files whose maker hashed the bytes it was given open too.
  std::optional<std::string> encoded = PasswordBytes(password, revision_);
  bool accepted = (encoded && *encoded != password && AcceptPasswordInto(settings, *encoded, password)) ||
                  AcceptPasswordInto(settings, password, password);
  if (accepted) opened_ = settings;
  return accepted;
}

bool TvxPDFDecrypt::AcceptPasswordInto(TvxPDFEncryptionSettings& settings, std::string_view password,
                                       std::string_view typed) {
  std::string userPassword;
  if (CheckOwnerPassword(password, userPassword)) {
    isOwner_ = true;
    settings.SetEnabled(true);
    settings.SetOwnerPassword(std::string(typed));
    // The settings hold text: the recovered password is in PDFDocEncoding.
    settings.SetUserPassword(PDFDocEncodingToUtf8(userPassword));
    // The owner may do everything, but what the file grants its users is
    // what a save without changes keeps.
    settings.SetUserPermissions(UserPermissionsFromP(p_, revision_ >= 3));
    settings.SetLevel(level_);
    settings.SetUserPasswordKnown(userPasswordKnown_);
    return true;
  }
  if (!CheckUserPassword(password)) return false;
  // Opened by a user: the settings are locked, and the file is saved again
  // with its own encryption (same key, same /O), so the owner password and
  // the restrictions keep working.
  ReducePermissions();
  settings.SetEnabled(true);
  settings.SetUserPassword(std::string(typed));
  settings.SetOwnerPassword(GenerateOwnerPassword());
  settings.SetUserPermissions(permissions_);
  settings.SetLevel(level_);
  settings.Lock();
  return true;
}

TvxPDFDecrypt::TvxPermsCheck TvxPDFDecrypt::CheckPerms() const {
  if (dict_.Perms.size() < 16 || fileKey_.size() != 32) return TvxPermsCheck::KeyMismatch;
  const std::string block = AESDecryptBlock(fileKey_, dict_.Perms);
  if (block.size() != 16 || block.compare(9, 3, "adb") != 0) return TvxPermsCheck::KeyMismatch;
  uint32_t p = 0;
  for (int i = 3; i >= 0; --i) p = p << 8 | uint8_t(block[size_t(i)]);
  if (p != uint32_t(uint64_t(p_))) return TvxPermsCheck::PMismatch;
  if ((block[8] == 'T' && !dict_.EncryptMetadata) || (block[8] == 'F' && dict_.EncryptMetadata))
    return TvxPermsCheck::MetadataMismatch;
  return TvxPermsCheck::Valid;
}

void TvxPDFDecrypt::ReducePermissions() {
  bool extended = revision_ >= 3;
  TvxUserPermissions granted = UserPermissionsFromP(p_, extended);
  // Permissions /P cannot express at revision 2 stay as they are.
  if (!extended)
    granted = granted | TvxUserPermissions{AllowFormFill, AllowAccessibility, AllowDocAssembly,
                                           AllowHighResPrint};
  permissions_ = permissions_ & granted;
}

void TvxPDFDecrypt::DecryptString(const void* source, void* destination, uint16_t generation,
                                  int32_t objectNumber, size_t count) const {
  // In place, so only a length-keeping method fits: RC4 or nothing. AES
  // data changes length and goes through the string form.
  if (stringFilter_.Method() == TvxCryptMethod::Identity) {
    if (count > 0 && source != destination) std::memmove(destination, source, count);
    return;
  }
  ObjectCrypt(objectKeyBase_.data(), keyLength_, objectNumber, generation, source, destination, count);
}

std::string TvxPDFDecrypt::DecryptString(std::string_view data, uint16_t generation,
                                         int32_t objectNumber) const {
  if (!fileKey_.empty() && stringFilter_.Method() != TvxCryptMethod::RC4)
    return stringFilter_.Decrypt(data, objectNumber, generation);
  std::string out(data.size(), '\0');
  DecryptString(data.data(), out.data(), generation, objectNumber, data.size());
  return out;
}

std::string TvxPDFDecrypt::DecryptStreamData(std::string_view data, uint16_t generation, int32_t objectNumber,
                                             bool embeddedFile) const {
  const TvxCryptFilter& filter = embeddedFile ? embeddedFileFilter_ : streamFilter_;
  if (fileKey_.empty()) return DecryptString(data, generation, objectNumber);
  return filter.Decrypt(data, objectNumber, generation);
}

void TvxPDFDecrypt::DecryptStream(TvxMemoryStream& stream, size_t count, uint16_t generation,
                                  int32_t objectNumber) const {
  std::string_view view = stream.View();
  stream.Assign(DecryptStreamData(view.substr(0, std::min(count, view.size())), generation, objectNumber));
}

std::string GenerateOwnerPassword() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%d%H%M%S", &local);
  RandomizeFromClock();
  return std::string(kOwnerPasswordWord) + stamp + std::to_string(RandomNumber());
}

}  // namespace vx
