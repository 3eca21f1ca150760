#include "clipboard.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

#include "app_window.h"
#include "conversions.h"
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

// Needs the clipboard open: the DWORD a format holds, if it is there.
std::optional<DWORD> DwordOf(UINT format) {
    if (format == 0 || !IsClipboardFormatAvailable(format)) return std::nullopt;
    HANDLE data = GetClipboardData(format);
    if (!data) return std::nullopt;
    LockedBlock block(data);
    const std::string_view bytes = block.Bytes();
    DWORD value = 0;
    if (bytes.size() < sizeof value) return std::nullopt;
    std::memcpy(&value, bytes.data(), sizeof value);
    return value;
}

// Needs the clipboard open: the value of "CanIncludeInClipboardHistory".
bool ExcludedFromHistory() { return DwordOf(RegisterClipboardFormatA("CanIncludeInClipboardHistory")) == 0u; }

// Needs the clipboard open: whether the data may be in local histories
// only, not synchronised to the user's other devices.
constexpr char CloudMarkName[] = "CanUploadToCloudClipboard";
bool KeptOffCloud() { return DwordOf(RegisterClipboardFormatA(CloudMarkName)) == 0u; }

// Needs the clipboard open: whether CF_UNICODETEXT comes before CF_TEXT in
// the order the formats were put.
bool UnicodeListedFirst() {
    for (UINT format = EnumClipboardFormats(0); format != 0; format = EnumClipboardFormats(format)) {
        if (format == CF_UNICODETEXT) return true;
        if (format == CF_TEXT) return false;
    }
    return false;
}

// A movable block holding `bytes` bytes written by `fill`, then a NUL of
// `nulSize` bytes.
template <class Fill>
GlobalMemory NewTextBlock(std::size_t bytes, std::size_t nulSize, Fill fill) {
    if (bytes > SIZE_MAX - nulSize) throw std::bad_alloc();
    GlobalMemory block(GlobalAlloc(GMEM_MOVEABLE, bytes + nulSize));
    if (!block) throw std::bad_alloc();
    char* data = static_cast<char*>(GlobalLock(block.get()));
    if (!data) throw std::bad_alloc();
    fill(data);
    std::memset(data + bytes, 0, nulSize);
    GlobalUnlock(block.get());
    return block;
}

GlobalMemory DwordBlock(DWORD value) {
    return NewTextBlock(sizeof value, 0, [&](char* data) { std::memcpy(data, &value, sizeof value); });
}

GlobalMemory AnsiBlock(std::string_view ansi) {
    return NewTextBlock(ansi.size(), 1, [&](char* data) { std::memcpy(data, ansi.data(), ansi.size()); });
}

GlobalMemory UnicodeBlock(std::u16string_view text) {
    return NewTextBlock(text.size() * sizeof(char16_t), sizeof(char16_t),
                        [&](char* data) { std::memcpy(data, text.data(), text.size() * sizeof(char16_t)); });
}

// The ANSI bytes converted straight into the block: a large text is not
// held twice meanwhile.
GlobalMemory UnicodeBlockOfAnsi(std::string_view ansi) {
    if (ansi.size() > static_cast<std::size_t>(INT_MAX)) throw std::bad_alloc();
    const int size = static_cast<int>(ansi.size());
    const int units = size == 0 ? 0 : MultiByteToWideChar(CP_ACP, 0, ansi.data(), size, nullptr, 0);
    if (units < 0 || (size > 0 && units == 0)) throw std::runtime_error("MultiByteToWideChar failed");
    return NewTextBlock(static_cast<std::size_t>(units) * sizeof(wchar_t), sizeof(wchar_t), [&](char* data) {
        if (units > 0) MultiByteToWideChar(CP_ACP, 0, ansi.data(), size, reinterpret_cast<wchar_t*>(data), units);
    });
}

void Put(UINT format, GlobalMemory& block) {
    if (!SetClipboardData(format, block.get())) throw std::runtime_error("SetClipboardData failed");
    block.release();  // the clipboard owns it now
}

}  // namespace

OpenClipboardScope::OpenClipboardScope(std::chrono::milliseconds patience) {
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(patience.count());
    while (!OpenClipboard(AppWindow())) {
        const ULONGLONG now = GetTickCount64();
        if (now >= end) throw ClipboardBusy();
        PauseAnsweringSentMessages(static_cast<DWORD>(std::min<ULONGLONG>(end - now, 10)));
    }
}

std::string AnsiTextOfBlock(HGLOBAL block) {
    LockedBlock locked(block);
    const std::string_view bytes = locked.Bytes();
    return std::string(bytes.substr(0, bytes.find('\0')));
}

std::u16string UnicodeTextOfBlock(HGLOBAL block) {
    LockedBlock locked(block);
    const std::string_view bytes = locked.Bytes();
    // Copied unit by unit: the block's bytes need not be aligned for char16_t.
    std::u16string text(bytes.size() / sizeof(char16_t), u'\0');
    if (!text.empty()) std::memcpy(text.data(), bytes.data(), text.size() * sizeof(char16_t));
    text.resize(static_cast<std::size_t>(std::find(text.begin(), text.end(), u'\0') - text.begin()));
    return text;
}

bool ClipboardHasText() {
    return IsClipboardFormatAvailable(CF_UNICODETEXT) || IsClipboardFormatAvailable(CF_TEXT);
}

std::optional<CopiedText> ReadClipboardText() {
    std::u16string unicode;
    std::string ansi;
    bool unicodeFirst = false, localOnly = false;
    {
        OpenClipboardScope open;
        if (MarkedPrivate() || ExcludedFromHistory()) return std::nullopt;
        unicodeFirst = UnicodeListedFirst();
        const UINT format = unicodeFirst ? CF_UNICODETEXT : CF_TEXT;
        if (!IsClipboardFormatAvailable(format)) return std::nullopt;
        // No data is no text: an empty entry is for a copy that really is empty.
        HANDLE data = GetClipboardData(format);
        if (!data) throw ClipboardTextUnread();
        if (unicodeFirst)
            unicode = UnicodeTextOfBlock(data);
        else
            ansi = AnsiTextOfBlock(data);
        localOnly = KeptOffCloud();
    }
    // Converted with the clipboard closed: for a large text this takes long,
    // and other programs may use the clipboard meanwhile.
    if (unicodeFirst) return CopiedText{FromExact(std::move(unicode), SystemAnsiCodePage()), localOnly};
    return CopiedText{ExactText{std::move(ansi), std::nullopt}, localOnly};
}

std::wstring ReadClipboardPasteText() {
    OpenClipboardScope open(BusyClipboardPatience);
    // As Notepad pastes: an ANSI text comes converted by the system, in the
    // code page of CF_LOCALE. Where a copy holds both forms, its CF_TEXT read
    // in the code page of the input language stamped at its closing would
    // garble it.
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    if (!data) return std::wstring();
    const std::u16string text = UnicodeTextOfBlock(data);
    return std::wstring(text.begin(), text.end());
}

void WriteClipboardText(std::string_view ansiText, std::optional<std::u16string_view> exactText, bool localOnly) {
    // Every block is ready before the clipboard is emptied: running out of
    // memory must not cost the user what the clipboard held.
    GlobalMemory ansi = AnsiBlock(ansiText);
    GlobalMemory unicode = exactText ? UnicodeBlock(*exactText) : UnicodeBlockOfAnsi(ansiText);
    // The ANSI bytes are in the code page of the system locale. Without a
    // CF_LOCALE of our own the system stamps the active input language, and
    // under an English layout makes CF_OEMTEXT through code page 437.
    GlobalMemory locale = DwordBlock(GetSystemDefaultLCID());
    GlobalMemory cloudMark = localOnly ? DwordBlock(0) : GlobalMemory();

    // The user chose an entry a moment ago: a short wait beats losing it.
    OpenClipboardScope open(BusyClipboardPatience);
    if (!EmptyClipboard()) throw std::runtime_error("EmptyClipboard failed");
    if (exactText) {
        Put(CF_UNICODETEXT, unicode);
        Put(CF_TEXT, ansi);
    } else {
        // ANSI bytes that their Unicode form does not give back (bytes the
        // code page leaves undefined) must read back as themselves.
        Put(CF_TEXT, ansi);
        Put(CF_UNICODETEXT, unicode);
    }
    Put(CF_LOCALE, locale);
    if (cloudMark) Put(RegisterClipboardFormatA(CloudMarkName), cloudMark);
}

}  // namespace qh::win
