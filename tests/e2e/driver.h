// Drives the real Quillharbor.exe from outside, as a user and other programs
// would: through the clipboard, the tray icon's callback message, keystrokes
// into the open menu and the window messages of a session end.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "scratch_folder.h"
#include "windows_test_support.h"

namespace e2e {

using Millis = std::chrono::milliseconds;

// ---- environment
// QH_EXE as a Windows path: a Linux path is reached through drive Z:.
std::wstring ProgramUnderTest();
std::wstring ToWindowsPath(std::wstring path);

// ---- texts
// The bytes of a text in the Japanese ANSI code page (932).
std::string Cp932(std::wstring_view text);
// The bytes of a text in UTF-16, as CF_UNICODETEXT holds it.
std::string Utf16Bytes(std::wstring_view text);

// ---- waiting: handles the messages sent to this thread meanwhile (the
// clipboard sends its owner WM_DESTROYCLIPBOARD synchronously).
bool WaitUntil(const std::function<bool()>& done, Millis timeout);

// ---- the clipboard, as another program uses it
// A further format on the clipboard beside the text.
struct ExtraFormat {
    std::wstring name;  // a registered format, e.g. "Clipboard Viewer Ignore"; empty: id
    UINT id = 0;        // a standard format, e.g. CF_DIB
    std::string data = std::string(sizeof(DWORD), '\0');  // by default a DWORD 0
};
struct CopyOptions {
    bool text = true;          // false: only the extra formats
    UINT format = CF_TEXT;     // or CF_UNICODETEXT with UTF-16 bytes
    bool terminated = true;    // false: the block ends without its closing NUL
    std::vector<ExtraFormat> extra;
    // Rendered on request: runs before the text is rendered (a slow renderer).
    std::function<void()> whileRendering;
    bool renders = true;       // false: the request is answered without a text
};
// Opens, empties, sets the text (and the extra formats) and closes the
// clipboard; false when it could not be opened or set.
// With `delayed`, only the text's format is put; the text itself follows
// when a program asks for it, and Rendered() is set once it was answered.
bool PutText(std::string_view bytes, const CopyOptions& options = {}, bool delayed = false);
bool& Rendered();
// The CF_TEXT bytes up to the first NUL within the block; nullopt when the
// clipboard cannot be opened or holds no text.
std::optional<std::string> ReadText();
// The same for CF_UNICODETEXT, up to the first NUL within the block.
std::optional<std::wstring> ReadUnicodeText();
void EmptyTheClipboard();
DWORD ClipboardSequence();

// Keeps the clipboard open, as a program that is busy with it does.
class HeldClipboard {
public:
    HeldClipboard();
    ~HeldClipboard();
    HeldClipboard(const HeldClipboard&) = delete;
    HeldClipboard& operator=(const HeldClipboard&) = delete;
    bool held() const { return held_; }
    void Release();

private:
    bool held_ = false;
};

// A clipboard viewer of the driver's own, as an older clipboard tool would
// have: drawCount counts the change notifications that reach it.
using ChainedViewer = qh::test::ChainViewer;

// ---- keyboard: one key press and release each, to the foreground window
void Press(const std::vector<WORD>& virtualKeys);

// ---- processes
// Starts the program and waits for it to end by itself; its exit code, or
// nullopt when it is still running after the timeout (it is then ended).
std::optional<DWORD> RunToExit(const std::wstring& exe, Millis timeout);
std::vector<HWND> MainWindows();  // every "TFMain" window on the desktop

// ---- windows of another process
std::wstring ClassOf(HWND window);
// The caption the system keeps for a window; the window is not asked.
std::wstring CaptionOf(HWND window);
// What the window itself says it holds (WM_GETTEXT): for an edit control of
// another process, the caption the system keeps is not what was typed.
std::wstring TextOf(HWND window);
std::vector<HWND> Children(HWND parent);
std::vector<HWND> VisiblePopupMenus(DWORD processId);
std::vector<HWND> VisibleWindows(DWORD processId);  // top-level, any class
// A visible top-level window of the process with that title, once there is
// one; null when none came within the time.
HWND WaitForWindow(DWORD processId, std::wstring_view title, Millis timeout = Millis(10000));
// A visible top-level window of the process titled title, one of whose
// children (or itself) shows text; null when there is none.
HWND FindMessageWindow(DWORD processId, std::wstring_view title, std::wstring_view text);
// Every window text of the window and its children, joined by " | ".
std::wstring WindowTexts(HWND window);

// ---- the program under test, started from a private folder
enum class Button { Left, Right };
// The pointer's place when the driver opens the menu; the menu's top-left
// corner lies there.
inline constexpr POINT MenuAnchor{160, 120};
enum class Ending { ExitItem, SessionEnd };

// A test's first step: the program came up, or the test says why not.
#define ASSERT_STARTED(app) ASSERT_TRUE((app).started()) << (app).problem()

class Quillharbor {
public:
    // Copies the program into a fresh temporary folder, with phraseFile as
    // "TypeMsg.cfg" beside it when given, empties the clipboard so that the
    // history starts empty, starts it and waits for its window.
    // `source`: another build of the program than QH_EXE.
    explicit Quillharbor(std::optional<std::string> phraseFile = std::nullopt, std::wstring source = {});
    ~Quillharbor();
    Quillharbor(const Quillharbor&) = delete;
    Quillharbor& operator=(const Quillharbor&) = delete;

    // False when the program did not come up; the reason is in problem().
    bool started() const { return window_ != nullptr && problem_.empty(); }
    const std::string& problem() const { return problem_; }
    HWND window() const { return window_; }
    DWORD processId() const { return process_.dwProcessId; }
    const std::wstring& exePath() const { return exe_; }
    // The program's folder, with its phrase file.
    const qh::test::ScratchFolder& folder() const { return folder_; }

    // Returns once the program has handled everything sent or posted to it so far.
    bool Sync(Millis timeout = Millis(10000));
    // Copies like another program, then waits until the program has seen it.
    bool Copy(std::string_view bytes, const CopyOptions& options = {});

    // Clicks the tray icon (its callback message, sent as the shell sends
    // it) and waits for the menu.
    bool OpenMenu(Button button = Button::Left);
    // Presses Esc until no menu of the program is open.
    void CloseMenus();
    // Opens the menu, types the keys and returns the clipboard text once the
    // choice has put it there; nullopt when the clipboard did not change.
    std::optional<std::string> Choose(const std::vector<WORD>& keys, Millis timeout = Millis(10000));
    // After keys typed into an open menu: waits until the menu has closed and
    // the clipboard has changed since the sequence number before, then reads it.
    std::optional<std::string> TakeChoice(DWORD before, Millis timeout = Millis(10000));
    // Opens the menu and types the keys; true once the menu has closed.
    bool Command(const std::vector<WORD>& keys);

    // Whether the tray icon (id 100 of the main window) is present.
    bool IconShown() const;
    bool Running() const;
    // Sends WM_QUERYENDSESSION (a log-off); its answer, or nullopt on no answer.
    std::optional<LRESULT> QueryEndSession();
    // Sends WM_ENDSESSION: the session ends (true) or its end was cancelled.
    bool EndSession(bool ending);
    // Ends the program as asked; the exit code, or nullopt when it did not end.
    std::optional<DWORD> End(Ending how, Millis timeout = Millis(10000));
    std::optional<DWORD> WaitForExit(Millis timeout);

private:
    qh::test::ScratchFolder folder_{"qh-e2e"};
    std::wstring exe_;
    PROCESS_INFORMATION process_{};
    HWND window_ = nullptr;
    std::string problem_;
};

}  // namespace e2e
