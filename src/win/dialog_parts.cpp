#include "dialog_parts.h"

#include <commctrl.h>

#include <stdexcept>
#include <utility>

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

DialogWindow::DialogWindow() : dpi_(ScreenDpi()) {}

DialogWindow::~DialogWindow() { Destroy(); }

void DialogWindow::Destroy() {
    if (!hwnd_) return;
    // The derived part is gone: the window's last messages go to the system.
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(std::exchange(hwnd_, nullptr));
}

INT_PTR DialogWindow::ShowModal() { return RunModal(hwnd_); }

LRESULT CALLBACK DialogWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return DispatchToObject(hwnd, message, wParam, lParam, &DialogWindow::hwnd_, &DialogWindow::Dispatch);
}

void DialogWindow::Create(const Frame& frame, HWND owner) {
    RegisterDialogClass(frame.className, WindowProc);
    RECT outer{0, 0, Scaled(frame.size.width), Scaled(frame.size.height)};
    if (frame.clientSize) AdjustWindowRectEx(&outer, frame.style, FALSE, frame.exStyle);
    const int width = outer.right - outer.left, height = outer.bottom - outer.top;
    CreateWindowExW(frame.exStyle, frame.className, frame.title, frame.style,
                    (GetSystemMetrics(SM_CXSCREEN) - width) / 2, (GetSystemMetrics(SM_CYSCREEN) - height) / 2,
                    width, height, owner, nullptr, GetModuleHandleW(nullptr), this);
    if (!hwnd_) throw std::runtime_error("a dialog window cannot be created");
    try {
        FormCreate();
    } catch (...) {
        Destroy();
        throw;
    }
}

HWND DialogWindow::MakeControl(const wchar_t* className, const std::wstring& text, DWORD style, DWORD exStyle,
                               ControlBox box, int id, HGDIOBJ font) {
    HWND control = CreateWindowExW(exStyle, className, text.c_str(), WS_CHILD | WS_VISIBLE | style, Scaled(box.x),
                                   Scaled(box.y), Scaled(box.width), Scaled(box.height), hwnd_,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr),
                                   nullptr);
    if (!control) throw std::runtime_error("a dialog control cannot be created");
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return control;
}

}  // namespace qh::win
