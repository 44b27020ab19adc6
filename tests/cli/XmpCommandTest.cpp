// The XMP packet through the command line: values shown where /Info has
// none, both sets in the JSON, --xmp create, and exiftool's view of the
// packet after `vordel set`.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/VordelRun.h"
#include "support/PdfBuilder.h"

using vxtest::Quote;
using vxtest::RunCommand;
using vxtest::TempFile;

namespace {

nlohmann::json InfoJson(const std::string& path) {
  std::string out;
  EXPECT_EQ(Vordel("info --json " + Quote(path), &out, false), 0) << out;
  return nlohmann::json::parse(out);
}

// A file whose packet has a title, two authors and a creation date that
// /Info lacks (/Info holds only the producer).
std::string PacketOnlyPdf() { return vxtest::PdfWithXmpPacket(vxtest::SampleXmpPacket("Packet title"), "/Producer (Maker)"); }

// What exiftool reads from the packet (-a: a tag /Info also has, like
// Keywords, is otherwise listed only once).
std::string Exiftool(const std::string& path) {
  std::string out;
  EXPECT_EQ(RunCommand("exiftool -a -XMP:All -s " + Quote(path), &out, false), 0) << "exiftool is needed: " << out;
  return out;
}

}  // namespace

TEST(VordelXmp, InfoShowsPacketValuesAndJsonCarriesBoth) {
  TempFile in;
  in.Write(PacketOnlyPdf());
  std::string text;
  ASSERT_EQ(Vordel("info " + Quote(in.Path()), &text, false), 0);
  EXPECT_NE(text.find("Title:              Packet title\n"), std::string::npos) << text;
  EXPECT_NE(text.find("Author:             Ann; Bob\n"), std::string::npos) << text;
  EXPECT_NE(text.find("Created:            D:20210304050607Z\n"), std::string::npos) << text;
  EXPECT_NE(text.find("Producer:           Maker\n"), std::string::npos) << text;

  nlohmann::json j = InfoJson(in.Path());
  EXPECT_EQ(j["info"]["Title"], "");
  EXPECT_EQ(j["info"]["Producer"], "Maker");
  ASSERT_TRUE(j.contains("xmp")) << j.dump();
  EXPECT_EQ(j["xmp"]["Title"], "Packet title");
  EXPECT_EQ(j["xmp"]["Author"], "Ann; Bob");
  EXPECT_EQ(j["xmp"]["CreationDate"], "D:20210304050607Z");
  EXPECT_TRUE(j["xmp"]["Producer"].is_null());

  // A file without a packet has no "xmp".
  TempFile plain;
  plain.Write(vxtest::SimplePdf(1, "", "/Title (T)"));
  EXPECT_FALSE(InfoJson(plain.Path()).contains("xmp"));
}

TEST(VordelXmp, SetUpdatesThePacketAsOtherReadersSeeIt) {
  TempFile in, out;
  in.Write(PacketOnlyPdf());
  std::string said;
  ASSERT_EQ(Vordel("set -q --title 'New \xC3\xA9t\xC3\xA9' --subject S --keywords K -o " + Quote(out.Path()) + " " +
                       Quote(in.Path()),
                   &said),
            0)
      << said;
  std::string seen = Exiftool(out.Path());
  EXPECT_NE(seen.find("Title                           : New \xC3\xA9t\xC3\xA9"), std::string::npos) << seen;
  EXPECT_NE(seen.find("Description                     : S"), std::string::npos) << seen;
  EXPECT_NE(seen.find("Keywords                        : K"), std::string::npos) << seen;
  // The two authors stay two: /Info never said otherwise.
  EXPECT_NE(seen.find("Creator                         : Ann, Bob"), std::string::npos) << seen;
  EXPECT_NE(seen.find("CreateDate                      : 2021:03:04 05:06:07Z"), std::string::npos) << seen;
  nlohmann::json j = InfoJson(out.Path());
  EXPECT_EQ(j["info"]["Title"], j["xmp"]["Title"]);
  EXPECT_EQ(j["info"]["Keywords"], "K");
}

TEST(VordelXmp, CreateAddsAPacketOnlyWhenAsked) {
  TempFile in, kept, created;
  in.Write(vxtest::SimplePdf(1, "", "/Title (Plain) /Author (Ann)"));
  ASSERT_EQ(Vordel("set -q -o " + Quote(kept.Path()) + " " + Quote(in.Path())), 0);
  EXPECT_FALSE(InfoJson(kept.Path()).contains("xmp"));
  ASSERT_EQ(Vordel("set -q --xmp keep -o " + Quote(kept.Path()) + " " + Quote(in.Path())), 0);
  EXPECT_FALSE(InfoJson(kept.Path()).contains("xmp"));

  ASSERT_EQ(Vordel("set -q --xmp create -o " + Quote(created.Path()) + " " + Quote(in.Path())), 0);
  nlohmann::json j = InfoJson(created.Path());
  ASSERT_TRUE(j.contains("xmp")) << j.dump();
  EXPECT_EQ(j["xmp"]["Title"], "Plain");
  EXPECT_EQ(j["xmp"]["Author"], "Ann");
  std::string seen = Exiftool(created.Path());
  EXPECT_NE(seen.find("Title                           : Plain"), std::string::npos) << seen;

  std::string said;
  EXPECT_NE(Vordel("set -q --xmp sometimes -o " + Quote(created.Path()) + " " + Quote(in.Path()), &said, false), 0);
}

TEST(VordelXmp, PlainSaveKeepsWhatExiftoolSees) {
  // Five authors, a title of the packet's own, PDF/A identification and an
  // older date name, none of which /Info says the same way.
  const std::string packet =
      "<?xpacket begin='' id='W5M0MpCehiHzreSzNTczkc9d'?><x:xmpmeta xmlns:x='adobe:ns:meta/'>"
      "<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'><rdf:Description rdf:about=''"
      " xmlns:dc='http://purl.org/dc/elements/1.1/' xmlns:pdf='http://ns.adobe.com/pdf/1.3/'"
      " xmlns:pdfaid='http://www.aiim.org/pdfa/ns/id/'><pdfaid:part>1</pdfaid:part><pdfaid:conformance>B"
      "</pdfaid:conformance><dc:creator><rdf:Seq><rdf:li>Ann</rdf:li><rdf:li>Bob</rdf:li><rdf:li>Cy</rdf:li>"
      "<rdf:li>Di</rdf:li><rdf:li>Ed</rdf:li></rdf:Seq></dc:creator><dc:title><rdf:Alt><rdf:li xml:lang='x-default'>"
      "Packet title</rdf:li></rdf:Alt></dc:title><pdf:CreationDate>2003-11-01T16:19:32-05:00</pdf:CreationDate>"
      "<pdf:Producer>Maker</pdf:Producer></rdf:Description></rdf:RDF></x:xmpmeta><?xpacket end='w'?>";
  TempFile in, out;
  in.Write(vxtest::PdfWithXmpPacket(packet, "/Title (Info title) /Author (Ann) /Keywords () /Producer (Maker)"));
  std::string said;
  ASSERT_EQ(Vordel("set -q -o " + Quote(out.Path()) + " " + Quote(in.Path()), &said), 0) << said;
  EXPECT_EQ(said, "");
  auto withoutProducer = [](const std::string& lines) {
    std::string kept;
    std::istringstream in(lines);
    for (std::string line; std::getline(in, line);)
      if (line.rfind("Producer ", 0) != 0) kept += line + "\n";
    return kept;
  };
  const std::string before = Exiftool(in.Path()), after = Exiftool(out.Path());
  EXPECT_EQ(withoutProducer(after), withoutProducer(before));
  EXPECT_NE(after.find("Producer                        : Vexor Paginox V2.5"), std::string::npos) << after;
  EXPECT_NE(after.find("Creator                         : Ann, Bob, Cy, Di, Ed"), std::string::npos) << after;
}
