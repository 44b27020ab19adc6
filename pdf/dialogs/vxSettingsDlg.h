// The Qt base of the library's setup dialogs: a modal QDialog that the
// document's save operation shows through the library's TvxBaseDlg.
#pragma once

#include <QDialog>

#include "pdf/document/vxSetupDialog.h"

namespace vx {

class TvxSettingsDlg : public QDialog, public TvxBaseDlg {
  Q_OBJECT

 public:
  explicit TvxSettingsDlg(QWidget* parent = nullptr);

  // Shows the dialog modally for `Document`: OK gives mrOK, anything else
  // (Cancel, Escape, closing the window) mrCancel.
  TvxModalResult Execute() override;

 protected:
  // Enables or disables a group together with every control inside it.
  static void EnableGroup(QWidget* group, bool enabled);
};

}  // namespace vx
