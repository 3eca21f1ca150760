// The application's own top-level window, its message loop and the modal
// loop of our dialogs.
#pragma once

#include <windows.h>

#include <vector>

namespace qh::win {

inline constexpr char AppTitle[] = "Quillharbor";

// ---- the application's own top-level window ("Quillharbor"): hidden, and
// shown without activation while any dialog or information box is open.
// Made on first use, on the calling thread (the user-interface thread).
HWND AppWindow();
// The owner for a box or the shell's own messages: the newest open dialog,
// so that they come above it even when it is topmost; else AppWindow().
HWND BoxOwner();

// The newest of our windows is in front: while a later window of ours is
// up (a dialog, a box, the shell's own error box), the dialogs already open
// give up their topmost place, and take it back afterwards.
class LaterWindowScope {
public:
    LaterWindowScope();
    ~LaterWindowScope();
    LaterWindowScope(const LaterWindowScope&) = delete;
    LaterWindowScope& operator=(const LaterWindowScope&) = delete;

private:
    std::vector<HWND> yielded_;
};

// Marks a dialog or box of ours as open for its lifetime.
class ModalScope {
public:
    ModalScope();
    ~ModalScope();
    ModalScope(const ModalScope&) = delete;
    ModalScope& operator=(const ModalScope&) = delete;

private:
    LaterWindowScope later_;
};

// Common controls and the application window; WinMain calls it first.
void InitializeApplication();
// The application's message loop; returns the WM_QUIT code.
int RunMessageLoop();
// Runs the messages already waiting, then returns (a WM_QUIT met on the
// way is queued again for the loop that owns it).
void ProcessWaitingMessages();
// Waits for about `pause` milliseconds, answering the messages other threads
// send to this one meanwhile, as any wait of a window's thread should.
void PauseAnsweringSentMessages(DWORD pause);

// ---- modal dialogs. Our dialogs are ordinary windows owned by the main
// window. RunModal disables every other visible window of the program (an
// earlier dialog, never the hidden main window, so the tray menu still
// opens), shows and activates the dialog and runs a message loop, with
// IsDialogMessage for the dialog, until EndModal; it holds a ModalScope.
// On return the other windows are enabled again and the dialog is hidden;
// the caller destroys it. A WM_QUIT that ends the loop early is queued again.
INT_PTR RunModal(HWND dialog);
void EndModal(HWND dialog, INT_PTR result);
// Ends every open modal dialog with IDCANCEL, newest first (Exit while a
// dialog is open).
void CloseOpenDialogs();
// When a modal dialog of that window class is open, brings it to the front
// (or the later window of ours that is modal over it) and returns true.
bool BringOpenDialogToFront(const wchar_t* className);

// Disables the thread's other visible, enabled top-level windows while a
// modal window of ours is up. The hidden main window is never visible, and
// the application window stays enabled so its taskbar button still works.
class OtherWindowsDisabled {
public:
    explicit OtherWindowsDisabled(HWND keep);
    ~OtherWindowsDisabled() { Restore(); }
    OtherWindowsDisabled(const OtherWindowsDisabled&) = delete;
    OtherWindowsDisabled& operator=(const OtherWindowsDisabled&) = delete;

    void Restore();

private:
    static BOOL CALLBACK Collect(HWND w, LPARAM self) noexcept;

    HWND keep_;
    std::vector<HWND> disabled_;
};

}  // namespace qh::win
