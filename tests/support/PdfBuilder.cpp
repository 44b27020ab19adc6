#include "support/PdfBuilder.h"

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

namespace vxtest {

PdfBuilder::PdfBuilder(std::string header) : bytes_(std::move(header)) {}

PdfBuilder& PdfBuilder::Object(int number, const std::string& body, int generation) {
  offsets_[number] = bytes_.size();
  section_[number] = {bytes_.size(), generation};
  maxNumber_ = std::max(maxNumber_, number);
  bytes_ += std::to_string(number) + " " + std::to_string(generation) + " obj\n" + body + "\nendobj\n";
  return *this;
}

PdfBuilder& PdfBuilder::Stream(int number, const std::string& dictEntries, const std::string& data) {
  return Object(number, "<< " + dictEntries + " /Length " + std::to_string(data.size()) + " >>\nstream\n" + data +
                            "\nendstream");
}

PdfBuilder& PdfBuilder::Raw(const std::string& bytes) {
  bytes_ += bytes;
  return *this;
}

size_t PdfBuilder::FinishWithTable(const std::string& trailerEntries) {
  size_t xref = bytes_.size();
  std::string table = "xref\n";
  if (previousXref_ < 0) section_.emplace(0, std::make_pair(size_t(0), 65535));
  auto it = section_.begin();
  while (it != section_.end()) {
    auto runEnd = it;
    int count = 0;
    int expect = it->first;
    while (runEnd != section_.end() && runEnd->first == expect) {
      ++runEnd;
      ++expect;
      ++count;
    }
    table += std::to_string(it->first) + " " + std::to_string(count) + "\n";
    for (auto k = it; k != runEnd; ++k) {
      char line[32];
      std::snprintf(line, sizeof line, "%010zu %05d %c \n", k->second.first, k->second.second,
                    k->first == 0 ? 'f' : 'n');
      table += line;
    }
    it = runEnd;
  }
  std::string trailer = "trailer\n<< /Size " + std::to_string(maxNumber_ + 1) + " " + trailerEntries;
  if (previousXref_ >= 0) trailer += " /Prev " + std::to_string(previousXref_);
  trailer += " >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
  bytes_ += table + trailer;
  previousXref_ = long(xref);
  section_.clear();
  return xref;
}

size_t PdfBuilder::FinishWithStream(int number, const std::string& trailerEntries,
                                    const std::map<int, std::pair<int, int>>& compressed) {
  size_t xref = bytes_.size();
  maxNumber_ = std::max(maxNumber_, number);
  std::map<int, std::string> rows;
  auto row = [](int type, long f2, int f3) {
    std::string r;
    r += char(type);
    for (int s = 24; s >= 0; s -= 8) r += char((f2 >> s) & 0xFF);
    r += char((f3 >> 8) & 0xFF);
    r += char(f3 & 0xFF);
    return r;
  };
  if (previousXref_ < 0) rows[0] = row(0, 0, 65535);
  for (auto& [n, entry] : section_) rows[n] = row(1, long(entry.first), entry.second);
  for (auto& [n, where] : compressed) rows[n] = row(2, where.first, where.second);
  rows[number] = row(1, long(xref), 0);
  std::string index, data;
  auto it = rows.begin();
  while (it != rows.end()) {
    int start = it->first, count = 0;
    while (it != rows.end() && it->first == start + count) {
      data += it->second;
      ++it;
      ++count;
    }
    index += std::to_string(start) + " " + std::to_string(count) + " ";
  }
  std::string dict = "/Type /XRef /W [1 4 2] /Index [" + index + "] /Size " + std::to_string(maxNumber_ + 1) + " " +
                     trailerEntries;
  if (previousXref_ >= 0) dict += " /Prev " + std::to_string(previousXref_);
  Stream(number, dict, data);
  bytes_ += "startxref\n" + std::to_string(xref) + "\n%%EOF\n";
  previousXref_ = long(xref);
  section_.clear();
  return xref;
}

void PdfBuilder::WriteTo(const std::string& path) const {
  std::ofstream out(path, std::ios::binary);
  out << bytes_;
}

void AddSimplePages(PdfBuilder& b, int pages, const std::string& catalogExtra,
                    const std::function<std::string(int)>& pageExtra) {
  b.Object(1, "<< /Type /Catalog /Pages 2 0 R " + catalogExtra + " >>");
  std::string kids;
  for (int i = 0; i < pages; ++i) kids += std::to_string(3 + 2 * i) + " 0 R ";
  b.Object(2, "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages) + " >>");
  for (int i = 0; i < pages; ++i) {
    int page = 3 + 2 * i;
    b.Object(page, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents " + std::to_string(page + 1) +
                       " 0 R " + pageExtra(i) + " >>");
    b.Stream(page + 1, "", "BT /F1 12 Tf 72 700 Td (Page " + std::to_string(i + 1) + ") Tj ET");
  }
}

std::string SimplePdf(int pages, const std::string& catalogExtra, const std::string& infoEntries,
                      const std::string& pageExtra) {
  PdfBuilder b;
  AddSimplePages(b, pages, catalogExtra, [&](int) { return pageExtra; });
  std::string trailer = "/Root 1 0 R";
  if (!infoEntries.empty()) {
    int info = 3 + 2 * pages;
    b.Object(info, "<< " + infoEntries + " >>");
    trailer += " /Info " + std::to_string(info) + " 0 R";
  }
  b.FinishWithTable(trailer);
  return b.Bytes();
}

namespace {
std::atomic<int> tempCounter{0};
}

TempFile::TempFile(const std::string& suffix) {
  auto dir = std::filesystem::temp_directory_path() / "vordel-tests";
  std::filesystem::create_directories(dir);
  path_ = (dir / ("t" + std::to_string(getpid()) + "-" + std::to_string(tempCounter++) + suffix)).string();
}

TempFile::~TempFile() {
  std::error_code ec;
  std::filesystem::remove(path_, ec);
}

void TempFile::Write(const std::string& bytes) const {
  std::ofstream out(path_, std::ios::binary);
  out << bytes;
}

std::string TempFile::Read() const { return ReadFile(path_); }

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

int RunCommand(const std::string& command, std::string* output, bool mergeErrors) {
  std::string full = command + (mergeErrors ? " 2>&1" : " 2>/dev/null");
  FILE* pipe = popen(full.c_str(), "r");
  if (!pipe) return -1;
  std::string text;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
  int status = pclose(pipe);
  if (output) *output = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Quote(const std::string& path) {
  std::string q = "'";
  for (char c : path) {
    if (c == '\'')
      q += "'\\''";
    else
      q += c;
  }
  return q + "'";
}

std::string CorpusDir() {
  const char* set = std::getenv("VX_CORPUS_DIR");
  return set && *set ? set : VX_CORPUS_DIR;
}

std::string CorpusMissing() {
  std::error_code ec;
  if (std::filesystem::is_directory(CorpusDir(), ec)) return std::string();
  return "corpus not found at " + CorpusDir() + " (set VX_CORPUS_DIR)";
}

bool UnderCi() {
  const char* ci = std::getenv("CI");
  return ci && std::string(ci) == "true";
}

std::string PdfWithXmpPacket(const std::string& packet, const std::string& infoEntries,
                             const std::string& streamEntries) {
  PdfBuilder b;
  b.Object(1, "<< /Type /Catalog /Pages 2 0 R /Metadata 5 0 R >>");
  b.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  b.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 4 0 R >>");
  b.Stream(4, "", "BT /F1 12 Tf 20 20 Td (Hi) Tj ET");
  b.Stream(5, "/Type /Metadata /Subtype /XML" + (streamEntries.empty() ? "" : " " + streamEntries), packet);
  b.Object(6, "<< " + infoEntries + " >>");
  b.FinishWithTable("/Root 1 0 R /Info 6 0 R");
  return b.Bytes();
}

std::string SampleXmpPacket(const std::string& title) {
  return "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>"
         "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">"
         "<rdf:Description rdf:about=\"\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\""
         " xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\">"
         "<dc:title><rdf:Alt><rdf:li xml:lang=\"x-default\">" +
         title +
         "</rdf:li></rdf:Alt></dc:title>"
         "<dc:creator><rdf:Seq><rdf:li>Ann</rdf:li><rdf:li>Bob</rdf:li></rdf:Seq></dc:creator>"
         "<xmp:CreateDate>2021-03-04T05:06:07Z</xmp:CreateDate>"
         "</rdf:Description></rdf:RDF></x:xmpmeta><?xpacket end=\"w\"?>";
}

}  // namespace vxtest
