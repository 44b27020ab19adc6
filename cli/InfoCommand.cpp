#include "cli/InfoCommand.h"

#include <CLI/CLI.hpp>
#include <iostream>

#include "cli/DocumentReport.h"
#include "cli/Loading.h"
#include "cli/MessageText.h"
#include "cli/ProcessSetup.h"
#include "pdf/document/vxPDFDoc.h"

namespace vordel {

void AddInfoCommand(CLI::App& app, InfoOptions& options) {
  CLI::App* info = app.add_subcommand("info", "Show the document-level settings of PDF files");
  info->add_flag("--json", options.json, "Write JSON (an object for one file, an array for several)");
  info->add_option("--password", options.password, "Password of encrypted inputs (tried as owner, then as user)");
  info->add_option("--max-memory", options.maxMemory,
                   "Memory budget for decoded data, whole process (like 512M, 2G; default a quarter of RAM)");
  info->add_option("FILE", options.files, "PDF files")->required();
}

int RunInfo(const InfoOptions& options) {
  if (!ApplyMemoryBudget(options.maxMemory)) {
    std::cerr << "vordel: --max-memory: a size like 512M or 2G\n";
    return kUsage;
  }
  int exitCode = kOk;
  nlohmann::ordered_json all = nlohmann::ordered_json::array();
  bool first = true;
  for (size_t i = 0; i < options.files.size(); ++i) {
    const std::string& file = options.files[i];
    auto owned = std::make_unique<vx::TvxPDFDocument>();
    vx::TvxPDFDocument& doc = *owned;
    struct KeepLast {
      std::unique_ptr<vx::TvxPDFDocument>& document;
      bool last;
      ~KeepLast() {
        if (last) KeepUntilExit(std::move(document));
      }
    } keepLast{owned, i + 1 == options.files.size()};
    doc.SetShowSetupDialog(false);
    // A report needs the structure only; other objects are read if asked for.
    doc.SetLoadOnDemand(true);
    // Only the parts of the file the report needs are read; the document is
    // never saved.
    doc.SetReadForReport(true);
    std::vector<std::string> warnings;
    CollectWarnings(doc, warnings);
    auto error = LoadInput(doc, file, options.password);
    for (const std::string& text : warnings)
      std::cerr << "warning: " << EscapeControls(file) << ": " << SafeMessage(text) << "\n";
    if (error) {
      std::cerr << "vordel: " << EscapeControls(file) << ": " << SafeMessage(error->message) << "\n";
      exitCode = std::max<int>(exitCode, error->code);
      continue;
    }
    // The report reads the file once more (its revisions): a file cut
    // short since the load fails here, with the library's message.
    try {
      if (options.json) {
        nlohmann::ordered_json report = DocumentJson(doc, file);
        nlohmann::ordered_json list = nlohmann::ordered_json::array();
        for (const std::string& text : warnings) list.push_back(ValidUtf8(text));
        report["warnings"] = list;
        all.push_back(report);
      } else {
        std::string text = DocumentText(doc, file);
        if (!first) std::cout << "\n";
        std::cout << text;
        first = false;
      }
    } catch (const std::exception& e) {
      FileError failure = ReadFailure(e);
      std::cerr << "vordel: " << EscapeControls(file) << ": " << SafeMessage(failure.message) << "\n";
      exitCode = std::max<int>(exitCode, failure.code);
    }
  }
  if (options.json) {
    // Replacement characters, should any text still not be UTF-8: one bad
    // value must not cost the report of every file.
    const auto replace = nlohmann::ordered_json::error_handler_t::replace;
    if (options.files.size() == 1) {
      if (!all.empty()) std::cout << all[0].dump(2, ' ', false, replace) << "\n";
    } else {
      std::cout << all.dump(2, ' ', false, replace) << "\n";
    }
  }
  // A report that did not reach its reader (a full disk, a closed standard
  // output) is a failure, not a success.
  std::cout.flush();
  if (!std::cout) {
    std::cerr << "vordel: cannot write output\n";
    exitCode = std::max<int>(exitCode, kUnwritable);
  }
  return exitCode;
}

}  // namespace vordel
