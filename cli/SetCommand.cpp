#include "cli/SetCommand.h"

#include <CLI/CLI.hpp>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <mutex>
#include <thread>

#include "cli/BatchReport.h"
#include "cli/Loading.h"
#include "cli/MessageText.h"
#include "cli/Paths.h"
#include "cli/ProcessSetup.h"
#include "cli/Progress.h"
#include "pdf/document/vxPDFDoc.h"
#include "pdf/util/vxExceptions.h"
#include "pdf/util/vxPDFResStrs.h"
#include "pdf/util/vxUtils.h"

namespace vordel {

namespace {

void AddFlagPair(CLI::App* cmd, const std::string& name, std::optional<bool>& target, const std::string& what) {
  cmd->add_flag_callback("--" + name, [&target] { target = true; }, "Viewer preference " + what + " on");
  cmd->add_flag_callback("--no-" + name, [&target] { target = false; }, "Viewer preference " + what + " off");
}

// Reads more input names, one per line ("-" is standard input). A list may
// come from a pipe or a FIFO, but not from a folder.
bool ReadFileList(const std::string& from, std::vector<std::string>& inputs, std::string& error) {
  if (from == "-") {
    if (ReadNameList(std::cin, inputs, error)) return true;
    error = "--files-from: " + error;
    return false;
  }
  std::error_code ec;
  if (std::filesystem::is_directory(from, ec)) {
    error = "--files-from: " + vx::Format(vx::res::SNotRegularFile, {from});
    return false;
  }
  std::ifstream file(from, std::ios::binary);
  if (!file) {
    error = "--files-from: cannot read " + from;
    return false;
  }
  if (ReadNameList(file, inputs, error)) return true;
  error = "--files-from: " + from + ": " + error;
  return false;
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
  cmd->add_option("--non-full-screen-mode", s.nonFullScreenMode, "Page mode on leaving full-screen mode")
      ->check(CLI::IsMember(kNonFullScreenModes));
  cmd->add_option("--direction", s.direction, "Reading order: l2r (default) or r2l")->check(CLI::IsMember(kDirections));
  cmd->add_option("--open-at", s.openAt,
                  "Open at a page: PAGE, PAGE:fit-page, PAGE:fit-width, PAGE:fit-height, PAGE:fit-visible, "
                  "PAGE:PERCENT% (like 3:fit-width, 1:150%), or none (the viewer's default)");
  cmd->add_option("--print-scaling", s.printScaling, "Print dialog's scaling: app-default or none (actual size)")
      ->check(CLI::IsMember(kPrintScalings));
  cmd->add_option("--duplex", s.duplex, "Print dialog's duplex: default, simplex, short-edge or long-edge")
      ->check(CLI::IsMember(kDuplexes));
  cmd->add_flag_callback("--pick-tray-by-pdf-size", [&s] { s.pickTrayByPdfSize = true; },
                         "Print dialog picks the paper tray by page size");
  cmd->add_flag_callback("--no-pick-tray-by-pdf-size", [&s] { s.pickTrayByPdfSize = false; },
                         "Print dialog does not pick the paper tray by page size");
  cmd->add_option("--print-pages", s.printPages, "Print dialog's page ranges, like 1-4,9 (all: every page)");
  cmd->add_option("--copies", s.copies, "Print dialog's number of copies, 1 (the default) to 5");
  cmd->add_option("--enforce", s.enforce, "Preferences a viewer must keep: print-scaling, or none")
      ->check(CLI::IsMember(kEnforce));
  cmd->add_option("--lang", s.lang, "Document language, a BCP 47 tag like en-US or de (none removes it)");
  cmd->add_option("--pdf-version", s.pdfVersion, "PDF version of the header written")->check(CLI::IsMember(kPdfVersions));
  cmd->add_option("--title", s.title, "Document title");
  cmd->add_option("--subject", s.subject, "Document subject");
  cmd->add_option("--keywords", s.keywords, "Document keywords");
  cmd->add_option("--author", s.author, "Document author");
  cmd->add_option("--creator", s.creator, "Creating application");
  // One value each time given, so that the input names after them stay inputs.
  cmd->add_option("--property", s.properties, "Custom document property NAME=VALUE (repeatable)")
      ->allow_extra_args(false);
  cmd->add_option("--remove-property", s.removeProperties, "Remove the custom document property NAME (repeatable)")
      ->allow_extra_args(false);
  cmd->add_option("--trapped", s.trapped, "Trapping: true, false, unknown or unset")->check(CLI::IsMember(kTrapped));
  cmd->add_flag("--strip-metadata", s.stripMetadata,
                "Remove the document information (producer aside), the XMP packet and /PieceInfo (not for "
                "updates of signed files)");
  cmd->add_option("--xmp", s.xmp, "XMP packet: keep (default; one present takes the fields you set) or create")
      ->check(CLI::IsMember({"keep", "create"}));
  cmd->add_option("--compress", s.compress, "flate (default), runlength, or none (streams written as loaded)")
      ->check(CLI::IsMember({"flate", "runlength", "none"}))
      ->each([&s](const std::string&) { s.compressGiven = true; });
  cmd->add_option("--level", s.level, "Flate level: default, fastest, maximum, none")
      ->check(CLI::IsMember({"default", "fastest", "maximum", "none"}))
      ->each([&s](const std::string&) { s.compressGiven = true; });
  cmd->add_option("--object-streams", s.objectStreams,
                  "Object streams: disable (default; a classic table), preserve (as the source had), generate "
                  "(PDF 1.5 and later)")
      ->check(CLI::IsMember({"disable", "preserve", "generate"}));
  cmd->add_flag_callback("--linearize", [&s] { s.linearize = true; },
                         "Fast web view: write the file linearized (default: as the input is)");
  cmd->add_flag_callback("--no-linearize", [&s] { s.linearize = false; }, "Write the file without fast web view");
  cmd->add_option("--need-appearances", s.needAppearances, "The form's /NeedAppearances: keep, true, false")
      ->check(CLI::IsMember({"keep", "true", "false"}));
  cmd->add_option("--encrypt", s.encrypt,
                  "Save encrypted: aes256 (AES-256, the one to choose), aes128 (AES-128), or 40 / 128 (RC4, "
                  "only for old readers)")
      ->check(CLI::IsMember({"40", "128", "aes128", "aes256"}));
  cmd->add_option("--owner-password", s.ownerPassword, "Owner password for --encrypt (required with it); \"random\" makes one and prints it once");
  cmd->add_option("--user-password", s.userPassword, "User password for --encrypt");
  cmd->add_option("--allow", s.allow,
                  "Permissions for --encrypt: all, none, or a comma list of print, modify, copy, annotate, "
                  "form-fill, accessibility, assemble, print-high (print-high implies print)");
  cmd->add_flag("--decrypt", s.decrypt, "Save without encryption (owner only)");
  cmd->add_option("--transition", s.transition, "Page transition effect")->check(CLI::IsMember(kTransitions));
  cmd->add_option("--duration", s.duration, "Transition duration in seconds (default 1)");
  cmd->add_option("--pages", s.pages, "Pages for the transition, like 1,3,5-12 (default all)");
  cmd->add_flag("--incremental", o.incremental,
                "Append an update to the input's bytes (keeps signatures valid; the default for signed inputs)");
  cmd->add_flag("--rewrite", o.rewrite, "Write a whole new file, also for signed inputs (their signatures become invalid)");
  cmd->add_option("--password", o.password, "Password of encrypted inputs (tried as owner, then as user)");
  cmd->add_option("-o,--output", o.output, "Output file (one input only)");
  cmd->add_option("--output-dir", o.outputDir, "One output per input, same name, in this folder");
  cmd->add_flag("--in-place", o.inPlace, "Replace each input safely");
  cmd->add_option("--files-from", o.filesFrom, "Read more input names from FILE, one per line (- for standard input)");
  cmd->add_option("-j", o.jobs, "Files processed at once (default: number of cores)")->check(CLI::Range(1, 256));
  cmd->add_flag("-q,--quiet", o.quiet, "No progress and no summary");
  cmd->add_option("--report", o.report,
                  "json: one JSON object per input on standard output as it finishes (path, output, status, exit, "
                  "message, pages, seconds, warnings)")
      ->check(CLI::IsMember({"json"}));
  cmd->add_option("--max-memory", o.maxMemory,
                  "Memory budget for decoded data, whole process (like 512M, 2G; default a quarter of RAM)");
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
  if (o.output && o.output->empty()) return usage("set: -o: the output name is empty");
  if (o.incremental && o.rewrite) return usage("set: --incremental and --rewrite exclude each other");
  if (o.incremental && o.settings.linearize.value_or(false))
    return usage("set: --incremental and --linearize exclude each other (an update cannot keep a file linearized)");
  if (auto problem = ValidateSettings(o.settings)) return usage(*problem);
  if (!ApplyMemoryBudget(o.maxMemory)) return usage("--max-memory: a size like 512M or 2G");
  std::error_code ec;
  if (o.outputDir && !std::filesystem::is_directory(*o.outputDir, ec))
    return usage("set: --output-dir: not a folder: " + EscapeControls(*o.outputDir));

  // Every output is named before anything is written, so two inputs that
  // would end in one file, or an output that would replace another input,
  // stop the run while it has done nothing. Only an edit in place follows a
  // link to the file it replaces; a new output replaces a link standing in
  // its place.
  const bool followLinks = o.inPlace;
  std::vector<Job> jobs;
  std::vector<std::string> outputs;
  for (const std::string& input : o.inputs) {
    Job job{input, input};
    if (o.output) job.output = *o.output;
    if (o.outputDir) job.output = (std::filesystem::path(*o.outputDir) / std::filesystem::path(input).filename()).string();
    outputs.push_back(job.output);
    jobs.push_back(job);
  }
  if (auto clash = FindOutputClash(o.inputs, outputs, followLinks)) return usage("set: " + *clash + "; nothing written");

  try {
    if (auto password = ResolveRandomOwnerPassword(o.settings))
      std::cerr << "vordel: owner password: " << *password << "\n";
  } catch (const std::exception& e) {
    return usage(e.what());
  }

  unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  unsigned workers = unsigned(o.jobs > 0 ? o.jobs : int(cores));
  workers = std::min<unsigned>(workers, unsigned(jobs.size()));
  // Streams of one file are compressed on the cores the other files leave.
  unsigned saveThreads = std::max(1u, cores / workers);

  Progress progress(jobs.size(), o.quiet);
  BatchReport report(o.report.has_value());
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
      const auto started = std::chrono::steady_clock::now();
      FileOutcome outcome;
      outcome.path = job.input;
      outcome.output = job.output;
      auto finish = [&](bool done, int code, const std::string& message) {
        outcome.done = done;
        outcome.exitCode = code;
        outcome.message = message;
        outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        report.Record(outcome);
      };
      // What a failure leaves: the output untouched (or not made).
      const std::string notWritten =
          job.output == job.input ? job.input + " left as it was" : job.output + " not written";
      auto fail = [&](const std::string& file, const std::string& message, int code) {
        if (last) last->SetUpdateTarget(std::string());  // the update begun at the load is not made
        progress.Error(file, message, notWritten);
        progress.FileDone(job.input, false);
        raise(code);
        finish(false, code, SafeMessage(message) + "; " + EscapeControls(notWritten));
      };
      if (auto refused = CheckInput(job.input)) {
        fail(job.input, refused->message, refused->code);
        continue;
      }
      if (auto refused = CheckOutput(job.output, followLinks)) {
        fail(job.output, refused->message, refused->code);
        continue;
      }
      std::vector<std::string> warnings;
      auto showWarnings = [&] {
        for (const std::string& text : warnings) progress.Warning(job.input, text);
        outcome.warnings.insert(outcome.warnings.end(), warnings.begin(), warnings.end());
        warnings.clear();
      };
      // An update reads only what it writes: when an update is asked for, or
      // the input may be signed (and so saved as an update), it is read on
      // demand, piece by piece, and read whole only when it turns out to
      // need a rewrite after all.
      auto load = [&](bool onDemand) {
        last = std::make_unique<vx::TvxPDFDocument>();  // the previous one is freed here
        vx::TvxPDFDocument& doc = *last;
        doc.SetShowSetupDialog(false);
        doc.SetReplaceLinksOnSave(!followLinks);
        doc.SetSaveThreads(saveThreads);
        doc.SetLoadOnDemand(onDemand);
        doc.SetReadFileOnDemand(onDemand);
        // The update's copy of the input's bytes is made while the rest loads.
        doc.SetUpdateTarget(onDemand ? job.output : std::string());
        // Files loaded side by side have the cores already.
        if (saveThreads == 1) doc.SetLoadThreads(1);
        warnings.clear();
        CollectWarnings(doc, warnings);
        if (jobs.size() == 1) doc.OnIOProgress = [&](vx::TvxCustomPDFDocument&, int p) { progress.SetPercent(p); };
        return LoadInput(doc, job.input, o.password);
      };
      auto error = load(o.incremental || (!o.rewrite && MayHoldSignature(job.input)));
      // Signatures cover the source's bytes: a signed input is saved as an
      // update unless a full rewrite is asked for.
      int signatures = error ? 0 : last->SignatureCount();
      bool incremental = o.incremental || (!o.rewrite && signatures > 0);
      if (!error && !incremental && last->LoadOnDemand()) {
        error = load(false);
        signatures = error ? 0 : last->SignatureCount();
        incremental = signatures > 0;
      }
      if (error) {
        showWarnings();
        fail(job.input, error->message, error->code);
        continue;
      }
      vx::TvxPDFDocument& doc = *last;
      showWarnings();
      outcome.pages = doc.PageCount();
      if (doc.PageCount() == 0 && doc.DeclaredPageCount() > 0) {
        // A tree that declares pages but yields none is damaged: writing it
        // would replace the document by an empty one.
        fail(job.input, "no page could be read (the page tree declares " + std::to_string(doc.DeclaredPageCount()) + ")",
             kUnreadable);
        continue;
      }
      doc.SetSaveKind(incremental ? vx::TvxSaveKind::Incremental : vx::TvxSaveKind::Rewrite);
      if (signatures > 0 && !o.incremental && !o.rewrite)
        progress.Note(job.input, "signed (" + std::to_string(signatures) +
                                     (signatures == 1 ? " signature" : " signatures") +
                                     "): saved as an incremental update, which keeps the signatures valid "
                                     "(--rewrite writes a whole new file)");
      if (signatures > 0 && o.rewrite)
        progress.Warning(job.input, signatures == 1 ? std::string("--rewrite: the signature of this file becomes invalid in the output")
                                                    : "--rewrite: the " + std::to_string(signatures) +
                                                          " signatures of this file become invalid in the output");
      try {
        ApplySettings(doc, o.settings);
      } catch (const SettingsRefused& refused) {
        fail(job.input, refused.message, kUnwritable);
        continue;
      } catch (const vx::EInvalidPageError& e) {
        // A page range that does not fit this file: this file's failure.
        fail(job.input, e.what(), kUnreadable);
        continue;
      } catch (const std::exception& e) {
        fail(job.input, e.what(), WriteFailureCode(e));
        continue;
      }
      try {
        doc.SaveToFile(job.output, NeedAppearancesMode(o.settings));
        showWarnings();
        progress.FileDone(job.input, true);
        finish(true, kOk, "");
      } catch (const std::bad_alloc&) {
        showWarnings();
        fail(job.output, "out of memory", kUnwritable);
      } catch (const std::exception& e) {
        showWarnings();
        fail(job.output, e.what(), WriteFailureCode(e));
      }
    }
  };
  std::vector<std::thread> pool;
  for (unsigned w = 1; w < workers; ++w) pool.emplace_back(work);
  work();
  for (auto& t : pool) t.join();
  progress.Finish();
  if (!report.Written()) {
    std::cerr << "vordel: cannot write output\n";
    raise(kUnwritable);
  }
  return exitCode.load();
}

}  // namespace vordel
