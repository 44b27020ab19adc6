#include "app/CommandLine.h"

#include <QCommandLineParser>

TStartOptions ParseCommandLine(const QStringList& arguments) {
  QCommandLineParser parser;
  parser.addPositionalArgument(QStringLiteral("file"), QString());
  QCommandLineOption load(QStringLiteral("load"), QString(), QStringLiteral("file"));
  QCommandLineOption screenshot(QStringLiteral("screenshot"), QString(), QStringLiteral("file"));
  QCommandLineOption dialogShots(QStringLiteral("dialog-shots"), QString(), QStringLiteral("stem"));
  QCommandLineOption passwordShot(QStringLiteral("password-shot"), QString(), QStringLiteral("file"));
  for (QCommandLineOption* option : {&load, &screenshot, &dialogShots, &passwordShot}) {
    option->setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(*option);
  }
  parser.parse(arguments);

  TStartOptions options;
  const QStringList files = parser.positionalArguments();
  options.File = !files.isEmpty() ? files.first() : parser.value(load);
  options.Screenshot = parser.value(screenshot);
  options.DialogShots = parser.value(dialogShots);
  options.PasswordShot = parser.value(passwordShot);
  return options;
}
