// The clipboard: reading what was copied and putting a chosen text back.
#pragma once

#include <windows.h>

#include <chrono>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace qh::win {

// CF_TEXT, ANSI bytes; opened with AppWindow() as owner.
// When another program holds the clipboard, ClipboardBusy is thrown.
inline constexpr char ClipboardBusyMessage[] = "クリップボードを開くことができません";
class ClipboardBusy : public std::runtime_error {
public:
    ClipboardBusy() : std::runtime_error(ClipboardBusyMessage) {}
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

bool ClipboardHasText();
// The CF_TEXT data up to its first NUL, never past its block; empty when
// there is none. No value when the copying program asked that its data not
// be recorded (passwords): the data is then not read at all.
std::optional<std::string> ReadClipboardText();
// Replaces the whole clipboard with the text as CF_TEXT; a busy clipboard
// is waited for up to about a second.
void WriteClipboardText(std::string_view ansiText);

}  // namespace qh::win
