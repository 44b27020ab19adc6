// The decrypting handler fed untrusted encryption values: /R, /V, /Length,
// /P, /ID, /O, /U and a password, then a string to decrypt. Also checks that
// whatever passwords and permissions are chosen, a file encrypted here opens
// with both of its passwords.
//
// Input layout: byte 0 /R selector, byte 1 /V, byte 2 /Length (0: absent),
// bytes 3..10 /P (little-endian), then four fields each preceded by a length
// byte (/ID element, /O, /U, password), then the data to decrypt.
#include <cstdint>
#include <optional>
#include <string>

#include "pdf/parsers/vxClasses.h"
#include "pdf/security/vxPDFCrypt.h"
#include "pdf/util/vxExceptions.h"

namespace {

struct Reader {
  const uint8_t* data;
  size_t size;
  size_t pos = 0;

  uint8_t Byte() { return pos < size ? data[pos++] : 0; }
  std::string Field() {
    size_t n = Byte();
    if (n > size - pos) n = size - pos;
    std::string out(reinterpret_cast<const char*>(data + pos), n);
    pos += n;
    return out;
  }
  std::string Rest() {
    std::string out(reinterpret_cast<const char*>(data + pos), size - pos);
    pos = size;
    return out;
  }
};

void OpenUntrusted(Reader& in) {
  int revision = (in.Byte() & 1) ? 3 : 2;
  int64_t version = in.Byte() % 6;
  uint8_t lengthByte = in.Byte();
  std::optional<int64_t> length;
  if (lengthByte) length = int64_t(lengthByte);
  uint64_t p = 0;
  for (int i = 0; i < 8; ++i) p |= uint64_t(in.Byte()) << (8 * i);
  std::string id = in.Field();
  std::string o = in.Field();
  std::string u = in.Field();
  std::string password = in.Field();
  std::string data = in.Rest();

  vx::TvxPDFDecrypt decrypt;
  try {
    decrypt.SetRevision(revision);
    decrypt.SetKeyLength(vx::TvxPDFDecrypt::KeyLengthFromDictionary(revision, length, version));
    if (!id.empty()) decrypt.SetFileId(id);
  } catch (const vx::Exception&) {
  }
  // Each key in its stored forms: hexadecimal, literal, bare.
  for (const std::string& key : {"<" + o + ">", "(" + o + ")", o}) {
    try {
      decrypt.SetOwnerKey(key);
    } catch (const vx::Exception&) {
    }
  }
  for (const std::string& key : {"<" + u + ">", "(" + u + ")", u}) {
    try {
      decrypt.SetUserKey(key);
    } catch (const vx::Exception&) {
    }
  }
  decrypt.SetP(int64_t(p));
  vx::TvxPDFEncryptionSettings settings;
  decrypt.AcceptPassword(settings, password);
  decrypt.ReducePermissions();

  uint16_t generation = data.size() > 1 ? uint16_t(uint8_t(data[0]) | uint8_t(data[1]) << 8) : 0;
  int32_t number = data.size() > 4 ? int32_t(uint32_t(uint8_t(data[2])) << 16 |
                                             uint32_t(uint8_t(data[3])) << 8 | uint8_t(data[4]))
                                   : 0;
  std::string plain = decrypt.DecryptString(data, generation, number);
  if (plain.size() != data.size()) __builtin_trap();
  vx::TvxMemoryStream stream(data);
  decrypt.DecryptStream(stream, size_t(p % (data.size() + 2)), generation, number);
  if (stream.Bytes() != plain.substr(0, stream.Bytes().size())) __builtin_trap();
}

// Any passwords, level and permissions: both passwords must open the result.
void RoundTrip(const uint8_t* data, size_t size) {
  Reader in{data, size};
  uint8_t control = in.Byte();
  uint8_t permissions = in.Byte();
  std::string owner = in.Field();
  std::string user = in.Field();
  std::string date = in.Rest();

  vx::TvxPDFEncryptionSettings settings;
  settings.SetLevel((control & 1) ? vx::el128bit : vx::el40bit);
  settings.SetOwnerPassword(owner);
  settings.SetUserPassword(user);
  settings.SetUserPermissions(vx::TvxUserPermissions::FromByte(permissions));
  vx::TvxPDFEncryption encrypt("Output1.pdf", settings, date);

  vx::TvxPDFDecrypt decrypt;
  decrypt.SetLevel(encrypt.Level());
  decrypt.SetFileId(encrypt.GetFileId());
  decrypt.SetOwnerKey("(" + encrypt.GetOwnerKey() + ")");
  decrypt.SetUserKey("(" + encrypt.GetUserKey() + ")");
  decrypt.SetP(encrypt.ComputePermissionFlags());
  if (!decrypt.CheckUserPassword(user)) __builtin_trap();
  std::string derived;
  if (!decrypt.CheckOwnerPassword(owner.empty() ? user : owner, derived)) __builtin_trap();
  std::string cipher = encrypt.Encrypt(date, 0, int32_t(size));
  if (decrypt.DecryptString(cipher, 0, int32_t(size)) != date) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Reader in{data, size};
  try {
    OpenUntrusted(in);
  } catch (const vx::Exception&) {
  }
  RoundTrip(data, size);
  return 0;
}
