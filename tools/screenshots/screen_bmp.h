// A picture of part of the screen, as a 24-bit BMP file.
#pragma once

#include <windows.h>

#include <string>

namespace qh::shots {

// Writes the screen's area to path; false on any failure.
bool SaveScreenBmp(const std::wstring& path, RECT area);

}  // namespace qh::shots
