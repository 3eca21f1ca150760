#include "text.h"

#include <gtest/gtest.h>

#include <random>

namespace qh {
namespace {

TEST(ReplaceAll, ScansLeftToRightWithoutOverlap) {
    EXPECT_EQ(ReplaceAll("", "a", "b"), "");
    EXPECT_EQ(ReplaceAll("xyz", "a", "b"), "xyz");
    EXPECT_EQ(ReplaceAll("abc", "", "X"), "abc");
    EXPECT_EQ(ReplaceAll("\\\\\\", "\\\\", "!"), "!\\");
    EXPECT_EQ(ReplaceAll("aaa", "a", "aa"), "aaaaaa");  // replacements are not rescanned
}

TEST(Trim, DropsControlBytesAndSpacesAtBothEnds) {
    EXPECT_EQ(Trim("   "), "");
    EXPECT_EQ(Trim("\ta\r"), "a");
    EXPECT_EQ(Trim(std::string("\0 a b\n", 6)), "a b");
    EXPECT_EQ(Trim("\x81\x40"), "\x81\x40");  // high bytes are not blanks
}

TEST(GetField, FollowsTheTabRules) {
    EXPECT_EQ(GetField("abc", 1), "abc");
    EXPECT_EQ(GetField("abc", 2), "abc");
    EXPECT_EQ(GetField("a\tb\tc", 2), "b");
    EXPECT_EQ(GetField("a\tb\tc", 3), "c");
    EXPECT_EQ(GetField("cap\t", 2), "");
    EXPECT_EQ(GetField("  cap \t  body  ", 1), "cap");
    EXPECT_EQ(GetField("  cap \t  body  ", 2), "body");
}

TEST(Escape, HistoryAndPhraseForms) {
    EXPECT_EQ(EscapeHistoryText("a\r\nb"), "a\\r\\nb");
    EXPECT_EQ(EscapeHistoryText("C:\\dir"), "C:\\\\dir");
    EXPECT_EQ(EscapeHistoryText("x\ty"), "x\ty");
    EXPECT_EQ(EscapePhraseText("x\ty"), "x\\ty");
    EXPECT_EQ(EscapeHistoryText("a\nb\rc"), "a\nb\rc");
    EXPECT_EQ(EscapePhraseText("a\nb\rc"), "a\nb\rc");
    EXPECT_EQ(EscapeHistoryText("\r\r\n\\"), "\r\\r\\n\\\\");
    EXPECT_EQ(EscapePhraseText("\t\\\r\n"), "\\t\\\\\\r\\n");
}

TEST(UnescapeText, IsTheExactInverseOfBothEscapes) {
    // Texts whose three-pass decoding would have corrupted them.
    for (const std::string text : {"C:\\temp", "C:\\temp\\new", "\\t", "\\r\\n", "a\\\\tb",
                                   "end\\", "\\", "\x95\x5C", "\x83\x5C\x74"}) {
        EXPECT_EQ(UnescapeText(EscapeHistoryText(text)), text) << text;
        EXPECT_EQ(UnescapeText(EscapePhraseText(text)), text) << text;
    }
    EXPECT_EQ(EscapeHistoryText("C:\\temp"), "C:\\\\temp");
    EXPECT_EQ(UnescapeText("a\\r\\nb"), "a\r\nb");
    EXPECT_EQ(UnescapeText("A\\tB"), "A\tB");
    // A backslash that starts no escape stays as it is.
    EXPECT_EQ(UnescapeText("\\x\\r\\"), "\\x\\r\\");
}

TEST(UnescapeText, RoundTripsRandomBytes) {
    std::mt19937 rng(12345);
    // Bias towards the bytes that matter to the escapes.
    const std::string alphabet = "\\\\\\trn\r\n\t\x81\x5C a\0";
    for (int round = 0; round < 5000; ++round) {
        std::string text(rng() % 40, '\0');
        for (char& c : text)
            c = rng() % 4 ? alphabet[rng() % alphabet.size()] : static_cast<char>(rng());
        ASSERT_EQ(UnescapeText(EscapePhraseText(text)), text);
        ASSERT_EQ(UnescapeText(EscapeHistoryText(text)), text);
    }
}

TEST(MenuCaptionOf, CutsTheStoredFormAt50Bytes) {
    const std::string sixty(60, 'x');
    EXPECT_EQ(MenuCaptionOf(sixty), std::string(50, 'x'));
    EXPECT_EQ(MenuCaptionOf(""), "");
    EXPECT_EQ(MenuCaptionOf("a\\r\\nb"), "a\r\nb");
    // A cut inside an escape keeps the escape's first bytes.
    EXPECT_EQ(MenuCaptionOf(std::string(48, 'x') + "\\r\\n"), std::string(48, 'x') + "\\r");
}

TEST(MenuCaptionOf, NeverEndsInHalfADoubleByteCharacter) {
    const CodePage sjis = CodePage::ShiftJis();
    const std::string a = "\x82\xA0";  // HIRAGANA A
    // 49 single bytes then a double-byte character straddling the cut.
    EXPECT_EQ(MenuCaptionOf(std::string(49, 'x') + a, sjis), std::string(49, 'x'));
    EXPECT_EQ(MenuCaptionOf(std::string(48, 'x') + a + "yy", sjis), std::string(48, 'x') + a);
    // 25 characters fill the 50 bytes exactly.
    std::string full;
    for (int i = 0; i < 26; ++i) full += a;
    EXPECT_EQ(MenuCaptionOf(full, sjis).size(), 50u);
    // A trail byte 0x5C is escaped in the stored form; the cut still ends cleanly.
    const std::string hyo = "\x95\x5C";  // '表'
    const std::string stored = EscapeHistoryText(std::string(48, 'x') + hyo + "z");
    EXPECT_EQ(MenuCaptionOf(stored, sjis), std::string(48, 'x') + hyo);
    // Single-byte code pages cut at exactly 50 bytes.
    EXPECT_EQ(MenuCaptionOf(std::string(49, 'x') + a).size(), 50u);
}

}  // namespace
}  // namespace qh
