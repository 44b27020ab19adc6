// Thin wrappers over libcrypto's EVP interface.
#include "pdf/security/vxCryptPrimitives.h"

#include <openssl/evp.h>
#include <openssl/rand.h>
#include <openssl/sha.h>

#include <memory>

#include "pdf/util/vxExceptions.h"
#include "pdf/util/vxPDFResStrs.h"
#include "pdf/util/vxUtils.h"

namespace vx {

namespace {

struct CipherContextDeleter {
  void operator()(EVP_CIPHER_CTX* c) const { EVP_CIPHER_CTX_free(c); }
};
using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, CipherContextDeleter>;

const EVP_CIPHER* Cipher(std::string_view key, bool cbc) {
  if (key.size() == 16) return cbc ? EVP_aes_128_cbc() : EVP_aes_128_ecb();
  if (key.size() == 32) return cbc ? EVP_aes_256_cbc() : EVP_aes_256_ecb();
  throw Exception(Format(res::SCryptoFailure, {"AES: Invalid key length"}));
}

const unsigned char* Bytes(std::string_view s) { return reinterpret_cast<const unsigned char*>(s.data()); }

std::string Run(bool encrypt, std::string_view key, std::string_view iv, std::string_view data, bool cbc,
                bool pad) {
  CipherContext context(EVP_CIPHER_CTX_new());
  if (!context) throw Exception(Format(res::SCryptoFailure, {"AES: out of memory"}));
  if (EVP_CipherInit_ex(context.get(), Cipher(key, cbc), nullptr, Bytes(key), cbc ? Bytes(iv) : nullptr,
                        encrypt ? 1 : 0) != 1)
    throw Exception(Format(res::SCryptoFailure, {"AES: set-up failed"}));
  EVP_CIPHER_CTX_set_padding(context.get(), 0);
  std::string in(data);
  if (encrypt && pad) {
    size_t fill = 16 - in.size() % 16;
    in.append(fill, char(fill));
  }
  // Without padding only whole blocks are processed; a ragged tail (a
  // damaged file) is dropped.
  in.resize(in.size() - in.size() % 16);
  std::string out(in.size() + 16, '\0');
  int written = 0, last = 0;
  if (EVP_CipherUpdate(context.get(), reinterpret_cast<unsigned char*>(out.data()), &written, Bytes(in),
                       int(in.size())) != 1 ||
      EVP_CipherFinal_ex(context.get(), reinterpret_cast<unsigned char*>(out.data()) + written, &last) != 1)
    throw Exception(Format(res::SCryptoFailure, {"AES: cipher failed"}));
  out.resize(size_t(written + last));
  if (!encrypt && pad && !out.empty()) {
    size_t fill = uint8_t(out.back());
    bool valid = fill >= 1 && fill <= 16 && fill <= out.size();
    for (size_t i = 0; valid && i < fill; ++i) valid = uint8_t(out[out.size() - 1 - i]) == fill;
    if (valid) out.resize(out.size() - fill);
  }
  return out;
}

std::string Digest(const EVP_MD* md, std::string_view data) {
  unsigned char out[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  if (EVP_Digest(data.data(), data.size(), out, &size, md, nullptr) != 1) throw Exception(Format(res::SCryptoFailure, {"SHA-2: digest failed"}));
  return std::string(reinterpret_cast<const char*>(out), size);
}

}  // namespace

std::string AESEncryptCBC(std::string_view key, std::string_view iv, std::string_view data, bool pad) {
  return Run(true, key, iv, data, true, pad);
}

std::string AESDecryptCBC(std::string_view key, std::string_view iv, std::string_view data, bool pad) {
  return Run(false, key, iv, data, true, pad);
}

std::string AESEncryptBlock(std::string_view key, std::string_view block) {
  return Run(true, key, {}, block.substr(0, 16), false, false);
}

std::string AESDecryptBlock(std::string_view key, std::string_view block) {
  return Run(false, key, {}, block.substr(0, 16), false, false);
}

std::string SHA256(std::string_view data) { return Digest(EVP_sha256(), data); }
std::string SHA384(std::string_view data) { return Digest(EVP_sha384(), data); }
std::string SHA512(std::string_view data) { return Digest(EVP_sha512(), data); }

std::string RandomBytes(size_t count) {
  std::string out(count, '\0');
  if (count && RAND_bytes(reinterpret_cast<unsigned char*>(out.data()), int(count)) != 1)
    throw Exception(Format(res::SCryptoFailure, {"Random bytes: the generator failed"}));
  return out;
}

}  // namespace vx
