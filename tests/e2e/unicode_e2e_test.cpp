// Texts beyond the code page through the real program: a copy made as
// Unicode only, as nearly every current program makes it, comes back
// exactly.
#include <gtest/gtest.h>

#include <map>

#include "driver.h"

namespace e2e {
namespace {

#define ASSERT_STARTED(app) ASSERT_TRUE((app).started()) << (app).problem()

std::string Utf16Bytes(std::wstring_view text) {
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}

TEST(History, AUnicodeOnlyCopyComesBackExactlyAsTheSameEntry) {
    const std::wstring copied = L"𠮷野家の髙橋さん naïve café €5 😀 한국어";
    Quillharbor app;
    ASSERT_STARTED(app);
    CopyOptions unicode;
    unicode.format = CF_UNICODETEXT;
    ASSERT_TRUE(app.Copy(Utf16Bytes(copied), unicode));
    ASSERT_TRUE(app.Copy("newer"));

    // An ANSI program gets the code page's bytes, with "?" for what it lacks.
    EXPECT_EQ(app.Choose({'C', VK_DOWN, VK_RETURN}), qh::test::AnsiOf(copied));
    EXPECT_EQ(ReadUnicodeText(), copied);
    EXPECT_EQ(app.Choose({'C', VK_UP, VK_RETURN}), "newer") << "the choice came back as a second entry";
}

// The program with UTF-8 as its ANSI code page, as Windows 10 and 11 set it
// for every program with "Beta: Unicode UTF-8": a copy whose manifest asks
// for it, which Wine honours too. Empty when it could not be made.
BOOL CALLBACK FirstLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD found, LONG_PTR to) {
    *reinterpret_cast<WORD*>(to) = found;
    return FALSE;
}

std::wstring Utf8CodePageCopy(const qh::test::ScratchFolder& folder) {
    const std::wstring copy = folder.Path().wstring() + L"\\Quillharbor-utf8.exe";
    std::string manifest;
    WORD language = 0;
    if (HMODULE image = LoadLibraryExW(ProgramUnderTest().c_str(), nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE)) {
        EnumResourceLanguagesW(image, MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1), FirstLanguage,
                               reinterpret_cast<LONG_PTR>(&language));
        if (HRSRC found = FindResourceExW(image, MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1), language))
            manifest.assign(static_cast<const char*>(LockResource(LoadResource(image, found))),
                            SizeofResource(image, found));
        FreeLibrary(image);
    }
    const std::string settings = "<windowsSettings>";
    const std::size_t at = manifest.find(settings);
    if (at == std::string::npos || !CopyFileW(ProgramUnderTest().c_str(), copy.c_str(), FALSE)) return {};
    manifest.insert(at + settings.size(), "<activeCodePage xmlns=\"http://schemas.microsoft.com/SMI/2019/"
                                          "WindowsSettings\">UTF-8</activeCodePage>");
    HANDLE update = BeginUpdateResourceW(copy.c_str(), FALSE);
    if (!update || !UpdateResourceW(update, MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1), language, manifest.data(),
                                    static_cast<DWORD>(manifest.size())))
        return {};
    return EndUpdateResourceW(update, FALSE) ? copy : std::wstring();
}

TEST(History, WithAUtf8CodePageCopiesAndPhrasesComeBackExactly) {
    const std::wstring copied = std::wstring(30, L'語') + L" 𠮷 naïve 😀", phrase = L"こんにちは😀";
    qh::test::ScratchFolder folder("qh-utf8");
    const std::wstring exe = Utf8CodePageCopy(folder);
    ASSERT_FALSE(exe.empty()) << "the UTF-8 copy of the program could not be made";
    // A phrase file saved in that code page: UTF-8 without a BOM.
    Quillharbor app("\xE6\x8C\xA8\xE6\x8B\xB6\t\xE3\x81\x93\xE3\x82\x93\xE3\x81\xAB\xE3\x81\xA1\xE3\x81\xAF"
                    "\xF0\x9F\x98\x80\r\n",
                    exe);
    ASSERT_STARTED(app);
    CopyOptions unicode;
    unicode.format = CF_UNICODETEXT;
    ASSERT_TRUE(app.Copy(Utf16Bytes(copied), unicode));
    ASSERT_TRUE(app.Copy("newer"));

    EXPECT_TRUE(app.Choose({'C', VK_DOWN, VK_RETURN}));
    EXPECT_EQ(ReadUnicodeText(), copied);
    EXPECT_TRUE(app.Choose({'T', VK_RETURN}));
    EXPECT_EQ(ReadUnicodeText(), phrase);
}

// The width of the history's submenu, which its longest caption sets; 0
// when it did not open.
LONG HistoryMenuWidth(Quillharbor& app) {
    LONG width = 0;
    if (app.OpenMenu()) {
        Press({'C'});
        WaitUntil([&] {
            for (HWND menu : VisiblePopupMenus(app.processId())) {
                RECT r;
                GetWindowRect(menu, &r);
                if (r.left != MenuAnchor.x || r.top != MenuAnchor.y) width = r.right - r.left;
            }
            return width > 0;
        }, Millis(5000));
    }
    app.CloseMenus();
    return width;
}

// Where the code page is UTF-8 a long caption is cut by characters, at the
// width it has in code page 932: 30 three-byte characters show as 25.
// Captions of 8 and 16 are whole either way and give the advance of one.
TEST(Menu, ALongCaptionIsCutByCharacterWhereTheCodePageIsUtf8) {
    qh::test::ScratchFolder folder("qh-utf8");
    const std::wstring exe = Utf8CodePageCopy(folder);
    ASSERT_FALSE(exe.empty()) << "the UTF-8 copy of the program could not be made";
    Quillharbor app(std::nullopt, exe);
    ASSERT_STARTED(app);
    CopyOptions unicode;
    unicode.format = CF_UNICODETEXT;
    std::map<int, LONG> width;
    for (const int n : {8, 16, 30}) {
        ASSERT_TRUE(app.Copy(Utf16Bytes(std::wstring(n, L'語')), unicode));
        width[n] = HistoryMenuWidth(app);  // the newest caption is the longest
    }
    ASSERT_GT(width[16], width[8]);
    EXPECT_EQ(width[30] - width[16], (width[16] - width[8]) * 9 / 8);
}

}  // namespace
}  // namespace e2e
