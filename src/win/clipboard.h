// The clipboard: reading what was copied and putting a chosen text back.
#pragma once

#include <windows.h>

#include <chrono>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "unicode.h"

namespace qh::win {

// Opened with AppWindow() as owner. When another program holds the
// clipboard, ClipboardBusy is thrown.
inline constexpr char ClipboardBusyMessage[] = "クリップボードを開くことができません";
class ClipboardBusy : public std::runtime_error {
public:
    ClipboardBusy() : std::runtime_error(ClipboardBusyMessage) {}
};
// A text format was listed but gave no data: its owner rendered nothing
// (it ended, or timed out) or the system could not copy it.
class ClipboardTextUnread : public std::runtime_error {
public:
    ClipboardTextUnread() : std::runtime_error("The clipboard's text could not be read") {}
};

// The clipboard, open for one scope, with AppWindow() as owner. A busy
// clipboard is tried again for up to `patience`, meanwhile serving the
// messages other threads send to this one (the holder may be waiting on
// us); then ClipboardBusy is thrown.
class OpenClipboardScope {
public:
    explicit OpenClipboardScope(std::chrono::milliseconds patience = std::chrono::milliseconds(0));
    ~OpenClipboardScope() { CloseClipboard(); }
    OpenClipboardScope(const OpenClipboardScope&) = delete;
    OpenClipboardScope& operator=(const OpenClipboardScope&) = delete;
};

// A locked global block, seen as bytes up to its real size.
class LockedBlock {
public:
    explicit LockedBlock(HGLOBAL block) : block_(block), data_(static_cast<const char*>(GlobalLock(block))) {
        if (data_) size_ = GlobalSize(block);
    }
    ~LockedBlock() {
        if (data_) GlobalUnlock(block_);
    }
    LockedBlock(const LockedBlock&) = delete;
    LockedBlock& operator=(const LockedBlock&) = delete;

    std::string_view Bytes() const { return data_ ? std::string_view(data_, size_) : std::string_view(); }

private:
    HGLOBAL block_;
    const char* data_;
    std::size_t size_ = 0;
};

// How long a clipboard another program holds is waited for whenever the
// user asked for the clipboard (a paste, a chosen entry): the user waits too.
inline constexpr std::chrono::milliseconds BusyClipboardPatience{1000};

// A copied text and how the copying program wants it kept.
struct CopiedText {
    ExactText text;
    // "CanUploadToCloudClipboard" held 0: kept off clipboard sync.
    bool localOnly = false;
};

bool ClipboardHasText();
// What was copied. The text form the copying program put is the truth:
// the clipboard lists formats in the order they were put, so the one the
// system made from it comes later. CF_UNICODETEXT listed first gives the
// exact text, with the ANSI form made from it; CF_TEXT listed first (or
// alone) gives its bytes only. No value when there is no text, or when the
// copying program asked that its data not be recorded (passwords): the data
// is then not read at all. The clipboard is open only while the bytes are
// copied out. ClipboardTextUnread when the text listed gives no data.
std::optional<CopiedText> ReadClipboardText();
// What the user pastes: CF_UNICODETEXT, as any Unicode edit control takes
// it, which the system makes from an ANSI text in the code page of the input
// language it was copied under (CF_LOCALE). Empty when there is no text; a
// busy clipboard is waited for, then ClipboardBusy.
std::wstring ReadClipboardPasteText();
// Replaces the whole clipboard with the text: CF_UNICODETEXT holds the exact
// text (or the ANSI bytes converted when there is none) and CF_TEXT the ANSI
// bytes. The form that is the truth goes first, so that the change reads
// back as the same text. CF_LOCALE names the locale of the ANSI bytes' code
// page; `localOnly` keeps the text off clipboard sync, as it was copied.
// A busy clipboard is waited for.
void WriteClipboardText(std::string_view ansiText, std::optional<std::u16string_view> exactText = std::nullopt,
                        bool localOnly = false);

// A text block's contents, never read past its end (GlobalSize): up to the
// first NUL, or the whole block when there is none. A CF_UNICODETEXT block
// of odd size loses its last byte; its lone surrogates stay as they are.
std::string AnsiTextOfBlock(HGLOBAL block);
std::u16string UnicodeTextOfBlock(HGLOBAL block);

}  // namespace qh::win
