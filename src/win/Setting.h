// The phrase settings dialog "設定".
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "model.h"
#include "platform.h"
#include "setting_rules.h"

namespace qh::win {

// Shows the dialog modally above `owner`, with the file as it is now, and,
// on OK, hands the rows to the store and saves it. Returns IDOK or IDCANCEL;
// while one is open, brings that one to the front and returns IDCANCEL.
INT_PTR ShowSettingDialog(HWND owner, TTypeMsg& store);

inline constexpr wchar_t SettingWindowClass[] = L"QuillharborSetting";

// Control ids; OK and Cancel carry IDOK and IDCANCEL.
enum SettingControlId : int {
    IdTabControl = 100,
    IdLabel3,
    IdTypeList,
    IdDelete,
    IdAllDelete,
    IdLabel1,
    IdCap,
    IdLabel2,
    IdMemo,
    IdAdd,
    IdCng,
};

class TFrmSetting final : public DialogWindow {
public:
    TFrmSetting(HWND owner, TTypeMsg& store);

private:
    static LRESULT CALLBACK MemoProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
    static LRESULT CALLBACK LabelProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
    static LRESULT CALLBACK ButtonProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    void FormCreate() override;
    void LayOut(int previousDpi) override;
    void WMCommand(int id, int code);
    LRESULT WMNotify(const NMHDR& header);
    void WMActivate(bool active);

    void TypeListClick();
    void AddClick();
    void CngClick();
    void DeleteClick();
    void AllDeleteClick();
    void Button1Click();
    void Button2Click();

    // The content field's limit by the width measure, for what the user
    // types and pastes.
    LRESULT MemoGuardedInput(UINT message, WPARAM wParam, LPARAM lParam);
    void MemoPaste();
    void MemoCutInsertion(const std::wstring& before);

    std::optional<std::size_t> SelectedRow() const;
    void AppendListRow(std::size_t row);
    void SetListRow(int index, std::size_t row);
    void ShowDefaultButton(HWND button);

    TTypeMsg& store_;
    SettingRows rows_;
    // The file the rows were made from; a save finds out whether another
    // program changed it since.
    TTypeMsg::FileVersion basis_;
    HWND lastFocus_ = nullptr;

    HWND TabControl = nullptr, Label3 = nullptr, TypeList = nullptr, Delete = nullptr,
         AllDelete = nullptr, Label1 = nullptr, Cap = nullptr, Label2 = nullptr, Memo = nullptr,
         Add = nullptr, Cng = nullptr, Button1 = nullptr, Button2 = nullptr, Hints = nullptr;
};

}  // namespace qh::win
