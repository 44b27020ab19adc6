// Encoded data checked by software nobody here wrote: each encoder's output
// (and the test LZW encoder's) is put into a small PDF and qpdf decodes it.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

#include "pdf/filters/vxFilters.h"
#include "tests/pdf/filters/FilterTestSupport.h"
#include "tests/pdf/filters/LzwTestEncoder.h"

using namespace vx;

namespace {

struct StreamCase {
  std::string label;
  std::string filter;  // the /Filter value as written
  std::string encoded;
  std::string expected;
};

// A minimal PDF whose objects 3, 4, ... are the streams of `cases`.
std::string BuildPdf(const std::vector<StreamCase>& cases) {
  std::string pdf = "%PDF-1.4\n";
  std::vector<size_t> offsets;
  auto object = [&](const std::string& body) {
    offsets.push_back(pdf.size());
    pdf += std::to_string(offsets.size()) + " 0 obj\n" + body + "\nendobj\n";
  };
  object("<< /Type /Catalog /Pages 2 0 R >>");
  object("<< /Type /Pages /Kids [] /Count 0 >>");
  for (const auto& c : cases)
    object("<< /Length " + std::to_string(c.encoded.size()) + " /Filter " + c.filter +
           " >>\nstream\n" + c.encoded + "\nendstream");
  size_t xref = pdf.size();
  pdf += "xref\n0 " + std::to_string(offsets.size() + 1) + "\n0000000000 65535 f \n";
  for (size_t off : offsets) {
    char line[21];
    std::snprintf(line, sizeof line, "%010zu 00000 n \n", off);
    pdf += line;
  }
  pdf += "trailer\n<< /Size " + std::to_string(offsets.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
         std::to_string(xref) + "\n%%EOF\n";
  return pdf;
}

std::string RunCommand(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return out;
  char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
  pclose(pipe);
  return out;
}

}  // namespace

TEST(FilterInterop, QpdfDecodesWhatTheEncodersWrite) {
  vxtest::Random rnd(61);
  const std::string text = vxtest::WordSoup(rnd, 300000);
  const std::string noise = vxtest::RandomBytes(rnd, 20000);
  std::string runs;
  while (runs.size() < 50000) runs.append(1 + rnd.Below(300), char(rnd.Below(4)));

  std::vector<StreamCase> cases;
  for (uint8_t level = 0; level <= 3; ++level)
    cases.push_back({"Flate level " + std::to_string(level), "/FlateDecode",
                     TvxFlateFilter().CompressString(text, level), text});
  cases.push_back({"RunLength runs", "/RunLengthDecode", TvxRLEFilter().EncodeString(runs), runs});
  cases.push_back({"RunLength noise", "/RunLengthDecode", TvxRLEFilter().EncodeString(noise), noise});
  cases.push_back({"ASCIIHex", "/ASCIIHexDecode", TvxAsciiHexFilter().EncodeString(noise), noise});
  for (size_t tail = 0; tail < 4; ++tail) {
    std::string data = noise.substr(0, 1000 + tail) + std::string(8, '\0');
    data += std::string(tail, '\xFF');
    cases.push_back({"ASCII85 tail " + std::to_string(tail), "/ASCII85Decode",
                     TvxAscii85Filter().EncodeString(data), data});
  }
  for (int clearAt : {4096, 4094, 700})
    cases.push_back({"LZW clear at " + std::to_string(clearAt), "/LZWDecode",
                     vxtest::LzwEncode(text, clearAt).bytes, text});

  namespace fs = std::filesystem;
  fs::path file = fs::temp_directory_path() / ("vx-filter-interop-" + std::to_string(getpid()) + ".pdf");
  {
    std::ofstream out(file, std::ios::binary);
    out << BuildPdf(cases);
  }
  ASSERT_EQ(RunCommand("qpdf --check '" + file.string() + "' >/dev/null 2>&1 && echo ok"), "ok\n");
  for (size_t i = 0; i < cases.size(); ++i) {
    std::string decoded = RunCommand("qpdf --decode-level=specialized --show-object=" + std::to_string(i + 3) +
                              " --filtered-stream-data '" + file.string() + "' 2>/dev/null");
    EXPECT_EQ(decoded.size(), cases[i].expected.size()) << cases[i].label;
    EXPECT_TRUE(decoded == cases[i].expected) << cases[i].label;
  }
  fs::remove(file);
}
