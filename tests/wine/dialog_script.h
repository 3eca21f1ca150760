// The dialogs as real windows under their real modal loop: a test opens a
// dialog and drives it from a thread timer that fires inside that loop, as a
// user would, then checks what the dialog did to the store and the phrase
// file. Here: the timer-driven script, input as the user gives it, the
// readers of the dialogs' controls, and the fixture.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Setting.h"
#include "Version.h"
#include "model.h"
#include "platform.h"
#include "reporters.h"
#include "scratch_folder.h"
#include "setting_rules.h"
#include "shell_test_support.h"

namespace qh::win {

namespace fs = std::filesystem;
using namespace std::literals;

// ---- driving a modal dialog from inside its own message loop

// Steps run one per timer tick, so the messages an action posts are handled
// before the next step looks. An action may open a nested modal loop (a
// message box); the ticks go on inside it and the next steps answer it.
class Script {
public:
    Script& Do(std::function<void()> action) {
        steps_.push_back({"action", std::move(action), {}});
        return *this;
    }
    Script& WaitFor(std::string what, std::function<bool()> condition) {
        steps_.push_back({std::move(what), {}, std::move(condition)});
        return *this;
    }
    // A few idle ticks: lets posted input be handled before the next look.
    Script& Settle() {
        for (int i = 0; i < 3; ++i) Do([] {});
        return *this;
    }

    // Runs `modal` (which shows a dialog modally) with the steps driving it.
    INT_PTR Run(const std::function<INT_PTR()>& modal) {
        active_ = this;
        const UINT_PTR timer = SetTimer(nullptr, 0, 15, Tick);
        const INT_PTR result = modal();
        KillTimer(nullptr, timer);
        active_ = nullptr;
        EXPECT_EQ(next_, steps_.size()) << "the dialog closed before the script ended";
        return result;
    }

private:
    struct Step {
        std::string what;
        std::function<void()> action;
        std::function<bool()> condition;
    };

    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
        if (Script* self = active_) self->Next();
    }

    void Next();

    std::vector<Step> steps_;
    std::size_t next_ = 0;
    int ticks_ = 0;
    static inline Script* active_ = nullptr;
};

struct WindowSearch {
    const wchar_t* className;
    bool visibleOnly;
    std::vector<HWND> found;
};

inline BOOL CALLBACK CollectWindow(HWND w, LPARAM p) {
    auto* s = reinterpret_cast<WindowSearch*>(p);
    wchar_t cls[64] = {};
    GetClassNameW(w, cls, 64);
    if (_wcsicmp(cls, s->className) == 0 && (!s->visibleOnly || IsWindowVisible(w))) s->found.push_back(w);
    return TRUE;
}

inline std::vector<HWND> ThreadWindows(const wchar_t* className, bool visibleOnly = true) {
    WindowSearch search{className, visibleOnly, {}};
    EnumThreadWindows(GetCurrentThreadId(), CollectWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

inline std::vector<HWND> MessageBoxes() { return ThreadWindows(L"#32770"); }

inline std::wstring Text(HWND w) { return WindowText(w); }

// The texts a message box shows, its buttons' captions left out.
inline std::wstring BoxText(HWND box) {
    std::wstring text;
    for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        wchar_t cls[32] = {};
        GetClassNameW(c, cls, 32);
        if (_wcsicmp(cls, L"Static") == 0) text += Text(c);
    }
    return text;
}

inline void Script::Next() {
    if (next_ >= steps_.size()) return;
    if (++ticks_ > 1500) {  // about 20 s: give up rather than hang the run
        ADD_FAILURE() << "stuck at step " << next_ << ": " << steps_[next_].what;
        next_ = steps_.size();
        for (HWND box : MessageBoxes()) PostMessageW(box, WM_CLOSE, 0, 0);
        CloseOpenDialogs();
        return;
    }
    Step step = steps_[next_];
    if (step.condition) {
        if (step.condition()) ++next_;
        return;
    }
    ++next_;  // before acting: the action may run a nested loop that ticks on
    step.action();
}

// Presses a button of a message box, once it shows the expected text.
inline std::function<bool()> AnswerBox(std::wstring expectedTitle, std::wstring expectedText, int button) {
    return [=] {
        const auto boxes = MessageBoxes();
        if (boxes.empty()) return false;
        HWND box = boxes.back();
        EXPECT_EQ(Text(box), expectedTitle);
        EXPECT_EQ(BoxText(box), expectedText);
        SendMessageW(GetDlgItem(box, button), BM_CLICK, 0, 0);
        return true;
    };
}

// ---- input as the user gives it

inline void PostKey(HWND target, UINT vk) {
    const UINT scan = MapVirtualKeyW(vk, MAPVK_VK_TO_VSC);
    PostMessageW(target, WM_KEYDOWN, vk, 1 | (scan << 16));
    PostMessageW(target, WM_KEYUP, vk, 1 | (scan << 16) | 0xC0000000u);
}

inline void PostAltKey(HWND target, wchar_t ch) { PostMessageW(target, WM_SYSCHAR, ch, 0x20000001); }

inline void PostChar(HWND target, wchar_t ch) { PostMessageW(target, WM_CHAR, ch, 1); }

inline void PostClick(HWND target, POINT at) {
    const LPARAM where = MAKELPARAM(at.x, at.y);
    PostMessageW(target, WM_LBUTTONDOWN, MK_LBUTTON, where);
    PostMessageW(target, WM_LBUTTONUP, 0, where);
}

inline void Press(HWND button) { SendMessageW(button, BM_CLICK, 0, 0); }
// For a button whose handler opens a message box: the script goes on.
inline void PressLater(HWND button) { PostMessageW(button, BM_CLICK, 0, 0); }

// ---- reading the dialogs back

inline RECT ScreenRect(HWND w) {
    RECT r{};
    GetWindowRect(w, &r);
    return r;
}

// A control's box in the coordinates of `origin`'s client area, or of the
// frame window `origin` itself when `windowOrigin` is set.
inline RECT BoxIn(HWND control, HWND origin, bool windowOrigin = false) {
    RECT r = ScreenRect(control);
    if (windowOrigin) {
        const RECT o = ScreenRect(origin);
        OffsetRect(&r, -o.left, -o.top);
    } else {
        MapWindowPoints(nullptr, origin, reinterpret_cast<POINT*>(&r), 2);
    }
    return r;
}

struct Placement {
    const char* name;
    int id;
    int x, y, width, height;
};

inline void ExpectPlacement(HWND control, const RECT& r, const Placement& p) {
    SCOPED_TRACE(p.name);
    ASSERT_TRUE(control);
    EXPECT_EQ(r.left, p.x);
    EXPECT_EQ(r.top, p.y);
    if (p.width) {
        EXPECT_EQ(r.right - r.left, p.width);
    }
    if (p.height) {
        EXPECT_EQ(r.bottom - r.top, p.height);
    }
}

inline LOGFONTW FontOf(HWND control) {
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof font, &font);
    return font;
}

inline LONG_PTR Style(HWND w) { return GetWindowLongPtrW(w, GWL_STYLE); }
inline LONG_PTR ExStyle(HWND w) { return GetWindowLongPtrW(w, GWL_EXSTYLE); }

inline int RowCount(HWND list) { return static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)); }

inline std::wstring Cell(HWND list, int row, int column) {
    wchar_t buffer[4096] = {};
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = buffer;
    item.cchTextMax = 4096;
    SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    return buffer;
}

inline int SelectedRow(HWND list) {
    return static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

inline void SelectRowByKeyboardState(HWND list, int row) {
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

// A mouse click in the middle of a row's first column.
inline void PostRowClick(HWND list, int row) {
    RECT r{};
    r.left = LVIR_LABEL;
    SendMessageW(list, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&r));
    PostClick(list, {(r.left + r.right) / 2, (r.top + r.bottom) / 2});
}

inline std::string Ansi(HWND w) { return ToAnsi(Text(w)); }
inline void SetText(HWND w, std::string_view ansi) { SetWindowTextW(w, FromAnsi(ansi).c_str()); }

// ---- the fixture: a phrase file of the test's own and a hidden owner

class DialogTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { InitializeApplication(); }

    void SetUp() override {
        // Stands in for the hidden main window: never shown.
        owner_ = CreateWindowExW(WS_EX_TOOLWINDOW, L"STATIC", L"owner", WS_POPUP, 0, 0, 0, 0, nullptr,
                                 nullptr, GetModuleHandleW(nullptr), nullptr);
    }
    void TearDown() override { DestroyWindow(owner_); }

    void WriteFile(std::string_view bytes) { folder_.WritePhraseFile(bytes); }
    std::optional<std::string> FileBytes() const { return folder_.PhraseFileBytes(); }
    TTypeMsg& Store() {
        if (!store_) store_.emplace(OpenPhraseFile(file_.wstring()), reporter_, SystemAnsiCodePage());
        return *store_;
    }

    INT_PTR RunSetting(Script& script) {
        return script.Run([&] { return ShowSettingDialog(owner_, Store()); });
    }
    INT_PTR RunAbout(Script& script) {
        return script.Run([&] { return ShowAboutDialog(owner_); });
    }

    test::ScratchFolder folder_{"qh-dialogs"};
    const fs::path dir_ = folder_.Path(), file_ = folder_.PhraseFile();
    HWND owner_ = nullptr;
    test::RecordingReporter reporter_;
    std::optional<TTypeMsg> store_;
};

inline HWND Setting() {
    const auto w = ThreadWindows(SettingWindowClass);
    return w.empty() ? nullptr : w.back();
}
inline HWND About() {
    const auto w = ThreadWindows(AboutWindowClass);
    return w.empty() ? nullptr : w.back();
}
inline HWND Item(int id) { return GetDlgItem(Setting(), id); }
inline HWND AboutItem(int id) { return GetDlgItem(About(), id); }

inline bool SettingOpen() { return Setting() && IsWindowEnabled(Setting()); }

}  // namespace qh::win
