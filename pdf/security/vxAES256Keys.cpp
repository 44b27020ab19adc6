// Passwords and keys of revisions 5 and 6: the password hash, the /U /UE /O
// /OE /Perms values, and the file key found from a password.
#include <algorithm>
#include <cstring>

#include "pdf/security/vxCryptPrimitives.h"
#include "pdf/security/vxPDFCrypt.h"

namespace vx {

namespace {

constexpr size_t kMaxPassword = 127;
const std::string kZeroIV(16, '\0');

std::string_view Cut(std::string_view s, size_t from, size_t count) {
  return from >= s.size() ? std::string_view() : s.substr(from, count);
}

}  // namespace

std::string HashPassword256(std::string_view password, std::string_view salt, std::string_view userKey,
                            int revision) {
  password = password.substr(0, std::min(password.size(), kMaxPassword));
  userKey = userKey.substr(0, std::min<size_t>(userKey.size(), 48));
  std::string k = SHA256(std::string(password) + std::string(salt) + std::string(userKey));
  if (revision < 6) return k;
  for (int round = 0;; ++round) {
    std::string block = std::string(password) + k + std::string(userKey);
    std::string k1;
    k1.reserve(block.size() * 64);
    for (int i = 0; i < 64; ++i) k1 += block;
    std::string e = AESEncryptCBC(std::string_view(k).substr(0, 16), std::string_view(k).substr(16, 16), k1, false);
    unsigned sum = 0;
    for (int i = 0; i < 16; ++i) sum += uint8_t(e[size_t(i)]);
    switch (sum % 3) {
      case 0: k = SHA256(e); break;
      case 1: k = SHA384(e); break;
      default: k = SHA512(e); break;
    }
    if (round >= 63 && uint8_t(e.back()) <= unsigned(round + 1 - 32)) break;
  }
  return k.substr(0, 32);
}

std::string MakeUserKey256(std::string_view userPassword, int revision, std::string& userEncryptedKey,
                           std::string_view fileKey) {
  std::string salts = RandomBytes(16);  // validation salt, then key salt
  std::string u = HashPassword256(userPassword, Cut(salts, 0, 8), {}, revision) + salts;
  userEncryptedKey = AESEncryptCBC(HashPassword256(userPassword, Cut(salts, 8, 8), {}, revision), kZeroIV, fileKey, false);
  return u;
}

std::string MakeOwnerKey256(std::string_view ownerPassword, std::string_view userKey, int revision,
                            std::string& ownerEncryptedKey, std::string_view fileKey) {
  std::string salts = RandomBytes(16);
  std::string o = HashPassword256(ownerPassword, Cut(salts, 0, 8), userKey, revision) + salts;
  ownerEncryptedKey =
      AESEncryptCBC(HashPassword256(ownerPassword, Cut(salts, 8, 8), userKey, revision), kZeroIV, fileKey, false);
  return o;
}

std::string MakePerms256(std::string_view fileKey, uint32_t p, bool encryptMetadata) {
  std::string block(16, '\0');
  for (int i = 0; i < 4; ++i) block[size_t(i)] = char(uint8_t(p >> (8 * i)));
  for (int i = 4; i < 8; ++i) block[size_t(i)] = char(0xFF);
  block[8] = encryptMetadata ? 'T' : 'F';
  block[9] = 'a';
  block[10] = 'd';
  block[11] = 'b';
  std::string tail = RandomBytes(4);
  std::memcpy(block.data() + 12, tail.data(), 4);
  return AESEncryptBlock(fileKey, block);
}

std::string FileKeyFromPassword256(std::string_view password, bool asOwner, std::string_view ownerKey,
                                   std::string_view userKey, std::string_view ownerEncryptedKey,
                                   std::string_view userEncryptedKey, int revision) {
  std::string_view key = asOwner ? ownerKey : userKey;
  std::string_view encrypted = asOwner ? ownerEncryptedKey : userEncryptedKey;
  std::string_view extra = asOwner ? Cut(userKey, 0, 48) : std::string_view();
  if (key.size() < 48 || encrypted.size() < 32) return std::string();
  if (HashPassword256(password, key.substr(32, 8), extra, revision) != key.substr(0, 32)) return std::string();
  return AESDecryptCBC(HashPassword256(password, key.substr(40, 8), extra, revision), kZeroIV,
                       encrypted.substr(0, 32), false);
}

}  // namespace vx
