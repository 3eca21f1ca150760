// The About dialog "バージョン情報": its form, its keys and its links.
#include <fstream>

#include "dialog_script.h"

namespace qh::win {
namespace {

TEST_F(DialogTest, AboutLayoutMatchesTheFormAt96Dpi) {
    if (ScreenDpi() != 96) GTEST_SKIP() << "the form's pixels are given at 96 DPI";
    Script script;
    script.WaitFor("dialog", [] { return About() != nullptr; }).Do([&] {
        HWND dialog = About();
        EXPECT_EQ(Text(dialog), L"バージョン情報");
        EXPECT_EQ(GetWindow(dialog, GW_OWNER), owner_);
        RECT client;
        GetClientRect(dialog, &client);
        EXPECT_EQ(client.right, 474);
        EXPECT_EQ(client.bottom, 212);
        const RECT outer = ScreenRect(dialog);
        EXPECT_EQ(outer.left, (GetSystemMetrics(SM_CXSCREEN) - (outer.right - outer.left)) / 2);
        EXPECT_EQ(outer.top, (GetSystemMetrics(SM_CYSCREEN) - (outer.bottom - outer.top)) / 2);
        EXPECT_EQ(Style(dialog) & WS_CAPTION, WS_CAPTION);
        EXPECT_FALSE(Style(dialog) & (WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
        EXPECT_TRUE(ExStyle(dialog) & WS_EX_TOPMOST);

        const Placement boxes[] = {
            {"GroupBox1", IdGroupBox1, 4, 0, 465, 81},   {"MainTitle", IdMainTitle, 12, 11, 449, 35},
            {"Ver", IdVer, 156, 54, 161, 13},            {"GroupBox2", IdGroupBox2, 4, 84, 465, 57},
            {"Label5", IdLabel5, 20, 100, 0, 0},         {"Label6", IdLabel6, 44, 116, 0, 0},
            {"Edit1", IdEdit1, 92, 100, 173, 18},        {"Edit2", IdEdit2, 92, 116, 233, 18},
            {"notice 1", IdNotice1, 4, 148, 465, 15},    {"notice 2", IdNotice2, 4, 160, 465, 15},
            {"Button1", IDOK, 196, 180, 81, 25},
        };
        for (const auto& p : boxes) ExpectPlacement(AboutItem(p.id), BoxIn(AboutItem(p.id), dialog), p);

        EXPECT_EQ(Text(AboutItem(IdMainTitle)), L"Ｑｕｉｌｌｈａｒｂｏｒ");
        EXPECT_EQ(Text(AboutItem(IdVer)), L"Ｖｅｒ １．１０");
        EXPECT_EQ(Text(AboutItem(IdLabel5)), L"E-Mail :");
        EXPECT_EQ(Text(AboutItem(IdLabel6)), L"URL :");
        EXPECT_EQ(Ansi(AboutItem(IdEdit1)), SupportMailAddress);
        EXPECT_EQ(Ansi(AboutItem(IdEdit2)), SupportWebAddress);
        EXPECT_FALSE(Text(AboutItem(IdNotice1)).empty());
        EXPECT_FALSE(Text(AboutItem(IdNotice2)).empty());
        EXPECT_EQ(Text(AboutItem(IDOK)), L"Ｏ　Ｋ");
        EXPECT_TRUE(Style(AboutItem(IDOK)) & BS_DEFPUSHBUTTON);
        EXPECT_TRUE(Style(AboutItem(IdMainTitle)) & SS_CENTER);
        EXPECT_TRUE(Style(AboutItem(IdNotice1)) & SS_RIGHT);

        struct Look {
            int id;
            const wchar_t* face;
            int height;
            bool bold, italic;
            COLORREF color;
        };
        const Look looks[] = {
            {IdMainTitle, L"ＭＳ 明朝", -35, true, true, RGB(255, 0, 0)},
            {IdVer, L"ＭＳ 明朝", -13, true, true, RGB(0, 0, 0)},
            {IdLabel5, L"ＭＳ ゴシック", -13, true, false, GetSysColor(COLOR_WINDOWTEXT)},
            {IdEdit1, nullptr, 0, true, false, RGB(0, 0, 255)},
            {IdEdit2, nullptr, 0, true, false, RGB(0, 0, 255)},
            {IdNotice1, L"ＭＳ 明朝", -11, true, true, RGB(0, 0, 255)},
        };
        HDC dc = CreateCompatibleDC(nullptr);
        for (const Look& look : looks) {
            SCOPED_TRACE(look.id);
            const LOGFONTW font = FontOf(AboutItem(look.id));
            if (look.face) {
                EXPECT_STREQ(font.lfFaceName, look.face);
            }
            if (look.height) {
                EXPECT_EQ(font.lfHeight, look.height);
            }
            EXPECT_EQ(font.lfWeight >= FW_BOLD, look.bold);
            EXPECT_EQ(font.lfItalic != 0, look.italic);
            SendMessageW(dialog, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                         reinterpret_cast<LPARAM>(AboutItem(look.id)));
            EXPECT_EQ(GetTextColor(dc), look.color);
        }
        DeleteDC(dc);

        for (int id : {IdEdit1, IdEdit2}) {
            HWND link = AboutItem(id);
            EXPECT_TRUE(Style(link) & ES_READONLY);
            EXPECT_FALSE(Style(link) & (WS_TABSTOP | WS_BORDER));
            EXPECT_FALSE(ExStyle(link) & WS_EX_CLIENTEDGE);
            SendMessageW(link, WM_SETCURSOR, reinterpret_cast<WPARAM>(link), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
            EXPECT_EQ(GetCursor(), LoadCursorA(nullptr, IDC_HAND));
            // The whole address shows.
            HDC linkDc = GetDC(link);
            const HGDIOBJ old = SelectObject(linkDc, reinterpret_cast<HFONT>(SendMessageW(link, WM_GETFONT, 0, 0)));
            const std::wstring address = Text(link);
            SIZE extent{};
            GetTextExtentPoint32W(linkDc, address.c_str(), static_cast<int>(address.size()), &extent);
            SelectObject(linkDc, old);
            ReleaseDC(link, linkDc);
            RECT field;
            GetClientRect(link, &field);
            const auto margins = static_cast<DWORD>(SendMessageW(link, EM_GETMARGINS, 0, 0));
            EXPECT_LE(extent.cx, field.right - LOWORD(margins) - HIWORD(margins)) << id;
        }
        Press(AboutItem(IDOK));
    });
    EXPECT_EQ(RunAbout(script), IDOK);
}

TEST_F(DialogTest, AboutClosesOnEnterButNotOnEsc) {
    Script script;
    script.WaitFor("dialog", [] { return About() != nullptr; })
        .Do([] {
            EXPECT_EQ(GetFocus(), AboutItem(IDOK));
            PostKey(GetFocus(), VK_ESCAPE);
            PostMessageW(About(), WM_CLOSE, 0, 0);
            PostClick(AboutItem(IdMainTitle), {5, 5});
        })
        .Settle()
        .Do([] {
            EXPECT_TRUE(About());
            PostKey(GetFocus(), VK_RETURN);
        });
    EXPECT_EQ(RunAbout(script), IDOK);
}

TEST_F(DialogTest, AboutReportsALinkThatCannotBeOpenedAndStaysOpen) {
    std::vector<std::wstring> seen;
    Script script;
    script.WaitFor("dialog", [] { return About() != nullptr; })
        .Do([] {
            // A scheme no program is registered for.
            SetWindowTextW(AboutItem(IdEdit2), L"quillharbor-test-unregistered:nothing");
            PostClick(AboutItem(IdEdit2), {5, 5});
        })
        .WaitFor("the failure message", [&] {
            // The shell may first show a message of its own.
            for (HWND box : MessageBoxes()) {
                seen.push_back(BoxText(box));
                HWND ok = GetDlgItem(box, IDOK);
                if (ok) Press(ok);
                else PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
                if (seen.back() == Widen(LaunchFailedMessage)) return true;
            }
            return false;
        })
        .Settle()
        .Do([] {
            EXPECT_TRUE(About() && IsWindowEnabled(About()));
            EXPECT_TRUE(MessageBoxes().empty());
            Press(AboutItem(IDOK));
        });
    EXPECT_EQ(RunAbout(script), IDOK);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back(), Widen(LaunchFailedMessage));
}

// Replaces the command of a class's open verb for one scope (the system's
// classes: Wine reads no per-user ones).
class OpenCommandOverride {
public:
    OpenCommandOverride(const std::wstring& scheme, const std::wstring& command)
        : key_(scheme + L"\\shell\\open\\command") {
        wchar_t old[1024] = {};
        DWORD size = sizeof old;
        had_ = RegGetValueW(HKEY_CLASSES_ROOT, key_.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, old, &size) ==
               ERROR_SUCCESS;
        old_ = old;
        Set(command);
    }
    ~OpenCommandOverride() {
        if (had_) Set(old_);
        else RegDeleteKeyValueW(HKEY_CLASSES_ROOT, key_.c_str(), nullptr);
    }
    OpenCommandOverride(const OpenCommandOverride&) = delete;
    OpenCommandOverride& operator=(const OpenCommandOverride&) = delete;

private:
    void Set(const std::wstring& command) {
        EXPECT_EQ(RegSetKeyValueW(HKEY_CLASSES_ROOT, key_.c_str(), nullptr, REG_SZ, command.c_str(),
                                  static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t))),
                  ERROR_SUCCESS);
    }
    std::wstring key_, old_;
    bool had_ = false;
};

// The shell is asked to open "mailto:" and the address, or the web address:
// a handler of the test's own for the scheme writes down what it got.
TEST_F(DialogTest, AboutOpensItsLinksThroughTheShell) {
    struct Link {
        int id;
        const wchar_t* scheme;
        std::string target;
    };
    const Link links[] = {{IdEdit1, L"mailto", std::string("mailto:") + SupportMailAddress},
                          {IdEdit2, L"https", SupportWebAddress}};
    for (const Link& link : links) {
        SCOPED_TRACE(link.target);
        const fs::path received = dir_ / "received.txt";
        fs::remove(received);
        OpenCommandOverride handler(link.scheme, L"cmd.exe /c echo %1>\"" + received.wstring() + L"\"");
        Script script;
        script.WaitFor("dialog", [] { return About() != nullptr; })
            .Do([id = link.id] { PostClick(AboutItem(id), {5, 5}); })
            .WaitFor("the handler", [&] {
                std::ifstream in(received);
                std::string line;
                return std::getline(in, line) && !Trim(line).empty();
            })
            .Do([] {
                EXPECT_TRUE(MessageBoxes().empty());
                EXPECT_TRUE(About());
                Press(AboutItem(IDOK));
            });
        EXPECT_EQ(RunAbout(script), IDOK);
        std::ifstream in(received);
        std::string line;
        std::getline(in, line);
        EXPECT_EQ(Trim(line), link.target);
    }
}

}  // namespace
}  // namespace qh::win
