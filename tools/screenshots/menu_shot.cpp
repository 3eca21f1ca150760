// The tray menu of the real program with the history unfolded, Japanese
// entries shown, as menu.bmp.
#include <gtest/gtest.h>

#include <algorithm>

#include "driver.h"
#include "screen_bmp.h"
#include "shots.h"

namespace e2e {
namespace {

TEST(Screenshot, Menu) {
    Quillharbor app;
    ASSERT_STARTED(app);
    for (const wchar_t* text : {L"クリップボードの履歴", L"テストA", L"hello"}) ASSERT_TRUE(app.Copy(Cp932(text)));
    ASSERT_TRUE(app.OpenMenu());
    Press({'C'});
    ASSERT_TRUE(WaitUntil([&] { return VisiblePopupMenus(app.processId()).size() == 2; }, Millis(5000)))
        << "the history submenu did not unfold";
    app.Sync();
    Sleep(300);  // let both menus finish painting
    RECT area{GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), 0, 0};
    for (HWND menu : VisiblePopupMenus(app.processId())) {
        RECT r;
        GetWindowRect(menu, &r);
        area = {std::min(area.left, r.left), std::min(area.top, r.top), std::max(area.right, r.right),
                std::max(area.bottom, r.bottom)};
    }
    area = {std::max(0L, area.left - 16), std::max(0L, area.top - 16),
            std::min<LONG>(GetSystemMetrics(SM_CXSCREEN), area.right + 16),
            std::min<LONG>(GetSystemMetrics(SM_CYSCREEN), area.bottom + 16)};
    EXPECT_TRUE(qh::shots::SaveScreenBmp(qh::shots::Folder() + L"\\menu.bmp", area));
    app.CloseMenus();
}

}  // namespace
}  // namespace e2e
