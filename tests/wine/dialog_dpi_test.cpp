// Both dialogs moved to a monitor of another scale: laid out afresh at the
// new DPI, and back, without losing what the user was doing.
#include <algorithm>
#include <map>
#include <vector>

#include "dialog_script.h"

namespace qh::win {
namespace {

// What a dialog looks like: the window's place, the client size, and each
// control's box and font height.
struct Look {
    RECT window{};
    SIZE client{};
    std::map<int, std::pair<RECT, LONG>> controls;
};

Look LookOf(HWND dialog) {
    Look look;
    look.window = ScreenRect(dialog);
    RECT client;
    GetClientRect(dialog, &client);
    look.client = {client.right, client.bottom};
    for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        look.controls[GetDlgCtrlID(c)] = {BoxIn(c, dialog), FontOf(c).lfHeight};
    return look;
}

// The look at the screen's DPI with every box and font scaled; the About
// box's labels size to their text, so only their places scale.
void ExpectScaled(const Look& opened, const Look& now, int dpi) {
    const auto scaled = [dpi](LONG v) { return MulDiv(v, dpi, ScreenDpi()); };
    for (const auto& [id, control] : opened.controls) {
        SCOPED_TRACE(id);
        const auto& [box, height] = control;
        const RECT& seen = now.controls.at(id).first;
        EXPECT_EQ(seen.left, scaled(box.left));
        EXPECT_EQ(seen.top, scaled(box.top));
        if (id != IdLabel5 && id != IdLabel6) {
            EXPECT_EQ(seen.right - seen.left, scaled(box.right - box.left));
            EXPECT_EQ(seen.bottom - seen.top, scaled(box.bottom - box.top));
        }
        EXPECT_EQ(now.controls.at(id).second, scaled(height));
    }
}

void ExpectSame(const Look& before, const Look& after) {
    EXPECT_TRUE(EqualRect(&before.window, &after.window));
    EXPECT_EQ(before.client.cx, after.client.cx);
    EXPECT_EQ(before.client.cy, after.client.cy);
    for (const auto& [id, control] : before.controls) {
        SCOPED_TRACE(id);
        EXPECT_TRUE(EqualRect(&control.first, &after.controls.at(id).first));
        EXPECT_EQ(control.second, after.controls.at(id).second);
    }
}

// Another scale, then back to the one the dialog opened at.
std::vector<int> Scales() { return {ScreenDpi() == 144 ? 96 : 144, ScreenDpi()}; }

// Sends what Windows sends when the dialog reaches a monitor of `dpi`.
void MoveToDpi(HWND dialog, int dpi, RECT suggested) {
    SendMessageW(dialog, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
}

TEST_F(DialogTest, SettingIsLaidOutAfreshAtANewDpiAndKeepsWhatTheUserDid) {
    std::string file;
    for (int i = 0; i < 30; ++i) file += "row" + std::to_string(i) + "\tcontent\r\n";
    WriteFile(file);
    Look opened;
    Script script;
    script.WaitFor("dialog", SettingOpen).Do([&] {
        HWND list = Item(IdTypeList), memo = Item(IdMemo);
        opened = LookOf(Setting());
        // Half-way through an edit: a selected row scrolled into view, a
        // long content scrolled down, part of it selected, the focus in it.
        SelectRowByKeyboardState(list, 20);
        SendMessageW(list, LVM_ENSUREVISIBLE, 20, FALSE);
        SetWindowTextW(Item(IdCap), L"途中まで");
        std::wstring lines;
        for (int i = 0; i < 40; ++i) lines += L"行" + std::to_wstring(i) + L"\r\n";
        SetWindowTextW(memo, lines.c_str());
        SetFocus(memo);
        SendMessageW(memo, EM_SETSEL, 5, 9);
        SendMessageW(memo, EM_LINESCROLL, 0, 12);
        const int topRow = static_cast<int>(SendMessageW(list, LVM_GETTOPINDEX, 0, 0));
        ASSERT_GT(topRow, 0);

        for (const int dpi : Scales()) {
            SCOPED_TRACE(dpi);
            const RECT& w = opened.window;
            const RECT suggested{w.left, w.top, w.left + MulDiv(w.right - w.left, dpi, ScreenDpi()),
                                 w.top + MulDiv(w.bottom - w.top, dpi, ScreenDpi())};
            MoveToDpi(Setting(), dpi, suggested);
            const Look now = LookOf(Setting());
            // Taken as suggested, as far as the system lets a window grow
            // beyond this test screen.
            EXPECT_EQ(now.window.left, suggested.left);
            EXPECT_EQ(now.window.top, suggested.top);
            EXPECT_EQ(now.window.right - now.window.left,
                      std::min<LONG>(suggested.right - suggested.left, GetSystemMetrics(SM_CXMAXTRACK)));
            EXPECT_EQ(now.window.bottom - now.window.top,
                      std::min<LONG>(suggested.bottom - suggested.top, GetSystemMetrics(SM_CYMAXTRACK)));
            if (dpi == ScreenDpi()) ExpectSame(opened, now);
            else ExpectScaled(opened, now, dpi);
            EXPECT_EQ(SendMessageW(list, LVM_GETCOLUMNWIDTH, 0, 0), MulDiv(150, dpi, 96));
            EXPECT_EQ(SendMessageW(list, LVM_GETCOLUMNWIDTH, 1, 0), MulDiv(400, dpi, 96));

            EXPECT_EQ(RowCount(list), 30);
            EXPECT_EQ(SelectedRow(list), 20);
            EXPECT_EQ(SendMessageW(list, LVM_GETTOPINDEX, 0, 0), topRow);
            EXPECT_EQ(Text(Item(IdCap)), L"途中まで");
            EXPECT_EQ(Text(memo), lines);
            DWORD start = 0, end = 0;
            SendMessageW(memo, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
            EXPECT_EQ(start, 5u);
            EXPECT_EQ(end, 9u);
            EXPECT_EQ(SendMessageW(memo, EM_GETFIRSTVISIBLELINE, 0, 0), 12);
            EXPECT_EQ(GetFocus(), memo);
        }
        Press(Item(IDCANCEL));
    });
    EXPECT_EQ(RunSetting(script), IDCANCEL);
}

TEST_F(DialogTest, AboutIsLaidOutAfreshAtANewDpi) {
    Script script;
    script.WaitFor("dialog", [] { return About() != nullptr; }).Do([&] {
        const Look opened = LookOf(About());
        const LONG frameWidth = opened.window.right - opened.window.left - opened.client.cx;
        const LONG frameHeight = opened.window.bottom - opened.window.top - opened.client.cy;
        for (const int dpi : Scales()) {
            SCOPED_TRACE(dpi);
            // The client area scales; the frame is the system's.
            const RECT& w = opened.window;
            const RECT suggested{w.left, w.top, w.left + MulDiv(474, dpi, 96) + frameWidth,
                                 w.top + MulDiv(212, dpi, 96) + frameHeight};
            MoveToDpi(About(), dpi, suggested);
            const Look now = LookOf(About());
            EXPECT_EQ(now.client.cx, MulDiv(474, dpi, 96));
            EXPECT_EQ(now.client.cy, MulDiv(212, dpi, 96));
            if (dpi == ScreenDpi()) ExpectSame(opened, now);
            else ExpectScaled(opened, now, dpi);
            EXPECT_EQ(GetFocus(), AboutItem(IDOK));
        }
        Press(AboutItem(IDOK));
    });
    EXPECT_EQ(RunAbout(script), IDOK);
}

}  // namespace
}  // namespace qh::win
