// Phrases beyond the ANSI code page: the file's two forms, the settings rows
// made from UTF-16 fields, the menu layout of UTF-16 captions and the content
// limit measured by width.
#include <gtest/gtest.h>

#include <random>

#include "fake_code_page.h"
#include "memory_file.h"
#include "menu.h"
#include "model.h"
#include "setting_rules.h"
#include "unicode.h"

namespace qh {
namespace {

using namespace std::literals;

using test::MemoryFile;

struct FailOnReport : Reporter {
    void Inform(std::string_view message) override { ADD_FAILURE() << message; }
};

class ExactPhrases : public ::testing::Test {
protected:
    std::unique_ptr<TTypeMsg> Open() {
        return std::make_unique<TTypeMsg>(std::make_unique<MemoryFile>(file_), reporter_, cp_);
    }
    static void Keep(TTypeMsg& store, const SettingRows& rows) {
        store.SetExactLines(rows.ExactLines());
        store.Save();
    }

    testing::FakeShiftJis cp_;
    FailOnReport reporter_;
    std::optional<std::string> file_;
};

TEST_F(ExactPhrases, FileStaysAnsiWhileEveryPhraseFitsAndIsUtf8WithABomOtherwise) {
    // 日本 TAB 表 (its 0x5C trail byte escaped), and a plain line.
    const std::string ansi = "\x93\xFA\x96\x7B\t\x95\x5C\x5C\r\nab\tc\r\n";
    file_ = ansi;
    auto store = Open();
    SettingRows rows(*store);
    Keep(*store, rows);
    EXPECT_EQ(file_, ansi);  // unchanged phrases are saved unchanged

    const std::u16string content = u"naïve 表\\ 😀\r\n€5";
    ASSERT_TRUE(rows.Add(u"日本😀", content));
    Keep(*store, rows);
    EXPECT_EQ(file_, "\xEF\xBB\xBF" "日本\t表\r\nab\tc\r\n日本😀\tnaïve 表\\\\ 😀\\r\\n€5\r\n");

    // Read back, the rows are the same in both forms, and choosing the new
    // phrase gives its exact text, and its ANSI bytes for an ANSI program.
    auto again = Open();
    EXPECT_EQ(SettingRows(*again).Rows(), rows.Rows());
    ASSERT_EQ(again->Count(), 3u);
    EXPECT_FALSE(again->ExactContents()[0]);
    EXPECT_EQ(UnescapeText(again->Contents()[0]), "\x95\x5C");
    EXPECT_EQ(WideMenuCaptionOf(*again->ExactCaptions()[2]), u"日本😀");
    EXPECT_EQ(UnescapeText(*again->ExactContents()[2]), content);
    EXPECT_EQ(UnescapeText(again->Contents()[2]), "na?ve \x95\x5C\\ ?\r\n?5");

    // Without that phrase the file is ANSI again, byte for byte.
    ASSERT_TRUE(rows.Delete(2));
    Keep(*again, rows);
    EXPECT_EQ(file_, ansi);
}

// UTF-16 after its byte order mark, as an editor saves it.
std::string Utf16File(std::u16string_view text, bool bigEndian) {
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (const char16_t c : text)
        bytes += {static_cast<char>(bigEndian ? c >> 8 : c), static_cast<char>(bigEndian ? c : c >> 8)};
    return bytes;
}

// In a UTF-8 or UTF-16 file the escapes are characters, so it reads as it looks
// in an editor: the 0x5C second byte of ソ or 表 in Shift-JIS is no backslash there.
TEST_F(ExactPhrases, AUtf8OrUtf16FileReadsAsWritten) {
    const std::string line = "ソt表r\tソt表r\\r\\n能\\\\予\\t貼n";
    const std::u16string caption = u"ソt表r", content = u"ソt表r\r\n能\\予\t貼n";
    struct Case {
        const char* what;
        std::string file;
        std::u16string caption, content;
    };
    const Case cases[] = {
        {"every character fits the code page", "\xEF\xBB\xBF" + line + "\r\n", caption, content},
        {"one that does not, in front", "\xEF\xBB\xBF😀" + line + "\r\n", u"😀" + caption, content},
        {"as an editor saves it, without a mark", line + "\r\n", caption, content},
        {"without a mark, ending in no line break", "日本\t😀\\t申", u"日本", u"😀\t申"},
        {"UTF-16 LE, as Notepad saves it", Utf16File(Utf8ToUtf16(line + "\r\n"), false), caption, content},
        {"UTF-16 BE, beyond the code page", Utf16File(u"😀ソ\t表\\\\\r\n", true), u"😀ソ", u"表\\"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        file_ = c.file;
        auto store = Open();
        SettingRows rows(*store);
        ASSERT_EQ(rows.Count(), 1u);
        EXPECT_EQ(rows.CaptionText(0), c.caption);
        EXPECT_EQ(rows.ContentText(0), c.content);
        // Saved (in Shift-JIS when every phrase fits) and read again, nothing changes.
        Keep(*store, rows);
        const std::optional<std::string> saved = file_;
        auto again = Open();
        SettingRows reread(*again);
        EXPECT_EQ(reread.CaptionText(0), c.caption);
        EXPECT_EQ(reread.ContentText(0), c.content);
        Keep(*again, reread);
        EXPECT_EQ(file_, saved);
    }
}

TEST_F(ExactPhrases, AShiftJisFileCloseToUtf8StaysShiftJis) {
    const std::string files[] = {
        // E3 81 82 is UTF-8 'あ'; the A0 after it is not.
        "\xE3\x81\x82\xA0\tx\r\n",
        // Half-width katakana in pairs that are UTF-8 sequences, but for the last.
        "\xC3\xBD\t\xC3\xBD\xC4\r\n",
        // A 0x5C second byte escaped, then a lead byte without its trail.
        "\xC3\xA9\x95\x5C\x5C\t\xE3\x81",
    };
    for (const std::string& bytes : files) {
        file_ = bytes;
        const auto store = Open();
        EXPECT_EQ(store->Lines(), SplitLines(bytes));
        for (const auto& exact : store->ExactLines()) EXPECT_FALSE(exact);
    }
}

TEST_F(ExactPhrases, BadTextsLoseOnlyTheirInvalidParts) {
    file_ = "\xEF\xBB\xBF" "ok\t\xE6\x97\xA5\xFF\r\n"
            "bad\xC3\t\xE2\x82" "\r\n"
            "\xF0\x9F\x98\x80\tx\xED\xA0\x80y"s;
    auto store = Open();
    ASSERT_EQ(store->Count(), 3u);
    EXPECT_EQ(store->ExactCaptions()[1], u"bad\uFFFD");
    EXPECT_EQ(store->ExactContents()[0], u"日\uFFFD");
    EXPECT_EQ(store->ExactContents()[1], u"\uFFFD");
    EXPECT_EQ(store->ExactCaptions()[2], u"😀");
    EXPECT_EQ(store->ExactContents()[2], u"x\uFFFD\uFFFD\uFFFDy");

    // A lone surrogate typed into the dialog is saved as U+FFFD, the rest kept.
    SettingRows rows(*store);
    ASSERT_TRUE(rows.Add(u"a\xD800", u"b\xDC00" "c"));
    Keep(*store, rows);
    EXPECT_TRUE(file_->ends_with("a\xEF\xBF\xBD\tb\xEF\xBF\xBD" "c\r\n"));
    EXPECT_EQ(Open()->ExactCaptions()[3], u"a\uFFFD");

    // In UTF-16, a lone surrogate, and a last byte without its pair.
    file_ = Utf16File(u"a\xDC00\tb\xD800", true) + "x";
    store = Open();
    EXPECT_EQ(store->ExactCaptions()[0], u"a\uFFFD");
    EXPECT_EQ(store->ExactContents()[0], u"b\uFFFD\uFFFD");
}

TEST(ExactRows, FieldsTheCodePageHoldsGiveTheRowTheirBytesGive) {
    const testing::FakeShiftJis cp;
    const std::pair<std::string, std::string> fields[] = {
        {"  name \r\n", "  two\r\nlines  "},
        {"a\tb\r\nc\rd\ne", "1\r2\n3\r\n4\n\r5"},
        {"\x83\x5C\x95\x5C", "\x95\x5C\x8C\xEA C:\\dir\tx"},  // 0x5C trail bytes
        {"\xB1\xB2", "\x96\x7B\\"},
    };
    for (const auto& [cap, memo] : fields) {
        const auto ansi = MakeRow(cap, memo);
        const auto wide = MakeRow(cp.ToUtf16(cap), cp.ToUtf16(memo), cp);
        ASSERT_TRUE(ansi && wide);
        EXPECT_EQ(*wide, *ansi) << cap;
    }
}

TEST(WideMenuLevel, LaysOutAsTheAnsiLevelDoesAndMarksCharactersBeyondIt) {
    const testing::FakeShiftJis cp;
    const char* const parts[] = {"a", "x", "1", "&", "&&", "-", "...", "\t", " ", "\x93\xFA", "\xB1", "\x95\x5C"};
    std::mt19937 rng(7);
    for (int round = 0; round < 400; ++round) {
        std::vector<std::string> ansi(rng() % 40);
        for (std::string& caption : ansi)
            for (std::size_t n = rng() % 5; n > 0; --n) caption += parts[rng() % std::size(parts)];
        std::vector<std::u16string> wide;
        for (const std::string& caption : ansi) wide.push_back(cp.ToUtf16(caption));
        for (const bool japanese : {true, false}) {
            const auto expected = LayOutMenuLevel(ansi, japanese ? CodePage::ShiftJis() : CodePage::SingleByte());
            const auto got = LayOutMenuLevel(wide, japanese);
            ASSERT_EQ(got.size(), expected.size());
            for (std::size_t i = 0; i < got.size(); ++i) {
                EXPECT_EQ(got[i].caption, cp.ToUtf16(expected[i].caption)) << round << ' ' << i;
                EXPECT_EQ(std::tie(got[i].separator, got[i].shown, got[i].key),
                          std::tie(expected[i].separator, expected[i].shown, expected[i].key));
            }
        }
    }
    const auto items = LayOutMenuLevel({u"😀", u"😀a...", u"é"}, true);
    EXPECT_EQ(items[0].caption, u"😀(&Z)");  // no key to mark in place: the last free one
    EXPECT_EQ(items[1].caption, u"😀a(&A)...");
    EXPECT_EQ(items[2].caption, u"é(&Y)");
}

TEST(FitInsertion, MeasuresUtf16ByWidthAndKeepsPairsAndLineBreaksWhole) {
    struct Case {
        std::u16string insertion;
        std::size_t textWidth, replacedWidth, limit, fit;
    };
    const Case cases[] = {
        {u"ab😀c", 0, 0, 3, 2},      // half the pair's width is not enough
        {u"ab😀c", 0, 0, 4, 4},
        {u"ab\r\nc", 0, 0, 3, 2},    // CR LF whole or not at all
        {u"\uFF71\uFF72\uFF73", 8, 0, 10, 2},  // half-width katakana count 1
        {u"ああ", 9, 3, 10, 2},     // the replaced part makes room
        {u"x", 12, 0, 10, 0},       // already over the limit
    };
    for (const Case& c : cases)
        EXPECT_EQ(FitInsertion(c.insertion, c.textWidth, c.replacedWidth, c.limit), c.fit)
            << Utf16ToUtf8(c.insertion);
    EXPECT_EQ(FitInsertion(std::u16string(20000, u'あ'), 0, 0), MemoMaxBytes / 2);
}

}  // namespace
}  // namespace qh
