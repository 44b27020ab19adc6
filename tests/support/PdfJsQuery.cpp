#include "support/PdfJsQuery.h"

#include "support/PdfBuilder.h"

#include <sstream>

namespace vxtest {

nlohmann::json PdfJsSummary(const std::string& path, const std::string& password) {
  const std::string script = std::string(VX_SOURCE_DIR) + "/tests/support/pdfjs_summary.mjs";
  std::string output;
  const int status =
      RunCommand("timeout 120 node " + Quote(script) + " --password " + Quote(password) + " " + Quote(path), &output);
  // The summary is the last line; warnings on the error stream may come first.
  const size_t start = output.rfind("\n{", output.size() > 1 ? output.size() - 2 : 0);
  const nlohmann::json line =
      nlohmann::json::parse(output.substr(start == std::string::npos ? 0 : start + 1), nullptr, false);
  if (status != 0 || line.is_discarded() || !line.is_object())
    return {{"error", "pdf.js failed (status " + std::to_string(status) + "): " + output}};
  if (line.contains("summary")) return line["summary"];
  return {{"error", line.value("error", output)}};
}

std::vector<nlohmann::json> PdfJsSummaries(const std::vector<std::string>& paths) {
  const std::string script = std::string(VX_SOURCE_DIR) + "/tests/support/pdfjs_summary.mjs";
  std::string command = "timeout 300 node " + Quote(script), output;
  for (const std::string& path : paths) command += " " + Quote(path);
  const int status = RunCommand(command, &output, false);
  std::vector<nlohmann::json> summaries;
  std::istringstream lines(output);
  std::string line;
  while (std::getline(lines, line)) {
    const nlohmann::json parsed = nlohmann::json::parse(line, nullptr, false);
    if (parsed.is_object() && parsed.contains("summary")) summaries.push_back(parsed["summary"]);
    else if (parsed.is_object()) summaries.push_back({{"error", parsed.value("error", line)}});
  }
  while (summaries.size() < paths.size())
    summaries.push_back({{"error", "pdf.js failed (status " + std::to_string(status) + "): " + output}});
  return summaries;
}

}  // namespace vxtest
