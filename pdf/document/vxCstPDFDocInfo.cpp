// Text strings the document writes: UTF-16BE with a byte order mark,
// encrypted for their object when encryption is on.
#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/security/vxPDFCrypt.h"
#include "pdf/util/vxPDFUtils.h"

namespace vx {

std::string TvxCustomPDFDocument::EncodeTextString(const std::u16string& value, int32_t objectNumber) {
  std::string bytes = TextStringBytes(value);
  if (encryptionSettings_->Enabled()) bytes = EncryptData(bytes, objectNumber);
  // Every byte of UTF-16 text and of ciphertext matters: a TAB is written as
  // an escape instead of being expanded to spaces.
  return EscapeLiteralKeepTabs(bytes);
}

}  // namespace vx
