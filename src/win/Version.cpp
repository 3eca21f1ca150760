#include "Version.h"

namespace qh::win {

// Placeholder until the dialog is built.
INT_PTR ShowAboutDialog(HWND) { return IDCANCEL; }

}  // namespace qh::win
