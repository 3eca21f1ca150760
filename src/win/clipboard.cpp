#include "clipboard.h"

#include <windows.h>

#include <cstring>
#include <new>

#include "app_window.h"
#include "handles.h"

namespace qh::win {

namespace {

// The clipboard, open for one scope; a busy clipboard is retried for
// about 100 ms before giving up.
class OpenClipboardScope {
public:
    OpenClipboardScope() {
        constexpr int Attempts = 10;
        for (int attempt = 0; attempt < Attempts; ++attempt) {
            if (OpenClipboard(AppWindow())) return;
            if (attempt + 1 < Attempts) Sleep(10);
        }
        throw ClipboardBusy();
    }
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

bool HasFormat(const char* name) {
    const UINT format = RegisterClipboardFormatA(name);
    return format != 0 && IsClipboardFormatAvailable(format);
}

// Password managers mark what they copy; such data is never recorded.
// Needs the clipboard open, so that the marks belong to the data read.
bool MarkedPrivate() {
    return HasFormat("ExcludeClipboardContentFromMonitorProcessing") ||
           HasFormat("Clipboard Viewer Ignore");
}

// Needs the clipboard open: the value of "CanIncludeInClipboardHistory".
bool ExcludedFromHistory() {
    const UINT format = RegisterClipboardFormatA("CanIncludeInClipboardHistory");
    if (format == 0 || !IsClipboardFormatAvailable(format)) return false;
    HANDLE data = GetClipboardData(format);
    if (!data) return false;
    LockedBlock block(data);
    const std::string_view bytes = block.Bytes();
    DWORD allowed = 1;
    if (bytes.size() < sizeof allowed) return false;
    std::memcpy(&allowed, bytes.data(), sizeof allowed);
    return allowed == 0;
}

}  // namespace

bool ClipboardHasText() { return IsClipboardFormatAvailable(CF_TEXT) != 0; }

std::optional<std::string> ReadClipboardText() {
    OpenClipboardScope open;
    if (MarkedPrivate() || ExcludedFromHistory()) return std::nullopt;
    HANDLE data = GetClipboardData(CF_TEXT);
    if (!data) return std::string();
    LockedBlock block(data);
    const std::string_view bytes = block.Bytes();
    return std::string(bytes.substr(0, bytes.find('\0')));
}

void WriteClipboardText(std::string_view ansiText) {
    // The block is ready before the clipboard is emptied: running out of
    // memory must not cost the user what the clipboard held.
    GlobalMemory block(GlobalAlloc(GMEM_MOVEABLE, ansiText.size() + 1));
    if (!block) throw std::bad_alloc();
    char* bytes = static_cast<char*>(GlobalLock(block.get()));
    if (!bytes) throw std::bad_alloc();
    std::memcpy(bytes, ansiText.data(), ansiText.size());
    bytes[ansiText.size()] = '\0';
    GlobalUnlock(block.get());

    OpenClipboardScope open;
    if (!EmptyClipboard()) throw std::runtime_error("EmptyClipboard failed");
    if (!SetClipboardData(CF_TEXT, block.get())) throw std::runtime_error("SetClipboardData failed");
    block.release();  // the clipboard owns it now
}

}  // namespace qh::win
