// The settings dialog "設定": its form, the list and fields, its keys, the
// limits on what the user types, and saving to the phrase file.
#include "dialog_script.h"

namespace qh::win {
namespace {

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
              "\x95\x5C\x5C\x8E\xA6 \x83\x5C\x5C\tC:\\\\\x83\x5C\\\\r\\nend\r\n");
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
    std::wstring twiceTheLimit = L"a";
    while (twiceTheLimit.size() < MemoMaxBytes) twiceTheLimit += L'ソ';
    Script script;
    script.WaitFor("dialog", SettingOpen)
        .Do([&] {
            test::PutClipboard({{CF_UNICODETEXT, test::UnicodeBytes(twiceTheLimit)}});
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

}  // namespace
}  // namespace qh::win
