// The About dialog "バージョン情報".
#pragma once

#include <windows.h>

namespace qh::win {

INT_PTR ShowAboutDialog(HWND owner);

}  // namespace qh::win
