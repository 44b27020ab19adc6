// The library's view of a settings dialog shown before saving. The Qt
// dialog implements it; the library itself knows no user interface.
#pragma once

#include <functional>
#include <memory>

namespace vx {

class TvxCustomPDFDocument;

enum class TvxModalResult { mrOK, mrCancel };

class TvxBaseDlg {
 public:
  virtual ~TvxBaseDlg() = default;
  // Shows the dialog modally for `Document` and answers how it ended.
  virtual TvxModalResult Execute() = 0;
  TvxCustomPDFDocument* Document = nullptr;  // set before showing, cleared after
};

// The factory of the built-in dialog, registered by the dialog library when a
// user interface is present. Without one, a save that would show the dialog
// goes ahead as if OK had been pressed.
using TvxSetupDialogFactory = std::function<std::unique_ptr<TvxBaseDlg>()>;
void RegisterDefaultSetupDialog(TvxSetupDialogFactory factory);
std::unique_ptr<TvxBaseDlg> CreateDefaultSetupDialog();

}  // namespace vx
