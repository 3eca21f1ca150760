#include "text.h"

#include <cstring>
#include <utility>

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

// Finds the next byte of a small set. One memchr per byte, each remembered
// until it is passed, keeps long runs free of those bytes at memory speed.
template <std::size_t N>
class ByteScanner {
public:
    ByteScanner(std::string_view s, const std::array<char, N>& bytes) : s_(s), bytes_(bytes) {
        next_.fill(0);
        found_.fill(false);
    }

    // Position of the first byte of the set at or after `from`, or the size.
    std::size_t Next(std::size_t from) {
        std::size_t best = s_.size();
        for (std::size_t k = 0; k < N; ++k) {
            if (!found_[k] || next_[k] < from) {
                next_[k] = Find(bytes_[k], from);
                found_[k] = true;
            }
            if (next_[k] < best) best = next_[k];
        }
        return best;
    }

private:
    std::size_t Find(char c, std::size_t from) const {
        if (from >= s_.size()) return s_.size();
        const void* hit = std::memchr(s_.data() + from, c, s_.size() - from);
        return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - s_.data())
                   : s_.size();
    }

    std::string_view s_;
    std::array<char, N> bytes_;
    std::array<std::size_t, N> next_;
    std::array<bool, N> found_;
};

// Shared by both escapes; `escapeTab` adds the phrase form's TAB escape.
// The output is sized exactly by a counting pass, so escaping a huge text
// never holds more than the text and its one escaped copy.
template <bool escapeTab>
std::string Escape(std::string_view text) {
    using Scanner = ByteScanner<escapeTab ? 3 : 2>;
    const auto scanner = [&] {
        if constexpr (escapeTab) return Scanner(text, {'\\', '\r', '\t'});
        else return Scanner(text, {'\\', '\r'});
    };
    // Bytes the escape of position i writes, and input bytes it consumes.
    const auto escapeAt = [&](std::size_t i, char* w) -> std::pair<std::size_t, std::size_t> {
        const char c = text[i];
        if (c == '\\' || (escapeTab && c == '\t')) {
            if (w) { w[0] = '\\'; w[1] = c == '\t' ? 't' : '\\'; }
            return {2, 1};
        }
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            if (w) std::memcpy(w, "\\r\\n", 4);
            return {4, 2};
        }
        if (w) *w = c;
        return {1, 1};
    };

    std::size_t size = text.size();
    {
        Scanner scan = scanner();
        for (std::size_t i = scan.Next(0); i < text.size();) {
            const auto [written, consumed] = escapeAt(i, nullptr);
            size += written - consumed;
            i = scan.Next(i + consumed);
        }
    }
    if (size == text.size()) return std::string(text);

    std::string out;
    out.resize(size);
    char* w = out.data();
    std::size_t from = 0;
    Scanner scan = scanner();
    for (std::size_t i = scan.Next(0); i < text.size(); i = scan.Next(from)) {
        std::memcpy(w, text.data() + from, i - from);
        w += i - from;
        const auto [written, consumed] = escapeAt(i, w);
        w += written;
        from = i + consumed;
    }
    std::memcpy(w, text.data() + from, text.size() - from);
    return out;
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
    const void* first = std::memchr(stored.data(), '\\', stored.size());
    if (!first) return std::string(stored);

    std::string out;
    out.resize(stored.size());  // decoding only ever shrinks
    char* w = out.data();
    std::size_t from = 0;
    std::size_t i = static_cast<std::size_t>(static_cast<const char*>(first) - stored.data());
    while (i < stored.size()) {
        std::memcpy(w, stored.data() + from, i - from);
        w += i - from;
        const std::string_view rest = stored.substr(i);
        if (rest.starts_with("\\\\")) {
            *w++ = '\\';
            from = i + 2;
        } else if (rest.starts_with("\\t")) {
            *w++ = '\t';
            from = i + 2;
        } else if (rest.starts_with("\\r\\n")) {
            *w++ = '\r';
            *w++ = '\n';
            from = i + 4;
        } else {
            *w++ = '\\';
            from = i + 1;
        }
        const void* next = from < stored.size()
                               ? std::memchr(stored.data() + from, '\\', stored.size() - from)
                               : nullptr;
        i = next ? static_cast<std::size_t>(static_cast<const char*>(next) - stored.data())
                 : stored.size();
    }
    std::memcpy(w, stored.data() + from, stored.size() - from);
    w += stored.size() - from;
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
