// Every corpus file that loads is saved again, with Flate at the default
// level and once with compression off, and what is written is checked by
// software nobody here wrote: qpdf finds no error in it, the page count is
// the one loaded, Poppler extracts the same text and renders the first page
// pixel for pixel the same, and the library reads its own output again. A
// second save in another process gives the same bytes. Each save runs in a
// child process with a time limit, so that one bad file cannot take the
// sweep down with it.
#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>
#include <map>

#include "WriterTestSupport.h"
#include "pdf/security/vxPDFCrypt.h"
#include "support/ChildProcess.h"

using namespace vx;

namespace {

constexpr int kSecondsPerFile = 60;
enum : int { kSaved = 0, kNotLoaded = 10, kSaveFailed = 20 };

struct Outcome {
  int code = -1;        // one of the above, or -1 for a crash or timeout
  std::string report;   // "pages owner-kind" when saved, else the message
};

// Loads `source` and saves it to `target` in a child process; `compress`
// false writes every stream as loaded.
Outcome SaveInChild(const std::string& source, const std::string& target, bool compress) {
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

}  // namespace

TEST(CorpusSaveSweep, SavedFilesAreSoundAndLookTheSame) {
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(vxtest::CorpusDir()))
    if (entry.is_regular_file() && entry.path().extension() == ".pdf") files.push_back(entry.path().string());
  std::sort(files.begin(), files.end());
  ASSERT_GT(files.size(), 600u);

  vxtest::TempDir dir;
  int saved = 0, compared = 0, warned = 0, sourceErrors = 0;
  for (const std::string& source : files) {
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

    // The same text and the same first page, for sources other readers read
    // without repairing them.
    if (sourceStatus != 0 || kKnownDifferences.count(name)) continue;
    ++compared;
    const std::string text = Text(source), render = FirstPage(source);
    for (const std::string& out : {flate, plain}) {
      EXPECT_TRUE(Text(out) == text) << name << " (" << Name(out) << "): different text";
      EXPECT_TRUE(FirstPage(out) == render) << name << " (" << Name(out) << "): first page renders differently";
    }
  }
  std::cout << "saved " << saved << " of " << files.size() << " files; text and first page compared for "
            << compared << "; outputs with qpdf warnings: " << warned << "; sources with qpdf errors: " << sourceErrors
            << "\n";
  EXPECT_GT(saved, int(files.size() / 2));
}
