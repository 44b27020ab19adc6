// The command line against hostile paths and input: device nodes and links
// as outputs, stop signals during a save, odd file names, unwritable
// standard output, escape bytes in messages, names without extensions,
// option values that make no sense, endless name lists and decompression
// bombs. Each case drives the real binary as a script or an attacker would.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <random>
#include <sstream>
#include <regex>

#include "pdf/filters/vxDZLIB.h"
#include "pdf/security/vxPDFCrypt.h"
#include "pdf/util/vxPDFUtils.h"
#include "pdf/util/vxUtils.h"
#include "support/PdfBuilder.h"
#include "support/PikeQuery.h"

extern char** environ;

namespace fs = std::filesystem;
using vxtest::Quote;
using vxtest::RunCommand;

namespace {

struct Result {
  int code;
  std::string out;
};

// Runs a shell command in `folder`; standard error is merged into the output.
Result Shell(const std::string& command, const std::string& folder) {
  Result r;
  r.code = RunCommand("(cd " + Quote(folder) + " && " + command + ")", &r.out, true);
  return r;
}

// Runs vordel with `args` (shell words) in `folder`.
Result Vordel(const std::string& args, const std::string& folder = ".") {
  return Shell(std::string(VORDEL_BINARY) + " " + args, folder);
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

size_t CountLines(const std::string& text) { return size_t(std::count(text.begin(), text.end(), '\n')); }

// A fresh folder for one test, removed with everything in it afterwards.
class Folder {
 public:
  Folder() {
    std::string pattern = (fs::temp_directory_path() / "vordel-hostile-XXXXXX").string();
    path_ = mkdtemp(pattern.data());
  }
  ~Folder() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  const std::string& Path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  void Write(const std::string& name, const std::string& bytes) const {
    std::ofstream(*this / name, std::ios::binary) << bytes;
  }
  // Names in the folder that hold `part`.
  std::vector<std::string> NamesWith(const std::string& part) const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(path_))
      if (Contains(entry.path().filename().string(), part)) names.push_back(entry.path().filename().string());
    return names;
  }

 private:
  std::string path_;
};

std::string Pdf(int pages = 1) { return vxtest::SimplePdf(pages, "", "/Title (Hostile)"); }

// A PDF with one page and an extra stream object of `size` incompressible
// bytes stored without a filter: compressing it at save takes a while.
std::string PdfWithLargeStream(size_t size) {
  std::string data(size, '\0');
  std::mt19937_64 random(42);
  for (size_t i = 0; i + 8 <= size; i += 8) {
    uint64_t v = random();
    std::memcpy(&data[i], &v, 8);
  }
  vxtest::PdfBuilder b;
  b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  b.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 4 0 R /Big 5 0 R >>");
  b.Stream(4, "", "BT /F1 12 Tf 10 10 Td (x) Tj ET");
  b.Stream(5, "", data);
  b.FinishWithTable("/Root 1 0 R");
  return b.Bytes();
}

// A PDF whose page dictionary sits in an object stream that inflates to
// about `decodedSize` bytes from a few kilobytes: a decompression bomb.
std::string PdfWithObjectStreamBomb(size_t decodedSize) {
  const std::string page = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] >>";
  std::string content = "3 0 " + page + std::string(decodedSize, ' ');
  std::string compressed = vx::DeflateBytes(content, 9);
  vxtest::PdfBuilder b("%PDF-1.5\n%\xE2\xE3\xCF\xD3\n");
  b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  b.Stream(4, "/Type /ObjStm /N 1 /First 4 /Filter /FlateDecode", compressed);
  b.FinishWithStream(5, "/Root 1 0 R", {{3, {4, 0}}});
  return b.Bytes();
}

// Starts vordel with `args` without waiting, its errors discarded; answers
// its pid.
pid_t StartVordel(const std::vector<std::string>& args) {
  std::vector<std::string> all = {VORDEL_BINARY};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  int rc = posix_spawn(&pid, VORDEL_BINARY, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return rc == 0 ? pid : -1;
}

mode_t ModeOf(const std::string& path) {
  struct stat st{};
  lstat(path.c_str(), &st);
  return st.st_mode;
}

}  // namespace

TEST(VordelHostile, OutputMustBeARegularFileOrAbsent) {
  Folder f;
  f.Write("in.pdf", Pdf());
  ASSERT_EQ(mkfifo((f / "fifo").c_str(), 0644), 0);
  fs::create_symlink("/dev/null", f / "to-null");
  fs::create_symlink(f / "fifo", f / "to-fifo");
  fs::create_directory(f / "folder");
  for (const std::string& out : {"fifo", "folder"}) {
    Result r = Vordel("set --fit-window in.pdf -o " + out, f.Path());
    EXPECT_EQ(r.code, 4) << out << ": " << r.out;
    EXPECT_TRUE(Contains(r.out, "not a regular file")) << r.out;
    EXPECT_EQ(CountLines(r.out), 1u) << r.out;
  }
  EXPECT_TRUE(S_ISFIFO(ModeOf(f / "fifo")));
  EXPECT_TRUE(S_ISDIR(ModeOf(f / "folder")));
  // A link in the output's place is replaced, whatever it leads to; in
  // place, a link still leads to the file that is replaced.
  for (const std::string& out : {"to-null", "to-fifo"}) {
    EXPECT_EQ(Vordel("set --fit-window in.pdf -o " + out, f.Path()).code, 0) << out;
    EXPECT_TRUE(S_ISREG(ModeOf(f / out))) << out;
  }
  EXPECT_TRUE(S_ISCHR(ModeOf("/dev/null")));
  EXPECT_TRUE(S_ISFIFO(ModeOf(f / "fifo")));
}

TEST(VordelHostile, TemporaryFilesGoAwayOnStopSignalsAndWhenStale) {
  Folder f;
  f.Write("big.pdf", PdfWithLargeStream(size_t(96) << 20));
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
    pid_t pid = StartVordel({"set", "--level", "maximum", "-j", "1", "-q", f / "big.pdf", "-o", f / "out.pdf"});
    ASSERT_GT(pid, 0);
    // Wait until the save's temporary file exists, then stop the process.
    bool seen = false;
    int status = 0;
    while (!seen) {
      seen = !f.NamesWith(".vxtmp-").empty();
      if (!seen && waitpid(pid, &status, WNOHANG) == pid) break;  // finished before it was seen
      if (!seen) usleep(1000);
    }
    ASSERT_TRUE(seen) << "the save ended before its temporary file was seen (signal " << sig << ")";
    kill(pid, sig);
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << "signal " << sig << " status " << status;
    EXPECT_TRUE(f.NamesWith(".vxtmp-").empty()) << "signal " << sig;
    EXPECT_FALSE(fs::exists(f / "out.pdf"));
  }

  // What killed processes left: temporary save files older than an hour go,
  // a fresh one (perhaps a save in progress) and names of another pattern
  // stay.
  f.Write("small.pdf", Pdf());
  const std::string stale = ".out.pdf.vxtmp-Ab12Cd", staleOther = ".other.pdf.vxtmp-Ij56Kl",
                    fresh = ".out.pdf.vxtmp-Ef34Gh", notOurs = ".out.pdf.vxtmp-old-copy", plain = "out.pdf.vxtmp-Mn78Op";
  auto twoHoursAgo = fs::file_time_type::clock::now() - std::chrono::hours(2);
  for (const auto& name : {stale, staleOther, fresh, notOurs, plain}) {
    f.Write(name, "partial");
    if (name != fresh) fs::last_write_time(f / name, twoHoursAgo);
  }
  EXPECT_EQ(Vordel("set --fit-window small.pdf -o out.pdf", f.Path()).code, 0);
  EXPECT_FALSE(fs::exists(f / stale));
  EXPECT_FALSE(fs::exists(f / staleOther));
  EXPECT_TRUE(fs::exists(f / fresh));
  EXPECT_TRUE(fs::exists(f / notOurs));
  EXPECT_TRUE(fs::exists(f / plain));
}

TEST(VordelHostile, InPlaceKeepsOwnerAndGroupAndClearsSetIdBits) {
  Folder f;
  f.Write("in.pdf", Pdf());
  const std::string path = f / "in.pdf";
  const bool root = geteuid() == 0;
  if (root) ASSERT_EQ(chown(path.c_str(), 4321, 8765), 0);
  ASSERT_EQ(chmod(path.c_str(), 06754), 0);
  Result r = Vordel("set --fit-window --in-place in.pdf", f.Path());
  ASSERT_EQ(r.code, 0) << r.out;
  struct stat st{};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, mode_t(0754));
  if (root) {
    EXPECT_EQ(st.st_uid, uid_t(4321));
    EXPECT_EQ(st.st_gid, gid_t(8765));
  }
  EXPECT_TRUE(Contains(vxtest::ReadFile(path), "/FitWindow true"));
}

TEST(VordelHostile, OddNamesAreErrorsOfTheirOwnFileAndTheBatchGoesOn) {
  Folder f;
  f.Write("good.pdf", Pdf());
  fs::create_symlink("loop-b", f / "loop-a");
  fs::create_symlink("loop-a", f / "loop-b");
  const std::string tooLong(300, 'n');
  const std::string notUtf8 = "bad\xff\xfe.pdf";
  f.Write(notUtf8, Pdf(2));
  f.Write("list", "loop-a\n" + tooLong + "\n" + notUtf8 + "\ngood.pdf\n");
  fs::create_directory(f / "out");

  Result batch = Vordel("set --fit-window --files-from list --output-dir out", f.Path());
  EXPECT_EQ(batch.code, 2) << batch.out;
  EXPECT_TRUE(fs::exists(f / "out/good.pdf"));
  EXPECT_TRUE(fs::exists(f / ("out/" + notUtf8)));
  EXPECT_TRUE(Contains(batch.out, "vordel: loop-a: Too many levels of symbolic links")) << batch.out;
  EXPECT_TRUE(Contains(batch.out, "File name too long")) << batch.out;

  Result info = Vordel("info loop-a " + tooLong, f.Path());
  EXPECT_EQ(info.code, 2);
  EXPECT_EQ(CountLines(info.out), 2u) << info.out;

  // JSON stays JSON: the name with a replacement character, its bytes in base64.
  Result json = Vordel("info --json good.pdf " + Quote(notUtf8) + " 2>/dev/null", f.Path());
  ASSERT_EQ(json.code, 0);
  nlohmann::json parsed = nlohmann::json::parse(json.out);
  ASSERT_EQ(parsed.size(), 2u);
  EXPECT_EQ(parsed[0]["file"], "good.pdf");
  EXPECT_FALSE(parsed[0].contains("path_bytes"));
  EXPECT_EQ(parsed[1]["file"], "bad\xEF\xBF\xBD\xEF\xBF\xBD.pdf");
  EXPECT_EQ(parsed[1]["path_bytes"], "YmFk//4ucGRm");  // base64 of "bad\xff\xfe.pdf"
  EXPECT_EQ(parsed[1]["pages"], 2);
}

TEST(VordelHostile, UnwritableStandardOutputIsAnError) {
  Folder f;
  f.Write("in.pdf", Pdf());
  for (const std::string redirect : {">/dev/full", ">&-"}) {
    for (const std::string form : {"", "--json "}) {
      Result r = Vordel("info " + form + "in.pdf " + redirect, f.Path());
      EXPECT_EQ(r.code, 4) << redirect << " " << form << r.out;
      EXPECT_TRUE(Contains(r.out, "cannot write output")) << r.out;
    }
  }
}

TEST(VordelHostile, QuotedInputIsEscapedAndCutToOneShortLine) {
  Folder f;
  // The version word is quoted in the error: escape bytes and a long tail.
  std::string header = "%PDF-1.9\x1b\x07" + std::string(5000, 'A') + "\n";
  f.Write("header.pdf", header + Pdf().substr(9));
  Result r = Vordel("info header.pdf", f.Path());
  EXPECT_EQ(r.code, 2);
  EXPECT_EQ(CountLines(r.out), 1u) << r.out;
  EXPECT_EQ(r.out.find('\x1b'), std::string::npos);
  EXPECT_TRUE(Contains(r.out, "(%PDF-1.9\\x1b\\x07AAAA")) << r.out;
  EXPECT_TRUE(Contains(r.out, "A…)")) << r.out;
  EXPECT_LT(r.out.size(), 200u) << r.out;

  // A name with a line break and an escape sequence, named in an error.
  const std::string name = "a\nb\x1b[31m.pdf";
  Result missing = Vordel("info " + Quote(name), f.Path());
  EXPECT_EQ(missing.code, 2);
  EXPECT_EQ(CountLines(missing.out), 1u) << missing.out;
  EXPECT_TRUE(Contains(missing.out, "a\\x0ab\\x1b[31m.pdf")) << missing.out;
}

TEST(VordelHostile, PathsAreTakenLiterally) {
  Folder f;
  f.Write("report.pdf", Pdf(1));
  Result missing = Vordel("info report", f.Path());
  EXPECT_EQ(missing.code, 2) << missing.out;
  EXPECT_TRUE(Contains(missing.out, "report File Not Found")) << missing.out;

  // A file without an extension is read and replaced as named.
  f.Write("report", Pdf(3));
  const std::string before = vxtest::ReadFile(f / "report.pdf");
  EXPECT_EQ(Vordel("set --fit-window --in-place report", f.Path()).code, 0);
  EXPECT_TRUE(Contains(vxtest::ReadFile(f / "report"), "/FitWindow true"));
  EXPECT_EQ(vxtest::ReadFile(f / "report.pdf"), before);

  EXPECT_EQ(Vordel("set --fit-window report.pdf -o out", f.Path()).code, 0);
  EXPECT_TRUE(fs::exists(f / "out"));
  EXPECT_FALSE(fs::exists(f / "out.pdf"));

  Result empty = Vordel("set --fit-window report.pdf -o ''", f.Path());
  EXPECT_EQ(empty.code, 1) << empty.out;
  EXPECT_FALSE(fs::exists(f / ".pdf"));

  // Final names decide collisions, and a collision stops the run before
  // anything is written.
  fs::create_directories(f / "c");
  fs::create_directories(f / "d");
  fs::create_directories(f / "out-dir");
  f.Write("c/doc.pdf", Pdf(1));
  f.Write("d/doc", Pdf(2));
  f.Write("d/doc.pdf", Pdf(2));
  EXPECT_EQ(Vordel("set --fit-window c/doc.pdf d/doc --output-dir out-dir", f.Path()).code, 0);
  EXPECT_TRUE(fs::exists(f / "out-dir/doc.pdf"));
  EXPECT_TRUE(fs::exists(f / "out-dir/doc"));
  fs::create_directories(f / "out2");
  Result clash = Vordel("set --fit-window c/doc.pdf d/doc.pdf --output-dir out2", f.Path());
  EXPECT_EQ(clash.code, 1) << clash.out;
  EXPECT_TRUE(fs::is_empty(f / "out2"));
}

TEST(VordelHostile, EncryptionOptionsMeanWhatTheySay) {
  Folder f;
  f.Write("in.pdf", Pdf());
  Result help = Vordel("set --help", f.Path());
  EXPECT_TRUE(Contains(help.out, "print-high implies print")) << help.out;

  // print-high alone grants printing too.
  Result high = Vordel("set in.pdf -o high.pdf --encrypt 128 --owner-password boss --allow print-high", f.Path());
  ASSERT_EQ(high.code, 0) << high.out;
  std::string shown;
  EXPECT_EQ(RunCommand("qpdf --show-encryption " + Quote(f / "high.pdf"), &shown), 0);
  EXPECT_TRUE(Contains(shown, "print low resolution: allowed")) << shown;
  EXPECT_TRUE(Contains(shown, "print high resolution: allowed")) << shown;
  EXPECT_TRUE(Contains(shown, "modify anything: not allowed")) << shown;

  // No owner password: refused, nothing written.
  Result none = Vordel("set in.pdf -o none.pdf --encrypt 128", f.Path());
  EXPECT_EQ(none.code, 1) << none.out;
  EXPECT_TRUE(Contains(none.out, "--owner-password")) << none.out;
  EXPECT_FALSE(fs::exists(f / "none.pdf"));

  // "random": a fresh password, shown once, that opens the file as owner.
  Result random = Vordel("set in.pdf -o random.pdf --encrypt 128 --owner-password random", f.Path());
  ASSERT_EQ(random.code, 0) << random.out;
  const std::string marker = "vordel: owner password: ";
  size_t at = random.out.find(marker);
  ASSERT_NE(at, std::string::npos) << random.out;
  EXPECT_EQ(random.out.find(marker, at + 1), std::string::npos);
  std::string password = random.out.substr(at + marker.size());
  password = password.substr(0, password.find('\n'));
  EXPECT_GE(password.size(), 16u);
  EXPECT_NE(password, "random");
  EXPECT_EQ(RunCommand("qpdf --password=" + Quote(password) + " --show-encryption " + Quote(f / "random.pdf"), &shown), 0);
  EXPECT_TRUE(Contains(shown, "Supplied password is owner password")) << shown;
}

TEST(VordelHostile, BatchFailuresBelongToTheirFileAndSayWhatWasWritten) {
  Folder f;
  f.Write("one.pdf", Pdf(1));
  f.Write("eleven.pdf", Pdf(11));
  fs::create_directory(f / "out");
  Result r = Vordel("set --transition dissolve --pages 5 one.pdf eleven.pdf --output-dir out -j 1", f.Path());
  EXPECT_EQ(r.code, 2) << r.out;
  EXPECT_TRUE(fs::exists(f / "out/eleven.pdf"));
  EXPECT_FALSE(fs::exists(f / "out/one.pdf"));
  EXPECT_TRUE(Contains(r.out, "vordel: one.pdf: Invalid page number (5); out/one.pdf not written")) << r.out;
  EXPECT_TRUE(Contains(r.out, "2 files: 1 done, 1 failed")) << r.out;
  std::string pages;
  EXPECT_EQ(RunCommand("qpdf --show-npages " + Quote(f / "out/eleven.pdf"), &pages), 0);
  EXPECT_EQ(pages, "11\n");

  // In place, the failed file is left as it was.
  const std::string before = vxtest::ReadFile(f / "one.pdf");
  Result inPlace = Vordel("set --transition dissolve --pages 5 --in-place one.pdf", f.Path());
  EXPECT_EQ(inPlace.code, 2);
  EXPECT_TRUE(Contains(inPlace.out, "one.pdf left as it was")) << inPlace.out;
  EXPECT_EQ(vxtest::ReadFile(f / "one.pdf"), before);
}

TEST(VordelHostile, DurationMustBeAFiniteNumberOfSeconds) {
  Folder f;
  f.Write("in.pdf", Pdf());
  for (const std::string value : {"nan", "inf", "-inf", "-1", "1e300"}) {
    Result r = Vordel("set in.pdf -o out.pdf --transition dissolve --duration " + value, f.Path());
    EXPECT_EQ(r.code, 1) << value << ": " << r.out;
    EXPECT_FALSE(fs::exists(f / "out.pdf")) << value;
  }
  EXPECT_EQ(Vordel("set in.pdf -o out.pdf --transition dissolve --duration 2.5", f.Path()).code, 0);
}

TEST(VordelHostile, NameListsAndInputsThatAreNotFiles) {
  Folder f;
  f.Write("good.pdf", Pdf());
  // An endless list stops at once; the address-space limit keeps a
  // regression from taking the machine's memory with it.
#if defined(__SANITIZE_ADDRESS__)
  // The address sanitizer reserves a vast address range, so it gets a limit
  // on resident memory of its own instead.
  const std::string limit = "ASAN_OPTIONS=\"$ASAN_OPTIONS:hard_rss_limit_mb=2000\" ";
#else
  const std::string limit = "ulimit -v 2000000; ";
#endif
  Result zero = Shell(limit + std::string(VORDEL_BINARY) + " set --fit-window --in-place --files-from /dev/zero",
                       f.Path());
  EXPECT_EQ(zero.code, 1) << zero.out;
  EXPECT_TRUE(Contains(zero.out, "--files-from")) << zero.out;
  f.Write("long-list", std::string(100000, 'x') + "\ngood.pdf\n");
  Result longName = Shell(limit + std::string(VORDEL_BINARY) + " set --fit-window --in-place --files-from long-list",
                           f.Path());
  EXPECT_EQ(longName.code, 1) << longName.out;
  EXPECT_TRUE(Contains(longName.out, "longer than the system allows")) << longName.out;
  fs::create_directory(f / "folder");
  Result folderList = Vordel("set --fit-window --in-place --files-from folder", f.Path());
  EXPECT_EQ(folderList.code, 1);
  EXPECT_TRUE(Contains(folderList.out, "not a regular file")) << folderList.out;

  // Inputs that are not regular files: refused by name, the rest goes on.
  ASSERT_EQ(mkfifo((f / "fifo").c_str(), 0644), 0);
  Result inputs = Vordel("info folder fifo good.pdf", f.Path());
  EXPECT_EQ(inputs.code, 2) << inputs.out;
  EXPECT_TRUE(Contains(inputs.out, "vordel: folder: \"folder\" is not a regular file")) << inputs.out;
  EXPECT_TRUE(Contains(inputs.out, "vordel: fifo: \"fifo\" is not a regular file")) << inputs.out;
  EXPECT_TRUE(Contains(inputs.out, "Pages:              1")) << inputs.out;

  // A list read from a FIFO is fine.
  Result piped = Shell("mkfifo names && (echo good.pdf > names &) && " + std::string(VORDEL_BINARY) +
                            " set -q --center-window --in-place --files-from names",
                        f.Path());
  EXPECT_EQ(piped.code, 0) << piped.out;
  EXPECT_TRUE(Contains(vxtest::ReadFile(f / "good.pdf"), "/CenterWindow true"));
}

TEST(VordelHostile, DecodingStopsAtTheMemoryBudget) {
  Folder f;
  f.Write("bomb.pdf", PdfWithObjectStreamBomb(size_t(48) << 20));
  EXPECT_LT(vxtest::ReadFile(f / "bomb.pdf").size(), size_t(200000));
  Result small = Vordel("info --max-memory 8M bomb.pdf", f.Path());
  EXPECT_EQ(small.code, 2) << small.out;
  EXPECT_TRUE(Contains(small.out, "memory budget of 8388608 bytes")) << small.out;
  fs::create_directory(f / "out");
  f.Write("bomb2.pdf", vxtest::ReadFile(f / "bomb.pdf"));
  Result batch = Vordel("set --fit-window -j 2 --max-memory 8M bomb.pdf bomb2.pdf --output-dir out", f.Path());
  EXPECT_EQ(batch.code, 2) << batch.out;
  EXPECT_TRUE(fs::is_empty(f / "out"));
  // Within the default budget (a quarter of the machine's memory) it loads.
  Result fits = Vordel("info bomb.pdf", f.Path());
  EXPECT_EQ(fits.code, 0) << fits.out;
  EXPECT_EQ(Vordel("info --max-memory lots bomb.pdf", f.Path()).code, 1);
}

TEST(VordelHostile, LibraryWarningsReachStandardErrorAndJson) {
  Folder f;
  // The page-tree root lists itself among its kids.
  vxtest::PdfBuilder b;
  b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.Object(2, "<< /Type /Pages /Kids [3 0 R 2 0 R] /Count 1 >>");
  b.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] >>");
  b.FinishWithTable("/Root 1 0 R");
  f.Write("cycle.pdf", b.Bytes());
  // The library's words may change; what is checked is that they arrive.
  const std::string prefix = "warning: cycle.pdf: ";
  Result text = Vordel("info cycle.pdf", f.Path());
  EXPECT_EQ(text.code, 0) << text.out;
  size_t at = text.out.find(prefix);
  ASSERT_NE(at, std::string::npos) << text.out;
  std::string warning = text.out.substr(at + prefix.size());
  warning = warning.substr(0, warning.find('\n'));
  EXPECT_TRUE(Contains(warning, "2")) << warning;  // names the node
  Result json = Vordel("info --json cycle.pdf 2>/dev/null", f.Path());
  nlohmann::json parsed = nlohmann::json::parse(json.out);
  ASSERT_EQ(parsed["warnings"].size(), 1u) << json.out;
  EXPECT_EQ(parsed["warnings"][0], warning);
  Result set = Vordel("set --fit-window cycle.pdf -o out.pdf", f.Path());
  EXPECT_TRUE(Contains(set.out, prefix + warning)) << set.out;
  Result clean = Vordel("info --json out.pdf 2>/dev/null", f.Path());
  EXPECT_TRUE(nlohmann::json::parse(clean.out)["warnings"].empty()) << clean.out;
}

namespace {

std::string Repeat(const std::string& s, size_t n) {
  std::string out;
  out.reserve(s.size() * n);
  for (size_t i = 0; i < n; ++i) out += s;
  return out;
}

// A packet whose one description holds `body`, declaring the namespace a:.
std::string XmpWith(const std::string& body, const std::string& prologue = "") {
  return prologue + "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>"
                    "<rdf:Description rdf:about='' xmlns:a='http://example.com/a/'>" + body +
         "</rdf:Description></rdf:RDF></x:xmpmeta>";
}

std::string Nested(const std::string& open, const std::string& inner, const std::string& close, size_t depth) {
  return Repeat(open, depth) + inner + Repeat(close, depth);
}

std::string Utf16LE(const std::string& ascii) {
  std::string out = "\xFF\xFE";
  for (char c : ascii) out += {c, '\0'};
  return out;
}

}  // namespace

// Packets built to hurt the XMP toolkit (deep nesting, thousands of
// namespaces, a Flate bomb, a DOCTYPE, markup it refuses) are kept byte for
// byte with a warning naming the file and the reason; the toolkit's own
// words never reach the terminal bare, and the save never fails for them.
TEST(VordelHostile, XmpPacketsTheToolkitMustNotSeeAreKept) {
  struct Row {
    const char* Name;
    std::string Packet;
    const char* Reason;  // nullptr: a packet that is read
    bool Deflated = false;
  };
  const std::vector<Row> rows = {
      {"seq", XmpWith("<a:p>" + Nested("<rdf:Seq><rdf:li>", "x", "</rdf:li></rdf:Seq>", 30000) + "</a:p>"),
       "it is nested deeper than 100 levels"},
      {"resource", XmpWith(Nested("<a:p rdf:parseType='Resource'>", "", "</a:p>", 50000)), "nested deeper"},
      {"description", XmpWith("<a:p>" + Nested("<rdf:Description>", "", "</rdf:Description>", 100000) + "</a:p>"),
       "nested deeper"},
      {"namespaces", [] {
         std::string d;
         for (int i = 0; i < 2000; ++i)
           d += "<rdf:Description rdf:about='' xmlns:n" + std::to_string(i) + "='http://example.com/" +
                std::to_string(i) + "/'/>";
         return "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>" +
                d + "</rdf:RDF></x:xmpmeta>";
       }(),
       "it declares more than 1024 namespaces"},
      {"bomb", XmpWith("<a:p>x</a:p>" + std::string(size_t(80) << 20, ' ')), "limit of 67108864", true},
      {"literal", XmpWith("<a:p rdf:parseType='Literal'>x</a:p>"),
       "the XMP toolkit cannot read it: ParseTypeLiteral property element not allowed"},
      {"doctype", XmpWith("<a:p>&e;</a:p>", "<!DOCTYPE x:xmpmeta [<!ENTITY e 'x'>]>"), "it holds a DOCTYPE declaration"},
      {"latin1", XmpWith("<a:p>caf\xE9</a:p>", "<?xml version='1.0' encoding='ISO-8859-1'?>"),
       "its encoding (iso-8859-1) is not UTF-8, UTF-16 or UTF-32"},
      {"malformed", XmpWith("<a:p>x</a:q>"), "it is not well-formed XML (mismatched tag at line 1)"},
      {"utf16", Utf16LE(XmpWith("<a:p>x</a:p>")), nullptr},
  };
  Folder f;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    const std::string name = std::string(row.Name) + ".pdf";
    const std::string stored = row.Deflated ? vx::DeflateBytes(row.Packet, 9) : row.Packet;
    f.Write(name, vxtest::PdfWithXmpPacket(stored, "/Title (T)", row.Deflated ? "/Filter /FlateDecode" : ""));
    const std::string said = "warning: " + name + ": The XMP metadata packet cannot be read (";
    Result info = Vordel("info " + name, f.Path());
    Result set = Vordel("set --page-mode outlines " + name + " -o out.pdf", f.Path());
    EXPECT_EQ(info.code, 0) << info.out;
    EXPECT_EQ(set.code, 0) << set.out;
    for (const Result* r : {&info, &set}) {
      EXPECT_EQ(Contains(r->out, said), row.Reason != nullptr) << r->out;
      if (row.Reason) EXPECT_TRUE(Contains(r->out, row.Reason)) << r->out;
    }
    std::istringstream lines(set.out);
    for (std::string line; std::getline(lines, line);)  // ours, or a warning naming the file
      EXPECT_TRUE(line.rfind("vordel: ", 0) == 0 || line.rfind("warning: " + name + ": ", 0) == 0) << line;
    const std::string out = vxtest::ReadFile(f / "out.pdf");
    EXPECT_LT(out.size(), 2 * vxtest::ReadFile(f / name).size() + 65536);
    if (row.Reason) EXPECT_TRUE(Contains(out, stored)) << "the packet is kept byte for byte";
  }
  // A field changed on a packet that cannot take it is named too.
  Result title = Vordel("set --title New literal.pdf -o out.pdf", f.Path());
  EXPECT_TRUE(Contains(title.out, "warning: literal.pdf: The XMP metadata packet is kept as it is, not updated: "
                                  "the XMP toolkit cannot read it: ParseTypeLiteral"))
      << title.out;
  // The memory budget counts the packet: a small one stops the bomb early,
  // and still the file loads.
  Result budget = Vordel("info --max-memory 8M bomb.pdf", f.Path());
  EXPECT_EQ(budget.code, 0) << budget.out;
  EXPECT_TRUE(Contains(budget.out, "memory budget of 8388608 bytes")) << budget.out;
  // A character no XML may hold is refused before anything is written.
  Result nonCharacter = Vordel("set --title \"$(printf 'a\\357\\277\\276b')\" utf16.pdf -o refused.pdf", f.Path());
  EXPECT_EQ(nonCharacter.code, 1) << nonCharacter.out;
  EXPECT_TRUE(Contains(nonCharacter.out, "--title: U+FFFE is not a character")) << nonCharacter.out;
  EXPECT_FALSE(fs::exists(f / "refused.pdf"));
}

// PDF 2.0 UTF-8 text strings (and PDFDocEncoding's own codes) are text, not
// Latin-1 or Windows-1252 bytes: shown right, and never written over a
// correct XMP title by an option that has nothing to do with it.
TEST(VordelHostile, TextStringsAreReadAsTheirMarksSay) {
  const struct {
    const char* name;
    std::string stored;  // /Title's bytes
    const char* text;    // as UTF-8
  } rows[] = {
      {"utf8", "\xEF\xBB\xBF" "Caf\xC3\xA9 \xE2\x80\x93 \xE6\x97\xA5", "Caf\xC3\xA9 \xE2\x80\x93 \xE6\x97\xA5"},
      {"pdfdoc", "Links in PDF \x85 Example", "Links in PDF \xE2\x80\x93 Example"},
  };
  Folder f;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    f.Write("in.pdf", vxtest::PdfWithXmpPacket(vxtest::SampleXmpPacket(row.text), "/Title (" + row.stored + ")"));
    Result info = Vordel("info --json in.pdf", f.Path());
    ASSERT_EQ(info.code, 0) << info.out;
    EXPECT_EQ(nlohmann::json::parse(info.out)["info"]["Title"], row.text);
    Result set = Vordel("set --author Someone in.pdf -o out.pdf", f.Path());
    ASSERT_EQ(set.code, 0) << set.out;
    EXPECT_EQ(vxtest::PikeQuery(f / "out.pdf", "with pdf.open_metadata() as m:\n    print(m.get('dc:title'))\n"
                                               "print(pdf.docinfo.Title)"),
              std::string(row.text) + "\n" + row.text);
  }
}

// ------------------------------------------------ encrypted and filtered input
// Files other readers open, made by qpdf (in QDF form, edited as text) or by
// hand; what vordel answers, and what pikepdf or MuPDF reads from the output
// (for `inputToo` the same from the input, which shows it is what it says).

namespace {

const std::string kPageText = "BT /F1 12 Tf 72 700 Td (Page 1) Tj ET";

// Pdf() encrypted by qpdf with `how` (its --encrypt arguments), in QDF form.
std::string Qpdf(const std::string& how) {
  Folder f;
  f.Write("p.pdf", Pdf());
  Shell("qpdf --qdf --object-streams=disable --allow-weak-crypto --encrypt " + how + " -- p.pdf q.pdf", f.Path());
  return vxtest::ReadFile(f / "q.pdf");
}

// A QDF file with its first `from` replaced, offsets and lengths mended.
std::string Edit(std::string qdf, const std::string& from, const std::string& to) {
  qdf.replace(qdf.find(from), from.size(), to);
  vxtest::TempFile file;
  file.Write(qdf);
  RunCommand("fix-qdf " + Quote(file.Path()), &qdf, false);
  return qdf;
}

// The digits of a QDF encryption dictionary's `key <digits>`.
std::string Hex(const std::string& qdf, const std::string& key) {
  size_t at = qdf.find(key + " <") + key.size() + 2;
  return qdf.substr(at, qdf.find('>', at) - at);
}

// A revision 3 RC4 file whose trailer ends in `id`; the key hashes `bytes`,
// what its first element holds, and the user password `user` as given.
std::string Rc4WithId(const std::string& id, const std::string& bytes, const std::string& user = "") {
  const vx::TvxKeyBlock o = vx::ComputeOwnerKey("own", user, 3, 16);
  const vx::TvxDocumentKey key = vx::ComputeEncryptionKey(user, o, uint32_t(-4), bytes, 3, 16);
  auto hex = [](const auto& k, size_t n) { return vx::BytesToHex(std::string_view((const char*)k.data(), n)); };
  auto crypt = [&](int n, std::string s) {
    vx::ObjectCrypt(key.data(), 16, n, 0, s.data(), s.data(), s.size());
    return s;
  };
  vxtest::PdfBuilder b;
  b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>").Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  b.Object(3, "<< /Type /Page /Parent 2 0 R /Contents 4 0 R >>").Stream(4, "", crypt(4, kPageText));
  b.Object(5, "<< /Title <" + hex(crypt(5, "Hostile"), 7) + "> >>");
  b.Object(6, "<< /Filter /Standard /V 2 /R 3 /Length 128 /P -4 /O <" + hex(o, 32) + "> /U <" +
                  hex(vx::ComputeUserKey(key, bytes, 3, 16), 32) + "> >>");
  b.FinishWithTable("/Root 1 0 R /Info 5 0 R /Encrypt 6 0 R " + id);
  return b.Bytes();
}

// The page names objects 6, 7 and 8 (/Ka /Kb /Kc) of object stream 9, whose
// data is `objects` (given the plain data) under `filter`; the page's content
// stream has `entries` and `data`.
std::string ObjectStreamFile(const std::string& filter, std::string (*objects)(const std::string&),
                             const std::string& entries, const std::string& data) {
  vxtest::PdfBuilder b("%PDF-1.5\n");
  b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>").Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  b.Object(3, "<< /Type /Page /Parent 2 0 R /Contents 4 0 R /Ka 6 0 R /Kb 7 0 R /Kc 8 0 R >>").Stream(4, entries, data);
  const std::string plain = "6 0 7 4 8 8 (a) (b) (" + std::string(70000, 'c') + ")";
  b.Stream(9, "/Type /ObjStm /N 3 /First 12 " + filter, objects(plain));
  b.FinishWithStream(10, "/Root 1 0 R", {{6, {9, 0}}, {7, {9, 1}}, {8, {9, 2}}});
  return b.Bytes();
}

// Stored blocks whose second header is broken: the first block inflates.
std::string BrokenAfterFirstBlock(const std::string& s) {
  std::string z = vx::DeflateBytes(s, 0);
  z[2 + 5 + (uint8_t(z[3]) | size_t(uint8_t(z[4])) << 8) + 3] ^= 0x55;
  return z;
}

// The judge is Python on `pdf` (pikepdf) printing `expected`, or after "$ "
// a command on FILE printing it among other text.
struct HostileInputCase {
  std::string item, input, args, said;
  int code = 0;
  std::string judge = {}, password = {}, expected = {};
  bool inputToo = false;
};

}  // namespace

TEST(VordelHostile, EncryptedAndFilteredInputOtherReadersOpen) {
  const std::string aes = Qpdf("'' own 128 --use-aes=y"), r3 = Qpdf("'' own 128 --use-aes=n");
  const std::string content = "c = pdf.pages[0].Contents\nf = c.get('/Filter')\nf = [f] if isinstance(f, pikepdf.Name) "
                              "else f or []\nprint(pdf.is_encrypted, [str(n) for n in f], c.read_bytes().decode())";
  const std::string length = "\n  /Length", crypt = "\n  /Filter /Crypt /DecodeParms << /Type /CryptFilterDecodeParms";
  const std::string named = Edit(aes, length, crypt + " /Name /StdCF >>" + length);
  const std::string plain = std::regex_replace(aes, std::regex("stream\n[^]*?\nendstream"),
                                               "stream\n" + kPageText + "\nendstream");
  const std::string identity = Edit(plain, length, crypt + " /Name /Identity >>" + length);
  // /U and /O of one AES-256 key set, /UE /OE /Perms (and the data) of another.
  const std::string a = Qpdf("us own 256"), b = Qpdf("us own 256");
  const std::string spliced = Edit(Edit(b, Hex(b, "/U"), Hex(a, "/U")), Hex(b, "/O"), Hex(a, "/O"));
  // /U as a literal string with line continuations: 32 bytes for every reader.
  std::string u = vx::HexToBytes(Hex(r3, "/U")), literal = "(";
  for (size_t i = 0; i < u.size(); ++i)
    literal += (i % 8 == 4 ? "\\\r\n\\" : "\\") + std::to_string(uint8_t(u[i]) / 64) +
               std::to_string(uint8_t(u[i]) / 8 % 8) + std::to_string(uint8_t(u[i]) % 8);
  const std::string title = "print(pdf.docinfo.Title, pdf.pages[0].Contents.read_bytes().decode())";
  const std::string page = "Hostile " + kPageText, flate = "['/FlateDecode'] ";
  const std::string objects = "p = pdf.pages[0]\nc = p.Contents\nprint(p.get('/Ka'), p.get('/Kb'), p.get('/Kc'), "
                              "c.Filter, c.get('/DecodeParms', {}).get('/Quality'), c.read_raw_bytes().hex())";
  const std::string brotli = "\x1b\x2a\x00\xf8\x25\x00\x42\x8e", broken = "x\x9c\xff\xff broken";
  auto hex = [](const std::string& s) { return vx::AsciiLower(vx::BytesToHex(s)); };
  const std::string set = "set --fit-window in.pdf -o out.pdf";
  const std::string decrypt = "set --password own --decrypt in.pdf -o out.pdf";
  const std::string stream = "Object stream 9 does not decode completely (", metadata = "print(pdf.Root.Metadata)";
  std::vector<HostileInputCase> cases = {
      {"3", named, decrypt, "", 0, content, "", "False " + flate + kPageText},
      {"3", named, "set --password own --encrypt aes256 --owner-password o2 in.pdf -o out.pdf", "", 0, content, "o2",
       "True " + flate + kPageText},
      {"3", named, set, "", 0, content, "", "True ['/Crypt'] " + kPageText, true},
      {"3", identity, decrypt, "", 0, content, "", "False " + flate + kPageText},
      {"3", identity, set, "", 0, content, "", "True ['/Crypt'] " + kPageText, true},
      {"12", spliced, "set --password us --fit-window in.pdf -o out.pdf", "integrity check (/Perms)", 3},
      {"12", spliced, "set --password own --fit-window in.pdf -o out.pdf", "/Perms of the encryption", 0},
      {"12", Edit(a, "/P -4 ", "/P -8 "), "info --password us in.pdf", "/P of the encryption dictionary disagrees", 0},
      {"15", vxtest::SimplePdf(1, "/Metadata 42"), set, "/Metadata is not a stream", 0, metadata, "", "42", true},
      {"15", vxtest::SimplePdf(1, "/Metadata (t)"), set, "/Metadata is not a stream", 0, metadata, "", "t", true},
      {"15", Edit(r3, "/Length 128 /O", "/Length 128.0 /O"), set, "128 bits are used", 0, title, "", page, true},
      // MuPDF takes passwords in PDFDocEncoding, as the standard has it.
      {"16", Qpdf("caf\u00e9 own 128 --use-aes=y"), "set --password caf\u00e9 --fit-window in.pdf -o out.pdf", "", 0,
       "$ mutool draw -q -F txt -p caf\u00e9 -o - FILE", "", "Page 1", true},
      {"16", Pdf(), "set --encrypt aes128 --user-password \u20ac\u00e9 --owner-password \u0141\u017e in.pdf -o out.pdf",
       "", 0, "$ for p in \u20ac\u00e9 \u0141\u017e; do mutool draw -q -F txt -p $p -o - FILE; done | grep -c 1", "", "2"},
      {"16", Pdf(), "set --encrypt 128 --owner-password \u4e2d in.pdf -o out.pdf", "U+4E2D", 1},
      // Hashed from the UTF-8 bytes, as this program once did.
      {"16", Rc4WithId("", "", "caf\u00e9"), "set --password caf\u00e9 --fit-window in.pdf -o out.pdf", "", 0},
      {"17", Edit(r3, "<" + Hex(r3, "/U") + ">", literal + ")"), set, "", 0,
       "print(bytes(pdf.trailer.Encrypt.U).hex())", "", Hex(r3, "/U"), true},
      {"19", a, "set --password us --decrypt in.pdf -o out.pdf", "only the owner", 3},
      {"19", a, "set --password us --encrypt 40 --owner-password x in.pdf -o out.pdf", "only the owner", 3},
      {"20", ObjectStreamFile("/Filter /BrotliDecode", +[](const std::string& s) { return s; },
                              "/Filter /BrotliDecode /DecodeParms << /Quality 5 >>", brotli),
       set, stream + "Unsupported filter (/BrotliDecode))", 0, objects, "",
       "None None None /BrotliDecode 5 " + hex(brotli), true},
      {"22", ObjectStreamFile("/Filter /FlateDecode", BrokenAfterFirstBlock, "/Filter /FlateDecode", broken), set,
       stream + "data error)", 0, objects, "", "a b None /FlateDecode None " + hex(broken)},
  };
  for (const auto& [id, bytes] : std::map<std::string, std::string>{{"/ID [<0A0B0C> <0A0B0C>]", "\x0A\x0B\x0C"},
                                                                     {"/ID [(not 16) (x)]", "not 16"},
                                                                     {"/ID [<> <>]", ""},
                                                                     {"", ""}})
    cases.push_back({"23", Rc4WithId(id, bytes), set, "", 0, title, "", page, true});
  for (const std::string bits : {"0", "-256", "7", "255", "64", "40", "96", "128.0", "4294967296"})
    cases.push_back({"15", Edit(aes, "/Length 128 /O", "/Length " + bits + " /O"), "info in.pdf",
                     "/Length (" + bits + ") is not a valid key length; 128 bits are used", 0});

  Folder f;
  for (size_t i = 0; i < cases.size(); ++i) {
    const HostileInputCase& c = cases[i];
    const std::string in = f / (std::to_string(i) + ".pdf"), out = f / (std::to_string(i) + "-out.pdf");
    f.Write(std::to_string(i) + ".pdf", c.input);
    const std::string args = std::regex_replace(c.args, std::regex("in\\.pdf"), in);
    Result r = Vordel(std::regex_replace(args, std::regex("out\\.pdf"), out));
    SCOPED_TRACE("item " + c.item + ": " + c.args + "\n" + r.out);
    EXPECT_EQ(r.code, c.code);
    EXPECT_TRUE(Contains(r.out, c.said));
    for (const std::string& file : {out, in}) {
      if (c.judge.empty() || (file == in && !c.inputToo)) continue;
      std::string said = c.judge[0] == '$' ? "" : vxtest::PikeQuery(file, c.judge, file == out ? c.password : "");
      if (c.judge[0] == '$')
        RunCommand("(" + std::regex_replace(c.judge.substr(2), std::regex("FILE"), file) + ")", &said, false);
      EXPECT_TRUE(c.judge[0] == '$' ? Contains(said, c.expected) : said == c.expected) << file << ": " << said;
    }
  }
}

// Outputs that reach an input, or one file twice, by names spelled
// differently or through links: each row prepares a folder holding a.pdf
// (one page) and b.pdf (three pages) with copies a.orig and b.orig, runs
// vordel there, and checks the result with the shell.
TEST(VordelHostile, OutputsNeverReplaceAnInputOrEachOther) {
  struct Case {
    const char* setup;
    const char* args;
    int code;
    const char* check;  // a shell test that must hold afterwards
    const char* said = "";
  };
  const Case cases[] = {
      // A link in the output folder that leads to another input is replaced.
      {"mkdir d && ln -s ../b.pdf d/a.pdf", "a.pdf b.pdf --output-dir d", 0,
       "cmp -s b.pdf b.orig && test ! -L d/a.pdf && [ \"$(qpdf --show-npages d/b.pdf)\" = 3 ]"},
      // -o over a link to a file in another folder: the link goes, the file stays.
      {"mkdir far && cp b.pdf far/x.pdf && ln -s far/x.pdf out.pdf", "a.pdf -o out.pdf", 0,
       "cmp -s far/x.pdf b.orig && test ! -L out.pdf"},
      // In place, a link still leads to the file that is replaced.
      {"cp a.pdf t.pdf && ln -s t.pdf l.pdf", "--in-place l.pdf", 0, "test -L l.pdf && grep -q FitWindow t.pdf"},
      // One file twice, spelled differently or through a link.
      {"", "--in-place a.pdf ./a.pdf", 1, "cmp -s a.pdf a.orig", "two inputs would be written to"},
      {"ln -s a.pdf la.pdf", "--in-place a.pdf la.pdf", 1, "cmp -s a.pdf a.orig", "two inputs would be written to"},
      {"mkdir d out", "a.pdf d/../a.pdf --output-dir out", 1, "test ! -e out/a.pdf", "two inputs would be written to"},
      // An output that is another job's input, reached through a link.
      {"mkdir e && cp b.pdf e/a.pdf && ln -s e/a.pdf lb.pdf", "a.pdf lb.pdf --output-dir e", 1, "cmp -s e/a.pdf b.orig",
       "writing e/a.pdf would replace the input lb.pdf"},
      // A hard link split by an edit in place is said, once; attributes and ACL entries stay.
      {"ln b.pdf hb.pdf", "--in-place b.pdf", 0, "cmp -s hb.pdf b.orig && grep -q FitWindow b.pdf",
       "b.pdf was one of 2 hard links to one file"},
      {"setfacl -m u:4321:r a.pdf && setfattr -n user.note -v kept a.pdf", "--in-place a.pdf", 0,
       "getfacl -c a.pdf | grep -qx user:4321:r-- && [ $(getfattr --only-values -n user.note a.pdf) = kept ]"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.setup) + " | " + c.args);
    Folder f;
    f.Write("a.pdf", Pdf(1));
    f.Write("b.pdf", Pdf(3));
    f.Write("a.orig", Pdf(1));
    f.Write("b.orig", Pdf(3));
    if (*c.setup) ASSERT_EQ(Shell(c.setup, f.Path()).code, 0);
    Result r = Vordel(std::string("set -q --fit-window ") + c.args, f.Path());
    EXPECT_EQ(r.code, c.code) << r.out;
    EXPECT_EQ(Shell(c.check, f.Path()).code, 0) << c.check;
    EXPECT_TRUE(Contains(r.out, c.said)) << r.out;
    EXPECT_LE(std::count(r.out.begin(), r.out.end(), '\n'), 1) << r.out;
  }
}

namespace {

// The table line of object `number` in the last classic table, moved by
// `delta` bytes.
std::string WithEntryMoved(const std::string& bytes, const vxtest::PdfBuilder& b, int number, int delta) {
  char from[16], to[16];
  std::snprintf(from, sizeof from, "%010zu 00000 n", b.OffsetOf(number));
  std::snprintf(to, sizeof to, "%010zu 00000 n", b.OffsetOf(number) + size_t(delta));
  std::string moved = bytes;
  moved.replace(moved.find(from, moved.rfind("\nxref")), std::strlen(from), to);
  return moved;
}

std::string WithStartXRefMoved(const std::string& bytes, int delta) {
  size_t at = bytes.rfind("startxref\n") + 10;
  size_t end = bytes.find('\n', at);
  return bytes.substr(0, at) + std::to_string(std::stol(bytes.substr(at, end - at)) + delta) + bytes.substr(end);
}

// Three pages; `lastContent` ends the content of page 3 (written after the
// page tree), `more` are further objects.
vxtest::PdfBuilder ThreePages(const std::string& catalogExtra, const std::string& lastContent,
                              const std::function<void(vxtest::PdfBuilder&)>& more = nullptr) {
  vxtest::PdfBuilder b;
  b.Object(1, "<< /Type /Catalog /Pages 2 0 R " + catalogExtra + " >>");
  b.Object(2, "<< /Type /Pages /Kids [3 0 R 5 0 R 7 0 R] /Count 3 >>");
  for (int i = 0; i < 3; ++i) {
    b.Object(3 + 2 * i, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents " + std::to_string(4 + 2 * i) +
                            " 0 R >>");
    b.Stream(4 + 2 * i, "", "BT /F1 12 Tf 20 20 Td (Page) Tj ET\n" + (i == 2 ? lastContent : ""));
  }
  if (more) more(b);
  b.FinishWithTable("/Root 1 0 R");
  return b;
}

// Page 3's content shows the text of an empty page tree under the tree's number.
std::string PagesShownInContent(int movedEntry) {
  vxtest::PdfBuilder b = ThreePages("", "2 0 obj << /Type /Pages /Kids [] /Count 0 >> endobj\n");
  return WithEntryMoved(b.Bytes(), b, movedEntry, 1);
}

// A one-page PDF attached as it is, after the pages; startxref five bytes off.
std::string AttachedPdfAndStartXRefOff() {
  vxtest::PdfBuilder b = ThreePages("/Names << /EmbeddedFiles << /Names [(a.pdf) 9 0 R] >> >>", "", [](auto& b) {
    b.Object(9, "<< /Type /Filespec /F (a.pdf) /EF << /F 10 0 R >> >>");
    b.Stream(10, "/Type /EmbeddedFile", vxtest::SimplePdf(1));
  });
  return WithStartXRefMoved(b.Bytes(), 5);
}

// One page, then an update that adds a second page and is cut off inside it.
std::string UpdateCutOffInsideAnObject() {
  return vxtest::SimplePdf(1) +
         "2 0 obj\n<< /Type /Pages /Kids [3 0 R 5 0 R] /Count 2 >>\nendobj\n5 0 obj\n<< /Type /Page /Parent 2 0 R /Med";
}

// An incremental update needs a new object (the information dictionary
// the file lacks) above a /Size that leaves none.
// A hybrid file whose catalog and page tree sit in object stream 20, which
// only the classic table lists; the /XRefStm lists 1 and 2 (/Index [1 2]).
std::string HybridObjectStreamInClassicTable() {
  std::string bytes = "%PDF-1.5\n%\xE2\xE3\xCF\xD3\n";
  const std::string members[] = {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>"};
  const std::string header = "1 0 2 " + std::to_string(members[0].size() + 1) + " ";
  const std::string data = header + members[0] + " " + members[1];
  const size_t twenty = bytes.size();
  bytes += "20 0 obj\n<< /Type /ObjStm /N 2 /First " + std::to_string(header.size()) + " /Length " +
           std::to_string(data.size()) + " >>\nstream\n" + data + "\nendstream\nendobj\n";
  const size_t three = bytes.size();
  bytes += "3 0 obj\n<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] >>\nendobj\n";
  const std::string rows("\x02\x00\x00\x00\x14\x00\x00\x02\x00\x00\x00\x14\x00\x01", 14);
  const size_t stm = bytes.size();
  bytes += "21 0 obj\n<< /Type /XRef /W [1 4 2] /Index [1 2] /Size 22 /Length 14 >>\nstream\n" + rows +
           "\nendstream\nendobj\n";
  char table[160];
  snprintf(table, sizeof table, "xref\n0 1\n0000000000 65535 f \n3 1\n%010zu 00000 n \n20 2\n%010zu 00000 n \n%010zu 00000 n \n",
           three, twenty, stm);
  const size_t xref = bytes.size();
  bytes += std::string(table) + "trailer\n<< /Size 22 /Root 1 0 R /XRefStm " + std::to_string(stm) +
           " >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
  return bytes;
}

// Two pages, the first listed twice in /Kids (and the root counting three).
std::string PageListedTwice(int declared) {
  vxtest::PdfBuilder b;
  b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.Object(2, "<< /Type /Pages /Kids [3 0 R 4 0 R 3 0 R] /Count " + std::to_string(declared) + " >>");
  b.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] >>");
  b.Object(4, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 300] >>");
  b.FinishWithTable("/Root 1 0 R");
  return b.Bytes();
}

std::string WithSize(const std::string& size) {
  std::string bytes = vxtest::SimplePdf(1);
  size_t at = bytes.rfind("/Size ") + 6;
  return bytes.replace(at, bytes.find(' ', at) - at, size);
}

}  // namespace

// Files built to make a reader lose or mistake the document, each row a
// command on one of them. A row's output, when it makes one, is judged by
// qpdf (its page count).
TEST(VordelHostile, DamagedAndHostileFilesKeepTheirDocument) {
  struct Case {
    const char* name;
    std::string input;
    const char* args;  // on in.pdf
    int code;
    const char* said;
    int pages;  // of out.pdf as qpdf counts them; 0: none written
    const char* unsaid = "\x01";
  };
  const Case cases[] = {
      {"one entry off by a byte, an object shown in a content stream", PagesShownInContent(5),
       "set --fit-window in.pdf -o out.pdf", 0, "object 5 is not at its offset", 3},
      {"the page tree's entry off by a byte, the tree shown in a content stream", PagesShownInContent(2),
       "set --fit-window in.pdf -o out.pdf", 0, "object 2 is not at its offset", 3},
      {"a PDF attached as it is, startxref off by five", AttachedPdfAndStartXRefOff(),
       "set --fit-window in.pdf -o out.pdf", 0, "rebuilt", 3},
      {"an update cut off inside an object", UpdateCutOffInsideAnObject(), "set --fit-window in.pdf -o out.pdf", 0,
       "objects follow the last startxref", 1},
      {"an update above /Size 2^31-1", WithSize("2147483647"), "set --incremental --title T in.pdf -o out.pdf", 4,
       "leaves no object number for an incremental update", 0},
      {"an update above /Size 2^32+1", WithSize("4294967297"), "set --incremental --title T in.pdf -o out.pdf", 4,
       "leaves no object number for an incremental update", 0},
      {"an update at the last object number", WithSize("8388607"), "set --incremental --title T in.pdf -o out.pdf", 0,
       "", 1},
      {"a binary comment line before the header", "%\xE2\xE3\xCF\xD3\n" + vxtest::SimplePdf(2),
       "set --fit-window in.pdf -o out.pdf", 0, "6 bytes before the PDF header are ignored", 2, "rebuilt"},
      {"a hybrid file's object stream listed by its classic table only", HybridObjectStreamInClassicTable(),
       "set --fit-window in.pdf -o out.pdf", 0, "", 1, "typecast"},
      {"a page listed twice in /Kids", PageListedTwice(3), "set --fit-window in.pdf -o out.pdf", 0,
       "Page 3 is listed more than once", 3},
      {"a page listed twice, the root counting two", PageListedTwice(2), "set --fit-window in.pdf -o out.pdf", 0,
       "Page tree node 3 is reached a second time", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Folder f;
    f.Write("in.pdf", c.input);
    Result r = Vordel(c.args, f.Path());
    EXPECT_EQ(r.code, c.code) << r.out;
    EXPECT_TRUE(Contains(r.out, c.said)) << r.out;
    EXPECT_FALSE(Contains(r.out, c.unsaid)) << r.out;
    if (c.pages == 0) {
      EXPECT_FALSE(fs::exists(f / "out.pdf"));
      continue;
    }
    std::string pages;
    EXPECT_EQ(RunCommand("qpdf --show-npages " + Quote(f / "out.pdf"), &pages), 0) << pages;
    EXPECT_EQ(pages, std::to_string(c.pages) + "\n");
  }
}
