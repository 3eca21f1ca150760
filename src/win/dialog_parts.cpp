#include "dialog_parts.h"

#include <commctrl.h>

#include <stdexcept>

namespace qh::win {

void RegisterDialogClass(const wchar_t* name, WNDPROC windowProc) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    if (GetClassInfoExW(instance, name, &wc)) return;
    wc = WNDCLASSEXW{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = windowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = name;
    if (!RegisterClassExW(&wc)) throw std::runtime_error("a dialog window class cannot be registered");
}

int ScreenDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen) ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

GdiObject MakeFont(const wchar_t* face, int pixels, int dpi, int weight, bool italic) {
    GdiObject font(CreateFontW(-MulDiv(pixels, dpi, 96), 0, 0, 0, weight, italic, FALSE, FALSE,
                               SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                               DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face));
    if (!font) throw std::runtime_error("font cannot be created");
    return font;
}

std::wstring WindowText(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

namespace {

constexpr UINT_PTR FrameSubclassId = 1;

LRESULT CALLBACK FrameProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    if (message == WM_ERASEBKGND) {
        RECT inside;
        GetClientRect(hwnd, &inside);
        FillRect(reinterpret_cast<HDC>(wParam), &inside, GetSysColorBrush(COLOR_BTNFACE));
        return TRUE;
    }
    if (message == WM_NCDESTROY) RemoveWindowSubclass(hwnd, FrameProc, FrameSubclassId);
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

}  // namespace

void FillFrameInside(HWND frame) { SetWindowSubclass(frame, FrameProc, FrameSubclassId, 0); }

}  // namespace qh::win
