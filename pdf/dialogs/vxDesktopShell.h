// Opening files and web pages with the desktop's default application, for the
// library's "open after save" setting and the window's help and web links.
#pragma once

class QUrl;
class QWidget;

namespace vx {

// Hands `url` to the desktop. Where no program takes it, a message box shows
// the path or address instead, with a button that copies it. Answers whether
// a program took it.
bool OpenWithDesktop(QWidget* parent, const QUrl& url);

// Registers a shell-open handler that opens saved files with OpenWithDesktop.
void RegisterDesktopShellOpen();

}  // namespace vx
