// What the main window reads from the clipboard, what it refuses to keep,
// and how it behaves towards a program that holds the clipboard.
#include <atomic>
#include <cstring>
#include <optional>
#include <limits>
#include <thread>

#include "shell_test_support.h"

namespace qh::test {
namespace {

using Clipboard = MainWindowTest;

// Text ends at its first NUL and never runs past its block. (Wine writes a
// NUL into the last byte of every text block it is given, so there the
// block's end shows as a text one byte short; Windows hands the block over
// as it is.)
TEST_F(Clipboard, ReadsTextUpToItsFirstNulAndNeverPastItsBlock) {
    Start();
    PutClipboard({{CF_TEXT, std::string("shown\0hidden after the NUL\0", 28)}});
    EXPECT_EQ(HistoryEntries().front(), "shown");

    for (std::size_t size : {2u, 16u, 100u, 4096u}) {
        SCOPED_TRACE(size);
        const std::string block(size, static_cast<char>('a' + size % 26));  // no NUL at all
        PutClipboard({{CF_TEXT, block}});
        const std::string read = HistoryEntries().front();
        EXPECT_GE(read.size(), size - 1);
        EXPECT_LE(read.size(), size);
        EXPECT_EQ(read, block.substr(0, read.size()));
    }
}

TEST_F(Clipboard, NeverRecordsWhatTheCopyingProgramMarkedAsPrivate) {
    struct Case {
        const char* what;
        const char* format;
        std::string value;
        bool recorded;
    };
    const std::string zero(4, '\0'), one = std::string("\1\0\0\0", 4);
    const std::vector<Case> cases = {
        {"excluded from monitoring", "ExcludeClipboardContentFromMonitorProcessing", zero, false},
        {"viewers asked to ignore", "Clipboard Viewer Ignore", zero, false},
        {"not for the clipboard history", "CanIncludeInClipboardHistory", zero, false},
        {"allowed in the clipboard history", "CanIncludeInClipboardHistory", one, true},
    };
    Start();
    CopyText("before");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string secret = std::string("secret of ") + c.what;
        PutClipboard({{CF_TEXT, secret + '\0'}, {Format(c.format), c.value}});
        EXPECT_EQ(HistoryEntries().front(), c.recorded ? secret : "before");
        CopyText("before");
    }
}

// The marks belong to the text they came with. Here a program holds the
// clipboard while the window waits for it, then replaces the unmarked text
// the window was told of by a marked password before letting go.
TEST_F(Clipboard, APasswordCopiedWhileTheWindowWaitsForTheClipboardIsNotRecorded) {
    Start();
    std::atomic<bool> copied{false}, looked{false}, held{false}, go{false}, done{false};
    std::thread manager([&] {
        // Owns the text before, so that emptying the clipboard waits for no
        // window of the test's thread.
        const HWND owner = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                           GetModuleHandleW(nullptr), nullptr);
        if (OpenClipboard(owner)) {
            EmptyClipboard();
            SetClipboardData(CF_TEXT, BlockOf("before", 7));
            CloseClipboard();
            copied = true;
        }
        while (copied && !looked) Sleep(1);  // the window has read it
        if (copied && OpenClipboard(owner)) {
            held = true;
            while (!go) Sleep(1);
            Sleep(30);  // the window is retrying by now
            EmptyClipboard();
            SetClipboardData(CF_TEXT, BlockOf("password", 9));
            SetClipboardData(Format("ExcludeClipboardContentFromMonitorProcessing"), BlockOf("\0\0\0\0", 4));
            CloseClipboard();
        }
        DestroyWindow(owner);
        done = true;
    });
    const bool seen = PumpUntil([&] { return HistoryEntries() == std::vector<std::string>{"before"}; });
    looked = true;
    const bool ready = PumpUntil([&] { return held || done; }) && held;
    EXPECT_TRUE(seen && ready);
    BoxCloser closer;  // should the wait run out after all
    go = true;
    // Told of a change, the window finds the unmarked text and waits for
    // the clipboard, which comes free holding the marked password.
    if (ready) SendMessageW(main->Handle(), WM_CLIPBOARDUPDATE, 0, 0);
    EXPECT_TRUE(PumpUntil([&] { return done.load(); }, 5000ms));
    manager.join();
    Pump(20ms);

    EXPECT_EQ(HistoryEntries(), (std::vector<std::string>{"before"}));
}

// A failed write must not cost the user what the clipboard held. A text
// larger than any block the system gives stands for exhausted memory; the
// bytes past its first are never read.
TEST_F(Clipboard, AWriteThatFailsLeavesTheClipboardAsItWas) {
    Start();
    CopyText("kept");
    const std::string_view huge("x", std::numeric_limits<std::size_t>::max() / 2);
    EXPECT_THROW(win::WriteClipboardText(huge), std::exception);
    EXPECT_EQ(ClipboardText(), "kept");
    EXPECT_EQ(HistoryEntries(), (std::vector<std::string>{"kept"}));
}

// The system posts the notice, so the copier goes on while we retry; the
// box comes only when the clipboard stays busy. Here a second thread holds
// the clipboard open and then posts the notice, as the system would.
TEST_F(Clipboard, AClipboardThatStaysBusyIsReportedAndLeavesTheHistoryAsItWas) {
    Start();
    CopyText("before");

    std::atomic<bool> held{false}, releaseClipboard{false};
    const HWND target = main->Handle();
    std::thread holder([&] {
        if (!OpenClipboard(nullptr)) return;
        held = true;
        PostMessageW(target, WM_CLIPBOARDUPDATE, 0, 0);
        while (!releaseClipboard) Sleep(5);
        CloseClipboard();
    });
    BoxCloser closer;
    // The thread is let go before any check: a test that returns with it
    // still running would end the whole program.
    const bool boxSeen = PumpUntil([&] { return held && !closer.seen.empty(); }, 10000ms);
    releaseClipboard = true;
    holder.join();
    ASSERT_TRUE(boxSeen) << (held ? "no box was shown" : "the clipboard could not be held");
    Pump(20ms);

    EXPECT_EQ(closer.seen.at(0).text, L"クリップボードを開くことができません");
    EXPECT_EQ(closer.seen.at(0).title, L"Quillharbor");
    EXPECT_EQ(HistoryEntries(), (std::vector<std::string>{"before"}));

    CopyText("after");  // and recording goes on
    EXPECT_EQ(HistoryEntries().front(), "after");
}

// The system's history and sync hold the clipboard for seconds while an
// office program renders what they asked for: the copy is still recorded.
TEST_F(Clipboard, AClipboardBusyForSecondsIsWaitedForWithoutABox) {
    Start();
    CopyText("copied");
    main->History->Clear();  // not heard yet
    std::atomic<bool> held{false}, done{false};
    const HWND target = main->Handle();
    std::thread holder([&] {
        if (OpenClipboard(nullptr)) {
            held = true;
            PostMessageW(target, WM_CLIPBOARDUPDATE, 0, 0);
            Sleep(2500);  // the holder's work
            CloseClipboard();
        }
        done = true;
    });
    BoxCloser closer;
    const bool recorded = PumpUntil([&] { return done && !HistoryEntries().empty(); }, 10000ms);
    holder.join();
    EXPECT_TRUE(held && recorded);
    EXPECT_TRUE(closer.seen.empty());
}

// Reading a text its owner renders only now lets sent messages in: here the
// owner, another thread, ends the session while it renders.
HWND renderTarget = nullptr;
std::atomic<bool> endedWhileRendering{false};
LRESULT CALLBACK EndSessionWhileRendering(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg != WM_RENDERFORMAT) return DefWindowProcW(window, msg, wParam, lParam);
    SendMessageW(renderTarget, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    endedWhileRendering = true;
    SetClipboardData(CF_TEXT, BlockOf("rendered", 9));
    return 0;
}

TEST_F(Clipboard, ASessionThatEndsWhileATextIsRenderedEndsTheProgramCleanly) {
    Start();
    CopyText("before");
    renderTarget = main->Handle();
    endedWhileRendering = false;
    std::atomic<bool> put{false}, quit{false};
    std::thread owner([&] {
        const HWND window = HiddenWindow(L"QhTestRenderer", EndSessionWhileRendering);
        if (OpenClipboard(window)) {
            EmptyClipboard();
            SetClipboardData(CF_TEXT, nullptr);
            CloseClipboard();
            put = true;
        }
        PumpUntil([&] { return quit.load(); }, 10000ms);
        DestroyWindow(window);
    });
    BoxCloser closer;
    const bool closed = PumpUntil([&] { return endedWhileRendering && !main->TrayActive; }, 5000ms);
    Pump(5200ms);  // a retry of the clipboard would have given up by now
    quit = true;
    owner.join();

    ASSERT_TRUE(put && closed);
    EXPECT_FALSE(main->History.has_value());
    EXPECT_TRUE(closer.seen.empty()) << "a box after closing had begun";
}

// A text its owner never renders (it ended, or timed out) is asked for again
// for a while, then given up without a word: the clipboard was not busy.
std::atomic<int> renderRequests{0};
LRESULT CALLBACK RenderNothing(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg != WM_RENDERFORMAT) return DefWindowProcW(window, msg, wParam, lParam);
    ++renderRequests;
    return 0;
}

TEST_F(Clipboard, ATextNeverRenderedIsAskedForAgainThenGivenUpWithoutABox) {
    Start();
    CopyText("before");
    renderRequests = 0;
    std::atomic<bool> put{false}, quit{false};
    std::thread owner([&] {
        const HWND window = HiddenWindow(L"QhTestSilentRenderer", RenderNothing);
        // The window may still be reading "before".
        if (PumpUntil([&] { return OpenClipboard(window) != FALSE; })) {
            EmptyClipboard();
            SetClipboardData(CF_TEXT, nullptr);
            CloseClipboard();
            put = true;
        }
        PumpUntil([&] { return quit.load(); }, 20000ms);
        DestroyWindow(window);
    });
    BoxCloser closer;
    const bool askedAgain = PumpUntil([&] { return renderRequests >= 2; }, 5000ms);
    const bool box = PumpUntil([&] { return !closer.seen.empty(); }, 7000ms);  // past the retry's patience
    quit = true;
    owner.join();

    EXPECT_TRUE(put);
    EXPECT_TRUE(askedAgain) << renderRequests;
    EXPECT_FALSE(box);
    EXPECT_EQ(HistoryEntries(), (std::vector<std::string>{"before"}));
}

// The DWORD a format holds on the clipboard, if it is there.
std::optional<DWORD> ClipboardDword(UINT format) {
    std::optional<DWORD> value;
    if (!OpenClipboard(ClipboardOwner())) return value;
    if (HANDLE data = GetClipboardData(format); data && GlobalSize(data) >= sizeof(DWORD)) {
        value.emplace();
        std::memcpy(&*value, GlobalLock(data), sizeof(DWORD));
        GlobalUnlock(data);
    }
    CloseClipboard();
    return value;
}

// An English user locale in this process for one scope. Wine stamps a text
// closed without CF_LOCALE with the user's locale, where Windows takes the
// input language: either differs from the system's here. (Under Wine only,
// where the change stays in the process.)
class EnglishUserLocale {
public:
    EnglishUserLocale() {
        const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
        if (!GetProcAddress(ntdll, "wine_get_version")) return;
        set_ = reinterpret_cast<Set>(reinterpret_cast<void (*)()>(GetProcAddress(ntdll, "NtSetDefaultLocale")));
        const auto query =
            reinterpret_cast<Query>(reinterpret_cast<void (*)()>(GetProcAddress(ntdll, "NtQueryDefaultLocale")));
        if (!set_ || !query || query(TRUE, &old_) != 0) set_ = nullptr;
        if (set_) set_(TRUE, MAKELCID(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), SORT_DEFAULT));
    }
    ~EnglishUserLocale() {
        if (set_) set_(TRUE, old_);
    }
    EnglishUserLocale(const EnglishUserLocale&) = delete;
    EnglishUserLocale& operator=(const EnglishUserLocale&) = delete;

private:
    using Set = LONG(NTAPI*)(BOOLEAN, LCID);
    using Query = LONG(NTAPI*)(BOOLEAN, LCID*);
    Set set_ = nullptr;
    LCID old_ = 0;
};

// Without a CF_LOCALE of its own the put-back is stamped, on Windows, with
// the active input language. A copy kept off clipboard sync stays off it.
TEST_F(Clipboard, AChosenEntryNamesTheLocaleOfItsBytesAndKeepsItsCloudMark) {
    struct Case {
        const char* what;
        std::optional<std::string> mark;
        std::optional<DWORD> putBack;
    };
    const std::vector<Case> cases = {
        {"kept off clipboard sync", std::string(4, '\0'), 0u},
        {"allowed on clipboard sync", std::string("\1\0\0\0", 4), std::nullopt},
        {"unmarked", std::nullopt, std::nullopt},
    };
    Start();
    const EnglishUserLocale english;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<ClipData> copy{{CF_TEXT, Ansi("表示ソース") + '\0'}};
        if (c.mark) copy.push_back({Format("CanUploadToCloudClipboard"), *c.mark});
        PutClipboard(copy);
        CopyText("newer");
        OpenMenu([](HMENU menu) { return ItemsOf(GetSubMenu(menu, 0)).at(1).id; });
        EXPECT_EQ(ClipboardText(), Ansi("表示ソース"));
        EXPECT_EQ(ClipboardDword(Format("CanUploadToCloudClipboard")), c.putBack);
        EXPECT_EQ(ClipboardDword(CF_LOCALE), GetSystemDefaultLCID());
    }
}

TEST_F(Clipboard, AChosenEntryReplacesEveryFormatWithItsText) {
    Start();
    CopyText("chosen");
    PutClipboard({{CF_TEXT, std::string("other\0", 6)}, {Format("Quillharbor test extra"), "x"}});
    OpenMenu([](HMENU menu) { return ItemsOf(GetSubMenu(menu, 0)).at(1).id; });
    EXPECT_EQ(ClipboardText(), "chosen");
    EXPECT_FALSE(IsClipboardFormatAvailable(Format("Quillharbor test extra")));
}

}  // namespace
}  // namespace qh::test
