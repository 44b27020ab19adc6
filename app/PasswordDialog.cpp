#include "app/PasswordDialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/VordelPDFTexts.h"

namespace texts = app::texts;

TPasswordDialog::TPasswordDialog(QWidget* parent, const QString& fileName, int tries) : QDialog(parent) {
  setWindowTitle(QString::fromUtf8(texts::PasswordDialogTitle));
  Question = new QLabel(QString::fromUtf8(texts::PasswordQuestion).arg(QFileInfo(fileName).fileName()), this);
  Question->setWordWrap(true);
  WrongLine = new QLabel(QString::fromUtf8(texts::PasswordWasWrong), this);
  WrongLine->setStyleSheet(QStringLiteral("color: #b00000"));
  WrongLine->setVisible(tries > 0);
  PasswordEdit = new QLineEdit(this);
  PasswordEdit->setEchoMode(QLineEdit::Password);
  Buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(Buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(Buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Question);
  layout->addWidget(WrongLine);
  layout->addWidget(PasswordEdit);
  layout->addWidget(Buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  Question->setMinimumWidth(320);
  PasswordEdit->setFocus();
}

QString TPasswordDialog::Password() const { return PasswordEdit->text(); }

void AskForPasswords(QWidget* parent, vx::TvxCustomPDFDocument& document, const QString& fileName) {
  document.OnPassword = [parent, fileName](vx::TvxCustomPDFDocument&, std::string& password, bool& proceed,
                                           int tries) {
    // The empty password first, without a word: a file any reader opens
    // freely asks for nothing.
    if (tries == 0) {
      password.clear();
      return;
    }
    // The busy cursor of the load would hide that the dialog waits for typing.
    QApplication::setOverrideCursor(Qt::ArrowCursor);
    TPasswordDialog dialog(parent, fileName, tries - 1);
    proceed = dialog.exec() == QDialog::Accepted;
    QApplication::restoreOverrideCursor();
    password = proceed ? dialog.Password().toStdString() : std::string();
  };
}
