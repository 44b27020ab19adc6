#include "cli/Progress.h"

#include <unistd.h>

#include <cstdio>
#include <iostream>

#include "cli/MessageText.h"

namespace vordel {

Progress::Progress(size_t total, bool quiet)
    : total_(total), quiet_(quiet), terminal_(isatty(2) != 0), start_(std::chrono::steady_clock::now()) {
  if (!quiet_) ticker_ = std::thread([this] { Tick(); });
}

Progress::~Progress() { Finish(); }

bool Progress::Visible() const {
  return !quiet_ && (total_ > 1 || std::chrono::steady_clock::now() - start_ > std::chrono::seconds(1));
}

void Progress::Tick() {
  std::unique_lock<std::mutex> guard(lock_);
  while (!stopping_) {
    wake_.wait_for(guard, std::chrono::milliseconds(200));
    if (!stopping_ && terminal_ && Visible()) Draw(false);
  }
}

void Progress::Draw(bool final) {
  // Called with the lock held.
  size_t finishedFiles = done_ + failed_;
  if (terminal_) {
    constexpr int kWidth = 30;
    double fraction = total_ > 1 ? double(finishedFiles) / double(total_) : percent_ / 100.0;
    if (final) fraction = 1;
    int filled = int(fraction * kWidth + 0.5);
    std::string bar(size_t(filled), '#');
    bar.resize(kWidth, '.');
    std::fprintf(stderr, "\r[%s] %zu/%zu", bar.c_str(), finishedFiles, total_);
    if (final) std::fprintf(stderr, "\n");
    std::fflush(stderr);
    drawn_ = true;
  }
}

void Progress::FileDone(const std::string& file, bool ok) {
  std::lock_guard<std::mutex> guard(lock_);
  ok ? ++done_ : ++failed_;
  if (!Visible()) return;
  if (terminal_) {
    Draw(false);
  } else {
    std::fprintf(stderr, "vordel: [%zu/%zu] %s: %s\n", done_ + failed_, total_, EscapeControls(file).c_str(), ok ? "done" : "failed");
  }
}

void Progress::Error(const std::string& file, const std::string& message, const std::string& note) {
  std::lock_guard<std::mutex> guard(lock_);
  if (drawn_ && terminal_) std::fprintf(stderr, "\r\033[K");  // the error goes above the bar
  std::string line = "vordel: " + EscapeControls(file) + ": " + SafeMessage(message);
  if (!note.empty()) line += "; " + EscapeControls(note);
  std::fprintf(stderr, "%s\n", line.c_str());
}

void Progress::Warning(const std::string& file, const std::string& text) {
  std::lock_guard<std::mutex> guard(lock_);
  if (drawn_ && terminal_) std::fprintf(stderr, "\r\033[K");
  std::fprintf(stderr, "warning: %s: %s\n", EscapeControls(file).c_str(), SafeMessage(text).c_str());
}

void Progress::Note(const std::string& file, const std::string& text) {
  std::lock_guard<std::mutex> guard(lock_);
  if (drawn_ && terminal_) std::fprintf(stderr, "\r\033[K");
  // The text is the program's own, not quoted input: nothing in it is cut.
  std::fprintf(stderr, "vordel: %s: %s\n", EscapeControls(file).c_str(), EscapeControls(text).c_str());
}

void Progress::Finish() {
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (finished_) return;
    finished_ = true;
    stopping_ = true;
  }
  wake_.notify_all();
  if (ticker_.joinable()) ticker_.join();
  std::lock_guard<std::mutex> guard(lock_);
  if (!Visible()) return;
  if (terminal_) Draw(true);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  std::fprintf(stderr, "vordel: %zu file%s: %zu done, %zu failed (%.1f s)\n", total_, total_ == 1 ? "" : "s", done_,
               failed_, seconds);
}

}  // namespace vordel
