// The program among other programs: clipboard viewers that hang, vanish or
// hold the clipboard after every copy, a scanner holding the phrase file,
// and its own windows, of which the newest is in front.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "driver.h"

namespace e2e {
namespace {

const std::wstring Title = L"Quillharbor";
const std::vector<WORD> ChooseNewest{'C', VK_RETURN};
constexpr WORD OpenSettings = 'A';
constexpr WORD OpenAbout = 'V';
// How long the neighbours below keep the clipboard or the file.
constexpr Millis Moment(500);

// Another program's clipboard viewer, on a thread of its own as in its own
// program, in the viewer chain that older clipboard tools still join.
class Neighbour {
public:
    enum class Conduct {
        Hangs,              // stops answering at the first notice, until Answer()
        HoldsTheClipboard,  // opens the clipboard at each notice for a moment, as managers do
        Polite,
    };

    explicit Neighbour(Conduct conduct) : conduct_(conduct), answer_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
        thread_ = std::thread([this] { Run(); });
        WaitUntil([&] { return ready_.load(); }, Millis(5000));
    }
    ~Neighbour() {
        Answer();
        if (window_) PostMessageW(window_, WM_LEAVE, 0, 0);
        else PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
        thread_.join();
        CloseHandle(answer_);
    }
    Neighbour(const Neighbour&) = delete;
    Neighbour& operator=(const Neighbour&) = delete;

    bool joined() const { return joined_; }
    bool hung() const { return hung_; }
    // Notices at which it held the clipboard, and released it again.
    int released() const { return released_; }
    void Answer() { SetEvent(answer_); }
    // Its program ends without leaving the chain.
    void Vanish() {
        const HWND window = window_.exchange(nullptr);
        if (window) PostMessageW(window, WM_VANISH, 0, 0);
        WaitUntil([&] { return !IsWindow(window); }, Millis(5000));
    }

private:
    static constexpr UINT WM_LEAVE = WM_APP, WM_VANISH = WM_APP + 1;

    void Run() {
        threadId_ = GetCurrentThreadId();
        static const wchar_t* const name = [] {
            WNDCLASSW wc{};
            wc.lpfnWndProc = Proc;
            wc.hInstance = GetModuleHandleW(nullptr);
            wc.lpszClassName = L"QuillharborE2ENeighbour";
            RegisterClassW(&wc);
            return wc.lpszClassName;
        }();
        HWND window = CreateWindowExW(0, name, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                      GetModuleHandleW(nullptr), nullptr);
        if (window) {
            SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
            SetLastError(0);
            next_ = SetClipboardViewer(window);
            joined_ = next_ || GetLastError() == 0;
            window_ = window;
        }
        // The greeting that joining brings is not a copy.
        acting_ = true;
        ready_ = true;
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
    }

    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<Neighbour*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (!self) return DefWindowProcW(window, message, wParam, lParam);
        switch (message) {
        case WM_DRAWCLIPBOARD:
            self->Notice(window, wParam, lParam);
            return 0;
        case WM_CHANGECBCHAIN:
            if (reinterpret_cast<HWND>(wParam) == self->next_) self->next_ = reinterpret_cast<HWND>(lParam);
            else if (self->next_) SendNotifyMessageW(self->next_, message, wParam, lParam);
            return 0;
        case WM_LEAVE:
            if (self->joined_) ChangeClipboardChain(window, self->next_);
            [[fallthrough]];
        case WM_VANISH:
            self->joined_ = false;
            DestroyWindow(window);
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
        }
    }

    void Notice(HWND window, WPARAM wParam, LPARAM lParam) {
        if (!acting_) return;
        if (conduct_ == Conduct::Hangs) {
            hung_ = true;
            WaitForSingleObject(answer_, INFINITE);  // no message runs meanwhile
            hung_ = false;
        }
        // Tried until it gets the clipboard: listeners may be reading it.
        bool hold = false;
        for (int i = 0; conduct_ == Conduct::HoldsTheClipboard && !hold && i < 400; ++i)
            if (!(hold = OpenClipboard(window) != FALSE)) Sleep(5);
        // Passed on without waiting for the next viewer, which then finds
        // the clipboard busy.
        if (next_) SendNotifyMessageW(next_, WM_DRAWCLIPBOARD, wParam, lParam);
        if (hold) {
            Sleep(static_cast<DWORD>(Moment.count()));
            CloseClipboard();
            ++released_;
        }
    }

    const Conduct conduct_;
    HANDLE answer_;
    std::thread thread_;
    DWORD threadId_ = 0;
    std::atomic<HWND> window_{nullptr};
    HWND next_ = nullptr;
    bool acting_ = false;
    std::atomic<bool> ready_{false}, joined_{false}, hung_{false};
    std::atomic<int> released_{0};
};

// Whether `upper` lies above `lower` on the screen.
bool Above(HWND upper, HWND lower) {
    for (HWND w = GetWindow(upper, GW_HWNDNEXT); w; w = GetWindow(w, GW_HWNDNEXT))
        if (w == lower) return true;
    return false;
}

// A message box of the process (dialog class "#32770"), if one is up.
HWND MessageBoxOf(DWORD processId) {
    for (HWND w : VisibleWindows(processId))
        if (ClassOf(w) == L"#32770") return w;
    return nullptr;
}

// ---- the viewer chain

TEST(Neighbours, AHungViewerBehindItHoldsUpNeitherTheMenuNorTheCopier) {
    Neighbour hung(Neighbour::Conduct::Hangs);
    ASSERT_TRUE(hung.joined());
    Quillharbor app;
    ASSERT_STARTED(app);
    ASSERT_TRUE(WaitUntil([&] { return hung.hung(); }, Millis(10000))) << "the notice never reached the viewer";

    ASSERT_TRUE(app.Copy("first"));
    ASSERT_TRUE(app.Copy("second"));
    EXPECT_EQ(app.Choose(ChooseNewest), "second") << "the menu does not work while the viewer hangs";
    EXPECT_EQ(app.Choose({'C', VK_DOWN, VK_RETURN}), "first");
}

TEST(Neighbours, CopiesWhileALaterViewerHangsAreRecordedAndExitDoesNotWaitForIt) {
    Quillharbor app;
    ASSERT_STARTED(app);
    Neighbour hung(Neighbour::Conduct::Hangs);  // the chain's head, ahead of the program
    ASSERT_TRUE(hung.joined());
    ASSERT_TRUE(app.Copy("first"));
    ASSERT_TRUE(WaitUntil([&] { return hung.hung(); }, Millis(10000))) << "the notice never reached the viewer";

    ASSERT_TRUE(app.Copy("second"));
    ASSERT_TRUE(app.Copy("third"));
    EXPECT_EQ(app.Choose(ChooseNewest), "third");
    EXPECT_EQ(app.Choose({'C', VK_DOWN, VK_RETURN}), "second");
    EXPECT_EQ(app.Choose({'C', VK_UP, VK_RETURN}), "first");
    // The program ends at once; 3 s leave room for a loaded machine, while
    // waiting on the hung viewer would last as long as it hangs.
    const std::optional<DWORD> code = app.End(Ending::ExitItem, Millis(3000));
    EXPECT_EQ(code, std::optional<DWORD>(0)) << "Exit waited for the hung viewer";
}

TEST(Neighbours, AViewerThatEndsWithoutLeavingTheChainCostsNoCopy) {
    Quillharbor app;
    ASSERT_STARTED(app);
    Neighbour gone(Neighbour::Conduct::Polite);  // ahead of the program
    ASSERT_TRUE(gone.joined());
    ASSERT_TRUE(app.Copy("before"));
    EXPECT_EQ(app.Choose(ChooseNewest), "before");

    gone.Vanish();  // Windows then tells nobody behind it
    ASSERT_TRUE(app.Copy("unheard"));
    EXPECT_EQ(app.Choose(ChooseNewest), "unheard") << "a copy after the viewer vanished was lost";
    ASSERT_TRUE(app.Copy("heard again"));
    EXPECT_EQ(app.Choose(ChooseNewest), "heard again");
}

TEST(Neighbours, AClipboardBusyForAMomentAfterACopyIsWaitedFor) {
    Quillharbor app;
    ASSERT_STARTED(app);
    ASSERT_TRUE(app.Copy("before"));
    Neighbour manager(Neighbour::Conduct::HoldsTheClipboard);  // ahead of the program
    ASSERT_TRUE(manager.joined());

    ASSERT_TRUE(PutText("copied while a manager looks"));
    ASSERT_TRUE(WaitUntil([&] { return manager.released() > 0; }, Millis(5000)));
    EXPECT_EQ(app.Choose(ChooseNewest), "copied while a manager looks");
    EXPECT_EQ(MessageBoxOf(app.processId()), nullptr) << Cp932(WindowTexts(MessageBoxOf(app.processId())));
}

// ---- the phrase file

TEST(Neighbours, APhraseFileHeldByAScannerForAMomentIsStillSaved) {
    Quillharbor app("one\tfirst\n");  // OK rewrites it with CR LF
    ASSERT_STARTED(app);
    const std::filesystem::path file = app.folder().PhraseFile();
    ASSERT_TRUE(app.Command({OpenSettings}));
    const HWND dialog = WaitForWindow(app.processId(), L"設定");
    ASSERT_TRUE(dialog);
    const HWND ok = FindWindowExW(dialog, nullptr, L"Button", L"Ｏ　Ｋ");
    ASSERT_TRUE(ok);

    HANDLE scanner = CreateFileW(file.wstring().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(scanner, INVALID_HANDLE_VALUE);
    PostMessageW(ok, BM_CLICK, 0, 0);
    // The new file is complete beside the old one: the replace is under way.
    EXPECT_TRUE(WaitUntil([&] { return std::filesystem::exists(file.wstring() + L".tmp"); }, Millis(5000)));
    Sleep(static_cast<DWORD>(Moment.count()));
    EXPECT_EQ(app.folder().PhraseFileBytes(), "one\tfirst\n") << "the old file did not stay whole";
    CloseHandle(scanner);

    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(dialog) || !IsWindowVisible(dialog); }, Millis(15000)));
    EXPECT_EQ(app.folder().PhraseFileBytes(), "one\tfirst\r\n");
    EXPECT_EQ(MessageBoxOf(app.processId()), nullptr) << Cp932(WindowTexts(MessageBoxOf(app.processId())));
    if (IsWindow(dialog)) PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
}

// ---- the newest window in front

TEST(Neighbours, SettingsOpenedOverTheAboutDialogAreInFront) {
    Quillharbor app;
    ASSERT_STARTED(app);
    ASSERT_TRUE(app.Command({OpenAbout}));
    const HWND about = WaitForWindow(app.processId(), L"バージョン情報");
    ASSERT_TRUE(about);
    ASSERT_TRUE(app.Command({OpenSettings}));
    const HWND settings = WaitForWindow(app.processId(), L"設定");
    ASSERT_TRUE(settings);
    EXPECT_TRUE(Above(settings, about)) << "the settings dialog lies behind the About dialog";

    PostMessageW(settings, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(settings); }, Millis(15000)));
    EXPECT_TRUE(WaitUntil([&] { return (GetWindowLongW(about, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; }, Millis(5000)))
        << "the About dialog did not take its topmost place back";
    PostMessageW(about, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(about); }, Millis(15000)));
}

TEST(Neighbours, TheBoxesOfAFailedLinkAreInFrontOfTheAboutDialog) {
    Quillharbor app;
    ASSERT_STARTED(app);
    ASSERT_TRUE(app.Command({OpenAbout}));
    const HWND about = WaitForWindow(app.processId(), L"バージョン情報");
    ASSERT_TRUE(about);
    HWND link = nullptr;
    for (HWND w = nullptr; (w = FindWindowExW(about, w, L"Edit", nullptr));) link = w;  // the URL, the later one
    ASSERT_TRUE(link);
    // A scheme no program is registered for.
    const std::wstring target = L"quillharbor-test-unregistered:nothing";
    DWORD_PTR result = 0;
    ASSERT_TRUE(SendMessageTimeoutW(link, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(target.c_str()), SMTO_NORMAL,
                                    10000, &result));
    PostMessageW(link, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    PostMessageW(link, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));

    // The shell may first show a box of its own; every box is in front.
    bool failureShown = false;
    WaitUntil(
        [&] {
            const HWND box = MessageBoxOf(app.processId());
            // Judged once built: a box is shown first and raised only as it is activated.
            if (!box || WindowTexts(box).empty()) return false;
            EXPECT_TRUE(WaitUntil([&] { return Above(box, about); }, Millis(5000)))
                << Cp932(WindowTexts(box)) << " lies behind the About dialog";
            failureShown = WindowTexts(box).find(L"プロセスを起動できませんでした。") != std::wstring::npos;
            PostMessageW(box, WM_COMMAND, IDOK, 0);
            WaitUntil([&] { return !IsWindowVisible(box); }, Millis(15000));
            return failureShown;
        },
        Millis(20000));
    EXPECT_TRUE(failureShown);
    PostMessageW(about, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(about); }, Millis(15000)));
}

}  // namespace
}  // namespace e2e
