#include "app/HelpPage.h"

#include <QDir>
#include <QFileInfo>

#include "app/VordelPDFTexts.h"

QStringList HelpPageCandidates(const QString& programDir) {
  const QString name = QString::fromUtf8(app::texts::HelpFileName);
  const QDir dir(programDir);
  // The installed layout is kept relative (bin/ and share/ of one prefix), so
  // a package, /usr/local and a private prefix all work.
  return {dir.filePath(name),
          QDir::cleanPath(dir.filePath(QStringLiteral(VX_HELP_FROM_BINDIR "/") + name))};
}

QString FindHelpPage(const QString& programDir) {
  for (const QString& path : HelpPageCandidates(programDir))
    if (QFileInfo(path).isFile()) return path;
  return QString();
}
