// The Windows services the program uses, behind one narrow layer.
// Fixed Japanese texts are UTF-8 in the source and shown through the wide
// calls; clipboard texts and generated captions are ANSI bytes.
#pragma once

#include <windows.h>

#include <exception>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include "model.h"
#include "text.h"

namespace qh::win {

inline constexpr char AppTitle[] = "Quillharbor";

// ---- handles: move-only owners, one per kind of handle

template <class Traits>
class UniqueHandle {
public:
    using Type = typename Traits::Type;
    UniqueHandle() = default;
    explicit UniqueHandle(Type h) : h_(h) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(UniqueHandle&& other) noexcept : h_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    Type get() const { return h_; }
    explicit operator bool() const { return h_ != Type{}; }
    Type release() { return std::exchange(h_, Type{}); }
    void reset(Type h = Type{}) {
        if (h_ != Type{}) Traits::Close(h_);
        h_ = h;
    }

private:
    Type h_{};
};

struct KernelHandleTraits { using Type = HANDLE; static void Close(HANDLE h) { CloseHandle(h); } };
struct GlobalTraits { using Type = HGLOBAL; static void Close(HGLOBAL h) { GlobalFree(h); } };
struct MenuTraits { using Type = HMENU; static void Close(HMENU h) { DestroyMenu(h); } };
struct IconTraits { using Type = HICON; static void Close(HICON h) { DestroyIcon(h); } };
struct GdiTraits { using Type = HGDIOBJ; static void Close(HGDIOBJ h) { DeleteObject(h); } };

using KernelHandle = UniqueHandle<KernelHandleTraits>;
using GlobalMemory = UniqueHandle<GlobalTraits>;  // a block not yet handed to the system
using Menu = UniqueHandle<MenuTraits>;
using Icon = UniqueHandle<IconTraits>;
using GdiObject = UniqueHandle<GdiTraits>;

// The instance mutex: owned from creation, released when it goes.
class Mutex {
public:
    Mutex() = default;
    explicit Mutex(HANDLE h) : handle_(h) {}
    Mutex(Mutex&&) noexcept = default;
    Mutex& operator=(Mutex&&) noexcept = default;
    ~Mutex() { Release(); }
    void Release() {
        if (handle_) ReleaseMutex(handle_.get());
        handle_.reset();
    }
    explicit operator bool() const { return static_cast<bool>(handle_); }

private:
    KernelHandle handle_;
};

// ---- text conversions
std::wstring Widen(std::string_view utf8);
std::wstring FromAnsi(std::string_view ansi);
std::string ToAnsi(std::wstring_view wide);
// The lead bytes of the system's ANSI code page.
const CodePage& SystemCodePage();

// ---- the application's own top-level window ("Quillharbor"): hidden, and
// shown without activation while any dialog or information box is open.
// Made on first use, on the calling thread (the user-interface thread).
HWND AppWindow();
// Marks a dialog or box of ours as open for its lifetime.
class ModalScope {
public:
    ModalScope();
    ~ModalScope();
    ModalScope(const ModalScope&) = delete;
    ModalScope& operator=(const ModalScope&) = delete;
};

// Common controls and the application window; WinMain calls it first.
void InitializeApplication();
// The application's message loop; returns the WM_QUIT code.
int RunMessageLoop();
// Runs the messages already waiting, then returns (a WM_QUIT met on the
// way is queued again for the loop that owns it).
void ProcessWaitingMessages();

// ---- modal dialogs. Our dialogs are ordinary windows owned by the main
// window. RunModal disables every other visible window of the program (an
// earlier dialog, never the hidden main window, so the tray menu still
// opens), shows and activates the dialog and runs a message loop, with
// IsDialogMessage for the dialog, until EndModal; it holds a ModalScope.
// On return the other windows are enabled again and the dialog is hidden;
// the caller destroys it. A WM_QUIT that ends the loop early is queued again.
INT_PTR RunModal(HWND dialog);
void EndModal(HWND dialog, INT_PTR result);
// Ends every open modal dialog with IDCANCEL, newest first (Exit while a
// dialog is open).
void CloseOpenDialogs();

// ---- building blocks of our dialogs
// Registers a dialog window class once: arrow cursor, dialog colour.
void RegisterDialogClass(const wchar_t* name, WNDPROC windowProc);
// Dots per inch of the screen; layouts given at 96 scale by MulDiv.
int ScreenDpi();
// A Japanese font of `pixels` height at 96 DPI, scaled to `dpi`.
GdiObject MakeFont(const wchar_t* face, int pixels, int dpi, int weight = FW_NORMAL, bool italic = false);
std::wstring WindowText(HWND window);
// A frame (group box or etched static) draws only its edge and the dialog
// clips its children out of its own painting: the frame then fills its
// inside itself.
void FillFrameInside(HWND frame);

// ---- message boxes, all titled "Quillharbor" unless a title is given
void ShowInformation(std::string_view utf8Text);     // information box
bool Confirm(std::string_view utf8Text, std::string_view utf8Title);  // true on Yes; No is default
// The central failure handler: the failure box (MB_ICONSTOP) with the
// message and its closing period. Call it from inside a catch block.
void ReportCurrentException() noexcept;

// ---- window procedures
// Our windows keep their object in GWLP_USERDATA: attached at WM_NCCREATE
// from CreateWindowExW's parameter, detached at WM_NCDESTROY. Every message
// in between goes to the object's handler, and no exception crosses into
// Windows: what the handler does not catch goes to the central handler.
template <class T>
LRESULT DispatchToObject(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, HWND T::*handle,
                         LRESULT (T::*handler)(UINT, WPARAM, LPARAM)) {
    auto* self = reinterpret_cast<T*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (message == WM_NCCREATE) {
        self = static_cast<T*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->*handle = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    } else if (message == WM_NCDESTROY && self) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->*handle = nullptr;
        self = nullptr;
    }
    if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);
    try {
        return (self->*handler)(message, wParam, lParam);
    } catch (...) {
        ReportCurrentException();
        return 0;
    }
}

// The phrase store's reports, shown in information boxes.
class InformationReporter final : public Reporter {
public:
    void Inform(std::string_view utf8Message) override { ShowInformation(utf8Message); }
};

// ---- clipboard (CF_TEXT, ANSI bytes), opened with AppWindow() as owner.
// Opening waits briefly for another program that holds the clipboard;
// when it stays busy, ClipboardBusy is thrown.
inline constexpr char ClipboardBusyMessage[] = "クリップボードを開くことができません";
class ClipboardBusy : public std::runtime_error {
public:
    ClipboardBusy() : std::runtime_error(ClipboardBusyMessage) {}
};

bool ClipboardHasText();
// The CF_TEXT data up to its first NUL, never past its block; empty when
// there is none. No value when the copying program asked that its data not
// be recorded (passwords): the data is then not read at all.
std::optional<std::string> ReadClipboardText();
// The text of a CF_TEXT block: up to its first NUL, never past GlobalSize.
std::string ClipboardBlockText(HGLOBAL block);
// Replaces the whole clipboard with the text as CF_TEXT.
void WriteClipboardText(std::string_view ansiText);

// ---- shell
// ShellExecuteExA "open" on the ANSI target; false when the shell fails.
bool ShellOpen(std::string_view ansiTarget);

// The folder of the running executable, with its trailing backslash.
std::wstring ExecutableDirectory();

// ---- files
// The phrase file at a full path, read and replaced with the system's file
// calls: a new file is written beside it and moved over it in one step.
std::unique_ptr<PhraseFile> OpenPhraseFile(std::wstring path);

}  // namespace qh::win
