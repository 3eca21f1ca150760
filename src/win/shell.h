// The shell's open operation and where the program lives.
#pragma once

#include <string>
#include <string_view>

namespace qh::win {

// ShellExecuteExA "open" on the ANSI target; false when the shell fails.
bool ShellOpen(std::string_view ansiTarget);

// The folder of the running executable, with its trailing backslash.
std::wstring ExecutableDirectory();

}  // namespace qh::win
