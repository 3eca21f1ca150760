#include "text.h"

#include <bit>
#include <cstdint>
#include <cstring>

namespace qh {

CodePage CodePage::ShiftJis() {
    return FromPredicate([](unsigned char b) {
        return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
    });
}

std::size_t CodePage::BoundaryAtOrBefore(std::string_view s, std::size_t limit) const {
    if (limit >= s.size()) limit = s.size();
    std::size_t i = 0;
    while (i < limit) {
        const std::size_t width = IsLeadByte(static_cast<unsigned char>(s[i])) ? 2 : 1;
        if (i + width > limit) break;
        i += width;
    }
    return i;
}

std::string ReplaceAll(std::string_view source, std::string_view pattern,
                       std::string_view replacement) {
    if (pattern.empty()) return std::string(source);
    std::string result;
    std::size_t from = 0;
    for (std::size_t at; (at = source.find(pattern, from)) != std::string_view::npos;
         from = at + pattern.size()) {
        result.append(source, from, at - from);
        result.append(replacement);
    }
    result.append(source, from);
    return result;
}

namespace {

bool IsTrimmed(char c) { return static_cast<unsigned char>(c) <= 0x20; }

// Eight bytes at a time. Clipboard texts run to tens of megabytes, and the
// bytes the escapes care about are sparse in prose but come every few bytes
// in lists of paths; a word-wide search stays fast in both.
using Word = std::uint64_t;
constexpr Word Ones = 0x0101010101010101;
constexpr Word Lows = 0x7F7F7F7F7F7F7F7F;
constexpr Word FirstByteMark = 0x80;

// Byte i of the text is byte i of the word from its low end, on any machine.
Word Load(const char* p) {
    Word x = 0;
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(&x, p, sizeof x);
    } else {
        for (int i = 7; i >= 0; --i) x = (x << 8) | static_cast<unsigned char>(p[i]);
    }
    return x;
}
void Store(char* p, Word x) {
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(p, &x, sizeof x);
    } else {
        for (int i = 0; i < 8; ++i, x >>= 8) p[i] = static_cast<char>(x & 0xFF);
    }
}

// The top bit of every byte equal to c, and no other bit.
Word Matches(Word x, char c) {
    const Word y = x ^ (Ones * static_cast<unsigned char>(c));
    return ~(((y & Lows) + Lows) | y | Lows);
}
std::size_t CountMarks(Word marks) { return static_cast<std::size_t>(((marks >> 7) * Ones) >> 56); }
std::size_t FirstMarked(Word marks) { return static_cast<std::size_t>(std::countr_zero(marks)) / 8; }

// `escapeTab` adds the phrase form's TAB escape to the history form.
template <bool escapeTab>
Word EscapedBytes(Word x) {
    Word marks = Matches(x, '\\') | Matches(x, '\r');
    if constexpr (escapeTab) marks |= Matches(x, '\t');
    return marks;
}

template <bool escapeTab>
std::size_t EscapedSize(std::string_view text) {
    const char* p = text.data();
    const char* const end = p + text.size();
    std::size_t size = text.size();
    bool crBefore = false;  // a CR LF may straddle two words
    for (; end - p >= 8; p += 8) {
        const Word x = Load(p);
        Word doubled = Matches(x, '\\');
        if constexpr (escapeTab) doubled |= Matches(x, '\t');
        const Word cr = Matches(x, '\r'), lf = Matches(x, '\n');
        size += CountMarks(doubled) + 2 * CountMarks(cr & (lf >> 8));
        if (crBefore && (lf & FirstByteMark)) size += 2;
        crBefore = (cr >> 63) != 0;
    }
    for (; p < end; ++p) {
        if (*p == '\\' || (escapeTab && *p == '\t')) size += 1;
        else if (*p == '\n' && crBefore) size += 2;
        crBefore = *p == '\r';
    }
    return size;
}

// Writes the escape of the byte at p, or the byte itself; advances both.
template <bool escapeTab>
char* EscapeOne(const char*& p, const char* end, char* w) {
    const char c = *p++;
    if (c == '\\' || (escapeTab && c == '\t')) {
        w[0] = '\\';
        w[1] = c == '\t' ? 't' : '\\';
        return w + 2;
    }
    if (c == '\r' && p != end && *p == '\n') {
        ++p;
        std::memcpy(w, "\\r\\n", 4);
        return w + 4;
    }
    *w = c;
    return w + 1;
}

// Copies `p`..`end` to `w` a word at a time up to each byte that `marksOf`
// marks in a word, and lets `one` write that byte's rewriting (advancing
// both pointers). The caller's output has room for a whole word at every
// step: escaping never shrinks, decoding never runs ahead of its input.
template <class MarksOf, class One>
char* RewriteMarked(const char* p, const char* const end, char* w, MarksOf marksOf, One one) {
    while (p != end) {
        if (end - p >= 8) {
            const Word x = Load(p);
            const Word marks = marksOf(x);
            Store(w, x);
            if (!marks) {
                w += 8;
                p += 8;
                continue;
            }
            const std::size_t plain = FirstMarked(marks);
            w += plain;
            p += plain;
        }
        w = one(p, end, w);
    }
    return w;
}

// The output is sized exactly by a counting pass, so escaping a huge text
// never holds more than the text and its one escaped copy.
template <bool escapeTab>
std::string Escape(std::string_view text) {
    const std::size_t size = EscapedSize<escapeTab>(text);
    if (size == text.size()) return std::string(text);

    std::string out(size, '\0');
    RewriteMarked(text.data(), text.data() + text.size(), out.data(), EscapedBytes<escapeTab>,
                  EscapeOne<escapeTab>);
    return out;
}

// Writes the decoding of the sequence at p, or the byte itself; advances both.
char* DecodeOne(const char*& p, const char* end, char* w) {
    const std::size_t rest = static_cast<std::size_t>(end - p);
    if (*p != '\\') {
        *w = *p++;
    } else if (rest >= 2 && p[1] == '\\') {
        *w = '\\';
        p += 2;
    } else if (rest >= 2 && p[1] == 't') {
        *w = '\t';
        p += 2;
    } else if (rest >= 4 && p[1] == 'r' && p[2] == '\\' && p[3] == 'n') {
        *w++ = '\r';
        *w = '\n';
        p += 4;
    } else {
        *w = '\\';
        ++p;
    }
    return w + 1;
}

}  // namespace

std::string Trim(std::string_view text) {
    std::size_t begin = 0, end = text.size();
    while (begin < end && IsTrimmed(text[begin])) ++begin;
    while (end > begin && IsTrimmed(text[end - 1])) --end;
    return std::string(text.substr(begin, end - begin));
}

std::string GetField(std::string_view line, int n, char delimiter) {
    std::string_view work = line;
    for (int i = 1; i < n; ++i) {
        const std::size_t p = work.find(delimiter);
        if (p != std::string_view::npos) work.remove_prefix(p + 1);
    }
    const std::size_t p = work.find(delimiter);
    return Trim(p == std::string_view::npos ? work : work.substr(0, p));
}

std::string EscapeHistoryText(std::string_view text) { return Escape<false>(text); }

std::string EscapePhraseText(std::string_view text) { return Escape<true>(text); }

std::string UnescapeText(std::string_view stored) {
    if (stored.find('\\') == std::string_view::npos) return std::string(stored);

    std::string out(stored.size(), '\0');  // decoding only ever shrinks
    const char* const w = RewriteMarked(stored.data(), stored.data() + stored.size(), out.data(),
                                        [](Word x) { return Matches(x, '\\'); }, DecodeOne);
    out.resize(static_cast<std::size_t>(w - out.data()));
    return out;
}

std::string MenuCaptionOf(std::string_view stored, const CodePage& codePage) {
    std::string caption = UnescapeText(stored.substr(0, MenuCaptionBytes));
    // The byte cut may have split a double-byte character: drop its half.
    caption.resize(codePage.BoundaryAtOrBefore(caption, caption.size()));
    return caption;
}

std::string FailureBoxText(std::string_view message) {
    std::string text(message);
    if (!text.empty() && static_cast<unsigned char>(text.back()) > static_cast<unsigned char>('.'))
        text += '.';
    return text;
}

}  // namespace qh
