// The application window's taskbar presence, the modal loop that the
// dialogs run in, and the start-up's hardening.
#include "shell_test_support.h"

namespace qh::test {
namespace {

class Modal : public ::testing::Test {
protected:
    void SetUp() override { win::InitializeApplication(); }
    void TearDown() override {
        for (HWND w : windows_) DestroyWindow(w);
        Pump(20ms);
    }

    // A visible top-level window, as an open dialog of ours would be.
    HWND NewWindow(const wchar_t* title, HWND owner = nullptr) {
        HWND w = CreateWindowExW(0, L"STATIC", title, WS_POPUP | WS_CAPTION, 0, 0, 120, 80, owner, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
        windows_.push_back(w);
        return w;
    }

    // Runs `step` from inside the modal loop that is running then.
    static void Later(std::function<void()> step) {
        steps_.push_back(std::move(step));
        SetTimer(nullptr, 0, 10, RunStep);
    }
    static void CALLBACK RunStep(HWND, UINT, UINT_PTR id, DWORD) {
        KillTimer(nullptr, id);
        if (steps_.empty()) return;
        auto step = std::move(steps_.front());
        steps_.erase(steps_.begin());
        step();
    }

    std::vector<HWND> windows_;
    static inline std::vector<std::function<void()>> steps_;
};

TEST_F(Modal, TheApplicationWindowHasATaskbarButtonExactlyWhileSomethingModalIsOpen) {
    const HWND app = win::AppWindow();
    wchar_t title[64] = {};
    GetWindowTextW(app, title, 64);
    EXPECT_EQ(std::wstring(title), L"Quillharbor");
    EXPECT_EQ(GetWindow(app, GW_OWNER), nullptr);
    EXPECT_FALSE(IsWindowVisible(app));
    {
        win::ModalScope outer;
        EXPECT_TRUE(IsWindowVisible(app));
        EXPECT_NE(GetForegroundWindow(), app);  // shown without taking the focus
        {
            win::ModalScope inner;
            EXPECT_TRUE(IsWindowVisible(app));
        }
        EXPECT_TRUE(IsWindowVisible(app));
    }
    EXPECT_FALSE(IsWindowVisible(app));
}

TEST_F(Modal, ADialogDisablesTheOtherWindowsUntilItEndsWithItsResult) {
    const HWND other = NewWindow(L"other");
    ShowWindow(other, SW_SHOWNOACTIVATE);
    const HWND hiddenMain = NewWindow(L"hidden main");
    const HWND dialog = NewWindow(L"dialog");
    bool otherEnabled = true, hiddenEnabled = false, appVisible = false, dialogVisible = false;
    Later([&] {
        otherEnabled = IsWindowEnabled(other);
        hiddenEnabled = IsWindowEnabled(hiddenMain);
        appVisible = IsWindowVisible(win::AppWindow());
        dialogVisible = IsWindowVisible(dialog);
        win::EndModal(dialog, IDOK);
    });
    EXPECT_EQ(win::RunModal(dialog), IDOK);
    EXPECT_FALSE(otherEnabled);
    EXPECT_TRUE(hiddenEnabled);  // the tray menu still opens
    EXPECT_TRUE(appVisible);
    EXPECT_TRUE(dialogVisible);
    EXPECT_TRUE(IsWindowEnabled(other));
    EXPECT_FALSE(IsWindowVisible(dialog));
    EXPECT_FALSE(IsWindowVisible(win::AppWindow()));
}

TEST_F(Modal, ASecondDialogKeepsTheFirstDisabledAndClosingAllCancelsBoth) {
    const HWND first = NewWindow(L"first");
    const HWND second = NewWindow(L"second");
    INT_PTR secondResult = 0;
    bool firstEnabledDuringSecond = true;
    Later([&] {
        Later([&] {
            firstEnabledDuringSecond = IsWindowEnabled(first);
            win::CloseOpenDialogs();
        });
        secondResult = win::RunModal(second);
    });
    EXPECT_EQ(win::RunModal(first), IDCANCEL);
    EXPECT_EQ(secondResult, IDCANCEL);
    EXPECT_FALSE(firstEnabledDuringSecond);
    EXPECT_TRUE(IsWindowEnabled(first));
}

TEST_F(Modal, AQuitThatArrivesDuringADialogEndsItAndReachesTheOuterLoop) {
    const HWND dialog = NewWindow(L"dialog");
    Later([] { PostQuitMessage(7); });
    win::RunModal(dialog);
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 7u);
}

// As in a download folder: the build puts a DLL beside the test program.
TEST(Hardening, AfterStartUpADllBesideTheProgramIsNotLoadedByName) {
    win::HardenProcess();
    EXPECT_EQ(LoadLibraryW(L"qh_planted.dll"), nullptr);
    EXPECT_NE(LoadLibraryExW(L"qh_planted.dll", nullptr, LOAD_LIBRARY_SEARCH_APPLICATION_DIR), nullptr);
}

}  // namespace
}  // namespace qh::test
