#include "clipboard.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "app_window.h"
#include "handles.h"

namespace qh::win {

namespace {

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

OpenClipboardScope::OpenClipboardScope(std::chrono::milliseconds patience) {
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(patience.count());
    while (!OpenClipboard(AppWindow())) {
        const ULONGLONG now = GetTickCount64();
        if (now >= end) throw ClipboardBusy();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(std::min<ULONGLONG>(end - now, 10)),
                                  QS_SENDMESSAGE);
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);  // runs the sent ones
    }
}

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

    // The user chose an entry a moment ago: a short wait beats losing it.
    OpenClipboardScope open(std::chrono::milliseconds(1000));
    if (!EmptyClipboard()) throw std::runtime_error("EmptyClipboard failed");
    if (!SetClipboardData(CF_TEXT, block.get())) throw std::runtime_error("SetClipboardData failed");
    block.release();  // the clipboard owns it now
}

}  // namespace qh::win
