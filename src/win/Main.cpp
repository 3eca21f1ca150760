#include "Main.h"

#include <shellapi.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "Setting.h"
#include "Version.h"
#include "menu.h"
#include "text.h"
#include "unicode.h"

namespace qh::win {

namespace {

// Menu commands. Generated entries take the ids from CmdFirstEntry on, one
// per entry in the order they were built.
enum : UINT {
    CmdNone = 1,  // a list item without entries
    CmdA1,
    CmdSetting1,
    CmdAbout1,
    CmdExit1,
    CmdFirstEntry = 0x100,
    CmdLastEntry = 0xFFFF,
};

constexpr char CaptionR1[] = "ｸﾘｯﾌﾟﾎﾞｰﾄﾞ履歴(&C)";
constexpr char CaptionT1[] = "定型文章(&T)";
constexpr char CaptionO1[] = "ｵﾌﾟｼｮﾝ(&O)";
constexpr char CaptionA1[] = "全履歴削除(&A)";
constexpr char CaptionSetting1[] = "設定(&A)...";
constexpr char CaptionAbout1[] = "ﾊﾞｰｼﾞｮﾝ情報(&V)...";
constexpr char CaptionExit1[] = "終了(&X)";

// Timers of the main window; each exists only while its retry is pending.
enum : UINT_PTR {
    TimerCaptureRetry = 1,
    TimerTrayRetry,
};
// Clipboard managers and the system's own history open the clipboard right
// after every copy: a busy clipboard is tried again for about a second.
constexpr UINT CaptureRetryInterval = 50;
constexpr ULONGLONG CaptureRetryLimit = 1000;
// At logon the shell may not be ready for the icon yet.
constexpr UINT TrayRetryInterval = 1000;
// A next viewer that is hung, or slower than this, is not waited for.
constexpr UINT ForwardTimeout = 1000;

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

// The main icon at the size the notification area draws.
Icon LoadTrayIcon() {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    auto icon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                              GetSystemMetrics(SM_CXSMICON),
                                              GetSystemMetrics(SM_CYSMICON), 0));
    // A program built without the resources still gets an icon to click.
    return Icon(icon ? icon : CopyIcon(LoadIconA(nullptr, IDI_APPLICATION)));
}

Menu NewPopupMenu() {
    Menu menu(CreatePopupMenu());
    if (!menu) throw std::runtime_error("The menu cannot be created");
    return menu;
}

void Append(HMENU menu, UINT id, const char* utf8Caption) {
    if (!AppendMenuW(menu, MF_STRING, id, Widen(utf8Caption).c_str()))
        throw std::runtime_error("The menu cannot be built");
}

void AppendSeparator(HMENU menu) {
    if (!AppendMenuW(menu, MF_SEPARATOR, 0, nullptr)) throw std::runtime_error("The menu cannot be built");
}

// A list with entries unfolds; an empty one is a plain item that does nothing.
void AppendList(HMENU menu, Menu list, const char* utf8Caption) {
    if (GetMenuItemCount(list.get()) <= 0) {
        Append(menu, CmdNone, utf8Caption);
        return;
    }
    if (!AppendMenuW(menu, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(list.get()),
                     Widen(utf8Caption).c_str()))
        throw std::runtime_error("The menu cannot be built");
    list.release();  // the parent menu destroys it
}

// Passes a chain message on to the next viewer without ever waiting long
// for it.
LRESULT Forward(HWND next, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    SendMessageTimeoutA(next, message, wParam, lParam, SMTO_ABORTIFHUNG | SMTO_NORMAL, ForwardTimeout,
                        &result);
    return static_cast<LRESULT>(result);
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

bool AnotherCopyRuns(bool opened, DWORD openError) { return opened || openError == ERROR_ACCESS_DENIED; }

// ---- construction and the window procedure

TFMain::TFMain(std::wstring phraseFile, TrayCall trayCall)
    : TypeMsg(OpenPhraseFile(std::move(phraseFile)), Reporter, SystemAnsiCodePage()),  // loads the file
      icon_(LoadTrayIcon()),
      trayCall_(std::move(trayCall)),
      taskbarCreated_(RegisterWindowMessageW(L"TaskbarCreated")) {
    TypeMsg.Load();
    RegisterMainClass(WndProc);
    // A real top-level window, never shown: the viewer chain and the
    // notification area talk to it, and "TaskbarCreated" is broadcast to
    // top-level windows only.
    CreateWindowExW(WS_EX_TOOLWINDOW, MainClassName, L"FMain", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU,
                    CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
                    GetModuleHandleW(nullptr), this);
    if (!hwnd_) throw std::runtime_error("The main window cannot be created");
    AllowFromShell(hwnd_, taskbarCreated_);
    try {
        FormCreate();
    } catch (...) {
        ReportCurrentException();
    }
}

TFMain::~TFMain() {
    if (!closed_) {
        // Torn down without closing (start-up failed): still leave the
        // chain and the notification area as they were.
        ChangeClipboardChain(hwnd_, NextViewer);
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
    case WM_DRAWCLIPBOARD:
        return WMDrawClipboard(wParam, lParam);
    case WM_CHANGECBCHAIN:
        return WMChangeCBChain(wParam, lParam);
    case WM_TRAYNOTIFY:
        WMTrayNotify(lParam);
        return 0;
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
    AddTrayIcon();
    TrayActive = true;
    // Answered at once with WM_DRAWCLIPBOARD: a text already on the
    // clipboard becomes the first entry.
    clipboardSequence_ = GetClipboardSequenceNumber();
    NextViewer = SetClipboardViewer(hwnd_);
    TypeMsg.Load();
}

void TFMain::FormClose() {
    // Exit and a queued WM_CLOSE (session end) may both arrive.
    if (closed_) return;
    closed_ = true;
    TrayActive = false;
    KillTimer(hwnd_, TimerCaptureRetry);
    KillTimer(hwnd_, TimerTrayRetry);
    captureRetrySince_.reset();
    ChangeClipboardChain(hwnd_, NextViewer);
    History.reset();
    SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, TRUE, nullptr, SPIF_UPDATEINIFILE);
    DeleteTrayIcon();
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

LRESULT TFMain::WMDrawClipboard(WPARAM wParam, LPARAM lParam) {
    // Recorded first, so that a slow neighbour further on cannot delay it;
    // then the copying program goes on before the chain is served.
    const std::optional<std::string> failure = CaptureClipboard();
    // Taken after the read: a format the owner renders on demand may move it.
    clipboardSequence_ = GetClipboardSequenceNumber();
    ReplyMessage(0);
    // Nobody follows a null next viewer; a send to it would only fail.
    if (NextViewer) Forward(NextViewer, WM_DRAWCLIPBOARD, wParam, lParam);
    // Told only once the chain has heard of the change.
    if (failure) ShowInformation(*failure);
    return 0;
}

LRESULT TFMain::WMChangeCBChain(WPARAM wParam, LPARAM lParam) {
    if (reinterpret_cast<HWND>(wParam) == NextViewer) NextViewer = reinterpret_cast<HWND>(lParam);
    // Passed on also after taking over the successor, as the chain always did.
    return NextViewer ? Forward(NextViewer, WM_CHANGECBCHAIN, wParam, lParam) : 0;
}

// Records the clipboard's text; a failure's message for the caller to show.
// A busy clipboard is tried again from a timer, so that neither the message
// loop nor the copying program waits meanwhile.
std::optional<std::string> TFMain::CaptureClipboard() {
    std::optional<std::string> failure;
    try {
        if (History && ClipboardHasText()) {
            // No value: the copying program asked not to be recorded.
            if (std::optional<ExactText> text = ReadClipboardText())
                History->CaptureClipboardText(std::move(*text));
        }
    } catch (const ClipboardBusy&) {
        if (!captureRetrySince_) captureRetrySince_ = GetTickCount64();
        SetTimer(hwnd_, TimerCaptureRetry, CaptureRetryInterval, nullptr);
        return std::nullopt;
    } catch (const std::exception& e) {
        failure = e.what();
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
    if (const std::optional<std::string> failure = CaptureClipboard()) ShowInformation(*failure);
    if (captureRetrySince_ && GetTickCount64() - since >= CaptureRetryLimit) {
        KillTimer(hwnd_, TimerCaptureRetry);
        captureRetrySince_.reset();
        ShowInformation(ClipboardBusyMessage);
    }
}

// When a viewer ahead of us ends without leaving the chain, Windows stops
// telling the rest of the chain: the clipboard's sequence number then moves
// without a notice. Rejoining puts us at the chain's head and brings the
// current text at once (SetClipboardViewer sends WM_DRAWCLIPBOARD).
void TFMain::CheckClipboardSequence() {
    if (closed_ || GetClipboardSequenceNumber() == clipboardSequence_) return;
    // Leaving the chain tells its head, and would wait on a hung one: then
    // only the text is taken, and the chain is tried again next time.
    const HWND head = GetClipboardViewer();
    if (head && head != hwnd_ && IsHungAppWindow(head)) {
        if (const std::optional<std::string> failure = CaptureClipboard()) ShowInformation(*failure);
        return;
    }
    RejoinViewerChain();
}

void TFMain::RejoinViewerChain() {
    ChangeClipboardChain(hwnd_, NextViewer);
    NextViewer = nullptr;
    clipboardSequence_ = GetClipboardSequenceNumber();
    NextViewer = SetClipboardViewer(hwnd_);
}

void TFMain::WMTrayNotify(LPARAM lParam) {
    if (!TrayActive || menuBusy_) return;
    const auto mouse = static_cast<UINT>(lParam);
    // The pointer over the icon: a check that costs nothing while idle.
    if (mouse == WM_MOUSEMOVE) CheckClipboardSequence();
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
            if (const std::optional<std::string> failure = CaptureClipboard()) ShowInformation(*failure);
        }
        CheckClipboardSequence();
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
    // Runs after the menu is gone and the flag is down: a dialog opened here
    // leaves the tray menu usable.
    Choose(command, entries);
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
    // The shell restarted and forgot the icon.
    if (!closed_) AddTrayIcon();
}

void TFMain::WMTimer(UINT_PTR id) {
    if (id == TimerCaptureRetry) {
        RetryCapture();
    } else if (id == TimerTrayRetry) {
        if (closed_) KillTimer(hwnd_, TimerTrayRetry);
        else AddTrayIcon();
    }
}

// ---- the tray menu

void TFMain::PMenuPopup() {
    Menu r1 = NewPopupMenu();
    Menu t1 = NewPopupMenu();
    entries_.clear();
    r1_ = r1.get();
    t1_ = t1.get();
    try {
        RebuildMenu();
    } catch (...) {
        // The menu opens with whatever entries were built.
    }
    r1_ = t1_ = nullptr;

    Menu o1 = NewPopupMenu();
    Append(o1.get(), CmdA1, CaptionA1);
    Menu menu = NewPopupMenu();
    AppendList(menu.get(), std::move(r1), CaptionR1);
    AppendList(menu.get(), std::move(t1), CaptionT1);
    AppendList(menu.get(), std::move(o1), CaptionO1);
    AppendSeparator(menu.get());  // N6
    Append(menu.get(), CmdSetting1, CaptionSetting1);
    AppendSeparator(menu.get());  // N11
    Append(menu.get(), CmdAbout1, CaptionAbout1);
    AppendSeparator(menu.get());  // N10
    Append(menu.get(), CmdExit1, CaptionExit1);
    PMenu = std::move(menu);
}

void TFMain::RebuildMenu() {
    const CodePage& codePage = SystemCodePage();
    const AnsiCodePage& ansi = SystemAnsiCodePage();
    // Exact texts give their captions themselves; the others show their
    // ANSI bytes as before.
    const auto caption = [&](const std::string& stored, const std::optional<std::u16string>& exact,
                             bool phraseForm) {
        if (!exact) return ansi.ToUtf16(MenuCaptionOf(stored, codePage));
        return phraseForm ? WideMenuCaptionOf(*exact) : ExactCaptionOf(*exact);
    };
    if (History) {
        std::vector<std::u16string> captions;
        std::vector<Entry> offered;
        for (std::size_t i = 0; i < History->Count(); ++i) {
            offered.push_back({false, History->Entry(i), History->Exact(i)});
            captions.push_back(caption(offered.back().stored, offered.back().exact, false));
        }
        // An entry the menu cannot hold is dropped from the history.
        const std::vector<std::size_t> failed = FillLevel(r1_, captions, offered);
        for (auto it = failed.rbegin(); it != failed.rend(); ++it) History->Delete(*it);
    }
    // The lists differ in length only after a failed load or a dropped line.
    const std::size_t phrases =
        std::min({TypeMsg.Count(), TypeMsg.Captions().size(), TypeMsg.Contents().size()});
    const auto exactAt = [](const std::vector<std::optional<std::u16string>>& exacts, std::size_t i) {
        return i < exacts.size() ? exacts[i] : std::nullopt;
    };
    std::vector<std::u16string> captions;
    std::vector<Entry> offered;
    for (std::size_t i = 0; i < phrases; ++i) {
        captions.push_back(caption(TypeMsg.Captions()[i], exactAt(TypeMsg.ExactCaptions(), i), true));
        offered.push_back({true, TypeMsg.Contents()[i], exactAt(TypeMsg.ExactContents(), i)});
    }
    const std::vector<std::size_t> failed = FillLevel(t1_, captions, offered);
    for (auto it = failed.rbegin(); it != failed.rend(); ++it) TypeMsg.DeleteLine(*it);
}

std::vector<std::size_t> TFMain::FillLevel(HMENU level, const std::vector<std::u16string>& captions,
                                           std::vector<Entry>& offered) {
    const std::vector<WideMenuLevelItem> items = LayOutMenuLevel(captions, SystemCodePage().IsDoubleByte());
    std::vector<std::size_t> failed;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const WideMenuLevelItem& item = items[i];
        if (!item.shown) continue;
        if (item.separator) {
            if (!AppendMenuW(level, MF_SEPARATOR, 0, nullptr)) failed.push_back(i);
            continue;
        }
        const std::size_t id = CmdFirstEntry + entries_.size();
        if (id > CmdLastEntry) throw std::length_error("Too many menu entries");
        if (AppendMenuW(level, MF_STRING, id, WideOf(item.caption).c_str()))
            entries_.push_back(std::move(offered[i]));
        else
            failed.push_back(i);
    }
    return failed;
}

UINT TFMain::TrackPMenu(POINT at) {
    if (tracker_) return tracker_(PMenu.get(), at);
    return static_cast<UINT>(TrackPopupMenu(PMenu.get(), TPM_LEFTALIGN | TPM_RIGHTBUTTON | TPM_RETURNCMD,
                                            at.x, at.y, 0, hwnd_, nullptr));
}

void TFMain::Choose(UINT command, const std::vector<Entry>& entries) {
    switch (command) {
    case CmdA1:
        A1Click();
        return;
    case CmdSetting1:
        Setting1Click();
        return;
    case CmdAbout1:
        About1Click();
        return;
    case CmdExit1:
        Exit1Click();
        return;
    default:
        if (command >= CmdFirstEntry && command - CmdFirstEntry < entries.size()) {
            const Entry& entry = entries[command - CmdFirstEntry];
            if (entry.phrase)
                TypeClick(entry.stored, entry.exact);
            else
                RecordClick(entry.stored, entry.exact);
        }
    }
}

void TFMain::RecordClick(const std::string& storedText, const std::optional<std::u16string>& exactText) {
    try {
        WriteClipboardText(UnescapeText(storedText), exactText);
    } catch (...) {
        // The clipboard stays as it was; there is nothing to tell.
    }
}

void TFMain::TypeClick(const std::string& storedContent, const std::optional<std::u16string>& exactContent) {
    try {
        if (exactContent)
            WriteClipboardText(UnescapeText(storedContent), UnescapeText(*exactContent));
        else
            WriteClipboardText(UnescapeText(storedContent));
    } catch (...) {
        // As for a history entry.
    }
}

void TFMain::A1Click() {
    if (History) History->Clear();
}

void TFMain::Setting1Click() { ShowSettingDialog(hwnd_, TypeMsg); }

void TFMain::About1Click() { ShowAboutDialog(hwnd_); }

void TFMain::Exit1Click() {
    // Open dialogs end with Cancel: their edits are not saved.
    CloseOpenDialogs();
    SendMessageW(hwnd_, WM_CLOSE, 0, 0);
}

}  // namespace qh::win

// ---- the program's entry

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    using namespace qh::win;
    // Another copy runs on this desktop: leave without a word.
    {
        const KernelHandle other(OpenMutexA(0, FALSE, AppTitle));
        const DWORD openError = GetLastError();
        if (AnotherCopyRuns(static_cast<bool>(other), openError)) return 0;
    }
    // Without the mutex the program still runs, only unguarded. A copy
    // started in the same instant may have made it first.
    Mutex instance(CreateMutexA(nullptr, TRUE, AppTitle));
    if (instance && GetLastError() == ERROR_ALREADY_EXISTS) return 0;
    const ComApartment com;  // the shell's open operation needs it
    try {
        InitializeApplication();
        TFMain main;
        RunMessageLoop();
    } catch (...) {
        ReportCurrentException();
    }
    instance.Release();
    return 0;
}
