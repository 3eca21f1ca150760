#include "setting_rules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>

#include "disk_file.h"
#include "fake_code_page.h"
#include "memory_file.h"
#include "model.h"
#include "reporters.h"
#include "scratch_folder.h"
#include "text.h"

namespace qh {
namespace {

namespace fs = std::filesystem;

TEST(SettingRows, TurnsTheFieldsIntoOneFileLine) {
    struct Case {
        const char* what;
        std::string cap, memo;
        std::string caption, content;
    };
    const Case cases[] = {
        {"plain", "greeting", "Hello", "greeting", "Hello"},
        {"caption trimmed, content kept whole", "  name \r\n", "  two\r\nlines  ",
         "name", "  two\\r\\nlines  "},
        {"TAB, CR and LF in the caption each become a space", "a\tb\r\nc\rd\ne", "x",
         "a b  c d e", "x"},
        {"lone CR and lone LF become CR LF", "c", "1\r2\n3\r\n4\n\r5",
         "c", "1\\r\\n2\\r\\n3\\r\\n4\\r\\n\\r\\n5"},
        {"TAB and backslash escaped", "c", "C:\\dir\tx", "c", "C:\\\\dir\\tx"},
        {"a caption's backslashes escaped too", "C:\\temp\\new", "x", "C:\\\\temp\\\\new", "x"},
        // 'ソ' (0x83 0x5C) and '表' (0x95 0x5C): the trail byte is a backslash
        // to the escape, which is what the menu and the file expect.
        {"Shift-JIS with 0x5C trail bytes", "\x83\x5C\x95\x5C", "\x95\x5C\x8E\xA6",
         "\x83\x5C\x5C\x95\x5C\x5C", "\x95\x5C\x5C\x8E\xA6"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto row = MakeRow(c.cap, c.memo);
        ASSERT_TRUE(row);
        EXPECT_EQ(row->caption, c.caption);
        EXPECT_EQ(row->content, c.content);
        EXPECT_EQ(FileLine(*row), c.caption + "\t" + c.content);
        // The line reads back as the same phrase, apart from the content's
        // ends, which the store trims.
        EXPECT_EQ(GetField(FileLine(*row), 1), row->caption);
        EXPECT_EQ(GetField(FileLine(*row), 2), Trim(row->content));
        EXPECT_EQ(SplitLines(FileLine(*row) + "\r\n").size(), 1u);
    }
}

TEST(SettingRows, CaptionMadeFromEscapesStaysOnItsLine) {
    // A hand-edited caption "a\tb\r\nc" shows as TAB and CR LF in the field.
    const auto row = MakeRow(UnescapeText("a\\tb\\r\\nc"), "x");
    ASSERT_TRUE(row);
    EXPECT_EQ(row->caption, "a b  c");
}

TEST(SettingRows, ChangingAnUneditedRowKeepsIt) {
    const PhraseRow rows[] = {{"greeting", "Hello\\r\\nWorld"},
                              {"tab", "a\\tb"},
                              {"kanji", "\x8A\xBF\x8E\x9A"}};
    for (const PhraseRow& row : rows) {
        SettingRows list;
        ASSERT_TRUE(list.Add("first", "1"));
        ASSERT_TRUE(list.Add(UnescapeText(row.caption), UnescapeText(row.content)));
        ASSERT_TRUE(list.Change(1, UnescapeText(list.Row(1).caption), UnescapeText(list.Row(1).content)));
        EXPECT_EQ(list.Row(1), row);
    }
}

// What the dialog's fields and list show is the text typed, for every
// Shift-JIS character: the file escapes the 0x5C second byte of ソ, 表 or 申
// like a backslash, so a field decoded as characters gains a stray one.
TEST(SettingRows, FieldsGiveBackWhatWasTypedForEveryShiftJisCharacter) {
    const testing::FakeShiftJis cp;
    std::vector<std::u16string> characters;
    for (unsigned lead = 0x81; lead <= 0xFC; lead = lead == 0x9F ? 0xE0 : lead + 1)
        for (unsigned trail = 0x40; trail <= 0xFC; ++trail)
            if (trail != 0x7F) characters.push_back(cp.ToUtf16(std::string{static_cast<char>(lead), static_cast<char>(trail)}));
    std::mt19937 rng(12);
    std::shuffle(characters.begin(), characters.end(), rng);
    const std::u16string ascii[] = {u"\\", u"\\", u"t", u"r", u"n", u"a", u" ", u"\uFF71"};
    const std::u16string breaks[] = {u"\t", u"\r\n"};

    std::size_t next = 0, round = 0;
    const auto text = [&](bool memo) {
        std::u16string typed;
        for (std::size_t n = 1 + rng() % 24; n > 0; --n) {
            const unsigned pick = rng() % 8;
            if (pick < 4 && next < characters.size()) typed += characters[next++];
            else if (memo && pick == 4) typed += breaks[rng() % 2];
            else typed += ascii[rng() % std::size(ascii)];
        }
        // The ends the store trims are not part of this property.
        return u"[" + typed + u"]";
    };
    while (next < characters.size()) {
        std::optional<std::string> file;
        test::RecordingReporter silent;
        TTypeMsg store(std::make_unique<test::MemoryFile>(file), silent, cp);
        SettingRows rows(store);
        std::vector<std::pair<std::u16string, std::u16string>> typed;
        for (std::size_t i = 0; i < MaxPhrases; ++i) typed.emplace_back(text(false), text(true));
        // Every other round, one character beyond the code page makes the file UTF-8.
        if (++round % 2 == 0) (rng() % 2 ? typed[rng() % MaxPhrases].first : typed[rng() % MaxPhrases].second) += u"😀";
        for (const auto& [cap, memo] : typed) ASSERT_TRUE(rows.Add(cap, memo));
        const auto expectTyped = [&](const SettingRows& list) {
            for (std::size_t i = 0; i < typed.size(); ++i) {
                ASSERT_EQ(list.CaptionText(i), typed[i].first) << Utf16ToUtf8(typed[i].first);
                ASSERT_EQ(list.ContentText(i), typed[i].second) << Utf16ToUtf8(typed[i].second);
            }
        };
        expectTyped(rows);
        store.SetExactLines(rows.ExactLines());
        store.Save();
        const std::optional<std::string> saved = file;

        TTypeMsg reread(std::make_unique<test::MemoryFile>(file), silent, cp);
        SettingRows again(reread);
        expectTyped(again);
        // Changing a row without editing it leaves its bytes as they are.
        for (std::size_t i = 0; i < again.Count(); ++i) {
            const PhraseRow before = again.Row(i);
            ASSERT_TRUE(again.Change(i, again.CaptionText(i), again.ContentText(i)));
            ASSERT_EQ(again.Row(i), before);
        }
        reread.SetExactLines(again.ExactLines());
        reread.Save();
        ASSERT_EQ(file, saved);
        EXPECT_TRUE(silent.messages.empty());
    }
}

TEST(SettingRows, ListShowsEachTextWithItsEscapesDecidedByCharacter) {
    const testing::FakeShiftJis cp;
    struct Case {
        const char* what;
        std::string line;  // as the file holds it
        std::u16string caption, content;
    };
    const Case cases[] = {
        {"0x5C second bytes, doubled in the file", "\x83\x5C\x5C\x95\x5C\x5C\t\x90\x5C\x5C\x81\x5C\x5C\x81\x5C\x5C",
         u"ソ表", u"申――"},
        {"CR LF, TAB and backslashes", "C:\\\\temp\\\\new\ta\\r\\n\\tb\\\\\x95\x5C\x5C",
         u"C:\\\\temp\\\\new", u"a\\r\\n\\tb\\\\表"},
        {"a caption written raw by earlier versions", "\x83\x5C\x93\xFA\tx", u"ソ日", u"x"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::optional<std::string> file = c.line + "\r\n";
        test::RecordingReporter silent;
        const TTypeMsg store(std::make_unique<test::MemoryFile>(file), silent, cp);
        const SettingRows rows(store);
        EXPECT_EQ(rows.ListCaption(0), c.caption);
        EXPECT_EQ(rows.ListContent(0), c.content);
    }
}

TEST(SettingRows, RefusesSilently) {
    SettingRows list;
    // Blank fields after Trim.
    EXPECT_FALSE(list.Add("   ", "x"));
    EXPECT_FALSE(list.Add("\t\r\n", "x"));
    EXPECT_FALSE(list.Add("c", " \r\n \r\n"));
    EXPECT_FALSE(list.Add("c", ""));
    EXPECT_EQ(list.Count(), 0u);

    // Thirty rows at most; a deletion makes room again.
    for (std::size_t i = 0; i < MaxPhrases; ++i) ASSERT_TRUE(list.Add("c" + std::to_string(i), "x"));
    EXPECT_FALSE(list.Add("one more", "x"));
    EXPECT_EQ(list.Count(), MaxPhrases);
    // A change needs no room.
    EXPECT_TRUE(list.Change(29, "last", "y"));
    EXPECT_TRUE(list.Delete(0));
    EXPECT_EQ(list.Row(0).caption, "c1");
    EXPECT_TRUE(list.Add("one more", "x"));
    EXPECT_EQ(list.Row(29).caption, "one more");

    // Change and delete need a selection that names a row.
    EXPECT_FALSE(list.Change(std::nullopt, "c", "x"));
    EXPECT_FALSE(list.Change(30, "c", "x"));
    EXPECT_FALSE(list.Change(0, " ", "x"));
    EXPECT_FALSE(list.Delete(std::nullopt));
    EXPECT_FALSE(list.Delete(30));
    EXPECT_EQ(list.Row(0).caption, "c1");
    EXPECT_EQ(list.Count(), MaxPhrases);

    list.Clear();
    EXPECT_TRUE(list.Lines().empty());
}

TEST(SettingRows, OkRewritesAHandEditedFileFromTheRows) {
    const test::ScratchFolder folder("qh-setting");
    const fs::path file = folder.PhraseFile();
    {
        std::ofstream out(file, std::ios::binary);
        out << "abc\r\n"                      // no TAB: caption and content alike
            << " cap \t  content  \textra\n"  // spaces and a third field
            << "\r"                           // an empty line
            << "greet\tHello\\r\\nWorld\r\n";
        for (int i = 0; i < 30; ++i) out << "n" << i << "\tv\r\n";  // over thirty
    }
    test::RecordingReporter silent;
    TTypeMsg store(OpenPhraseFile(file), silent);
    SettingRows list(store);
    ASSERT_EQ(list.Count(), 34u);  // all shown, more than thirty included
    const auto lines = list.Lines();
    EXPECT_EQ(lines[0], "abc\tabc");
    EXPECT_EQ(lines[1], "cap\tcontent");
    EXPECT_EQ(lines[2], "\t");
    EXPECT_EQ(lines[3], "greet\tHello\\r\\nWorld");
    EXPECT_EQ(lines[33], "n29\tv");

    // Handing the lines back and loading them again gives the same rows.
    store.SetLines(lines);
    store.Save();
    TTypeMsg reread(OpenPhraseFile(file), silent);
    EXPECT_EQ(SettingRows(reread).Rows(), list.Rows());
}

TEST(FitInsertion, KeepsTheContentWithinItsBytes) {
    const CodePage sjis = CodePage::ShiftJis();
    struct Case {
        const char* what;
        std::string insertion;
        std::size_t textBytes, replacedBytes, limit;
        std::size_t fit;
    };
    const Case cases[] = {
        {"room for all", "abc", 5, 0, 10, 3},
        {"cut at the limit", "abcdef", 5, 0, 10, 5},
        {"the replaced selection makes room", "abcdef", 10, 4, 10, 4},
        {"full: nothing goes in", "a", 10, 0, 10, 0},
        {"text set over the limit takes nothing", "a", 20, 1, 10, 0},
        {"a double-byte character is not split", "ab\x82\xA0", 7, 0, 10, 2},
        {"a double-byte character that fits", "ab\x82\xA0", 6, 0, 10, 4},
        {"0x5C trail byte stays with its lead byte", "\x95\x5C\x83\x5C", 7, 0, 10, 2},
        {"CR LF is not split", "a\r\nb", 8, 0, 10, 1},
        {"CR LF that fits", "a\r\nb", 7, 0, 10, 3},
        {"Enter on a full field", "\r\n", 9, 0, 10, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(FitInsertion(c.insertion, c.textBytes, c.replacedBytes, sjis, c.limit), c.fit);
    }
}

TEST(FitInsertion, PastingAMebibyteKeepsTheLimitExactlyOrOneByteLess) {
    const CodePage sjis = CodePage::ShiftJis();
    // Double-byte text starting on an odd offset: the 10240th byte would be
    // a lead byte, so one byte less goes in.
    std::string paste = "a";
    while (paste.size() < (1u << 20)) paste += "\x83\x5C";
    EXPECT_EQ(FitInsertion(paste, 0, 0, sjis), MemoMaxBytes - 1);
    EXPECT_EQ(FitInsertion(paste.substr(1), 0, 0, sjis), MemoMaxBytes);
    EXPECT_EQ(FitInsertion(std::string(1 << 20, 'x'), 100, 0, sjis), MemoMaxBytes - 100);
    EXPECT_EQ(FitInsertion(std::string(1 << 20, 'x'), 100, 0, CodePage::SingleByte()),
              MemoMaxBytes - 100);
}

}  // namespace
}  // namespace qh
