// Every corpus file that loads is saved again (compressed, as the window
// saves) and the result checked by qpdf: a file qpdf finds clean must stay
// clean, the output never has errors its source did not have, and it has
// the pages that were loaded. Each file runs in a child process with a time
// limit, so that one bad file cannot take the sweep down with it.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <iostream>

#include "WriterTestSupport.h"

using namespace vx;

namespace {

constexpr int kSecondsPerFile = 60;
enum : int { kSaved = 0, kNotLoaded = 10, kSaveFailed = 20 };

struct Outcome {
  int code = -1;        // one of the above, or -1 for a crash or timeout
  std::string report;   // page count when saved, else the message
};

Outcome SaveInChild(const std::string& source, const std::string& target) {
  int pipeFd[2];
  if (pipe(pipeFd) != 0) return {};
  pid_t pid = fork();
  if (pid == 0) {
    close(pipeFd[0]);
    alarm(kSecondsPerFile);
    std::string report;
    int code = kSaved;
    TvxPDFDocument doc;
    doc.SetShowSetupDialog(false);
    try {
      doc.LoadFromFile(source);
    } catch (const std::exception& e) {
      code = kNotLoaded;
      report = e.what();
    }
    if (code == kSaved) {
      try {
        doc.SetCompression(0, 2);
        doc.SaveToFile(target, 2);
        report = std::to_string(doc.PageCount());
      } catch (const std::exception& e) {
        code = kSaveFailed;
        report = e.what();
      }
    }
    if (write(pipeFd[1], report.data(), report.size()) < 0) code = -1;
    close(pipeFd[1]);
    _exit(code);
  }
  close(pipeFd[1]);
  Outcome outcome;
  char buffer[512];
  ssize_t n;
  while ((n = read(pipeFd[0], buffer, sizeof buffer)) > 0) outcome.report.append(buffer, size_t(n));
  close(pipeFd[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  outcome.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return outcome;
}

int QpdfCheckStatus(const std::string& path) {
  return vxtest::RunCommand("qpdf --check " + vxtest::Quote(path) + " >/dev/null");
}

}  // namespace

TEST(CorpusSaveSweep, SavedFilesAreAtLeastAsSoundAsTheirSources) {
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(vxtest::CorpusDir()))
    if (entry.is_regular_file() && entry.path().extension() == ".pdf") files.push_back(entry.path().string());
  std::sort(files.begin(), files.end());
  ASSERT_GT(files.size(), 100u);

  vxtest::TempDir dir;
  int saved = 0;
  for (const std::string& source : files) {
    const std::string target = dir.File("out.pdf");
    std::filesystem::remove(target);
    Outcome outcome = SaveInChild(source, target);
    if (outcome.code == kNotLoaded) continue;  // the loader's own sweep covers these
    ASSERT_EQ(outcome.code, kSaved) << source << ": " << outcome.report;
    ++saved;

    int sourceStatus = QpdfCheckStatus(source);
    int outputStatus = QpdfCheckStatus(target);
    if (sourceStatus == 0) {
      EXPECT_EQ(outputStatus, 0) << source;
    }
    if (sourceStatus != 2) {
      EXPECT_NE(outputStatus, 2) << source;
    }
    std::string pages;
    vxtest::RunCommand("qpdf --show-npages " + vxtest::Quote(target), &pages, false);
    EXPECT_EQ(pages, outcome.report + "\n") << source;
  }
  std::cout << "saved " << saved << " of " << files.size() << " files\n";
  EXPECT_GT(saved, int(files.size() / 2));
}
