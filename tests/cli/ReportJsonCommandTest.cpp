// Machine-readable results: `set --report json` lines and the version of the
// `info --json` layout, as a pipeline reads them.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <vector>

#include "support/PdfBuilder.h"

using vxtest::Quote;
using vxtest::RunCommand;
using vxtest::TempFile;

namespace {

std::string Vordel() { return VORDEL_BINARY; }

std::string EncryptedCorpusFile() { return vxtest::CorpusDir() + "/qpdf-tests/enc-R2,V1,U=view,O=master.pdf"; }

// Each line of standard output as a JSON object, keyed by its "path".
std::map<std::string, nlohmann::json> ReportByPath(const std::string& out) {
  std::map<std::string, nlohmann::json> lines;
  std::istringstream in(out);
  std::string line;
  while (std::getline(in, line)) {
    nlohmann::json j = nlohmann::json::parse(line);  // throws (fails the test) on anything but JSON
    EXPECT_TRUE(j.is_object()) << line;
    EXPECT_EQ(lines.count(j["path"]), 0u) << "reported twice: " << line;
    lines[j["path"]] = j;
  }
  return lines;
}

}  // namespace

TEST(VordelReportJson, OneLinePerInputWithItsOutcome) {
  VX_NEEDS_CORPUS();
  const std::filesystem::path dir = std::filesystem::path(::testing::TempDir()) / "vordel-report-json";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir / "in");
  std::filesystem::create_directories(dir / "out");
  const std::string good = (dir / "in" / "good.pdf").string();
  const std::string damaged = (dir / "in" / "damaged.pdf").string();
  const std::string missing = (dir / "in" / "missing.pdf").string();
  {
    std::string bytes = vxtest::SimplePdf(3);
    TempFile g;
    g.Write(bytes);
    std::filesystem::copy_file(g.Path(), good);
    // No cross-reference section: read by scanning, with a warning.
    TempFile d;
    d.Write(bytes.substr(0, bytes.rfind("startxref")));
    std::filesystem::copy_file(d.Path(), damaged);
  }
  std::string out;
  int code = RunCommand(Vordel() + " set --report json -j 2 --title Reported --output-dir " + Quote((dir / "out").string()) +
                            " " + Quote(good) + " " + Quote(damaged) + " " + Quote(missing) + " " +
                            Quote(EncryptedCorpusFile()) + " 2>/dev/null",
                        &out, false);
  EXPECT_EQ(code, 3);  // the highest of the files' codes
  auto lines = ReportByPath(out);
  ASSERT_EQ(lines.size(), 4u) << out;

  const nlohmann::json& done = lines[good];
  for (const char* key : {"path", "output", "status", "exit", "message", "pages", "seconds", "warnings"})
    EXPECT_TRUE(done.contains(key)) << key << " missing in " << done.dump();
  EXPECT_EQ(done["status"], "done");
  EXPECT_EQ(done["exit"], 0);
  EXPECT_EQ(done["message"], "");
  EXPECT_EQ(done["pages"], 3);
  EXPECT_TRUE(done["seconds"].is_number() && done["seconds"] >= 0);
  EXPECT_EQ(done["output"], (dir / "out" / "good.pdf").string());
  EXPECT_TRUE(std::filesystem::exists(done["output"].get<std::string>()));

  const nlohmann::json& repaired = lines[damaged];
  EXPECT_EQ(repaired["status"], "done");
  EXPECT_EQ(repaired["pages"], 3);
  ASSERT_TRUE(repaired["warnings"].is_array());
  EXPECT_FALSE(repaired["warnings"].empty()) << repaired.dump();

  const nlohmann::json& absent = lines[missing];
  EXPECT_EQ(absent["status"], "failed");
  EXPECT_EQ(absent["exit"], 2);
  EXPECT_TRUE(absent["pages"].is_null());
  EXPECT_NE(absent["message"].get<std::string>().find("not written"), std::string::npos) << absent.dump();
  EXPECT_FALSE(std::filesystem::exists((dir / "out" / "missing.pdf")));

  const nlohmann::json& locked = lines[EncryptedCorpusFile()];
  EXPECT_EQ(locked["status"], "failed");
  EXPECT_EQ(locked["exit"], 3);

  // The file written carries the setting, as another reader sees it.
  std::string title;
  RunCommand("pdfinfo " + Quote((dir / "out" / "good.pdf").string()) + " | grep '^Title:'", &title);
  EXPECT_NE(title.find("Reported"), std::string::npos) << title;
  std::filesystem::remove_all(dir);
}

TEST(VordelReportJson, ReportThatCannotBeWrittenIsAFailure) {
  TempFile in, out;
  in.Write(vxtest::SimplePdf(1));
  std::string errors;
  // Standard output closed: the saves are done, but nobody got the report.
  int code = RunCommand("{ " + Vordel() + " set -q --report json " + Quote(in.Path()) + " -o " + Quote(out.Path()) +
                            " 2>&1 >&- ; }",
                        &errors, false);
  EXPECT_EQ(code, 4);
  EXPECT_NE(errors.find("cannot write output"), std::string::npos) << errors;
  // A reader that went away (the pipe's other end closed) ends neither the
  // process nor the batch: every file is saved, and the lost report is exit 4.
  const std::filesystem::path dir = std::filesystem::path(::testing::TempDir()) / "vordel-report-closed-pipe";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir / "out");
  std::vector<std::string> inputs;
  for (const char* name : {"a.pdf", "b.pdf", "c.pdf"}) {
    inputs.push_back((dir / name).string());
    in.Write(vxtest::SimplePdf(1));
    std::filesystem::copy_file(in.Path(), inputs.back());
  }
  const std::string closedPipe =
      "python3 -c 'import os, subprocess, sys; r, w = os.pipe(); os.close(r); "
      "sys.exit(subprocess.call(sys.argv[1:], stdout=w))' ";
  code = RunCommand("{ " + closedPipe + Vordel() + " set -q -j 1 --report json --output-dir " + Quote((dir / "out").string()) +
                        " " + Quote(inputs[0]) + " " + Quote(inputs[1]) + " " + Quote(inputs[2]) + " 2>&1 ; }",
                    &errors, false);
  EXPECT_EQ(code, 4) << errors;
  EXPECT_NE(errors.find("cannot write output"), std::string::npos) << errors;
  for (const char* name : {"a.pdf", "b.pdf", "c.pdf"})
    EXPECT_TRUE(std::filesystem::exists(dir / "out" / name)) << name << " not saved";
  std::filesystem::remove_all(dir);

  // Without --report nothing goes to standard output, so a closed one is fine.
  EXPECT_EQ(RunCommand(Vordel() + " set -q " + Quote(in.Path()) + " -o " + Quote(out.Path()) + " >&-", nullptr, false), 0);
  EXPECT_EQ(RunCommand(Vordel() + " set --report xml " + Quote(in.Path()) + " -o " + Quote(out.Path())), 1);
}

TEST(VordelReportJson, InfoJsonCarriesItsSchemaVersion) {
  TempFile in;
  in.Write(vxtest::SimplePdf(2));
  std::string out;
  ASSERT_EQ(RunCommand(Vordel() + " info --json " + Quote(in.Path()) + " " + Quote(in.Path()), &out, false), 0);
  nlohmann::ordered_json all = nlohmann::ordered_json::parse(out);
  ASSERT_TRUE(all.is_array());
  for (const auto& one : all) {
    EXPECT_EQ(one["schema_version"], 1);
    EXPECT_EQ(one.begin().key(), "schema_version");  // first, so a reader can dispatch on it
  }
}
