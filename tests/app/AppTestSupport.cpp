#include "AppTestSupport.h"

#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QMetaMethod>
#include <QPushButton>
#include <QTest>
#include <cstdio>

namespace apptest {

TMessageBoxWatcher::TMessageBoxWatcher() {
  timer_.setInterval(10);
  QObject::connect(&timer_, &QTimer::timeout, [this] {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      auto* box = qobject_cast<QMessageBox*>(widget);
      if (!box || !box->isVisible()) continue;
      seen_.append({box->text(), box->icon()});
      if (QPushButton* button = box->defaultButton()) button->click();
      else box->accept();
    }
  });
  timer_.start();
}

void ClickButton(QMessageBox* box, const QString& text) {
  for (QAbstractButton* button : box->buttons())
    if (button->text() == text) return button->click();
  box->reject();
}

namespace {

// The functions QTest would run, in its order: private slots other than the
// fixtures and the data functions.
QStringList TestFunctions(const QObject& suite) {
  static const QStringList fixtures{"initTestCase", "cleanupTestCase", "init", "cleanup"};
  QStringList names;
  const QMetaObject* meta = suite.metaObject();
  for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
    const QMetaMethod method = meta->method(i);
    if (method.methodType() != QMetaMethod::Slot || method.access() != QMetaMethod::Private ||
        method.parameterCount() != 0)
      continue;
    const QString name = QString::fromLatin1(method.name());
    if (!fixtures.contains(name) && !name.endsWith(QStringLiteral("_data"))) names << name;
  }
  return names;
}

}  // namespace

int RunEachTestFunction(QObject& suite, int argc, char** argv) {
  if (argc > 1) return QTest::qExec(&suite, argc, argv);
  const QString program = QCoreApplication::applicationFilePath();
  QStringList failed;
  for (const QString& name : TestFunctions(suite)) {
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(program, {name});
    const bool finished = child.waitForStarted(10000) && child.waitForFinished(-1);
    if (!finished || child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0) failed << name;
  }
  std::printf("Suite %s: %s\n", suite.metaObject()->className(),
              failed.isEmpty() ? "every test function passed" : qPrintable("failed: " + failed.join(", ")));
  std::fflush(stdout);
  return failed.isEmpty() ? 0 : 1;
}

int Run(const QString& program, const QStringList& arguments, QString* output) {
  QProcess process;
  process.setProcessChannelMode(QProcess::MergedChannels);
  process.start(program, arguments);
  if (!process.waitForStarted(10000) || !process.waitForFinished(60000)) return -1;
  if (output) *output = QString::fromUtf8(process.readAll());
  return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

QJsonObject TQpdfView::Object(const QString& reference) const {
  return Objects.value(QStringLiteral("obj:") + reference).toObject().value(QStringLiteral("value")).toObject();
}

TQpdfView ReadWithQpdf(const std::string& path, QString& error, const QString& password) {
  TQpdfView view;
  QStringList arguments{QStringLiteral("--json"), QStringLiteral("--json-key=qpdf")};
  if (!password.isNull()) arguments << QStringLiteral("--password=") + password;
  arguments << QString::fromStdString(path);
  QProcess process;
  process.start(QStringLiteral("qpdf"), arguments);
  if (!process.waitForStarted(10000) || !process.waitForFinished(60000)) {
    error = QStringLiteral("qpdf could not be run: ") + process.errorString();
    return view;
  }
  // Exit code 3 means warnings only; the JSON is complete.
  if (process.exitCode() != 0 && process.exitCode() != 3) {
    error = QStringLiteral("qpdf failed: ") + QString::fromUtf8(process.readAllStandardError());
    return view;
  }
  const QJsonArray parts =
      QJsonDocument::fromJson(process.readAllStandardOutput()).object().value(QStringLiteral("qpdf")).toArray();
  if (parts.size() < 2) {
    error = QStringLiteral("qpdf gave no objects");
    return view;
  }
  view.Version = parts[0].toObject().value(QStringLiteral("pdfversion")).toString();
  view.Objects = parts[1].toObject();
  const QJsonObject trailer = view.Objects.value(QStringLiteral("trailer")).toObject().value(QStringLiteral("value")).toObject();
  view.Catalog = view.Object(trailer.value(QStringLiteral("/Root")).toString());
  view.Info = view.Object(trailer.value(QStringLiteral("/Info")).toString());
  return view;
}

std::string WithHeaderVersion(std::string pdf, const std::string& version) {
  // Same length, so every offset stays right.
  pdf.replace(5, 3, version);
  return pdf;
}

}  // namespace apptest
