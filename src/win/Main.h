// The hidden main window: a clipboard format listener, owner of the
// notification-area icon and of the tray menu PMenu.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model.h"
#include "platform.h"

namespace qh::win {

inline constexpr wchar_t MainClassName[] = L"TFMain";
inline constexpr UINT WM_TRAYNOTIFY = WM_USER + 1;
inline constexpr UINT TrayIconId = 100;

// "TypeMsg.cfg" beside the executable.
std::wstring DefaultPhraseFile();

// What the system answers at start-up when the instance mutex is opened
// (no access rights asked) and when it is created: a handle, null on
// failure, and the last error.
struct MutexAnswer {
    HANDLE handle;
    DWORD error;
};
struct InstanceCalls {
    std::function<MutexAnswer()> open;
    std::function<MutexAnswer()> create;
};
InstanceCalls SystemInstanceCalls();
// The instance mutex when this copy is to run (empty when the system gave
// none: the program then runs unguarded); no value when another copy runs.
std::optional<Mutex> ClaimInstance(const InstanceCalls& calls);

class TFMain {
public:
    // How the menu is shown: TrackPopupMenuEx's flags, the point it opens
    // at, and the rectangle around that point it keeps clear of.
    struct MenuPlacement {
        UINT flags;
        POINT at;
        TPMPARAMS params;
    };
    // Shows the built menu and returns the chosen command, 0 for none. Tests
    // put one in place of TrackPopupMenuEx to read the real menu and pick.
    using MenuTracker = std::function<UINT(HMENU menu, const MenuPlacement& placement)>;
    // Shell_NotifyIconA; tests put one in place to make the shell refuse.
    using TrayCall = std::function<bool(DWORD message, NOTIFYICONDATAA& data)>;

    // Creates the window (never shown): loads the phrase file, listens to
    // the clipboard, records the text already on it and adds the icon.
    explicit TFMain(std::wstring phraseFile = DefaultPhraseFile(), TrayCall trayCall = nullptr);
    ~TFMain();
    TFMain(const TFMain&) = delete;
    TFMain& operator=(const TFMain&) = delete;

    HWND Handle() const { return hwnd_; }
    void SetMenuTracker(MenuTracker tracker) { tracker_ = std::move(tracker); }

    // Live only while PMenu is open (built fresh for each opening).
    Menu PMenu;
    // From window creation until the close sequence.
    std::optional<qh::History> History;
    InformationReporter Reporter;
    TTypeMsg TypeMsg;
    bool TrayActive = false;

    void FormCreate();
    void FormClose();
    void WMClipboardUpdate();
    void WMTrayNotify(LPARAM lParam);
    LRESULT WMQueryEndSession();
    void WMEndSession(bool ending);
    void WMTaskbarCreated();
    void WMDpiChanged(int dpi);
    void WMTimer(UINT_PTR id);

    void PMenuPopup();
    void RebuildMenu();
    // The exact form, when there is one, is in the same form as the stored
    // text: raw for a history entry, escaped for a phrase.
    void RecordClick(const std::string& storedText, const std::optional<std::u16string>& exactText = std::nullopt,
                     bool localOnly = false);
    void TypeClick(const std::string& storedContent,
                   const std::optional<std::u16string>& exactContent = std::nullopt);
    void A1Click();
    void Setting1Click();
    void About1Click();
    void Exit1Click();

private:
    // A generated entry: the stored text it showed when the menu was built,
    // so that choosing it gives that text even if the lists moved since.
    struct Entry {
        bool phrase;
        std::string stored;
        std::optional<std::u16string> exact;
        bool localOnly = false;
    };

    static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);

    bool TrayCallMade(DWORD message, NOTIFYICONDATAA& data);
    void AddTrayIcon();
    void DeleteTrayIcon();
    std::optional<std::string> CaptureClipboard();
    // An information box, unless closing has begun; over an open tray menu
    // it waits until the menu has closed.
    void Inform(std::string_view utf8Text);
    void RetryCapture();
    void Choose(UINT command, const std::vector<Entry>& entries);
    // Lays out one generated level and appends it; returns the indexes of
    // the entries the menu could not take.
    std::vector<std::size_t> FillLevel(HMENU level, const std::vector<std::u16string>& captions,
                                       std::vector<Entry>& offered);
    UINT TrackPMenu(POINT at);

    HWND hwnd_ = nullptr;
    Icon icon_;
    TrayCall trayCall_;
    UINT taskbarCreated_ = 0;
    bool listening_ = false;
    // While a capture is being retried: since when, and why.
    enum class RetryReason { Busy, Unread };
    std::optional<ULONGLONG> captureRetrySince_;
    RetryReason captureRetryReason_ = RetryReason::Busy;
    bool closed_ = false;
    bool menuBusy_ = false;
    std::optional<std::string> pendingBox_;
    MenuTracker tracker_;
    // Submenus of PMenu being built, and the entries they offer.
    HMENU r1_ = nullptr;
    HMENU t1_ = nullptr;
    std::vector<Entry> entries_;
};

}  // namespace qh::win
