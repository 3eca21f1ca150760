// The UTF-16 escapes, decoder and captions on arbitrary code units, lone
// surrogates included: both escapes round-trip through the decoder, every
// helper agrees with its byte twin on units below 0x100, and a caption is
// the longest prefix of its stored form within the width limit, never
// ending inside a surrogate pair.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "model.h"
#include "text.h"
#include "unicode.h"

namespace {

void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "broken: %s\n", what);
        std::abort();
    }
}

// Units below 0x100 as bytes and back.
std::string Narrow(std::u16string_view s) {
    std::string out;
    for (char16_t c : s) out += static_cast<char>(c);
    return out;
}
std::u16string Widen(std::string_view s) {
    std::u16string out;
    for (char c : s) out += static_cast<unsigned char>(c);
    return out;
}

bool IsHigh(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLow(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// The caption rule one character at a time, on the whole stored form.
std::u16string CaptionSlowly(std::u16string_view stored) {
    std::size_t i = 0, width = 0;
    while (i < stored.size()) {
        const bool pair = IsHigh(stored[i]) && i + 1 < stored.size() && IsLow(stored[i + 1]);
        const std::size_t w = stored[i] < 0x80 || (stored[i] >= 0xFF61 && stored[i] <= 0xFF9F) ? 1 : 2;
        if (width + w > qh::MenuCaptionBytes) break;
        width += w;
        i += pair ? 2 : 1;
    }
    return qh::UnescapeText(stored.substr(0, i));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Little-endian units; the first byte chooses how far apart they spread,
    // so that short inputs reach the escapes' ASCII as often as surrogates.
    if (size == 0) return 0;
    const unsigned spread = data[0] % 3;
    std::u16string text;
    for (std::size_t i = 1; i + 1 < size; i += 2) {
        char16_t c = static_cast<char16_t>(data[i] | data[i + 1] << 8);
        if (spread == 0) c = static_cast<char16_t>(c % 0x100);
        if (spread == 1 && c >= 0x100) c = static_cast<char16_t>(0xD800 + c % 0x800);
        text += c;
    }

    const std::u16string history = qh::EscapeHistoryText(text), phrase = qh::EscapePhraseText(text);
    Check(qh::UnescapeText(history) == text, "history form does not decode to the text");
    Check(qh::UnescapeText(phrase) == text, "phrase form does not decode to the text");
    Check(history.find(u"\r\n") == std::u16string::npos, "history form holds a line break");
    Check(phrase.find(u'\t') == std::u16string::npos && phrase.find(u"\r\n") == std::u16string::npos,
          "phrase form holds a TAB or a line break");

    if (std::all_of(text.begin(), text.end(), [](char16_t c) { return c < 0x100; })) {
        const std::string bytes = Narrow(text);
        Check(history == Widen(qh::EscapeHistoryText(bytes)), "history escape differs from the byte one");
        Check(phrase == Widen(qh::EscapePhraseText(bytes)), "phrase escape differs from the byte one");
        Check(qh::UnescapeText(text) == Widen(qh::UnescapeText(bytes)), "decoder differs from the byte one");
        Check(qh::Trim(text) == Widen(qh::Trim(bytes)), "Trim differs from the byte one");
        for (int n = 1; n <= 3; ++n)
            Check(qh::GetField(text, n) == Widen(qh::GetField(bytes, n)), "GetField differs from the byte one");
        const auto lines = qh::SplitLines(text);
        const auto byteLines = qh::SplitLines(bytes);
        Check(lines.size() == byteLines.size(), "SplitLines differs from the byte one");
        for (std::size_t i = 0; i < lines.size(); ++i)
            Check(lines[i] == Widen(byteLines[i]), "SplitLines differs from the byte one");
    }

    const std::u16string caption = qh::ExactCaptionOf(text);
    Check(caption == CaptionSlowly(history), "caption is not the widest prefix decoded");
    Check(qh::WideMenuCaptionOf(text) == CaptionSlowly(text), "stored caption is not the widest prefix decoded");
    if (std::all_of(text.begin(), text.end(), [](char16_t c) { return c < 0x80; }))
        Check(caption == Widen(qh::MenuCaptionOf(qh::EscapeHistoryText(Narrow(text)))),
              "caption of an ASCII text differs from its bytes' caption");
    return 0;
}
