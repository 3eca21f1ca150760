#include "dpi.h"

namespace qh::win {

namespace {

// A function of a system DLL that older Windows lack; null there.
template <class Function>
Function SystemFunction(const wchar_t* dll, const char* name) {
    HMODULE module = GetModuleHandleW(dll);
    if (!module) module = LoadLibraryExW(dll, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    return module ? reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)))
                  : nullptr;
}

using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
using GetDpiForMonitorFunction = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
using GetSystemMetricsForDpiFunction = int(WINAPI*)(int, UINT);
using AdjustWindowRectExForDpiFunction = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
constexpr int EffectiveDpi = 0;  // MDT_EFFECTIVE_DPI

}  // namespace

int ScreenDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen) ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

int MonitorDpi(HMONITOR monitor) {
    static const auto forMonitor = SystemFunction<GetDpiForMonitorFunction>(L"shcore.dll", "GetDpiForMonitor");
    UINT x = 0, y = 0;
    if (monitor && forMonitor && SUCCEEDED(forMonitor(monitor, EffectiveDpi, &x, &y)) && y > 0)
        return static_cast<int>(y);
    return ScreenDpi();
}

int WindowDpi(HWND window) {
    static const auto forWindow = SystemFunction<GetDpiForWindowFunction>(L"user32.dll", "GetDpiForWindow");
    if (forWindow) {
        if (const UINT dpi = forWindow(window)) return static_cast<int>(dpi);
    }
    return MonitorDpi(MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY));
}

int SystemMetricForDpi(int index, int dpi) {
    static const auto forDpi =
        SystemFunction<GetSystemMetricsForDpiFunction>(L"user32.dll", "GetSystemMetricsForDpi");
    if (forDpi) return forDpi(index, static_cast<UINT>(dpi));
    return MulDiv(GetSystemMetrics(index), dpi, ScreenDpi());
}

void AdjustWindowRectForDpi(RECT& rect, DWORD style, DWORD exStyle, int dpi) {
    static const auto forDpi =
        SystemFunction<AdjustWindowRectExForDpiFunction>(L"user32.dll", "AdjustWindowRectExForDpi");
    if (!forDpi || !forDpi(&rect, style, FALSE, exStyle, static_cast<UINT>(dpi)))
        AdjustWindowRectEx(&rect, style, FALSE, exStyle);
}

}  // namespace qh::win
