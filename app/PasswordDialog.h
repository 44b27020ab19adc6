// Asks for the password of an encrypted file while it loads: a masked field,
// the file's name in the question, OK and Cancel. Asked again after a wrong
// password, with a line saying so.
#pragma once

#include <QDialog>
#include <QString>

#include "pdf/document/vxCstPDFDoc.h"

class QDialogButtonBox;
class QLabel;
class QLineEdit;

class TPasswordDialog : public QDialog {
  Q_OBJECT

 public:
  // `tries` is how many passwords were refused before this question.
  TPasswordDialog(QWidget* parent, const QString& fileName, int tries);

  QString Password() const;

  QLabel* Question;
  QLabel* WrongLine;  // shown from the second question on
  QLineEdit* PasswordEdit;
  QDialogButtonBox* Buttons;
};

// Makes `document` try the empty password, then ask through TPasswordDialog
// while a load needs a password; Cancel stops the load.
void AskForPasswords(QWidget* parent, vx::TvxCustomPDFDocument& document, const QString& fileName);
