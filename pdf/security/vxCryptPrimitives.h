// AES, SHA-2 and random bytes for the standard security handler, taken from
// OpenSSL's libcrypto. MD5 and RC4 stay in their own units.
#pragma once

#include <string>
#include <string_view>

namespace vx {

// AES in CBC mode with a 128- or 256-bit key (the key's size decides) and a
// 16-byte IV. `pad` adds PKCS#7 padding; without it the data must already be
// a whole number of blocks.
std::string AESEncryptCBC(std::string_view key, std::string_view iv, std::string_view data, bool pad);
// The inverse. With `pad`, padding that does not check out is left in place
// rather than failing: a damaged string is better read as it is than lost.
std::string AESDecryptCBC(std::string_view key, std::string_view iv, std::string_view data, bool pad);
// One 16-byte block in ECB mode, no padding.
std::string AESEncryptBlock(std::string_view key, std::string_view block);
std::string AESDecryptBlock(std::string_view key, std::string_view block);

// Digests: 32, 48 and 64 bytes.
std::string SHA256(std::string_view data);
std::string SHA384(std::string_view data);
std::string SHA512(std::string_view data);

// `count` bytes from the system's cryptographic generator.
std::string RandomBytes(size_t count);

}  // namespace vx
