// Text conversions between UTF-8 (our fixed texts), the ANSI code page
// (clipboard texts, generated captions) and the wide calls.
#pragma once

#include <string>
#include <string_view>

#include "text.h"

namespace qh::win {

std::wstring Widen(std::string_view utf8);
std::wstring FromAnsi(std::string_view ansi);
std::string ToAnsi(std::wstring_view wide);
// The lead bytes of the system's ANSI code page.
const CodePage& SystemCodePage();
// A failure's message is UTF-8 when it is one of ours; a system or library
// message may be ANSI.
std::wstring MessageText(std::string_view text);

}  // namespace qh::win
