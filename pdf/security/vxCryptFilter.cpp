// Per-object encryption under a crypt filter: RC4, AES-128 with object keys,
// AES-256 with the document key, or nothing (Identity).
#include <cstring>

#include "pdf/objects/vxPDFObjects.h"
#include "pdf/security/vxCryptPrimitives.h"
#include "pdf/security/vxPDFCrypt.h"

namespace vx {

std::string TvxCryptFilter::ObjectKey(int32_t objectNumber, uint16_t generation) const {
  if (method_ == TvxCryptMethod::AESV3) return key_;
  const auto* key = reinterpret_cast<const uint8_t*>(key_.data());
  if (method_ == TvxCryptMethod::RC4) return vx::ObjectKey(key, key_.size(), objectNumber, generation);
  // AESV2: the RC4 object key's digest with "sAlT" hashed after it.
  TMD5Context context;
  MD5Init(context);
  MD5Update(context, key_.data(), key_.size());
  uint8_t tail[9] = {uint8_t(objectNumber), uint8_t(objectNumber >> 8), uint8_t(objectNumber >> 16),
                     uint8_t(generation),   uint8_t(generation >> 8),   's', 'A', 'l', 'T'};
  MD5Update(context, tail, sizeof tail);
  TMD5Digest digest;
  MD5Final(context, digest);
  return std::string(reinterpret_cast<const char*>(digest.data()), std::min<size_t>(key_.size() + 5, 16));
}

std::string TvxCryptFilter::Encrypt(std::string_view data, int32_t objectNumber, uint16_t generation) const {
  switch (method_) {
    case TvxCryptMethod::Identity:
      return std::string(data);
    case TvxCryptMethod::RC4: {
      std::string out(data.size(), '\0');
      ObjectCrypt(reinterpret_cast<const uint8_t*>(key_.data()), key_.size(), objectNumber, generation, data.data(),
                  out.data(), data.size());
      return out;
    }
    case TvxCryptMethod::AESV2:
    case TvxCryptMethod::AESV3: {
      std::string iv = RandomBytes(16);
      return iv + AESEncryptCBC(ObjectKey(objectNumber, generation), iv, data, true);
    }
  }
  return std::string(data);
}

std::string TvxCryptFilter::Decrypt(std::string_view data, int32_t objectNumber, uint16_t generation) const {
  switch (method_) {
    case TvxCryptMethod::Identity:
      return std::string(data);
    case TvxCryptMethod::RC4:
      return Encrypt(data, objectNumber, generation);  // RC4 is its own inverse
    case TvxCryptMethod::AESV2:
    case TvxCryptMethod::AESV3:
      // Shorter than the IV: nothing was encrypted (an empty value).
      if (data.size() < 16) return std::string();
      return AESDecryptCBC(ObjectKey(objectNumber, generation), data.substr(0, 16), data.substr(16), true);
  }
  return std::string(data);
}

namespace {

// Where /Crypt stands in /Filter: 0 for a name, its index in an array; -1
// when it is not there.
int CryptFilterIndex(const TvxPDFDictObject& dict) {
  const TvxPDFObject* filter = dict.Find("/Filter");
  if (auto* name = As<TvxPDFNameObject>(filter)) return name->Text == "/Crypt" ? 0 : -1;
  if (auto* array = As<TvxPDFArrayObject>(filter))
    for (int i = 0; i < array->Count(); ++i)
      if (auto* item = As<TvxPDFNameObject>(array->GetItem(i)); item && item->Text == "/Crypt") return i;
  return -1;
}

// The /DecodeParms entry that pairs with filter `index`.
TvxPDFObject* ParmsAt(const TvxPDFDictObject& dict, int index) {
  TvxPDFObject* parms = dict.Find("/DecodeParms");
  if (auto* array = As<TvxPDFArrayObject>(parms)) return index < array->Count() ? array->GetItem(index) : nullptr;
  return index == 0 ? parms : nullptr;
}

}  // namespace

std::optional<std::string> OwnCryptFilterName(const TvxPDFDictObject& streamDictionary) {
  const int index = CryptFilterIndex(streamDictionary);
  if (index < 0) return std::nullopt;
  auto* parms = As<TvxPDFDictObject>(ParmsAt(streamDictionary, index));
  auto* name = parms ? As<TvxPDFNameObject>(parms->Find("/Name")) : nullptr;
  return name ? name->Text : std::string("/Identity");
}

bool RemoveOwnCryptFilter(TvxPDFDictObject& streamDictionary) {
  const int index = CryptFilterIndex(streamDictionary);
  if (index < 0) return false;
  auto* filters = As<TvxPDFArrayObject>(streamDictionary.Find("/Filter"));
  if (!filters || filters->Count() == 1) {
    streamDictionary.Remove("/Filter");
    streamDictionary.Remove("/DecodeParms");
    return true;
  }
  filters->Delete(index);
  if (auto* parms = As<TvxPDFArrayObject>(streamDictionary.Find("/DecodeParms"))) {
    if (index < parms->Count()) parms->Delete(index);
  } else if (index == 0) {
    streamDictionary.Remove("/DecodeParms");  // it was the crypt filter's
  }
  return true;
}

}  // namespace vx
