// Pasting into the settings dialog's content field gives what Notepad would:
// the clipboard's CF_UNICODETEXT, whatever the input language.
#include <atomic>
#include <thread>

#include "dialog_script.h"

namespace qh::win {
namespace {

TEST_F(DialogTest, SettingPastesTheUnicodeFormInTheLanguageItWasCopiedIn) {
    const auto locale = [](LANGID language) {
        const LCID id = MAKELCID(language, SORT_DEFAULT);
        return test::ClipData{CF_LOCALE, std::string(reinterpret_cast<const char*>(&id), sizeof id)};
    };
    const struct {
        std::vector<test::ClipData> clipboard;
        std::wstring pasted;
        bool heldAMoment = false;  // by another program
    } cases[] = {
        // Our own put-back, closed under an English keyboard: Windows stamps that language.
        {{{CF_TEXT, std::string("\x83\x5C\x95\x5C\x90\x5C\0", 7)},
          {CF_UNICODETEXT, test::UnicodeBytes(L"ソ表申")},
          locale(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US))},
         L"ソ表申"},
        {{{CF_UNICODETEXT, test::UnicodeBytes(L"ソ表申")}, {CF_TEXT, std::string("ansi\0", 5)}}, L"ソ表申"},
        // "Привет" in code page 1251, copied under a Russian keyboard.
        {{{CF_TEXT, std::string("\xCF\xF0\xE8\xE2\xE5\xF2\0", 7)},
          locale(MAKELANGID(LANG_RUSSIAN, SUBLANG_RUSSIAN_RUSSIA))},
         L"Привет"},
        {{{CF_UNICODETEXT, test::UnicodeBytes(L"待った")}}, L"待った", true},
    };
    Script script;
    script.WaitFor("dialog", SettingOpen).Do([&] {
        for (const auto& [clipboard, pasted, heldAMoment] : cases) {
            SetWindowTextW(Item(IdMemo), L"");
            test::PutClipboard(clipboard);
            std::atomic<bool> held{false};
            // Lets go once the dialog's thread, waiting, has served a send.
            std::thread holder([&, owner = owner_] {
                const bool opened = heldAMoment && OpenClipboard(nullptr);
                held = true;
                DWORD_PTR ignored = 0;
                if (opened) SendMessageTimeoutW(owner, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &ignored);
                if (opened) CloseClipboard();
            });
            while (!held) Sleep(1);
            SendMessageW(Item(IdMemo), WM_PASTE, 0, 0);
            holder.join();
            EXPECT_EQ(Text(Item(IdMemo)), pasted);
        }
        Press(Item(IDCANCEL));
    });
    EXPECT_EQ(RunSetting(script), IDCANCEL);
}

}  // namespace
}  // namespace qh::win
