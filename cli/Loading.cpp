#include "cli/Loading.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <mutex>
#include <new>
#include <string_view>
#include <vector>

#include "cli/Paths.h"
#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/util/vxExceptions.h"

namespace vordel {

void KeepUntilExit(std::unique_ptr<vx::TvxCustomPDFDocument> document) {
  static std::mutex lock;
  static auto* kept = new std::vector<vx::TvxCustomPDFDocument*>;  // never freed, on purpose
  std::lock_guard<std::mutex> guard(lock);
  kept->push_back(document.release());
}

void CollectWarnings(vx::TvxCustomPDFDocument& doc, std::vector<std::string>& warnings) {
  doc.OnWarning = [&warnings](vx::TvxCustomPDFDocument&, const std::string& text) { warnings.push_back(text); };
}

FileError ReadFailure(const std::exception& e) {
  if (dynamic_cast<const vx::EPasswordError*>(&e)) return {kPassword, e.what()};
  if (dynamic_cast<const std::bad_alloc*>(&e)) return {kUnreadable, "out of memory"};
  return {kUnreadable, e.what()};
}

ExitCode WriteFailureCode(const std::exception& e) {
  return dynamic_cast<const vx::EPasswordError*>(&e) ? kPassword : kUnwritable;
}

std::optional<FileError> LoadInput(vx::TvxCustomPDFDocument& doc, const std::string& path,
                                   const std::optional<std::string>& password) {
  if (password) {
    doc.OnPassword = [pw = *password](vx::TvxCustomPDFDocument&, std::string& offered, bool& proceed, int tries) {
      if (tries == 0)
        offered = pw;
      else
        proceed = false;
    };
  } else {
    doc.OnPassword = nullptr;
  }
  if (auto refused = CheckInput(path)) return refused;
  doc.SetLiteralFileNames(true);
  try {
    if (!doc.LoadFromFile(path)) return FileError{kPassword, "The password was not accepted"};
  } catch (const std::exception& e) {
    return ReadFailure(e);
  }
  return std::nullopt;
}

bool MayHoldSignature(const std::string& path) {
  static constexpr std::string_view kKey = "/ByteRange";
  std::ifstream in(path, std::ios::binary);
  if (!in) return true;
  // Read in pieces that overlap by the key's length less one byte, so that a
  // key across two pieces is still seen.
  std::vector<char> piece(size_t(1) << 20);
  size_t kept = 0;
  for (;;) {
    in.read(piece.data() + kept, std::streamsize(piece.size() - kept));
    const size_t filled = kept + size_t(in.gcount());
    if (memmem(piece.data(), filled, kKey.data(), kKey.size())) return true;
    if (!in) return in.bad();
    kept = std::min(filled, kKey.size() - 1);
    std::memmove(piece.data(), piece.data() + filled - kept, kept);
  }
}

}  // namespace vordel
