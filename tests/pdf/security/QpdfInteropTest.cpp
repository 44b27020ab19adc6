// The security handlers against qpdf: files qpdf (and others) encrypted are
// opened here, and files encrypted here are opened by qpdf.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "pdf/objects/vxPDFObjects.h"
#include "pdf/parsers/vxClasses.h"
#include "pdf/security/vxPDFCrypt.h"
#include "pdf/util/vxExceptions.h"
#include "pdf/util/vxPDFUtils.h"
#include "support/PdfBuilder.h"

namespace vx {
namespace {

namespace fs = std::filesystem;

std::string Quote(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// Runs a shell command; answers its output (stdout and stderr) and exit code.
std::string RunCommand(const std::string& command, int* exitCode = nullptr) {
  std::string out;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) {
    ADD_FAILURE() << "cannot run " << command;
    return out;
  }
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  int status = pclose(pipe);
  if (exitCode) *exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return out;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

fs::path TempPath(const std::string& name) {
  fs::path dir = fs::path(testing::TempDir()) / "vx-security-interop";
  fs::create_directories(dir);
  return dir / name;
}

// The string token at `pos` ("<hex>" or "(literal)") in the form the object
// model stores: hex digits kept, literal escapes resolved.
std::string StringToken(const std::string& text, size_t pos) {
  if (pos >= text.size()) return "";
  if (text[pos] == '<') {
    size_t end = text.find('>', pos);
    return end == std::string::npos ? "" : text.substr(pos, end - pos + 1);
  }
  if (text[pos] != '(') return "";
  int depth = 0;
  std::string content;
  for (size_t i = pos + 1; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\\' && i + 1 < text.size()) {
      content += c;
      content += text[++i];
      continue;
    }
    if (c == '(') ++depth;
    if (c == ')' && depth-- == 0) break;
    content += c;
  }
  return "(" + UnescapeLiteral(content) + ")";
}

std::string ValueBytes(const std::string& stored) {
  return stored.size() >= 2 ? stored.substr(1, stored.size() - 2) : "";
}

struct EncryptValues {
  std::string id;  // value bytes of the first /ID element
  std::string o, u;
  int64_t p = 0;
  int r = 0;
  std::optional<int64_t> v;
  std::optional<int64_t> length;
};

std::optional<int64_t> NumberAfter(const std::string& text, const std::string& key) {
  std::smatch m;
  if (std::regex_search(text, m, std::regex(key + R"(\s+(-?\d+))"))) return std::stoll(m[1]);
  return std::nullopt;
}

std::string StringAfter(const std::string& text, const std::string& key) {
  std::smatch m;
  if (!std::regex_search(text, m, std::regex(key + R"(\s*)"))) return "";
  return StringToken(text, size_t(m.position(0) + m.length(0)));
}

// /ID and the encryption dictionary as qpdf shows them.
EncryptValues ReadWithQpdf(const std::string& file, const std::string& password) {
  EncryptValues v;
  std::string pw = "--password=" + Quote(password) + " ";
  std::string trailer = RunCommand("qpdf " + pw + "--show-object=trailer " + Quote(file));
  std::smatch m;
  EXPECT_TRUE(std::regex_search(trailer, m, std::regex(R"(/Encrypt (\d+) 0 R)"))) << trailer;
  if (m.empty()) return v;
  std::string dict = RunCommand("qpdf " + pw + "--show-object=" + m[1].str() + " " + Quote(file));
  std::smatch idMatch;
  if (std::regex_search(trailer, idMatch, std::regex(R"(/ID \[\s*)"))) {
    std::string token = StringToken(trailer, size_t(idMatch.position(0) + idMatch.length(0)));
    v.id = token.starts_with("<") ? HexToBytes(ValueBytes(token)) : ValueBytes(token);
  }
  v.o = StringAfter(dict, "/O");
  v.u = StringAfter(dict, "/U");
  v.p = NumberAfter(dict, "/P").value_or(0);
  v.r = int(NumberAfter(dict, "/R").value_or(0));
  v.v = NumberAfter(dict, "/V");
  v.length = NumberAfter(dict, "/Length");
  EXPECT_FALSE(v.o.empty()) << dict;
  return v;
}

// What a reader does with those values before asking for a password.
void SetUpHandler(TvxPDFDecrypt& d, const EncryptValues& v) {
  d.SetFileId(v.id);
  d.SetOwnerKey(v.o);
  d.SetUserKey(v.u);
  d.SetP(v.p);
  d.SetRevision(v.r);
  d.SetKeyLength(TvxPDFDecrypt::KeyLengthFromDictionary(v.r, v.length, v.v));
}

// qpdf's view of what a user may do, in our permission terms.
TvxUserPermissions QpdfCapabilities(const std::string& file, const std::string& password) {
  std::string json = RunCommand("qpdf --password=" + Quote(password) + " --json --json-key=encrypt " + Quote(file));
  const std::pair<const char*, TvxUserPermissionsType> names[] = {
      {"extract", AllowCopy},           {"modifyother", AllowModify},
      {"printlow", AllowPrint},         {"modifyannotations", AllowAnnotation},
      {"modifyforms", AllowFormFill},   {"accessibility", AllowAccessibility},
      {"modifyassembly", AllowDocAssembly}, {"printhigh", AllowHighResPrint}};
  TvxUserPermissions result;
  for (const auto& [name, member] : names) {
    std::smatch m;
    EXPECT_TRUE(std::regex_search(json, m, std::regex("\"" + std::string(name) + "\": (true|false)")))
        << json;
    if (!m.empty() && m[1] == "true") result.Include(member);
  }
  return result;
}

const std::string kCorpus = vxtest::CorpusDir() + "/qpdf-tests/";

}  // namespace

// Real RC4 files: the file name carries the passwords (no U= means an empty
// user password).
TEST(QpdfInterop, CorpusPasswords) {
  VX_NEEDS_CORPUS();
  struct Case {
    const char* file;
    const char* user;
    std::optional<std::string> owner;  // nothing: the owner password is unknown
    bool userIsOwner;                  // same passwords, or none at all
    TvxPDFEncryptionLevel level;
  } cases[] = {
      {"enc-R2,V1.pdf", "", "", true, el40bit},
      {"enc-R2,V1,O=master.pdf", "", "master", false, el40bit},
      {"enc-R2,V1,U=view,O=master.pdf", "view", "master", false, el40bit},
      {"enc-R2,V1,U=view,O=view.pdf", "view", "view", true, el40bit},
      {"enc-R3,V2.pdf", "", "", true, el128bit},
      {"enc-R3,V2,O=master.pdf", "", "master", false, el128bit},
      {"enc-R3,V2,U=view,O=master.pdf", "view", "master", false, el128bit},
      {"enc-R3,V2,U=view,O=view.pdf", "view", "view", true, el128bit},
      {"encrypted-40-bit-R3.pdf", "623", std::nullopt, false, el40bit},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    std::string file = kCorpus + c.file;
    EncryptValues v = ReadWithQpdf(file, c.user);

    TvxPDFDecrypt asUser;
    SetUpHandler(asUser, v);
    TvxPDFEncryptionSettings userSettings;
    ASSERT_TRUE(asUser.AcceptPassword(userSettings, c.user));
    EXPECT_EQ(asUser.IsOwner(), c.userIsOwner);
    EXPECT_EQ(userSettings.Level(), c.level);
    EXPECT_EQ(userSettings.UserPassword(), c.user);
    if (!c.userIsOwner) {
      EXPECT_FALSE(userSettings.Changeable());
      // At revision 3 the permissions are those qpdf grants the user.
      if (v.r == 3) {
        EXPECT_EQ(asUser.Permissions(), QpdfCapabilities(file, c.user));
      }
    }

    for (std::string wrong : {"wrong", "Master", "vie"}) {
      TvxPDFDecrypt d;
      SetUpHandler(d, v);
      TvxPDFEncryptionSettings s;
      EXPECT_FALSE(d.AcceptPassword(s, wrong)) << wrong;
    }
    if (c.owner) {
      TvxPDFDecrypt asOwner;
      SetUpHandler(asOwner, v);
      std::string derived = "unset";
      EXPECT_TRUE(asOwner.CheckOwnerPassword(*c.owner, derived));
      EXPECT_EQ(derived, c.user);
      TvxPDFEncryptionSettings s;
      ASSERT_TRUE(asOwner.AcceptPassword(s, *c.owner));
      EXPECT_TRUE(asOwner.IsOwner());
      EXPECT_EQ(s.OwnerPassword(), *c.owner);
      // The owner may do everything; the settings keep what the file grants.
      EXPECT_EQ(asOwner.Permissions(), TvxUserPermissions::All());
      EXPECT_EQ(s.UserPermissions(), UserPermissionsFromP(v.p, v.r >= 3));
    }
  }
}

// A revision 3 file with /Length 40 opens only when /R picks the algorithms.
TEST(QpdfInterop, Revision3With40BitsNeedsRevisionAlgorithms) {
  VX_NEEDS_CORPUS();
  EncryptValues v = ReadWithQpdf(kCorpus + "encrypted-40-bit-R3.pdf", "623");
  ASSERT_EQ(v.r, 3);
  ASSERT_EQ(v.length, 40);
  TvxPDFDecrypt byLength;
  byLength.SetFileId(v.id);
  byLength.SetOwnerKey(v.o);
  byLength.SetUserKey(v.u);
  byLength.SetP(v.p);
  byLength.SetLevel(el40bit);  // revision 2 algorithms, chosen from /Length alone
  EXPECT_FALSE(byLength.CheckUserPassword("623"));
  TvxPDFDecrypt byRevision;
  SetUpHandler(byRevision, v);
  EXPECT_TRUE(byRevision.CheckUserPassword("623"));
}

namespace {

// A one-page file whose content stream is object 4 and whose information
// dictionary (object 5) has a /Title. `encrypt` turns the plain bytes of
// object N into what is written; `extraTrailer` adds /Encrypt and /ID.
std::string MakePdf(const std::function<std::string(int, const std::string&)>& encrypt,
                    const std::string& encryptDict, const std::string& extraTrailer,
                    const std::string& content, const std::string& title) {
  std::vector<std::string> bodies = {
      "<< /Type /Catalog /Pages 2 0 R >>",
      "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 4 0 R >>",
  };
  std::string stream = encrypt(4, content);
  bodies.push_back("<< /Length " + std::to_string(stream.size()) + " >>\nstream\n" + stream +
                   "\nendstream");
  bodies.push_back("<< /Title <" + BytesToHex(encrypt(5, title)) + "> >>");
  if (!encryptDict.empty()) bodies.push_back(encryptDict);

  std::string out = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
  std::vector<size_t> offsets;
  for (size_t i = 0; i < bodies.size(); ++i) {
    offsets.push_back(out.size());
    out += std::to_string(i + 1) + " 0 obj\n" + bodies[i] + "\nendobj\n";
  }
  size_t xref = out.size();
  out += "xref\n0 " + std::to_string(bodies.size() + 1) + "\n0000000000 65535 f\r\n";
  for (size_t off : offsets) {
    char line[24];
    std::snprintf(line, sizeof line, "%010zu 00000 n\r\n", off);
    out += line;
  }
  out += "trailer\n<< /Size " + std::to_string(bodies.size() + 1) + " /Root 1 0 R /Info 5 0 R" +
         extraTrailer + " >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
  return out;
}

// Names (the /O and /U tokens included) verbatim, integers in decimal: all
// the encryption dictionary holds.
std::string WriteDictionary(const TvxPDFDictObject& dict) {
  std::string out = "<<";
  for (int i = 0; i < dict.Count(); ++i) {
    out += " " + dict.KeyAt(i) + " ";
    if (auto name = As<TvxPDFNameObject>(dict.ValueAt(i)))
      out += name->Text;
    else
      out += std::to_string(Cast<TvxPDFIntegerObject>(dict.ValueAt(i)).Value);
  }
  return out + " >>";
}

const std::string kContent = "BT /F1 12 Tf 20 100 Td (Hello from the test) Tj ET";
const std::string kTitle = "Vordel Title";

// qpdf opens `file` with the passwords and finds the plain content and title.
void ExpectQpdfOpens(const std::string& file, const std::string& user, const std::string& owner) {
  std::string info = RunCommand("qpdf --password=" + Quote(user) + " --show-encryption " + Quote(file));
  EXPECT_NE(info.find("Supplied password is user password"), std::string::npos) << info;
  info = RunCommand("qpdf --password=" + Quote(owner) + " --show-encryption " + Quote(file));
  EXPECT_NE(info.find("Supplied password is owner password"), std::string::npos) << info;
  EXPECT_NE(info.find("User password = " + user), std::string::npos) << info;
  info = RunCommand("qpdf --password=wrong-password --show-encryption " + Quote(file));
  EXPECT_NE(info.find("Incorrect password supplied"), std::string::npos) << info;

  int code = -1;
  std::string check = RunCommand("qpdf --password=" + Quote(user) + " --check " + Quote(file), &code);
  EXPECT_EQ(code, 0) << check;
  EXPECT_EQ(RunCommand("qpdf --password=" + Quote(user) + " --show-object=4 --raw-stream-data " + Quote(file)),
            kContent);
  std::string infoDict = RunCommand("qpdf --password=" + Quote(user) + " --show-object=5 " + Quote(file));
  EXPECT_NE(infoDict.find("/Title (" + kTitle + ")"), std::string::npos) << infoDict;
}

}  // namespace

// Files encrypted by TvxPDFEncryption, opened by qpdf.
TEST(QpdfInterop, QpdfOpensFilesEncryptedHere) {
  for (auto level : {el40bit, el128bit}) {
    TvxPDFEncryptionSettings s;
    s.SetEnabled(true);
    s.SetLevel(level);
    s.SetOwnerPassword("master");
    s.SetUserPassword("view");
    s.SetUserPermissions({AllowPrint, AllowCopy});
    TvxPDFEncryption e("Output1.pdf", s, "D:20240101120000");
    std::string dictText = WriteDictionary(*e.BuildEncryptDictionary());
    auto ids = e.BuildIdArray();
    std::string idText = Cast<TvxPDFStringObject>(ids->GetItem(0)).Text + " " +
                         Cast<TvxPDFStringObject>(ids->GetItem(1)).Text;
    std::string file = TempPath(level == el40bit ? "ours-40.pdf" : "ours-128.pdf").string();
    WriteFile(file, MakePdf([&](int n, const std::string& b) { return e.Encrypt(b, 0, n); },
                            dictText, " /Encrypt 6 0 R /ID [" + idText + "]", kContent, kTitle));
    SCOPED_TRACE(file);
    ExpectQpdfOpens(file, "view", "master");
    TvxUserPermissions expected{AllowPrint, AllowCopy};
    if (level == el128bit) {
      EXPECT_EQ(QpdfCapabilities(file, "view"), expected);
    }
  }
}

// mutool accepts (or rejects) the user password of `file`.
bool MutoolAccepts(const std::string& file, const std::string& password) {
  int code = -1;
  std::string out = RunCommand("mutool info -p " + Quote(password) + " " + Quote(file), &code);
  bool accepted = out.find("cannot authenticate password") == std::string::npos;
  EXPECT_EQ(accepted, code == 0) << out;
  if (accepted) {
    EXPECT_NE(out.find("PDF-1.4"), std::string::npos) << out;
  }
  return accepted;
}

// Files at key lengths and /V, /R combinations qpdf cannot write, built from
// the key derivations and opened by qpdf, mutool and TvxPDFDecrypt. A positive
// /P beyond 16 bits must enter the key with its own high bytes.
TEST(QpdfInterop, KeyLengthsAndRevisions) {
  struct Case {
    int revision, version;
    std::optional<int64_t> length;  // /Length written, if any
    size_t bytes;                   // the key length that dictionary means
    int64_t p;
    bool qpdfAgrees;                // qpdf reads a missing /Length as 128 bits
  } cases[] = {
      {3, 2, std::nullopt, 5, -3904 + 4, false},
      {3, 2, 40, 5, -12, true},
      {3, 2, 56, 7, -4, true},
      {3, 2, 80, 10, -3904, true},
      {3, 2, 128, 16, -3904 + 16 + 2048 + 4, true},
      {3, 2, 128, 16, 0x7FFFFFFC, true},
      {2, 1, 128, 5, -60, true},   // /V 1 ignores /Length
      {2, 2, 128, 16, -64, true},  // /V 2 honours it, even at revision 2
      {3, 1, 128, 5, -4, true},
  };
  int index = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE("case " + std::to_string(index));
    std::string idBytes(16, char('a' + index));
    std::string fileId = BytesToHex(idBytes);
    TvxKeyBlock o = ComputeOwnerKey("master", "view", c.revision, c.bytes);
    TvxDocumentKey key = ComputeEncryptionKey("view", o, uint32_t(c.p), idBytes, c.revision, c.bytes);
    TvxKeyBlock u = ComputeUserKey(key, idBytes, c.revision, c.bytes);
    auto hex = [](const TvxKeyBlock& b) {
      return BytesToHex(std::string_view(reinterpret_cast<const char*>(b.data()), b.size()));
    };
    std::string dict = "<< /Filter /Standard /V " + std::to_string(c.version) + " /R " +
                       std::to_string(c.revision) +
                       (c.length ? " /Length " + std::to_string(*c.length) : std::string()) +
                       " /O <" + hex(o) + "> /U <" + hex(u) + "> /P " + std::to_string(c.p) + " >>";
    auto encrypt = [&](int n, const std::string& plain) {
      std::string k = ObjectKey(key.data(), c.bytes, n, 0);
      std::string out = plain;
      TRC4State state;
      RC4Init(state, k.data(), k.size());
      RC4Crypt(state, out.data(), out.data(), out.size());
      return out;
    };
    std::string file = TempPath("keys-" + std::to_string(index++) + ".pdf");
    WriteFile(file, MakePdf(encrypt, dict, " /Encrypt 6 0 R /ID [<" + fileId + "> <" + fileId + ">]",
                            kContent, kTitle));
    EXPECT_TRUE(MutoolAccepts(file, "view"));
    EXPECT_FALSE(MutoolAccepts(file, "wrong"));
    if (c.qpdfAgrees) {
      ExpectQpdfOpens(file, "view", "master");
    }

    // What a reader takes from the file.
    EncryptValues v;
    v.id = idBytes;
    v.o = "<" + hex(o) + ">";
    v.u = "<" + hex(u) + ">";
    v.p = c.p;
    v.r = c.revision;
    v.v = c.version;
    v.length = c.length;
    if (c.qpdfAgrees) {
      EncryptValues shown = ReadWithQpdf(file, "view");
      EXPECT_EQ(HexToBytes(shown.o), HexToBytes(v.o));
      EXPECT_EQ(shown.p, v.p);
    }
    TvxPDFDecrypt d;
    SetUpHandler(d, v);
    EXPECT_EQ(d.KeyLength(), c.bytes);
    EXPECT_EQ(d.Level(), c.bytes == 5 ? el40bit : el128bit);
    TvxPDFEncryptionSettings s;
    ASSERT_TRUE(d.AcceptPassword(s, "view"));
    EXPECT_FALSE(d.IsOwner());
    EXPECT_EQ(d.GetEncryptionKey(), std::string(reinterpret_cast<const char*>(key.data()), c.bytes));
    if (c.qpdfAgrees && c.revision == 3) {
      EXPECT_EQ(d.Permissions(), QpdfCapabilities(file, "view"));
    }
    std::string derived;
    EXPECT_TRUE(d.CheckOwnerPassword("master", derived));
    EXPECT_EQ(derived, "view");
  }
}

namespace {

// The number of the object whose body contains `pos`.
int ObjectNumberAt(const std::string& file, size_t pos) {
  std::regex header(R"((\d+) 0 obj)");
  int number = -1;
  for (auto it = std::sregex_iterator(file.begin(), file.begin() + long(pos), header);
       it != std::sregex_iterator(); ++it)
    number = std::stoi((*it)[1]);
  return number;
}

}  // namespace

// Files qpdf encrypted: passwords, then the raw stream and string bytes of
// the file decrypted here.
TEST(QpdfInterop, DecryptsFilesQpdfEncrypted) {
  std::string plainFile = TempPath("plain.pdf").string();
  WriteFile(plainFile, MakePdf([](int, const std::string& b) { return b; }, "", "", kContent, kTitle));
  struct Case {
    const char* name;
    const char* options;
    int revision;
    TvxUserPermissions userGets;
  } cases[] = {
      {"qpdf-40.pdf", "view master 40 --print=n --modify=n --", 2,
       TvxUserPermissions{AllowCopy, AllowAnnotation, AllowFormFill, AllowAccessibility,
                          AllowDocAssembly, AllowHighResPrint}},
      {"qpdf-128.pdf", "view master 128 --use-aes=n --print=low --modify=none --", 3,
       TvxUserPermissions{AllowCopy, AllowAccessibility, AllowPrint}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string file = TempPath(c.name).string();
    int code = -1;
    std::string out = RunCommand("qpdf --allow-weak-crypto --compress-streams=n --object-streams=disable " +
                              Quote(plainFile) + " --encrypt " + c.options + " " + Quote(file),
                          &code);
    ASSERT_EQ(code, 0) << out;

    EncryptValues v = ReadWithQpdf(file, "view");
    ASSERT_EQ(v.r, c.revision);
    TvxPDFDecrypt owner;
    SetUpHandler(owner, v);
    TvxPDFEncryptionSettings ownerSettings;
    ASSERT_TRUE(owner.AcceptPassword(ownerSettings, "master"));
    EXPECT_TRUE(owner.IsOwner());
    EXPECT_EQ(ownerSettings.UserPassword(), "view");

    TvxPDFDecrypt d;
    SetUpHandler(d, v);
    TvxPDFEncryptionSettings s;
    ASSERT_TRUE(d.AcceptPassword(s, "view"));
    EXPECT_FALSE(d.IsOwner());
    EXPECT_EQ(d.Permissions(), c.userGets);

    std::string bytes = ReadFile(file);
    std::smatch m;
    ASSERT_TRUE(std::regex_search(bytes, m, std::regex(R"(/Length (\d+) >>\r?\nstream\r?\n)")));
    size_t start = size_t(m.position(0) + m.length(0));
    TvxMemoryStream stream(bytes.substr(start, std::stoul(m[1])));
    d.DecryptStream(stream, size_t(stream.Size()), 0, ObjectNumberAt(bytes, start));
    EXPECT_EQ(stream.Bytes(), kContent);

    size_t title = bytes.find("/Title");
    ASSERT_NE(title, std::string::npos);
    size_t token = bytes.find_first_of("<(", title);
    std::string stored = StringToken(bytes, token);
    std::string value = stored[0] == '<' ? HexToBytes(ValueBytes(stored)) : ValueBytes(stored);
    EXPECT_EQ(d.DecryptString(value, 0, ObjectNumberAt(bytes, title)), kTitle);
  }
}

}  // namespace vx
