// Message boxes, the central failure handler, and the window procedure
// thunk that routes every uncaught failure to it.
#pragma once

#include <windows.h>

#include <string_view>

#include "model.h"

namespace qh::win {

// ---- message boxes, all titled "Quillharbor" unless a title is given
void ShowInformation(std::string_view utf8Text);     // information box
bool Confirm(std::string_view utf8Text, std::string_view utf8Title);  // true on Yes; No is default
// The central failure handler: the failure box (MB_ICONSTOP) with the
// message and its closing period. Call it from inside a catch block.
void ReportCurrentException() noexcept;

// ---- window procedures
// Our windows keep their object in GWLP_USERDATA: attached at WM_NCCREATE
// from CreateWindowExW's parameter, detached at WM_NCDESTROY. Every message
// in between goes to the object's handler, and no exception crosses into
// Windows: what the handler does not catch goes to the central handler.
template <class T>
LRESULT DispatchToObject(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, HWND T::*handle,
                         LRESULT (T::*handler)(UINT, WPARAM, LPARAM)) {
    auto* self = reinterpret_cast<T*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (message == WM_NCCREATE) {
        self = static_cast<T*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->*handle = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    } else if (message == WM_NCDESTROY && self) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->*handle = nullptr;
        self = nullptr;
    }
    if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);
    try {
        return (self->*handler)(message, wParam, lParam);
    } catch (...) {
        ReportCurrentException();
        return 0;
    }
}

// The phrase store's reports, shown in information boxes.
class InformationReporter final : public Reporter {
public:
    void Inform(std::string_view utf8Message) override { ShowInformation(utf8Message); }
};

}  // namespace qh::win
