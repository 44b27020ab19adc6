// Helpers for driving the window and the dialog on the offscreen platform:
// answering message boxes and modal dialogs while the code under test waits
// in them, and reading a saved file's catalog and information with qpdf.
#pragma once

#include <QApplication>
#include <QJsonObject>
#include <QList>
#include <QMessageBox>
#include <QString>
#include <QTimer>
#include <QUrl>
#include <functional>
#include <string>

namespace apptest {

// Receives the URLs the program asks the desktop to open (install it with
// QDesktopServices::setUrlHandler(scheme, &recorder, "Open")).
class TUrlRecorder : public QObject {
  Q_OBJECT

 public:
  QList<QUrl> Opened;

 public slots:
  void Open(const QUrl& url) { Opened.append(url); }
};

struct TSeenMessage {
  QString Text;
  QMessageBox::Icon Icon = QMessageBox::NoIcon;
};

// While alive, closes every message box that appears (with its default
// button) and records its text and icon.
class TMessageBoxWatcher {
 public:
  TMessageBoxWatcher();
  const QList<TSeenMessage>& Seen() const { return seen_; }

 private:
  QTimer timer_;
  QList<TSeenMessage> seen_;
};

// Runs `action` once on the first visible top-level widget of type T (for
// example a modal dialog the code under test is waiting in).
template <typename T>
class TWhenShown {
 public:
  explicit TWhenShown(std::function<void(T*)> action) : action_(std::move(action)) {
    timer_.setInterval(10);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
    timer_.start();
  }
  bool Ran() const { return ran_; }

 private:
  void Poll() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (auto* target = qobject_cast<T*>(widget); target && target->isVisible()) {
        timer_.stop();
        ran_ = true;
        action_(target);
        return;
      }
    }
  }
  QTimer timer_;
  std::function<void(T*)> action_;
  bool ran_ = false;
};

// What qpdf reads from a file: the header's version, the catalog and the
// information dictionary (values in qpdf's JSON form, "u:" text strings).
struct TQpdfView {
  QString Version;
  QJsonObject Catalog;
  QJsonObject Info;
  QJsonObject Objects;  // every object, keyed "obj:N 0 R"
  QJsonObject Object(const QString& reference) const;  // the value of "N 0 R"
};
// Runs `qpdf --json`; an error (qpdf missing included) is returned in `error`.
TQpdfView ReadWithQpdf(const std::string& path, QString& error, const QString& password = QString());

// A file's bytes with its "%PDF-1.4" header changed to `version` ("1.6").
std::string WithHeaderVersion(std::string pdf, const std::string& version);

// Runs a program and answers its exit code (-1 when it could not start).
int Run(const QString& program, const QStringList& arguments, QString* output = nullptr);

// Runs each test function of `suite` in a process of its own (this program
// run again with the function's name), so that an uncaught exception or a
// crash in one fails that function and the others still run. Arguments
// beyond the program name run QTest as usual, in this process.
int RunEachTestFunction(QObject& suite, int argc, char** argv);

}  // namespace apptest

// main() for a window suite: QTEST_MAIN with each function on its own.
#define VX_APP_TEST_MAIN(Suite)                                  \
  int main(int argc, char** argv) {                              \
    QApplication application(argc, argv);                        \
    application.setAttribute(Qt::AA_Use96Dpi, true);             \
    Suite suite;                                                 \
    return apptest::RunEachTestFunction(suite, argc, argv);      \
  }

namespace apptest {

}  // namespace apptest
