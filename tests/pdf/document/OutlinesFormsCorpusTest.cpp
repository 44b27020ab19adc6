// Every corpus file with outlines, a form or annotations is loaded and saved
// as the window saves it; qpdf then reads both files and the outline tree
// (titles, nesting, open state, destination pages), the form fields (full
// names, types, values) and the annotations of every page (with the pages
// links go to) must be the same, and the output must pass `qpdf --check`.
#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>

#include "QpdfStructures.h"
#include "WriterTestSupport.h"
#include "support/ChildProcess.h"

using namespace vx;

namespace {

constexpr int kSecondsPerFile = 60;
enum : int { kSaved = 0, kNotLoaded = 10, kSaveFailed = 20 };

// Loads and saves in a child process with a time limit, so that one bad
// file cannot take the sweep down with it.
int SaveInChild(const std::string& source, const std::string& target, std::string& report) {
  vxtest::ChildResult child = vxtest::RunInChild(
      [&](std::string& message) {
        TvxPDFDocument doc;
        doc.SetShowSetupDialog(false);
        try {
          doc.LoadFromFile(source);
        } catch (const std::exception& e) {
          message = e.what();
          return int(kNotLoaded);
        }
        try {
          doc.SaveToFile(target, 2);
        } catch (const std::exception& e) {
          message = e.what();
          return int(kSaveFailed);
        }
        return int(kSaved);
      },
      kSecondsPerFile);
  report = child.report;
  return child.finished ? child.exitCode : -1;
}

// The first lines where two dumps differ, for the failure message.
std::string Difference(const std::vector<std::string>& before, const std::vector<std::string>& after) {
  std::string text;
  size_t i = 0;
  while (i < before.size() && i < after.size() && before[i] == after[i]) ++i;
  text += "first difference at line " + std::to_string(i + 1) + " (" + std::to_string(before.size()) + " lines before, " +
          std::to_string(after.size()) + " after)\n";
  for (size_t k = i; k < i + 3; ++k) {
    text += "  before: " + (k < before.size() ? before[k] : std::string("(end)")) + "\n";
    text += "  after:  " + (k < after.size() ? after[k] : std::string("(end)")) + "\n";
  }
  return text;
}

struct Tally {
  int files = 0, loaded = 0;
  int outlines = 0, outlinesSame = 0;
  int forms = 0, formsSame = 0;
  int annotated = 0, annotationsSame = 0;
  int checked = 0, checkClean = 0;
};

}  // namespace

TEST(OutlinesFormsCorpus, StructuresSurviveASave) {
  VX_NEEDS_CORPUS();
  ASSERT_EQ(vxtest::RunCommand("qpdf --version >/dev/null"), 0) << "qpdf is needed for this test";
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(vxtest::CorpusDir()))
    if (entry.is_regular_file() && entry.path().extension() == ".pdf") files.push_back(entry.path().string());
  std::sort(files.begin(), files.end());
  ASSERT_GT(files.size(), 100u);

  vxtest::TempDir dir;
  Tally tally;
  std::vector<std::string> loops;
  std::vector<std::string> notLoaded;
  for (const std::string& source : files) {
    ++tally.files;
    vxtest::QpdfStructures before = vxtest::ReadQpdfStructures(source);
    if (!before.Readable) continue;  // nothing to compare against
    const bool hasOutlines = !before.Outlines.empty();
    const bool hasForm = before.HasAcroForm;
    const bool hasAnnotations = before.AnnotationCount() > 0;
    if (!hasOutlines && !hasForm && !hasAnnotations) continue;

    const std::string target = dir.File("out.pdf");
    std::filesystem::remove(target);
    std::string report;
    int code = SaveInChild(source, target, report);
    if (code == kNotLoaded) {  // the load sweep covers files that do not load
      notLoaded.push_back(std::filesystem::path(source).filename().string() + ": " + report);
      continue;
    }
    ++tally.loaded;
    ASSERT_EQ(code, kSaved) << source << ": " << report;

    vxtest::QpdfStructures after = vxtest::ReadQpdfStructures(target);
    ASSERT_TRUE(after.Readable) << source << ": " << after.Error;
    const std::string name = std::filesystem::path(source).filename().string();
    if (hasOutlines) {
      ++tally.outlines;
      // Items after a loop are left out on purpose: the chain ends at the
      // item met before (the input's dump is cut the same way).
      if (before.OutlineCuts > 0) loops.push_back(name);
      EXPECT_EQ(after.OutlineCuts, 0) << name;
      EXPECT_EQ(before.Outlines, after.Outlines) << name << " outlines\n" << Difference(before.Outlines, after.Outlines);
      tally.outlinesSame += before.Outlines == after.Outlines;
    }
    if (hasForm) {
      ++tally.forms;
      bool same = before.Fields == after.Fields && after.HasAcroForm && before.NeedAppearances == after.NeedAppearances;
      EXPECT_TRUE(same) << name << " form\n" << Difference(before.Fields, after.Fields);
      tally.formsSame += same;
    }
    if (hasAnnotations) {
      ++tally.annotated;
      EXPECT_EQ(before.Annotations, after.Annotations) << name << " annotations";
      tally.annotationsSame += before.Annotations == after.Annotations;
    }
    std::string problems = vxtest::QpdfProblems(target);
    ++tally.checked;
    EXPECT_EQ(problems, "") << name;
    tally.checkClean += problems.empty();
  }
  std::cout << "corpus files " << tally.files << "; with outlines, a form or annotations and loaded "
            << tally.loaded << "\n"
            << "  outlines " << tally.outlinesSame << " of " << tally.outlines << " the same\n"
            << "  forms " << tally.formsSame << " of " << tally.forms << " the same\n"
            << "  annotations " << tally.annotationsSame << " of " << tally.annotated << " the same\n"
            << "  qpdf --check clean " << tally.checkClean << " of " << tally.checked << "\n";
  for (const std::string& line : notLoaded) std::cout << "  not loaded: " << line << "\n";
  for (const std::string& name : loops) std::cout << "  outline loop cut where an item comes again: " << name << "\n";
  EXPECT_GT(tally.outlines, 0);
  EXPECT_GT(tally.forms, 0);
  EXPECT_GT(tally.annotated, 0);
}
