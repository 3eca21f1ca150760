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

TFMain* FMain = nullptr;

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

// ---- construction and the window procedure

TFMain::TFMain(std::wstring phraseFile)
    : TypeMsg(OpenPhraseFile(std::move(phraseFile)), Reporter, SystemAnsiCodePage()),  // loads the file
      icon_(LoadTrayIcon()),
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
    if (FMain == this) FMain = nullptr;
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
    NextViewer = SetClipboardViewer(hwnd_);
    TypeMsg.Load();
}

void TFMain::FormClose() {
    // Exit and a queued WM_CLOSE (session end) may both arrive.
    if (closed_) return;
    closed_ = true;
    TrayActive = false;
    ChangeClipboardChain(hwnd_, NextViewer);
    History.reset();
    SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, TRUE, nullptr, SPIF_UPDATEINIFILE);
    DeleteTrayIcon();
    PostQuitMessage(0);
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
    Shell_NotifyIconA(NIM_ADD, &data);
}

void TFMain::DeleteTrayIcon() {
    NOTIFYICONDATAA data{};
    data.cbSize = TrayRecordSize;
    data.hWnd = hwnd_;
    data.uID = TrayIconId;
    Shell_NotifyIconA(NIM_DELETE, &data);
}

// ---- messages

LRESULT TFMain::WMDrawClipboard(WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    try {
        // Nobody follows a null next viewer; a send to it would only fail.
        if (NextViewer) result = SendMessageA(NextViewer, WM_DRAWCLIPBOARD, wParam, lParam);
        if (History && ClipboardHasText()) {
            // No value: the copying program asked not to be recorded.
            if (std::optional<ExactText> text = ReadClipboardText())
                History->CaptureClipboardText(std::move(*text));
        }
    } catch (const std::exception& e) {
        // The copying program must not wait until the user closes the box.
        ReplyMessage(result);
        ShowInformation(e.what());
    }
    return result;
}

LRESULT TFMain::WMChangeCBChain(WPARAM wParam, LPARAM lParam) {
    try {
        if (reinterpret_cast<HWND>(wParam) == NextViewer) NextViewer = reinterpret_cast<HWND>(lParam);
        if (NextViewer) return SendMessageA(NextViewer, WM_CHANGECBCHAIN, wParam, lParam);
    } catch (...) {
        // A failing neighbour must not break the chain for the others.
    }
    return 0;
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
    PostMessageA(hwnd_, WM_CLOSE, 0, 0);
    return 1;  // never stands in the way of the session's end
}

void TFMain::WMTaskbarCreated() {
    // The shell restarted and forgot the icon.
    if (!closed_) AddTrayIcon();
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
    if (HANDLE other = OpenMutexA(0, FALSE, AppTitle)) {
        CloseHandle(other);
        return 0;
    }
    // Without the mutex the program still runs, only unguarded.
    Mutex instance(CreateMutexA(nullptr, TRUE, AppTitle));
    try {
        InitializeApplication();
        TFMain main;
        FMain = &main;
        RunMessageLoop();
    } catch (...) {
        ReportCurrentException();
    }
    FMain = nullptr;
    instance.Release();
    return 0;
}
