// XMP read by a second parser (tests/support/xmp_properties.py, Python's
// XML parser): both RDF spellings give the same properties, and the judge
// that compares packets by them catches each property lost or changed.
#include <gtest/gtest.h>

#include <memory>
#include <nlohmann/json.hpp>

#include "support/OtherReaderJudge.h"
#include "support/PdfBuilder.h"

namespace {

const std::string kNamespaces =
    " xmlns:dc='http://purl.org/dc/elements/1.1/' xmlns:pdf='http://ns.adobe.com/pdf/1.3/'"
    " xmlns:pdfaid='http://www.aiim.org/pdfa/ns/id/'";

// The older spelling: several descriptions, `about` without its prefix,
// properties as attributes, an empty list and `()` values.
const std::string kOldStyle =
    "<rdf:Description about=''" + kNamespaces + " pdfaid:part='1' pdfaid:conformance='B'/>"
    "<rdf:Description about=''" + kNamespaces + "><pdf:Keywords>()</pdf:Keywords></rdf:Description>"
    "<rdf:Description rdf:about=''" + kNamespaces + ">"
    "<dc:creator><rdf:Seq><rdf:li>Ann</rdf:li><rdf:li>Bob</rdf:li><rdf:li>Cy</rdf:li></rdf:Seq></dc:creator>"
    "<dc:subject><rdf:Bag/></dc:subject>"
    "<dc:description><rdf:Alt><rdf:li xml:lang='x-default'>()</rdf:li></rdf:Alt></dc:description>"
    "</rdf:Description>";

// The same properties as one description of elements.
const std::string kNewStyle =
    "<rdf:Description rdf:about=''" + kNamespaces + "><pdfaid:part>1</pdfaid:part>"
    "<pdfaid:conformance>B</pdfaid:conformance><pdf:Keywords>()</pdf:Keywords>"
    "<dc:creator><rdf:Seq><rdf:li>Ann</rdf:li><rdf:li>Bob</rdf:li><rdf:li>Cy</rdf:li></rdf:Seq></dc:creator>"
    "<dc:subject><rdf:Bag></rdf:Bag></dc:subject>"
    "<dc:description><rdf:Alt><rdf:li xml:lang='x-default'>()</rdf:li></rdf:Alt></dc:description>"
    "<pdf:Producer>Vordel</pdf:Producer></rdf:Description>";

std::string WithPacket(const std::string& descriptions) {
  vxtest::PdfBuilder b;
  vxtest::AddSimplePages(b, 1, "/Metadata 10 0 R", [](int) { return ""; });
  b.Stream(10, "/Type /Metadata /Subtype /XML",
           "<?xpacket begin='' id='W5M0MpCehiHzreSzNTczkc9d'?><x:xmpmeta xmlns:x='adobe:ns:meta/'>"
           "<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>" +
               descriptions + "</rdf:RDF></x:xmpmeta><?xpacket end='w'?>");
  b.FinishWithTable("/Root 1 0 R");
  return b.Bytes();
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  return text.replace(text.find(from), from.size(), to);
}

}  // namespace

TEST(XmpProperties, BothRdfSpellingsReadAsTheSamePropertiesFromTheCommandLine) {
  vxtest::TempFile old;
  old.Write(WithPacket(kOldStyle));
  std::string out;
  ASSERT_EQ(vxtest::RunCommand("/usr/bin/python3 " + vxtest::Quote(std::string(VX_SOURCE_DIR) +
                                                                   "/tests/support/xmp_properties.py") +
                                   " " + vxtest::Quote(old.Path()),
                               &out, false),
            0);
  const nlohmann::json props = nlohmann::json::parse(out);
  EXPECT_EQ(props, nlohmann::json::parse(R"j({
    "{http://www.aiim.org/pdfa/ns/id/}part": "1", "{http://www.aiim.org/pdfa/ns/id/}conformance": "B",
    "{http://ns.adobe.com/pdf/1.3/}Keywords": "()",
    "{http://purl.org/dc/elements/1.1/}creator": ["Ann", "Bob", "Cy"],
    "{http://purl.org/dc/elements/1.1/}subject": [],
    "{http://purl.org/dc/elements/1.1/}description": {"x-default": "()"}})j"));
}

TEST(XmpProperties, TheJudgeComparesPacketsByPropertiesAndCatchesEachLoss) {
  // Output packets and whether the judge must find them different.
  const std::vector<std::pair<std::string, bool>> cases = {
      {kNewStyle, false},  // the producer follows the save
      {Replaced(kNewStyle, "<pdfaid:part>1</pdfaid:part><pdfaid:conformance>B</pdfaid:conformance>", ""), true},
      {Replaced(kNewStyle, "<rdf:li>Bob</rdf:li><rdf:li>Cy</rdf:li>", ""), true},
      {Replaced(kNewStyle, "<rdf:li>Ann</rdf:li><rdf:li>Bob</rdf:li>", "<rdf:li>Bob</rdf:li><rdf:li>Ann</rdf:li>"), true},
      {Replaced(kNewStyle, "<dc:subject><rdf:Bag></rdf:Bag></dc:subject>", ""), true},
      {Replaced(kNewStyle, "<pdf:Keywords>()</pdf:Keywords>", ""), true},
  };
  vxtest::TempFile source;
  source.Write(WithPacket(kOldStyle));
  std::vector<std::unique_ptr<vxtest::TempFile>> outputs;
  std::vector<vxtest::JudgePair> pairs;
  for (const auto& [descriptions, differs] : cases) {
    outputs.push_back(std::make_unique<vxtest::TempFile>());
    outputs.back()->Write(WithPacket(descriptions));
    pairs.push_back({source.Path(), outputs.back()->Path(), {}});
  }
  const std::vector<vxtest::JudgeVerdict> verdicts = vxtest::JudgeManyAsOtherReader(pairs);
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE("case " + std::to_string(i));
    EXPECT_EQ(verdicts[i].status, cases[i].second ? 1 : 0) << verdicts[i].Text();
    EXPECT_EQ(verdicts[i].Mentions("/Root/Metadata(data)"), cases[i].second) << verdicts[i].Text();
  }
}
