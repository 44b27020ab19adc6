#include "cli/Paths.h"

#include <limits.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

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

std::optional<FileError> CheckOutput(const std::string& path) {
  if (path.empty()) return FileError{kUnwritable, "the output name is empty"};
  struct stat st;
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

std::string OutputKey(const std::string& path) {
  std::error_code ec;
  fs::path p(path);
  fs::path key = fs::weakly_canonical(p, ec);
  if (ec) key = fs::absolute(p, ec).lexically_normal();
  if (ec) key = p.lexically_normal();
  return key.string();
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
