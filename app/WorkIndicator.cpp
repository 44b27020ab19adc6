#include "app/WorkIndicator.h"

#include <QApplication>
#include <QProgressDialog>
#include <algorithm>

TWorkIndicator::TWorkIndicator(QWidget* owner, vx::TvxCustomPDFDocument& document, QString label, int delayMs)
    : owner_(owner), document_(document), previous_(document.OnIOProgress), label_(std::move(label)),
      delayMs_(delayMs) {
  clock_.start();
  QApplication::setOverrideCursor(Qt::WaitCursor);
  document_.OnIOProgress = [this](vx::TvxCustomPDFDocument& sender, int percent) {
    Progress(percent);
    if (previous_) previous_(sender, percent);
  };
}

TWorkIndicator::~TWorkIndicator() {
  document_.OnIOProgress = previous_;
  delete dialog_.data();
  QApplication::restoreOverrideCursor();
}

void TWorkIndicator::Progress(int percent) {
  if (!dialog_ && clock_.elapsed() >= delayMs_) {
    // The work cannot be stopped half-way, so the dialog has no Cancel.
    dialog_ = new QProgressDialog(label_, QString(), 0, 100, owner_);
    dialog_->setWindowTitle(QApplication::applicationName());
    dialog_->setWindowModality(Qt::WindowModal);
    dialog_->setMinimumDuration(0);
    dialog_->setAutoClose(false);
    dialog_->setAutoReset(false);
    dialog_->show();
  }
  if (dialog_) dialog_->setValue(std::clamp(percent, 0, 100));
  // Keep the windows painted; the user's input waits until the work is done.
  QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}
