// The encryption settings a user edits, and the mapping between permission
// sets and /P values.
#include <utility>

#include "pdf/security/vxPDFCrypt.h"
#include "pdf/util/vxExceptions.h"
#include "pdf/util/vxPDFResStrs.h"

namespace vx {

namespace {

// /P bit values (bit 3 is 4, ...) of each permission, in member order.
constexpr int32_t kPermissionBit[8] = {
    16,    // AllowCopy
    8,     // AllowModify
    4,     // AllowPrint
    32,    // AllowAnnotation
    256,   // AllowFormFill
    512,   // AllowAccessibility
    1024,  // AllowDocAssembly
    2048,  // AllowHighResPrint
};

constexpr bool IsExtended(TvxUserPermissionsType m) { return m >= AllowFormFill; }

}  // namespace

int32_t PermissionFlags(TvxUserPermissions permissions, bool extended) {
  int32_t p = extended ? -3904 : -64;
  for (int k = 0; k < 8; ++k) {
    auto m = TvxUserPermissionsType(k);
    if (!permissions.Contains(m)) continue;
    if (IsExtended(m) && !extended) continue;
    if (m == AllowHighResPrint && !permissions.Contains(AllowPrint)) continue;
    p |= kPermissionBit[k];
  }
  return p;
}

TvxUserPermissions UserPermissionsFromP(int64_t p, bool extended) {
  TvxUserPermissions result;
  for (int k = 0; k < 8; ++k) {
    auto m = TvxUserPermissionsType(k);
    if (IsExtended(m) && !extended) continue;
    if (p & kPermissionBit[k]) result.Include(m);
  }
  return result;
}

void TvxPDFEncryptionSettings::CheckChangeable() const {
  if (!changeable_) throw Exception(res::SUserCannotChangeEncryption);
}

void TvxPDFEncryptionSettings::SetEnabled(bool value) {
  CheckChangeable();
  enabled_ = value;
}

void TvxPDFEncryptionSettings::SetLevel(TvxPDFEncryptionLevel value) {
  CheckChangeable();
  level_ = value;
}

std::string TvxPDFEncryptionSettings::OwnerPassword() const {
  return changeable_ ? ownerPassword_ : std::string();
}

void TvxPDFEncryptionSettings::SetOwnerPassword(std::string value) {
  CheckChangeable();
  ownerPassword_ = std::move(value);
}

void TvxPDFEncryptionSettings::SetUserPassword(std::string value) {
  CheckChangeable();
  userPassword_ = std::move(value);
  userPasswordKnown_ = true;
}

void TvxPDFEncryptionSettings::SetUserPermissions(TvxUserPermissions value) {
  CheckChangeable();
  userPermissions_ = value;
}

}  // namespace vx
