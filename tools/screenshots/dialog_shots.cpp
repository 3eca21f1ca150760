// The two dialogs, "設定" with a few phrases and "バージョン情報", as
// setting.bmp and about.bmp, each opened in-process and photographed once it
// has drawn itself.
#include "dialog_script.h"
#include "screen_bmp.h"
#include "shots.h"

namespace qh::win {
namespace {

// Draws the window at once and saves it.
std::function<bool()> Photograph(const wchar_t* name, const std::function<HWND()>& window) {
    return [=] {
        HWND w = window();
        RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_FRAME);
        GdiFlush();
        EXPECT_TRUE(shots::SaveScreenBmp(shots::Folder() + L"\\" + name, ScreenRect(w))) << name;
        return true;
    };
}

using DialogScreenshot = DialogTest;

TEST_F(DialogScreenshot, SettingAndAbout) {
    const std::wstring phrases[][2] = {
        {L"挨拶", L"いつもお世話になっております。\\r\\nクイルハーバーの山田です。"},
        {L"署名", L"山田 太郎\\r\\nyamada@example.jp"},
        {L"住所", L"〒100-0001 東京都千代田区1-1"},
        {L"お礼", L"ありがとうございました。"},
    };
    std::string file;
    for (const auto& [caption, content] : phrases) file += ToAnsi(caption) + "\t" + ToAnsi(content) + "\r\n";
    // Characters whose second Shift-JIS byte is a backslash show without a stray one.
    file += ToAnsi(L"申請") + "\t" + EscapePhraseText(ToAnsi(L"ソフトウェア申請書を表示します。")) + "\r\n";
    WriteFile(file);

    Script setting;
    setting.WaitFor("dialog", SettingOpen)
        .Do([] { PostRowClick(Item(IdTypeList), 0); })
        .Settle()
        .WaitFor("picture", Photograph(L"setting.bmp", Setting))
        .Do([] { Press(Item(IDCANCEL)); });
    EXPECT_EQ(RunSetting(setting), IDCANCEL);

    Script about;
    about.WaitFor("dialog", [] { return About() != nullptr; })
        .Settle()
        .WaitFor("picture", Photograph(L"about.bmp", About))
        .Do([] { Press(AboutItem(IDOK)); });
    EXPECT_EQ(RunAbout(about), IDOK);
}

}  // namespace
}  // namespace qh::win
