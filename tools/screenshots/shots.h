// Where the pictures go: QH_SCREENSHOT_DIR, as a Windows path.
#pragma once

#include <cstdlib>
#include <string>

#include "driver.h"

namespace qh::shots {

inline std::wstring Folder() {
    const char* folder = std::getenv("QH_SCREENSHOT_DIR");
    std::string narrow = folder ? folder : ".";
    return e2e::ToWindowsPath(std::wstring(narrow.begin(), narrow.end()));
}

}  // namespace qh::shots
