// The tray menu as the user meets it: the real menu built at a click on the
// icon, read back item by item, and the choices made from it.
#include <atomic>
#include <cstdlib>
#include <thread>

#include "shell_test_support.h"

namespace qh::test {
namespace {

using TrayMenu = MainWindowTest;

// Positions of the top-level items.
constexpr int R1 = 0, T1 = 1, O1 = 2, Exit1 = 8;

// The id of the item showing `caption` on a level.
UINT IdOf(HMENU level, const std::wstring& caption) {
    for (const MenuItem& item : ItemsOf(level))
        if (item.text == caption) return item.id;
    ADD_FAILURE() << "no item shows the caption";
    return 0;
}

TEST_F(TrayMenu, ShowsTheFixedItemsAndBothListsWithTheirCaptionsAndKeys) {
    Start({Ansi("挨拶\tこんにちは"), Ansi("住所\t東京都\\r\\n千代田区"), "A\tA\\tB"});
    for (const char* text : {"x\r\ny", "-", "テストA", "hello"}) CopyText(Ansi(text));

    std::vector<std::wstring> top, history, phrases, options;
    std::vector<bool> unfolds;
    OpenMenu([&](HMENU menu) {
        top = Captions(menu);
        for (const MenuItem& item : ItemsOf(menu)) unfolds.push_back(item.submenu != nullptr);
        history = Captions(Submenu(menu, R1));
        phrases = Captions(Submenu(menu, T1));
        options = Captions(Submenu(menu, O1));
        return 0u;
    });

    EXPECT_EQ(top, (std::vector<std::wstring>{L"ｸﾘｯﾌﾟﾎﾞｰﾄﾞ履歴(&C)", L"定型文章(&T)", L"ｵﾌﾟｼｮﾝ(&O)", L"-",
                                              L"設定(&A)...", L"-", L"ﾊﾞｰｼﾞｮﾝ情報(&V)...", L"-",
                                              L"終了(&X)"}));
    EXPECT_EQ(unfolds, (std::vector<bool>{true, true, true, false, false, false, false, false, false}));
    EXPECT_EQ(options, (std::vector<std::wstring>{L"全履歴削除(&A)"}));
    // A lone hyphen is a separator line; a caption keeps its line break.
    EXPECT_EQ(history, (std::vector<std::wstring>{L"&hello", L"テストA(&A)", L"-", L"&x\r\ny"}));
    // Double-byte captions take the last free keys of the set.
    EXPECT_EQ(phrases, (std::vector<std::wstring>{L"挨拶(&Z)", L"住所(&Y)", L"&A"}));
}

TEST_F(TrayMenu, ShowsAtMostTheFirstFiftyBytesOfAnEntryWithoutSplittingACharacter) {
    Start();
    // 49 single bytes, then a double-byte character across the 50-byte limit.
    const std::string text = std::string(49, 'a') + Ansi("漢字");
    CopyText(text);
    std::wstring caption;
    OpenMenu([&](HMENU menu) {
        caption = Captions(Submenu(menu, R1)).at(0);
        return 0u;
    });
    EXPECT_EQ(caption, L"&" + std::wstring(49, L'a'));
}

TEST_F(TrayMenu, ListsWithoutEntriesAreItemsThatDoNothing) {
    Start();
    CopyText("sentinel");
    main->History->Clear();
    bool unfolds = true;
    OpenMenu([&](HMENU menu) {
        unfolds = ItemsOf(menu)[R1].submenu || ItemsOf(menu)[T1].submenu;
        return ItemsOf(menu)[R1].id;
    });
    EXPECT_FALSE(unfolds);
    EXPECT_EQ(ClipboardText(), "sentinel");
    EXPECT_TRUE(HistoryEntries().empty());
    EXPECT_TRUE(main->TrayActive);
}

// Choosing an entry puts its text, unescaped, on the clipboard, and the
// chosen text comes back as the newest history entry.
TEST_F(TrayMenu, ChoosingAnEntryPutsItsTextOnTheClipboard) {
    struct Case {
        const char* what;
        int list;
        const char* caption;  // UTF-8
        std::string clipboard;
    };
    const std::vector<Case> cases = {
        {"third history entry", R1, "&first", "first"},
        {"entry with a line break", R1, "&two\r\nlines", "two\r\nlines"},
        {"entry with a backslash", R1, "&c:\\temp", "c:\\temp"},
        {"phrase with TAB", T1, "&A", "A\tB"},
        {"phrase with line break", T1, "住所(&Z)", Ansi("東京都\r\n千代田区")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EmptyTheClipboard();
        Start({"A\tA\\tB", Ansi("住所\t東京都\\r\\n千代田区")});
        for (const char* text : {"first", "two\r\nlines", "c:\\temp"}) CopyText(text);
        ASSERT_EQ(HistoryEntries().size(), 3u);
        OpenMenu([&](HMENU menu) { return IdOf(Submenu(menu, c.list), win::Widen(c.caption)); });
        EXPECT_EQ(ClipboardText(), c.clipboard);
        EXPECT_EQ(UnescapeText(HistoryEntries().front()), c.clipboard);
        main.reset();
    }
}

TEST_F(TrayMenu, ChoosingGivesTheTextTheEntryShowedEvenIfTheHistoryMovedMeanwhile) {
    Start();
    for (const char* text : {"a", "b", "c"}) CopyText(text);
    OpenMenu([&](HMENU menu) {
        const UINT showingB = IdOf(Submenu(menu, R1), L"&b");
        CopyText("copied while the menu was open");  // "b" moves down one place
        return showingB;
    });
    EXPECT_EQ(ClipboardText(), "b");
    EXPECT_EQ(HistoryEntries().front(), "b");
}

TEST_F(TrayMenu, ClearAllEmptiesTheHistoryUntilTheNextCopy) {
    Start();
    for (const char* text : {"a", "b"}) CopyText(text);
    OpenMenu([](HMENU menu) { return ItemsOf(Submenu(menu, O1)).at(0).id; });
    EXPECT_TRUE(HistoryEntries().empty());
    CopyText("next");
    EXPECT_EQ(HistoryEntries(), (std::vector<std::string>{"next"}));
}

TEST_F(TrayMenu, OpensAtThePointerOnAButtonDownOnlyAndNeverOnceClosingBegan) {
    struct Case {
        const char* what;
        LPARAM mouse;
        bool closeQueued;
        bool opens;
    };
    const std::vector<Case> cases = {
        {"left button down", WM_LBUTTONDOWN, false, true},
        {"right button down", WM_RBUTTONDOWN, false, true},
        {"left button up", WM_LBUTTONUP, false, false},
        {"right button up", WM_RBUTTONUP, false, false},
        {"double click", WM_LBUTTONDBLCLK, false, false},
        {"pointer move", WM_MOUSEMOVE, false, false},
        // The session end's WM_CLOSE was waiting when the click came.
        {"click after a queued close", WM_LBUTTONDOWN, true, false},
    };
    Start();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        int opened = 0;
        pick = [&](HMENU) {
            ++opened;
            return 0u;
        };
        if (c.closeQueued) PostMessageW(main->Handle(), WM_CLOSE, 0, 0);
        SendMessageW(main->Handle(), win::WM_TRAYNOTIFY, win::TrayIconId, c.mouse);
        EXPECT_EQ(opened, c.opens ? 1 : 0);
    }
    // And later clicks stay without a menu.
    int opened = 0;
    pick = [&](HMENU) {
        ++opened;
        return 0u;
    };
    SendMessageW(main->Handle(), win::WM_TRAYNOTIFY, win::TrayIconId, WM_LBUTTONDOWN);
    EXPECT_EQ(opened, 0);
    // It chooses on the release: clear of a little drift (a rectangle Wine does not keep).
    POINT at{};
    GetCursorPos(&at);
    const RECT& clear = shown.params.rcExclude;
    EXPECT_TRUE(shown.at.x == at.x && shown.at.y == at.y && shown.params.cbSize == sizeof(TPMPARAMS));
    // Each edge lies more than two pixels and at most sixteen from the point.
    const auto apart = [](LONG edge, LONG point) { return std::abs(edge - point) > 2 && std::abs(edge - point) <= 16; };
    EXPECT_TRUE(clear.left < at.x && clear.top < at.y && apart(clear.left, at.x) && apart(clear.top, at.y));
    EXPECT_TRUE(clear.right > at.x && clear.bottom > at.y && apart(clear.right, at.x) && apart(clear.bottom, at.y));
}

// The box of a clipboard that stays busy comes from a timer, which the
// menu's own loop also runs: over the menu it would hide the choice.
TEST_F(TrayMenu, ABoxFromATimerWaitsUntilTheMenuHasClosed) {
    Start();
    CopyText("copied");
    std::atomic<bool> held{false}, release{false};
    std::thread holder([&] {
        if (!OpenClipboard(nullptr)) return;
        held = true;
        while (!release) Sleep(5);
        CloseClipboard();
    });
    const bool heldInTime = PumpUntil([&] { return held.load(); });
    BoxCloser closer;
    std::size_t boxesOverTheMenu = 0;
    OpenMenu([&](HMENU) {
        PostMessageW(main->Handle(), WM_CLIPBOARDUPDATE, 0, 0);
        Pump(5500ms);  // the retry gives up after about five seconds
        boxesOverTheMenu = closer.seen.size();
        return 0u;
    });
    const bool boxAfter = PumpUntil([&] { return !closer.seen.empty(); }, 3000ms);
    release = true;
    holder.join();

    ASSERT_TRUE(heldInTime);
    EXPECT_EQ(boxesOverTheMenu, 0u);
    ASSERT_TRUE(boxAfter);
    EXPECT_EQ(closer.seen.at(0).text, L"クリップボードを開くことができません");
}

TEST_F(TrayMenu, ExitWhileADialogIsOpenEndsTheDialogWithCancelAndCloses) {
    Start();
    const HWND dialog = CreateWindowExW(0, L"STATIC", L"dialog", WS_POPUP | WS_CAPTION, 0, 0, 100, 100,
                                        main->Handle(), nullptr, GetModuleHandleW(nullptr), nullptr);
    pick = [](HMENU menu) { return ItemsOf(menu)[Exit1].id; };
    // The icon is clicked while the dialog runs its modal loop.
    PostMessageW(main->Handle(), win::WM_TRAYNOTIFY, win::TrayIconId, WM_LBUTTONDOWN);
    const INT_PTR result = win::RunModal(dialog);
    pick = nullptr;
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_FALSE(main->TrayActive);
    EXPECT_FALSE(IsWindowVisible(dialog));
    DestroyWindow(dialog);
}

// Another program's edit shows at the next opening; a file it holds, or has
// removed, leaves the phrases as they were, without a word.
TEST_F(TrayMenu, PhrasesFollowTheFileUnlessItIsHeldOrGone) {
    Start({"greet\thello"});
    BoxCloser boxes;
    const auto phrases = [&] {
        std::vector<std::wstring> captions;
        OpenMenu([&](HMENU menu) {
            captions = Captions(Submenu(menu, T1));
            return 0u;
        });
        return captions;
    };
    const std::wstring path = folder.PhraseFile().wstring();
    folder.WritePhrases({"greet\thello", "edited\tthere"});
    const std::vector<std::wstring> before{L"&greet"}, after{L"&greet", L"&edited"};
    // Held open without sharing, as an editor may: the read is refused.
    HANDLE held = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(phrases(), before);
    CloseHandle(held);
    EXPECT_EQ(phrases(), after);

    ASSERT_TRUE(DeleteFileW(path.c_str()));
    EXPECT_EQ(phrases(), after);
    EXPECT_TRUE(boxes.seen.empty());

    // The next save writes them. It waits for a scanner holding its new file;
    // what is posted meanwhile waits for the message loop: the session's end
    // and a copy's notice (each message sent is answered after them).
    held = CreateFileW((path + L".tmp").c_str(), GENERIC_READ, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
    std::atomic<bool> done = false;
    std::thread other([&, saver = GetCurrentThreadId()] {
        SendMessageW(main->Handle(), WM_NULL, 0, 0);
        PostThreadMessageW(saver, WM_QUIT, 0, 0);
        SendMessageW(main->Handle(), WM_NULL, 0, 0);
        const HWND owner = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        if (OpenClipboard(owner) && EmptyClipboard()) SetClipboardData(CF_TEXT, BlockOf("copied meanwhile", 17));
        CloseClipboard();
        SendMessageW(main->Handle(), WM_NULL, 0, 0);
        CloseHandle(held);
        done = true;
    });
    main->TypeMsg.Save();
    MSG quit;
    EXPECT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    const std::vector<std::string> copy{"copied meanwhile"};
    EXPECT_TRUE(PumpUntil([&] { return done.load() && HistoryEntries() == copy; }));
    other.join();
    EXPECT_EQ(folder.PhraseFileBytes(), "greet\thello\r\nedited\tthere\r\n");
}

}  // namespace
}  // namespace qh::test
