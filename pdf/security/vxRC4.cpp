// The RC4 stream cipher: key schedule and output generator.
#include <cstring>
#include <utility>

#include "pdf/security/vxPDFCrypt.h"
#include "pdf/util/vxExceptions.h"
#include "pdf/util/vxPDFResStrs.h"

namespace vx {

void RC4Init(TRC4State& state, const void* key, size_t keyLength) {
  if (keyLength < 1 || keyLength > 256) throw Exception(res::SRC4InvalidKeyLength);
  const uint8_t* k = static_cast<const uint8_t*>(key);
  uint8_t block[256];
  for (size_t i = 0; i < 256; ++i) {
    state.S[i] = uint8_t(i);
    block[i] = k[i % keyLength];
  }
  uint8_t j = 0;
  for (size_t i = 0; i < 256; ++i) {
    j = uint8_t(j + state.S[i] + block[i]);
    std::swap(state.S[i], state.S[j]);
  }
  std::memcpy(state.Copy, state.S, sizeof state.S);
}

void RC4Crypt(TRC4State& state, const void* source, void* destination, size_t count) {
  const uint8_t* in = static_cast<const uint8_t*>(source);
  uint8_t* out = static_cast<uint8_t*>(destination);
  uint8_t* s = state.S;
  uint8_t i = 0, j = 0;
  for (size_t k = 0; k < count; ++k) {
    i = uint8_t(i + 1);
    j = uint8_t(j + s[i]);
    std::swap(s[i], s[j]);
    out[k] = uint8_t(in[k] ^ s[uint8_t(s[i] + s[j])]);
  }
}

}  // namespace vx
