// Runs a piece of test work in a forked child with a time limit, so that one
// file that crashes or hangs the library cannot take a whole sweep down.
#pragma once

#include <functional>
#include <string>

namespace vxtest {

struct ChildResult {
  bool finished = false;  // false: killed at the time limit
  int exitCode = -1;      // what `work` returned, -1 when a signal ended it
  int signal = 0;
  std::string report;     // what `work` wrote into its report (up to 4 KiB)
};

// `work` runs in the child and returns its exit code (0 to 255).
ChildResult RunInChild(const std::function<int(std::string& report)>& work, int seconds);

}  // namespace vxtest
