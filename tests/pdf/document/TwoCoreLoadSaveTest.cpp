// A load with objects parsed ahead on a second thread, and a save with the
// objects serialised on a second thread, give exactly what one thread gives:
// the same warnings in the same order, the same errors, the same pages and
// the same bytes, on sound, damaged and multi-revision files and on a
// sample of the corpus.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>

#include "WriterTestSupport.h"
#include "pdf/filters/vxLibDeflate.h"
#include "pdf/util/vxExceptions.h"
#include "support/ChildProcess.h"

using namespace vx;
using vxtest::PdfBuilder;
using vxtest::TempFile;

namespace {

// Everything a caller can see of one load and one save.
struct Outcome {
  std::string Error;
  std::vector<std::string> Warnings;
  int Pages = -1;
  std::string Bytes;

  bool operator==(const Outcome&) const = default;
};

std::string Describe(const Outcome& o) {
  std::string text = "error '" + o.Error + "' pages " + std::to_string(o.Pages) + " bytes " +
                     std::to_string(o.Bytes.size()) + " warnings:";
  for (const std::string& w : o.Warnings) text += " [" + w + "]";
  return text;
}

Outcome LoadAndSave(const std::string& path, unsigned threads, TvxObjectStreamMode mode = osDisable) {
  Outcome outcome;
  TvxPDFDocument doc;
  doc.SetShowSetupDialog(false);
  doc.SetLiteralFileNames(true);
  doc.SetLoadThreads(threads);
  doc.SetSaveThreads(threads);
  doc.OnWarning = [&](TvxCustomPDFDocument&, const std::string& text) { outcome.Warnings.push_back(text); };
  try {
    doc.LoadFromFile(path);
  } catch (const std::exception& e) {
    outcome.Error = std::string("load: ") + e.what();
    return outcome;
  }
  outcome.Pages = doc.PageCount();
  TempFile out;
  try {
    if (mode == osGenerate) doc.SetPDFVersion(pvPDF15);
    doc.SetObjectStreams(mode);
    doc.SaveToFile(out.Path());
    outcome.Bytes = out.Read();
  } catch (const std::exception& e) {
    outcome.Error = std::string("save: ") + e.what();
  }
  return outcome;
}

// `pages` pages, each with a content stream; `damage` changes the objects
// of one page (by its index) before they are written.
std::string ManyPages(int pages, const std::function<void(PdfBuilder&, int page, int pageNumber, int content)>& damage) {
  PdfBuilder b;
  b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  std::string kids;
  for (int i = 0; i < pages; ++i) kids += std::to_string(3 + 2 * i) + " 0 R ";
  b.Object(2, "<< /Type /Pages /Kids [ " + kids + "] /Count " + std::to_string(pages) + " >>");
  for (int i = 0; i < pages; ++i) {
    const int page = 3 + 2 * i, content = page + 1;
    if (damage && (i % 37 == 5)) {
      damage(b, i, page, content);
      continue;
    }
    b.Object(page, "<< /Type /Page /Parent 2 0 R /MediaBox [ 0 0 200 200 ] /Contents " + std::to_string(content) +
                       " 0 R /Resources << /ProcSet [ /PDF /Text ] >> /Rotate 0 /UserUnit 1.5 >>");
    b.Stream(content, "", "BT /F1 12 Tf 20 100 Td (Page " + std::to_string(i + 1) + ") Tj ET");
  }
  b.FinishWithTable("/Root 1 0 R");
  return b.Bytes();
}

void ExpectSameWithOneAndTwoThreads(const std::string& bytes, const std::string& name, Outcome* serial = nullptr) {
  TempFile source;
  source.Write(bytes);
  const Outcome one = LoadAndSave(source.Path(), 1);
  const Outcome two = LoadAndSave(source.Path(), 2);
  EXPECT_TRUE(one == two) << name << "\n one thread:  " << Describe(one) << "\n two threads: " << Describe(two);
  // Twice more: the threads meet at other places each time.
  EXPECT_TRUE(LoadAndSave(source.Path(), 2) == one) << name;
  if (serial) *serial = one;
}

}  // namespace

TEST(TwoCoreLoadSave, SoundDamagedAndUpdatedFilesGiveWhatOneThreadGives) {
  Outcome sound;
  ExpectSameWithOneAndTwoThreads(ManyPages(400, nullptr), "sound", &sound);
  EXPECT_EQ(sound.Error, "");
  EXPECT_EQ(sound.Pages, 400);
  EXPECT_TRUE(sound.Warnings.empty());

  // Indirect lengths defined after their streams, and a stream dictionary
  // that refers back to its own stream.
  ExpectSameWithOneAndTwoThreads(
      ManyPages(400,
                [](PdfBuilder& b, int i, int page, int content) {
                  const int length = 5000 + i;
                  const std::string data = "BT (indirect) Tj ET";
                  b.Object(page, "<< /Type /Page /Parent 2 0 R /Contents " + std::to_string(content) + " 0 R >>");
                  b.Object(content, "<< /Length " + std::to_string(length) + " 0 R /Self " + std::to_string(content) +
                                        " 0 R >>\nstream\n" + data + "\nendstream");
                  b.Object(length, std::to_string(data.size()));
                }),
      "indirect lengths");

  // Damage of every kind the loader warns about or stops at: a wrong
  // /Length, an object that does not parse, a table entry that points into
  // another object, a reference to a missing object.
  Outcome damaged;
  ExpectSameWithOneAndTwoThreads(
      ManyPages(400,
                [](PdfBuilder& b, int i, int page, int content) {
                  switch ((i / 37) % 4) {
                    case 0:
                      b.Object(page, "<< /Type /Page /Parent 2 0 R /Contents " + std::to_string(content) + " 0 R >>");
                      b.Raw(std::to_string(content) + " 0 obj\n<< /Length 999 >>\nstream\nBT ET\nendstream\nendobj\n");
                      b.Object(content, "<< /Length 5 >>\nstream\nBT ET\nendstream");
                      break;
                    case 1:
                      b.Object(page, "<< /Type /Page /Parent 2 0 R /Contents [ " + std::to_string(content) +
                                         " 0 R 9999 0 R ] >>");
                      b.Object(content, "<< /A [ 1 2 (unterminated >>");
                      break;
                    case 2:
                      b.Object(page, "<< /Type /Page /Parent 2 0 R /Annots [ 8888 0 R ] >>");
                      b.Object(content, "<< /Unused true >>");
                      break;
                    default:
                      b.Object(page, "<< /Type /Page /Parent 2 0 R /Contents " + std::to_string(content) + " 0 R >>");
                      b.Raw("% " + std::to_string(content) + " 0 obj\n");
                      b.Object(content, "/Name) (x");
                      break;
                  }
                }),
      "damaged", &damaged);
  EXPECT_TRUE(!damaged.Warnings.empty() || !damaged.Error.empty()) << Describe(damaged);

  // Two revisions: the update replaces pages and the page tree.
  {
    const std::string first = ManyPages(300, nullptr);
    PdfBuilder b;
    b.Raw(first);
    std::string kids;
    for (int i = 0; i < 300; ++i) kids += std::to_string(3 + 2 * i) + " 0 R ";
    b.Object(2, "<< /Type /Pages /Kids [ " + kids + "] /Count 300 /Rotate 90 >>");
    for (int i = 0; i < 300; i += 7)
      b.Object(3 + 2 * i, "<< /Type /Page /Parent 2 0 R /Contents " + std::to_string(4 + 2 * i) + " 0 R /Updated true >>");
    const size_t firstXref = first.rfind("startxref\n");
    ASSERT_NE(firstXref, std::string::npos);
    // The builder chains /Prev to its own earlier sections only: the update
    // names the first table itself.
    b.FinishWithTable("/Root 1 0 R /Prev " + std::to_string(std::stol(first.substr(firstXref + 10))));
    Outcome updated;
    ExpectSameWithOneAndTwoThreads(b.Bytes(), "updated", &updated);
    EXPECT_EQ(updated.Pages, 300) << Describe(updated);
    EXPECT_NE(updated.Bytes.find("/Updated true"), std::string::npos);
  }
}

// The object streams of a file are decoded and parsed on the second thread
// while the loader stores their members: with one stream of each kind of
// trouble among twelve, the load and the save are still exactly those of
// one thread.
TEST(TwoCoreLoadSave, ObjectStreamsOfTheSourceExpandedOnTheSecondThread) {
  // 12 compressed streams of 5 pages each; `edit(k, entries, members, data)`
  // may change stream k before it is written.
  auto build = [](const std::function<void(int, std::string&, std::vector<std::pair<int, std::string>>&,
                                            std::string&)>& edit) {
    PdfBuilder b("%PDF-1.5\n");
    b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    std::string kids;
    for (int page = 0; page < 60; ++page) kids += std::to_string(100 + page) + " 0 R ";
    b.Object(2, "<< /Type /Pages /Kids [ " + kids + "] /Count 60 >>");
    std::map<int, std::pair<int, int>> placed;
    for (int k = 0; k < 12; ++k) {
      std::vector<std::pair<int, std::string>> members;
      for (int i = 0; i < 5; ++i)
        members.push_back({100 + 5 * k + i, "<< /Type /Page /Parent 2 0 R /MediaBox [ 0 0 " +
                                                std::to_string(200 + k) + " 300 ] /Note (" + std::to_string(k) + ") >>"});
      std::string entries = "/Type /ObjStm /Filter /FlateDecode", data;
      edit(k, entries, members, data);
      for (size_t i = 0; i < members.size(); ++i) placed.try_emplace(members[i].first, std::make_pair(10 + k, int(i)));
      int first = 0;
      const std::string plain = vxtest::ObjectStreamData(members, first);
      if (data.empty()) data = LibDeflateCompress(plain, 6);
      entries += " /N " + std::to_string(members.size()) + " /First " + std::to_string(first);
      if (entries.find("/Length") == std::string::npos) {
        b.Stream(10 + k, entries, data);
      } else {
        b.Object(10 + k, "<< " + entries + " >>\nstream\n" + data + "\nendstream");
        b.Object(9, std::to_string(data.size()));
      }
    }
    b.FinishWithStream(60, "/Root 1 0 R", placed);
    return b.Bytes();
  };
  using Members = std::vector<std::pair<int, std::string>>;
  ExpectSameWithOneAndTwoThreads(build([](int, std::string&, Members&, std::string&) {}), "sound");
  ExpectSameWithOneAndTwoThreads(build([](int k, std::string& entries, Members&, std::string&) {
                                   if (k == 7) entries += " /Length 9 0 R";
                                 }),
                                 "indirect length");
  ExpectSameWithOneAndTwoThreads(build([](int k, std::string&, Members& members, std::string&) {
                                   // A second copy of a page stored earlier, and a member that does not
                                   // parse: neither is used, as the first copy counts.
                                   if (k == 9) members.push_back({101, "<< /Type /Page /Copy true >>"});
                                   if (k == 10) members.push_back({102, "<< /A [ (unterminated"});
                                 }),
                                 "members held twice");
  Outcome broken;
  ExpectSameWithOneAndTwoThreads(build([](int k, std::string&, Members& members, std::string& data) {
                                   if (k == 4) data = "not deflate data at all";
                                   if (k == 5) members.front().first = 0;
                                 }),
                                 "data that does not inflate", &broken);
  // The five pages of the stream that does not inflate are lost with a
  // warning, and page 125, which stream 15 misnumbers; the rest is read.
  EXPECT_EQ(broken.Pages, 54) << Describe(broken);
  EXPECT_EQ(broken.Warnings.at(0).find("Object stream 14 does not decode completely"), 0u);
}

TEST(TwoCoreLoadSave, ObjectStreamsOnSaveAndACancelledSaveWithTheSecondThread) {
  TempFile source, target;
  source.Write(ManyPages(400, nullptr));
  const Outcome one = LoadAndSave(source.Path(), 1, osGenerate);
  const Outcome two = LoadAndSave(source.Path(), 2, osGenerate);
  ASSERT_EQ(one.Error, "");
  EXPECT_TRUE(one == two) << Describe(one) << "\n" << Describe(two);
  target.Write(two.Bytes);
  EXPECT_EQ(vxtest::QpdfProblems(target.Path()), "");

  // Cancelled while the second thread is ahead: the target is kept, and the
  // document saves again afterwards.
  target.Write("kept");
  TvxPDFDocument doc;
  doc.SetShowSetupDialog(false);
  doc.SetLoadThreads(2);
  doc.SetSaveThreads(2);
  doc.LoadFromFile(source.Path());
  doc.OnIOProgress = [](TvxCustomPDFDocument& d, int percent) {
    if (percent >= 30) d.CancelSave();
  };
  EXPECT_THROW(doc.SaveToFile(target.Path()), ESaveCancelled);
  EXPECT_EQ(target.Read(), "kept");
  doc.OnIOProgress = nullptr;
  ASSERT_TRUE(doc.SaveToFile(target.Path()));
  EXPECT_EQ(target.Read(), LoadAndSave(source.Path(), 1).Bytes);
}

TEST(TwoCoreLoadSave, CorpusSampleGivesWhatOneThreadGives) {
  VX_NEEDS_CORPUS();
  // Every fifth file (every fifteenth under the sanitizers), each in a child
  // process so that a file that brings the library down is reported as such.
#if defined(__SANITIZE_ADDRESS__)
  constexpr size_t kEvery = 15;
#else
  constexpr size_t kEvery = 5;
#endif
  std::vector<std::string> files;
  for (const char* folder : {"samples", "qpdf-tests"})
    for (const auto& entry : std::filesystem::directory_iterator(vxtest::CorpusDir() + "/" + folder))
      if (entry.path().extension() == ".pdf") files.push_back(entry.path().string());
  std::sort(files.begin(), files.end());
  ASSERT_GT(files.size(), 100u);
  int compared = 0;
  for (size_t i = 0; i < files.size(); i += kEvery) {
    const std::string& file = files[i];
    vxtest::ChildResult child = vxtest::RunInChild(
        [&](std::string& report) {
          const Outcome one = LoadAndSave(file, 1);
          const Outcome two = LoadAndSave(file, 2);
          if (one == two) return 0;
          report = "one: " + Describe(one) + "\ntwo: " + Describe(two);
          return 1;
        },
        120);
    EXPECT_TRUE(child.finished && child.exitCode == 0) << file << " exit " << child.exitCode << " signal "
                                                       << child.signal << "\n" << child.report;
    ++compared;
  }
  EXPECT_GE(compared, 40);
}

TEST(TwoCoreLoadSave, AWriteErrorOfTheWritingThreadFailsTheSaveAndKeepsTheTarget) {
  // Over 1 MiB of stream data, written where files may not grow past
  // 512 KiB: the thread that writes meets the error, the save raises it.
  vxtest::TempDir folder;
  const std::string source = folder.File("big.pdf"), target = folder.File("target.pdf");
  PdfBuilder b;
  b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.Object(2, "<< /Type /Pages /Kids [ 3 0 R ] /Count 1 >>");
  b.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [ 0 0 200 200 ] /Contents 4 0 R >>");
  std::string data;
  for (int i = 0; data.size() < (size_t(3) << 20); ++i) data += "% filler line " + std::to_string(i) + "\n";
  b.Stream(4, "", data);
  b.FinishWithTable("/Root 1 0 R");
  b.WriteTo(source);
  std::ofstream(target) << "kept";
  vxtest::ChildResult child = vxtest::RunInChild(
      [&](std::string& report) {
        TvxPDFDocument doc;
        doc.SetShowSetupDialog(false);
        doc.SetLiteralFileNames(true);
        doc.LoadFromFile(source);
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{512 * 1024, 512 * 1024};
        setrlimit(RLIMIT_FSIZE, &limit);
        try {
          doc.SaveToFile(target);
        } catch (const EWriteError& e) {
          report = e.what();
          return 0;
        }
        report = "saved";
        return 1;
      },
      60);
  ASSERT_TRUE(child.finished);
  EXPECT_EQ(child.exitCode, 0) << child.report;
  EXPECT_NE(child.report.find(std::strerror(EFBIG)), std::string::npos) << child.report;
  EXPECT_NE(child.report.find("target.pdf"), std::string::npos) << child.report;
  EXPECT_EQ(vxtest::ReadFile(target), "kept");
  std::vector<std::string> entries = folder.Entries();
  std::sort(entries.begin(), entries.end());
  EXPECT_EQ(entries, (std::vector<std::string>{"big.pdf", "target.pdf"}));
}
