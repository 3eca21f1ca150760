// Texts beyond the ANSI code page: how the clipboard's text blocks are read,
// which form of a copy is the truth, and what choosing an exact entry puts
// back.
#include "shell_test_support.h"

namespace qh::test {
namespace {

using UnicodeCopies = MainWindowTest;

std::string BytesOf(std::u16string_view text) {
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(char16_t));
}

// A block holding `bytes`, made by shrinking a longer block of text without
// any NUL: its old bytes stay beyond its new end, where a reader that ran
// past GlobalSize would find them.
HGLOBAL ShrunkBlock(const std::string& bytes) {
    const std::string filler(bytes.size() + 64, 'x');
    HGLOBAL block = BlockOf(filler.data(), filler.size());
    std::memcpy(GlobalLock(block), bytes.data(), bytes.size());
    GlobalUnlock(block);
    HGLOBAL shrunk = GlobalReAlloc(block, bytes.size(), GMEM_MOVEABLE);
    return shrunk ? shrunk : block;
}

// On the clipboard Wine writes a NUL over the last byte of every text
// block, so only a block of the test's own shows where the reader stops.
TEST(TextBlock, IsReadWithinItsSizeKeepingEveryValidCharacter) {
    const struct {
        const char* what;
        std::string bytes;
        std::u16string unicode;  // what CF_UNICODETEXT gives
    } cases[] = {
        {"no NUL", BytesOf(u"abc"), u"abc"},
        {"an odd size", BytesOf(u"abc") + "d", u"abc"},
        {"text after the NUL", BytesOf(std::u16string(u"ab\0cd", 5)), u"ab"},
        {"lone surrogates", BytesOf(u"a\xD83D" u"b\xDE00" u"c\xD83D\xDE00"), u"a\xD83D" u"b\xDE00" u"c\xD83D\xDE00"},
        {"a lone high surrogate at the end", BytesOf(u"z\xD840"), u"z\xD840"},
        {"one byte", "y", u""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        HGLOBAL block = ShrunkBlock(c.bytes);
        ASSERT_EQ(GlobalSize(block), c.bytes.size());
        EXPECT_EQ(win::UnicodeTextOfBlock(block), c.unicode);
        GlobalFree(block);
    }
    HGLOBAL ansi = ShrunkBlock("abc");
    EXPECT_EQ(win::AnsiTextOfBlock(ansi), "abc");
    GlobalFree(ansi);
}

std::optional<std::u16string> NewestExact(const win::TFMain& main) {
    return main.History && main.History->Count() ? main.History->Exact(0) : std::nullopt;
}

// Another program may put both forms with texts that differ; the one it
// put first is what it copied, the other came from it or stands in for it.
TEST_F(UnicodeCopies, TheTextFormPutFirstIsTheTruth) {
    const std::u16string exact = u"naïve 😀";
    const std::string other("naive :)\0", 9);
    Start();
    PutClipboard({{CF_UNICODETEXT, BytesOf(exact) + std::string(2, '\0')}, {CF_TEXT, other}});
    EXPECT_EQ(NewestExact(*main), exact);
    EXPECT_EQ(HistoryEntries(), (std::vector<std::string>{AnsiOf(L"naïve 😀")}));

    PutClipboard({{CF_TEXT, other}, {CF_UNICODETEXT, BytesOf(exact) + std::string(2, '\0')}});
    EXPECT_EQ(NewestExact(*main), std::nullopt);
    EXPECT_EQ(HistoryEntries(), (std::vector<std::string>{"naive :)", AnsiOf(L"naïve 😀")}));

    // A Unicode copy the code page holds is an ANSI entry like any other.
    PutClipboard({{CF_UNICODETEXT, BytesOf(u"日本語") + std::string(2, '\0')}});
    EXPECT_EQ(NewestExact(*main), std::nullopt);
    EXPECT_EQ(HistoryEntries().front(), Ansi("日本語"));
}

std::u16string ClipboardUnicode() {
    std::u16string text;
    if (!OpenClipboard(ClipboardOwner())) return u"<busy>";
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) text = win::UnicodeTextOfBlock(data);
    CloseClipboard();
    return text;
}

// Choosing an entry puts both forms back; the change comes back as the
// same entry at the top, never as a second one.
TEST_F(UnicodeCopies, AChosenEntryGoesBackInBothFormsAndStaysOneEntry) {
    const std::u16string exact = u"𠮷野家の髙橋さん 😀";
    // A lead byte with no trail: its Unicode form does not give these bytes back.
    const std::string undefined = "ends in a lead byte \x82";
    Start();
    PutClipboard({{CF_UNICODETEXT, BytesOf(exact) + std::string(2, '\0')}});
    CopyText(undefined);
    CopyText("newest");
    std::wstring caption;
    OpenMenu([&](HMENU menu) {
        caption = Captions(Submenu(menu, 0)).at(2);
        return ItemsOf(Submenu(menu, 0)).at(2).id;
    });
    EXPECT_EQ(caption, L"𠮷野家の髙橋さん 😀(&Z)");
    EXPECT_EQ(ClipboardUnicode(), exact);
    EXPECT_EQ(ClipboardText(), AnsiOf(L"𠮷野家の髙橋さん 😀"));
    EXPECT_EQ(NewestExact(*main), exact);
    EXPECT_EQ(HistoryEntries().size(), 3u);

    OpenMenu([&](HMENU menu) { return ItemsOf(Submenu(menu, 0)).at(2).id; });
    EXPECT_EQ(ClipboardText(), undefined);
    EXPECT_EQ(HistoryEntries(), (std::vector<std::string>{undefined, AnsiOf(L"𠮷野家の髙橋さん 😀"), "newest"}));
}

}  // namespace
}  // namespace qh::test
