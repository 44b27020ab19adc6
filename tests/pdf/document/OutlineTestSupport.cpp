#include "OutlineTestSupport.h"

#include <cstdlib>

namespace vxtest {

std::string DocumentWith(const std::string& catalogExtra, const std::map<int, std::string>& objects, int pages,
                         const std::string& pageExtra) {
  PdfBuilder b;
  AddSimplePages(b, pages, catalogExtra, [&](int i) { return i == 0 ? pageExtra : std::string(); });
  for (const auto& [number, body] : objects) {
    // A body that is a stream is given as "<<dict>>stream:data".
    const size_t split = body.find(">>stream:");
    if (split != std::string::npos && body.rfind("<<", 0) == 0)
      b.Stream(number, body.substr(2, split - 2), body.substr(split + 9));
    else
      b.Object(number, body);
  }
  b.FinishWithTable("/Root 1 0 R");
  return b.Bytes();
}

LoadedDocument LoadWithWarnings(const std::string& bytes) {
  LoadedDocument loaded;
  loaded.Doc = std::make_unique<vx::TvxPDFDocument>();
  loaded.Doc->SetShowSetupDialog(false);
  loaded.Doc->OnWarning = [w = &loaded.Warnings](vx::TvxCustomPDFDocument&, const std::string& text) {
    w->push_back(text);
  };
  loaded.Doc->LoadFromBytes(std::make_shared<const std::string>(bytes), "test.pdf");
  return loaded;
}

namespace {

// Every "n 0 obj ... endobj" of a saved file: number and body.
std::vector<std::pair<int, std::string>> SavedObjects(const std::string& pdf) {
  std::vector<std::pair<int, std::string>> objects;
  size_t at = 0;
  while ((at = pdf.find(" 0 obj\r\n", at)) != std::string::npos) {
    const size_t line = pdf.rfind("\r\n", at);
    const int number = line == std::string::npos ? 0 : std::atoi(pdf.c_str() + line + 2);
    const size_t start = at + 8;
    const size_t end = pdf.find("\r\nendobj", start);
    if (end == std::string::npos) break;
    objects.emplace_back(number, pdf.substr(start, end - start));
    at = end;
  }
  return objects;
}

}  // namespace

std::string SavedObjectWith(const std::string& pdf, const std::string& marker) {
  for (const auto& [number, body] : SavedObjects(pdf))
    if (body.find(marker) != std::string::npos) return body;
  return "";
}

int SavedNumberWith(const std::string& pdf, const std::string& marker) {
  for (const auto& [number, body] : SavedObjects(pdf))
    if (body.find(marker) != std::string::npos) return number;
  return 0;
}

std::string SavedReferenceWith(const std::string& pdf, const std::string& marker) {
  return std::to_string(SavedNumberWith(pdf, marker)) + " 0 R";
}

std::string SavedObject(const std::string& pdf, int number) {
  for (const auto& [n, body] : SavedObjects(pdf))
    if (n == number) return body;
  return "";
}

int SavedObjectsWith(const std::string& pdf, const std::string& marker) {
  int count = 0;
  for (const auto& [number, body] : SavedObjects(pdf)) count += body.find(marker) != std::string::npos;
  return count;
}

std::vector<std::string> SavedKeys(const std::string& dictionaryText) {
  // One entry per line; keys of nested dictionaries are one level deeper.
  std::vector<std::string> keys;
  int depth = 0;
  size_t start = 0;
  while (start < dictionaryText.size()) {
    size_t end = dictionaryText.find("\r\n", start);
    if (end == std::string::npos) end = dictionaryText.size();
    const std::string line = dictionaryText.substr(start, end - start);
    if (depth == 1 && !line.empty() && line[0] == '/') keys.push_back(line.substr(0, line.find(' ')));
    for (size_t i = 0; i + 1 < line.size(); ++i) {
      if (line.compare(i, 2, "<<") == 0) ++depth, ++i;
      else if (line.compare(i, 2, ">>") == 0) --depth, ++i;
    }
    start = end + 2;
  }
  return keys;
}

}  // namespace vxtest
