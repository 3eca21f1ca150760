// Text conversions between UTF-8 (our fixed texts), the ANSI code page
// (clipboard texts, generated captions), UTF-16 (exact texts) and the wide
// calls.
#pragma once

#include <string>
#include <string_view>

#include "text.h"
#include "unicode.h"

namespace qh::win {

std::wstring Widen(std::string_view utf8);
// Bytes of an ANSI code page; 0 is the system's (CP_ACP).
std::wstring FromAnsi(std::string_view ansi, unsigned codePage = 0);
std::string ToAnsi(std::wstring_view wide);
// The lead bytes of the system's ANSI code page.
const CodePage& SystemCodePage();
// The system's ANSI code page for exact texts: a character it cannot hold
// becomes '?', never a lookalike.
const AnsiCodePage& SystemAnsiCodePage();
// UTF-16 between the core's strings and the wide calls (the same units).
std::wstring WideOf(std::u16string_view text);
std::u16string Utf16Of(std::wstring_view wide);
// A failure's message is UTF-8 when it is one of ours; a system or library
// message may be ANSI.
std::wstring MessageText(std::string_view text);

}  // namespace qh::win
