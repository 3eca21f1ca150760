// The Windows services the program uses, behind one narrow layer.
// Fixed Japanese texts are UTF-8 in the source and shown through the wide
// calls; clipboard texts and generated captions are ANSI bytes.
#pragma once

#include <windows.h>

#include <exception>
#include <string>
#include <string_view>

#include "text.h"

namespace qh::win {

inline constexpr char AppTitle[] = "Quillharbor";

// ---- text conversions
std::wstring Widen(std::string_view utf8);
std::wstring FromAnsi(std::string_view ansi);
std::string ToAnsi(std::wstring_view wide);
// The lead bytes of the system's ANSI code page.
const CodePage& SystemCodePage();

// ---- the application's own top-level window ("Quillharbor"): hidden, and
// shown without activation while any dialog or information box is open.
HWND AppWindow();
// Marks a dialog or box of ours as open for its lifetime.
class ModalScope {
public:
    ModalScope();
    ~ModalScope();
    ModalScope(const ModalScope&) = delete;
    ModalScope& operator=(const ModalScope&) = delete;
};

// ---- modal dialogs. Our dialogs are ordinary windows owned by the main
// window. RunModal disables every other visible window of the program (an
// earlier dialog, never the hidden main window, so the tray menu still
// opens) and runs a message loop until EndModal; it holds a ModalScope.
INT_PTR RunModal(HWND dialog);
void EndModal(HWND dialog, INT_PTR result);
// Ends every open modal dialog with IDCANCEL, newest first (Exit while a
// dialog is open).
void CloseOpenDialogs();

// ---- message boxes, all titled "Quillharbor" unless a title is given
void ShowInformation(std::string_view utf8Text);     // information box
bool Confirm(std::string_view utf8Text, std::string_view utf8Title);  // true on Yes; No is default
// The central failure handler: the failure box (MB_ICONSTOP) with the
// message and its closing period. Call it from inside a catch block.
void ReportCurrentException() noexcept;

// ---- shell
// ShellExecuteExA "open" on the ANSI target; false when the shell fails.
bool ShellOpen(std::string_view ansiTarget);

// The folder of the running executable.
std::wstring ExecutableDirectory();

}  // namespace qh::win
