// The clipboard: reading what was copied and putting a chosen text back.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace qh::win {

// CF_TEXT, ANSI bytes; opened with AppWindow() as owner.
// Opening waits briefly for another program that holds the clipboard;
// when it stays busy, ClipboardBusy is thrown.
inline constexpr char ClipboardBusyMessage[] = "クリップボードを開くことができません";
class ClipboardBusy : public std::runtime_error {
public:
    ClipboardBusy() : std::runtime_error(ClipboardBusyMessage) {}
};

bool ClipboardHasText();
// The CF_TEXT data up to its first NUL, never past its block; empty when
// there is none. No value when the copying program asked that its data not
// be recorded (passwords): the data is then not read at all.
std::optional<std::string> ReadClipboardText();
// Replaces the whole clipboard with the text as CF_TEXT.
void WriteClipboardText(std::string_view ansiText);

}  // namespace qh::win
