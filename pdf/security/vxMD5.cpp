// MD5 message digest as RFC 1321 defines it, written out step by step.
#include <cstring>

#include "pdf/security/vxPDFCrypt.h"

namespace vx {

namespace {

inline uint32_t RotateLeft(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

// One routine per round function: a = b + ((a + f(b,c,d) + x + t) <<< s).
inline void FF(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t x, int s, uint32_t t) {
  a = b + RotateLeft(a + ((b & c) | (~b & d)) + x + t, s);
}
inline void GG(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t x, int s, uint32_t t) {
  a = b + RotateLeft(a + ((b & d) | (c & ~d)) + x + t, s);
}
inline void HH(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t x, int s, uint32_t t) {
  a = b + RotateLeft(a + (b ^ c ^ d) + x + t, s);
}
inline void II(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t x, int s, uint32_t t) {
  a = b + RotateLeft(a + (c ^ (b | ~d)) + x + t, s);
}

void Transform(uint32_t state[4], const uint8_t block[64]) {
  uint32_t x[16];
  for (int i = 0; i < 16; ++i) {
    x[i] = uint32_t(block[4 * i]) | uint32_t(block[4 * i + 1]) << 8 |
           uint32_t(block[4 * i + 2]) << 16 | uint32_t(block[4 * i + 3]) << 24;
  }
  uint32_t a = state[0], b = state[1], c = state[2], d = state[3];

  // Round 1
  FF(a, b, c, d, x[0], 7, 0xd76aa478);
  FF(d, a, b, c, x[1], 12, 0xe8c7b756);
  FF(c, d, a, b, x[2], 17, 0x242070db);
  FF(b, c, d, a, x[3], 22, 0xc1bdceee);
  FF(a, b, c, d, x[4], 7, 0xf57c0faf);
  FF(d, a, b, c, x[5], 12, 0x4787c62a);
  FF(c, d, a, b, x[6], 17, 0xa8304613);
  FF(b, c, d, a, x[7], 22, 0xfd469501);
  FF(a, b, c, d, x[8], 7, 0x698098d8);
  FF(d, a, b, c, x[9], 12, 0x8b44f7af);
  FF(c, d, a, b, x[10], 17, 0xffff5bb1);
  FF(b, c, d, a, x[11], 22, 0x895cd7be);
  FF(a, b, c, d, x[12], 7, 0x6b901122);
  FF(d, a, b, c, x[13], 12, 0xfd987193);
  FF(c, d, a, b, x[14], 17, 0xa679438e);
  FF(b, c, d, a, x[15], 22, 0x49b40821);

  // Round 2
  GG(a, b, c, d, x[1], 5, 0xf61e2562);
  GG(d, a, b, c, x[6], 9, 0xc040b340);
  GG(c, d, a, b, x[11], 14, 0x265e5a51);
  GG(b, c, d, a, x[0], 20, 0xe9b6c7aa);
  GG(a, b, c, d, x[5], 5, 0xd62f105d);
  GG(d, a, b, c, x[10], 9, 0x02441453);
  GG(c, d, a, b, x[15], 14, 0xd8a1e681);
  GG(b, c, d, a, x[4], 20, 0xe7d3fbc8);
  GG(a, b, c, d, x[9], 5, 0x21e1cde6);
  GG(d, a, b, c, x[14], 9, 0xc33707d6);
  GG(c, d, a, b, x[3], 14, 0xf4d50d87);
  GG(b, c, d, a, x[8], 20, 0x455a14ed);
  GG(a, b, c, d, x[13], 5, 0xa9e3e905);
  GG(d, a, b, c, x[2], 9, 0xfcefa3f8);
  GG(c, d, a, b, x[7], 14, 0x676f02d9);
  GG(b, c, d, a, x[12], 20, 0x8d2a4c8a);

  // Round 3
  HH(a, b, c, d, x[5], 4, 0xfffa3942);
  HH(d, a, b, c, x[8], 11, 0x8771f681);
  HH(c, d, a, b, x[11], 16, 0x6d9d6122);
  HH(b, c, d, a, x[14], 23, 0xfde5380c);
  HH(a, b, c, d, x[1], 4, 0xa4beea44);
  HH(d, a, b, c, x[4], 11, 0x4bdecfa9);
  HH(c, d, a, b, x[7], 16, 0xf6bb4b60);
  HH(b, c, d, a, x[10], 23, 0xbebfbc70);
  HH(a, b, c, d, x[13], 4, 0x289b7ec6);
  HH(d, a, b, c, x[0], 11, 0xeaa127fa);
  HH(c, d, a, b, x[3], 16, 0xd4ef3085);
  HH(b, c, d, a, x[6], 23, 0x04881d05);
  HH(a, b, c, d, x[9], 4, 0xd9d4d039);
  HH(d, a, b, c, x[12], 11, 0xe6db99e5);
  HH(c, d, a, b, x[15], 16, 0x1fa27cf8);
  HH(b, c, d, a, x[2], 23, 0xc4ac5665);

  // Round 4
  II(a, b, c, d, x[0], 6, 0xf4292244);
  II(d, a, b, c, x[7], 10, 0x432aff97);
  II(c, d, a, b, x[14], 15, 0xab9423a7);
  II(b, c, d, a, x[5], 21, 0xfc93a039);
  II(a, b, c, d, x[12], 6, 0x655b59c3);
  II(d, a, b, c, x[3], 10, 0x8f0ccc92);
  II(c, d, a, b, x[10], 15, 0xffeff47d);
  II(b, c, d, a, x[1], 21, 0x85845dd1);
  II(a, b, c, d, x[8], 6, 0x6fa87e4f);
  II(d, a, b, c, x[15], 10, 0xfe2ce6e0);
  II(c, d, a, b, x[6], 15, 0xa3014314);
  II(b, c, d, a, x[13], 21, 0x4e0811a1);
  II(a, b, c, d, x[4], 6, 0xf7537e82);
  II(d, a, b, c, x[11], 10, 0xbd3af235);
  II(c, d, a, b, x[2], 15, 0x2ad7d2bb);
  II(b, c, d, a, x[9], 21, 0xeb86d391);

  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
}

}  // namespace

void MD5Init(TMD5Context& context) {
  context.State[0] = 0x67452301;
  context.State[1] = 0xefcdab89;
  context.State[2] = 0x98badcfe;
  context.State[3] = 0x10325476;
  context.Count[0] = 0;
  context.Count[1] = 0;
  std::memset(context.Buffer, 0, sizeof context.Buffer);
}

void MD5Update(TMD5Context& context, const void* data, size_t count) {
  if (count == 0) return;
  const uint8_t* input = static_cast<const uint8_t*>(data);
  size_t used = (context.Count[0] >> 3) & 0x3F;  // bytes already in the buffer

  // The bit count is 64 bits wide; carry from the low word into the high one.
  uint64_t bits = (uint64_t(context.Count[1]) << 32 | context.Count[0]) + uint64_t(count) * 8;
  context.Count[0] = uint32_t(bits);
  context.Count[1] = uint32_t(bits >> 32);

  size_t offset = 0;
  if (used > 0) {
    size_t fill = 64 - used;
    if (count < fill) {
      std::memcpy(context.Buffer + used, input, count);
      return;
    }
    std::memcpy(context.Buffer + used, input, fill);
    Transform(context.State, context.Buffer);
    offset = fill;
  }
  for (; offset + 64 <= count; offset += 64) Transform(context.State, input + offset);
  if (offset < count) std::memcpy(context.Buffer, input + offset, count - offset);
}

void MD5Final(TMD5Context& context, TMD5Digest& digest) {
  uint8_t length[8];
  for (int i = 0; i < 4; ++i) {
    length[i] = uint8_t(context.Count[0] >> (8 * i));
    length[4 + i] = uint8_t(context.Count[1] >> (8 * i));
  }
  // 0x80, zeros up to 56 mod 64, then the bit count.
  static const uint8_t kPadding[64] = {0x80};
  size_t used = (context.Count[0] >> 3) & 0x3F;
  size_t padLength = used < 56 ? 56 - used : 120 - used;
  MD5Update(context, kPadding, padLength);
  MD5Update(context, length, 8);

  for (int i = 0; i < 4; ++i) {
    for (int k = 0; k < 4; ++k) digest[size_t(4 * i + k)] = uint8_t(context.State[i] >> (8 * k));
  }
  // The context held key material; wipe it.
  volatile uint8_t* p = reinterpret_cast<volatile uint8_t*>(&context);
  for (size_t i = 0; i < sizeof context; ++i) p[i] = 0;
}

TMD5Digest MD5(std::string_view bytes) {
  TMD5Context context;
  MD5Init(context);
  MD5Update(context, bytes.data(), bytes.size());
  TMD5Digest digest;
  MD5Final(context, digest);
  return digest;
}

}  // namespace vx
