// Texts beyond the code page through the real program: a copy made as
// Unicode only, as nearly every current program makes it, comes back
// exactly.
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace e2e
