// The exact form of a text: the width measure, captions cut by it, UTF-8 for
// the phrase file and the history's sameness rule.
#include "unicode.h"

#include <gtest/gtest.h>

#include "fake_code_page.h"
#include "model.h"
#include "text.h"

namespace qh {
namespace {

using namespace std::literals;

TEST(WidthMeasure, CountsEachCharacterAsCodePage932Does) {
    struct Case {
        std::u16string text;
        std::size_t width;
    };
    const Case cases[] = {
        {u"", 0},
        {u"a\t\x7F", 3},                // ASCII, controls included
        {u"\uFF61\uFF9F", 2},           // the half-width katakana
        {u"\uFF60\uFFA0", 4},           // their neighbours are full width
        {u"\u0080é€あ髙", 10},          // held or not, everything else is 2
        {u"😀", 2},                     // a surrogate pair is one character
        {u"\xD83D"s + u"a" + u"\xDE00", 5},  // lone surrogates count 2 each
    };
    for (const Case& c : cases) EXPECT_EQ(TextWidth(c.text), c.width) << Utf16ToUtf8(c.text);
}

TEST(ExactCaption, CutsAtTheWidthLimitWithoutSplittingASurrogatePair) {
    std::u16string emoji;
    for (int i = 0; i < 30; ++i) emoji += u"😀";
    // Width 49 after "a" and 24 pairs: the 25th does not fit, not even half.
    EXPECT_EQ(ExactCaptionOf(u"a" + emoji), u"a" + emoji.substr(0, 48));
    EXPECT_EQ(ExactCaptionOf(emoji), emoji.substr(0, 50));
    // A cut inside an escape keeps its first characters, as with bytes.
    const std::u16string x47(47, u'x');
    EXPECT_EQ(ExactCaptionOf(u"😀" + x47 + u"\r\n"), u"😀" + x47 + u"\\");

    // A text that code page 932 holds gets the caption its bytes get.
    const testing::FakeShiftJis cp;
    for (std::size_t lead = 0; lead < 8; ++lead) {
        std::string ansi(lead, 'a');
        for (int i = 0; i < 8; ++i) ansi += "\x93\xFA\x96\x7B\\\r\n\xB1";  // 日本, backslash, CR LF, ｱ
        EXPECT_EQ(ExactCaptionOf(cp.ToUtf16(ansi)),
                  cp.ToUtf16(MenuCaptionOf(EscapeHistoryText(ansi), CodePage::ShiftJis())))
            << lead;
    }
}

TEST(Utf8, InvalidInputBecomesReplacementCharactersAndValidCharactersStay) {
    struct Case {
        std::string_view utf8;
        std::u16string text;
    };
    const Case cases[] = {
        {"a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", u"aé€😀"},
        {"a\xFF" "b\x80" "c", u"a\uFFFDb\uFFFDc"},           // bytes that never start a character
        {"\xC0\xAF\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"},  // overlong forms
        {"x\xED\xA0\x80y", u"x\uFFFD\uFFFD\uFFFDy"},        // an encoded surrogate
        {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // beyond U+10FFFF
        {"\xE6\x97" "a\xF0\x9F\x98", u"\uFFFDa\uFFFD"},     // cut short, at the end too
    };
    for (const Case& c : cases) EXPECT_EQ(Utf8ToUtf16(c.utf8), c.text) << c.utf8;
    // A lone surrogate cannot be written as UTF-8.
    EXPECT_EQ(Utf16ToUtf8(u"a\xD800" "b\xDC00"), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD");
}

TEST(History, TellsCopiesApartByTheirExactTexts) {
    const testing::FakeShiftJis cp;
    History h;
    h.CaptureClipboardText(FromExact(u"naïve", cp));
    h.CaptureClipboardText("na?ve");
    ASSERT_EQ(h.Count(), 2u);  // the same ANSI bytes, yet two texts
    EXPECT_FALSE(h.Exact(0));
    EXPECT_EQ(h.Exact(1), u"naïve");
    EXPECT_EQ(h.TextAt(1), "na?ve");
    h.CaptureClipboardText(FromExact(u"naive", cp));
    ASSERT_EQ(h.Count(), 3u);

    // The same text read in its exact form becomes that entry, at the top.
    h.CaptureClipboardText(FromExact(u"naïve", cp));
    h.CaptureClipboardText(FromExact(u"na?ve", cp));
    ASSERT_EQ(h.Count(), 3u);
    EXPECT_FALSE(h.Exact(0));
    EXPECT_EQ(h.Exact(1), u"naïve");

    // A lone surrogate is kept as it came, and its caption stays whole.
    const std::u16string lone = u"a\xD83D" "b";
    h.CaptureClipboardText(FromExact(lone, cp));
    EXPECT_EQ(h.Exact(0), lone);
    EXPECT_EQ(h.TextAt(0), "a?b");
    EXPECT_EQ(ExactCaptionOf(*h.Exact(0)), lone);
}

}  // namespace
}  // namespace qh
