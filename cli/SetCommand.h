// `vordel set [SETTINGS] [--password PW] INPUT... (-o OUTPUT | --output-dir DIR | --in-place) [-j N]`
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/SetOptions.h"

namespace CLI {
class App;
}

namespace vordel {

struct SetCommandOptions {
  DocumentSettings settings;
  std::optional<std::string> password;
  std::vector<std::string> inputs;
  std::optional<std::string> output, outputDir, filesFrom, maxMemory;
  std::optional<std::string> report;  // "json": a line per input on standard output
  bool inPlace = false;
  bool incremental = false;  // append an update to the source's bytes
  bool rewrite = false;      // a whole new file, signed or not
  int jobs = 0;
  bool quiet = false;
};

void AddSetCommand(CLI::App& app, SetCommandOptions& options);
int RunSet(SetCommandOptions& options);

}  // namespace vordel
