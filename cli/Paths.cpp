#include "cli/Paths.h"

#include <limits.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>

#include "cli/MessageText.h"
#include "pdf/util/vxPDFResStrs.h"
#include "pdf/util/vxUtils.h"

namespace vordel {

namespace fs = std::filesystem;

std::optional<FileError> CheckInput(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) {
    if (errno == ENOENT) return std::nullopt;
    return FileError{kUnreadable, std::strerror(errno)};
  }
  if (!S_ISREG(st.st_mode)) return FileError{kUnreadable, vx::Format(vx::res::SNotRegularFile, {path})};
  return std::nullopt;
}

std::optional<FileError> CheckOutput(const std::string& path, bool followLinks) {
  if (path.empty()) return FileError{kUnwritable, "the output name is empty"};
  struct stat st;
  if (!followLinks && ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) return std::nullopt;
  if (::stat(path.c_str(), &st) == 0) {
    if (!S_ISREG(st.st_mode)) return FileError{kUnwritable, vx::Format(vx::res::SNotRegularFile, {path})};
    return std::nullopt;
  }
  if (errno == ENOENT) {
    // Absent is fine, unless it is a link that leads nowhere through a loop.
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode) && ::stat(path.c_str(), &st) != 0 && errno == ELOOP)
      return FileError{kUnwritable, std::strerror(ELOOP)};
    return std::nullopt;
  }
  return FileError{kUnwritable, std::strerror(errno)};
}

namespace {

struct FileId {
  dev_t device;
  ino_t inode;
  auto operator<=>(const FileId&) const = default;
};

// The file a name reaches now; nothing when there is none (or, where links
// are not followed, when the name is a link).
std::optional<FileId> IdentityOf(const std::string& path, bool followLinks) {
  struct stat st;
  if ((followLinks ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st)) != 0 || S_ISLNK(st.st_mode))
    return std::nullopt;
  return FileId{st.st_dev, st.st_ino};
}

std::string Canonical(const fs::path& p) {
  std::error_code ec;
  fs::path key = fs::weakly_canonical(p, ec);
  if (ec) key = fs::absolute(p, ec).lexically_normal();
  if (ec) key = p.lexically_normal();
  return key.string();
}

// The folder entry a save to `path` replaces or makes.
std::string WrittenEntry(const std::string& path, bool followLinks) {
  fs::path p(path);
  if (followLinks || p.filename().empty() || p.filename() == "." || p.filename() == "..") return Canonical(p);
  return (fs::path(Canonical(p.parent_path().empty() ? fs::path(".") : p.parent_path())) / p.filename()).string();
}

}  // namespace

std::optional<std::string> FindOutputClash(const std::vector<std::string>& inputs,
                                           const std::vector<std::string>& outputs, bool followLinks) {
  // Each file an input reaches, with the jobs that read it.
  std::map<FileId, std::vector<size_t>> readers;
  for (size_t i = 0; i < inputs.size(); ++i)
    if (auto id = IdentityOf(inputs[i], true)) readers[*id].push_back(i);
  std::set<std::string> entries;
  std::set<FileId> written;
  std::vector<std::optional<FileId>> replaced(outputs.size());
  for (size_t i = 0; i < outputs.size(); ++i) {
    replaced[i] = IdentityOf(outputs[i], followLinks);
    if (!entries.insert(WrittenEntry(outputs[i], followLinks)).second || (replaced[i] && !written.insert(*replaced[i]).second))
      return "two inputs would be written to " + EscapeControls(outputs[i]);
  }
  for (size_t i = 0; i < outputs.size(); ++i) {
    const std::optional<FileId>& id = replaced[i];
    if (!id) continue;
    // Replacing the file its own input names is an edit in place; any
    // other job's input would be gone before (or while) that job reads it.
    auto reading = readers.find(*id);
    if (reading == readers.end()) continue;
    for (size_t j : reading->second)
      if (j != i) return "writing " + EscapeControls(outputs[i]) + " would replace the input " + EscapeControls(inputs[j]);
  }
  return std::nullopt;
}

bool ReadNameList(std::istream& in, std::vector<std::string>& names, std::string& error) {
  std::string line;
  auto finish = [&]() {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) names.push_back(line);
    line.clear();
  };
  std::streambuf* buffer = in.rdbuf();
  for (int c = buffer->sbumpc(); c != std::char_traits<char>::eof(); c = buffer->sbumpc()) {
    if (c == '\n') {
      finish();
      continue;
    }
    if (c == 0) {
      error = "a name holds a NUL byte (line " + std::to_string(names.size() + 1) + ")";
      return false;
    }
    if (line.size() >= PATH_MAX) {
      error = "a name is longer than the system allows (" + std::to_string(PATH_MAX) + " bytes)";
      return false;
    }
    line += char(c);
  }
  finish();
  return true;
}

}  // namespace vordel
