// The standard security handler: MD5 and RC4 over caller-owned state, the
// key derivations of revisions 2 to 6, crypt filters, the user-editable encryption
// settings, the handler that encrypts on save and the one that opens an
// encrypted file. AES and SHA-2 come from libcrypto (vxCryptPrimitives).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace vx {

class TvxMemoryStream;
class TvxPDFArrayObject;
class TvxPDFDictObject;

// ---------------------------------------------------------------------------
// MD5 (RFC 1321)

struct TMD5Context {
  uint32_t State[4];   // A, B, C, D
  uint32_t Count[2];   // bits hashed so far, low word first
  uint8_t Buffer[64];  // the partial block
};

using TMD5Digest = std::array<uint8_t, 16>;

void MD5Init(TMD5Context& context);
void MD5Update(TMD5Context& context, const void* data, size_t count);
// Pads, writes the digest and wipes the whole context.
void MD5Final(TMD5Context& context, TMD5Digest& digest);
// One-shot digest of a byte string.
TMD5Digest MD5(std::string_view bytes);

// ---------------------------------------------------------------------------
// RC4

struct TRC4State {
  uint8_t S[256];     // the permutation RC4Crypt works on
  uint8_t Copy[256];  // the table as it was right after the key schedule
};

// Raises vx::Exception "RC4: Invalid key length" unless 1 <= keyLength <= 256.
void RC4Init(TRC4State& state, const void* key, size_t keyLength);
// Both counters start at 0 on every call; source and destination may be the
// same buffer. The table is left advanced.
void RC4Crypt(TRC4State& state, const void* source, void* destination, size_t count);

// ---------------------------------------------------------------------------
// Building blocks of the standard security handler

using TvxPaddedPassword = std::array<uint8_t, 32>;
using TvxKeyBlock = std::array<uint8_t, 32>;  // an /O or /U value
using TvxDocumentKey = std::array<uint8_t, 16>;

// The 32-byte padding string of the standard security handler.
extern const TvxPaddedPassword kPasswordPadding;

// The first min(length, 32) bytes of the password, then the start of the
// padding string. An empty password gives the padding string itself.
TvxPaddedPassword PadPassword(std::string_view password);

// `passes` times: digest = MD5(first `length` bytes of digest).
void MD5Passes(TMD5Digest& digest, int passes, size_t length);
// 20 RC4 passes over `buffer` in place; pass i uses every byte of `key` XOR i.
// Encrypting runs i = 0 .. 19, decrypting (`descending`) i = 19 .. 0.
void RC4Passes(uint8_t* buffer, size_t count, const uint8_t* key, size_t keyLength,
               bool descending);

// The RC4 key for one object: MD5 over the document key, the object number (3
// bytes, low first) and the generation (2 bytes, low first), cut to
// min(keyLength + 5, 16) bytes.
std::string ObjectKey(const uint8_t* documentKey, size_t keyLength, int32_t objectNumber,
                      uint16_t generation);
// RC4 of `count` bytes under the object's key (encrypting and decrypting are
// the same); destination may equal source.
void ObjectCrypt(const uint8_t* documentKey, size_t keyLength, int32_t objectNumber, uint16_t generation,
                 const void* source, void* destination, size_t count);

// The key derivations shared by both handlers. `revision` 2 means one MD5 and
// one RC4; 3 means 50 further MD5 passes and 20 RC4 passes. `keyLength` is the
// document key length in bytes, 5 to 16. `fileId` may be empty.
TvxKeyBlock ComputeOwnerKey(std::string_view ownerPassword, std::string_view userPassword,
                            int revision, size_t keyLength);
// Revision 4 with /EncryptMetadata false hashes four 0xFF bytes more.
TvxDocumentKey ComputeEncryptionKey(std::string_view userPassword, const TvxKeyBlock& ownerKey,
                                    uint32_t p, std::string_view fileId, int revision,
                                    size_t keyLength, bool encryptMetadata = true);
TvxKeyBlock ComputeUserKey(const TvxDocumentKey& key, std::string_view fileId, int revision,
                           size_t keyLength);
// Undoes ComputeOwnerKey: the padded user password hidden in /O.
TvxPaddedPassword RecoverPaddedUserPassword(std::string_view ownerPassword,
                                            const TvxKeyBlock& ownerKey, int revision,
                                            size_t keyLength);

// ---------------------------------------------------------------------------
// Permissions and levels

enum TvxUserPermissionsType : uint8_t {
  AllowCopy = 0,
  AllowModify,
  AllowPrint,
  AllowAnnotation,
  AllowFormFill,
  AllowAccessibility,
  AllowDocAssembly,
  AllowHighResPrint,
};

// A set of TvxUserPermissionsType, held as one byte: member k is bit k.
class TvxUserPermissions {
 public:
  constexpr TvxUserPermissions() = default;
  constexpr TvxUserPermissions(std::initializer_list<TvxUserPermissionsType> members) {
    for (auto m : members) bits_ = uint8_t(bits_ | Bit(m));
  }
  static constexpr TvxUserPermissions FromByte(uint8_t bits) {
    TvxUserPermissions p;
    p.bits_ = bits;
    return p;
  }
  static constexpr TvxUserPermissions All() { return FromByte(0xFF); }

  constexpr uint8_t Bits() const { return bits_; }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr bool Contains(TvxUserPermissionsType m) const { return (bits_ & Bit(m)) != 0; }
  constexpr void Include(TvxUserPermissionsType m) { bits_ = uint8_t(bits_ | Bit(m)); }
  constexpr void Exclude(TvxUserPermissionsType m) { bits_ = uint8_t(bits_ & ~Bit(m)); }

  friend constexpr bool operator==(TvxUserPermissions a, TvxUserPermissions b) = default;
  friend constexpr TvxUserPermissions operator|(TvxUserPermissions a, TvxUserPermissions b) {
    return FromByte(uint8_t(a.bits_ | b.bits_));
  }
  friend constexpr TvxUserPermissions operator&(TvxUserPermissions a, TvxUserPermissions b) {
    return FromByte(uint8_t(a.bits_ & b.bits_));
  }

 private:
  static constexpr uint8_t Bit(TvxUserPermissionsType m) { return uint8_t(1u << unsigned(m)); }
  uint8_t bits_ = 0;
};

// RC4 at 40 bits (revision 2) and 128 bits (revision 3); AES-128 (revision 4,
// crypt filters) and AES-256 (revision 6), the one to choose for new files.
enum TvxPDFEncryptionLevel : uint8_t { el40bit = 0, el128bit = 1, elAES128 = 2, elAES256 = 3 };

// Document key length in bytes for a level: 5, 16 or 32.
size_t KeyLengthOfLevel(TvxPDFEncryptionLevel level);
// The revision a level is written with: 2, 3, 4 or 6.
int RevisionOfLevel(TvxPDFEncryptionLevel level);

// ---------------------------------------------------------------------------
// Crypt filters: how the data of one object is encrypted

enum class TvxCryptMethod : uint8_t { Identity, RC4, AESV2, AESV3 };

// Encrypts or decrypts the strings or streams of one object. RC4 and AESV2
// use a key made per object from the document key; AESV3 uses the document
// key itself. AES data is a 16-byte IV followed by the CBC blocks.
class TvxCryptFilter {
 public:
  TvxCryptFilter() = default;
  TvxCryptFilter(TvxCryptMethod method, std::string documentKey)
      : method_(method), key_(std::move(documentKey)) {}

  TvxCryptMethod Method() const { return method_; }
  std::string Encrypt(std::string_view data, int32_t objectNumber, uint16_t generation) const;
  std::string Decrypt(std::string_view data, int32_t objectNumber, uint16_t generation) const;

 private:
  std::string ObjectKey(int32_t objectNumber, uint16_t generation) const;
  TvxCryptMethod method_ = TvxCryptMethod::Identity;
  std::string key_;
};

// The crypt filter a stream names for itself (/Filter /Crypt, with the
// filter's name as /Name of its /DecodeParms; /Identity without one), or
// nothing. Such a stream is encrypted by that filter instead of the
// document's stream filter.
std::optional<std::string> OwnCryptFilterName(const TvxPDFDictObject& streamDictionary);
// Takes /Crypt out of /Filter, with its /DecodeParms entry; answers whether
// there was one.
bool RemoveOwnCryptFilter(TvxPDFDictObject& streamDictionary);

// ---------------------------------------------------------------------------
// Revisions 5 and 6 (AES-256)

// The password hash: SHA-256 once at revision 5; at revision 6 the rounds of
// SHA-256/384/512 and AES-128 that follow it. `userKey` is the 48-byte /U
// when hashing an owner password, empty otherwise. The password is used up
// to 127 bytes.
std::string HashPassword256(std::string_view password, std::string_view salt, std::string_view userKey,
                            int revision);

// /U (with /UE), /O (with /OE) and /Perms of a file made for `fileKey`,
// with fresh random salts.
std::string MakeUserKey256(std::string_view userPassword, int revision, std::string& userEncryptedKey,
                           std::string_view fileKey);
std::string MakeOwnerKey256(std::string_view ownerPassword, std::string_view userKey, int revision,
                            std::string& ownerEncryptedKey, std::string_view fileKey);
std::string MakePerms256(std::string_view fileKey, uint32_t p, bool encryptMetadata);
// The file key, when `password` is the user password (or, with `asOwner`,
// the owner password); empty otherwise.
std::string FileKeyFromPassword256(std::string_view password, bool asOwner, std::string_view ownerKey,
                                   std::string_view userKey, std::string_view ownerEncryptedKey,
                                   std::string_view userEncryptedKey, int revision);

// ---------------------------------------------------------------------------
// What an encryption dictionary says, held so that a file can be written
// again with exactly its own encryption.

struct TvxEncryptDictionary {
  int Version = 2;
  int Revision = 3;
  size_t KeyLength = 16;  // bytes
  std::string O, U, OE, UE, Perms;  // value bytes
  int64_t P = -4;
  TvxCryptMethod StreamMethod = TvxCryptMethod::RC4;
  TvxCryptMethod StringMethod = TvxCryptMethod::RC4;
  TvxCryptMethod EmbeddedFileMethod = TvxCryptMethod::RC4;
  bool EncryptMetadata = true;
  std::string FileId;  // the first /ID element's bytes
  // Every crypt filter of /CF by name, for streams that name their own.
  std::map<std::string, TvxCryptMethod, std::less<>> NamedFilters;
};

// The bytes a password is hashed as: up to revision 4, text that is UTF-8
// with characters beyond ASCII is taken in PDFDocEncoding (as the standard
// and other readers have it), other bytes as they are; from revision 5 on,
// UTF-8 as given. Answers nothing when the text has a character
// PDFDocEncoding lacks; `missing` then receives it.
std::optional<std::string> PasswordBytes(std::string_view password, int revision, char32_t* missing = nullptr);
// Empty when PasswordBytes can hash `password`; otherwise the message that
// names the character it cannot.
std::string PasswordEncodingProblem(std::string_view password, int revision);

// The /P value for a permission set. Starts from -64 (basic only) or -3904
// (with the four extended permissions) and adds the bit of every permission
// present. High-resolution printing counts only together with printing.
int32_t PermissionFlags(TvxUserPermissions permissions, bool extended);
// The permissions a /P value grants: the four basic ones always, the four
// extended ones only when `extended` (otherwise they are left out).
TvxUserPermissions UserPermissionsFromP(int64_t p, bool extended);

// ---------------------------------------------------------------------------
// The settings the user edits (and an opened file fills)

class TvxPDFDecrypt;

class TvxPDFEncryptionSettings {
 public:
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value);
  TvxPDFEncryptionLevel Level() const { return level_; }
  void SetLevel(TvxPDFEncryptionLevel value);
  // Empty while the settings are locked.
  std::string OwnerPassword() const;
  void SetOwnerPassword(std::string value);
  std::string UserPassword() const { return userPassword_; }
  void SetUserPassword(std::string value);
  TvxUserPermissions UserPermissions() const { return userPermissions_; }
  void SetUserPermissions(TvxUserPermissions value);

  // False once a file was opened with its user password: every setter then
  // raises "User cannot change encryption settings".
  bool Changeable() const { return changeable_; }
  // The owner password the encrypting handler uses, locked or not.
  const std::string& StoredOwnerPassword() const { return ownerPassword_; }
  // False after an owner open of an AES-256 file whose user password is not
  // empty: that password cannot be recovered, so UserPassword() is empty
  // until the user gives a new one.
  bool UserPasswordKnown() const { return userPasswordKnown_; }
  void SetUserPasswordKnown(bool value) { userPasswordKnown_ = value; }

 private:
  friend class TvxPDFDecrypt;  // the only code that locks the settings
  void CheckChangeable() const;
  void Lock() { changeable_ = false; }

  bool enabled_ = false;
  TvxPDFEncryptionLevel level_ = el128bit;
  std::string ownerPassword_;
  std::string userPassword_;
  TvxUserPermissions userPermissions_ = TvxUserPermissions::All();
  bool changeable_ = true;
  bool userPasswordKnown_ = true;
};

// ---------------------------------------------------------------------------
// The handlers

// State shared by the encrypting and the decrypting handler.
class TvxBasePDFCrypt {
 public:
  TvxBasePDFCrypt() = default;

  TvxPDFEncryptionLevel Level() const { return level_; }
  // el40bit: revision 2 with a 5-byte key; el128bit: revision 3, 16 bytes.
  void SetLevel(TvxPDFEncryptionLevel level);
  int Revision() const { return revision_; }
  size_t KeyLength() const { return keyLength_; }  // bytes of the document key
  TvxUserPermissions Permissions() const { return permissions_; }

  std::string GetFileId() const { return fileId_; }
  std::string GetOwnerKey() const;
  std::string GetUserKey() const;
  // The document key, KeyLength() bytes.
  std::string GetEncryptionKey() const;

  // Everything the encryption dictionary holds, as read or as written.
  const TvxEncryptDictionary& Dictionary() const { return dict_; }
  // Strings, streams and embedded files are each encrypted by a crypt filter.
  const TvxCryptFilter& StringFilter() const { return stringFilter_; }
  const TvxCryptFilter& StreamFilter() const { return streamFilter_; }
  const TvxCryptFilter& EmbeddedFileFilter() const { return embeddedFileFilter_; }
  // The crypt filter of /CF called `name` (/Identity included), or nothing.
  std::optional<TvxCryptFilter> NamedFilter(std::string_view name) const;

 protected:
  // Makes the three crypt filters from dict_ and fileKey_.
  void MakeFilters();

  TvxEncryptDictionary dict_;
  std::string fileKey_;  // the document key once known
  TvxCryptFilter stringFilter_, streamFilter_, embeddedFileFilter_;
  TvxPDFEncryptionLevel level_ = el128bit;
  int revision_ = 3;
  size_t keyLength_ = 16;
  std::string fileId_;  // empty, or the 16 bytes of the first /ID element
  TvxKeyBlock ownerKey_{};
  TvxKeyBlock userKey_{};
  TvxDocumentKey encryptionKey_{};
  TvxUserPermissions permissions_ = TvxUserPermissions::All();
};

// Encrypts a document on save (revision 2 at 40 bits, revision 3 at 128).
class TvxPDFEncryption : public TvxBasePDFCrypt {
 public:
  // Takes the passwords (the stored owner password, even when locked), level
  // and permissions from `settings`; FileId = MD5(fileName, creationDate).
  TvxPDFEncryption(std::string_view fileName, const TvxPDFEncryptionSettings& settings,
                   std::string_view creationDate);
  // Writes a file again with exactly the encryption it was read with: the
  // same dictionary values, first /ID element and document key.
  TvxPDFEncryption(const TvxEncryptDictionary& kept, std::string documentKey);
  // True when made from the kept dictionary: the source's key, so streams
  // with crypt filters of their own can keep them.
  bool KeepsSourceEncryption() const { return keepsSource_; }
  // Revisions 5 and 6 only: new permissions and, when `ownerPassword` is not
  // empty, a new owner password, keeping the document key and /U /UE (the
  // user password need not be known).
  void ChangeOwnerAndPermissions(std::string_view ownerPassword, TvxUserPermissions permissions);

  void ComputeKeys();
  int32_t ComputePermissionFlags() const;
  // RC4 under the object's key; destination may equal source.
  void Encrypt(const void* source, void* destination, uint16_t generation, int32_t objectNumber,
               size_t count) const;
  std::string Encrypt(std::string_view data, uint16_t generation, int32_t objectNumber) const;
  // Stream data, under the stream crypt filter.
  std::string EncryptStream(std::string_view data, uint16_t generation, int32_t objectNumber) const;

  // /Filter /Standard, /O and /U (as verbatim "<hex>" tokens), /P, /V, /R,
  // /Length, in that order; then, from revision 4 on, the crypt filters
  // and, at revisions 5 and 6, /OE, /UE and /Perms.
  std::unique_ptr<TvxPDFDictObject> BuildEncryptDictionary() const;
  // The trailer's /ID: two hexadecimal strings of the FileId.
  std::unique_ptr<TvxPDFArrayObject> BuildIdArray() const;

 private:
  std::string ownerPassword_;
  std::string userPassword_;
  bool keepsSource_ = false;
  TvxPaddedPassword paddedOwner_{};
  TvxPaddedPassword paddedUser_{};
};

// Opens a document protected by the standard security handler with RC4.
class TvxPDFDecrypt : public TvxBasePDFCrypt {
 public:
  TvxPDFDecrypt() = default;

  // The value bytes of the first /ID element, whatever their number (the
  // key hashes them as they are; none when there is no /ID).
  void SetFileId(std::string_view bytes);
  // The stored text of the /O or /U string, delimiters included. Raise
  // "Invalid Owner Key." / "Invalid User Key." when empty; only the first 32
  // bytes are used.
  void SetOwnerKey(std::string_view rawString);
  void SetUserKey(std::string_view rawString);
  // The full /O, /U, /OE, /UE and /Perms value bytes (revisions 5 and 6 use
  // 48-byte /O and /U).
  void SetKeyValues(std::string_view owner, std::string_view user, std::string_view ownerEncrypted,
                    std::string_view userEncrypted, std::string_view perms);
  // The crypt filters of a revision 4 or later dictionary, and whether the
  // metadata stream is encrypted.
  void SetCryptMethods(TvxCryptMethod streams, TvxCryptMethod strings, TvxCryptMethod embeddedFiles,
                       bool encryptMetadata);
  // The /P value, 32-bit or 64-bit. Its low 32 bits, low byte first, enter
  // the key computation.
  void SetP(int64_t p);
  // /R picks the algorithms: 2 to 6. Others raise EUnsupportedEncryption.
  void SetRevision(int revision);
  // Document key length in bytes, 5 to 16 or 32; sets Level (el40bit at 5
  // bytes, elAES128 when a crypt filter uses AESV2, elAES256 at 32).
  void SetKeyLength(size_t bytes);
  // The key length a dictionary asks for, in bytes. /V 1 (or 0) means 5
  // bytes whatever /Length says; /V 2 and 3 mean /Length / 8, 40 bits when
  // /Length is absent. Without /V the revision decides: 5 bytes at revision 2,
  // /Length / 8 at revision 3. Revisions other than 2 and 3, /V above 3 and
  // lengths that are not a multiple of 8 from 40 to 128 raise
  // EUnsupportedEncryption.
  static size_t KeyLengthFromDictionary(int revision, std::optional<int64_t> lengthBits,
                                        std::optional<int64_t> version = std::nullopt);

  // The /CF crypt filters by name.
  void SetNamedFilters(std::map<std::string, TvxCryptMethod, std::less<>> filters);

  // On success `userPassword` receives the user password hidden in /O.
  bool CheckOwnerPassword(std::string_view password, std::string& userPassword);
  // On success ObjectKeyBase receives the document key.
  bool CheckUserPassword(std::string_view password);
  // Owner first, then user; fills (and after a user open, locks) `settings`.
  // Up to revision 4 the password is tried in PDFDocEncoding first, then as
  // the bytes given.
  bool AcceptPassword(TvxPDFEncryptionSettings& settings, std::string_view password);
  // Clears every permission whose /P bit is clear.
  void ReducePermissions();

  void DecryptString(const void* source, void* destination, uint16_t generation,
                     int32_t objectNumber, size_t count) const;
  std::string DecryptString(std::string_view data, uint16_t generation,
                            int32_t objectNumber) const;
  // Decrypts the first `count` bytes (at most the whole stream); they become
  // the stream's contents.
  void DecryptStream(TvxMemoryStream& stream, size_t count, uint16_t generation,
                     int32_t objectNumber) const;
  // Stream data under the stream crypt filter (or, for an embedded file,
  // that of embedded files).
  std::string DecryptStreamData(std::string_view data, uint16_t generation, int32_t objectNumber,
                                bool embeddedFile = false) const;
  // After an owner open of a revision 5 or 6 file the user password cannot
  // be recovered: this says whether it is known (it is when it is empty).
  bool UserPasswordKnown() const { return userPasswordKnown_; }

  // Revisions 5 and 6, once the key is known: /Perms decrypted with it must
  // end its first 12 bytes in "adb" and hold /P (and the /EncryptMetadata
  // flag). The answer names what disagrees.
  enum class TvxPermsCheck { Valid, KeyMismatch, PMismatch, MetadataMismatch };
  TvxPermsCheck CheckPerms() const;

  bool IsOwner() const { return isOwner_; }
  const TvxDocumentKey& ObjectKeyBase() const { return objectKeyBase_; }
  const std::array<uint8_t, 4>& PBytes() const { return pBytes_; }
  int64_t P() const { return p_; }

  // /V and the raw first /ID element, kept for writing the file again.
  void SetDictionaryFacts(int version, std::string fileIdBytes);
  // True when a save with `settings` should keep the file's own encryption:
  // a user open (the settings are locked), or an owner open whose settings
  // are still those the file was opened with.
  bool KeepsEncryption(const TvxPDFEncryptionSettings& settings) const;
  // The settings right after the password was accepted.
  const TvxPDFEncryptionSettings& OpenedSettings() const { return opened_; }

 private:
  // `password` as hashed; `typed` as the settings keep it.
  bool AcceptPasswordInto(TvxPDFEncryptionSettings& settings, std::string_view password, std::string_view typed);

  TvxPDFEncryptionSettings opened_;
  std::array<uint8_t, 4> pBytes_{};
  int64_t p_ = 0;
  bool isOwner_ = false;
  bool userPasswordKnown_ = true;
  TvxDocumentKey objectKeyBase_{};
};

// A fresh owner password for a file opened with its user password: the
// maker's word, the local time as yyyymmddhhnnss and a random number drawn
// right after the generator was re-seeded from the clock.
std::string GenerateOwnerPassword();

}  // namespace vx
