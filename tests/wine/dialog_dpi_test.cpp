// Both dialogs moved to a monitor of another scale: laid out afresh there,
// and back, without losing what the user was doing, every control in a
// live font all the way.
#include <algorithm>
#include <array>
#include <map>
#include <tuple>

#include "dialog_script.h"

namespace qh::win {
namespace {

// The client size, and each control's box in it and its font's height.
struct Layout {
    SIZE client{};
    std::map<int, std::pair<RECT, LONG>> controls;
};

Layout LayoutOf(HWND dialog) {
    Layout layout;
    RECT client;
    GetClientRect(dialog, &client);
    layout.client = {client.right, client.bottom};
    for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        layout.controls[GetDlgCtrlID(c)] = {BoxIn(c, dialog), FontOf(c).lfHeight};
    return layout;
}

// Counts, at every message but the asking itself, the controls of `watched`
// that hold a deleted font: on Windows they draw garbage.
HWND watched;
int deletedFontsSeen;
LRESULT CALLBACK CountDeletedFonts(int code, WPARAM wParam, LPARAM lParam) {
    if (reinterpret_cast<const CWPSTRUCT*>(lParam)->message != WM_GETFONT)
        for (HWND c = GetWindow(watched, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
            const auto font = reinterpret_cast<HGDIOBJ>(SendMessageW(c, WM_GETFONT, 0, 0));
            deletedFontsSeen += font && GetObjectType(font) != OBJ_FONT;  // none: the system font
        }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Sends what Windows sends on reaching a monitor of `dpi`, suggesting the
// client area scaled (as far as this test screen lets a window grow), and
// expects `opened` scaled; labels sized to their text scale their places only.
void ExpectMovedTo(HWND dialog, int dpi, const Layout& opened) {
    SCOPED_TRACE(dpi);
    const auto scaled = [dpi](LONG v) { return MulDiv(v, dpi, ScreenDpi()); };
    const RECT window = ScreenRect(dialog);
    const Layout before = LayoutOf(dialog);
    const LONG width = scaled(opened.client.cx) + window.right - window.left - before.client.cx;
    const LONG height = scaled(opened.client.cy) + window.bottom - window.top - before.client.cy;
    RECT suggested{window.left, window.top, window.left + std::min<LONG>(width, GetSystemMetrics(SM_CXMAXTRACK)),
                   window.top + height};
    watched = dialog, deletedFontsSeen = 0;
    const HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROC, CountDeletedFonts, nullptr, GetCurrentThreadId());
    SendMessageW(dialog, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
    UnhookWindowsHookEx(hook);
    EXPECT_EQ(deletedFontsSeen, 0) << "a control held a deleted font on the way";
    const RECT now = ScreenRect(dialog);
    EXPECT_TRUE(EqualRect(&now, &suggested));
    const Layout after = LayoutOf(dialog);
    if (suggested.right - suggested.left == width) {
        EXPECT_EQ(after.client.cx, scaled(opened.client.cx));
    }
    EXPECT_EQ(after.client.cy, scaled(opened.client.cy));
    for (const auto& [id, control] : opened.controls) {
        const auto& [box, fontHeight] = control;
        const RECT& seen = after.controls.at(id).first;
        const bool sizedToText = (id == IdLabel5 || id == IdLabel6) && dpi != ScreenDpi();
        EXPECT_EQ(seen.left, scaled(box.left)) << id;
        EXPECT_EQ(seen.top, scaled(box.top)) << id;
        if (!sizedToText) {
            EXPECT_EQ(seen.right - seen.left, scaled(box.right - box.left)) << id;
            EXPECT_EQ(seen.bottom - seen.top, scaled(box.bottom - box.top)) << id;
        }
        EXPECT_EQ(after.controls.at(id).second, scaled(fontHeight)) << id;
    }
}

// Another scale, then back to the one the dialog opened at.
std::array<int, 2> Scales() { return {ScreenDpi() == 144 ? 96 : 144, ScreenDpi()}; }

TEST_F(DialogTest, SettingIsLaidOutAfreshAtANewDpiAndKeepsWhatTheUserDid) {
    std::string file;
    for (int i = 0; i < 30; ++i) file += "row" + std::to_string(i) + "\tcontent\r\n";
    WriteFile(file);
    Script script;
    script.WaitFor("dialog", SettingOpen).Do([&] {
        HWND list = Item(IdTypeList), memo = Item(IdMemo);
        const Layout opened = LayoutOf(Setting());
        // Half-way through an edit: a selected row scrolled to, a long text
        // scrolled down with part of it selected and the focus in it.
        SelectRowByKeyboardState(list, 20);
        SendMessageW(list, LVM_ENSUREVISIBLE, 20, FALSE);
        SetWindowTextW(Item(IdCap), L"途中まで");
        std::wstring lines;
        for (int i = 0; i < 40; ++i) lines += L"行" + std::to_wstring(i) + L"\r\n";
        SetWindowTextW(memo, lines.c_str());
        SetFocus(memo);
        SendMessageW(memo, EM_SETSEL, 5, 9);
        SendMessageW(memo, EM_LINESCROLL, 0, 12);
        const auto state = [&] {
            return std::make_tuple(RowCount(list), SelectedRow(list), SendMessageW(list, LVM_GETTOPINDEX, 0, 0),
                                   Text(Item(IdCap)), Text(memo), SendMessageW(memo, EM_GETSEL, 0, 0),
                                   SendMessageW(memo, EM_GETFIRSTVISIBLELINE, 0, 0), GetFocus() == memo);
        };
        const auto before = state();
        ASSERT_GT(std::get<2>(before), 0);
        for (const int dpi : Scales()) {
            ExpectMovedTo(Setting(), dpi, opened);
            EXPECT_EQ(state(), before);
            EXPECT_EQ(SendMessageW(list, LVM_GETCOLUMNWIDTH, 0, 0), MulDiv(150, dpi, 96));
            EXPECT_EQ(SendMessageW(list, LVM_GETCOLUMNWIDTH, 1, 0), MulDiv(400, dpi, 96));
        }
        Press(Item(IDCANCEL));
    });
    EXPECT_EQ(RunSetting(script), IDCANCEL);
}

TEST_F(DialogTest, AboutIsLaidOutAfreshAtANewDpi) {
    Script script;
    script.WaitFor("dialog", [] { return About() != nullptr; }).Do([&] {
        const Layout opened = LayoutOf(About());
        for (const int dpi : Scales()) {
            ExpectMovedTo(About(), dpi, opened);
            EXPECT_EQ(GetFocus(), AboutItem(IDOK));
        }
        Press(AboutItem(IDOK));
    });
    EXPECT_EQ(RunAbout(script), IDOK);
}

// The settings dialog at 144 DPI on 1024x768 outgrows the screen: its title
// bar stays on the work area, in the frame of its own DPI.
TEST(DialogFrame, ADialogLargerThanTheWorkAreaKeepsItsTitleBarOnIt) {
    RECT work, own{0, 0, 100, 100}, twice = own;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const POINT at = CentredOnPrimary(GetSystemMetrics(SM_CXSCREEN) + 40, GetSystemMetrics(SM_CYSCREEN) + 40);
    EXPECT_TRUE(at.x == work.left && at.y == work.top);
    AdjustWindowRectForDpi(own, WS_POPUP | WS_CAPTION, 0, ScreenDpi());
    AdjustWindowRectForDpi(twice, WS_POPUP | WS_CAPTION, 0, 2 * ScreenDpi());
    EXPECT_LT(twice.top, own.top) << "the title bar is as tall as at the screen's DPI";
}

}  // namespace
}  // namespace qh::win
