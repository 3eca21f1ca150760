// Puts texts on the clipboard as another program would: `clipput N SIZE`
// copies N distinct texts of SIZE bytes, waiting briefly between copies so
// that each change is seen by the clipboard's listeners.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

static bool Put(const std::string& text) {
    for (int attempt = 0; attempt < 50; ++attempt) {
        if (OpenClipboard(nullptr)) {
            EmptyClipboard();
            HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
            if (block) {
                std::memcpy(GlobalLock(block), text.c_str(), text.size() + 1);
                GlobalUnlock(block);
                if (!SetClipboardData(CF_TEXT, block)) GlobalFree(block);
            }
            CloseClipboard();
            return block != nullptr;
        }
        Sleep(10);
    }
    return false;
}

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 30;
    const std::size_t size = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 1024;
    for (int i = 0; i < count; ++i) {
        std::string text = std::to_string(i) + ":";
        text.resize(size, static_cast<char>('a' + i % 26));
        if (!Put(text)) return 1;
        Sleep(50);
    }
    return 0;
}
