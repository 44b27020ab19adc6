// Loading an input for a command, with the password rule and the mapping of
// failures to the command line's exit codes.
#pragma once

#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vx {
class TvxCustomPDFDocument;
}

namespace vordel {

enum ExitCode { kOk = 0, kUsage = 1, kUnreadable = 2, kPassword = 3, kUnwritable = 4 };

// A failure of one file: its exit code and the library's message.
struct FileError {
  ExitCode code;
  std::string message;
};

// Loads `path` (the file of that very name: no extension is added) into
// `doc`; `password` (when given) is offered once, and the library tries it as
// owner, then as user. A path that is not a regular file is refused before
// reading. Answers the failure, if any.
std::optional<FileError> LoadInput(vx::TvxCustomPDFDocument& doc, const std::string& path,
                                   const std::optional<std::string>& password);

// False only when the file at `path` certainly holds no signature: its bytes
// never name /ByteRange, which every signature dictionary carries outside
// any object stream (the signed ranges are counted in the file's own bytes).
// A file that cannot be read answers true and is left to the load.
bool MayHoldSignature(const std::string& path);

// Collects the document's warnings into `warnings` from now on.
void CollectWarnings(vx::TvxCustomPDFDocument& doc, std::vector<std::string>& warnings);

// The exit code for an exception raised while reading an input.
FileError ReadFailure(const std::exception& e);
// The exit code for one raised while applying settings or writing: 3 when a
// password would have allowed it, else 4.
ExitCode WriteFailureCode(const std::exception& e);

// Hands a document that is no longer needed to the end of the process: the
// system takes its memory back at exit far faster than freeing a few
// million small objects one by one. Meant for the last document a worker
// handles; it stays reachable, so leak checkers do not count it.
void KeepUntilExit(std::unique_ptr<vx::TvxCustomPDFDocument> document);

}  // namespace vordel
