// The two dialogs as real windows under their real modal loop: each test
// opens a dialog and drives it from a thread timer that fires inside that
// loop, as a user would, then checks what the dialog did to the store and
// the phrase file.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "Setting.h"
#include "Version.h"
#include "model.h"
#include "platform.h"
#include "setting_rules.h"

namespace qh::win {
namespace {

namespace fs = std::filesystem;
using namespace std::literals;

// ---- driving a modal dialog from inside its own message loop

// Steps run one per timer tick, so the messages an action posts are handled
// before the next step looks. An action may open a nested modal loop (a
// message box); the ticks go on inside it and the next steps answer it.
class Script {
public:
    Script& Do(std::function<void()> action) {
        steps_.push_back({"action", std::move(action), {}});
        return *this;
    }
    Script& WaitFor(std::string what, std::function<bool()> condition) {
        steps_.push_back({std::move(what), {}, std::move(condition)});
        return *this;
    }
    // A few idle ticks: lets posted input be handled before the next look.
    Script& Settle() {
        for (int i = 0; i < 3; ++i) Do([] {});
        return *this;
    }

    // Runs `modal` (which shows a dialog modally) with the steps driving it.
    INT_PTR Run(const std::function<INT_PTR()>& modal) {
        active_ = this;
        const UINT_PTR timer = SetTimer(nullptr, 0, 15, Tick);
        const INT_PTR result = modal();
        KillTimer(nullptr, timer);
        active_ = nullptr;
        EXPECT_EQ(next_, steps_.size()) << "the dialog closed before the script ended";
        return result;
    }

private:
    struct Step {
        std::string what;
        std::function<void()> action;
        std::function<bool()> condition;
    };

    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
        if (Script* self = active_) self->Next();
    }

    void Next();

    std::vector<Step> steps_;
    std::size_t next_ = 0;
    int ticks_ = 0;
    static inline Script* active_ = nullptr;
};

struct WindowSearch {
    const wchar_t* className;
    bool visibleOnly;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND w, LPARAM p) {
    auto* s = reinterpret_cast<WindowSearch*>(p);
    wchar_t cls[64] = {};
    GetClassNameW(w, cls, 64);
    if (_wcsicmp(cls, s->className) == 0 && (!s->visibleOnly || IsWindowVisible(w))) s->found.push_back(w);
    return TRUE;
}

std::vector<HWND> ThreadWindows(const wchar_t* className, bool visibleOnly = true) {
    WindowSearch search{className, visibleOnly, {}};
    EnumThreadWindows(GetCurrentThreadId(), CollectWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::vector<HWND> MessageBoxes() { return ThreadWindows(L"#32770"); }

std::wstring Text(HWND w) { return WindowText(w); }

// The texts a message box shows, its buttons' captions left out.
std::wstring BoxText(HWND box) {
    std::wstring text;
    for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        wchar_t cls[32] = {};
        GetClassNameW(c, cls, 32);
        if (_wcsicmp(cls, L"Static") == 0) text += Text(c);
    }
    return text;
}

void Script::Next() {
    if (next_ >= steps_.size()) return;
    if (++ticks_ > 1500) {  // about 20 s: give up rather than hang the run
        ADD_FAILURE() << "stuck at step " << next_ << ": " << steps_[next_].what;
        next_ = steps_.size();
        for (HWND box : MessageBoxes()) PostMessageW(box, WM_CLOSE, 0, 0);
        CloseOpenDialogs();
        return;
    }
    Step step = steps_[next_];
    if (step.condition) {
        if (step.condition()) ++next_;
        return;
    }
    ++next_;  // before acting: the action may run a nested loop that ticks on
    step.action();
}

// Presses a button of a message box, once it shows the expected text.
std::function<bool()> AnswerBox(std::wstring expectedTitle, std::wstring expectedText, int button) {
    return [=] {
        const auto boxes = MessageBoxes();
        if (boxes.empty()) return false;
        HWND box = boxes.back();
        EXPECT_EQ(Text(box), expectedTitle);
        EXPECT_EQ(BoxText(box), expectedText);
        SendMessageW(GetDlgItem(box, button), BM_CLICK, 0, 0);
        return true;
    };
}

// ---- input as the user gives it

void PostKey(HWND target, UINT vk) {
    const UINT scan = MapVirtualKeyW(vk, MAPVK_VK_TO_VSC);
    PostMessageW(target, WM_KEYDOWN, vk, 1 | (scan << 16));
    PostMessageW(target, WM_KEYUP, vk, 1 | (scan << 16) | 0xC0000000u);
}

void PostAltKey(HWND target, wchar_t ch) { PostMessageW(target, WM_SYSCHAR, ch, 0x20000001); }

void PostChar(HWND target, wchar_t ch) { PostMessageW(target, WM_CHAR, ch, 1); }

void PostClick(HWND target, POINT at) {
    const LPARAM where = MAKELPARAM(at.x, at.y);
    PostMessageW(target, WM_LBUTTONDOWN, MK_LBUTTON, where);
    PostMessageW(target, WM_LBUTTONUP, 0, where);
}

void Press(HWND button) { SendMessageW(button, BM_CLICK, 0, 0); }
// For a button whose handler opens a message box: the script goes on.
void PressLater(HWND button) { PostMessageW(button, BM_CLICK, 0, 0); }

void PutClipboardText(const std::wstring& text) {
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
    ASSERT_TRUE(block);
    std::memcpy(GlobalLock(block), text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    GlobalUnlock(block);
    EXPECT_TRUE(SetClipboardData(CF_UNICODETEXT, block));
    CloseClipboard();
}

// ---- reading the dialogs back

RECT ScreenRect(HWND w) {
    RECT r{};
    GetWindowRect(w, &r);
    return r;
}

// A control's box in the coordinates of `origin`'s client area, or of the
// frame window `origin` itself when `windowOrigin` is set.
RECT BoxIn(HWND control, HWND origin, bool windowOrigin = false) {
    RECT r = ScreenRect(control);
    if (windowOrigin) {
        const RECT o = ScreenRect(origin);
        OffsetRect(&r, -o.left, -o.top);
    } else {
        MapWindowPoints(nullptr, origin, reinterpret_cast<POINT*>(&r), 2);
    }
    return r;
}

struct Placement {
    const char* name;
    int id;
    int x, y, width, height;
};

void ExpectPlacement(HWND control, const RECT& r, const Placement& p) {
    SCOPED_TRACE(p.name);
    ASSERT_TRUE(control);
    EXPECT_EQ(r.left, p.x);
    EXPECT_EQ(r.top, p.y);
    if (p.width) {
        EXPECT_EQ(r.right - r.left, p.width);
    }
    if (p.height) {
        EXPECT_EQ(r.bottom - r.top, p.height);
    }
}

LOGFONTW FontOf(HWND control) {
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof font, &font);
    return font;
}

LONG_PTR Style(HWND w) { return GetWindowLongPtrW(w, GWL_STYLE); }
LONG_PTR ExStyle(HWND w) { return GetWindowLongPtrW(w, GWL_EXSTYLE); }

int RowCount(HWND list) { return static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)); }

std::wstring Cell(HWND list, int row, int column) {
    wchar_t buffer[4096] = {};
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = buffer;
    item.cchTextMax = 4096;
    SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    return buffer;
}

int SelectedRow(HWND list) {
    return static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

void SelectRowByKeyboardState(HWND list, int row) {
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

// A mouse click in the middle of a row's first column.
void PostRowClick(HWND list, int row) {
    RECT r{};
    r.left = LVIR_LABEL;
    SendMessageW(list, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&r));
    PostClick(list, {(r.left + r.right) / 2, (r.top + r.bottom) / 2});
}

std::string Ansi(HWND w) { return ToAnsi(Text(w)); }
void SetText(HWND w, std::string_view ansi) { SetWindowTextW(w, FromAnsi(ansi).c_str()); }

// ---- the fixture: a phrase file of the test's own and a hidden owner

struct RecordingReporter : Reporter {
    std::vector<std::string> messages;
    void Inform(std::string_view message) override { messages.emplace_back(message); }
};

class DialogTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { InitializeApplication(); }

    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("qh-dialogs-" + std::to_string(std::random_device{}()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
        file_ = dir_ / std::string(PhraseFileName);
        // Stands in for the hidden main window: never shown.
        owner_ = CreateWindowExW(WS_EX_TOOLWINDOW, L"STATIC", L"owner", WS_POPUP, 0, 0, 0, 0, nullptr,
                                 nullptr, GetModuleHandleW(nullptr), nullptr);
    }
    void TearDown() override {
        DestroyWindow(owner_);
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    void WriteFile(std::string_view bytes) {
        std::ofstream out(file_, std::ios::binary);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    std::string FileBytes() const {
        std::ifstream in(file_, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    TTypeMsg& Store() {
        if (!store_) store_.emplace(OpenPhraseFile(file_.wstring()), reporter_, SystemAnsiCodePage());
        return *store_;
    }

    INT_PTR RunSetting(Script& script) {
        return script.Run([&] { return ShowSettingDialog(owner_, Store()); });
    }
    INT_PTR RunAbout(Script& script) {
        return script.Run([&] { return ShowAboutDialog(owner_); });
    }

    fs::path dir_, file_;
    HWND owner_ = nullptr;
    RecordingReporter reporter_;
    std::optional<TTypeMsg> store_;
};

HWND Setting() {
    const auto w = ThreadWindows(SettingWindowClass);
    return w.empty() ? nullptr : w.back();
}
HWND About() {
    const auto w = ThreadWindows(AboutWindowClass);
    return w.empty() ? nullptr : w.back();
}
HWND Item(int id) { return GetDlgItem(Setting(), id); }
HWND AboutItem(int id) { return GetDlgItem(About(), id); }

bool SettingOpen() { return Setting() && IsWindowEnabled(Setting()); }

// ---- the settings dialog

TEST_F(DialogTest, SettingLayoutMatchesTheFormAt96Dpi) {
    if (ScreenDpi() != 96) GTEST_SKIP() << "the form's pixels are given at 96 DPI";
    WriteFile("greeting\tHello\\r\\nWorld\r\n");
    Script script;
    script.WaitFor("dialog", SettingOpen).Do([&] {
        HWND dialog = Setting();
        EXPECT_EQ(Text(dialog), L"設定");
        EXPECT_EQ(GetWindow(dialog, GW_OWNER), owner_);
        const RECT outer = ScreenRect(dialog);
        EXPECT_EQ(outer.right - outer.left, 696);
        EXPECT_EQ(outer.bottom - outer.top, 446);
        EXPECT_EQ(outer.left, (GetSystemMetrics(SM_CXSCREEN) - 696) / 2);
        EXPECT_EQ(outer.top, (GetSystemMetrics(SM_CYSCREEN) - 446) / 2);
        // Sizeable, with a title bar, but no system menu and so no close box.
        EXPECT_TRUE(Style(dialog) & WS_THICKFRAME);
        EXPECT_EQ(Style(dialog) & WS_CAPTION, WS_CAPTION);
        EXPECT_FALSE(Style(dialog) & (WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX));

        HWND frame = Item(IdTabControl);
        ExpectPlacement(frame, BoxIn(frame, dialog), {"TabControl", IdTabControl, 8, 8, 673, 353});
        const Placement inFrame[] = {
            {"Label3", IdLabel3, 18, 12, 66, 12},     {"TypeList", IdTypeList, 16, 28, 553, 185},
            {"Delete", IdDelete, 584, 28, 81, 33},    {"AllDelete", IdAllDelete, 584, 68, 81, 33},
            {"Label1", IdLabel1, 16, 228, 60, 12},    {"Cap", IdCap, 80, 224, 221, 20},
            {"Label2", IdLabel2, 34, 252, 42, 12},    {"Memo", IdMemo, 80, 248, 489, 97},
            {"Add", IdAdd, 584, 248, 81, 33},         {"Cng", IdCng, 584, 288, 81, 33},
        };
        for (const auto& p : inFrame) ExpectPlacement(Item(p.id), BoxIn(Item(p.id), frame, true), p);
        const Placement inForm[] = {{"Button1", IDOK, 243, 370, 89, 33},
                                    {"Button2", IDCANCEL, 355, 370, 89, 33}};
        for (const auto& p : inForm) ExpectPlacement(Item(p.id), BoxIn(Item(p.id), dialog), p);

        // The controls keep their places when the window is resized.
        RECT before[std::size(inFrame)];
        for (std::size_t i = 0; i < std::size(inFrame); ++i) before[i] = BoxIn(Item(inFrame[i].id), dialog);
        SetWindowPos(dialog, nullptr, 0, 0, 900, 600, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        for (std::size_t i = 0; i < std::size(inFrame); ++i) {
            const RECT after = BoxIn(Item(inFrame[i].id), dialog);
            EXPECT_TRUE(EqualRect(&before[i], &after)) << inFrame[i].name;
        }
        SetWindowPos(dialog, nullptr, 0, 0, 696, 446, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }).Do([&] {
        const std::pair<int, const wchar_t*> captions[] = {
            {IdLabel3, L"登録一覧(&I)"}, {IdDelete, L"削 除(&D)"}, {IdAllDelete, L"全削除(&Z)"},
            {IdLabel1, L"ｷｬﾌﾟｼｮﾝ(&C)"}, {IdLabel2, L"内容(&N)"},  {IdAdd, L"追加(&A)"},
            {IdCng, L"変更(&C)"},        {IDOK, L"Ｏ　Ｋ"},         {IDCANCEL, L"キャンセル"},
        };
        for (const auto& [id, caption] : captions) EXPECT_EQ(Text(Item(id)), caption);
        EXPECT_TRUE(Style(Item(IdLabel1)) & SS_RIGHT);
        EXPECT_TRUE(Style(Item(IdLabel2)) & SS_RIGHT);

        const int fixed[] = {IdLabel1, IdLabel2, IdLabel3, IdTypeList, IDOK, IDCANCEL};
        const int proportional[] = {IdCap, IdMemo, IdAdd, IdCng, IdDelete, IdAllDelete};
        for (int id : fixed) {
            EXPECT_STREQ(FontOf(Item(id)).lfFaceName, L"ＭＳ ゴシック") << id;
            EXPECT_EQ(FontOf(Item(id)).lfHeight, -12) << id;
        }
        for (int id : proportional) {
            EXPECT_STREQ(FontOf(Item(id)).lfFaceName, L"ＭＳ Ｐゴシック") << id;
            EXPECT_EQ(FontOf(Item(id)).lfHeight, -12) << id;
        }

        HWND list = Item(IdTypeList);
        EXPECT_EQ(Style(list) & LVS_TYPEMASK, LVS_REPORT);
        EXPECT_TRUE(Style(list) & LVS_SINGLESEL);
        EXPECT_FALSE(Style(list) & (LVS_EDITLABELS | WS_TABSTOP));
        EXPECT_TRUE(SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & LVS_EX_FULLROWSELECT);
        const std::pair<const wchar_t*, int> columns[] = {{L"キャプション", 150}, {L"内容", 400}};
        for (int c = 0; c < 2; ++c) {
            wchar_t title[64] = {};
            LVCOLUMNW column{};
            column.mask = LVCF_TEXT | LVCF_WIDTH;
            column.pszText = title;
            column.cchTextMax = 64;
            ASSERT_TRUE(SendMessageW(list, LVM_GETCOLUMNW, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(&column)));
            EXPECT_STREQ(title, columns[c].first);
            EXPECT_EQ(column.cx, columns[c].second);
        }
        // The store's rows, in their stored form; empty fields, no selection.
        ASSERT_EQ(RowCount(list), 1);
        EXPECT_EQ(Cell(list, 0, 0), L"greeting");
        EXPECT_EQ(Cell(list, 0, 1), L"Hello\\r\\nWorld");
        EXPECT_EQ(SelectedRow(list), -1);
        EXPECT_EQ(Text(Item(IdCap)), L"");
        EXPECT_EQ(Text(Item(IdMemo)), L"");

        HWND memo = Item(IdMemo);
        EXPECT_TRUE(Style(memo) & ES_MULTILINE);
        EXPECT_FALSE(Style(memo) & (WS_HSCROLL | WS_VSCROLL | ES_AUTOHSCROLL));  // wraps, no bars
        EXPECT_TRUE(Style(Item(IDOK)) & BS_DEFPUSHBUTTON);

        // Hints as tooltips on OK and Cancel.
        const auto tips = ThreadWindows(TOOLTIPS_CLASSW, false);
        HWND tip = nullptr;
        for (HWND t : tips)
            if (GetWindow(t, GW_OWNER) == Setting()) tip = t;
        ASSERT_TRUE(tip);
        const std::pair<int, const wchar_t*> hints[] = {{IDOK, L"変更を保存します"},
                                                        {IDCANCEL, L"変更をｷｬﾝｾﾙします"}};
        for (const auto& [id, hint] : hints) {
            wchar_t text[128] = {};
            TTTOOLINFOW tool{};
            tool.cbSize = TTTOOLINFOW_V2_SIZE;
            tool.hwnd = Setting();
            tool.uId = reinterpret_cast<UINT_PTR>(Item(id));
            tool.lpszText = text;
            SendMessageW(tip, TTM_GETTEXTW, 128, reinterpret_cast<LPARAM>(&tool));
            EXPECT_STREQ(text, hint);
        }

        // Tab order; the list is reached with the mouse only.
        const int order[] = {IdCap, IdMemo, IdAdd, IdCng, IdDelete, IdAllDelete, IDOK, IDCANCEL, IdCap};
        EXPECT_EQ(GetFocus(), Item(IdCap));
        for (std::size_t i = 0; i + 1 < std::size(order); ++i)
            EXPECT_EQ(GetNextDlgTabItem(Setting(), Item(order[i]), FALSE), Item(order[i + 1])) << i;
        Press(Item(IDCANCEL));
    });
    EXPECT_EQ(RunSetting(script), IDCANCEL);
}

TEST_F(DialogTest, SettingFillsTheFieldsOnAMouseClickOnly) {
    WriteFile("greeting\tHello\\r\\nWorld\r\n"
              "path\tC:\\\\dir\\tx\r\n"
              "a\\tb\\r\\nc\tz\r\n");
    Script script;
    script.WaitFor("dialog", SettingOpen)
        .Do([] {
            HWND list = Item(IdTypeList);
            SetFocus(list);
            SelectRowByKeyboardState(list, 0);
            PostKey(list, VK_DOWN);
        })
        .Settle()
        .Do([] {
            EXPECT_EQ(SelectedRow(Item(IdTypeList)), 1);
            EXPECT_EQ(Text(Item(IdCap)), L"");  // keyboard selection leaves the fields alone
            EXPECT_EQ(Text(Item(IdMemo)), L"");
            PostRowClick(Item(IdTypeList), 0);
        })
        .Settle()
        .Do([] {
            EXPECT_EQ(SelectedRow(Item(IdTypeList)), 0);
            EXPECT_EQ(Text(Item(IdCap)), L"greeting");
            EXPECT_EQ(Text(Item(IdMemo)), L"Hello\r\nWorld");
            PostRowClick(Item(IdTypeList), 1);
        })
        .Settle()
        .Do([] {
            EXPECT_EQ(Text(Item(IdMemo)), L"C:\\dir\tx");
            PostRowClick(Item(IdTypeList), 2);
        })
        .Settle()
        .Do([] {
            EXPECT_EQ(Text(Item(IdCap)), L"a\tb\r\nc");
            // Changing it unedited keeps the caption on one line of the file.
            Press(Item(IdCng));
            EXPECT_EQ(Cell(Item(IdTypeList), 2, 0), L"a b  c");
            // A click below the rows selects none and leaves the fields.
            RECT client;
            GetClientRect(Item(IdTypeList), &client);
            PostClick(Item(IdTypeList), {10, client.bottom - 5});
        })
        .Settle()
        .Do([] {
            EXPECT_EQ(SelectedRow(Item(IdTypeList)), -1);
            EXPECT_EQ(Text(Item(IdCap)), L"a\tb\r\nc");
            Press(Item(IDOK));
        });
    EXPECT_EQ(RunSetting(script), IDOK);
    EXPECT_EQ(FileBytes(), "greeting\tHello\\r\\nWorld\r\npath\tC:\\\\dir\\tx\r\na b  c\tz\r\n");
}

TEST_F(DialogTest, SettingEditsRowsAndOkSavesThem) {
    WriteFile("first\tone\r\n");
    Script script;
    script.WaitFor("dialog", SettingOpen).Do([] {
        HWND list = Item(IdTypeList);
        SetText(Item(IdCap), " two lines ");
        SetText(Item(IdMemo), "  Hello\r\nWorld");
        Press(Item(IdAdd));
        ASSERT_EQ(RowCount(list), 2);
        EXPECT_EQ(Cell(list, 1, 0), L"two lines");
        EXPECT_EQ(Cell(list, 1, 1), L"  Hello\\r\\nWorld");
        EXPECT_EQ(Text(Item(IdCap)), L" two lines ");  // the fields keep their text
        EXPECT_EQ(SelectedRow(list), -1);

        Press(Item(IdCng));  // nothing selected: nothing changes
        Press(Item(IdDelete));
        EXPECT_EQ(RowCount(list), 2);
        EXPECT_EQ(Cell(list, 0, 1), L"one");
        PostRowClick(list, 0);
    })
        .Settle()
        .Do([] {
            HWND list = Item(IdTypeList);
            EXPECT_EQ(Text(Item(IdCap)), L"first");
            SetText(Item(IdMemo), "uno\tdos");
            Press(Item(IdCng));
            EXPECT_EQ(Cell(list, 0, 1), L"uno\\tdos");
            EXPECT_EQ(SelectedRow(list), 0);  // the selection stays
            Press(Item(IdDelete));
            ASSERT_EQ(RowCount(list), 1);
            EXPECT_EQ(Cell(list, 0, 0), L"two lines");

            // Shift-JIS with 0x5C trail bytes, a tab in the caption, a lone LF.
            SetText(Item(IdCap), "\x95\x5C\x8E\xA6\t\x83\x5C");
            SetText(Item(IdMemo), "C:\\\x83\x5C\nend");
            Press(Item(IdAdd));
            Press(Item(IDOK));
        });
    EXPECT_EQ(RunSetting(script), IDOK);
    EXPECT_EQ(FileBytes(),
              "two lines\t  Hello\\r\\nWorld\r\n"
              "\x95\x5C\x8E\xA6 \x83\x5C\tC:\\\\\x83\x5C\\\\r\\nend\r\n");
    // The store holds the new phrases at once, as read back from the lines.
    ASSERT_EQ(Store().Count(), 2u);
    EXPECT_EQ(Store().Contents()[0], "Hello\\r\\nWorld");
    EXPECT_EQ(UnescapeText(Store().Contents()[1]), "C:\\\x83\x5C\r\nend");
    EXPECT_TRUE(reporter_.messages.empty());
}

TEST_F(DialogTest, SettingRefusesSilently) {
    std::string lines;
    for (int i = 1; i < 30; ++i) lines.append("c").append(std::to_string(i)).append("\tv\r\n");
    WriteFile(lines);
    Script script;
    script.WaitFor("dialog", SettingOpen).Do([] {
        HWND list = Item(IdTypeList);
        const std::pair<const char*, const char*> blank[] = {
            {"   ", "x"}, {"\t", "x"}, {"", "x"}, {"c", " \r\n \r\n"}, {"c", ""}};
        for (const auto& [cap, memo] : blank) {
            SetText(Item(IdCap), cap);
            SetText(Item(IdMemo), memo);
            Press(Item(IdAdd));
        }
        EXPECT_EQ(RowCount(list), 29);
        EXPECT_TRUE(MessageBoxes().empty());

        SetText(Item(IdCap), "thirty");
        SetText(Item(IdMemo), "x");
        Press(Item(IdAdd));
        EXPECT_EQ(RowCount(list), 30);
        SetText(Item(IdCap), "thirty-one");
        Press(Item(IdAdd));
        EXPECT_EQ(RowCount(list), 30);
        EXPECT_TRUE(MessageBoxes().empty());
        PostRowClick(list, 0);
    })
        .Settle()
        .Do([] {
            HWND list = Item(IdTypeList);
            SetText(Item(IdCap), " ");
            Press(Item(IdCng));  // blank caption: the row stays
            EXPECT_EQ(Cell(list, 0, 0), L"c1");
            Press(Item(IdDelete));
            EXPECT_EQ(RowCount(list), 29);
            SetText(Item(IdCap), "thirty-one");
            Press(Item(IdAdd));
            EXPECT_EQ(RowCount(list), 30);
            EXPECT_EQ(Cell(list, 29, 0), L"thirty-one");
            Press(Item(IDCANCEL));
        });
    EXPECT_EQ(RunSetting(script), IDCANCEL);
    EXPECT_EQ(FileBytes(), lines);
}

TEST_F(DialogTest, SettingShowsAHandEditedFileWholeAndOkRewritesIt) {
    std::string file = "abc\r\n"
                       " cap \t  content  \textra\n"
                       "\r"
                       "\x95\x5C\tC:\\\\\x83\x5C\r\n";
    for (int i = 0; i < 30; ++i) file.append("n").append(std::to_string(i)).append("\tv\r\n");
    file += std::string("tail\tbefore NUL\0after", 21);
    WriteFile(file);
    Script script;
    script.WaitFor("dialog", SettingOpen).Do([] {
        HWND list = Item(IdTypeList);
        EXPECT_EQ(RowCount(list), 35);  // all shown, more than thirty included
        EXPECT_EQ(Cell(list, 3, 1), FromAnsi("C:\\\\\x83\x5C"));
        Press(Item(IDOK));
    });
    EXPECT_EQ(RunSetting(script), IDOK);
    std::string expected = "abc\tabc\r\ncap\tcontent\r\n\t\r\n\x95\x5C\tC:\\\\\x83\x5C\r\n";
    for (int i = 0; i < 30; ++i) expected.append("n").append(std::to_string(i)).append("\tv\r\n");
    expected += "tail\tbefore NUL\r\n";
    EXPECT_EQ(FileBytes(), expected);
}

TEST_F(DialogTest, SettingCancelEscAndExitLeaveTheFileUntouched) {
    const std::string original = "keep\tme\r\n";
    const std::pair<const char*, std::function<void()>> ways[] = {
        {"Cancel", [] { Press(Item(IDCANCEL)); }},
        {"Esc in Cap", [] { SetFocus(Item(IdCap)); PostKey(Item(IdCap), VK_ESCAPE); }},
        {"Esc in Memo", [] { SetFocus(Item(IdMemo)); PostKey(Item(IdMemo), VK_ESCAPE); }},
        {"Esc in the list", [] { SetFocus(Item(IdTypeList)); PostKey(Item(IdTypeList), VK_ESCAPE); }},
        {"Exit from the tray menu", [] { CloseOpenDialogs(); }},
    };
    for (const auto& [way, close] : ways) {
        SCOPED_TRACE(way);
        WriteFile(original);
        store_.reset();
        Script script;
        script.WaitFor("dialog", SettingOpen)
            .Do([] {
                SetText(Item(IdCap), "new");
                SetText(Item(IdMemo), "phrase");
                Press(Item(IdAdd));
                // Closing the window by other means does nothing.
                PostMessageW(Setting(), WM_CLOSE, 0, 0);
                PostMessageW(Setting(), WM_SYSCOMMAND, SC_CLOSE, 0);
            })
            .Settle()
            .Do([close = close] {
                EXPECT_TRUE(SettingOpen());
                EXPECT_EQ(RowCount(Item(IdTypeList)), 2);
                close();
            });
        EXPECT_EQ(RunSetting(script), IDCANCEL);
        EXPECT_EQ(FileBytes(), original);
        EXPECT_EQ(Store().Lines(), std::vector<std::string>{"keep\tme"});
        EXPECT_FALSE(Setting());
    }
}

TEST_F(DialogTest, SettingKeysWorkAsOnTheForm) {
    WriteFile("first\tone\r\n");
    // One key a step: the characters a key makes join the queue behind
    // anything posted with it.
    Script script;
    script.WaitFor("dialog", SettingOpen)
        .Do([] {
            // TAB moves on from Cap; in Memo TAB and Enter type.
            EXPECT_EQ(GetFocus(), Item(IdCap));
            PostKey(Item(IdCap), VK_TAB);
        })
        .Do([] {
            EXPECT_EQ(GetFocus(), Item(IdMemo));
            PostKey(Item(IdMemo), 'A');
        })
        .Do([] { PostKey(Item(IdMemo), VK_TAB); })
        .Do([] { PostKey(Item(IdMemo), 'B'); })
        .Do([] { PostKey(Item(IdMemo), VK_RETURN); })
        .Do([] { PostKey(Item(IdMemo), 'C'); })
        .Settle()
        .Do([] {
            EXPECT_EQ(Text(Item(IdMemo)), L"a\tb\r\nc");
            EXPECT_EQ(GetFocus(), Item(IdMemo));
            EXPECT_TRUE(SettingOpen());
            // Alt+A presses 追加(&A); the labels' keys I and N do nothing.
            SetText(Item(IdCap), "second");
            PostAltKey(Item(IdMemo), L'i');
        })
        .Do([] { PostAltKey(GetFocus(), L'n'); })
        .Do([] {
            EXPECT_EQ(GetFocus(), Item(IdMemo));
            EXPECT_EQ(RowCount(Item(IdTypeList)), 1);
            PostAltKey(GetFocus(), L'a');
        })
        .Settle()
        .Do([] {
            EXPECT_EQ(RowCount(Item(IdTypeList)), 2);
            EXPECT_EQ(Cell(Item(IdTypeList), 1, 1), L"a\\tb\\r\\nc");
            PostRowClick(Item(IdTypeList), 0);
        })
        .Settle()
        .Do([] {
            // Alt+C presses 変更(&C), not the caption label's key.
            SetText(Item(IdCap), "changed");
            SetFocus(Item(IdCap));
            PostAltKey(Item(IdCap), L'c');
        })
        .Settle()
        .Do([] {
            EXPECT_EQ(Cell(Item(IdTypeList), 0, 0), L"changed");
            // Enter on a focused button presses it, not OK.
            SetFocus(Item(IdDelete));
            PostKey(Item(IdDelete), VK_RETURN);
        })
        .Settle()
        .Do([] {
            EXPECT_TRUE(SettingOpen());
            EXPECT_EQ(RowCount(Item(IdTypeList)), 1);
            // Enter in Cap presses OK, which saves and closes.
            SetFocus(Item(IdCap));
            PostKey(Item(IdCap), VK_RETURN);
        });
    EXPECT_EQ(RunSetting(script), IDOK);
    EXPECT_EQ(FileBytes(), "second\ta\\tb\\r\\nc\r\n");
}

TEST_F(DialogTest, SettingDeleteAllAsksFirst) {
    WriteFile("one\t1\r\ntwo\t2\r\n");
    const std::wstring title = L"確認", question = L"登録データを全て削除します。\r\nよろしいですか?";
    Script script;
    script.WaitFor("dialog", SettingOpen)
        .Do([] { PressLater(Item(IdAllDelete)); })
        .WaitFor("the question, answered No", [&] {
            const auto boxes = MessageBoxes();
            if (boxes.empty()) return false;
            EXPECT_FALSE(IsWindowEnabled(Setting()));  // the dialog waits for the answer
            EXPECT_TRUE(GetWindowLongPtrW(GetDlgItem(boxes.back(), IDNO), GWL_STYLE) & BS_DEFPUSHBUTTON);
            return AnswerBox(title, question, IDNO)();
        })
        .Settle()
        .Do([] {
            EXPECT_EQ(RowCount(Item(IdTypeList)), 2);
            PressLater(Item(IdAllDelete));
        })
        .WaitFor("the question, answered Yes", AnswerBox(title, question, IDYES))
        .Settle()
        .Do([] {
            EXPECT_EQ(RowCount(Item(IdTypeList)), 0);
            Press(Item(IDOK));
        });
    EXPECT_EQ(RunSetting(script), IDOK);
    EXPECT_TRUE(fs::exists(file_));
    EXPECT_EQ(fs::file_size(file_), 0u);
}

TEST_F(DialogTest, SettingMemoTakesAtMost10240BytesFromTheUser) {
    // Over the limit, in short lines (the edit control wraps long ones slowly).
    std::string stored;
    while (stored.size() < 20000) stored += "0123456789 abcdefghijklmnopqrstuvwxyz\\r\\n";
    const std::string longContent = UnescapeText(stored);
    ASSERT_GT(longContent.size(), MemoMaxBytes);
    WriteFile("long\t" + stored + "\r\n");
    // 'ソ' is two bytes whose second is 0x5C; after one 'a' the limit falls
    // inside a character.
    std::wstring mebibyte = L"a";
    while (mebibyte.size() < (1u << 20)) mebibyte += L'ソ';
    Script script;
    script.WaitFor("dialog", SettingOpen)
        .Do([&] {
            PutClipboardText(mebibyte);
            SetFocus(Item(IdMemo));
            SendMessageW(Item(IdMemo), WM_PASTE, 0, 0);
            const std::string text = Ansi(Item(IdMemo));
            EXPECT_EQ(text.size(), MemoMaxBytes - 1);
            EXPECT_EQ(text.substr(text.size() - 2), "\x83\x5C");
            PostChar(Item(IdMemo), L'x');  // one byte still fits
            PostChar(Item(IdMemo), L'y');
            PostChar(Item(IdMemo), L'ソ');
            PostKey(Item(IdMemo), VK_RETURN);
        })
        .Settle()
        .Do([] {
            const std::string text = Ansi(Item(IdMemo));
            EXPECT_EQ(text.size(), MemoMaxBytes);
            EXPECT_EQ(text.back(), 'x');
            // Ctrl+V on a full field adds nothing; over a selection it
            // replaces as much as fits.
            PostChar(Item(IdMemo), 0x16);
        })
        .Settle()
        .Do([] {
            EXPECT_EQ(Ansi(Item(IdMemo)).size(), MemoMaxBytes);
            // Over the first 'ソ': room for the pasted 'a' but not its 'ソ'.
            SendMessageW(Item(IdMemo), EM_SETSEL, 1, 2);
            PostChar(Item(IdMemo), 0x16);
        })
        .Settle()
        .Do([] {
            const std::string text = Ansi(Item(IdMemo));
            EXPECT_EQ(text.size(), MemoMaxBytes - 1);
            EXPECT_EQ(text.substr(0, 4), "aa\x83\x5C");
            // Text the program sets is not cut, and the user cannot add to it.
            PostRowClick(Item(IdTypeList), 0);
        })
        .Settle()
        .Do([&] {
            EXPECT_EQ(Ansi(Item(IdMemo)), longContent);
            SendMessageW(Item(IdMemo), EM_SETSEL, 0, 0);
            PostChar(Item(IdMemo), L'x');
            PostKey(Item(IdMemo), VK_DELETE);
        })
        .Settle()
        .Do([&] {
            EXPECT_EQ(Ansi(Item(IdMemo)), longContent.substr(1));
            Press(Item(IDCANCEL));
        });
    EXPECT_EQ(RunSetting(script), IDCANCEL);
}

TEST_F(DialogTest, SettingSaveFailureIsReportedAndTheDialogStillCloses) {
    const std::pair<const char*, std::function<void(const fs::path&, const fs::path&)>> cases[] = {
        {"a folder named like the file", [](const fs::path&, const fs::path& file) {
             fs::remove(file);
             fs::create_directory(file);
             fs::create_directory(file / "inside");
         }},
        {"a missing folder", [](const fs::path& dir, const fs::path&) { fs::remove_all(dir); }},
        {"a read-only file", [](const fs::path&, const fs::path& file) {
             ASSERT_TRUE(SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY));
         }},
    };
    for (const auto& [what, breakIt] : cases) {
        SCOPED_TRACE(what);
        fs::create_directories(dir_);
        WriteFile("old\tphrase\r\n");
        store_.reset();
        Store();
        breakIt(dir_, file_);
        const bool wasFile = fs::is_regular_file(file_);
        reporter_.messages.clear();
        Script script;
        script.WaitFor("dialog", SettingOpen).Do([] {
            SetText(Item(IdCap), "new");
            SetText(Item(IdMemo), "phrase");
            Press(Item(IdAdd));
            Press(Item(IDOK));
        });
        EXPECT_EQ(RunSetting(script), IDOK);
        EXPECT_EQ(reporter_.messages, std::vector<std::string>{std::string(SaveFailedMessage)});
        // The store keeps the new phrases; a file that was there stays whole.
        EXPECT_EQ(Store().Lines(), (std::vector<std::string>{"old\tphrase", "new\tphrase"}));
        if (wasFile) {
            EXPECT_EQ(FileBytes(), "old\tphrase\r\n");
        } else {
            EXPECT_FALSE(fs::is_regular_file(file_));
        }
        SetFileAttributesW(file_.c_str(), FILE_ATTRIBUTE_NORMAL);
        fs::remove_all(dir_);
    }
}

TEST_F(DialogTest, SettingStaysBeneathASecondDialog) {
    Script script;
    script.WaitFor("dialog", SettingOpen)
        .Do([&] { EXPECT_EQ(ShowAboutDialog(owner_), IDOK); })  // returns when the About box closes
        .WaitFor("About above the settings", [] { return About() && IsWindowEnabled(About()); })
        .Do([] {
            EXPECT_FALSE(IsWindowEnabled(Setting()));
            Press(AboutItem(IDOK));
        })
        .Settle()
        .Do([] {
            EXPECT_FALSE(About());
            EXPECT_TRUE(IsWindowEnabled(Setting()));
            Press(Item(IDCANCEL));
        });
    EXPECT_EQ(RunSetting(script), IDCANCEL);
}

// ---- the About dialog

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

// ---- screenshots: scripts/screenshots runs this with QH_DIALOG_SHOTS set to
// a folder. For each dialog it writes NAME.rect (the window's screen box)
// and NAME.ready once the dialog is drawn, and waits for NAME.done while
// the script takes the picture.

std::wstring ShotFolder() {
    const char* folder = std::getenv("QH_DIALOG_SHOTS");
    if (!folder || !*folder) return {};
    std::wstring path = Widen(folder);
    if (path.front() == L'/') path = L"Z:" + path;  // a Unix path, through drive Z:
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

std::function<bool()> Photographed(const std::wstring& folder, const wchar_t* name,
                                   const std::function<HWND()>& window) {
    return [=, started = false]() mutable {
        const fs::path base = fs::path(folder) / name;
        if (!started) {
            HWND w = window();
            RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_FRAME);
            const RECT r = ScreenRect(w);
            std::ofstream(fs::path(base).replace_extension(".rect"), std::ios::binary)
                << r.left << ' ' << r.top << ' ' << r.right - r.left << ' ' << r.bottom - r.top << '\n';
            std::ofstream(fs::path(base).replace_extension(".ready")) << "ready\n";
            started = true;
        }
        return fs::exists(fs::path(base).replace_extension(".done"));
    };
}

TEST_F(DialogTest, Screenshots) {
    const std::wstring folder = ShotFolder();
    if (folder.empty()) GTEST_SKIP() << "QH_DIALOG_SHOTS names no folder";
    const std::wstring phrases[][2] = {
        {L"挨拶", L"いつもお世話になっております。\\r\\nクイルハーバーの山田です。"},
        {L"署名", L"山田 太郎\\r\\nyamada@example.jp"},
        {L"住所", L"〒100-0001 東京都千代田区1-1"},
        {L"お礼", L"ありがとうございました。"},
    };
    std::string file;
    for (const auto& [caption, content] : phrases) file += ToAnsi(caption) + "\t" + ToAnsi(content) + "\r\n";
    WriteFile(file);

    Script setting;
    setting.WaitFor("dialog", SettingOpen)
        .Do([] { PostRowClick(Item(IdTypeList), 0); })
        .Settle()
        .WaitFor("picture", Photographed(folder, L"setting", Setting))
        .Do([] { Press(Item(IDCANCEL)); });
    EXPECT_EQ(RunSetting(setting), IDCANCEL);

    Script about;
    about.WaitFor("dialog", [] { return About() != nullptr; })
        .Settle()
        .WaitFor("picture", Photographed(folder, L"about", About))
        .Do([] { Press(AboutItem(IDOK)); });
    EXPECT_EQ(RunAbout(about), IDOK);
}

}  // namespace
}  // namespace qh::win
