// Helpers shared by the window tests: message pumping, the real clipboard,
// a reader for real menus, and a closer for message boxes.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "Main.h"
#include "platform.h"
#include "scratch_folder.h"
#include "windows_test_support.h"

namespace qh::test {

using namespace std::chrono_literals;

inline bool PumpUntil(const std::function<bool()>& done) { return PumpUntil(done, 2000ms); }
inline void Pump(std::chrono::milliseconds time = 50ms) { PumpUntil(nullptr, time); }

// A hidden window that owns what the tests put on the clipboard.
inline HWND ClipboardOwner() {
    static const HWND owner = HiddenWindow(L"QhTestClipboardOwner");
    return owner;
}

inline HGLOBAL BlockOf(const void* bytes, std::size_t size) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
    std::memcpy(GlobalLock(block), bytes, size);
    GlobalUnlock(block);
    return block;
}

// One format to put on the clipboard with its exact bytes.
struct ClipData {
    UINT format;
    std::string bytes;
};

inline UINT Format(const char* name) { return RegisterClipboardFormatA(name); }

// The bytes of a CF_UNICODETEXT block, its terminating NUL included.
inline std::string UnicodeBytes(std::wstring_view text) {
    return {reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t) + sizeof(wchar_t)};
}

// Replaces the clipboard as another program would: the listeners hear of it
// when the clipboard closes.
inline void PutClipboard(const std::vector<ClipData>& data, bool heard = true) {
    ASSERT_TRUE(OpenClipboard(ClipboardOwner()));
    EmptyClipboard();
    for (const ClipData& d : data) SetClipboardData(d.format, BlockOf(d.bytes.data(), d.bytes.size()));
    CloseClipboard();
    if (heard) Pump(20ms);  // else the program's notice waits in the queue
}

// Text with its terminating NUL, as programs copy it.
inline void CopyText(const std::string& ansi) {
    PutClipboard({{CF_TEXT, std::string(ansi.c_str(), ansi.size() + 1)}});
}

inline void EmptyTheClipboard() { PutClipboard({}); }

// The CF_TEXT bytes on the clipboard, up to the NUL.
inline std::string ClipboardText() {
    std::string text;
    if (!OpenClipboard(ClipboardOwner())) return "<busy>";
    if (HANDLE data = GetClipboardData(CF_TEXT)) text = win::AnsiTextOfBlock(data);
    CloseClipboard();
    return text;
}

// ANSI (code page 932 under the test prefix) from UTF-8.
inline std::string Ansi(const char* utf8) { return win::ToAnsi(win::Widen(utf8)); }

// True while the notification area holds the main window's icon: only an
// existing icon can be modified.
inline bool TrayIconPresent(HWND main) {
    NOTIFYICONDATAA data{};
    data.cbSize = NOTIFYICONDATAA_V2_SIZE;
    data.hWnd = main;
    data.uID = win::TrayIconId;
    data.uFlags = NIF_TIP;
    std::strcpy(data.szTip, "Quillharbor");
    return Shell_NotifyIconA(NIM_MODIFY, &data) != FALSE;
}

// One item of a real menu, read back through the system.
struct MenuItem {
    std::wstring text;
    bool separator = false;
    HMENU submenu = nullptr;
    UINT id = 0;
};

inline std::vector<MenuItem> ItemsOf(HMENU menu) {
    std::vector<MenuItem> items;
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        MenuItem item;
        wchar_t text[256] = {};
        GetMenuStringW(menu, static_cast<UINT>(i), text, 256, MF_BYPOSITION);
        item.text = text;
        MENUITEMINFOW info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_SUBMENU;
        GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info);
        item.separator = (info.fType & MFT_SEPARATOR) != 0;
        item.submenu = info.hSubMenu;
        item.id = info.wID;
        items.push_back(item);
    }
    return items;
}

// What a level shows: captions, and "-" for a separator line.
inline std::vector<std::wstring> Captions(HMENU menu) {
    std::vector<std::wstring> captions;
    for (const MenuItem& item : ItemsOf(menu)) captions.push_back(item.separator ? L"-" : item.text);
    return captions;
}

// The submenu of the top-level item at `position`.
inline HMENU Submenu(HMENU menu, int position) { return GetSubMenu(menu, position); }

// A message box (dialog class "#32770") of this thread as the user sees it.
struct SeenBox {
    std::wstring title;
    std::wstring text;
    HWND owner = nullptr;
    bool stopIcon = false;
    bool appWindowVisible = false;
};

// Closes every message box of this thread once it appears, after noting
// what it showed. Boxes run their own modal loop, so a timer of the thread
// reaches them. `hold` keeps a box open until it returns true.
class BoxCloser {
public:
    explicit BoxCloser(std::function<bool()> hold = nullptr) : hold_(std::move(hold)) {
        current_ = this;
        timer_ = SetTimer(nullptr, 0, 30, Tick);
    }
    ~BoxCloser() {
        KillTimer(nullptr, timer_);
        current_ = nullptr;
    }
    BoxCloser(const BoxCloser&) = delete;
    BoxCloser& operator=(const BoxCloser&) = delete;

    std::vector<SeenBox> seen;

private:
    static BOOL CALLBACK Visit(HWND hwnd, LPARAM) {
        wchar_t cls[32] = {};
        GetClassNameW(hwnd, cls, 32);
        if (std::wstring(cls) != L"#32770" || !IsWindowVisible(hwnd)) return TRUE;
        BoxCloser* self = current_;
        if (self->hold_ && self->hold_()) return TRUE;
        SeenBox box;
        wchar_t text[512] = {};
        GetWindowTextW(hwnd, text, 512);
        box.title = text;
        text[0] = 0;
        GetDlgItemTextW(hwnd, 0xFFFF, text, 512);  // the box's message
        box.text = text;
        box.owner = GetWindow(hwnd, GW_OWNER);
        EnumChildWindows(hwnd, FindIcon, reinterpret_cast<LPARAM>(&box.stopIcon));
        box.appWindowVisible = IsWindowVisible(win::AppWindow()) != FALSE;
        self->seen.push_back(box);
        // IDOK closes a box of one button; IDNO answers a Yes/No box.
        PostMessageW(hwnd, WM_COMMAND, GetDlgItem(hwnd, IDNO) ? IDNO : IDOK, 0);
        return TRUE;
    }
    static BOOL CALLBACK FindIcon(HWND child, LPARAM found) {
        if ((GetWindowLongPtrW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
            SendMessageW(child, STM_GETICON, 0, 0) != 0)
            *reinterpret_cast<bool*>(found) = true;
        return TRUE;
    }
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
        if (current_) EnumThreadWindows(GetCurrentThreadId(), Visit, 0);
    }

    static inline BoxCloser* current_ = nullptr;
    std::function<bool()> hold_;
    UINT_PTR timer_ = 0;
};

// Keeps an icon of the tests' own in the notification area for the whole
// run. Without it the area empties whenever a test's main window closes,
// and hiding it costs seconds on an X server without a window manager.
class TrayKeeper : public ::testing::Environment {
public:
    void SetUp() override {
        hwnd_ = HiddenWindow(L"QhTestTrayKeeper", DefWindowProcW, nullptr);
        NOTIFYICONDATAA data = Record();
        data.uFlags = NIF_ICON;
        data.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
        Shell_NotifyIconA(NIM_ADD, &data);
    }
    void TearDown() override {
        NOTIFYICONDATAA data = Record();
        Shell_NotifyIconA(NIM_DELETE, &data);
        DestroyWindow(hwnd_);
    }

private:
    NOTIFYICONDATAA Record() const {
        NOTIFYICONDATAA data{};
        data.cbSize = NOTIFYICONDATAA_V2_SIZE;
        data.hWnd = hwnd_;
        data.uID = 1;
        return data;
    }
    HWND hwnd_ = nullptr;
};
inline ::testing::Environment* const trayKeeper = ::testing::AddGlobalTestEnvironment(new TrayKeeper);

// The main window of a test, with a phrase file of its own, started on an
// empty clipboard, and a menu tracker that the test may replace.
class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        win::InitializeApplication();
        EmptyTheClipboard();
    }
    void TearDown() override {
        main.reset();
        Pump(20ms);
    }

    void Start(const std::vector<std::string>& phraseLines = {}) {
        if (!phraseLines.empty()) folder.WritePhrases(phraseLines);
        main = std::make_unique<win::TFMain>(folder.PhraseFile());
        main->SetMenuTracker([this](HMENU menu, const win::TFMain::MenuPlacement& placement) {
            shown = placement;
            return pick ? pick(menu) : 0u;
        });
        Pump(20ms);
    }

    // Clicks the icon and lets `chooser` look at the open menu and pick.
    void OpenMenu(std::function<UINT(HMENU)> chooser) {
        pick = std::move(chooser);
        SendMessageW(main->Handle(), win::WM_TRAYNOTIFY, win::TrayIconId, WM_LBUTTONDOWN);
        Pump(20ms);
        pick = nullptr;
    }

    std::vector<std::string> HistoryEntries() const {
        std::vector<std::string> entries;
        if (main->History)
            for (std::size_t i = 0; i < main->History->Count(); ++i) entries.push_back(main->History->Entry(i));
        return entries;
    }

    ScratchFolder folder;
    std::unique_ptr<win::TFMain> main;
    std::function<UINT(HMENU)> pick;
    win::TFMain::MenuPlacement shown{};  // where the last menu opened
};

}  // namespace qh::test
