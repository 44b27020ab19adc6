// The help page is found where a build leaves it (beside the program) and
// where an install puts it (the share folder of the same prefix).
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "AppTestSupport.h"
#include "app/HelpPage.h"

class THelpPageTest : public QObject {
  Q_OBJECT
 private slots:
  void besideTheProgramThenInTheInstalledShareFolder();
};

namespace {
void Touch(const QString& path) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write("<html></html>");
}
}  // namespace

void THelpPageTest::besideTheProgramThenInTheInstalledShareFolder() {
  QTemporaryDir prefix;
  QVERIFY(prefix.isValid());
  const QString bin = prefix.filePath(QStringLiteral("bin"));
  QDir().mkpath(bin);
  QVERIFY(FindHelpPage(bin).isEmpty());

  const QString installed = prefix.filePath(QStringLiteral("share/vordel-pdf/help.html"));
  Touch(installed);
  QCOMPARE(FindHelpPage(bin), installed);

  // A build folder's copy beside the program comes first.
  const QString beside = prefix.filePath(QStringLiteral("bin/help.html"));
  Touch(beside);
  QCOMPARE(FindHelpPage(bin), beside);

  // A folder of that name is not a page.
  QFile::remove(beside);
  QFile::remove(installed);
  QDir().mkpath(installed);
  QVERIFY(FindHelpPage(bin).isEmpty());
  QCOMPARE(HelpPageCandidates(bin).size(), 2);
}

VX_APP_TEST_MAIN(THelpPageTest)
#include "HelpPageTest.moc"
