// `vordel info [--json] [--password PW] FILE...`
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace vordel {

struct InfoOptions {
  bool json = false;
  std::optional<std::string> password;
  std::vector<std::string> files;
  std::optional<std::string> maxMemory;
};

void AddInfoCommand(CLI::App& app, InfoOptions& options);
int RunInfo(const InfoOptions& options);

}  // namespace vordel
