#include "driver.h"

#include <shellapi.h>

#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>
#include <memory>
#include <type_traits>
#include <utility>

namespace e2e {
namespace {

using Clock = std::chrono::steady_clock;

constexpr UINT TrayCallback = WM_USER + 1;
constexpr UINT TrayIconId = 100;

// Runs a cleanup at the end of a scope.
template <class F>
class Finally {
public:
    explicit Finally(F f) : f_(std::move(f)) {}
    ~Finally() { f_(); }
    Finally(const Finally&) = delete;
    Finally& operator=(const Finally&) = delete;

private:
    F f_;
};

struct HandleCloser {
    void operator()(HANDLE h) const {
        if (h && h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
};
using UniqueHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, HandleCloser>;

std::wstring Environment(const wchar_t* name) {
    DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    if (size == 0) return {};
    std::wstring value(size, L'\0');
    size = GetEnvironmentVariableW(name, value.data(), size);
    value.resize(size);
    return value;
}

// A message-only window of this thread: the clipboard's owner for our copies.
HWND DriverWindow() {
    static const HWND window = [] {
        WNDCLASSW wc{};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"QuillharborE2EDriver";
        RegisterClassW(&wc);
        return CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               wc.hInstance, nullptr);
    }();
    return window;
}

// The program under test may hold the clipboard for a moment while it reads.
bool OpenClipboardPatiently() {
    return WaitUntil([] { return OpenClipboard(DriverWindow()) != FALSE; }, Millis(5000));
}

bool SetBlock(UINT format, const void* data, std::size_t size, std::size_t closingNuls) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size + closingNuls);
    if (!block) return false;
    if (auto* bytes = static_cast<char*>(GlobalLock(block))) {
        if (size) std::memcpy(bytes, data, size);
        GlobalUnlock(block);
    }
    if (!SetClipboardData(format, block)) {
        GlobalFree(block);
        return false;
    }
    return true;
}

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

std::wstring TextOf(HWND window) {
    const int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), length + 1)));
    return text;
}

DWORD ProcessOf(HWND window) {
    DWORD id = 0;
    GetWindowThreadProcessId(window, &id);
    return id;
}

BOOL CALLBACK CollectWindow(HWND window, LPARAM list) {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

std::vector<HWND> TopLevelWindows() {
    std::vector<HWND> all;
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&all));
    return all;
}

HWND FindMainWindow(DWORD processId) {
    for (HWND w = nullptr; (w = FindWindowExW(nullptr, w, L"TFMain", nullptr));)
        if (ProcessOf(w) == processId) return w;
    return nullptr;
}

bool WriteFileBytes(const std::wstring& path, const void* data, std::size_t size) {
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    return WriteFile(file.get(), data, static_cast<DWORD>(size), &written, nullptr) && written == size;
}

}  // namespace

// ---- environment

std::wstring ToWindowsPath(std::wstring path) {
    const bool windowsForm = (path.size() >= 2 && path[1] == L':') || path.starts_with(L"\\\\");
    if (windowsForm || !path.starts_with(L"/")) return path;
    for (wchar_t& c : path)
        if (c == L'/') c = L'\\';
    return L"Z:" + path;
}

std::wstring ProgramUnderTest() { return ToWindowsPath(Environment(L"QH_EXE")); }

std::wstring ScreenshotFolder() {
    const std::wstring folder = Environment(L"QH_SCREENSHOT_DIR");
    return folder.empty() ? folder : ToWindowsPath(folder);
}

std::string Cp932(std::wstring_view text) {
    if (text.empty()) return {};
    const int size = WideCharToMultiByte(932, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(932, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size, nullptr,
                        nullptr);
    return bytes;
}

// ---- waiting

void PumpMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

bool WaitUntil(const std::function<bool()>& done, Millis timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        PumpMessages();
        if (done()) return true;
        if (Clock::now() >= deadline) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

// ---- clipboard

bool PutText(std::string_view bytes, const CopyOptions& options) {
    if (!OpenClipboardPatiently()) return false;
    Finally close([] { CloseClipboard(); });
    if (!EmptyClipboard()) return false;
    const std::size_t nul = !options.terminated ? 0 : options.format == CF_UNICODETEXT ? 2 : 1;
    if (options.text && !SetBlock(options.format, bytes.data(), bytes.size(), nul)) return false;
    for (const ExtraFormat& extra : options.extra) {
        const UINT format = extra.name.empty() ? extra.id : RegisterClipboardFormatW(extra.name.c_str());
        if (!format || !SetBlock(format, extra.data.data(), extra.data.size(), 0)) return false;
    }
    return true;
}

std::optional<std::string> ReadText() {
    if (!OpenClipboardPatiently()) return std::nullopt;
    Finally close([] { CloseClipboard(); });
    HANDLE data = GetClipboardData(CF_TEXT);
    if (!data) return std::nullopt;
    const auto* bytes = static_cast<const char*>(GlobalLock(data));
    if (!bytes) return std::nullopt;
    std::string text(bytes, strnlen(bytes, GlobalSize(data)));
    GlobalUnlock(data);
    return text;
}

std::optional<std::wstring> ReadUnicodeText() {
    if (!OpenClipboardPatiently()) return std::nullopt;
    Finally close([] { CloseClipboard(); });
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    if (!data) return std::nullopt;
    const auto* chars = static_cast<const wchar_t*>(GlobalLock(data));
    if (!chars) return std::nullopt;
    std::wstring text(chars, wcsnlen(chars, GlobalSize(data) / sizeof(wchar_t)));
    GlobalUnlock(data);
    return text;
}

void EmptyTheClipboard() {
    if (!OpenClipboardPatiently()) return;
    EmptyClipboard();
    CloseClipboard();
}

DWORD ClipboardSequence() { return GetClipboardSequenceNumber(); }

HeldClipboard::HeldClipboard() : held_(OpenClipboardPatiently()) {}

HeldClipboard::~HeldClipboard() { Release(); }

void HeldClipboard::Release() {
    if (held_) CloseClipboard();
    held_ = false;
}

ChainedViewer::ChainedViewer() {
    static const wchar_t* const viewerClass = [] {
        WNDCLASSW wc{};
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"QuillharborE2EViewer";
        RegisterClassW(&wc);
        return wc.lpszClassName;
    }();
    window_ = CreateWindowExW(0, viewerClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr),
                              nullptr);
    if (!window_) return;
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetLastError(0);
    next_ = SetClipboardViewer(window_);
    joined_ = next_ || GetLastError() == 0;
}

ChainedViewer::~ChainedViewer() {
    Leave();
    if (window_) DestroyWindow(window_);
}

void ChainedViewer::Leave() {
    if (joined_) ChangeClipboardChain(window_, next_);
    joined_ = false;
}

LRESULT CALLBACK ChainedViewer::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<ChainedViewer*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self && message == WM_DRAWCLIPBOARD) {
        ++self->notifications_;
        if (self->next_) SendMessageW(self->next_, message, wParam, lParam);
        return 0;
    }
    if (self && message == WM_CHANGECBCHAIN) {
        if (reinterpret_cast<HWND>(wParam) == self->next_)
            self->next_ = reinterpret_cast<HWND>(lParam);
        else if (self->next_)
            SendMessageW(self->next_, message, wParam, lParam);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// ---- keyboard

void Press(const std::vector<WORD>& virtualKeys) {
    std::vector<INPUT> inputs;
    for (WORD key : virtualKeys) {
        INPUT down{};
        down.type = INPUT_KEYBOARD;
        down.ki.wVk = key;
        INPUT up = down;
        up.ki.dwFlags = KEYEVENTF_KEYUP;
        inputs.push_back(down);
        inputs.push_back(up);
    }
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

// ---- processes

std::optional<DWORD> RunToExit(const std::wstring& exe, Millis timeout) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::wstring commandLine = L"\"" + exe + L"\"";
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return std::nullopt;
    UniqueHandle processHandle(process.hProcess), threadHandle(process.hThread);
    if (!WaitUntil([&] { return WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0; }, timeout)) {
        TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, 5000);
        return std::nullopt;
    }
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process.hProcess, &code);
    return code;
}

std::vector<HWND> MainWindows() {
    std::vector<HWND> windows;
    for (HWND w = nullptr; (w = FindWindowExW(nullptr, w, L"TFMain", nullptr));) windows.push_back(w);
    return windows;
}

// ---- windows of another process

std::vector<HWND> VisiblePopupMenus(DWORD processId) {
    std::vector<HWND> menus;
    for (HWND w : TopLevelWindows())
        if (IsWindowVisible(w) && ProcessOf(w) == processId && ClassOf(w) == L"#32768") menus.push_back(w);
    return menus;
}

std::vector<HWND> VisibleWindows(DWORD processId) {
    std::vector<HWND> shown;
    for (HWND w : TopLevelWindows())
        if (IsWindowVisible(w) && ProcessOf(w) == processId) shown.push_back(w);
    return shown;
}

std::wstring WindowTexts(HWND window) {
    std::wstring texts = TextOf(window);
    std::vector<HWND> children;
    EnumChildWindows(window, CollectWindow, reinterpret_cast<LPARAM>(&children));
    for (HWND child : children) texts += L" | " + TextOf(child);
    return texts;
}

HWND FindMessageWindow(DWORD processId, std::wstring_view title, std::wstring_view text) {
    for (HWND w : TopLevelWindows()) {
        if (!IsWindowVisible(w) || ProcessOf(w) != processId || TextOf(w) != title) continue;
        if (WindowTexts(w).find(text) != std::wstring::npos) return w;
    }
    return nullptr;
}

// ---- screen

bool SaveScreenBmp(const std::wstring& path, RECT area) {
    const int width = area.right - area.left, height = area.bottom - area.top;
    if (width <= 0 || height <= 0) return false;
    HDC screen = GetDC(nullptr);
    Finally releaseScreen([&] { ReleaseDC(nullptr, screen); });
    HDC memory = CreateCompatibleDC(screen);
    Finally deleteMemory([&] { DeleteDC(memory); });

    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height;  // bottom-up, as BMP files store rows
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS, &bits,
                                   nullptr, 0);
    if (!dib) return false;
    Finally deleteDib([&] { DeleteObject(dib); });
    HGDIOBJ old = SelectObject(memory, dib);
    const bool copied = BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY | CAPTUREBLT);
    GdiFlush();
    SelectObject(memory, old);
    if (!copied) return false;

    const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    const DWORD imageSize = stride * static_cast<DWORD>(height);
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof file + sizeof header;
    file.bfSize = file.bfOffBits + imageSize;
    std::string out(reinterpret_cast<const char*>(&file), sizeof file);
    out.append(reinterpret_cast<const char*>(&header), sizeof header);
    out.append(static_cast<const char*>(bits), imageSize);
    return WriteFileBytes(path, out.data(), out.size());
}

// ---- the program under test

Quillharbor::Quillharbor(std::optional<std::string> phraseFile) {
    static int started = 0;
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    folder_ = std::wstring(temp) + L"qh-e2e-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
              std::to_wstring(++started);
    const std::wstring source = ProgramUnderTest();
    if (source.empty()) {
        problem_ = "QH_EXE does not name Quillharbor.exe";
        return;
    }
    CreateDirectoryW(folder_.c_str(), nullptr);
    exe_ = folder_ + L"\\Quillharbor.exe";
    if (!CopyFileW(source.c_str(), exe_.c_str(), FALSE)) {
        problem_ = "cannot copy QH_EXE into a temporary folder (error " + std::to_string(GetLastError()) + ")";
        return;
    }
    if (phraseFile && !WriteFileBytes(folder_ + L"\\TypeMsg.cfg", phraseFile->data(), phraseFile->size())) {
        problem_ = "cannot write TypeMsg.cfg";
        return;
    }
    // What is on the clipboard at start-up becomes the first entry.
    EmptyTheClipboard();

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    std::wstring commandLine = L"\"" + exe_ + L"\"";
    if (!CreateProcessW(exe_.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder_.c_str(),
                        &startup, &process_)) {
        problem_ = "cannot start Quillharbor.exe (error " + std::to_string(GetLastError()) + ")";
        return;
    }
    // The program brings itself to the foreground when its menu opens.
    AllowSetForegroundWindow(process_.dwProcessId);
    HWND found = nullptr;
    WaitUntil([&] { return (found = FindMainWindow(process_.dwProcessId)) != nullptr || !Running(); },
              Millis(15000));
    if (!found) {
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(process_.hProcess, &code);
        problem_ = Running() ? "no TFMain window within 15 s"
                             : "Quillharbor.exe ended at start with exit code " + std::to_string(code);
        return;
    }
    // The window exists before it joins the viewer chain, and while it adds
    // its tray icon it already answers sent messages: only the chain itself
    // tells that copies will be seen from now on.
    window_ = found;
    if (!WaitUntil([&] { return GetClipboardViewer() == found; }, Millis(15000))) {
        problem_ = "the TFMain window did not join the clipboard viewer chain within 15 s";
        return;
    }
    if (!Sync(Millis(15000))) problem_ = "the main window does not answer";
}

Quillharbor::~Quillharbor() {
    if (process_.hProcess) {
        if (Running()) {
            CloseMenus();
            const std::optional<DWORD> code = End(Ending::SessionEnd);
            if (!code) {
                TerminateProcess(process_.hProcess, 1);
                WaitForSingleObject(process_.hProcess, 5000);
                ADD_FAILURE() << "Quillharbor did not end with the session; it was terminated";
            } else {
                EXPECT_EQ(*code, 0u) << "exit code after the session's end";
            }
        }
        CloseHandle(process_.hThread);
        CloseHandle(process_.hProcess);
    }
    RemoveFolder();
}

void Quillharbor::RemoveFolder() {
    if (folder_.empty()) return;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder_ + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring file = folder_ + L"\\" + found.cFileName;
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                // The image of an ended process may stay locked for a moment.
                WaitUntil([&] { return DeleteFileW(file.c_str()) != FALSE; }, Millis(3000));
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(folder_.c_str());
}

bool Quillharbor::Sync(Millis timeout) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(window_, WM_NULL, 0, 0, SMTO_NORMAL, static_cast<UINT>(timeout.count()),
                               &result) != 0;
}

bool Quillharbor::Copy(std::string_view bytes, const CopyOptions& options) {
    return PutText(bytes, options) && Sync(Millis(30000));
}

bool Quillharbor::OpenMenu(Button button) {
    SetCursorPos(MenuAnchor.x, MenuAnchor.y);
    PostMessageW(window_, TrayCallback, TrayIconId, button == Button::Left ? WM_LBUTTONDOWN : WM_RBUTTONDOWN);
    return WaitUntil([&] { return !VisiblePopupMenus(processId()).empty(); }, Millis(5000));
}

void Quillharbor::CloseMenus() {
    for (int level = 0; level < 8; ++level) {
        const std::size_t open = VisiblePopupMenus(processId()).size();
        if (open == 0) return;
        Press({VK_ESCAPE});
        WaitUntil([&] { return VisiblePopupMenus(processId()).size() < open; }, Millis(1000));
    }
}

std::optional<std::string> Quillharbor::Choose(const std::vector<WORD>& keys, Millis timeout) {
    const DWORD before = ClipboardSequence();
    if (!OpenMenu()) return std::nullopt;
    Press(keys);
    return TakeChoice(before, timeout);
}

std::optional<std::string> Quillharbor::TakeChoice(DWORD before, Millis timeout) {
    const bool chosen = WaitUntil(
        [&] { return ClipboardSequence() != before && VisiblePopupMenus(processId()).empty(); }, timeout);
    if (!chosen) {
        CloseMenus();
        return std::nullopt;
    }
    Sync();  // the program has captured its own write again
    return ReadText();
}

bool Quillharbor::Command(const std::vector<WORD>& keys) {
    if (!OpenMenu()) return false;
    Press(keys);
    const bool closed = WaitUntil([&] { return VisiblePopupMenus(processId()).empty(); }, Millis(5000));
    if (!closed) CloseMenus();
    return closed && (!Running() || Sync());
}

bool Quillharbor::IconShown() const {
    NOTIFYICONDATAW icon{};
    icon.cbSize = sizeof icon;
    icon.hWnd = window_;
    icon.uID = TrayIconId;
    // Modifying nothing succeeds only for an icon that exists.
    return Shell_NotifyIconW(NIM_MODIFY, &icon) != FALSE;
}

bool Quillharbor::Running() const {
    return process_.hProcess && WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT;
}

std::optional<LRESULT> Quillharbor::QueryEndSession() {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window_, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL, 10000, &result))
        return std::nullopt;
    return static_cast<LRESULT>(result);
}

bool Quillharbor::EndSession(bool ending) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(window_, WM_ENDSESSION, ending, ENDSESSION_LOGOFF, SMTO_NORMAL, 10000, &result) != 0;
}

std::optional<DWORD> Quillharbor::End(Ending how, Millis timeout) {
    if (how == Ending::ExitItem) {
        if (OpenMenu(Button::Right)) Press({'X'});
    } else if (QueryEndSession() == 1) {
        EndSession(true);
    }
    return WaitForExit(timeout);
}

std::optional<DWORD> Quillharbor::WaitForExit(Millis timeout) {
    if (!process_.hProcess || !WaitUntil([&] { return !Running(); }, timeout)) return std::nullopt;
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process_.hProcess, &code);
    return code;
}

}  // namespace e2e
