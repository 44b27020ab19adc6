#include "cli/SetCommand.h"

#include <CLI/CLI.hpp>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <mutex>
#include <set>
#include <thread>

#include "cli/Loading.h"
#include "cli/Progress.h"
#include "pdf/document/vxPDFDoc.h"
#include "pdf/util/vxExceptions.h"

namespace vordel {

namespace {

void AddFlagPair(CLI::App* cmd, const std::string& name, std::optional<bool>& target, const std::string& what) {
  cmd->add_flag_callback("--" + name, [&target] { target = true; }, "Viewer preference " + what + " on");
  cmd->add_flag_callback("--no-" + name, [&target] { target = false; }, "Viewer preference " + what + " off");
}

// Reads more input names, one per line ("-" is standard input).
bool ReadFileList(const std::string& from, std::vector<std::string>& inputs, std::string& error) {
  std::ifstream file;
  std::istream* in = &std::cin;
  if (from != "-") {
    file.open(from);
    if (!file) {
      error = "--files-from: cannot read " + from;
      return false;
    }
    in = &file;
  }
  std::string line;
  while (std::getline(*in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) inputs.push_back(line);
  }
  return true;
}

struct Job {
  std::string input;
  std::string output;
};

}  // namespace

void AddSetCommand(CLI::App& app, SetCommandOptions& o) {
  CLI::App* cmd = app.add_subcommand("set", "Change document-level settings and write new files");
  DocumentSettings& s = o.settings;
  AddFlagPair(cmd, "center-window", s.centerWindow, "CenterWindow");
  AddFlagPair(cmd, "display-doc-title", s.displayDocTitle, "DisplayDocTitle");
  AddFlagPair(cmd, "fit-window", s.fitWindow, "FitWindow");
  AddFlagPair(cmd, "hide-menubar", s.hideMenubar, "HideMenubar");
  AddFlagPair(cmd, "hide-toolbar", s.hideToolbar, "HideToolbar");
  AddFlagPair(cmd, "hide-window-ui", s.hideWindowUI, "HideWindowUI");
  cmd->add_option("--page-mode", s.pageMode, "Page mode")->check(CLI::IsMember(kPageModes));
  cmd->add_option("--page-layout", s.pageLayout, "Page layout")->check(CLI::IsMember(kPageLayouts));
  cmd->add_option("--pdf-version", s.pdfVersion, "PDF version of the header written")->check(CLI::IsMember(kPdfVersions));
  cmd->add_option("--title", s.title, "Document title");
  cmd->add_option("--subject", s.subject, "Document subject");
  cmd->add_option("--keywords", s.keywords, "Document keywords");
  cmd->add_option("--author", s.author, "Document author");
  cmd->add_option("--creator", s.creator, "Creating application");
  cmd->add_option("--xmp", s.xmp, "XMP packet: keep (default; one present follows the information) or create")
      ->check(CLI::IsMember({"keep", "create"}));
  cmd->add_option("--compress", s.compress, "flate (default), runlength, or none (streams written as loaded)")
      ->check(CLI::IsMember({"flate", "runlength", "none"}));
  cmd->add_option("--level", s.level, "Flate level: default, fastest, maximum, none")
      ->check(CLI::IsMember({"default", "fastest", "maximum", "none"}));
  cmd->add_option("--need-appearances", s.needAppearances, "The form's /NeedAppearances: keep, true, false")
      ->check(CLI::IsMember({"keep", "true", "false"}));
  cmd->add_option("--encrypt", s.encrypt, "Save encrypted with RC4 at 40 or 128 bits")->check(CLI::IsMember({40, 128}));
  cmd->add_option("--owner-password", s.ownerPassword, "Owner password for --encrypt");
  cmd->add_option("--user-password", s.userPassword, "User password for --encrypt");
  cmd->add_option("--allow", s.allow, "Permissions for --encrypt: all, none, or a comma list");
  cmd->add_flag("--decrypt", s.decrypt, "Save without encryption (owner only)");
  cmd->add_option("--transition", s.transition, "Page transition effect")->check(CLI::IsMember(kTransitions));
  cmd->add_option("--duration", s.duration, "Transition duration in seconds (default 1)");
  cmd->add_option("--pages", s.pages, "Pages for the transition, like 1,3,5-12 (default all)");
  cmd->add_option("--password", o.password, "Password of encrypted inputs (tried as owner, then as user)");
  cmd->add_option("-o,--output", o.output, "Output file (one input only)");
  cmd->add_option("--output-dir", o.outputDir, "One output per input, same name, in this folder");
  cmd->add_flag("--in-place", o.inPlace, "Replace each input safely");
  cmd->add_option("--files-from", o.filesFrom, "Read more input names from FILE, one per line (- for standard input)");
  cmd->add_option("-j", o.jobs, "Files processed at once (default: number of cores)")->check(CLI::Range(1, 256));
  cmd->add_flag("-q,--quiet", o.quiet, "No progress and no summary");
  cmd->add_option("INPUT", o.inputs, "PDF files");
}

int RunSet(SetCommandOptions& o) {
  auto usage = [](const std::string& message) {
    std::cerr << "vordel: " << message << "\n";
    return int(kUsage);
  };
  if (o.filesFrom) {
    std::string error;
    if (!ReadFileList(*o.filesFrom, o.inputs, error)) return usage(error);
  }
  if (o.inputs.empty()) return usage("set: no input files");
  int targets = int(o.output.has_value()) + int(o.outputDir.has_value()) + int(o.inPlace);
  if (targets == 0) return usage("set: say where to write: -o OUTPUT, --output-dir DIR or --in-place");
  if (targets > 1) return usage("set: -o, --output-dir and --in-place exclude each other");
  if (o.output && o.inputs.size() != 1) return usage("set: -o takes exactly one input; use --output-dir or --in-place");
  if (auto problem = ValidateSettings(o.settings)) return usage(*problem);
  if (o.outputDir && !std::filesystem::is_directory(*o.outputDir))
    return usage("set: --output-dir: not a folder: " + *o.outputDir);

  std::vector<Job> jobs;
  std::set<std::string> outputs;
  for (const std::string& input : o.inputs) {
    Job job{input, input};
    if (o.output) job.output = *o.output;
    if (o.outputDir) job.output = (std::filesystem::path(*o.outputDir) / std::filesystem::path(input).filename()).string();
    std::string key = std::filesystem::weakly_canonical(job.output).string();
    if (!outputs.insert(key).second) return usage("set: two inputs would be written to " + job.output);
    jobs.push_back(job);
  }

  unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  unsigned workers = unsigned(o.jobs > 0 ? o.jobs : int(cores));
  workers = std::min<unsigned>(workers, unsigned(jobs.size()));
  // Streams of one file are compressed on the cores the other files leave.
  unsigned saveThreads = std::max(1u, cores / workers);

  Progress progress(jobs.size(), o.quiet);
  std::atomic<size_t> next{0};
  std::atomic<int> exitCode{kOk};
  auto raise = [&](int code) {
    int current = exitCode.load();
    while (code > current && !exitCode.compare_exchange_weak(current, code)) {
    }
  };
  auto work = [&] {
    std::unique_ptr<vx::TvxPDFDocument> last;  // this worker's last document, kept until exit
    struct KeepLast {
      std::unique_ptr<vx::TvxPDFDocument>& document;
      ~KeepLast() {
        if (document) KeepUntilExit(std::move(document));
      }
    } keepLast{last};
    for (size_t i = next++; i < jobs.size(); i = next++) {
      const Job& job = jobs[i];
      last = std::make_unique<vx::TvxPDFDocument>();  // the previous one is freed here
      vx::TvxPDFDocument& doc = *last;
      doc.SetShowSetupDialog(false);
      doc.SetSaveThreads(saveThreads);
      if (jobs.size() == 1) doc.OnIOProgress = [&](vx::TvxCustomPDFDocument&, int p) { progress.SetPercent(p); };
      if (auto error = LoadInput(doc, job.input, o.password)) {
        progress.Error(job.input, error->message);
        progress.FileDone(job.input, false);
        raise(error->code);
        continue;
      }
      try {
        ApplySettings(doc, o.settings);
      } catch (const SettingsRefused& refused) {
        progress.Error(job.input, refused.message);
        progress.FileDone(job.input, false);
        raise(kUnwritable);
        continue;
      } catch (const vx::EInvalidPageError& e) {
        progress.Error(job.input, e.what());
        progress.FileDone(job.input, false);
        raise(kUsage);
        continue;
      } catch (const std::exception& e) {
        progress.Error(job.input, e.what());
        progress.FileDone(job.input, false);
        raise(kUnwritable);
        continue;
      }
      try {
        doc.SaveToFile(job.output, NeedAppearancesMode(o.settings));
        progress.FileDone(job.input, true);
      } catch (const std::exception& e) {
        progress.Error(job.output, e.what());
        progress.FileDone(job.input, false);
        raise(kUnwritable);
      }
    }
  };
  std::vector<std::thread> pool;
  for (unsigned w = 1; w < workers; ++w) pool.emplace_back(work);
  work();
  for (auto& t : pool) t.join();
  progress.Finish();
  return exitCode.load();
}

}  // namespace vordel
