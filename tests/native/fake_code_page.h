// Code page 932 for a handful of characters, as the system converts them:
// ASCII and half-width katakana as single bytes, a few kanji and kana as
// Shift-JIS pairs (two with a 0x5C trail byte), anything else '?'. And UTF-8.
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
                char16_t c = u'\u30FB';  // the system's stand-in for an unknown pair
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
        {u'さ', 0x82B3}, {u'ん', 0x82F1}, {u'あ', 0x82A0},
    };
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
