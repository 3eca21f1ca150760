#include "driver.h"

#include <shellapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
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

bool SetBlock(UINT format, const void* data, std::size_t size, std::size_t closingNuls);

// A text put for rendering on demand, and whether it was asked for.
struct DelayedText {
    UINT format = 0;
    std::string bytes;
    std::size_t nul = 0;
    std::function<void()> whileRendering;
    bool renders = true;
};
DelayedText& Delayed() {
    static DelayedText text;
    return text;
}

LRESULT CALLBACK DriverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_RENDERFORMAT && wParam == Delayed().format) {
        if (Delayed().whileRendering) Delayed().whileRendering();
        const DelayedText& text = Delayed();
        if (text.renders) SetBlock(text.format, text.bytes.data(), text.bytes.size(), text.nul);
        Rendered() = true;
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// A message-only window of this thread: the clipboard's owner for our copies.
HWND DriverWindow() {
    static const HWND window = qh::test::HiddenWindow(L"QuillharborE2EDriver", DriverProc);
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

std::string Utf16Bytes(std::wstring_view text) {
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
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

bool WaitUntil(const std::function<bool()>& done, Millis timeout) { return qh::test::PumpUntil(done, timeout); }

// ---- clipboard

bool& Rendered() {
    static bool rendered = false;
    return rendered;
}

bool PutText(std::string_view bytes, const CopyOptions& options, bool delayed) {
    if (!OpenClipboardPatiently()) return false;
    Finally close([] { CloseClipboard(); });
    if (!EmptyClipboard()) return false;
    const std::size_t nul = !options.terminated ? 0 : options.format == CF_UNICODETEXT ? 2 : 1;
    if (delayed) {
        Delayed() = {options.format, std::string(bytes), nul, options.whileRendering, options.renders};
        SetLastError(0);
        return SetClipboardData(options.format, nullptr) || GetLastError() == 0;
    }
    if (options.text && !SetBlock(options.format, bytes.data(), bytes.size(), nul)) return false;
    for (const ExtraFormat& extra : options.extra) {
        const UINT format = extra.name.empty() ? extra.id : RegisterClipboardFormatW(extra.name.c_str());
        if (!format || !SetBlock(format, extra.data.data(), extra.data.size(), 0)) return false;
    }
    return true;
}

namespace {

// A text format's block up to its first NUL, never past the block.
template <class Text>
std::optional<Text> ReadTextFormat(UINT format) {
    using Char = typename Text::value_type;
    if (!OpenClipboardPatiently()) return std::nullopt;
    Finally close([] { CloseClipboard(); });
    HANDLE data = GetClipboardData(format);
    if (!data) return std::nullopt;
    const auto* chars = static_cast<const Char*>(GlobalLock(data));
    if (!chars) return std::nullopt;
    const std::size_t size = GlobalSize(data) / sizeof(Char);
    Text text(chars, static_cast<std::size_t>(std::find(chars, chars + size, Char{}) - chars));
    GlobalUnlock(data);
    return text;
}

}  // namespace

std::optional<std::string> ReadText() { return ReadTextFormat<std::string>(CF_TEXT); }

std::optional<std::wstring> ReadUnicodeText() { return ReadTextFormat<std::wstring>(CF_UNICODETEXT); }

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

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

std::wstring CaptionOf(HWND window) {
    const int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), length + 1)));
    return text;
}

std::wstring TextOf(HWND window) {
    wchar_t text[4096] = {};
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 10000,
                             &copied))
        return L"<no answer>";
    return std::wstring(text, copied);
}

std::vector<HWND> Children(HWND parent) {
    std::vector<HWND> all;
    EnumChildWindows(parent, CollectWindow, reinterpret_cast<LPARAM>(&all));
    return all;
}

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
    std::wstring texts = CaptionOf(window);
    for (HWND child : Children(window)) texts += L" | " + CaptionOf(child);
    return texts;
}

HWND WaitForWindow(DWORD processId, std::wstring_view title, Millis timeout) {
    HWND found = nullptr;
    WaitUntil(
        [&] {
            for (HWND w : VisibleWindows(processId))
                if (TextOf(w) == title) return (found = w) != nullptr;
            return false;
        },
        timeout);
    return found;
}

HWND FindMessageWindow(DWORD processId, std::wstring_view title, std::wstring_view text) {
    for (HWND w : TopLevelWindows()) {
        if (!IsWindowVisible(w) || ProcessOf(w) != processId || CaptionOf(w) != title) continue;
        if (WindowTexts(w).find(text) != std::wstring::npos) return w;
    }
    return nullptr;
}

// ---- the program under test

Quillharbor::Quillharbor(std::optional<std::string> phraseFile, std::wstring source) {
    if (source.empty()) source = ProgramUnderTest();
    if (source.empty()) {
        problem_ = "QH_EXE does not name Quillharbor.exe";
        return;
    }
    exe_ = folder_.Path().wstring() + L"\\Quillharbor.exe";
    if (!CopyFileW(source.c_str(), exe_.c_str(), FALSE)) {
        problem_ = "cannot copy QH_EXE into a temporary folder (error " + std::to_string(GetLastError()) + ")";
        return;
    }
    if (phraseFile) folder_.WritePhraseFile(*phraseFile);
    // What is on the clipboard at start-up becomes the first entry.
    EmptyTheClipboard();

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    std::wstring commandLine = L"\"" + exe_ + L"\"";
    if (!CreateProcessW(exe_.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder_.Path().c_str(),
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
    // The window exists before it listens to the clipboard, and while it
    // adds its tray icon it already answers sent messages: the icon comes
    // after the listener, so once it is there copies are heard.
    window_ = found;
    if (!WaitUntil([&] { return IconShown(); }, Millis(15000))) {
        problem_ = "the TFMain window showed no tray icon within 15 s";
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
    // The image of an ended process may stay locked for a moment; the
    // folder goes with the rest of it.
    if (!exe_.empty())
        WaitUntil([&] { return DeleteFileW(exe_.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND; }, Millis(3000));
}

bool Quillharbor::Sync(Millis timeout) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(window_, WM_NULL, 0, 0, SMTO_NORMAL, static_cast<UINT>(timeout.count()),
                               &result) != 0;
}

bool Quillharbor::Copy(std::string_view bytes, const CopyOptions& options) {
    // The system posts its notice, which a sent message overtakes: a text
    // is rendered only when asked for, so its reading shows that it was heard.
    if (!options.text || !options.extra.empty()) return PutText(bytes, options) && Sync(Millis(30000));
    Rendered() = false;
    return PutText(bytes, options, true) && WaitUntil([&] { return Rendered() || !Running(); }, Millis(30000)) &&
           Sync(Millis(30000));
}

bool Quillharbor::OpenMenu(Button button) {
    SetCursorPos(MenuAnchor.x, MenuAnchor.y);
    SendNotifyMessageW(window_, TrayCallback, TrayIconId, button == Button::Left ? WM_LBUTTONDOWN : WM_RBUTTONDOWN);
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
