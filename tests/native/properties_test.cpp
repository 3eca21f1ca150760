// Random inputs against plain reference versions of the same rules. The core
// scans eight bytes at a time; these find mistakes at word boundaries and
// with high bytes that a handful of fixed examples would miss.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "model.h"
#include "reference.h"
#include "text.h"

namespace qh {
namespace {

using namespace std::literals;

// Bytes that matter to the rules, bytes one bit away from them, and any byte.
std::string RandomBytes(std::mt19937& rng, std::size_t maxSize) {
    static const std::string tricky = "\\\\\r\n\t\0trn]\x0C\x0B\x08\x01\x80\xDC\x8D\x8A\x89\x95\x5C\x82\xA0"s;
    std::string s(rng() % (maxSize + 1), '\0');
    for (char& c : s) c = rng() % 5 ? tricky[rng() % tricky.size()] : static_cast<char>(rng());
    return s;
}

// Long text with the bytes the escapes care about now and then, as in prose:
// the fast paths work on 64-byte blocks and 4 KiB pieces, dense or sparse.
std::string SparseBytes(std::mt19937& rng, std::size_t maxSize) {
    std::string s = RandomBytes(rng, maxSize);
    const std::size_t gap = 2 + rng() % 40;
    for (std::size_t i = 0; i < s.size(); ++i)
        if (rng() % gap) s[i] = static_cast<char>('a' + rng() % 26);
    return s;
}

TEST(Properties, SplitLinesFollowsTheLineRulesOnRandomBytes) {
    std::mt19937 rng(11);
    for (int round = 0; round < 3000; ++round) {
        const std::string bytes = RandomBytes(rng, 60);
        ASSERT_EQ(SplitLines(bytes), reference::SplitLines(bytes)) << ::testing::PrintToString(bytes);
    }
}

TEST(Properties, EscapesAreTheirReplacementChainsAtEveryOffset) {
    std::mt19937 rng(12);
    std::vector<std::string> texts;
    // A CR LF, backslash or TAB at every position across three words.
    for (std::string_view special : {"\r\n", "\\", "\t", "\r", "\\\r\n\t"})
        for (std::size_t at = 0; at < 24; ++at)
            texts.push_back(std::string(at, 'x') + std::string(special) + std::string(24 - at, 'y'));
    for (int round = 0; round < 3000; ++round) texts.push_back(RandomBytes(rng, 80));
    for (int round = 0; round < 300; ++round) texts.push_back(SparseBytes(rng, round % 10 ? 600 : 9000));

    for (const std::string& text : texts) {
        ASSERT_EQ(EscapeHistoryText(text), reference::EscapeHistory(text)) << ::testing::PrintToString(text);
        ASSERT_EQ(EscapePhraseText(text), reference::EscapePhrase(text)) << ::testing::PrintToString(text);
    }
}

TEST(Properties, UnescapeTextDecodesAnyStoredBytesLeftToRight) {
    std::mt19937 rng(13);
    for (int round = 0; round < 3000; ++round) {
        // Hand-edited phrase files hold stored forms no escape produced.
        const std::string stored = round % 10 ? RandomBytes(rng, 80) : SparseBytes(rng, round % 100 ? 600 : 9000);
        ASSERT_EQ(UnescapeText(stored), reference::Decode(stored)) << ::testing::PrintToString(stored);
    }
}

TEST(Properties, CaptionsStayWithinTheirBytesAndWholeCharacters) {
    std::mt19937 rng(14);
    const CodePage sjis = CodePage::ShiftJis();
    for (int round = 0; round < 3000; ++round) {
        const std::string stored = RandomBytes(rng, 120);
        const std::string caption = MenuCaptionOf(stored, sjis);
        ASSERT_LE(caption.size(), MenuCaptionBytes);
        ASSERT_TRUE(reference::EndsOnCharacterBoundary(caption, sjis)) << ::testing::PrintToString(stored);
        ASSERT_TRUE(reference::Decode(stored.substr(0, MenuCaptionBytes)).starts_with(caption));
    }
}

}  // namespace
}  // namespace qh
