#include "menu.h"

#include <gtest/gtest.h>

#include <set>

namespace qh {
namespace {

// Shift-JIS words; 0x65 'e', 0x58 'X', 0x67 'g' and 0x41 'A' here are trail bytes.
const std::string Tesuto = "\x83\x65\x83\x58\x83\x67";
const std::string KataA = "\x83\x41";

std::vector<std::string> Captions(const std::vector<MenuLevelItem>& items) {
    std::vector<std::string> captions;
    for (const MenuLevelItem& item : items) captions.push_back(item.caption);
    return captions;
}

struct KeyCase {
    const char* what;
    bool shiftJis;
    std::vector<std::string> in, out;
};

TEST(LayOutMenuLevel, GivesAccessKeys) {
    const KeyCase cases[] = {
        {"first letter", false, {"hello"}, {"&hello"}},
        {"first letter, Japanese system", true, {"hello"}, {"&hello"}},
        {"first free letter", false, {"apple", "avocado"}, {"&apple", "a&vocado"}},
        {"digits", false, {"2024", "2025"}, {"&2024", "2&025"}},
        {"case-blind", false, {"Apple", "apple"}, {"&Apple", "a&pple"}},
        {"written key beats an earlier chosen one", false, {"open", "&Open"}, {"o&pen", "&Open"}},
        {"earlier written key wins", false, {"&Save", "&Sort"}, {"&Save", "S&ort"}},
        {"dropped marker exposes the next", false, {"&a", "&a&b"}, {"&a", "a&b"}},
        {"literal ampersands kept", false, {"&a", "x&&&a"}, {"&a", "&x&&a"}},
        {"ampersand pair is no key", false, {"&&A"}, {"&&&A"}},
        {"generated ampersand marks", false, {"R&D", "Dog"}, {"R&D", "D&og"}},
        {"key outside the set", false, {"&!bang", "bang"}, {"&!bang", "&bang"}},
        {"marker after TAB", false, {"Paste\tCtrl+&V", "v"}, {"Paste\tCtrl+&V", "v"}},
        {"chosen before TAB only", false, {"Copy\tCtrl+C", "\tK"}, {"&Copy\tCtrl+C", "\tK"}},
        {"empty caption", false, {"", "e"}, {"", "&e"}},
        {"nothing free", false, {"a", "a"}, {"&a", "a"}},
        {"dangling ampersand", false, {"ab&"}, {"&ab&"}},
        {"dots", false, {"Save...", "..."}, {"&Save...", "..."}},
        {"Japanese only", true, {Tesuto}, {Tesuto + "(&Z)"}},
        {"Japanese with a letter", true, {Tesuto + "A"}, {Tesuto + "A(&A)"}},
        {"appended in upper case", true, {Tesuto + "a"}, {Tesuto + "a(&A)"}},
        {"appended before dots", true, {Tesuto + "B...", Tesuto + "..."},
         {Tesuto + "B(&B)...", Tesuto + "(&Z)..."}},
        {"trail byte is no letter", true, {KataA + "B"}, {KataA + "B(&B)"}},
        {"single-byte system reads every byte", false, {Tesuto}, {"\x83&" + Tesuto.substr(1)}},
        {"key used up unseen", true, {"a", "a", Tesuto}, {"&a", "a", Tesuto + "(&Y)"}},
        {"half-width kana are single bytes", true, {"\xb1\xb2", Tesuto}, {"\xb1\xb2", Tesuto + "(&Y)"}},
        {"Japanese after a marker outside the set", true, {"&" + Tesuto, Tesuto},
         {"&" + Tesuto, Tesuto + "(&Z)"}},
        {"dangling ampersand before an appended key", true, {Tesuto + "&"}, {Tesuto + "&&(&Z)"}},
        {"separators take no key", true, {"-", "x", "-"}, {"-", "&x", "-"}},
    };
    for (const KeyCase& c : cases) {
        const CodePage cp = c.shiftJis ? CodePage::ShiftJis() : CodePage::SingleByte();
        EXPECT_EQ(Captions(LayOutMenuLevel(c.in, cp)), c.out) << c.what;
    }
}

TEST(LayOutMenuLevel, ReportsTheKeyItShows) {
    const auto items =
        LayOutMenuLevel({"&!x", "b", "b", Tesuto, "-"}, CodePage::ShiftJis());
    std::string keys;
    for (const MenuLevelItem& item : items) keys += item.key ? item.key : '.';
    EXPECT_EQ(keys, ".B.Y.");  // the second "b" used up Z without showing it
}

TEST(LayOutMenuLevel, KeepsTheProgramsOwnMenuAsWritten) {
    const std::vector<std::string> top = {
        "\xb8\xd8\xaf\xcc\xdf\xce\xde\xb0\xc4\xde\x97\x9a\x97\xf0(&C)",
        "\x92\xe8\x8c\x5e\x95\xb6\x8f\xcd(&T)",
        "\xb5\xcc\xdf\xbc\xae\xdd(&O)",
        "-",
        "\x90\xdd\x92\xe8(&A)...",
        "-",
        "\xca\xde\xb0\xbc\xde\xae\xdd\x8f\xee\x95\xf1(&V)...",
        "-",
        "\x8f\x49\x97\xb9(&X)",  // 0x49 'I' is a trail byte
    };
    const std::vector<std::string> options = {"\x91\x53\x97\x9a\x97\xf0\x8d\xed\x8f\x9c(&A)"};
    for (const auto& level : {top, options}) {
        const auto items = LayOutMenuLevel(level, CodePage::ShiftJis());
        EXPECT_EQ(Captions(items), level);
        for (const MenuLevelItem& item : items) EXPECT_TRUE(item.shown) << item.caption;
    }
}

TEST(LayOutMenuLevel, RunsOutOfKeysAfterTheWholeSet) {
    const std::string all = MenuKeySet;
    for (const bool shiftJis : {false, true}) {
        const std::string caption = shiftJis ? Tesuto : all;
        const auto items = LayOutMenuLevel(std::vector<std::string>(40, caption),
                                           shiftJis ? CodePage::ShiftJis() : CodePage::SingleByte());
        std::set<char> keys;
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (i < all.size()) {
                EXPECT_TRUE(keys.insert(items[i].key).second) << i;
                EXPECT_NE(items[i].caption, caption) << i;
            } else {
                EXPECT_EQ(items[i].key, 0) << i;
                EXPECT_EQ(items[i].caption, caption) << i;
            }
        }
        EXPECT_EQ(keys.size(), all.size());
    }
    const auto japanese = LayOutMenuLevel(std::vector<std::string>(36, Tesuto), CodePage::ShiftJis());
    EXPECT_EQ(japanese.front().caption, Tesuto + "(&Z)");
    EXPECT_EQ(japanese.back().caption, Tesuto + "(&1)");
    const auto latin = LayOutMenuLevel(std::vector<std::string>(36, all), CodePage::SingleByte());
    EXPECT_EQ(latin.back().caption, all.substr(0, 35) + "&Z");
}

TEST(LayOutMenuLevel, ReducesSeparators) {
    // 'x' an item, 'S' a shown separator, 's' a hidden one.
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"-", "a", "-", "-", "b", "-"}, "sxsSxs"},
        {{"-", "-"}, "ss"},
        {{"a", "-", "", "-"}, "xSxs"},
        {{"a", "--", "- ", "b"}, "xxxx"},
        {{}, ""},
    };
    for (const auto& [in, expected] : cases) {
        std::string layout;
        for (const MenuLevelItem& item : LayOutMenuLevel(in, CodePage::SingleByte())) {
            EXPECT_TRUE(item.shown || item.separator);
            layout += !item.separator ? 'x' : item.shown ? 'S' : 's';
        }
        EXPECT_EQ(layout, expected) << expected;
    }
}

}  // namespace
}  // namespace qh
