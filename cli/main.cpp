// vordel: the command-line front end of Vordel PDF.
#include <CLI/CLI.hpp>
#include <iostream>

#include "cli/InfoCommand.h"
#include "cli/Loading.h"
#include "cli/ProcessSetup.h"
#include "cli/SetCommand.h"

int main(int argc, char** argv) {
  vordel::GuardStandardDescriptors();
  vordel::RemoveSaveFilesOnSignals();
  vordel::IgnoreBrokenPipes();
  CLI::App app{"vordel: show and change the document-level settings of PDF files"};
  app.set_version_flag("--version", "vordel (Vordel PDF) 2.01");
  app.require_subcommand(1);

  vordel::InfoOptions info;
  vordel::AddInfoCommand(app, info);
  vordel::SetCommandOptions set;
  vordel::AddSetCommand(app, set);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    int code = app.exit(e);
    return code == 0 ? vordel::kOk : vordel::kUsage;
  }
  if (app.got_subcommand("info")) return vordel::RunInfo(info);
  if (app.got_subcommand("set")) return vordel::RunSet(set);
  return vordel::kUsage;
}
