#include "WriterTestSupport.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>

namespace vxtest {

namespace {
std::atomic<int> dirCounter{0};
}

TempDir::TempDir() {
  auto base = std::filesystem::temp_directory_path() / "vordel-writer-tests";
  std::filesystem::create_directories(base);
  path_ = (base / ("d" + std::to_string(getpid()) + "-" + std::to_string(dirCounter++))).string();
  std::filesystem::remove_all(path_);
  std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(path_, ec);
}

std::vector<std::string> TempDir::Entries() const {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(path_)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::string QpdfProblems(const std::string& path, const std::string& password) {
  std::string out;
  std::string pw = password.empty() ? "" : " --password=" + Quote(password);
  int status = RunCommand("qpdf --check" + pw + " " + Quote(path), &out);
  // Status 0: no problems. Warnings (3) count as problems too.
  if (status == 0) return "";
  return "qpdf status " + std::to_string(status) + ": " + out;
}

std::string PdfText(const std::string& path, const std::string& password) {
  std::string out;
  std::string pw = password.empty() ? "" : " -upw " + Quote(password);
  int status = RunCommand("pdftotext" + pw + " " + Quote(path) + " -", &out, false);
  if (status != 0) return "pdftotext failed with status " + std::to_string(status);
  return out;
}

std::string SaveToBytes(vx::TvxCustomPDFDocument& doc) {
  TempFile file;
  doc.SaveToFile(file.Path(), 2);
  return file.Read();
}

std::unique_ptr<vx::TvxPDFDocument> LoadBytes(const std::string& bytes) {
  auto doc = std::make_unique<vx::TvxPDFDocument>();
  doc->SetShowSetupDialog(false);
  doc->LoadFromBytes(std::make_shared<const std::string>(bytes), "test.pdf");
  return doc;
}

std::unique_ptr<vx::TvxPDFDocument> OpenWithPassword(const std::string& path, const std::string& password) {
  auto doc = std::make_unique<vx::TvxPDFDocument>();
  doc->SetShowSetupDialog(false);
  doc->SetLiteralFileNames(true);
  doc->OnPassword = [password](vx::TvxCustomPDFDocument&, std::string& pw, bool& proceed, int tries) {
    pw = password;
    proceed = tries == 0;
  };
  if (!doc->LoadFromFile(path)) return nullptr;
  return doc;
}

std::string ObjectStreamData(const std::vector<std::pair<int, std::string>>& members, int& first) {
  std::string header, body;
  for (auto& [number, text] : members) {
    header += std::to_string(number) + " " + std::to_string(body.size()) + " ";
    body += text + "\n";
  }
  first = int(header.size());
  return header + body;
}

}  // namespace vxtest
