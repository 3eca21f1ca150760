#include "hardening.h"

#include <windows.h>

namespace qh::win {

namespace {

using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
using SetSearchPathModeFunction = BOOL(WINAPI*)(DWORD);

// Looked up rather than imported: Windows 7 without KB2533623 and Vista
// lack SetDefaultDllDirectories, and an import would stop the program there.
template <class Function>
Function KernelFunction(const char* name) {
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    return kernel ? reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(kernel, name)))
                  : nullptr;
}

}  // namespace

void HardenProcess() {
    HeapSetInformation(nullptr, HeapEnableTerminationOnCorruption, nullptr, 0);
    const auto defaultDirectories = KernelFunction<SetDefaultDllDirectoriesFunction>("SetDefaultDllDirectories");
    if (!defaultDirectories || !defaultDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        // Without it, at least the current folder leaves the search.
        SetDllDirectoryW(L"");
    }
    if (const auto searchMode = KernelFunction<SetSearchPathModeFunction>("SetSearchPathMode"))
        searchMode(BASE_SEARCH_PATH_ENABLE_SAFE_SEARCHMODE | BASE_SEARCH_PATH_PERMANENT);
}

}  // namespace qh::win
