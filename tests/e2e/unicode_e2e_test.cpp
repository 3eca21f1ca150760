// Texts beyond the code page through the real program: a copy made as
// Unicode only, as nearly every current program makes it, comes back
// exactly.
#include <gtest/gtest.h>

#include "driver.h"

namespace e2e {
namespace {

#define ASSERT_STARTED(app) ASSERT_TRUE((app).started()) << (app).problem()

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

TEST(History, WithAUtf8CodePageCopiesAndPhrasesComeBackExactlyAndCaptionsAreCutByCharacter) {
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
    // The history's width, which its newest and longest caption sets: of 30
    // characters of three bytes 25 show, their width in code page 932, so more
    // show beyond 16 than 8 more take.
    std::vector<LONG> widths;
    for (const std::wstring& text : {std::wstring(8, L'語'), std::wstring(16, L'語'), copied}) {
        RECT r{};
        ASSERT_TRUE(app.Copy(Utf16Bytes(text), unicode) && app.OpenMenu());
        Press({'C'});
        ASSERT_TRUE(WaitUntil([&] { return VisiblePopupMenus(app.processId()).size() == 2; }, Millis(5000)));
        GetWindowRect(VisiblePopupMenus(app.processId()).front(), &r);
        widths.push_back(r.right - r.left);
        app.CloseMenus();
    }
    EXPECT_GT(widths[2] - widths[1], widths[1] - widths[0]) << "a caption was cut by bytes";
    ASSERT_TRUE(app.Copy("newer"));

    EXPECT_TRUE(app.Choose({'C', VK_DOWN, VK_RETURN}));
    EXPECT_EQ(ReadUnicodeText(), copied);
    EXPECT_TRUE(app.Choose({'T', VK_RETURN}));
    EXPECT_EQ(ReadUnicodeText(), phrase);
}

}  // namespace
}  // namespace e2e
