#include "cli/InfoCommand.h"

#include <CLI/CLI.hpp>
#include <iostream>

#include "cli/DocumentReport.h"
#include "cli/Loading.h"
#include "pdf/document/vxPDFDoc.h"

namespace vordel {

void AddInfoCommand(CLI::App& app, InfoOptions& options) {
  CLI::App* info = app.add_subcommand("info", "Show the document-level settings of PDF files");
  info->add_flag("--json", options.json, "Write JSON (an object for one file, an array for several)");
  info->add_option("--password", options.password, "Password of encrypted inputs (tried as owner, then as user)");
  info->add_option("FILE", options.files, "PDF files")->required();
}

int RunInfo(const InfoOptions& options) {
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
    if (auto error = LoadInput(doc, file, options.password)) {
      std::cerr << "vordel: " << file << ": " << error->message << "\n";
      exitCode = std::max<int>(exitCode, error->code);
      continue;
    }
    if (options.json) {
      all.push_back(DocumentJson(doc, file));
    } else {
      if (!first) std::cout << "\n";
      std::cout << DocumentText(doc, file);
      first = false;
    }
  }
  if (options.json) {
    if (options.files.size() == 1) {
      if (!all.empty()) std::cout << all[0].dump(2) << "\n";
    } else {
      std::cout << all.dump(2) << "\n";
    }
  }
  return exitCode;
}

}  // namespace vordel
