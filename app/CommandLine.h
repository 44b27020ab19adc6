// What vordel-pdf is asked to do at start: `vordel-pdf [FILE]` opens FILE;
// --help and --version are answered without a window.
// Hidden options serve the documentation's pictures:
//   --load FILE          the same as FILE
//   --screenshot FILE    saves a picture of the window to FILE and quits
//   --dialog-shots STEM  with --screenshot, also saves each tab of the
//                        settings dialog to STEM-<n>.png
//   --password-shot FILE with --screenshot, also saves the password dialog
#pragma once

#include <QString>
#include <QStringList>

struct TStartOptions {
  QString File;  // empty: start with nothing loaded
  QString Screenshot;
  QString DialogShots;
  QString PasswordShot;
};

// `arguments` as QApplication::arguments() gives them (program name first).
// Anything it does not know is ignored.
TStartOptions ParseCommandLine(const QStringList& arguments);

class QCoreApplication;

// --help (-h, --help-all) and --version (-v) are answered on standard output
// before any window exists, so they work with no display.
bool AsksForHelpOrVersion(int argc, char** argv);
// Prints the help (with where the help page is) or the version, and exits.
void AnswerHelpOrVersion(QCoreApplication& application);
