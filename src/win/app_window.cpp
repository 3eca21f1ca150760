#include "app_window.h"

#include <commctrl.h>

#include <algorithm>
#include <optional>

#include "conversions.h"

namespace qh::win {

namespace {

constexpr wchar_t AppClassName[] = L"QuillharborApplication";
constexpr UINT WM_ACTIVATETOP = WM_APP;

struct ModalEntry {
    HWND dialog;
    bool ended = false;
    INT_PTR result = IDCANCEL;
};
std::vector<ModalEntry*> openDialogs;  // innermost last
int modalScopes = 0;

// What a click on the taskbar button should bring up: a message box of
// ours, else the innermost dialog.
HWND TopOwnWindow(HWND app) {
    HWND popup = GetLastActivePopup(app);
    if (popup && popup != app && IsWindowEnabled(popup)) return popup;
    if (openDialogs.empty()) return nullptr;
    const HWND dialog = openDialogs.back()->dialog;
    popup = GetLastActivePopup(dialog);  // a box over the dialog
    return popup && IsWindowEnabled(popup) ? popup : dialog;
}

LRESULT CALLBACK AppWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_CLOSE:
        return 0;  // closing the taskbar button does not end the program
    case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE) PostMessageW(hwnd, WM_ACTIVATETOP, 0, 0);
        return 0;
    case WM_ACTIVATETOP:
        if (HWND top = TopOwnWindow(hwnd)) SetForegroundWindow(top);
        return 0;
    default:
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

HWND MakeAppWindow() {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = AppWindowProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    wc.lpszClassName = AppClassName;
    RegisterClassExW(&wc);
    // Zero-sized at the screen's centre: all it shows is its taskbar button.
    const int x = GetSystemMetrics(SM_CXSCREEN) / 2;
    const int y = GetSystemMetrics(SM_CYSCREEN) / 2;
    HWND hwnd = CreateWindowExW(WS_EX_APPWINDOW, AppClassName, Widen(AppTitle).c_str(),
                                WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, x, y, 0, 0,
                                nullptr, nullptr, instance, nullptr);
    if (hwnd) ShowWindow(hwnd, SW_HIDE);
    return hwnd;
}

// Wakes modal loops blocked in GetMessage so that they see their end.
void WakeMessageLoops() { PostThreadMessageW(GetCurrentThreadId(), WM_NULL, 0, 0); }

}  // namespace

HWND AppWindow() {
    static const HWND app = MakeAppWindow();
    return app;
}

OtherWindowsDisabled::OtherWindowsDisabled(HWND keep) : keep_(keep) {
    EnumThreadWindows(GetCurrentThreadId(), Collect, reinterpret_cast<LPARAM>(this));
}

void OtherWindowsDisabled::Restore() {
    for (HWND w : disabled_)
        if (IsWindow(w)) EnableWindow(w, TRUE);
    disabled_.clear();
}

// Called from inside user32: nothing may be thrown through it.
BOOL CALLBACK OtherWindowsDisabled::Collect(HWND w, LPARAM self) noexcept {
    auto* me = reinterpret_cast<OtherWindowsDisabled*>(self);
    if (w != me->keep_ && w != AppWindow() && IsWindowVisible(w) && IsWindowEnabled(w)) {
        EnableWindow(w, FALSE);
        try {
            me->disabled_.push_back(w);
        } catch (...) {
            EnableWindow(w, TRUE);  // out of memory: leave it as it was
            return FALSE;
        }
    }
    return TRUE;
}

HWND BoxOwner() {
    for (auto it = openDialogs.rbegin(); it != openDialogs.rend(); ++it)
        if (IsWindow((*it)->dialog)) return (*it)->dialog;
    return AppWindow();
}

LaterWindowScope::LaterWindowScope() {
    for (const ModalEntry* e : openDialogs) {
        if (!(GetWindowLongPtrW(e->dialog, GWL_EXSTYLE) & WS_EX_TOPMOST)) continue;
        try {
            yielded_.push_back(e->dialog);
        } catch (...) {
            continue;  // out of memory: it stays in front
        }
        SetWindowPos(e->dialog, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
}

LaterWindowScope::~LaterWindowScope() {
    for (HWND dialog : yielded_)
        if (IsWindow(dialog))
            SetWindowPos(dialog, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

ModalScope::ModalScope() {
    if (modalScopes++ == 0) ShowWindow(AppWindow(), SW_SHOWNOACTIVATE);
}

ModalScope::~ModalScope() {
    if (--modalScopes == 0) ShowWindow(AppWindow(), SW_HIDE);
}

void InitializeApplication() {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES | ICC_TAB_CLASSES};
    InitCommonControlsEx(&icc);
    AppWindow();
}

int RunMessageLoop() {
    MSG msg;
    BOOL got;
    while ((got = GetMessageW(&msg, nullptr, 0, 0)) != 0) {
        if (got == -1) return 0;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

void PauseAnsweringSentMessages(DWORD pause) {
    const ULONGLONG end = GetTickCount64() + pause;
    for (ULONGLONG now = GetTickCount64(); now < end; now = GetTickCount64()) {
        // Also wakes for a sent message that was already waiting, seen but unanswered.
        if (MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(end - now), QS_SENDMESSAGE,
                                        MWMO_INPUTAVAILABLE) != WAIT_OBJECT_0)
            continue;
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);  // delivers the sent ones
    }
}

void ProcessWaitingMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// ---- modal dialogs

INT_PTR RunModal(HWND dialog) {
    ModalScope scope;
    ModalEntry entry{dialog};
    openDialogs.push_back(&entry);
    struct Unlist {
        ModalEntry* e;
        ~Unlist() { std::erase(openDialogs, e); }
    } unlist{&entry};

    OtherWindowsDisabled others(dialog);
    ShowWindow(dialog, SW_SHOW);
    SetForegroundWindow(dialog);

    std::optional<WPARAM> quit;
    while (!entry.ended && IsWindow(dialog)) {
        MSG msg;
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            quit = msg.wParam;
            break;
        }
        if (got == -1) break;
        if (!IsDialogMessageW(dialog, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    // Enable the owner chain before hiding, so activation returns to it
    // rather than to another program.
    others.Restore();
    if (IsWindow(dialog)) ShowWindow(dialog, SW_HIDE);
    if (quit) PostQuitMessage(static_cast<int>(*quit));
    return entry.ended ? entry.result : IDCANCEL;
}

void EndModal(HWND dialog, INT_PTR result) {
    for (ModalEntry* e : openDialogs) {
        if (e->dialog == dialog && !e->ended) {
            e->ended = true;
            e->result = result;
        }
    }
    WakeMessageLoops();
}

void CloseOpenDialogs() {
    for (auto it = openDialogs.rbegin(); it != openDialogs.rend(); ++it) {
        if (!(*it)->ended) {
            (*it)->ended = true;
            (*it)->result = IDCANCEL;
        }
    }
    WakeMessageLoops();
}

bool BringOpenDialogToFront(const wchar_t* className) {
    for (const ModalEntry* e : openDialogs) {
        wchar_t name[64];
        if (!GetClassNameW(e->dialog, name, 64) || lstrcmpW(name, className) != 0) continue;
        const HWND top = IsWindowEnabled(e->dialog) ? e->dialog : TopOwnWindow(AppWindow());
        if (top) SetForegroundWindow(top);
        return true;
    }
    return false;
}

}  // namespace qh::win
