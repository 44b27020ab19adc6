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
#include <nlohmann/json.hpp>
#include <random>

#include "pdf/filters/vxDZLIB.h"
#include "support/PdfBuilder.h"

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
