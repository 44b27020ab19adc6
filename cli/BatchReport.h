// `vordel set --report json`: one JSON object per input, written to standard
// output as soon as that input is finished, one line each, so that a pipeline
// (or GNU parallel joining the output of many jobs) can read results while the
// batch still runs.
#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace vordel {

struct FileOutcome {
  std::string path;    // the input as named
  std::string output;  // where it was (or would have been) written
  bool done = false;
  int exitCode = 0;    // this file's exit code (0 when done)
  std::string message;  // empty when done
  std::optional<int> pages;  // unknown when the input could not be loaded
  double seconds = 0;
  std::vector<std::string> warnings;
};

class BatchReport {
 public:
  explicit BatchReport(bool enabled) : enabled_(enabled) {}

  // Writes the line for one input; safe to call from several workers.
  void Record(const FileOutcome& outcome);
  // False when a line could not be written (a full disk, a closed pipe).
  bool Written() const { return written_; }

 private:
  const bool enabled_;
  std::mutex lock_;
  bool written_ = true;
};

// The line for one outcome, without the line break.
std::string ReportLine(const FileOutcome& outcome);

}  // namespace vordel
