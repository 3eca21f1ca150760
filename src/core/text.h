// Byte-string helpers and the escaping of stored text.
//
// A text is a byte string in the system's ANSI code page. Every stored text
// (history entry, phrase caption, phrase content) is kept on one line, so
// backslashes, TABs and CR LF pairs are escaped:
//   "\\" = one backslash, "\t" = TAB, "\r\n" = CR LF.
// Lone CRs and LFs have no escape. Nothing here knows about windows.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <type_traits>

namespace qh {

// Bytes a menu caption shows of a stored text, before unescaping.
inline constexpr std::size_t MenuCaptionBytes = 50;

// Which bytes open a double-byte character in the ANSI code page, or
// whether it is UTF-8 (a system option since Windows 10).
class CodePage {
public:
    static CodePage SingleByte() { return CodePage{}; }
    static CodePage ShiftJis();  // code page 932
    static CodePage Utf8() {
        CodePage cp;
        cp.utf8_ = true;
        return cp;
    }
    template <class IsLead>
    static CodePage FromPredicate(IsLead isLead) {
        CodePage cp;
        for (int b = 0; b < 256; ++b) {
            cp.lead_[static_cast<std::size_t>(b)] = isLead(static_cast<unsigned char>(b));
            cp.doubleByte_ = cp.doubleByte_ || cp.lead_[static_cast<std::size_t>(b)];
        }
        return cp;
    }

    bool IsLeadByte(unsigned char b) const { return lead_[b]; }
    bool IsDoubleByte() const { return doubleByte_; }
    bool IsUtf8() const { return utf8_; }
    // Length of the longest prefix of at most `limit` bytes that ends on a
    // character boundary.
    std::size_t BoundaryAtOrBefore(std::string_view s, std::size_t limit) const;

private:
    std::array<bool, 256> lead_{};
    bool doubleByte_ = false;
    bool utf8_ = false;
};

// Every occurrence of `pattern`, scanning left to right without overlap,
// replaced; bytes produced by a replacement are never scanned again.
std::string ReplaceAll(std::string_view source, std::string_view pattern,
                       std::string_view replacement);

// Trim and GetField for any code unit: the byte strings below and their
// UTF-16 twins (unicode.h) keep one rule.
namespace detail {
template <class Char>
std::basic_string<Char> Trim(std::basic_string_view<Char> text) {
    const auto trimmed = [](Char c) { return static_cast<std::make_unsigned_t<Char>>(c) <= 0x20; };
    std::size_t begin = 0, end = text.size();
    while (begin < end && trimmed(text[begin])) ++begin;
    while (end > begin && trimmed(text[end - 1])) --end;
    return std::basic_string<Char>(text.substr(begin, end - begin));
}

template <class Char>
std::basic_string<Char> GetField(std::basic_string_view<Char> line, int n, Char delimiter) {
    for (int i = 1; i < n; ++i) {
        const std::size_t p = line.find(delimiter);
        if (p != line.npos) line.remove_prefix(p + 1);
    }
    return Trim(line.substr(0, line.find(delimiter)));
}
}  // namespace detail

// Bytes 0x20 and below removed from both ends.
std::string Trim(std::string_view text);

// The n-th (1-based) delimiter-separated field, trimmed. A line with fewer
// delimiters yields the text after the last one it has.
std::string GetField(std::string_view line, int n, char delimiter = '\t');

// Backslash and CR LF escaped; TABs stay raw.
std::string EscapeHistoryText(std::string_view text);
// Backslash, TAB and CR LF escaped.
std::string EscapePhraseText(std::string_view text);
// The exact inverse of both escapes: one left-to-right pass where "\\",
// "\t" and "\r\n" are decoded and any other backslash stays as it is.
std::string UnescapeText(std::string_view stored);

// The caption a stored text is offered under: its first MenuCaptionBytes
// bytes, unescaped, never ending in half a double-byte character.
std::string MenuCaptionOf(std::string_view stored,
                          const CodePage& codePage = CodePage::SingleByte());

// The text of the failure box: the message with a period appended when its
// last byte sorts after '.' (letters, digits, double-byte characters).
std::string FailureBoxText(std::string_view message);

}  // namespace qh
