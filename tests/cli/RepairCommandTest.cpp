// vordel on files whose cross-reference data had to be rebuilt: info says so
// in both forms, set writes a clean file, and what cannot be read is refused
// with the library's message.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "cli/VordelRun.h"
#include "support/PdfBuilder.h"

using vxtest::Quote;
using vxtest::RunCommand;
using vxtest::TempFile;

TEST(VordelRepair, InfoSaysRepairedAndSetWritesACleanFile) {
  const std::string good = vxtest::SimplePdf(2, "", "/Title (Two pages)");
  TempFile damaged, clean, output;
  damaged.Write(good.substr(0, good.rfind("startxref")));
  clean.Write(good);

  std::string text;
  ASSERT_EQ(Vordel("info " + Quote(damaged.Path()), &text, false), 0) << text;
  EXPECT_NE(text.find("\nPages:              2\nRepaired:           yes\n"), std::string::npos) << text;
  std::string json;
  ASSERT_EQ(Vordel("info --json " + Quote(damaged.Path()), &json, false), 0) << json;
  EXPECT_EQ(nlohmann::json::parse(json)["repaired"], true);

  ASSERT_EQ(Vordel("info " + Quote(clean.Path()), &text, false), 0) << text;
  EXPECT_EQ(text.find("Repaired:"), std::string::npos) << text;
  ASSERT_EQ(Vordel("info --json " + Quote(clean.Path()), &json, false), 0) << json;
  EXPECT_EQ(nlohmann::json::parse(json)["repaired"], false);

  // The saved copy is whole, needs no repair, and qpdf finds nothing wrong.
  std::string said;
  ASSERT_EQ(Vordel("set --fit-window " + Quote(damaged.Path()) + " -o " + Quote(output.Path()), &said, true), 0)
      << said;
  std::string check;
  EXPECT_EQ(RunCommand("qpdf --check " + Quote(output.Path()), &check), 0) << check;
  ASSERT_EQ(Vordel("info --json " + Quote(output.Path()), &json, false), 0) << json;
  auto saved = nlohmann::json::parse(json);
  EXPECT_EQ(saved["repaired"], false);
  EXPECT_EQ(saved["pages"], 2);
  EXPECT_EQ(saved["viewerPreferences"]["fitWindow"], true);
  EXPECT_EQ(saved["info"]["Title"], "Two pages");
}

TEST(VordelRepair, UnreadableFilesAreRefusedWithTheLibraryMessage) {
  // Nothing in the file is a catalog.
  TempFile noCatalog;
  noCatalog.Write("%PDF-1.4\n1 0 obj\n<< /Type /Pages /Kids [] /Count 0 >>\nendobj\n");
  std::string said;
  EXPECT_EQ(Vordel("info " + Quote(noCatalog.Path()), &said, true), 2);
  EXPECT_TRUE(said.ends_with("\nvordel: " + noCatalog.Path() + ": File is corrupted\n")) << said;

  // A cross-reference stream in a filter the reader lacks.
  vxtest::PdfBuilder b;
  vxtest::AddSimplePages(b, 1, "", [](int) { return ""; });
  b.FinishWithStream(5, "/Root 1 0 R");
  std::string bytes = b.Bytes();
  bytes.insert(bytes.find("/Type /XRef"), "/Filter /NoSuchFilter ");
  TempFile filtered;
  filtered.Write(bytes);
  EXPECT_EQ(Vordel("info " + Quote(filtered.Path()), &said, true), 2);
  EXPECT_EQ(said, "vordel: " + filtered.Path() + ": Unsupported filter (/NoSuchFilter)\n");
}
