#include "Main.h"

#include <shellapi.h>

#include <cstring>
#include <new>
#include <stdexcept>

#include "unicode.h"

namespace qh::win {

namespace {

// Timers of the main window; each exists only while its retry is pending.
enum : UINT_PTR {
    TimerCaptureRetry = 1,
    TimerTrayRetry,
};
// Clipboard managers, the system's own history and its cloud sync open the
// clipboard right after every copy, and wait there while the copying
// program renders what they ask for, which takes seconds for a large range
// in an office program. A busy clipboard, or a text that could not be had,
// is tried again for about five seconds.
constexpr UINT CaptureRetryInterval = 50;
constexpr ULONGLONG CaptureRetryLimit = 5000;
// At logon the shell may not be ready for the icon yet.
constexpr UINT TrayRetryInterval = 1000;

// Without the listener no copy is heard; the menu and the phrases still work.
constexpr char ListenerMissingMessage[] = "クリップボードの変更を受け取れません。履歴は記録されません。";
constexpr char CaptureOutOfMemoryMessage[] = "メモリが足りないため、コピーされたテキストを記録できませんでした。";

// A tray notice the shell sent, posted back to be handled from the queue.
constexpr UINT WM_TRAYNOTIFYQUEUED = WM_USER + 2;

// The icon record in its extended ANSI layout (balloon fields, no GUID),
// which every shell since Windows 2000 reads.
constexpr DWORD TrayRecordSize = NOTIFYICONDATAA_V2_SIZE;
#if !defined(_WIN64)
static_assert(TrayRecordSize == 488);
#endif

void RegisterMainClass(WNDPROC windowProc) {
    static const bool registered = [windowProc] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = windowProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hIcon = LoadIconW(wc.hInstance, MAKEINTRESOURCEW(1));
        wc.lpszClassName = MainClassName;
        return RegisterClassExW(&wc) != 0;
    }();
    if (!registered) throw std::runtime_error("The main window class cannot be registered");
}

// The main icon at the size the notification area draws at `dpi`: the
// hidden window and the notification area are both on the primary monitor.
Icon LoadTrayIcon(int dpi) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    auto icon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                              SystemMetricForDpi(SM_CXSMICON, dpi),
                                              SystemMetricForDpi(SM_CYSMICON, dpi), 0));
    // A program built without the resources still gets an icon to click.
    return Icon(icon ? icon : CopyIcon(LoadIconA(nullptr, IDI_APPLICATION)));
}

// An elevated program hears "TaskbarCreated" from the unelevated shell
// only when it lets it through (Windows 7 and later).
void AllowFromShell(HWND window, UINT message) {
    using Filter = BOOL(WINAPI*)(HWND, UINT, DWORD, PCHANGEFILTERSTRUCT);
    const HMODULE user32 = GetModuleHandleW(L"user32.dll");
    const auto filter = user32 ? reinterpret_cast<Filter>(reinterpret_cast<void (*)()>(
                                     GetProcAddress(user32, "ChangeWindowMessageFilterEx")))
                               : nullptr;
    if (filter && message) filter(window, message, MSGFLT_ALLOW, nullptr);
}

// Set for a scope, so that a second click cannot open a second menu.
class BusyScope {
public:
    explicit BusyScope(bool& flag) : flag_(flag) { flag_ = true; }
    ~BusyScope() { flag_ = false; }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    bool& flag_;
};

}  // namespace

std::wstring DefaultPhraseFile() { return ExecutableDirectory() + Widen(PhraseFileName); }

InstanceCalls SystemInstanceCalls() {
    const auto answer = [](HANDLE handle) { return MutexAnswer{handle, GetLastError()}; };
    return {[answer] { return answer(OpenMutexA(0, FALSE, AppTitle)); },
            [answer] { return answer(CreateMutexA(nullptr, TRUE, AppTitle)); }};
}

std::optional<Mutex> ClaimInstance(const InstanceCalls& calls) {
    {
        const MutexAnswer opened = calls.open();
        const KernelHandle other(opened.handle);
        // Windows refuses the open for want of rights when the mutex exists;
        // Wine grants it.
        if (other || opened.error == ERROR_ACCESS_DENIED) return std::nullopt;
    }
    const MutexAnswer created = calls.create();
    Mutex instance(created.handle);
    // A copy started in the same instant made it first; or an elevated
    // copy did, whose mutex this one may not touch.
    if (instance ? created.error == ERROR_ALREADY_EXISTS : created.error == ERROR_ACCESS_DENIED)
        return std::nullopt;
    // Without the mutex the program still runs, only unguarded.
    return instance;
}

// ---- construction and the window procedure

TFMain::TFMain(std::wstring phraseFile, TrayCall trayCall)
    : TypeMsg(OpenPhraseFile(std::move(phraseFile)), Reporter, SystemAnsiCodePage()),  // loads the file
      trayCall_(std::move(trayCall)),
      taskbarCreated_(RegisterWindowMessageW(L"TaskbarCreated")) {
    TypeMsg.Load();
    RegisterMainClass(WndProc);
    // A real top-level window, never shown: the notification area talks to
    // it, and "TaskbarCreated" is broadcast to top-level windows only.
    CreateWindowExW(WS_EX_TOOLWINDOW, MainClassName, L"FMain", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU,
                    CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
                    GetModuleHandleW(nullptr), this);
    if (!hwnd_) throw std::runtime_error("The main window cannot be created");
    AllowFromShell(hwnd_, taskbarCreated_);
    icon_ = LoadTrayIcon(WindowDpi(hwnd_));
    try {
        FormCreate();
    } catch (...) {
        ReportCurrentException();
    }
}

TFMain::~TFMain() {
    if (!closed_) {
        // Torn down without closing (start-up failed): still leave the
        // notification area as it was.
        if (listening_) RemoveClipboardFormatListener(hwnd_);
        DeleteTrayIcon();
    }
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(hwnd_);
}

LRESULT CALLBACK TFMain::WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return DispatchToObject(hwnd, msg, wParam, lParam, &TFMain::hwnd_, &TFMain::HandleMessage);
}

LRESULT TFMain::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == taskbarCreated_ && msg != 0) {
        WMTaskbarCreated();
        return 0;
    }
    switch (msg) {
    case WM_QUERYENDSESSION:
        return WMQueryEndSession();
    case WM_ENDSESSION:
        WMEndSession(wParam != FALSE);
        return 0;
    case WM_TIMER:
        WMTimer(static_cast<UINT_PTR>(wParam));
        return 0;
    case WM_CLIPBOARDUPDATE:
        WMClipboardUpdate();
        return 0;
    case WM_TRAYNOTIFY:
        // The shell sends its notices, and a sent message is handled inside
        // any wait of this thread: while the clipboard is open for a text its
        // owner renders, while it is emptied, while a file is retried. The
        // menu must never run there, so a sent notice waits in the queue.
        if (InSendMessageEx(nullptr) != ISMEX_NOSEND)
            PostMessageW(hwnd_, WM_TRAYNOTIFYQUEUED, wParam, lParam);
        else
            WMTrayNotify(lParam);
        return 0;
    case WM_TRAYNOTIFYQUEUED:
        WMTrayNotify(lParam);
        return 0;
    case WM_DPICHANGED:
        WMDpiChanged(LOWORD(wParam));
        return 0;  // the hidden window stays where it is
    case WM_CLOSE:
        FormClose();
        return 0;  // the window stays until the object goes
    default:
        return DefWindowProcW(hwnd_, msg, wParam, lParam);
    }
}

// ---- life cycle

void TFMain::FormCreate() {
    History.emplace();
    // The system posts every later change; a text already on the clipboard
    // becomes the first entry. Listening first loses no copy in between.
    listening_ = AddClipboardFormatListener(hwnd_) != FALSE;
    const std::optional<std::string> failure = CaptureClipboard();
    AddTrayIcon();
    TrayActive = true;
    TypeMsg.Load();
    if (failure) Inform(*failure);
    if (!listening_) Inform(ListenerMissingMessage);
}

void TFMain::FormClose() {
    // Exit and a queued WM_CLOSE (session end) may both arrive.
    if (closed_) return;
    closed_ = true;
    TrayActive = false;
    KillTimer(hwnd_, TimerCaptureRetry);
    KillTimer(hwnd_, TimerTrayRetry);
    captureRetrySince_.reset();
    // Never waits on another program, as leaving the viewer chain did.
    if (listening_) RemoveClipboardFormatListener(hwnd_);
    listening_ = false;
    History.reset();
    SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, TRUE, nullptr, SPIF_UPDATEINIFILE);
    DeleteTrayIcon();
    // The session may end while the tray menu is open: its tracking loop
    // would otherwise keep the program from ending.
    if (menuBusy_) EndMenu();
    PostQuitMessage(0);
}

bool TFMain::TrayCallMade(DWORD message, NOTIFYICONDATAA& data) {
    return trayCall_ ? trayCall_(message, data) : Shell_NotifyIconA(message, &data) != FALSE;
}

void TFMain::AddTrayIcon() {
    NOTIFYICONDATAA data{};
    data.cbSize = TrayRecordSize;
    data.hWnd = hwnd_;
    data.uID = TrayIconId;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = WM_TRAYNOTIFY;
    data.hIcon = icon_.get();
    static_assert(sizeof AppTitle <= sizeof data.szTip);
    std::memcpy(data.szTip, AppTitle, sizeof AppTitle);
    // An add that timed out may still have placed the icon: then it can be
    // modified, and is there.
    if (TrayCallMade(NIM_ADD, data) || TrayCallMade(NIM_MODIFY, data))
        KillTimer(hwnd_, TimerTrayRetry);
    else
        SetTimer(hwnd_, TimerTrayRetry, TrayRetryInterval, nullptr);
}

void TFMain::DeleteTrayIcon() {
    NOTIFYICONDATAA data{};
    data.cbSize = TrayRecordSize;
    data.hWnd = hwnd_;
    data.uID = TrayIconId;
    TrayCallMade(NIM_DELETE, data);
}

// ---- messages

// Posted by the system after every change, our own put-backs included: the
// copying program never waits for us.
void TFMain::WMClipboardUpdate() {
    if (const std::optional<std::string> failure = CaptureClipboard()) Inform(*failure);
}

// Records the clipboard's text; a failure's message for the caller to show.
// A busy clipboard is tried again from a timer, so that neither the message
// loop nor the copying program waits meanwhile.
std::optional<std::string> TFMain::CaptureClipboard() {
    if (closed_) return std::nullopt;
    const ULONGLONG attempt = GetTickCount64();
    std::optional<std::string> failure;
    std::optional<RetryReason> retry;
    try {
        if (ClipboardHasText()) {
            // The read lets sent messages in (the wait for the clipboard, a
            // text its owner renders only now): the session may end meanwhile.
            std::optional<CopiedText> copied = ReadClipboardText();
            // No value: the copying program asked not to be recorded.
            if (copied && !closed_ && History)
                History->CaptureClipboardText(std::move(copied->text), copied->localOnly);
        }
    } catch (const ClipboardBusy&) {
        retry = RetryReason::Busy;
    } catch (const ClipboardTextUnread&) {
        // Its owner may answer a second request.
        retry = RetryReason::Unread;
    } catch (const std::bad_alloc&) {
        failure = CaptureOutOfMemoryMessage;
    } catch (const std::exception& e) {
        failure = e.what();
    }
    if (closed_) return std::nullopt;
    if (retry) {
        // Counted from the first attempt's start: a renderer that kept it
        // waiting long is not asked many times more.
        if (!captureRetrySince_) captureRetrySince_ = attempt;
        captureRetryReason_ = *retry;
        SetTimer(hwnd_, TimerCaptureRetry, CaptureRetryInterval, nullptr);
        return std::nullopt;
    }
    KillTimer(hwnd_, TimerCaptureRetry);
    captureRetrySince_.reset();
    return failure;
}

void TFMain::RetryCapture() {
    if (!captureRetrySince_) {
        KillTimer(hwnd_, TimerCaptureRetry);
        return;
    }
    const ULONGLONG since = *captureRetrySince_;
    if (const std::optional<std::string> failure = CaptureClipboard()) Inform(*failure);
    if (captureRetrySince_ && GetTickCount64() - since >= CaptureRetryLimit) {
        KillTimer(hwnd_, TimerCaptureRetry);
        captureRetrySince_.reset();
        // A text that could not be had is not recorded; there is no more to say.
        if (captureRetryReason_ == RetryReason::Busy) Inform(ClipboardBusyMessage);
    }
}

void TFMain::Inform(std::string_view utf8Text) {
    if (closed_) return;
    // A box would open over the menu, on top of what the user is choosing.
    if (menuBusy_) {
        if (!pendingBox_) pendingBox_.emplace(utf8Text);
        return;
    }
    ShowInformation(utf8Text);
}

void TFMain::WMTrayNotify(LPARAM lParam) {
    if (!TrayActive || menuBusy_) return;
    const auto mouse = static_cast<UINT>(lParam);
    if (mouse != WM_LBUTTONDOWN && mouse != WM_RBUTTONDOWN) return;

    UINT command = 0;
    std::vector<Entry> entries;
    {
        BusyScope busy(menuBusy_);
        ProcessWaitingMessages();
        // A session end queued before the click may have closed us meanwhile.
        if (!TrayActive) return;
        // The menu shows the latest copy: a pending retry is not waited for.
        if (captureRetrySince_) {
            if (const std::optional<std::string> failure = CaptureClipboard()) Inform(*failure);
        }
        SetForegroundWindow(hwnd_);
        POINT at{};
        GetCursorPos(&at);
        PMenuPopup();
        command = TrackPMenu(at);
        // Without a message after the menu, the next menu opened from the
        // icon may vanish as soon as it appears.
        PostMessageW(hwnd_, WM_NULL, 0, 0);
        entries = std::move(entries_);
        entries_.clear();
        PMenu.reset();
    }
    if (pendingBox_) {
        const std::string text = std::move(*pendingBox_);
        pendingBox_.reset();
        Inform(text);
    }
    // Runs after the menu is gone and the flag is down: a dialog opened here
    // leaves the tray menu usable. Nothing is chosen once closing has begun.
    if (!closed_) Choose(command, entries);
}

LRESULT TFMain::WMQueryEndSession() {
    // Never stands in the way of the session's end. Another program may
    // still cancel it: the close waits for WM_ENDSESSION.
    return 1;
}

void TFMain::WMEndSession(bool ending) {
    // Windows may end the process as soon as this returns, before anything
    // posted would run: the close sequence runs here.
    if (ending) FormClose();
}

void TFMain::WMTaskbarCreated() {
    // The shell restarted and forgot the icon; the scale may have changed too.
    WMDpiChanged(WindowDpi(hwnd_));
}

void TFMain::WMDpiChanged(int dpi) {
    if (closed_ || dpi <= 0) return;
    icon_ = LoadTrayIcon(dpi);
    AddTrayIcon();
}

void TFMain::WMTimer(UINT_PTR id) {
    if (id == TimerCaptureRetry) {
        RetryCapture();
    } else if (id == TimerTrayRetry) {
        if (closed_) KillTimer(hwnd_, TimerTrayRetry);
        else AddTrayIcon();
    }
}

}  // namespace qh::win

// ---- the program's entry

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    using namespace qh::win;
    HardenProcess();
    // Another copy runs on this desktop: leave without a word.
    std::optional<Mutex> instance = ClaimInstance(SystemInstanceCalls());
    if (!instance) return 0;
    const ComApartment com;  // the shell's open operation needs it
    try {
        InitializeApplication();
        TFMain main;
        RunMessageLoop();
    } catch (...) {
        ReportCurrentException();
    }
    instance->Release();
    return 0;
}
