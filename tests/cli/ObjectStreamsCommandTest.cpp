// `vordel set --object-streams`: the version rule (a lower version asked
// for is a usage error, no version asked for is raised to 1.5), and what qpdf
// finds in the files written.
#include <gtest/gtest.h>

#include <filesystem>

#include "cli/VordelRun.h"
#include "support/PdfBuilder.h"

using vxtest::Quote;
using vxtest::RunCommand;
using vxtest::TempFile;

namespace {

bool PackedByQpdf(const std::string& path) {
  std::string xref;
  EXPECT_EQ(RunCommand("qpdf --show-xref " + Quote(path), &xref), 0) << xref;
  return xref.find(": compressed;") != std::string::npos;
}

}  // namespace

TEST(VordelObjectStreams, VersionRuleAndTheLayoutsWritten) {
  TempFile in, out;
  in.Write(vxtest::SimplePdf(3, "", "/Title (Three)"));  // PDF 1.4
  std::filesystem::remove(out.Path());
  std::string said;

  // Asked for together with an older version: nothing is written.
  EXPECT_EQ(Vordel("set --object-streams generate --pdf-version 1.4 " + Quote(in.Path()) + " -o " + Quote(out.Path()),
                   &said),
            1);
  EXPECT_NE(said.find("--object-streams generate needs PDF 1.5 or later, not --pdf-version 1.4"), std::string::npos)
      << said;
  EXPECT_FALSE(std::filesystem::exists(out.Path()));
  EXPECT_EQ(Vordel("set --object-streams sometimes " + Quote(in.Path()) + " -o " + Quote(out.Path())), 1);
  EXPECT_FALSE(std::filesystem::exists(out.Path()));

  // No version asked for: the header becomes 1.5.
  ASSERT_EQ(Vordel("set -q --object-streams generate " + Quote(in.Path()) + " -o " + Quote(out.Path()), &said), 0)
      << said;
  EXPECT_EQ(out.Read().rfind("%PDF-1.5", 0), 0u);
  EXPECT_TRUE(PackedByQpdf(out.Path()));
  EXPECT_EQ(RunCommand("qpdf --check " + Quote(out.Path())), 0);
  std::string pages;
  RunCommand("qpdf --show-npages " + Quote(out.Path()), &pages, false);
  EXPECT_EQ(pages, "3\n");

  // A newer version asked for is kept; "preserve" of that file keeps its
  // object streams, "disable" (the default) writes a classic table.
  TempFile again;
  ASSERT_EQ(Vordel("set -q --object-streams generate --pdf-version 2.0 " + Quote(in.Path()) + " -o " +
                   Quote(again.Path())),
            0);
  EXPECT_EQ(again.Read().rfind("%PDF-2.0", 0), 0u);
  ASSERT_EQ(Vordel("set -q --object-streams preserve " + Quote(out.Path()) + " -o " + Quote(again.Path())), 0);
  EXPECT_TRUE(PackedByQpdf(again.Path()));
  ASSERT_EQ(Vordel("set -q " + Quote(out.Path()) + " -o " + Quote(again.Path())), 0);
  EXPECT_FALSE(PackedByQpdf(again.Path()));
  EXPECT_NE(again.Read().find("\r\nxref\r\n"), std::string::npos);
}
