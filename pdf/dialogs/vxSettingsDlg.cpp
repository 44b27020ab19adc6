#include "pdf/dialogs/vxSettingsDlg.h"

namespace vx {

TvxSettingsDlg::TvxSettingsDlg(QWidget* parent) : QDialog(parent) { setModal(true); }

TvxModalResult TvxSettingsDlg::Execute() {
  return exec() == QDialog::Accepted ? TvxModalResult::mrOK : TvxModalResult::mrCancel;
}

void TvxSettingsDlg::EnableGroup(QWidget* group, bool enabled) {
  // A disabled parent disables its children at any depth, and the style
  // greys edit and combo boxes with them.
  group->setEnabled(enabled);
}

}  // namespace vx
