// What both Windows tiers need: waiting with this thread's messages handled,
// the program's ANSI form of a text, and a clipboard viewer of the test's own.
#pragma once

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <string_view>

namespace qh::test {

// Handles this thread's messages until `done` holds or the limit passes;
// false when it never held. A WM_QUIT is dropped: the tests own the loop.
inline bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) continue;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (done && done()) return true;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(std::min<long long>(left.count(), 20)),
                                  QS_ALLINPUT);
    }
}

// A text in the ANSI code page as the program keeps it: the system's own
// conversion, '?' for what the code page lacks and never a lookalike. Taken
// from the system, not written out, since Windows and Wine differ in it.
inline std::string AnsiOf(std::wstring_view text) {
    if (text.empty()) return {};
    const int units = static_cast<int>(text.size());
    const int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), units, nullptr, 0, "?", nullptr);
    std::string bytes(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), units, bytes.data(), size, "?", nullptr);
    return bytes;
}

// A window of this thread that is never shown, of a class of its own (its
// name), to own the clipboard or an icon or to receive messages: by default
// message-only.
inline HWND HiddenWindow(const wchar_t* className, WNDPROC proc = DefWindowProcW, HWND parent = HWND_MESSAGE) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = className;
    RegisterClassW(&wc);  // fails harmlessly when the class is there
    return CreateWindowExW(0, className, L"", 0, 0, 0, 0, 0, parent, nullptr, wc.hInstance, nullptr);
}

// A clipboard viewer of the test's own, as an older clipboard tool would
// have: it counts what reaches it and passes it on, as a well-behaved member
// of the chain does.
class ChainViewer {
public:
    ChainViewer() {
        hwnd_ = HiddenWindow(L"QhTestViewer", Proc, nullptr);
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        SetLastError(0);
        next = SetClipboardViewer(hwnd_);
        inChain_ = hwnd_ && (next || GetLastError() == 0);
    }
    ~ChainViewer() {
        Leave();
        DestroyWindow(hwnd_);
    }
    ChainViewer(const ChainViewer&) = delete;
    ChainViewer& operator=(const ChainViewer&) = delete;

    bool joined() const { return inChain_; }
    void Leave() {
        if (inChain_) ChangeClipboardChain(hwnd_, next);
        inChain_ = false;
    }
    HWND Handle() const { return hwnd_; }

    HWND next = nullptr;
    int drawCount = 0;
    int changeChainCount = 0;

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<ChainViewer*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (self && msg == WM_DRAWCLIPBOARD) {
            ++self->drawCount;
            if (self->inChain_ && self->next) SendMessageW(self->next, msg, wParam, lParam);
            return 0;
        }
        if (self && msg == WM_CHANGECBCHAIN) {
            ++self->changeChainCount;
            if (reinterpret_cast<HWND>(wParam) == self->next)
                self->next = reinterpret_cast<HWND>(lParam);
            else if (self->next)
                SendMessageW(self->next, msg, wParam, lParam);
            return 0;
        }
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }

    HWND hwnd_ = nullptr;
    bool inChain_ = false;
};

}  // namespace qh::test
