// Code page 932 as the system converts it, in shape: ASCII and half-width
// katakana as single bytes, and every lead and trail byte pair as one
// character of its own. A few kanji and kana (those with a 0x5C trail byte
// among them) are their real selves; every other pair stands for a made-up
// character of CJK Extension A or the private use area. Characters no pair
// gives become '?'. And UTF-8.
#pragma once

#include <string>
#include <string_view>

#include "text.h"
#include "unicode.h"

namespace qh::testing {

class FakeShiftJis final : public AnsiCodePage {
public:
    std::string FromUtf16(std::u16string_view text) const override {
        std::string out;
        for (std::size_t i = 0; i < text.size(); i += UnitsAt(text, i)) {
            const char16_t c = text[i];
            if (c < 0x80) {
                out += static_cast<char>(c);
            } else if (c >= 0xFF61 && c <= 0xFF9F) {
                out += static_cast<char>(0xA1 + (c - 0xFF61));
            } else if (const Pair* p = Find(c)) {
                out += static_cast<char>(p->sjis >> 8);
                out += static_cast<char>(p->sjis & 0xFF);
            } else if (const unsigned sjis = MadeUpPair(c); sjis != 0) {
                out += static_cast<char>(sjis >> 8);
                out += static_cast<char>(sjis & 0xFF);
            } else {
                out += '?';
            }
        }
        return out;
    }

    std::u16string ToUtf16(std::string_view ansi) const override {
        const CodePage sjis = CodePage::ShiftJis();
        std::u16string out;
        for (std::size_t i = 0; i < ansi.size(); ++i) {
            const auto b = static_cast<unsigned char>(ansi[i]);
            if (b < 0x80) {
                out += b;
            } else if (b >= 0xA1 && b <= 0xDF) {
                out += static_cast<char16_t>(0xFF61 + (b - 0xA1));
            } else if (sjis.IsLeadByte(b) && i + 1 < ansi.size()) {
                const unsigned code = b << 8 | static_cast<unsigned char>(ansi[++i]);
                char16_t c = MadeUpCharacter(code);
                for (const Pair& p : Pairs)
                    if (p.sjis == code) c = p.wide;
                out += c;
            } else {
                out += u'\u30FB';
            }
        }
        return out;
    }

private:
    struct Pair {
        char16_t wide;
        unsigned sjis;
    };
    static constexpr Pair Pairs[] = {
        {u'表', 0x955C}, {u'ソ', 0x835C}, {u'日', 0x93FA}, {u'本', 0x967B}, {u'語', 0x8CEA},
        {u'野', 0x96EC}, {u'家', 0x89C6}, {u'の', 0x82CC}, {u'髙', 0xEEE0}, {u'橋', 0x8BB4},
        {u'さ', 0x82B3}, {u'ん', 0x82F1}, {u'あ', 0x82A0}, {u'申', 0x905C}, {u'能', 0x945C},
        {u'十', 0x8F5C}, {u'予', 0x975C}, {u'貼', 0x935C}, {u'―', 0x815C},
    };
    static constexpr std::size_t TrailCount = 188;  // 0x40..0x7E and 0x80..0xFC
    static constexpr char16_t FirstMadeUp = 0x3400, SecondMadeUp = 0xE000;
    static constexpr unsigned ExtensionACount = 0x4DC0 - FirstMadeUp;

    static unsigned PairIndex(unsigned code) {
        const unsigned lead = code >> 8, trail = code & 0xFF;
        const unsigned leadIndex = lead <= 0x9F ? lead - 0x81 : lead - 0xE0 + 31;
        const unsigned trailIndex = trail <= 0x7E ? trail - 0x40 : trail - 0x80 + 63;
        return leadIndex * TrailCount + trailIndex;
    }
    static bool ValidTrail(unsigned trail) { return trail >= 0x40 && trail <= 0xFC && trail != 0x7F; }
    static char16_t MadeUpCharacter(unsigned code) {
        if (!ValidTrail(code & 0xFF)) return u'\u30FB';  // the system's stand-in for an unknown pair
        const unsigned index = PairIndex(code);
        return static_cast<char16_t>(index < ExtensionACount ? FirstMadeUp + index
                                                             : SecondMadeUp + (index - ExtensionACount));
    }
    // The pair a made-up character stands for, 0 for none.
    static unsigned MadeUpPair(char16_t c) {
        unsigned index = 0;
        if (c >= FirstMadeUp && c < FirstMadeUp + ExtensionACount) index = c - FirstMadeUp;
        else if (c >= SecondMadeUp && c <= 0xF8FF) index = c - SecondMadeUp + ExtensionACount;
        else return 0;
        const unsigned leadIndex = index / TrailCount, trailIndex = index % TrailCount;
        if (leadIndex >= 60) return 0;
        const unsigned code = (leadIndex < 31 ? 0x81 + leadIndex : 0xE0 + leadIndex - 31) << 8 |
                              (trailIndex < 63 ? 0x40 + trailIndex : 0x80 + trailIndex - 63);
        for (const Pair& p : Pairs)
            if (p.sjis == code) return 0;  // that pair is a real character
        return code;
    }
    static const Pair* Find(char16_t c) {
        for (const Pair& p : Pairs)
            if (p.wide == c) return &p;
        return nullptr;
    }
};

// UTF-8 as the ANSI code page, as Windows 10 and 11 offer it: every
// character is held, none needs an exact form.
class FakeUtf8 final : public AnsiCodePage {
public:
    std::string FromUtf16(std::u16string_view text) const override { return Utf16ToUtf8(text); }
    std::u16string ToUtf16(std::string_view ansi) const override { return Utf8ToUtf16(ansi); }
};

}  // namespace qh::testing
