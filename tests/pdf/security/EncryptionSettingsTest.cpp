// The user's encryption settings, their lock, and the mapping between
// permission sets and /P values.
#include <gtest/gtest.h>

#include <ctime>
#include <functional>
#include <string>

#include "pdf/security/vxPDFCrypt.h"
#include "pdf/util/vxExceptions.h"

namespace vx {
namespace {

TvxUserPermissions Only(TvxUserPermissionsType m) { return TvxUserPermissions{m}; }

}  // namespace

TEST(EncryptionSettings, Defaults) {
  TvxPDFEncryptionSettings s;
  EXPECT_FALSE(s.Enabled());
  EXPECT_EQ(s.Level(), el128bit);
  EXPECT_EQ(s.OwnerPassword(), "");
  EXPECT_EQ(s.UserPassword(), "");
  EXPECT_EQ(s.UserPermissions().Bits(), 0xFF);
  EXPECT_TRUE(s.Changeable());
}

TEST(UserPermissions, MemberKIsBitK) {
  EXPECT_EQ(Only(AllowCopy).Bits(), 0x01);
  EXPECT_EQ(Only(AllowModify).Bits(), 0x02);
  EXPECT_EQ(Only(AllowPrint).Bits(), 0x04);
  EXPECT_EQ(Only(AllowAnnotation).Bits(), 0x08);
  EXPECT_EQ(Only(AllowFormFill).Bits(), 0x10);
  EXPECT_EQ(Only(AllowAccessibility).Bits(), 0x20);
  EXPECT_EQ(Only(AllowDocAssembly).Bits(), 0x40);
  EXPECT_EQ(Only(AllowHighResPrint).Bits(), 0x80);
  TvxUserPermissions p{AllowPrint, AllowCopy};
  p.Exclude(AllowPrint);
  p.Include(AllowHighResPrint);
  EXPECT_EQ(p.Bits(), 0x81);
}

TEST(PermissionFlags, ValuesWrittenAsP) {
  auto all = TvxUserPermissions::All();
  EXPECT_EQ(PermissionFlags(all, false), -4);
  EXPECT_EQ(PermissionFlags(all, true), -4);
  EXPECT_EQ(PermissionFlags({}, false), -64);
  EXPECT_EQ(PermissionFlags({}, true), -3904);
  EXPECT_EQ(PermissionFlags(Only(AllowPrint), false), -60);
  EXPECT_EQ(PermissionFlags(Only(AllowModify), true), -3904 + 8);
  EXPECT_EQ(PermissionFlags(Only(AllowCopy), true), -3904 + 16);
  EXPECT_EQ(PermissionFlags(Only(AllowAnnotation), true), -3904 + 32);
  EXPECT_EQ(PermissionFlags(Only(AllowFormFill), true), -3904 + 256);
  EXPECT_EQ(PermissionFlags(Only(AllowAccessibility), true), -3904 + 512);
  EXPECT_EQ(PermissionFlags(Only(AllowDocAssembly), true), -3904 + 1024);
  // High-resolution printing needs printing.
  EXPECT_EQ(PermissionFlags(Only(AllowHighResPrint), true), -3904);
  EXPECT_EQ(PermissionFlags({AllowHighResPrint, AllowPrint}, true), -3904 + 4 + 2048);
  // 40-bit files cannot express the extended permissions.
  EXPECT_EQ(PermissionFlags({AllowFormFill, AllowAccessibility, AllowDocAssembly}, false), -64);
}

TEST(PermissionFlags, ReadBackFromP) {
  EXPECT_TRUE(UserPermissionsFromP(-3904, true).Empty());
  EXPECT_EQ(UserPermissionsFromP(-4, true), TvxUserPermissions::All());
  EXPECT_EQ(UserPermissionsFromP(-4, false),
            (TvxUserPermissions{AllowCopy, AllowModify, AllowPrint, AllowAnnotation}));
  EXPECT_EQ(UserPermissionsFromP(-60, false), Only(AllowPrint));
  // A 64-bit /P with the same low bits reads the same.
  EXPECT_EQ(UserPermissionsFromP(4294963396LL, true), UserPermissionsFromP(-3900, true));
  // Every set survives the trip through /P at 128 bits, except
  // high-resolution printing without printing, which /P cannot carry.
  for (int bits = 0; bits < 256; ++bits) {
    auto set = TvxUserPermissions::FromByte(uint8_t(bits));
    auto back = UserPermissionsFromP(PermissionFlags(set, true), true);
    auto expected = set;
    if (!set.Contains(AllowPrint)) expected.Exclude(AllowHighResPrint);
    EXPECT_EQ(back.Bits(), expected.Bits()) << bits;
  }
}

// Builds the /O, /U and /P of a file and opens it with `password`.
struct OpenedFile {
  TvxPDFEncryptionSettings settings;
  TvxPDFDecrypt handler;
  bool accepted = false;
};

void Open(OpenedFile& file, const TvxPDFEncryption& made, std::string_view password) {
  file.handler.SetLevel(made.Level());
  file.handler.SetFileId(made.GetFileId());
  file.handler.SetOwnerKey("(" + made.GetOwnerKey() + ")");
  file.handler.SetUserKey("(" + made.GetUserKey() + ")");
  file.handler.SetP(made.ComputePermissionFlags());
  file.accepted = file.handler.AcceptPassword(file.settings, password);
}

TEST(EncryptionSettings, UserOpenLocksSettings) {
  TvxPDFEncryptionSettings source;
  source.SetLevel(el40bit);
  source.SetOwnerPassword("master");
  source.SetUserPassword("view");
  source.SetUserPermissions({AllowPrint, AllowCopy});
  TvxPDFEncryption made("Output1.pdf", source, "D:20240101000000");

  OpenedFile file;
  Open(file, made, "view");
  ASSERT_TRUE(file.accepted);
  TvxPDFEncryptionSettings& s = file.settings;
  EXPECT_FALSE(s.Changeable());
  EXPECT_TRUE(s.Enabled());
  EXPECT_EQ(s.Level(), el40bit);
  EXPECT_EQ(s.UserPassword(), "view");
  EXPECT_EQ(s.OwnerPassword(), "");
  ASSERT_NE(s.StoredOwnerPassword(), "");
  EXPECT_NE(s.StoredOwnerPassword(), "master");
  // At 40 bits the extended permissions are not in /P and are kept.
  EXPECT_EQ(s.UserPermissions(), (TvxUserPermissions{AllowPrint, AllowCopy, AllowFormFill,
                                                     AllowAccessibility, AllowDocAssembly,
                                                     AllowHighResPrint}));

  const std::function<void()> setters[] = {
      [&] { s.SetEnabled(false); },
      [&] { s.SetLevel(el128bit); },
      [&] { s.SetOwnerPassword("x"); },
      [&] { s.SetUserPassword("x"); },
      [&] { s.SetUserPermissions({}); },
  };
  for (const auto& set : setters) {
    try {
      set();
      ADD_FAILURE() << "locked settings changed";
    } catch (const Exception& e) {
      EXPECT_STREQ(e.what(), "User cannot change encryption settings");
    }
  }
  EXPECT_TRUE(s.Enabled());
  EXPECT_EQ(s.Level(), el40bit);
  EXPECT_EQ(s.UserPassword(), "view");

  // Saving again uses the hidden owner password: it opens the new file as owner.
  TvxPDFEncryption again("Output1.pdf", s, "D:20240202000000");
  OpenedFile reopened;
  Open(reopened, again, s.StoredOwnerPassword());
  EXPECT_TRUE(reopened.accepted);
  EXPECT_TRUE(reopened.handler.IsOwner());
  OpenedFile asUser;
  Open(asUser, again, "view");
  EXPECT_TRUE(asUser.accepted);
  EXPECT_FALSE(asUser.handler.IsOwner());
}

TEST(EncryptionSettings, OwnerOpenStaysChangeable) {
  TvxPDFEncryptionSettings source;
  source.SetOwnerPassword("master");
  source.SetUserPassword("view");
  source.SetUserPermissions({});
  TvxPDFEncryption made("Output1.pdf", source, "D:20240101000000");
  OpenedFile file;
  Open(file, made, "master");
  ASSERT_TRUE(file.accepted);
  EXPECT_TRUE(file.handler.IsOwner());
  EXPECT_TRUE(file.settings.Changeable());
  EXPECT_EQ(file.settings.OwnerPassword(), "master");
  EXPECT_EQ(file.settings.UserPassword(), "view");
  // The file's own restrictions, so that a save without changes keeps them.
  EXPECT_EQ(file.settings.UserPermissions(), TvxUserPermissions{});
  EXPECT_EQ(file.settings.Level(), el128bit);
  file.settings.SetEnabled(false);
  EXPECT_FALSE(file.settings.Enabled());
}

TEST(EncryptionSettings, WrongPasswordLeavesSettingsAlone) {
  TvxPDFEncryptionSettings source;
  source.SetOwnerPassword("master");
  source.SetUserPassword("view");
  TvxPDFEncryption made("Output1.pdf", source, "D:20240101000000");
  OpenedFile file;
  Open(file, made, "viewer");
  EXPECT_FALSE(file.accepted);
  EXPECT_FALSE(file.handler.IsOwner());
  EXPECT_TRUE(file.settings.Changeable());
  EXPECT_FALSE(file.settings.Enabled());
  EXPECT_EQ(file.settings.UserPassword(), "");
}

TEST(EncryptionSettings, GeneratedOwnerPassword) {
  std::string pw = GenerateOwnerPassword();
  ASSERT_GE(pw.size(), 8u + 14u + 1u);
  EXPECT_EQ(pw.substr(0, 8), "Vexorsft");
  std::string stamp = pw.substr(8, 14);
  for (char c : stamp) EXPECT_TRUE(c >= '0' && c <= '9') << pw;
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  EXPECT_EQ(std::stoi(stamp.substr(0, 4)), local.tm_year + 1900);
  std::string number = pw.substr(22);
  ASSERT_FALSE(number.empty());
  ASSERT_LE(number.size(), 10u);
  for (char c : number) EXPECT_TRUE(c >= '0' && c <= '9') << pw;
  EXPECT_LE(std::stoll(number), 2147483646LL);
}

}  // namespace vx
