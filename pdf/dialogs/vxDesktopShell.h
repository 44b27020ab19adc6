// Opening files with the desktop's default application, for the library's
// "open after save" setting.
#pragma once

namespace vx {

// Registers a shell-open handler that hands the file to QDesktopServices.
void RegisterDesktopShellOpen();

}  // namespace vx
