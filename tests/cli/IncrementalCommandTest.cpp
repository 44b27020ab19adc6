// `vordel set` on signed files: saved as an incremental update so that the
// signature stays valid (as Poppler's pdfsig judges it), a full rewrite only
// on --rewrite and with a warning; `vordel info` counts signatures and
// revisions. The signed file is made here with OpenSSL.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "cli/VordelRun.h"
#include "support/PdfBuilder.h"

using vxtest::Quote;
using vxtest::RunCommand;
using vxtest::TempFile;

namespace {

// A one-page PDF with one filled signature field, signed over its byte
// ranges by a fresh self-signed certificate.
void MakeSignedPdf(const TempFile& target) {
  TempFile work("");
  std::string out;
  const std::string script = std::string(VX_SOURCE_DIR) + "/tests/support/make_signed_pdf.py";
  ASSERT_EQ(RunCommand("/usr/bin/python3 " + Quote(script) + " " + Quote(target.Path()) + " " + Quote(work.Path() + ".d") +
                           " && rm -rf " + Quote(work.Path() + ".d"),
                       &out),
            0)
      << "openssl is needed: " << out;
}

// pdfsig's verdict on the first signature.
std::string SignatureVerdict(const std::string& path) {
  std::string out;
  RunCommand("pdfsig " + Quote(path), &out);
  size_t at = out.find("Signature Validation:");
  EXPECT_NE(at, std::string::npos) << "pdfsig is needed and must see the signature: " << out;
  if (at == std::string::npos) return out;
  return out.substr(at, out.find('\n', at) - at);
}

const std::string kValid = "Signature Validation: Signature is Valid.";

std::string Pike(const std::string& path, const std::string& expression) {
  std::string out;
  int status = RunCommand("/usr/bin/python3 -c " +
                              Quote("import pikepdf,sys\npdf=pikepdf.open(sys.argv[1])\nprint(" + expression + ")") + " " +
                              Quote(path),
                          &out, false);
  EXPECT_EQ(status, 0) << "pikepdf is needed: " << out;
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

}  // namespace

TEST(VordelIncremental, SignedFileIsUpdatedAndItsSignatureStaysValid) {
  TempFile in, out, rewritten;
  MakeSignedPdf(in);
  ASSERT_EQ(SignatureVerdict(in.Path()), kValid);

  std::string said;
  ASSERT_EQ(Vordel("set --title New --page-mode outlines " + Quote(in.Path()) + " -o " + Quote(out.Path()), &said), 0)
      << said;
  EXPECT_NE(said.find("signed (1 signature): saved as an incremental update"), std::string::npos) << said;
  const std::string source = in.Read();
  ASSERT_EQ(out.Read().compare(0, source.size(), source), 0) << "the source's bytes come first";
  EXPECT_EQ(SignatureVerdict(out.Path()), kValid);
  std::string pdfinfo;
  RunCommand("pdfinfo " + Quote(out.Path()), &pdfinfo);
  EXPECT_NE(pdfinfo.find("Title:           New\n"), std::string::npos) << pdfinfo;
  EXPECT_EQ(Pike(out.Path(), "pdf.docinfo.Title, pdf.Root.PageMode"), "New /UseOutlines");

  std::string info;
  ASSERT_EQ(Vordel("info " + Quote(out.Path()), &info), 0);
  EXPECT_NE(info.find("Signed:             yes (1 signature)\n"), std::string::npos) << info;
  EXPECT_NE(info.find("Revisions:          2\n"), std::string::npos) << info;
  std::string json;
  ASSERT_EQ(RunCommand(std::string(VORDEL_BINARY) + " info --json " + Quote(in.Path()), &json, false), 0);
  nlohmann::json j = nlohmann::json::parse(json);
  EXPECT_EQ(j["signed"], 1);
  EXPECT_EQ(j["revisions"], 1);

  // A full rewrite must be asked for, is warned about and breaks the signature.
  said.clear();
  ASSERT_EQ(Vordel("set --rewrite --title New " + Quote(in.Path()) + " -o " + Quote(rewritten.Path()), &said), 0);
  EXPECT_NE(said.find("warning: "), std::string::npos) << said;
  EXPECT_NE(said.find("--rewrite: the signature of this file becomes invalid"), std::string::npos) << said;
  EXPECT_NE(SignatureVerdict(rewritten.Path()), kValid);
  EXPECT_EQ(Pike(rewritten.Path(), "pdf.docinfo.Title"), "New");

  // In place: the update (of the file read on demand) goes through a
  // temporary file renamed over the input; the source's bytes come first.
  ASSERT_EQ(Vordel("set -q --in-place --author Me " + Quote(in.Path()), &said), 0) << said;
  ASSERT_EQ(in.Read().compare(0, source.size(), source), 0);
  EXPECT_EQ(SignatureVerdict(in.Path()), kValid);
  EXPECT_EQ(Pike(in.Path(), "pdf.docinfo.Author"), "Me");
  // A setting the file cannot take fails it after the load: the update's
  // copy begun at the load goes too.
  EXPECT_EQ(Vordel("set -q --in-place --print-pages 99-100 " + Quote(in.Path()), &said), 2) << said;
  const std::filesystem::path input(in.Path());
  for (const auto& entry : std::filesystem::directory_iterator(input.parent_path()))
    EXPECT_NE(entry.path().filename().string().rfind("." + input.filename().string() + ".vxtmp", 0), 0u)
        << "a temporary file was left: " << entry.path();
}

// A file whose table must be rebuilt: an update is refused as before (the
// load on demand reads it whole and repairs it), and the target stays.
TEST(VordelIncremental, RepairedFileIsRefusedAnUpdate) {
  TempFile in, out;
  std::string bytes = vxtest::SimplePdf(2);
  const size_t offset = bytes.rfind("startxref") + 10;
  bytes.replace(offset, bytes.find('\n', offset) - offset, "12");  // the table is not where it is said to be
  in.Write(bytes);
  out.Write("kept");
  std::string said;
  EXPECT_EQ(Vordel("set --incremental --title T " + Quote(in.Path()) + " -o " + Quote(out.Path()), &said), 4) << said;
  EXPECT_NE(said.find("An incremental update needs the file's own cross-reference data, which could not be used"),
            std::string::npos)
      << said;
  EXPECT_EQ(out.Read(), "kept");
  EXPECT_EQ(Vordel("set -q --title T " + Quote(in.Path()) + " -o " + Quote(out.Path())), 0);
}

TEST(VordelIncremental, OptionsChooseTheSaveAndRefusalsWriteNothing) {
  TempFile in, out;
  in.Write(vxtest::SimplePdf(2, "", "/Title (Plain)"));
  const std::string source = in.Read();

  std::string said;
  EXPECT_EQ(Vordel("set --incremental --rewrite --title T " + Quote(in.Path()) + " -o " + Quote(out.Path()), &said), 1)
      << said;

  // Unsigned: a full rewrite unless --incremental is given.
  ASSERT_EQ(Vordel("set -q --title T " + Quote(in.Path()) + " -o " + Quote(out.Path())), 0);
  EXPECT_NE(out.Read().compare(0, source.size(), source), 0);
  ASSERT_EQ(Vordel("set -q --incremental --title T " + Quote(in.Path()) + " -o " + Quote(out.Path()), &said), 0) << said;
  EXPECT_EQ(out.Read().compare(0, source.size(), source), 0);
  EXPECT_EQ(said, "") << "no note for an update asked for";
  std::string info;
  ASSERT_EQ(Vordel("info " + Quote(out.Path()), &info), 0);
  EXPECT_NE(info.find("Signed:             no\n"), std::string::npos) << info;
  EXPECT_NE(info.find("Revisions:          2\n"), std::string::npos) << info;

  // What an update cannot do fails with the setting named; the output stays.
  const std::string before = out.Read();
  for (const std::string& option : {std::string("--compress runlength"), std::string("--pdf-version 1.2"),
                                    std::string("--encrypt aes256 --owner-password o")}) {
    said.clear();
    EXPECT_EQ(Vordel("set --incremental " + option + " " + Quote(in.Path()) + " -o " + Quote(out.Path()), &said), 4)
        << option;
    EXPECT_NE(said.find("save with a full rewrite"), std::string::npos) << said;
    EXPECT_EQ(out.Read(), before) << option;
  }
  said.clear();
  Vordel("set --incremental --compress flate " + Quote(in.Path()) + " -o " + Quote(out.Path()), &said);
  EXPECT_NE(said.find("cannot change the compression"), std::string::npos) << said;
}

// A signed file that is linearized is still saved as an update (its layout
// then no longer holds); asking for the layout needs --rewrite.
TEST(VordelIncremental, SignedLinearizedFileIsUpdatedNotRelaidOut) {
  TempFile signedFile, linear, out;
  MakeSignedPdf(signedFile);
  std::string said;
  ASSERT_EQ(Vordel("set -q --rewrite --linearize " + Quote(signedFile.Path()) + " -o " + Quote(linear.Path()), &said),
            0)
      << said;
  ASSERT_EQ(Vordel("set --title Z " + Quote(linear.Path()) + " -o " + Quote(out.Path()), &said), 0) << said;
  EXPECT_NE(said.find("saved as an incremental update"), std::string::npos) << said;
  EXPECT_EQ(out.Read().rfind(linear.Read(), 0), 0u) << "the source's bytes come first";
  std::string info;
  Vordel("info --json " + Quote(out.Path()), &info, false);
  const nlohmann::json j = nlohmann::json::parse(info, nullptr, false);
  EXPECT_EQ(j["linearizationBroken"], true) << info;

  EXPECT_EQ(Vordel("set --linearize " + Quote(linear.Path()) + " -o " + Quote(out.Path()), &said), 4);
  EXPECT_NE(said.find("An incremental update cannot change the layout of the file for fast web view"),
            std::string::npos)
      << said;
}
