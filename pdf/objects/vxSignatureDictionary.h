// Signature dictionaries hold the signature itself in /Contents. Those bytes
// are stored as they are even in an encrypted file (the signature covers the
// file's bytes, so it cannot be encrypted with them): the reader must not
// decrypt that one string and the writer must not encrypt it.
#pragma once

#include <string_view>

#include "pdf/objects/vxPDFObjects.h"

namespace vx {

// The key whose string value is kept unencrypted in a signature dictionary.
inline constexpr std::string_view kSignatureContentsKey = "/Contents";

// True for a dictionary with /ByteRange whose first /Type is /Sig or
// /DocTimeStamp: what a signing tool writes. Without /ByteRange (an unsigned
// placeholder) or without such a /Type, /Contents is an ordinary string, as
// other readers take it. Takes any list of TvxPDFDictObject::Entry, so the
// parser can ask before the dictionary is built; only scans the list.
template <class EntryRange>
bool IsSignatureDictionaryEntries(const EntryRange& entries) {
  bool typeSeen = false, signatureType = false, byteRange = false;
  for (const auto& e : entries) {
    const std::string_view key(e.Key);
    if (key == "/ByteRange") byteRange = true;
    if (key != "/Type" || typeSeen) continue;
    typeSeen = true;
    if (auto* type = As<TvxPDFNameObject>(e.Value.get()))
      signatureType = type->Text == "/Sig" || type->Text == "/DocTimeStamp";
  }
  return byteRange && signatureType;
}

inline bool IsSignatureDictionary(const TvxPDFDictObject& dict) {
  return IsSignatureDictionaryEntries(dict.Entries());
}

}  // namespace vx
