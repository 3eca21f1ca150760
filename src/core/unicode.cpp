#include "unicode.h"

#include <algorithm>

#include "text.h"

namespace qh {
namespace {

bool IsHigh(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLow(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }
constexpr char16_t Replacement = 0xFFFD;

class Latin1 final : public AnsiCodePage {
public:
    std::string FromUtf16(std::u16string_view text) const override {
        std::string out;
        out.reserve(text.size());
        for (std::size_t i = 0; i < text.size(); i += UnitsAt(text, i))
            out += text[i] <= 0xFF ? static_cast<char>(text[i]) : '?';
        return out;
    }
    std::u16string ToUtf16(std::string_view ansi) const override {
        std::u16string out(ansi.size(), u'\0');
        for (std::size_t i = 0; i < ansi.size(); ++i) out[i] = static_cast<unsigned char>(ansi[i]);
        return out;
    }
};

template <bool escapeTab>
std::u16string Escape(std::u16string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c == u'\\') {
            out += u"\\\\";
        } else if (escapeTab && c == u'\t') {
            out += u"\\t";
        } else if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
            out += u"\\r\\n";
            ++i;
        } else {
            out += c;
        }
    }
    return out;
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

void AppendUtf16(std::u16string& out, char32_t c) {
    if (c < 0x10000) {
        out += static_cast<char16_t>(c);
    } else {
        c -= 0x10000;
        out += static_cast<char16_t>(0xD800 | (c >> 10));
        out += static_cast<char16_t>(0xDC00 | (c & 0x3FF));
    }
}

}  // namespace

const AnsiCodePage& Latin1CodePage() {
    static const Latin1 codePage;
    return codePage;
}

ExactText FromExact(std::u16string exact, const AnsiCodePage& codePage) {
    ExactText text{codePage.FromUtf16(exact), std::nullopt};
    if (codePage.ToUtf16(text.ansi) != exact) text.exact = std::move(exact);
    return text;
}

std::u16string ExactOr(const std::optional<std::u16string>& exact, std::string_view ansi,
                       const AnsiCodePage& codePage) {
    return exact ? *exact : codePage.ToUtf16(ansi);
}

std::size_t UnitsAt(std::u16string_view text, std::size_t i) {
    return IsHigh(text[i]) && i + 1 < text.size() && IsLow(text[i + 1]) ? 2 : 1;
}

std::size_t WidthAt(std::u16string_view text, std::size_t i) {
    const char16_t c = text[i];
    return c <= 0x7F || (c >= 0xFF61 && c <= 0xFF9F) ? 1 : 2;
}

std::size_t TextWidth(std::u16string_view text) {
    std::size_t width = 0;
    for (std::size_t i = 0; i < text.size(); i += UnitsAt(text, i)) width += WidthAt(text, i);
    return width;
}

std::size_t WidthBoundaryAtOrBefore(std::u16string_view text, std::size_t limit) {
    std::size_t i = 0, width = 0;
    while (i < text.size()) {
        const std::size_t w = WidthAt(text, i);
        if (width + w > limit) break;
        width += w;
        i += UnitsAt(text, i);
    }
    return i;
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(utf8[i]); };
    std::size_t i = 0;
    while (i < utf8.size()) {
        const unsigned char b = byte(i);
        if (b < 0x80) {
            out += static_cast<char16_t>(b);
            ++i;
            continue;
        }
        // The lead byte says how many continuation bytes follow and the
        // range of the first one, which rules out overlong forms, encoded
        // surrogates and values beyond U+10FFFF.
        std::size_t more = 0;
        unsigned char low = 0x80, high = 0xBF;
        char32_t c = 0;
        if (b >= 0xC2 && b <= 0xDF) {
            more = 1, c = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            more = 2, c = b & 0x0F;
            if (b == 0xE0) low = 0xA0;
            if (b == 0xED) high = 0x9F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            more = 3, c = b & 0x07;
            if (b == 0xF0) low = 0x90;
            if (b == 0xF4) high = 0x8F;
        } else {
            out += Replacement;
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        for (; j <= i + more && j < utf8.size(); ++j) {
            const unsigned char t = byte(j);
            if (t < low || t > high) break;
            c = (c << 6) | (t & 0x3F);
            low = 0x80, high = 0xBF;
        }
        if (j == i + more + 1) {
            AppendUtf16(out, c);
        } else {
            out += Replacement;  // the valid start of a sequence that breaks off
        }
        i = j;
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size() * 3);
    for (std::size_t i = 0; i < text.size(); i += UnitsAt(text, i)) {
        const char16_t c = text[i];
        if (UnitsAt(text, i) == 2)
            AppendUtf8(out, 0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (text[i + 1] - 0xDC00));
        else
            AppendUtf8(out, IsHigh(c) || IsLow(c) ? Replacement : c);
    }
    return out;
}

std::u16string Utf16BytesToText(std::string_view bytes, bool bigEndian) {
    std::u16string text;
    text.reserve(bytes.size() / 2 + 1);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const unsigned a = static_cast<unsigned char>(bytes[i]), b = static_cast<unsigned char>(bytes[i + 1]);
        text += static_cast<char16_t>(bigEndian ? a << 8 | b : b << 8 | a);
    }
    for (std::size_t i = 0; i < text.size(); i += UnitsAt(text, i))
        if (IsHigh(text[i]) ? UnitsAt(text, i) == 1 : IsLow(text[i])) text[i] = Replacement;
    if (bytes.size() % 2 != 0) text += Replacement;
    return text;
}

bool IsMultiByteUtf8(std::string_view bytes) {
    const bool multiByte = std::any_of(bytes.begin(), bytes.end(), [](char b) { return (b & 0x80) != 0; });
    // Decoding replaces every invalid part, so only valid UTF-8 comes back as it was.
    return multiByte && Utf16ToUtf8(Utf8ToUtf16(bytes)) == bytes;
}

std::u16string Trim(std::u16string_view text) { return detail::Trim(text); }

std::u16string GetField(std::u16string_view line, int n, char16_t delimiter) {
    return detail::GetField(line, n, delimiter);
}

std::u16string EscapeHistoryText(std::u16string_view text) { return Escape<false>(text); }

std::u16string EscapePhraseText(std::u16string_view text) { return Escape<true>(text); }

std::u16string UnescapeText(std::u16string_view stored) {
    std::u16string out;
    out.reserve(stored.size());
    for (std::size_t i = 0; i < stored.size();) {
        const std::u16string_view rest = stored.substr(i);
        if (rest.starts_with(u"\\\\")) {
            out += u'\\', i += 2;
        } else if (rest.starts_with(u"\\t")) {
            out += u'\t', i += 2;
        } else if (rest.starts_with(u"\\r\\n")) {
            out += u"\r\n", i += 4;
        } else {
            out += stored[i++];
        }
    }
    return out;
}

std::vector<std::u16string> SplitLines(std::u16string_view text) {
    text = text.substr(0, text.find(u'\0'));
    std::vector<std::u16string> lines;
    std::size_t from = 0;
    while (from < text.size()) {
        const std::size_t end = std::min(text.find_first_of(u"\r\n", from), text.size());
        lines.emplace_back(text.substr(from, end - from));
        if (end == text.size()) break;
        const bool crlf = text[end] == u'\r' && end + 1 < text.size() && text[end + 1] == u'\n';
        from = end + (crlf ? 2 : 1);
    }
    return lines;
}

std::u16string WideMenuCaptionOf(std::u16string_view stored) {
    return UnescapeText(stored.substr(0, WidthBoundaryAtOrBefore(stored, MenuCaptionBytes)));
}

std::u16string AnsiMenuCaptionOf(std::string_view stored, const CodePage& codePage, const AnsiCodePage& ansi) {
    if (!codePage.IsUtf8()) return ansi.ToUtf16(MenuCaptionOf(stored, codePage));
    // A character takes at most 4 bytes: the caption lies in this prefix,
    // and a text of any length is not converted whole.
    const std::size_t prefix = codePage.BoundaryAtOrBefore(stored, MenuCaptionBytes * 4 + 4);
    return WideMenuCaptionOf(ansi.ToUtf16(stored.substr(0, prefix)));
}

std::u16string ExactCaptionOf(std::u16string_view exact) {
    // Every character is at least 1 wide, so the caption comes from the
    // first MenuCaptionBytes characters; two more keep a CR LF or a
    // surrogate pair at the cut whole.
    return WideMenuCaptionOf(EscapeHistoryText(exact.substr(0, MenuCaptionBytes + 2)));
}

}  // namespace qh
