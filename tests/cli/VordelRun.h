// Runs the built `vordel` for the command-line tests.
#pragma once

#include <string>

#include "support/PdfBuilder.h"

// Runs vordel with `args` (shell words, already quoted); answers its exit
// status, with what it printed in `out` (standard error too when merged).
inline int Vordel(const std::string& args, std::string* out = nullptr, bool mergeErrors = true) {
  std::string ignored;
  return vxtest::RunCommand(std::string(VORDEL_BINARY) + " " + args, out ? out : &ignored, mergeErrors);
}
