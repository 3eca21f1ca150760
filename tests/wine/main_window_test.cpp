// The hidden main window: its presence, the viewer chain, the icon and the
// ways it closes.
#include "shell_test_support.h"

namespace qh::test {
namespace {

using MainWindow = MainWindowTest;

TEST_F(MainWindow, IsAHiddenTopLevelWindowThatOutsidersFindByClassWithItsIconShown) {
    TestViewer earlier;
    Start();
    const HWND hwnd = main->Handle();
    EXPECT_EQ(FindWindowW(L"TFMain", nullptr), hwnd);
    EXPECT_FALSE(IsWindowVisible(hwnd));
    EXPECT_EQ(GetAncestor(hwnd, GA_PARENT), GetDesktopWindow());
    EXPECT_TRUE(main->TrayActive);
    EXPECT_TRUE(TrayIconPresent(hwnd));
    // Joined the chain in front of the viewer that was there.
    EXPECT_EQ(main->NextViewer, earlier.Handle());
}

TEST_F(MainWindow, RecordsEveryCopiedTextNewestFirstAndIgnoresCopiesWithoutText) {
    CopyText("already there");
    Start();
    // The viewer chain greets a new member at once: the current text counts.
    EXPECT_EQ(HistoryEntries(), (std::vector<std::string>{"already there"}));

    CopyText("one");
    CopyText("two\r\nlines");
    CopyText("one");
    EXPECT_EQ(HistoryEntries(), (std::vector<std::string>{"one", "two\\r\\nlines", "already there"}));

    PutClipboard({{Format("Quillharbor test picture"), "not text"}});
    EXPECT_EQ(HistoryEntries().size(), 3u);
}

TEST_F(MainWindow, PassesClipboardChangesOnAndFollowsTheChainWhenItsNeighbourLeaves) {
    TestViewer last;
    TestViewer neighbour;  // in front of `last`
    Start();
    ASSERT_EQ(main->NextViewer, neighbour.Handle());

    CopyText("seen by all");
    EXPECT_EQ(neighbour.drawCount, 1);
    EXPECT_EQ(last.drawCount, 1);

    neighbour.Leave();
    Pump(20ms);
    EXPECT_EQ(main->NextViewer, last.Handle());
    CopyText("after the neighbour left");
    EXPECT_EQ(neighbour.drawCount, 1);
    EXPECT_EQ(last.drawCount, 2);
    EXPECT_EQ(HistoryEntries().front(), "after the neighbour left");
}

TEST_F(MainWindow, ClosesOnceEvenWhenTheExitItemAndAQueuedCloseBothArrive) {
    TestViewer after;
    Start();
    TestViewer ahead;  // joined later: the chain runs ahead -> main -> after
    CopyText("kept until close");
    ASSERT_EQ(main->NextViewer, after.Handle());
    ASSERT_EQ(ahead.next, main->Handle());

    // A session end queues WM_CLOSE while the user picks Exit.
    const HWND hwnd = main->Handle();
    OpenMenu([hwnd](HMENU menu) {
        PostMessageW(hwnd, WM_CLOSE, 0, 0);
        return ItemsOf(menu).back().id;
    });
    Pump(50ms);

    EXPECT_FALSE(main->TrayActive);
    EXPECT_FALSE(main->History.has_value());
    EXPECT_FALSE(TrayIconPresent(main->Handle()));
    // Out of the chain exactly once: the viewer ahead was told to skip the
    // window, and leaving a second time would have sent a stray
    // WM_CHANGECBCHAIN on to the viewer after it.
    EXPECT_EQ(ahead.next, after.Handle());
    EXPECT_EQ(ahead.changeChainCount, 1);
    EXPECT_EQ(after.changeChainCount, 0);
    CopyText("after close");
    EXPECT_EQ(after.drawCount, 2);
    EXPECT_TRUE(IsWindow(main->Handle()));  // the window lives until the object goes
}

// Windows may end the process as soon as WM_ENDSESSION returns, and sends
// WM_ENDSESSION with FALSE when another program cancelled the shutdown.
TEST_F(MainWindow, ClosesWhenTheSessionEndsAndStaysWhenTheShutdownIsCancelled) {
    Start();
    EXPECT_EQ(SendMessageW(main->Handle(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), 1);
    SendMessageW(main->Handle(), WM_ENDSESSION, FALSE, ENDSESSION_LOGOFF);
    Pump(50ms);
    ASSERT_TRUE(main->TrayActive) << "a cancelled shutdown closed the program";
    EXPECT_TRUE(TrayIconPresent(main->Handle()));
    CopyText("after the cancelled shutdown");
    EXPECT_EQ(HistoryEntries().front(), "after the cancelled shutdown");

    EXPECT_EQ(SendMessageW(main->Handle(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), 1);
    SendMessageW(main->Handle(), WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    // Closed before the message returned, nothing left queued.
    EXPECT_FALSE(main->TrayActive);
    EXPECT_FALSE(TrayIconPresent(main->Handle()));
    EXPECT_FALSE(main->History.has_value());
    MSG quit;
    EXPECT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    SendMessageW(main->Handle(), WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    EXPECT_FALSE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "closed twice";
}

TEST_F(MainWindow, AddsTheIconAgainWhenTheTaskbarRestarts) {
    Start();
    NOTIFYICONDATAA gone{};
    gone.cbSize = NOTIFYICONDATAA_V2_SIZE;
    gone.hWnd = main->Handle();
    gone.uID = win::TrayIconId;
    ASSERT_TRUE(Shell_NotifyIconA(NIM_DELETE, &gone));  // as a restarted shell has forgotten it
    ASSERT_FALSE(TrayIconPresent(main->Handle()));

    SendMessageW(main->Handle(), RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    EXPECT_TRUE(TrayIconPresent(main->Handle()));
}

TEST_F(MainWindow, ReadsAnUnreadablePhraseFileThreeTimesAtStartAndSaysSoEachTime) {
    std::filesystem::create_directory(folder.PhraseFile());  // exists, cannot be read
    BoxCloser closer;
    Start();
    ASSERT_EQ(closer.seen.size(), 3u);
    for (const SeenBox& box : closer.seen) {
        EXPECT_EQ(box.text, L"設定の読み込みに失敗しました。");
        EXPECT_EQ(box.title, L"Quillharbor");
        EXPECT_EQ(box.owner, win::AppWindow());
        EXPECT_FALSE(box.stopIcon);
        EXPECT_TRUE(box.appWindowVisible);  // a taskbar button while the box is up
    }
    EXPECT_FALSE(IsWindowVisible(win::AppWindow()));
}

TEST_F(MainWindow, ShowsAFailureThatNoHandlerCaughtAndKeepsRunning) {
    Start();
    BoxCloser closer;
    pick = [](HMENU) -> UINT { throw std::runtime_error("menu broke"); };
    SendMessageW(main->Handle(), win::WM_TRAYNOTIFY, win::TrayIconId, WM_LBUTTONDOWN);
    pick = nullptr;
    ASSERT_EQ(closer.seen.size(), 1u);
    EXPECT_EQ(closer.seen[0].text, L"menu broke.");
    EXPECT_EQ(closer.seen[0].title, L"Quillharbor");
    EXPECT_TRUE(closer.seen[0].stopIcon);

    CopyText("still recording");
    EXPECT_EQ(HistoryEntries().front(), "still recording");
}

}  // namespace
}  // namespace qh::test
