#include "dialog_parts.h"

#include <commctrl.h>

#include <algorithm>
#include <cwchar>
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

POINT CentredOnPrimary(int width, int height) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (!GetMonitorInfoW(MonitorFromPoint({0, 0}, MONITOR_DEFAULTTOPRIMARY), &info)) {
        info.rcMonitor = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
        info.rcWork = info.rcMonitor;
    }
    const RECT& screen = info.rcMonitor;
    return {std::max<LONG>((screen.left + screen.right - width) / 2, info.rcWork.left),
            std::max<LONG>((screen.top + screen.bottom - height) / 2, info.rcWork.top)};
}

void FillFrameInside(HWND frame) { SetWindowSubclass(frame, FrameProc, FrameSubclassId, 0); }

DialogWindow::DialogWindow() : dpi_(MonitorDpi(MonitorFromPoint({0, 0}, MONITOR_DEFAULTTOPRIMARY))) {}

// Only a dialog built but never shown still has its window here.
DialogWindow::~DialogWindow() { Destroy(); }

void DialogWindow::Destroy() {
    if (!hwnd_) return;
    // The window's last messages go to the system.
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(std::exchange(hwnd_, nullptr));
}

INT_PTR DialogWindow::ShowModal() {
    // The window goes as the modal loop ends, while the whole dialog object
    // and its members are still there for its last messages.
    struct DestroyAtEnd {
        DialogWindow& dialog;
        ~DestroyAtEnd() { dialog.Destroy(); }
    } destroyAtEnd{*this};
    return RunModal(hwnd_);
}

LRESULT CALLBACK DialogWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return DispatchToObject(hwnd, message, wParam, lParam, &DialogWindow::hwnd_, &DialogWindow::Dispatch);
}

LRESULT DialogWindow::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DPICHANGED) {
        WMDpiChanged(LOWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
        return 0;
    }
    return HandleMessage(message, wParam, lParam);
}

void DialogWindow::Create(const Frame& frame, HWND owner) {
    RegisterDialogClass(frame.className, WindowProc);
    RECT outer{0, 0, Scaled(frame.size.width), Scaled(frame.size.height)};
    if (frame.clientSize) AdjustWindowRectForDpi(outer, frame.style, frame.exStyle, dpi_);
    const int width = outer.right - outer.left, height = outer.bottom - outer.top;
    const POINT at = CentredOnPrimary(width, height);
    CreateWindowExW(frame.exStyle, frame.className, frame.title, frame.style, at.x, at.y, width, height, owner,
                    nullptr, GetModuleHandleW(nullptr), this);
    if (!hwnd_) throw std::runtime_error("a dialog window cannot be created");
    try {
        FormCreate();
    } catch (...) {
        Destroy();
        throw;
    }
}

HFONT DialogWindow::Font(const FontLook& look) {
    for (const MadeFont& made : fonts_) {
        if (made.look.pixels == look.pixels && made.look.weight == look.weight &&
            made.look.italic == look.italic && std::wcscmp(made.look.face, look.face) == 0)
            return static_cast<HFONT>(made.font.get());
    }
    GdiObject font(CreateFontW(-Scaled(look.pixels), 0, 0, 0, look.weight, look.italic, FALSE, FALSE,
                               SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                               DEFAULT_PITCH | FF_DONTCARE, look.face));
    if (!font) throw std::runtime_error("font cannot be created");
    fonts_.push_back({look, std::move(font)});
    return static_cast<HFONT>(fonts_.back().font.get());
}

HWND DialogWindow::MakeControl(const wchar_t* className, const std::wstring& text, DWORD style, DWORD exStyle,
                               ControlBox box, int id, const FontLook& look) {
    HWND control = CreateWindowExW(exStyle, className, text.c_str(), WS_CHILD | WS_VISIBLE | style, Scaled(box.x),
                                   Scaled(box.y), Scaled(box.width), Scaled(box.height), hwnd_,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr),
                                   nullptr);
    if (!control) throw std::runtime_error("a dialog control cannot be created");
    controls_.push_back({control, box, look});
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(Font(look)), FALSE);
    return control;
}

void DialogWindow::LayOut(int) {
    for (const Control& c : controls_) {
        SetWindowPos(c.hwnd, nullptr, Scaled(c.box.x), Scaled(c.box.y), Scaled(c.box.width), Scaled(c.box.height),
                     SWP_NOZORDER | SWP_NOACTIVATE);
        SendMessageW(c.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(Font(c.look)), FALSE);
    }
}

// The dialog was moved to a monitor of another scale, or the scale changed:
// Windows suggests the window's new place, and everything inside is laid
// out afresh from its 96-DPI box rather than stretched.
void DialogWindow::WMDpiChanged(int dpi, const RECT& suggested) {
    if (dpi <= 0) return;
    // The old fonts stay until every control has its new one.
    const std::vector<MadeFont> oldFonts = std::move(fonts_);
    fonts_.clear();
    const int previousDpi = std::exchange(dpi_, dpi);
    SetWindowPos(hwnd_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    LayOut(previousDpi);
    RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_FRAME);
}

}  // namespace qh::win
