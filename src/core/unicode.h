// Texts beyond the ANSI code page: the exact UTF-16 form a text keeps when
// its ANSI bytes cannot give it back, the width measure menu captions and the
// Memo limit use, UTF-8 for the phrase file, and the UTF-16 versions of the
// byte-string helpers in text.h (same rules, same escapes).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qh {

class CodePage;

// What the clipboard or the phrase file gave: the bytes in the ANSI code
// page and, only when those bytes cannot give it back, the exact UTF-16 text.
struct ExactText {
    std::string ansi;                     // the ANSI bytes (history: raw, unescaped, as read)
    std::optional<std::u16string> exact;  // set only when ansi does not reproduce the text
    bool operator==(const ExactText&) const = default;
};

// The system's ANSI code page as a converter; the Windows layer implements
// it with the system calls, tests with a small table.
class AnsiCodePage {
public:
    // Characters the code page cannot hold become '?', never lookalikes.
    virtual std::string FromUtf16(std::u16string_view text) const = 0;
    virtual std::u16string ToUtf16(std::string_view ansi) const = 0;

protected:
    ~AnsiCodePage() = default;
};

// Every byte is the character of the same number (ISO 8859-1). The default
// where no system code page is at hand: bytes round-trip unchanged.
const AnsiCodePage& Latin1CodePage();

// The text in both forms; exact kept only when ToUtf16(FromUtf16(exact)) != exact.
ExactText FromExact(std::u16string exact, const AnsiCodePage& codePage);
// The text as UTF-16: the exact form, or else the ANSI bytes converted.
std::u16string ExactOr(const std::optional<std::u16string>& exact, std::string_view ansi,
                       const AnsiCodePage& codePage);

// --- The width measure -------------------------------------------------
// A character's width in code page 932: 1 for U+0000..U+007F and the
// half-width katakana U+FF61..U+FF9F, 2 for every other character, those
// the code page cannot hold included. A surrogate pair is one character of
// width 2, and so is a lone surrogate.

// UTF-16 units of the character at i (2 for a surrogate pair, else 1).
std::size_t UnitsAt(std::u16string_view text, std::size_t i);
// Width of the character at i.
std::size_t WidthAt(std::u16string_view text, std::size_t i);
// Width of the whole text.
std::size_t TextWidth(std::u16string_view text);
// Units of the longest prefix whose width is at most `limit`, never ending
// inside a surrogate pair.
std::size_t WidthBoundaryAtOrBefore(std::u16string_view text, std::size_t limit);

// --- UTF-8 and UTF-16 (the phrase file's other forms) -------------------
inline constexpr std::string_view Utf8Bom = "\xEF\xBB\xBF";
// Invalid or truncated sequences (and encoded surrogates) become U+FFFD, one
// for each maximal invalid part; every valid character is kept.
std::u16string Utf8ToUtf16(std::string_view utf8);
// Lone surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);
// UTF-16 bytes (after their byte order mark) as text: a lone surrogate,
// and a last byte without its pair, become U+FFFD.
inline constexpr std::string_view Utf16LeBom = "\xFF\xFE", Utf16BeBom = "\xFE\xFF";
std::u16string Utf16BytesToText(std::string_view bytes, bool bigEndian);
// Whether bytes without a byte order mark are UTF-8 text: valid UTF-8 with
// at least one multi-byte character. Shift-JIS text with kana or kanji is
// practically never valid UTF-8, and ASCII reads the same either way.
bool IsMultiByteUtf8(std::string_view bytes);

// --- The helpers of text.h over UTF-16 ----------------------------------
// Characters U+0020 and below removed from both ends.
std::u16string Trim(std::u16string_view text);
// The n-th (1-based) delimiter-separated field, trimmed.
std::u16string GetField(std::u16string_view line, int n, char16_t delimiter = u'\t');
// Backslash and CR LF escaped; TABs stay raw.
std::u16string EscapeHistoryText(std::u16string_view text);
// Backslash, TAB and CR LF escaped.
std::u16string EscapePhraseText(std::u16string_view text);
// The inverse of both escapes, as UnescapeText on bytes.
std::u16string UnescapeText(std::u16string_view stored);
// Lines cut at CR LF, lone CR and lone LF; a NUL ends the text; a final
// line break adds no empty line.
std::vector<std::u16string> SplitLines(std::u16string_view text);

// The caption a stored text (in either escaped form) is offered under: its
// longest prefix of width MenuCaptionBytes or less, never splitting a
// surrogate pair, unescaped. A cut inside an escape keeps the escape's first
// characters, as MenuCaptionOf does.
std::u16string WideMenuCaptionOf(std::u16string_view stored);
// The caption of a raw exact text, escaped as the history stores it.
std::u16string ExactCaptionOf(std::u16string_view exact);
// The caption of a text stored as ANSI bytes: MenuCaptionOf, converted. In a
// UTF-8 code page it is cut by the width measure, as exact texts are, and
// never inside a character.
std::u16string AnsiMenuCaptionOf(std::string_view stored, const CodePage& codePage, const AnsiCodePage& ansi);

}  // namespace qh
