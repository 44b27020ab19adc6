// Every file of the corpus either loads or fails with one of the library's
// exceptions: none crashes, hangs or trips a sanitizer. Each load runs in a
// child process with a time limit, so that one bad file cannot take the
// sweep down with it. Page counts are compared with qpdf's.
#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>
#include <map>
#include <set>

#include "pdf/document/vxPDFDoc.h"
#include "support/PdfBuilder.h"
#include "support/ChildProcess.h"

using namespace vx;

namespace {

constexpr int kSecondsPerFile = 60;  // generous for sanitizer builds

// Child exit codes.
enum : int { kLoaded = 0, kLibraryError = 10, kOtherError = 11 };

struct Outcome {
  bool finished = false;
  int exitCode = -1;
  int signal = 0;
  int pages = -1;
  std::string message;
};

Outcome LoadInChild(const std::string& path) {
  vxtest::ChildResult child = vxtest::RunInChild(
      [&](std::string& report) {
        try {
          TvxPDFDocument doc;
          doc.LoadFromFile(path);
          report = std::to_string(doc.PageCount());
          return int(kLoaded);
        } catch (const vx::Exception& e) {
          report = e.what();
          return int(kLibraryError);
        } catch (const std::exception& e) {
          report = e.what();
          return int(kOtherError);
        }
      },
      kSecondsPerFile);
  Outcome outcome{child.finished, child.exitCode, child.signal, -1, child.report};
  if (outcome.exitCode == kLoaded) outcome.pages = std::stoi(outcome.message);
  return outcome;
}

// qpdf's page count, or -1 when qpdf finds anything wrong with the file
// (its check warns or fails, so it would have to repair).
int QpdfPages(const std::string& path) {
  if (vxtest::RunCommand("qpdf --check " + vxtest::Quote(path) + " >/dev/null 2>&1") != 0) return -1;
  std::string out;
  if (vxtest::RunCommand("qpdf --show-npages " + vxtest::Quote(path), &out, false) != 0) return -1;
  return std::stoi(out);
}

}  // namespace

TEST(CorpusSweep, EveryFileLoadsOrFailsCleanly) {
  VX_NEEDS_CORPUS();
  std::vector<std::string> files;
  for (const char* folder : {"samples", "qpdf-tests"})
    for (const auto& e : std::filesystem::directory_iterator(vxtest::CorpusDir() + "/" + folder))
      if (e.path().extension() == ".pdf") files.push_back(e.path().string());
  std::sort(files.begin(), files.end());
  ASSERT_GT(files.size(), 600u);

  // Files whose tree's /Count disagrees with its leaves: we count leaves.
  const std::set<std::string> countDisagrees = {"many-nulls.pdf"};

  int loaded = 0, failed = 0;
  std::map<std::string, int> causes;
  for (const std::string& path : files) {
    std::string name = std::filesystem::path(path).filename().string();
    Outcome o = LoadInChild(path);
    ASSERT_TRUE(o.finished) << name << " did not finish in " << kSecondsPerFile << " s";
    ASSERT_EQ(o.signal, 0) << name << " ended with signal " << o.signal;
    ASSERT_TRUE(o.exitCode == kLoaded || o.exitCode == kLibraryError)
        << name << " failed outside the library's exceptions: " << o.message;
    if (o.exitCode == kLoaded) {
      ++loaded;
      int qpdf = QpdfPages(path);
      if (qpdf >= 0 && !countDisagrees.count(name)) {
        EXPECT_EQ(o.pages, qpdf) << name;
      }
    } else {
      ++failed;
      EXPECT_FALSE(o.message.empty()) << name;
      std::string cause = o.message.substr(0, o.message.find('('));
      ++causes[cause];
    }
  }
  std::cout << "corpus sweep: " << files.size() << " files, " << loaded << " loaded, " << failed << " failed\n";
  for (const auto& [cause, count] : causes) std::cout << "  " << count << " x " << cause << "\n";
}
