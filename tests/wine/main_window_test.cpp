// The hidden main window: its presence, what it hears of the clipboard, the
// icon and the ways it closes.
#include "shell_test_support.h"

namespace qh::test {
namespace {

using MainWindow = MainWindowTest;

TEST_F(MainWindow, IsAHiddenTopLevelWindowThatOutsidersFindByClassWithItsIconShown) {
    Start();
    const HWND hwnd = main->Handle();
    EXPECT_EQ(FindWindowW(L"TFMain", nullptr), hwnd);
    EXPECT_FALSE(IsWindowVisible(hwnd));
    EXPECT_EQ(GetAncestor(hwnd, GA_PARENT), GetDesktopWindow());
    EXPECT_TRUE(main->TrayActive);
    EXPECT_TRUE(TrayIconPresent(hwnd));
}

TEST_F(MainWindow, RecordsEveryCopiedTextNewestFirstAndIgnoresCopiesWithoutText) {
    CopyText("already there");
    Start();
    // The text on the clipboard at start-up counts as a copy.
    EXPECT_EQ(HistoryEntries(), (std::vector<std::string>{"already there"}));

    CopyText("one");
    CopyText("two\r\nlines");
    CopyText("one");
    EXPECT_EQ(HistoryEntries(), (std::vector<std::string>{"one", "two\\r\\nlines", "already there"}));

    PutClipboard({{Format("Quillharbor test picture"), "not text"}});
    EXPECT_EQ(HistoryEntries().size(), 3u);
}

TEST_F(MainWindow, ClosesOnceEvenWhenTheExitItemAndAQueuedCloseBothArrive) {
    Start();
    CopyText("kept until close");

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

// Made a listener as it is created, the window is refused a second entry,
// as Windows refuses it: the program's own add fails.
HHOOK listenerHook = nullptr;
LRESULT CALLBACK ListenFirst(int code, WPARAM wParam, LPARAM lParam) {
    wchar_t name[16] = {};
    if (code == HCBT_CREATEWND && GetClassNameW(reinterpret_cast<HWND>(wParam), name, 16) &&
        std::wstring(name) == win::MainClassName)
        AddClipboardFormatListener(reinterpret_cast<HWND>(wParam));
    return CallNextHookEx(listenerHook, code, wParam, lParam);
}

TEST_F(MainWindow, SaysOnceThatItCannotHearCopiesAndKeepsItsMenu) {
    listenerHook = SetWindowsHookExW(WH_CBT, ListenFirst, nullptr, GetCurrentThreadId());
    BoxCloser closer;
    Start();
    UnhookWindowsHookEx(listenerHook);
    ASSERT_EQ(closer.seen.size(), 1u);
    EXPECT_EQ(closer.seen[0].text, L"クリップボードの変更を受け取れません。履歴は記録されません。");
    int items = 0;
    OpenMenu([&](HMENU menu) {
        items = GetMenuItemCount(menu);
        return 0u;
    });
    EXPECT_EQ(items, 9);
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
