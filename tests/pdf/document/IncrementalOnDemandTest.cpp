// Incremental updates of a document read on demand: the file is read piece
// by piece, the update looks up what it writes as it writes it, and the
// bytes written are those of an update after a full load. An object the
// update needs that cannot be read fails the save and leaves the target.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "WriterTestSupport.h"
#include "pdf/document/vxPDFDoc.h"
#include "pdf/util/vxExceptions.h"
#include "support/PdfBuilder.h"

using namespace vx;
using vxtest::PdfBuilder;
using vxtest::TempFile;

namespace {

std::unique_ptr<TvxPDFDocument> Open(const std::string& path, bool onDemand, const std::string& password = "",
                                     const std::string& updateTarget = "") {
  auto doc = std::make_unique<TvxPDFDocument>();
  doc->SetShowSetupDialog(false);
  doc->SetLiteralFileNames(true);
  doc->SetLoadOnDemand(onDemand);
  doc->SetReadFileOnDemand(onDemand);
  doc->SetUpdateTarget(updateTarget);
  doc->OnPassword = [password](TvxCustomPDFDocument&, std::string& offered, bool& proceed, int tries) {
    offered = password;
    proceed = tries == 0;
  };
  if (!doc->LoadFromFile(path)) return nullptr;
  return doc;
}

// The bytes of an update with `change` made, or the message it failed with.
// `begunAtLoad`: the copy of the source is begun by the load (UpdateTarget).
std::string UpdateOf(const std::string& path, bool onDemand, const std::function<void(TvxCustomPDFDocument&)>& change,
                     const std::string& password = "", bool begunAtLoad = false) {
  TempFile out;
  try {
    auto doc = Open(path, onDemand, password, begunAtLoad ? out.Path() : "");
    if (!doc) return "not loaded";
    change(*doc);
    doc->SetSaveKind(TvxSaveKind::Incremental);
    doc->SaveToFile(out.Path(), 2);
  } catch (const std::exception& e) {
    return std::string("failed: ") + e.what();
  }
  return out.Read();
}

using TvxChange = std::pair<const char*, std::function<void(TvxCustomPDFDocument&)>>;

const std::vector<TvxChange>& Changes() {
  static const std::vector<TvxChange> changes = {
      {"title", [](TvxCustomPDFDocument& d) { d.Info().SetTitle(u"On demand"); }},
      {"page mode", [](TvxCustomPDFDocument& d) { d.SetPageMode(pmUseThumbs); }},
      {"transition", [](TvxCustomPDFDocument& d) { d.SetPageTransition("1", 3, 2.0f); }},
      {"NeedAppearances",
       [](TvxCustomPDFDocument& d) {
         d.ViewerPreferences().SetFitWindow(true);
         d.ApplyNeedAppearances(0);
       }},
  };
  return changes;
}

}  // namespace

// A sample of the corpus, each change in turn, encrypted files kept
// encrypted (RC4: AES output is not repeatable), a signed one: the update
// of a document read on demand is, byte for byte, the update of the same
// document loaded whole (or the same refusal).
TEST(IncrementalOnDemand, CorpusUpdatesAreThoseOfAFullLoad) {
  VX_NEEDS_CORPUS();
#if defined(__SANITIZE_ADDRESS__)
  constexpr size_t kFiles = 6;
#else
  constexpr size_t kFiles = 24;
#endif
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(vxtest::CorpusDir()))
    if (entry.path().extension() == ".pdf") files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  ASSERT_GT(files.size(), kFiles);
  std::vector<std::pair<std::string, std::string>> sample = {
      {vxtest::CorpusDir() + "/qpdf-tests/enc-R3,V2,U=view,O=master.pdf", "master"},
      {vxtest::CorpusDir() + "/qpdf-tests/enc-R2,V1,U=view,O=master.pdf", "master"},
      {vxtest::CorpusDir() + "/qpdf-tests/digitally-signed.pdf", ""},
      {vxtest::CorpusDir() + "/qpdf-tests/leading-junk.pdf", ""},  // read from memory after all
  };
  for (size_t i = 0; i < files.size(); i += files.size() / kFiles) sample.emplace_back(files[i], "");
  size_t written = 0;
  for (const auto& [path, password] : sample) {
    for (const auto& [what, change] : Changes()) {
      SCOPED_TRACE(path + ": " + what);
      const std::string full = UpdateOf(path, false, change, password);
      const std::string lazy = UpdateOf(path, true, change, password);
      EXPECT_TRUE(full == lazy) << "full load: " << full.substr(0, 200) << "\non demand: " << lazy.substr(0, 200);
      EXPECT_TRUE(full == UpdateOf(path, true, change, password, true)) << "copy begun at the load";
      if (full.rfind("failed", 0) != 0 && full != "not loaded") ++written;
    }
  }
  EXPECT_GE(written, sample.size() * 2);
}

// A cross-reference stream that places object 8 in object stream 10, which
// lists 2, 3, 7 and 9 only: 8 is missing, whichever way the file is read (a
// lookup that took a neighbouring member would find 7 or 9).
TEST(IncrementalOnDemand, MemberTheObjectStreamDoesNotListIsMissing) {
  PdfBuilder b("%PDF-1.5\n");
  b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.Stream(4, "", "BT /F1 12 Tf 10 50 Td (Listed) Tj ET");
  int first = 0;
  const std::string data = vxtest::ObjectStreamData(
      {{2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>"},
       {3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 4 0 R /Resources << /Font << /F1 7 0 R >> >> "
           "/Note 8 0 R /Other 9 0 R >>"},
       {7, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"},
       {9, "(other)"}},
      first);
  b.Stream(10, "/Type /ObjStm /N 4 /First " + std::to_string(first), data);
  b.FinishWithStream(11, "/Root 1 0 R", {{2, {10, 0}}, {3, {10, 1}}, {7, {10, 2}}, {8, {10, 3}}, {9, {10, 3}}});
  TempFile source;
  source.Write(b.Bytes());

  for (bool onDemand : {false, true}) {
    SCOPED_TRACE(onDemand ? "on demand" : "full load");
    auto doc = Open(source.Path(), onDemand);
    ASSERT_TRUE(doc);
    ASSERT_EQ(doc->PageCount(), 1);
    EXPECT_EQ(doc->Store().Find(TvxObjectKey{doc->DocumentID(), 8, 0}), nullptr);
    TvxPDFIndirectObject* font = doc->Store().Find(TvxObjectKey{doc->DocumentID(), 7, 0});
    ASSERT_NE(font, nullptr);
    EXPECT_NE(doc->SerializeObject(-1, font->Content.get()).find("/Helvetica"), std::string::npos);
  }
  // And the update of the page that names it is that of the full load.
  auto transition = [](TvxCustomPDFDocument& d) { d.SetPageTransition("1", 2, 1.0f); };
  const std::string full = UpdateOf(source.Path(), false, transition);
  EXPECT_EQ(full.compare(0, b.Bytes().size(), b.Bytes()), 0);
  EXPECT_EQ(UpdateOf(source.Path(), true, transition), full);
}

// The page's font cannot be parsed. An update that does not need it reads
// around it (the source's bytes, font included, stay as they are); a save
// that needs it, the rewrite, fails with the parser's message and leaves
// the target as it was; so does a lookup of it.
TEST(IncrementalOnDemand, ObjectThatCannotBeReadFailsOnlyTheSaveThatNeedsIt) {
  PdfBuilder b("%PDF-1.4\n");
  b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  b.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Resources << /Font << /F1 4 0 R >> >> >>");
  b.Object(4, "<< /Type /Font /BaseFont /Helvetica ] >>");
  b.FinishWithTable("/Root 1 0 R");
  TempFile source, target;
  source.Write(b.Bytes());
  target.Write("kept");

  const std::string update =
      UpdateOf(source.Path(), true, [](TvxCustomPDFDocument& d) { d.SetPageTransition("1", 2, 1.0f); });
  EXPECT_EQ(update.compare(0, b.Bytes().size(), b.Bytes()), 0) << update.substr(0, 200);

  auto doc = Open(source.Path(), true);
  ASSERT_TRUE(doc);
  EXPECT_THROW(doc->Store().Find(TvxObjectKey{doc->DocumentID(), 4, 0}), Exception);
  std::string message;
  try {
    doc->SaveToFile(target.Path(), 2);
  } catch (const Exception& e) {
    message = e.what();
  }
  EXPECT_NE(message.find("Error reading PDF name"), std::string::npos) << message;
  EXPECT_EQ(target.Read(), "kept");
}

// The copy a load begins for an expected update serves that update only:
// a save elsewhere, a rewrite, a refused update, a new load, the target
// taken back or no save at all leave no file of it behind, and the target as a save without it
// would.
TEST(IncrementalOnDemand, CopyBegunAtTheLoadServesOnlyItsUpdate) {
  PdfBuilder b("%PDF-1.5\n");
  b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  b.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] >>");
  b.FinishWithTable("/Root 1 0 R");
  TempFile source, named, other;
  source.Write(b.Bytes());
  auto title = [](TvxCustomPDFDocument& d) { d.Info().SetTitle(u"Early"); };
  const std::string update = UpdateOf(source.Path(), false, title);
  auto leftovers = [&] {
    const std::string prefix = "." + std::filesystem::path(named.Path()).filename().string() + ".vxtmp-";
    size_t n = 0;
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(named.Path()).parent_path()))
      n += entry.path().filename().string().rfind(prefix, 0) == 0;
    return n;
  };
  auto incremental = [](TvxPDFDocument& d, const std::string& path) {
    d.SetSaveKind(TvxSaveKind::Incremental);
    d.SaveToFile(path, 2);
  };
  // What is done after the load, and whether the named target keeps its bytes.
  const std::vector<std::tuple<const char*, std::function<void(TvxPDFDocument&)>, bool>> cases = {
      {"update elsewhere", [&](TvxPDFDocument& d) { incremental(d, other.Path()); }, true},
      {"rewrite of the target", [&](TvxPDFDocument& d) { d.SaveToFile(named.Path(), 2); }, false},
      {"refused update",
       [&](TvxPDFDocument& d) {
         d.SetPDFVersion(pvPDF13);
         EXPECT_THROW(incremental(d, named.Path()), EIncrementalSaveRefused);
       },
       true},
      {"new load",
       [&](TvxPDFDocument& d) {
         d.LoadFromFile(source.Path());
         EXPECT_EQ(leftovers(), 1u);  // the new load begins its own
       },
       true},
      {"no save", [](TvxPDFDocument&) {}, true},
      {"target taken back",
       [&](TvxPDFDocument& d) {
         d.SetUpdateTarget("");
         EXPECT_EQ(leftovers(), 0u);
       },
       true},
  };
  for (const auto& [what, act, targetKept] : cases) {
    SCOPED_TRACE(what);
    named.Write("kept");
    other.Write("");
    {
      auto doc = Open(source.Path(), true, "", named.Path());
      ASSERT_TRUE(doc);
      title(*doc);
      act(*doc);
    }
    const std::string written = named.Read();
    if (targetKept) EXPECT_EQ(written, "kept");
    else EXPECT_NE(written.compare(0, b.Bytes().size(), b.Bytes()), 0);  // a whole new file
    if (std::string(what) == "update elsewhere") EXPECT_EQ(other.Read(), update);
    EXPECT_EQ(leftovers(), 0u);
  }
}
