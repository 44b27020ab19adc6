// The main window, "Vordel PDF 2.01": loads a PDF into one document, shows
// its document-level settings, and writes the document with the settings the
// user edits to a new file.
#pragma once

#include <QFont>
#include <QString>
#include <QWidget>
#include <functional>

#include "pdf/document/vxPDFDoc.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class TRadioGroup;

class TForm1 : public QWidget {
  Q_OBJECT

 public:
  // `currentYear` is the year the rights notice ends with when it is later
  // than the notice's own.
  explicit TForm1(int currentYear = CurrentYear(), QWidget* parent = nullptr);
  ~TForm1() override;

  static int CurrentYear();
  // The face of the window, which its dialogs and message boxes share.
  static QFont WindowFont();

  QGroupBox* GroupBox1;
  QLabel* Label1;
  QLineEdit* Edit1;
  QPushButton* Button1;
  QGroupBox* GroupBox2;
  QCheckBox* CheckBox1;
  QCheckBox* CheckBox2;
  QCheckBox* CheckBox3;
  QCheckBox* CheckBox4;
  QCheckBox* CheckBox5;
  QCheckBox* CheckBox6;
  TRadioGroup* RadioGroup1;
  TRadioGroup* RadioGroup2;
  TRadioGroup* RadioGroup3;
  QGroupBox* GroupBox3;
  QLabel* Label2;
  QLineEdit* Edit2;
  QLabel* Label3;
  QLineEdit* Edit3;
  QLabel* Label4;
  QLineEdit* Edit4;
  QLabel* Label5;
  QLineEdit* Edit5;
  TRadioGroup* RadioGroup4;
  TRadioGroup* RadioGroup5;
  QPushButton* Button2;
  QPushButton* Button3;
  QPushButton* Button4;
  QLabel* Label6;
  QLabel* Label7;
  // The status line under the buttons: what was loaded or where it was saved.
  QLabel* Label8;

  // The document the window edits, for its whole life.
  vx::TvxPDFDocument PDFDoc;

  // The file dialogs: each answers the chosen name, or an empty one when the
  // user cancelled. Replaceable so that the flows can run without a person.
  std::function<QString()> ChooseSourceFile;
  std::function<QString()> ChooseTargetFile;
  // How long loading or saving runs before a progress dialog appears.
  int ProgressDelayMs = 500;

  void Button1Click();  // "Load..."
  void Button2Click();  // "Vordel!"
  void Button3Click();  // "Help"
  void Button4Click();  // "Exit"
  void Label7Click();
  // Loads `fileName` as "Load..." does once a file is chosen (the file named
  // on the command line, a dropped file, Enter in the file-name field).
  void LoadFile(const QString& fileName);
  // Whether the last load succeeded; Vordel! refuses until one has.
  bool Loaded() const { return loaded_; }

 protected:
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void CreateControls();
  void FormCreate(int currentYear);
  void LoadFlow();
  void LoadDocument(const QString& fileName);
  void ShowDocument();
  void ClearDocumentControls();
  void SaveFlow();
  void SetStatus(const QString& text);
  QString LoadedStatus(const QString& fileName) const;
  // Runs one flow, showing a failure's message in an error box.
  void RunGuarded(const std::function<void()>& flow);
  void ShowMessage(const QString& text);
  QString RunOpenDialog();
  QString RunSaveDialog();

  bool busy_ = false;      // a load or save is running
  bool loaded_ = false;    // the last load succeeded
  bool centred_ = false;   // placed on the screen once, when first shown
};
