// Loading files whose cross-reference data cannot be used: the entries are
// rebuilt by scanning the file, the document says it was repaired, and what
// it saves is a clean file with every page.
#include <gtest/gtest.h>

#include <regex>

#include "WriterTestSupport.h"
#include "pdf/document/vxPDFDoc.h"
#include "pdf/util/vxExceptions.h"
#include "support/PdfBuilder.h"

using namespace vx;
using vxtest::PdfBuilder;

namespace {

struct Loaded {
  std::unique_ptr<TvxPDFDocument> doc = std::make_unique<TvxPDFDocument>();
  std::vector<std::string> warnings;
};

std::unique_ptr<Loaded> Load(const std::string& bytes, const std::string& password = "") {
  auto l = std::make_unique<Loaded>();
  l->doc->SetShowSetupDialog(false);
  l->doc->OnWarning = [w = &l->warnings](TvxCustomPDFDocument&, const std::string& t) { w->push_back(t); };
  if (!password.empty()) {
    l->doc->OnPassword = [password](TvxCustomPDFDocument&, std::string& offered, bool& proceed, int tries) {
      if (tries == 0)
        offered = password;
      else
        proceed = false;
    };
  }
  l->doc->LoadFromBytes(std::make_shared<const std::string>(bytes), "damaged.pdf");
  return l;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string all;
  for (const auto& l : lines) all += l + "\n";
  return all;
}

size_t StartXRefValue(const std::string& bytes) {
  size_t at = bytes.rfind("startxref");
  return std::stoul(bytes.substr(at + 9));
}

// The kinds of damage, each made from a good file's bytes.
std::string WithoutStartXRef(const std::string& good) { return good.substr(0, good.rfind("startxref")); }

std::string WithStartXRef(const std::string& good, size_t offset) {
  size_t at = good.rfind("startxref");
  return good.substr(0, at) + "startxref\n" + std::to_string(offset) + "\n%%EOF\n";
}

// Every in-use entry of the last classic table moved by `delta` bytes.
std::string WithShiftedOffsets(const std::string& good, int delta) {
  size_t table = StartXRefValue(good);
  std::string head = good.substr(0, table), tail = good.substr(table);
  std::regex entry("(\\d{10}) (\\d{5}) n");
  std::string shifted;
  auto begin = std::sregex_iterator(tail.begin(), tail.end(), entry);
  size_t last = 0;
  for (auto it = begin; it != std::sregex_iterator(); ++it) {
    shifted += tail.substr(last, size_t(it->position()) - last);
    char text[32];
    std::snprintf(text, sizeof text, "%010ld", std::stol((*it)[1]) + delta);
    shifted += std::string(text) + " " + (*it)[2].str() + " n";
    last = size_t(it->position() + it->length());
  }
  return head + shifted + tail.substr(last);
}

// The file ends in the middle of its last table.
std::string WithTableCutOff(const std::string& good) {
  size_t table = StartXRefValue(good);
  size_t trailer = good.find("trailer", table);
  return good.substr(0, table + (trailer - table) / 2);
}

// Entries of the last table are missing before its trailer.
std::string WithEntriesMissing(const std::string& good) {
  size_t table = StartXRefValue(good);
  size_t trailer = good.find("trailer", table);
  size_t keep = table + (trailer - table) / 2;
  keep = good.rfind('\n', keep) + 1;
  return good.substr(0, keep) + good.substr(trailer);
}

std::string WithoutLastTrailer(const std::string& good) {
  size_t at = good.rfind("trailer");
  size_t end = good.rfind("startxref");
  return good.substr(0, at) + good.substr(end);
}

// The newest section names itself as the one before it.
std::string WithPrevLoop(const std::string& good) {
  size_t section = StartXRefValue(good);
  size_t dict = good.find("<<", good.find("trailer", section));
  if (good.compare(section, 4, "xref") != 0) dict = good.find("<<", section);  // a stream's dictionary
  std::string bytes = good;
  bytes.insert(dict + 2, " /Prev " + std::to_string(section) + " ");
  return bytes;
}

// Three pages whose text other readers can extract.
std::string ThreePages() {
  return vxtest::SimplePdf(3, "", "/Title (Kept)",
                           "/Resources << /Font << /F1 << /Type /Font /Subtype /Type1 /BaseFont /Helvetica >> >> >>");
}

}  // namespace

TEST(XRefRepair, EachKindOfDamageLoadsEveryPageAndSaysWhy) {
  const std::string good = ThreePages();
  auto clean = Load(good);
  EXPECT_FALSE(clean->doc->Repaired());
  EXPECT_TRUE(clean->warnings.empty()) << Joined(clean->warnings);

  std::string noRoot = good;
  noRoot.replace(noRoot.rfind("/Root 1 0 R"), 11, "           ");
  std::string rootIsPage = good;
  rootIsPage.replace(rootIsPage.rfind("/Root 1 0 R"), 11, "/Root 3 0 R");
  const std::string badType = [&] {
    std::string b = good;
    b.replace(b.find(" 00000 n", StartXRefValue(b)), 8, " 00000 x");
    return b;
  }();
  struct Case {
    const char* name;
    std::string bytes;
    const char* reason;
    bool keepsInfo;
  };
  const Case cases[] = {
      {"startxref removed", WithoutStartXRef(good), "no startxref", true},
      {"startxref wrong", WithStartXRef(good, 2), "startxref does not point at a cross-reference section", true},
      {"startxref at an object", WithStartXRef(good, good.find("3 0 obj")), "does not parse", true},
      {"offsets shifted", WithShiftedOffsets(good, 3), "object 1 is not at its offset", true},
      {"offsets short", WithShiftedOffsets(good, -2), "is not at its offset", true},
      {"table cut off", WithTableCutOff(good), "no startxref", false},
      {"entries missing", WithEntriesMissing(good), "does not parse", true},
      {"entry type unknown", badType, "does not parse: 'x' is not a valid integer value", true},
      {"trailer deleted", WithoutLastTrailer(good), "does not parse: Error reading PDF trailer", false},
      {"/Prev loop", WithPrevLoop(good), "the /Prev chain loops", true},
      {"/Root missing", noRoot, "the trailer has no /Root", true},
      {"/Root not a catalog", rootIsPage, "the /Root is not a catalog", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::unique_ptr<Loaded> l;
    ASSERT_NO_THROW(l = Load(c.bytes));
    EXPECT_TRUE(l->doc->Repaired());
    EXPECT_EQ(l->doc->PageCount(), 3);
    ASSERT_EQ(l->warnings.size(), 1u) << Joined(l->warnings);
    EXPECT_NE(l->warnings[0].find("it was rebuilt by scanning the file"), std::string::npos) << l->warnings[0];
    EXPECT_NE(l->warnings[0].find(c.reason), std::string::npos) << l->warnings[0];
    if (c.keepsInfo) EXPECT_EQ(l->doc->Info().Title(), u"Kept");
    // The saved file is whole and clean as another reader sees it.
    vxtest::TempFile out;
    l->doc->SaveToFile(out.Path());
    EXPECT_EQ(vxtest::QpdfProblems(out.Path()), "");
    std::string text = vxtest::PdfText(out.Path());
    for (int p = 1; p <= 3; ++p) EXPECT_NE(text.find("Page " + std::to_string(p)), std::string::npos) << text;
  }

  // Bytes before the header: the header is found and the offsets count from
  // it, as other readers take them; offsets from the file's start are repaired.
  auto junk = Load("leading junk\n" + good);
  EXPECT_EQ(junk->doc->PageCount(), 3);
  EXPECT_EQ(junk->doc->PDFVersion(), pvPDF14);
  EXPECT_FALSE(junk->doc->Repaired());
  EXPECT_EQ(Joined(junk->warnings), "13 bytes before the PDF header are ignored\n");
  EXPECT_TRUE(Load("leading junk\n" + WithShiftedOffsets(good, 13))->doc->Repaired());
  EXPECT_THROW(Load(std::string(1100, ' ') + good), EInvalidHeader);

  // A repaired load followed by a clean one: the flag is the document's own.
  TvxPDFDocument doc;
  doc.LoadFromBytes(std::make_shared<const std::string>(WithoutStartXRef(good)), "a.pdf");
  EXPECT_TRUE(doc.Repaired());
  doc.LoadFromBytes(std::make_shared<const std::string>(good), "b.pdf");
  EXPECT_FALSE(doc.Repaired());
}

TEST(XRefRepair, LastDefinitionAndNewestTrailerWin) {
  PdfBuilder b;
  vxtest::AddSimplePages(b, 2, "", [](int) { return ""; });
  b.Object(7, "<< /Title (Old) >>");
  b.FinishWithTable("/Root 1 0 R /Info 7 0 R");
  // An update: page 3 rotated, a new information dictionary, and an old
  // catalog left behind under another number.
  b.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R /Rotate 90 >>");
  b.Object(8, "<< /Title (New) >>");
  b.Object(9, "<< /Type /Catalog /Pages 2 0 R /PageMode /UseOutlines >>");
  b.FinishWithTable("/Root 1 0 R /Info 8 0 R");

  auto l = Load(WithoutStartXRef(b.Bytes()));
  EXPECT_TRUE(l->doc->Repaired());
  EXPECT_EQ(l->doc->PageCount(), 2);
  EXPECT_EQ(l->doc->GetPageRotation(1), 90);
  EXPECT_EQ(l->doc->Info().Title(), u"New");
  EXPECT_EQ(l->doc->PageMode(), pmNone);  // the trailer's /Root, not the later catalog

  // Without any trailer the last catalog in the file is taken.
  std::string noTrailers = WithoutStartXRef(b.Bytes());
  for (size_t at; (at = noTrailers.find("trailer")) != std::string::npos;) noTrailers.replace(at, 7, "xxxxxxx");
  auto t = Load(noTrailers);
  EXPECT_EQ(t->doc->PageCount(), 2);
  EXPECT_EQ(t->doc->PageMode(), pmUseOutlines);

  // A header inside a word or past the largest object number is not one.
  std::string noise = b.Bytes();
  noise.insert(noise.find("1 0 obj"), "x3 0 obj << /Type /Page >> endobj\n99999999 0 obj (far) endobj\n");
  auto n = Load(WithoutStartXRef(noise));
  EXPECT_EQ(n->doc->PageCount(), 2);
  EXPECT_EQ(n->doc->GetPageRotation(1), 90);

  // The scan passes over stream data, and only that: a word of a string is
  // not the stream keyword.
  auto words = Load(WithShiftedOffsets(vxtest::SimplePdf(2, "/Lang (a stream of words)"), 3));
  EXPECT_EQ(words->doc->PageCount(), 2);
}

namespace {

// Catalog, pages and one page in an object stream (object 10); the page's
// content stream (4) stands on its own; an /XRef stream (11) ends the file.
std::string ObjectStreamFile(const std::string& afterStream = "", const std::string& beforeStream = "") {
  PdfBuilder b;
  b.Stream(4, "", "BT /F1 12 Tf 72 700 Td (Page 1) Tj ET");
  b.Raw(beforeStream);
  const std::string members[] = {"<< /Type /Catalog /Pages 2 0 R /PageLayout /OneColumn >>",
                                 "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                                 "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R >>"};
  std::string header, body;
  for (int k = 0; k < 3; ++k) {
    header += std::to_string(k + 1) + " " + std::to_string(body.size()) + " ";
    body += members[k] + "\n";
  }
  b.Stream(10, "/Type /ObjStm /N 3 /First " + std::to_string(header.size()), header + body);
  b.Raw(afterStream);
  b.FinishWithStream(11, "/Root 1 0 R", {{1, {10, 0}}, {2, {10, 1}}, {3, {10, 2}}});
  return b.Bytes();
}

}  // namespace

TEST(XRefRepair, ObjectStreamMembersAndTheirCatalogAreFound) {
  auto l = Load(WithoutStartXRef(ObjectStreamFile()));
  EXPECT_TRUE(l->doc->Repaired());
  EXPECT_EQ(l->doc->PageCount(), 1);
  EXPECT_EQ(l->doc->PageLayout(), plOneColumn);

  // The /XRef stream gone too: the catalog is found among the members.
  std::string noXRef = ObjectStreamFile();
  noXRef = noXRef.substr(0, noXRef.find("11 0 obj"));
  auto m = Load(noXRef);
  EXPECT_EQ(m->doc->PageCount(), 1);
  EXPECT_EQ(m->doc->PageLayout(), plOneColumn);

  // Where no table says otherwise, a direct definition after the stream
  // replaces its member and one before it is replaced by the member; the
  // file's own table, where it is there, decides.
  auto withoutXRef = [](const std::string& bytes) { return bytes.substr(0, bytes.find("11 0 obj")); };
  const std::string page3 =
      "3 0 obj\n<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R /Rotate 180 >>\nendobj\n";
  const std::string after = withoutXRef(ObjectStreamFile(page3));
  auto d = Load(after);
  EXPECT_EQ(d->doc->PageCount(), 1);
  EXPECT_EQ(d->doc->LookupObjectOffset(3), int64_t(after.find("3 0 obj")));
  EXPECT_EQ(d->doc->GetPageRotation(1), 180);
  EXPECT_EQ(d->doc->LookupObjectOffset(1), 0);  // a member: no offset of its own
  vxtest::TempFile out;
  d->doc->SaveToFile(out.Path());
  EXPECT_EQ(vxtest::QpdfProblems(out.Path()), "");
  for (const std::string& bytes : {withoutXRef(ObjectStreamFile("", page3)), WithoutStartXRef(ObjectStreamFile(page3))}) {
    auto member = Load(bytes);
    EXPECT_EQ(member->doc->PageCount(), 1);
    EXPECT_EQ(member->doc->LookupObjectOffset(3), 0);
    EXPECT_EQ(member->doc->GetPageRotation(1), 0);
  }

  // A /Prev loop in a cross-reference stream is found as well.
  auto loop = Load(WithPrevLoop(ObjectStreamFile()));
  EXPECT_TRUE(loop->doc->Repaired());
  EXPECT_EQ(loop->doc->PageCount(), 1);
}

TEST(XRefRepair, WhatCannotBeRepairedIsRefusedClearly) {
  // No catalog anywhere and no /Root: there is no document.
  PdfBuilder b;
  b.Object(1, "<< /Type /Pages /Kids [] /Count 0 >>");
  b.FinishWithTable("/Info 1 0 R");
  try {
    Load(WithoutStartXRef(b.Bytes()));
    FAIL() << "loaded a file without a catalog";
  } catch (const EPDFFileCorruptedError& e) {
    EXPECT_STREQ(e.what(), "File is corrupted");
  }
  // A /Root that is no catalog, with none elsewhere, is kept as the file
  // says rather than replaced (it is a dictionary), even where its header
  // sits at the end of a comment line, out of the scan's sight; having no
  // page tree, it is then refused for that reason.
  for (const std::string& before : {std::string(), std::string("%\xA2")}) {
    PdfBuilder odd;
    odd.Raw(before);
    odd.Object(1, "<< /Odd true >>");
    odd.FinishWithTable("/Root 1 0 R");
    try {
      Load(odd.Bytes());
      FAIL() << "loaded a document without a page tree";
    } catch (const EPDFFileCorruptedError& e) {
      EXPECT_STREQ(e.what(), "The page tree cannot be read: the catalog names no page tree");
    }
  }

  // Headers without bodies, over and over: the scan ends and refuses.
  std::string noise = "%PDF-1.4\n";
  for (int i = 0; i < 20000; ++i) noise += "1 0 obj << /Type /Catalog /Pages 1 0 R\n";
  TvxPDFDocument doc;
  EXPECT_THROW(doc.LoadFromBytes(std::make_shared<const std::string>(noise), "noise.pdf"), Exception);
  EXPECT_FALSE(doc.IsLoaded());

  // A filter the reader lacks, in a cross-reference stream or an object
  // stream, is named rather than guessed around.
  std::string xrefFilter = ObjectStreamFile();
  xrefFilter.insert(xrefFilter.find("/Type /XRef") , "/Filter /NoSuchFilter ");
  try {
    Load(xrefFilter);
    FAIL() << "read a stream with an unknown filter";
  } catch (const EUnsupportedFilterError& e) {
    EXPECT_STREQ(e.what(), "Unsupported filter (/NoSuchFilter)");
  }
  std::string memberFilter = ObjectStreamFile();
  memberFilter.insert(memberFilter.find("/Type /ObjStm"), "/Filter /NoSuchFilter ");
  EXPECT_THROW(Load(WithoutStartXRef(memberFilter)), EUnsupportedFilterError);
}

// Damaged copies of good corpus files: each loads with the page count qpdf
// gives the original, and saves as a file qpdf checks without a warning.
TEST(XRefRepairCorpus, DamagedCopiesLoadEveryPageAndSaveClean) {
  VX_NEEDS_CORPUS();
  const std::string samples = vxtest::CorpusDir() + "/samples/";
  const std::vector<std::string> tableFiles = {"007-imagemagick-images_imagemagick-images.pdf",
                                               "014-outlines_mistitled_outlines_example.pdf",
                                               "015-arabic_habibi-rotated.pdf"};
  const std::vector<std::string> streamFiles = {"004-pdflatex-4-pages_pdflatex-4-pages.pdf",
                                                "006-pdflatex-outline_pdflatex-outline.pdf"};
  auto check = [&](const std::string& file, const std::string& damage, const std::string& bytes) {
    SCOPED_TRACE(file + ": " + damage);
    std::string count;
    ASSERT_EQ(vxtest::RunCommand("qpdf --show-npages " + vxtest::Quote(samples + file), &count, false), 0);
    std::unique_ptr<Loaded> l;
    ASSERT_NO_THROW(l = Load(bytes));
    EXPECT_TRUE(l->doc->Repaired());
    EXPECT_EQ(l->doc->PageCount(), std::stoi(count));
    vxtest::TempFile out;
    l->doc->SaveToFile(out.Path());
    EXPECT_EQ(vxtest::QpdfProblems(out.Path()), "");
    std::string saved;
    vxtest::RunCommand("qpdf --show-npages " + vxtest::Quote(out.Path()), &saved, false);
    EXPECT_EQ(saved, count);
  };
  for (const auto& file : tableFiles) {
    const std::string good = vxtest::ReadFile(samples + file);
    check(file, "startxref removed", WithoutStartXRef(good));
    check(file, "offsets shifted", WithShiftedOffsets(good, 4));
    check(file, "table cut off", WithTableCutOff(good));
    check(file, "trailer deleted", WithoutLastTrailer(good));
    check(file, "/Prev loop", WithPrevLoop(good));
  }
  for (const auto& file : streamFiles) {
    const std::string good = vxtest::ReadFile(samples + file);
    check(file, "startxref removed", WithoutStartXRef(good));
    check(file, "startxref wrong", WithStartXRef(good, StartXRefValue(good) + 7));
    check(file, "/Prev loop", WithPrevLoop(good));
  }
}

TEST(XRefRepairCorpus, EncryptedFilesAreRepairedAndOpenWithTheirPassword) {
  VX_NEEDS_CORPUS();
  vxtest::TempDir dir;
  const std::string source = vxtest::CorpusDir() + "/qpdf-tests/enc-R3,V2,U=view,O=master.pdf";
  const std::string base = vxtest::CorpusDir() + "/samples/004-pdflatex-4-pages_pdflatex-4-pages.pdf";
  // RC4 with object streams, whose members can only be listed once the key is known.
  const std::string packed = dir.File("packed.pdf");
  ASSERT_EQ(vxtest::RunCommand("qpdf --allow-weak-crypto --object-streams=generate --encrypt view master 128 "
                               "--use-aes=n -- " + vxtest::Quote(base) + " " + vxtest::Quote(packed)),
            0);
  for (const std::string& file : {source, packed}) {
    SCOPED_TRACE(file);
    std::string count;
    ASSERT_EQ(vxtest::RunCommand("qpdf --password=view --show-npages " + vxtest::Quote(file), &count, false), 0);
    for (const std::string& password : {"view", "master"}) {
      auto l = Load(WithoutStartXRef(vxtest::ReadFile(file)), password);
      EXPECT_TRUE(l->doc->Repaired());
      EXPECT_TRUE(l->doc->IsEncrypted());
      EXPECT_EQ(l->doc->PageCount(), std::stoi(count));
      vxtest::TempFile out;
      l->doc->SaveToFile(out.Path());
      EXPECT_EQ(vxtest::QpdfProblems(out.Path(), password), "");
      EXPECT_EQ(vxtest::PdfText(out.Path(), "view"), vxtest::PdfText(file, "view"));
    }
  }
}
