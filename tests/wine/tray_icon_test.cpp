// The notification-area icon at the scale the shell draws it.
#include "shell_test_support.h"

namespace qh::test {
namespace {

TEST_F(MainWindowTest, ShowsTheIconAtTheSmallIconSizeOfEachScaleItHears) {
    LONG shown = 0;  // the width of the icon last handed to the shell
    main = std::make_unique<win::TFMain>(folder.PhraseFile(), [&](DWORD message, NOTIFYICONDATAA& data) {
        ICONINFO info{};
        BITMAP bitmap{};
        if ((data.uFlags & NIF_ICON) && GetIconInfo(data.hIcon, &info)) {
            GetObjectW(info.hbmColor, sizeof bitmap, &bitmap);
            DeleteObject(info.hbmColor);
            DeleteObject(info.hbmMask);
            shown = bitmap.bmWidth;
        }
        return Shell_NotifyIconA(message, &data) != FALSE;
    });
    EXPECT_EQ(shown, GetSystemMetrics(SM_CXSMICON));
    // Windows' small-icon size at each scale.
    for (const auto& [dpi, width] : {std::pair{144, 24}, {192, 32}, {120, 20}, {96, 16}}) {
        RECT suggested{};
        SendMessageW(main->Handle(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
        EXPECT_EQ(shown, width) << dpi;
        EXPECT_TRUE(TrayIconPresent(main->Handle()));
    }
}

}  // namespace
}  // namespace qh::test
