// The program as its users and neighbours meet it: each test starts a fresh
// Quillharbor.exe from a private folder and ends it again.
#include <gtest/gtest.h>

#include <algorithm>

#include "driver.h"

namespace e2e {
namespace {

using std::chrono::steady_clock;

const std::wstring Title = L"Quillharbor";
const std::wstring BusyMessage = L"クリップボードを開くことができません";

// The submenu "ｸﾘｯﾌﾟﾎﾞｰﾄﾞ履歴(&C)" opens on C with its first entry selected;
// Up from there wraps round to the last, the oldest entry.
const std::vector<WORD> ChooseNewest{'C', VK_RETURN};
const std::vector<WORD> ChooseSecond{'C', VK_DOWN, VK_RETURN};
const std::vector<WORD> ChooseOldest{'C', VK_UP, VK_RETURN};

// The entry that many steps down from the first.
std::vector<WORD> ChooseEntry(int steps) {
    std::vector<WORD> keys{'C'};
    keys.insert(keys.end(), static_cast<std::size_t>(steps), VK_DOWN);
    keys.push_back(VK_RETURN);
    return keys;
}

Millis Since(steady_clock::time_point start) {
    return std::chrono::duration_cast<Millis>(steady_clock::now() - start);
}

// Up to 40 bytes from offset, printable ASCII as is and the rest as hex.
std::string Excerpt(const std::string& bytes, std::size_t offset) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (std::size_t i = offset; i < bytes.size() && i < offset + 40; ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b >= 0x20 && b < 0x7F && b != '\\') {
            out += static_cast<char>(b);
        } else {
            out += "\\x";
            out += hex[b >> 4];
            out += hex[b & 15];
        }
    }
    return out + (bytes.size() > offset + 40 ? "..." : "");
}

// What a choice put on the clipboard against what was copied, reported
// briefly: texts here run to megabytes.
testing::AssertionResult SameBytes(const std::optional<std::string>& chosen, const std::string& expected) {
    if (!chosen) return testing::AssertionFailure() << "the choice put nothing on the clipboard";
    if (*chosen == expected) return testing::AssertionSuccess();
    const std::size_t at = static_cast<std::size_t>(
        std::mismatch(chosen->begin(), chosen->end(), expected.begin(), expected.end()).first - chosen->begin());
    const std::size_t from = at < 10 ? 0 : at - 10;
    return testing::AssertionFailure() << "the clipboard holds " << chosen->size() << " bytes, expected "
                                       << expected.size() << "; they differ from byte " << at << ":\n  got      \""
                                       << Excerpt(*chosen, from) << "\"\n  expected \"" << Excerpt(expected, from)
                                       << "\" (both from byte " << from << ")";
}

// ---- history

TEST(History, ChoosingAnEntryGivesBackTheBytesThatWereCopied) {
    struct Copied {
        const char* what;
        std::string bytes;
        bool terminated = true;
        UINT format = CF_TEXT;
    };
    const std::wstring unicode = L"ユニコードで「コピー」";
    const std::vector<Copied> copies = {
        {"a path", "C:\\temp"},
        {"backslashes before t, r and n", "\\\\server\\table\\rows\\r\\n\\\\t"},
        {"a CR LF", "first line\r\nsecond line"},
        {"a TAB", "name\tvalue"},
        {"a lone CR and a lone LF", "a\rb\nc"},
        {"longer than a menu caption", std::string(120, 'w') + " end"},
        {"Japanese with 0x5C trail bytes", Cp932(L"表示ソース：日本語")},
        {"a block without its closing NUL", "0123456789abcdef0123456789ABCDEF", false},
        {"a 4 KiB block without its closing NUL", std::string(4096, 'n'), false},
        {"Unicode text only", Utf16Bytes(unicode), true, CF_UNICODETEXT},
    };
    Quillharbor app;
    ASSERT_STARTED(app);
    std::vector<std::string> expected;
    for (const Copied& c : copies) {
        CopyOptions options;
        options.format = c.format;
        options.terminated = c.terminated;
        ASSERT_TRUE(app.Copy(c.bytes, options)) << c.what;
        // An unterminated block ends where the block ends. (Wine writes a NUL
        // over its last byte, so there every reader sees one byte less.)
        const std::optional<std::string> seen = ReadText();
        if (c.format == CF_UNICODETEXT) {
            ASSERT_EQ(seen, Cp932(unicode)) << "the system offers Unicode text as CF_TEXT too";
        } else {
            ASSERT_TRUE(seen && seen->size() + 1 >= c.bytes.size() && c.bytes.starts_with(*seen)) << c.what;
            ASSERT_TRUE(!c.terminated || *seen == c.bytes) << c.what;
        }
        expected.push_back(*seen);
    }
    // Choosing the oldest entry makes it the newest, so every round brings
    // back the next copy in the order they were made.
    for (std::size_t i = 0; i < copies.size(); ++i)
        EXPECT_TRUE(SameBytes(app.Choose(ChooseOldest), expected[i])) << copies[i].what;
}

TEST(History, KeepsTheThirtyNewestDistinctTexts) {
    Quillharbor app;
    ASSERT_STARTED(app);
    for (const char* text : {"A", "B", "A"}) ASSERT_TRUE(app.Copy(text));
    EXPECT_EQ(app.Choose(ChooseOldest), "B") << "a text copied again moves to the top instead of a second entry";

    for (int i = 1; i <= 31; ++i) ASSERT_TRUE(app.Copy("copy " + std::to_string(i)));
    EXPECT_EQ(app.Choose(ChooseOldest), "copy 2") << "the 31st copy pushes out the first";
    // Now "copy 2" leads; thirty steps down come back to it only when the
    // submenu holds exactly thirty entries.
    EXPECT_EQ(app.Choose(ChooseEntry(30)), "copy 2");
    EXPECT_EQ(app.Choose(ChooseEntry(29)), "copy 3");
}

TEST(History, ALargeCopyComesBackIntact) {
    // 32 MiB with line breaks, TABs and backslashes, which the history escapes.
    std::string big(std::size_t{32} << 20, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>('!' + (i * 7919) % 90);
    for (std::size_t i = 1000; i + 2 < big.size(); i += 1000) {
        big[i] = '\r';
        big[i + 1] = '\n';
        big[i + 2] = (i / 1000) % 2 ? '\t' : '\\';
    }
    Quillharbor app;
    ASSERT_STARTED(app);
    ASSERT_TRUE(app.Copy(big));
    ASSERT_TRUE(app.Copy("small"));
    EXPECT_TRUE(SameBytes(app.Choose(ChooseSecond, Millis(60000)), big));
}

bool clickTaken = false;
void CALLBACK ClickTaken(HWND, UINT, ULONG_PTR, LRESULT) { clickTaken = true; }

// Texts rendered only when asked (Office, Remote Desktop): a click on the icon,
// sent as the shell sends it, reaches the program while it waits for one; the
// menu opens after the capture, with the copy. One never rendered adds no entry.
TEST(History, ATextRenderedOnRequestIsRecordedOnceRendered) {
    Quillharbor app;
    ASSERT_STARTED(app);
    ASSERT_TRUE(app.Copy("before"));
    CopyOptions copy;
    clickTaken = false;
    copy.whileRendering = [&] {  // slow: done once the program has taken a click on its icon
        SendMessageCallbackW(app.window(), WM_USER + 1, 100, WM_LBUTTONDOWN, ClickTaken, 0);
        WaitUntil([] { return clickTaken; }, Millis(5000));
    };
    Rendered() = false;
    ASSERT_TRUE(PutText("rendered after the click", copy, true));
    ASSERT_TRUE(WaitUntil([] { return Rendered(); }, Millis(10000)));
    EXPECT_TRUE(clickTaken) << "the click was handled inside the wait for the text";
    ASSERT_TRUE(WaitUntil([&] { return !VisiblePopupMenus(app.processId()).empty(); }, Millis(10000)));
    const DWORD before = ClipboardSequence();
    Press(ChooseNewest);
    EXPECT_EQ(app.TakeChoice(before), "rendered after the click");

    copy = {};
    copy.renders = false;
    Rendered() = false;
    ASSERT_TRUE(PutText("never rendered", copy, true));
    for (const char* request : {"asked for", "asked for again"}) {
        EXPECT_TRUE(WaitUntil([] { return Rendered(); }, Millis(10000))) << "the text was not " << request;
        Rendered() = false;
    }
    // Given up without a box: the clipboard was never busy.
    EXPECT_FALSE(WaitUntil([&] { return FindMessageWindow(app.processId(), Title, BusyMessage); }, Millis(6000)));
    EXPECT_EQ(app.Choose(ChooseSecond), "before") << "the text never rendered is an entry";
}

TEST(History, PicturesAndCopiesMarkedPrivateAreNotRecorded) {
    const auto marked = [](const wchar_t* format) {
        CopyOptions options;
        options.extra.push_back({format});
        return options;
    };
    // A 1 x 1 device-independent bitmap and nothing else.
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = header.biHeight = 1;
    header.biPlanes = 1;
    header.biBitCount = 32;
    CopyOptions picture;
    picture.text = false;
    picture.extra.push_back({L"", CF_DIB, std::string(reinterpret_cast<const char*>(&header), sizeof header) +
                                              std::string(4, '\x7f')});
    const struct {
        const char* what;
        CopyOptions copy;
    } copies[] = {
        {"marked ExcludeClipboardContentFromMonitorProcessing", marked(L"ExcludeClipboardContentFromMonitorProcessing")},
        {"marked Clipboard Viewer Ignore", marked(L"Clipboard Viewer Ignore")},
        {"CanIncludeInClipboardHistory holding 0", marked(L"CanIncludeInClipboardHistory")},
        {"a picture", picture},
    };
    Quillharbor app;
    ASSERT_STARTED(app);
    for (const auto& c : copies) {
        const std::string ordinary = std::string("ordinary copy before ") + c.what;
        ASSERT_TRUE(app.Copy(ordinary));
        ASSERT_TRUE(app.Copy("a password", c.copy)) << c.what;
        EXPECT_EQ(app.Choose(ChooseNewest), ordinary) << c.what << " was recorded";
    }
}

TEST(History, ClearingAllEntriesEmptiesTheHistory) {
    Quillharbor app;
    ASSERT_STARTED(app);
    for (const char* text : {"one", "two", "three"}) ASSERT_TRUE(app.Copy(text));
    // "ｵﾌﾟｼｮﾝ(&O)" then "全履歴削除(&A)".
    ASSERT_TRUE(app.Command({'O', 'A'}));
    ASSERT_TRUE(app.Copy("after clearing"));
    EXPECT_EQ(app.Choose(ChooseOldest), "after clearing") << "older entries survived clearing";
}

// ---- menu

// A Japanese entry shows with an appended access key and comes back as the
// same Shift-JIS bytes.
TEST(Menu, JapaneseEntriesShowWithAccessKeysAndComeBack) {
    const std::string japanese = Cp932(L"クリップボードの履歴");
    const std::string mixed = Cp932(L"テストA");
    Quillharbor app;
    ASSERT_STARTED(app);
    for (const std::string& text : {japanese, mixed, std::string("hello")}) ASSERT_TRUE(app.Copy(text));

    // "&hello" takes H, "テストA(&A)" A and the all-Japanese entry the last
    // free key, "(&Z)".
    const DWORD before = ClipboardSequence();
    ASSERT_TRUE(app.OpenMenu());
    RECT menu{};
    GetWindowRect(VisiblePopupMenus(app.processId()).front(), &menu);
    EXPECT_TRUE(menu.left == MenuAnchor.x && menu.top == MenuAnchor.y) << "the menu does not open at the pointer";
    Press({'C'});
    ASSERT_TRUE(WaitUntil([&] { return VisiblePopupMenus(app.processId()).size() == 2; }, Millis(5000)))
        << "the history submenu did not unfold";
    Press({'Z'});
    EXPECT_TRUE(SameBytes(app.TakeChoice(before), japanese));

    const struct {
        WORD key;
        std::string text;
    } keys[] = {{'H', "hello"}, {'A', mixed}, {'Z', japanese}};
    for (const auto& k : keys) EXPECT_TRUE(SameBytes(app.Choose({'C', k.key}), k.text)) << "access key " << char(k.key);
}

TEST(Menu, PhrasesFromThePhraseFileComeBackUnescaped) {
    const std::string phraseFile = "tab\tA\\tB\r\n"
                                   "two lines\tHello\\r\\nWorld\r\n"
                                   "path\tC:\\\\temp\r\n" +
                                   Cp932(L"挨拶\tお世話になっております。\r\n");
    const struct {
        std::vector<WORD> keys;  // "定型文章(&T)" opens on T with its first entry selected
        std::string text;
    } phrases[] = {
        {{'T', VK_RETURN}, "A\tB"},
        {{'T', VK_DOWN, VK_RETURN}, "Hello\r\nWorld"},
        {{'T', VK_DOWN, VK_DOWN, VK_RETURN}, "C:\\temp"},
        {{'T', VK_UP, VK_RETURN}, Cp932(L"お世話になっております。")},
    };
    Quillharbor app(phraseFile);
    ASSERT_STARTED(app);
    for (const auto& p : phrases) {
        EXPECT_TRUE(SameBytes(app.Choose(p.keys), p.text));
        EXPECT_TRUE(SameBytes(app.Choose(ChooseNewest), p.text)) << "a chosen phrase also enters the history";
    }
}

// ---- neighbours

TEST(Clipboard, ABusyClipboardIsReportedWithoutHoldingUpOtherPrograms) {
    Quillharbor app;
    ASSERT_STARTED(app);
    ASSERT_TRUE(app.Copy("before"));

    HeldClipboard held;
    ASSERT_TRUE(held.held());
    // Told of a change as the system tells it.
    PostMessageW(app.window(), WM_CLIPBOARDUPDATE, 0, 0);
    HWND box = nullptr;
    EXPECT_TRUE(WaitUntil([&] { return (box = FindMessageWindow(app.processId(), Title, BusyMessage)) != nullptr; },
                          Millis(10000)))
        << "no information box titled Quillharbor with the busy-clipboard message";
    held.Release();

    // Copies while the box is open are neither held up nor lost.
    const auto start = steady_clock::now();
    EXPECT_TRUE(app.Copy("copied while the box is open"));
    const Millis copying = Since(start);
    EXPECT_LT(copying.count(), 2000) << "copying while the box is open was held up";

    if (box) {
        // Wine takes about 2 s to take a window off the screen.
        PostMessageW(box, WM_CLOSE, 0, 0);
        if (!WaitUntil([&] { return !IsWindow(box); }, Millis(5000))) {
            SetForegroundWindow(box);
            Press({VK_RETURN});
        }
        EXPECT_TRUE(WaitUntil([&] { return !IsWindow(box); }, Millis(5000))) << "the box does not close";
        // Its taskbar presence goes with it.
        EXPECT_TRUE(WaitUntil([&] { return VisibleWindows(app.processId()).empty(); }, Millis(5000)))
            << "a window of the program stays visible after the box closed";
    }
    EXPECT_EQ(app.Choose(ChooseNewest), "copied while the box is open");
    EXPECT_EQ(app.Choose(ChooseSecond), "before") << "the unread change altered the history";
}

TEST(Clipboard, AnOlderClipboardViewerStillHearsOfCopies) {
    ChainedViewer older;  // in the viewer chain, which the program leaves alone
    ASSERT_TRUE(older.joined());
    Quillharbor app;
    ASSERT_STARTED(app);

    int heard = older.drawCount;
    ASSERT_TRUE(app.Copy("heard by both"));
    EXPECT_TRUE(WaitUntil([&] { return older.drawCount > heard; }, Millis(5000)))
        << "the viewer did not hear of the change";
    EXPECT_EQ(app.Choose(ChooseNewest), "heard by both");

    // Once the viewer has left, the program loses no copy, and the window
    // that left hears of none.
    older.Leave();
    ASSERT_TRUE(app.Sync());
    heard = older.drawCount;
    ASSERT_TRUE(app.Copy("after the neighbour left"));
    EXPECT_EQ(app.Choose(ChooseNewest), "after the neighbour left");
    EXPECT_EQ(older.drawCount, heard) << "notifications still reach a viewer that left the chain";
}

// ---- start and end

TEST(Lifetime, ASecondCopyEndsAtOnceAndLeavesTheFirstRunning) {
    Quillharbor app;
    ASSERT_STARTED(app);
    EXPECT_EQ(VisibleWindows(app.processId()), std::vector<HWND>{}) << "a window or message shows at start";
    EXPECT_TRUE(app.IconShown()) << "no tray icon with id 100";

    EXPECT_EQ(RunToExit(app.exePath(), Millis(10000)), 0u) << "the second copy did not end at once with 0";
    EXPECT_EQ(MainWindows(), std::vector<HWND>{app.window()});
    ASSERT_TRUE(app.Copy("still recording"));
    EXPECT_EQ(app.Choose(ChooseNewest), "still recording");
}

TEST(Lifetime, EndsWithExitCodeZeroAndRemovesItsIcon) {
    for (const Ending how : {Ending::ExitItem, Ending::SessionEnd}) {
        const char* name = how == Ending::ExitItem ? "the Exit item" : "the session's end";
        Quillharbor app;
        ASSERT_STARTED(app);
        ASSERT_TRUE(app.IconShown()) << name;
        std::optional<DWORD> code;
        if (how == Ending::SessionEnd) {
            EXPECT_EQ(app.QueryEndSession(), 1) << "the end of the session is refused";
            // A click that reaches the program as the session ends, before or
            // after the notice: whether or not its menu opened, the program ends.
            PostMessageW(app.window(), WM_USER + 1, 100, WM_LBUTTONDOWN);
            EXPECT_TRUE(app.EndSession(true));
            code = app.WaitForExit(Millis(10000));
        } else {
            code = app.End(how);
        }
        ASSERT_TRUE(code) << name << " did not end the program";
        EXPECT_EQ(*code, 0u) << name;
        EXPECT_FALSE(app.IconShown()) << name << " left the tray icon behind";
    }
}

}  // namespace
}  // namespace e2e
