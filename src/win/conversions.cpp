#include "conversions.h"

#include <windows.h>

#include <climits>
#include <cstring>
#include <stdexcept>

namespace qh::win {

namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "the wide calls take UTF-16");

int CheckedSize(std::size_t size) {
    if (size > static_cast<std::size_t>(INT_MAX)) throw std::length_error("The text is too long to convert");
    return static_cast<int>(size);
}

std::wstring ToWide(UINT codePage, DWORD flags, std::string_view text) {
    if (text.empty()) return {};
    const int size = CheckedSize(text.size());
    const int n = MultiByteToWideChar(codePage, flags, text.data(), size, nullptr, 0);
    if (n <= 0) return {};
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(codePage, flags, text.data(), size, wide.data(), n);
    return wide;
}

// Characters the code page lacks become '?': without WC_NO_BEST_FIT_CHARS
// the system would write lookalikes ("e" for "é"), silently changing the
// text. UTF-8 as the system code page holds every character and takes
// neither the flag nor a default character.
std::string FromWide(const wchar_t* wide, std::size_t length) {
    if (length == 0) return {};
    const int size = CheckedSize(length);
    const bool utf8 = GetACP() == CP_UTF8;
    const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
    const char* unknown = utf8 ? nullptr : "?";
    const int n = WideCharToMultiByte(CP_ACP, flags, wide, size, nullptr, 0, unknown, nullptr);
    if (n <= 0) return {};
    std::string ansi(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, flags, wide, size, ansi.data(), n, unknown, nullptr);
    return ansi;
}

class SystemAnsi final : public AnsiCodePage {
public:
    std::string FromUtf16(std::u16string_view text) const override {
        return FromWide(reinterpret_cast<const wchar_t*>(text.data()), text.size());
    }
    std::u16string ToUtf16(std::string_view ansi) const override {
        if (ansi.empty()) return {};
        const int size = CheckedSize(ansi.size());
        const int n = MultiByteToWideChar(CP_ACP, 0, ansi.data(), size, nullptr, 0);
        if (n <= 0) return {};
        std::u16string text(static_cast<std::size_t>(n), u'\0');
        MultiByteToWideChar(CP_ACP, 0, ansi.data(), size, reinterpret_cast<wchar_t*>(text.data()), n);
        return text;
    }
};

}  // namespace

std::wstring MessageText(std::string_view text) {
    std::wstring wide = ToWide(CP_UTF8, MB_ERR_INVALID_CHARS, text);
    return wide.empty() && !text.empty() ? FromAnsi(text) : wide;
}

std::wstring Widen(std::string_view utf8) { return ToWide(CP_UTF8, 0, utf8); }

std::wstring FromAnsi(std::string_view ansi, unsigned codePage) { return ToWide(codePage, 0, ansi); }

std::string ToAnsi(std::wstring_view wide) {
    if (wide.empty()) return {};
    const int size = CheckedSize(wide.size());
    const int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return {};
    std::string ansi(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), size, ansi.data(), n, nullptr, nullptr);
    return ansi;
}

std::wstring WideOf(std::u16string_view text) {
    std::wstring wide(text.size(), L'\0');
    if (!text.empty()) std::memcpy(wide.data(), text.data(), text.size() * sizeof(char16_t));
    return wide;
}

std::u16string Utf16Of(std::wstring_view wide) {
    std::u16string text(wide.size(), u'\0');
    if (!wide.empty()) std::memcpy(text.data(), wide.data(), wide.size() * sizeof(wchar_t));
    return text;
}

const CodePage& SystemCodePage() {
    static const CodePage codePage =
        GetACP() == CP_UTF8 ? CodePage::Utf8()
                            : CodePage::FromPredicate([](unsigned char b) { return IsDBCSLeadByte(b) != 0; });
    return codePage;
}

const AnsiCodePage& SystemAnsiCodePage() {
    static const SystemAnsi codePage;
    return codePage;
}

}  // namespace qh::win
