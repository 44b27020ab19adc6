#include "app/WorkIndicator.h"

#include <QApplication>
#include <QProgressDialog>
#include <algorithm>

#include "app/VordelPDFTexts.h"

TWorkIndicator::TWorkIndicator(QWidget* owner, vx::TvxCustomPDFDocument& document, QString label, int delayMs,
                               bool cancelsSave)
    : owner_(owner), document_(document), previous_(document.OnIOProgress), label_(std::move(label)),
      delayMs_(delayMs), cancelsSave_(cancelsSave) {
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
    // Only a save can stop half-way; a load has no Cancel.
    const QString cancel = cancelsSave_ ? QString::fromUtf8(app::texts::CancelButton) : QString();
    dialog_ = new QProgressDialog(label_, cancel, 0, 100, owner_);
    dialog_->setWindowTitle(QApplication::applicationName());
    dialog_->setWindowModality(Qt::WindowModal);
    dialog_->setMinimumDuration(0);
    dialog_->setAutoClose(false);
    dialog_->setAutoReset(false);
    if (cancelsSave_)
      QObject::connect(dialog_.data(), &QProgressDialog::canceled, [this] { document_.CancelSave(); });
    // Sized to its contents before it is first shown, so that no strip of
    // it is left to be painted later.
    dialog_->setFixedSize(dialog_->sizeHint());
    dialog_->show();
    dialog_->setValue(std::clamp(percent, 0, 100));
    dialog_->repaint();
  }
  if (dialog_) dialog_->setValue(std::clamp(percent, 0, 100));
  // Keep the windows painted; the user's input waits until the work is done,
  // except while a save's dialog shows: it blocks the window, and its Cancel
  // must be able to take a click.
  QApplication::processEvents(dialog_ && cancelsSave_ ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents);
}
