// The phrase file's UTF-8 form on arbitrary bytes after the byte order mark,
// read through the store: every field reads as the decoder gives it, a
// valid character survives whatever invalid bytes stand around it, the
// decoder leaves no lone surrogate, and saving and loading again keeps
// every phrase.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "check.h"
#include "memory_file.h"
#include "model.h"
#include "reporters.h"
#include "text.h"
#include "unicode.h"

namespace {

using qh::test::MemoryFile;

bool NoLoneSurrogate(std::u16string_view s) {
    for (std::size_t i = 0; i < s.size(); ++i) {
        const bool high = s[i] >= 0xD800 && s[i] <= 0xDBFF, low = s[i] >= 0xDC00 && s[i] <= 0xDFFF;
        if (low) return false;
        if (high) {
            if (i + 1 == s.size() || s[i + 1] < 0xDC00 || s[i + 1] > 0xDFFF) return false;
            ++i;
        }
    }
    return true;
}

// The encodings of one scalar value, worked out from the value itself.
std::string Utf8Of(char32_t c) {
    std::string s;
    if (c < 0x80) return std::string(1, static_cast<char>(c));
    const int n = c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
    s.resize(static_cast<std::size_t>(n));
    for (int k = n - 1; k > 0; --k, c >>= 6) s[static_cast<std::size_t>(k)] = static_cast<char>(0x80 | (c & 0x3F));
    s[0] = static_cast<char>((0xF00 >> n) | c);
    return s;
}
std::u16string Utf16Of(char32_t c) {
    if (c < 0x10000) return std::u16string(1, static_cast<char16_t>(c));
    c -= 0x10000;
    return {static_cast<char16_t>(0xD800 + (c >> 10)), static_cast<char16_t>(0xDC00 + (c & 0x3FF))};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    const std::u16string text = qh::Utf8ToUtf16(bytes);
    Check(NoLoneSurrogate(text), "decoding made a lone surrogate");
    Check(qh::Utf8ToUtf16(qh::Utf16ToUtf8(text)) == text, "decoded text does not survive encoding");

    // One valid character, chosen by the first bytes, set between the rest.
    if (size >= 4) {
        char32_t c = (char32_t{data[0]} << 16 | char32_t{data[1]} << 8 | data[2]) % 0x110000;
        if (c >= 0xD800 && c <= 0xDFFF) c -= 0x800;
        const std::size_t at = 4 + data[3] % (size - 3);
        const std::string_view before = bytes.substr(4, at - 4), after = bytes.substr(at);
        Check(qh::Utf8ToUtf16(std::string(before) + Utf8Of(c) + std::string(after)) ==
                  qh::Utf8ToUtf16(before) + Utf16Of(c) + qh::Utf8ToUtf16(after),
              "a valid character was lost among invalid bytes");
    }

    std::optional<std::string> file = std::string(qh::Utf8Bom) + std::string(bytes);
    qh::test::RecordingReporter reporter;
    const qh::AnsiCodePage& cp = qh::Latin1CodePage();
    qh::TTypeMsg store(std::make_unique<MemoryFile>(file), reporter, cp);
    const std::vector<std::u16string> lines = qh::SplitLines(text);
    Check(store.Count() == lines.size() && store.ExactLines().size() == lines.size(), "line count differs");
    Check(store.Captions().size() == lines.size() && store.ExactCaptions().size() == lines.size() &&
              store.Contents().size() == lines.size() && store.ExactContents().size() == lines.size(),
          "lists are not parallel");
    // The UTF-8 form's escapes are characters: a field reads as its text,
    // whichever form the store keeps it in.
    const auto textOf = [&](const std::optional<std::u16string>& exact, const std::string& ansi) {
        return exact ? qh::UnescapeText(*exact) : cp.ToUtf16(qh::UnescapeText(ansi));
    };
    for (std::size_t i = 0; i < lines.size(); ++i) {
        Check(textOf(store.ExactCaptions()[i], store.Captions()[i]) == qh::UnescapeText(qh::GetField(lines[i], 1)),
              "a caption differs from its field");
        Check(textOf(store.ExactContents()[i], store.Contents()[i]) == qh::UnescapeText(qh::GetField(lines[i], 2)),
              "a content differs from its field");
        if (const auto& caption = store.ExactCaptions()[i])
            Check(NoLoneSurrogate(qh::WideMenuCaptionOf(*caption)), "a caption splits a surrogate pair");
    }

    store.Save();
    qh::TTypeMsg again(std::make_unique<MemoryFile>(file), reporter, cp);
    Check(reporter.messages.empty(), "saving or loading failed");
    Check(again.Captions() == store.Captions() && again.Contents() == store.Contents() &&
              again.ExactCaptions() == store.ExactCaptions() &&
              again.ExactContents() == store.ExactContents(),
          "save and load changed a phrase");
    return 0;
}
