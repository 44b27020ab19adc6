#include "app/CommandLine.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <cstring>

#include "app/HelpPage.h"

namespace {

const QString kLoad = QStringLiteral("load");
const QString kScreenshot = QStringLiteral("screenshot");
const QString kDialogShots = QStringLiteral("dialog-shots");
const QString kPasswordShot = QStringLiteral("password-shot");

// Everything vordel-pdf accepts, shown or hidden, in one place.
void DescribeCommandLine(QCommandLineParser& parser, bool withHelpPage) {
  QString description = QStringLiteral(
      "Vordel PDF: change the viewer preferences, page mode and layout, PDF version, document properties, "
      "compression and encryption of a PDF file, and save it as a new file.");
  if (withHelpPage) {
    const QString page = FindHelpPage(QCoreApplication::applicationDirPath());
    description += QStringLiteral("\nHelp page: ") +
                   (page.isEmpty() ? QStringLiteral("not found (looked for ") +
                                         HelpPageCandidates(QCoreApplication::applicationDirPath()).join(
                                             QStringLiteral(", ")) +
                                         QStringLiteral(")")
                                   : page);
  }
  parser.setApplicationDescription(description);
  parser.addHelpOption();
  parser.addVersionOption();
  parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("A PDF file to load at start."),
                               QStringLiteral("[file]"));
  for (const QString& name : {kLoad, kScreenshot, kDialogShots, kPasswordShot}) {
    QCommandLineOption option(name, QString(), name == kDialogShots ? QStringLiteral("stem") : QStringLiteral("file"));
    option.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(option);
  }
}

}  // namespace

TStartOptions ParseCommandLine(const QStringList& arguments) {
  QCommandLineParser parser;
  DescribeCommandLine(parser, false);
  parser.parse(arguments);

  TStartOptions options;
  const QStringList files = parser.positionalArguments();
  options.File = !files.isEmpty() ? files.first() : parser.value(kLoad);
  options.Screenshot = parser.value(kScreenshot);
  options.DialogShots = parser.value(kDialogShots);
  options.PasswordShot = parser.value(kPasswordShot);
  return options;
}

bool AsksForHelpOrVersion(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--") == 0) return false;  // file names follow
    for (const char* word : {"-h", "--help", "--help-all", "-v", "--version"})
      if (std::strcmp(argv[i], word) == 0) return true;
  }
  return false;
}

void AnswerHelpOrVersion(QCoreApplication& application) {
  QCommandLineParser parser;
  DescribeCommandLine(parser, true);
  parser.process(application);  // prints the help or the version and ends the process
}
