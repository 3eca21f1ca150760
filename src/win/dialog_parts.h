// Building blocks shared by our dialogs.
#pragma once

#include <windows.h>

#include <string>

#include "handles.h"

namespace qh::win {

// Registers a dialog window class once: arrow cursor, dialog colour.
void RegisterDialogClass(const wchar_t* name, WNDPROC windowProc);
// Dots per inch of the screen; layouts given at 96 scale by MulDiv.
int ScreenDpi();
// A Japanese font of `pixels` height at 96 DPI, scaled to `dpi`.
GdiObject MakeFont(const wchar_t* face, int pixels, int dpi, int weight = FW_NORMAL, bool italic = false);
std::wstring WindowText(HWND window);
// A frame (group box or etched static) draws only its edge and the dialog
// clips its children out of its own painting: the frame then fills its
// inside itself.
void FillFrameInside(HWND frame);

}  // namespace qh::win
