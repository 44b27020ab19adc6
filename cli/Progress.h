// Progress of a batch on standard error: a bar on a terminal, plain lines
// otherwise; shown for several files, or for one that takes over a second.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace vordel {

class Progress {
 public:
  Progress(size_t total, bool quiet);
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  // Percentage of the file being worked on when there is just one.
  void SetPercent(int percent) { percent_ = percent; }
  void FileDone(const std::string& file, bool ok);
  // Prints the error line for a file (always, even when quiet). The name and
  // the message are escaped and quoted input is cut (see MessageText.h).
  // `note` (when given) follows the message after "; ", escaped but not cut.
  void Error(const std::string& file, const std::string& message, const std::string& note = "");
  // Prints "warning: FILE: text" (always, even when quiet).
  void Warning(const std::string& file, const std::string& text);
  // Prints "vordel: FILE: text" (always, even when quiet).
  void Note(const std::string& file, const std::string& text);
  // Stops the display and prints the summary line.
  void Finish();

 private:
  void Tick();
  void Draw(bool final);
  bool Visible() const;

  const size_t total_;
  const bool quiet_;
  const bool terminal_;
  const std::chrono::steady_clock::time_point start_;
  std::mutex lock_;
  std::condition_variable wake_;
  size_t done_ = 0, failed_ = 0;
  std::atomic<int> percent_{0};
  bool stopping_ = false, drawn_ = false, finished_ = false;
  std::thread ticker_;
};

}  // namespace vordel
