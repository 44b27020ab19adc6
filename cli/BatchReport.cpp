#include "cli/BatchReport.h"

#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "cli/MessageText.h"

namespace vordel {

std::string ReportLine(const FileOutcome& o) {
  nlohmann::ordered_json j;
  // JSON text must be UTF-8: a name that is not gets replacement characters
  // and its bytes in base64 beside it, as in `info --json`.
  j["path"] = ValidUtf8(o.path);
  if (!IsValidUtf8(o.path)) j["path_bytes"] = Base64(o.path);
  j["output"] = ValidUtf8(o.output);
  if (!IsValidUtf8(o.output)) j["output_bytes"] = Base64(o.output);
  j["status"] = o.done ? "done" : "failed";
  j["exit"] = o.exitCode;
  j["message"] = ValidUtf8(o.message);
  j["pages"] = o.pages ? nlohmann::ordered_json(*o.pages) : nlohmann::ordered_json(nullptr);
  j["seconds"] = std::round(o.seconds * 1000) / 1000;  // milliseconds are plenty
  nlohmann::ordered_json warnings = nlohmann::ordered_json::array();
  for (const std::string& text : o.warnings) warnings.push_back(ValidUtf8(text));
  j["warnings"] = warnings;
  return j.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

void BatchReport::Record(const FileOutcome& outcome) {
  if (!enabled_) return;
  const std::string line = ReportLine(outcome) + "\n";
  std::lock_guard<std::mutex> guard(lock_);
  // Whole lines and flushed at once: a reader sees each input as it ends,
  // and lines of parallel workers never mix.
  if (std::fwrite(line.data(), 1, line.size(), stdout) != line.size() || std::fflush(stdout) != 0) written_ = false;
}

}  // namespace vordel
