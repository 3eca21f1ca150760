#include "Setting.h"

#include <commctrl.h>

#include <algorithm>
#include <stdexcept>

#include "model.h"
#include "text.h"
#include "unicode.h"

namespace qh::win {

namespace {

// Positions at 96 DPI, in the dialog's client area.
using Box = ControlBox;

constexpr int FormWidth = 696, FormHeight = 446;
constexpr Box FrameBox{8, 8, 673, 353};
// Controls inside the frame are placed relative to it.
constexpr Box InFrame(Box b) { return {FrameBox.x + b.x, FrameBox.y + b.y, b.width, b.height}; }

constexpr UINT_PTR SubclassId = 1;
constexpr FontLook FormFont{L"ＭＳ Ｐゴシック", 12}, FixedFont{L"ＭＳ ゴシック", 12};
constexpr int ColumnWidths[] = {150, 400};

}  // namespace

TFrmSetting::TFrmSetting(HWND owner, TTypeMsg& store) : store_(store), rows_(store), basis_(store.Version()) {
    // A sizeable frame with a title bar but no system menu: the dialog ends
    // only through OK, Cancel or Esc.
    Create({SettingWindowClass, L"設定", WS_POPUP | WS_CAPTION | WS_THICKFRAME | WS_CLIPCHILDREN,
            WS_EX_CONTROLPARENT, {0, 0, FormWidth, FormHeight}, false},
           owner);
}

void TFrmSetting::FormCreate() {
    const auto make = [&](const wchar_t* cls, const wchar_t* text, DWORD style, DWORD exStyle, Box box, int id,
                          const FontLook& font) { return MakeControl(cls, text, style, exStyle, box, id, font); };
    const FontLook& form = FormFont;
    const FontLook& fixed = FixedFont;

    // Creation order is the tab order: the tab stops first, in order, then
    // the rest, the frame last so that it lies beneath everything it holds.
    Cap = make(L"EDIT", L"", WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, InFrame({80, 224, 221, 20}),
               IdCap, form);
    Memo = make(L"EDIT", L"", WS_TABSTOP | ES_MULTILINE | ES_WANTRETURN | ES_AUTOVSCROLL,
                WS_EX_CLIENTEDGE, InFrame({80, 248, 489, 97}), IdMemo, form);
    Add = make(L"BUTTON", L"追加(&A)", WS_TABSTOP | BS_PUSHBUTTON, 0, InFrame({584, 248, 81, 33}),
               IdAdd, form);
    Cng = make(L"BUTTON", L"変更(&C)", WS_TABSTOP | BS_PUSHBUTTON, 0, InFrame({584, 288, 81, 33}),
               IdCng, form);
    Delete = make(L"BUTTON", L"削 除(&D)", WS_TABSTOP | BS_PUSHBUTTON, 0, InFrame({584, 28, 81, 33}),
                  IdDelete, form);
    AllDelete = make(L"BUTTON", L"全削除(&Z)", WS_TABSTOP | BS_PUSHBUTTON, 0,
                     InFrame({584, 68, 81, 33}), IdAllDelete, form);
    Button1 = make(L"BUTTON", L"Ｏ　Ｋ", WS_TABSTOP | BS_DEFPUSHBUTTON, 0, {243, 370, 89, 33}, IDOK,
                   fixed);
    Button2 = make(L"BUTTON", L"キャンセル", WS_TABSTOP | BS_PUSHBUTTON, 0, {355, 370, 89, 33},
                   IDCANCEL, fixed);
    Label3 = make(L"STATIC", L"登録一覧(&I)", SS_LEFT, 0, InFrame({18, 12, 66, 12}), IdLabel3, fixed);
    TypeList = make(WC_LISTVIEWW, L"",
                    LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER,
                    WS_EX_CLIENTEDGE, InFrame({16, 28, 553, 185}), IdTypeList, fixed);
    Label1 = make(L"STATIC", L"ｷｬﾌﾟｼｮﾝ(&C)", SS_RIGHT, 0, InFrame({16, 228, 60, 12}), IdLabel1, fixed);
    Label2 = make(L"STATIC", L"内容(&N)", SS_RIGHT, 0, InFrame({34, 252, 42, 12}), IdLabel2, fixed);
    // A frame without tabs.
    TabControl = make(L"STATIC", L"", SS_ETCHEDFRAME | WS_CLIPSIBLINGS, 0, FrameBox, IdTabControl, form);

    // Neither field has a length limit of the control's own: text the
    // program sets is never cut, and the content's byte limit is ours.
    SendMessageW(Cap, EM_SETLIMITTEXT, 0, 0);
    SendMessageW(Memo, EM_SETLIMITTEXT, 0, 0);
    FillFrameInside(TabControl);
    SetWindowSubclass(Memo, MemoProc, SubclassId, reinterpret_cast<DWORD_PTR>(this));
    for (HWND label : {Label1, Label2, Label3})
        SetWindowSubclass(label, LabelProc, SubclassId, reinterpret_cast<DWORD_PTR>(this));
    for (HWND button : {Add, Cng, Delete, AllDelete, Button1, Button2})
        SetWindowSubclass(button, ButtonProc, SubclassId, reinterpret_cast<DWORD_PTR>(this));

    ListView_SetExtendedListViewStyle(TypeList, LVS_EX_FULLROWSELECT);
    const wchar_t* const columns[] = {L"キャプション", L"内容"};
    for (int i = 0; i < 2; ++i) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        column.pszText = const_cast<wchar_t*>(columns[i]);
        column.cx = Scaled(ColumnWidths[i]);
        column.iSubItem = i;
        if (SendMessageW(TypeList, LVM_INSERTCOLUMNW, static_cast<WPARAM>(i),
                         reinterpret_cast<LPARAM>(&column)) != i)
            throw std::runtime_error("list column cannot be added");
    }
    for (std::size_t i = 0; i < rows_.Count(); ++i) AppendListRow(i);

    Hints = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                            CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_,
                            nullptr, GetModuleHandleW(nullptr), nullptr);
    if (Hints) {
        const std::pair<HWND, const wchar_t*> hints[] = {{Button1, L"変更を保存します"},
                                                         {Button2, L"変更をｷｬﾝｾﾙします"}};
        for (const auto& [button, text] : hints) {
            TTTOOLINFOW tool{};
            tool.cbSize = TTTOOLINFOW_V2_SIZE;
            tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
            tool.hwnd = hwnd_;
            tool.uId = reinterpret_cast<UINT_PTR>(button);
            tool.lpszText = const_cast<wchar_t*>(text);
            SendMessageW(Hints, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
        }
    }
}

// At a new DPI the columns keep the widths the user gave them, scaled.
void TFrmSetting::LayOut(int previousDpi) {
    DialogWindow::LayOut(previousDpi);
    for (int i = 0; i < 2; ++i) {
        const auto width = static_cast<int>(SendMessageW(TypeList, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(i), 0));
        SendMessageW(TypeList, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(i),
                     MAKELPARAM(MulDiv(width, dpi_, previousDpi), 0));
    }
}

LRESULT TFrmSetting::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        WMCommand(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_NOTIFY:
        return WMNotify(*reinterpret_cast<const NMHDR*>(lParam));
    case DM_GETDEFID: {
        // Enter presses the focused push button, else OK.
        const HWND focus = GetFocus();
        const int id = focus && GetParent(focus) == hwnd_ &&
                               (SendMessageW(focus, WM_GETDLGCODE, 0, 0) & DLGC_BUTTON)
                           ? GetDlgCtrlID(focus)
                           : IDOK;
        return MAKELRESULT(id, DC_HASDEFID);
    }
    case WM_ACTIVATE:
        WMActivate(LOWORD(wParam) != WA_INACTIVE);
        return 0;
    case WM_CLOSE:
        return 0;  // Alt+F4 and the like: only OK, Cancel and Esc end the dialog
    default:
        return DefWindowProcW(hwnd_, message, wParam, lParam);
    }
}

void TFrmSetting::WMCommand(int id, int code) {
    if (code == EN_SETFOCUS) {
        ShowDefaultButton(nullptr);
        return;
    }
    if (code != BN_CLICKED) return;
    switch (id) {
    case IdAdd: AddClick(); break;
    case IdCng: CngClick(); break;
    case IdDelete: DeleteClick(); break;
    case IdAllDelete: AllDeleteClick(); break;
    case IDOK: Button1Click(); break;
    case IDCANCEL: Button2Click(); break;
    default: break;
    }
}

LRESULT TFrmSetting::WMNotify(const NMHDR& header) {
    if (header.hwndFrom != TypeList) return 0;
    if (header.code == NM_CLICK) TypeListClick();
    else if (header.code == NM_SETFOCUS) ShowDefaultButton(nullptr);
    return 0;
}

void TFrmSetting::WMActivate(bool active) {
    if (!active) {
        const HWND focus = GetFocus();
        if (focus && IsChild(hwnd_, focus)) lastFocus_ = focus;
        return;
    }
    SetFocus(lastFocus_ && IsWindow(lastFocus_) ? lastFocus_ : Cap);
}

void TFrmSetting::ShowDefaultButton(HWND button) {
    const HWND chosen = button ? button : Button1;
    for (HWND b : {Add, Cng, Delete, AllDelete, Button1, Button2}) {
        const LONG_PTR wanted = b == chosen ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
        if ((GetWindowLongPtrW(b, GWL_STYLE) & BS_TYPEMASK) != wanted)
            SendMessageW(b, BM_SETSTYLE, static_cast<WPARAM>(wanted), TRUE);
    }
}

std::optional<std::size_t> TFrmSetting::SelectedRow() const {
    const auto index = SendMessageW(TypeList, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED);
    if (index < 0) return std::nullopt;
    return static_cast<std::size_t>(index);
}

void TFrmSetting::AppendListRow(std::size_t row) {
    std::wstring caption = WideOf(rows_.ListCaption(row));
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = static_cast<int>(SendMessageW(TypeList, LVM_GETITEMCOUNT, 0, 0));
    item.pszText = caption.data();
    const auto index = SendMessageW(TypeList, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    if (index < 0) throw std::runtime_error("list row cannot be added");
    SetListRow(static_cast<int>(index), row);
}

void TFrmSetting::SetListRow(int index, std::size_t row) {
    std::wstring texts[] = {WideOf(rows_.ListCaption(row)), WideOf(rows_.ListContent(row))};
    for (int sub = 0; sub < 2; ++sub) {
        LVITEMW item{};
        item.iSubItem = sub;
        item.pszText = texts[sub].data();
        SendMessageW(TypeList, LVM_SETITEMTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
    }
}

void TFrmSetting::TypeListClick() {
    const auto selected = SelectedRow();
    if (!selected || *selected >= rows_.Count()) return;
    SetWindowTextW(Cap, WideOf(rows_.CaptionText(*selected)).c_str());
    SetWindowTextW(Memo, WideOf(rows_.ContentText(*selected)).c_str());
}

void TFrmSetting::AddClick() {
    if (rows_.Add(Utf16Of(WindowText(Cap)), Utf16Of(WindowText(Memo)))) AppendListRow(rows_.Count() - 1);
}

void TFrmSetting::CngClick() {
    const auto selected = SelectedRow();
    if (rows_.Change(selected, Utf16Of(WindowText(Cap)), Utf16Of(WindowText(Memo))))
        SetListRow(static_cast<int>(*selected), *selected);
}

void TFrmSetting::DeleteClick() {
    const auto selected = SelectedRow();
    if (rows_.Delete(selected)) SendMessageW(TypeList, LVM_DELETEITEM, *selected, 0);
}

void TFrmSetting::AllDeleteClick() {
    if (!Confirm("登録データを全て削除します。\r\nよろしいですか?", "確認")) return;
    rows_.Clear();
    SendMessageW(TypeList, LVM_DELETEALLITEMS, 0, 0);
}

void TFrmSetting::Button1Click() {
    store_.SetExactLines(rows_.ExactLines());
    // Reports its own failure, and keeps a version another program wrote
    // meanwhile; the dialog closes either way.
    store_.Save(basis_);
    EndModal(hwnd_, IDOK);
}

void TFrmSetting::Button2Click() { EndModal(hwnd_, IDCANCEL); }

// ---- the content field

LRESULT CALLBACK TFrmSetting::MemoProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                       UINT_PTR, DWORD_PTR ref) {
    auto* self = reinterpret_cast<TFrmSetting*>(ref);
    try {
        switch (message) {
        case WM_GETDLGCODE: {
            // Asked without the message, the edit stays out of its dialog
            // mode: TAB and Enter type into it, Esc reaches the dialog.
            LRESULT code = DefSubclassProc(hwnd, message, wParam, 0);
            code = (code & ~DLGC_WANTALLKEYS) | DLGC_WANTTAB;
            const auto* msg = reinterpret_cast<const MSG*>(lParam);
            if (msg && msg->message == WM_KEYDOWN && msg->wParam == VK_RETURN) code |= DLGC_WANTALLKEYS;
            return code;
        }
        case WM_PASTE:
            self->MemoPaste();
            return 0;
        case WM_CHAR:
        case WM_IME_CHAR:
        case WM_IME_COMPOSITION:
        case WM_UNDO:
        case EM_UNDO:
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:  // Alt+Backspace undoes
        case WM_SYSCHAR:
            return self->MemoGuardedInput(message, wParam, lParam);
        case WM_NCDESTROY:
            RemoveWindowSubclass(hwnd, MemoProc, SubclassId);
            break;
        default:
            break;
        }
    } catch (...) {
        ReportCurrentException();
        return 0;
    }
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

LRESULT TFrmSetting::MemoGuardedInput(UINT message, WPARAM wParam, LPARAM lParam) {
    const std::wstring before = WindowText(Memo);
    const LRESULT result = DefSubclassProc(Memo, message, wParam, lParam);
    MemoCutInsertion(before);
    return result;
}

void TFrmSetting::MemoPaste() {
    std::wstring pasted;
    try {
        pasted = ReadClipboardPasteText();
    } catch (const ClipboardBusy&) {
        return;  // as an edit control does: nothing is pasted
    }
    if (pasted.empty()) return;
    DWORD start = 0, end = 0;
    SendMessageW(Memo, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    const std::u16string text = Utf16Of(WindowText(Memo));
    start = std::min<DWORD>(start, static_cast<DWORD>(text.size()));
    end = std::clamp<DWORD>(end, start, static_cast<DWORD>(text.size()));
    const std::u16string insertion = Utf16Of(pasted);
    const std::size_t fit =
        FitInsertion(insertion, TextWidth(text), TextWidth(std::u16string_view(text).substr(start, end - start)));
    const std::wstring kept = pasted.substr(0, fit);
    SendMessageW(Memo, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(kept.c_str()));
}

// Whatever else the user brought in (typing, the input method, undo) is
// cut back to the limit, where it went in.
void TFrmSetting::MemoCutInsertion(const std::wstring& before) {
    const std::wstring after = WindowText(Memo);
    if (after == before) return;
    const std::size_t afterWidth = TextWidth(Utf16Of(after));
    if (afterWidth <= MemoMaxBytes || afterWidth <= TextWidth(Utf16Of(before))) return;

    const std::size_t common = std::min(before.size(), after.size());
    std::size_t prefix = 0;
    while (prefix < common && before[prefix] == after[prefix]) ++prefix;
    std::size_t suffix = 0;
    while (suffix < common - prefix &&
           before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix])
        ++suffix;
    const std::u16string inserted = Utf16Of(std::wstring_view(after).substr(prefix, after.size() - prefix - suffix));
    const std::size_t insertedWidth = TextWidth(inserted);
    const std::size_t rest = afterWidth > insertedWidth ? afterWidth - insertedWidth : 0;
    const std::size_t keep = FitInsertion(inserted, rest, 0);
    if (keep == inserted.size()) return;
    SendMessageW(Memo, EM_SETSEL, prefix + keep, prefix + inserted.size());
    SendMessageW(Memo, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
}

// The labels' access keys belong to no control: the dialog keys skip them.
LRESULT CALLBACK TFrmSetting::LabelProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                        UINT_PTR, DWORD_PTR) {
    if (message == WM_GETDLGCODE) return 0;
    if (message == WM_NCDESTROY) RemoveWindowSubclass(hwnd, LabelProc, SubclassId);
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

// A focused push button is the one Enter presses, and looks it.
LRESULT CALLBACK TFrmSetting::ButtonProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR, DWORD_PTR ref) {
    if (message == WM_NCDESTROY) RemoveWindowSubclass(hwnd, ButtonProc, SubclassId);
    const LRESULT result = DefSubclassProc(hwnd, message, wParam, lParam);
    if (message == WM_SETFOCUS) reinterpret_cast<TFrmSetting*>(ref)->ShowDefaultButton(hwnd);
    return result;
}

INT_PTR ShowSettingDialog(HWND owner, TTypeMsg& store) {
    // One dialog: a second one's OK would save over the first one's rows.
    if (BringOpenDialogToFront(SettingWindowClass)) return IDCANCEL;
    store.Refresh();  // the rows show what the file holds now
    TFrmSetting form(owner, store);
    return form.ShowModal();
}

}  // namespace qh::win
