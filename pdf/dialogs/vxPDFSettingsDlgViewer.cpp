// The tabs "Initial View", "Printing" and "Properties" of the settings
// dialog: the open action, the PDF 2.0 viewer preferences, the language,
// trapping and custom properties. Showing fills them from the document; OK
// writes only the values that differ from the document's, so that a loaded
// entry nobody touched stays as it was.
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QCheckBox>

#include "pdf/dialogs/vxDialogTexts.h"
#include "pdf/dialogs/vxPDFSettingsDlg.h"
#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/document/vxXmpMetadata.h"
#include "pdf/util/vxLanguageTag.h"
#include "pdf/util/vxUtils.h"

namespace vx {

namespace {

QString Text(const char* text) { return QString::fromUtf8(text); }

template <size_t N>
QComboBox* NewCombo(QWidget* parent, const char* const (&items)[N]) {
  auto* box = new QComboBox(parent);
  for (const char* item : items) box->addItem(Text(item));
  return box;
}

constexpr int kOpenViewerDefault = 0;
constexpr int kOpenShowPage = 1;
constexpr int kOpenKeep = 2;  // present only for a loaded action of another kind

constexpr TvxPageMode kNonFullScreenModes[] = {pmNone, pmUseOutlines, pmUseThumbs, pmUseOC};

}  // namespace

void TvxPDFSettingsDlg::CreateInitialViewTab() {
  tsInitialView = new QWidget;
  pcSettings->addTab(tsInitialView, Text(res::SDlgTabInitialView));

  gbOpenAction = new QGroupBox(Text(res::SDlgOpenAction), tsInitialView);
  cbOpenAction = NewCombo(gbOpenAction, res::SDlgOpenActionItems);
  edtOpenPage = new QSpinBox(gbOpenAction);
  edtOpenPage->setMinimum(1);
  cbMagnification = NewCombo(gbOpenAction, res::SDlgMagnificationItems);
  edtZoom = new QDoubleSpinBox(gbOpenAction);
  edtZoom->setRange(1, kMaxOpenZoom);
  edtZoom->setDecimals(2);
  edtZoom->setSuffix(QStringLiteral(" %"));
  edtZoom->setValue(100);
  auto* open = new QFormLayout(gbOpenAction);
  open->addRow(Text(res::SDlgOpenWith), cbOpenAction);
  open->addRow(Text(res::SDlgOpenPage), edtOpenPage);
  open->addRow(Text(res::SDlgMagnification), cbMagnification);
  open->addRow(Text(res::SDlgZoom), edtZoom);

  cbNonFullScreenMode = NewCombo(tsInitialView, res::SDlgNonFullScreenItems);
  cbDirection = NewCombo(tsInitialView, res::SDlgDirectionItems);
  edtLanguage = new QLineEdit(tsInitialView);
  edtLanguage->setPlaceholderText(Text(res::SDlgLanguageHint));
  edtLanguage->setToolTip(Text(res::SDlgLanguageHint));
  auto* rest = new QFormLayout;
  rest->addRow(Text(res::SDlgNonFullScreenMode), cbNonFullScreenMode);
  rest->addRow(Text(res::SDlgDirection), cbDirection);
  rest->addRow(Text(res::SDlgLanguage), edtLanguage);

  auto* layout = new QVBoxLayout(tsInitialView);
  layout->addWidget(gbOpenAction);
  layout->addLayout(rest);
  layout->addStretch();

  connect(cbOpenAction, &QComboBox::currentIndexChanged, this, &TvxPDFSettingsDlg::ShowOpenActionControls);
  connect(cbMagnification, &QComboBox::currentIndexChanged, this, &TvxPDFSettingsDlg::ShowOpenActionControls);
}

void TvxPDFSettingsDlg::CreatePrintingTab() {
  tsPrinting = new QWidget;
  pcSettings->addTab(tsPrinting, Text(res::SDlgTabPrinting));
  gbPrintDialog = new QGroupBox(Text(res::SDlgPrintDialog), tsPrinting);
  cbPrintScaling = NewCombo(gbPrintDialog, res::SDlgPrintScalingItems);
  cbDuplex = NewCombo(gbPrintDialog, res::SDlgDuplexItems);
  cbPickTray = NewCombo(gbPrintDialog, res::SDlgPickTrayItems);
  edtPrintPages = new QLineEdit(gbPrintDialog);
  edtPrintPages->setPlaceholderText(Text(res::SDlgPrintPagesHint));
  edtPrintPages->setToolTip(Text(res::SDlgPrintPagesHint));
  edtNumCopies = new QSpinBox(gbPrintDialog);
  edtNumCopies->setRange(1, 5);
  chkEnforceScaling = new QCheckBox(Text(res::SDlgEnforceScaling), gbPrintDialog);
  auto* form = new QFormLayout(gbPrintDialog);
  form->addRow(Text(res::SDlgPrintScaling), cbPrintScaling);
  form->addRow(QString(), chkEnforceScaling);
  form->addRow(Text(res::SDlgDuplex), cbDuplex);
  form->addRow(Text(res::SDlgPickTray), cbPickTray);
  form->addRow(Text(res::SDlgPrintPages), edtPrintPages);
  form->addRow(Text(res::SDlgNumCopies), edtNumCopies);
  auto* layout = new QVBoxLayout(tsPrinting);
  layout->addWidget(gbPrintDialog);
  layout->addStretch();
}

void TvxPDFSettingsDlg::CreatePropertiesTab() {
  tsProperties = new QWidget;
  pcSettings->addTab(tsProperties, Text(res::SDlgTabProperties));
  cbTrapped = NewCombo(tsProperties, res::SDlgTrappedItems);
  auto* trapped = new QFormLayout;
  trapped->addRow(Text(res::SDlgTrapped), cbTrapped);

  gbCustomProperties = new QGroupBox(Text(res::SDlgCustomProperties), tsProperties);
  tblProperties = new QTableWidget(0, 2, gbCustomProperties);
  tblProperties->setHorizontalHeaderLabels({Text(res::SDlgPropertyName), Text(res::SDlgPropertyValue)});
  tblProperties->horizontalHeader()->setStretchLastSection(true);
  tblProperties->verticalHeader()->setVisible(false);
  tblProperties->setSelectionBehavior(QAbstractItemView::SelectRows);
  btnAddProperty = new QPushButton(Text(res::SDlgAddProperty), gbCustomProperties);
  btnRemoveProperty = new QPushButton(Text(res::SDlgRemoveProperty), gbCustomProperties);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(btnAddProperty);
  buttons->addWidget(btnRemoveProperty);
  buttons->addStretch();
  auto* group = new QVBoxLayout(gbCustomProperties);
  group->addWidget(tblProperties);
  group->addLayout(buttons);

  auto* layout = new QVBoxLayout(tsProperties);
  layout->addLayout(trapped);
  layout->addWidget(gbCustomProperties);

  connect(btnAddProperty, &QPushButton::clicked, this, [this] {
    const int row = tblProperties->rowCount();
    tblProperties->insertRow(row);
    tblProperties->setItem(row, 0, new QTableWidgetItem);
    tblProperties->setItem(row, 1, new QTableWidgetItem);
    tblProperties->setCurrentCell(row, 0);
    tblProperties->editItem(tblProperties->item(row, 0));
  });
  connect(btnRemoveProperty, &QPushButton::clicked, this, [this] {
    if (tblProperties->currentRow() >= 0) tblProperties->removeRow(tblProperties->currentRow());
  });
}

void TvxPDFSettingsDlg::ShowOpenActionControls() {
  const bool page = cbOpenAction->currentIndex() == kOpenShowPage;
  edtOpenPage->setEnabled(page);
  cbMagnification->setEnabled(page);
  edtZoom->setEnabled(page && cbMagnification->currentIndex() == int(ofZoom));
}

void TvxPDFSettingsDlg::ShowViewerSettings() {
  const TvxCustomPDFDocument& doc = *Document;
  {
    const QSignalBlocker blockAction(cbOpenAction), blockFit(cbMagnification);
    while (cbOpenAction->count() > kOpenKeep) cbOpenAction->removeItem(kOpenKeep);
    edtOpenPage->setMaximum(std::max(1, doc.PageCount()));
    edtOpenPage->setValue(1);
    cbMagnification->setCurrentIndex(int(ofKeepZoom));
    edtZoom->setValue(100);
    switch (doc.OpenActionKind()) {
      case oaNone: cbOpenAction->setCurrentIndex(kOpenViewerDefault); break;
      case oaView: {
        const TvxOpenView view = *doc.OpenView();
        cbOpenAction->setCurrentIndex(kOpenShowPage);
        edtOpenPage->setValue(view.Page);
        cbMagnification->setCurrentIndex(int(view.Fit));
        if (view.Fit == ofZoom) edtZoom->setValue(view.Zoom);
        break;
      }
      case oaOther:
        cbOpenAction->addItem(Text(res::SDlgKeepOpenAction).arg(QString::fromStdString(doc.OpenActionDescription())));
        cbOpenAction->setCurrentIndex(kOpenKeep);
        break;
    }
  }
  ShowOpenActionControls();

  const TvxPDFViewerPreferences& prefs = doc.ViewerPreferences();
  cbNonFullScreenMode->setCurrentIndex(
      int(std::find(std::begin(kNonFullScreenModes), std::end(kNonFullScreenModes), prefs.NonFullScreenPageMode()) -
          std::begin(kNonFullScreenModes)));
  cbDirection->setCurrentIndex(int(prefs.Direction()));
  edtLanguage->setText(QString::fromStdString(doc.Language()));

  cbPrintScaling->setCurrentIndex(int(prefs.PrintScaling()));
  cbDuplex->setCurrentIndex(int(prefs.Duplex()));
  const std::optional<bool> pickTray = prefs.PickTrayByPDFSize();
  cbPickTray->setCurrentIndex(!pickTray ? 0 : *pickTray ? 1 : 2);
  edtPrintPages->setText(QString::fromStdString(PageSpansText(prefs.PrintPageRange())));
  edtNumCopies->setValue(prefs.NumCopies());
  const std::vector<std::string> enforced = prefs.Enforce();
  chkEnforceScaling->setChecked(std::find(enforced.begin(), enforced.end(), "/PrintScaling") != enforced.end());

  const TvxPDFInfo& info = doc.Info();
  cbTrapped->setCurrentIndex(int(info.Trapped()));
  tblProperties->setRowCount(0);
  for (const auto& [name, value] : info.CustomProperties()) {
    const int row = tblProperties->rowCount();
    tblProperties->insertRow(row);
    tblProperties->setItem(row, 0, new QTableWidgetItem(QString::fromStdString(name)));
    tblProperties->setItem(row, 1, new QTableWidgetItem(QString::fromStdU16String(value)));
  }
}

namespace {

QString CellText(const QTableWidget* table, int row, int column) {
  const QTableWidgetItem* item = table->item(row, column);
  return item ? item->text() : QString();
}

}  // namespace

QString TvxPDFSettingsDlg::ViewerSettingsProblem() const {
  const std::string language = edtLanguage->text().trimmed().toStdString();
  if (!language.empty() && language != Document->Language())
    if (std::string problem = LanguageTagProblem(language); !problem.empty()) {
      pcSettings->setCurrentWidget(tsInitialView);
      return Text(res::SDlgLanguage) + QStringLiteral(" \"") + QString::fromStdString(language) +
             QStringLiteral("\": ") + QString::fromStdString(problem) + QStringLiteral(" (") +
             Text(res::SDlgLanguageHint) + QStringLiteral(")");
    }
  std::string problem;
  std::optional<std::vector<TvxPageSpan>> spans = ParsePageSpans(edtPrintPages->text().trimmed().toStdString(), &problem);
  if (!spans) {
    pcSettings->setCurrentWidget(tsPrinting);
    return Text(res::SDlgPrintPagesProblem).arg(QString::fromStdString(problem));
  }
  for (const TvxPageSpan& span : *spans)
    if (span.Last > Document->PageCount()) {
      pcSettings->setCurrentWidget(tsPrinting);
      return Text(res::SDlgPrintPagesBeyond).arg(span.Last).arg(Document->PageCount());
    }
  for (int row = 0; row < tblProperties->rowCount(); ++row) {
    const std::string name = CellText(tblProperties, row, 0).trimmed().toStdString();
    if (name.empty() && CellText(tblProperties, row, 1).isEmpty()) continue;  // an added row left empty
    std::string why = TvxPDFInfo::CustomNameProblem(name);
    if (why.empty() && !IsXmpPropertyName(name)) why = res::SDlgPropertyXmpName;
    if (!why.empty()) {
      pcSettings->setCurrentWidget(tsProperties);
      return Text(res::SDlgPropertyProblem).arg(QString::fromStdString(name), QString::fromStdString(why));
    }
  }
  return QString();
}

void TvxPDFSettingsDlg::ApplyViewerSettings() {
  TvxCustomPDFDocument& doc = *Document;
  switch (cbOpenAction->currentIndex()) {
    case kOpenViewerDefault:
      if (doc.OpenActionKind() != oaNone) doc.ClearOpenAction();
      break;
    case kOpenShowPage: {
      TvxOpenView view;
      view.Page = edtOpenPage->value();
      view.Fit = TvxOpenFit(cbMagnification->currentIndex());
      if (view.Fit == ofZoom) view.Zoom = edtZoom->value();
      std::optional<TvxOpenView> loaded = doc.OpenView();
      if (loaded && view.Fit != ofZoom) view.Zoom = loaded->Zoom;
      if (!loaded || !(*loaded == view)) doc.SetOpenView(view);
      break;
    }
    default: break;  // the loaded action stays
  }

  TvxPDFViewerPreferences& prefs = doc.ViewerPreferences();
  const TvxPageMode mode = kNonFullScreenModes[std::max(0, cbNonFullScreenMode->currentIndex())];
  if (mode != prefs.NonFullScreenPageMode()) prefs.SetNonFullScreenPageMode(mode);
  if (TvxReadingDirection(cbDirection->currentIndex()) != prefs.Direction())
    prefs.SetDirection(TvxReadingDirection(cbDirection->currentIndex()));
  const std::string language = edtLanguage->text().trimmed().toStdString();
  if (language != doc.Language()) doc.SetLanguage(language);

  if (TvxPrintScaling(cbPrintScaling->currentIndex()) != prefs.PrintScaling())
    prefs.SetPrintScaling(TvxPrintScaling(cbPrintScaling->currentIndex()));
  if (TvxDuplex(cbDuplex->currentIndex()) != prefs.Duplex()) prefs.SetDuplex(TvxDuplex(cbDuplex->currentIndex()));
  const std::optional<bool> pickTray =
      cbPickTray->currentIndex() == 0 ? std::nullopt : std::optional<bool>(cbPickTray->currentIndex() == 1);
  if (pickTray != prefs.PickTrayByPDFSize()) prefs.SetPickTrayByPDFSize(pickTray);
  const std::vector<TvxPageSpan> spans = *ParsePageSpans(edtPrintPages->text().trimmed().toStdString());
  if (spans != prefs.PrintPageRange()) prefs.SetPrintPageRange(spans);
  if (edtNumCopies->value() != prefs.NumCopies()) prefs.SetNumCopies(edtNumCopies->value());
  std::vector<std::string> enforced = prefs.Enforce();
  const bool wasEnforced = std::find(enforced.begin(), enforced.end(), "/PrintScaling") != enforced.end();
  if (chkEnforceScaling->isChecked() != wasEnforced) {
    if (wasEnforced)
      enforced.erase(std::remove(enforced.begin(), enforced.end(), "/PrintScaling"), enforced.end());
    else
      enforced.push_back("/PrintScaling");
    prefs.SetEnforce(enforced);
  }

  TvxPDFInfo& info = doc.Info();
  if (TvxTrapped(cbTrapped->currentIndex()) != info.Trapped()) info.SetTrapped(TvxTrapped(cbTrapped->currentIndex()));
  std::vector<std::pair<std::string, std::u16string>> wanted;
  for (int row = 0; row < tblProperties->rowCount(); ++row) {
    const std::string name = CellText(tblProperties, row, 0).trimmed().toStdString();
    if (!name.empty()) wanted.emplace_back(name, CellText(tblProperties, row, 1).toStdU16String());
  }
  for (const auto& [name, value] : info.CustomProperties())
    if (std::none_of(wanted.begin(), wanted.end(), [&name = name](const auto& w) { return w.first == name; }))
      info.RemoveCustomProperty(name);
  const auto loaded = info.CustomProperties();
  for (const auto& [name, value] : wanted) {
    auto it = std::find_if(loaded.begin(), loaded.end(), [&name = name](const auto& l) { return l.first == name; });
    if (it == loaded.end() || it->second != value) info.SetCustomProperty(name, value);
  }
}

}  // namespace vx
