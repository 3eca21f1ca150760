#include "conversions.h"

#include <windows.h>

namespace qh::win {

namespace {

std::wstring ToWide(UINT codePage, DWORD flags, std::string_view text) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int n = MultiByteToWideChar(codePage, flags, text.data(), size, nullptr, 0);
    if (n <= 0) return {};
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(codePage, flags, text.data(), size, wide.data(), n);
    return wide;
}

}  // namespace

std::wstring MessageText(std::string_view text) {
    std::wstring wide = ToWide(CP_UTF8, MB_ERR_INVALID_CHARS, text);
    return wide.empty() && !text.empty() ? FromAnsi(text) : wide;
}

std::wstring Widen(std::string_view utf8) { return ToWide(CP_UTF8, 0, utf8); }

std::wstring FromAnsi(std::string_view ansi) { return ToWide(CP_ACP, 0, ansi); }

std::string ToAnsi(std::wstring_view wide) {
    if (wide.empty()) return {};
    const int size = static_cast<int>(wide.size());
    const int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return {};
    std::string ansi(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), size, ansi.data(), n, nullptr, nullptr);
    return ansi;
}

const CodePage& SystemCodePage() {
    static const CodePage codePage =
        CodePage::FromPredicate([](unsigned char b) { return IsDBCSLeadByte(b) != 0; });
    return codePage;
}

}  // namespace qh::win
