// The notification-area icon at the scale the shell draws it.
#include "shell_test_support.h"

namespace qh::test {
namespace {

int IconWidth(HICON icon) {
    ICONINFO info{};
    if (!GetIconInfo(icon, &info)) return 0;
    BITMAP bitmap{};
    GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
    if (info.hbmColor) DeleteObject(info.hbmColor);
    if (info.hbmMask) DeleteObject(info.hbmMask);
    return bitmap.bmWidth;
}

TEST_F(MainWindowTest, ShowsTheIconAtTheSmallIconSizeOfEachScaleItHears) {
    int shown = 0;  // the width of the icon last handed to the shell
    main = std::make_unique<win::TFMain>(folder.PhraseFile(), [&](DWORD message, NOTIFYICONDATAA& data) {
        const bool done = Shell_NotifyIconA(message, &data) != FALSE;
        if (done && (data.uFlags & NIF_ICON)) shown = IconWidth(data.hIcon);
        return done;
    });
    EXPECT_EQ(shown, GetSystemMetrics(SM_CXSMICON));
    // The small-icon size Windows gives at each scale.
    const std::pair<int, int> sizes[] = {{144, 24}, {192, 32}, {120, 20}, {96, 16}};
    for (const auto& [dpi, width] : sizes) {
        RECT suggested{};
        SendMessageW(main->Handle(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
        EXPECT_EQ(shown, width) << dpi;
        EXPECT_TRUE(TrayIconPresent(main->Handle()));
    }
}

}  // namespace
}  // namespace qh::test
