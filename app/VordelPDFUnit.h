// The main window, "Vordel PDF 2.01": loads a PDF into one document, shows
// its document-level settings, and writes the document with the settings the
// user edits to a new file.
#pragma once

#include <QFont>
#include <QMargins>
#include <QMessageBox>
#include <QString>
#include <QWidget>
#include <functional>

#include "pdf/document/vxPDFDoc.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollArea;
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

  // The client area at its designed size, in a scroll area that shows scroll
  // bars only where the screen is too small for it.
  QScrollArea* ScrollArea;
  QWidget* Client;
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
  QPushButton* Button5;  // "Settings…": the library's settings dialog
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
  void Button5Click();  // "Settings…"
  void Label7Click();
  // Loads `fileName` as "Load..." does once a file is chosen (the file named
  // on the command line, a dropped file, Enter in the file-name field).
  void LoadFile(const QString& fileName);
  // Whether the last load succeeded; Vordel! refuses until one has.
  bool Loaded() const { return loaded_; }
  // The file the document was loaded from, which Vordel! saves from.
  const QString& LoadedName() const { return loadedName_; }

 protected:
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void CreateControls();
  void CreateShortcuts();
  void FormCreate(int currentYear);
  // Fixes the window's size: the client area's, or the screen's room where
  // that is smaller.
  void FitToScreen();
  void LoadFlow();
  void LoadDocument(const QString& fileName);
  void ShowDocument();
  void ShowCompression();
  void ClearDocumentControls();
  // An update keeps a signed file's signatures but cannot recompress it.
  void UseSaveKind(vx::TvxSaveKind kind);
  // Copies the controls into the document, as Vordel! does before saving.
  void ApplyControls();
  void ApplyCompression();
  void SaveFlow();
  bool CheckSource();
  void SaveTo(const QString& target);
  bool OfferFullRewrite(const QString& refusal);
  // A question whose action button is `yesText`; Cancel is the default.
  bool Ask(QMessageBox::Icon icon, const QString& question, const QString& yesText);
  // True when nothing was changed since the load or the last save, or the
  // user agrees to lose the changes.
  bool ChangesMayBeDiscarded();
  QString ControlsState() const;
  void MarkUnchanged();
  void SetStatus(const QString& text);
  // `text` with %1 the path: the path is shortened to fit, never the rest.
  void SetStatus(const QString& text, const QString& path);
  QString LoadedStatus() const;
  // Runs one flow, showing a failure's message in an error box.
  void RunGuarded(const std::function<void()>& flow);
  void ShowMessage(const QString& text);
  QString RunOpenDialog();
  QString RunSaveDialog();

  bool busy_ = false;      // a load or save is running
  bool loaded_ = false;    // the last load succeeded
  QString loadedName_;     // the file it loaded
  QString unchangedState_;  // ControlsState() after the load or the last save
  bool settingsApplied_ = false;  // the settings dialog changed the document since
  bool centred_ = false;   // placed on the screen once, when first shown
  QMargins fittedFrame_;   // the frame FitToScreen made room for
};
