// What the main window reads from the clipboard, what it refuses to keep,
// and how it behaves towards a program that holds the clipboard.
#include <atomic>
#include <functional>
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

// The system posts the notice, so the copier goes on while we retry. A
// clipboard held for seconds (the system's history, while an office program
// renders what it asked for) is waited for without a box; the box comes only
// when it stays busy. A second thread holds the clipboard open and then
// posts the notice, as the system would.
TEST_F(Clipboard, AClipboardBusyForSecondsIsWaitedForAndOneThatStaysBusyIsReported) {
    Start();
    CopyText("before");
    const HWND target = main->Handle();
    BoxCloser closer;
    // Lets go once `letGo` holds, pumping meanwhile; whether it held.
    const auto holdUntil = [&](const std::function<bool()>& letGo) {
        std::atomic<bool> held{false}, releaseClipboard{false};
        std::thread holder([&] {
            if (!OpenClipboard(nullptr)) return;
            held = true;
            PostMessageW(target, WM_CLIPBOARDUPDATE, 0, 0);
            while (!releaseClipboard) Sleep(5);
            CloseClipboard();
        });
        // The thread is let go before any check: a test that returns with it
        // still running would end the whole program.
        const bool done = PumpUntil([&] { return held && letGo(); }, 10000ms);
        releaseClipboard = true;
        holder.join();
        return held && done;
    };
    PutClipboard({{CF_TEXT, std::string("held a while\0", 13)}}, false);
    const ULONGLONG since = GetTickCount64();
    EXPECT_TRUE(holdUntil([&] { return GetTickCount64() - since >= 2000; }));  // its two seconds
    EXPECT_TRUE(PumpUntil([&] { return HistoryEntries().front() == "held a while"; }, 10000ms));
    EXPECT_TRUE(closer.seen.empty());

    ASSERT_TRUE(holdUntil([&] { return !closer.seen.empty(); })) << "no box was shown";
    Pump(20ms);
    EXPECT_EQ(closer.seen.at(0).text, L"クリップボードを開くことができません");
    EXPECT_EQ(closer.seen.at(0).title, L"Quillharbor");
    EXPECT_EQ(HistoryEntries(), (std::vector<std::string>{"held a while", "before"}));

    CopyText("after");  // and recording goes on
    EXPECT_EQ(HistoryEntries().front(), "after");
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

std::optional<DWORD> ClipboardDword(UINT format) {
    std::optional<DWORD> value;
    if (!OpenClipboard(ClipboardOwner())) return value;
    if (HANDLE data = GetClipboardData(format))
        value = *static_cast<const DWORD*>(GlobalLock(data)), GlobalUnlock(data);
    CloseClipboard();
    return value;
}

// Under Wine, which stamps a text closed without CF_LOCALE with the user's
// locale (Windows: the input language), sets it for this process; the old one.
LCID SetUserLocale(LCID locale) {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    const auto set = reinterpret_cast<LONG(NTAPI*)(BOOLEAN, LCID)>(
        reinterpret_cast<void (*)()>(GetProcAddress(ntdll, "NtSetDefaultLocale")));
    if (set && GetProcAddress(ntdll, "wine_get_version")) set(TRUE, locale);
    return GetUserDefaultLCID();  // the one the process started with
}

// The put-back names the locale of its bytes, whatever the user's or the
// input language, and a copy kept off clipboard sync stays off it.
TEST_F(Clipboard, AChosenEntryReplacesEveryFormatWithItsTextItsLocaleAndItsCloudMark) {
    const LCID user = SetUserLocale(MAKELCID(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), SORT_DEFAULT));
    Start();
    PutClipboard({{CF_TEXT, std::string("chosen\0", 7)}, {Format("CanUploadToCloudClipboard"), std::string(4, '\0')}});
    PutClipboard({{CF_TEXT, std::string("other\0", 6)}, {Format("Quillharbor test extra"), "x"}});
    for (const std::optional<DWORD> cloudMark : {std::optional<DWORD>(0), std::optional<DWORD>()}) {
        OpenMenu([](HMENU menu) { return ItemsOf(GetSubMenu(menu, 0)).at(1).id; });
        EXPECT_EQ(ClipboardText(), cloudMark ? "chosen" : "other");
        EXPECT_FALSE(IsClipboardFormatAvailable(Format("Quillharbor test extra")));
        EXPECT_EQ(ClipboardDword(Format("CanUploadToCloudClipboard")), cloudMark);
        EXPECT_EQ(ClipboardDword(CF_LOCALE), GetSystemDefaultLCID());
    }
    SetUserLocale(user);
}

}  // namespace
}  // namespace qh::test
