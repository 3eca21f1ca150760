// Pasting into the settings dialog's content field reads the clipboard as a
// copy's capture does.
#include <atomic>
#include <thread>

#include "dialog_script.h"

namespace qh::win {
namespace {

std::string Utf16Bytes(std::wstring_view text) {
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t)) +
           std::string(sizeof(wchar_t), '\0');
}

std::wstring PastedFrom(const std::vector<test::ClipData>& clipboard) {
    HWND memo = Item(IdMemo);
    SetWindowTextW(memo, L"");
    test::PutClipboard(clipboard);
    SendMessageW(memo, WM_PASTE, 0, 0);
    return Text(memo);
}

TEST_F(DialogTest, SettingPastesTheFormPutFirstInTheLanguageItWasCopiedIn) {
    const LCID russian = MAKELCID(MAKELANGID(LANG_RUSSIAN, SUBLANG_RUSSIAN_RUSSIA), SORT_DEFAULT);
    const struct {
        const char* what;
        std::vector<test::ClipData> clipboard;
        std::wstring pasted;
    } cases[] = {
        {"ANSI put first", {{CF_TEXT, std::string("ansi first\0", 11)}, {CF_UNICODETEXT, Utf16Bytes(L"unicode")}},
         L"ansi first"},
        {"Unicode put first", {{CF_UNICODETEXT, Utf16Bytes(L"ソ表申")}, {CF_TEXT, std::string("ansi\0", 5)}},
         L"ソ表申"},
        // "Привет" in code page 1251, copied under a Russian keyboard.
        {"ANSI of another language",
         {{CF_TEXT, std::string("\xCF\xF0\xE8\xE2\xE5\xF2\0", 7)},
          {CF_LOCALE, std::string(reinterpret_cast<const char*>(&russian), sizeof russian)}},
         L"Привет"},
    };
    Script script;
    script.WaitFor("dialog", SettingOpen).Do([&] {
        for (const auto& c : cases) EXPECT_EQ(PastedFrom(c.clipboard), c.pasted) << c.what;

        // Another program holds the clipboard a moment: the paste waits for
        // it, serving what is sent meanwhile, as the capture does.
        test::PutClipboard({{CF_UNICODETEXT, Utf16Bytes(L"待った")}});
        SetWindowTextW(Item(IdMemo), L"");
        std::atomic<bool> held{false};
        const HWND dialogThreadWindow = owner_;
        std::thread holder([&] {
            const bool opened = OpenClipboard(nullptr);
            held = true;
            if (!opened) return;
            // Lets go once the dialog's thread has served a send while waiting.
            DWORD_PTR ignored = 0;
            SendMessageTimeoutW(dialogThreadWindow, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &ignored);
            CloseClipboard();
        });
        while (!held) Sleep(1);
        SendMessageW(Item(IdMemo), WM_PASTE, 0, 0);
        holder.join();
        EXPECT_EQ(Text(Item(IdMemo)), L"待った");
        Press(Item(IDCANCEL));
    });
    EXPECT_EQ(RunSetting(script), IDCANCEL);
}

}  // namespace
}  // namespace qh::win
