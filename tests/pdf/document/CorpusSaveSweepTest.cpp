// Every corpus file that loads is saved again, with Flate at the default
// level and once with compression off, and what is written is checked by
// software nobody here wrote: qpdf finds no error in it, the page count is
// the one loaded, Poppler extracts the same text and renders the first page
// pixel for pixel the same, and the library reads its own output again. A
// second save in another process gives the same bytes. Each save runs in a
// child process with a time limit, so that one bad file cannot take the
// sweep down with it. Each output is also judged against its source as two
// other readers (pikepdf and pdf.js) see both: any difference beyond the
// allowed ones fails, unless the file is listed with its reason in
// tests/data/other-reader-exceptions.txt (pikepdf) or pdfjs-exceptions.txt.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <set>

#include "WriterTestSupport.h"
#include "pdf/security/vxPDFCrypt.h"
#include "support/ChildProcess.h"
#include "support/OtherReaderJudge.h"

using namespace vx;

namespace {

constexpr int kSecondsPerFile = 60;
enum : int { kSaved = 0, kNotLoaded = 10, kSaveFailed = 20 };

struct Outcome {
  int code = -1;        // one of the above, or -1 for a crash or timeout
  std::string report;   // "pages owner-kind" when saved, else the message
};

// Loads `source` and saves it to `target` in a child process; `compress`
// false writes every stream as loaded; `linearize` writes it for fast web
// view (without it, the file keeps the layout it had).
Outcome SaveInChild(const std::string& source, const std::string& target, bool compress, bool linearize = false) {
  vxtest::ChildResult child = vxtest::RunInChild(
      [&](std::string& report) {
        TvxPDFDocument doc;
        doc.SetShowSetupDialog(false);
        try {
          doc.LoadFromFile(source);
        } catch (const std::exception& e) {
          report = e.what();
          return int(kNotLoaded);
        }
        try {
          if (compress) doc.SetCompression(0, 2);
          if (linearize) doc.SetLinearize(true);
          doc.SaveToFile(target, 2);
        } catch (const std::exception& e) {
          report = e.what();
          return int(kSaveFailed);
        }
        // AES data starts with a random IV: its bytes differ from one run to
        // the next.
        const bool aes = doc.Encryption().Enabled() && doc.Encryption().Level() >= elAES128;
        report = std::to_string(doc.PageCount()) + (aes ? " random-iv" : " same");
        return int(kSaved);
      },
      kSecondsPerFile);
  return Outcome{child.finished ? child.exitCode : -1, child.report};
}

int QpdfCheckStatus(const std::string& path) {
  return vxtest::RunCommand("timeout 20 qpdf --check " + vxtest::Quote(path) + " >/dev/null 2>&1");
}

std::string Text(const std::string& path) {
  std::string out;
  vxtest::RunCommand("timeout 20 pdftotext " + vxtest::Quote(path) + " - 2>/dev/null", &out, false);
  return out;
}

// The first page at 36 dpi as PPM bytes (empty when Poppler cannot render it).
std::string FirstPage(const std::string& path) {
  std::string out;
  vxtest::RunCommand("timeout 20 pdftoppm -r 36 -f 1 -l 1 " + vxtest::Quote(path) + " 2>/dev/null", &out, false);
  return out;
}

std::string Name(const std::string& path) { return std::filesystem::path(path).filename().string(); }

// Sound sources whose output Poppler shows differently, and why.
const std::map<std::string, std::string> kKnownDifferences = {
    {"many-nulls.pdf", "its page tree says /Count 0 over one page: Poppler shows no page, the output has the page"},
    {"object-stream-self-ref.pdf", "Poppler cannot read the source at all; it reads the output"},
    {"incremental-3.pdf", "its last update frees the page content: qpdf and MuPDF show an empty page, as the "
                          "output has it; Poppler rebuilds its table by scanning and shows the freed object"},
    {"bad-encryption-length.pdf",
     "its key /Length is misspelt: qpdf and this library try the full 128 bits, Poppler refuses the source; it reads "
     "the output, which has a proper /Length"},
};

// Files whose output a reader sees differently today, and why: path under
// the corpus -> reason. Lines are "PATH | REASON"; # starts a comment.
std::map<std::string, std::string> JudgeExceptions(const std::string& list) {
  std::map<std::string, std::string> exceptions;
  std::ifstream in(std::string(VX_SOURCE_DIR) + "/tests/data/" + list);
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    size_t bar = line.find(" | ");
    if (bar != std::string::npos) exceptions[line.substr(0, bar)] = line.substr(bar + 3);
  }
  return exceptions;
}

// The passwords the corpus names for an encrypted file: "U=user" and
// "O=owner" in its name, and the few the corpus README lists.
std::vector<std::string> CorpusPasswords(const std::string& name) {
  if (name.find("libreoffice-writer-password") != std::string::npos) return {"openpassword", "permissionpassword"};
  if (name == "encrypted-40-bit-R3.pdf") return {"623"};
  std::vector<std::string> passwords;
  for (const char* tag : {"U=", "O="}) {
    size_t at = name.find(tag);
    if (at == std::string::npos) continue;
    size_t end = name.find_first_of(",", at);
    if (end == std::string::npos) end = name.rfind(".pdf");
    passwords.push_back(name.substr(at + 2, end - at - 2));
  }
  return passwords;
}

// The sanitizer build saves several times slower; there the sweep saves
// every second file and the judge looks at every fourth, so that the whole
// run stays within its time (the plain build covers every file).
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VX_SWEEP_UNDER_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(VX_SWEEP_UNDER_ASAN)
constexpr size_t kSaveEvery = 2;
constexpr size_t kJudgeEvery = 4;
#else
constexpr size_t kSaveEvery = 1;
constexpr size_t kJudgeEvery = 1;
#endif
static_assert(kJudgeEvery % kSaveEvery == 0, "the judge looks only at files the sweep saved");
// Every this many files is also saved linearized (as a sample: qpdf's check
// of the layout takes a while on large files).
constexpr size_t kLinearizeEvery = 4 * kJudgeEvery;
constexpr size_t kJudgeBatch = 64;

}  // namespace

TEST(CorpusSaveSweep, SavedFilesAreSoundAndLookTheSame) {
  VX_NEEDS_CORPUS();
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(vxtest::CorpusDir()))
    if (entry.is_regular_file() && entry.path().extension() == ".pdf") files.push_back(entry.path().string());
  std::sort(files.begin(), files.end());
  ASSERT_GT(files.size(), 600u);

  vxtest::TempDir dir;
  int saved = 0, compared = 0, warned = 0, sourceErrors = 0, judged = 0, linearSaved = 0;

  // As two other readers see them, each output is its source: for pikepdf
  // the same pages with the same resolved attributes, catalog, /Info and
  // encryption; for pdf.js the same document-level settings a viewer shows.
  // Sources a reader cannot open are left to the other checks.
  struct Reader {
    vxtest::OtherReader reader;
    std::string name, list;
    std::map<std::string, std::string> exceptions = {};
    std::set<std::string> judgedExceptions = {};
  };
  std::vector<Reader> readers = {{vxtest::OtherReader::kPikepdf, "pikepdf", "other-reader-exceptions.txt"},
                                 {vxtest::OtherReader::kPdfJs, "pdf.js", "pdfjs-exceptions.txt"}};
  for (Reader& r : readers) r.exceptions = JudgeExceptions(r.list);
  std::vector<vxtest::JudgePair> pending;
  auto judgePending = [&] {
    for (Reader& r : readers) {
      std::vector<vxtest::JudgeVerdict> verdicts = vxtest::JudgeManyAsOtherReader(pending, r.reader);
      for (size_t i = 0; i < pending.size(); ++i) {
        const std::string& source = pending[i].source;
        const vxtest::JudgeVerdict& verdict = verdicts[i];
        const std::string relative = std::filesystem::relative(source, vxtest::CorpusDir()).string();
        const auto listed = r.exceptions.find(relative);
        if (verdict.status == 2 && verdict.Text().find("unreadable: " + source) == 0) continue;
        if (listed == r.exceptions.end()) {
          EXPECT_EQ(verdict.status, 0) << relative << " differs as " << r.name << " sees it:\n" << verdict.Text();
        } else {
          r.judgedExceptions.insert(relative);
          EXPECT_NE(verdict.status, 0) << relative << " is listed (" << listed->second
                                       << ") but is now equal as " << r.name << " sees it: take it off tests/data/"
                                       << r.list;
        }
      }
    }
    for (const vxtest::JudgePair& pair : pending) std::filesystem::remove(pair.output);
    judged += int(pending.size());
    pending.clear();
  };

  for (size_t index = 0; index < files.size(); ++index) {
    if (index % kSaveEvery != 0) continue;
    const std::string& source = files[index];
    const std::string name = Name(source);
    const std::string flate = dir.File("flate.pdf"), again = dir.File("again.pdf"), plain = dir.File("plain.pdf");
    for (const auto& f : {flate, again, plain}) std::filesystem::remove(f);
    Outcome outcome = SaveInChild(source, flate, true);
    if (outcome.code == kNotLoaded) continue;  // the loader's own sweep covers these
    ASSERT_EQ(outcome.code, kSaved) << name << ": " << outcome.report;
    ++saved;
    ASSERT_EQ(SaveInChild(source, again, true).code, kSaved) << name;
    ASSERT_EQ(SaveInChild(source, plain, false).code, kSaved) << name;
    const std::string pages = outcome.report.substr(0, outcome.report.find(' '));

    // Deterministic: the same bytes from another run (unless AES drew
    // random IVs).
    if (outcome.report.find("random-iv") == std::string::npos) {
      EXPECT_TRUE(vxtest::ReadFile(flate) == vxtest::ReadFile(again)) << name << ": two saves differ";
    }

    const int sourceStatus = QpdfCheckStatus(source);
    for (const std::string& out : {flate, plain}) {
      const int status = QpdfCheckStatus(out);
      // Stream data that is broken in the source is carried as it is, so
      // qpdf's errors about it come along; the output adds none.
      if (sourceStatus != 2) {
        EXPECT_NE(status, 2) << name << " (" << Name(out) << "): " << vxtest::QpdfProblems(out);
      }
      if (sourceStatus == 0) {
        EXPECT_EQ(status, 0) << name << " (" << Name(out) << "): " << vxtest::QpdfProblems(out);
      }
      if (status == 3) ++warned;
      std::string count;
      vxtest::RunCommand("qpdf --show-npages " + vxtest::Quote(out) + " 2>/dev/null", &count, false);
      EXPECT_EQ(count, pages + "\n") << name << " (" << Name(out) << ")";
      // The library reads its own output again.
      Outcome reread = SaveInChild(out, dir.File("reread.pdf"), false);
      EXPECT_EQ(reread.code, kSaved) << name << " (" << Name(out) << "): " << reread.report;
    }
    if (sourceStatus == 2) ++sourceErrors;

    // Linearized: qpdf finds the layout sound (and the file as sound as the
    // plain save), pdfinfo calls it optimized, and the pages are the same.
    const std::string linear = dir.File("linear.pdf");
    std::filesystem::remove(linear);
    const bool linearized = index % kLinearizeEvery == 0 && pages != "0" &&
                            CorpusPasswords(name).empty() &&
                            SaveInChild(source, linear, true, true).code == kSaved;
    if (linearized) {
      ++linearSaved;
      std::string said;
      const int status = vxtest::RunCommand("timeout 60 qpdf --check-linearization " + vxtest::Quote(linear), &said);
      EXPECT_NE(status, 2) << name << " (linearized): " << said;
      if (QpdfCheckStatus(plain) == 0) {
        EXPECT_EQ(status, 0) << name << " (linearized): " << said;
      }
      std::string info;
      vxtest::RunCommand("timeout 20 pdfinfo " + vxtest::Quote(linear), &info, false);
      EXPECT_NE(info.find("\nOptimized:       yes"), std::string::npos) << name << " (linearized)";
      std::string count;
      vxtest::RunCommand("qpdf --show-npages " + vxtest::Quote(linear) + " 2>/dev/null", &count, false);
      EXPECT_EQ(count, pages + "\n") << name << " (linearized)";
    }

    // Kept for the judge, which takes the outputs in batches.
    if (index % kJudgeEvery == 0) {
      const std::string kept = dir.File("judge-" + std::to_string(index) + ".pdf");
      std::filesystem::copy_file(flate, kept);
      pending.push_back({source, kept, CorpusPasswords(name)});
      if (pending.size() == kJudgeBatch) judgePending();
    }

    // The same text and the same first page, for sources other readers read
    // without repairing them.
    if (sourceStatus != 0 || kKnownDifferences.count(name)) continue;
    ++compared;
    const std::string text = Text(source), render = FirstPage(source);
    if (linearized) {
      EXPECT_TRUE(Text(linear) == text) << name << " (linearized): different text";
    }
    for (const std::string& out : {flate, plain}) {
      EXPECT_TRUE(Text(out) == text) << name << " (" << Name(out) << "): different text";
      EXPECT_TRUE(FirstPage(out) == render) << name << " (" << Name(out) << "): first page renders differently";
    }
  }
  judgePending();
  std::cout << "saved " << saved << " of " << files.size() << " files; text and first page compared for "
            << compared << "; outputs with qpdf warnings: " << warned << "; sources with qpdf errors: " << sourceErrors
            << "; judged by other readers: " << judged << "; also saved linearized: " << linearSaved;
  for (const Reader& r : readers) std::cout << "; " << r.name << " exceptions " << r.judgedExceptions.size();
  std::cout << "\n";
  EXPECT_GT(saved, int(files.size() / kSaveEvery / 2));
}
