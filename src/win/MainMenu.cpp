// The tray menu PMenu: built fresh at each opening from the history and the
// phrases, and what choosing each of its items does.
#include "Main.h"

#include <algorithm>
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

}  // namespace

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
        if (!exact) return AnsiMenuCaptionOf(stored, codePage, ansi);
        return phraseForm ? WideMenuCaptionOf(*exact) : ExactCaptionOf(*exact);
    };
    if (History) {
        std::vector<std::u16string> captions;
        std::vector<Entry> offered;
        for (std::size_t i = 0; i < History->Count(); ++i) {
            offered.push_back({false, History->Entry(i), History->Exact(i), History->LocalOnly(i)});
            captions.push_back(caption(offered.back().stored, offered.back().exact, false));
        }
        // An entry the menu cannot hold is dropped from the history.
        const std::vector<std::size_t> failed = FillLevel(r1_, captions, offered);
        for (auto it = failed.rbegin(); it != failed.rend(); ++it) History->Delete(*it);
    }
    TypeMsg.Refresh();  // another program may have changed the file
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
    // The menu opens on the button's press and chooses on its release: a
    // little drift in between must not land on an item (with the taskbar at
    // the bottom, 終了 lies just above the pointer). The menu keeps clear of
    // the distance the system itself takes for no drag, on each side.
    const int dpi = MonitorDpi(MonitorFromPoint(at, MONITOR_DEFAULTTONEAREST));
    const int dx = SystemMetricForDpi(SM_CXDRAG, dpi);
    const int dy = SystemMetricForDpi(SM_CYDRAG, dpi);
    const MenuPlacement placement{TPM_LEFTALIGN | TPM_RIGHTBUTTON | TPM_RETURNCMD, at,
                                  {sizeof(TPMPARAMS), {at.x - dx, at.y - dy, at.x + dx + 1, at.y + dy + 1}}};
    if (tracker_) return tracker_(PMenu.get(), placement);
    TPMPARAMS params = placement.params;
    return static_cast<UINT>(TrackPopupMenuEx(PMenu.get(), placement.flags, at.x, at.y, hwnd_, &params));
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
                RecordClick(entry.stored, entry.exact, entry.localOnly);
        }
    }
}

void TFMain::RecordClick(const std::string& storedText, const std::optional<std::u16string>& exactText,
                         bool localOnly) {
    try {
        WriteClipboardText(UnescapeText(storedText), exactText, localOnly);
    } catch (...) {
        // The clipboard stays as it was; there is nothing to tell.
    }
}

void TFMain::TypeClick(const std::string& storedContent, const std::optional<std::u16string>& exactContent) {
    try {
        const std::optional<std::u16string> exact =
            exactContent ? std::optional(UnescapeText(*exactContent)) : std::nullopt;
        WriteClipboardText(UnescapeText(storedContent), exact);
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
