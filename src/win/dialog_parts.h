// Building blocks shared by our dialogs.
#pragma once

#include <windows.h>

#include <string>

#include "app_window.h"
#include "boxes.h"
#include "handles.h"

namespace qh::win {

// Registers a dialog window class once: arrow cursor, dialog colour.
void RegisterDialogClass(const wchar_t* name, WNDPROC windowProc);
// Dots per inch of the screen; layouts given at 96 scale by MulDiv.
int ScreenDpi();
// A Japanese font of `pixels` height at 96 DPI, scaled to `dpi`.
GdiObject MakeFont(const wchar_t* face, int pixels, int dpi, int weight = FW_NORMAL, bool italic = false);
std::wstring WindowText(HWND window);
// A frame (group box or etched static) draws only its edge and the dialog
// clips its children out of its own painting: the frame then fills its
// inside itself.
void FillFrameInside(HWND frame);

// A place in a dialog's client area at 96 DPI.
struct ControlBox {
    int x, y, width, height;
};

// The skeleton both our dialogs stand on: one window of their own class,
// centred on the screen and owned by the caller, with the object attached;
// the controls made at scaled places; the window destroyed when building
// it fails and when the object goes; shown modally.
class DialogWindow {
public:
    DialogWindow(const DialogWindow&) = delete;
    DialogWindow& operator=(const DialogWindow&) = delete;

    INT_PTR ShowModal();

protected:
    struct Frame {
        const wchar_t* className;
        const wchar_t* title;
        DWORD style, exStyle;
        ControlBox size;     // at 96 DPI; only width and height count
        bool clientSize;     // the size is the client area's, not the window's
    };

    DialogWindow();
    virtual ~DialogWindow();
    // Registers the class, creates the window and runs FormCreate; when
    // either fails the window is destroyed and the failure passes on.
    void Create(const Frame& frame, HWND owner);
    virtual void FormCreate() = 0;
    virtual LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) = 0;
    HWND MakeControl(const wchar_t* className, const std::wstring& text, DWORD style, DWORD exStyle,
                     ControlBox box, int id, HGDIOBJ font);
    int Scaled(int pixels) const { return MulDiv(pixels, dpi_, 96); }

    HWND hwnd_ = nullptr;
    const int dpi_;

private:
    static LRESULT CALLBACK WindowProc(HWND, UINT, WPARAM, LPARAM);
    LRESULT Dispatch(UINT message, WPARAM wParam, LPARAM lParam) { return HandleMessage(message, wParam, lParam); }
    void Destroy();
};

}  // namespace qh::win
