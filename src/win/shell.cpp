#include "shell.h"

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include "app_window.h"
#include "handles.h"

#if !defined(_WIN64)
static_assert(sizeof(SHELLEXECUTEINFOA) == 60);
#endif

namespace qh::win {

ComApartment::ComApartment()
    : initialized_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE))) {}

ComApartment::~ComApartment() {
    if (initialized_) CoUninitialize();
}

unsigned long ShellOpen(std::string_view ansiTarget) {
    const std::string target(ansiTarget);
    SHELLEXECUTEINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.hwnd = BoxOwner();
    info.lpVerb = "open";
    info.lpFile = target.c_str();
    info.lpParameters = "";
    info.nShow = SW_SHOWDEFAULT;
    const bool ok = ShellExecuteExA(&info) != FALSE;
    const DWORD error = GetLastError();
    KernelHandle process(info.hProcess);  // not used; closed here
    // A failure that names no error is still a failure.
    return ok ? ERROR_SUCCESS : error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE;
}

std::wstring ExecutableDirectory() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

}  // namespace qh::win
