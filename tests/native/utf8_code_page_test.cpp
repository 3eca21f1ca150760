// UTF-8 as the system's ANSI code page, the option Windows 10 and 11 offer
// as "Beta: Unicode UTF-8": captions, the history and the phrases.
#include <gtest/gtest.h>

#include "fake_code_page.h"
#include "memory_file.h"
#include "reporters.h"
#include "model.h"
#include "setting_rules.h"
#include "text.h"
#include "unicode.h"

namespace qh {
namespace {

TEST(Utf8CodePage, CaptionsAreCutByWidthAndNeverInsideACharacter) {
    const CodePage utf8 = CodePage::Utf8();
    const testing::FakeUtf8 ansi;
    const struct {
        std::u16string stored, caption;
    } cases[] = {
        {std::u16string(30, u'語'), std::u16string(25, u'語')},
        {std::u16string(49, u'a') + u"漢字", std::u16string(49, u'a')},
        {u"😀" + std::u16string(30, u'あ'), u"😀" + std::u16string(24, u'あ')},
        {u"行1\\r\\n行2", u"行1\r\n行2"},
    };
    for (const auto& c : cases) EXPECT_EQ(AnsiMenuCaptionOf(Utf16ToUtf8(c.stored), utf8, ansi), c.caption);
    // "a語": a limit inside 語 backs to its start.
    for (std::size_t limit : {2u, 3u}) EXPECT_EQ(utf8.BoundaryAtOrBefore("a\xE8\xAA\x9E", limit), 1u);
    EXPECT_EQ(utf8.BoundaryAtOrBefore("a\xE8\xAA\x9E", 4), 4u);
}

TEST(Utf8CodePage, HistoryAndPhrasesComeBackAsTheyWere) {
    const testing::FakeUtf8 ansi;
    const std::u16string text = u"𠮷野家の髙橋さん naïve 😀 表\\ソ\r\n2行目";
    History history;
    history.CaptureClipboardText(FromExact(text, ansi));
    EXPECT_EQ(history.Exact(0), std::nullopt) << "UTF-8 holds every character";
    EXPECT_EQ(ansi.ToUtf16(UnescapeText(history.Entry(0))), text);

    std::optional<std::string> file;
    test::RecordingReporter reporter;
    TTypeMsg store(std::make_unique<test::MemoryFile>(file), reporter, ansi);
    SettingRows rows(store);
    ASSERT_TRUE(rows.Add(u"挨拶😀", text));
    store.SetExactLines(rows.ExactLines());
    store.Save();
    ASSERT_TRUE(file);
    EXPECT_FALSE(file->starts_with(Utf8Bom)) << "every phrase fits the code page";

    TTypeMsg again(std::make_unique<test::MemoryFile>(file), reporter, ansi);
    EXPECT_EQ(SettingRows(again).Rows(), rows.Rows());
    ASSERT_EQ(again.Count(), 1u);
    EXPECT_EQ(ansi.ToUtf16(UnescapeText(again.Contents()[0])), text);
    EXPECT_TRUE(reporter.messages.empty());
}

}  // namespace
}  // namespace qh
