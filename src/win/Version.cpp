#include "Version.h"

#include <commctrl.h>
#include <windowsx.h>

#include <stdexcept>
#include <string>

#include "AppVersion.h"

namespace qh::win {

namespace {

constexpr int ClientWidth = 474, ClientHeight = 212;
constexpr UINT_PTR SubclassId = 1;
// Posted by a link after its click, so the shell opens outside the edit's
// own mouse handling.
constexpr UINT WM_LINKCLICK = WM_APP + 1;

constexpr FontLook FormFont{L"ＭＳ Ｐゴシック", 12}, TitleFont{L"ＭＳ 明朝", 35, FW_BOLD, true},
                   VerFont{L"ＭＳ 明朝", 13, FW_BOLD, true}, LabelFont{L"ＭＳ ゴシック", 13, FW_BOLD, false},
                   NoticeFont{L"ＭＳ 明朝", 11, FW_BOLD, true};

constexpr COLORREF Red = RGB(255, 0, 0), Blue = RGB(0, 0, 255), Black = RGB(0, 0, 0);

// The box in the client area of a control given relative to its group box.
using Box = ControlBox;
constexpr Box GroupBox1Box{4, 0, 465, 81};
constexpr Box GroupBox2Box{4, 84, 465, 57};
constexpr Box In(Box group, Box b) { return {group.x + b.x, group.y + b.y, b.width, b.height}; }

// ASCII letters, digits and punctuation in their full-width forms, for the
// title art: "Ver 1.10" becomes "Ｖｅｒ １．１０" (the space stays).
std::wstring FullWidth(std::string_view ascii) {
    std::wstring wide;
    for (char c : ascii) {
        if (c > ' ' && c < 0x7F) wide += static_cast<wchar_t>(0xFEE0 + c);
        else wide += static_cast<wchar_t>(c);
    }
    return wide;
}

// A label sized to its text in its font.
void SizeToText(HWND label) {
    const std::wstring text = WindowText(label);
    SIZE size{};
    HDC dc = GetDC(label);
    if (!dc) return;
    const HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(label, WM_GETFONT, 0, 0)));
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(label, dc);
    SetWindowPos(label, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

TChkVer::TChkVer(HWND owner) {
    // A fixed dialog border without title-bar buttons, above other windows.
    Create({AboutWindowClass, L"バージョン情報", WS_POPUP | WS_CAPTION | WS_CLIPCHILDREN,
            WS_EX_DLGMODALFRAME | WS_EX_TOPMOST | WS_EX_CONTROLPARENT, {0, 0, ClientWidth, ClientHeight}, true},
           owner);
}

void TChkVer::FormCreate() {
    const auto make = [&](const wchar_t* cls, const std::wstring& text, DWORD style, Box box, int id,
                          const FontLook& font) { return MakeControl(cls, text, style, 0, box, id, font); };

    // OK first: the only tab stop, focused when the dialog opens.
    Button1 = make(L"BUTTON", L"Ｏ　Ｋ", WS_TABSTOP | BS_DEFPUSHBUTTON, {196, 180, 81, 25}, IDOK, FormFont);
    MainTitle = make(L"STATIC", FullWidth(QH_PRODUCT_NAME), SS_CENTER | SS_NOPREFIX,
                     In(GroupBox1Box, {8, 11, 449, 35}), IdMainTitle, TitleFont);
    Ver = make(L"STATIC", FullWidth("Ver " QH_VERSION_TEXT), SS_CENTER | SS_NOPREFIX,
               In(GroupBox1Box, {152, 54, 161, 13}), IdVer, VerFont);
    // The labels size to their text.
    const auto label = [&](const std::wstring& text, int x, int y, int id) {
        HWND control = make(L"STATIC", text, SS_LEFT | SS_NOPREFIX, In(GroupBox2Box, {x, y, 0, 0}), id,
                            LabelFont);
        SizeToText(control);
        return control;
    };
    Label5 = label(L"E-Mail :", 16, 16, IdLabel5);
    Label6 = label(L"URL :", 40, 32, IdLabel6);
    Edit1 = make(L"EDIT", Widen(SupportMailAddress), ES_READONLY | ES_AUTOHSCROLL,
                 In(GroupBox2Box, {88, 16, 173, 18}), IdEdit1, LabelFont);
    Edit2 = make(L"EDIT", Widen(SupportWebAddress), ES_READONLY | ES_AUTOHSCROLL,
                 In(GroupBox2Box, {88, 32, 233, 18}), IdEdit2, LabelFont);
    Notice1 = make(L"STATIC", Widen(QH_COPYRIGHT), SS_RIGHT | SS_NOPREFIX, {4, 148, 465, 15}, IdNotice1,
                   NoticeFont);
    Notice2 = make(L"STATIC", L"All rights reserved.", SS_RIGHT | SS_NOPREFIX, {4, 160, 465, 15},
                   IdNotice2, NoticeFont);
    // The group boxes last, beneath what they hold.
    GroupBox1 = make(L"BUTTON", L"", BS_GROUPBOX | WS_CLIPSIBLINGS, GroupBox1Box, IdGroupBox1, FormFont);
    GroupBox2 = make(L"BUTTON", L"", BS_GROUPBOX | WS_CLIPSIBLINGS, GroupBox2Box, IdGroupBox2, FormFont);

    for (HWND frame : {GroupBox1, GroupBox2}) FillFrameInside(frame);
    for (HWND link : {Edit1, Edit2})
        SetWindowSubclass(link, LinkProc, SubclassId, reinterpret_cast<DWORD_PTR>(this));
}

void TChkVer::LayOut(int previousDpi) {
    DialogWindow::LayOut(previousDpi);
    SizeToText(Label5);
    SizeToText(Label6);
}

LRESULT TChkVer::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        // Esc arrives as IDCANCEL and does nothing: there is no cancel button.
        if (LOWORD(wParam) == IDOK && HIWORD(wParam) == BN_CLICKED) EndModal(hwnd_, IDOK);
        return 0;
    case DM_GETDEFID:
        return MAKELRESULT(IDOK, DC_HASDEFID);
    case WM_LINKCLICK:
        if (reinterpret_cast<HWND>(lParam) == Edit1) Edit1Click();
        else if (reinterpret_cast<HWND>(lParam) == Edit2) Edit2Click();
        return 0;
    case WM_CTLCOLORSTATIC:
        return WMCtlColorStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE) SetFocus(Button1);
        return 0;
    case WM_CLOSE:
        return 0;  // only OK ends the dialog
    default:
        return DefWindowProcW(hwnd_, message, wParam, lParam);
    }
}

LRESULT TChkVer::WMCtlColorStatic(HDC dc, HWND control) {
    COLORREF color = GetSysColor(COLOR_WINDOWTEXT);
    if (control == MainTitle) color = Red;
    else if (control == Ver) color = Black;
    else if (control == Edit1 || control == Edit2 || control == Notice1 || control == Notice2) color = Blue;
    SetTextColor(dc, color);
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
}

void TChkVer::Edit1Click() { OpenLink("mailto:" + ToAnsi(WindowText(Edit1))); }

void TChkVer::Edit2Click() { OpenLink(ToAnsi(WindowText(Edit2))); }

void TChkVer::OpenLink(const std::string& ansiTarget) {
    // The shell may show an error box of its own: it must not lie beneath.
    LaterWindowScope later;
    const unsigned long error = ShellOpen(ansiTarget);
    // Cancelling the shell's choice of a program is the user's answer.
    if (error != ERROR_SUCCESS && error != ERROR_CANCELLED) ShowInformation(LaunchFailedMessage);
}

// The addresses act as links: a hand cursor, and a click opens them. They
// take neither focus nor a selection, so Enter keeps pressing OK.
LRESULT CALLBACK TChkVer::LinkProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                   DWORD_PTR ref) {
    auto* self = reinterpret_cast<TChkVer*>(ref);
    switch (message) {
    case WM_SETCURSOR:
        SetCursor(LoadCursorA(nullptr, IDC_HAND));
        return TRUE;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        SetCapture(hwnd);
        return 0;
    case WM_LBUTTONUP: {
        // A click is a press and a release both on the link.
        if (GetCapture() != hwnd) return 0;
        ReleaseCapture();
        RECT client;
        GetClientRect(hwnd, &client);
        if (PtInRect(&client, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}))
            PostMessageW(self->hwnd_, WM_LINKCLICK, 0, reinterpret_cast<LPARAM>(hwnd));
        return 0;
    }
    case WM_NCDESTROY:
        RemoveWindowSubclass(hwnd, LinkProc, SubclassId);
        break;
    default:
        break;
    }
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

INT_PTR ShowAboutDialog(HWND owner) {
    if (BringOpenDialogToFront(AboutWindowClass)) return IDCANCEL;
    TChkVer form(owner);
    return form.ShowModal();
}

}  // namespace qh::win
