#include "platform.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <cstring>
#include <vector>

#if !defined(_WIN64)
static_assert(sizeof(SHELLEXECUTEINFOA) == 60);
#endif

namespace qh::win {

// ---- text conversions

namespace {

std::wstring ToWide(UINT codePage, DWORD flags, std::string_view text) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int n = MultiByteToWideChar(codePage, flags, text.data(), size, nullptr, 0);
    if (n <= 0) return {};
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(codePage, flags, text.data(), size, wide.data(), n);
    return wide;
}

// A failure's message is UTF-8 when it is one of ours; a system or library
// message may be ANSI.
std::wstring MessageText(std::string_view text) {
    std::wstring wide = ToWide(CP_UTF8, MB_ERR_INVALID_CHARS, text);
    return wide.empty() && !text.empty() ? FromAnsi(text) : wide;
}

}  // namespace

std::wstring Widen(std::string_view utf8) { return ToWide(CP_UTF8, 0, utf8); }

std::wstring FromAnsi(std::string_view ansi) { return ToWide(CP_ACP, 0, ansi); }

std::string ToAnsi(std::wstring_view wide) {
    if (wide.empty()) return {};
    const int size = static_cast<int>(wide.size());
    const int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return {};
    std::string ansi(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), size, ansi.data(), n, nullptr, nullptr);
    return ansi;
}

const CodePage& SystemCodePage() {
    static const CodePage codePage =
        CodePage::FromPredicate([](unsigned char b) { return IsDBCSLeadByte(b) != 0; });
    return codePage;
}

// ---- the application window

namespace {

constexpr wchar_t AppClassName[] = L"QuillharborApplication";
constexpr UINT WM_ACTIVATETOP = WM_APP;

struct ModalEntry {
    HWND dialog;
    bool ended = false;
    INT_PTR result = IDCANCEL;
};
std::vector<ModalEntry*> openDialogs;  // innermost last
int modalScopes = 0;

// What a click on the taskbar button should bring up: a message box of
// ours, else the innermost dialog.
HWND TopOwnWindow(HWND app) {
    HWND popup = GetLastActivePopup(app);
    if (popup && popup != app && IsWindowEnabled(popup)) return popup;
    return openDialogs.empty() ? nullptr : openDialogs.back()->dialog;
}

LRESULT CALLBACK AppWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_CLOSE:
        return 0;  // closing the taskbar button does not end the program
    case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE) PostMessageW(hwnd, WM_ACTIVATETOP, 0, 0);
        return 0;
    case WM_ACTIVATETOP:
        if (HWND top = TopOwnWindow(hwnd)) SetForegroundWindow(top);
        return 0;
    default:
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

HWND MakeAppWindow() {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = AppWindowProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    wc.lpszClassName = AppClassName;
    RegisterClassExW(&wc);
    // Zero-sized at the screen's centre: all it shows is its taskbar button.
    const int x = GetSystemMetrics(SM_CXSCREEN) / 2;
    const int y = GetSystemMetrics(SM_CYSCREEN) / 2;
    HWND hwnd = CreateWindowExW(WS_EX_APPWINDOW, AppClassName, Widen(AppTitle).c_str(),
                                WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, x, y, 0, 0,
                                nullptr, nullptr, instance, nullptr);
    if (hwnd) ShowWindow(hwnd, SW_HIDE);
    return hwnd;
}

// Disables the thread's other visible, enabled top-level windows while a
// modal window of ours is up. The hidden main window is never visible, and
// the application window stays enabled so its taskbar button still works.
class OtherWindowsDisabled {
public:
    explicit OtherWindowsDisabled(HWND keep) : keep_(keep) {
        EnumThreadWindows(GetCurrentThreadId(), Collect, reinterpret_cast<LPARAM>(this));
    }
    ~OtherWindowsDisabled() { Restore(); }
    OtherWindowsDisabled(const OtherWindowsDisabled&) = delete;
    OtherWindowsDisabled& operator=(const OtherWindowsDisabled&) = delete;

    void Restore() {
        for (HWND w : disabled_)
            if (IsWindow(w)) EnableWindow(w, TRUE);
        disabled_.clear();
    }

private:
    static BOOL CALLBACK Collect(HWND w, LPARAM self) {
        auto* me = reinterpret_cast<OtherWindowsDisabled*>(self);
        if (w != me->keep_ && w != AppWindow() && IsWindowVisible(w) && IsWindowEnabled(w)) {
            EnableWindow(w, FALSE);
            me->disabled_.push_back(w);
        }
        return TRUE;
    }

    HWND keep_;
    std::vector<HWND> disabled_;
};

// Wakes modal loops blocked in GetMessage so that they see their end.
void WakeMessageLoops() { PostThreadMessageW(GetCurrentThreadId(), WM_NULL, 0, 0); }

}  // namespace

HWND AppWindow() {
    static const HWND app = MakeAppWindow();
    return app;
}

ModalScope::ModalScope() {
    if (modalScopes++ == 0) ShowWindow(AppWindow(), SW_SHOWNOACTIVATE);
}

ModalScope::~ModalScope() {
    if (--modalScopes == 0) ShowWindow(AppWindow(), SW_HIDE);
}

void InitializeApplication() {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES | ICC_TAB_CLASSES};
    InitCommonControlsEx(&icc);
    AppWindow();
}

int RunMessageLoop() {
    MSG msg;
    BOOL got;
    while ((got = GetMessageW(&msg, nullptr, 0, 0)) != 0) {
        if (got == -1) return 0;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

void ProcessWaitingMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// ---- modal dialogs

INT_PTR RunModal(HWND dialog) {
    ModalScope scope;
    ModalEntry entry{dialog};
    openDialogs.push_back(&entry);
    struct Unlist {
        ModalEntry* e;
        ~Unlist() { std::erase(openDialogs, e); }
    } unlist{&entry};

    OtherWindowsDisabled others(dialog);
    ShowWindow(dialog, SW_SHOW);
    SetForegroundWindow(dialog);

    std::optional<WPARAM> quit;
    while (!entry.ended && IsWindow(dialog)) {
        MSG msg;
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            quit = msg.wParam;
            break;
        }
        if (got == -1) break;
        if (!IsDialogMessageW(dialog, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    // Enable the owner chain before hiding, so activation returns to it
    // rather than to another program.
    others.Restore();
    if (IsWindow(dialog)) ShowWindow(dialog, SW_HIDE);
    if (quit) PostQuitMessage(static_cast<int>(*quit));
    return entry.ended ? entry.result : IDCANCEL;
}

void EndModal(HWND dialog, INT_PTR result) {
    for (ModalEntry* e : openDialogs) {
        if (e->dialog == dialog && !e->ended) {
            e->ended = true;
            e->result = result;
        }
    }
    WakeMessageLoops();
}

void CloseOpenDialogs() {
    for (auto it = openDialogs.rbegin(); it != openDialogs.rend(); ++it) {
        if (!(*it)->ended) {
            (*it)->ended = true;
            (*it)->result = IDCANCEL;
        }
    }
    WakeMessageLoops();
}

// ---- message boxes

void ShowInformation(std::string_view utf8Text) {
    ModalScope scope;
    OtherWindowsDisabled others(nullptr);
    MessageBoxW(AppWindow(), Widen(utf8Text).c_str(), Widen(AppTitle).c_str(), MB_OK);
}

bool Confirm(std::string_view utf8Text, std::string_view utf8Title) {
    ModalScope scope;
    OtherWindowsDisabled others(nullptr);
    return MessageBoxW(AppWindow(), Widen(utf8Text).c_str(), Widen(utf8Title).c_str(),
                       MB_YESNO | MB_DEFBUTTON2) == IDYES;
}

void ReportCurrentException() noexcept {
    try {
        std::string message;
        try {
            throw;
        } catch (const std::exception& e) {
            message = e.what();
        } catch (...) {
            message = "Unknown failure";
        }
        // A program that sent us the failing message must not wait for the box.
        ReplyMessage(0);
        OtherWindowsDisabled others(nullptr);
        MessageBoxW(AppWindow(), MessageText(FailureBoxText(message)).c_str(),
                    Widen(AppTitle).c_str(), MB_OK | MB_ICONSTOP);
    } catch (...) {
        // Nothing is left to tell the user with.
    }
}

// ---- clipboard

namespace {

// The clipboard, open for one scope; a busy clipboard is retried for
// about 100 ms before giving up.
class OpenClipboardScope {
public:
    OpenClipboardScope() {
        constexpr int Attempts = 10;
        for (int attempt = 0; attempt < Attempts; ++attempt) {
            if (OpenClipboard(AppWindow())) return;
            if (attempt + 1 < Attempts) Sleep(10);
        }
        throw ClipboardBusy();
    }
    ~OpenClipboardScope() { CloseClipboard(); }
    OpenClipboardScope(const OpenClipboardScope&) = delete;
    OpenClipboardScope& operator=(const OpenClipboardScope&) = delete;
};

// A locked global block, seen as bytes up to its real size.
class LockedBlock {
public:
    explicit LockedBlock(HGLOBAL block) : block_(block), data_(static_cast<const char*>(GlobalLock(block))) {
        if (data_) size_ = GlobalSize(block);
    }
    ~LockedBlock() {
        if (data_) GlobalUnlock(block_);
    }
    LockedBlock(const LockedBlock&) = delete;
    LockedBlock& operator=(const LockedBlock&) = delete;

    std::string_view Bytes() const { return data_ ? std::string_view(data_, size_) : std::string_view(); }

private:
    HGLOBAL block_;
    const char* data_;
    std::size_t size_ = 0;
};

bool HasFormat(const char* name) {
    const UINT format = RegisterClipboardFormatA(name);
    return format != 0 && IsClipboardFormatAvailable(format);
}

// Password managers mark what they copy; such data is never recorded.
// Needs the clipboard open, so that the marks belong to the data read.
bool MarkedPrivate() {
    return HasFormat("ExcludeClipboardContentFromMonitorProcessing") ||
           HasFormat("Clipboard Viewer Ignore");
}

// Needs the clipboard open: the value of "CanIncludeInClipboardHistory".
bool ExcludedFromHistory() {
    const UINT format = RegisterClipboardFormatA("CanIncludeInClipboardHistory");
    if (format == 0 || !IsClipboardFormatAvailable(format)) return false;
    HANDLE data = GetClipboardData(format);
    if (!data) return false;
    LockedBlock block(data);
    const std::string_view bytes = block.Bytes();
    DWORD allowed = 1;
    if (bytes.size() < sizeof allowed) return false;
    std::memcpy(&allowed, bytes.data(), sizeof allowed);
    return allowed == 0;
}

}  // namespace

bool ClipboardHasText() { return IsClipboardFormatAvailable(CF_TEXT) != 0; }

std::string ClipboardBlockText(HGLOBAL block) {
    LockedBlock locked(block);
    const std::string_view bytes = locked.Bytes();
    return std::string(bytes.substr(0, bytes.find('\0')));
}

std::optional<std::string> ReadClipboardText() {
    OpenClipboardScope open;
    if (MarkedPrivate() || ExcludedFromHistory()) return std::nullopt;
    HANDLE data = GetClipboardData(CF_TEXT);
    return data ? ClipboardBlockText(data) : std::string();
}

void WriteClipboardText(std::string_view ansiText) {
    // The block is ready before the clipboard is emptied: running out of
    // memory must not cost the user what the clipboard held.
    GlobalMemory block(GlobalAlloc(GMEM_MOVEABLE, ansiText.size() + 1));
    if (!block) throw std::bad_alloc();
    char* bytes = static_cast<char*>(GlobalLock(block.get()));
    if (!bytes) throw std::bad_alloc();
    std::memcpy(bytes, ansiText.data(), ansiText.size());
    bytes[ansiText.size()] = '\0';
    GlobalUnlock(block.get());

    OpenClipboardScope open;
    if (!EmptyClipboard()) throw std::runtime_error("EmptyClipboard failed");
    if (!SetClipboardData(CF_TEXT, block.get())) throw std::runtime_error("SetClipboardData failed");
    block.release();  // the clipboard owns it now
}

// ---- shell

bool ShellOpen(std::string_view ansiTarget) {
    const std::string target(ansiTarget);
    SHELLEXECUTEINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.lpVerb = "open";
    info.lpFile = target.c_str();
    info.lpParameters = "";
    info.nShow = SW_SHOWDEFAULT;
    const bool ok = ShellExecuteExA(&info) != FALSE;
    KernelHandle process(info.hProcess);  // not used; closed here
    return ok;
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

// ---- files

namespace {

// CreateFileW fails with INVALID_HANDLE_VALUE, not null.
KernelHandle File(HANDLE h) { return KernelHandle(h == INVALID_HANDLE_VALUE ? nullptr : h); }

class SystemPhraseFile final : public PhraseFile {
public:
    explicit SystemPhraseFile(std::wstring path) : path_(std::move(path)) {}

    std::optional<std::string> ReadAll() const override {
        const DWORD attributes = GetFileAttributesW(path_.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            const DWORD error = GetLastError();
            if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return std::nullopt;
            throw std::runtime_error("phrase file cannot be read");
        }
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) throw std::runtime_error("phrase file is a folder");
        const KernelHandle file = File(CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) throw std::runtime_error("phrase file cannot be opened");
        LARGE_INTEGER size{};
        if (!GetFileSizeEx(file.get(), &size)) throw std::runtime_error("phrase file cannot be read");
        std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
        std::size_t done = 0;
        while (done < bytes.size()) {
            const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
            DWORD read = 0;
            if (!ReadFile(file.get(), bytes.data() + done, chunk, &read, nullptr))
                throw std::runtime_error("phrase file cannot be read");
            if (read == 0) break;  // shorter than it was a moment ago
            done += read;
        }
        bytes.resize(done);
        return bytes;
    }

    void ReplaceAll(std::string_view bytes) override {
        // A read-only phrase file is not to be replaced (Windows refuses the
        // move; Wine would not, so ask first).
        const DWORD attributes = GetFileAttributesW(path_.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
            throw std::runtime_error("phrase file is read-only");
        const std::wstring temp = path_ + L".tmp";
        try {
            {
                const KernelHandle file = File(CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                                          FILE_ATTRIBUTE_NORMAL, nullptr));
                if (!file) throw std::runtime_error("temporary phrase file cannot be created");
                std::size_t done = 0;
                while (done < bytes.size()) {
                    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
                    DWORD written = 0;
                    if (!WriteFile(file.get(), bytes.data() + done, chunk, &written, nullptr) || written == 0)
                        throw std::runtime_error("phrase file cannot be written");
                    done += written;
                }
                if (!FlushFileBuffers(file.get())) throw std::runtime_error("phrase file cannot be written");
            }
            // The old file stays whole until the new one is complete.
            if (!MoveFileExW(temp.c_str(), path_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
                throw std::runtime_error("phrase file cannot be replaced");
        } catch (...) {
            DeleteFileW(temp.c_str());
            throw;
        }
    }

private:
    std::wstring path_;
};

}  // namespace

std::unique_ptr<PhraseFile> OpenPhraseFile(std::wstring path) {
    return std::make_unique<SystemPhraseFile>(std::move(path));
}

// ---- building blocks of our dialogs

void RegisterDialogClass(const wchar_t* name, WNDPROC windowProc) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    if (GetClassInfoExW(instance, name, &wc)) return;
    wc = WNDCLASSEXW{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = windowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = name;
    if (!RegisterClassExW(&wc)) throw std::runtime_error("a dialog window class cannot be registered");
}

int ScreenDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen) ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

GdiObject MakeFont(const wchar_t* face, int pixels, int dpi, int weight, bool italic) {
    GdiObject font(CreateFontW(-MulDiv(pixels, dpi, 96), 0, 0, 0, weight, italic, FALSE, FALSE,
                               SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                               DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face));
    if (!font) throw std::runtime_error("font cannot be created");
    return font;
}

std::wstring WindowText(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

namespace {

constexpr UINT_PTR FrameSubclassId = 1;

LRESULT CALLBACK FrameProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    if (message == WM_ERASEBKGND) {
        RECT inside;
        GetClientRect(hwnd, &inside);
        FillRect(reinterpret_cast<HDC>(wParam), &inside, GetSysColorBrush(COLOR_BTNFACE));
        return TRUE;
    }
    if (message == WM_NCDESTROY) RemoveWindowSubclass(hwnd, FrameProc, FrameSubclassId);
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

}  // namespace

void FillFrameInside(HWND frame) { SetWindowSubclass(frame, FrameProc, FrameSubclassId, 0); }

}  // namespace qh::win
