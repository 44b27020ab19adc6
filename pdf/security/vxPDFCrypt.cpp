// Key derivations of the standard security handler (revisions 2 and 3) and
// the state both handlers share.
#include "pdf/security/vxPDFCrypt.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "pdf/util/vxPDFDocEncoding.h"
#include "pdf/util/vxPDFResStrs.h"
#include "pdf/util/vxUtils.h"

namespace vx {

const TvxPaddedPassword kPasswordPadding = {
    0x28, 0xBF, 0x4E, 0x5E, 0x4E, 0x75, 0x8A, 0x41, 0x64, 0x00, 0x4E, 0x56, 0xFF, 0xFA, 0x01, 0x08,
    0x2E, 0x2E, 0x00, 0xB6, 0xD0, 0x68, 0x3E, 0x80, 0x2F, 0x0C, 0xA9, 0xFE, 0x64, 0x53, 0x69, 0x7A};

TvxPaddedPassword PadPassword(std::string_view password) {
  TvxPaddedPassword out;
  size_t used = std::min<size_t>(password.size(), 32);
  std::memcpy(out.data(), password.data(), used);
  std::memcpy(out.data() + used, kPasswordPadding.data(), 32 - used);
  return out;
}

void MD5Passes(TMD5Digest& digest, int passes, size_t length) {
  length = std::min(length, digest.size());
  for (int i = 0; i < passes; ++i) {
    TMD5Context context;
    MD5Init(context);
    MD5Update(context, digest.data(), length);
    MD5Final(context, digest);
  }
}

void RC4Passes(uint8_t* buffer, size_t count, const uint8_t* key, size_t keyLength,
               bool descending) {
  uint8_t passKey[256];
  keyLength = std::min<size_t>(keyLength, sizeof passKey);
  for (int step = 0; step < 20; ++step) {
    uint8_t i = uint8_t(descending ? 19 - step : step);
    for (size_t k = 0; k < keyLength; ++k) passKey[k] = uint8_t(key[k] ^ i);
    TRC4State state;
    RC4Init(state, passKey, keyLength);
    RC4Crypt(state, buffer, buffer, count);
  }
}

std::string ObjectKey(const uint8_t* documentKey, size_t keyLength, int32_t objectNumber,
                      uint16_t generation) {
  keyLength = std::min<size_t>(keyLength, 16);
  uint8_t input[21];
  std::memcpy(input, documentKey, keyLength);
  uint32_t number = uint32_t(objectNumber);
  input[keyLength] = uint8_t(number);
  input[keyLength + 1] = uint8_t(number >> 8);
  input[keyLength + 2] = uint8_t(number >> 16);
  input[keyLength + 3] = uint8_t(generation);
  input[keyLength + 4] = uint8_t(generation >> 8);
  TMD5Digest digest = MD5(std::string_view(reinterpret_cast<const char*>(input), keyLength + 5));
  return std::string(reinterpret_cast<const char*>(digest.data()), std::min<size_t>(keyLength + 5, 16));
}

void ObjectCrypt(const uint8_t* documentKey, size_t keyLength, int32_t objectNumber, uint16_t generation,
                 const void* source, void* destination, size_t count) {
  std::string key = ObjectKey(documentKey, keyLength, objectNumber, generation);
  TRC4State state;
  RC4Init(state, key.data(), key.size());
  RC4Crypt(state, source, destination, count);
}

namespace {

std::string_view AsView(const uint8_t* data, size_t count) {
  return std::string_view(reinterpret_cast<const char*>(data), count);
}

// The RC4 key that hides the user password in /O.
TMD5Digest OwnerRC4Key(std::string_view ownerPassword, int revision, size_t keyLength) {
  TvxPaddedPassword padded = PadPassword(ownerPassword);
  TMD5Digest digest = MD5(AsView(padded.data(), padded.size()));
  if (revision >= 3) MD5Passes(digest, 50, keyLength);
  return digest;
}

void RC4Once(uint8_t* buffer, size_t count, const uint8_t* key, size_t keyLength) {
  TRC4State state;
  RC4Init(state, key, keyLength);
  RC4Crypt(state, buffer, buffer, count);
}

}  // namespace

TvxKeyBlock ComputeOwnerKey(std::string_view ownerPassword, std::string_view userPassword,
                            int revision, size_t keyLength) {
  keyLength = std::clamp<size_t>(keyLength, 1, 16);
  // Without an owner password the user password protects the owner's rights.
  std::string_view owner = ownerPassword.empty() ? userPassword : ownerPassword;
  TMD5Digest key = OwnerRC4Key(owner, revision, keyLength);
  TvxKeyBlock block = PadPassword(userPassword);
  if (revision >= 3)
    RC4Passes(block.data(), block.size(), key.data(), keyLength, false);
  else
    RC4Once(block.data(), block.size(), key.data(), keyLength);
  return block;
}

TvxDocumentKey ComputeEncryptionKey(std::string_view userPassword, const TvxKeyBlock& ownerKey,
                                    uint32_t p, std::string_view fileId, int revision,
                                    size_t keyLength, bool encryptMetadata) {
  keyLength = std::clamp<size_t>(keyLength, 1, 16);
  TvxPaddedPassword padded = PadPassword(userPassword);
  uint8_t pBytes[4] = {uint8_t(p), uint8_t(p >> 8), uint8_t(p >> 16), uint8_t(p >> 24)};
  TMD5Context context;
  MD5Init(context);
  MD5Update(context, padded.data(), padded.size());
  MD5Update(context, ownerKey.data(), ownerKey.size());
  MD5Update(context, pBytes, 4);
  MD5Update(context, fileId.data(), fileId.size());
  if (revision >= 4 && !encryptMetadata) {
    static const uint8_t kAllOnes[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    MD5Update(context, kAllOnes, 4);
  }
  TMD5Digest digest;
  MD5Final(context, digest);
  if (revision >= 3) MD5Passes(digest, 50, keyLength);
  TvxDocumentKey key{};
  std::memcpy(key.data(), digest.data(), keyLength);
  return key;
}

TvxKeyBlock ComputeUserKey(const TvxDocumentKey& key, std::string_view fileId, int revision,
                           size_t keyLength) {
  keyLength = std::clamp<size_t>(keyLength, 1, 16);
  TvxKeyBlock block{};
  if (revision >= 3) {
    TMD5Context context;
    MD5Init(context);
    MD5Update(context, kPasswordPadding.data(), kPasswordPadding.size());
    MD5Update(context, fileId.data(), fileId.size());
    TMD5Digest digest;
    MD5Final(context, digest);
    std::memcpy(block.data(), digest.data(), digest.size());
    RC4Passes(block.data(), 16, key.data(), keyLength, false);
  } else {
    block = kPasswordPadding;
    RC4Once(block.data(), block.size(), key.data(), keyLength);
  }
  return block;
}

TvxPaddedPassword RecoverPaddedUserPassword(std::string_view ownerPassword,
                                            const TvxKeyBlock& ownerKey, int revision,
                                            size_t keyLength) {
  keyLength = std::clamp<size_t>(keyLength, 1, 16);
  TMD5Digest key = OwnerRC4Key(ownerPassword, revision, keyLength);
  TvxPaddedPassword block = ownerKey;
  if (revision >= 3)
    RC4Passes(block.data(), block.size(), key.data(), keyLength, true);
  else
    RC4Once(block.data(), block.size(), key.data(), keyLength);
  return block;
}

size_t KeyLengthOfLevel(TvxPDFEncryptionLevel level) {
  switch (level) {
    case el40bit: return 5;
    case elAES256: return 32;
    default: return 16;
  }
}

int RevisionOfLevel(TvxPDFEncryptionLevel level) {
  switch (level) {
    case el40bit: return 2;
    case elAES128: return 4;
    case elAES256: return 6;
    default: return 3;
  }
}

void TvxBasePDFCrypt::SetLevel(TvxPDFEncryptionLevel level) {
  level_ = level <= elAES256 ? level : el128bit;
  keyLength_ = KeyLengthOfLevel(level_);
  revision_ = RevisionOfLevel(level_);
}

std::string TvxBasePDFCrypt::GetOwnerKey() const {
  return std::string(AsView(ownerKey_.data(), ownerKey_.size()));
}

std::string TvxBasePDFCrypt::GetUserKey() const {
  return std::string(AsView(userKey_.data(), userKey_.size()));
}

std::optional<std::string> PasswordBytes(std::string_view password, int revision, char32_t* missing) {
  if (revision >= 5) return std::string(password);
  const bool ascii = std::all_of(password.begin(), password.end(), [](char c) { return uint8_t(c) < 0x80; });
  // Bytes that are not UTF-8 are taken to be in the file's encoding already.
  if (ascii || !IsUtf8(password)) return std::string(password);
  return Utf8ToPDFDocEncoding(password, missing);
}

std::string PasswordEncodingProblem(std::string_view password, int revision) {
  char32_t missing = 0;
  if (PasswordBytes(password, revision, &missing)) return std::string();
  char code[16];
  std::snprintf(code, sizeof code, "U+%04X", unsigned(missing));
  return Format(res::SPasswordNotEncodable, {code});
}

std::optional<TvxCryptFilter> TvxBasePDFCrypt::NamedFilter(std::string_view name) const {
  if (name == "/Identity") return TvxCryptFilter();
  auto found = dict_.NamedFilters.find(name);
  if (found == dict_.NamedFilters.end()) return std::nullopt;
  return TvxCryptFilter(found->second, fileKey_);
}

void TvxBasePDFCrypt::MakeFilters() {
  stringFilter_ = TvxCryptFilter(dict_.StringMethod, fileKey_);
  streamFilter_ = TvxCryptFilter(dict_.StreamMethod, fileKey_);
  embeddedFileFilter_ = TvxCryptFilter(dict_.EmbeddedFileMethod, fileKey_);
}

std::string TvxBasePDFCrypt::GetEncryptionKey() const {
  if (!fileKey_.empty()) return fileKey_;
  return std::string(AsView(encryptionKey_.data(), std::min(keyLength_, encryptionKey_.size())));
}

}  // namespace vx
