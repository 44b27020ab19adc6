// A suite that misbehaves on purpose: its first function throws, its second
// crashes. The window suites' runner must still run the third, and fail.
#include <QTest>
#include <csignal>
#include <stdexcept>

#include "AppTestSupport.h"

class TSuiteIsolationProbe : public QObject {
  Q_OBJECT

 private slots:
  void throwsAnException() { throw std::runtime_error("thrown on purpose"); }
  void crashes() { std::raise(SIGSEGV); }
  void runsAfterTheOthers() { QVERIFY(true); }
};

VX_APP_TEST_MAIN(TSuiteIsolationProbe)

#include "SuiteIsolationProbe.moc"
