// Dots per inch: the system's, a monitor's and a window's, and the system
// metrics at a given DPI. Layouts are given at 96 DPI and scale by MulDiv.
#pragma once

#include <windows.h>

namespace qh::win {

// The system's DPI: the primary monitor's when the user signed in.
int ScreenDpi();
// A monitor's DPI (Windows 8.1 and later), else the system's.
int MonitorDpi(HMONITOR monitor);
// The DPI the window is laid out for (Windows 10 1607 and later), else its
// monitor's.
int WindowDpi(HWND window);
// A system metric at `dpi` (Windows 10 1607 and later); before that the
// system's metric, scaled from the system's DPI.
int SystemMetricForDpi(int index, int dpi);
// Grows a client rectangle to the window's, with the frame metrics of `dpi`
// (Windows 10 1607 and later); before that, of the system's DPI.
void AdjustWindowRectForDpi(RECT& rect, DWORD style, DWORD exStyle, int dpi);

}  // namespace qh::win
