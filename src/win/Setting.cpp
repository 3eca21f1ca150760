#include "Setting.h"

namespace qh::win {

// Placeholder until the dialog is built.
INT_PTR ShowSettingDialog(HWND, TTypeMsg&) { return IDCANCEL; }

}  // namespace qh::win
