// The decrypting handler: password checks against /O and /U, and RC4
// decryption of strings and streams while a file is read.
#include <algorithm>
#include <cstring>
#include <ctime>

#include "pdf/parsers/vxClasses.h"
#include "pdf/security/vxPDFCrypt.h"
#include "pdf/util/vxExceptions.h"
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

void TvxPDFDecrypt::SetFileId(std::string_view text) {
  // A 16-byte value is turned into its 32 hexadecimal digits; 32 digits (a
  // hexadecimal /ID as stored) are taken as they are. Value bytes carry no
  // delimiters, so a 16-byte value that happens to start with "<" and end
  // with ">" is bytes like any other.
  std::string hex = text.size() < 32 ? BytesToHex(text) : std::string(text);
  if (hex.size() != 32) throw Exception(res::SInvalidFileId);
  std::string bytes = HexToBytes(hex);
  if (bytes.size() != 16) throw Exception(res::SInvalidFileId);
  fileId_ = std::move(bytes);
}

void TvxPDFDecrypt::SetOwnerKey(std::string_view rawString) {
  ownerKey_ = KeyBlockFromString(rawString, res::SInvalidOwnerKey);
}

void TvxPDFDecrypt::SetUserKey(std::string_view rawString) {
  userKey_ = KeyBlockFromString(rawString, res::SInvalidUserKey);
}

void TvxPDFDecrypt::SetP(int64_t p) {
  p_ = p;
  // The key hashes /P as a 32-bit integer, low byte first; a value written
  // as the unsigned form of a negative number has the same low 32 bits.
  uint32_t low = uint32_t(uint64_t(p));
  for (int i = 0; i < 4; ++i) pBytes_[size_t(i)] = uint8_t(low >> (8 * i));
}

void TvxPDFDecrypt::SetRevision(int revision) {
  if (revision != 2 && revision != 3)
    throw EUnsupportedEncryption(UnsupportedText("/R", revision));
  revision_ = revision;
}

void TvxPDFDecrypt::SetKeyLength(size_t bytes) {
  if (bytes < 5 || bytes > 16)
    throw EUnsupportedEncryption(UnsupportedText("/Length", int64_t(bytes) * 8));
  keyLength_ = bytes;
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
  uint32_t p = uint32_t(pBytes_[0]) | uint32_t(pBytes_[1]) << 8 | uint32_t(pBytes_[2]) << 16 |
               uint32_t(pBytes_[3]) << 24;
  TvxDocumentKey key =
      ComputeEncryptionKey(password, ownerKey_, p, fileId_, revision_, keyLength_);
  TvxKeyBlock expected = ComputeUserKey(key, fileId_, revision_, keyLength_);
  // Revision 3 defines only the first 16 bytes of /U.
  size_t compared = revision_ >= 3 ? 16 : 32;
  if (std::memcmp(expected.data(), userKey_.data(), compared) != 0) return false;
  objectKeyBase_ = key;
  encryptionKey_ = key;
  return true;
}

bool TvxPDFDecrypt::CheckOwnerPassword(std::string_view password, std::string& userPassword) {
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

bool TvxPDFDecrypt::AcceptPassword(TvxPDFEncryptionSettings& settings, std::string_view password) {
  std::string userPassword;
  if (CheckOwnerPassword(password, userPassword)) {
    isOwner_ = true;
    settings.SetEnabled(true);
    settings.SetOwnerPassword(std::string(password));
    settings.SetUserPassword(userPassword);
    settings.SetUserPermissions(permissions_);
    settings.SetLevel(level_);
    return true;
  }
  if (!CheckUserPassword(password)) return false;
  // Opened by a user: the file is saved again with the same user password and
  // restrictions, under an owner password nobody knows.
  ReducePermissions();
  settings.SetEnabled(true);
  settings.SetUserPassword(std::string(password));
  settings.SetOwnerPassword(GenerateOwnerPassword());
  settings.SetUserPermissions(permissions_);
  settings.SetLevel(level_);
  settings.Lock();
  return true;
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
  ObjectCrypt(objectKeyBase_.data(), keyLength_, objectNumber, generation, source, destination, count);
}

std::string TvxPDFDecrypt::DecryptString(std::string_view data, uint16_t generation,
                                         int32_t objectNumber) const {
  std::string out(data.size(), '\0');
  DecryptString(data.data(), out.data(), generation, objectNumber, data.size());
  return out;
}

void TvxPDFDecrypt::DecryptStream(TvxMemoryStream& stream, size_t count, uint16_t generation,
                                  int32_t objectNumber) const {
  std::string_view view = stream.View();
  std::string data(view.substr(0, std::min(count, view.size())));
  DecryptString(data.data(), data.data(), generation, objectNumber, data.size());
  stream.Assign(std::move(data));
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
