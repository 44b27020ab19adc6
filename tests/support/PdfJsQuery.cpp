#include "support/PdfJsQuery.h"

#include "support/PdfBuilder.h"

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

}  // namespace vxtest
