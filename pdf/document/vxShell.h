// Opening a saved file with the desktop's default viewer. The library knows
// no desktop: a front end that has one registers how to open a file.
#pragma once

#include <functional>
#include <string>

namespace vx {

using TvxShellOpenHandler = std::function<void(const std::string& fileName)>;
void RegisterShellOpen(TvxShellOpenHandler handler);
// Answers false when no handler is registered.
bool ShellOpen(const std::string& fileName);

}  // namespace vx
