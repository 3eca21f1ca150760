// Escapes, decoder and menu captions on arbitrary bytes: both escapes
// round-trip through the one decoder, the fast scanners agree with plain
// byte-by-byte versions, and a caption never exceeds its bytes or ends in
// half a double-byte character.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "check.h"
#include "reference.h"
#include "text.h"

namespace {

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    const std::string history = qh::EscapeHistoryText(bytes);
    const std::string phrase = qh::EscapePhraseText(bytes);
    Check(history == qh::reference::EscapeHistory(bytes), "history escape differs from its replacements");
    Check(phrase == qh::reference::EscapePhrase(bytes), "phrase escape differs from its replacements");
    Check(qh::UnescapeText(history) == bytes, "history form does not decode to the text");
    Check(qh::UnescapeText(phrase) == bytes, "phrase form does not decode to the text");
    Check(history.find("\r\n") == std::string::npos, "history form holds a line break");
    Check(phrase.find_first_of("\t") == std::string::npos && phrase.find("\r\n") == std::string::npos,
          "phrase form holds a TAB or a line break");

    // Any bytes may sit in a stored list, not only what the escapes made.
    Check(qh::UnescapeText(bytes) == qh::reference::Decode(bytes), "decoder differs from the slow one");

    const qh::CodePage sjis = qh::CodePage::ShiftJis();
    for (std::string_view stored : {bytes, std::string_view(history), std::string_view(phrase)}) {
        const std::string plain = qh::MenuCaptionOf(stored);
        Check(plain == qh::reference::Decode(stored.substr(0, qh::MenuCaptionBytes)), "caption is not its prefix decoded");
        const std::string caption = qh::MenuCaptionOf(stored, sjis);
        Check(caption.size() <= qh::MenuCaptionBytes, "caption longer than its limit");
        Check(qh::reference::EndsOnCharacterBoundary(caption, sjis), "caption ends in half a character");
        Check(plain.starts_with(caption) && plain.size() - caption.size() <= 1,
              "caption drops more than half a character");
    }
    return 0;
}
