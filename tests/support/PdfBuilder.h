// Builds small PDF files byte by byte for tests, so that each case is
// visible where it is checked: objects, classic tables or cross-reference
// streams with correct offsets, incremental updates.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace vxtest {

class PdfBuilder {
 public:
  explicit PdfBuilder(std::string header = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n");

  // "n g obj\n" body "\nendobj\n", its offset recorded for the next table.
  PdfBuilder& Object(int number, const std::string& body, int generation = 0);
  // A stream object; /Length is added to `dictEntries` (written without << >>).
  PdfBuilder& Stream(int number, const std::string& dictEntries, const std::string& data);
  PdfBuilder& Raw(const std::string& bytes);
  size_t Offset() const { return bytes_.size(); }
  size_t OffsetOf(int number) const { return offsets_.at(number); }

  // Ends a section with a classic table of the objects added since the last
  // section (one subsection per run of numbers), a trailer holding
  // `trailerEntries` (plus /Size and /Prev of the previous section), and
  // startxref. Answers the offset of "xref".
  size_t FinishWithTable(const std::string& trailerEntries);
  // The same with a cross-reference stream object numbered `number`
  // (/W [1 4 2], uncompressed). `extra` entries describe objects in object
  // streams: number -> (stream number, index).
  size_t FinishWithStream(int number, const std::string& trailerEntries,
                          const std::map<int, std::pair<int, int>>& compressed = {});

  const std::string& Bytes() const { return bytes_; }
  void WriteTo(const std::string& path) const;

 private:
  std::string bytes_;
  std::map<int, size_t> offsets_;   // every object written, for lookups
  std::map<int, std::pair<size_t, int>> section_;  // this section: number -> (offset, gen)
  long previousXref_ = -1;
  int maxNumber_ = 0;
};

// Catalog 1, pages 2, and pages 3, 5, .. each with its content stream (4,
// 6, ..) showing "Page N"; `pageExtra(i)` is added to page i's dictionary.
void AddSimplePages(PdfBuilder& b, int pages, const std::string& catalogExtra,
                    const std::function<std::string(int)>& pageExtra);

// A one-or-more page document: catalog 1, pages 2, pages 3.. with content
// streams; `catalogExtra` and `pageExtra` are added to those dictionaries.
std::string SimplePdf(int pages = 1, const std::string& catalogExtra = "", const std::string& infoEntries = "",
                      const std::string& pageExtra = "");

// A unique file name in the test temporary folder; the file is removed when
// the object goes away.
class TempFile {
 public:
  explicit TempFile(const std::string& suffix = ".pdf");
  ~TempFile();
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  const std::string& Path() const { return path_; }
  void Write(const std::string& bytes) const;
  std::string Read() const;

 private:
  std::string path_;
};

std::string ReadFile(const std::string& path);
// Runs a shell command; answers its exit status and what it printed on
// standard output (standard error is merged when `mergeErrors`).
int RunCommand(const std::string& command, std::string* output = nullptr, bool mergeErrors = true);
// Quotes a path for the shell.
std::string Quote(const std::string& path);
// The corpus of real files: $VX_CORPUS_DIR, else ../shared/corpus beside the
// project. A test that reads it begins with VX_NEEDS_CORPUS() (Qt Test:
// VX_QT_NEEDS_CORPUS()): without the corpus it is skipped with one line that
// says so, except under continuous integration (CI=true), where that is a
// failure, so that a wrong path cannot turn the corpus sweeps off unnoticed.
std::string CorpusDir();
// Why the corpus cannot be used ("corpus not found at ..."), or empty.
std::string CorpusMissing();
bool UnderCi();
#define VX_NEEDS_CORPUS_WITH(fail, skip)                                                     \
  do {                                                                                       \
    if (const std::string missing = vxtest::CorpusMissing(); !missing.empty()) {             \
      if (vxtest::UnderCi()) fail;                                                           \
      skip;                                                                                  \
    }                                                                                        \
  } while (0)
#define VX_NEEDS_CORPUS() VX_NEEDS_CORPUS_WITH(FAIL() << missing, GTEST_SKIP() << missing)
#define VX_QT_NEEDS_CORPUS() VX_NEEDS_CORPUS_WITH(QFAIL(missing.c_str()), QSKIP(missing.c_str()))

// A one-page file whose catalog names an XMP packet stream (object 5)
// holding `packet` as given; `streamEntries` are added to the stream's
// dictionary (a /Filter for data given encoded), `infoEntries` to /Info.
std::string PdfWithXmpPacket(const std::string& packet, const std::string& infoEntries,
                             const std::string& streamEntries = "");

// A short XMP packet with a title, two authors and a creation date.
std::string SampleXmpPacket(const std::string& title);

}  // namespace vxtest
