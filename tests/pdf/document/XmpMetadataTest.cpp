// The XMP packet kept in step with the document information: date forms,
// updating a packet while keeping everything else in it, and whole
// documents saved and read back by pikepdf and qpdf.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <regex>

#include "WriterTestSupport.h"
#include "support/PikeQuery.h"
#include "pdf/document/vxXmpMetadata.h"
#include "pdf/security/vxPDFCrypt.h"
#include "pdf/util/vxPDFResStrs.h"
#include "pdf/util/vxUtils.h"

using namespace vx;
using vxtest::Quote;
using vxtest::RunCommand;
using vxtest::TempFile;

namespace {

// A PDF/A-1b style packet: identification, a custom schema, a title and a
// creation date, read-only, with padding.
std::string PdfAPacket(const std::string& title, char end = 'w') {
  return std::string("<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n") +
         "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">\n"
         "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\n"
         "<rdf:Description rdf:about=\"\" xmlns:pdfaid=\"http://www.aiim.org/pdfa/ns/id/\"\n"
         "  xmlns:dc=\"http://purl.org/dc/elements/1.1/\" xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\"\n"
         "  xmlns:my=\"http://example.com/ns/my/\">\n"
         "<pdfaid:part>1</pdfaid:part><pdfaid:conformance>B</pdfaid:conformance>\n"
         "<my:project>Apollo</my:project>\n"
         "<dc:title><rdf:Alt><rdf:li xml:lang=\"x-default\">" +
         title +
         "</rdf:li></rdf:Alt></dc:title>\n"
         "<xmp:CreateDate>2020-01-02T03:04:05+01:00</xmp:CreateDate>\n"
         "</rdf:Description>\n</rdf:RDF>\n</x:xmpmeta>\n" +
         std::string(1500, ' ') + "\n<?xpacket end=\"" + end + "\"?>";
}

// What pikepdf reads from a file, one "key=value" line each: the XMP
// properties (open_metadata), the /Info entries, and the packet stream's
// /Filter. A missing checker fails the test.
std::string Pikepdf(const std::string& path, const std::string& password = "") {
  std::string script =
      "import sys, pikepdf\n"
      "p = pikepdf.open(sys.argv[1], password=sys.argv[2])\n"
      "for k, v in sorted(p.open_metadata().items()): print('xmp', k.split('}')[-1], '=', v, sep='')\n"
      "for k, v in sorted((p.docinfo or {}).items()): print('info', k, '=', str(v), sep='')\n"
      "print('filter=', p.Root.Metadata.get('/Filter'), sep='')\n";
  TempFile py(".py");
  py.Write(script);
  std::string out;
  int rc = RunCommand("/usr/bin/python3 " + Quote(py.Path()) + " " + Quote(path) + " " + Quote(password), &out);
  EXPECT_EQ(rc, 0) << "pikepdf is needed for this test: " << out;
  return out;
}

bool Has(const std::string& text, const std::string& line) {
  return text.find(line + "\n") != std::string::npos;
}

std::string Save(TvxCustomPDFDocument& doc, const TempFile& file) {
  doc.SaveToFile(file.Path(), 2);
  return file.Read();
}

}  // namespace

TEST(XmpDates, ConvertBetweenPdfAndIsoForms) {
  EXPECT_EQ(PdfDateToXmp("D:20231015123045+02'00'"), "2023-10-15T12:30:45+02:00");
  EXPECT_EQ(PdfDateToXmp("D:20231015123045-05'30"), "2023-10-15T12:30:45-05:30");
  EXPECT_EQ(PdfDateToXmp("D:20231015123045Z"), "2023-10-15T12:30:45Z");
  EXPECT_EQ(PdfDateToXmp("D:20231015123045Z00'00'"), "2023-10-15T12:30:45Z");
  EXPECT_EQ(PdfDateToXmp("D:20231015"), "2023-10-15");
  EXPECT_EQ(PdfDateToXmp("D:2023"), "2023");
  EXPECT_EQ(PdfDateToXmp("D:2023101512"), "2023-10-15T12:00");
  EXPECT_EQ(PdfDateToXmp("20231015123045"), "2023-10-15T12:30:45");  // no prefix, no zone
  EXPECT_EQ(PdfDateToXmp("yesterday"), "");
  EXPECT_EQ(PdfDateToXmp("D:202"), "");
  EXPECT_EQ(PdfDateToXmp(""), "");

  EXPECT_EQ(XmpDateToPdf("2023-10-15T12:30:45+02:00"), "D:20231015123045+02'00'");
  EXPECT_EQ(XmpDateToPdf("2023-10-15T12:30:45.123-05:30"), "D:20231015123045-05'30'");
  EXPECT_EQ(XmpDateToPdf("2023-10-15T12:30Z"), "D:202310151230Z");
  EXPECT_EQ(XmpDateToPdf("2023-10"), "D:202310");
  EXPECT_EQ(XmpDateToPdf("2023-1x"), "");
  EXPECT_EQ(XmpDateToPdf("not a date"), "");
  // Round trip of a full date.
  EXPECT_EQ(XmpDateToPdf(PdfDateToXmp("D:19991231235959-08'00'")), "D:19991231235959-08'00'");
}

TEST(XmpPacket, UpdateSetsMappedPropertiesAndKeepsEverythingElse) {
  const std::string packet = PdfAPacket("Old");
  TvxXmpInfo update;
  update.Title = u"New \u00e9\u03a9";
  update.Author = u"Ann";
  update.Subject = u"About";
  update.Keywords = u"k1, k2";
  update.Creator = u"Writer";
  update.Producer = u"Prod";
  update.ModDate = "D:20240102030405Z";
  std::optional<std::string> out = UpdateXmpPacket(packet, update, "2024-05-06T07:08:09Z");
  ASSERT_TRUE(out);

  std::optional<TvxXmpInfo> read = ReadXmpInfo(*out);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->Title, std::u16string(u"New \u00e9\u03a9"));
  EXPECT_EQ(read->Author, std::u16string(u"Ann"));
  EXPECT_EQ(read->Subject, std::u16string(u"About"));
  EXPECT_EQ(read->Keywords, std::u16string(u"k1, k2"));
  EXPECT_EQ(read->Creator, std::u16string(u"Writer"));
  EXPECT_EQ(read->Producer, std::u16string(u"Prod"));
  EXPECT_EQ(read->ModDate, std::string("D:20240102030405Z"));
  EXPECT_EQ(read->CreationDate, std::string("D:20200102030405+01'00'"));  // not in the update: kept
  EXPECT_NE(out->find("2024-05-06T07:08:09Z"), std::string::npos) << "MetadataDate";

  // Identification and the custom schema survive; the packet keeps its
  // length (the padding absorbs the change) and stays writable.
  EXPECT_TRUE(std::regex_search(*out, std::regex(R"(pdfaid:part(>|=")1)"))) << *out;
  EXPECT_TRUE(std::regex_search(*out, std::regex(R"(pdfaid:conformance(>|=")B)"))) << *out;
  EXPECT_TRUE(std::regex_search(*out, std::regex(R"(my:project(>|=")Apollo)"))) << *out;
  EXPECT_EQ(out->size(), packet.size());
  EXPECT_NE(out->find("<?xpacket end=\"w\"?>"), std::string::npos);

  // The creator is a sequence of one.
  EXPECT_TRUE(std::regex_search(*out, std::regex(R"(<dc:creator>\s*<rdf:Seq>\s*<rdf:li>Ann</rdf:li>\s*</rdf:Seq>)")))
      << *out;

  // An empty value removes the property; an unset one leaves it.
  TvxXmpInfo clear;
  clear.Title = u"";
  std::optional<TvxXmpInfo> cleared = ReadXmpInfo(*UpdateXmpPacket(*out, clear, ""));
  ASSERT_TRUE(cleared);
  EXPECT_FALSE(cleared->Title);
  EXPECT_EQ(cleared->Author, std::u16string(u"Ann"));
}

TEST(XmpPacket, KeepsItsFormAndIsLeftAloneWhenNothingChanges) {
  // A read-only packet stays read-only; one that no longer fits its old
  // length grows.
  const std::string readOnly = PdfAPacket("Old", 'r');
  TvxXmpInfo longTitle;
  longTitle.Title = std::u16string(3000, u'x');
  std::optional<std::string> grown = UpdateXmpPacket(readOnly, longTitle, "");
  ASSERT_TRUE(grown);
  EXPECT_GT(grown->size(), readOnly.size());
  EXPECT_NE(grown->find("<?xpacket end=\"r\"?>"), std::string::npos);
  EXPECT_EQ(ReadXmpInfo(*grown)->Title, longTitle.Title);

  // Values equal to what the packet says change nothing, not even the
  // metadata date; a date naming the same moment in another zone counts as
  // equal.
  TvxXmpInfo same;
  same.Title = u"Old";
  same.CreationDate = "D:20200102020405Z";
  std::optional<std::string> unchanged = UpdateXmpPacket(readOnly, same, "2024-05-06T07:08:09Z");
  ASSERT_TRUE(unchanged);
  EXPECT_EQ(*unchanged, readOnly);

  // A packet without the wrapper gets none.
  const std::string bare =
      "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">"
      "<rdf:Description rdf:about=\"\" xmlns:pdf=\"http://ns.adobe.com/pdf/1.3/\"><pdf:Keywords>a</pdf:Keywords>"
      "</rdf:Description></rdf:RDF></x:xmpmeta>";
  TvxXmpInfo keywords;
  keywords.Keywords = u"b";
  std::optional<std::string> bareOut = UpdateXmpPacket(bare, keywords, "");
  ASSERT_TRUE(bareOut);
  EXPECT_EQ(bareOut->find("<?xpacket"), std::string::npos);
  EXPECT_EQ(ReadXmpInfo(*bareOut)->Keywords, std::u16string(u"b"));
}

TEST(XmpPacket, MalformedPacketIsNotRead) {
  TvxXmpInfo update;
  update.Title = u"T";
  for (const std::string& bad : {std::string("<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF"),
                                 std::string("<?xpacket begin=\"\"?><a><b></a>"), std::string("\x01\x02garbage"),
                                 // well-formed XML with no RDF body: its text would be lost
                                 std::string("<x:xmpmeta xmlns:x='adobe:ns:meta/'>clear metadata</x:xmpmeta>")}) {
    EXPECT_FALSE(ReadXmpInfo(bad)) << bad;
    EXPECT_FALSE(UpdateXmpPacket(bad, update, "")) << bad;
  }
}

TEST(XmpDocument, PdfASampleKeepsIdentificationAndAgreesWithInfo) {
  // A PDF/A-1b sample: uncompressed packet, /Info and packet agreeing.
  TempFile in, out;
  in.Write(vxtest::PdfWithXmpPacket(PdfAPacket("Old"), "/Title (Old) /CreationDate (D:20200102030405+01'00')"));
  auto doc = vxtest::LoadBytes(in.Read());
  ASSERT_TRUE(doc->IsLoaded());
  ASSERT_TRUE(doc->Info().Xmp());
  EXPECT_EQ(doc->Info().Xmp()->Title, std::u16string(u"Old"));

  // A title well outside ASCII (UTF-16 in /Info, with a surrogate pair).
  const std::u16string title = u"\u00c9t\u00e9 \u65e5\u672c\u8a9e \U0001F600 \u2013 \u03a9";
  doc->Info().SetTitle(title);
  doc->Info().SetAuthor(u"Ann");
  doc->SetCompression(0, 2);  // streams are compressed on save, as the command line does by default
  Save(*doc, out);

  EXPECT_EQ(vxtest::QpdfProblems(out.Path()), "");
  std::string seen = Pikepdf(out.Path());
  const std::string utf8 = Utf16ToUtf8(title);
  EXPECT_TRUE(Has(seen, "xmptitle=" + utf8)) << seen;
  EXPECT_TRUE(Has(seen, "info/Title=" + utf8)) << seen;
  EXPECT_TRUE(Has(seen, "xmpcreator=['Ann']")) << seen;
  EXPECT_TRUE(Has(seen, "info/Author=Ann")) << seen;
  EXPECT_TRUE(Has(seen, "xmppart=1")) << seen;
  EXPECT_TRUE(Has(seen, "xmpconformance=B")) << seen;
  EXPECT_TRUE(Has(seen, "xmpproject=Apollo")) << seen;
  EXPECT_TRUE(Has(seen, "xmpProducer=" + std::string(res::SProducerText))) << seen;
  EXPECT_TRUE(Has(seen, "xmpCreateDate=2020-01-02T03:04:05+01:00")) << seen;
  EXPECT_TRUE(Has(seen, "filter=None")) << "the packet stays readable: " << seen;

  // And our own reading of the file gives the title back exactly.
  auto again = vxtest::LoadBytes(out.Read());
  ASSERT_TRUE(again->Info().Xmp());
  EXPECT_EQ(again->Info().Xmp()->Title, title);
  EXPECT_EQ(again->Info().InfoText("/Title"), title);
}

TEST(XmpDocument, CompressedAndEncryptedPacketsFollowTheirStream) {
  // A Flate packet stays Flate; in an encrypted save the packet is
  // encrypted with every other stream and reads back with the password.
  std::string packet = PdfAPacket("Old");
  std::string deflated;
  {
    TempFile raw(".bin");
    raw.Write(packet);
    ASSERT_EQ(RunCommand("/usr/bin/python3 -c \"import sys,zlib;sys.stdout.buffer.write(zlib.compress(open(sys.argv[1],"
                         "'rb').read()))\" " + Quote(raw.Path()) + " > " + Quote(raw.Path() + ".z")),
              0);
    deflated = vxtest::ReadFile(raw.Path() + ".z");
    std::remove((raw.Path() + ".z").c_str());
  }
  TempFile in, plain, locked;
  in.Write(vxtest::PdfWithXmpPacket(deflated, "/Title (Old)", "/Filter /FlateDecode"));

  auto doc = vxtest::LoadBytes(in.Read());
  ASSERT_TRUE(doc->Info().Xmp()) << "a compressed packet is read";
  doc->Info().SetTitle(u"Plain");
  Save(*doc, plain);
  std::string seen = Pikepdf(plain.Path());
  EXPECT_TRUE(Has(seen, "xmptitle=Plain")) << seen;
  EXPECT_TRUE(Has(seen, "filter=/FlateDecode")) << seen;
  EXPECT_EQ(vxtest::QpdfProblems(plain.Path()), "");

  doc->Info().SetTitle(u"Locked");
  doc->Encryption().SetEnabled(true);
  doc->Encryption().SetLevel(el128bit);
  doc->Encryption().SetUserPassword("u");
  doc->Encryption().SetOwnerPassword("o");
  std::string bytes = Save(*doc, locked);
  EXPECT_EQ(bytes.find("Locked"), std::string::npos);
  EXPECT_EQ(bytes.find("xmpmeta"), std::string::npos) << "the packet is encrypted";
  seen = Pikepdf(locked.Path(), "u");
  EXPECT_TRUE(Has(seen, "xmptitle=Locked")) << seen;
  EXPECT_TRUE(Has(seen, "xmppart=1")) << seen;
  EXPECT_EQ(vxtest::QpdfProblems(locked.Path(), "u"), "");
}

TEST(XmpDocument, InfoShowsPacketValuesWhereItHasNone) {
  TempFile in, out;
  in.Write(vxtest::PdfWithXmpPacket(PdfAPacket("From XMP"), "/Author (Info author)"));
  auto doc = vxtest::LoadBytes(in.Read());
  const TvxPDFInfo& info = doc->Info();
  EXPECT_EQ(info.Title(), u"From XMP");
  EXPECT_EQ(info.InfoText("/Title"), u"");
  EXPECT_EQ(info.Author(), u"Info author");  // /Info wins where it has a value
  EXPECT_EQ(info.CreationDate(), "D:20200102030405+01'00'");
  EXPECT_EQ(info.InfoDate("/CreationDate"), "");

  // Saving without a change leaves the packet's title, /Info does not
  // gain one it did not have, and the packet does not gain /Info's author.
  Save(*doc, out);
  std::string seen = Pikepdf(out.Path());
  EXPECT_TRUE(Has(seen, "xmptitle=From XMP")) << seen;
  EXPECT_EQ(seen.find("info/Title="), std::string::npos) << seen;
  EXPECT_EQ(seen.find("xmpcreator="), std::string::npos) << seen;

  // A title cleared through the setter reads empty, and the save clears it
  // in the packet too.
  doc->Info().SetTitle(u"");
  EXPECT_EQ(doc->Info().Title(), u"");
  TempFile cleared;
  Save(*doc, cleared);
  seen = Pikepdf(cleared.Path());
  EXPECT_EQ(seen.find("xmptitle="), std::string::npos) << seen;
  EXPECT_TRUE(Has(seen, "xmppart=1")) << seen;
}

TEST(XmpDocument, MalformedPacketIsKeptWithAWarningAndTheSaveSucceeds) {
  const std::string broken = "<?xpacket begin=\"\"?><x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF>";
  TempFile in, out;
  in.Write(vxtest::PdfWithXmpPacket(broken, "/Title (Old)"));
  auto doc = std::make_unique<TvxPDFDocument>();
  doc->SetShowSetupDialog(false);
  std::vector<std::string> warnings;
  doc->OnWarning = [&](TvxCustomPDFDocument&, const std::string& w) { warnings.push_back(w); };
  doc->LoadFromBytes(std::make_shared<const std::string>(in.Read()), "broken.pdf");
  ASSERT_TRUE(doc->IsLoaded());
  EXPECT_FALSE(doc->Info().Xmp());
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_EQ(warnings[0].rfind("The XMP metadata packet cannot be read (it is not well-formed XML (", 0), 0u) << warnings[0];

  doc->Info().SetTitle(u"New");
  ASSERT_TRUE(doc->SaveToFile(out.Path(), 2));
  ASSERT_EQ(warnings.size(), 2u) << "a changed field that does not reach the packet is named";
  EXPECT_EQ(warnings[1].rfind("The XMP metadata packet is kept as it is, not updated: it is not well-formed", 0), 0u)
      << warnings[1];
  EXPECT_NE(out.Read().find(broken), std::string::npos) << "the packet is written as it was";
  EXPECT_EQ(vxtest::QpdfProblems(out.Path()), "");
}

TEST(XmpDocument, PacketIsCreatedOnlyWhenAsked) {
  TempFile in, kept, created;
  in.Write(vxtest::SimplePdf(1, "", "/Title (Plain)"));
  auto doc = vxtest::LoadBytes(in.Read());
  ASSERT_FALSE(HasXmpPacket(*doc));
  Save(*doc, kept);
  EXPECT_EQ(kept.Read().find("/Metadata"), std::string::npos) << "no packet unless asked";

  ASSERT_TRUE(AddXmpPacket(*doc));
  EXPECT_FALSE(AddXmpPacket(*doc)) << "a second call adds nothing";
  doc->Info().SetSubject(u"Sub");
  Save(*doc, created);
  std::string seen = Pikepdf(created.Path());
  EXPECT_TRUE(Has(seen, "xmptitle=Plain")) << seen;
  EXPECT_TRUE(Has(seen, "xmpdescription=Sub")) << seen;
  EXPECT_TRUE(Has(seen, "xmpProducer=" + std::string(res::SProducerText))) << seen;
  EXPECT_TRUE(Has(seen, "filter=None")) << seen;
  EXPECT_EQ(vxtest::QpdfProblems(created.Path()), "");
}

namespace {

const std::string kRdfOpen = "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">";
const std::string kDc = " xmlns:dc=\"http://purl.org/dc/elements/1.1/\"";
const std::string kPdfNs = " xmlns:pdf=\"http://ns.adobe.com/pdf/1.3/\"";
const std::string kXmpNs = " xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\"";

std::string Wrapped(const std::string& descriptions) {
  return "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">" +
         kRdfOpen + descriptions + "</rdf:RDF></x:xmpmeta>\n<?xpacket end=\"w\"?>";
}

std::string Seq(std::initializer_list<const char*> items) {
  std::string s = "<rdf:Seq>";
  for (const char* i : items) s += std::string("<rdf:li>") + i + "</rdf:li>";
  return s + "</rdf:Seq>";
}

struct TvxPlainRow {
  const char* Name;
  std::string Packet, Info;
};

const std::string kFoldedName = Wrapped("<rdf:Description rdf:about=''" + kPdfNs +
                                        "><pdf:Producer>Maker</pdf:Producer><pdf:CreationDate>2003-11-01T16:19:32-05:00"
                                        "</pdf:CreationDate></rdf:Description>");

std::vector<TvxPlainRow> PlainRows() {
  const std::string fiveAuthors = "<dc:creator>" + Seq({"Ann", "Bob", "Cy", "Di", "Ed"}) + "</dc:creator>";
  return {
      // The older RDF form: no x:xmpmeta, descriptions with a bare about=''
      // beside one with rdf:about='', empty lists, PDF/A identification.
      {"older RDF form",
       "<?xpacket begin='' id='W5M0MpCehiHzreSzNTczkc9d'?>\n" + kRdfOpen +
           "<rdf:Description about=''" + kPdfNs + "><pdf:Producer>Maker</pdf:Producer></rdf:Description>"
           "<rdf:Description about=''" + kDc + "><dc:title><rdf:Alt><rdf:li xml:lang='x-default'>T</rdf:li></rdf:Alt>"
           "</dc:title><dc:creator><rdf:Seq/></dc:creator><dc:description><rdf:Alt/></dc:description></rdf:Description>"
           "<rdf:Description rdf:about='' xmlns:pdfaid='http://www.aiim.org/pdfa/ns/id/'><pdfaid:part>1</pdfaid:part>"
           "<pdfaid:conformance>B</pdfaid:conformance></rdf:Description></rdf:RDF>\n<?xpacket end='w'?>",
       "/Title (T) /Producer (Maker)"},
      {"five authors", Wrapped("<rdf:Description rdf:about=''" + kDc + ">" + fiveAuthors + "</rdf:Description>"),
       "/Author (Ann)"},
      {"a title of its own",
       Wrapped("<rdf:Description rdf:about=''" + kDc + "><dc:title><rdf:Alt><rdf:li xml:lang='x-default'>Packet"
               "</rdf:li></rdf:Alt></dc:title></rdf:Description>"),
       "/Title (Info)"},
      {"values of ()",
       Wrapped("<rdf:Description rdf:about=''" + kDc + kPdfNs + "><pdf:Keywords>()</pdf:Keywords><dc:creator>" +
               Seq({"()"}) + "</dc:creator><dc:description><rdf:Alt><rdf:li xml:lang='x-default'>()</rdf:li>"
               "</rdf:Alt></dc:description></rdf:Description>"),
       "/Keywords () /Author () /Subject ()"},
      // The toolkit folds this old name into xmp:CreateDate: the producer
      // is put in place instead, and no other byte changes.
      {"a name the toolkit folds", kFoldedName, "/Producer (Maker)"},
  };
}

struct TvxLoaded {
  std::unique_ptr<TvxPDFDocument> Doc = std::make_unique<TvxPDFDocument>();
  std::vector<std::string> Warnings;
  explicit TvxLoaded(const std::string& bytes) {
    Doc->SetShowSetupDialog(false);
    Doc->OnWarning = [this](TvxCustomPDFDocument&, const std::string& w) { Warnings.push_back(w); };
    Doc->LoadFromBytes(std::make_shared<const std::string>(bytes), "in.pdf");
  }
};

}  // namespace

TEST(XmpPlainSave, EveryPropertyButTheProducerKeepsItsValue) {
  for (const TvxPlainRow& row : PlainRows()) {
    SCOPED_TRACE(row.Name);
    TempFile in, out;
    in.Write(vxtest::PdfWithXmpPacket(row.Packet, row.Info));
    TvxLoaded loaded(in.Read());
    ASSERT_TRUE(loaded.Doc->IsLoaded());
    // The window sets the four fields it shows before every save.
    TvxPDFInfo& info = loaded.Doc->Info();
    info.SetTitle(info.Title());
    info.SetSubject(info.Subject());
    info.SetKeywords(info.Keywords());
    info.SetAuthor(info.Author());
    Save(*loaded.Doc, out);
    EXPECT_EQ(vxtest::XmpPropertyChanges(in.Path(), out.Path()), "");
    EXPECT_TRUE(loaded.Warnings.empty()) << loaded.Warnings[0];
    EXPECT_NE(out.Read().find(std::string(">") + res::SProducerText + "</pdf:Producer>"), std::string::npos);
  }
  // Put in place, the producer leaves every other byte of the packet; so
  // does a title the packet lacks, written as a new element.
  TempFile in, out, titled;
  in.Write(vxtest::PdfWithXmpPacket(kFoldedName, ""));
  TvxLoaded loaded(in.Read());
  Save(*loaded.Doc, out);
  std::string packet = kFoldedName;
  packet.replace(packet.find(">Maker<") + 1, 5, res::SProducerText);
  EXPECT_NE(out.Read().find(packet), std::string::npos);
  loaded.Doc->Info().SetTitle(u"New & <old>");
  Save(*loaded.Doc, titled);
  EXPECT_EQ(vxtest::XmpPropertyChanges(in.Path(), titled.Path()), "title: None -> {'x-default': 'New & <old>'}");
  EXPECT_TRUE(loaded.Warnings.empty()) << loaded.Warnings[0];
}

TEST(XmpChangedFields, OnlyTheirPropertiesChangeAndListsStayLists) {
  const std::string packet =
      Wrapped("<rdf:Description rdf:about=''" + kDc + kXmpNs +
              " xmlns:pdfaid='http://www.aiim.org/pdfa/ns/id/'><pdfaid:part>2</pdfaid:part><pdfaid:conformance>B"
              "</pdfaid:conformance><dc:creator>" + Seq({"Ann", "Bob", "Cy", "Di", "Ed"}) +
              "</dc:creator><dc:title><rdf:Alt><rdf:li xml:lang='x-default'>Packet</rdf:li></rdf:Alt></dc:title>"
              "<xmp:ModifyDate>2020-01-01T00:00:00Z</xmp:ModifyDate></rdf:Description>");
  TempFile in, out;
  in.Write(vxtest::PdfWithXmpPacket(packet, "/Author (Ann) /Title (Info) /ModDate (D:20240102030405Z)"));
  TvxLoaded loaded(in.Read());
  loaded.Doc->Info().SetAuthor(u"Zoe; Yan");
  Save(*loaded.Doc, out);
  EXPECT_EQ(vxtest::XmpPropertyChanges(in.Path(), out.Path()),
            "MetadataDate: None -> 2024-01-02T03:04:05Z\n"
            "ModifyDate: 2020-01-01T00:00:00Z -> 2024-01-02T03:04:05Z\n"
            "creator: ['Ann', 'Bob', 'Cy', 'Di', 'Ed'] -> ['Zoe', 'Yan']");
  const std::string seen = Pikepdf(out.Path());
  EXPECT_TRUE(Has(seen, "xmpcreator=['Zoe', 'Yan']")) << seen;
  EXPECT_TRUE(Has(seen, "info/Author=Zoe; Yan")) << seen;
  EXPECT_TRUE(Has(seen, "xmptitle=Packet")) << "a field nobody changed: " << seen;
  EXPECT_TRUE(loaded.Warnings.empty());
}

// A change the toolkit cannot make without a loss, or at all, keeps the
// packet byte for byte and says why.
TEST(XmpChangedFields, ChangeTheToolkitCannotMakeKeepsThePacket) {
  EXPECT_EQ(CharacterXmpCannotHold(u"ok \U0001F600 \t"), 0u);
  EXPECT_EQ(CharacterXmpCannotHold(u"a\uFFFEb"), 0xFFFEu);
  const struct {
    std::string Packet;
    std::u16string Title;
    const char* Why;
  } rows[] = {
      {Wrapped("<rdf:Description rdf:about=''" + kPdfNs + kDc + "><dc:title><rdf:Alt><rdf:li xml:lang='x-default'>"
               "Old</rdf:li></rdf:Alt></dc:title><pdf:CreationDate>2003-11-01T16:19:32-05:00</pdf:CreationDate>"
               "</rdf:Description>"),
       u"New", "the XMP toolkit would drop CreationDate"},
      {vxtest::SampleXmpPacket("Old"), u"a\uFFFFb", "the XMP toolkit "},
      // Thousands of fields 85 levels down: the toolkit indents each line
      // by its depth, and the packet would grow many times over.
      {Wrapped("<rdf:Description rdf:about='' xmlns:a='http://example.com/a/'" + kDc +
               "><dc:title><rdf:Alt><rdf:li xml:lang='x-default'>Old</rdf:li></rdf:Alt></dc:title>" + [] {
         std::string fields, open, close;
         for (int i = 0; i < 5000; ++i) fields += "<a:f" + std::to_string(i) + ">x</a:f" + std::to_string(i) + ">";
         for (int i = 0; i < 85; ++i) open += "<a:s rdf:parseType='Resource'>", close += "</a:s>";
         return open + fields + close;
       }() + "</rdf:Description>"),
       u"New", "its update would grow it from "},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Why);
    TempFile in, out;
    in.Write(vxtest::PdfWithXmpPacket(row.Packet, ""));
    TvxLoaded loaded(in.Read());
    loaded.Doc->Info().SetTitle(row.Title);
    Save(*loaded.Doc, out);
    ASSERT_EQ(loaded.Warnings.size(), 1u);
    EXPECT_EQ(loaded.Warnings[0].rfind(std::string("The XMP metadata packet is kept as it is, not updated: ") + row.Why, 0), 0u)
        << loaded.Warnings[0];
    EXPECT_NE(out.Read().find(row.Packet), std::string::npos);
  }
}
