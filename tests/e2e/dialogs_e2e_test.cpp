// The settings and About dialogs of the running program, opened from the tray
// menu and used from outside: controls are found by class and caption, filled
// with WM_SETTEXT and pressed with BM_CLICK or keystrokes.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "driver.h"

namespace e2e {
namespace {

const std::wstring SettingTitle = L"設定";
const std::wstring AboutTitle = L"バージョン情報";
const std::wstring ConfirmTitle = L"確認";
// Access keys of the top-level tray menu.
constexpr WORD OpenSettings = 'A';
constexpr WORD OpenAbout = 'V';

// The first child of the class (any case) whose caption is text, or, with
// multiLine given, the edit with or without ES_MULTILINE.
HWND Child(HWND parent, std::wstring_view className, std::optional<std::wstring_view> text,
           std::optional<bool> multiLine = std::nullopt) {
    for (HWND child : Children(parent)) {
        if (lstrcmpiW(ClassOf(child).c_str(), std::wstring(className).c_str()) != 0) continue;
        if (text && TextOf(child) != *text) continue;
        if (multiLine && ((GetWindowLongW(child, GWL_STYLE) & ES_MULTILINE) != 0) != *multiLine) continue;
        return child;
    }
    return nullptr;
}

// Wine takes a couple of seconds to take a window off the screen.
bool WaitGone(HWND window) {
    return WaitUntil([&] { return !IsWindow(window) || !IsWindowVisible(window); }, Millis(15000));
}

// Keystrokes go to the foreground window.
bool BringForward(HWND window) {
    if (WaitUntil([&] { return GetForegroundWindow() == window; }, Millis(3000))) return true;
    SetForegroundWindow(window);
    return WaitUntil([&] { return GetForegroundWindow() == window; }, Millis(3000));
}

bool SetText(HWND control, const std::wstring& text) {
    DWORD_PTR result = 0;
    return control && SendMessageTimeoutW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                                          SMTO_NORMAL, 10000, &result) && result;
}

// Presses a button whose handler returns at once.
bool Click(HWND button) {
    DWORD_PTR result = 0;
    return button && SendMessageTimeoutW(button, BM_CLICK, 0, 0, SMTO_NORMAL, 10000, &result);
}

// A real left click at a point of the screen.
void ClickAt(POINT point) {
    SetCursorPos(point.x, point.y);
    INPUT inputs[2] = {};
    inputs[0].type = inputs[1].type = INPUT_MOUSE;
    inputs[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    inputs[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(2, inputs, sizeof(INPUT));
}

// The settings dialog of a running program and its controls.
class SettingDialog {
public:
    explicit SettingDialog(Quillharbor& app) : app_(app) {
        if (!app.Command({OpenSettings})) return;
        window = WaitForWindow(app.processId(), SettingTitle);
        if (!window) return;
        list = Child(window, L"SysListView32", std::nullopt);
        cap = Child(window, L"Edit", std::nullopt, false);
        memo = Child(window, L"Edit", std::nullopt, true);
        add = Child(window, L"Button", L"追加(&A)");
        change = Child(window, L"Button", L"変更(&C)");
        remove = Child(window, L"Button", L"削 除(&D)");
        allDelete = Child(window, L"Button", L"全削除(&Z)");
        ok = Child(window, L"Button", L"Ｏ　Ｋ");
        cancel = Child(window, L"Button", L"キャンセル");
    }
    // A dialog a failed test left open is cancelled, so that the program can end.
    ~SettingDialog() {
        if (window && IsWindow(window)) {
            PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
            WaitGone(window);
        }
    }
    SettingDialog(const SettingDialog&) = delete;
    SettingDialog& operator=(const SettingDialog&) = delete;

    bool complete() const {
        return window && list && cap && memo && add && change && remove && allDelete && ok && cancel;
    }
    std::string Describe() const {
        return window ? "the settings dialog lacks a control: " + Cp932(WindowTexts(window))
                      : "the settings dialog did not open";
    }

    bool AddPhrase(const std::wstring& caption, const std::wstring& content) {
        return SetText(cap, caption) && SetText(memo, content) && Click(add);
    }
    int Rows() const {
        DWORD_PTR count = 0;
        if (!SendMessageTimeoutW(list, LVM_GETITEMCOUNT, 0, 0, SMTO_NORMAL, 10000, &count)) return -1;
        return static_cast<int>(count);
    }
    bool Closed() const { return WaitGone(window) && app_.Sync(); }

    // Clicks the list's first row, just below its column headers, so far
    // from the left edge. Two clicks at one place would make a double click.
    void ClickFirstRow(int fromLeft) const {
        RECT header{}, area{};
        GetWindowRect(FindWindowExW(list, nullptr, L"SysHeader32", nullptr), &header);
        GetWindowRect(list, &area);
        ClickAt({area.left + fromLeft, header.bottom + 6});
    }

    // Clicks the first row until the caption field shows `caption` (a
    // synthesized click is sometimes lost on a loaded machine), then expects
    // `content` in the content field.
    ::testing::AssertionResult FirstRowFills(const std::wstring& caption, const std::wstring& content) const {
        bool filled = BringForward(window);
        for (int attempt = 0; attempt < 3 && filled && TextOf(cap) != caption; ++attempt) {
            if (attempt) Sleep(GetDoubleClickTime() + 50);  // never read as a double click
            ClickFirstRow(40);
            WaitUntil([&] { return TextOf(cap) == caption; }, Millis(3000));
        }
        if (!filled || TextOf(cap) != caption)
            return ::testing::AssertionFailure() << "the caption field shows \"" << Cp932(TextOf(cap)) << "\"";
        if (TextOf(memo) != content)
            return ::testing::AssertionFailure() << "the content field shows \"" << Cp932(TextOf(memo)) << "\"";
        return ::testing::AssertionSuccess();
    }

    HWND window = nullptr, list = nullptr, cap = nullptr, memo = nullptr, add = nullptr, change = nullptr,
         remove = nullptr, allDelete = nullptr, ok = nullptr, cancel = nullptr;

private:
    Quillharbor& app_;
};

#define ASSERT_COMPLETE(dialog) ASSERT_TRUE((dialog).complete()) << (dialog).Describe()

// ---- settings

TEST(SettingDialog, OkSavesAnAddedTwoLinePhraseEscapedAndTheMenuGivesItBack) {
    Quillharbor app;
    ASSERT_STARTED(app);
    {
        SettingDialog dialog(app);
        ASSERT_COMPLETE(dialog);
        EXPECT_EQ(TextOf(dialog.cap), L"") << "the caption field is not empty at opening";
        EXPECT_EQ(TextOf(dialog.memo), L"") << "the content field is not empty at opening";
        EXPECT_EQ(dialog.Rows(), 0);
        ASSERT_TRUE(dialog.AddPhrase(L"greet", L"Hello\r\nWorld"));
        EXPECT_EQ(dialog.Rows(), 1);
        ASSERT_TRUE(Click(dialog.ok));
        ASSERT_TRUE(dialog.Closed()) << "OK did not close the dialog";
    }
    EXPECT_EQ(app.folder().PhraseFileBytes(), "greet\tHello\\r\\nWorld\r\n");
    // "定型文章(&T)" opens with its first phrase selected.
    EXPECT_EQ(app.Choose({'T', VK_RETURN}), "Hello\r\nWorld");
}

TEST(SettingDialog, CancelAndEscLeaveThePhraseFileAsItWas) {
    const std::string existing = "old\tkept\\tphrase\r\n";
    const struct {
        const char* what;
        bool byEsc;
        std::optional<std::string> file;
    } cases[] = {
        {"Cancel, no file", false, std::nullopt},
        {"Cancel, a file", false, existing},
        {"Esc, no file", true, std::nullopt},
        {"Esc, a file", true, existing},
    };
    for (const auto& c : cases) {
        Quillharbor app(c.file);
        ASSERT_STARTED(app);
        {
            SettingDialog dialog(app);
            ASSERT_COMPLETE(dialog) << c.what;
            ASSERT_TRUE(dialog.AddPhrase(L"new", L"discarded")) << c.what;
            ASSERT_EQ(dialog.Rows(), c.file ? 2 : 1) << c.what;
            if (c.byEsc) {
                ASSERT_TRUE(BringForward(dialog.window)) << c.what << ": the dialog is not in the foreground";
                Press({VK_ESCAPE});
            } else {
                ASSERT_TRUE(Click(dialog.cancel)) << c.what;
            }
            ASSERT_TRUE(dialog.Closed()) << c.what << " did not close the dialog";
        }
        EXPECT_EQ(app.folder().PhraseFileBytes(), c.file) << c.what;
        if (c.file) {
            EXPECT_EQ(app.Choose({'T', VK_RETURN}), "kept\tphrase") << c.what << ": the menu changed";
        }
    }
}

TEST(SettingDialog, EnterInTheCaptionFieldSavesAndCloses) {
    // Line breaks other than CR LF and no break at the end: OK rewrites every
    // line with CR LF, which shows that the file was written.
    Quillharbor app("one\tfirst\ntwo\tsecond");
    ASSERT_STARTED(app);
    {
        SettingDialog dialog(app);
        ASSERT_COMPLETE(dialog);
        ASSERT_EQ(dialog.Rows(), 2);
        // Filled but not added: the fields are not saved.
        ASSERT_TRUE(SetText(dialog.cap, L"unsaved") && SetText(dialog.memo, L"unsaved"));
        ASSERT_TRUE(BringForward(dialog.window)) << "the dialog is not in the foreground";
        Press({VK_RETURN});  // the focus is still where the dialog put it: the caption field
        ASSERT_TRUE(dialog.Closed()) << "Enter in the caption field did not close the dialog";
    }
    EXPECT_EQ(app.folder().PhraseFileBytes(), "one\tfirst\r\ntwo\tsecond\r\n");
}

TEST(SettingDialog, DeleteAllAsksFirstAndOkThenWritesAnEmptyFile) {
    Quillharbor app("one\tfirst\r\ntwo\tsecond\r\n");
    ASSERT_STARTED(app);
    {
        SettingDialog dialog(app);
        ASSERT_COMPLETE(dialog);
        ASSERT_EQ(dialog.Rows(), 2);

        // The handler waits in the confirmation box, so the click is posted.
        PostMessageW(dialog.allDelete, BM_CLICK, 0, 0);
        HWND box = WaitForWindow(app.processId(), ConfirmTitle);
        ASSERT_TRUE(box) << "no confirmation box titled " << Cp932(ConfirmTitle);
        EXPECT_NE(WindowTexts(box).find(L"登録データを全て削除します。"), std::wstring::npos)
            << Cp932(WindowTexts(box));
        ASSERT_TRUE(BringForward(box));
        Press({VK_RETURN});  // No is the default
        ASSERT_TRUE(WaitGone(box)) << "Enter did not close the confirmation box";
        EXPECT_EQ(dialog.Rows(), 2) << "answering No removed rows";

        PostMessageW(dialog.allDelete, BM_CLICK, 0, 0);
        box = WaitForWindow(app.processId(), ConfirmTitle);
        ASSERT_TRUE(box);
        HWND yes = GetDlgItem(box, IDYES);
        ASSERT_TRUE(yes) << "the confirmation box has no Yes button";
        PostMessageW(yes, BM_CLICK, 0, 0);
        ASSERT_TRUE(WaitGone(box));
        EXPECT_TRUE(WaitUntil([&] { return dialog.Rows() == 0; }, Millis(5000))) << "Yes kept rows";

        ASSERT_TRUE(Click(dialog.ok));
        ASSERT_TRUE(dialog.Closed());
    }
    EXPECT_EQ(app.folder().PhraseFileBytes(), "");
}

TEST(SettingDialog, AddingStopsAtThirtyPhrasesUntilOneIsDeleted) {
    const auto line = [](int i) { return "c" + std::to_string(i) + "\ttext " + std::to_string(i) + "\r\n"; };
    Quillharbor app;
    ASSERT_STARTED(app);
    std::string expected;
    {
        SettingDialog dialog(app);
        ASSERT_COMPLETE(dialog);
        for (int i = 1; i <= 31; ++i) {
            const std::wstring n = std::to_wstring(i);
            ASSERT_TRUE(dialog.AddPhrase(L"c" + n, L"text " + n)) << i;
        }
        EXPECT_EQ(dialog.Rows(), 30) << "the 31st phrase was added";

        ASSERT_TRUE(BringForward(dialog.window));
        dialog.ClickFirstRow(40);
        ASSERT_TRUE(WaitUntil([&] { return TextOf(dialog.cap) == L"c1"; }, Millis(5000)));
        ASSERT_TRUE(Click(dialog.remove));
        ASSERT_EQ(dialog.Rows(), 29);
        ASSERT_TRUE(dialog.AddPhrase(L"c31", L"text 31"));
        EXPECT_EQ(dialog.Rows(), 30) << "no phrase could be added after a deletion";
        ASSERT_TRUE(Click(dialog.ok));
        ASSERT_TRUE(dialog.Closed());
    }
    for (int i = 2; i <= 31; ++i) expected += line(i);
    EXPECT_EQ(app.folder().PhraseFileBytes(), expected);
}

TEST(SettingDialog, TypedPhraseKeepsItsTabAndLineBreak) {
    Quillharbor app;
    ASSERT_STARTED(app);
    {
        SettingDialog dialog(app);
        ASSERT_COMPLETE(dialog);
        ASSERT_TRUE(BringForward(dialog.window)) << "the dialog is not in the foreground";
        // The caption field has the focus; TAB moves on to the content field,
        // where TAB and Enter are typed into the text.
        Press({'G', 'O', VK_TAB, 'A', VK_TAB, 'B', VK_RETURN, 'C'});
        ASSERT_TRUE(WaitUntil([&] { return TextOf(dialog.memo) == L"a\tb\r\nc"; }, Millis(5000)))
            << "caption \"" << Cp932(TextOf(dialog.cap)) << "\", content \"" << Cp932(TextOf(dialog.memo)) << "\"";
        EXPECT_EQ(TextOf(dialog.cap), L"go");
        ASSERT_TRUE(Click(dialog.add));
        ASSERT_TRUE(Click(dialog.ok));
        ASSERT_TRUE(dialog.Closed());
    }
    EXPECT_EQ(app.folder().PhraseFileBytes(), "go\ta\\tb\\r\\nc\r\n");
    EXPECT_EQ(app.Choose({'T', VK_RETURN}), "a\tb\r\nc");
}

TEST(SettingDialog, ClickingARowFillsTheFieldsForChangeAndDelete) {
    Quillharbor app("one\tfirst\\r\\nline\r\ntwo\tsecond\r\n");
    ASSERT_STARTED(app);
    {
        SettingDialog dialog(app);
        ASSERT_COMPLETE(dialog);
        ASSERT_EQ(dialog.Rows(), 2);
        ASSERT_TRUE(BringForward(dialog.window));
        dialog.ClickFirstRow(40);
        ASSERT_TRUE(WaitUntil([&] { return TextOf(dialog.cap) == L"one"; }, Millis(5000)))
            << "a click on the first row did not fill the caption field";
        EXPECT_EQ(TextOf(dialog.memo), L"first\r\nline") << "the content comes back unescaped";

        ASSERT_TRUE(Click(dialog.remove));
        ASSERT_EQ(dialog.Rows(), 1) << "the selected row was not deleted";

        // A synthesized click is sometimes lost on a loaded machine; a program
        // that never fills the fields still fails all three.
        bool filled = false;
        for (int attempt = 0; attempt < 3 && !filled; ++attempt) {
            Sleep(GetDoubleClickTime() + 50);  // never read as a double click
            dialog.ClickFirstRow(200);
            filled = WaitUntil([&] { return TextOf(dialog.cap) == L"two"; }, Millis(3000));
        }
        ASSERT_TRUE(filled) << "a click on the row that moved up did not fill the caption field";
        EXPECT_EQ(TextOf(dialog.memo), L"second");
        ASSERT_TRUE(SetText(dialog.memo, L"changed\tcontent"));
        ASSERT_TRUE(Click(dialog.change));
        EXPECT_EQ(dialog.Rows(), 1) << "changing added a row";
        ASSERT_TRUE(Click(dialog.ok));
        ASSERT_TRUE(dialog.Closed());
    }
    EXPECT_EQ(app.folder().PhraseFileBytes(), "two\tchanged\\tcontent\r\n");
}

TEST(SettingDialog, BlankFieldsAreRefusedAndOuterSpacesTrimmed) {
    const struct {
        const wchar_t* caption;
        const wchar_t* content;
    } refused[] = {
        {L"", L"text"},
        {L"   ", L"text"},
        {L"caption", L""},
        {L"caption", L"  \r\n \r\n"},
    };
    Quillharbor app;
    ASSERT_STARTED(app);
    {
        SettingDialog dialog(app);
        ASSERT_COMPLETE(dialog);
        for (const auto& r : refused) {
            ASSERT_TRUE(dialog.AddPhrase(r.caption, r.content));
            EXPECT_EQ(dialog.Rows(), 0) << "added caption \"" << Cp932(r.caption) << "\" content \""
                                        << Cp932(r.content) << "\"";
        }
        ASSERT_TRUE(dialog.AddPhrase(L"  padded  ", L"  indented"));
        ASSERT_EQ(dialog.Rows(), 1);
        ASSERT_TRUE(Click(dialog.ok));
        ASSERT_TRUE(dialog.Closed());
    }
    // The caption is trimmed in the dialog; the content's leading spaces
    // reach the file, but the store hands out the trimmed text.
    EXPECT_EQ(app.folder().PhraseFileBytes(), "padded\t  indented\r\n");
    EXPECT_EQ(app.Choose({'T', VK_RETURN}), "indented");
}

// Any text is accepted: a phrase the code page cannot hold turns the whole
// file into UTF-8, which a restarted program reads back exactly.
TEST(SettingDialog, APhraseWithAnEmojiSurvivesSaveRestartAndChoose) {
    const std::wstring caption = L"笑顔😀", content = L"naïve 😀\r\n𠮷";
    std::optional<std::string> saved;
    {
        Quillharbor app;
        ASSERT_STARTED(app);
        SettingDialog dialog(app);
        ASSERT_COMPLETE(dialog);
        ASSERT_TRUE(dialog.AddPhrase(caption, content));
        ASSERT_TRUE(dialog.AddPhrase(L"挨拶", L"こんにちは"));
        ASSERT_EQ(dialog.Rows(), 2);
        ASSERT_TRUE(Click(dialog.ok));
        ASSERT_TRUE(dialog.Closed());
        saved = app.folder().PhraseFileBytes();
    }
    ASSERT_EQ(saved, std::string("\xEF\xBB\xBF笑顔😀\tnaïve 😀\\r\\n𠮷\r\n挨拶\tこんにちは\r\n"));

    Quillharbor restarted(*saved);
    ASSERT_STARTED(restarted);
    {
        SettingDialog dialog(restarted);
        ASSERT_COMPLETE(dialog);
        EXPECT_TRUE(dialog.FirstRowFills(caption, content));
        ASSERT_TRUE(Click(dialog.cancel));
        ASSERT_TRUE(dialog.Closed());
    }
    EXPECT_EQ(restarted.Choose({'T', VK_RETURN}), qh::test::AnsiOf(content));
    EXPECT_EQ(ReadUnicodeText(), content);
    EXPECT_EQ(restarted.Choose({'T', VK_DOWN, VK_RETURN}), Cp932(L"こんにちは"));
    EXPECT_EQ(ReadUnicodeText(), L"こんにちは");
}

// ---- the phrase file as other programs and the user leave it

// Rewrites the phrase file in place and sets its time back, as an edit within
// FAT's 2-second steps or behind a network client's cache of attributes shows.
void WriteKeepingTime(const qh::test::ScratchFolder& folder, std::string_view bytes) {
    const HANDLE file = CreateFileW(folder.PhraseFile().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    FILETIME time{};
    DWORD written = 0;
    GetFileTime(file, nullptr, nullptr, &time);
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    SetFileTime(file, nullptr, nullptr, &time);
    CloseHandle(file);
}

// Another editor, or a synchronising client, rewrites the file while the
// program runs: the menu and the dialog show what it holds now, the same
// size at the same time, or in Notepad's "UTF-16 LE", and OK keeps it.
TEST(PhraseFile, AnOutsideEditShowsInTheNextMenuAndSurvivesASave) {
    Quillharbor app("greet\thello\r\n");
    ASSERT_STARTED(app);
    app.folder().WritePhraseFile("greet\thello\r\nedited\telsewhere\r\n");
    EXPECT_EQ(app.Choose({'T', VK_DOWN, VK_RETURN}), "elsewhere");
    WriteKeepingTime(app.folder(), "greet\thello\r\nedited\tsomewhere\r\n");
    EXPECT_EQ(app.Choose({'T', VK_DOWN, VK_RETURN}), "somewhere");
    const std::wstring text = L"greet\thello\r\nedited\tsomewhere\r\n申請\tソフトウェア\r\n";
    app.folder().WritePhraseFile("\xFF\xFE" + Utf16Bytes(text));
    EXPECT_EQ(app.Choose({'T', VK_UP, VK_RETURN}), Cp932(L"ソフトウェア"));
    {
        SettingDialog dialog(app);
        ASSERT_COMPLETE(dialog);
        EXPECT_EQ(dialog.Rows(), 3);
        ASSERT_TRUE(dialog.AddPhrase(L"mine", L"added"));
        ASSERT_TRUE(Click(dialog.ok));
        ASSERT_TRUE(dialog.Closed());
    }
    // ANSI again, where the second byte 0x5C of 申 and ソ is escaped.
    EXPECT_EQ(app.folder().PhraseFileBytes(), "greet\thello\r\nedited\tsomewhere\r\n\x90\\\\\x90\xBF\t"
                                              "\x83\\\\\x83t\x83g\x83" "E\x83" "F\x83" "A\r\nmine\tadded\r\n");
}

// Closes the program's box that shows `text`; false when none came.
bool CloseBox(const Quillharbor& app, std::wstring_view text) {
    HWND box = nullptr;
    if (!WaitUntil([&] { return (box = FindMessageWindow(app.processId(), L"Quillharbor", text)) != nullptr; },
                   Millis(10000)))
        return false;
    PostMessageW(box, WM_CLOSE, 0, 0);
    if (!WaitUntil([&] { return !IsWindow(box); }, Millis(5000)) && BringForward(box)) Press({VK_RETURN});
    return true;
}

// The file changes while the dialog is open: OK saves the rows, and the other
// version stays beside the file, where a box says, even while a scanner holds
// it for a moment. Rows that a save could not write stay for the run.
TEST(PhraseFile, AnEditMadeWhileTheDialogIsOpenIsKeptBesideTheFile) {
    Quillharbor app("greet\thello\r\n");
    ASSERT_STARTED(app);
    const std::string outside = "greet\thello\r\nedited\telsewhere\r\n";
    const std::wstring file = app.folder().PhraseFile().wstring();
    {
        SettingDialog dialog(app);
        ASSERT_COMPLETE(dialog);
        app.folder().WritePhraseFile(outside);
        // The menu, opened meanwhile, already offers the other version.
        EXPECT_EQ(app.Choose({'T', VK_DOWN, VK_RETURN}), "elsewhere");
        ASSERT_TRUE(dialog.AddPhrase(L"mine", L"added"));
        const HANDLE scanner = CreateFileW(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        PostMessageW(dialog.ok, BM_CLICK, 0, 0);  // the handler waits in the box
        Sleep(500);  // the scanner's moment, as OK reads the other version
        CloseHandle(scanner);
        EXPECT_TRUE(CloseBox(app, L"TypeMsg-外部変更.cfg")) << "no box names the kept version";
        ASSERT_TRUE(dialog.Closed());
    }
    EXPECT_EQ(app.folder().PhraseFileBytes(), "greet\thello\r\nmine\tadded\r\n");
    std::ifstream kept(app.folder().Path() / std::filesystem::path(u8"TypeMsg-外部変更.cfg"), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), outside);

    ASSERT_TRUE(SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY));
    {
        SettingDialog dialog(app);
        ASSERT_COMPLETE(dialog);
        ASSERT_TRUE(dialog.AddPhrase(L"unsaved", L"kept"));
        PostMessageW(dialog.ok, BM_CLICK, 0, 0);
        EXPECT_TRUE(CloseBox(app, L"設定の保存に失敗しました。"));
        ASSERT_TRUE(dialog.Closed());
    }
    ASSERT_TRUE(SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL));
    app.folder().WritePhraseFile(outside);
    EXPECT_EQ(app.Choose({'T', VK_UP, VK_RETURN}), "kept") << "an outside edit replaced the unsaved row";
}

// What is typed comes back byte for byte: a caption with backslashes, and
// Japanese whose Shift-JIS second bytes are 0x5C, through add, OK, reopen,
// an unedited change and OK.
TEST(PhraseFile, ACaptionWithBackslashesAndJapaneseSurviveAnUneditedChange) {
    const std::wstring caption = L"パス C:\\temp\\new", content = L"ソフトウェア申請書を表示します。";
    Quillharbor app;
    ASSERT_STARTED(app);
    {
        SettingDialog dialog(app);
        ASSERT_COMPLETE(dialog);
        ASSERT_TRUE(dialog.AddPhrase(caption, content));
        ASSERT_TRUE(Click(dialog.ok));
        ASSERT_TRUE(dialog.Closed());
    }
    const std::optional<std::string> saved = app.folder().PhraseFileBytes();
    {
        SettingDialog dialog(app);
        ASSERT_COMPLETE(dialog);
        EXPECT_TRUE(dialog.FirstRowFills(caption, content));
        ASSERT_TRUE(Click(dialog.change));
        ASSERT_TRUE(Click(dialog.ok));
        ASSERT_TRUE(dialog.Closed());
    }
    EXPECT_EQ(app.folder().PhraseFileBytes(), saved);
    EXPECT_EQ(app.Choose({'T', VK_RETURN}), Cp932(content));
}

// ---- About

TEST(AboutDialog, ShowsTheVersionAndEnterClosesIt) {
    Quillharbor app;
    ASSERT_STARTED(app);
    ASSERT_TRUE(app.Command({OpenAbout}));
    const HWND about = WaitForWindow(app.processId(), AboutTitle);
    ASSERT_TRUE(about) << "no window titled " << Cp932(AboutTitle);
    EXPECT_NE(WindowTexts(about).find(L"Ｖｅｒ １．１０"), std::wstring::npos) << Cp932(WindowTexts(about));
    EXPECT_TRUE(Child(about, L"Button", L"Ｏ　Ｋ")) << "no OK button";
    ASSERT_TRUE(BringForward(about)) << "the About box is not in the foreground";
    Press({VK_RETURN});
    const bool closed = WaitGone(about);
    if (!closed) PostMessageW(about, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(closed) << "Enter did not close the About box";
    EXPECT_TRUE(WaitUntil([&] { return VisibleWindows(app.processId()).empty(); }, Millis(10000)))
        << "a window of the program stays visible";
}

}  // namespace
}  // namespace e2e
