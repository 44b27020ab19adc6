#include "pdf/document/vxKeptFileAttributes.h"

#include <sys/xattr.h>

#include <cerrno>
#include <cstring>
#include <string_view>

#include "pdf/util/vxPDFResStrs.h"
#include "pdf/util/vxUtils.h"

namespace vx {

namespace {

// Reads a list or a value whose size may change between asking and reading.
template <typename Read>
bool ReadSized(std::string& out, Read read) {
  for (int attempt = 0; attempt < 4; ++attempt) {
    ssize_t size = read(nullptr, 0);
    if (size < 0) return false;
    out.resize(size_t(size));
    if (size == 0) return true;
    ssize_t got = read(out.data(), out.size());
    if (got >= 0) {
      out.resize(size_t(got));
      return true;
    }
    if (errno != ERANGE) return false;
  }
  return false;
}

}  // namespace

std::vector<std::string> CopyExtendedAttributes(const std::string& from, int to) {
  std::vector<std::string> problems;
  const char* path = from.c_str();
  std::string names;
  if (!ReadSized(names, [path](char* buffer, size_t size) { return ::llistxattr(path, buffer, size); })) {
    // A file system without extended attributes has none to keep.
    if (errno != ENOTSUP) problems.push_back(Format(res::SAttributesNotKept, {from, std::strerror(errno)}));
    return problems;
  }
  for (size_t at = 0; at < names.size();) {
    const std::string name(names.c_str() + at);
    at += name.size() + 1;
    if (name.empty() || name == "security.capability") continue;
    std::string value;
    const char* key = name.c_str();
    if (!ReadSized(value, [path, key](char* buffer, size_t size) { return ::lgetxattr(path, key, buffer, size); }) ||
        ::fsetxattr(to, key, value.data(), value.size(), 0) != 0)
      problems.push_back(Format(res::SAttributeNotKept, {name, from, std::strerror(errno)}));
  }
  return problems;
}

}  // namespace vx
