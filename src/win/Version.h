// The About dialog "バージョン情報".
#pragma once

#include <windows.h>

#include "platform.h"

namespace qh::win {

// Shows the dialog modally above `owner`; while one is open, brings that one
// to the front instead and returns IDCANCEL.
INT_PTR ShowAboutDialog(HWND owner);

inline constexpr wchar_t AboutWindowClass[] = L"QuillharborAbout";
inline constexpr char SupportMailAddress[] = "support@qh.example";
inline constexpr char SupportWebAddress[] = "https://qh.example/";
inline constexpr char LaunchFailedMessage[] = "プロセスを起動できませんでした。";

// Control ids; OK carries IDOK.
enum AboutControlId : int {
    IdGroupBox1 = 200,
    IdMainTitle,
    IdVer,
    IdGroupBox2,
    IdLabel5,
    IdLabel6,
    IdEdit1,
    IdEdit2,
    IdNotice1,
    IdNotice2,
};

class TChkVer final : public DialogWindow {
public:
    explicit TChkVer(HWND owner);

private:
    static LRESULT CALLBACK LinkProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    void FormCreate() override;
    void LayOut(int previousDpi) override;
    LRESULT WMCtlColorStatic(HDC dc, HWND control);
    void Edit1Click();
    void Edit2Click();
    void OpenLink(const std::string& ansiTarget);

    HWND GroupBox1 = nullptr, MainTitle = nullptr, Ver = nullptr, GroupBox2 = nullptr,
         Label5 = nullptr, Label6 = nullptr, Edit1 = nullptr, Edit2 = nullptr, Notice1 = nullptr,
         Notice2 = nullptr, Button1 = nullptr;
};

}  // namespace qh::win
