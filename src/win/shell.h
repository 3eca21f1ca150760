// The shell's open operation and where the program lives.
#pragma once

#include <string>
#include <string_view>

namespace qh::win {

// COM for the thread, apartment-threaded, for its lifetime: the shell's
// open operation needs it for some targets (mail handlers in particular).
class ComApartment {
public:
    ComApartment();
    ~ComApartment();
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    bool initialized_ = false;
};

// ShellExecuteExA "open" on the ANSI target: ERROR_SUCCESS, else the
// shell's error (ERROR_CANCELLED when the user cancelled a dialog of the
// shell's, such as its choice of a program). The shell's own messages
// belong to BoxOwner().
unsigned long ShellOpen(std::string_view ansiTarget);

// The folder of the running executable, with its trailing backslash.
std::wstring ExecutableDirectory();

}  // namespace qh::win
