// The clipboard: reading what was copied and putting a chosen text back.
#pragma once

#include <windows.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "unicode.h"

namespace qh::win {

// Opened with AppWindow() as owner. Opening waits briefly for another
// program that holds the clipboard; when it stays busy, ClipboardBusy is
// thrown.
inline constexpr char ClipboardBusyMessage[] = "クリップボードを開くことができません";
class ClipboardBusy : public std::runtime_error {
public:
    ClipboardBusy() : std::runtime_error(ClipboardBusyMessage) {}
};

bool ClipboardHasText();
// What was copied. The text form the copying program put is the truth:
// the clipboard lists formats in the order they were put, so the one the
// system made from it comes later. CF_UNICODETEXT listed first gives the
// exact text, with the ANSI form made from it; CF_TEXT listed first (or
// alone) gives its bytes only. Empty when there is no text. No value when
// the copying program asked that its data not be recorded (passwords): the
// data is then not read at all.
std::optional<ExactText> ReadClipboardText();
// Replaces the whole clipboard with the text: CF_UNICODETEXT holds the exact
// text (or the ANSI bytes converted when there is none) and CF_TEXT the ANSI
// bytes. The form that is the truth goes first, so that the change reads
// back as the same text.
void WriteClipboardText(std::string_view ansiText,
                        std::optional<std::u16string_view> exactText = std::nullopt);

// A text block's contents, never read past its end (GlobalSize): up to the
// first NUL, or the whole block when there is none. A CF_UNICODETEXT block
// of odd size loses its last byte; its lone surrogates stay as they are.
std::string AnsiTextOfBlock(HGLOBAL block);
std::u16string UnicodeTextOfBlock(HGLOBAL block);

}  // namespace qh::win
