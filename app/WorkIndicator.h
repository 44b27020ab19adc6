// Shows that loading or saving is under way: a busy cursor at once and, once
// the work has run for a while, a progress dialog fed by the document's
// progress events. Lives for the duration of one piece of work. A save can be
// cancelled from the dialog: the document stops it and keeps the target.
#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <QString>

#include "pdf/document/vxCstPDFDoc.h"

class QProgressDialog;
class QWidget;

class TWorkIndicator {
 public:
  TWorkIndicator(QWidget* owner, vx::TvxCustomPDFDocument& document, QString label, int delayMs,
                 bool cancelsSave = false);
  ~TWorkIndicator();
  TWorkIndicator(const TWorkIndicator&) = delete;
  TWorkIndicator& operator=(const TWorkIndicator&) = delete;

 private:
  void Progress(int percent);

  QWidget* owner_;
  vx::TvxCustomPDFDocument& document_;
  vx::TvxProgressEvent previous_;  // the document's own handler, put back afterwards
  QString label_;
  int delayMs_;
  bool cancelsSave_;
  QElapsedTimer clock_;
  QPointer<QProgressDialog> dialog_;
};
