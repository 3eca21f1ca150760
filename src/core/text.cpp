#include "text.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

// SSE2 is part of every x86-64 and of the x86 targets we build; elsewhere
// the scanners fall back to plain words.
#if (defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)) && \
    !defined(QH_TEXT_NO_SSE2)
#define QH_TEXT_SSE2 1
#include <emmintrin.h>
#else
#define QH_TEXT_SSE2 0
#endif

namespace qh {

CodePage CodePage::ShiftJis() {
    return FromPredicate([](unsigned char b) {
        return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
    });
}

std::size_t CodePage::BoundaryAtOrBefore(std::string_view s, std::size_t limit) const {
    if (limit >= s.size()) limit = s.size();
    if (utf8_) {
        // Back to the start of the character the limit cuts (at most 4 bytes).
        const auto continues = [&](std::size_t i) { return (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80; };
        std::size_t end = limit;
        while (end > 0 && end < s.size() && limit - end < 3 && continues(end)) --end;
        return end;
    }
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

// Clipboard texts run to tens of megabytes, and the bytes the escapes care
// about are sparse in prose but come every few bytes in lists of paths. The
// scanners below find them a block of bytes at a time and copy the bytes
// between them in blocks, which stays fast in both.
//
// Huge outputs go through a small buffer: each run of the text is rewritten
// there (while it sits in the first-level cache) and then appended to the
// result, which is reserved at its final size and so written exactly once,
// like a plain copy.
constexpr std::size_t Chunk = 4096;
// Room the block scanners may write beyond a run's output.
constexpr std::size_t Slack = 256;

// Asks for the cache line at p ahead of its use; a hint only.
void Prefetch(const char* p) {
#if QH_TEXT_SSE2
    _mm_prefetch(p, _MM_HINT_T0);
#else
    static_cast<void>(p);
#endif
}

// Rewrites `text` chunk by chunk: `run(p, stop, w)` rewrites from p to at
// least stop into w, advancing p, and returns the end of what it wrote.
// `growth` bounds the output of a chunk per input byte.
template <std::size_t growth, class Run>
void AppendRewritten(std::string& out, const char* p, const char* const end, Run run) {
    char buffer[growth * Chunk + Slack];
    while (p != end) {
        // A huge result lies beyond every cache: its lines that this chunk
        // will fill are fetched while the chunk is rewritten, rather than
        // one by one while it is appended.
        const char* const next = out.data() + out.size();
        const std::size_t room = std::min(out.capacity() - out.size(), Chunk + Chunk / 8);
        for (std::size_t k = 0; k < room; k += 64) Prefetch(next + k);
        const char* const stop = p + std::min(Chunk, static_cast<std::size_t>(end - p));
        const char* const w = run(p, stop, buffer);
        out.append(buffer, static_cast<std::size_t>(w - buffer));
    }
}

// The letter after the backslash that stands for an escaped byte.
constexpr std::array<char, 256> EscapeLetters = [] {
    std::array<char, 256> letters{};
    letters['\\'] = '\\';
    letters['\t'] = 't';
    letters['\r'] = 'r';
    letters['\n'] = 'n';
    return letters;
}();

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

// Writes the escape of the byte at p, or the byte itself; advances both.
template <bool escapeTab>
char* EscapeOne(const char*& p, const char* end, char* w) {
    const char c = *p++;
    if (c == '\\' || (escapeTab && c == '\t')) {
        w[0] = '\\';
        w[1] = EscapeLetters[static_cast<unsigned char>(c)];
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

#if QH_TEXT_SSE2

// Sixteen bytes at a time with SSE2, which every x86 target of ours has.
using Block = __m128i;
constexpr std::size_t BlockBytes = 16;

Block LoadBlock(const char* p) { return _mm_loadu_si128(reinterpret_cast<const Block*>(p)); }
void StoreBlock(char* w, Block x) { _mm_storeu_si128(reinterpret_cast<Block*>(w), x); }
Block Equal(Block x, char c) { return _mm_cmpeq_epi8(x, _mm_set1_epi8(c)); }
unsigned MaskOf(Block marks) { return static_cast<unsigned>(_mm_movemask_epi8(marks)); }

// An escape opens at a backslash, a TAB in the phrase form, or the CR of a
// CR LF pair, which is escaped as a whole: so no scan needs the byte before
// its block.
struct Openers {
    Block single;  // 0xFF where one byte becomes two
    Block pair;    // 0xFF at the CR of a CR LF pair, whose two bytes become four
};

// The openers in the block at p; reads p[0] to p[16].
template <bool escapeTab>
Openers OpenersAt(const char* p) {
    const Block x = LoadBlock(p);
    Block single = Equal(x, '\\');
    if constexpr (escapeTab) single = _mm_or_si128(single, Equal(x, '\t'));
    return {single, _mm_and_si128(Equal(x, '\r'), Equal(LoadBlock(p + 1), '\n'))};
}

// The sum of the bytes of x.
std::size_t SumOf(Block x) {
    const Block sums = _mm_sad_epu8(x, _mm_setzero_si128());
    return static_cast<std::size_t>(_mm_cvtsi128_si32(sums)) +
           static_cast<std::size_t>(_mm_cvtsi128_si32(_mm_srli_si128(sums, 8)));
}

template <bool escapeTab>
std::size_t EscapedSize(std::string_view text) {
    const char* p = text.data();
    const char* const end = p + text.size();
    std::size_t size = text.size();
    while (end - p > static_cast<std::ptrdiff_t>(2 * BlockBytes)) {
        // Per-byte counts of up to 254 blocks, two at a time, then their sums.
        Block singles = _mm_setzero_si128(), pairs = _mm_setzero_si128();
        for (int n = 0; n < 127 && end - p > static_cast<std::ptrdiff_t>(2 * BlockBytes); ++n, p += 2 * BlockBytes) {
            const Openers first = OpenersAt<escapeTab>(p), second = OpenersAt<escapeTab>(p + BlockBytes);
            singles = _mm_sub_epi8(_mm_sub_epi8(singles, first.single), second.single);
            pairs = _mm_sub_epi8(_mm_sub_epi8(pairs, first.pair), second.pair);
        }
        size += SumOf(singles) + 2 * SumOf(pairs);
    }
    for (; p != end; ++p) {
        if (*p == '\\' || (escapeTab && *p == '\t')) size += 1;
        else if (*p == '\r' && p + 1 != end && p[1] == '\n') size += 2;
    }
    return size;
}

// The openers of the 64 bytes at p as masks; reads p[0] to p[64].
struct OpenerMasks {
    std::uint64_t all;    // every opener
    std::uint64_t pairs;  // the CRs of pairs
};
template <bool escapeTab>
OpenerMasks OpenersMask(const char* p) {
    OpenerMasks masks{0, 0};
    for (std::size_t k = 0; k < 64; k += BlockBytes) {
        const Openers o = OpenersAt<escapeTab>(p + k);
        masks.all |= std::uint64_t{MaskOf(_mm_or_si128(o.single, o.pair))} << k;
        masks.pairs |= std::uint64_t{MaskOf(o.pair)} << k;
    }
    return masks;
}

// The escape that opens at a byte, as four bytes stored at once: "\r\n" for
// a pair, else the backslash, the letter and two bytes written over later.
constexpr std::array<std::uint32_t, 256> EscapeWords = [] {
    std::array<std::uint32_t, 256> words{};
    for (std::size_t b = 0; b < 256; ++b)
        words[b] = '\\' | std::uint32_t{static_cast<unsigned char>(EscapeLetters[b])} << 8;
    words['\r'] |= std::uint32_t{'\\'} << 16 | std::uint32_t{'n'} << 24;
    return words;
}();

void StoreEscape(char* w, char c) { std::memcpy(w, &EscapeWords[static_cast<unsigned char>(c)], 4); }

// Copies from..to to w a block at a time; reads and writes up to 16 bytes
// beyond.
char* CopyBlocks(const char* from, const char* to, char* w) {
    const std::size_t size = static_cast<std::size_t>(to - from);
    StoreBlock(w, LoadBlock(from));
    for (std::size_t k = BlockBytes; k < size; k += BlockBytes) StoreBlock(w + k, LoadBlock(from + k));
    return w + size;
}

// Escapes p to at least stop of the text ending at end into w.
//
// A branch that depends on the text costs more than the escape of a byte, so
// the work goes by 64 bytes, which are first stored as they are. Where a few
// escapes open in them (prose), each one is written and the rest of the 64
// bytes after it is stored again further on: no branch per gap. Where many
// do (lists of paths), the bytes are walked from opener to opener and the
// short gaps between are copied a block at a time. Only the masks decide
// where bytes go, so no store waits for a load of the text.
template <bool escapeTab>
char* EscapeRun(const char*& p, const char* stop, const char* end, char* w) {
    // 1 where a pair at the end of the last 64 bytes took the first of
    // these. p moves on by 64 whatever the text, so the loads for a mask
    // never wait for the mask before.
    std::size_t took = 0;
    for (; stop - p >= 64 && end - p >= 160; p += 64) {
        const OpenerMasks masks = OpenersMask<escapeTab>(p);
        std::uint64_t all = masks.all;
        std::uint64_t beyondFour = all & (all - 1);
        beyondFour &= beyondFour - 1;
        beyondFour &= beyondFour - 1;
        beyondFour &= beyondFour - 1;
        if (!beyondFour) {
            for (std::size_t k = 0; k < 64; k += BlockBytes) StoreBlock(w + k, LoadBlock(p + took + k));
            w -= took;
            for (; all; all &= all - 1) {
                const int i = std::countr_zero(all);
                const std::size_t taken = 1 + ((masks.pairs >> i) & 1);
                StoreEscape(w + i, p[i]);
                for (std::size_t k = 0; k < 64; k += BlockBytes)
                    StoreBlock(w + i + 2 * taken + k, LoadBlock(p + i + taken + k));
                w += taken;
            }
            took = masks.pairs >> 63;
            w += 64 + took;
            continue;
        }
        const char* from = p + took;
        for (; all; all &= all - 1) {
            const int i = std::countr_zero(all);
            const char* const at = p + i;
            w = CopyBlocks(from, at, w);
            StoreEscape(w, *at);
            const std::size_t taken = 1 + ((masks.pairs >> i) & 1);
            w += 2 * taken;
            from = at + taken;
        }
        w = CopyBlocks(std::min(from, p + 64), p + 64, w);
        took = masks.pairs >> 63;
    }
    p += took;
    while (p < stop) w = EscapeOne<escapeTab>(p, end, w);
    return w;
}

// Decodes from p to at least stop into w.
char* DecodeRun(const char*& p, const char* stop, const char* end, char* w) {
    // From backslash to backslash through masks of 64 bytes, as the escapes
    // go; a sequence may end past the mask, and the next mask starts behind
    // it. Reads up to p[79].
    const char* from = p;
    for (; stop - p >= 64 && end - p > 80; p += 64) {
        std::uint64_t marks = 0;
        for (std::size_t k = 0; k < 64; k += BlockBytes)
            marks |= std::uint64_t{MaskOf(Equal(LoadBlock(p + k), '\\'))} << k;
        marks &= from > p ? ~std::uint64_t{0} << (from - p) : ~std::uint64_t{0};
        while (marks) {
            const char* at = p + std::countr_zero(marks);
            const std::size_t gap = static_cast<std::size_t>(at - from);
            StoreBlock(w, LoadBlock(from));
            for (std::size_t k = BlockBytes; k < gap; k += BlockBytes) StoreBlock(w + k, LoadBlock(from + k));
            w = DecodeOne(at, end, w + gap);
            from = at;
            // A decoded "\\\\" or "\\r\\n" holds a second backslash.
            const std::size_t done = static_cast<std::size_t>(from - p);
            marks = done >= 64 ? 0 : marks & (~std::uint64_t{0} << done);
        }
    }
    if (from < p) w = CopyBlocks(from, p, w);
    p = std::max(p, from);
    while (p < stop) w = DecodeOne(p, end, w);
    return w;
}

#else

// Eight bytes at a time in a plain word where SSE2 is missing.
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

// Copies from p to at least stop into w a word at a time up to each byte
// that `marksOf` marks in a word, and lets `one` write that byte's rewriting
// (advancing both pointers). Words may run past stop: w has Slack to spare.
template <class MarksOf, class One>
char* RewriteMarked(const char*& p, const char* stop, const char* end, char* w, MarksOf marksOf, One one) {
    while (p < stop) {
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

template <bool escapeTab>
char* EscapeRun(const char*& p, const char* stop, const char* end, char* w) {
    return RewriteMarked(p, stop, end, w, EscapedBytes<escapeTab>, EscapeOne<escapeTab>);
}

// Decodes from p to at least stop into w.
char* DecodeRun(const char*& p, const char* stop, const char* end, char* w) {
    return RewriteMarked(p, stop, end, w, [](Word x) { return Matches(x, '\\'); }, DecodeOne);
}

#endif

// The output is sized exactly by a counting pass and written once, so
// escaping a huge text never holds more than the text and its one escaped
// copy.
template <bool escapeTab>
std::string Escape(std::string_view text) {
    const std::size_t size = EscapedSize<escapeTab>(text);
    if (size == text.size()) return std::string(text);

    std::string out;
    out.reserve(size);
    const char* const begin = text.data();
    const char* const end = begin + text.size();
    AppendRewritten<2>(out, begin, end, [&](const char*& p, const char* stop, char* w) {
        return EscapeRun<escapeTab>(p, stop, end, w);
    });
    return out;
}

}  // namespace

std::string Trim(std::string_view text) { return detail::Trim(text); }

std::string GetField(std::string_view line, int n, char delimiter) { return detail::GetField(line, n, delimiter); }

std::string EscapeHistoryText(std::string_view text) { return Escape<false>(text); }

std::string EscapePhraseText(std::string_view text) { return Escape<true>(text); }

std::string UnescapeText(std::string_view stored) {
    const std::size_t first = stored.find('\\');
    if (first == std::string_view::npos) return std::string(stored);

    std::string out;
    out.reserve(stored.size());  // decoding only ever shrinks
    out.append(stored.substr(0, first));
    const char* const end = stored.data() + stored.size();
    AppendRewritten<1>(out, stored.data() + first, end,
                       [&](const char*& p, const char* stop, char* w) { return DecodeRun(p, stop, end, w); });
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
