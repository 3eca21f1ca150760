// The phrase settings dialog "設定".
#pragma once

#include <windows.h>

namespace qh { class TTypeMsg; }

namespace qh::win {

// Shows the dialog modally above `owner` and, on OK, hands the rows to the
// store and saves it. Returns IDOK or IDCANCEL.
INT_PTR ShowSettingDialog(HWND owner, TTypeMsg& store);

}  // namespace qh::win
