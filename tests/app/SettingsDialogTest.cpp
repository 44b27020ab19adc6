// The settings dialog driven through its controls: what showing fills in,
// the reactions while open, the checks of OK, and what OK and Cancel do to
// the document and to the file a save writes.
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QGroupBox>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QDoubleSpinBox>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTabWidget>
#include <QTest>
#include <QUrl>
#include <filesystem>

#include "AppTestSupport.h"
#include "pdf/dialogs/vxPDFSettingsDlg.h"
#include "pdf/document/vxPDFDoc.h"
#include "pdf/security/vxPDFCrypt.h"
#include "support/PdfBuilder.h"

using apptest::TMessageBoxWatcher;
using vx::TvxPDFSettingsDlg;

namespace {

const std::string kUserPasswordFile = vxtest::CorpusDir() + "/qpdf-tests/enc-R2,V1,U=view,O=master.pdf";

void Check(QListWidget* list, int row, bool checked) {
  list->item(row)->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
}
bool IsChecked(QListWidget* list, int row) { return list->item(row)->checkState() == Qt::Checked; }

// A three-page document with settings in every area the dialog shows.
std::string RichPdf() {
  return vxtest::SimplePdf(3,
                           "/PageMode /UseOutlines /PageLayout /TwoColumnLeft "
                           "/ViewerPreferences << /HideToolbar true /FitWindow true >>",
                           "/Title (Report) /Subject (Figures) /Author (Jane) /Keywords (k1) /Creator (Writer 1.0)");
}

void LoadWithPassword(vx::TvxPDFDocument& doc, const std::string& path, const std::string& password) {
  doc.OnPassword = [password](vx::TvxCustomPDFDocument&, std::string& offered, bool& proceed, int tries) {
    if (tries == 0) offered = password;
    else proceed = false;
  };
  QVERIFY(doc.LoadFromFile(path));
}

// The dialog shown for `doc` as SaveToFile would show it, but without waiting.
struct TShownDialog {
  explicit TShownDialog(vx::TvxCustomPDFDocument& doc) {
    Dialog.Document = &doc;
    Dialog.show();
  }
  ~TShownDialog() { Dialog.Document = nullptr; }
  TvxPDFSettingsDlg Dialog;
};

}  // namespace

class TSettingsDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void showingFillsFromTheDocument();
  void showingUsesPacketValuesWhereInfoHasNone();
  void cancelLeavesTheDocumentUntouched();
  void transitionEffectForcesSinglePage();
  void compressionTypeSwitchesTheLevelList();
  void objectStreamChoiceReachesTheDocumentAndTheFile();
  void fastWebViewStartsAsTheFileIsAndReachesTheFile();
  void passwordMismatchKeepsTheDialogOpen();
  void okAppliesEncryptionThatQpdfOpens();
  void userPasswordDocumentCannotSwitchEncryptionOff();
  void ownerCanSwitchEncryptionOff();
  void aesChoiceAndAnUntouchedAesFileKeepTheirEncryption();
  void badPageRangeKeepsTheDialogOpen();
  void updateTurnsCompressionAndEncryptionOff();
  void saveShowsTheDialogAndOkWritesItsSettings();
  void saveStopsWhenTheDialogIsCancelled();
  void editingStartsFromTheDocumentsOwnChoices();
  void viewerTabsShowEachLoadedSettingAndOkKeepsThem();
  void viewerTabsWriteEachChangedSetting();
};

void TSettingsDialogTest::showingUsesPacketValuesWhereInfoHasNone() {
  vxtest::TempFile file;
  file.Write(vxtest::PdfWithXmpPacket(vxtest::SampleXmpPacket("Packet title"), "/Creator (Writer 2)"));
  vx::TvxPDFDocument doc;
  QVERIFY(doc.LoadFromFile(file.Path()));
  TShownDialog shown(doc);
  TvxPDFSettingsDlg& d = shown.Dialog;
  QCOMPARE(d.edtTitle->text(), QString("Packet title"));
  QCOMPARE(d.edtAuthor->text(), QString("Ann; Bob"));
  QCOMPARE(d.edtCreator->text(), QString("Writer 2"));
}

void TSettingsDialogTest::showingFillsFromTheDocument() {
  vxtest::TempFile file;
  file.Write(RichPdf());
  vx::TvxPDFDocument doc;
  QVERIFY(doc.LoadFromFile(file.Path()));
  TShownDialog shown(doc);
  TvxPDFSettingsDlg& d = shown.Dialog;

  QCOMPARE(d.windowTitle(), QString("Document Settings and Preferences"));
  QCOMPARE(d.pcSettings->currentWidget(), d.tsDocInfo);
  QCOMPARE(d.edtTitle->text(), QString("Report"));
  QCOMPARE(d.edtDocSubject->text(), QString("Figures"));
  QCOMPARE(d.edtAuthor->text(), QString("Jane"));
  QCOMPARE(d.edtKeywords->text(), QString("k1"));
  QCOMPARE(d.edtCreator->text(), QString("Writer 1.0"));
  QVERIFY(d.edtCreator->isReadOnly());
  QCOMPARE(d.edtProducer->text(), QString("Vexor Paginox V2.5"));
  QCOMPARE(d.edtVersion->text(), QString("1.4 (Acrobat 5.x)"));
  QCOMPARE(d.edtNoPages->text(), QString("3"));
  QCOMPARE(d.edtDur->text(), QString("1"));
  QCOMPARE(d.cbPageLayout->currentText(), QString("Two Column Left"));
  QCOMPARE(d.cbPageMode->currentText(), QString("Use Outlines"));
  QCOMPARE(d.cbPageTransitionEffect->currentIndex(), 0);
  // Item 0 "Hide Toolbars" is HideToolbar, item 1 "Hide Menu Bar" HideMenubar.
  const bool expected[] = {true, false, false, true, false, false};
  for (int i = 0; i < 6; ++i) QCOMPARE(IsChecked(d.chklstViewerPreferences, i), expected[i]);
  QVERIFY(d.chkCompressDoc->isChecked() && d.gbCompType->isEnabled());
  QCOMPARE(d.cbCompType->currentText(), QString("Flate"));
  QCOMPARE(d.cbCompLevel->currentText(), QString("Fastest"));
  QVERIFY(!d.chkEmailAfterSave->isChecked() && !d.gbConnection->isEnabled());
  QVERIFY(!d.chkEnableEncryption->isChecked() && !d.gbEncryption->isEnabled());
}

void TSettingsDialogTest::cancelLeavesTheDocumentUntouched() {
  vxtest::TempFile file;
  file.Write(RichPdf());
  vx::TvxPDFDocument doc;
  QVERIFY(doc.LoadFromFile(file.Path()));
  {
    TShownDialog shown(doc);
    TvxPDFSettingsDlg& d = shown.Dialog;
    d.edtTitle->setText("Changed");
    d.chkOpenAfterSave->setChecked(false);
    d.chkEnableEncryption->click();
    d.edtOwnerPassword->setText("o");
    d.edtConfirmOwnerPassword->setText("o");
    d.cbPageTransitionEffect->setCurrentIndex(13);
    d.cbPageMode->setCurrentIndex(3);
    Check(d.chklstViewerPreferences, 0, false);
    Check(d.chklstViewerPreferences, 4, true);
    d.chkEmailAfterSave->click();
    d.edtTo->setText("a@example.org");
    d.cbCompType->setCurrentIndex(1);
    d.btnCancel->click();
    QCOMPARE(d.result(), int(QDialog::Rejected));
  }
  QCOMPARE(QString::fromStdU16String(doc.Info().Title()), QString("Report"));
  QCOMPARE(doc.PageLayout(), vx::plTwoColumnLeft);
  QCOMPARE(doc.PageMode(), vx::pmUseOutlines);
  QVERIFY(doc.ViewerPreferences().HideToolbar() && !doc.ViewerPreferences().CenterWindow());
  QVERIFY(!doc.Encryption().Enabled());
  QVERIFY(!doc.OpenAfterSave() && !doc.EMailAfterSave());
  QVERIFY(doc.EMailInfo().RecipientList.empty());
  QVERIFY(!doc.Compression().Active);
  auto* page = vx::As<vx::TvxPDFDictObject>(doc.PageList()[0]->Content.get());
  QVERIFY(page && !page->Find("/Trans"));
}

void TSettingsDialogTest::transitionEffectForcesSinglePage() {
  vxtest::TempFile file, target;
  file.Write(RichPdf());
  vx::TvxPDFDocument doc;
  QVERIFY(doc.LoadFromFile(file.Path()));
  doc.SetShowSetupDialog(false);
  TShownDialog shown(doc);
  TvxPDFSettingsDlg& d = shown.Dialog;

  d.cbPageTransitionEffect->setCurrentIndex(d.cbPageTransitionEffect->findText("Dissolve"));
  QCOMPARE(d.cbPageLayout->currentText(), QString("Single Page"));
  d.cbPageLayout->setCurrentIndex(d.cbPageLayout->findText("One Column"));
  QCOMPARE(d.cbPageLayout->currentText(), QString("Single Page"));
  d.cbPageTransitionEffect->setCurrentIndex(0);
  d.cbPageLayout->setCurrentIndex(d.cbPageLayout->findText("One Column"));
  QCOMPARE(d.cbPageLayout->currentText(), QString("One Column"));

  // Wipe on page 2 only, typed into the pages field, 3 seconds.
  d.cbPageTransitionEffect->setCurrentIndex(d.cbPageTransitionEffect->findText("Wipe Bottom To Top"));
  QTest::keyClicks(d.edtPresentationPages, "2x");  // the letter is refused
  QCOMPARE(d.edtPresentationPages->text(), QString("2"));
  QVERIFY(d.rbPages->isChecked());
  d.edtDur->clear();
  QTest::keyClicks(d.edtDur, "3s");
  QCOMPARE(d.edtDur->text(), QString("3"));
  d.btnOK->click();
  QCOMPARE(d.result(), int(QDialog::Accepted));
  QCOMPARE(doc.PageLayout(), vx::plSinglePage);

  QVERIFY(doc.SaveToFile(target.Path()));
  QString error;
  const apptest::TQpdfView view = apptest::ReadWithQpdf(target.Path(), error);
  QVERIFY2(error.isEmpty(), qPrintable(error));
  QCOMPARE(view.Catalog.value("/PageLayout").toString(), QString("/SinglePage"));
  const QJsonArray kids = view.Object(view.Catalog.value("/Pages").toString()).value("/Kids").toArray();
  QCOMPARE(kids.size(), 3);
  QVERIFY(!view.Object(kids[0].toString()).contains("/Trans"));
  QVERIFY(!view.Object(kids[2].toString()).contains("/Trans"));
  const QJsonObject page2 = view.Object(kids[1].toString());
  const QJsonObject trans = page2.value("/Trans").toObject();
  QCOMPARE(trans.value("/S").toString(), QString("/Wipe"));
  QCOMPARE(trans.value("/Di").toInt(), 90);
  QCOMPARE(page2.value("/Dur").toDouble(), 3.0);
}

void TSettingsDialogTest::compressionTypeSwitchesTheLevelList() {
  vx::TvxPDFDocument doc;
  {
    TShownDialog shown(doc);
    TvxPDFSettingsDlg& d = shown.Dialog;
    d.cbCompType->setCurrentIndex(d.cbCompType->findText("Runlength"));
    QVERIFY(!d.cbCompLevel->isEnabled());
    QCOMPARE(d.cbCompLevel->currentText(), QString("None"));
    d.btnOK->click();
    QVERIFY(doc.Compression().Active);
    QCOMPARE(doc.Compression().Encoding, uint8_t(1));
    QCOMPARE(doc.Compression().Level, uint8_t(0));
  }
  {
    TShownDialog shown(doc);
    TvxPDFSettingsDlg& d = shown.Dialog;
    d.cbCompType->setCurrentIndex(d.cbCompType->findText("Runlength"));
    d.cbCompType->setCurrentIndex(d.cbCompType->findText("Flate"));
    QVERIFY(d.cbCompLevel->isEnabled());
    QCOMPARE(d.cbCompLevel->currentText(), QString("Maximum"));
    d.btnOK->click();
    QCOMPARE(doc.Compression().Encoding, uint8_t(0));
    QCOMPARE(doc.Compression().Level, uint8_t(3));
  }
  // The other items pass the library's own level codes.
  const struct {
    const char* Item;
    uint8_t Level;
  } levels[] = {{"None", 0}, {"Fastest", 1}, {"Normal", 2}, {"Maximum", 3}};
  for (const auto& level : levels) {
    TShownDialog shown(doc);
    shown.Dialog.cbCompLevel->setCurrentIndex(shown.Dialog.cbCompLevel->findText(level.Item));
    shown.Dialog.btnOK->click();
    QCOMPARE(doc.Compression().Level, level.Level);
  }
  // "Compress Document" off leaves the document's compression as it was.
  {
    TShownDialog shown(doc);
    shown.Dialog.chkCompressDoc->click();
    QVERIFY(!shown.Dialog.gbCompType->isEnabled());
    shown.Dialog.cbCompLevel->setCurrentIndex(0);
    shown.Dialog.btnOK->click();
    QCOMPARE(doc.Compression().Level, uint8_t(3));
  }
}

void TSettingsDialogTest::objectStreamChoiceReachesTheDocumentAndTheFile() {
  vxtest::TempFile file, target;
  file.Write(RichPdf());  // a PDF 1.4 file
  vx::TvxPDFDocument doc;
  QVERIFY(doc.LoadFromFile(file.Path()));
  {
    TShownDialog shown(doc);
    TvxPDFSettingsDlg& d = shown.Dialog;
    QCOMPARE(d.cbObjectStreams->currentText(), QString("Disable"));
    QVERIFY(d.cbObjectStreams->isEnabled());
    // "Generate" needs PDF 1.5: the version box says what will be written.
    d.cbObjectStreams->setCurrentIndex(d.cbObjectStreams->findText("Generate"));
    QCOMPARE(d.edtVersion->text(), QString("1.5 (Acrobat 6.x)"));
    d.cbObjectStreams->setCurrentIndex(d.cbObjectStreams->findText("Preserve"));
    QCOMPARE(d.edtVersion->text(), QString("1.4 (Acrobat 5.x)"));
    d.cbObjectStreams->setCurrentIndex(d.cbObjectStreams->findText("Generate"));
    // Not a matter of stream compression: it applies with that switched off.
    d.chkCompressDoc->click();
    d.btnOK->click();
  }
  QCOMPARE(doc.ObjectStreams(), vx::osGenerate);
  QCOMPARE(doc.PDFVersion(), vx::pvPDF15);
  doc.SetShowSetupDialog(false);
  doc.SetLiteralFileNames(true);
  QVERIFY(doc.SaveToFile(target.Path()));
  std::string xref;
  QCOMPARE(vxtest::RunCommand("qpdf --show-xref " + vxtest::Quote(target.Path()), &xref), 0);
  QVERIFY2(xref.find("compressed; stream") != std::string::npos, xref.c_str());
  QCOMPARE(vxtest::RunCommand("qpdf --check " + vxtest::Quote(target.Path())), 0);

  // Shown again, the list shows the document's choice; "Disable" goes back
  // to a classic table (the version raised stays).
  {
    TShownDialog shown(doc);
    TvxPDFSettingsDlg& d = shown.Dialog;
    QCOMPARE(d.cbObjectStreams->currentText(), QString("Generate"));
    d.cbObjectStreams->setCurrentIndex(d.cbObjectStreams->findText("Disable"));
    QCOMPARE(d.edtVersion->text(), QString("1.5 (Acrobat 6.x)"));
    d.btnOK->click();
  }
  QCOMPARE(doc.ObjectStreams(), vx::osDisable);
  QVERIFY(doc.SaveToFile(target.Path()));
  QCOMPARE(vxtest::RunCommand("qpdf --show-xref " + vxtest::Quote(target.Path()), &xref), 0);
  QVERIFY2(xref.find("compressed; stream") == std::string::npos, xref.c_str());
}

// The box starts checked for a linearized file and unchecked for another;
// what OK leaves in it decides the layout qpdf finds in the file written.
void TSettingsDialogTest::fastWebViewStartsAsTheFileIsAndReachesTheFile() {
  VX_QT_NEEDS_CORPUS();
  vxtest::TempFile plainFile, target;
  plainFile.Write(RichPdf());
  for (const std::string& source : {vxtest::CorpusDir() + "/qpdf-tests/lin1.pdf", plainFile.Path()}) {
    vx::TvxPDFDocument doc;
    QVERIFY(doc.LoadFromFile(source));
    const bool wasLinearized = doc.SourceLinearization() == vx::lsLinearized;
    {
      TShownDialog shown(doc);
      QCOMPARE(shown.Dialog.chkFastWebView->isChecked(), wasLinearized);
      QVERIFY(shown.Dialog.chkFastWebView->isEnabled());
      shown.Dialog.chkFastWebView->click();
      shown.Dialog.btnOK->click();
    }
    QCOMPARE(doc.Linearize(), !wasLinearized);
    doc.SetShowSetupDialog(false);
    doc.SetLiteralFileNames(true);
    QVERIFY(doc.SaveToFile(target.Path()));
    std::string said;
    vxtest::RunCommand("qpdf --check-linearization " + vxtest::Quote(target.Path()), &said);
    QVERIFY2((said.find("no linearization errors") != std::string::npos) == !wasLinearized, said.c_str());
  }
}

void TSettingsDialogTest::passwordMismatchKeepsTheDialogOpen() {
  vx::TvxPDFDocument doc;
  TShownDialog shown(doc);
  TvxPDFSettingsDlg& d = shown.Dialog;
  d.edtTitle->setText("Must not be applied");
  d.chkEnableEncryption->click();
  QVERIFY(d.gbEncryption->isEnabled());
  d.edtOwnerPassword->setText("master");
  d.edtUserPassword->setText("view");
  d.edtConfirmUserPassword->setText("view");
  d.pcSettings->setCurrentWidget(d.tsDocInfo);
  {
    TMessageBoxWatcher watcher;
    d.btnOK->click();
    QCOMPARE(watcher.Seen().size(), 1);
    QCOMPARE(watcher.Seen()[0].Text, QString("The Owner Passwords do not match.\nPlease re-enter."));
    QCOMPARE(watcher.Seen()[0].Icon, QMessageBox::Critical);
  }
  QVERIFY(d.isVisible());
  QCOMPARE(d.focusWidget(), d.edtOwnerPassword);
  QCOMPARE(d.pcSettings->currentWidget(), d.tsSecurity);
  QVERIFY(!doc.Encryption().Enabled());
  QVERIFY(doc.Info().Title().empty());

  d.edtConfirmOwnerPassword->setText("master");
  d.edtConfirmUserPassword->setText("View");
  {
    TMessageBoxWatcher watcher;
    d.btnOK->click();
    QCOMPARE(watcher.Seen().size(), 1);
    QCOMPARE(watcher.Seen()[0].Text, QString("The User Passwords do not match.\nPlease re-enter."));
  }
  QVERIFY(d.isVisible());
  QCOMPARE(d.focusWidget(), d.edtUserPassword);
  QVERIFY(!doc.Encryption().Enabled());
}

void TSettingsDialogTest::okAppliesEncryptionThatQpdfOpens() {
  vxtest::TempFile file, target;
  file.Write(RichPdf());
  vx::TvxPDFDocument doc;
  QVERIFY(doc.LoadFromFile(file.Path()));
  {
    TShownDialog shown(doc);
    TvxPDFSettingsDlg& d = shown.Dialog;
    d.chkEnableEncryption->click();
    for (QLineEdit* e : {d.edtOwnerPassword, d.edtConfirmOwnerPassword}) e->setText("master");
    for (QLineEdit* e : {d.edtUserPassword, d.edtConfirmUserPassword}) e->setText("view");
    d.rgEncryptionLevelButtons->button(1)->click();  // "128 Bit"
    Check(d.chklstUserPermissions, 0, true);          // Print
    Check(d.chklstUserPermissions, 2, true);          // Copy
    d.btnOK->click();
    QCOMPARE(d.result(), int(QDialog::Accepted));
  }
  const vx::TvxPDFEncryptionSettings& settings = doc.Encryption();
  QVERIFY(settings.Enabled());
  QCOMPARE(settings.Level(), vx::el128bit);
  QCOMPARE(settings.OwnerPassword(), std::string("master"));
  QCOMPARE(settings.UserPassword(), std::string("view"));
  QCOMPARE(settings.UserPermissions(), vx::TvxUserPermissions({vx::AllowPrint, vx::AllowCopy}));

  QVERIFY(doc.SaveToFile(target.Path()));
  const QString path = QString::fromStdString(target.Path());
  QCOMPARE(apptest::Run("qpdf", {"--check", "--password=view", path}), 0);
  QVERIFY(apptest::Run("qpdf", {"--check", path}) != 0);  // no password: refused
  QString output;
  QCOMPARE(apptest::Run("qpdf", {"--show-encryption", "--password=master", path}, &output), 0);
  QVERIFY2(output.contains("R = 3") && output.contains("P = -3884"), qPrintable(output));
  QVERIFY2(output.contains("print low resolution: allowed") && output.contains("modify document assembly: not allowed"),
           qPrintable(output));

  // Showing again presents the settings the document now has.
  TShownDialog again(doc);
  QVERIFY(again.Dialog.chkEnableEncryption->isChecked() && again.Dialog.gbEncryption->isEnabled());
  QCOMPARE(again.Dialog.edtOwnerPassword->text(), QString("master"));
  QCOMPARE(again.Dialog.edtConfirmUserPassword->text(), QString("view"));
  QCOMPARE(again.Dialog.rgEncryptionLevelButtons->checkedId(), 1);
  QVERIFY(IsChecked(again.Dialog.chklstUserPermissions, 0) && !IsChecked(again.Dialog.chklstUserPermissions, 1));
}

void TSettingsDialogTest::userPasswordDocumentCannotSwitchEncryptionOff() {
  VX_QT_NEEDS_CORPUS();
  vxtest::TempFile target;
  vx::TvxPDFDocument doc;
  LoadWithPassword(doc, kUserPasswordFile, "view");
  QVERIFY(!doc.IsOwner());
  {
    TShownDialog shown(doc);
    TvxPDFSettingsDlg& d = shown.Dialog;
    QVERIFY(d.chkEnableEncryption->isChecked());  // the file stays encrypted
    QVERIFY(!d.gbEncryption->isEnabled());
    {
      TMessageBoxWatcher watcher;
      d.chkEnableEncryption->click();
      QCOMPARE(watcher.Seen().size(), 1);
      QCOMPARE(watcher.Seen()[0].Text, QString("Only the owner can change the encryption settings"));
      QCOMPARE(watcher.Seen()[0].Icon, QMessageBox::Information);
    }
    QVERIFY(d.chkEnableEncryption->isChecked());
    QVERIFY(!d.gbEncryption->isEnabled());
    d.edtTitle->setText("Still encrypted");
    TMessageBoxWatcher watcher;
    d.btnOK->click();
    QVERIFY(watcher.Seen().isEmpty());
    QCOMPARE(d.result(), int(QDialog::Accepted));
  }
  QVERIFY(doc.Encryption().Enabled());
  QVERIFY(doc.SaveToFile(target.Path()));
  const QString path = QString::fromStdString(target.Path());
  QVERIFY(apptest::Run("qpdf", {"--check", path}) != 0);
  QCOMPARE(apptest::Run("qpdf", {"--check", "--password=view", path}), 0);
  QString error;
  const apptest::TQpdfView view = apptest::ReadWithQpdf(target.Path(), error, "view");
  QVERIFY2(error.isEmpty(), qPrintable(error));
  QCOMPARE(view.Info.value("/Title").toString(), QString("u:Still encrypted"));
}

void TSettingsDialogTest::ownerCanSwitchEncryptionOff() {
  VX_QT_NEEDS_CORPUS();
  vxtest::TempFile target;
  vx::TvxPDFDocument doc;
  LoadWithPassword(doc, kUserPasswordFile, "master");
  QVERIFY(doc.IsOwner());
  {
    TShownDialog shown(doc);
    TvxPDFSettingsDlg& d = shown.Dialog;
    QVERIFY(d.chkEnableEncryption->isChecked() && d.gbEncryption->isEnabled());
    QCOMPARE(d.edtUserPassword->text(), QString("view"));
    d.chkEnableEncryption->click();
    QVERIFY(!d.gbEncryption->isEnabled());
    d.btnOK->click();
  }
  QVERIFY(!doc.Encryption().Enabled());
  QVERIFY(doc.SaveToFile(target.Path()));
  QCOMPARE(apptest::Run("qpdf", {"--check", QString::fromStdString(target.Path())}), 0);
  QString output;
  apptest::Run("qpdf", {"--show-encryption", QString::fromStdString(target.Path())}, &output);
  QVERIFY2(output.contains("File is not encrypted"), qPrintable(output));
}

void TSettingsDialogTest::aesChoiceAndAnUntouchedAesFileKeepTheirEncryption() {
  // The third level writes AES-256.
  vxtest::TempFile file, target;
  file.Write(RichPdf());
  vx::TvxPDFDocument doc;
  QVERIFY(doc.LoadFromFile(file.Path()));
  {
    TShownDialog shown(doc);
    TvxPDFSettingsDlg& d = shown.Dialog;
    d.chkEnableEncryption->click();
    for (QLineEdit* e : {d.edtOwnerPassword, d.edtConfirmOwnerPassword}) e->setText("master");
    for (QLineEdit* e : {d.edtUserPassword, d.edtConfirmUserPassword}) e->setText("view");
    QCOMPARE(d.rgEncryptionLevelButtons->button(2)->text(), QString("256 Bit AES"));
    d.rgEncryptionLevelButtons->button(2)->click();
    d.btnOK->click();
  }
  QCOMPARE(doc.Encryption().Level(), vx::elAES256);
  QVERIFY(doc.SaveToFile(target.Path()));
  QString output;
  QCOMPARE(apptest::Run("qpdf", {"--show-encryption", "--password=master", QString::fromStdString(target.Path())}, &output), 0);
  QVERIFY2(output.contains("R = 6") && output.contains("AESv3"), qPrintable(output));

  // An AES-256 file opened by its owner: the user password cannot be shown,
  // and OK without changes keeps the file's encryption (the empty field does
  // not remove the user password).
  vxtest::TempFile aes, copy;
  QCOMPARE(apptest::Run("qpdf", {"--encrypt", "u", "o", "256", "--print=none", "--", QString::fromStdString(file.Path()),
                                 QString::fromStdString(aes.Path())}),
           0);
  vx::TvxPDFDocument owner;
  LoadWithPassword(owner, aes.Path(), "o");
  {
    TShownDialog shown(owner);
    TvxPDFSettingsDlg& d = shown.Dialog;
    QCOMPARE(d.rgEncryptionLevelButtons->checkedId(), 2);
    QVERIFY(d.edtUserPassword->text().isEmpty());
    QVERIFY(!IsChecked(d.chklstUserPermissions, 0));  // Print, as the file has it
    d.btnOK->click();
  }
  QVERIFY(owner.SaveToFile(copy.Path()));
  const QString copyPath = QString::fromStdString(copy.Path());
  QVERIFY(apptest::Run("qpdf", {"--check", copyPath}) != 0);  // still needs a password
  QCOMPARE(apptest::Run("qpdf", {"--show-encryption", "--password=u", copyPath}, &output), 0);
  QVERIFY2(output.contains("Supplied password is user password") && output.contains("print low resolution: not allowed"),
           qPrintable(output));
}

void TSettingsDialogTest::badPageRangeKeepsTheDialogOpen() {
  vxtest::TempFile file;
  file.Write(RichPdf());
  vx::TvxPDFDocument doc;
  QVERIFY(doc.LoadFromFile(file.Path()));
  TShownDialog shown(doc);
  TvxPDFSettingsDlg& d = shown.Dialog;
  d.edtTitle->setText("Must not be applied");
  d.cbPageTransitionEffect->setCurrentIndex(1);
  QTest::keyClicks(d.edtPresentationPages, "2-9");
  TMessageBoxWatcher watcher;
  d.btnOK->click();
  QCOMPARE(watcher.Seen().size(), 1);
  QCOMPARE(watcher.Seen()[0].Icon, QMessageBox::Critical);
  QCOMPARE(watcher.Seen()[0].Text, QString("Invalid page range (2-9)"));
  QVERIFY(d.isVisible());
  QCOMPARE(d.focusWidget(), d.edtPresentationPages);
  QCOMPARE(QString::fromStdU16String(doc.Info().Title()), QString("Report"));
  QCOMPARE(doc.PageLayout(), vx::plTwoColumnLeft);

  // "All Pages" empties the field and then covers every page.
  d.rbAllPages->click();
  QVERIFY(d.edtPresentationPages->text().isEmpty());
  d.btnOK->click();
  QCOMPARE(d.result(), int(QDialog::Accepted));
  for (vx::TvxPDFIndirectObject* page : doc.PageList())
    QVERIFY(vx::As<vx::TvxPDFDictObject>(page->Content.get())->Find("/Trans"));
}

void TSettingsDialogTest::saveShowsTheDialogAndOkWritesItsSettings() {
  vx::RegisterSettingsDialog();
  apptest::TUrlRecorder recorder;
  QDesktopServices::setUrlHandler("file", &recorder, "Open");
  vxtest::TempFile file, target;
  file.Write(RichPdf());
  vx::TvxPDFDocument doc;
  QVERIFY(doc.LoadFromFile(file.Path()));
  doc.SetShowSetupDialog(true);

  apptest::TWhenShown<TvxPDFSettingsDlg> answer([](TvxPDFSettingsDlg* d) {
    d->edtTitle->setText("From the dialog");
    d->edtAuthor->setText(QString::fromUtf8("Ανδρέας"));
    d->cbPageMode->setCurrentIndex(d->cbPageMode->findText("Use Attachments"));
    d->cbPageLayout->setCurrentIndex(d->cbPageLayout->findText("Two Column Right"));
    Check(d->chklstViewerPreferences, 0, false);  // Hide Toolbars off
    Check(d->chklstViewerPreferences, 4, true);   // Center Window on
    d->chkEmailAfterSave->click();
    d->edtHost->setText("smtp.example.org");
    d->edtTo->setText("a@example.org, b@example.org");
    d->edtBCC->setText("c@example.org");
    d->edtSubject->setText("The report");
    d->memoBody->setPlainText("Here it is.\nRegards");
    d->cbCompType->setCurrentIndex(1);
    d->btnOK->click();
  });
  QVERIFY(doc.SaveToFile(target.Path()));
  QDesktopServices::unsetUrlHandler("file");
  QVERIFY(answer.Ran());
  QVERIFY(doc.SetupDialog() == nullptr);

  // "Open After Save" (checked by default) opened the saved file.
  QCOMPARE(recorder.Opened.size(), 1);
  QCOMPARE(std::filesystem::path(recorder.Opened[0].toLocalFile().toStdString()),
           std::filesystem::absolute(target.Path()));
  QVERIFY(doc.OpenAfterSave());

  // E-mail settings are kept, not sent.
  QVERIFY(doc.EMailAfterSave());
  const vx::TvxEMailInfo& mail = doc.EMailInfo();
  QCOMPARE(mail.Host, std::string("smtp.example.org"));
  QCOMPARE(mail.RecipientList, (std::vector<std::string>{"a@example.org", "b@example.org"}));
  QVERIFY(mail.CCList.empty());
  QCOMPARE(mail.BCCList, std::vector<std::string>{"c@example.org"});
  QCOMPARE(mail.Subject, std::string("The report"));
  QCOMPARE(mail.Body, std::vector<std::string>{"Here it is.\nRegards"});

  QString error;
  const apptest::TQpdfView view = apptest::ReadWithQpdf(target.Path(), error);
  QVERIFY2(error.isEmpty(), qPrintable(error));
  QCOMPARE(view.Catalog.value("/PageMode").toString(), QString("/UseAttachments"));
  QCOMPARE(view.Catalog.value("/PageLayout").toString(), QString("/TwoColumnRight"));
  QCOMPARE(QStringList(view.Catalog.value("/ViewerPreferences").toObject().keys()),
           QStringList({"/CenterWindow", "/FitWindow"}));
  QCOMPARE(view.Info.value("/Title").toString(), QString("u:From the dialog"));
  QCOMPARE(view.Info.value("/Author").toString(), QString::fromUtf8("u:Ανδρέας"));
  QCOMPARE(view.Info.value("/Creator").toString(), QString("u:Writer 1.0"));
  const QJsonObject pages = view.Object(view.Catalog.value("/Pages").toString());
  const QString contents = view.Object(pages.value("/Kids").toArray()[0].toString()).value("/Contents").toString();
  QCOMPARE(view.Objects.value("obj:" + contents).toObject().value("stream").toObject().value("dict").toObject()
               .value("/Filter").toString(),
           QString("/RunLengthDecode"));
}

void TSettingsDialogTest::saveStopsWhenTheDialogIsCancelled() {
  vx::RegisterSettingsDialog();
  vxtest::TempFile file, target;
  file.Write(RichPdf());
  std::filesystem::remove(target.Path());
  vx::TvxPDFDocument doc;
  QVERIFY(doc.LoadFromFile(file.Path()));
  doc.SetShowSetupDialog(true);
  apptest::TWhenShown<TvxPDFSettingsDlg> answer([](TvxPDFSettingsDlg* d) {
    d->edtTitle->setText("Cancelled");
    d->btnCancel->click();
  });
  QVERIFY(!doc.SaveToFile(target.Path()));
  QVERIFY(answer.Ran());
  QVERIFY(!std::filesystem::exists(target.Path()));
  QCOMPARE(QString::fromStdU16String(doc.Info().Title()), QString("Report"));
}

// For a document saved as an update the compression and encryption
// controls are off with the line saying why, and OK changes neither.
void TSettingsDialogTest::updateTurnsCompressionAndEncryptionOff() {
  vxtest::TempFile file;
  file.Write(RichPdf());
  vx::TvxPDFDocument doc;
  QVERIFY(doc.LoadFromFile(file.Path()));
  {
    TShownDialog shown(doc);
    QVERIFY(shown.Dialog.chkCompressDoc->isEnabled() && shown.Dialog.chkEnableEncryption->isEnabled());
    QVERIFY(!shown.Dialog.lblCompressUpdateNote->isVisible());
  }
  doc.SetSaveKind(vx::TvxSaveKind::Incremental);
  TShownDialog shown(doc);
  TvxPDFSettingsDlg& d = shown.Dialog;
  QVERIFY(!d.chkCompressDoc->isEnabled() && !d.chkCompressDoc->isChecked() && !d.gbCompType->isEnabled());
  QVERIFY(!d.chkEnableEncryption->isEnabled());
  QVERIFY(!d.chkFastWebView->isEnabled() && !d.chkFastWebView->isChecked());
  d.pcSettings->setCurrentWidget(d.tsCompress);
  QVERIFY(d.lblCompressUpdateNote->isVisible());
  QVERIFY(d.lblCompressUpdateNote->text().contains("incremental update"));
  d.pcSettings->setCurrentWidget(d.tsSecurity);
  QVERIFY(d.lblSecurityUpdateNote->isVisible());
  d.edtTitle->setText("Through the dialog");
  d.btnOK->click();
  QVERIFY(!doc.Compression().Active);
  QVERIFY(!doc.Encryption().Enabled());
  QCOMPARE(QString::fromStdU16String(doc.Info().Title()), QString("Through the dialog"));
}

// Opened to edit (the window's Settings…), the dialog shows the document's
// after-save actions and compression, and OK without a change keeps them.
void TSettingsDialogTest::editingStartsFromTheDocumentsOwnChoices() {
  vxtest::TempFile file;
  file.Write(RichPdf());
  vx::TvxPDFDocument doc;
  QVERIFY(doc.LoadFromFile(file.Path()));
  doc.SetCompression(1, 0);
  doc.SetEMailAfterSave(true);
  doc.EMailInfo().RecipientList = {"a@example.org"};
  doc.EMailInfo().Body = {"Hi"};
  for (int round = 0; round < 2; ++round) {
    apptest::TWhenShown<TvxPDFSettingsDlg> check([](TvxPDFSettingsDlg* d) {
      QVERIFY(!d->chkOpenAfterSave->isChecked() && d->chkEmailAfterSave->isChecked() && d->gbAddresses->isEnabled());
      QCOMPARE(d->cbCompType->currentText(), QString("Runlength"));
      QCOMPARE(d->edtTo->text(), QString("a@example.org"));
      d->btnOK->click();
    });
    QVERIFY(vx::EditDocumentSettings(nullptr, doc) && check.Ran());
  }
  QVERIFY(!doc.OpenAfterSave() && doc.EMailAfterSave());
  QCOMPARE(doc.EMailInfo().Body, std::vector<std::string>{"Hi"});
  QCOMPARE(int(doc.Compression().Encoding), 1);
}

VX_APP_TEST_MAIN(TSettingsDialogTest)
#include "SettingsDialogTest.moc"

namespace {

// Every setting of the "Initial View", "Printing" and "Properties" tabs,
// with a value other than the default (page 2 is object 5).
std::string ViewerSettingsPdf(const std::string& openAction = "[ 5 0 R /FitH null ]") {
  return vxtest::SimplePdf(3,
                           "/PageMode /UseOC /PageLayout /TwoPageRight /Lang (fr-CA) /OpenAction " + openAction +
                               " /ViewerPreferences << /NonFullScreenPageMode /UseThumbs /Direction /R2L "
                               "/PrintScaling /None /Duplex /DuplexFlipShortEdge /PickTrayByPDFSize false "
                               "/PrintPageRange [ 1 2 ] /NumCopies 4 /Enforce [ /PrintScaling ] >>",
                           "/Title (Report) /Trapped /False /DocNo (A-17)");
}

}  // namespace

void TSettingsDialogTest::viewerTabsShowEachLoadedSettingAndOkKeepsThem() {
  vxtest::TempFile file;
  file.Write(ViewerSettingsPdf());
  vx::TvxPDFDocument doc;
  QVERIFY(doc.LoadFromFile(file.Path()));
  vxtest::TempFile before, after;
  QVERIFY(doc.SaveToFile(before.Path()));
  TShownDialog shown(doc);
  TvxPDFSettingsDlg& d = shown.Dialog;
  QCOMPARE(d.pcSettings->tabText(5), QString("Initial View"));
  QCOMPARE(d.pcSettings->tabText(6), QString("Printing"));
  QCOMPARE(d.pcSettings->tabText(7), QString("Properties"));
  QCOMPARE(d.cbPageLayout->currentText(), QString("Two Page Right"));
  QCOMPARE(d.cbPageMode->currentText(), QString("Use Optional Content"));
  QCOMPARE(d.cbOpenAction->currentText(), QString("Show Page"));
  QCOMPARE(d.edtOpenPage->value(), 2);
  QCOMPARE(d.cbMagnification->currentText(), QString("Fit Width"));
  QVERIFY(!d.edtZoom->isEnabled());
  QCOMPARE(d.cbNonFullScreenMode->currentText(), QString("Use Thumbs"));
  QCOMPARE(d.cbDirection->currentText(), QString("Right To Left"));
  QCOMPARE(d.edtLanguage->text(), QString("fr-CA"));
  QCOMPARE(d.cbPrintScaling->currentText(), QString("None"));
  QVERIFY(d.chkEnforceScaling->isChecked());
  QCOMPARE(d.cbDuplex->currentText(), QString("Flip On Short Edge"));
  QCOMPARE(d.cbPickTray->currentText(), QString("No"));
  QCOMPARE(d.edtPrintPages->text(), QString("1-2"));
  QCOMPARE(d.edtNumCopies->value(), 4);
  QCOMPARE(d.cbTrapped->currentText(), QString("False"));
  QCOMPARE(d.tblProperties->rowCount(), 1);
  QCOMPARE(d.tblProperties->item(0, 0)->text(), QString("DocNo"));
  QCOMPARE(d.tblProperties->item(0, 1)->text(), QString("A-17"));

  // OK without a change writes the catalog the document had.
  d.btnOK->click();
  QCOMPARE(d.result(), int(QDialog::Accepted));
  QVERIFY(doc.SaveToFile(after.Path()));
  QString error;
  const apptest::TQpdfView was = apptest::ReadWithQpdf(before.Path(), error), is = apptest::ReadWithQpdf(after.Path(), error);
  QVERIFY2(error.isEmpty(), qPrintable(error));
  QCOMPARE(is.Catalog, was.Catalog);
  // (OK sets the five text fields of the "General" tab, empty ones too.)
  for (const char* key : {"/DocNo", "/Trapped", "/Title"}) QCOMPARE(is.Info.value(key), was.Info.value(key));

  // An open action of another kind is named and kept.
  file.Write(ViewerSettingsPdf("<< /S /JavaScript /JS (app.alert\\(1\\)) >>"));
  vx::TvxPDFDocument scripted;
  QVERIFY(scripted.LoadFromFile(file.Path()));
  TShownDialog again(scripted);
  QCOMPARE(again.Dialog.cbOpenAction->currentText(), QString("Keep: JavaScript action"));
  again.Dialog.btnOK->click();
  QCOMPARE(scripted.OpenActionDescription(), std::string("JavaScript action"));
}

void TSettingsDialogTest::viewerTabsWriteEachChangedSetting() {
  vxtest::TempFile file, target;
  file.Write(RichPdf());
  vx::TvxPDFDocument doc;
  QVERIFY(doc.LoadFromFile(file.Path()));
  TShownDialog shown(doc);
  TvxPDFSettingsDlg& d = shown.Dialog;
  d.cbPageLayout->setCurrentText("Two Page Left");
  d.cbPageMode->setCurrentText("Use Optional Content");
  d.cbOpenAction->setCurrentText("Show Page");
  d.edtOpenPage->setValue(3);
  d.cbMagnification->setCurrentText("Zoom");
  QVERIFY(d.edtZoom->isEnabled());
  d.edtZoom->setValue(150);
  d.cbNonFullScreenMode->setCurrentText("Use Outlines");
  d.cbDirection->setCurrentText("Right To Left");
  d.cbPrintScaling->setCurrentText("None");
  d.chkEnforceScaling->setChecked(true);
  d.cbDuplex->setCurrentText("Flip On Long Edge");
  d.cbPickTray->setCurrentText("Yes");
  d.edtNumCopies->setValue(2);
  d.cbTrapped->setCurrentText("True");
  d.btnAddProperty->click();
  d.tblProperties->item(0, 0)->setText("DocNo");
  d.tblProperties->item(0, 1)->setText("A-17");

  // Bad values keep the dialog open, changing nothing, and say why.
  const struct {
    const char* language;
    const char* printPages;
    const char* says;
  } bad[] = {{"english", "", "Language: \"english\": it does not begin with a two- or three-letter language code"},
             {"de-DE", "4-2", "Print Page Range: 4-2 runs backwards"},
             {"de-DE", "1-9", "Print Page Range: page 9 is beyond the last page (3)"}};
  for (const auto& b : bad) {
    d.edtLanguage->setText(b.language);
    d.edtPrintPages->setText(b.printPages);
    TMessageBoxWatcher watcher;
    d.btnOK->click();
    QCOMPARE(watcher.Seen().size(), 1);
    QVERIFY2(watcher.Seen()[0].Text.startsWith(b.says), qPrintable(watcher.Seen()[0].Text));
    QVERIFY(d.isVisible());
    QCOMPARE(doc.PageLayout(), vx::plTwoColumnLeft);
  }
  d.edtPrintPages->setText("1-2,3");
  d.btnOK->click();
  QCOMPARE(d.result(), int(QDialog::Accepted));
  QVERIFY(doc.SaveToFile(target.Path()));

  QString error;
  apptest::TQpdfView view = apptest::ReadWithQpdf(target.Path(), error);
  QVERIFY2(error.isEmpty(), qPrintable(error));
  QCOMPARE(view.Catalog.value("/PageLayout").toString(), QString("/TwoPageLeft"));
  QCOMPARE(view.Catalog.value("/PageMode").toString(), QString("/UseOC"));
  QCOMPARE(view.Catalog.value("/Lang").toString(), QString("u:de-DE"));
  const QJsonArray open = view.Catalog.value("/OpenAction").toArray();
  QCOMPARE(open.at(1).toString(), QString("/XYZ"));
  QCOMPARE(open.at(4).toDouble(), 1.5);
  QCOMPARE(view.Object(open.at(0).toString()).value("/Type").toString(), QString("/Page"));
  const QJsonObject prefs = view.Catalog.value("/ViewerPreferences").toObject();
  QCOMPARE(prefs.value("/NonFullScreenPageMode").toString(), QString("/UseOutlines"));
  QCOMPARE(prefs.value("/Direction").toString(), QString("/R2L"));
  QCOMPARE(prefs.value("/PrintScaling").toString(), QString("/None"));
  QCOMPARE(prefs.value("/Enforce").toArray(), QJsonArray({"/PrintScaling"}));
  QCOMPARE(prefs.value("/Duplex").toString(), QString("/DuplexFlipLongEdge"));
  QCOMPARE(prefs.value("/PickTrayByPDFSize").toBool(), true);
  QCOMPARE(prefs.value("/PrintPageRange").toArray(), QJsonArray({1, 2, 3, 3}));
  QCOMPARE(prefs.value("/NumCopies").toInt(), 2);
  QCOMPARE(view.Info.value("/Trapped").toString(), QString("/True"));
  QCOMPARE(view.Info.value("/DocNo").toString(), QString("u:A-17"));
}
